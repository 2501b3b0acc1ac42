#include "swtag/product_records.h"

#include <cstring>

#include "services/zep_bindings.h"

namespace corvel::swtag {

namespace {

// A decimal number of 1 to 6 digits above 0, or 0.
uint32_t PositiveNumber(const std::string& text) {
  if (text.empty() || text.size() > 6) return 0;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

// The version text through its 16-byte buffer, which keeps "0.0" when nothing is stored.
std::string ReadVersionText(ZEPHandle store, const std::string& productCode) {
  char version[kVersionBufferSize] = {};
  std::strncpy(version, kDefaultVersionText, sizeof version - 1);
  char read[kVersionBufferSize] = {};
  if (zep::C_ZEPPCDServiceValueForKeyInSubDomain(store, read, sizeof read, "ProductVersion",
                                                 productCode.c_str(), false) == 0) {
    read[sizeof read - 1] = '\0';
    std::memcpy(version, read, sizeof version);
  }
  return version;
}

}  // namespace

std::string ReadProductRecord(ZEPHandle store, const char* key, const std::string& subdomain,
                              uint32_t* status) {
  char buffer[kRecordBufferSize] = {};
  const uint32_t result = zep::C_ZEPPCDServiceValueForKeyInSubDomain(store, buffer, sizeof buffer,
                                                                     key, subdomain.c_str(), false);
  if (status) *status = result;
  if (result != 0) return {};
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

bool TaggingDisabledBy(const std::string& value) {
  return value == "true" || value == "True" || value == "1";
}

ProductTagValues ReadProductTagValues(ZEPHandle store, const std::string& productCode) {
  ProductTagValues values;
  values.serialNumber = ReadProductRecord(store, "SerialNumber", productCode, &values.queryStatus);
  values.activationStatus = ReadProductRecord(store, "ActivationStatus", productCode);
  values.channelType = ReadProductRecord(store, "ChannelType", productCode);
  values.customerType = ReadProductRecord(store, "CustomerType", productCode);
  if (values.customerType.empty()) values.customerType = values.channelType;
  values.entitlementRequired =
      ReadProductRecord(store, "EntitlementRequired", productCode).rfind("true", 0) == 0;
  values.versionText = ReadVersionText(store, productCode);
  values.productNameIndex =
      PositiveNumber(ReadProductRecord(store, "ProductNameIndex", productCode));
  return values;
}

std::string ProductNameKey(uint32_t index) {
  if (index == 0) return kProductNameKey;
  return std::string(kProductNameKey) + "_" + std::to_string(index);
}

VersionParts SplitVersion(const std::string& versionText) {
  const size_t dot = versionText.find('.');
  if (dot == std::string::npos) return {versionText, ""};
  return {versionText.substr(0, dot), versionText.substr(dot + 1)};
}

}  // namespace corvel::swtag
