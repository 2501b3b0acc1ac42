#include "util/time_stamp.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace corvel::util {

namespace {

// Out-of-range calendar fields are cut at this size, terminator included.
constexpr size_t kStampBufferSize = 32;
constexpr long kHalfDay = 43200;
constexpr long kDay = 86400;

// Brings an offset into -43200..+43200 as repeatedly subtracting (above +43200) or adding
// (below -43200) a whole day would, without looping over absurd values.
long NormaliseOffset(long offset) {
  if (offset > kHalfDay) {
    long rest = offset % kDay;
    if (rest > kHalfDay) rest -= kDay;
    return rest;
  }
  if (offset < -kHalfDay) {
    long rest = offset % kDay;
    if (rest < -kHalfDay) rest += kDay;
    return rest;
  }
  return offset;
}

}  // namespace

void FormatUtcTimeStamp(const struct tm& utc, std::string& out) {
  char buffer[kStampBufferSize];
  const int written =
      snprintf(buffer, sizeof(buffer), "%4d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
               utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  out = written < 0 ? "" : buffer;
}

void FormatOffsetTimeStamp(const struct tm& local, long offset_seconds, std::string& out) {
  const long offset = NormaliseOffset(offset_seconds);
  const char sign = offset < 0 ? '-' : '+';
  const long magnitude = std::labs(offset);
  const int hours = static_cast<int>(magnitude / 3600);
  const int minutes = static_cast<int>((magnitude % 3600) / 60);
  char buffer[kStampBufferSize];
  const int written = snprintf(buffer, sizeof(buffer), "%4d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                               local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec, sign, hours, minutes);
  out = written < 0 ? "" : buffer;
}

bool ParseTimeStamp(const std::string& text, int64_t* seconds_since_1970) {
  if (!seconds_since_1970) return false;
  int year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
  int offset_hours = 0, offset_minutes = 0;
  char sign = 0;
  const int read = sscanf(text.c_str(), "%4d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", &year, &month,
                          &day, &hours, &minutes, &seconds, &sign, &offset_hours, &offset_minutes);
  if (read != 9 || (sign != '+' && sign != '-')) {
    sign = 0;
    offset_hours = 0;
    offset_minutes = 0;
    if (sscanf(text.c_str(), "%4d-%02d-%02dT%02d:%02d:%02dZ", &year, &month, &day, &hours, &minutes,
               &seconds) != 6) {
      return false;
    }
  }
  struct tm calendar {};
  calendar.tm_year = year - 1900;
  calendar.tm_mon = month - 1;
  calendar.tm_mday = day;
  calendar.tm_hour = hours;
  calendar.tm_min = minutes;
  calendar.tm_sec = seconds;
  int64_t result = platform::UtcCalendarToSeconds(calendar);
  if (result == -1) return false;
  const int64_t offset = (static_cast<int64_t>(offset_hours) * 60 + offset_minutes) * 60;
  if (sign == '+') result -= offset;
  if (sign == '-') result += offset;
  *seconds_since_1970 = result;
  return true;
}

}  // namespace corvel::util
