// Access rights of the tag directory, the tags and the tag log, and a link that another user
// plants under the locale-less name of a tag that a pass with a locale takes over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.h"
#include "tag_support.h"

namespace corvel::swtag::test {
namespace {

CORVEL_TEST_CHILD(PlantLink) { return symlink(args[0].c_str(), args[1].c_str()) == 0 ? 0 : 1; }

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

TEST(TagPlacement, TagsAreOpenToEveryUserAndALinkUnderTheLocaleLessNameIsNeverFollowed) {
  // The target is a complete tag outside the tag directory, writable by the link's owner.
  TagScratch scratch;
  ASSERT_EQ(kSwTagSuccess, RunPass("Victim", "VICTIM", ""));
  // The tag directory, the tags and the log are open to every user.
  EXPECT_EQ(S_IFDIR | 0777u, ModeOf(scratch.TagDir()));
  EXPECT_EQ(S_IFREG | 0666u, ModeOf(scratch.TagFile("VICTIM")));
  EXPECT_EQ(S_IFREG | 0666u, ModeOf(scratch.LogPath()));
  const std::string target = scratch.Path("precious.swidtag");
  const std::string text = ReadWholeFile(scratch.TagFile("VICTIM")).value();
  ASSERT_TRUE(WriteWholeFile(target, text));
  ASSERT_EQ(0, chmod(target.c_str(), 0666));
  ASSERT_EQ(0, corvel::test::RunChild("PlantLink", {target, scratch.TagFile("PRD-200")},
                                      corvel::test::ChildUser::kUnprivileged));
  ASSERT_TRUE(S_ISLNK(ModeOf(scratch.TagFile("PRD-200"))));
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", "PRD-200", "en_US"));
  EXPECT_EQ(text, ReadWholeFile(target));
  EXPECT_TRUE(S_ISREG(ModeOf(scratch.TagFile("PRD-200", "en_US"))));
  EXPECT_EQ("PRD-200-en_US",
            XPathText(scratch.TagFile("PRD-200", "en_US"), "software_id/unique_id"));
}

}  // namespace
}  // namespace corvel::swtag::test
