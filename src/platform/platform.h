// The platform layer: every call into the operating system goes through this header.
// One implementation file per operating system (platform_posix.cpp now). Texts and paths
// are UTF-8 std::string; nothing outside this folder includes a header of the operating
// system or reads an environment variable that names a folder. Descriptors are the C
// runtime's int descriptors, which every system has.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace corvel::platform {

// ---- Errors ------------------------------------------------------------------------------

// What made a call of this layer fail. A failing function leaves it as the thread's last
// error (errno here, the last-error value on Windows) until the next call of the system.
enum class Error {
  None,
  NotFound,    // nothing at the path, or a folder on the way is missing
  Exists,      // something already stands at the name
  NotFolder,   // a part of the path that should be a folder is not one
  IsFolder,    // a folder stands where a file is needed
  Link,        // a symbolic link stands at a name that must not be followed
  Denied,      // no permission, or not a file this layer may use there
  Invalid,     // an argument the call refuses (an empty path, a malformed template)
  WouldBlock,  // held by someone else (a lock), and the call was not to wait
  TooLarge,    // a file too large for what was asked
  NoMemory,
  Io,     // the device failed
  Other,  // anything else; LastErrorCode() tells which
};

Error LastError();
// The system's own number for the last error (0: none), for logs and ErrorMessage.
int LastErrorCode();
void SetError(Error error);
// Sets the last error by the system's number: restores one saved with LastErrorCode (0 clears).
void SetErrorCode(int code);
// The system's number for a kind of error.
int ErrorCode(Error error);
// The system's text for an error number ("No such file or directory").
std::string ErrorMessage(int code);

// ---- Types of files and of opening them ---------------------------------------------------

// Permission bits in the octal notation of 0755: read, write and execute for the owner, the
// group and everybody else. A system without such bits maps them to its access lists.
using Permissions = unsigned;

