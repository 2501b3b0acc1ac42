// Installers killed with SIGKILL at random points inside configuration processing and inside
// the commit of a release: once the next installer has opened the store, it holds either all
// or none of the killed transaction's rows, and its file is sound.
//
// Each run starts from the same store file. A first run that is not killed measures how long
// the operation takes here and yields the "all" state; the kills are then spread uniformly over
// a little more than that time, so some land before, many inside and some after the
// transaction. Which of them land where is reported, not asserted.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::hostile {
namespace {

using namespace ::corvel::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 30;

// Minimal installers, children of the test binary using the library through its C interface
// only: each writes 'R' on the pipe args.back() when it is about to enter the operation under
// test, so the parent can time a SIGKILL into it. Exit status 0 when every call succeeded.
void SayReady(const ChildArgs& args) {
  if (write(std::stoi(args.back()), "R", 1) != 1) _exit(3);
}

// Process_file of the document args[0] for the payload args[1], then a release with 0.
CORVEL_TEST_CHILD(InstallerProcess) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  SayReady(args);
  const uint32_t status =
      Corvel_TAVLib_Process_file(handle, args[0].c_str(), args[1].c_str(), nullptr, nullptr);
  Corvel_TAVLib_ReleaseRef(handle, 0);
  return status == kTAVLibSuccess ? 0 : 1;
}

// The installation records of the product args[0] with the account args[2], and a clean-up of
// the subdomain args[1], committed by a release with 1.
CORVEL_TEST_CHILD(InstallerCommit) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  const char* product = args[0].c_str();
  const bool recorded =
      Corvel_TAVLib_Set_Eula(handle, "de_DE", product) == kTAVLibSuccess &&
      Corvel_TAVLib_Set_InstallLocale(handle, "fr_FR", product) == kTAVLibSuccess &&
      Corvel_TAVLib_SetCorvelId(handle, product) == kTAVLibSuccess &&
      Corvel_TAVLib_SaveCorvelId(handle, args[2].c_str()) == kTAVLibSuccess &&
      Corvel_TAVLib_SetCorvelIdExtProfile(handle, product) == kTAVLibSuccess &&
      Corvel_TAVLib_CleanUpCachePCD(handle, args[1].c_str()) == kTAVLibSuccess;
  SayReady(args);
  Corvel_TAVLib_ReleaseRef(handle, 1);
  return recorded ? 0 : 1;
}

struct HelperRun {
  bool killed = false;
  int exit_code = -1;
  Clock::duration duration{};  // from "about to start" to the end of the process
};

