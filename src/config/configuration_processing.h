// Recording a payload's configuration in the store: the product's document (rewritten with
// the payload code first), an optional override document, and a driver document that this
// code writes into the temporary folder, reads back and deletes. One transaction per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "zepservices.h"

namespace corvel::frame {
class TAVLibImpl;
}

namespace corvel::config {

// File name of the override document inside the override folder.
inline constexpr char kOverrideDocumentName[] = "application.xml.override";
// Name template of the driver document in the temporary folder.
inline constexpr char kDriverDocumentTemplate[] = "driver_XXXXXX";
// Size of every path buffer of the processing.
inline constexpr size_t kConfigPathBufferSize = 1024;

// What every walk of one call writes through.
struct ConfigurationStoreContext {
  ZEPHandle store;
  // Subdomain for entries of a hive without code: null while the product's own document is
  // read, the payload code from the override document on.
  const char* fallback_subdomain;
};

// The entry handler of every walk: stores the entry under its subdomain (or the context's
// fallback) in the protected domain, or the unprotected one for protected="0". Returns the
// store's status (non-zero stops the walk of that document), or -1 for a null context.
int StoreConfigurationEntry(void* context, const char* subdomain, const char* key,
                            const char* value, int is_protected);

// Results of WriteDriverConfigurationFile.
inline constexpr uint32_t kDriverDocumentWritten = 0;
inline constexpr uint32_t kDriverDocumentFailed = 5;
inline constexpr uint32_t kDriverDocumentNoTempFolder = 257;

// Writes the driver document (the payload's "DefaultDriverPayload", "InstallDate" and
// "ZEPConfigPath") to a fresh, uniquely named file in the temporary folder and puts its path
// into `path_out`. 0 when written; 5 when no file could be made or writing failed (nothing
// is left behind then); 257 when there is no temporary folder.
uint32_t WriteDriverConfigurationFile(const char* config_path, const char* payload_code,
                                      const char* driver_code, char* path_out, size_t path_size);

// Opens the driver document for reading again without trusting the temporary folder: a
// symbolic link is not followed, and only a regular file of this process's user with a single
// name is accepted. Null otherwise.
FILE* OpenDriverConfigurationFile(const char* path);

// The whole operation behind Corvel_TAVLib_Process_file, logging to the instance's log.
// Returns 0, 6, 9, 10, 35 or 257 (the last also for any exception raised inside).
uint32_t Process_file(const frame::TAVLibImpl& instance, const char* config_path,
                      const char* payload_code, const char* driver_code,
                      const char* override_directory);

}  // namespace corvel::config
