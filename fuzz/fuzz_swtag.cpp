// The tag writer reading and updating an existing tag file: the input's bytes stand in the
// scratch tag directory under the tag's name (or the locale-less name it takes over), as a
// file, or behind a planted symbolic or hard link, and one tagging pass runs over it.
// Checked on every input:
//  - the pass gives its documented results;
//  - nothing is read or written through a planted link: the link's target keeps its bytes,
//    a linked tag is never loaded as the existing tag, and a new tag replaces the link;
//  - afterwards the tag directory holds nothing but the tag file (and a locale-less file
//    that could not be taken over), and the tag file is the original bytes or a well-formed
//    tag;
//  - after a pass with valid values a second pass reads every value back from the file as
//    it was set (or empty, where an element of that name holds child elements).
#include "fuzz_support.h"
#include "swtag/swtag.h"
#include "swtag/swtag_document.h"
#include "swtag/swtag_entity.h"
#include "swtag/swtag_record.h"
#include "swtag/swtag_tag_file.h"

namespace swtag = corvel::swtag;
using Record = swtag::SwTagRecord;

namespace {

std::string TagFileName(const std::string& code, const std::string& locale) {
  return std::string(swtag::TagEntityRegid()) + "_" + code + (locale.empty() ? "" : "-" + locale) +
         ".swidtag";
}

// A text of printable ASCII characters (markup characters included); other bytes are
// folded into that range.
std::string Printable(FuzzedDataProvider& in, size_t longest) {
  std::string text = in.ConsumeRandomLengthString(longest);
  for (char& c : text) c = c >= 32 && c <= 126 ? c : static_cast<char>(32 + uint8_t(c) % 95);
  return text;
}

// The text fields of a pass, in the order the input gives them, with where a pass keeps them;
// a field without length (major, minor, build, review) is valid only as decimal digits.
struct Field {
  uint32_t id;
  std::string Record::*read;
  size_t longest;
};
const Field kFields[] = {{swtag::kSwTagFieldVersionName, &Record::mVersionName, 24},
                         {swtag::kSwTagFieldMajor, &Record::mMajor, 0},
                         {swtag::kSwTagFieldMinor, &Record::mMinor, 0},
                         {swtag::kSwTagFieldBuild, &Record::mBuild, 0},
                         {swtag::kSwTagFieldReview, &Record::mReview, 0},
                         {swtag::kSwTagFieldActivationStatus, &Record::mActivationStatus, 16},
                         {swtag::kSwTagFieldChannelType, &Record::mChannelType, 16},
                         {swtag::kSwTagFieldCustomerType, &Record::mCustomerType, 16},
                         {swtag::kSwTagFieldSerialNumber, &Record::mSerialNumber, 24}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int planting = in.ConsumeIntegralInRange(0, 3);  // file, symbolic link, hard link, none
  const bool localeLess = in.ConsumeBool();  // the file stands under the locale-less name
  const std::string code = in.ConsumeIntegralInRange(0, 7) == 0 ? Printable(in, 12) : "PRODUCT-1";
  const std::string locale = in.ConsumeBool() ? "en_US" : "";
  const bool entitlement = in.ConsumeBool();
  std::string values[std::size(kFields)];
  bool valid = true;  // a version name, and the four numbers as digits
  for (size_t i = 0; i < std::size(kFields); ++i) {
    // A number is sometimes invalid.
    const size_t longest = kFields[i].longest;
    const bool number = longest == 0 && in.ConsumeIntegralInRange(0, 7) != 0;
    values[i] = number ? std::to_string(in.ConsumeIntegral<uint16_t>())
                       : Printable(in, longest ? longest : 4);
    const bool digits = values[i].find_first_not_of("0123456789") == std::string::npos;
    if (longest == 0 || i == 0) valid = valid && !values[i].empty() && (longest || digits);
  }
  const std::string bytes = in.ConsumeRemainingBytesAsString();

  const std::string folder =
      corvel::fuzz::Scratch().common_appdata() + "/" + swtag::TagEntityRegid();
  fs::remove_all(folder);
  fs::create_directory(folder);
  const std::string victim = corvel::fuzz::Scratch().Path("victim");
  corvel::fuzz::WriteWholeFile(victim, bytes);

  const bool codeUsable = code.find_first_not_of(' ') != std::string::npos &&
                          code.find_first_of("/\\") == std::string::npos;
  const std::string tagName = TagFileName(code, locale);
  const std::string plantedName = TagFileName(code, localeLess ? "" : locale);
  const std::string planted = folder + "/" + plantedName;
  if (codeUsable && planting == 0) corvel::fuzz::WriteWholeFile(planted, bytes);
  if (codeUsable && planting == 1) fs::create_symlink(victim, planted);
  if (codeUsable && planting == 2) fs::create_hard_link(victim, planted);

  // Tags the markup engine cannot edit consistently (see TagsRoundTrip) may be rewritten as
  // text that no longer parses; the checks of the written file leave them out.
  corvel::markup::CMarkupSTL original;
  bool unicode = false;
  const bool editable =
      !swtag::LoadTagFile(victim, original, &unicode) || corvel::fuzz::TagsRoundTrip(original);

  const uint16_t started = swtag::SwTagStart("Product", code.c_str(), locale.c_str(), 7);
  if (!codeUsable) {
    FUZZ_CHECK(started == swtag::kSwTagInvalidArgument, "a blank or separated code was accepted");
    FUZZ_CHECK(swtag::SwTagEnd() == swtag::kSwTagNoPass, "a pass was open after a refused start");
    return 0;
  }
  FUZZ_CHECK(started == swtag::kSwTagSuccess, "SwTagStart failed: " + std::to_string(started));
  const Record* record = swtag::SwTagCurrentRecord();  // a pass always has its record
  FUZZ_CHECK(planting != 1 || !record->mExistingLoaded, "a tag was read through a symbolic link");
  const bool updating = record->mExistingLoaded;
  FUZZ_CHECK(swtag::SwTagSetField(swtag::kSwTagFieldEntitlementRequired,
                                  entitlement ? "true" : "false") == swtag::kSwTagSuccess,
             "entitlement refused");
  for (size_t i = 0; i < std::size(kFields); ++i) {
    FUZZ_CHECK(swtag::SwTagSetField(kFields[i].id, values[i].c_str()) == swtag::kSwTagSuccess,
               "a field was refused");
  }
  FUZZ_CHECK(swtag::SwTagWrite() == swtag::kSwTagSuccess, "SwTagWrite failed");
  FUZZ_CHECK(swtag::SwTagEnd() == swtag::kSwTagSuccess, "SwTagEnd failed");
  FUZZ_CHECK(corvel::fuzz::ReadWholeFile(victim) == bytes,
             "the target of a planted link was changed");

  // Only the tag file remains, and the locale-less file it could not take over.
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    FUZZ_CHECK(name == tagName || name == plantedName,
               "unexpected entry in the tag directory: " + name);
  }
  // A pass that writes a new tag (valid values, no markup characters) puts it in place of a
  // planted symbolic link.
  bool plain = valid && code.find_first_of("<>&") == std::string::npos;
  for (const std::string& value : values) {
    plain = plain && value.find_first_of("<>&") == std::string::npos;
  }
  FUZZ_CHECK(!plain || planting != 1 || !fs::is_symlink(folder + "/" + tagName),
             "a planted link was left in place of the tag");
  const std::optional<std::string> after = corvel::fuzz::ReadWholeFile(folder + "/" + tagName);
  if (!after) return 0;  // nothing written, or a link left
  const bool unchanged = planting != 3 && after == bytes;
  if (!unchanged && !editable) return 0;
  corvel::markup::CMarkupSTL reread;
  FUZZ_CHECK(unchanged || (swtag::LoadTagFile(folder + "/" + tagName, reread, &unicode) &&
                           reread.FindElement(swtag::kTagRootName)),
             "the tag file is neither the original nor a well-formed tag");
  if (unchanged || !valid) return 0;
  // A new tag holds its values unescaped, as they were given; they read back decoded, so
  // only values without markup characters are compared there.
  for (size_t i = 0; i < std::size(kFields) && !updating; ++i) {
    if (values[i].find_first_of("<>&") != std::string::npos) return 0;
  }

  // A second pass reads every value back from the file the first one wrote: as it was set,
  // or empty where an element of that name holds child elements.
  FUZZ_CHECK(swtag::SwTagStart("Product", code.c_str(), locale.c_str(), 7) == swtag::kSwTagSuccess,
             "second SwTagStart failed");
  record = swtag::SwTagCurrentRecord();
  FUZZ_CHECK(record->mExistingLoaded, "the written tag is not read as an existing tag");
  FUZZ_CHECK(entitlement || !record->mEntitlementRequired, "the entitlement flag reads back set");
  for (size_t i = 0; i < std::size(kFields); ++i) {
    const std::string& read = record->*kFields[i].read;
    FUZZ_CHECK(read == values[i] || read.empty(),
               "field " + std::to_string(i) + " reads back otherwise");
  }
  FUZZ_CHECK(swtag::SwTagEnd() == swtag::kSwTagSuccess, "second SwTagEnd failed");
  return 0;
}
