// Windows implementation of the platform layer: the call table, errors, texts, libraries,
// folders, debugger output, identity and time. Files are in platform_win32_files.cpp, access
// lists in platform_win32_security.cpp, the disk serial number in platform_win32_wmi.cpp.
#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

#include "platform/platform_internal.h"
#include "platform/platform_win32.h"

namespace corvel::platform {

// ---- Replaceable system calls --------------------------------------------------------------

namespace win32::sys {
#define CORVEL_WIN32_DEFINE_CALL(name) decltype(&::name) name = &::name;
CORVEL_WIN32_SYSTEM_CALLS(CORVEL_WIN32_DEFINE_CALL)
#undef CORVEL_WIN32_DEFINE_CALL
}  // namespace win32::sys

namespace {

struct SystemCallEntry {
  const char* name;
  SystemCall real;
  SystemCall* current;  // the pointer win32::sys::<name> viewed as a SystemCall
};

SystemCallEntry gSystemCalls[] = {
#define CORVEL_WIN32_CALL_ENTRY(name) \
  {#name, reinterpret_cast<SystemCall>(&::name), reinterpret_cast<SystemCall*>(&win32::sys::name)},
    CORVEL_WIN32_SYSTEM_CALLS(CORVEL_WIN32_CALL_ENTRY)
#undef CORVEL_WIN32_CALL_ENTRY
};

}  // namespace

size_t SystemCallCount() { return std::size(gSystemCalls); }
const char* SystemCallName(size_t index) { return gSystemCalls[index].name; }
SystemCall RealSystemCall(size_t index) { return gSystemCalls[index].real; }
SystemCall CurrentSystemCall(size_t index) { return *gSystemCalls[index].current; }
void SetCurrentSystemCall(size_t index, SystemCall call) { *gSystemCalls[index].current = call; }

// ---- Texts and descriptors -----------------------------------------------------------------

namespace win32 {

bool ToWide(const std::string& text, std::wstring* out) {
  out->clear();
  if (text.empty()) return true;
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                       static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return false;
  out->resize(static_cast<size_t>(size));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                             static_cast<int>(text.size()), out->data(), size) == size;
}

bool ToWidePath(const std::string& path, std::wstring* out) {
  if (path.find('\0') != std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  if (!ToWide(path, out)) return false;
  for (wchar_t& c : *out) {
    if (c == L'/') c = L'\\';
  }
  return true;
}

std::string FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          out.data(), size, nullptr, nullptr) != size) {
    return {};
  }
  return out;
}

std::string FromWidePath(const std::wstring& path) {
  std::string out = FromWide(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

HANDLE HandleOf(int fd) {
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

int DescriptorOf(HANDLE handle, bool readable, bool writable) {
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return -1;
  int flags = _O_BINARY | (writable ? (readable ? _O_RDWR : _O_WRONLY) : _O_RDONLY);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (fd < 0) {
    sys::CloseHandle(handle);
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
  }
  return fd;
}

}  // namespace win32

using win32::FromWide;
using win32::FromWidePath;
using win32::ToWide;
using win32::ToWidePath;
namespace sys = win32::sys;

// ---- Errors ------------------------------------------------------------------------------

Error LastError() {
  switch (GetLastError()) {
    case ERROR_SUCCESS:
      return Error::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
    case ERROR_PROC_NOT_FOUND:
      return Error::NotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Error::Exists;
    case ERROR_DIRECTORY:
      return Error::NotFolder;
    case win32::kErrorDirectoryNotSupported:
      return Error::IsFolder;
    case ERROR_CANT_ACCESS_FILE:
    case win32::kErrorStoppedOnSymlink:
      return Error::Link;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
      return Error::Denied;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case ERROR_NO_UNICODE_TRANSLATION:
      return Error::Invalid;
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING:
      return Error::WouldBlock;
    case ERROR_FILE_TOO_LARGE:
      return Error::TooLarge;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return Error::NoMemory;
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
    case ERROR_DISK_FULL:
      return Error::Io;
    default:
      return Error::Other;
  }
}

int LastErrorCode() { return static_cast<int>(GetLastError()); }

int ErrorCode(Error error) {
  switch (error) {
    case Error::None:
      return ERROR_SUCCESS;
    case Error::NotFound:
      return ERROR_FILE_NOT_FOUND;
    case Error::Exists:
      return ERROR_ALREADY_EXISTS;
    case Error::NotFolder:
      return ERROR_DIRECTORY;
    case Error::IsFolder:
      return win32::kErrorDirectoryNotSupported;
    case Error::Link:
      return ERROR_CANT_ACCESS_FILE;
    case Error::Denied:
      return ERROR_ACCESS_DENIED;
    case Error::Invalid:
      return ERROR_INVALID_PARAMETER;
    case Error::WouldBlock:
      return ERROR_LOCK_VIOLATION;
    case Error::TooLarge:
      return ERROR_FILE_TOO_LARGE;
    case Error::NoMemory:
      return ERROR_NOT_ENOUGH_MEMORY;
    case Error::Io:
    case Error::Other:
      return ERROR_IO_DEVICE;
  }
  return ERROR_IO_DEVICE;
}

void SetError(Error error) { SetLastError(static_cast<DWORD>(ErrorCode(error))); }

void SetErrorCode(int code) { SetLastError(static_cast<DWORD>(code)); }

std::string ErrorMessage(int code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text) message = FromWide(std::wstring(text, length));
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "Error " + std::to_string(code);
  return message;
}

// ---- Dynamic libraries -------------------------------------------------------------------

const char* ServicesLibraryFileName() { return "zepservices.dll"; }

LibraryHandle OpenDynamicLibrary(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !ToWidePath(path, &wide)) return nullptr;
  // The folder of the library itself is searched for the DLLs it imports, the caller's
  // current directory is not.
  return sys::LoadLibraryW(wide.c_str());
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(sys::GetProcAddress(static_cast<HMODULE>(library), name));
}

