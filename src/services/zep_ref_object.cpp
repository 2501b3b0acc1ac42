#include "services/zep_ref_object.h"

namespace corvel::services {

ZEPRefObject::ZEPRefObject() {
  mLock.Lock();
  ++mRefCount;
  mLock.Unlock();
}

ZEPRefObject::~ZEPRefObject() = default;

ZEPRefObject* ZEPRefObject::AddRef() {
  mLock.Lock();
  ++mRefCount;
  mLock.Unlock();
  return this;
}

void ZEPRefObject::Release() {
  mLock.Lock();
  if (mRefCount == 0) {  // released more often than referenced: never wrap around
    mLock.Unlock();
    return;
  }
  if (mRefCount-- != 1) {
    mLock.Unlock();
    return;
  }
  // The last reference: destroy while the lock is held. ~ZEPLock sees the held mark and
  // leaves the lock before freeing it.
  delete this;
}

uint32_t ZEPRefObject::RefCount() {
  mLock.Lock();
  uint32_t count = mRefCount;
  mLock.Unlock();
  return count;
}

}  // namespace corvel::services
