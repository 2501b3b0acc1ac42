// Cached data by subdomain: direct reads, writes and removals of single keys of the store,
// each on its own store handle, and the request to clean a payload's subdomain at commit.
#include <algorithm>
#include <cstring>
#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/cached_data_limits.h"
#include "records/record_operations.h"
#include "records/store_access.h"
#include "records/value_obfuscation.h"
#include "util/text_arguments.h"

namespace corvel::records {

using frame::FrameLog;

namespace {

// EnumerateKeys reads from the protected domain (selector 0).
constexpr bool kEnumerationDomain = false;
constexpr char kProductMappingKey[] = "FLMap";
constexpr char kLocaleSeparator[] = "{|}";

bool IsKnownSubDomainType(int32_t type) { return type == 0 || type == 1; }

// The subdomain of a type-1 enumeration in application context: the "FLMap" value of
// "<app product>{|}<app locale>" when there is one, else the driver's product code.
std::string MappedProductSubDomain(const TAVLibImpl& instance) {
  const std::string mapping_subdomain =
      instance.mAppProductId + kLocaleSeparator + instance.mAppLocale;
  services::StoreTransaction store(kWithoutTransaction);
  if (store) {
    std::string mapped =
        ReadStoreValue(store.handle(), kProductMappingKey, mapping_subdomain.c_str(),
                       kUnprotectedDomain, kProductMappingBufferSize)
            .value;
    if (!mapped.empty()) return mapped;
  }
  return instance.mDriverProductId;
}

}  // namespace

uint32_t EnumerateKeys(TAVLibImpl& instance, const char* inKey, const char** outValue,
                       int32_t inSubDomainType) {
  FrameLog(instance, "TAVLIB EnumerateKeys: Started.");
  instance.mEnumResult.clear();
  uint32_t status = kTAVLibSuccess;
  if (!util::IsUsableText(inKey) || outValue == nullptr) {
    status = kTAVLibInvalidArgument;
    FrameLog(instance, "TAVLIB EnumerateKeys: Invalid inKey specified.");
  } else if (!instance.mIsAppContext) {
    FrameLog(instance, "TAVLIB EnumerateKeys: Called at install time");
  } else {
    const std::string subdomain =
        inSubDomainType == 1 ? MappedProductSubDomain(instance) : instance.mDriverCode;
    FrameLog(instance, "Subdomain =%s Key =%s", subdomain.c_str(), inKey);
    services::StoreTransaction store(kWithoutTransaction);
    if (store) {
      instance.mEnumResult = ReadStoreValue(store.handle(), inKey, subdomain.c_str(),
                                            kEnumerationDomain, kValueBufferSize)
                                 .value;
    }
    *outValue = instance.mEnumResult.c_str();
  }
  FrameLog(instance, "TAVLIB EnumerateKeys: Ended.");
  return status;
}

uint32_t SetValueforKeyInSubDomainInCache(TAVLibImpl& instance, int32_t inSubDomainType,
                                          const char* inKey, const char* inValue,
                                          const char* inSubDomain, bool inObfuscate) {
  FrameLog(instance, "TAVLIB SetValueforKeyInSubDomainInCache: Started.");
  const bool valid = util::IsUsableText(inKey) && util::IsUsableText(inValue) &&
                     util::IsUsableText(inSubDomain) && inSubDomain[0] != '\0' &&
                     !(inObfuscate && std::strlen(inValue) > kMaxObfuscatedPlainBytes);
  if (!valid) {
    FrameLog(instance, "TAVLIB SetValueforKeyInSubDomainInCache: Invalid in params specified.");
    return kTAVLibInvalidArgument;
  }
  services::StoreTransaction store(kWithoutTransaction);
  if (!store) return kTAVLibSuccess;
  if (!IsKnownSubDomainType(inSubDomainType)) {
    FrameLog(instance, "TAVLIB SetValueforKeyInSubDomainInCache: inSubDomainType not specified !");
    return kTAVLibInvalidArgument;
  }

  std::string stored = inValue;
  if (inObfuscate) {
    stored = ObfuscateValue(inValue, inSubDomain);
    FrameLog(instance, "Obfuscated!");
  }
  if (stored.empty()) return kTAVLibSuccess;
  if (zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(store.handle(), stored.c_str(), inKey,
                                                    inSubDomain, kUnprotectedDomain) != 0) {
    FrameLog(instance, "Failed to Set the value!");
    return kTAVLibStoreFailed;
  }
  return kTAVLibSuccess;
}

uint32_t GetValueforKeyInSubDomain(TAVLibImpl& instance, const char** outValue, int32_t inCapacity,
                                   const char* inKey, const char* inSubDomain, int32_t inDomain,
                                   bool inDeobfuscate) {
  FrameLog(instance, "TAVLIB GetValueforKeyInSubDomain: Started.");
  // De-obfuscation needs the subdomain as its key, so an empty one is refused for it.
  const bool valid = outValue != nullptr && util::IsUsableText(inKey) &&
                     util::IsUsableText(inSubDomain) && inCapacity >= 1 &&
                     !(inDeobfuscate && inSubDomain[0] == '\0');
  if (!valid) {
    FrameLog(instance, "TAVLIB GetValueforKeyInSubDomain: Invalid in params specified.");
    return kTAVLibInvalidArgument;
  }
  instance.mGetResult.clear();
  services::StoreTransaction store(kWithoutTransaction);
  if (!store) return kTAVLibSuccess;

  const auto capacity = static_cast<uint32_t>(std::min(inCapacity, kMaxReadCapacity));
  const StoreRead read =
      ReadStoreValue(store.handle(), inKey, inSubDomain, inDomain != 0, kValueBufferSize, capacity);
  if (read.status != 0) {
    FrameLog(instance, "Failed to Get the value!");
    return kTAVLibStoreFailed;
  }
  std::string text = read.value;
  if (inDeobfuscate) {
    text = DeobfuscateValue(read.value, inSubDomain);
    FrameLog(instance, "DeObfuscated!");
  }
  if (!text.empty()) {
    instance.mGetResult = std::move(text);
    *outValue = instance.mGetResult.c_str();
  }
  return kTAVLibSuccess;
}

uint32_t RemoveKeyInSubDomainInCache(TAVLibImpl& instance, int32_t inSubDomainType,
                                     const char* inKey, const char* inSubDomain) {
  FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: STARTED");
  if (!util::IsUsableText(inKey) || !util::IsUsableText(inSubDomain) || inSubDomain[0] == '\0') {
    FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: Invalid in params specified.");
    FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: ENDED");
    return kTAVLibInvalidArgument;
  }
  {
    services::StoreTransaction store(kWithoutTransaction);
    if (store) {
      if (!IsKnownSubDomainType(inSubDomainType)) {
        FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: inSubDomainType not specified !");
        return kTAVLibInvalidArgument;
      }
      if (zep::C_ZEPPCDServiceRemoveKeyInSubDomain(store.handle(), inKey, inSubDomain,
                                                   kUnprotectedDomain) == 0) {
        FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: Key Successfully removed !");
      } else {
        FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: Error in removing Key !");
      }
    }
  }
  FrameLog(instance, "TAVLIB RemoveKeyInSubDomainInCache: ENDED");
  return kTAVLibSuccess;
}

uint32_t CleanUpCachePCD(TAVLibImpl& instance, const char* inSubDomain) {
  FrameLog(instance, "TAVLib CleanUpPCD STARTED");
  if (!util::IsUsableText(inSubDomain)) return kTAVLibInvalidArgument;
  instance.mPayloadCode = inSubDomain;
  instance.mCleanUpPCD = true;
  return kTAVLibSuccess;
}

}  // namespace corvel::records
