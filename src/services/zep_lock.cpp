#include "services/zep_lock.h"

namespace corvel::services {

ZEPLock::ZEPLock() : mSection(std::make_unique<std::recursive_mutex>()) {}

ZEPLock::~ZEPLock() {
  if (mHeld) {
    mHeld = false;
    mSection->unlock();
  }
}

void ZEPLock::Lock() {
  mSection->lock();
  mHeld = true;
}

void ZEPLock::Unlock() {
  mHeld = false;
  mSection->unlock();
}

}  // namespace corvel::services
