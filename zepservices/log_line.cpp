#include "log_line.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/platform.h"

namespace corvel::zepsvc {

const char* LevelName(int level) {
  static const char* const kNames[] = {"off",     "critical",      "error",
                                       "warning", "informational", "debug"};
  if (level < 0 || level > 5) return "unknown";
  return kNames[level];
}

std::string FormatMessage(const char* format, va_list args) {
  if (!format) return {};
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return {};
  if (static_cast<size_t>(length) < sizeof small) return std::string(small, length);
  std::vector<char> large(static_cast<size_t>(length) + 1);
  vsnprintf(large.data(), large.size(), format, args);
  return std::string(large.data(), static_cast<size_t>(length));
}

std::string Base64(const std::string& data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    unsigned triple = (static_cast<unsigned char>(data[i]) << 16) |
                      (static_cast<unsigned char>(data[i + 1]) << 8) |
                      static_cast<unsigned char>(data[i + 2]);
    out += kAlphabet[(triple >> 18) & 63];
    out += kAlphabet[(triple >> 12) & 63];
    out += kAlphabet[(triple >> 6) & 63];
    out += kAlphabet[triple & 63];
  }
  if (i < data.size()) {
    unsigned triple = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) triple |= static_cast<unsigned char>(data[i + 1]) << 8;
    out += kAlphabet[(triple >> 18) & 63];
    out += kAlphabet[(triple >> 12) & 63];
    out += i + 1 < data.size() ? kAlphabet[(triple >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string FormatLogLine(int level, const char* component, const std::string& message,
                          bool obscured) {
  int64_t seconds = 0;
  int milliseconds = 0;
  platform::CurrentTime(&seconds, &milliseconds);
  struct tm local {};
  char stamp[64] = "0000-00-00 00:00:00.000";
  if (platform::LocalCalendar(seconds, &local)) {
    snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
             milliseconds);
  }
  std::string text = message;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::string body =
      std::string(LevelName(level)) + " " + (component ? component : "") + ": " + text;
  std::string line = std::string(stamp) + " " + std::to_string(platform::ProcessId()) + " ";
  if (obscured) {
    line += '~';
    line += Base64(body);
  } else {
    line += body;
  }
  line += '\n';
  return line;
}

}  // namespace corvel::zepsvc
