#include "file_logger.h"

#include <memory>
#include <new>
#include <set>
#include <utility>

#include "log_line.h"

namespace corvel::zepsvc {

namespace {

using platform::OpenFlags;

constexpr platform::Permissions kLogFileMode = 0644;
constexpr OpenFlags kAppend = OpenFlags::Write | OpenFlags::Append;
constexpr OpenFlags kCreateToAppend = kAppend | OpenFlags::Create | OpenFlags::Exclusive;
// The longest first line carried over at rotation.
constexpr size_t kFirstLineLimit = 4096;

// The first line of the log, read by name at rotation: a link or a second name swapped in
// under the name must not have the first line of another file copied into the new log.
std::string ReadFirstLine(const std::string& path) {
  std::unique_ptr<FILE, platform::FileCloser> in(
      platform::StreamFromFd(platform::OpenSharedFolderFile(path, OpenFlags::Read), "rb"));
  if (!in) return {};
  std::string line;
  int c;
  while (line.size() < kFirstLineLimit && (c = fgetc(in.get())) != EOF && c != '\n' && c != '\r') {
    line += static_cast<char>(c);
  }
  return line;
}

// The files whose lock this process once gave up waiting for: every later write to them, by
// any logger, tries the lock only once, so a lock another user keeps delays a process once.
std::mutex gGivenUpMutex;
std::set<platform::FileId> gGivenUp;

int LockPatienceFor(const platform::FileId& file) {
  std::lock_guard<std::mutex> guard(gGivenUpMutex);
  return gGivenUp.count(file) ? 0 : platform::kSharedFileLockPatienceMs;
}

void GiveUpLockOf(const platform::FileId& file) {
  std::lock_guard<std::mutex> guard(gGivenUpMutex);
  gGivenUp.insert(file);
}

}  // namespace

FileLogger* FileLogger::Create(const std::string& path, uint32_t max_size, bool obscured) {
  FileLogger* logger = new (std::nothrow) FileLogger(path, max_size, obscured);
  if (!logger) return nullptr;
  if (!logger->Open()) {
    logger->Release();
    return nullptr;
  }
  return logger;
}

FileLogger::FileLogger(std::string path, uint32_t max_size, bool obscured)
    : mPath(std::move(path)), mMaxSize(max_size), mObscured(obscured) {}

bool FileLogger::Open() {
  int fd = platform::OpenSharedFolderFile(mPath, kCreateToAppend, kLogFileMode);
  if (fd < 0 && platform::LastError() == platform::Error::Exists) {
    fd = platform::OpenSharedFolderFile(mPath, kAppend);
  }
  mFd = platform::UniqueFd(fd);
  if (!mFd.valid()) return false;
  RememberIdentity();
  return true;
}

void FileLogger::RememberIdentity() {
  platform::FileInfo info;
  if (platform::GetFileInfo(mFd.get(), &info)) mFileId = info.id;
}

bool FileLogger::IsCurrentFile() const {
  platform::FileInfo info;
  return platform::GetPathInfoNoFollow(mPath, &info) && info.kind == platform::FileKind::Regular &&
         info.id == mFileId;
}

bool FileLogger::NeedsRotation(size_t line_size) const {
  if (mMaxSize == 0) return false;
  platform::FileInfo info;
  if (!platform::GetFileInfo(mFd.get(), &info) || info.size == 0) return false;
  return info.size + line_size > mMaxSize;
}

platform::UniqueFd FileLogger::Rotate() {
  std::string first_line = ReadFirstLine(mPath);
  if (platform::RenamePath(mPath, mPath + ".1") != 0) return {};
  platform::UniqueFd fresh(platform::OpenSharedFolderFile(mPath, kCreateToAppend, kLogFileMode));
  if (fresh.valid() && !first_line.empty()) platform::AppendWhole(fresh.get(), first_line + '\n');
  return fresh;
}

void FileLogger::Write(int level, const char* component, const std::string& message) {
  std::string line = FormatLogLine(level, component, message, mObscured);
  std::lock_guard<std::mutex> guard(mMutex);
  // Another process may rotate the file between our checks; follow it a few times at most.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!mFd.valid() && !Open()) return;
    platform::UniqueFd retired;  // closed only after the lock on it is given back
    platform::FileLock lock(mFd.get(), LockPatienceFor(mFileId));
    if (!lock.held()) GiveUpLockOf(mFileId);
    if (!IsCurrentFile()) {
      retired = std::move(mFd);
      continue;
    }
    if (lock.held() && NeedsRotation(line.size())) {
      platform::UniqueFd fresh = Rotate();
      if (fresh.valid()) {
        retired = std::move(mFd);
        mFd = std::move(fresh);
        RememberIdentity();
      }
    }
    platform::AppendWhole(mFd.get(), line);
    return;
  }
}

}  // namespace corvel::zepsvc
