// The text of one log line: time stamp, process id, level name, component and message.
#pragma once

#include <cstdarg>
#include <string>

namespace corvel::zepsvc {

// "critical", "error", "warning", "informational", "debug" for 1 to 5, "off" for 0, and
// "unknown" for anything else.
const char* LevelName(int level);

// The printf-style message; empty for a null format.
std::string FormatMessage(const char* format, va_list args);

// "YYYY-MM-DD hh:mm:ss.mmm <pid> <level name> <component>: <message>" plus a line feed, in
// local time. Line breaks at the end of the message are dropped and the others become
// blanks, so one call is one line. Obscured, everything after the process id is written in
// base64 behind a "~".
std::string FormatLogLine(int level, const char* component, const std::string& message,
                          bool obscured);

// Standard base64 (RFC 4648 alphabet, "=" padding): the obscured form of a line.
std::string Base64(const std::string& data);

}  // namespace corvel::zepsvc
