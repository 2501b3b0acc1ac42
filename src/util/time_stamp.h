// ISO 8601 time stamps: "YYYY-MM-DDThh:mm:ssZ" and "YYYY-MM-DDThh:mm:ss+hh:mm".
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace corvel::util {

void FormatUtcTimeStamp(const struct tm& utc, std::string& out);
// The offset from UTC in seconds is first brought into -43200..+43200.
void FormatOffsetTimeStamp(const struct tm& local, long offset_seconds, std::string& out);
// Parses either form; false for anything else or a date outside 1970..3000.
bool ParseTimeStamp(const std::string& text, int64_t* seconds_since_1970);

}  // namespace corvel::util
