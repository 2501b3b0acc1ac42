// Payload removal. The linked codes live in the payload's protected subdomain, so all of
// them are read before that subdomain is cleared last.
#include "config/payload_removal.h"

#include <cstring>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "services/store_transaction.h"
#include "services/zep_bindings.h"

namespace corvel::config {

namespace {

constexpr bool kProtectedDomain = false;
constexpr bool kUnprotectedDomain = true;

// A linked-code key whose subdomain is cleared in the protected domain, with its log line.
struct LinkedCodeKey {
  const char* key;         // read under the payload code
  const char* name;        // first argument of the log line
  const char* log_format;  // "Removing data for ..." with name and value
};

// In the order they are read, after "LicensingCode".
constexpr LinkedCodeKey kProtectedLinkedCodes[] = {
    {"MurmelCode", "MurmelCode", "Removing data for %s %s\n"},
    {"MurmelCode1", "MurmelCode", "Removing data for %s1 %s\n"},
    {"MurmelCode2", "MurmelCode", "Removing data for %s2 %s\n"},
    {"MurmelCode3", "MurmelCode", "Removing data for %s3 %s\n"},
    {"CorvelUpdaterCode", "CorvelUpdaterCode", "Removing data for %s %s\n"},
};

class PayloadRemoval {
 public:
  PayloadRemoval(const frame::TAVLibImpl& instance, const char* payload_code, ZEPHandle store)
      : mInstance(instance), mPayloadCode(payload_code), mStore(store) {}

  void Run() const {
    RemoveLicensingData();
    zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(mStore, mPayloadCode, kUnprotectedDomain);
    for (const LinkedCodeKey& linked : kProtectedLinkedCodes) RemoveLinkedData(linked);
    frame::FrameLog(mInstance, "Removing remaining payload keys for %s\n", mPayloadCode);
    zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(mStore, mPayloadCode, kProtectedDomain);
  }

 private:
  // A key counts as present when the store reads it without failure.
  bool ReadLinkedCode(const char* key, char (&value)[kLinkedCodeBufferSize]) const {
    std::memset(value, 0, sizeof value);
    return zep::C_ZEPPCDServiceValueForKeyInSubDomain(mStore, value, sizeof value, key,
                                                      mPayloadCode, kProtectedDomain) == 0;
  }

  // The licensing product's data goes from both domains.
  void RemoveLicensingData() const {
    char value[kLinkedCodeBufferSize];
    if (!ReadLinkedCode("LicensingCode", value)) {
      frame::FrameLog(mInstance, "No %s found for %s", "LicensingCode", mPayloadCode);
      return;
    }
    frame::FrameLog(mInstance, "Removing data for %s %s", "LicensingCode", value);
    zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(mStore, value, kProtectedDomain);
    zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(mStore, value, kUnprotectedDomain);
  }

  void RemoveLinkedData(const LinkedCodeKey& linked) const {
    char value[kLinkedCodeBufferSize];
    if (!ReadLinkedCode(linked.key, value)) return;
    frame::FrameLog(mInstance, linked.log_format, linked.name, value);
    zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(mStore, value, kProtectedDomain);
  }

  const frame::TAVLibImpl& mInstance;
  const char* mPayloadCode;
  ZEPHandle mStore;
};

}  // namespace

uint32_t Remove_payload(const frame::TAVLibImpl& instance, const char* payload_code) {
  frame::FrameLog(instance, "TAVLib Remove Payload STARTED");
  if (payload_code == nullptr || payload_code[0] == '\0') {
    frame::FrameLog(instance, "cannot remove null payload");
    return kTAVLibInvalidArgument;
  }
  frame::FrameLog(instance, "uninstall payload %s", payload_code);
  uint32_t result = kTAVLibSuccess;
  {
    services::StoreTransaction session(services::StoreTransaction::EndRule::Always);
    session.Begin();
    PayloadRemoval(instance, payload_code, session.handle()).Run();
    // The removals are undone when their transaction does not commit.
    if (const uint32_t ended = session.End(); ended != 0) {
      frame::FrameLog(instance,
                      "TAVLib Remove Payload failed to commit the store transaction (status %u)",
                      ended);
      result = kTAVLibStoreFailed;
    }
  }
  frame::FrameLog(instance, "TAVLib Remove Payload END");
  return result;
}

}  // namespace corvel::config