bool CloseDynamicLibrary(LibraryHandle library) {
  if (!library) return false;
  return sys::FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

std::string ModuleFilePath() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleFilePath), &self)) {
    return {};
  }
  wchar_t name[1024];
  const DWORD length = sys::GetModuleFileNameW(self, name, static_cast<DWORD>(std::size(name)));
  if (length == 0 || length >= std::size(name)) return {};
  return LexicalFullPath(FromWidePath(std::wstring(name, length)));
}

// ---- Paths and folders -------------------------------------------------------------------

namespace {

std::string StripOneTrailingSeparator(std::string path) {
  // "C:/" keeps its separator: without it, it would name the drive's current directory.
  if (path.size() > 1 && path.back() == '/' && !(path.size() == 3 && path[1] == ':')) {
    path.pop_back();
  }
  return path;
}

std::wstring EnvironmentWide(const wchar_t* name) {
  wchar_t small[512];
  DWORD length = GetEnvironmentVariableW(name, small, static_cast<DWORD>(std::size(small)));
  if (length == 0) return {};
  if (length < std::size(small)) return std::wstring(small, length);
  std::wstring value(length, L'\0');
  length = GetEnvironmentVariableW(name, value.data(), length);
  value.resize(length);
  return value;
}

std::string ForwardSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string NonEmptyEnv(const char* name) {
  std::wstring wide_name;
  if (!ToWide(name, &wide_name)) return {};
  return FromWide(EnvironmentWide(wide_name.c_str()));
}

// A shell folder (SHGetFolderPathW), created when missing; "/" separators.
std::string ShellFolder(int csidl) {
  wchar_t path[MAX_PATH];
  if (FAILED(sys::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                   path))) {
    return {};
  }
  return StripOneTrailingSeparator(FromWidePath(path));
}

}  // namespace

std::string CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return {};
  std::wstring buffer(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, buffer.data());
  if (length == 0 || length >= size) return {};
  buffer.resize(length);
  return FromWidePath(buffer);
}

std::string LexicalFullPath(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !ToWidePath(path, &wide)) return {};
  // GetFullPathNameW is what _wfullpath calls: it joins, folds "." and "..", resolves no
  // link and needs nothing to exist.
  wchar_t full[1024];
  const DWORD length =
      GetFullPathNameW(wide.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
  if (length == 0 || length >= std::size(full)) return {};
  return FromWidePath(std::wstring(full, length));
}

std::string TempFolder() {
  // TMPDIR is read first for tests only, which point each case at a folder of its own.
  std::string value = NonEmptyEnv("TMPDIR");
  if (!value.empty()) return StripOneTrailingSeparator(ForwardSlashes(value));
  wchar_t path[1024];
  const DWORD length = sys::GetTempPathW(static_cast<DWORD>(std::size(path)), path);
  if (length == 0 || length >= std::size(path)) return {};
  return StripOneTrailingSeparator(FromWidePath(std::wstring(path, length)));
}

std::string KnownFolderPath(KnownFolder folder) {
  // The CORVEL_* variables exist for tests only, which must not touch the machine's folders.
  switch (folder) {
    case KnownFolder::CommonAppData: {
      std::string value = NonEmptyEnv("CORVEL_COMMON_APPDATA");
      return value.empty() ? ShellFolder(CSIDL_COMMON_APPDATA)
                           : StripOneTrailingSeparator(ForwardSlashes(value));
    }
    case KnownFolder::CommonFiles: {
      std::string value = NonEmptyEnv("CORVEL_COMMON_FILES");
      return value.empty() ? ShellFolder(CSIDL_PROGRAM_FILES_COMMON)
                           : StripOneTrailingSeparator(ForwardSlashes(value));
    }
    case KnownFolder::LocalAppData: {
      std::string value = NonEmptyEnv("CORVEL_LOCAL_APPDATA");
      return value.empty() ? ShellFolder(CSIDL_LOCAL_APPDATA)
                           : StripOneTrailingSeparator(ForwardSlashes(value));
    }
  }
  return {};
}

std::optional<std::string> EnvironmentValue(const char* name) {
  std::wstring wide_name;
  if (!name || !ToWide(name, &wide_name)) return std::nullopt;
  SetLastError(ERROR_SUCCESS);
  wchar_t probe[1];
  if (GetEnvironmentVariableW(wide_name.c_str(), probe, 1) == 0 &&
      GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
    return std::nullopt;
  }
  return FromWide(EnvironmentWide(wide_name.c_str()));
}

