// Rewriting the Payload hive's code, and opening configuration files by UTF-8 path.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "config/parse_config.h"
#include "config_test_helpers.h"
#include "test_support.h"

namespace corvel::config {
namespace {

using test::StderrCapture;

class RewriteTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = mScratch.Path(name);
    EXPECT_TRUE(corvel::test::WriteWholeFile(path, content));
    return path;
  }
  std::string Read(const std::string& path) {
    return corvel::test::ReadWholeFile(path).value_or("<unreadable>");
  }

  corvel::test::ScratchFolder mScratch;
};

TEST_F(RewriteTest, SetsTheCodeAndWritesTheStandardLayout) {
  std::string path =
      Write("application.xml",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<Configuration><!--c--><Payload corvelCode=\"OLD\" x=\"1\">"
            "<Data key=\"a\">1</Data></Payload>"
            "<Other defaultCorvelCode=\"O\"><Data key=\"b\" protected=\"0\"/></Other>"
            "</Configuration>");
  StderrCapture capture(mScratch.Path("stderr.txt"));
  ASSERT_EQ(0, SetConfigurationPayloadCode(path.c_str(), "NEW & <code>"));
  EXPECT_EQ("", capture.Text());
  EXPECT_EQ(
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<Configuration>\n"
      "    <!--c-->\n"
      "    <Payload corvelCode=\"NEW &amp; &lt;code&gt;\" x=\"1\">\n"
      "        <Data key=\"a\">1</Data>\n"
      "    </Payload>\n"
      "    <Other defaultCorvelCode=\"O\">\n"
      "        <Data key=\"b\" protected=\"0\" />\n"
      "    </Other>\n"
      "</Configuration>\n",
      Read(path));

  // The rewritten document walks with the new code.
  test::EntryRecorder recorder;
  ASSERT_EQ(0, parseconfig(path.c_str(), &test::EntryRecorder::Handler, &recorder, 1));
  ASSERT_FALSE(recorder.entries.empty());
  EXPECT_EQ("NEW & <code>", recorder.entries[0].subdomain.value_or("<null>"));
}

TEST_F(RewriteTest, FailuresLeaveTheFileUntouchedAndSilent) {
  struct Case {
    const char* name;
    const char* content;
  } cases[] = {
      {"no_payload.xml", "<Configuration><Other corvelCode=\"O\"/></Configuration>"},
      {"comment_payload.xml", "<Configuration><!--Payload--><Payload/></Configuration>"},
      {"root.xml", "<Config><Payload/></Config>"},
      {"broken.xml", "<Configuration><Payload></Configuration>"},
      {"empty.xml", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Write(c.name, c.content);
    StderrCapture capture(mScratch.Path("stderr.txt"));
    EXPECT_EQ(-1, SetConfigurationPayloadCode(path.c_str(), "P"));
    EXPECT_EQ("", capture.Text());
    EXPECT_EQ(c.content, Read(path));
  }
  StderrCapture capture(mScratch.Path("stderr.txt"));
  EXPECT_EQ(-1, SetConfigurationPayloadCode(mScratch.Path("missing.xml").c_str(), "P"));
  EXPECT_EQ(-1, SetConfigurationPayloadCode(mScratch.temp().c_str(), "P"));
  EXPECT_EQ("", capture.Text());
}

TEST_F(RewriteTest, WriteFailureGivesOne) {
  std::string path =
      Write("application.xml", "<Configuration><Payload><Data key=\"a\">" + std::string(4096, 'x') +
                                   "</Data></Payload></Configuration>");
  // A file-size limit makes the write of the larger document fail after the open succeeded.
  int status = test::RunWithStandardStreams("/dev/null", "", [&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      1024, 1024
    };
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 100;
    return SetConfigurationPayloadCode(path.c_str(), "P") + 10;
  });
  EXPECT_EQ(11, status);
}

