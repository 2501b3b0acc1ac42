#include "util/bounded_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace corvel::util {

char* CopyText(char* destination, size_t size, const char* source, size_t count) {
  if (!destination || size == 0) return nullptr;
  if (!source) {
    destination[0] = '\0';
    return nullptr;
  }
  const size_t length = strnlen(source, count);
  if (length >= size) {
    destination[0] = '\0';
    return nullptr;
  }
  memcpy(destination, source, length);
  destination[length] = '\0';
  if (count > length) {
    const size_t fill_end = std::min(size, count);
    memset(destination + length, 0, fill_end - length);
  }
  return destination;
}

char* AppendText(char* destination, size_t size, const char* source, size_t count) {
  if (!destination || size == 0) return nullptr;
  const size_t existing = strnlen(destination, size);
  if (!source || existing == size) {
    destination[0] = '\0';
    return nullptr;
  }
  const size_t length = strnlen(source, count);
  if (length >= size - existing) {
    destination[0] = '\0';
    return nullptr;
  }
  memcpy(destination + existing, source, length);
  destination[existing + length] = '\0';
  return destination;
}

char* FormatTextV(char* destination, size_t size, const char* format, va_list args) {
  if (!destination || size == 0) return nullptr;
  if (!format) {
    destination[0] = '\0';
    return nullptr;
  }
  if (vsnprintf(destination, size, format, args) < 0) {
    destination[0] = '\0';
    return nullptr;
  }
  return destination;
}

char* FormatText(char* destination, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* result = FormatTextV(destination, size, format, args);
  va_end(args);
  return result;
}

}  // namespace corvel::util
