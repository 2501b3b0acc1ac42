#include "records/store_access.h"

#include <vector>

namespace corvel::records {

StoreRead ReadStoreValue(ZEPHandle store, const char* key, const char* subdomain, bool domain,
                         uint32_t buffer_size, uint32_t passed_size) {
  if (passed_size == 0 || passed_size > buffer_size) passed_size = buffer_size;
  // One spare zero byte beyond the size given to the store keeps the text terminated
  // whatever the store leaves in the buffer.
  std::vector<char> buffer(static_cast<size_t>(buffer_size) + 1, '\0');
  const ZEPStatus status = zep::C_ZEPPCDServiceValueForKeyInSubDomain(
      store, buffer.data(), passed_size, key, subdomain, domain);
  if (status != 0) return {status, {}};
  return {status, std::string(buffer.data())};
}

}  // namespace corvel::records
