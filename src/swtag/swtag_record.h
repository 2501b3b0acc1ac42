// SwTagRecord: the values of one software identification tag while a tagging pass builds it,
// with the paths of its file and the existing tag document when one was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "markup/markup_document.h"

namespace corvel::swtag {

// Size of the tag path and locale-less path buffers, terminator included. Longer paths are
// cut silently; the cut path still lies inside the tag directory because no part of a tag
// file name may hold a path separator.
inline constexpr size_t kTagPathSize = 1024;

struct SwTagRecord {
  // Runs the tag directory discovery: mTagPath receives the directory, mDirectoryOk the
  // outcome.
  SwTagRecord();
  SwTagRecord(const SwTagRecord&) = delete;
  SwTagRecord& operator=(const SwTagRecord&) = delete;

  uint32_t mCaller = 0;                     // kept for the log only
  char mLocaleLessPath[kTagPathSize] = {};  // the tag file path without a locale
  char mTagPath[kTagPathSize] = {};         // the tag directory, then the tag file path
  markup::CMarkupSTL mDocument;             // the existing tag, when one was read
  // mDocument's Unicode-file form: the file began with FF FE and is rewritten as UTF-16LE.
  // Tag files are read without following links and handed to the engine as text, so the
  // record keeps the form the engine's Load would have flagged.
  bool mUnicodeFile = false;
  bool mDirectoryOk = false;
  bool mExistingLoaded = false;
  bool mChanged = false;
  bool mEntitlementRequired = false;
  std::string mSoftwareCreatorName, mSoftwareCreatorRegid;
  std::string mSoftwareLicensorName, mSoftwareLicensorRegid;
  std::string mTagCreatorName, mTagCreatorRegid;
  std::string mMajor, mMinor, mBuild, mReview;
  std::string mVersionName;
  std::string mProductTitle;
  std::string mUniqueId;
  std::string mSoftwareIdTagCreatorRegid;
  std::string mActivationStatus, mChannelType, mCustomerType;
  std::string mSerialNumber;
};

// Bounded copy and append into a path buffer; a longer result is cut, always terminated.
template <size_t N>
void CopyBounded(char (&buffer)[N], std::string_view text) {
  const size_t count = text.size() < N - 1 ? text.size() : N - 1;
  text.copy(buffer, count);
  buffer[count] = '\0';
}

template <size_t N>
void AppendBounded(char (&buffer)[N], std::string_view text) {
  size_t used = 0;
  while (used < N - 1 && buffer[used] != '\0') ++used;
  const size_t room = N - 1 - used;
  const size_t count = text.size() < room ? text.size() : room;
  text.copy(buffer + used, count);
  buffer[used + count] = '\0';
}

}  // namespace corvel::swtag
