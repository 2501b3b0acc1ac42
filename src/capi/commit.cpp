#include "capi/commit.h"

#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/record_operations.h"
#include "services/zep_bindings.h"
#include "swtag/iso_tagging.h"

namespace corvel::capi {

using frame::FrameLog;

void CommitPCD(frame::TAVLibImpl& instance, bool commit) {
  FrameLog(instance, "TAVLibImpl::CommitPCD STARTED");
  if (commit) {
    instance.mStore = zep::C_ZEPPCDServiceCreate();
    if (instance.mStore != nullptr) {
      zep::C_ZEPPCDServiceBeginTransaction(instance.mStore);
      try {
        records::CommitInstallationRecords(instance, instance.mStore);
      } catch (...) {
        // Out of memory while writing: the writes made so far stand, the transaction ends.
      }
      const uint32_t ended = zep::C_ZEPPCDServiceEndTransaction(instance.mStore);
      zep::C_ZEPRelease(instance.mStore);
      instance.mStore = nullptr;
      // The release still answers 0; only the log tells that the records were not stored.
      if (ended != 0) {
        FrameLog(instance,
                 "TAVLibImpl::CommitPCD failed to commit the store transaction (status %u)",
                 ended);
      }
      if (instance.mTaggingPending && !instance.mTaggingSuppressed) {
        try {
          swtag::DoISOTagging(instance, nullptr, nullptr);
        } catch (...) {
          // Out of memory inside the pass: its store handle is given back all the same.
          if (instance.mStore != nullptr) {
            zep::C_ZEPPCDServiceEndTransaction(instance.mStore);
            zep::C_ZEPRelease(instance.mStore);
            instance.mStore = nullptr;
          }
        }
        instance.mTaggingPending = false;
      }
    }
  }
  FrameLog(instance, "TAVLibImpl::CommitPCD ENDED");
}

}  // namespace corvel::capi
