#include "markup_test_helpers.h"

#include <unordered_map>

namespace corvel::markup::test {

std::vector<int32_t> ElementsInOrder(const CMarkupSTL& doc) {
  std::vector<int32_t> order;
  const ElementIndex& index = doc.GetIndex();
  const int32_t root = index[0].firstChild;
  int32_t at = root;
  while (at) {
    order.push_back(at);
    if (index[at].firstChild) {
      at = index[at].firstChild;
      continue;
    }
    while (at && !index[at].nextSibling) at = index[at].parent;
    if (at) at = index[at].nextSibling;
  }
  return order;
}

::testing::AssertionResult IndexMatchesReparse(const CMarkupSTL& edited) {
  CMarkupSTL fresh;
  const bool well_formed = fresh.SetDocument(edited.GetDoc().c_str());
  if (well_formed != edited.IsWellFormed()) {
    return ::testing::AssertionFailure() << "re-parse well-formed=" << well_formed << " error '"
                                         << fresh.GetError() << "' for text:\n"
                                         << edited.GetDoc();
  }
  const std::vector<int32_t> mine = ElementsInOrder(edited);
  const std::vector<int32_t> theirs = ElementsInOrder(fresh);
  if (mine.size() != theirs.size()) {
    return ::testing::AssertionFailure()
           << "element count " << mine.size() << " vs re-parse " << theirs.size() << " for text:\n"
           << edited.GetDoc();
  }
  const ElementIndex& a = edited.GetIndex();
  const ElementIndex& b = fresh.GetIndex();
  // Position in document order of each element, to compare parent links by position.
  auto positions = [](const std::vector<int32_t>& order) {
    std::unordered_map<int32_t, int64_t> at;
    at[0] = -1;
    for (size_t i = 0; i < order.size(); ++i) at[order[i]] = static_cast<int64_t>(i);
    return at;
  };
  const auto mine_positions = positions(mine);
  const auto their_positions = positions(theirs);
  for (size_t i = 0; i < mine.size(); ++i) {
    const ElementEntry& x = a[mine[i]];
    const ElementEntry& y = b[theirs[i]];
    const bool offsets = x.startLeft == y.startLeft && x.startRight == y.startRight &&
                         x.endLeft == y.endLeft && x.endRight == y.endRight;
    const bool shape = (x.firstChild == 0) == (y.firstChild == 0) &&
                       (x.nextSibling == 0) == (y.nextSibling == 0) &&
                       mine_positions.at(x.parent) == their_positions.at(y.parent);
    if (!offsets || !shape) {
      return ::testing::AssertionFailure()
             << "element #" << i << " differs: edited (" << x.startLeft << "," << x.startRight
             << "," << x.endLeft << "," << x.endRight << ") re-parsed (" << y.startLeft << ","
             << y.startRight << "," << y.endLeft << "," << y.endRight << ") in text:\n"
             << edited.GetDoc();
    }
  }
  return ::testing::AssertionSuccess();
}

std::string ElementMarkup(const CMarkupSTL& doc, int32_t element) {
  const ElementEntry& entry = doc.GetIndex()[element];
  return doc.GetDoc().substr(static_cast<size_t>(entry.startLeft),
                             static_cast<size_t>(entry.endRight - entry.startLeft + 1));
}

}  // namespace corvel::markup::test
