// POSIX implementation of the platform layer.
#include "platform/platform.h"

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
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace corvel::platform {

namespace {

std::string StripOneTrailingSlash(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value && *value) ? std::string(value) : std::string();
}

}  // namespace

// ---- Dynamic libraries -------------------------------------------------------------------

const char* ServicesLibraryFileName() { return "libzepservices.so"; }

LibraryHandle OpenDynamicLibrary(const std::string& path) {
  if (path.empty()) return nullptr;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return dlsym(library, name);
}

bool CloseDynamicLibrary(LibraryHandle library) {
  if (!library) return false;
  return dlclose(library) == 0;
}

std::string ModuleFilePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleFilePath), &info) == 0 || !info.dli_fname ||
      !*info.dli_fname) {
    return {};
  }
  return LexicalFullPath(info.dli_fname);
}

// ---- Paths and folders -------------------------------------------------------------------

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
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
  int fd = open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return;
  // O_APPEND makes each whole line land at the end even with several writers.
  ssize_t ignored = write(fd, line.data(), line.size());
  (void)ignored;
  close(fd);
}

// ---- Files -------------------------------------------------------------------------------

FILE* OpenFile(const std::string& path, const char* mode) {
  if (path.empty() || !mode) return nullptr;
  std::string with_cloexec = std::string(mode) + "e";
  return fopen(path.c_str(), with_cloexec.c_str());
}

int StatPath(const std::string& path, struct stat* out) {
  if (path.empty() || !out) {
    errno = EINVAL;
    return -1;
  }
  return stat(path.c_str(), out);
}

int LstatPath(const std::string& path, struct stat* out) {
  if (path.empty() || !out) {
    errno = EINVAL;
    return -1;
  }
  return lstat(path.c_str(), out);
}

bool PathExists(const std::string& path) { return !path.empty() && access(path.c_str(), F_OK) == 0; }

bool IsFolder(const std::string& path) {
  struct stat st{};
  return StatPath(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFileNoFollow(const std::string& path) {
  struct stat st{};
  return LstatPath(path, &st) == 0 && S_ISREG(st.st_mode);
}

int MakeFolder(const std::string& path, mode_t mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return mkdir(path.c_str(), mode);
}

int RemoveFile(const std::string& path) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return unlink(path.c_str());
}

int RemoveFolder(const std::string& path) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return rmdir(path.c_str());
}

int ChangeMode(const std::string& path, mode_t mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return chmod(path.c_str(), mode);
}

int ChangeModeFd(int fd, mode_t mode) { return fchmod(fd, mode); }

int OpenNoFollow(const std::string& path, int flags, mode_t mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  return open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

int CreateFreshFile(const std::string& path, int flags, mode_t mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) unlink(path.c_str());
  return OpenSharedFolderFile(path, flags | O_CREAT | O_EXCL, mode);
}

FILE* StreamFromFd(int fd, const char* mode) {
  if (fd < 0 || !mode) return nullptr;
  FILE* stream = fdopen(fd, mode);
  if (!stream) close(fd);
  return stream;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) {
    errno = EINVAL;
    return -1;
  }
  long rc = syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc == 0) return 0;
  if (errno != ENOSYS && errno != EINVAL) return -1;
  // Kernels or file systems without the no-replace flag answer ENOSYS or EINVAL. For a plain
  // file a hard link then does the same job: it fails when the target exists. EINVAL for any
  // other reason (a folder moved into itself) keeps its error.
  int saved = errno;
  struct stat st{};
  if (lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    errno = saved;
    return -1;
  }
  if (link(from.c_str(), to.c_str()) != 0) return -1;
  unlink(from.c_str());
  return 0;
}

