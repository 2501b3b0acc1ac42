// A log file: one line per write, flushed at once, rotated once to "<path>.1" when a line
// would take it beyond its maximum size, the new file starting with the old one's first line.
// The file is opened (created when missing) when the logger is created and is never reached
// through a symbolic link. Several processes may append to one file: each write takes an
// exclusive lock on it and first checks that the path still names the file it holds open
// (another process may have rotated it).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "service_object.h"

namespace corvel::zepsvc {

class FileLogger : public ServiceObject {
 public:
  // Null when the file cannot be opened or created.
  static FileLogger* Create(const std::string& path, uint32_t max_size, bool obscured);
  const char* ServiceKind() const override { return "file logger"; }

  void Write(int level, const char* component, const std::string& message);

 private:
  using Stream = std::unique_ptr<FILE, platform::FileCloser>;

  FileLogger(std::string path, uint32_t max_size, bool obscured);
  bool Open();
  bool IsCurrentFile() const;
  bool NeedsRotation(size_t line_size) const;
  // Moves the file aside and starts a new one with the old first line; null on failure.
  Stream Rotate();
  void RememberIdentity();

  std::mutex mMutex;
  const std::string mPath;
  const uint32_t mMaxSize;  // 0: no limit
  const bool mObscured;
  Stream mStream;
  dev_t mDevice = 0;
  ino_t mInode = 0;
};

}  // namespace corvel::zepsvc
