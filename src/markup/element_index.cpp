// Growth of the segmented element index.
#include <algorithm>

#include "markup/markup_document.h"

namespace corvel::markup {

void ElementIndex::Grow(int32_t wanted) {
  if (mCapacity >= wanted) return;

  const int32_t last = mCapacity > 0 ? (mCapacity - 1) >> kSegmentBits : 0;
  int32_t target = (wanted - 1) >> kSegmentBits;
  if (target > last + 1) {
    // At most one new segment per growth, and that one full.
    target = last + 1;
    wanted = (last + 2) * kSegmentSize;
  }

  if (mTableSlots <= target) {
    const int32_t slots = 2 * target + 4;
    auto table = std::make_unique<Segment[]>(static_cast<size_t>(slots));
    for (int32_t s = 0; s < mTableSlots; ++s) table[s] = std::move(mSegments[s]);
    mSegments = std::move(table);
    mTableSlots = slots;
  }

  if (target > last) {
    // The segment being left behind is completed to its full size first.
    const int32_t held = mCapacity - last * kSegmentSize;
    if (held < kSegmentSize) {
      auto full = std::make_unique_for_overwrite<ElementEntry[]>(kSegmentSize);
      if (held > 0) std::copy_n(mSegments[last].get(), held, full.get());
      mSegments[last] = std::move(full);
    }
  }

  const int32_t size = wanted - target * kSegmentSize;
  auto block = std::make_unique_for_overwrite<ElementEntry[]>(static_cast<size_t>(size));
  if (target == last && mCapacity > 0) {
    std::copy_n(mSegments[target].get(), mCapacity - target * kSegmentSize, block.get());
  }
  mSegments[target] = std::move(block);
  mCapacity = wanted;
}

}  // namespace corvel::markup
