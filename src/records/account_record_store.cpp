// The store side of the time-stamped account record.
#include "platform/platform.h"
#include "records/account_record.h"
#include "records/store_access.h"

namespace corvel::records {
namespace {

std::string ReadAccountRecord() {
  services::StoreTransaction store(kWithoutTransaction);
  if (!store) return {};
  return ReadStoreValue(store.handle(), kAccountRecordKey, kAccountRecordSubDomain,
                        kUnprotectedDomain, kAccountRecordBufferSize)
      .value;
}

bool WriteAccountRecord(const std::string& text) {
  services::StoreTransaction store(kWithoutTransaction);
  if (!store) return false;
  return zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(store.handle(), text.c_str(),
                                                       kAccountRecordKey, kAccountRecordSubDomain,
                                                       kUnprotectedDomain) == 0;
}

std::string CurrentAccountTimeStamp() {
  int64_t seconds = 0;
  int milliseconds = 0;
  platform::CurrentTime(&seconds, &milliseconds);
  return AccountTimeStamp(seconds);
}

}  // namespace

bool UpdateTimeStampedAccountRecord(const std::string& product_code, const std::string& digest) {
  const std::string time_stamp = CurrentAccountTimeStamp();
  const std::string stored = ReadAccountRecord();
  return WriteAccountRecord(UpdatedAccountRecordText(stored, product_code, digest, time_stamp));
}

}  // namespace corvel::records
