// Installers killed with SIGKILL at random points inside configuration processing and inside
// the commit of a release: once the next installer has opened the store, it holds either all
// or none of the killed transaction's rows, and its file is sound.
//
// Each run starts from the same store file. A first run that is not killed measures how long
// the operation takes here and yields the "all" state; the kills are then spread uniformly over
// a little more than that time, so some land before, many inside and some after the
// transaction. Which of them land where is reported, not asserted.
//
// Installers killed at chosen calls of the configuration document's rewrite (by an interposer
// loaded into them) leave the old or the new document, and nothing the next rewrite leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::hostile {
namespace {

using namespace ::corvel::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 30;

struct HelperRun {
  bool killed = false;
  int exit_code = -1;
  Clock::duration duration{};  // from "about to start" to the end of the process
};

// Runs the installer body `args[0]` (installer_helper.cpp) with the rest of `args` ("{fd}"
// stands for its signal pipe); with `kill_after`, sends SIGKILL that long after the installer
// said it is about to start the operation.
HelperRun RunHelper(std::vector<std::string> args,
                    std::optional<Clock::duration> kill_after = std::nullopt) {
  int pipe_fds[2];
  EXPECT_EQ(pipe(pipe_fds), 0);
  bool signals = false;
  for (std::string& arg : args) {
    if (arg == "{fd}") {
      arg = std::to_string(pipe_fds[1]);
      signals = true;
    }
  }
  const int child = StartChild(args[0], ChildArgs(args.begin() + 1, args.end()));
  close(pipe_fds[1]);
  HelperRun run;
  char said = 0;
  const bool ready = !signals || (read(pipe_fds[0], &said, 1) == 1 && said == 'R');
  const Clock::time_point start = Clock::now();
  if (ready && kill_after) {
    std::this_thread::sleep_for(*kill_after);
    kill(child, SIGKILL);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  run.duration = Clock::now() - start;
  close(pipe_fds[0]);
  EXPECT_TRUE(ready) << "the installer died before it started the operation";
  run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
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
  std::string Database() const { return mScratch.pcd_db(); }

  StoreRows Rows() const { return WithoutTimes(ReadSnapshot(Database()).values); }

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

  // Kills `kRuns` runs of the helper at random points, each starting from the store in
  // `baseline`, and checks each store against `none` and `all`. `prepare` runs before each.
  void KillRepeatedly(
      const std::vector<std::string>& args, const std::string& baseline, const StoreRows& none,
      const StoreRows& all, Clock::duration typical, const std::function<void()>& prepare = [] {},
      const std::function<void()>& check_after = nullptr) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay_us(
        0, std::chrono::duration_cast<std::chrono::microseconds>(typical).count() * 5 / 4);
    int killed = 0, journals = 0, found_none = 0, found_all = 0;
    for (int run = 0; run < kRuns; ++run) {
      SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
      // A journal the last run left behind belongs to another file now.
      fs::remove(Database() + "-journal");
      fs::copy_file(baseline, Database(), fs::copy_options::overwrite_existing);
      prepare();
      const HelperRun result = RunHelper(args, std::chrono::microseconds(delay_us(random)));
      if (result.killed) ++killed;
      if (fs::exists(Database() + "-journal")) ++journals;
      if (check_after) check_after();
      // The next installer opens the store, which rolls a killed transaction back.
      EXPECT_EQ(RunHelper({"InstallerOpen"}).exit_code, 0);
      ASSERT_EQ(IntegrityCheck(Database()), "ok");
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
    std::cout << "seed " << seed << ": " << kRuns << " runs, " << killed << " killed, " << journals
              << " left a journal; store held " << found_none << " times none and " << found_all
              << " times all of the transaction" << std::endl;
  }

  ScratchFolder mScratch;
};

TEST_F(CrashSafetyTest, AnInstallerKilledInsideProcessingLeavesAllOrNoneOfItsEntries) {
  // An older install of the same payload, whose values the new one replaces, and another
  // payload that nothing may touch.
  const std::string old_document = WriteDocument("old.xml", 6000, "Key", "old-value-", false);
  ASSERT_EQ(RunHelper({"InstallerProcess", old_document, "PAYLOAD", "{fd}"}).exit_code, 0);
  const std::string other = WriteDocument("other.xml", 200, "Other", "other-", true);
  ASSERT_EQ(RunHelper({"InstallerProcess", other, "OTHER-PAYLOAD", "{fd}"}).exit_code, 0);
  const std::string baseline = mScratch.Path("baseline.db");
  fs::copy_file(Database(), baseline);
  const StoreRows none = Rows();

  // The new version: more entries, other values.
  const std::string document = WriteDocument("application.xml", 12000, "Key", "new-value-", false);
  const HelperRun whole = RunHelper({"InstallerProcess", document, "PAYLOAD", "{fd}"});
  ASSERT_EQ(whole.exit_code, 0);
  const StoreRows all = Rows();
  ASSERT_GT(all.size(), none.size() + 5000);
  const std::string rewritten = ReadWholeFile(document).value();

  // The payload code is written into the document before the store is touched; a kill during
  // that write leaves the document whole.
  KillRepeatedly(
      {"InstallerProcess", document, "PAYLOAD", "{fd}"}, baseline, none, all, whole.duration,
      [&] { ASSERT_TRUE(WriteWholeFile(document, rewritten)); },
      [&] { EXPECT_EQ(ReadWholeFile(document), rewritten); });
}

TEST_F(CrashSafetyTest, AnInstallerKilledInsideTheDocumentRewriteLeavesTheOldOrTheNewDocument) {
  fs::create_directory(mScratch.Path("product"));
  const std::string document = WriteDocument("product/application.xml", 100, "Key", "v-", false);
  const std::string original = ReadWholeFile(document).value();
  const std::vector<std::string> process = {"InstallerProcess", document, "PAYLOAD", "{fd}"};
  ASSERT_EQ(RunHelper(process).exit_code, 0);
  const std::string rewritten = ReadWholeFile(document).value();
  // Killed before the new text is complete, and right after it replaced the old one.
  const struct {
    const char* at;
    const std::string& left;
  } kills[] = {{"flush", original}, {"rename", rewritten}};
  for (const auto& kill : kills) {
    SCOPED_TRACE(kill.at);
    ASSERT_TRUE(WriteWholeFile(document, original));
    // The interposer is loaded into the next installer only; sanitizer builds: it comes
    // before their runtime.
    setenv("LD_PRELOAD", CORVEL_KILL_INTERPOSER, 1);
    setenv("CORVEL_KILL_AT", kill.at, 1);
    setenv("CORVEL_KILL_MATCH", "application.xml", 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    EXPECT_TRUE(RunHelper(process).killed);
    unsetenv("LD_PRELOAD");
    EXPECT_TRUE(ReadWholeFile(document) == kill.left);
    // The next installer rewrites it and leaves nothing else beside it.
    ASSERT_EQ(RunHelper(process).exit_code, 0);
    EXPECT_TRUE(ReadWholeFile(document) == rewritten);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(mScratch.Path("product"))) {
      files.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(files, std::vector<std::string>{"application.xml"});
  }
}

TEST_F(CrashSafetyTest, AnInstallerKilledInsideTheCommitLeavesAllOrNoneOfItsRecords) {
  // A large cached subdomain for the commit to clean up, and the records of an earlier
  // product, whose time-stamped account entry the commit extends.
  const std::string cache = WriteDocument("cache.xml", 20000, "Cached", "cached-value-", true);
  ASSERT_EQ(RunHelper({"InstallerProcess", cache, "CACHE-PAYLOAD", "{fd}"}).exit_code, 0);
  ASSERT_EQ(RunHelper({"InstallerCommit", "OLD-PRODUCT", "", "old-account", "{fd}"}).exit_code, 0);
  const std::string baseline = mScratch.Path("baseline.db");
  fs::copy_file(Database(), baseline);
  const StoreRows none = Rows();

  const std::vector<std::string> args = {"InstallerCommit", "PRODUCT", "CACHE-PAYLOAD", "account",
                                         "{fd}"};
  const HelperRun whole = RunHelper(args);
  ASSERT_EQ(whole.exit_code, 0);
  const StoreRows all = Rows();
  ASSERT_LT(all.size() + 15000, none.size());

  KillRepeatedly(args, baseline, none, all, whole.duration);
}

}  // namespace
}  // namespace corvel::hostile
