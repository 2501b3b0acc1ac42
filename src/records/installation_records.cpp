// Installation records: the operations that gather, in the instance, what the commit writes
// (agreement, install locale, account and extended profile).
#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/md5.h"
#include "records/record_operations.h"
#include "records/value_obfuscation.h"
#include "util/text_arguments.h"

namespace corvel::records {

using frame::FrameLog;

namespace {

// The product code of a record the commit writes, taken between the operation's two lines
// (only the first when the code is not usable text).
uint32_t TakeProductCode(TAVLibImpl& instance, const char* productCode, std::string& field,
                         const char* startedLine, const char* endedLine) {
  FrameLog(instance, "%s", startedLine);
  if (!util::IsUsableText(productCode)) return kTAVLibInvalidArgument;
  field = productCode;
  FrameLog(instance, "%s", endedLine);
  return kTAVLibSuccess;
}

}  // namespace

uint32_t Set_Eula(TAVLibImpl& instance, const char* language, const char* productCode) {
  FrameLog(instance, "TAVLib EULAFlag STARTED");
  if (!instance.mIsAppContext) {
    if (!util::IsUsableText(language) || !util::IsUsableText(productCode)) {
      return kTAVLibInvalidArgument;
    }
    instance.mEulaLanguage = language;
    instance.mEulaProductCode = productCode;
  } else {
    // The running application names the product; the driver's identifier wins.
    if (!util::IsUsableText(language)) return kTAVLibInvalidArgument;
    instance.mEulaLanguage = language;
    if (!instance.mAppProductId.empty()) instance.mEulaProductCode = instance.mAppProductId;
    if (!instance.mDriverProductId.empty()) instance.mEulaProductCode = instance.mDriverProductId;
  }
  FrameLog(instance, "TAVLib EULAFlag EndeD");
  return kTAVLibSuccess;
}

uint32_t Set_InstallLocale(TAVLibImpl& instance, const char* locale, const char* productCode) {
  FrameLog(instance, "TAVLib SetInstallLocale STARTED");
  if (!util::IsUsableText(locale) || !util::IsUsableText(productCode)) {
    FrameLog(instance, "TAVLib SetInstallLocale ENDED");
    return kTAVLibInvalidArgument;
  }
  instance.mInstallLocale = locale;
  instance.mInstallLocaleProductCode = productCode;
  FrameLog(instance, "TAVLib SetInstallLocale ENDED");
  return kTAVLibSuccess;
}

uint32_t SetCorvelId(TAVLibImpl& instance, const char* productCode) {
  return TakeProductCode(instance, productCode, instance.mAccountProductCode,
                         "TAVLib SetCorvelId STARTED", "TAVLib SetCorvelId END");
}

uint32_t SetCorvelIdExtProfile(TAVLibImpl& instance, const char* productCode) {
  return TakeProductCode(instance, productCode, instance.mExtProfileProductCode,
                         "TAVLib SetCorvelIdExtProfile STARTED",
                         "TAVLib SetCorvelIdExtProfile END");
}

uint32_t SaveCorvelId(TAVLibImpl& instance, const char* accountId) {
  FrameLog(instance, "TAVLib SaveCorvelID STARTED");
  if (!util::IsUsableText(accountId)) return kTAVLibInvalidArgument;
  if (instance.mAccountProductCode.empty()) {
    FrameLog(instance, "Error : SetCorvelID not called!");
    return kTAVLibPreconditionFailed;
  }
  FrameLog(instance, "Saving CorvelID");
  instance.mAccountId = accountId;
  std::string encrypted = ObfuscateValue(accountId, instance.mAccountProductCode);
  if (encrypted.empty()) {
    instance.mEncryptedAccountId.clear();
    instance.mAccountIdDigest.clear();
  } else {
    instance.mEncryptedAccountId = std::move(encrypted);
    instance.mAccountIdDigest = Md5UpperHex(accountId);
  }
  FrameLog(instance, "TAVLib SaveCorvelID ENDED");
  return kTAVLibSuccess;
}

bool GetCorvelId(TAVLibImpl& instance, void* output) {
  FrameLog(instance, "TAVLib GetCorvelId STARTED");
  if (output == nullptr) return false;
  FrameLog(instance, "TAVLib GetCorvelId END");
  return true;
}

}  // namespace corvel::records
