// Load and Save on files that cannot be opened, read, written or that are links: the
// system's message, and the document kept.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "markup/markup_document.h"
#include "test_support.h"

namespace corvel::markup {
namespace {

TEST(MarkupFile, FailuresReportTheSystemMessageAndKeepTheDocument) {
  corvel::test::ScratchFolder scratch;
  ASSERT_TRUE(corvel::test::WriteWholeFile(scratch.Path("plain"), "<secret/>"));
  ASSERT_EQ(symlink(scratch.Path("plain").c_str(), scratch.Path("link").c_str()), 0);
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<keep>1</keep>") && doc.FindElement());
  const struct {
    std::string path;
    int load, save;
  } cases[] = {{scratch.Path("missing"), ENOENT, 0},
               {scratch.Path("no/such"), ENOENT, ENOENT},
               {scratch.root(), EISDIR, EISDIR},
               {scratch.Path("plain/inner"), ENOTDIR, ENOTDIR},
               {"", EINVAL, EINVAL},
               {scratch.Path("link"), ELOOP, ELOOP},  // links are not followed
               {"/dev/full", 0, ENOSPC}};             // the open succeeds, the write fails
  for (const auto& c : cases) {
    if (c.load) {
      EXPECT_FALSE(doc.Load(c.path.c_str())) << c.path;
      EXPECT_EQ(doc.GetError(), std::strerror(c.load)) << c.path;
    }
    if (c.save) {
      EXPECT_FALSE(doc.Save(c.path.c_str())) << c.path;
      EXPECT_EQ(doc.GetError(), std::strerror(c.save)) << c.path;
    }
  }
  EXPECT_FALSE(doc.Load(nullptr));
  EXPECT_EQ(doc.GetDoc(), "<keep>1</keep>");
  EXPECT_EQ(doc.GetData(), "1");
  EXPECT_EQ(corvel::test::ReadWholeFile(scratch.Path("plain")), "<secret/>");
}

}  // namespace
}  // namespace corvel::markup
