// The tag document: the text of a new tag, reading an existing tag into the record, updating
// an existing tag in place, and the validation that decides whether a tag is written.
#pragma once

#include <string>

#include "swtag/swtag_record.h"

namespace corvel::swtag {

// The ISO/IEC 19770-2:2008 schema namespace and the XML Schema instance namespace.
inline constexpr const char* kSwidNamespace =
    "http://standards.iso.org/iso/19770/-2/2008/schema.xsd";
inline constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* kTagRootName = "swid:software_identification_tag";

enum class TagValidation {
  kValid,
  kMandatoryMissing,  // one of the 14 mandatory fields is empty
  kInvalidData,       // a version number holds something other than the digits 0 to 9
};

TagValidation ValidateRecord(const SwTagRecord& record);

// The 41 rows of a new tag, CRLF between rows and none after the last. Values are inserted
// byte for byte, without escaping.
std::string NewTagText(const SwTagRecord& record);

// Loads the file at the record's tag path into its document and, when its root is the tag
// root, reads every known element into the record and sets mExistingLoaded.
void ReadExistingTag(SwTagRecord& record);

// Adds the elements a complete tag needs to the loaded document, then replaces (escaped)
// every value that differs from the record, setting mChanged when one did.
void UpdateExistingTag(SwTagRecord& record);

}  // namespace corvel::swtag
