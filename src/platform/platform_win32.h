// Shared by the Windows files of the platform layer (platform_win32*.cpp) only.
//
// Paths: the rest of the library joins paths with "/". Every path this layer hands out uses
// "/" as its separator (C:/ProgramData/...), and every path it is given is turned into the
// UTF-16 form with "\" before it reaches the system, so the library's path handling is the
// same on both systems. Descriptors are the C runtime's, each wrapping a handle that
// CreateFileW opened (not inheritable, so a started program never holds one).
#pragma once

#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <shlobj.h>

#include <string>

#include "platform/platform.h"

namespace corvel::platform::win32 {

// Error numbers the mingw headers lack.
constexpr DWORD kErrorDirectoryNotSupported = 336;  // a folder where a file is needed
constexpr DWORD kErrorStoppedOnSymlink = 681;

// UTF-8 to UTF-16 with "/" turned into "\"; false (ERROR_NO_UNICODE_TRANSLATION) when the
// text is not well-formed UTF-8.
bool ToWidePath(const std::string& path, std::wstring* out);
// The same without touching separators (environment names, texts).
bool ToWide(const std::string& text, std::wstring* out);
// UTF-16 to UTF-8, "\" turned into "/"; empty on failure.
std::string FromWidePath(const std::wstring& path);
// UTF-16 to UTF-8; empty on failure.
std::string FromWide(const std::wstring& text);

// The handle behind a descriptor, or INVALID_HANDLE_VALUE.
HANDLE HandleOf(int fd);
// A descriptor that owns `handle`; the handle is closed when that fails. -1 on failure.
int DescriptorOf(HANDLE handle, bool readable, bool writable);

// The replaceable system calls (see platform.h), called as sys::CreateFileW(...).
#define CORVEL_WIN32_SYSTEM_CALLS(X) \
  X(CreateFileW)                     \
  X(CloseHandle)                     \
  X(WriteFile)                       \
  X(FlushFileBuffers)                \
  X(SetEndOfFile)                    \
  X(GetFileInformationByHandle)      \
  X(GetFileAttributesW)              \
  X(CreateDirectoryW)                \
  X(RemoveDirectoryW)                \
  X(DeleteFileW)                     \
  X(MoveFileExW)                     \
  X(ReplaceFileW)                    \
  X(LockFileEx)                      \
  X(UnlockFileEx)                    \
  X(LoadLibraryW)                    \
  X(GetProcAddress)                  \
  X(FreeLibrary)                     \
  X(GetModuleFileNameW)              \
  X(GetTempPathW)                    \
  X(SHGetFolderPathW)                \
  X(GetUserNameW)                    \
  X(SetNamedSecurityInfoW)           \
  X(SetSecurityInfo)                 \
  X(CreateSemaphoreW)                \
  X(WaitForSingleObject)             \
  X(ReleaseSemaphore)

namespace sys {
#define CORVEL_WIN32_DECLARE_CALL(name) extern decltype(&::name) name;
CORVEL_WIN32_SYSTEM_CALLS(CORVEL_WIN32_DECLARE_CALL)
#undef CORVEL_WIN32_DECLARE_CALL
}  // namespace sys

}  // namespace corvel::platform::win32
