#include "frame/frame_log.h"

#include "frame/tavlib_impl.h"
#include "services/zep_bindings.h"

namespace corvel::frame {

namespace {
constexpr char kComponent[] = "TAVLib";
constexpr int kLevelInformational = 4;
}  // namespace

void FrameLogV(const TAVLibImpl& instance, const char* format, va_list args) {
  zep::C_ZEPLogv(instance.mLoggingService, kComponent, kLevelInformational, ZEP_LOG_PATTERN_NONE,
                 format, args);
}

void FrameLog(const TAVLibImpl& instance, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FrameLogV(instance, format, args);
  va_end(args);
}

}  // namespace corvel::frame
