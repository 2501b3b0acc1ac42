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
  const std::string payload_code = TextOf(payloadCodeText);
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall STARTED");
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall inpayloadCode = %s", payload_code.c_str());

  uint32_t driver_status = 0;
  const std::string driver_code =
      ReadProductRecord(store, "DefaultDriverPayload", payload_code, &driver_status);
  FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall driverCode = %s, stat = %u",
           driver_code.c_str(), driver_status);

  char product_code_buffer[kRecordBufferSize] = {};
  if (zep::C_ZEPPCDServiceLicensingCodeForCorvelCode(
          store, product_code_buffer, sizeof product_code_buffer, payload_code.c_str()) != 0) {
    product_code_buffer[0] = '\0';
  }
  product_code_buffer[sizeof product_code_buffer - 1] = '\0';
  const std::string product_code = product_code_buffer;
  const std::string disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", product_code);

  if (payload_code != driver_code) {
    FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall Only Driver can create tag files!!");
  } else if (!TaggingDisabledBy(disabled)) {
    FrameLog(instance, "TAVLibImpl::ISOTaggingAtInstall zinnia_app = %s", kProductNameKey);
    const std::string product_name = ReadProductRecord(store, kProductNameKey, product_code);
    const ProductTagValues values = ReadProductTagValues(store, product_code);
    FrameLog(instance,
             "TAVLibImpl::ISOTaggingAtInstall prodName = %s,licensingCode = %s, prodLocale = %s, "
             "svrStat = %u ",
             product_name.c_str(), product_code.c_str(), "", values.queryStatus);

    if (SwTagStart(product_name.c_str(), product_code.c_str(), "", 0) != kSwTagSuccess) {
      SwTagEnd();
    } else {
      const VersionParts version = SetTagFields(values, false, values.channelType);
      FrameLog(instance,
               "TAVLibImpl::ISOTaggingAtInstall productVersion = %s,productMajorVersion = %s, "
               "productMinorVersion = %s",
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

  const std::string product_code =
      productCodeOverride ? productCodeOverride : instance.mAppProductId;
  FrameLog(instance, "TAVLibImpl::DoISOTagging mAppRunningLEID = %s", product_code.c_str());
  if (localeOverride) instance.mAppLocale = localeOverride;
  FrameLog(instance, "TAVLibImpl::DoISOTagging mAppLocale = %s", instance.mAppLocale.c_str());

  const std::string payload_code = ReadProductRecord(store, "PayloadCode", product_code);
  const std::string driver_code = ReadProductRecord(store, "DefaultDriverPayload", payload_code);
  FrameLog(instance, "TAVLibImpl::DoISOTagging mPayloadCode = %s", payload_code.c_str());
  FrameLog(instance, "TAVLibImpl::DoISOTagging mDriverCode = %s", driver_code.c_str());

  const std::string driver_product_id =
      !instance.mDriverProductId.empty() ? instance.mDriverProductId
                                         : ReadProductRecord(store, "LicensingCode", driver_code);
  FrameLog(instance, "TAVLibImpl::DoISOTagging mDriverLEIDCode = %s", driver_product_id.c_str());

  std::string disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", product_code);
  if (disabled.empty())
    disabled = ReadProductRecord(store, "ISO_TAGGING_DISABLED", driver_product_id);

  if (!TaggingDisabledBy(disabled)) {
    const ProductTagValues values = ReadProductTagValues(store, product_code);
    const std::string name_key = ProductNameKey(values.productNameIndex);
    FrameLog(instance, "TAVLibImpl::DoISOTagging zinnia_app = %s", name_key.c_str());
    const std::string product_name = ReadProductRecord(store, name_key.c_str(), product_code);
    const std::string locale = instance.mAppLocale;
    FrameLog(
        instance,
        "TAVLibImpl::DoISOTagging prodName = %s,licensingCode = %s, prodLocale = %s, svrStat = %u ",
        product_name.c_str(), product_code.c_str(), locale.c_str(), values.queryStatus);

    if (SwTagStart(product_name.c_str(), product_code.c_str(), locale.c_str(), 0) !=
        kSwTagSuccess) {
      SwTagEnd();
    } else {
      const VersionParts version =
          SetTagFields(values, values.entitlementRequired, values.customerType);
      FrameLog(instance,
               "TAVLibImpl::DoISOTagging productVersion = %s,productMajorVersion = %s, "
               "productMinorVersion = %s",
               values.versionText.c_str(), version.major.c_str(), version.minor.c_str());
      SwTagWrite();
      SwTagEnd();
    }
  }

  if (const uint32_t ended = transaction.End(); ended != 0) {
    FrameLog(instance,
             "TAVLibImpl::DoISOTagging failed to commit the store transaction (status %u)", ended);
  }
  FrameLog(instance, "TAVLibImpl::DoISOTagging ENDED");
}

}  // namespace corvel::swtag
