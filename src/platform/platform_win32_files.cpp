// Windows implementation of the platform layer: files, folders, locks and rewrites.
//
// Every file is opened by CreateFileW, shared for reading, writing and deletion by others (as
// _wfsopen with _SH_DENYNO, plus deletion so that a rename or removal by another process is
// not refused), and never inherited by a started program. A name in a folder other users can
// write is opened with FILE_FLAG_OPEN_REPARSE_POINT, so a planted symbolic link or junction is
// the object opened (and refused), never followed; GetFileInformationByHandle then tells the
// kind and the number of links of what was opened.
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "platform/platform_internal.h"
#include "platform/platform_win32.h"

namespace corvel::platform {

using win32::DescriptorOf;
using win32::FromWide;
using win32::HandleOf;
using win32::ToWidePath;
namespace sys = win32::sys;

// Defined in platform_win32_security.cpp.
namespace win32 {
bool OwnedByCurrentUser(HANDLE handle);
}  // namespace win32

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle closed when the object goes.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : mHandle(handle) {}
  ~UniqueHandle() {
    if (valid()) sys::CloseHandle(mHandle);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  bool valid() const { return mHandle != INVALID_HANDLE_VALUE && mHandle != nullptr; }
  HANDLE get() const { return mHandle; }
  HANDLE release() { return std::exchange(mHandle, INVALID_HANDLE_VALUE); }

 private:
  HANDLE mHandle;
};

bool InfoFromHandle(HANDLE handle, FileInfo* out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!sys::GetFileInformationByHandle(handle, &info)) return false;
  const DWORD attributes = info.dwFileAttributes;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    out->kind = FileKind::Link;
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    out->kind = FileKind::Folder;
  } else {
    out->kind = GetFileType(handle) == FILE_TYPE_DISK ? FileKind::Regular : FileKind::Other;
  }
  out->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  out->links = info.nNumberOfLinks;
  out->ownedByMe = win32::OwnedByCurrentUser(handle);
  // Windows has no permission bits: a folder is open to all the access list grants, a file
  // is writable unless it carries the read-only attribute.
  out->permissions = out->kind == FileKind::Folder                 ? 0777
                     : (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444
                                                                   : 0666;
  out->id = {info.dwVolumeSerialNumber,
             (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  const uint64_t ticks = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                         info.ftLastWriteTime.dwLowDateTime;
  constexpr uint64_t kTicksTo1970 = 116444736000000000ULL;
  out->modifiedNs = (static_cast<int64_t>(ticks) - static_cast<int64_t>(kTicksTo1970)) * 100;
  return true;
}

// Opens the object at `path` only to read its attributes and access list.
HANDLE OpenForInfo(const std::string& path, bool follow) {
  std::wstring wide;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!ToWidePath(path, &wide)) return INVALID_HANDLE_VALUE;
  return sys::CreateFileW(
      wide.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

bool PathInfo(const std::string& path, bool follow, FileInfo* out) {
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  UniqueHandle handle(OpenForInfo(path, follow));
  return handle.valid() && InfoFromHandle(handle.get(), out);
}

DWORD AccessFor(OpenFlags flags) {
  DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  if (Has(flags, OpenFlags::Read)) access |= GENERIC_READ;
  if (Has(flags, OpenFlags::Write)) {
    // An appending handle has no right to write anywhere but at the end, so every write of
    // it lands at the end of the file whatever other writers do.
    access |= Has(flags, OpenFlags::Append) && !Has(flags, OpenFlags::Truncate)
                  ? FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES
                  : GENERIC_WRITE;
  }
  return access;
}

DWORD DispositionFor(OpenFlags flags) {
  if (!Has(flags, OpenFlags::Create)) return OPEN_EXISTING;
  return Has(flags, OpenFlags::Exclusive) ? CREATE_NEW : OPEN_ALWAYS;
}

// Opens `path` as the flags say (truncation left to the caller); a link is opened as itself
// unless `follow`.
HANDLE OpenHandle(const std::string& path, OpenFlags flags, bool follow) {
  std::wstring wide;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!ToWidePath(path, &wide)) return INVALID_HANDLE_VALUE;
  return sys::CreateFileW(wide.c_str(), AccessFor(flags), kShareAll, nullptr, DispositionFor(flags),
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS |
                              (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                          nullptr);
}

bool TruncateHandle(HANDLE handle) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) && sys::SetEndOfFile(handle);
}

// Opens without following a link and keeps the handle when what was opened passes `accept`.
template <typename Accept>
int OpenChecked(const std::string& path, OpenFlags flags, Permissions mode, Accept accept) {
  UniqueHandle handle(OpenHandle(path, flags, false));
  if (!handle.valid()) return -1;
  FileInfo info;
  DWORD error = ERROR_SUCCESS;
  if (!InfoFromHandle(handle.get(), &info)) {
    error = GetLastError();
  } else if (info.kind == FileKind::Link) {
    error = ERROR_CANT_ACCESS_FILE;
  } else if (!accept(info)) {
    error = info.kind == FileKind::Folder && !Has(flags, OpenFlags::Folder)
                ? win32::kErrorDirectoryNotSupported
                : ERROR_ACCESS_DENIED;
  } else if (Has(flags, OpenFlags::Truncate) && !TruncateHandle(handle.get())) {
    error = GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return -1;
  }
  const int fd =
      DescriptorOf(handle.release(), Has(flags, OpenFlags::Read), Has(flags, OpenFlags::Write));
  if (fd >= 0 && Has(flags, OpenFlags::Create | OpenFlags::Exclusive) && mode != 0) {
    ChangeModeFd(fd, mode);  // a world-writable mode is an access list open to everyone
  }
  return fd;
}

// LockFileEx locks are mandatory for the range they cover: the lock is taken on one byte far
// beyond any content, so holding it never stops a write.
OVERLAPPED LockRange() {
  OVERLAPPED range{};
  range.Offset = 0xFFFFFFFEu;
  range.OffsetHigh = 0x7FFFFFFFu;
  return range;
}

bool TryLockHandle(HANDLE handle) {
  OVERLAPPED range = LockRange();
  return sys::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &range) != 0;
}

