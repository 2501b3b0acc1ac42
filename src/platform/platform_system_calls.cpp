// The replaceable system calls by name, for both systems: each system's file keeps the table and
// gives its entries by position (platform_internal.h).
#include <cstring>

#include "platform/platform.h"
#include "platform/platform_internal.h"

namespace corvel::platform {

namespace {

// The position of the call named `name`; SystemCallCount() when there is none.
size_t FindSystemCall(const char* name) {
  if (!name) return SystemCallCount();
  size_t index = 0;
  while (index < SystemCallCount() && std::strcmp(SystemCallName(index), name) != 0) ++index;
  return index;
}

}  // namespace

bool SetSystemCall(const char* name, SystemCall replacement) {
  const size_t index = FindSystemCall(name);
  if (index == SystemCallCount()) return false;
  SetCurrentSystemCall(index, replacement ? replacement : RealSystemCall(index));
  return true;
}

SystemCall GetSystemCall(const char* name) {
  const size_t index = FindSystemCall(name);
  return index < SystemCallCount() ? CurrentSystemCall(index) : nullptr;
}

const char* NextSystemCall(const char* name) {
  if (!name) return SystemCallName(0);
  const size_t next = FindSystemCall(name) + 1;
  return next < SystemCallCount() ? SystemCallName(next) : nullptr;
}

void RestoreSystemCalls() {
  for (size_t index = 0; index < SystemCallCount(); ++index) {
    SetCurrentSystemCall(index, RealSystemCall(index));
  }
}

ScopedSystemCall::ScopedSystemCall(const char* name, SystemCall replacement)
    : mName(name), mPrevious(GetSystemCall(name)), mReplaced(SetSystemCall(name, replacement)) {}

ScopedSystemCall::~ScopedSystemCall() {
  if (mReplaced) SetSystemCall(mName, mPrevious);
}

}  // namespace corvel::platform
