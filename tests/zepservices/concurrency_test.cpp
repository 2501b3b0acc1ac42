// Several processes writing one store at once: each waits for the others, none fails, no
// write is lost. Heavy: many processes and a few thousand commits.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "zep_test_util.h"

namespace corvel::zeptest {
namespace {

constexpr int kProcesses = 5;
constexpr int kBlocks = 18;
constexpr int kKeysPerBlock = 10;
constexpr int kKeysPerProcess = kBlocks * kKeysPerBlock;

ZEPStatus SetKey(ZEPHandle store, const std::string& subdomain, int i) {
  std::string key = "K" + std::to_string(i);
  std::string value = subdomain + ":" + std::to_string(i);
  return C_ZEPPCDServiceSetValueForKeyInSubDomain(store, value.c_str(), key.c_str(),
                                                  subdomain.c_str(), true);
}

// Writes the process's keys in blocks of ten: every third block key by key, each write on
// its own handle and committing alone; the others as one transaction per block, which also
// reads and rewrites a counter shared by all processes (a lost update would show there).
// Exit status 0 when every call succeeded.
int WriteKeys(int process) {
  std::string subdomain = "P" + std::to_string(process);
  for (int block = 0; block < kBlocks; ++block) {
    int first = block * kKeysPerBlock;
    if (block % 3 == 0) {
      for (int i = first; i < first + kKeysPerBlock; ++i) {
        Handle store(C_ZEPPCDServiceCreate());
        if (!store) return 1;
        if (SetKey(store.get(), subdomain, i) != 0) return 2;
      }
      continue;
    }
    Handle store(C_ZEPPCDServiceCreate());
    if (!store) return 1;
    if (C_ZEPPCDServiceBeginTransaction(store.get()) != 0) return 3;
    for (int i = first; i < first + kKeysPerBlock; ++i) {
      if (SetKey(store.get(), subdomain, i) != 0) return 4;
      char count[32];
      ZEPStatus read = C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), count, sizeof count,
                                                             "Count", "Shared", true);
      long next = (read == 0 ? std::stol(count) : 0) + 1;
      if (C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), std::to_string(next).c_str(),
                                                   "Count", "Shared", true) != 0) {
        return 5;
      }
    }
    if (C_ZEPPCDServiceEndTransaction(store.get()) != 0) return 6;
  }
  return 0;
}

TEST(StoreConcurrency, ProcessesWritingAtOnceLoseNothing) {
  test::ScratchFolder scratch;
  {
    Handle store(C_ZEPPCDServiceCreate());  // the schema exists before the race starts
    ASSERT_TRUE(store);
  }
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(WriteKeys(p));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a writer saw a failure status";
  }
  Handle store(C_ZEPPCDServiceCreate());
  for (int p = 0; p < kProcesses; ++p) {
    std::string subdomain = "P" + std::to_string(p);
    EXPECT_EQ(Rows(store.get(), subdomain.c_str()).size(), static_cast<size_t>(kKeysPerProcess));
    for (int i = 0; i < kKeysPerProcess; i += 37) {
      EXPECT_EQ(Get(store.get(), ("K" + std::to_string(i)).c_str(), subdomain.c_str(), true),
                subdomain + ":" + std::to_string(i));
    }
  }
  // Every transactional write bumped the counter exactly once.
  int transactional_per_process = 0;
  for (int block = 0; block < kBlocks; ++block) {
    if (block % 3 != 0) transactional_per_process += kKeysPerBlock;
  }
  EXPECT_EQ(Get(store.get(), "Count", "Shared", true),
            std::to_string(transactional_per_process * kProcesses));
}

}  // namespace
}  // namespace corvel::zeptest
