#include "frame/application_data.h"

#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "util/text_arguments.h"

namespace corvel::frame {

namespace {

using util::IsEmptyText;

std::string TextOr(const char* text, const char* fallback) {
  return IsEmptyText(text) ? std::string(fallback) : std::string(text);
}

}  // namespace

uint32_t SetApplicationData(TAVLibImpl& instance, const char* driverCode, const char* appProductId,
                            const char* driverProductId, const char* appLocale,
                            const char* payloadCode, int32_t tagging) {
  FrameLog(instance, "TAVLIB SetApplicationData: Started.");
  const bool tagging_known = tagging == kTAVLibTaggingNone || tagging == kTAVLibTaggingAtCommit ||
                             tagging == kTAVLibTaggingSuppressed;
  if (IsEmptyText(driverCode) || IsEmptyText(appProductId) || !tagging_known) {
    FrameLog(instance, "TAVLIB SetApplicationData: Invalid in params specified.");
    return kTAVLibInvalidArgument;
  }
  // Built aside first, so that a failed allocation leaves the instance as it was.
  std::string new_driver_code(driverCode);
  std::string new_app_product_id(appProductId);
  std::string new_driver_product_id = TextOr(driverProductId, "");
  std::string new_app_locale = TextOr(appLocale, "en_US");
  std::string new_payload_code = TextOr(payloadCode, "");

  instance.mIsAppContext = true;
  instance.mDriverCode.swap(new_driver_code);
  instance.mAppProductId.swap(new_app_product_id);
  instance.mDriverProductId.swap(new_driver_product_id);
  instance.mAppLocale.swap(new_app_locale);
  instance.mPayloadCode.swap(new_payload_code);
  // A request adds to the earlier ones; a suppression holds for the rest of the instance.
  if (tagging == kTAVLibTaggingAtCommit) instance.mTaggingPending = true;
  if (tagging == kTAVLibTaggingSuppressed) instance.mTaggingSuppressed = true;

  FrameLog(instance,
           "TAVLIB SetApplicationData: driverCode = %s, appProductId = %s, driverProductId = %s, "
           "appLocale = %s, payloadCode = %s, tagging = %d",
           instance.mDriverCode.c_str(), instance.mAppProductId.c_str(),
           instance.mDriverProductId.c_str(), instance.mAppLocale.c_str(),
           instance.mPayloadCode.c_str(), static_cast<int>(tagging));
  FrameLog(instance, "TAVLIB SetApplicationData: Ended.");
  return kTAVLibSuccess;
}

}  // namespace corvel::frame
