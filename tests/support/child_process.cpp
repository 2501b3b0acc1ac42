#include "child_process.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "test_support.h"

namespace corvel::test {

namespace {

constexpr const char* kChildFlag = "--corvel-test-child=";
constexpr const char* kUnprivilegedFlag = "--corvel-test-unprivileged";

std::map<std::string, ChildBody>& Registry() {
  static std::map<std::string, ChildBody> children;
  return children;
}

bool DropPrivileges() {
  if (!RunningAsRoot()) return true;
  return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedId) == 0 && setuid(kUnprivilegedId) == 0;
}

// argv: <binary> --corvel-test-child=<name> [--corvel-test-unprivileged] <args>...
int RunRegisteredChild(int argc, char** argv) {
  const std::string name = argv[1] + std::strlen(kChildFlag);
  int first_arg = 2;
  if (argc > 2 && std::strcmp(argv[2], kUnprivilegedFlag) == 0) {
    if (!DropPrivileges()) return 255;
    first_arg = 3;
  }
  const auto found = Registry().find(name);
  if (found == Registry().end()) {
    std::fprintf(stderr, "no test child named %s\n", name.c_str());
    return 255;
  }
  int status = 255;
  try {
    status = found->second(ChildArgs(argv + first_arg, argv + argc));
  } catch (...) {
    status = 255;
  }
  std::fflush(nullptr);
  return status & 0xff;
}

// The test binary's own path. Read from the link rather than executed through it: under
// valgrind, /proc/self/exe is valgrind's tool, and only reading the link gives the binary.
std::string TestBinary() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<size_t>(length));
}

}  // namespace

bool RegisterChild(const char* name, ChildBody body) {
  return Registry().emplace(name, body).second;
}

int StartChild(const std::string& name, const ChildArgs& args, ChildUser user) {
  const std::string binary = TestBinary();
  if (binary.empty()) return -1;
  std::vector<std::string> words{binary, kChildFlag + name};
  if (user == ChildUser::kUnprivileged) words.emplace_back(kUnprivilegedFlag);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::fflush(nullptr);  // no buffered output duplicated into the child
  const pid_t child = fork();
  if (child == 0) {
    execv(binary.c_str(), argv.data());
    _exit(255);
  }
  return child;
}

int WaitForChild(int child) {
  if (child < 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

int RunChild(const std::string& name, const ChildArgs& args, ChildUser user) {
  return WaitForChild(StartChild(name, args, user));
}

int TestMain(int argc, char** argv) {
  if (argc > 1 && std::strncmp(argv[1], kChildFlag, std::strlen(kChildFlag)) == 0) {
    return RunRegisteredChild(argc, argv);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace corvel::test
