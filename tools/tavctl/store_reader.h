// Reading the store for display. The rows come from the enumeration extension of the services
// library (C_ZEPPCDServiceEnumerate), never from the database file directly, so the tool sees
// exactly what the library would and takes the store's locks like any other caller.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "locations.h"

namespace tavctl {

struct StoreRow {
  bool unprotected = false;
  std::string subdomain;
  std::string key;
  std::string value;
};

// "protected" or "unprotected".
const char* DomainName(bool unprotected);

// Refuses (ToolError) a store that does not exist or that the services library cannot open.
// Used before commands that only read, so that they never create a store.
void RequireExistingStore(const Locations& where);

// Refuses (ToolError) a store that exists but cannot be opened, or that is missing and cannot
// be created because a file stands where one of its folders should be. Used before commands
// that write.
void RequireWritableStore(const Locations& where);

// Every row of the store, or the rows of one subdomain (both domains), ordered by domain,
// subdomain and key. ToolError when the store cannot be opened or walked.
std::vector<StoreRow> ReadStoreRows(const std::optional<std::string>& subdomain);

// The rows as a text table with a header line; "(no entries)" for none.
std::string FormatRows(const std::vector<StoreRow>& rows);

}  // namespace tavctl
