// Files another user plants in the folders a root installer shares with her: the temporary
// folder ("tavlib.log", "swtag.log", "Velmo.log") and the world-writable tag directory. Each
// attack is made by an unprivileged user; the installer runs in a child under a generous
// alarm, must finish with every call succeeding, and must write nothing through what she
// planted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::hostile {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::RunAsUnprivileged;

constexpr const char* kPayload = "PAYLOAD-DRV";
constexpr unsigned kDoesNotHangSeconds = 60;
// Marked as the main log and the tag log keep a file, so a follower would append to it.
const std::string kVictimText = "__TAVLIB_LOG_FILE__ __SWTAG_LOG_FILE__\nprecious\n";

enum class Plant { Fifo, Symlink, HardLink, HeldLock, FifoSwappedIn };

struct Attack {
  const char* name;
  const char* file;  // a name in the temporary folder, or "tag" for the tag file
  Plant plant;
};

void PrintTo(const Attack& attack, std::ostream* out) { *out << attack.name; }

// An installation through the C interface: configuration processing (one store transaction),
// tagging of the driver payload, a preference, a commit. `midway` runs after the instance
// is created. 0 when every call succeeded.
int Install(const std::string& document, const std::function<void()>& midway) {
  alarm(kDoesNotHangSeconds);
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 1;
  midway();
  const bool ok =
      Corvel_TAVLib_Process_file(handle, document.c_str(), kPayload, "", nullptr) ==
          kTAVLibSuccess &&
      Corvel_TAVLib_ISOTaggingAtInstall(handle, kPayload) == kTAVLibSuccess &&
      Corvel_TAVLib_SetSecurePreference("Domain", "Key", "value", nullptr) == kTAVLibPrefSuccess;
  Corvel_TAVLib_ReleaseRef(handle, 1);
  return ok ? 0 : 2;
}

// The attacker's own file at `path`, marked like a log, readable and writable by all.
bool CreateOwnFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
  const bool ok =
      fd >= 0 && fchmod(fd, 0666) == 0 &&
      write(fd, kVictimText.data(), kVictimText.size()) == static_cast<ssize_t>(kVictimText.size());
  if (fd >= 0) close(fd);
  return ok;
}

// The attacker's process holding an exclusive lock on her own file at `path` until the
// object goes. A process of its own, not a thread: the installer runs in a forked child, which
// must not inherit a thread's state it cannot finish.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path) {
    if (pipe(mReady) != 0 || pipe(mGo) != 0) return;
    mChild = corvel::test::StartUnprivileged([&] {
      const int fd = CreateOwnFile(path) ? open(path.c_str(), O_RDWR) : -1;
      const char state = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
      char byte = 0;
      return write(mReady[1], &state, 1) == 1 && read(mGo[0], &byte, 1) == 1 ? 0 : 1;
    });
    // Only the child writes now: its end gone, a read tells of a child that died early.
    close(mReady[1]);
    mReady[1] = -1;
    char state = 0;
    mHeld = mChild > 0 && read(mReady[0], &state, 1) == 1 && state == 'y';
  }
  ~HeldLock() {
    (void)!write(mGo[1], "g", 1);
    corvel::test::WaitForChild(mChild);
    for (int fd : {mReady[0], mReady[1], mGo[0], mGo[1]}) close(fd);
  }
  bool held() const { return mHeld; }

 private:
  int mReady[2] = {-1, -1};
  int mGo[2] = {-1, -1};
  int mChild = -1;
  bool mHeld = false;
};

class PlantedFileTest : public ::testing::TestWithParam<Attack> {
 protected:
  void SetUp() override {
    const std::string tag_dir = mScratch.common_appdata() + "/" + CORVEL_TAG_ENTITY_REGID;
    ASSERT_EQ(mkdir(tag_dir.c_str(), 0777), 0);
    ASSERT_EQ(chmod(tag_dir.c_str(), 0777), 0);  // as the tag writer leaves it
    mTarget = std::string(GetParam().file) == "tag"
                  ? tag_dir + "/" + CORVEL_TAG_ENTITY_REGID + "_PRODUCT-1.swidtag"
                  : mScratch.temp() + "/" + GetParam().file;
    // Readable and writable by all, so she may give it a second name.
    ASSERT_TRUE(corvel::test::WriteWholeFile(mVictim, kVictimText));
    ASSERT_EQ(chmod(mVictim.c_str(), 0666), 0);
    ASSERT_TRUE(corvel::test::WriteWholeFile(
        mDocument,
        "<Configuration><Payload corvelCode=\"\"><Data key=\"LicensingCode\">PRODUCT-1</Data>"
        "</Payload><Other corvelCode=\"PRODUCT-1\"><Data key=\"ZINNIA_APP\">Studio</Data>"
        "<Data key=\"SerialNumber\">SN-1</Data></Other></Configuration>"));
  }

