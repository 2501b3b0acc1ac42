// The exports of the frame: instances, version and the application-data hand-over.
#include <new>

#include "corvel_tavlib.h"
#include "frame/export_support.h"
#include "frame/instance_registry.h"
#include "frame/tavlib_impl.h"
#include "frame/version.h"

using corvel::frame::InstanceRegistry;
using corvel::frame::TAVLibImpl;

extern "C" {

CORVEL_TAVLIB_API TAVLibHandle CORVEL_TAVLIB_CALL Corvel_TAVLib_CreateRef(void) {
  InstanceRegistry& registry = InstanceRegistry::Process();
  // Room in the list first: once constructed, the instance is counted and must be listed.
  if (!registry.ReserveEntry()) return nullptr;
  TAVLibImpl* instance = new (std::nothrow) TAVLibImpl();
  if (instance == nullptr) return nullptr;
  registry.Append(instance);
  return corvel::frame::ToHandle(instance);
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ReleaseRef(TAVLibHandle handle,
                                                                        int32_t commit) {
  InstanceRegistry& registry = InstanceRegistry::Process();
  TAVLibImpl* instance = registry.LiveInstance(handle);
  if (instance == nullptr) return 0;
  try {
    instance->CommitPCD(commit == 1);
  } catch (...) {
    // The release goes on: the instance is counted out whatever the commit did.
  }
  registry.Release(instance);
  return 0;
}

CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetRefID(TAVLibHandle handle) {
  TAVLibImpl* instance = InstanceRegistry::Process().LiveInstance(handle);
  if (instance == nullptr) return -1;
  return static_cast<int32_t>(instance->mRefID);
}

CORVEL_TAVLIB_API void CORVEL_TAVLIB_CALL Corvel_TAVLib_Getversion(int32_t* major, int32_t* minor,
                                                                   int32_t* patch,
                                                                   const char** version) {
  if (major != nullptr) *major = corvel::frame::kVersionMajor;
  if (minor != nullptr) *minor = corvel::frame::kVersionMinor;
  if (patch != nullptr) *patch = corvel::frame::kVersionPatch;
  if (version != nullptr) *version = corvel::frame::kVersionText;
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetApplicationData(
    TAVLibHandle handle, const char* driverCode, const char* appProductId,
    const char* driverProductId, const char* appLocale, const char* payloadCode, int32_t tagging) {
  return corvel::frame::ForwardToInstance(
      handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibPreconditionFailed},
      [&](TAVLibImpl& instance) {
        return instance.SetApplicationData(driverCode, appProductId, driverProductId, appLocale,
                                           payloadCode, tagging);
      });
}

}  // extern "C"
