// A re-entrant lock: the same thread may take it again. The lock object is allocated when the
// ZEPLock is constructed and freed when it is destroyed; a ZEPLock destroyed while held is
// left once first, so an object may free itself while holding its own lock.
#pragma once

#include <memory>
#include <mutex>

namespace corvel::services {

class ZEPLock {
 public:
  ZEPLock();
  virtual ~ZEPLock();
  ZEPLock(const ZEPLock&) = delete;
  ZEPLock& operator=(const ZEPLock&) = delete;

  // Enters the lock, then marks it held.
  void Lock();
  // Clears the held mark, then leaves the lock.
  void Unlock();

  bool held() const { return mHeld; }

 private:
  std::unique_ptr<std::recursive_mutex> mSection;
  bool mHeld = false;
};

}  // namespace corvel::services
