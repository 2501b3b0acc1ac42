// The platform layer: every call into the operating system goes through this header.
// One implementation file per operating system (platform_posix.cpp now). Texts and paths
// are UTF-8 std::string; nothing outside this folder includes <dlfcn.h> or reads an
// environment variable that names a folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <sys/types.h>

namespace corvel::platform {

// ---- Dynamic libraries -------------------------------------------------------------------

using LibraryHandle = void*;

// The file name under which the services library is requested on this system.
const char* ServicesLibraryFileName();  // "libzepservices.so"

// dlopen(RTLD_NOW | RTLD_LOCAL); null on failure.
LibraryHandle OpenDynamicLibrary(const std::string& path);
// dlsym; null when the library does not export the name.
void* LibrarySymbol(LibraryHandle library, const char* name);
// dlclose; true on success.
bool CloseDynamicLibrary(LibraryHandle library);

// Absolute path of the shared object (or executable) that contains this code (dladdr);
// empty when it cannot be found.
std::string ModuleFilePath();

// ---- Paths and folders -------------------------------------------------------------------

// The process's current directory; empty on failure.
std::string CurrentDirectory();

// Lexical absolute path: relative paths are joined to the current directory, "." and ".."
// folded, repeated separators collapsed. No symbolic link is resolved and the path need not
// exist. Empty on failure (empty input, no current directory).
std::string LexicalFullPath(const std::string& path);

// TMPDIR, else TEMP, else TMP, else "/tmp"; one trailing "/" removed.
std::string TempFolder();

enum class KnownFolder {
  CommonAppData,    // CORVEL_COMMON_APPDATA, else "/var/lib"
  CommonFiles,      // CORVEL_COMMON_FILES, else "/usr/share" (also the 32-bit form)
  LocalAppData,     // CORVEL_LOCAL_APPDATA, else XDG_DATA_HOME, else "$HOME/.local/share"
};
// The folder's path, without a trailing "/"; empty when it cannot be determined.
std::string KnownFolderPath(KnownFolder folder);

// An environment variable, or nullopt when unset. For non-folder settings only
// (ZEP_PCD_DB, ZEPLogFormat, ...); folder variables are read through the functions above.
std::optional<std::string> EnvironmentValue(const char* name);
// Sets an environment variable for this process (overwriting).
void SetEnvironmentValue(const char* name, const std::string& value);

// ---- Debugger output ---------------------------------------------------------------------

// Writes one already-terminated line to the stream that ZEP_DEBUG_OUTPUT names: "stderr",
// or a file path (appended). When the variable is unset the line is dropped.
void WriteDebugOutput(const std::string& line);

// ---- Files -------------------------------------------------------------------------------

// fopen on the UTF-8 path with O_CLOEXEC ("e" mode flag added); null on failure.
FILE* OpenFile(const std::string& path, const char* mode);
// stat; 0 on success, -1 with errno on failure.
int StatPath(const std::string& path, struct stat* out);
// lstat; 0 on success, -1 with errno on failure.
int LstatPath(const std::string& path, struct stat* out);
bool PathExists(const std::string& path);     // access(F_OK), follows links
bool IsFolder(const std::string& path);       // stat succeeds and S_ISDIR
bool IsRegularFileNoFollow(const std::string& path);  // lstat succeeds and S_ISREG
int MakeFolder(const std::string& path, mode_t mode);  // mkdir; 0 or -1 with errno
int RemoveFile(const std::string& path);      // unlink; 0 or -1 with errno
int RemoveFolder(const std::string& path);    // rmdir; 0 or -1 with errno
int ChangeMode(const std::string& path, mode_t mode);  // chmod; 0 or -1 with errno
int ChangeModeFd(int fd, mode_t mode);        // fchmod; 0 or -1 with errno

// Opens a file in a folder that other users may write: O_NOFOLLOW | O_CLOEXEC always, so a
// symbolic link planted under the name is never followed. Returns the descriptor or -1.
int OpenNoFollow(const std::string& path, int flags, mode_t mode);
// Creates a fresh file: unlinks whatever but a folder stands at the path, then creates it
// with OpenSharedFolderFile (O_CREAT | O_EXCL added to `flags`; `mode` set with fchmod).
// Returns the descriptor or -1.
int CreateFreshFile(const std::string& path, int flags, mode_t mode);
// Wraps a descriptor in a stdio stream (fdopen); closes the descriptor on failure.
FILE* StreamFromFd(int fd, const char* mode);

// renameat2(RENAME_NOREPLACE): fails with EEXIST when the target exists; 0 or -1 with errno.
int RenameNoReplace(const std::string& from, const std::string& to);
// rename(2), for targets known to be absent or owned by us; 0 or -1 with errno.
int RenamePath(const std::string& from, const std::string& to);

// mkstemp on a template ending in "XXXXXX" (replaced in place); the descriptor is
// close-on-exec and the file mode 0600. Returns the descriptor or -1.
int MakeTempFile(std::string& path_template);

// Size of a regular file, or -1.
int64_t FileSize(const std::string& path);

// ---- Identity ----------------------------------------------------------------------------

// The name of the effective user (getpwuid_r(geteuid())); empty when it cannot be found.
std::string EffectiveUserName();
// The machine identifier: /etc/machine-id, else /var/lib/dbus/machine-id, trimmed; empty
// when neither can be read (the caller falls back to its own number).
std::string MachineIdentifier();
// The process identifier.
int ProcessId();

// ---- Time --------------------------------------------------------------------------------

// timegm limited to 1970-01-01 00:00:00 .. 3000-12-31 23:59:59; -1 outside or on failure.
int64_t UtcCalendarToSeconds(const struct tm& utc);
// localtime_r; false on failure.
bool LocalCalendar(int64_t seconds, struct tm* out);
// Current time as seconds since 1970 and the millisecond part.
void CurrentTime(int64_t* seconds, int* milliseconds);

// ---- Locks -------------------------------------------------------------------------------

// An exclusive cross-process lock on an open descriptor (flock LOCK_EX), held for the
// object's life and released by the kernel if the process dies. It never waits longer than
// `patience_ms`: the lock is tried at once and then every few milliseconds until the patience
// is spent (0: one try). held() tells whether it was had.
class FileLock {
 public:
  FileLock(int fd, int patience_ms);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return mHeld; }

