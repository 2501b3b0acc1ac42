#include "file_logger.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "log_line.h"

namespace corvel::zepsvc {

namespace {

constexpr mode_t kLogFileMode = 0644;
// The longest first line carried over at rotation.
constexpr size_t kFirstLineLimit = 4096;

// The first line of the log, read by name at rotation: a link or a second name swapped in
// under the name must not have the first line of another file copied into the new log.
std::string ReadFirstLine(const std::string& path) {
  std::unique_ptr<FILE, platform::FileCloser> in(
      platform::StreamFromFd(platform::OpenSharedFolderFile(path, O_RDONLY), "rb"));
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
std::set<std::pair<dev_t, ino_t>> gGivenUp;

int LockPatienceFor(dev_t device, ino_t inode) {
  std::lock_guard<std::mutex> guard(gGivenUpMutex);
  return gGivenUp.count({device, inode}) ? 0 : platform::kSharedFileLockPatienceMs;
}

void GiveUpLockOf(dev_t device, ino_t inode) {
  std::lock_guard<std::mutex> guard(gGivenUpMutex);
  gGivenUp.insert({device, inode});
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
  int fd = platform::OpenSharedFolderFile(mPath, O_WRONLY | O_APPEND | O_CREAT | O_EXCL,
                                          kLogFileMode);
  if (fd < 0 && errno == EEXIST) fd = platform::OpenSharedFolderFile(mPath, O_WRONLY | O_APPEND);
  mFd = platform::UniqueFd(fd);
  if (!mFd.valid()) return false;
  RememberIdentity();
  return true;
}

void FileLogger::RememberIdentity() {
  struct stat info {};
  if (fstat(mFd.get(), &info) == 0) {
    mDevice = info.st_dev;
    mInode = info.st_ino;
  }
}

bool FileLogger::IsCurrentFile() const {
  struct stat info {};
  return platform::LstatPath(mPath, &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_dev == mDevice && info.st_ino == mInode;
}

bool FileLogger::NeedsRotation(size_t line_size) const {
  if (mMaxSize == 0) return false;
  struct stat info {};
  if (fstat(mFd.get(), &info) != 0 || info.st_size <= 0) return false;
  return static_cast<uint64_t>(info.st_size) + line_size > mMaxSize;
}

platform::UniqueFd FileLogger::Rotate() {
  std::string first_line = ReadFirstLine(mPath);
  if (platform::RenamePath(mPath, mPath + ".1") != 0) return {};
  platform::UniqueFd fresh(platform::OpenSharedFolderFile(
      mPath, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, kLogFileMode));
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
    platform::FileLock lock(mFd.get(), LockPatienceFor(mDevice, mInode));
    if (!lock.held()) GiveUpLockOf(mDevice, mInode);
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
