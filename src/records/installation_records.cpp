// Installation records: the operations that gather, in the instance, what the commit writes
// (agreement, install locale, account and extended profile).
#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/md5.h"
#include "records/text_arguments.h"
#include "records/value_obfuscation.h"

namespace corvel::frame {

uint32_t TAVLibImpl::Set_Eula(const char* language, const char* productCode) {
  FrameLog(*this, "TAVLib EULAFlag STARTED");
  if (!mIsAppContext) {
    if (!records::IsUsableText(language) || !records::IsUsableText(productCode)) {
      return kTAVLibInvalidArgument;
    }
    mEulaLanguage = language;
    mEulaProductCode = productCode;
  } else {
    // The running application names the product; the driver's identifier wins.
    if (!records::IsUsableText(language)) return kTAVLibInvalidArgument;
    mEulaLanguage = language;
    if (!mAppProductId.empty()) mEulaProductCode = mAppProductId;
    if (!mDriverProductId.empty()) mEulaProductCode = mDriverProductId;
  }
  FrameLog(*this, "TAVLib EULAFlag EndeD");
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::Set_InstallLocale(const char* locale, const char* productCode) {
  FrameLog(*this, "TAVLib SetInstallLocale STARTED");
  if (!records::IsUsableText(locale) || !records::IsUsableText(productCode)) {
    FrameLog(*this, "TAVLib SetInstallLocale ENDED");
    return kTAVLibInvalidArgument;
  }
  mInstallLocale = locale;
  mInstallLocaleProductCode = productCode;
  FrameLog(*this, "TAVLib SetInstallLocale ENDED");
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::SetCorvelId(const char* productCode) {
  FrameLog(*this, "TAVLib SetCorvelId STARTED");
  if (!records::IsUsableText(productCode)) return kTAVLibInvalidArgument;
  mAccountProductCode = productCode;
  FrameLog(*this, "TAVLib SetCorvelId END");
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::SetCorvelIdExtProfile(const char* productCode) {
  FrameLog(*this, "TAVLib SetCorvelIdExtProfile STARTED");
  if (!records::IsUsableText(productCode)) return kTAVLibInvalidArgument;
  mExtProfileProductCode = productCode;
  FrameLog(*this, "TAVLib SetCorvelIdExtProfile END");
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::SaveCorvelId(const char* accountId) {
  FrameLog(*this, "TAVLib SaveCorvelID STARTED");
  if (!records::IsUsableText(accountId)) return kTAVLibInvalidArgument;
  if (mAccountProductCode.empty()) {
    FrameLog(*this, "Error : SetCorvelID not called!");
    return kTAVLibPreconditionFailed;
  }
  FrameLog(*this, "Saving CorvelID");
  mAccountId = accountId;
  std::string encrypted = records::ObfuscateValue(accountId, mAccountProductCode);
  if (encrypted.empty()) {
    mEncryptedAccountId.clear();
    mAccountIdDigest.clear();
  } else {
    mEncryptedAccountId = std::move(encrypted);
    mAccountIdDigest = records::Md5UpperHex(accountId);
  }
  FrameLog(*this, "TAVLib SaveCorvelID ENDED");
  return kTAVLibSuccess;
}

bool TAVLibImpl::GetCorvelId(void* output) {
  FrameLog(*this, "TAVLib GetCorvelId STARTED");
  if (output == nullptr) return false;
  FrameLog(*this, "TAVLib GetCorvelId END");
  return true;
}

}  // namespace corvel::frame
