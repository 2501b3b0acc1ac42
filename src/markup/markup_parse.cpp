// The document parse. Elements nest arbitrarily deep, so the element parse keeps its open
// elements on an explicit stack instead of recursing: each step reads up to one start tag
// (or the parent's end tag), and an element whose children are done reads its own end tag.
#include <limits>
#include <vector>

#include "markup/markup_document.h"
#include "markup/markup_text.h"

namespace corvel::markup {

namespace {

// Parse messages are formatted into a buffer of this size (terminating NUL included).
constexpr size_t kMessageBufferSize = 304;

// Documents are addressed with 32-bit offsets; a longer text is kept but not indexed.
constexpr size_t kLargestIndexedDocument = std::numeric_limits<int32_t>::max() - 1;

// The longest prefix of `name` that fits `room` bytes without cutting a UTF-8 sequence.
std::string_view CutName(std::string_view name, size_t room) {
  if (name.size() <= room) return name;
  size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

}  // namespace

struct CMarkupSTL::ParseStep {
  enum Outcome { kError, kParentEnd, kComplete, kOpen };
  Outcome outcome = kError;
  int32_t element = 0;
  int32_t nameLeft = 0;  // start tag name of an open element
  int32_t nameLength = 0;
};

bool CMarkupSTL::ParseDocument() {
  const std::string kept = mError;
  mParentPos = mMainPos = mChildPos = mMainKind = 0;
  mFreePos = 1;
  const size_t indexed = std::min(mDocument.size(), kLargestIndexedDocument);
  mIndex.Grow(static_cast<int32_t>(indexed / 64) + 8);
  mError.clear();

  bool well_formed = false;
  if (!mDocument.empty() && mDocument.size() <= kLargestIndexedDocument) {
    mIndex[0] = ElementEntry{};
    const int32_t root = ParseRootElement();
    if (root > 0) {
      mIndex[0].firstChild = root;
      well_formed = true;
    }
  }
  if (!well_formed) {
    mIndex[0] = ElementEntry{};
    mFreePos = 1;
  }
  mParentPos = mMainPos = mChildPos = mMainKind = 0;

  if (!mError.empty()) {
    mError = kept + ", " + mError;
  } else {
    mError = kept;
  }
  return well_formed;
}

int32_t CMarkupSTL::ParseRootElement() {
  struct OpenElement {
    int32_t element;
    int32_t lastChild;
    int32_t nameLeft;
    int32_t nameLength;
  };
  std::vector<OpenElement> open;

  ParseStep step = BeginElement(0);
  for (;;) {
    switch (step.outcome) {
      case ParseStep::kError:
        return -1;
      case ParseStep::kOpen:
        open.push_back({step.element, 0, step.nameLeft, step.nameLength});
        step = BeginElement(step.element);
        break;
      case ParseStep::kComplete: {
        if (open.empty()) return step.element;
        OpenElement& top = open.back();
        if (top.lastChild == 0) {
          mIndex[top.element].firstChild = step.element;
        } else {
          mIndex[top.lastChild].nextSibling = step.element;
        }
        top.lastChild = step.element;
        mIndex[top.element].endLeft = mIndex[step.element].endRight + 1;
        step = BeginElement(top.element);
        break;
      }
      case ParseStep::kParentEnd: {
        if (open.empty()) return 0;
        const OpenElement top = open.back();
        open.pop_back();
        step = FinishElement(top.element, top.nameLeft, top.nameLength);
        break;
      }
    }
  }
}

int32_t CMarkupSTL::NewEntry() {
  if (mFreePos >= mIndex.capacity()) mIndex.Grow(mFreePos + mFreePos / 2);
  return mFreePos++;
}

CMarkupSTL::ParseStep CMarkupSTL::BeginElement(int32_t parent) {
  const int32_t element = NewEntry();
  const char* doc = mDocument.c_str();
  const int32_t scan_from = mIndex[parent].endLeft;
  {
    ElementEntry& entry = mIndex[element];
    entry.startLeft = scan_from;
    entry.parent = parent;
    entry.firstChild = 0;
    entry.nextSibling = 0;
  }

  Token token;
  token.next = scan_from;
  int32_t name_left = 0;
  int32_t name_length = 0;
  int32_t close = 0;
  for (;;) {
    int32_t open = token.next;
    if (!text::FindChar(doc, open, '<')) {
      RecordParseError("Element tag not found", 0, 0);
      return {};
    }
    mIndex[element].startLeft = open;
    mIndex[parent].endLeft = open;
    token.next = open + 1;
    if (!FindToken(token)) {
      RecordParseError("Abrupt end within tag", 0, 0);
      return {};
    }
    if (token.quoted) {
      RecordParseError("Tag starts with quote", 0, 0);
      return {};
    }
    const char first = doc[token.left];
    if (first == '?' || first == '!') {
      if (RecogniseNode(token, open) == kNodeInvalid) {
        RecordParseError("Invalid node", 0, 0);
        return {};
      }
      continue;
    }
    if (first == '/') {
      --mFreePos;  // the parent's end tag: the entry is given back
      return {ParseStep::kParentEnd, 0, 0, 0};
    }
    name_left = token.left;
    name_length = token.right - token.left + 1;
    close = token.next;
    if (!text::FindChar(doc, close, '>')) {
      RecordParseError("End of tag not found", 0, 0);
      return {};
    }
    break;
  }

  ElementEntry& entry = mIndex[element];
  entry.startRight = close;
  if (doc[close - 1] == '/') {
    entry.endLeft = close - 1;
    entry.endRight = close;
    return {ParseStep::kComplete, element, 0, 0};
  }
  entry.endLeft = close + 1;
  return {ParseStep::kOpen, element, name_left, name_length};
}

CMarkupSTL::ParseStep CMarkupSTL::FinishElement(int32_t element, int32_t nameLeft,
                                                int32_t nameLength) {
  const char* doc = mDocument.c_str();
  int32_t open = mIndex[element].endLeft;
  if (!text::FindChar(doc, open, '<')) {
    RecordParseError("End tag of %s element not found", nameLeft, nameLength);
    return {};
  }

  Token token;
  token.next = open + 1;
  int32_t count = 0;
  bool closed = false;
  while (FindToken(token)) {
    ++count;
    if (token.quoted) continue;
    const char first = doc[token.left];
    if (count == 1 && first != '/') {
      RecordParseError("Expecting end tag of element %s", nameLeft, nameLength);
      return {};
    } else if (count == 2 &&
               !TokenMatches(token, doc + nameLeft, static_cast<size_t>(nameLength))) {
      RecordParseError("End tag does not correspond to %s", nameLeft, nameLength);
      return {};
    } else if (first == '>') {
      closed = true;
      break;
    }
  }
  if (!closed || count < 2) {
    RecordParseError("End tag not completed for element %s", nameLeft, nameLength);
    return {};
  }
  mIndex[element].endRight = token.left;
  return {ParseStep::kComplete, element, 0, 0};
}

void CMarkupSTL::RecordParseError(const char* format, int32_t nameLeft, int32_t nameLength) {
  --mFreePos;  // the entry being parsed is given back
  const std::string_view pattern(format);
  const size_t marker = pattern.find("%s");
  if (marker == std::string_view::npos) {
    mError = pattern;
    return;
  }
  const size_t fixed = pattern.size() - 2;
  const size_t room = kMessageBufferSize - 1 - fixed;
  const std::string_view name =
      CutName(std::string_view(mDocument).substr(static_cast<size_t>(nameLeft),
                                                 static_cast<size_t>(nameLength)),
              room);
  mError.assign(pattern.substr(0, marker));
  mError.append(name);
  mError.append(pattern.substr(marker + 2));
}

}  // namespace corvel::markup
