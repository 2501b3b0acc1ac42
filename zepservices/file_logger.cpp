#include "file_logger.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "log_line.h"

namespace corvel::zepsvc {

namespace {

constexpr mode_t kLogFileMode = 0644;
// The longest first line carried over at rotation.
constexpr size_t kFirstLineLimit = 4096;

// The first line of the log, read by name at rotation. The log lives in a folder other
// users can write, so the name is opened without following a link (or blocking on a FIFO):
// a link swapped in under the name would otherwise have the first line of whatever it points
// at copied into the new, world-readable log.
std::string ReadFirstLine(const std::string& path) {
  std::unique_ptr<FILE, platform::FileCloser> in(
      platform::StreamFromFd(platform::OpenNoFollow(path, O_RDONLY | O_NONBLOCK, 0), "rb"));
  if (!in) return {};
  std::string line;
  int c;
  while (line.size() < kFirstLineLimit && (c = fgetc(in.get())) != EOF && c != '\n' && c != '\r') {
    line += static_cast<char>(c);
  }
  return line;
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
  int fd = platform::OpenNoFollow(mPath, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, kLogFileMode);
  if (fd >= 0) {
    platform::ChangeModeFd(fd, kLogFileMode);
  } else if (errno == EEXIST) {
    fd = platform::OpenNoFollow(mPath, O_WRONLY | O_APPEND, 0);
  }
  if (fd < 0) return false;
  mStream.reset(platform::StreamFromFd(fd, "a"));
  if (!mStream) return false;
  RememberIdentity();
  return true;
}

void FileLogger::RememberIdentity() {
  struct stat info {};
  if (platform::LstatPath(mPath, &info) == 0) {
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
  int64_t size = platform::FileSize(mPath);
  if (size <= 0) return false;
  return static_cast<uint64_t>(size) + line_size > mMaxSize;
}

FileLogger::Stream FileLogger::Rotate() {
  std::string first_line = ReadFirstLine(mPath);
  if (platform::RenamePath(mPath, mPath + ".1") != 0) return nullptr;
  int fd = platform::CreateFreshFile(mPath, O_WRONLY | O_APPEND, kLogFileMode);
  if (fd < 0) return nullptr;
  Stream fresh(platform::StreamFromFd(fd, "a"));
  if (!fresh) return nullptr;
  if (!first_line.empty()) {
    first_line += '\n';
    fwrite(first_line.data(), 1, first_line.size(), fresh.get());
    fflush(fresh.get());
  }
  return fresh;
}

void FileLogger::Write(int level, const char* component, const std::string& message) {
  std::string line = FormatLogLine(level, component, message, mObscured);
  std::lock_guard<std::mutex> guard(mMutex);
  // Another process may rotate the file between our checks; follow it a few times at most.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!mStream && !Open()) return;
    Stream retired;  // closed only after the lock on its descriptor is given back
    {
      platform::FileLock lock(fileno(mStream.get()));
      if (!IsCurrentFile()) {
        retired = std::move(mStream);
        continue;
      }
      if (NeedsRotation(line.size())) {
        Stream fresh = Rotate();
        if (fresh) {
          retired = std::move(mStream);
          mStream = std::move(fresh);
          RememberIdentity();
        }
      }
      fwrite(line.data(), 1, line.size(), mStream.get());
      fflush(mStream.get());
    }
    return;
  }
}

}  // namespace corvel::zepsvc
