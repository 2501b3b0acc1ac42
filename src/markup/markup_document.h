// CMarkupSTL: a small XML document engine. The document is one narrow (UTF-8) text held whole
// in memory plus an index of its elements by byte offset and a cursor of three positions
// (parent, main, child). Reading scans the text; every edit splices the text in place and
// shifts the offsets of the index entries behind the edit. Only elements are indexed;
// processing instructions, comments, CDATA sections, document type declarations and text are
// skipped over by the parser, and element content is read and written as text.
//
// One object is used by one thread at a time; objects are independent of each other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvel::markup {

// One element of the index. Offsets are byte offsets into the document text.
struct ElementEntry {
  int32_t startLeft = 0;    // the '<' that opens the start tag
  int32_t startRight = 0;   // the '>' that closes the start tag
  int32_t endLeft = 0;      // the '<' of the end tag; for <name/> the '/' (startRight - 1)
  int32_t endRight = 0;     // the '>' of the end tag; for <name/> equal to startRight
  int32_t parent = 0;       // index of the parent element, 0 = document level
  int32_t firstChild = 0;   // index of the first child element, 0 = none
  int32_t nextSibling = 0;  // index of the next sibling element, 0 = none
};

// A segmented array of entries: index i lives in segment i >> 16 at slot i & 0xFFFF. Every
// segment but the last is full, and growing never moves an entry to another segment.
class ElementIndex {
 public:
  static constexpr int32_t kSegmentBits = 16;
  static constexpr int32_t kSegmentSize = 1 << kSegmentBits;  // 65536 entries
  static constexpr int32_t kSlotMask = kSegmentSize - 1;

  ElementIndex() = default;
  ElementIndex(const ElementIndex&) = delete;
  ElementIndex& operator=(const ElementIndex&) = delete;

  ElementEntry& operator[](int32_t i) { return mSegments[i >> kSegmentBits][i & kSlotMask]; }
  const ElementEntry& operator[](int32_t i) const {
    return mSegments[i >> kSegmentBits][i & kSlotMask];
  }

  int32_t capacity() const { return mCapacity; }
  bool exists() const { return mCapacity > 0; }
  // Number of slots in the segment table (segments allocated or not).
  int32_t tableSlots() const { return mTableSlots; }

  // Grows the index to hold at least `wanted` entries, adding at most one segment per call
  // (a full one when a new segment is begun). `wanted` must be positive.
  void Grow(int32_t wanted);

 private:
  using Segment = std::unique_ptr<ElementEntry[]>;
  std::unique_ptr<Segment[]> mSegments;
  int32_t mTableSlots = 0;
  int32_t mCapacity = 0;
};

// What the node recogniser found at an offset.
enum NodeKind : int32_t {
  kNodeInvalid = 0,
  kNodeElement = 1,
  kNodeText = 2,
  kNodeWhitespace = 4,
  kNodeCData = 8,
  kNodeProcessingInstruction = 16,
  kNodeComment = 32,
  kNodeDocumentType = 64,
};

// Scanner state over the document text.
struct Token {
  int32_t left = 0;     // first character of the token (inside the quotes when quoted)
  int32_t right = 0;    // last character of the token
  int32_t next = 0;     // where the next scan starts
  bool quoted = false;  // the token was a quoted string
};

class CMarkupSTL {
 public:
  // Document flag: the file was read as, and is written as, FF FE + UTF-16LE.
  static constexpr int32_t UnicodeFile = 1;

  // An empty, not well-formed document.
  CMarkupSTL();
  virtual ~CMarkupSTL();
  CMarkupSTL(const CMarkupSTL&) = delete;
  CMarkupSTL& operator=(const CMarkupSTL&) = delete;

