// The store handle of one configuration operation and its transaction.
#pragma once

#include <cstdint>

#include "services/zep_bindings.h"

namespace corvel::config {

// Creates a store handle; End (or the object's end) ends the transaction and gives the handle
// back, once. Processing does that only for a handle that exists; removal does it in every
// case, which with a missing services library shows as two more unbound calls.
class StoreSession {
 public:
  enum class EndRule { OnlyWithHandle, Always };

  explicit StoreSession(EndRule rule) : mHandle(zep::C_ZEPPCDServiceCreate()), mRule(rule) {}
  ~StoreSession() { End(); }
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  ZEPHandle handle() const { return mHandle; }

  // Begins the transaction; its result is not examined.
  void Begin() {
    zep::C_ZEPPCDServiceBeginTransaction(mHandle);
    mBegun = true;
  }

  // 0, or the end's status when a transaction begun on an existing handle did not commit.
  // Without a handle nothing was written, so nothing can be lost.
  uint32_t End() {
    if (mEnded) return 0;
    mEnded = true;
    if (mHandle == nullptr && mRule == EndRule::OnlyWithHandle) return 0;
    const uint32_t status = zep::C_ZEPPCDServiceEndTransaction(mHandle);
    zep::C_ZEPRelease(mHandle);
    return mBegun && mHandle != nullptr ? status : 0;
  }

 private:
  ZEPHandle mHandle;
  EndRule mRule;
  bool mBegun = false;
  bool mEnded = false;
};

}  // namespace corvel::config
