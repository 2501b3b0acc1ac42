#include <cstring>
#include <memory>

#include "markup/markup_document.h"
#include "swtag/swtag.h"
#include "swtag/swtag_document.h"
#include "swtag/swtag_log.h"
#include "swtag/swtag_placement.h"
#include "swtag/swtag_record.h"

namespace corvel::swtag {

namespace {

// The single process-wide state of the tag writer.
struct SwTagState {
  bool mPassOpen = false;
  std::unique_ptr<SwTagRecord> mRecord;
};

std::unique_ptr<SwTagState>& State() {
  static std::unique_ptr<SwTagState> state;
  return state;
}

SwTagRecord* OpenRecord() {
  const auto& state = State();
  return state && state->mPassOpen ? state->mRecord.get() : nullptr;
}

const char* Printable(const char* text) { return text ? text : "(null)"; }

// Non-null, non-empty and holding a character other than a space.
bool IsBlank(const char* text) { return !text || text[std::strspn(text, " ")] == '\0'; }

// A product code or locale becomes part of a file name; a separator would leave the directory.
bool HoldsPathSeparator(const char* text) {
  return text && (std::strchr(text, '/') || std::strchr(text, '\\'));
}

uint16_t SetEntitlement(SwTagRecord& record, const char* value) {
  if (std::strncmp(value, "true", 4) == 0) {
    record.mEntitlementRequired = true;
  } else if (std::strncmp(value, "false", 5) == 0) {
    record.mEntitlementRequired = false;
  } else {
    return kSwTagInvalidArgument;
  }
  return kSwTagSuccess;
}

// The text field that an id sets, or null for the ids that are accepted without effect.
std::string* TextField(SwTagRecord& record, uint32_t field) {
  switch (field) {
    case 2:
      return &record.mVersionName;
    case 3:
      return &record.mMajor;
    case 4:
      return &record.mMinor;
    case 5:
      return &record.mBuild;
    case 6:
      return &record.mReview;
    case 7:
    case 9:
    case 13:
      return &record.mSoftwareCreatorName;
    case 8:
    case 10:
    case 14:
      return &record.mSoftwareCreatorRegid;
    case 15:
      return &record.mActivationStatus;
    case 16:
      return &record.mChannelType;
    case 17:
      return &record.mCustomerType;
    case 18:
      return &record.mSerialNumber;
    default:
      return nullptr;
  }
}

void LogNotCreatedFor(const SwTagRecord& record) {
  TagLog::Line("%s: %s: Unique ID = %s & Product Title = %s.\n", kSwTagModule, kSwTagLevel,
               record.mUniqueId.c_str(), record.mProductTitle.c_str());
}

void CreateNewTag(SwTagRecord& record) {
  markup::CMarkupSTL document;
  document.SetDocument(NewTagText(record).c_str());
  if (!document.IsWellFormed()) {
    TagLog::Line("%s: %s: Tag file not well formed.\n", kSwTagModule, kSwTagLevel);
    return;
  }
  StoreNewTag(record, document);
  TagLog::Line("%s: %s: Created new %s file.\n", kSwTagModule, kSwTagLevel, record.mTagPath);
}

void UpdateTag(SwTagRecord& record) {
  UpdateExistingTag(record);
  if (!record.mChanged || !record.mDocument.IsWellFormed()) return;
  SaveUpdatedTag(record);
  TagLog::Line("%s: %s: Updated existing %s file\n", kSwTagModule, kSwTagLevel, record.mTagPath);
}

}  // namespace

uint16_t SwTagStart(const char* productName, const char* productCode, const char* locale,
                    uint32_t caller) {
  TagLog::Open();
  TagLog::Line("%s: %s: ==========================================\n", kSwTagModule, kSwTagLevel);
  TagLog::Line("%s: %s: Start SWTAGGING productName=%s; licensingCode=%s; locale=%s; caller=%u\n",
               kSwTagModule, kSwTagLevel, Printable(productName), Printable(productCode),
               Printable(locale), caller);

  auto& state = State();
  if (!state) state = std::make_unique<SwTagState>();
  state->mPassOpen = false;
  state->mRecord.reset();
  auto record = std::make_unique<SwTagRecord>();

  if (IsBlank(productName) || IsBlank(productCode) || HoldsPathSeparator(productCode) ||
      HoldsPathSeparator(locale)) {
    return kSwTagInvalidArgument;
  }
  const uint16_t placed = PlaceTag(*record, productName, productCode, locale ? locale : "", caller);
  if (placed != kSwTagSuccess) return placed;

  state->mRecord = std::move(record);
  state->mPassOpen = true;
  return kSwTagSuccess;
}

uint16_t SwTagSetField(uint32_t field, const char* value) {
  SwTagRecord* record = OpenRecord();
  if (!record) return kSwTagNoPass;
  if (!value) return kSwTagInvalidArgument;
  if (field == kSwTagFieldEntitlementRequired) return SetEntitlement(*record, value);
  if (std::string* text = TextField(*record, field)) *text = value;
  return kSwTagSuccess;
}

uint16_t SwTagWrite() {
  SwTagRecord* record = OpenRecord();
  if (!record) return kSwTagNoPass;
  switch (ValidateRecord(*record)) {
    case TagValidation::kMandatoryMissing:
      TagLog::Line(
          "%s: %s: Error!! All Mandatory Flags are not present, tag file will not be created for\n",
          kSwTagModule, kSwTagLevel);
      LogNotCreatedFor(*record);
      break;
    case TagValidation::kInvalidData:
      TagLog::Line("%s: %s: Error!! All Data is not Valid, tag file will not be created for\n",
                   kSwTagModule, kSwTagLevel);
      LogNotCreatedFor(*record);
      break;
    case TagValidation::kValid:
      if (record->mExistingLoaded) {
        UpdateTag(*record);
      } else {
        CreateNewTag(*record);
      }
      break;
  }
  return kSwTagSuccess;
}

uint16_t SwTagEnd() {
  const bool was_open = OpenRecord() != nullptr;
  State().reset();
  TagLog::Line("%s: %s: End SWTAGGING\n", kSwTagModule, kSwTagLevel);
  TagLog::Line("%s: %s: ==========================================\n\n\n", kSwTagModule,
               kSwTagLevel);
  TagLog::Close();
  return was_open ? kSwTagSuccess : kSwTagNoPass;
}

const SwTagRecord* SwTagCurrentRecord() { return OpenRecord(); }

}  // namespace corvel::swtag