void UnlockHandle(HANDLE handle) {
  OVERLAPPED range = LockRange();
  sys::UnlockFileEx(handle, 0, 1, 0, &range);
}

// Marks the open file for deletion: removes exactly the file that was checked, not whatever
// the name leads to by then.
bool DeleteOpenFile(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

std::wstring RandomSuffix() {
  static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::wstring suffix(6, L'a');
  for (wchar_t& c : suffix) c = kLetters[generator() % (std::size(kLetters) - 1)];
  return suffix;
}

bool HasTemplateTail(const std::string& path_template) {
  return path_template.size() >= 6 &&
         path_template.compare(path_template.size() - 6, 6, "XXXXXX") == 0;
}

}  // namespace

// ---- Files -------------------------------------------------------------------------------

FILE* OpenFile(const std::string& path, const char* mode) {
  std::wstring wide, wide_mode;
  if (path.empty() || !mode || !ToWidePath(path, &wide) || !win32::ToWide(mode, &wide_mode)) {
    return nullptr;
  }
  // "N": not inherited by a started program; _SH_DENYNO: no sharing restriction.
  wide_mode += L'N';
  return _wfsopen(wide.c_str(), wide_mode.c_str(), _SH_DENYNO);
}

bool GetPathInfo(const std::string& path, FileInfo* out) { return PathInfo(path, true, out); }

bool GetPathInfoNoFollow(const std::string& path, FileInfo* out) {
  return PathInfo(path, false, out);
}

bool GetFileInfo(int fd, FileInfo* out) {
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return InfoFromHandle(handle, out);
}

bool GetStreamInfo(FILE* stream, FileInfo* out) {
  if (!stream) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return GetFileInfo(_fileno(stream), out);
}

