#include "config/config_document.h"

#include <cstring>
#include <string>
#include <utility>

#include "config/nesting_depth.h"
#include "config/parse_config.h"
#include "config/plain_document.h"

namespace corvel::config {

bool IsStandardStream(const char* path) { return path != nullptr && std::strcmp(path, "-") == 0; }

ConfigurationInput::ConfigurationInput(const char* path)
    : mStream(IsStandardStream(path) ? stdin : OpenConfigurationFile(path, "rb")) {}

ConfigurationInput::~ConfigurationInput() { Close(); }

void ConfigurationInput::Close() {
  if (mStream != nullptr) {
    fclose(mStream);
    mStream = nullptr;
  }
}

namespace {

// Reads up to the end of the stream or up to the first NUL byte, where the text ends anyway
// (so a device that yields zero bytes forever is not read forever).
bool ReadWholeStream(FILE* stream, std::string& text) {
  char chunk[64 * 1024];
  size_t count;
  while ((count = fread(chunk, 1, sizeof chunk, stream)) > 0) {
    const void* nul = std::memchr(chunk, '\0', count);
    if (nul != nullptr) {
      text.append(chunk, static_cast<size_t>(static_cast<const char*>(nul) - chunk));
      return true;
    }
    text.append(chunk, count);
  }
  return ferror(stream) == 0;
}

// CR LF and lone CR become LF.
void NormalizeLineEnds(std::string& text) {
  const void* first_cr = std::memchr(text.data(), '\r', text.size());
  if (first_cr == nullptr) return;
  size_t out = static_cast<size_t>(static_cast<const char*>(first_cr) - text.data());
  for (size_t in = out; in < text.size(); ++in) {
    if (text[in] == '\r') {
      text[out++] = '\n';
      if (in + 1 < text.size() && text[in + 1] == '\n') ++in;
    } else {
      text[out++] = text[in];
    }
  }
  text.resize(out);
}

// The longest UTF-8 sequence the XML library steps over (4 bytes) less its lead byte.
constexpr size_t kUtf8SequenceOverrun = 3;

}  // namespace

void PrepareDocumentText(std::string& text) {
  text.resize(std::strlen(text.c_str()));
  NormalizeLineEnds(text);
  // The XML library steps over a whole UTF-8 sequence from its lead byte without checking
  // for the end of the text, so a lead byte among the last bytes of a document makes it step
  // up to three bytes past the terminator and parse whatever lies there. Zero bytes behind
  // the text keep every such step inside it, on an end of text.
  text.append(kUtf8SequenceOverrun, '\0');
}

bool LoadConfigurationDocument(FILE* stream, TiXmlDocument& document, bool* plain_text) {
  std::string text;
  if (!ReadWholeStream(stream, text)) {
    document.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr,
                      TIXML_ENCODING_UNKNOWN);
    return false;
  }
  PrepareDocumentText(text);
  // The XML library's parser recurses once per nested element: a deep document would
  // overflow the stack of the thread that parses it, so it is refused as one that does not
  // parse, before the parser sees it.
  if (NestingDepth(text.c_str(), kNestingLimit) > kNestingLimit) {
    document.SetError(TiXmlBase::TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr,
                      TIXML_ENCODING_UNKNOWN);
    return false;
  }
  if (plain_text != nullptr) {
    *plain_text = IsPlainDocumentText(text.data(), text.size() - kUtf8SequenceOverrun);
  }
  document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  return !document.Error();
}

// The XML library counts rows and columns only with a tab size of at least 1.
void SkipRowTracking(TiXmlDocument& document) { document.SetTabSize(0); }

const TiXmlElement* ConfigurationRoot(const TiXmlDocument& document) {
  const TiXmlElement* root = document.RootElement();
  if (root == nullptr || std::strcmp(root->Value(), "Configuration") != 0) return nullptr;
  return root;
}

TiXmlElement* ConfigurationRoot(TiXmlDocument& document) {
  return const_cast<TiXmlElement*>(ConfigurationRoot(std::as_const(document)));
}

}  // namespace corvel::config
