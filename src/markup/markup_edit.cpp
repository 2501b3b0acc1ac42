// Edits: content replacement and element insertion. Each edit splices the document text in
// place and then moves the offsets of the index entries that lie behind it.
#include <algorithm>

#include "markup/markup_document.h"
#include "markup/markup_text.h"

namespace corvel::markup {

namespace {

// The smallest capacity the document grows to when an edit needs room.
constexpr size_t kMinimumGrowth = 200;

// The text every new element is written as, after its name: an empty tag and a line break.
constexpr const char* kNewElementTail = "/>\r\n";

}  // namespace

std::string MarkupEscapeText(const char* text) {
  std::string out;
  if (!text) return out;
  const size_t length = std::strlen(text);
  out.reserve(length + length / 10);
  for (const char* c = text; *c; ++c) {
    switch (*c) {
      case '<':
        out += "&lt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(*c);
    }
  }
  return out;
}

void CMarkupSTL::ReplaceStretch(int32_t offset, int32_t replaced, const std::string& inserted) {
  const size_t needed = mDocument.size() + inserted.size() - static_cast<size_t>(replaced);
  const size_t capacity = mDocument.capacity();
  if (capacity < needed) {
    mDocument.reserve(std::max({capacity + capacity / 2, needed, kMinimumGrowth}));
  }
  mDocument.replace(static_cast<size_t>(offset), static_cast<size_t>(replaced), inserted);
}

void CMarkupSTL::ShiftSubtree(int32_t top, int32_t delta) {
  int32_t at = top;
  for (;;) {
    ElementEntry& entry = mIndex[at];
    entry.startLeft += delta;
    entry.startRight += delta;
    entry.endLeft += delta;
    entry.endRight += delta;
    if (entry.firstChild) {
      at = entry.firstChild;
      continue;
    }
    while (at != top && !mIndex[at].nextSibling) at = mIndex[at].parent;
    if (at == top) return;
    at = mIndex[at].nextSibling;
  }
}

void CMarkupSTL::ShiftAfter(int32_t element, int32_t delta) {
  if (delta == 0) return;
  int32_t at = element;
  while (at) {
    for (int32_t sibling = mIndex[at].nextSibling; sibling; sibling = mIndex[sibling].nextSibling) {
      ShiftSubtree(sibling, delta);
    }
    const int32_t parent = mIndex[at].parent;
    mIndex[parent].endLeft += delta;
    mIndex[parent].endRight += delta;
    at = parent;
  }
}

bool CMarkupSTL::SetData(const char* text) {
  if (!mMainPos || mIndex[mMainPos].firstChild) return false;
  const std::string escaped = MarkupEscapeText(text);

  ElementEntry& element = mIndex[mMainPos];
  int32_t offset;
  int32_t replaced;
  std::string inserted;
  if (element.startRight == element.endLeft + 1) {
    // <name/> becomes <name>text</name>: the '/' is replaced.
    const std::string name = TagNameAt(mMainPos);
    inserted.reserve(escaped.size() + name.size() + 3);
    inserted.append(">").append(escaped).append("</").append(name);
    offset = element.endLeft;
    replaced = 1;
    element.startRight -= 1;
    element.endLeft -= 1 + static_cast<int32_t>(name.size());
  } else {
    inserted = escaped;
    offset = element.startRight + 1;
    replaced = element.endLeft - element.startRight - 1;
  }

  ReplaceStretch(offset, replaced, inserted);
  const int32_t delta = static_cast<int32_t>(inserted.size()) - replaced;
  ShiftAfter(mMainPos, delta);
  element.endLeft += delta;
  element.endRight += delta;
  return true;
}

bool CMarkupSTL::AddElement(const char* name) { return AddElementAt(name, false); }

bool CMarkupSTL::AddChildElement(const char* name) { return AddElementAt(name, true); }

bool CMarkupSTL::AddElementAt(const char* name, bool asChild) {
  if (!mIndex.exists()) return false;
  const std::string tag = name ? name : "";
  int32_t parent;
  int32_t reference;
  if (asChild) {
    if (!mMainPos) return false;
    parent = mMainPos;
    reference = mChildPos;
  } else {
    parent = mParentPos;
    reference = mMainPos;
    if (!parent) {
      if (mIndex[0].firstChild) return false;
      mIndex[0].endLeft = static_cast<int32_t>(mDocument.size());
    }
  }

  // Where the new element goes in the text.
  const ElementEntry& above = mIndex[parent];
  const bool parent_empty = above.startRight == above.endLeft + 1;
  const bool parent_empty_content = above.startRight + 1 == above.endLeft;
  int32_t offset;
  if (reference) {
    offset = mIndex[reference].endRight + 1;
  } else if (!parent) {
    offset = static_cast<int32_t>(mDocument.size());
  } else if (parent_empty) {
    offset = above.startRight;
  } else {
    offset = above.endLeft;
  }
  if (!parent_empty) {
    int32_t reached = offset;
    const bool more = text::SkipWhitespace(mDocument.c_str(), reached);
    if (!more || mDocument[static_cast<size_t>(reached)] == '<') offset = reached;
  }
  if (parent_empty || parent_empty_content) offset += 2;

  // Which entry the new element follows among its siblings.
  int32_t previous = reference;
  if (!previous) {
    for (int32_t child = mIndex[parent].firstChild; child; child = mIndex[child].nextSibling) {
      previous = child;
    }
  }

  const int32_t added = NewEntry();
  {
    ElementEntry& entry = mIndex[added];
    entry.startLeft = offset;
    entry.startRight = offset + static_cast<int32_t>(tag.size()) + 2;
    entry.endLeft = entry.startRight - 1;
    entry.endRight = entry.startRight;
    entry.parent = parent;
    entry.firstChild = 0;
    if (previous) {
      entry.nextSibling = mIndex[previous].nextSibling;
      mIndex[previous].nextSibling = added;
    } else {
      entry.nextSibling = mIndex[parent].firstChild;
      mIndex[parent].firstChild = added;
    }
  }

  std::string inserted = "<" + tag + kNewElementTail;
  int32_t at;
  int32_t replaced = 0;
  ElementEntry& container = mIndex[parent];
  if (parent_empty) {
    const std::string parent_name = TagNameAt(parent);
    inserted = ">\r\n" + inserted + "</" + parent_name;
    at = container.startRight - 1;
    replaced = 1;
    container.startRight -= 1;
    container.endLeft -= 1 + static_cast<int32_t>(parent_name.size());
  } else if (parent_empty_content) {
    inserted = "\r\n" + inserted;
    at = container.startRight + 1;
  } else {
    at = offset;
  }

  ReplaceStretch(at, replaced, inserted);
  ShiftAfter(added, static_cast<int32_t>(inserted.size()) - replaced);

  if (asChild) {
    mMainPos = parent;
    mChildPos = added;
    mMainKind = parent ? kNodeElement : kNodeInvalid;
  } else {
    mParentPos = parent;
    mMainPos = added;
    mChildPos = 0;
    mMainKind = kNodeElement;
  }
  return true;
}

}  // namespace corvel::markup
