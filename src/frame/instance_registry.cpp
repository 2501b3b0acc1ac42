#include "frame/instance_registry.h"

#include <utility>

#include "frame/tavlib_impl.h"

namespace corvel::frame {

InstanceRegistry& InstanceRegistry::Process() {
  // Never destroyed: a caller may still release instances while the process exits.
  static InstanceRegistry* registry = new InstanceRegistry();
  return *registry;
}

bool InstanceRegistry::ReserveEntry() noexcept {
  try {
    mEntries.reserve(mEntries.size() + 1);
    return true;
  } catch (...) {
    return false;
  }
}

uint32_t InstanceRegistry::CountConstruction() noexcept {
  ++mLiveCount;
  return ++mIdentifierCounter;
}

void InstanceRegistry::Append(TAVLibImpl* instance) noexcept {
  mEntries.push_back(Entry{instance, false});
}

InstanceRegistry::Entry* InstanceRegistry::Find(const TAVLibImpl* instance) noexcept {
  for (Entry& entry : mEntries) {
    if (entry.instance == instance) return &entry;
  }
  return nullptr;
}

TAVLibImpl* InstanceRegistry::LiveInstance(TAVLibHandle handle) const noexcept {
  const TAVLibImpl* wanted = FromHandle(handle);
  if (wanted == nullptr) return nullptr;
  for (const Entry& entry : mEntries) {
    if (entry.instance == wanted) return entry.released ? nullptr : entry.instance;
  }
  return nullptr;
}

void InstanceRegistry::Release(TAVLibImpl* instance) noexcept {
  Entry* entry = Find(instance);
  if (entry == nullptr || entry->released) return;
  entry->released = true;
  const uint32_t before = mLiveCount--;
  if (before != 1) return;
  // The list is taken out first, so the destructors see an empty registry.
  std::vector<Entry> listed = std::move(mEntries);
  mEntries = {};
  for (Entry& each : listed) delete each.instance;
}

}  // namespace corvel::frame
