// What every export shares: the handle check and the barrier that keeps exceptions inside.
// Subsystems define their exports as
//
//   extern "C" CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_X(TAVLibHandle h, ...) {
//     return corvel::frame::ForwardToInstance(h, uint32_t{kTAVLibNoInstance}, <on exception>,
//         [&](corvel::frame::TAVLibImpl& instance) { return instance.X(...); });
//   }
//
// A null handle, and a handle that is no longer live (already released, or destroyed), get
// the no-instance result without anything being logged.
#pragma once

#include "corvel_tavlib.h"
#include "frame/instance_registry.h"
#include "frame/tavlib_impl.h"

namespace corvel::frame {

template <typename Result, typename Operation>
Result ForwardToInstance(TAVLibHandle handle, Result noInstance, Result onException,
                         Operation&& operation) noexcept {
  TAVLibImpl* instance = InstanceRegistry::Process().LiveInstance(handle);
  if (instance == nullptr) return noInstance;
  try {
    return operation(*instance);
  } catch (...) {
    return onException;
  }
}

}  // namespace corvel::frame
