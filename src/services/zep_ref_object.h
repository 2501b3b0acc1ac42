// The base of every reference-counted service object. A new object has a count of 1; AddRef
// adds one, Release takes one away and the release that takes the last one destroys the
// object (while its lock is still held; the lock's destructor leaves it).
#pragma once

#include <cstdint>

#include "services/zep_lock.h"

namespace corvel::services {

class ZEPRefObject {
 public:
  ZEPRefObject();

  virtual ZEPRefObject* AddRef();
  virtual void Release();
  // What kind of service object this is, for diagnostics ("file logger", "store", ...).
  virtual const char* ServiceKind() const = 0;
  virtual ~ZEPRefObject();

  ZEPRefObject(const ZEPRefObject&) = delete;
  ZEPRefObject& operator=(const ZEPRefObject&) = delete;

  // The current count, read under the lock.
  uint32_t RefCount();

 private:
  uint32_t mRefCount = 0;
  ZEPLock mLock;
};

}  // namespace corvel::services
