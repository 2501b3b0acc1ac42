// The product records that the tagging drivers read from the store. Every key is read from a
// subdomain named by a code, in the protected domain (domain flag false), into a 512-byte
// buffer; a key that is missing, or a failed read, gives an empty value.
//
// Keys with a fixed meaning:
//   "DefaultDriverPayload"  under a payload code: the code of that product's driver payload
//   "ISO_TAGGING_DISABLED"  under a product code: "true", "True" or "1" turns tagging off
//   "ZINNIA_APP"            under a product code: the product name (swid:product_title)
//   "PayloadCode"           under a product code: that product's payload code
//   "LicensingCode"         under a payload code: the product code of that payload
//
// Keys of the product's own subdomain (its product code) that supply the remaining tag
// values. A product's configuration document sets them like any other entry:
//   "SerialNumber"          swid:serial_number                                (empty if absent)
//   "ActivationStatus"      swid:activation_status                            (empty if absent)
//   "ChannelType"           swid:channel_type                                 (empty if absent)
//   "CustomerType"          swid:customer_type when the running product is tagged; the
//                           install pass, and a product without this key, use the channel
//                           type
//   "EntitlementRequired"   swid:entitlement_required_indicator when the running product is
//                           tagged: a value beginning with "true" sets it; anything else, or
//                           no value, leaves "false" (the install pass always writes "false")
//   "ProductVersion"        the version text (at most 15 bytes; "0.0" when absent), written as
//                           swid:name and split into major and minor
//   "ProductNameIndex"      a positive decimal number n: the running product's name is read
//                           from "ZINNIA_APP_n" instead of "ZINNIA_APP"
// The status shown as svrStat in the main log is the store's result for "SerialNumber".
#pragma once

#include <cstdint>
#include <string>

#include "zepservices.h"

namespace corvel::swtag {

inline constexpr const char* kProductNameKey = "ZINNIA_APP";
inline constexpr uint32_t kRecordBufferSize = 512;
inline constexpr uint32_t kVersionBufferSize = 16;
inline constexpr const char* kDefaultVersionText = "0.0";

// One value from the store; empty when it cannot be read. `status` receives the store's
// result when given.
std::string ReadProductRecord(ZEPHandle store, const char* key, const std::string& subdomain,
                              uint32_t* status = nullptr);

// Whether an "ISO_TAGGING_DISABLED" value turns tagging off: exactly "true", "True" or "1".
bool TaggingDisabledBy(const std::string& value);

struct ProductTagValues {
  std::string serialNumber;
  std::string activationStatus;
  std::string channelType;
  std::string customerType;
  bool entitlementRequired = false;
  std::string versionText = kDefaultVersionText;
  uint32_t queryStatus = 0;       // svrStat
  uint32_t productNameIndex = 0;  // 0: none
};

// The tag values of the product `productCode`.
ProductTagValues ReadProductTagValues(ZEPHandle store, const std::string& productCode);

// "ZINNIA_APP", or "ZINNIA_APP_<index>" for a positive index.
std::string ProductNameKey(uint32_t index);

// Major is the text before the first dot (all of it without a dot); minor what follows the
// first dot, further dots included, or empty.
struct VersionParts {
  std::string major;
  std::string minor;
};
VersionParts SplitVersion(const std::string& versionText);

}  // namespace corvel::swtag
