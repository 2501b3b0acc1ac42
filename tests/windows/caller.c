/*
 * A Windows installer step in C that loads corvel_tavlib.dll at run time, as product
 * installers do: LoadLibraryW, GetProcAddress by the plain export names, FreeLibrary. It
 * processes a configuration document, tags the product, commits the agreement and reads the
 * store back, then checks the tag file, the logs and the access list of the tag directory,
 * and removes the payload again.
 *
 *   windows_caller [DLL_FOLDER]
 *
 * DLL_FOLDER holds corvel_tavlib.dll and zepservices.dll (default: the caller's own folder).
 * The store, the tag directory and the logs are the machine's own (shared application data
 * and the temporary folder), so run it on a scratch machine or Wine prefix. Exit status 0
 * when every check passed; each failed check is printed.
 */
#include <windows.h>
/* After windows.h: */
#include <aclapi.h>
#include <shlobj.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "corvel_tavlib.h"

#define PAYLOAD "WINCALLER-PAYLOAD-300"
#define PRODUCT "WINCALLER-PRODUCT-300"
#define REGID "regid.2009-04.com.corvel"

static int failures = 0;

#define CHECK(condition)                                                        \
  do {                                                                          \
    if (!(condition)) {                                                         \
      fprintf(stderr, "caller.c:%d: check failed: %s\n", __LINE__, #condition); \
      ++failures;                                                               \
    }                                                                           \
  } while (0)

static const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Configuration>\n"
    "  <Payload>\n"
    "    <Data key=\"LicensingCode\">" PRODUCT
    "</Data>\n"
    "    <Data key=\"InstallFolder\" protected=\"0\">C:\\Program Files\\Corvel</Data>\n"
    "  </Payload>\n"
    "  <Other corvelCode=\"" PRODUCT
    "\">\n"
    "    <Data key=\"ZINNIA_APP\">Corvel Caller Studio</Data>\n"
    "    <Data key=\"ProductVersion\">3.0</Data>\n"
    "  </Other>\n"
    "</Configuration>\n";

/* The exports the caller uses, bound by name. */
typedef void(CORVEL_TAVLIB_CALL* GetversionFn)(int32_t*, int32_t*, int32_t*, const char**);
typedef TAVLibHandle(CORVEL_TAVLIB_CALL* CreateRefFn)(void);
typedef TAVLibStatus(CORVEL_TAVLIB_CALL* ReleaseRefFn)(TAVLibHandle, int32_t);
typedef TAVLibStatus(CORVEL_TAVLIB_CALL* ProcessFileFn)(TAVLibHandle, const char*, const char*,
                                                        const char*, const char*);
typedef TAVLibStatus(CORVEL_TAVLIB_CALL* PayloadFn)(TAVLibHandle, const char*);
typedef TAVLibStatus(CORVEL_TAVLIB_CALL* SetEulaFn)(TAVLibHandle, const char*, const char*);
typedef TAVLibStatus(CORVEL_TAVLIB_CALL* GetValueFn)(TAVLibHandle, const char**, int32_t,
                                                     const char*, const char*, int32_t, bool);

static struct {
  GetversionFn getversion;
  CreateRefFn create;
  ReleaseRefFn release;
  ProcessFileFn process;
  PayloadFn tag;
  PayloadFn remove;
  SetEulaFn setEula;
  GetValueFn getValue;
} lib;

static FARPROC Bind(HMODULE module, const char* name) {
  FARPROC entry = GetProcAddress(module, name);
  if (entry == NULL) {
    fprintf(stderr, "caller: %s is not exported\n", name);
    ++failures;
  }
  return entry;
}

static bool BindAll(HMODULE module) {
  lib.getversion = (GetversionFn)(void*)Bind(module, "Corvel_TAVLib_Getversion");
  lib.create = (CreateRefFn)(void*)Bind(module, "Corvel_TAVLib_CreateRef");
  lib.release = (ReleaseRefFn)(void*)Bind(module, "Corvel_TAVLib_ReleaseRef");
  lib.process = (ProcessFileFn)(void*)Bind(module, "Corvel_TAVLib_Process_file");
  lib.tag = (PayloadFn)(void*)Bind(module, "Corvel_TAVLib_ISOTaggingAtInstall");
  lib.remove = (PayloadFn)(void*)Bind(module, "Corvel_TAVLib_Remove_payload");
  lib.setEula = (SetEulaFn)(void*)Bind(module, "Corvel_TAVLib_Set_Eula");
  lib.getValue = (GetValueFn)(void*)Bind(module, "Corvel_TAVLib_GetValueforKeyInSubDomain");
  return failures == 0;
}

/* Reads a value of the unprotected (1) or protected (0) domain; "" when there is none. */
static const char* Read(TAVLibHandle handle, const char* key, const char* subdomain,
                        int32_t domain) {
  const char* value = "";
  if (lib.getValue(handle, &value, 512, key, subdomain, domain, false) != kTAVLibSuccess) {
    return "";
  }
  return value ? value : "";
}

static bool FileContains(const wchar_t* path, const char* needle) {
  char text[8192];
  size_t size;
  FILE* file = _wfopen(path, L"rb");
  if (file == NULL) return false;
  size = fread(text, 1, sizeof text - 1, file);
  fclose(file);
  text[size] = '\0';
  return strstr(text, needle) != NULL;
}

/* True when the folder's access list grants Everyone (S-1-1-0) the right to add files. The
 * library sets a protected list of two entries, Administrators with full control and Everyone
 * with read, write and delete-child rights; Wine keeps only what POSIX modes can express, so
 * the list read back there is the one those modes give, and this is what both have in common. */
static bool EveryoneMayWrite(const wchar_t* path) {
  PACL list = NULL;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  BYTE world_sid[SECURITY_MAX_SID_SIZE];
  DWORD world_size = sizeof world_sid;
  const DWORD kWrite = FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL;
  bool granted = false;
  WORD i;
  if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &list,
                            NULL, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  CreateWellKnownSid(WinWorldSid, NULL, world_sid, &world_size);
  for (i = 0; list != NULL && i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = NULL;
    if (GetAce(list, i, (void**)&ace) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid((PSID)&ace->SidStart, world_sid) && (ace->Mask & kWrite) != 0) {
      granted = true;
    }
  }
  printf("caller: tag directory access list: %u entries, Everyone may write: %d\n",
         list ? (unsigned)list->AceCount : 0u, granted);
  LocalFree(descriptor);
  return granted;
}

static bool WriteDocument(const char* path) {
  FILE* file = fopen(path, "wb");
  bool written;
  if (file == NULL) return false;
  written = fputs(kDocument, file) >= 0;
  return fclose(file) == 0 && written;
}

int main(int argc, char** argv) {
  wchar_t folder[MAX_PATH], dll[MAX_PATH], tag[MAX_PATH], temp[MAX_PATH], log[MAX_PATH];
  char document[MAX_PATH];
  int32_t major = 0, minor = 0, patch = 0;
  const char* version = "";
  HMODULE module;
  TAVLibHandle handle;

  if (argc > 1) {
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, folder, MAX_PATH);
  } else {
    wchar_t* slash;
    GetModuleFileNameW(NULL, folder, MAX_PATH);
    slash = wcsrchr(folder, L'\\');
    if (slash) *slash = L'\0';
  }
  _snwprintf(dll, MAX_PATH, L"%ls\\corvel_tavlib.dll", folder);
  module = LoadLibraryW(dll);
  if (module == NULL) {
    fprintf(stderr, "caller: LoadLibraryW(%ls) failed: %lu\n", dll, GetLastError());
    return 1;
  }
  if (!BindAll(module)) return 1;

  lib.getversion(&major, &minor, &patch, &version);
  printf("caller: corvel_tavlib %d.%d.%d (%s)\n", (int)major, (int)minor, (int)patch, version);
  CHECK(major == 3 && strcmp(version, "3.0.0.10,3.0") == 0);

  GetTempPathW(MAX_PATH, temp);
  snprintf(document, sizeof document, "%ls\\caller-application.xml", temp);
  CHECK(WriteDocument(document));

  /* Installation: the services library is found beside corvel_tavlib.dll. */
  handle = lib.create();
  CHECK(handle != NULL);
  CHECK(lib.process(handle, document, PAYLOAD, NULL, NULL) == kTAVLibSuccess);
  CHECK(lib.tag(handle, PAYLOAD) == kTAVLibSuccess);
  CHECK(lib.setEula(handle, "en_US", PRODUCT) == kTAVLibSuccess);
  CHECK(lib.release(handle, 1) == kTAVLibSuccess);

  /* The store read back by a second instance. */
  handle = lib.create();
  printf("caller: InstallFolder = %s\n", Read(handle, "InstallFolder", PAYLOAD, 1));
  CHECK(strcmp(Read(handle, "InstallFolder", PAYLOAD, 1), "C:\\Program Files\\Corvel") == 0);
  CHECK(strcmp(Read(handle, "ProductVersion", PRODUCT, 0), "3.0") == 0);
  CHECK(strcmp(Read(handle, "EULA_ACCEPTED", PRODUCT, 1), "1") == 0);

  /* The tag in the shared application data folder, its directory open to every user. */
  CHECK(SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_COMMON_APPDATA, NULL, 0, tag)));
  wcscat(tag, L"\\" REGID);
  CHECK(EveryoneMayWrite(tag));
  wcscat(tag, L"\\" REGID L"_" PRODUCT L".swidtag");
  printf("caller: tag file %ls\n", tag);
  CHECK(FileContains(tag, "Corvel Caller Studio"));
  _snwprintf(log, MAX_PATH, L"%lsswtag.log", temp);
  CHECK(FileContains(log, "__SWTAG_LOG_FILE__"));
  _snwprintf(log, MAX_PATH, L"%lstavlib.log", temp);
  CHECK(FileContains(log, "Version 3.0.0.10,3.0"));

  /* Uninstallation removes the payload's values again. */
  CHECK(lib.remove(handle, PAYLOAD) == kTAVLibSuccess);
  CHECK(strcmp(Read(handle, "InstallFolder", PAYLOAD, 1), "") == 0);
  CHECK(lib.release(handle, 0) == kTAVLibSuccess);
  CHECK(FreeLibrary(module));

  printf(failures == 0 ? "caller: all checks passed\n" : "caller: %d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
