// Shared pieces of the configuration reader: the input stream of a document and its loading.
#pragma once

#include <tinyxml.h>

#include <cstdio>

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

  // Null when the input could not be opened (errno tells why).
  FILE* stream() const { return mStream; }
  void Close();

 private:
  FILE* mStream;
};

// True for a path that names the standard streams.
bool IsStandardStream(const char* path);

// Reads the whole stream and parses it the way the XML library loads a file: every CR LF
// and lone CR becomes LF, the text ends at the first NUL byte, and the encoding is detected
// by default. On failure the document carries the error (ErrorDesc).
bool LoadConfigurationDocument(FILE* stream, TiXmlDocument& document);

// The root element when it is named "Configuration", else null.
TiXmlElement* ConfigurationRoot(TiXmlDocument& document);

}  // namespace corvel::config
