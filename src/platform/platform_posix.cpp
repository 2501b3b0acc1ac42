// POSIX implementation of the platform layer.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <utility>
#include <vector>

namespace corvel::platform {

// ---- Replaceable system calls --------------------------------------------------------------

namespace {

// The calls of variable arity, or reached through syscall(), get a fixed signature here.
int OpenCall(const char* path, int flags, mode_t mode) { return open(path, flags, mode); }
int OpenAtCall(int dir, const char* path, int flags, mode_t mode) {
  return openat(dir, path, flags, mode);
}
int RenameAt2Call(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  return static_cast<int>(syscall(SYS_renameat2, from_dir, from, to_dir, to, flags));
}

// name, signature, the system's call.
#define CORVEL_POSIX_SYSTEM_CALLS(X)                                                      \
  X(open, int(const char*, int, mode_t), OpenCall)                                        \
  X(openat, int(int, const char*, int, mode_t), OpenAtCall)                               \
  X(close, int(int), ::close)                                                             \
  X(write, ssize_t(int, const void*, size_t), ::write)                                    \
  X(fsync, int(int), ::fsync)                                                             \
  X(ftruncate, int(int, off_t), ::ftruncate)                                              \
  X(stat, int(const char*, struct stat*), ::stat)                                         \
  X(lstat, int(const char*, struct stat*), ::lstat)                                       \
  X(fstat, int(int, struct stat*), ::fstat)                                               \
  X(access, int(const char*, int), ::access)                                              \
  X(mkdir, int(const char*, mode_t), ::mkdir)                                             \
  X(rmdir, int(const char*), ::rmdir)                                                     \
  X(unlink, int(const char*), ::unlink)                                                   \
  X(rename, int(const char*, const char*), ::rename)                                      \
  X(renameat2, int(int, const char*, int, const char*, unsigned), RenameAt2Call)          \
  X(link, int(const char*, const char*), ::link)                                          \
  X(chmod, int(const char*, mode_t), ::chmod)                                             \
  X(fchmod, int(int, mode_t), ::fchmod)                                                   \
  X(fchown, int(int, uid_t, gid_t), ::fchown)                                             \
  X(flock, int(int, int), ::flock)                                                        \
  X(flistxattr, ssize_t(int, char*, size_t), ::flistxattr)                                \
  X(mkostemp, int(char*, int), ::mkostemp)                                                \
  X(mkdtemp, char*(char*), ::mkdtemp)                                                     \
  X(opendir, DIR*(const char*), ::opendir)                                                \
  X(fopen, FILE*(const char*, const char*), ::fopen)                                      \
  X(fdopen, FILE*(int, const char*), ::fdopen)                                            \
  X(getcwd, char*(char*, size_t), ::getcwd)                                               \
  X(geteuid, uid_t(), ::geteuid)                                                          \
  X(getpid, pid_t(), ::getpid)                                                            \
  X(getpwuid_r, int(uid_t, struct passwd*, char*, size_t, struct passwd**), ::getpwuid_r) \
  X(dlopen, void*(const char*, int), ::dlopen)                                            \
  X(dlsym, void*(void*, const char*), ::dlsym)                                            \
  X(dlclose, int(void*), ::dlclose)                                                       \
  X(dladdr, int(const void*, Dl_info*), ::dladdr)

enum CallIndex : size_t {
#define CORVEL_CALL_INDEX(name, type, real) kCall_##name,
  CORVEL_POSIX_SYSTEM_CALLS(CORVEL_CALL_INDEX)
#undef CORVEL_CALL_INDEX
};

template <typename Function>
using Pointer = Function*;

struct SystemCallEntry {
  const char* name;
  const SystemCall real;
  std::atomic<SystemCall> current;
};

SystemCallEntry gSystemCalls[] = {
#define CORVEL_CALL_ENTRY(name, type, real)                        \
  {#name,                                                          \
   reinterpret_cast<SystemCall>(static_cast<Pointer<type>>(real)), \
   {reinterpret_cast<SystemCall>(static_cast<Pointer<type>>(real))}},
    CORVEL_POSIX_SYSTEM_CALLS(CORVEL_CALL_ENTRY)
#undef CORVEL_CALL_ENTRY
};

// sys::open(...) and so on: the call now in the table under that name.
namespace sys {
#define CORVEL_CALL_THROUGH_TABLE(name, type, real)                                   \
  template <typename... Args>                                                         \
  auto name(Args... args) {                                                           \
    return reinterpret_cast<Pointer<type>>(                                           \
        gSystemCalls[kCall_##name].current.load(std::memory_order_relaxed))(args...); \
  }
CORVEL_POSIX_SYSTEM_CALLS(CORVEL_CALL_THROUGH_TABLE)
#undef CORVEL_CALL_THROUGH_TABLE
}  // namespace sys

}  // namespace

size_t SystemCallCount() { return std::size(gSystemCalls); }
const char* SystemCallName(size_t index) { return gSystemCalls[index].name; }
SystemCall RealSystemCall(size_t index) { return gSystemCalls[index].real; }
SystemCall CurrentSystemCall(size_t index) { return gSystemCalls[index].current.load(); }
void SetCurrentSystemCall(size_t index, SystemCall call) {
  gSystemCalls[index].current.store(call);
}

// ---- Errors ------------------------------------------------------------------------------

Error LastError() {
  switch (errno) {
    case 0:
      return Error::None;
    case ENOENT:
      return Error::NotFound;
    case EEXIST:
      return Error::Exists;
    case ENOTDIR:
      return Error::NotFolder;
    case EISDIR:
      return Error::IsFolder;
    case ELOOP:
      return Error::Link;
    case EACCES:
    case EPERM:
      return Error::Denied;
    case EINVAL:
      return Error::Invalid;
    case EWOULDBLOCK:
      return Error::WouldBlock;
    case EFBIG:
      return Error::TooLarge;
    case ENOMEM:
      return Error::NoMemory;
    case EIO:
      return Error::Io;
    default:
      return Error::Other;
  }
}

int LastErrorCode() { return errno; }

int ErrorCode(Error error) {
  switch (error) {
    case Error::None:
      return 0;
    case Error::NotFound:
      return ENOENT;
    case Error::Exists:
      return EEXIST;
    case Error::NotFolder:
      return ENOTDIR;
    case Error::IsFolder:
      return EISDIR;
    case Error::Link:
      return ELOOP;
    case Error::Denied:
      return EACCES;
    case Error::Invalid:
      return EINVAL;
    case Error::WouldBlock:
      return EWOULDBLOCK;
    case Error::TooLarge:
      return EFBIG;
    case Error::NoMemory:
      return ENOMEM;
    case Error::Io:
    case Error::Other:
      return EIO;
  }
  return EIO;
}

void SetError(Error error) { errno = ErrorCode(error); }

void SetErrorCode(int code) { errno = code; }

std::string ErrorMessage(int code) { return std::strerror(code); }

namespace {

std::string StripOneTrailingSlash(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value && *value) ? std::string(value) : std::string();
}

int PosixOpenFlags(OpenFlags flags) {
  int result =
      Has(flags, OpenFlags::Write) ? (Has(flags, OpenFlags::Read) ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (Has(flags, OpenFlags::Append)) result |= O_APPEND;
  if (Has(flags, OpenFlags::Create)) result |= O_CREAT;
  if (Has(flags, OpenFlags::Exclusive)) result |= O_EXCL;
  if (Has(flags, OpenFlags::Truncate)) result |= O_TRUNC;
  if (Has(flags, OpenFlags::NonBlocking)) result |= O_NONBLOCK;
  if (Has(flags, OpenFlags::Folder)) result |= O_DIRECTORY;
  return result | O_CLOEXEC;
}

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Folder;
  if (S_ISLNK(mode)) return FileKind::Link;
  return FileKind::Other;
}

bool InfoFromStat(int result, const struct stat& st, FileInfo* out) {
  if (result != 0) return false;
  out->kind = KindOf(st.st_mode);
  out->size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  out->links = static_cast<uint64_t>(st.st_nlink);
  out->ownedByMe = st.st_uid == sys::geteuid();
  out->permissions = static_cast<Permissions>(st.st_mode & 07777);
  out->id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  out->modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace

// ---- Dynamic libraries -------------------------------------------------------------------

const char* ServicesLibraryFileName() { return "libzepservices.so"; }

LibraryHandle OpenDynamicLibrary(const std::string& path) {
  if (path.empty()) return nullptr;
  return sys::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return sys::dlsym(library, name);
}

bool CloseDynamicLibrary(LibraryHandle library) {
  if (!library) return false;
  return sys::dlclose(library) == 0;
}

std::string ModuleFilePath() {
  Dl_info info{};
  if (sys::dladdr(reinterpret_cast<void*>(&ModuleFilePath), &info) == 0 || !info.dli_fname ||
      !*info.dli_fname) {
    return {};
  }
  return LexicalFullPath(info.dli_fname);
}

// ---- Paths and folders -------------------------------------------------------------------

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (sys::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

std::string LexicalFullPath(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return {};
  std::string joined;
  if (path.front() == '/') {
    joined = path;
  } else {
    std::string cwd = CurrentDirectory();
    if (cwd.empty()) return {};
    joined = cwd + "/" + path;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string result;
  for (const auto& part : parts) {
    result += '/';
    result += part;
  }
  if (result.empty()) return "/";
  // A trailing separator on the input names a folder; keep it, as _wfullpath does.
  if (result.size() > 1 && joined.back() == '/') result += '/';
  return result;
}

std::string TempFolder() {
  for (const char* name : {"TMPDIR", "TEMP", "TMP"}) {
    std::string value = NonEmptyEnv(name);
    if (!value.empty()) return StripOneTrailingSlash(value);
  }
  return "/tmp";
}

std::string KnownFolderPath(KnownFolder folder) {
  std::string value;
  switch (folder) {
    case KnownFolder::CommonAppData:
      value = NonEmptyEnv("CORVEL_COMMON_APPDATA");
      if (value.empty()) value = "/var/lib";
      break;
    case KnownFolder::CommonFiles:
      value = NonEmptyEnv("CORVEL_COMMON_FILES");
      if (value.empty()) value = "/usr/share";
      break;
    case KnownFolder::LocalAppData:
      value = NonEmptyEnv("CORVEL_LOCAL_APPDATA");
      if (value.empty()) value = NonEmptyEnv("XDG_DATA_HOME");
      if (value.empty()) {
        std::string home = NonEmptyEnv("HOME");
        if (home.empty()) return {};
        value = StripOneTrailingSlash(home) + "/.local/share";
      }
      break;
  }
  return StripOneTrailingSlash(value);
}

std::optional<std::string> EnvironmentValue(const char* name) {
  if (!name) return std::nullopt;
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const char* name, const std::string& value) {
  if (name) setenv(name, value.c_str(), 1);
}

// ---- Debugger output ---------------------------------------------------------------------

void WriteDebugOutput(const std::string& line) {
  const char* target = std::getenv("ZEP_DEBUG_OUTPUT");
  if (!target || !*target) return;
  if (std::strcmp(target, "stderr") == 0) {
    fwrite(line.data(), 1, line.size(), stderr);
    fflush(stderr);
    return;
  }
  int fd = sys::open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return;
  // O_APPEND makes each whole line land at the end even with several writers.
  ssize_t ignored = sys::write(fd, line.data(), line.size());
  (void)ignored;
  sys::close(fd);
}

// ---- Files -------------------------------------------------------------------------------

FILE* OpenFile(const std::string& path, const char* mode) {
  if (path.empty() || !mode) return nullptr;
  std::string with_cloexec = std::string(mode) + "e";
  return sys::fopen(path.c_str(), with_cloexec.c_str());
}

bool GetPathInfo(const std::string& path, FileInfo* out) {
  if (path.empty() || !out) {
    errno = EINVAL;
    return false;
  }
  struct stat st {};
  return InfoFromStat(sys::stat(path.c_str(), &st), st, out);
}

bool GetPathInfoNoFollow(const std::string& path, FileInfo* out) {
  if (path.empty() || !out) {
    errno = EINVAL;
    return false;
  }
  struct stat st {};
  return InfoFromStat(sys::lstat(path.c_str(), &st), st, out);
}

bool GetFileInfo(int fd, FileInfo* out) {
  if (!out) {
    errno = EINVAL;
    return false;
  }
  struct stat st {};
  return InfoFromStat(sys::fstat(fd, &st), st, out);
}

bool GetStreamInfo(FILE* stream, FileInfo* out) {
  if (!stream) {
    errno = EINVAL;
    return false;
  }
  return GetFileInfo(fileno(stream), out);
}

bool PathExists(const std::string& path) {
  return !path.empty() && sys::access(path.c_str(), F_OK) == 0;
}

bool IsFolder(const std::string& path) {
  FileInfo info;
  return GetPathInfo(path, &info) && info.kind == FileKind::Folder;
}

bool IsRegularFileNoFollow(const std::string& path) {
  FileInfo info;
  return GetPathInfoNoFollow(path, &info) && info.kind == FileKind::Regular;
}

int MakeFolder(const std::string& path, Permissions mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return sys::mkdir(path.c_str(), mode);
}

int RemoveFile(const std::string& path) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return sys::unlink(path.c_str());
}

int RemoveFolder(const std::string& path) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return sys::rmdir(path.c_str());
}

int ChangeMode(const std::string& path, Permissions mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return sys::chmod(path.c_str(), mode);
}

int ChangeModeFd(int fd, Permissions mode) { return sys::fchmod(fd, mode); }

int OpenNoFollow(const std::string& path, OpenFlags flags, Permissions mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return sys::open(path.c_str(), PosixOpenFlags(flags) | O_NOFOLLOW, mode);
}

int CreateFreshFile(const std::string& path, OpenFlags flags, Permissions mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  struct stat st {};
  if (sys::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) sys::unlink(path.c_str());
  return OpenSharedFolderFile(path, flags | OpenFlags::Create | OpenFlags::Exclusive, mode);
}

FILE* StreamFromFd(int fd, const char* mode) {
  if (fd < 0 || !mode) return nullptr;
  FILE* stream = sys::fdopen(fd, mode);
  if (!stream) sys::close(fd);
  return stream;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) {
    errno = EINVAL;
    return -1;
  }
  const int rc = sys::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc == 0) return 0;
  if (errno != ENOSYS && errno != EINVAL) return -1;
  // Kernels or file systems without the no-replace flag answer ENOSYS or EINVAL. For a plain
  // file a hard link then does the same job: it fails when the target exists. EINVAL for any
  // other reason (a folder moved into itself) keeps its error.
  int saved = errno;
  struct stat st {};
  if (sys::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    errno = saved;
    return -1;
  }
  if (sys::link(from.c_str(), to.c_str()) != 0) return -1;
  sys::unlink(from.c_str());
  return 0;
}

int RenamePath(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) {
    errno = EINVAL;
    return -1;
  }
  return sys::rename(from.c_str(), to.c_str());
}

int MakeTempFile(std::string& path_template) {
  if (path_template.size() < 6 ||
      path_template.compare(path_template.size() - 6, 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char> buffer(path_template.begin(), path_template.end());
  buffer.push_back('\0');
  int fd = sys::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  path_template.assign(buffer.data());
  return fd;
}

bool MakeTempFolder(std::string& path_template) {
  if (path_template.size() < 6 ||
      path_template.compare(path_template.size() - 6, 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return false;
  }
  std::vector<char> buffer(path_template.begin(), path_template.end());
  buffer.push_back('\0');
  if (sys::mkdtemp(buffer.data()) == nullptr) return false;
  path_template.assign(buffer.data());
  return true;
}

int64_t FileSize(const std::string& path) {
  FileInfo info;
  if (!GetPathInfo(path, &info) || info.kind != FileKind::Regular) return -1;
  return static_cast<int64_t>(info.size);
}

// ---- Identity ----------------------------------------------------------------------------

std::string EffectiveUserName() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 4096);
  struct passwd entry {};
  struct passwd* result = nullptr;
  while (true) {
    int rc = sys::getpwuid_r(sys::geteuid(), &entry, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || !result || !result->pw_name) return {};
    return std::string(result->pw_name);
  }
}

std::string MachineIdentifier() {
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    FILE* f = sys::fopen(path, "re");
    if (!f) continue;
    char buffer[128] = {};
    size_t n = fread(buffer, 1, sizeof(buffer) - 1, f);
    fclose(f);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    if (!text.empty()) return text;
  }
  return {};
}

int ProcessId() { return static_cast<int>(sys::getpid()); }

// ---- Time --------------------------------------------------------------------------------

int64_t UtcCalendarToSeconds(const struct tm& utc) {
  // 1970-01-01 00:00:00 and 3000-12-31 23:59:59 UTC, the range _mkgmtime64 accepts.
  constexpr int64_t kLast = 32535215999LL;
  struct tm copy = utc;
  time_t seconds = timegm(&copy);
  if (seconds == static_cast<time_t>(-1)) return -1;
  if (seconds < 0 || static_cast<int64_t>(seconds) > kLast) return -1;
  return static_cast<int64_t>(seconds);
}

bool LocalCalendar(int64_t seconds, struct tm* out) {
  if (!out) return false;
  time_t t = static_cast<time_t>(seconds);
  return localtime_r(&t, out) != nullptr;
}

void CurrentTime(int64_t* seconds, int* milliseconds) {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  if (seconds) *seconds = static_cast<int64_t>(now.tv_sec);
  if (milliseconds) *milliseconds = static_cast<int>(now.tv_nsec / 1000000);
}

// ---- Locks -------------------------------------------------------------------------------

namespace {

// Takes an exclusive flock on `fd`, trying for at most `patience_ms`; true when held.
bool LockWithPatience(int fd, int patience_ms) {
  if (fd < 0) return false;
  // Retried at growing intervals of at most 50 ms: a holder that lets go soon is found soon.
  struct timespec start {};
  clock_gettime(CLOCK_MONOTONIC, &start);
  long pause_ms = 1;
  while (true) {
    if (sys::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long waited_ms =
        (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (waited_ms >= patience_ms) return false;
    pause_ms = std::min({pause_ms * 2, 50L, patience_ms - waited_ms});
    struct timespec pause {
      pause_ms / 1000, (pause_ms % 1000) * 1000000L
    };
    nanosleep(&pause, nullptr);
  }
}

}  // namespace

FileLock::FileLock(int fd, int patience_ms) : mFd(fd), mHeld(LockWithPatience(fd, patience_ms)) {}

FileLock::~FileLock() {
  if (mHeld) sys::flock(mFd, LOCK_UN);
}

UniqueFd::~UniqueFd() {
  if (mFd >= 0) sys::close(mFd);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (mFd >= 0) sys::close(mFd);
    mFd = other.release();
  }
  return *this;
}

// ---- Replacing a file through a new file beside it (the preferences file) -----------------

std::vector<std::string> FolderEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = folder.empty() ? nullptr : sys::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
}

bool TryLockFd(int fd) {
  int rc;
  do {
    rc = sys::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

int WriteAllFd(int fd, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = sys::write(fd, next, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return -1;
    next += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int SyncFd(int fd) { return sys::fsync(fd); }

int SyncFolder(const std::string& folder) {
  UniqueFd fd(folder.empty() ? -1
                             : sys::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!fd.valid()) return -1;
  return sys::fsync(fd.get());
}

bool RemoveAbandonedFile(const std::string& path) {
  // lstat first, so that nothing but a regular file is ever opened; the descriptor's fstat
  // then checks that the name still leads to that same file.
  struct stat named {};
  if (sys::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
  UniqueFd fd(sys::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0));
  struct stat opened {};
  if (!fd.valid() || sys::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino || opened.st_nlink != 1 ||
      opened.st_uid != sys::geteuid() || !TryLockFd(fd.get())) {
    return false;
  }
  return sys::unlink(path.c_str()) == 0;
}

// ---- Files in folders other users can write ----------------------------------------------

int OpenSharedFolderFile(const std::string& path, OpenFlags flags, Permissions mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  const int fd = sys::open(
      path.c_str(), PosixOpenFlags(flags & ~OpenFlags::Truncate) | O_NONBLOCK | O_NOFOLLOW, mode);
  if (fd < 0) return -1;
  struct stat st {};
  int error = 0;
  if (sys::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
    error = EPERM;
  } else if (Has(flags, OpenFlags::Create | OpenFlags::Exclusive) && sys::fchmod(fd, mode) != 0) {
    error = errno;  // a file this call created gets its mode whatever the umask
  } else if (Has(flags, OpenFlags::Truncate) && sys::ftruncate(fd, 0) != 0) {
    error = errno;
  }
  if (error != 0) {
    sys::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

bool AppendWhole(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = sys::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

int OpenPrivateLockFile(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty() || name.find('/') != std::string::npos) return -1;
  if (sys::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  // The file is opened relative to the folder that was checked, not by its path again.
  UniqueFd dir(
      sys::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  struct stat st {};
  if (!dir.valid() || sys::fstat(dir.get(), &st) != 0 || st.st_uid != sys::geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return -1;
  }
  UniqueFd fd(sys::openat(dir.get(), name.c_str(),
                          O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid() || sys::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      st.st_uid != sys::geteuid()) {
    return -1;
  }
  return fd.release();
}

std::string EffectiveUserIdText() { return std::to_string(sys::geteuid()); }

// ---- Rewriting a file through a fresh one (the configuration document's rewrite) ----------

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `path` still names the file open at `fd`.
bool StillNamed(const std::string& path, int fd) {
  struct stat named {};
  struct stat opened {};
  return sys::lstat(path.c_str(), &named) == 0 && sys::fstat(fd, &opened) == 0 &&
         SameFile(named, opened);
}

void RemoveIfStillNamed(const std::string& path, int fd) {
  if (StillNamed(path, fd)) sys::unlink(path.c_str());
}

// Access lists and security labels are extended attributes too. True as well when they
// cannot be listed, except on a file system without them.
bool HasExtendedAttributes(int fd) {
  ssize_t size = sys::flistxattr(fd, nullptr, 0);
  return size > 0 || (size < 0 && errno != ENOTSUP);
}

// The file's status, when a fresh file renamed over it keeps all a reader of it can see.
bool ReplaceableByRename(int fd, const std::string& path, struct stat* status) {
  if (sys::fstat(fd, status) != 0 || !S_ISREG(status->st_mode) || status->st_nlink != 1)
    return false;
  struct stat named {};
  return sys::lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
         SameFile(named, *status) && !HasExtendedAttributes(fd);
}

// A fresh file that a killed rewrite left behind: a live rewrite holds a lock on its own.
void RemoveStrayFreshFile(const std::string& fresh_path) {
  struct stat named {};
  if (sys::lstat(fresh_path.c_str(), &named) != 0 || S_ISDIR(named.st_mode)) return;
  if (!S_ISREG(named.st_mode)) {
    sys::unlink(fresh_path.c_str());
    return;
  }
  UniqueFd fd(sys::open(fresh_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!fd.valid() || sys::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
  RemoveIfStillNamed(fresh_path, fd.get());
}

// Creates the fresh file exclusively, locks it and gives it the owner, group and mode of
// `like`, and nothing else (no access list inherited from the folder); -1 (and no file) when
// any of that fails.
int CreateFreshFileLike(const std::string& fresh_path, const struct stat& like) {
  UniqueFd fd(
      sys::open(fresh_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return -1;
  const mode_t mode = like.st_mode & 07777;
  struct stat status {};
  // The owner first: a change of owner clears the set-user and set-group bits.
  if (sys::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
      sys::fchown(fd.get(), like.st_uid, like.st_gid) != 0 || sys::fchmod(fd.get(), mode) != 0 ||
      sys::fstat(fd.get(), &status) != 0 || (status.st_mode & 07777) != mode ||
      HasExtendedAttributes(fd.get())) {
    RemoveIfStillNamed(fresh_path, fd.get());
    return -1;
  }
  return fd.release();
}

}  // namespace

int OpenForRewrite(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  return sys::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
}

FileRewrite::FileRewrite(UniqueFd file, std::string path, std::string fresh_path)
    : mFile(std::move(file)), mPath(std::move(path)), mFreshPath(std::move(fresh_path)) {}

FileRewrite::~FileRewrite() { Discard(); }

void FileRewrite::Discard() {
  if (mStream == nullptr) return;
  if (mFresh) RemoveIfStillNamed(mFreshPath, fileno(mStream));
  fclose(mStream);
  mStream = nullptr;
}

FILE* FileRewrite::BeginFresh() {
  RemoveStrayFreshFile(mFreshPath);
  struct stat status {};
  if (!ReplaceableByRename(mFile.get(), mPath, &status)) return nullptr;
  int fd = CreateFreshFileLike(mFreshPath, status);
  if (fd < 0) return nullptr;
  FILE* stream = sys::fdopen(fd, "wb");
  if (stream == nullptr) {
    RemoveIfStillNamed(mFreshPath, fd);
    sys::close(fd);
  }
  return stream;
}

FILE* FileRewrite::Begin() {
  if (!mFile.valid() || mStream != nullptr) return nullptr;
  if (!mFreshPath.empty()) {
    mStream = BeginFresh();
    mFresh = mStream != nullptr;
    if (mFresh) return mStream;
  }
  // In place: truncated as the open for writing would have truncated it (only a regular file
  // has a length to cut).
  struct stat status {};
  if (sys::fstat(mFile.get(), &status) != 0) return nullptr;
  if (S_ISREG(status.st_mode) && sys::ftruncate(mFile.get(), 0) != 0) return nullptr;
  mStream = sys::fdopen(mFile.get(), "wb");
  if (mStream != nullptr) mFile.release();
  return mStream;
}

bool FileRewrite::Finish(bool written) {
  if (mStream == nullptr) return false;
  bool done = written && fflush(mStream) == 0;
  if (!mFresh) {
    if (fclose(mStream) != 0) done = false;
    mStream = nullptr;
    return done;
  }
  // The fresh file's content reaches the disk before its name replaces the file's.
  const int fd = fileno(mStream);
  done = done && sys::fsync(fd) == 0 && StillNamed(mFreshPath, fd) &&
         sys::rename(mFreshPath.c_str(), mPath.c_str()) == 0;
  if (done) {
    fclose(mStream);
    mStream = nullptr;
  }
  Discard();
  return done;
}

// ---- Folder trees and the store's file (the library, the services library and the tool) ---

size_t FolderRootLength(const std::string&) { return 0; }

std::string StoreDatabasePath() {
  std::optional<std::string> named = EnvironmentValue("ZEP_PCD_DB");
  if (named && !named->empty()) return *named;
  const std::string common = KnownFolderPath(KnownFolder::CommonAppData);
  if (common.empty()) return {};
  return common + "/Corvel/PCD/pcd.db";
}

// ---- The preferences log's lock and the tag log's folder ----------------------------------

SessionLock::SessionLock(const std::string& folder, const std::string& file_name,
                         const std::string&)
    : mHandle(OpenPrivateLockFile(folder, file_name)) {}

SessionLock::~SessionLock() {
  Release();
  if (usable()) sys::close(static_cast<int>(mHandle));
}

bool SessionLock::Acquire(int patience_ms) {
  if (usable() && !mHeld) mHeld = LockWithPatience(static_cast<int>(mHandle), patience_ms);
  return mHeld;
}

void SessionLock::Release() {
  if (mHeld) sys::flock(static_cast<int>(mHandle), LOCK_UN);
  mHeld = false;
}

std::optional<std::string> TagLogFolder() { return TempFolder(); }

}  // namespace corvel::platform
