#include "child_process.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

bool DropPrivileges();

// The child's command line after the binary: the body's name, the user flag, the arguments.
std::vector<std::string> ChildWords(const std::string& name, const ChildArgs& args,
                                    ChildUser user) {
  std::vector<std::string> words{kChildFlag + name};
  if (user == ChildUser::kUnprivileged) words.emplace_back(kUnprivilegedFlag);
  words.insert(words.end(), args.begin(), args.end());
  return words;
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

}  // namespace

bool RegisterChild(const char* name, ChildBody body) {
  return Registry().emplace(name, body).second;
}

#ifndef _WIN32

namespace {

bool DropPrivileges() {
  if (!RunningAsRoot()) return true;
  return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedId) == 0 && setuid(kUnprivilegedId) == 0;
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

int StartChild(const std::string& name, const ChildArgs& args, ChildUser user) {
  const std::string binary = TestBinary();
  if (binary.empty()) return -1;
  std::vector<std::string> words = ChildWords(name, args, user);
  words.insert(words.begin(), binary);
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

#endif  // !_WIN32

#ifdef _WIN32

namespace {

// No other user to become on Windows: an unprivileged child is never started there.
bool DropPrivileges() { return false; }

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return wide;
}

// One word of a command line, quoted so that the C runtime's parser gives it back unchanged.
std::wstring Quoted(const std::wstring& word) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// The children started and not yet waited for, by process id.
std::map<int, HANDLE>& Started() {
  static std::map<int, HANDLE> children;
  return children;
}

}  // namespace

int StartChild(const std::string& name, const ChildArgs& args, ChildUser user) {
  if (user == ChildUser::kUnprivileged) return -1;
  wchar_t binary[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, binary, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return -1;
  std::wstring command = Quoted(binary);
  for (const std::string& word : ChildWords(name, args, user)) command += L" " + Quoted(Wide(word));
  std::fflush(nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(binary, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  Started()[static_cast<int>(process.dwProcessId)] = process.hProcess;
  return static_cast<int>(process.dwProcessId);
}

int WaitForChild(int child) {
  const auto found = Started().find(child);
  if (found == Started().end()) return -1;
  const HANDLE process = found->second;
  Started().erase(found);
  DWORD status = 0;
  const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process, &status);
  CloseHandle(process);
  return ended ? static_cast<int>(status & 0xff) : -1;
}

#endif  // _WIN32

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