 private:
  int mFd;
  bool mHeld;
};

// A descriptor closed when the object goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : mFd(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : mFd(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return mFd; }
  bool valid() const { return mFd >= 0; }
  int release() {
    int fd = mFd;
    mFd = -1;
    return fd;
  }

 private:
  int mFd = -1;
};

// A stdio stream closed when the object goes.
struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};

// ---- Replacing a file through a new file beside it (the preferences file) -----------------

// The names in a folder, "." and ".." left out; empty when it cannot be read.
std::vector<std::string> FolderEntryNames(const std::string& folder);
// An exclusive lock on an open descriptor taken without waiting (flock LOCK_EX | LOCK_NB);
// true when held. Closing the descriptor or the death of the process releases it.
bool TryLockFd(int fd);
// Writes all `size` bytes; 0 or -1 with errno.
int WriteAllFd(int fd, const void* data, size_t size);
// fsync; 0 or -1 with errno.
int SyncFd(int fd);
// Flushes a folder's entries (a rename in it) to disk; 0 or -1 with errno.
int SyncFolder(const std::string& folder);
// Removes the file at `path` when it is one a killed process of this user left: a regular
// file (a link is never followed, only regular files are opened), with one link, owned by the
// effective user, that no live process holds locked (TryLockFd). True when removed.
bool RemoveAbandonedFile(const std::string& path);

// ---- Files in folders other users can write ----------------------------------------------
// The temporary folder and the world-writable tag directory. Another user may plant anything
// under a name there (a FIFO, a device, a symbolic link, a second name of someone else's
// file) or own the file and hold a lock on it for as long as she likes. A file there is
// opened by name with OpenSharedFolderFile (or created with CreateFreshFile), locked with a
// FileLock of at most kSharedFileLockPatienceMs, and a log line is written with AppendWhole.