  // Replaces the document (null clears it), clears the error text and parses.
  bool SetDocument(const char* text);
  // The index holds a root element.
  bool IsWellFormed() const;
  // Reads the file at the UTF-8 path (UTF-16LE after an FF FE mark, otherwise bytes as they
  // are) and parses it. On failure to open or read, the error text is the system's message
  // and the document is left as it was.
  bool Load(const char* path);
  // The same with a UTF-16 path, converted to UTF-8 first (an ill-formed path cannot be
  // opened).
  bool Load(const std::u16string& path);
  // Writes the document to the UTF-8 path in the form the UnicodeFile flag selects.
  bool Save(const char* path);
  // Result or error text of the last load, save or parse.
  const std::string& GetError() const { return mError; }

  // Moves the main position to the next element (of the given name or path) among the
  // parent's children; "/" at the start of a path begins at the root, "*" matches any name.
  bool FindElement(const char* name = nullptr);
  // Moves the child position to the next child element of the main position.
  bool FindChildElement(const char* name = nullptr);
  // Main becomes parent, child becomes main.
  bool IntoElement();
  // Parent becomes main, main becomes child.
  bool OutOfElement();

  // Tag name of the main element; empty when there is none.
  std::string GetTagName() const;
  // Decoded text content of the main element (a leading CDATA section is returned as it
  // stands); empty for no element, an empty element or one with child elements.
  std::string GetData() const;
  // Replaces the text content of the main element (escaped); false when there is no main
  // element or it has child elements.
  bool SetData(const char* text);
  // Adds an empty element after the main position and makes it the main position.
  bool AddElement(const char* name);
  // Adds an empty child element after the child position and makes it the child position.
  bool AddChildElement(const char* name);

  // Read-only views for diagnostics and tests.
  const std::string& GetDoc() const { return mDocument; }
  int32_t GetFlags() const { return mFlags; }
  int32_t GetParentPos() const { return mParentPos; }
  int32_t GetMainPos() const { return mMainPos; }
  int32_t GetChildPos() const { return mChildPos; }
  int32_t GetFreePos() const { return mFreePos; }
  int32_t GetMainKind() const { return mMainKind; }
  const ElementIndex& GetIndex() const { return mIndex; }

 private:
  // ---- parsing
  bool ParseDocument();
  int32_t ParseRootElement();
  // One start-tag step of the element parse under `parent`; see markup_parse.cpp.
  struct ParseStep;
  ParseStep BeginElement(int32_t parent);
  ParseStep FinishElement(int32_t element, int32_t nameLeft, int32_t nameLength);
  int32_t NewEntry();
  void RecordParseError(const char* format, int32_t nameLeft, int32_t nameLength);

  // ---- scanning
  bool FindToken(Token& token) const;
  std::string TokenText(const Token& token) const;
  bool TokenMatches(const Token& token, const char* name) const;
  bool TokenMatches(const Token& token, const char* name, size_t nameLength) const;
  int32_t RecogniseNode(Token& token, int32_t offset) const;

  // ---- navigation and content
  int32_t FindIn(int32_t parent, int32_t after, const char* path) const;
  std::string TagNameAt(int32_t element) const;
  std::string DecodeText(int32_t begin, int32_t end) const;

  // ---- editing
  void ReplaceStretch(int32_t offset, int32_t replaced, const std::string& inserted);
  void ShiftAfter(int32_t element, int32_t delta);
  void ShiftSubtree(int32_t top, int32_t delta);
  bool AddElementAt(const char* name, bool asChild);

  std::string mDocument;
  std::string mError;
  int32_t mFlags = 0;
  int32_t mParentPos = 0;
  int32_t mMainPos = 0;
  int32_t mChildPos = 0;
  int32_t mFreePos = 1;
  int32_t mMainKind = 0;
  ElementIndex mIndex;
};

// The engine's own text conversions for the Unicode file form (they differ from the checked
// converters of the text utilities: surrogates are combined without checking their halves,
// and a cut UTF-8 sequence becomes "?").
std::string MarkupUtf16ToUtf8(const char16_t* units, size_t count);
std::u16string MarkupUtf8ToUtf16(const std::string& text);

// Content escaping: '<', '&' and '>' become entity references; everything else is copied.
std::string MarkupEscapeText(const char* text);

}  // namespace corvel::markup
