// The application-data hand-over: a launched product puts its instance into application
// context and says whether its commit should tag it.
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"

namespace corvel::frame {

namespace {

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

std::string TextOr(const char* text, const char* fallback) {
  return IsEmpty(text) ? std::string(fallback) : std::string(text);
}

}  // namespace

uint32_t TAVLibImpl::SetApplicationData(const char* driverCode, const char* appProductId,
                                        const char* driverProductId, const char* appLocale,
                                        const char* payloadCode, int32_t tagging) {
  FrameLog(*this, "TAVLIB SetApplicationData: Started.");
  const bool taggingKnown = tagging == kTAVLibTaggingNone || tagging == kTAVLibTaggingAtCommit ||
                            tagging == kTAVLibTaggingSuppressed;
  if (IsEmpty(driverCode) || IsEmpty(appProductId) || !taggingKnown) {
    FrameLog(*this, "TAVLIB SetApplicationData: Invalid in params specified.");
    return kTAVLibInvalidArgument;
  }
  // Built aside first, so that a failed allocation leaves the instance as it was.
  std::string newDriverCode(driverCode);
  std::string newAppProductId(appProductId);
  std::string newDriverProductId = TextOr(driverProductId, "");
  std::string newAppLocale = TextOr(appLocale, "en_US");
  std::string newPayloadCode = TextOr(payloadCode, "");

  mIsAppContext = true;
  mDriverCode.swap(newDriverCode);
  mAppProductId.swap(newAppProductId);
  mDriverProductId.swap(newDriverProductId);
  mAppLocale.swap(newAppLocale);
  mPayloadCode.swap(newPayloadCode);
  // A request adds to the earlier ones; a suppression holds for the rest of the instance.
  if (tagging == kTAVLibTaggingAtCommit) mTaggingPending = true;
  if (tagging == kTAVLibTaggingSuppressed) mTaggingSuppressed = true;

  FrameLog(*this,
           "TAVLIB SetApplicationData: driverCode = %s, appProductId = %s, driverProductId = %s, appLocale = %s, payloadCode = %s, tagging = %d",
           mDriverCode.c_str(), mAppProductId.c_str(), mDriverProductId.c_str(),
           mAppLocale.c_str(), mPayloadCode.c_str(), static_cast<int>(tagging));
  FrameLog(*this, "TAVLIB SetApplicationData: Ended.");
  return kTAVLibSuccess;
}

}  // namespace corvel::frame
