// The reader's POSIX-only paths: which files a rewrite may replace by a fresh one and how it
// fails, the standard streams behind "-", and the driver document: its name, mode and text,
// and the checks before it is read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <tuple>

#include "child_process.h"
#include "config/configuration_processing.h"
#include "config/parse_config.h"
#include "platform/platform.h"
#include "test_support.h"

namespace corvel::config::test {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::RunChild;
using corvel::test::RunningAsRoot;

// args: input file, output file, then "rewrite" or "walk". Exits 0 when the call succeeded
// and, for a walk, read both entries and closed standard input.
CORVEL_TEST_CHILD(WithStandardStreams) {
  if (!freopen(args[0].c_str(), "rb", stdin) || !freopen(args[1].c_str(), "wb", stdout)) return 20;
  if (args[2] == "rewrite") return SetConfigurationPayloadCode("-", "STDIO");
  size_t entries = 0;
  auto count = +[](void* n, const char*, const char*, const char*, int) {
    return ++*static_cast<size_t*>(n), 0;
  };
  if (parseconfig("-", count, &entries, 1) != 0 || entries != 2) return 1;
  return fcntl(0, F_GETFD) == -1 ? 0 : 2;
}

// A replacement system call, in the type the table of replaceable calls holds.
template <typename Function>
platform::SystemCall Failing(Function* replacement) {
  return reinterpret_cast<platform::SystemCall>(replacement);
}

TEST(Rewrite, ReplacesOnlyAPlainDocumentByAFreshFileAndLeavesNoneBeside) {
  // A fresh file renamed over the document must look to its readers as the document did;
  // where it would not, or cannot be made, the document is rewritten in place. One that cannot
  // be completed gives 1 and leaves the document as it was. A "Payload" that is only a
  // comment, or another root, gives -1 (documents that do not load or lack the element are
  // refused through the interface). No row prints anything.
  corvel::test::ScratchFolder scratch;
  const std::string outside = scratch.Path("outside.txt");
  ASSERT_TRUE(corvel::test::WriteWholeFile(outside, "kept"));
  const std::string good = "<Configuration><Payload/></Configuration>";
  const struct {
    const char* name;
    std::string content;
    const char* call;  // a system call made to fail, or ""
    platform::SystemCall failing;
    int result;
  } cases[] = {
      {"plain", good, "", {}, 0},
      {"hard-linked", good, "", {}, 0},
      {"symlinked", good, "", {}, 0},
      {"attributed", good, "", {}, 0},
      {"comment Payload", "<Configuration><!--Payload--><Payload/></Configuration>", "", {}, -1},
      {"other root", "<Config><Payload/></Config>", "", {}, -1},
      {"fsync fails", good, "fsync", Failing(+[](int) { return errno = EIO, -1; }), 1},
      {"rename fails", good, "rename",
       Failing(+[](const char*, const char*) { return errno = EIO, -1; }), 1},
      {"fresh file not made", good, "fchown",
       Failing(+[](int, uid_t, gid_t) { return errno = EIO, -1; }), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = c.name, folder = scratch.Path(name);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string path = folder + "/application.xml";
    ASSERT_TRUE(corvel::test::WriteWholeFile(path, c.content));
    // A link planted under the name a killed rewrite leaves: removed, never followed.
    const std::string fresh = folder + "/.tavlib~application.xml";
    if (c.result != -1) {
      ASSERT_EQ(0, symlink(outside.c_str(), fresh.c_str()));
    }
    if (name == "plain") {
      ASSERT_EQ(0, chown(path.c_str(), RunningAsRoot() ? corvel::test::kUnprivilegedId : getuid(),
                         getgid()));
      ASSERT_EQ(0, chmod(path.c_str(), 0640));
    }
    if (name == "hard-linked") {
      ASSERT_EQ(0, link(path.c_str(), (folder + "/second").c_str()));
    }
    if (name == "symlinked") {
      ASSERT_EQ(0, rename(path.c_str(), (folder + "/target.xml").c_str()));
      ASSERT_EQ(0, symlink("target.xml", path.c_str()));
    }
    if (name == "attributed" && setxattr(path.c_str(), "user.origin", "x", 1, 0) != 0) continue;
    struct stat before {
    }, after{};
    ASSERT_EQ(0, stat(path.c_str(), &before));
    std::optional<platform::ScopedSystemCall> broken;
    if (c.failing) broken.emplace(c.call, c.failing);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(c.result, SetConfigurationPayloadCode(path.c_str(), "P"));
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    broken.reset();
    ASSERT_EQ(0, stat(path.c_str(), &after));
    EXPECT_EQ(c.result == 0
                  ? "<Configuration>\n    <Payload corvelCode=\"P\" />\n</Configuration>\n"
                  : c.content,
              ReadWholeFile(path));
    EXPECT_EQ(name == "plain", before.st_ino != after.st_ino);
    EXPECT_EQ(std::make_tuple(before.st_mode, before.st_uid, before.st_gid),
              std::make_tuple(after.st_mode, after.st_uid, after.st_gid));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(fresh)));
  }
  EXPECT_EQ("kept", ReadWholeFile(outside));
  EXPECT_EQ(-1, SetConfigurationPayloadCode(scratch.root().c_str(), "P"));
}

