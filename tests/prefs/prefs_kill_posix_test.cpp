// A save of the preferences file killed between writing its new file and renaming it into
// place. The kill is deterministic: in the child, the platform layer's rename kills the process
// right there, after checking that the file being renamed was flushed to disk first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "platform/platform.h"
#include "prefs/secure_prefs.h"
#include "prefs/xml_parser.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;

ino_t flushed = 0;  // the file fsync flushed last

CORVEL_TEST_CHILD(SaveKilledAtItsRename) {
  platform::ScopedSystemCall flush(
      "fsync", +[](int fd) {
        struct stat st {};
        if (fstat(fd, &st) == 0) flushed = st.st_ino;
        return ::fsync(fd);
      });
  platform::ScopedSystemCall kill(
      "rename", +[](const char* from, const char*) {
        struct stat st {};
        if (lstat(from, &st) != 0 || st.st_ino != flushed) return 3;  // renamed before its flush
        raise(SIGKILL);
        return 0;
      });
  return flush.replaced() && kill.replaced() ? SetPrefValue("D", "K", "new", nullptr) + 10 : 4;
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename());
  return names;
}

TEST(PrefsKillTest, KilledSaveKeepsTheOldFileAndTheNextSaveRemovesItsLeftover) {
  corvel::test::ScratchFolder scratch;
  const std::string folder = scratch.local_appdata() + "/Corvel/TAV";
  const std::string file = folder + "/securePrefs.xml";
  ASSERT_EQ(0, SetPrefValue("D", "K", "old", nullptr));
  const std::optional<std::string> before = ReadWholeFile(file);

  ASSERT_EQ(-1, corvel::test::RunChild("SaveKilledAtItsRename")) << "not killed at its rename";
  EXPECT_EQ(before, ReadWholeFile(file));
  ASSERT_EQ(2u, Names(folder).size()) << "the killed save's new file";

  // Beside it, names of the same pattern that the next save leaves alone: a link, the file of
  // a save in progress (locked) and, as root, another user's file.
  const std::string victim = scratch.Path("victim"), link = kSaveTempPrefix + std::string("link01"),
                    live = kSaveTempPrefix + std::string("live01"),
                    other = kSaveTempPrefix + std::string("othr01");
  ASSERT_TRUE(WriteWholeFile(victim, "untouched"));
  ASSERT_EQ(0, symlink(victim.c_str(), (folder + "/" + link).c_str()));
  ASSERT_TRUE(WriteWholeFile(folder + "/" + live, "in progress"));
  platform::UniqueFd held(open((folder + "/" + live).c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(0, flock(held.get(), LOCK_EX));
  std::set<std::string> kept = {"securePrefs.xml", link, live};
  if (corvel::test::RunningAsRoot()) {
    ASSERT_TRUE(WriteWholeFile(folder + "/" + other, "not mine"));
    ASSERT_EQ(0, chown((folder + "/" + other).c_str(), corvel::test::kUnprivilegedId, 0));
    kept.insert(other);
  }

  ASSERT_EQ(0, SetPrefValue("D", "K", "next", nullptr));
  EXPECT_EQ(kept, Names(folder));
  EXPECT_EQ("untouched", ReadWholeFile(victim));
  uint32_t size = 5;
  char value[5] = {};
  EXPECT_EQ(0, GetPrefValue("D", "K", value, &size, nullptr));
  EXPECT_STREQ("next", value);
}

}  // namespace
}  // namespace corvel::prefs
