// Instances through the C interface: identifiers, deferred destruction, null and stale
// handles, the version.
#include <cstring>

#include "frame_test_support.h"

namespace corvel::frame_test {
namespace {

using InstanceTest = FrameTest;

TEST_F(InstanceTest, IdentifiersCountUpAndAreNeverReused) {
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(first), 1);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), 2);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(first, 0), 0u);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(second, 0), 0u);

  TAVLibHandle third = Corvel_TAVLib_CreateRef();
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(third), 3);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(third, 0), 0u);
}

TEST_F(InstanceTest, ObjectsGoOnlyWithTheLastLiveInstance) {
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(second, nullptr);

  // The first release commits at once but destroys nothing.
  Corvel_TAVLib_ReleaseRef(first, 1);
  std::vector<std::string> messages = Messages();
  EXPECT_EQ(CountOf(messages, kCommitStarted), 1u);
  EXPECT_EQ(CountOf(messages, kSessionEnds), 0u);
  EXPECT_TRUE(StoreFileExists());
  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), 2);

  EXPECT_TRUE(ServicesLibraryMapped());

  // The last release destroys both, in creation order; the services library is unloaded
  // only after the second one's closing banner.
  Corvel_TAVLib_ReleaseRef(second, 0);
  messages = Messages();
  EXPECT_EQ(CountOf(messages, kCommitStarted), 2u);
  EXPECT_EQ(CountOf(messages, kSessionEnds), 2u);
  EXPECT_EQ(messages.back(), kSessionEnds);
  EXPECT_FALSE(ServicesLibraryMapped());
}

TEST_F(InstanceTest, NullHandleChangesNothingAndLogsNothing) {
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(second, nullptr);
  const std::string before = LogText();
  ASSERT_FALSE(before.empty());

  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(nullptr, 1), 0u);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(nullptr, 0), 0u);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(nullptr), -1);
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(nullptr, "DRV", "PRD", "DPRD", "fr_FR", "PAY",
                                             kTAVLibTaggingAtCommit),
            uint32_t{kTAVLibNoInstance});
  EXPECT_EQ(LogText(), before);
  EXPECT_FALSE(StoreFileExists());

  // Had a null release counted, releasing the first instance would now destroy both.
  Corvel_TAVLib_ReleaseRef(first, 0);
  EXPECT_EQ(CountOf(Messages(), kSessionEnds), 0u);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), 2);
  Corvel_TAVLib_ReleaseRef(second, 0);
  EXPECT_GE(CountOf(Messages(), kSessionEnds), 1u);
}

TEST_F(InstanceTest, ReleasedHandleIsAnsweredAsNullAndCannotCountTwice) {
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(second, nullptr);
  Corvel_TAVLib_ReleaseRef(first, 0);

  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(first, 1), 0u);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(first), -1);
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(first, "DRV", "PRD", nullptr, nullptr, nullptr, 0),
            uint32_t{kTAVLibNoInstance});
  std::vector<std::string> messages = Messages();
  EXPECT_EQ(CountOf(messages, kCommitStarted), 1u);
  EXPECT_EQ(CountOf(messages, kSessionEnds), 0u);
  EXPECT_FALSE(StoreFileExists());  // the second release of `first` did not commit

  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), 2);
  Corvel_TAVLib_ReleaseRef(second, 0);
  EXPECT_GE(CountOf(Messages(), kSessionEnds), 1u);

  // Both objects are gone: neither handle names an instance any more.
  EXPECT_EQ(Corvel_TAVLib_GetRefID(first), -1);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), -1);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(second, 1), 0u);
  EXPECT_FALSE(StoreFileExists());
}

TEST_F(InstanceTest, VersionFillsOnlyTheOutputsGiven) {
  Corvel_TAVLib_Getversion(nullptr, nullptr, nullptr, nullptr);

  const char* text = nullptr;
  Corvel_TAVLib_Getversion(nullptr, nullptr, nullptr, &text);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "3.0.0.10,3.0");

  int32_t major = -7, minor = -7, patch = -7;
  Corvel_TAVLib_Getversion(&major, nullptr, nullptr, nullptr);
  EXPECT_EQ(major, 3);
  EXPECT_EQ(minor, -7);
  Corvel_TAVLib_Getversion(&major, &minor, &patch, &text);
  EXPECT_EQ(minor, 0);
  EXPECT_EQ(patch, 0);
  EXPECT_STREQ(text, "3.0.0.10,3.0");
  // No instance is needed and none is made: nothing is logged.
  EXPECT_TRUE(LogText().empty());
}

}  // namespace
}  // namespace corvel::frame_test
