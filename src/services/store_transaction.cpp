#include "services/store_transaction.h"

namespace corvel::services {

StoreTransaction::StoreTransaction(EndRule rule)
    : mHandle(zep::C_ZEPPCDServiceCreate()), mRule(rule) {}

StoreTransaction::~StoreTransaction() {
  try {
    End();
  } catch (...) {
    // Out of memory while resolving an entry point: nothing more can be done.
  }
}

void StoreTransaction::Begin() {
  if (mHandle == nullptr && mRule != EndRule::Always) return;
  zep::C_ZEPPCDServiceBeginTransaction(mHandle);
  mBegun = true;
}

uint32_t StoreTransaction::End() {
  if (mEnded) return 0;
  mEnded = true;
  if (mHandle == nullptr && mRule != EndRule::Always) return 0;
  if (mRule == EndRule::ReleaseOnly) {
    zep::C_ZEPRelease(mHandle);
    return 0;
  }
  const uint32_t status = zep::C_ZEPPCDServiceEndTransaction(mHandle);
  zep::C_ZEPRelease(mHandle);
  return mBegun && mHandle != nullptr ? status : 0;
}

}  // namespace corvel::services
