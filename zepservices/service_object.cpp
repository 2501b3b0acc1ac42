#include "service_object.h"

#include <mutex>
#include <unordered_set>

namespace corvel::zepsvc {

namespace {

// The registry of live objects. Its lock is taken before any object's own lock, never after.
struct Registry {
  std::recursive_mutex mutex;
  std::unordered_set<const void*> live;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

ServiceObject::ServiceObject() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.live.insert(static_cast<const void*>(this));
}

ServiceObject::~ServiceObject() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.live.erase(static_cast<const void*>(this));
}

void ServiceObject::Release() {
  std::lock_guard<std::recursive_mutex> lock(TheRegistry().mutex);
  ZEPRefObject::Release();
}

namespace detail {

ServiceObject* PinHandle(ZEPHandle handle) {
  if (!handle) return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (registry.live.count(handle) == 0) return nullptr;
  ServiceObject* object = static_cast<ServiceObject*>(handle);
  object->AddRef();
  return object;
}

}  // namespace detail

bool ReleaseHandle(ZEPHandle handle) {
  if (!handle) return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (registry.live.count(handle) == 0) return false;
  static_cast<ServiceObject*>(handle)->Release();
  return true;
}

}  // namespace corvel::zepsvc
