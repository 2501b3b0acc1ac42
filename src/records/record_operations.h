// The record operations on an instance: cached data by subdomain (read, written and removed
// at once, each on its own store handle), the installation records and proxy credentials the
// instance gathers, and the commit's writing of those records.
#pragma once

#include <cstdint>

#include "corvel_tavlib.h"
#include "zepservices.h"

namespace corvel::frame {
class TAVLibImpl;
}

namespace corvel::records {

using frame::TAVLibImpl;

// Cached data by subdomain (cached_data.cpp).
uint32_t EnumerateKeys(TAVLibImpl& instance, const char* inKey, const char** outValue,
                       int32_t inSubDomainType);
uint32_t SetValueforKeyInSubDomainInCache(TAVLibImpl& instance, int32_t inSubDomainType,
                                          const char* inKey, const char* inValue,
                                          const char* inSubDomain, bool inObfuscate);
uint32_t GetValueforKeyInSubDomain(TAVLibImpl& instance, const char** outValue, int32_t inCapacity,
                                   const char* inKey, const char* inSubDomain, int32_t inDomain,
                                   bool inDeobfuscate);
uint32_t RemoveKeyInSubDomainInCache(TAVLibImpl& instance, int32_t inSubDomainType,
                                     const char* inKey, const char* inSubDomain);
uint32_t CleanUpCachePCD(TAVLibImpl& instance, const char* inSubDomain);

// Installation records (installation_records.cpp).
uint32_t Set_Eula(TAVLibImpl& instance, const char* language, const char* productCode);
uint32_t Set_InstallLocale(TAVLibImpl& instance, const char* locale, const char* productCode);
uint32_t SetCorvelId(TAVLibImpl& instance, const char* productCode);
uint32_t SaveCorvelId(TAVLibImpl& instance, const char* accountId);
bool GetCorvelId(TAVLibImpl& instance, void* output);
uint32_t SetCorvelIdExtProfile(TAVLibImpl& instance, const char* productCode);

// Proxy credentials (proxy_credentials.cpp). Keep stores the instance's credentials in the
// user's secure preferences after a request whose outcome calls for it; Reuse gives kept
// credentials back to the instance (and to the caller) for a retry.
uint32_t SetCredentialsForProxy(TAVLibImpl& instance, const TAVLibProxyCredentials* credentials);
uint32_t GetCredentialsForProxy(TAVLibImpl& instance, TAVLibProxyCredentials* credentials);
uint32_t KeepProxyCredentials(TAVLibImpl& instance, int32_t outcome, bool* kept);
uint32_t ReuseProxyCredentials(TAVLibImpl& instance, TAVLibProxyCredentials* credentials);

// The record-writing part of the commit (commit_records.cpp): the agreement, install locale,
// payload clean-up, account and extended-profile records the instance gathered, written on
// the commit's store handle inside its transaction. A failed write is logged and the next
// one still runs.
void CommitInstallationRecords(TAVLibImpl& instance, ZEPHandle store);

}  // namespace corvel::records
