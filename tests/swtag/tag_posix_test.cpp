// Access rights of the tag directory, the tags and the tag log. Links planted in the tag
// directory are the hostile planted-file table's (by another user) and fuzz_swtag's (under
// the tag's name and the locale-less name it takes over, as symbolic and hard links).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tag_support.h"

namespace corvel::swtag::test {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

TEST(TagPlacement, TheTagDirectoryTheTagsAndTheLogAreOpenToEveryUser) {
  TagScratch scratch;
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", "PRD-200", ""));
  EXPECT_EQ(S_IFDIR | 0777u, ModeOf(scratch.TagDir()));
  EXPECT_EQ(S_IFREG | 0666u, ModeOf(scratch.TagFile("PRD-200")));
  EXPECT_EQ(S_IFREG | 0666u, ModeOf(scratch.LogPath()));
}

}  // namespace
}  // namespace corvel::swtag::test
