// The tag writer: one software identification tag (ISO/IEC 19770-2:2008) per product and
// locale, built in a fixed sequence of calls on the calling thread:
//
//   SwTagStart(product name, product code, locale, caller)
//   SwTagSetField(id, value) ...
//   SwTagWrite()
//   SwTagEnd()          -- after every SwTagStart, also a failed one, to close the tag log
//
// The writer has one process-wide state and no lock: one pass at a time per process.
// Its results stay with its callers; they are not library status codes.
#pragma once

#include <cstdint>

namespace corvel::swtag {

struct SwTagRecord;

enum SwTagResult : uint16_t {
  kSwTagSuccess = 0,
  kSwTagNoDirectory = 260,      // the tag directory is missing and cannot be created
  kSwTagNoPass = 520,           // no pass is open
  kSwTagInvalidArgument = 521,  // a blank name or code, a path separator, a bad value
};

// Field ids of SwTagSetField. Ids not listed here (1, 11, 12, 19, 20 and above 20) are
// accepted and change nothing; the product title, unique id and the publisher's names and
// regids come from SwTagStart and the build configuration.
enum SwTagField : uint32_t {
  kSwTagFieldEntitlementRequired = 0,  // "true..." or "false..." (case-sensitive), else 521
  kSwTagFieldProductTitle = 1,         // no effect
  kSwTagFieldVersionName = 2,
  kSwTagFieldMajor = 3,
  kSwTagFieldMinor = 4,
  kSwTagFieldBuild = 5,
  kSwTagFieldReview = 6,
  kSwTagFieldSoftwareCreatorName = 7,   // also 9 and 13
  kSwTagFieldSoftwareCreatorRegid = 8,  // also 10 and 14
  kSwTagFieldActivationStatus = 15,
  kSwTagFieldChannelType = 16,
  kSwTagFieldCustomerType = 17,
  kSwTagFieldSerialNumber = 18,
};

// Opens the tag log and begins a pass. 521 when the product name or code is null, empty or
// only spaces, or when the product code or locale holds a path separator ("/" or "\"); 260
// when there is no tag directory. No pass is open after a failure. `locale` may be null or
// empty: the tag then has the locale-less name.
uint16_t SwTagStart(const char* productName, const char* productCode, const char* locale,
                    uint32_t caller);
// Sets one field of the current tag: 520 without a pass, 521 for a null value.
uint16_t SwTagSetField(uint32_t field, const char* value);
// Validates the tag and writes it (creating or updating the file): 520 without a pass, else
// 0 whether or not a file was written; the tag log says what happened.
uint16_t SwTagWrite();
// Ends the pass and closes the tag log: 0 when a pass was open, else 520.
uint16_t SwTagEnd();

// The tag being built, or null outside a pass (for diagnostics and tests).
const SwTagRecord* SwTagCurrentRecord();

}  // namespace corvel::swtag
