// Line reading and temporary files on stdio streams.
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "util/file_utf8.h"
#include "util/path_check.h"

namespace corvel::util {

int ReadTextLine(FILE* stream, char* buffer, size_t size) {
  if (!buffer || size == 0) return -1;
  buffer[0] = '\0';
  if (!stream) return -1;
  int c = getc(stream);
  if (c == EOF) return -1;
  size_t kept = 0;
  while (c != EOF && c != '\n') {
    if (c == '\r') {
      const int next = getc(stream);
      if (next != '\n' && next != EOF) ungetc(next, stream);
      break;
    }
    if (kept + 1 < size) buffer[kept++] = static_cast<char>(c);
    c = getc(stream);
  }
  buffer[kept] = '\0';
  return static_cast<int>(kept);
}

char* CreateTempFile(char* path_template, FILE** stream) {
  if (stream) *stream = nullptr;
  if (!path_template || !stream || !IsUsablePath(path_template)) return nullptr;
  std::string unique(path_template);
  const int fd = platform::MakeTempFile(unique);
  if (fd < 0) return nullptr;
  FILE* file = platform::StreamFromFd(fd, "w+b");
  if (!file) {
    platform::RemoveFile(unique);
    return nullptr;
  }
  // mkstemp only replaces the "XXXXXX", so the name has the template's length.
  memcpy(path_template, unique.c_str(), unique.size());
  *stream = file;
  return path_template;
}

}  // namespace corvel::util
