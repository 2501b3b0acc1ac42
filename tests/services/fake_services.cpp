// A stand-in for a damaged services library, used by the loader's failure tests: it exports
// only a few entry points, records every line handed to its C_ZEPLogv, and gives those lines
// back through FakeZepRecordedLines. Built with and without C_ZEPLogv.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "zepservices.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string gRecorded;
int gStoreToken;

[[maybe_unused]] std::string DescribePattern(const char* pattern) {
  if (!pattern) return "null";
  if (pattern == ZEP_LOG_PATTERN_NONE) return "none";
  return pattern;
}
}  // namespace

#ifndef FAKE_WITHOUT_LOG
// One record per call: "<service>|<component>|<level>|<pattern>|<message>\n".
FAKE_EXPORT void C_ZEPLogv(ZEPHandle service, const char* component, int level, const char* pattern,
                           const char* format, va_list args) {
  char message[1024];
  vsnprintf(message, sizeof message, format, args);
  gRecorded += std::string(service ? "service" : "null") + "|" + (component ? component : "") +
               "|" + std::to_string(level) + "|" + DescribePattern(pattern) + "|" + message + "\n";
}
#endif

FAKE_EXPORT const char* FakeZepRecordedLines() { return gRecorded.c_str(); }

FAKE_EXPORT ZEPHandle C_ZEPPCDServiceCreate(void) { return &gStoreToken; }

FAKE_EXPORT void C_ZEPRelease(ZEPHandle) {}
