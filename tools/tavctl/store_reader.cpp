#include "store_reader.h"

#include <filesystem>

#include "files.h"
#include "table.h"
#include "tool_error.h"
#include "zepservices.h"

namespace tavctl {

namespace {

// A store handle of the services library, given back when the object goes.
class StoreHandle {
 public:
  StoreHandle() : mHandle(C_ZEPPCDServiceCreate()) {}
  ~StoreHandle() {
    if (mHandle) C_ZEPRelease(mHandle);
  }
  StoreHandle(const StoreHandle&) = delete;
  StoreHandle& operator=(const StoreHandle&) = delete;

  ZEPHandle get() const { return mHandle; }
  bool usable() const { return mHandle && C_ZEPPCDServiceCheckDatabase(mHandle, false) == 0; }

 private:
  ZEPHandle mHandle;
};

int CollectRow(void* context, bool unprotected, const char* subdomain, const char* key,
               const char* value) {
  auto* rows = static_cast<std::vector<StoreRow>*>(context);
  rows->push_back({unprotected, subdomain ? subdomain : "", key ? key : "", value ? value : ""});
  return 0;
}

void RequireOpenable(const Locations& where) {
  StoreHandle store;
  if (!store.usable()) throw ToolError("cannot open the store " + where.store);
}

}  // namespace

const char* DomainName(bool unprotected) { return unprotected ? "unprotected" : "protected"; }

void RequireExistingStore(const Locations& where) {
  if (!PathExists(where.store)) throw ToolError("no store at " + where.store);
  RequireOpenable(where);
}

void RequireWritableStore(const Locations& where) {
  if (PathExists(where.store)) {
    RequireOpenable(where);
    return;
  }
  // The services library makes the missing folders; it cannot when a file is in the way.
  std::filesystem::path folder = std::filesystem::path(where.store).parent_path();
  while (!folder.empty() && !PathExists(folder.string())) {
    if (folder == folder.parent_path()) break;
    folder = folder.parent_path();
  }
  if (!folder.empty() && !IsDirectory(folder.string())) {
    throw ToolError("cannot create the store " + where.store + ": " + folder.string() +
                    " is not a folder");
  }
}

std::vector<StoreRow> ReadStoreRows(const std::optional<std::string>& subdomain) {
  StoreHandle store;
  if (!store.usable()) throw ToolError("cannot open the store");
  std::vector<StoreRow> rows;
  const ZEPStatus status = C_ZEPPCDServiceEnumerate(
      store.get(), subdomain ? subdomain->c_str() : nullptr, &CollectRow, &rows);
  if (status != ZEP_STATUS_OK) {
    throw ToolError("cannot read the store (services status " + std::to_string(status) + ")");
  }
  return rows;
}

std::string FormatRows(const std::vector<StoreRow>& rows) {
  if (rows.empty()) return "(no entries)\n";
  TextTable table({"DOMAIN", "SUBDOMAIN", "KEY", "VALUE"});
  for (const StoreRow& row : rows) {
    table.AddRow({DomainName(row.unprotected), row.subdomain, row.key, row.value});
  }
  return table.Render();
}

}  // namespace tavctl