bool PathExists(const std::string& path) {
  std::wstring wide;
  return !path.empty() && ToWidePath(path, &wide) &&
         sys::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  FileInfo info;
  return GetPathInfo(path, &info) && info.kind == FileKind::Folder;
}

bool IsRegularFileNoFollow(const std::string& path) {
  FileInfo info;
  return GetPathInfoNoFollow(path, &info) && info.kind == FileKind::Regular;
}

int MakeFolder(const std::string& path, Permissions) {
  std::wstring wide;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(path, &wide)) return -1;
  // The new folder inherits its parent's access list, as a folder under a umask would.
  return sys::CreateDirectoryW(wide.c_str(), nullptr) ? 0 : -1;
}

int RemoveFile(const std::string& path) {
  std::wstring wide;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(path, &wide)) return -1;
  return sys::DeleteFileW(wide.c_str()) ? 0 : -1;
}

int RemoveFolder(const std::string& path) {
  std::wstring wide;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(path, &wide)) return -1;
  return sys::RemoveDirectoryW(wide.c_str()) ? 0 : -1;
}

int OpenNoFollow(const std::string& path, OpenFlags flags, Permissions mode) {
  return OpenChecked(path, flags, mode, [flags](const FileInfo& info) {
    return Has(flags, OpenFlags::Folder) ? info.kind == FileKind::Folder
                                         : info.kind != FileKind::Folder;
  });
}

int CreateFreshFile(const std::string& path, OpenFlags flags, Permissions mode) {
  FileInfo info;
  if (GetPathInfoNoFollow(path, &info) && info.kind != FileKind::Folder) RemoveFile(path);
  return OpenSharedFolderFile(path, flags | OpenFlags::Create | OpenFlags::Exclusive, mode);
}

FILE* StreamFromFd(int fd, const char* mode) {
  if (fd < 0 || !mode) return nullptr;
  FILE* stream = _fdopen(fd, mode);
  if (!stream) _close(fd);
  return stream;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  std::wstring wide_from, wide_to;
  if (from.empty() || to.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(from, &wide_from) || !ToWidePath(to, &wide_to)) return -1;
  // MoveFileW's rename: it fails when anything stands at the target.
  return sys::MoveFileExW(wide_from.c_str(), wide_to.c_str(), 0) ? 0 : -1;
}

int RenamePath(const std::string& from, const std::string& to) {
  std::wstring wide_from, wide_to;
  if (from.empty() || to.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(from, &wide_from) || !ToWidePath(to, &wide_to)) return -1;
  return sys::MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}

int MakeTempFile(std::string& path_template) {
  std::wstring wide;
  if (!HasTemplateTail(path_template)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(path_template, &wide)) return -1;
  // CREATE_NEW fails when anything stands at the name, so no other process can slip a file or
  // a link in between choosing the name and creating it.
  for (int attempt = 0; attempt < 100; ++attempt) {
    wide.replace(wide.size() - 6, 6, RandomSuffix());
    HANDLE handle = sys::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      path_template.replace(path_template.size() - 6, 6, FromWide(wide.substr(wide.size() - 6)));
      return DescriptorOf(handle, true, true);
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return -1;
  }
  return -1;
}

