// The segmented element index: its growth rule and documents beyond one segment.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_document.h"
#include "markup_test_helpers.h"

namespace corvel::markup {
namespace {

constexpr int32_t kSegment = ElementIndex::kSegmentSize;

TEST(MarkupIndex, GrowthAddsAtMostOneFullSegment) {
  ElementIndex index;
  index.Grow(8);
  EXPECT_EQ(index.capacity(), 8);
  EXPECT_EQ(index.tableSlots(), 4);
  index[7].startLeft = 77;
  index.Grow(5);  // already large enough
  EXPECT_EQ(index.capacity(), 8);

  index.Grow(12);  // within the first segment: entries are kept
  EXPECT_EQ(index.capacity(), 12);
  EXPECT_EQ(index[7].startLeft, 77);

  // A request three segments ahead stops at the end of a full second segment.
  index.Grow(3 * kSegment + 5);
  EXPECT_EQ(index.capacity(), 2 * kSegment);
  EXPECT_EQ(index[7].startLeft, 77);
  const ElementEntry* first = &index[0];
  const ElementEntry* second = &index[kSegment];
  index[kSegment].endRight = 5;

  // Partial third segment, then growing inside it; the first two never move again.
  index.Grow(2 * kSegment + 10);
  EXPECT_EQ(index.capacity(), 2 * kSegment + 10);
  index.Grow(2 * kSegment + 1000);
  EXPECT_EQ(index.capacity(), 2 * kSegment + 1000);
  EXPECT_EQ(&index[0], first);
  EXPECT_EQ(&index[kSegment], second);
  EXPECT_EQ(index[kSegment].endRight, 5);
  EXPECT_EQ(index[7].startLeft, 77);

  // Beginning a fourth segment completes the third one first.
  index[2 * kSegment + 999].parent = 42;
  index.Grow(3 * kSegment + 1);
  EXPECT_EQ(index.capacity(), 3 * kSegment + 1);
  EXPECT_EQ(index[2 * kSegment + 999].parent, 42);
  index[3 * kSegment - 1].parent = 43;  // the completed end of the third segment exists
  EXPECT_EQ(index[3 * kSegment - 1].parent, 43);
  EXPECT_EQ(index.tableSlots(), 4);

  // A fifth segment no longer fits the table of four slots: the table is reallocated.
  index.Grow(4 * kSegment + 1);
  EXPECT_EQ(index.tableSlots(), 12);
  EXPECT_EQ(&index[0], first);
  EXPECT_EQ(&index[kSegment], second);
  EXPECT_EQ(index[3 * kSegment - 1].parent, 43);
}

TEST(MarkupIndex, DocumentAcrossTwoSegmentsParsesAndEdits) {
  constexpr int kElements = kSegment + 4500;
  std::string text = "<r>";
  for (int i = 1; i < kElements; ++i) text += "<e>" + std::to_string(i) + "</e>";
  text += "</r>";

  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument(text.c_str())) << doc.GetError();
  EXPECT_EQ(doc.GetFreePos(), kElements + 1);
  EXPECT_GT(doc.GetIndex().capacity(), kSegment);
  // Elements on both sides of the segment boundary read back their own content.
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.IntoElement());
  for (int i = 1; i < kElements; ++i) {
    ASSERT_TRUE(doc.FindElement("e"));
    if (i >= kSegment - 3 && i <= kSegment + 3) {
      EXPECT_EQ(doc.GetMainPos(), i + 1);
      EXPECT_EQ(doc.GetData(), std::to_string(i));
    }
  }
  // An edit before the boundary moves entries in the second segment.
  ASSERT_TRUE(doc.FindElement("/r/e"));
  ASSERT_TRUE(doc.SetData("first"));
  const ElementEntry& last = doc.GetIndex()[kElements];
  EXPECT_EQ(doc.GetDoc().substr(static_cast<size_t>(last.startLeft), 3), "<e>");
  EXPECT_EQ(doc.GetDoc().substr(static_cast<size_t>(last.endRight) - 3), "</e></r>");
  EXPECT_TRUE(test::IndexMatchesReparse(doc));
}

TEST(MarkupIndex, AddingBeyondOneSegmentKeepsEarlierEntriesInPlace) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r></r>"));
  ASSERT_TRUE(doc.FindElement());
  const ElementEntry* first = nullptr;
  for (int i = 0; i < kSegment + 100; ++i) {
    ASSERT_TRUE(doc.AddChildElement("c"));
    if (!first && doc.GetIndex().capacity() > kSegment) first = &doc.GetIndex()[1];
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(&doc.GetIndex()[1], first);
  EXPECT_EQ(doc.GetFreePos(), kSegment + 102);
  const ElementEntry& newest = doc.GetIndex()[kSegment + 101];
  EXPECT_EQ(newest.parent, 1);
  EXPECT_EQ(newest.nextSibling, 0);
  EXPECT_EQ(doc.GetDoc().substr(static_cast<size_t>(newest.startLeft)), "<c/>\r\n</r>");
  EXPECT_TRUE(test::IndexMatchesReparse(doc));
}

}  // namespace
}  // namespace corvel::markup
