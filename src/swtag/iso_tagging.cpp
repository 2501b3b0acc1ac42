// The tagging drivers of the instance: tagging a product at install, from its driver payload,
// and tagging the running product at commit. Both gather the product's values from the store
// (see product_records.h for the keys) inside one store transaction and run one tagging pass.
// Their lines go to the main log; the pass itself reports in "swtag.log".
#include "swtag/iso_tagging.h"

#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "services/store_transaction.h"
#include "services/zep_bindings.h"
#include "swtag/product_records.h"
#include "swtag/swtag.h"

namespace corvel::swtag {

namespace {

using frame::FrameLog;

std::string TextOf(const char* text) { return text ? text : ""; }

// Sets the values of a pass in the drivers' order and gives the version parts for the log.
VersionParts SetTagFields(const ProductTagValues& values, bool entitlementRequired,
                          const std::string& customerType) {
  const VersionParts version = SplitVersion(values.versionText);
  SwTagSetField(kSwTagFieldEntitlementRequired, entitlementRequired ? "true" : "false");
  SwTagSetField(kSwTagFieldActivationStatus, values.activationStatus.c_str());
  SwTagSetField(kSwTagFieldSerialNumber, values.serialNumber.c_str());
  SwTagSetField(kSwTagFieldChannelType, values.channelType.c_str());
  SwTagSetField(kSwTagFieldCustomerType, customerType.c_str());
  SwTagSetField(kSwTagFieldVersionName, values.versionText.c_str());
  SwTagSetField(kSwTagFieldMajor, version.major.c_str());
  SwTagSetField(kSwTagFieldMinor, version.minor.c_str());
  SwTagSetField(kSwTagFieldBuild, "0");
  SwTagSetField(kSwTagFieldReview, "0");
  return version;
}

}  // namespace

uint32_t ISOTaggingAtInstall(frame::TAVLibImpl& instance, const char* payloadCodeText) {
  services::StoreTransaction transaction;
  transaction.Begin();
  const ZEPHandle store = transaction.handle();
  const std::string payloadCode = TextOf(payloadCodeText);
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall STARTED");
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall inpayloadCode = %s", payloadCode.c_str());

  uint32_t driverStatus = 0;
  const std::string driverCode =
      ReadProductRecord(store, "DefaultDriverPayload", payloadCode, &driverStatus);
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall driverCode = %s, stat = %u",
           driverCode.c_str(), driverStatus);

  char productCodeBuffer[kRecordBufferSize] = {};
  if (zep::C_ZEPPCDServiceLicensingCodeForCorvelCode(store, productCodeBuffer,
                                                     sizeof productCodeBuffer,
                                                     payloadCode.c_str()) != 0) {
    productCodeBuffer[0] = '\0';
  }
  productCodeBuffer[sizeof productCodeBuffer - 1] = '\0';
  const std::string productCode = productCodeBuffer;
  const std::string disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", productCode);

  if (payloadCode != driverCode) {
    FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall Only Driver can create tag files!!");
  } else if (!TaggingDisabledBy(disabled)) {
    FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall zinnia_app = %s", kProductNameKey);
    const std::string productName = ReadProductRecord(store, kProductNameKey, productCode);
    const ProductTagValues values = ReadProductTagValues(store, productCode);
    FrameLog(instance,
             "TAVLibImpl::ISOTaggingAtInstall prodName = %s,licensingCode = %s, prodLocale = %s, svrStat = %u ",
             productName.c_str(), productCode.c_str(), "", values.queryStatus);

    if (SwTagStart(productName.c_str(), productCode.c_str(), "", 0) != kSwTagSuccess) {
      SwTagEnd();
    } else {
      const VersionParts version = SetTagFields(values, false, values.channelType);
      FrameLog(instance,
               "TAVLibImpl::ISOTaggingAtInstall productVersion = %s,productMajorVersion = %s, productMinorVersion = %s",
               values.versionText.c_str(), version.major.c_str(), version.minor.c_str());
      SwTagWrite();
      SwTagEnd();
    }
  }

  const uint32_t ended = transaction.End();
  if (ended != 0) {
    FrameLog(instance,
             "TAVLibImpl::ISOTaggingAtInstall failed to commit the store transaction (status %u)",
             ended);
  }
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall ENDED");
  return ended != 0 ? kTAVLibStoreFailed : kTAVLibSuccess;
}

void DoISOTagging(frame::TAVLibImpl& instance, const char* productCodeOverride,
                  const char* localeOverride) {
  services::StoreTransaction transaction;
  transaction.Begin();
  const ZEPHandle store = transaction.handle();
  FrameLog(instance, "TAVLibImpl::DoISOTagging STARTED");

  const std::string productCode =
      productCodeOverride ? productCodeOverride : instance.mAppProductId;
  FrameLog(instance, "TAVLibImpl::DoISOTagging mAppRunningLEID = %s", productCode.c_str());
  if (localeOverride) instance.mAppLocale = localeOverride;
  FrameLog(instance, "TAVLibImpl::DoISOTagging mAppLocale = %s", instance.mAppLocale.c_str());

  const std::string payloadCode = ReadProductRecord(store, "PayloadCode", productCode);
  const std::string driverCode = ReadProductRecord(store, "DefaultDriverPayload", payloadCode);
  FrameLog(instance, "TAVLibImpl::DoISOTagging mPayloadCode = %s", payloadCode.c_str());
  FrameLog(instance, "TAVLibImpl::DoISOTagging mDriverCode = %s", driverCode.c_str());

  const std::string driverProductId = !instance.mDriverProductId.empty()
                                          ? instance.mDriverProductId
                                          : ReadProductRecord(store, "LicensingCode", driverCode);
  FrameLog(instance, "TAVLibImpl::DoISOTagging mDriverLEIDCode = %s", driverProductId.c_str());

  std::string disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", productCode);
  if (disabled.empty()) disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", driverProductId);

  if (!TaggingDisabledBy(disabled)) {
    const ProductTagValues values = ReadProductTagValues(store, productCode);
    const std::string nameKey = ProductNameKey(values.productNameIndex);
    FrameLog(instance, "TAVLibImpl::DoISOTagging zinnia_app = %s", nameKey.c_str());
    const std::string productName = ReadProductRecord(store, nameKey.c_str(), productCode);
    const std::string locale = instance.mAppLocale;
    FrameLog(instance,
             "TAVLibImpl::DoISOTagging prodName = %s,licensingCode = %s, prodLocale = %s, svrStat = %u ",
             productName.c_str(), productCode.c_str(), locale.c_str(), values.queryStatus);

    if (SwTagStart(productName.c_str(), productCode.c_str(), locale.c_str(), 0) !=
        kSwTagSuccess) {
      SwTagEnd();
    } else {
      const VersionParts version =
          SetTagFields(values, values.entitlementRequired, values.customerType);
      FrameLog(instance,
               "TAVLibImpl::DoISOTagging productVersion = %s,productMajorVersion = %s, productMinorVersion = %s",
               values.versionText.c_str(), version.major.c_str(), version.minor.c_str());
      SwTagWrite();
      SwTagEnd();
    }
  }

  if (const uint32_t ended = transaction.End(); ended != 0) {
    FrameLog(instance, "TAVLibImpl::DoISOTagging failed to commit the store transaction (status %u)",
             ended);
  }
  FrameLog(instance, "TAVLibImpl::DoISOTagging ENDED");
}

}  // namespace corvel::swtag