TEST_F(RewriteTest, ReplacesOnlyAPlainDocumentByAFreshFile) {
  // A fresh file renamed over the document must look to its readers as the document did;
  // where it would not, the document is rewritten in place.
  const std::string outside = Write("outside.txt", "kept");
  const struct {
    std::string name;
    bool replaced;
  } cases[] = {{"plain", true},
               {"hard-linked", false},
               {"symlinked", false},
               {"attributed", false},
               {"foreign", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Owned by root, so an unprivileged rewrite cannot give a fresh file its owner.
    if (c.name == "foreign" && !corvel::test::RunningAsRoot()) continue;
    const std::string folder = mScratch.Path(c.name);
    ASSERT_EQ(0, mkdir(folder.c_str(), 0777));
    ASSERT_EQ(0, chmod(folder.c_str(), 0777));
    const std::string path =
        Write(c.name + "/application.xml", "<Configuration><Payload/></Configuration>");
    // A link planted under the name a killed rewrite leaves: removed, never followed.
    const std::string fresh = folder + "/.tavlib~application.xml";
    ASSERT_EQ(0, symlink(outside.c_str(), fresh.c_str()));
    if (c.name == "plain") {
      const unsigned owner =
          corvel::test::RunningAsRoot() ? corvel::test::kUnprivilegedId : getuid();
      ASSERT_EQ(0, chown(path.c_str(), owner, getgid()));
      ASSERT_EQ(0, chmod(path.c_str(), 0640));
    }
    if (c.name == "hard-linked") {
      ASSERT_EQ(0, link(path.c_str(), (folder + "/second.xml").c_str()));
    }
    if (c.name == "symlinked") {
      ASSERT_EQ(0, rename(path.c_str(), (folder + "/target.xml").c_str()));
      ASSERT_EQ(0, symlink("target.xml", path.c_str()));
    }
    if (c.name == "attributed" && setxattr(path.c_str(), "user.origin", "x", 1, 0) != 0) continue;
    if (c.name == "foreign") {
      ASSERT_EQ(0, chmod(path.c_str(), 0666));
    }
    struct stat before {
    }, after{};
    ASSERT_EQ(0, stat(path.c_str(), &before));
    auto rewrite = [&] { return SetConfigurationPayloadCode(path.c_str(), "P"); };
    EXPECT_EQ(0, c.name == "foreign" ? corvel::test::RunAsUnprivileged(rewrite) : rewrite());
    ASSERT_EQ(0, stat(path.c_str(), &after));
    EXPECT_EQ("<Configuration>\n    <Payload corvelCode=\"P\" />\n</Configuration>\n", Read(path));
    EXPECT_EQ(c.replaced, before.st_ino != after.st_ino);
    EXPECT_EQ(before.st_mode, after.st_mode);
    EXPECT_EQ(before.st_uid, after.st_uid);
    EXPECT_EQ(before.st_gid, after.st_gid);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(fresh)));
  }
  EXPECT_EQ("kept", Read(outside));
}

TEST_F(RewriteTest, DashReadsStandardInputAndWritesStandardOutput) {
  std::string in = Write("in.xml", "<Configuration><Payload/></Configuration>");
  std::string out = mScratch.Path("out.xml");
  int status = test::RunWithStandardStreams(
      in, out, [] { return SetConfigurationPayloadCode("-", "STDIO"); });
  EXPECT_EQ(0, status);
  EXPECT_EQ("<Configuration>\n    <Payload corvelCode=\"STDIO\" />\n</Configuration>\n", Read(out));
  EXPECT_EQ("<Configuration><Payload/></Configuration>", Read(in));
}

class OpenTest : public RewriteTest {
 protected:
  // A path inside the scratch folder whose total length is exactly `units` UTF-16 units,
  // padded with `filler` (one unit each) in folders of at most 50 units, which are created.
  std::string PathOfUnits(size_t units, const std::string& filler) {
    std::string path = mScratch.Path("deep");
    mkdir(path.c_str(), 0755);
    size_t have = path.size();  // ASCII so far: one unit per byte
    while (units - have > 51) {
      path += "/";
      for (int i = 0; i < 49; ++i) path += filler;
      mkdir(path.c_str(), 0755);
      have += 50;
    }
    path += "/";
    for (++have; have < units; ++have) path += filler;
    return path;
  }
};

TEST_F(OpenTest, PathLengthIsCountedInWideCharacters) {
  // 259 units plus the terminator fill the 260-unit buffer exactly; the two-byte filler makes
  // the UTF-8 form far longer than 260 bytes.
  std::string fits = PathOfUnits(259, "\xC3\xA9");
  ASSERT_GT(fits.size(), 260u);
  ASSERT_TRUE(corvel::test::WriteWholeFile(fits, "x"));
  {
    StderrCapture capture(mScratch.Path("stderr.txt"));
    std::unique_ptr<FILE, int (*)(FILE*)> stream(OpenConfigurationFile(fits.c_str(), "rb"), fclose);
    EXPECT_NE(nullptr, stream);
    EXPECT_EQ("", capture.Text());
  }

  std::string too_long = PathOfUnits(260, "a");
  ASSERT_TRUE(corvel::test::WriteWholeFile(too_long, "x"));
  StderrCapture capture(mScratch.Path("stderr.txt"));
  EXPECT_EQ(nullptr, OpenConfigurationFile(too_long.c_str(), "rb"));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_EQ(
      "parseconfig: error converting to wide char: ERROR_INSUFFICIENT_BUFFER"
      "parseconfig: input string was " +
          too_long,
      capture.Text());
}

TEST_F(OpenTest, ConversionMessagesArePrintedEvenWhenQuiet) {
  std::string bad = mScratch.Path("bad\xFFname.xml");
  StderrCapture capture(mScratch.Path("stderr.txt"));
  EXPECT_EQ(-1, parseconfig(bad.c_str(), nullptr, nullptr, 1));
  EXPECT_EQ(
      "parseconfig: error converting to wide char: ERROR_NO_UNICODE_TRANSLATION"
      "parseconfig: input string was " +
          bad,
      capture.Text());

  StderrCapture loud(mScratch.Path("stderr2.txt"));
  EXPECT_EQ(-1, parseconfig(bad.c_str(), nullptr, nullptr, 0));
  EXPECT_EQ(
      "parseconfig: error converting to wide char: ERROR_NO_UNICODE_TRANSLATION"
      "parseconfig: input string was " +
          bad + bad + ": Invalid argument\n",
      loud.Text());
}

}  // namespace
}  // namespace corvel::config
