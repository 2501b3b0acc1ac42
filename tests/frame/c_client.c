/*
 * A C99 client of the library that knows nothing but corvel_tavlib.h: it creates, uses and
 * releases instances and checks what the interface answers and what lands in the main log and
 * the store. Exit status 0 on success; every failed check is printed.
 *
 * The POSIX calls below only build the client's own scratch folder.
 */
#define _XOPEN_SOURCE 700

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "corvel_tavlib.h"

static int failures = 0;

#define CHECK(condition)                                                            \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)

static char root[256];

static void join(char* out, size_t size, const char* name) {
  snprintf(out, size, "%s/%s", root, name);
}

static int remove_entry(const char* path, const struct stat* info, int flag, struct FTW* ftw) {
  (void)info;
  (void)flag;
  (void)ftw;
  return remove(path);
}

/* The whole file into a fresh buffer (caller frees), or null. */
static char* read_file(const char* path) {
  FILE* file = fopen(path, "rb");
  char* text;
  long size;
  if (file == NULL) return NULL;
  fseek(file, 0, SEEK_END);
  size = ftell(file);
  fseek(file, 0, SEEK_SET);
  text = (char*)calloc((size_t)size + 1, 1);
  if (text != NULL && fread(text, 1, (size_t)size, file) != (size_t)size) {
    free(text);
    text = NULL;
  }
  fclose(file);
  return text;
}

static size_t count_of(const char* text, const char* needle) {
  size_t count = 0;
  const char* at = text;
  while ((at = strstr(at, needle)) != NULL) {
    ++count;
    at += strlen(needle);
  }
  return count;
}

int main(void) {
  char path[512];
  char* log;
  struct stat info;
  int32_t major = 0, minor = -1, patch = -1;
  const char* version = NULL;
  TAVLibHandle first, second, third;

  snprintf(root, sizeof root, "%s/corvel-c-client-XXXXXX",
           getenv("TMPDIR") != NULL ? getenv("TMPDIR") : "/tmp");
  if (mkdtemp(root) == NULL) return 2;
  join(path, sizeof path, "tmp");
  mkdir(path, 0700);
  setenv("TMPDIR", path, 1);
  join(path, sizeof path, "pcd.db");
  setenv("ZEP_PCD_DB", path, 1);
  join(path, sizeof path, "common_appdata");
  setenv("CORVEL_COMMON_APPDATA", path, 1);
  join(path, sizeof path, "common_files");
  setenv("CORVEL_COMMON_FILES", path, 1);
  join(path, sizeof path, "local_appdata");
  setenv("CORVEL_LOCAL_APPDATA", path, 1);
  unsetenv("ZEP_DEBUG_OUTPUT");

  Corvel_TAVLib_Getversion(&major, &minor, &patch, &version);
  CHECK(major == 3 && minor == 0 && patch == 0);
  CHECK(version != NULL && strcmp(version, "3.0.0.10,3.0") == 0);

  first = Corvel_TAVLib_CreateRef();
  second = Corvel_TAVLib_CreateRef();
  CHECK(first != NULL && second != NULL);
  CHECK(Corvel_TAVLib_GetRefID(first) == 1);
  CHECK(Corvel_TAVLib_GetRefID(second) == 2);
  CHECK(Corvel_TAVLib_GetRefID(NULL) == -1);
  CHECK(Corvel_TAVLib_SetApplicationData(second, "DRV", "PRD", NULL, "de_DE", NULL,
                                         kTAVLibTaggingNone) == kTAVLibSuccess);
  CHECK(Corvel_TAVLib_SetApplicationData(second, "", "PRD", NULL, NULL, NULL, kTAVLibTaggingNone) ==
        kTAVLibInvalidArgument);
  CHECK(Corvel_TAVLib_SetApplicationData(NULL, "DRV", "PRD", NULL, NULL, NULL,
                                         kTAVLibTaggingNone) == kTAVLibNoInstance);
  CHECK(Corvel_TAVLib_ReleaseRef(first, 1) == 0);
  CHECK(Corvel_TAVLib_ReleaseRef(NULL, 1) == 0);
  CHECK(Corvel_TAVLib_ReleaseRef(second, 0) == 0);

  third = Corvel_TAVLib_CreateRef();
  CHECK(Corvel_TAVLib_GetRefID(third) == 3);
  CHECK(Corvel_TAVLib_ReleaseRef(third, 2) == 0);

  join(path, sizeof path, "pcd.db");
  CHECK(stat(path, &info) == 0); /* the commit of `first` opened the store */

  join(path, sizeof path, "tmp/tavlib.log");
  log = read_file(path);
  CHECK(log != NULL);
  if (log != NULL) {
    CHECK(strstr(log, "__TAVLIB_LOG_FILE__") != NULL &&
          strstr(log, "__TAVLIB_LOG_FILE__") < strchr(log, '\n'));
    /* Every banner of the three, also after two instances were live at once. */
    CHECK(count_of(log, "*************TAVLib Session Starts*************") == 3);
    CHECK(count_of(log, "*************TAVLib Session Ends*************") == 3);
    CHECK(count_of(log, "TAVLibImpl::CommitPCD STARTED") == 3);
    CHECK(count_of(log, "TAVLIB SetApplicationData: Ended.") == 1);
    free(log);
  }

  nftw(root, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
