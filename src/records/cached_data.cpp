// Cached data by subdomain: direct reads, writes and removals of single keys of the store,
// each on its own store handle, and the request to clean a payload's subdomain at commit.
#include <algorithm>
#include <cstring>
#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/cached_data_limits.h"
#include "records/store_access.h"
#include "records/text_arguments.h"
#include "records/value_obfuscation.h"

namespace corvel::frame {

namespace {

using records::kUnprotectedDomain;
using records::ReadStoreValue;

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
  zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
  if (store) {
    std::string mapped =
        ReadStoreValue(store.get(), kProductMappingKey, mapping_subdomain.c_str(),
                       kUnprotectedDomain, records::kProductMappingBufferSize)
            .value;
    if (!mapped.empty()) return mapped;
  }
  return instance.mDriverProductId;
}

}  // namespace

uint32_t TAVLibImpl::EnumerateKeys(const char* inKey, const char** outValue,
                                   int32_t inSubDomainType) {
  FrameLog(*this, "TAVLIB EnumerateKeys: Started.");
  mEnumResult.clear();
  uint32_t status = kTAVLibSuccess;
  if (!records::IsUsableText(inKey) || outValue == nullptr) {
    status = kTAVLibInvalidArgument;
    FrameLog(*this, "TAVLIB EnumerateKeys: Invalid inKey specified.");
  } else if (!mIsAppContext) {
    FrameLog(*this, "TAVLIB EnumerateKeys: Called at install time");
  } else {
    const std::string subdomain =
        inSubDomainType == 1 ? MappedProductSubDomain(*this) : mDriverCode;
    FrameLog(*this, "Subdomain =%s Key =%s", subdomain.c_str(), inKey);
    zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
    if (store) {
      mEnumResult = ReadStoreValue(store.get(), inKey, subdomain.c_str(), kEnumerationDomain,
                                   records::kValueBufferSize)
                        .value;
    }
    *outValue = mEnumResult.c_str();
  }
  FrameLog(*this, "TAVLIB EnumerateKeys: Ended.");
  return status;
}

uint32_t TAVLibImpl::SetValueforKeyInSubDomainInCache(int32_t inSubDomainType,
                                                      const char* inKey, const char* inValue,
                                                      const char* inSubDomain,
                                                      bool inObfuscate) {
  FrameLog(*this, "TAVLIB SetValueforKeyInSubDomainInCache: Started.");
  const bool valid = records::IsUsableText(inKey) && records::IsUsableText(inValue) &&
                     records::IsUsableText(inSubDomain) && inSubDomain[0] != '\0' &&
                     !(inObfuscate && std::strlen(inValue) > records::kMaxObfuscatedPlainBytes);
  if (!valid) {
    FrameLog(*this, "TAVLIB SetValueforKeyInSubDomainInCache: Invalid in params specified.");
    return kTAVLibInvalidArgument;
  }
  zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
  if (!store) return kTAVLibSuccess;
  if (!IsKnownSubDomainType(inSubDomainType)) {
    FrameLog(*this,
             "TAVLIB SetValueforKeyInSubDomainInCache: inSubDomainType not specified !");
    return kTAVLibInvalidArgument;
  }

  std::string stored = inValue;
  if (inObfuscate) {
    stored = records::ObfuscateValue(inValue, inSubDomain);
    FrameLog(*this, "Obfuscated!");
  }
  if (stored.empty()) return kTAVLibSuccess;
  if (zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), stored.c_str(), inKey,
                                                    inSubDomain, kUnprotectedDomain) != 0) {
    FrameLog(*this, "Failed to Set the value!");
    return kTAVLibStoreFailed;
  }
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::GetValueforKeyInSubDomain(const char** outValue, int32_t inCapacity,
                                               const char* inKey, const char* inSubDomain,
                                               int32_t inDomain, bool inDeobfuscate) {
  FrameLog(*this, "TAVLIB GetValueforKeyInSubDomain: Started.");
  // De-obfuscation needs the subdomain as its key, so an empty one is refused for it.
  const bool valid = outValue != nullptr && records::IsUsableText(inKey) &&
                     records::IsUsableText(inSubDomain) && inCapacity >= 1 &&
                     !(inDeobfuscate && inSubDomain[0] == '\0');
  if (!valid) {
    FrameLog(*this, "TAVLIB GetValueforKeyInSubDomain: Invalid in params specified.");
    return kTAVLibInvalidArgument;
  }
  mGetResult.clear();
  zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
  if (!store) return kTAVLibSuccess;

  const auto capacity = static_cast<uint32_t>(std::min(inCapacity, records::kMaxReadCapacity));
  const records::StoreRead read = ReadStoreValue(store.get(), inKey, inSubDomain,
                                                 inDomain != 0, records::kValueBufferSize,
                                                 capacity);
  if (read.status != 0) {
    FrameLog(*this, "Failed to Get the value!");
    return kTAVLibStoreFailed;
  }
  std::string text = read.value;
  if (inDeobfuscate) {
    text = records::DeobfuscateValue(read.value, inSubDomain);
    FrameLog(*this, "DeObfuscated!");
  }
  if (!text.empty()) {
    mGetResult = std::move(text);
    *outValue = mGetResult.c_str();
  }
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::RemoveKeyInSubDomainInCache(int32_t inSubDomainType, const char* inKey,
                                                 const char* inSubDomain) {
  FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: STARTED");
  if (!records::IsUsableText(inKey) || !records::IsUsableText(inSubDomain) ||
      inSubDomain[0] == '\0') {
    FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: Invalid in params specified.");
    FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: ENDED");
    return kTAVLibInvalidArgument;
  }
  {
    zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
    if (store) {
      if (!IsKnownSubDomainType(inSubDomainType)) {
        FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: inSubDomainType not specified !");
        return kTAVLibInvalidArgument;
      }
      if (zep::C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), inKey, inSubDomain,
                                                   kUnprotectedDomain) == 0) {
        FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: Key Successfully removed !");
      } else {
        FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: Error in removing Key !");
      }
    }
  }
  FrameLog(*this, "TAVLIB RemoveKeyInSubDomainInCache: ENDED");
  return kTAVLibSuccess;
}

uint32_t TAVLibImpl::CleanUpCachePCD(const char* inSubDomain) {
  FrameLog(*this, "TAVLib CleanUpPCD STARTED");
  if (!records::IsUsableText(inSubDomain)) return kTAVLibInvalidArgument;
  mPayloadCode = inSubDomain;
  mCleanUpPCD = true;
  return kTAVLibSuccess;
}

}  // namespace corvel::frame
