// The record-writing steps of the commit: agreement, install locale, payload clean-up,
// account records and extended profile, on the commit's store handle inside its transaction.
// A failed write is logged and the next step still runs.
#include <string>

#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/account_record.h"
#include "records/cached_data_limits.h"
#include "records/record_operations.h"
#include "records/store_access.h"

namespace corvel::records {

namespace {

using frame::FrameLog;

// The agreement service's state and kind arguments for an accepted agreement.
constexpr int kEulaStateAccepted = 1;
constexpr int kEulaKind = 4;

bool SetRecord(ZEPHandle store, const char* key, const std::string& value,
               const std::string& subdomain) {
  return zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(store, value.c_str(), key, subdomain.c_str(),
                                                       kUnprotectedDomain) == 0;
}

void CommitAgreement(TAVLibImpl& instance, ZEPHandle store) {
  if (instance.mEulaLanguage.empty() || instance.mEulaProductCode.empty()) return;
  if (instance.mIsAppContext) {
    zep::ScopedHandle eula(zep::C_EULAServiceCreate());
    if (eula) {
      zep::C_EULA_SetState(eula.get(), instance.mEulaProductCode.c_str(), kEulaStateAccepted,
                           kEulaKind, instance.mEulaLanguage.c_str());
    }
    return;
  }
  if (!SetRecord(store, "EULA_ACCEPTED", "1", instance.mEulaProductCode)) {
    FrameLog(instance, "EULA_ACCEPTED Failed to Commit");
  }
  if (!SetRecord(store, "EULA_LANGUAGE", instance.mEulaLanguage, instance.mEulaProductCode)) {
    FrameLog(instance, "EULA_LANGUAGE Failed to Commit");
  }
}

// The stored list with the locale added, unless the list already contains it as a substring.
std::string MergedLocaleList(const std::string& stored, const std::string& locale) {
  if (stored.empty()) return locale;
  if (stored.find(locale) == std::string::npos) return stored + "{|}" + locale;
  return stored;
}

void CommitInstallLocale(TAVLibImpl& instance, ZEPHandle store) {
  if (instance.mInstallLocale.empty() || instance.mInstallLocaleProductCode.empty()) return;
  const std::string stored =
      ReadStoreValue(store, "INSTALLLOCALE", instance.mInstallLocaleProductCode.c_str(),
                     kUnprotectedDomain, kValueBufferSize)
          .value;
  if (!SetRecord(store, "INSTALLLOCALE", MergedLocaleList(stored, instance.mInstallLocale),
                 instance.mInstallLocaleProductCode)) {
    FrameLog(instance, "INSTALLLOCALE Failed to Commit");
  }
}

void CommitPayloadCleanUp(TAVLibImpl& instance, ZEPHandle store) {
  if (!instance.mCleanUpPCD || instance.mPayloadCode.empty()) return;
  if (zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(store, instance.mPayloadCode.c_str(),
                                                   kUnprotectedDomain) != 0) {
    FrameLog(instance, "Can not delete %s hive from cache pcd", instance.mPayloadCode.c_str());
  }
}

void CommitAccount(TAVLibImpl& instance, ZEPHandle store) {
  if (instance.mAccountProductCode.empty()) return;
  if (!SetRecord(store, "CORVELID", "1", instance.mAccountProductCode)) {
    FrameLog(instance, "Set Corvel ID Failed to Commit");
  }
  if (!instance.mEncryptedAccountId.empty() &&
      !SetRecord(store, "LineCV 15", instance.mEncryptedAccountId, instance.mAccountProductCode)) {
    FrameLog(instance, "Save CorvelID failed to commit");
  }
  if (!instance.mAccountIdDigest.empty()) {
    if (UpdateTimeStampedAccountRecord(instance.mAccountProductCode, instance.mAccountIdDigest)) {
      FrameLog(instance, "Corvelid with TS commit succeeded ");
    } else {
      FrameLog(instance, "Corvelid with TS failed to commit ");
    }
  }
}

void CommitExtendedProfile(TAVLibImpl& instance, ZEPHandle store) {
  if (instance.mExtProfileProductCode.empty()) return;
  if (!SetRecord(store, "CORVELID_EXT_PROFILE", "1", instance.mExtProfileProductCode)) {
    FrameLog(instance, "Set Corvel ID Ext Profile Failed to Commit");
  }
}

}  // namespace

void CommitInstallationRecords(TAVLibImpl& instance, ZEPHandle store) {
  CommitAgreement(instance, store);
  CommitInstallLocale(instance, store);
  CommitPayloadCleanUp(instance, store);
  CommitAccount(instance, store);
  CommitExtendedProfile(instance, store);
}

}  // namespace corvel::records
