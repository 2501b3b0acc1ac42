// The Windows forms of the platform layer's facilities: share modes, reparse points and links,
// the session's semaphore, the access list of shared files read back, temporary files, the
// tag log's TEMP/TMP rule and the calendar conversion.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace corvel::platform {
namespace {

std::wstring Wide(const std::string& path) {
  std::wstring wide(path.begin(), path.end());  // the test paths are ASCII
  for (wchar_t& c : wide) c = c == L'/' ? L'\\' : c;
  return wide;
}

class WindowsPlatform : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return mScratch.Path(name); }
  corvel::test::ScratchFolder mScratch;
  const std::string mFolder = mScratch.root();
};

TEST_F(WindowsPlatform, TemporaryFilesGetFreshNames) {
  std::string first = Path("tXXXXXX"), second = first;
  UniqueFd a(MakeTempFile(first)), b(MakeTempFile(second));
  EXPECT_TRUE(a.valid() && b.valid());
  EXPECT_NE(first, second);
  EXPECT_TRUE(IsRegularFileNoFollow(first) && IsRegularFileNoFollow(second));
}

TEST_F(WindowsPlatform, OpenFilesShareReadingWritingAndRemoval) {
  const std::string path = Path("shared.log");
  UniqueFd log(OpenSharedFolderFile(
      path, OpenFlags::Write | OpenFlags::Append | OpenFlags::Create | OpenFlags::Exclusive, 0600));
  ASSERT_TRUE(log.valid());
  FILE* stream = OpenFile(path, "rb");
  ASSERT_NE(stream, nullptr);  // _wfsopen without a sharing restriction
  HANDLE other = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  CloseHandle(other);
  fclose(stream);
  EXPECT_EQ(RemoveFile(path), 0) << "another process may remove a log this one holds open";
}

TEST_F(WindowsPlatform, SharedFolderFilesRefuseLinksAndSecondNames) {
  const std::string target = Path("target");
  UniqueFd file(OpenSharedFolderFile(target, OpenFlags::Write | OpenFlags::Create, 0600));
  ASSERT_TRUE(file.valid());
  file = UniqueFd();
  ASSERT_TRUE(CreateHardLinkW(Wide(Path("second")).c_str(), Wide(target).c_str(), nullptr));
  EXPECT_EQ(OpenSharedFolderFile(target, OpenFlags::Write), -1);
  EXPECT_EQ(LastError(), Error::Denied);
  ASSERT_EQ(RemoveFile(Path("second")), 0);
  if (CreateSymbolicLinkW(Wide(Path("link")).c_str(), Wide(target).c_str(), 0)) {
    // Windows opens the link itself and refuses it (Error::Link); Wine cannot open it without
    // following it and fails the open. Either way the target is not reached through it.
    EXPECT_EQ(OpenSharedFolderFile(Path("link"), OpenFlags::Write), -1);
  }
  EXPECT_TRUE(UniqueFd(OpenSharedFolderFile(target, OpenFlags::Write)).valid());
}

TEST_F(WindowsPlatform, SessionLockIsHeldByOneHolderAtATime) {
  SessionLock first(mFolder, "unused", "{B7A3F1C2-0D4E-4A5B-9C6D-7E8F90A1B2C3}");
  SessionLock second(mFolder, "unused", "{B7A3F1C2-0D4E-4A5B-9C6D-7E8F90A1B2C3}");
  ASSERT_TRUE(first.usable() && second.usable());
  EXPECT_TRUE(first.Acquire(0));
  EXPECT_FALSE(second.Acquire(50));
  first.Release();
  EXPECT_TRUE(second.Acquire(0));
}

// What the access list read back grants Everyone.
ACCESS_MASK EveryoneMask(const std::string& path) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(Wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return 0;
  }
  BYTE world[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof world;
  CreateWellKnownSid(WinWorldSid, nullptr, world, &size);
  ACCESS_MASK mask = 0;
  for (WORD i = 0; list && i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(list, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(reinterpret_cast<PSID>(&ace->SidStart), world)) {
      mask |= ace->Mask;
    }
  }
  LocalFree(descriptor);
  return mask;
}

TEST_F(WindowsPlatform, WorldWritableModesGiveEveryoneWriteAccess) {
  constexpr ACCESS_MASK kWrite = FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL;
  const std::string path = Path("tag.swidtag");
  UniqueFd file(OpenSharedFolderFile(
      path, OpenFlags::Write | OpenFlags::Create | OpenFlags::Exclusive, 0600));
  ASSERT_TRUE(file.valid());
  ASSERT_EQ(ChangeModeFd(file.get(), 0644), 0);
  EXPECT_EQ(EveryoneMask(path) & kWrite, 0u);
  ASSERT_EQ(ChangeModeFd(file.get(), 0666), 0);
  EXPECT_NE(EveryoneMask(path) & kWrite, 0u);
  ASSERT_EQ(ChangeMode(mFolder, 0777), 0);
  EXPECT_NE(EveryoneMask(mFolder) & kWrite, 0u);
}

TEST(WindowsTagLogFolder, ReadsTempThenTmpWhenTempDoesNotFit) {
  const std::string long_value(300, 'x');
  struct Case {
    const char* temp;  // null: unset
    std::string tmp;
    std::optional<std::string> folder;
  } cases[] = {
      {"C:\\Temp\\", "D:/tmp", std::string("C:/Temp/")},
      {nullptr, "D:/tmp", std::string("")},  // the root of the current drive
      {long_value.c_str(), "D:\\tmp", std::string("D:/tmp")},
      {long_value.c_str(), long_value, std::nullopt},
  };
  _wputenv_s(L"TMPDIR", L"");
  for (const Case& c : cases) {
    SetEnvironmentVariableW(L"TEMP", c.temp ? Wide(c.temp).c_str() : nullptr);
    SetEnvironmentVariableW(L"TMP", Wide(c.tmp).c_str());
    EXPECT_EQ(TagLogFolder(), c.folder) << (c.temp ? c.temp : "(unset)");
  }
}

TEST(WindowsCalendar, UtcConversionKeepsTheRangeOfMkgmtime64) {
  struct Case {
    int year, month, day;
    int64_t seconds;
  } cases[] = {{2012, 3, 4, 1330819200}, {1970, 1, 1, 0}, {3001, 1, 1, -1}, {1969, 12, 31, -1}};
  for (const Case& c : cases) {
    struct tm utc {};
    utc.tm_year = c.year - 1900;
    utc.tm_mon = c.month - 1;
    utc.tm_mday = c.day;
    EXPECT_EQ(UtcCalendarToSeconds(utc), c.seconds) << c.year;
  }
}

}  // namespace
}  // namespace corvel::platform
