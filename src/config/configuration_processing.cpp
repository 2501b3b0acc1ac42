// Configuration processing: records a payload's configuration documents in the store.
#include "config/configuration_processing.h"

#include <cstdio>
#include <memory>
#include <string>

#include "config/parse_config.h"
#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "platform/platform.h"
#include "services/store_transaction.h"
#include "services/zep_bindings.h"
#include "util/file_utf8.h"
#include "util/text_arguments.h"

namespace corvel::config {

namespace {

using services::StoreTransaction;
using util::IsEmptyText;

// One call of the processing, after its arguments were checked.
class ConfigurationRun {
 public:
  ConfigurationRun(const frame::TAVLibImpl& instance, const char* config_path,
                   const char* payload_code, const char* driver_code,
                   const char* override_directory)
      : mInstance(instance),
        mConfigPath(config_path),
        mPayloadCode(payload_code),
        mDriverCode(driver_code),
        mOverrideDirectory(override_directory) {}

  // Every path ends the transaction. One that does not commit stored nothing: a run that
  // would have reported its documents recorded answers kTAVLibStoreFailed instead.
  uint32_t Run() {
    StoreTransaction session;
    uint32_t result = RunInTransaction(session);
    if (const uint32_t ended = session.End(); ended != 0) {
      frame::FrameLog(mInstance,
                      "TAVLib Config Process failed to commit the store transaction (status %u)",
                      ended);
      if (result == kTAVLibSuccess || result == kTAVLibProcessingFailed) {
        result = kTAVLibStoreFailed;
      }
    }
    return result;
  }

 private:
  uint32_t RunInTransaction(StoreTransaction& session) {
    if (zep::C_ZEPPCDServiceCheckDatabase(session.handle(), false) != 0) {
      frame::FrameLog(mInstance, "master PCD DB Failed to create");
      return kTAVLibStoreFailed;
    }
    session.Begin();
    ConfigurationStoreContext context{session.handle(), nullptr};

    if (const uint32_t result = StoreApplicationDocument(context); result != kTAVLibSuccess) {
      return result;
    }
    bool override_failed = !StoreOverrideDocument(context);
    return StoreDriverDocument(context, override_failed);
  }

  // Rewrites the product's document with the payload code and walks it. The rewritten
  // document is walked as the file would be read back (in memory when that gives the same
  // entries), and let go before the other documents are read.
  uint32_t StoreApplicationDocument(ConfigurationStoreContext& context) {
    RewrittenDocument rewritten;
    if (SetConfigurationPayloadCode(mConfigPath, mPayloadCode, &rewritten) != 0) {
      frame::FrameLog(mInstance, "failed to set corvel code in application.xml");
      return kTAVLibPreconditionFailed;
    }
    if (WalkRewrittenConfiguration(mConfigPath, rewritten, &StoreConfigurationEntry, &context) !=
        0) {
      frame::FrameLog(mInstance, "failed to parse or load application.xml");
      return kTAVLibPreconditionFailed;
    }
    return kTAVLibSuccess;
  }

  // False only when an override document exists and could not be walked.
  bool StoreOverrideDocument(ConfigurationStoreContext& context) {
    if (IsEmptyText(mOverrideDirectory)) return true;
    frame::FrameLog(mInstance, "checking override directory...  %s", mOverrideDirectory);
    std::string path = std::string(mOverrideDirectory) + "/" + kOverrideDocumentName;
    // A joined path beyond the path buffers counts as a missing override document.
    bool fits = path.size() < kConfigPathBufferSize;
    if (!fits || !util::PathExistsUtf8(path.c_str())) {
      if (!fits) path.resize(kConfigPathBufferSize - 1);
      frame::FrameLog(mInstance, "nothing found=%s", path.c_str());
      return true;
    }
    frame::FrameLog(mInstance, "found application.xml.override");
    context.fallback_subdomain = mPayloadCode;
    return parseconfig(path.c_str(), &StoreConfigurationEntry, &context, 1) == 0;
  }

  uint32_t StoreDriverDocument(ConfigurationStoreContext& context, bool override_failed) {
    char driver_path[kConfigPathBufferSize] = {};
    if (WriteDriverConfigurationFile(mConfigPath, mPayloadCode, mDriverCode, driver_path,
                                     sizeof driver_path) != kDriverDocumentWritten) {
      frame::FrameLog(mInstance, "failed to create driver config file");
      return kTAVLibPreconditionFailed;
    }
    frame::FrameLog(mInstance, "created driver config file %s", driver_path);
    // The temporary folder is shared: the document is read back only if it is still ours.
    std::unique_ptr<FILE, platform::FileCloser> driver(OpenDriverConfigurationFile(driver_path));
    if (!driver ||
        WalkConfigurationStream(driver.get(), &StoreConfigurationEntry, &context, 1) != 0) {
      // The document stays on disk for inspection.
      frame::FrameLog(mInstance, "failed to parse or load driver config file");
      return kTAVLibPreconditionFailed;
    }
    util::RemoveFileUtf8(driver_path);
    frame::FrameLog(mInstance, "TAVLib Config Process Done");
    return override_failed ? kTAVLibProcessingFailed : kTAVLibSuccess;
  }

  const frame::TAVLibImpl& mInstance;
  const char* mConfigPath;
  const char* mPayloadCode;
  const char* mDriverCode;
  const char* mOverrideDirectory;
};

uint32_t CheckAndRun(const frame::TAVLibImpl& instance, const char* config_path,
                     const char* payload_code, const char* driver_code,
                     const char* override_directory) {
  if (IsEmptyText(config_path)) {
    frame::FrameLog(instance, "invalid config_file_path");
    return kTAVLibInvalidArgument;
  }
  if (!util::PathExistsUtf8(config_path)) {
    frame::FrameLog(instance, "config_file_path does not point to a file that exists");
    return kTAVLibNotFound;
  }
  if (IsEmptyText(payload_code)) {
    frame::FrameLog(instance, "invalid payload_code");
    return kTAVLibInvalidArgument;
  }
  if (IsEmptyText(driver_code)) {
    frame::FrameLog(instance, "payload is a driver");
    driver_code = payload_code;
  }
  frame::FrameLog(instance, "  path:     %s  payload:  %s\n  driver:   %s\n  override: %s\n",
                  config_path, payload_code, driver_code,
                  override_directory != nullptr ? override_directory : "not specified");
  return ConfigurationRun(instance, config_path, payload_code, driver_code, override_directory)
      .Run();
}

}  // namespace

int StoreConfigurationEntry(void* context, const char* subdomain, const char* key,
                            const char* value, int is_protected) {
  if (context == nullptr) return -1;
  const auto* store_context = static_cast<const ConfigurationStoreContext*>(context);
  if (subdomain == nullptr && store_context->fallback_subdomain != nullptr) {
    subdomain = store_context->fallback_subdomain;
  }
  bool unprotected_domain = is_protected == 0;
  return static_cast<int>(zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(
      store_context->store, value, key, subdomain, unprotected_domain));
}

uint32_t Process_file(const frame::TAVLibImpl& instance, const char* config_path,
                      const char* payload_code, const char* driver_code,
                      const char* override_directory) {
  frame::FrameLog(instance, "TAVLib Config Process");
  try {
    return CheckAndRun(instance, config_path, payload_code, driver_code, override_directory);
  } catch (...) {
    return kTAVLibPreconditionFailed;
  }
}

}  // namespace corvel::config
