#include "frame/tavlib_impl.h"

#include "frame/commit_records.h"
#include "frame/frame_log.h"
#include "frame/instance_registry.h"
#include "frame/main_log.h"
#include "frame/version.h"
#include "services/service_loader.h"
#include "services/zep_bindings.h"

namespace corvel::frame {

TAVLibImpl::TAVLibImpl() noexcept {
  SetUpLogging(*this);
  FrameLog(*this, "*************TAVLib Session Starts*************");
  FrameLog(*this, "Version %s\n", kVersionText);
  mRefID = InstanceRegistry::Process().CountConstruction();
}

TAVLibImpl::~TAVLibImpl() {
  if (mStore != nullptr) {
    zep::C_ZEPRelease(mStore);
    mStore = nullptr;
  }
  if (mLogger != nullptr) {
    zep::C_ZEPRelease(mLogger);
    mLogger = nullptr;
  }
  FrameLog(*this, "*************TAVLib Session Ends*************");
  TearDownLogging(*this);
  if (InstanceRegistry::Process().live_count() == 0 && !MainLogInUse()) {
    services::ServiceLoader::Shutdown();
  }
}

void TAVLibImpl::CommitPCD(bool commit) {
  FrameLog(*this, "TAVLibImpl::CommitPCD STARTED");
  if (commit) {
    mStore = zep::C_ZEPPCDServiceCreate();
    if (mStore != nullptr) {
      zep::C_ZEPPCDServiceBeginTransaction(mStore);
      try {
        CommitInstallationRecords(*this, mStore);
      } catch (...) {
        // Out of memory while writing: the writes made so far stand, the transaction ends.
      }
      const uint32_t ended = zep::C_ZEPPCDServiceEndTransaction(mStore);
      zep::C_ZEPRelease(mStore);
      mStore = nullptr;
      // The release still answers 0; only the log tells that the records were not stored.
      if (ended != 0) {
        FrameLog(*this, "TAVLibImpl::CommitPCD failed to commit the store transaction (status %u)",
                 ended);
      }
      if (mTaggingPending && !mTaggingSuppressed) {
        try {
          DoISOTagging(nullptr, nullptr);
        } catch (...) {
          // Out of memory inside the pass: its store handle is given back all the same.
          if (mStore != nullptr) {
            zep::C_ZEPPCDServiceEndTransaction(mStore);
            zep::C_ZEPRelease(mStore);
            mStore = nullptr;
          }
        }
        mTaggingPending = false;
      }
    }
  }
  FrameLog(*this, "TAVLibImpl::CommitPCD ENDED");
}

}  // namespace corvel::frame
