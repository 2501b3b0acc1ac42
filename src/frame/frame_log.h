// Lines of the main log ("tavlib.log"). Every line goes to the services library's logging
// service as component "TAVLib", level 4, argument pattern -1, through the instance's
// logging service handle (null in every instance but the one that set logging up; the
// services library then writes through the process's first live service).
#pragma once

#include <cstdarg>

namespace corvel::frame {

class TAVLibImpl;

void FrameLog(const TAVLibImpl& instance, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void FrameLogV(const TAVLibImpl& instance, const char* format, va_list args)
    __attribute__((format(printf, 2, 0)));

}  // namespace corvel::frame
