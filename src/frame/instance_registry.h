// The process-wide instance registry: the list of instances in creation order, the count of
// live instances and the identifier counter. Objects are destroyed only when the last live
// instance is released, and then all of them, in creation order. No lock: instances are
// created, used and released by one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "corvel_tavlib.h"

namespace corvel::frame {

class TAVLibImpl;

class InstanceRegistry {
 public:
  // The registry of this process.
  static InstanceRegistry& Process();

  // Makes room for one more entry, so that Append cannot fail. False when memory is short.
  bool ReserveEntry() noexcept;
  // Counts a constructed instance: one more live instance, the next identifier (returned).
  uint32_t CountConstruction() noexcept;
  // Appends a constructed instance to the list; ReserveEntry must have succeeded before.
  void Append(TAVLibImpl* instance) noexcept;

  // The instance a handle names while it is live (listed and not yet released), else null.
  TAVLibImpl* LiveInstance(TAVLibHandle handle) const noexcept;

  // Counts the release of a live instance. When it was the last live one, destroys every
  // listed object in creation order and empties the list.
  void Release(TAVLibImpl* instance) noexcept;

  uint32_t live_count() const { return mLiveCount; }
  uint32_t last_identifier() const { return mIdentifierCounter; }

 private:
  struct Entry {
    TAVLibImpl* instance;
    bool released;
  };
  Entry* Find(const TAVLibImpl* instance) noexcept;

  std::vector<Entry> mEntries;
  uint32_t mLiveCount = 0;
  uint32_t mIdentifierCounter = 0;
};

}  // namespace corvel::frame