// How a file is opened; combined with "|". Every descriptor this layer opens is closed when
// the process starts another program.
enum class OpenFlags : unsigned {
  Read = 1u << 0,  // for reading; with Write, for both
  Write = 1u << 1,
  Append = 1u << 2,       // every write goes to the end of the file
  Create = 1u << 3,       // created, with the permissions given, when missing
  Exclusive = 1u << 4,    // with Create: fails (Error::Exists) when anything stands at the name
  Truncate = 1u << 5,     // emptied when opened
  NonBlocking = 1u << 6,  // the open does not wait (for the writer of a FIFO, say)
  Folder = 1u << 7,       // succeeds only on a folder
};
constexpr OpenFlags operator|(OpenFlags a, OpenFlags b) {
  return static_cast<OpenFlags>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr OpenFlags operator&(OpenFlags a, OpenFlags b) {
  return static_cast<OpenFlags>(static_cast<unsigned>(a) & static_cast<unsigned>(b));
}
constexpr OpenFlags operator~(OpenFlags a) {
  return static_cast<OpenFlags>(~static_cast<unsigned>(a));
}
constexpr bool Has(OpenFlags flags, OpenFlags flag) { return (flags & flag) == flag; }

enum class FileKind { Regular, Folder, Link, Other };

// What identifies a file on the machine, whatever name leads to it (device and file number;
// on Windows the volume serial number and the file index).
struct FileId {
  uint64_t device = 0;
  uint64_t number = 0;
  auto operator<=>(const FileId&) const = default;
};

struct FileInfo {
  FileKind kind = FileKind::Other;
  uint64_t size = 0;
  uint64_t links = 0;      // the names the file has
  bool ownedByMe = false;  // owned by the effective user
  Permissions permissions = 0;
  FileId id;
  int64_t modifiedNs = 0;  // last change of the content, nanoseconds since 1970
};

// ---- Replaceable system calls --------------------------------------------------------------
// The calls into the operating system that a failure path hangs on (opening, examining,
// writing, flushing, renaming, removing and locking files, making folders, loading libraries,
// ...) go through a table of named function pointers, each the system's own call until a test
// replaces it, so that a failure path is tested by injecting the failure. The names are the
// system's own ("open", "fsync", "rename", "dlopen", ...); a replacement has the signature of
// the call it replaces and sets the system's error as the call would.

using SystemCall = void (*)();

// Replaces the call named `name`; a null replacement puts the system's call back. False when
// the table has no call of that name.
bool SetSystemCall(const char* name, SystemCall replacement);
// The call in place under `name`, or null for a name the table does not have.
SystemCall GetSystemCall(const char* name);
// The name that follows `name` in the table (the first one for null); null after the last.
const char* NextSystemCall(const char* name);
// Puts the system's own call back under every name.
void RestoreSystemCalls();

// Replaces a call for the life of the object, then puts back the call it found. `name` must
// outlive the object (a literal).
class ScopedSystemCall {
 public:
  ScopedSystemCall(const char* name, SystemCall replacement);
  template <typename Function>
  ScopedSystemCall(const char* name, Function* replacement)
      : ScopedSystemCall(name, reinterpret_cast<SystemCall>(replacement)) {}
  ~ScopedSystemCall();
  ScopedSystemCall(const ScopedSystemCall&) = delete;
  ScopedSystemCall& operator=(const ScopedSystemCall&) = delete;
  bool replaced() const { return mReplaced; }

 private:
  const char* mName;
  SystemCall mPrevious;
  bool mReplaced;
};

// ---- Dynamic libraries -------------------------------------------------------------------

using LibraryHandle = void*;

// The file name under which the services library is requested on this system.
const char* ServicesLibraryFileName();  // "libzepservices.so"

// Loads a library, binding all its names at once and sharing none of them with other
// libraries; null on failure.
LibraryHandle OpenDynamicLibrary(const std::string& path);
// The address of a name the library exports; null when it does not export it.
void* LibrarySymbol(LibraryHandle library, const char* name);
// Unloads a library; true on success.
bool CloseDynamicLibrary(LibraryHandle library);

// Absolute path of the shared library (or executable) that contains this code; empty when
// it cannot be found.
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
  CommonAppData,  // CORVEL_COMMON_APPDATA, else "/var/lib"
  CommonFiles,    // CORVEL_COMMON_FILES, else "/usr/share" (also the 32-bit form)
  LocalAppData,   // CORVEL_LOCAL_APPDATA, else XDG_DATA_HOME, else "$HOME/.local/share"
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

// fopen on the UTF-8 path, close-on-exec; null on failure.
FILE* OpenFile(const std::string& path, const char* mode);
// What the path leads to, following symbolic links; false on failure.
bool GetPathInfo(const std::string& path, FileInfo* out);
// What stands at the path itself (a symbolic link is FileKind::Link); false on failure.
bool GetPathInfoNoFollow(const std::string& path, FileInfo* out);
// What an open descriptor or stream leads to; false on failure.
bool GetFileInfo(int fd, FileInfo* out);
bool GetStreamInfo(FILE* stream, FileInfo* out);
bool PathExists(const std::string& path);  // follows links
bool IsFolder(const std::string& path);    // follows links
bool IsRegularFileNoFollow(const std::string& path);
int MakeFolder(const std::string& path, Permissions mode);  // 0, or -1 (the umask applies)
int RemoveFile(const std::string& path);                    // 0, or -1; never a folder
int RemoveFolder(const std::string& path);                  // 0, or -1; only an empty folder
int ChangeMode(const std::string& path, Permissions mode);  // 0, or -1
int ChangeModeFd(int fd, Permissions mode);                 // 0, or -1

// Opens a file in a folder that other users may write: a symbolic link planted under the
// name is never followed (Error::Link). Returns the descriptor or -1.
int OpenNoFollow(const std::string& path, OpenFlags flags, Permissions mode = 0);
// Creates a fresh file: removes whatever but a folder stands at the path, then creates it
// with OpenSharedFolderFile (Create | Exclusive added to `flags`; `mode` set explicitly).
// Returns the descriptor or -1.
int CreateFreshFile(const std::string& path, OpenFlags flags, Permissions mode);
// Wraps a descriptor in a stdio stream (fdopen); closes the descriptor on failure.
FILE* StreamFromFd(int fd, const char* mode);

// Renames without replacing: fails with Error::Exists when anything stands at the target.
// 0, or -1.
int RenameNoReplace(const std::string& from, const std::string& to);
// Renames over the target, for targets known to be absent or owned by us; 0, or -1.
int RenamePath(const std::string& from, const std::string& to);

// Creates a file of a unique name from a template ending in "XXXXXX" (replaced in place),
// exclusively, readable and writable by the owner alone (0600). Returns the descriptor or -1.
int MakeTempFile(std::string& path_template);
// The same for a folder (0700); false on failure.
bool MakeTempFolder(std::string& path_template);

// Size of a regular file, or -1.
int64_t FileSize(const std::string& path);

// ---- Identity ----------------------------------------------------------------------------

// The name of the effective user; empty when it cannot be found.
std::string EffectiveUserName();
// The machine identifier: /etc/machine-id, else /var/lib/dbus/machine-id, trimmed; empty
// when neither can be read (the caller falls back to its own number).
std::string MachineIdentifier();
// The process identifier.
int ProcessId();

// ---- Time --------------------------------------------------------------------------------

// UTC calendar time to seconds since 1970, limited to 1970-01-01 00:00:00 .. 3000-12-31 23:59:59;
// -1 outside or on failure.
int64_t UtcCalendarToSeconds(const struct tm& utc);
// Seconds since 1970 to local calendar time; false on failure.
bool LocalCalendar(int64_t seconds, struct tm* out);
// Current time as seconds since 1970 and the millisecond part.
void CurrentTime(int64_t* seconds, int* milliseconds);

// ---- Locks -------------------------------------------------------------------------------

// An exclusive cross-process lock on an open descriptor, held for the
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
// An exclusive lock on an open descriptor taken without waiting; true when held. Closing the
// descriptor or the death of the process releases it.
bool TryLockFd(int fd);
// Writes all `size` bytes; 0 or -1.
int WriteAllFd(int fd, const void* data, size_t size);
// Flushes the file's content to disk; 0 or -1.
int SyncFd(int fd);
// Flushes a folder's entries (a rename in it) to disk; 0 or -1.
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

// Opens a file by name in such a folder without blocking and without following a link, so
// neither a FIFO nor a link can stall or redirect the open, and keeps the descriptor only
// when it leads to a regular file with exactly one link. Truncate is applied only after that
// check; with Create | Exclusive the new file gets `mode` explicitly. Returns the descriptor,
// or -1 (Error::Link for a symbolic link, Error::Denied for anything else that opens but is
// not a regular file with one link).
int OpenSharedFolderFile(const std::string& path, OpenFlags flags, Permissions mode = 0);

// The longest wait for a lock on a file in such a folder; after it the caller goes on without
// the lock (and does nothing that needs it, such as rotating a log).
inline constexpr int kSharedFileLockPatienceMs = 2000;

// Writes `bytes` with one write call, so that on a descriptor opened with OpenFlags::Append
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
// that open is a failure here too. The descriptor, or -1.
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
// with ENOTDIR. Returns 0, or the system's error number of the first failing step.
int MakeFolders(const std::string& path, Permissions mode);

// The services library's store file: ZEP_PCD_DB when set and not empty, else
// "<common application data>/Corvel/PCD/pcd.db"; empty when neither can be determined.
std::string StoreDatabasePath();

// ---- The preferences log's lock and the tag log's folder ----------------------------------

// A lock that orders the writers of one user's logon session (the preferences log's
// entries). On Windows it is the named semaphore "Local\\<session_name>" (count 1), which
// only the processes of that session can open. Elsewhere it is an exclusive lock on the file
// `file_name` in `folder`, a folder of the user's own (OpenPrivateLockFile), which the kernel
// releases when the process dies. usable() is false when neither could be opened.
class SessionLock {
 public:
  SessionLock(const std::string& folder, const std::string& file_name,
              const std::string& session_name);
  ~SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;
  bool usable() const { return mHandle != kNone; }
  // Takes the lock, waiting at most `patience_ms` (0: one try); true when held.
  bool Acquire(int patience_ms);
  void Release();

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t mHandle = kNone;  // the descriptor, or the semaphore's handle
  bool mHeld = false;
};

// The folder of the tag writer's log. On Windows the TEMP variable, or TMP when TEMP's value
// does not fit 260 bytes; an unset TEMP reads as empty (the log then lands at the root of the
// current drive); nullopt when neither fits. Elsewhere the temporary folder (TempFolder).
std::optional<std::string> TagLogFolder();

}  // namespace corvel::platform