void SetEnvironmentValue(const char* name, const std::string& value) {
  std::wstring wide_name, wide_value;
  if (!name || !ToWide(name, &wide_name) || !ToWide(value, &wide_value)) return;
  // Through the C runtime, so that its copy of the environment (getenv) agrees.
  _wputenv_s(wide_name.c_str(), wide_value.c_str());
}

// ---- Debugger output ---------------------------------------------------------------------

void WriteDebugOutput(const std::string& line) {
  OutputDebugStringA(line.c_str());
  // Tests read the lines back through ZEP_DEBUG_OUTPUT ("stderr" or a file), as on Linux.
  const std::string target = NonEmptyEnv("ZEP_DEBUG_OUTPUT");
  if (target.empty()) return;
  if (target == "stderr") {
    fwrite(line.data(), 1, line.size(), stderr);
    fflush(stderr);
    return;
  }
  UniqueFd fd(OpenNoFollow(target, OpenFlags::Write | OpenFlags::Append | OpenFlags::Create, 0644));
  if (fd.valid()) AppendWhole(fd.get(), line);
}

// ---- Identity ----------------------------------------------------------------------------

std::string EffectiveUserName() {
  wchar_t name[257];
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!sys::GetUserNameW(name, &size) || size == 0) return {};
  return FromWide(std::wstring(name, size - 1));  // the size counts the terminator
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

// ---- Time --------------------------------------------------------------------------------

int64_t UtcCalendarToSeconds(const struct tm& utc) {
  struct tm copy = utc;
  const __time64_t seconds = _mkgmtime64(&copy);
  if (seconds == -1) return -1;
  // _mkgmtime64 takes 1970-01-01 to 3000-12-31; a normalised date outside is refused too.
  constexpr int64_t kLast = 32535215999LL;
  if (seconds < 0 || static_cast<int64_t>(seconds) > kLast) return -1;
  return static_cast<int64_t>(seconds);
}

bool LocalCalendar(int64_t seconds, struct tm* out) {
  if (!out) return false;
  const __time64_t t = static_cast<__time64_t>(seconds);
  return _localtime64_s(out, &t) == 0;
}

void CurrentTime(int64_t* seconds, int* milliseconds) {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  // 100-nanosecond intervals since 1601-01-01.
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr uint64_t kTicksTo1970 = 116444736000000000ULL;
  const uint64_t since_1970 = ticks - kTicksTo1970;
  if (seconds) *seconds = static_cast<int64_t>(since_1970 / 10000000ULL);
  if (milliseconds) *milliseconds = static_cast<int>((since_1970 / 10000ULL) % 1000ULL);
}

// ---- The preferences log's lock and the tag log's folder ----------------------------------

SessionLock::SessionLock(const std::string&, const std::string&, const std::string& session_name) {
  std::wstring name;
  if (!ToWide("Local\\" + session_name, &name)) return;
  // Opened when another process of the session created it already.
  HANDLE semaphore = sys::CreateSemaphoreW(nullptr, 1, 1, name.c_str());
  if (semaphore != nullptr) mHandle = reinterpret_cast<intptr_t>(semaphore);
}

SessionLock::~SessionLock() {
  Release();
  if (usable()) CloseHandle(reinterpret_cast<HANDLE>(mHandle));
}

bool SessionLock::Acquire(int patience_ms) {
  if (usable() && !mHeld) {
    mHeld = sys::WaitForSingleObject(reinterpret_cast<HANDLE>(mHandle),
                                     static_cast<DWORD>(patience_ms)) == WAIT_OBJECT_0;
  }
  return mHeld;
}

void SessionLock::Release() {
  if (mHeld) sys::ReleaseSemaphore(reinterpret_cast<HANDLE>(mHandle), 1, nullptr);
  mHeld = false;
}

std::optional<std::string> TagLogFolder() {
  // TMPDIR is read first for tests only, as by TempFolder.
  std::string test_folder = NonEmptyEnv("TMPDIR");
  if (!test_folder.empty()) return StripOneTrailingSeparator(ForwardSlashes(test_folder));
  // As the C runtime's getenv_s into a 260-byte buffer: an unset variable reads as empty, a
  // value that does not fit fails.
  constexpr size_t kBufferSize = 260;
  for (const wchar_t* name : {L"TEMP", L"TMP"}) {
    std::string value = FromWide(EnvironmentWide(name));
    if (value.size() < kBufferSize) return ForwardSlashes(value);
  }
  return std::nullopt;
}

// ---- The store's file ----------------------------------------------------------------------

std::string StoreDatabasePath() {
  std::optional<std::string> named = EnvironmentValue("ZEP_PCD_DB");
  if (named && !named->empty()) return ForwardSlashes(*named);
  const std::string common = KnownFolderPath(KnownFolder::CommonAppData);
  if (common.empty()) return {};
  return common + "/Corvel/PCD/pcd.db";
}

}  // namespace corvel::platform