TEST(Reader, DashReadsStandardInputAndWritesStandardOutput) {
  corvel::test::ScratchFolder scratch;
  const std::string in = scratch.Path("in.xml"), out = scratch.Path("out.xml");
  const std::string document =
      "<Configuration><Payload><Data key=\"a\">1</Data><Data key=\"b\">2</Data></Payload>"
      "</Configuration>";
  ASSERT_TRUE(corvel::test::WriteWholeFile(in, document));
  EXPECT_EQ(0, RunChild("WithStandardStreams", {in, out, "walk"}));
  EXPECT_EQ(0, RunChild("WithStandardStreams", {in, out, "rewrite"}));
  EXPECT_EQ(document, ReadWholeFile(in));
  EXPECT_EQ(
      "<Configuration>\n    <Payload corvelCode=\"STDIO\">\n        <Data key=\"a\">1</Data>\n"
      "        <Data key=\"b\">2</Data>\n    </Payload>\n</Configuration>\n",
      ReadWholeFile(out));
}

TEST(DriverDocument, WrittenUniquelyNamedAndPrivateAndReadBackOnlyWhileItIsStillOurs) {
  corvel::test::ScratchFolder scratch;
  char path[kConfigPathBufferSize], second[kConfigPathBufferSize];
  ASSERT_EQ(kDriverDocumentWritten,
            WriteDriverConfigurationFile("/opt/My App/application.xml", "PAY & <1>", "DRV", path,
                                         sizeof path));
  ASSERT_EQ(kDriverDocumentWritten,
            WriteDriverConfigurationFile("c", "P", "D", second, sizeof second));
  const std::string prefix = scratch.temp() + "/driver_";
  EXPECT_EQ(0u, std::string(path).rfind(prefix, 0)) << path;
  EXPECT_EQ(prefix.size() + 6, std::string(path).size());
  EXPECT_NE(std::string(path), second);
  struct stat status {};
  ASSERT_EQ(0, lstat(path, &status));
  EXPECT_EQ(0600u, status.st_mode & 07777);
  // The install date is checked through the interface.
  EXPECT_EQ(ReadWholeFile(CORVEL_TEST_DATA "/driver_document.xml"),
            std::regex_replace(ReadWholeFile(path).value_or(""),
                               std::regex("(InstallDate\">)[0-9]+<"), "$1@INSTALL_DATE@<"));
  // A regular file of ours with one name.
  FILE* ours = OpenDriverConfigurationFile(path);
  EXPECT_NE(nullptr, ours);
  if (ours) fclose(ours);
  // A link planted under the name, a second name for the file, a folder, a file of another user.
  const std::string link = scratch.temp() + "/driver_link00";
  ASSERT_EQ(0, symlink(path, link.c_str()));
  EXPECT_EQ(nullptr, OpenDriverConfigurationFile(link.c_str()));
  const std::string second_name = scratch.temp() + "/driver_hard00";
  ASSERT_EQ(0, ::link(path, second_name.c_str()));
  EXPECT_EQ(nullptr, OpenDriverConfigurationFile(path));
  ASSERT_EQ(0, unlink(second_name.c_str()));
  EXPECT_EQ(nullptr, OpenDriverConfigurationFile(scratch.temp().c_str()));
  if (RunningAsRoot()) {
    ASSERT_EQ(0, chown(path, corvel::test::kUnprivilegedId, corvel::test::kUnprivilegedId));
    EXPECT_EQ(nullptr, OpenDriverConfigurationFile(path));
  }
}

}  // namespace
}  // namespace corvel::config::test
