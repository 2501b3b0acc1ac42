// Rewriting a configuration document so that its Payload hive carries a given code.
#include <tinyxml.h>

#include <cstdio>

#include "config/config_document.h"
#include "config/parse_config.h"

namespace corvel::config {

namespace {

// The output of the rewritten document: standard output for "-", else the file "wb".
FILE* OpenOutput(const char* path) {
  return IsStandardStream(path) ? stdout : OpenConfigurationFile(path, "wb");
}

// Writes the document in the XML library's standard layout and closes the stream; true
// when every byte reached the file.
bool SaveAndClose(const TiXmlDocument& document, FILE* output) {
  bool written = document.SaveFile(output);
  if (fflush(output) != 0) written = false;
  if (fclose(output) != 0) written = false;
  return written;
}

}  // namespace

int SetConfigurationPayloadCode(const char* path, const char* code) {
  TiXmlDocument document;
  {
    ConfigurationInput input(path);
    if (input.stream() == nullptr) return -1;
    if (!LoadConfigurationDocument(input.stream(), document)) return -1;
    if (ConfigurationRoot(document) == nullptr) return -1;
  }
  TiXmlNode* payload = ConfigurationRoot(document)->FirstChild("Payload");
  if (payload == nullptr) return -1;
  // A node that only shares the name (a comment) has no attribute to set.
  TiXmlElement* hive = payload->ToElement();
  if (hive == nullptr || code == nullptr) return -1;
  hive->SetAttribute("corvelCode", code);

  FILE* output = OpenOutput(path);
  if (output == nullptr) return -1;
  return SaveAndClose(document, output) ? 0 : 1;
}

}  // namespace corvel::config
