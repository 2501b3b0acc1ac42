// Shared pieces of the configuration reader: the input stream of a document and its loading.
#pragma once

#include <tinyxml.h>

#include <cstdio>
#include <string>

namespace corvel::config {

// The input of a document: standard input for "-", otherwise the file opened "rb" through
// OpenConfigurationFile. Closed when the object goes (standard input too, as the reader's
// callers expect).
class ConfigurationInput {
 public:
  explicit ConfigurationInput(const char* path);
  ~ConfigurationInput();
  ConfigurationInput(const ConfigurationInput&) = delete;
  ConfigurationInput& operator=(const ConfigurationInput&) = delete;

  // Null when the input could not be opened (the platform's last error tells why).
  FILE* stream() const { return mStream; }
  void Close();

 private:
  FILE* mStream;
};

// Opens the file at `path` for writing as OpenConfigurationFile(path, "wb") does (the same
// conversion messages, the same failures) but without truncating it; the descriptor, or -1.
int OpenConfigurationFileForRewrite(const char* path);

// True when `path` converts to UTF-16 within the 260-unit buffer of OpenConfigurationFile
// (silently).
bool FitsConfigurationPathBuffer(const char* path);

// True for a path that names the standard streams.
bool IsStandardStream(const char* path);

// Makes a document's bytes the text the XML library parses, as it loads a file: the text ends
// at the first NUL byte, every CR LF and lone CR becomes LF; zero bytes are added behind it.
void PrepareDocumentText(std::string& text);

// Reads the whole stream and parses its text (PrepareDocumentText) with the encoding detected
// by default. A document nested deeper than kNestingLimit is refused before it is parsed, as
// one that does not parse. On failure the document carries the error (ErrorDesc). When
// `plain_text` is given, it tells whether the text parsed is plain (IsPlainDocumentText).
bool LoadConfigurationDocument(FILE* stream, TiXmlDocument& document, bool* plain_text = nullptr);

// Makes the XML library skip its row and column bookkeeping while it parses into `document`
// (every node's Row() is then 0). For documents whose walk prints no message.
void SkipRowTracking(TiXmlDocument& document);

// The root element when it is named "Configuration", else null.
TiXmlElement* ConfigurationRoot(TiXmlDocument& document);
const TiXmlElement* ConfigurationRoot(const TiXmlDocument& document);

}  // namespace corvel::config
