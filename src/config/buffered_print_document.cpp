#include "config/buffered_print_document.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace corvel::config {

namespace {

constexpr std::string_view kIndent = "    ";
constexpr size_t kBufferSize = 64 * 1024;

// Characters the library's EncodeString writes otherwise than as they are.
struct EscapedBytes {
  bool escaped[256];
};
constexpr EscapedBytes MakeEscapedBytes() {
  EscapedBytes bytes{};
  for (int byte = 0; byte < 256; ++byte) {
    bytes.escaped[byte] =
        byte < 32 || byte == '&' || byte == '<' || byte == '>' || byte == '"' || byte == '\'';
  }
  return bytes;
}
constexpr EscapedBytes kEscapedBytes = MakeEscapedBytes();

bool NeedsEscaping(const std::string& text) {
  for (unsigned char c : text) {
    if (kEscapedBytes.escaped[c]) return true;
  }
  return false;
}

// The layout of the library's Print functions, collected in a buffer that goes to the stream
// whenever it is full and before the library prints a node itself. The library prints every
// piece with "%s", so each ends at its first NUL byte; so do the pieces here.
class LayoutWriter {
 public:
  explicit LayoutWriter(FILE* file) : mFile(file), mBuffer(new char[kBufferSize]) {}
  ~LayoutWriter() { Flush(); }
  LayoutWriter(const LayoutWriter&) = delete;
  LayoutWriter& operator=(const LayoutWriter&) = delete;

  void Node(const TiXmlNode& node, int depth) {
    if (const TiXmlElement* element = node.ToElement()) return Element(*element, depth);
    const TiXmlText* text = node.ToText();
    if (text != nullptr && !text->CDATA()) return EncodedText(text->ValueStr());
    Flush();
    node.Print(mFile, depth);
  }

  void Put(std::string_view piece) {
    if (piece.size() > kBufferSize - mSize) {
      Flush();
      if (piece.size() > kBufferSize) {
        fwrite(piece.data(), 1, piece.size(), mFile);
        return;
      }
    }
    std::memcpy(mBuffer.get() + mSize, piece.data(), piece.size());
    mSize += piece.size();
  }

  void Flush() {
    if (mSize == 0) return;
    fwrite(mBuffer.get(), 1, mSize, mFile);
    mSize = 0;
  }

 private:
  void CText(const std::string& text) { Put(std::string_view(text.c_str())); }

  void EncodedText(const std::string& text) {
    if (!NeedsEscaping(text)) return CText(text);
    std::string encoded;
    TiXmlBase::EncodeString(text, &encoded);
    CText(encoded);
  }

  void Indent(int depth) {
    for (int i = 0; i < depth; ++i) Put(kIndent);
  }

  // name="value", or name='value' when the value holds a double quote.
  void Attribute(const TiXmlAttribute& attribute) {
    const char quote = attribute.ValueStr().find('"') == std::string::npos ? '"' : '\'';
    EncodedText(attribute.NameTStr());
    Put("=");
    Put(std::string_view(&quote, 1));
    EncodedText(attribute.ValueStr());
    Put(std::string_view(&quote, 1));
  }

  // <name /> without children; <name>text</name> with one text child; otherwise every child
  // that is not text on a line of its own, one level deeper, and the end tag on its own line.
  void Element(const TiXmlElement& element, int depth) {
    Indent(depth);
    Put("<");
    CText(element.ValueStr());
    for (const TiXmlAttribute* a = element.FirstAttribute(); a != nullptr; a = a->Next()) {
      Put(" ");
      Attribute(*a);
    }
    const TiXmlNode* first = element.FirstChild();
    if (first == nullptr) return Put(" />");
    Put(">");
    if (first == element.LastChild() && first->ToText() != nullptr) {
      Node(*first, depth + 1);
    } else {
      for (const TiXmlNode* child = first; child != nullptr; child = child->NextSibling()) {
        if (child->ToText() == nullptr) Put("\n");
        Node(*child, depth + 1);
      }
      Put("\n");
      Indent(depth);
    }
    Put("</");
    CText(element.ValueStr());
    Put(">");
  }

  FILE* mFile;
  std::unique_ptr<char[]> mBuffer;
  size_t mSize = 0;
};

}  // namespace

void BufferedPrintDocument::Print(FILE* file, int depth) const {
  LayoutWriter writer(file);
  for (const TiXmlNode* node = FirstChild(); node != nullptr; node = node->NextSibling()) {
    writer.Node(*node, depth);
    writer.Put("\n");
  }
}

}  // namespace corvel::config