  corvel::test::ScratchFolder mScratch;
  std::string mTarget;
  const std::string mVictim = mScratch.Path("victim");
  const std::string mDocument = mScratch.Path("application.xml");
};

TEST_P(PlantedFileTest, TheInstallerFinishesAndWritesNothingThroughIt) {
  const std::string target = mTarget;
  const std::string victim = mVictim;
  std::function<int()> plant = [&] { return mkfifo(target.c_str(), 0666); };
  if (GetParam().plant == Plant::Symlink)
    plant = [&] { return symlink(victim.c_str(), target.c_str()); };
  if (GetParam().plant == Plant::HardLink)
    plant = [&] { return link(victim.c_str(), target.c_str()); };
  if (GetParam().plant == Plant::FifoSwappedIn)
    plant = [&] { return CreateOwnFile(target) ? 0 : 1; };
  // On the stack, not the heap: the installer's forked child must own no block it cannot reach.
  std::optional<HeldLock> lock;
  if (GetParam().plant == Plant::HeldLock) {
    lock.emplace(target);
    ASSERT_TRUE(lock->held());
  } else {
    ASSERT_EQ(RunAsUnprivileged(plant), 0);
  }
  // After the installer opened her file, she swaps a FIFO in under its name.
  std::function<void()> midway = [] {};
  if (GetParam().plant == Plant::FifoSwappedIn) {
    midway = [&] {
      RunAsUnprivileged([&] {
        return rename(target.c_str(), (target + ".old").c_str()) == 0 ? mkfifo(target.c_str(), 0666)
                                                                      : 1;
      });
    };
  }

  EXPECT_EQ(corvel::test::RunInChild([&] { return Install(mDocument, midway); }), 0)
      << "-1: the installer hung or crashed";
  EXPECT_EQ(ReadWholeFile(mVictim), kVictimText);
  if (GetParam().plant == Plant::HeldLock) {
    // Without the lock the lines are still appended.
    const std::string text = ReadWholeFile(mTarget).value_or("");
    const std::string line = GetParam().file == std::string("Velmo.log")
                                 ? std::string("N\0V\0X\0", 6)
                                 : "*************TAVLib Session Ends*************";
    EXPECT_NE(text.find(line), std::string::npos) << text;
  }
  if (GetParam().file == std::string("tag")) {
    struct stat st {};
    EXPECT_TRUE(lstat(mTarget.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, PlantedFileTest,
    ::testing::Values(Attack{"MainLogFifo", "tavlib.log", Plant::Fifo},
                      Attack{"MainLogFifoSwappedIn", "tavlib.log", Plant::FifoSwappedIn},
                      Attack{"MainLogSymlink", "tavlib.log", Plant::Symlink},
                      Attack{"MainLogHardLink", "tavlib.log", Plant::HardLink},
                      Attack{"MainLogHeldLock", "tavlib.log", Plant::HeldLock},
                      Attack{"TagLogFifo", "swtag.log", Plant::Fifo},
                      Attack{"TagLogSymlink", "swtag.log", Plant::Symlink},
                      Attack{"TagLogHardLink", "swtag.log", Plant::HardLink},
                      Attack{"PrefsLogFifo", "Velmo.log", Plant::Fifo},
                      Attack{"PrefsLogSymlink", "Velmo.log", Plant::Symlink},
                      Attack{"PrefsLogHardLink", "Velmo.log", Plant::HardLink},
                      Attack{"PrefsLogHeldLock", "Velmo.log", Plant::HeldLock},
                      Attack{"TagFileFifo", "tag", Plant::Fifo},
                      Attack{"TagFileSymlink", "tag", Plant::Symlink},
                      Attack{"TagFileHardLink", "tag", Plant::HardLink}),
    [](const ::testing::TestParamInfo<Attack>& info) { return info.param.name; });

}  // namespace
}  // namespace corvel::hostile
