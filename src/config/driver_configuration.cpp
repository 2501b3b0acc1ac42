// The driver document: a small configuration document that records, under the payload code,
// the payload's driver, the install time and where the product's document lives.
#include <tinyxml.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "config/configuration_processing.h"
#include "platform/platform.h"
#include "util/bounded_text.h"
#include "util/file_utf8.h"

namespace corvel::config {

namespace {

void AddDataElement(TiXmlElement& hive, const char* key, const char* text) {
  auto data = std::make_unique<TiXmlElement>("Data");
  data->SetAttribute("key", key);
  data->LinkEndChild(new TiXmlText(text));
  hive.LinkEndChild(data.release());
}

// None of the entries carries "protected", so all of them are stored as protected entries.
void BuildDriverDocument(TiXmlDocument& document, const char* config_path, const char* payload_code,
                         const char* driver_code) {
  int64_t seconds = 0;
  int milliseconds = 0;
  platform::CurrentTime(&seconds, &milliseconds);
  std::string install_date = std::to_string(seconds);

  document.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
  auto root = std::make_unique<TiXmlElement>("Configuration");
  auto hive = std::make_unique<TiXmlElement>("Payload");
  hive->SetAttribute("corvelCode", payload_code);
  AddDataElement(*hive, "DefaultDriverPayload", driver_code);
  AddDataElement(*hive, "InstallDate", install_date.c_str());
  AddDataElement(*hive, "ZEPConfigPath", config_path);
  root->LinkEndChild(hive.release());
  document.LinkEndChild(root.release());
}

// Writes the document in the XML library's standard layout; true when all of it reached the
// file. The stream is closed either way.
bool SaveAndClose(const TiXmlDocument& document, FILE* stream) {
  bool written = document.SaveFile(stream);
  if (fflush(stream) != 0) written = false;
  if (fclose(stream) != 0) written = false;
  return written;
}

}  // namespace

uint32_t WriteDriverConfigurationFile(const char* config_path, const char* payload_code,
                                      const char* driver_code, char* path_out, size_t path_size) {
  TiXmlDocument document;
  BuildDriverDocument(document, config_path, payload_code, driver_code);

  char folder[kConfigPathBufferSize];
  if (util::TempFolderPath(folder, sizeof folder) == nullptr || folder[0] == '\0') {
    return kDriverDocumentNoTempFolder;
  }
  std::string path = std::string(folder) + "/" + kDriverDocumentTemplate;
  if (path.size() >= kConfigPathBufferSize || path.size() >= path_size) {
    return kDriverDocumentFailed;
  }
  // mkstemp: a name nobody else holds, created exclusively with mode 0600.
  int fd = platform::MakeTempFile(path);
  if (fd < 0) return kDriverDocumentFailed;
  FILE* stream = platform::StreamFromFd(fd, "wb");
  if (stream == nullptr) {
    platform::RemoveFile(path);
    return kDriverDocumentFailed;
  }
  if (!SaveAndClose(document, stream)) {
    platform::RemoveFile(path);
    return kDriverDocumentFailed;
  }
  util::CopyText(path_out, path_size, path.c_str(), path.size() + 1);
  return kDriverDocumentWritten;
}

FILE* OpenDriverConfigurationFile(const char* path) {
  if (path == nullptr) return nullptr;
  platform::UniqueFd fd(platform::OpenNoFollow(path, platform::OpenFlags::Read));
  if (!fd.valid()) return nullptr;
  platform::FileInfo info;
  if (!platform::GetFileInfo(fd.get(), &info) || info.kind != platform::FileKind::Regular ||
      !info.ownedByMe || info.links != 1) {
    return nullptr;
  }
  return platform::StreamFromFd(fd.release(), "rb");
}

}  // namespace corvel::config
