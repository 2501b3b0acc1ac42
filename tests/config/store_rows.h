// Direct access to the store's database for the configuration tests: every row as a set, so
// a test can state exactly what the store holds, and rows planted before a call.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <tuple>

namespace corvel::config::test {

// One stored value: domain (true: unprotected), subdomain, key, value.
struct StoreRow {
  bool unprotected;
  std::string subdomain;
  std::string key;
  std::string value;
  auto operator<=>(const StoreRow&) const = default;
};

using StoreRows = std::set<StoreRow>;

inline StoreRow Protected(std::string subdomain, std::string key, std::string value) {
  return StoreRow{false, std::move(subdomain), std::move(key), std::move(value)};
}
inline StoreRow Unprotected(std::string subdomain, std::string key, std::string value) {
  return StoreRow{true, std::move(subdomain), std::move(key), std::move(value)};
}

// Every row of the database file (empty when the file or its table does not exist). Fails
// the current test when the database is still locked by a writer, which would mean a
// transaction was left open.
StoreRows ReadStoreRows(const std::string& database);

// Writes rows (creating the table when the store does not exist yet).
void PlantStoreRows(const std::string& database, const StoreRows& rows);

std::string Describe(const StoreRows& rows);

}  // namespace corvel::config::test
