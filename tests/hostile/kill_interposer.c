/* Loaded with LD_PRELOAD into a crash test's installer: kills the process (SIGKILL) at a
 * chosen call of a file rewrite, so a kill lands exactly there on every run.
 *   CORVEL_KILL_AT=flush   before fflush of a stream whose file's path contains CORVEL_KILL_MATCH
 *   CORVEL_KILL_AT=rename  right after a successful rename onto such a path */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void KillAt(const char* point, const char* path) {
  const char* at = getenv("CORVEL_KILL_AT");
  const char* match = getenv("CORVEL_KILL_MATCH");
  if (at && match && path && strcmp(at, point) == 0 && strstr(path, match)) raise(SIGKILL);
}

int fflush(FILE* stream) {
  int (*real)(FILE*) = (int (*)(FILE*))dlsym(RTLD_NEXT, "fflush");
  if (stream != NULL && fileno(stream) >= 0) {
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    ssize_t length = readlink(link, path, sizeof path - 1);
    if (length > 0) {
      path[length] = '\0';
      KillAt("flush", path);
    }
  }
  return real(stream);
}

int rename(const char* from, const char* to) {
  int (*real)(const char*, const char*) =
      (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  int result = real(from, to);
  if (result == 0) KillAt("rename", to);
  return result;
}
