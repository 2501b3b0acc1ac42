// Children of a test: a fresh process of the test binary itself (started anew, not forked), that
// runs one named body and exits with its result. The child inherits the environment, so a
// ScratchFolder of the parent is the child's too; nothing else of the parent's state (open
// stores, loaded libraries, the library's process-wide logging) reaches it.
//
//   CORVEL_TEST_CHILD(WriteOneValue) {          // args: what RunChild was given after the name
//     return Corvel_TAVLib_... == 0 ? 0 : 1;
//   }
//   EXPECT_EQ(0, RunChild("WriteOneValue", {"key", "value"}));
//
// Test binaries that start children link corvel_test_main instead of GTest::gtest_main.
#pragma once

#include <string>
#include <vector>

namespace corvel::test {

using ChildArgs = std::vector<std::string>;
using ChildBody = int (*)(const ChildArgs& args);

// Registers `body` under `name`; used by CORVEL_TEST_CHILD at static initialisation.
bool RegisterChild(const char* name, ChildBody body);

#define CORVEL_TEST_CHILD(name)                           \
  static int name(const ::corvel::test::ChildArgs& args); \
  [[maybe_unused]] static const bool name##Registered =   \
      ::corvel::test::RegisterChild(#name, &name);        \
  static int name([[maybe_unused]] const ::corvel::test::ChildArgs& args)

enum class ChildUser { kSame, kUnprivileged };

// Starts the test binary anew to run the body registered as `name` with `args`. As
// ChildUser::kUnprivileged, a child started by root first drops its supplementary groups and
// becomes uid/gid kUnprivilegedId, so permission checks apply to it. Returns the child's
// process id, or -1 when it cannot be started.
int StartChild(const std::string& name, const ChildArgs& args = {},
               ChildUser user = ChildUser::kSame);
// The exit status of a started child: the body's result modulo 256; 255 when the privilege
// drop failed, the body threw or no body has that name; -1 when the child died by a signal or
// could not be started or waited for.
int WaitForChild(int child);
// StartChild, then WaitForChild.
int RunChild(const std::string& name, const ChildArgs& args = {},
             ChildUser user = ChildUser::kSame);

// The test binary's main: runs the named child body when started as a child, else the tests.
int TestMain(int argc, char** argv);

}  // namespace corvel::test
