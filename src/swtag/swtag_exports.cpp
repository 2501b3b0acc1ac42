// The export of tagging at install.
#include "corvel_tavlib.h"
#include "frame/export_support.h"
#include "frame/tavlib_impl.h"

extern "C" {

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ISOTaggingAtInstall(
    TAVLibHandle handle, const char* payloadCode) {
  return corvel::frame::ForwardToInstance(
      handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibSuccess},
      [&](corvel::frame::TAVLibImpl& instance) {
        return instance.ISOTaggingAtInstall(payloadCode);
      });
}

}  // extern "C"
