// The sample product of the installation demo: its codes and its configuration documents.
#pragma once

#include <string>

namespace tavctl::demo {

// The payload being installed; it is its own driver payload, so it tags its product.
inline constexpr const char* kPayloadCode = "CVDEMO-PAYLOAD-1200";
// The product code, named by the payload's "LicensingCode".
inline constexpr const char* kProductCode = "CVDEMO-PRODUCT-1200";
// A helper linked by the payload's "MurmelCode": removed with the payload.
inline constexpr const char* kHelperCode = "CVDEMO-HELPER-1200";
// A shared component no linked-code key names: it outlives the payload.
inline constexpr const char* kSharedCode = "CVDEMO-SHARED";

inline constexpr const char* kAgreementLanguage = "en_US";
inline constexpr const char* kInstallLocale = "en_US";
inline constexpr const char* kAccountId = "demo.user@example.com";

// application.xml: a Payload hive, Other hives for the product, the helper and the shared
// component, a "LicensingCode" and the product records the tag is made from.
std::string ConfigurationDocument();

// application.xml.override: a hive without a code (its entries go under the payload code) and
// one that changes a product record.
std::string OverrideDocument();

}  // namespace tavctl::demo
