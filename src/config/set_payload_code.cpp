// Rewriting a configuration document so that its Payload hive carries a given code.
#include <tinyxml.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "config/buffered_print_document.h"
#include "config/config_document.h"
#include "config/parse_config.h"
#include "config/plain_document.h"
#include "platform/platform.h"

namespace corvel::config {

namespace {

// The fresh file a rewrite writes beside the document before renaming it over the document:
// this prefix to the document's name, in its folder (a killed rewrite's leftover is found
// there again by the next one).
constexpr char kFreshFilePrefix[] = ".tavlib~";

// Empty when that name does not fit the path limits; the document is then rewritten in place.
std::string FreshPathBeside(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  std::string fresh = path.substr(0, name) + kFreshFilePrefix + path.substr(name);
  return FitsConfigurationPathBuffer(fresh.c_str()) ? fresh : std::string();
}

// Writes the document in the XML library's standard layout to the standard output.
int SaveToStandardOutput(const TiXmlDocument& document) {
  bool written = document.SaveFile(stdout);
  if (fflush(stdout) != 0) written = false;
  if (fclose(stdout) != 0) written = false;
  return written ? 0 : 1;
}

// Writes the document in the XML library's standard layout over the file: -1 when the file
// cannot be opened for writing, 1 when writing failed, 0 when the file holds the new text.
int SaveOverFile(const TiXmlDocument& document, const char* path) {
  platform::UniqueFd file(OpenConfigurationFileForRewrite(path));
  if (!file.valid()) return -1;
  platform::FileRewrite rewrite(std::move(file), path, FreshPathBeside(path));
  FILE* output = rewrite.Begin();
  if (output == nullptr) return 1;
  return rewrite.Finish(document.SaveFile(output)) ? 0 : 1;
}

}  // namespace

RewrittenDocument::RewrittenDocument() = default;
RewrittenDocument::~RewrittenDocument() = default;

int SetConfigurationPayloadCode(const char* path, const char* code) {
  return SetConfigurationPayloadCode(path, code, nullptr);
}

int SetConfigurationPayloadCode(const char* path, const char* code, RewrittenDocument* kept) {
  // Saved in the library's layout through one buffer.
  std::unique_ptr<TiXmlDocument> document = std::make_unique<BufferedPrintDocument>();
  // The rewrite prints no message, and a kept document is walked quietly: no row is shown.
  SkipRowTracking(*document);
  bool plain_text = false;
  {
    ConfigurationInput input(path);
    if (input.stream() == nullptr) return -1;
    if (!LoadConfigurationDocument(input.stream(), *document,
                                   kept != nullptr ? &plain_text : nullptr)) {
      return -1;
    }
    if (ConfigurationRoot(*document) == nullptr) return -1;
  }
  TiXmlNode* payload = ConfigurationRoot(*document)->FirstChild("Payload");
  if (payload == nullptr) return -1;
  // A node that only shares the name (a comment) has no attribute to set.
  TiXmlElement* hive = payload->ToElement();
  if (hive == nullptr || code == nullptr) return -1;
  hive->SetAttribute("corvelCode", code);
  if (IsStandardStream(path)) return SaveToStandardOutput(*document);
  const int result = SaveOverFile(*document, path);
  // Reading the file back would give this very document. Only a regular file reads back
  // what was written to it.
  if (result == 0 && kept != nullptr && plain_text && IsPlainCode(code) &&
      SavesAsParsed(*document) && platform::IsRegularFileNoFollow(path)) {
    kept->mDocument = std::move(document);
  }
  return result;
}

}  // namespace corvel::config
