// A log file: one line per write, rotated once to "<path>.1" when a line would take it
// beyond its maximum size, the new file starting with the old one's first line. The file is
// opened (created when missing) when the logger is created, and only when it is a regular
// file with one link reached without a symbolic link: the log may live in a folder other
// users can write. Several processes may append to one file. Each line is one write on a
// descriptor opened for appending, so it lands whole at the end whatever the others do; the
// exclusive lock each write takes on the file only orders the lines and guards the rotation (with
// the check that the path still names the file held open, which another process may have rotated).
// A lock that is not had within a short wait is given up: the line is written without it, the file
// is not rotated, and later writes of the process to that file no longer wait for it.
#pragma once

#include <cstdint>
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
  FileLogger(std::string path, uint32_t max_size, bool obscured);
  bool Open();
  bool IsCurrentFile() const;
  bool NeedsRotation(size_t line_size) const;
  // Moves the file aside and starts a new one with the old first line; invalid on failure.
  platform::UniqueFd Rotate();
  void RememberIdentity();

  std::mutex mMutex;
  const std::string mPath;
  const uint32_t mMaxSize;  // 0: no limit
  const bool mObscured;
  platform::UniqueFd mFd;
  platform::FileId mFileId;
};

}  // namespace corvel::zepsvc
