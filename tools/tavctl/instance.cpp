#include "instance.h"

namespace tavctl {

LibraryInstance::LibraryInstance() : mHandle(Corvel_TAVLib_CreateRef()) {
  if (!mHandle) throw InstanceUnavailable{};
}

LibraryInstance::~LibraryInstance() { Release(false); }

void LibraryInstance::Release(bool commit) {
  if (mReleased) return;
  mReleased = true;
  Corvel_TAVLib_ReleaseRef(mHandle, commit ? 1 : 0);
}

}  // namespace tavctl
