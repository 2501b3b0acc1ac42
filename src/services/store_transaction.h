// A store handle and its transaction, given back however the scope is left.
//
// Construction creates the handle; Begin begins the transaction; End (or the destructor)
// ends it and gives the handle back, once, as the rule says.
#pragma once

#include <cstdint>

#include "services/zep_bindings.h"

namespace corvel::services {

class StoreTransaction {
 public:
  enum class EndRule {
    ReleaseOnly,     // no transaction: the handle, when there is one, is only given back
    OnlyWithHandle,  // a handle's transaction is ended and the handle given back
    Always,          // the same for a null handle, which with a missing services library
                     // shows as unbound calls
  };

  explicit StoreTransaction(EndRule rule = EndRule::OnlyWithHandle);
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  ZEPHandle handle() const { return mHandle; }
  explicit operator bool() const { return mHandle != nullptr; }

  // Begins the transaction (on a null handle only under Always); its result is not examined.
  void Begin();

  // 0, or the end's status when a transaction begun on an existing handle did not commit
  // (without a handle nothing was written, so nothing can be lost). Later calls answer 0.
  uint32_t End();

 private:
  ZEPHandle mHandle;
  EndRule mRule;
  bool mBegun = false;
  bool mEnded = false;
};

}  // namespace corvel::services
