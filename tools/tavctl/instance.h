// One library instance for the life of a command: created with Corvel_TAVLib_CreateRef and
// given back exactly once with Corvel_TAVLib_ReleaseRef, with the commit flag the command
// chose (1 writes the instance's records to the store, 0 discards them).
#pragma once

#include <cstdint>

#include "corvel_tavlib.h"

namespace tavctl {

class LibraryInstance {
 public:
  // Throws InstanceUnavailable when the library cannot create an instance.
  LibraryInstance();
  ~LibraryInstance();
  LibraryInstance(const LibraryInstance&) = delete;
  LibraryInstance& operator=(const LibraryInstance&) = delete;

  TAVLibHandle handle() const { return mHandle; }

  // Gives the handle back now: commit writes the gathered records. Later calls do nothing.
  void Release(bool commit);

 private:
  TAVLibHandle mHandle;
  bool mReleased = false;
};

struct InstanceUnavailable {};

}  // namespace tavctl
