// The tagging drivers of the instance: tagging a product at install, from its driver payload,
// and tagging the running product at commit. Both gather the product's values from the store
// (see product_records.h for the keys) inside one store transaction and run one tagging pass.
// Their lines go to the main log; the pass itself reports in "swtag.log".
#include <string>

#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "services/zep_bindings.h"
#include "swtag/product_records.h"
#include "swtag/swtag.h"

namespace corvel::frame {

namespace {

using swtag::ProductTagValues;
using swtag::ReadProductRecord;

std::string TextOf(const char* text) { return text ? text : ""; }

// Sets the values of a pass in the drivers' order and gives the version parts for the log.
swtag::VersionParts SetTagFields(const ProductTagValues& values, bool entitlementRequired,
                                 const std::string& customerType) {
  const swtag::VersionParts version = swtag::SplitVersion(values.versionText);
  swtag::SwTagSetField(swtag::kSwTagFieldEntitlementRequired,
                       entitlementRequired ? "true" : "false");
  swtag::SwTagSetField(swtag::kSwTagFieldActivationStatus, values.activationStatus.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldSerialNumber, values.serialNumber.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldChannelType, values.channelType.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldCustomerType, customerType.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldVersionName, values.versionText.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldMajor, version.major.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldMinor, version.minor.c_str());
  swtag::SwTagSetField(swtag::kSwTagFieldBuild, "0");
  swtag::SwTagSetField(swtag::kSwTagFieldReview, "0");
  return version;
}

// Ends the transaction of a store handle and gives it back. 0, or the end's status when the
// transaction did not commit.
uint32_t CloseStore(ZEPHandle& store) {
  if (store == nullptr) return 0;
  const uint32_t ended = zep::C_ZEPPCDServiceEndTransaction(store);
  zep::C_ZEPRelease(store);
  store = nullptr;
  return ended;
}

ZEPHandle OpenStore() {
  ZEPHandle store = zep::C_ZEPPCDServiceCreate();
  if (store != nullptr) zep::C_ZEPPCDServiceBeginTransaction(store);
  return store;
}

}  // namespace

uint32_t TAVLibImpl::ISOTaggingAtInstall(const char* payloadCodeText) {
  ZEPHandle store = OpenStore();
  const std::string payloadCode = TextOf(payloadCodeText);
  FrameLog(*this, "TAVLibImpl::ISOTaggingAtInstall STARTED");
  FrameLog(*this, "TAVLibImpl::ISOTaggingAtInstall inpayloadCode = %s", payloadCode.c_str());

  uint32_t driverStatus = 0;
  const std::string driverCode =
      ReadProductRecord(store, "DefaultDriverPayload", payloadCode, &driverStatus);
  FrameLog(*this, "TAVLibImpl::ISOTaggingAtInstall driverCode = %s, stat = %u",
           driverCode.c_str(), driverStatus);

  char productCodeBuffer[swtag::kRecordBufferSize] = {};
  if (zep::C_ZEPPCDServiceLicensingCodeForCorvelCode(store, productCodeBuffer,
                                                     sizeof productCodeBuffer,
                                                     payloadCode.c_str()) != 0) {
    productCodeBuffer[0] = '\0';
  }
  productCodeBuffer[sizeof productCodeBuffer - 1] = '\0';
  const std::string productCode = productCodeBuffer;
  const std::string disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", productCode);

  if (payloadCode != driverCode) {
    FrameLog(*this, "TAVLibImpl::ISOTaggingAtInstall Only Driver can create tag files!!");
  } else if (!swtag::TaggingDisabledBy(disabled)) {
    FrameLog(*this, "TAVLibImpl::ISOTaggingAtInstall zinnia_app = %s", swtag::kProductNameKey);
    const std::string productName = ReadProductRecord(store, swtag::kProductNameKey, productCode);
    const ProductTagValues values = swtag::ReadProductTagValues(store, productCode);
    FrameLog(*this,
             "TAVLibImpl::ISOTaggingAtInstall prodName = %s,licensingCode = %s, prodLocale = %s, svrStat = %u ",
             productName.c_str(), productCode.c_str(), "", values.queryStatus);

    if (swtag::SwTagStart(productName.c_str(), productCode.c_str(), "", 0) != swtag::kSwTagSuccess) {
      swtag::SwTagEnd();
    } else {
      const swtag::VersionParts version = SetTagFields(values, false, values.channelType);
      FrameLog(*this,
               "TAVLibImpl::ISOTaggingAtInstall productVersion = %s,productMajorVersion = %s, productMinorVersion = %s",
               values.versionText.c_str(), version.major.c_str(), version.minor.c_str());
      swtag::SwTagWrite();
      swtag::SwTagEnd();
    }
  }

  const uint32_t ended = CloseStore(store);
  if (ended != 0) {
    FrameLog(*this,
             "TAVLibImpl::ISOTaggingAtInstall failed to commit the store transaction (status %u)",
             ended);
  }
  FrameLog(*this, "TAVLibImpl::ISOTaggingAtInstall ENDED");
  return ended != 0 ? kTAVLibStoreFailed : kTAVLibSuccess;
}

void TAVLibImpl::DoISOTagging(const char* productCodeOverride, const char* localeOverride) {
  mStore = OpenStore();
  FrameLog(*this, "TAVLibImpl::DoISOTagging STARTED");

  const std::string productCode = productCodeOverride ? productCodeOverride : mAppProductId;
  FrameLog(*this, "TAVLibImpl::DoISOTagging mAppRunningLEID = %s", productCode.c_str());
  if (localeOverride) mAppLocale = localeOverride;
  FrameLog(*this, "TAVLibImpl::DoISOTagging mAppLocale = %s", mAppLocale.c_str());

  const std::string payloadCode = ReadProductRecord(mStore, "PayloadCode", productCode);
  const std::string driverCode = ReadProductRecord(mStore, "DefaultDriverPayload", payloadCode);
  FrameLog(*this, "TAVLibImpl::DoISOTagging mPayloadCode = %s", payloadCode.c_str());
  FrameLog(*this, "TAVLibImpl::DoISOTagging mDriverCode = %s", driverCode.c_str());

  const std::string driverProductId = !mDriverProductId.empty()
                                          ? mDriverProductId
                                          : ReadProductRecord(mStore, "LicensingCode", driverCode);
  FrameLog(*this, "TAVLibImpl::DoISOTagging mDriverLEIDCode = %s", driverProductId.c_str());

  std::string disabled = ReadProductRecord(mStore, "ISO_TAGGING_DISABLED", productCode);
  if (disabled.empty()) disabled = ReadProductRecord(mStore, "ISO_TAGGING_DISABLED", driverProductId);

  if (!swtag::TaggingDisabledBy(disabled)) {
    const ProductTagValues values = swtag::ReadProductTagValues(mStore, productCode);
    const std::string nameKey = swtag::ProductNameKey(values.productNameIndex);
    FrameLog(*this, "TAVLibImpl::DoISOTagging zinnia_app = %s", nameKey.c_str());
    const std::string productName = ReadProductRecord(mStore, nameKey.c_str(), productCode);
    const std::string locale = mAppLocale;
    FrameLog(*this,
             "TAVLibImpl::DoISOTagging prodName = %s,licensingCode = %s, prodLocale = %s, svrStat = %u ",
             productName.c_str(), productCode.c_str(), locale.c_str(), values.queryStatus);

    if (swtag::SwTagStart(productName.c_str(), productCode.c_str(), locale.c_str(), 0) !=
        swtag::kSwTagSuccess) {
      swtag::SwTagEnd();
    } else {
      const swtag::VersionParts version =
          SetTagFields(values, values.entitlementRequired, values.customerType);
      FrameLog(*this,
               "TAVLibImpl::DoISOTagging productVersion = %s,productMajorVersion = %s, productMinorVersion = %s",
               values.versionText.c_str(), version.major.c_str(), version.minor.c_str());
      swtag::SwTagWrite();
      swtag::SwTagEnd();
    }
  }

  if (const uint32_t ended = CloseStore(mStore); ended != 0) {
    FrameLog(*this, "TAVLibImpl::DoISOTagging failed to commit the store transaction (status %u)",
             ended);
  }
  FrameLog(*this, "TAVLibImpl::DoISOTagging ENDED");
}

}  // namespace corvel::frame
