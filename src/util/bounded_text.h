// Bounded text copying into caller buffers. Each returns the destination, or null when the
// arguments are invalid or the text does not fit (the destination is then emptied).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace corvel::util {

// Copies at most `count` bytes of `source`. When `count` exceeds the source's length the
// rest of the destination, up to min(size, count), is filled with zero bytes.
char* CopyText(char* destination, size_t size, const char* source, size_t count);
// Appends at most `count` bytes of `source`.
char* AppendText(char* destination, size_t size, const char* source, size_t count);
// printf-style; truncates at size - 1 bytes and always terminates.
char* FormatText(char* destination, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
char* FormatTextV(char* destination, size_t size, const char* format, va_list args);

}  // namespace corvel::util
