#include "capi/commit.h"

#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/record_operations.h"
#include "services/store_transaction.h"
#include "swtag/iso_tagging.h"

namespace corvel::capi {

namespace {

using frame::FrameLog;

// False when no store handle could be had: then nothing is written and nothing tagged.
bool CommitRecords(frame::TAVLibImpl& instance) {
  services::StoreTransaction store;
  if (!store) return false;
  store.Begin();
  try {
    records::CommitInstallationRecords(instance, store.handle());
  } catch (...) {
    // Out of memory while writing: the writes made so far stand, the transaction ends.
  }
  // The release still answers 0; only the log tells that the records were not stored.
  if (const uint32_t ended = store.End(); ended != 0) {
    FrameLog(instance, "TAVLibImpl::CommitPCD failed to commit the store transaction (status %u)",
             ended);
  }
  return true;
}

}  // namespace

void CommitPCD(frame::TAVLibImpl& instance, bool commit) {
  FrameLog(instance, "TAVLibImpl::CommitPCD STARTED");
  if (commit && CommitRecords(instance) && instance.mTaggingPending &&
      !instance.mTaggingSuppressed) {
    try {
      swtag::DoISOTagging(instance, nullptr, nullptr);
    } catch (...) {
      // Out of memory inside the pass: its store transaction has ended all the same.
    }
    instance.mTaggingPending = false;
  }
  FrameLog(instance, "TAVLibImpl::CommitPCD ENDED");
}

}  // namespace corvel::capi