// Runs the installer body `args[0]` with the rest of `args` and its pipe; with `kill_after`,
// sends SIGKILL that long after the installer said it is about to start the operation.
HelperRun RunHelper(const std::vector<std::string>& args,
                    std::optional<Clock::duration> kill_after = std::nullopt) {
  int pipe_fds[2];
  EXPECT_EQ(pipe(pipe_fds), 0);
  ChildArgs child_args(args.begin() + 1, args.end());
  child_args.push_back(std::to_string(pipe_fds[1]));
  const int child = StartChild(args[0], child_args);
  close(pipe_fds[1]);
  char said = 0;
  const bool ready = read(pipe_fds[0], &said, 1) == 1;
  const Clock::time_point start = Clock::now();
  if (ready && kill_after) {
    std::this_thread::sleep_for(*kill_after);
    kill(child, SIGKILL);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  close(pipe_fds[0]);
  EXPECT_TRUE(ready) << "the installer died before it started the operation";
  HelperRun run{WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, -1, Clock::now() - start};
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

// Masks what legitimately differs from run to run: install times and account time stamps.
StoreRows WithoutTimes(const StoreRows& rows) {
  static const std::regex time_stamp("=-?[0-9]+(\\{\\|\\}|$)");
  StoreRows masked;
  for (StoreRow row : rows) {
    if (row.key == "InstallDate") row.value = "<time>";
    if (row.subdomain == "CORVELIDWTTS")
      row.value = std::regex_replace(row.value, time_stamp, "=<time>$1");
    masked.insert(std::move(row));
  }
  return masked;
}

class CrashSafetyTest : public ::testing::Test {
 protected:
  StoreRows Rows() const { return WithoutTimes(ReadSnapshot(mScratch.pcd_db()).values); }

  // A document whose Payload hive holds `entries` Data elements "<prefix><i>" = `value`<i>.
  std::string WriteDocument(const std::string& name, int entries, const std::string& prefix,
                            const std::string& value, bool unprotected) {
    std::string document = "<Configuration>\n<Payload corvelCode=\"\">\n";
    for (int i = 0; i < entries; ++i) {
      document += "<Data key=\"" + prefix + std::to_string(i) +
                  (unprotected ? "\" protected=\"0" : "") + "\">" + value + std::to_string(i) +
                  "</Data>\n";
    }
    document += "</Payload>\n<Other corvelCode=\"SHARED\"><Data key=\"Version\">" + value +
                "</Data></Other>\n</Configuration>\n";
    EXPECT_TRUE(WriteWholeFile(mScratch.Path(name), document));
    return mScratch.Path(name);
  }

  // Runs the installer `args` once unkilled from the store as it is now (the "none" state),
  // which must change more than 5000 rows (the "all" state); then kills `kRuns` runs of it at
  // random points, each from the same store, and checks each store against both states.
  void KillRepeatedly(const std::vector<std::string>& args) {
    const std::string baseline = mScratch.Path("baseline.db");
    fs::copy_file(mScratch.pcd_db(), baseline);
    const StoreRows none = Rows();
    const HelperRun whole = RunHelper(args);
    ASSERT_EQ(whole.exit_code, 0);
    const StoreRows all = Rows();
    ASSERT_GT(std::abs(static_cast<long>(all.size()) - static_cast<long>(none.size())), 5000);
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay_us(
        0, std::chrono::duration_cast<std::chrono::microseconds>(whole.duration).count() * 5 / 4);
    int killed = 0, found_none = 0, found_all = 0;
    for (int run = 0; run < kRuns; ++run) {
      SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
      // A journal the last run left behind belongs to another file now.
      fs::remove(mScratch.pcd_db() + "-journal");
      fs::copy_file(baseline, mScratch.pcd_db(), fs::copy_options::overwrite_existing);
      const HelperRun result = RunHelper(args, std::chrono::microseconds(delay_us(random)));
      if (result.killed) ++killed;
      // The next installer opens the store, which rolls a killed transaction back.
      TAVLibHandle next = Corvel_TAVLib_CreateRef();
      const char* value = nullptr;
      EXPECT_EQ(
          Corvel_TAVLib_GetValueforKeyInSubDomain(next, &value, 512, "absent", "absent", 1, false),
          kTAVLibStoreFailed);
      Corvel_TAVLib_ReleaseRef(next, 0);
      ASSERT_EQ(IntegrityCheck(mScratch.pcd_db()), "ok");
      const StoreRows rows = Rows();
      if (rows == none) {
        ++found_none;
        EXPECT_TRUE(result.killed) << "an installer that was not killed wrote nothing";
      } else if (rows == all) {
        ++found_all;
      } else {
        ADD_FAILURE() << "neither all nor none of the transaction; against none:\n"
                      << Difference(none, rows).substr(0, 2000) << "against all:\n"
                      << Difference(all, rows).substr(0, 2000);
      }
    }
    std::cout << "seed " << seed << ": " << kRuns << " runs, " << killed << " killed; store held "
              << found_none << " times none and " << found_all << " times all of the transaction"
              << std::endl;
  }

  ScratchFolder mScratch;
};

TEST_F(CrashSafetyTest, AnInstallerKilledInsideProcessingLeavesAllOrNoneOfItsEntries) {
  // An older install of the same payload, whose values the new one replaces, and another
  // payload that nothing may touch.
  const std::string old_document = WriteDocument("old.xml", 6000, "Key", "old-value-", false);
  ASSERT_EQ(RunHelper({"InstallerProcess", old_document, "PAYLOAD"}).exit_code, 0);
  const std::string other = WriteDocument("other.xml", 200, "Other", "other-", true);
  ASSERT_EQ(RunHelper({"InstallerProcess", other, "OTHER-PAYLOAD"}).exit_code, 0);
  // The new version: more entries, other values.
  const std::string document = WriteDocument("application.xml", 12000, "Key", "new-value-", false);
  KillRepeatedly({"InstallerProcess", document, "PAYLOAD"});
}

TEST_F(CrashSafetyTest, AnInstallerKilledInsideTheCommitLeavesAllOrNoneOfItsRecords) {
  // A large cached subdomain for the commit to clean up, and the records of an earlier
  // product, whose time-stamped account entry the commit extends.
  const std::string cache = WriteDocument("cache.xml", 20000, "Cached", "cached-value-", true);
  ASSERT_EQ(RunHelper({"InstallerProcess", cache, "CACHE-PAYLOAD"}).exit_code, 0);
  ASSERT_EQ(RunHelper({"InstallerCommit", "OLD-PRODUCT", "", "old-account"}).exit_code, 0);
  KillRepeatedly({"InstallerCommit", "PRODUCT", "CACHE-PAYLOAD", "account"});
}

}  // namespace
}  // namespace corvel::hostile