bool MakeTempFolder(std::string& path_template) {
  std::wstring wide;
  if (!HasTemplateTail(path_template)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!ToWidePath(path_template, &wide)) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    wide.replace(wide.size() - 6, 6, RandomSuffix());
    if (sys::CreateDirectoryW(wide.c_str(), nullptr)) {
      path_template.replace(path_template.size() - 6, 6, FromWide(wide.substr(wide.size() - 6)));
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

int64_t FileSize(const std::string& path) {
  FileInfo info;
  if (!GetPathInfo(path, &info) || info.kind != FileKind::Regular) return -1;
  return static_cast<int64_t>(info.size);
}

// ---- Locks -------------------------------------------------------------------------------

FileLock::FileLock(int fd, int patience_ms) : mFd(fd), mHeld(false) {
  HANDLE handle = HandleOf(mFd);
  if (handle == INVALID_HANDLE_VALUE) return;
  const ULONGLONG start = GetTickCount64();
  DWORD pause_ms = 1;
  while (true) {
    if (TryLockHandle(handle)) {
      mHeld = true;
      return;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return;
    const ULONGLONG waited_ms = GetTickCount64() - start;
    if (waited_ms >= static_cast<ULONGLONG>(patience_ms)) return;
    pause_ms = static_cast<DWORD>(std::min<ULONGLONG>(
        {pause_ms * 2ull, 50ull, static_cast<ULONGLONG>(patience_ms) - waited_ms}));
    Sleep(pause_ms);
  }
}

FileLock::~FileLock() {
  if (mHeld) UnlockHandle(HandleOf(mFd));
}

UniqueFd::~UniqueFd() {
  if (mFd >= 0) _close(mFd);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (mFd >= 0) _close(mFd);
    mFd = other.release();
  }
  return *this;
}

// ---- Replacing a file through a new file beside it (the preferences file) -----------------

std::vector<std::string> FolderEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  std::wstring wide;
  if (folder.empty() || !ToWidePath(folder + "/*", &wide)) return names;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(wide.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(FromWide(name));
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return names;
}

bool TryLockFd(int fd) {
  HANDLE handle = HandleOf(fd);
  return handle != INVALID_HANDLE_VALUE && TryLockHandle(handle);
}

int WriteAllFd(int fd, const void* data, size_t size) {
  return AppendWhole(fd, std::string(static_cast<const char*>(data), size)) ? 0 : -1;
}

int SyncFd(int fd) {
  HANDLE handle = HandleOf(fd);
  return handle != INVALID_HANDLE_VALUE && sys::FlushFileBuffers(handle) ? 0 : -1;
}

// NTFS journals its folder entries: a rename is on disk once it returns.
int SyncFolder(const std::string& folder) { return IsFolder(folder) ? 0 : -1; }

bool RemoveAbandonedFile(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !ToWidePath(path, &wide)) return false;
  UniqueHandle handle(sys::CreateFileW(wide.c_str(), GENERIC_READ | DELETE, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FileInfo info;
  if (!handle.valid() || !InfoFromHandle(handle.get(), &info) || info.kind != FileKind::Regular ||
      info.links != 1 || !info.ownedByMe || !TryLockHandle(handle.get())) {
    return false;
  }
  return DeleteOpenFile(handle.get());
}

// ---- Files in folders other users can write ----------------------------------------------

int OpenSharedFolderFile(const std::string& path, OpenFlags flags, Permissions mode) {
  return OpenChecked(path, flags, mode, [](const FileInfo& info) {
    return info.kind == FileKind::Regular && info.links == 1;
  });
}

bool AppendWhole(int fd, const std::string& bytes) {
  HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!sys::WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

int OpenPrivateLockFile(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty() || name.find('/') != std::string::npos) return -1;
  if (MakeFolder(folder, 0700) != 0 && GetLastError() != ERROR_ALREADY_EXISTS) return -1;
  FileInfo info;
  if (!GetPathInfoNoFollow(folder, &info) || info.kind != FileKind::Folder || !info.ownedByMe) {
    return -1;
  }
  return OpenChecked(folder + "/" + name, OpenFlags::Read | OpenFlags::Write | OpenFlags::Create,
                     0600, [](const FileInfo& file) {
                       return file.kind == FileKind::Regular && file.links == 1 && file.ownedByMe;
                     });
}

// ---- Rewriting a file through a fresh one (the configuration document's rewrite) ----------

namespace {

// ReplaceFileW keeps the replaced document's access list, owner and attributes, and fails
// while another process has the document open without sharing: that is retried for a while.
bool ReplaceWithRetry(const std::string& path, const std::string& fresh_path) {
  std::wstring wide, wide_fresh;
  if (!ToWidePath(path, &wide) || !ToWidePath(fresh_path, &wide_fresh)) return false;
  for (int attempt = 0; attempt < 40; ++attempt) {
    if (sys::ReplaceFileW(wide.c_str(), wide_fresh.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
        error != ERROR_UNABLE_TO_REMOVE_REPLACED && error != ERROR_ACCESS_DENIED) {
      return false;
    }
    Sleep(50);
  }
  return false;
}

// A fresh file that a killed rewrite left behind. A live rewrite keeps its own open without
// sharing deletion, so its file cannot be removed here.
void RemoveStrayFreshFile(const std::string& fresh_path) {
  FileInfo info;
  if (!GetPathInfoNoFollow(fresh_path, &info) || info.kind == FileKind::Folder) return;
  RemoveFile(fresh_path);
}

// True when the document is a regular file with one link that `path` names itself.
bool ReplaceableByRename(int fd, const std::string& path) {
  FileInfo opened, named;
  return GetFileInfo(fd, &opened) && opened.kind == FileKind::Regular && opened.links == 1 &&
         GetPathInfoNoFollow(path, &named) && named.kind == FileKind::Regular &&
         named.id == opened.id;
}

}  // namespace

int OpenForRewrite(const std::string& path) {
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return -1;
  }
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return -1;
  // As fopen "wb" opens (a folder is refused), without truncating.
  HANDLE handle = sys::CreateFileW(wide.c_str(), GENERIC_WRITE | READ_CONTROL, kShareAll, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return DescriptorOf(handle, false, true);
}

FileRewrite::FileRewrite(UniqueFd file, std::string path, std::string fresh_path)
    : mFile(std::move(file)), mPath(std::move(path)), mFreshPath(std::move(fresh_path)) {}

FileRewrite::~FileRewrite() { Discard(); }

void FileRewrite::Discard() {
  if (mStream == nullptr) return;
  fclose(mStream);
  mStream = nullptr;
  if (mFresh) RemoveFile(mFreshPath);
}

FILE* FileRewrite::BeginFresh() {
  RemoveStrayFreshFile(mFreshPath);
  if (!ReplaceableByRename(mFile.get(), mPath)) return nullptr;
  std::wstring wide;
  if (!ToWidePath(mFreshPath, &wide)) return nullptr;
  // Not shared for deletion: no other rewrite removes it while it is written.
  HANDLE handle = sys::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = DescriptorOf(handle, false, true);
  if (fd < 0) return nullptr;
  FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) {
    _close(fd);
    RemoveFile(mFreshPath);
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
  // In place: truncated as the open for writing would have truncated it.
  FileInfo info;
  if (!GetFileInfo(mFile.get(), &info)) return nullptr;
  if (info.kind == FileKind::Regular && !TruncateHandle(HandleOf(mFile.get()))) return nullptr;
  mStream = _fdopen(mFile.get(), "wb");
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
  // The fresh file's content reaches the disk before it replaces the document.
  done = done && SyncFd(_fileno(mStream)) == 0;
  const bool closed = fclose(mStream) == 0;
  mStream = nullptr;
  mFile = UniqueFd();  // the document's own handle would keep ReplaceFileW waiting
  done = done && closed && ReplaceWithRetry(mPath, mFreshPath);
  if (!done) RemoveFile(mFreshPath);
  return done;
}

// ---- Folder trees --------------------------------------------------------------------------

size_t FolderRootLength(const std::string& path) {
  // "C:/...", "//server/share/..." (nothing below the share: the whole path is the root).
  if (path.size() >= 2 && path[1] == ':') return 2;
  if (path.rfind("//", 0) != 0) return 0;
  const size_t server_end = path.find('/', 2);
  if (server_end == std::string::npos) return std::string::npos;
  return path.find('/', server_end + 1);
}

}  // namespace corvel::platform
