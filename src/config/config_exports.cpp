// The exports of install-time configuration and the instance operations behind them.
#include "config/configuration_processing.h"
#include "config/payload_removal.h"
#include "corvel_tavlib.h"
#include "frame/export_support.h"
#include "frame/tavlib_impl.h"

namespace corvel::frame {

uint32_t TAVLibImpl::Process_file(const char* configPath, const char* payloadCode,
                                  const char* driverCode, const char* overrideDirectory) {
  return config::ProcessConfigurationFile(*this, configPath, payloadCode, driverCode,
                                          overrideDirectory);
}

uint32_t TAVLibImpl::Remove_payload(const char* payloadCode) {
  return config::RemovePayload(*this, payloadCode);
}

}  // namespace corvel::frame

using corvel::frame::TAVLibImpl;

extern "C" {

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_Process_file(TAVLibHandle handle, const char* configPath, const char* payloadCode,
                           const char* driverCode, const char* overrideDirectory) {
  return corvel::frame::ForwardToInstance(
      handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibPreconditionFailed},
      [&](TAVLibImpl& instance) {
        return instance.Process_file(configPath, payloadCode, driverCode, overrideDirectory);
      });
}

// Removal reports only its argument check; whatever happens in the store, it answers 0.
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_Remove_payload(TAVLibHandle handle, const char* payloadCode) {
  return corvel::frame::ForwardToInstance(
      handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibSuccess},
      [&](TAVLibImpl& instance) { return instance.Remove_payload(payloadCode); });
}

}  // extern "C"