int RenamePath(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) {
    errno = EINVAL;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

int MakeTempFile(std::string& path_template) {
  if (path_template.size() < 6 ||
      path_template.compare(path_template.size() - 6, 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char> buffer(path_template.begin(), path_template.end());
  buffer.push_back('\0');
  int fd = mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  path_template.assign(buffer.data());
  return fd;
}

int64_t FileSize(const std::string& path) {
  struct stat st{};
  if (StatPath(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

// ---- Identity ----------------------------------------------------------------------------

std::string EffectiveUserName() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 4096);
  struct passwd entry{};
  struct passwd* result = nullptr;
  while (true) {
    int rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result);
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
    FILE* f = fopen(path, "re");
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

int ProcessId() { return static_cast<int>(getpid()); }

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
  struct timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (seconds) *seconds = static_cast<int64_t>(now.tv_sec);
  if (milliseconds) *milliseconds = static_cast<int>(now.tv_nsec / 1000000);
}

// ---- Locks -------------------------------------------------------------------------------

FileLock::FileLock(int fd, int patience_ms) : mFd(fd), mHeld(false) {
  if (mFd < 0) return;
  // Retried at growing intervals of at most 50 ms: a holder that lets go soon is found soon.
  struct timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  long pause_ms = 1;
  while (true) {
    if (flock(mFd, LOCK_EX | LOCK_NB) == 0) {
      mHeld = true;
      return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return;
    struct timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long waited_ms =
        (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (waited_ms >= patience_ms) return;
    pause_ms = std::min({pause_ms * 2, 50L, patience_ms - waited_ms});
    struct timespec pause{pause_ms / 1000, (pause_ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
  }
}

FileLock::~FileLock() {
  if (mHeld) flock(mFd, LOCK_UN);
}

UniqueFd::~UniqueFd() {
  if (mFd >= 0) close(mFd);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (mFd >= 0) close(mFd);
    mFd = other.release();
  }
  return *this;
}

// ---- Replacing a file through a new file beside it (the preferences file) -----------------

std::vector<std::string> FolderEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = folder.empty() ? nullptr : opendir(folder.c_str());
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
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

int WriteAllFd(int fd, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(fd, next, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return -1;
    next += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int SyncFd(int fd) { return fsync(fd); }

int SyncFolder(const std::string& folder) {
  UniqueFd fd(folder.empty() ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return -1;
  return fsync(fd.get());
}

bool RemoveAbandonedFile(const std::string& path) {
  // lstat first, so that nothing but a regular file is ever opened; the descriptor's fstat
  // then checks that the name still leads to that same file.
  struct stat named{};
  if (LstatPath(path, &named) != 0 || !S_ISREG(named.st_mode)) return false;
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  struct stat opened{};
  if (!fd.valid() || fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino || opened.st_nlink != 1 ||
      opened.st_uid != geteuid() || !TryLockFd(fd.get())) {
    return false;
  }
  return unlink(path.c_str()) == 0;
}


// ---- Files in folders other users can write ----------------------------------------------

int OpenSharedFolderFile(const std::string& path, int flags, mode_t mode) {
  if (path.empty()) {
    errno = EINVAL;
    return -1;
  }
  const int fd = open(path.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat st{};
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
    error = EPERM;
  } else if ((flags & O_CREAT) && (flags & O_EXCL) && fchmod(fd, mode) != 0) {
    error = errno;  // a file this call created gets its mode whatever the umask
  } else if ((flags & O_TRUNC) && ftruncate(fd, 0) != 0) {
    error = errno;
  }
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

bool AppendWhole(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

int OpenPrivateLockFile(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty() || name.find('/') != std::string::npos) return -1;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  // The file is opened relative to the folder that was checked, not by its path again.
  UniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st{};
  if (!dir.valid() || fstat(dir.get(), &st) != 0 || st.st_uid != geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return -1;
  }
  UniqueFd fd(openat(dir.get(), name.c_str(),
                     O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      st.st_uid != geteuid()) {
    return -1;
  }
  return fd.release();
}

std::string EffectiveUserIdText() { return std::to_string(geteuid()); }

// ---- Rewriting a file through a fresh one (the configuration document's rewrite) ----------

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `path` still names the file open at `fd`.
bool StillNamed(const std::string& path, int fd) {
  struct stat named{};
  struct stat opened{};
  return lstat(path.c_str(), &named) == 0 && fstat(fd, &opened) == 0 && SameFile(named, opened);
}

void RemoveIfStillNamed(const std::string& path, int fd) {
  if (StillNamed(path, fd)) unlink(path.c_str());
}

// Access lists and security labels are extended attributes too. True as well when they
// cannot be listed, except on a file system without them.
bool HasExtendedAttributes(int fd) {
  ssize_t size = flistxattr(fd, nullptr, 0);
  return size > 0 || (size < 0 && errno != ENOTSUP);
}

// The file's status, when a fresh file renamed over it keeps all a reader of it can see.
bool ReplaceableByRename(int fd, const std::string& path, struct stat* status) {
  if (fstat(fd, status) != 0 || !S_ISREG(status->st_mode) || status->st_nlink != 1) return false;
  struct stat named{};
  return lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) && SameFile(named, *status) &&
         !HasExtendedAttributes(fd);
}

// A fresh file that a killed rewrite left behind: a live rewrite holds a lock on its own.
void RemoveStrayFreshFile(const std::string& fresh_path) {
  struct stat named{};
  if (lstat(fresh_path.c_str(), &named) != 0 || S_ISDIR(named.st_mode)) return;
  if (!S_ISREG(named.st_mode)) {
    unlink(fresh_path.c_str());
    return;
  }
  UniqueFd fd(open(fresh_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid() || flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
  RemoveIfStillNamed(fresh_path, fd.get());
}

// Creates the fresh file exclusively, locks it and gives it the owner, group and mode of
// `like`, and nothing else (no access list inherited from the folder); -1 (and no file) when
// any of that fails.
int CreateFreshFileLike(const std::string& fresh_path, const struct stat& like) {
  UniqueFd fd(open(fresh_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return -1;
  const mode_t mode = like.st_mode & 07777;
  struct stat status{};
  // The owner first: a change of owner clears the set-user and set-group bits.
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || fchown(fd.get(), like.st_uid, like.st_gid) != 0 ||
      fchmod(fd.get(), mode) != 0 || fstat(fd.get(), &status) != 0 ||
      (status.st_mode & 07777) != mode || HasExtendedAttributes(fd.get())) {
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
  return open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
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
  struct stat status{};
  if (!ReplaceableByRename(mFile.get(), mPath, &status)) return nullptr;
  int fd = CreateFreshFileLike(mFreshPath, status);
  if (fd < 0) return nullptr;
  FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    RemoveIfStillNamed(mFreshPath, fd);
    close(fd);
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
  struct stat status{};
  if (fstat(mFile.get(), &status) != 0) return nullptr;
  if (S_ISREG(status.st_mode) && ftruncate(mFile.get(), 0) != 0) return nullptr;
  mStream = fdopen(mFile.get(), "wb");
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
  done = done && fsync(fd) == 0 && StillNamed(mFreshPath, fd) &&
         rename(mFreshPath.c_str(), mPath.c_str()) == 0;
  if (done) {
    fclose(mStream);
    mStream = nullptr;
  }
  Discard();
  return done;
}

// ---- Folder trees and the store's file (the library, the services library and the tool) ---

int MakeFolders(const std::string& path, uint32_t mode) {
  if (path.empty()) return ENOENT;
  // Walk down from the first component so that every missing parent is created in order.
  size_t position = (path[0] == '/') ? 1 : 0;
  while (true) {
    const size_t slash = path.find('/', position);
    const std::string prefix = (slash == std::string::npos) ? path : path.substr(0, slash);
    const bool last = (slash == std::string::npos) ||
                      path.find_first_not_of('/', slash) == std::string::npos;
    if (!prefix.empty() && prefix.back() != '/') {
      if (MakeFolder(prefix, mode) == 0) {
        if (ChangeMode(prefix, mode) != 0) return errno;
      } else if (errno != EEXIST) {
        return errno;
      } else if (!last && !IsFolder(prefix)) {
        return ENOTDIR;
      }
    }
    if (last) return 0;
    position = slash + 1;
  }
}

std::string StoreDatabasePath() {
  std::optional<std::string> named = EnvironmentValue("ZEP_PCD_DB");
  if (named && !named->empty()) return *named;
  const std::string common = KnownFolderPath(KnownFolder::CommonAppData);
  if (common.empty()) return {};
  return common + "/Corvel/PCD/pcd.db";
}

}  // namespace corvel::platform