// Opens a file by name in such a folder: O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC are added to
// `flags`, so neither a FIFO nor a link can stall or redirect the open, and the descriptor is
// kept only when fstat shows a regular file with exactly one link. O_TRUNC is applied only
// after that check; with O_CREAT | O_EXCL the new file gets `mode` through fchmod. Returns the
// descriptor, or -1 with errno (ELOOP for a symbolic link, EPERM for anything else that opens
// but is not a regular file with one link).
int OpenSharedFolderFile(const std::string& path, int flags, mode_t mode = 0);

// The longest wait for a lock on a file in such a folder; after it the caller goes on without
// the lock (and does nothing that needs it, such as rotating a log).
inline constexpr int kSharedFileLockPatienceMs = 2000;

// Writes `bytes` with one write call, so that on an O_APPEND descriptor of a regular file
// they land whole at the end of the file whatever other writers do, lock or no lock. Only a
// write cut short (a signal, a full disk) goes on with a further call. False when not all
// bytes were written.
bool AppendWhole(int fd, const std::string& bytes);

// Opens (creating it, mode 0600) the lock file `name` in `folder`, a folder of this user's
// own that may stand in a shared folder: it is created 0700 when missing, and used only when
// it is a folder owned by the effective user that neither group nor others can write; the
// file only when it is a regular file with one link owned by the effective user. So no other
// user can hold the lock. Returns the descriptor, or -1.
int OpenPrivateLockFile(const std::string& folder, const std::string& name);
// The effective user's number, as text for the names of per-user files.
std::string EffectiveUserIdText();

// ---- Rewriting a file through a fresh one (the configuration document's rewrite) ----------

// Opens `path` for writing as fopen "wb" does (created with mode 0666 less the umask when
// absent, close-on-exec; a folder is refused) but without truncating it, so every failure of
// that open is a failure here too. The descriptor, or -1 with errno.
int OpenForRewrite(const std::string& path);

// Writes new content for a file opened with OpenForRewrite. When the file is a regular file
// with one link, named by `path` itself (not through a symbolic link), without extended
// attributes, and a fresh file at `fresh_path` (beside it) can be given its owner, group and
// mode, the content goes to that fresh file, which Finish flushes to disk and renames over
// the file: a process killed at any point leaves the old or the new content, and at worst the
// fresh file, which the next rewrite removes. Otherwise (or with an empty `fresh_path`) the
// file itself is truncated and rewritten. A fresh file is locked while it is written, so a
// rewrite never removes the one that another live rewrite is writing.
class FileRewrite {
 public:
  FileRewrite(UniqueFd file, std::string path, std::string fresh_path);
  // Closes; a fresh file that was not renamed is removed.
  ~FileRewrite();
  FileRewrite(const FileRewrite&) = delete;
  FileRewrite& operator=(const FileRewrite&) = delete;

  // The stream the new content goes to; null when none could be opened.
  FILE* Begin();
  // Ends the rewrite begun by Begin; `written` tells whether every write to the stream
  // succeeded. True when the file now holds the whole new content; when it is false after a
  // fresh file was begun, the file still holds its old content.
  bool Finish(bool written);

 private:
  FILE* BeginFresh();
  void Discard();

  UniqueFd mFile;
  std::string mPath;
  std::string mFreshPath;
  FILE* mStream = nullptr;
  bool mFresh = false;
};

// ---- Folder trees and the store's file (the library, the services library and the tool) ---

// Creates `path` and every missing folder above it, each new one given `mode` explicitly (not
// left to the umask). Anything already standing at the last component counts as success, as
// the system's "already exists" result does; something other than a folder above it fails
// with ENOTDIR. Returns 0, or the errno of the first failing step.
int MakeFolders(const std::string& path, uint32_t mode);

// The services library's store file: ZEP_PCD_DB when set and not empty, else
// "<common application data>/Corvel/PCD/pcd.db"; empty when neither can be determined.
std::string StoreDatabasePath();

}  // namespace corvel::platform
