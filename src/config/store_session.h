// The store handle of one configuration operation and its transaction.
#pragma once

#include "services/zep_bindings.h"

namespace corvel::config {

// Creates a store handle; when the object goes, ends the transaction and gives the handle
// back. Processing does that only for a handle that exists; removal does it in every case,
// which with a missing services library shows as two more unbound calls.
class StoreSession {
 public:
  enum class EndRule { OnlyWithHandle, Always };

  explicit StoreSession(EndRule rule) : mHandle(zep::C_ZEPPCDServiceCreate()), mRule(rule) {}
  ~StoreSession() {
    if (mHandle == nullptr && mRule == EndRule::OnlyWithHandle) return;
    zep::C_ZEPPCDServiceEndTransaction(mHandle);
    zep::C_ZEPRelease(mHandle);
  }
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  ZEPHandle handle() const { return mHandle; }

 private:
  ZEPHandle mHandle;
  EndRule mRule;
};

}  // namespace corvel::config
