// The handles of the services library. Every object handed out is a ServiceObject: a
// reference-counted object entered in a process-wide registry while it lives. An entry point
// looks a handle up in the registry before touching it, so a null handle, a handle of the
// wrong kind or one already released is refused instead of being dereferenced.
#pragma once

#include "services/zep_ref_object.h"
#include "zepservices.h"

namespace corvel::zepsvc {

class ServiceObject : public services::ZEPRefObject {
 public:
  ServiceObject();
  ~ServiceObject() override;
  // Releases under the registry's lock, so a lookup never meets a dying object.
  void Release() override;

  ZEPHandle handle() { return static_cast<ServiceObject*>(this); }
};

// A counted reference to a service object: holds one reference, gives it back when it goes.
template <typename T>
class Ref {
 public:
  Ref() = default;
  // Takes over one reference the caller already holds.
  static Ref Adopt(T* object) {
    Ref ref;
    ref.mObject = object;
    return ref;
  }
  Ref(const Ref& other) : mObject(other.mObject) {
    if (mObject) mObject->AddRef();
  }
  Ref(Ref&& other) noexcept : mObject(other.mObject) { other.mObject = nullptr; }
  Ref& operator=(Ref other) noexcept {
    T* previous = mObject;
    mObject = other.mObject;
    other.mObject = previous;
    return *this;
  }
  ~Ref() {
    if (mObject) mObject->Release();
  }
  T* get() const { return mObject; }
  T* operator->() const { return mObject; }
  explicit operator bool() const { return mObject != nullptr; }

 private:
  T* mObject = nullptr;
};

namespace detail {
// The live object behind a handle with one more reference taken, or null.
ServiceObject* PinHandle(ZEPHandle handle);
}  // namespace detail

// The object behind `handle` when it is a live object of kind T, with a reference held.
template <typename T>
Ref<T> Pin(ZEPHandle handle) {
  ServiceObject* object = detail::PinHandle(handle);
  if (!object) return {};
  T* typed = dynamic_cast<T*>(object);
  if (!typed) {
    object->Release();
    return {};
  }
  return Ref<T>::Adopt(typed);
}

// Gives one reference of a live handle back; false when the handle is not live.
bool ReleaseHandle(ZEPHandle handle);

}  // namespace corvel::zepsvc
