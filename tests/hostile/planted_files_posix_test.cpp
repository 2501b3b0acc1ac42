// Files another user plants in the folders a root installer shares with her: the temporary
// folder ("tavlib.log", "swtag.log", "Velmo.log") and the world-writable tag directory. Each
// attack is made by an unprivileged user; the installer runs in a child under a generous
// alarm, must finish with every call succeeding, and must write nothing through what she
// planted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::hostile {
namespace {

using namespace ::corvel::test;

constexpr const char* kPayload = "PAYLOAD-DRV";
constexpr unsigned kDoesNotHangSeconds = 60;
// Marked as the main log and the tag log keep a file, so a follower would append to it.
const std::string kVictimText = "__TAVLIB_LOG_FILE__ __SWTAG_LOG_FILE__\nprecious\n";

enum Plant { kFifo, kSymlink, kHardLink, kHeldLock, kFifoSwappedIn };

struct Attack {
  const char* name;
  const char* file;  // a name in the temporary folder, or "tag" for the tag file
  Plant plant;
};

void PrintTo(const Attack& attack, std::ostream* out) { *out << attack.name; }

// The attacker plants at args[1]: args[0] is the Plant, args[2] her second name's target; a
// lock is held (after 'y' on the pipe args[3]) until she is killed.
CORVEL_TEST_CHILD(PlantAttack) {
  const std::string& target = args[1];
  const int plant = std::stoi(args[0]);
  if (plant == kSymlink) return symlink(args[2].c_str(), target.c_str());
  if (plant == kHardLink) return link(args[2].c_str(), target.c_str());
  if (plant == kFifo) return mkfifo(target.c_str(), 0666);
  // Her own file, marked like a log, readable and writable by all.
  if (!WriteWholeFile(target, kVictimText) || chmod(target.c_str(), 0666) != 0) return 1;
  if (plant == kFifoSwappedIn) return 0;
  const int fd = open(target.c_str(), O_RDWR);
  if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(std::stoi(args[3]), "y", 1) != 1) return 1;
  pause();
  return 1;
}

// After the installer opened her file, she swaps a FIFO in under its name (args[0]).
CORVEL_TEST_CHILD(SwapInFifo) {
  return rename(args[0].c_str(), (args[0] + ".old").c_str()) == 0 ? mkfifo(args[0].c_str(), 0666)
                                                                  : 1;
}

// An installation through the C interface of the document args[0]: configuration processing
// (one store transaction), tagging of the driver payload, a preference, a commit; when args[1]
// is not empty, the attacker swaps a FIFO in there after the instance is created.
CORVEL_TEST_CHILD(Install) {
  alarm(kDoesNotHangSeconds);
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (!args[1].empty() && RunChild("SwapInFifo", {args[1]}, ChildUser::kUnprivileged) != 0) {
    return 3;
  }
  const bool ok =
      Corvel_TAVLib_Process_file(handle, args[0].c_str(), kPayload, "", nullptr) ==
          kTAVLibSuccess &&
      Corvel_TAVLib_ISOTaggingAtInstall(handle, kPayload) == kTAVLibSuccess &&
      Corvel_TAVLib_SetSecurePreference("Domain", "Key", "value", nullptr) == kTAVLibPrefSuccess;
  Corvel_TAVLib_ReleaseRef(handle, 1);
  return ok ? 0 : 2;
}

using PlantedFileTest = ::testing::TestWithParam<Attack>;

TEST_P(PlantedFileTest, TheInstallerFinishesAndWritesNothingThroughIt) {
  const Attack& attack = GetParam();
  ScratchFolder scratch;
  const std::string tag_dir = scratch.common_appdata() + "/" + CORVEL_TAG_ENTITY_REGID;
  ASSERT_EQ(mkdir(tag_dir.c_str(), 0777), 0);
  ASSERT_EQ(chmod(tag_dir.c_str(), 0777), 0);  // as the tag writer leaves it
  const std::string target = std::string(attack.file) == "tag"
                                 ? tag_dir + "/" + CORVEL_TAG_ENTITY_REGID + "_PRODUCT-1.swidtag"
                                 : scratch.temp() + "/" + attack.file;
  // Readable and writable by all, so she may give it a second name.
  const std::string victim = scratch.Path("victim");
  ASSERT_TRUE(WriteWholeFile(victim, kVictimText));
  ASSERT_EQ(chmod(victim.c_str(), 0666), 0);
  const std::string document = scratch.Path("application.xml");
  std::filesystem::copy_file(HOSTILE_TEST_DATA "/product.xml", document);

  int ready[2] = {-1, -1};
  ASSERT_EQ(pipe(ready), 0);
  const int attacker = StartChild(
      "PlantAttack", {std::to_string(attack.plant), target, victim, std::to_string(ready[1])},
      ChildUser::kUnprivileged);
  close(ready[1]);  // only she writes now: a read tells of one that died early
  char state = 0;
  if (attack.plant == kHeldLock) {
    EXPECT_EQ(read(ready[0], &state, 1), 1) << "the lock is not held";
  } else {
    ASSERT_EQ(WaitForChild(attacker), 0);
  }
  EXPECT_EQ(RunChild("Install", {document, attack.plant == kFifoSwappedIn ? target : ""}), 0)
      << "-1: the installer hung or crashed";
  close(ready[0]);
  EXPECT_EQ(ReadWholeFile(victim), kVictimText);
  if (attack.plant == kHeldLock) {
    kill(attacker, SIGKILL);
    WaitForChild(attacker);
    // Without the lock the lines are still appended.
    const std::string text = ReadWholeFile(target).value_or("");
    const std::string line = attack.file == std::string("Velmo.log")
                                 ? std::string("N\0V\0X\0", 6)
                                 : "*************TAVLib Session Ends*************";
    EXPECT_NE(text.find(line), std::string::npos) << text;
  }
  if (attack.file == std::string("tag")) {
    struct stat st {};
    EXPECT_TRUE(lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, PlantedFileTest,
    ::testing::Values(
        Attack{"MainLogFifo", "tavlib.log", kFifo},
        Attack{"MainLogFifoSwappedIn", "tavlib.log", kFifoSwappedIn},
        Attack{"MainLogSymlink", "tavlib.log", kSymlink},
        Attack{"MainLogHardLink", "tavlib.log", kHardLink},
        Attack{"MainLogHeldLock", "tavlib.log", kHeldLock},
        Attack{"TagLogFifo", "swtag.log", kFifo}, Attack{"TagLogSymlink", "swtag.log", kSymlink},
        Attack{"TagLogHardLink", "swtag.log", kHardLink},
        Attack{"PrefsLogFifo", "Velmo.log", kFifo},
        Attack{"PrefsLogSymlink", "Velmo.log", kSymlink},
        Attack{"PrefsLogHardLink", "Velmo.log", kHardLink},
        Attack{"PrefsLogHeldLock", "Velmo.log", kHeldLock}, Attack{"TagFileFifo", "tag", kFifo},
        Attack{"TagFileSymlink", "tag", kSymlink}, Attack{"TagFileHardLink", "tag", kHardLink}),
    [](const ::testing::TestParamInfo<Attack>& info) { return info.param.name; });

}  // namespace
}  // namespace corvel::hostile
