// The debugger-output line of the loader and of the bound entry points.
#include <cstdio>
#include <string>

#include "services/service_loader.h"

namespace corvel::services {

namespace {
// The longest formatted message; longer output is cut here.
constexpr size_t kDebugMessageLimit = 4093;
}  // namespace

void ServiceLoader::DebugLog(const char* category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DebugLogV(category, format, args);
  va_end(args);
}

void ServiceLoader::DebugLogV(const char* category, const char* format, va_list args) {
  if (!format) return;
  try {
    std::string full_format = std::string(category ? category : "") + ": " + format;
    char message[kDebugMessageLimit + 1];
    int written = vsnprintf(message, sizeof message, full_format.c_str(), args);
    if (written < 0) return;
    std::string line(message);
    line += "\r\n";
    platform::WriteDebugOutput(line);
  } catch (...) {  // out of memory: the line is lost, as debugger output may be
  }
}

}  // namespace corvel::services
