#include "swtag/swtag_placement.h"

#include "platform/platform.h"
#include "swtag/swtag_access.h"
#include "swtag/swtag_document.h"
#include "swtag/swtag_entity.h"
#include "swtag/swtag_files.h"
#include "swtag/swtag_log.h"
#include "swtag/swtag_tag_file.h"

namespace corvel::swtag {

namespace platform = corvel::platform;
using platform::OpenFlags;

namespace {

constexpr platform::Permissions kCommonAppDataMode = 0755;

// The common application data folder into the tag path; false when it cannot be had.
bool FindCommonAppData(SwTagRecord& record) {
  const std::string folder = platform::KnownFolderPath(platform::KnownFolder::CommonAppData);
  CopyBounded(record.mTagPath, folder);
  const std::string path = record.mTagPath;
  if (path.empty() || !IsConvertiblePath(path)) return false;
  return platform::PathExists(path) || platform::MakeFolder(path, kCommonAppDataMode) == 0;
}

}  // namespace

bool DiscoverTagDirectory(SwTagRecord& record) {
  if (!FindCommonAppData(record)) {
    TagLog::Line(
        "%s: %s: Could not find Corvel specific \"common files\" directory used by ISO tag files. "
        "Either \"common files\" was not found or Corvel folder could not be created.\n",
        kSwTagModule, kSwTagLevel);
    return false;
  }
  if (!platform::IsFolder(record.mTagPath)) {
    TagLog::Line("%s: %s: %s exists but is not a directory.\n", kSwTagModule, kSwTagLevel,
                 record.mTagPath);
    return false;
  }
  AppendBounded(record.mTagPath, "/");
  AppendBounded(record.mTagPath, TagEntityRegid());
  const std::string directory = record.mTagPath;

  switch (EntryAt(directory)) {
    case EntryKind::Missing:
      if (!IsConvertiblePath(directory) || platform::MakeFolder(directory, kTagFolderMode) != 0) {
        TagLog::Line("%s: %s: Could not create %s\n", kSwTagModule, kSwTagLevel, directory.c_str());
        return false;
      }
      ApplyAccessRules(directory);
      ApplyAccessRules(directory);
      return true;
    case EntryKind::Folder:
      ApplyAccessRules(directory);
      return true;
    default:
      TagLog::Line("%s: %s: %s exists but is not a directory.\n", kSwTagModule, kSwTagLevel,
                   directory.c_str());
      return false;
  }
}

uint16_t PlaceTag(SwTagRecord& record, const char* productName, const char* productCode,
                  const char* locale, uint32_t caller) {
  if (!record.mDirectoryOk) {
    TagLog::Line(
        "%s: %s: Either ISO Path was not found or could not be created. No ISO tag files will be "
        "generated.\n",
        kSwTagModule, kSwTagLevel);
    return 260;
  }
  record.mCaller = caller;

  const std::string code = productCode ? productCode : "";
  const std::string locale_text = locale ? locale : "";
  const std::string unique_id = locale_text.empty() ? code : code + "-" + locale_text;
  const std::string regid = TagEntityRegid();
  AppendBounded(record.mTagPath, "/");
  CopyBounded(record.mLocaleLessPath, record.mTagPath);
  AppendBounded(record.mLocaleLessPath, regid + "_" + code + kTagFileExtension);
  AppendBounded(record.mTagPath, regid + "_" + unique_id + kTagFileExtension);

  record.mExistingLoaded = false;
  record.mChanged = false;
  if (EntryExists(record.mTagPath)) {
    ReadExistingTag(record);
  } else if (!locale_text.empty() && EntryExists(record.mLocaleLessPath)) {
    TagLog::Line("%s: %s: Old File %s file\n", kSwTagModule, kSwTagLevel, record.mLocaleLessPath);
    TagLog::Line("%s: %s: New File %s file\n", kSwTagModule, kSwTagLevel, record.mTagPath);
    if (platform::RenameNoReplace(record.mLocaleLessPath, record.mTagPath) != 0) {
      TagLog::Line("%s: %s: Rename failed\n", kSwTagModule, kSwTagLevel);
    }
    ReadExistingTag(record);
  }

  record.mProductTitle = productName ? productName : "";
  record.mUniqueId = unique_id;
  record.mSoftwareCreatorName = TagEntityName();
  record.mSoftwareLicensorName = TagEntityName();
  record.mTagCreatorName = TagEntityName();
  record.mSoftwareCreatorRegid = regid;
  record.mSoftwareLicensorRegid = regid;
  record.mTagCreatorRegid = regid;
  record.mSoftwareIdTagCreatorRegid = regid;
  return 0;
}

void StoreNewTag(SwTagRecord& record, const markup::CMarkupSTL& document) {
  const std::string path = record.mTagPath;
  if (EntryExists(path)) {
    const int removed = platform::RemoveFile(path) == 0 ? 0 : -1;
    TagLog::Line("%s: %s: Unlinking existing %s file, ret = %d on Create New Tag File.\n",
                 kSwTagModule, kSwTagLevel, path.c_str(), removed);
  }
  if (!IsConvertiblePath(path)) return;
  const int fd = platform::CreateFreshFile(path, OpenFlags::Write, kTagFileMode);
  if (fd < 0) return;
  ApplyAccessRulesToOpenFile(path, fd);
  WriteAndClose(fd, TagFileBytes(document, false));
}

void SaveUpdatedTag(SwTagRecord& record) {
  const std::string path = record.mTagPath;
  int fd = OpenExistingFile(path, OpenFlags::Write | OpenFlags::Truncate);
  // A file that cannot be rewritten in place safely (another hard link to it was planted,
  // or it was swapped for a link since it was read) is replaced by a new one instead.
  if (fd < 0 && IsConvertiblePath(path))
    fd = platform::CreateFreshFile(path, OpenFlags::Write, kTagFileMode);
  if (fd < 0) return;
  WriteAndClose(fd, TagFileBytes(record.mDocument, record.mUnicodeFile));
}

}  // namespace corvel::swtag
