// Shared by the files of the platform layer only: what each system's file provides to the
// portable part (platform_folders.cpp, platform_system_calls.cpp).
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace corvel::platform {

// Length of the root at the start of `path` that no folder walk creates: 0 where the walk may
// begin at once (a leading "/" is skipped by the walk itself), 2 for "C:", the end of
// "//server/share" for a network share; npos when the whole path is such a root.
size_t FolderRootLength(const std::string& path);

// The table of replaceable system calls, by position: how many, each one's name, its real
// function and the one calls go through now.
size_t SystemCallCount();
const char* SystemCallName(size_t index);
SystemCall RealSystemCall(size_t index);
SystemCall CurrentSystemCall(size_t index);
void SetCurrentSystemCall(size_t index, SystemCall call);

}  // namespace corvel::platform
