// Small helpers over the store entry points shared by the record operations.
#pragma once

#include <cstdint>
#include <string>

#include "services/store_transaction.h"
#include "services/zep_bindings.h"

namespace corvel::records {

// The domain flag the record operations pass: true for the unprotected domain.
inline constexpr bool kUnprotectedDomain = true;

// The single reads and writes outside the commit hold a store handle without a transaction.
inline constexpr auto kWithoutTransaction = services::StoreTransaction::EndRule::ReleaseOnly;

struct StoreRead {
  ZEPStatus status;
  std::string value;  // the buffer's text up to its first NUL; empty after a failure
};

// Reads `key` of `subdomain` into a zeroed buffer of `buffer_size` bytes, passing
// `passed_size` (at most `buffer_size`; by default `buffer_size`) to the store as the size.
StoreRead ReadStoreValue(ZEPHandle store, const char* key, const char* subdomain, bool domain,
                         uint32_t buffer_size, uint32_t passed_size = 0);

}  // namespace corvel::records
