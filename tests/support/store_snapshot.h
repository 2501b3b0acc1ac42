// The store seen from outside: every row of every table of the database file, read through
// a read-only connection of our own, and the database's own integrity check. Tests compare a
// snapshot before a call with one after it, so a call that writes a row it should not have
// written (or loses one) shows.
#pragma once

#include <map>
#include <set>
#include <string>

namespace corvel::test {

// One stored value: domain (true: unprotected), subdomain, key, value.
struct StoreRow {
  bool unprotected;
  std::string subdomain;
  std::string key;
  std::string value;
  auto operator<=>(const StoreRow&) const = default;
};
using StoreRows = std::set<StoreRow>;

inline StoreRow U(std::string subdomain, std::string key, std::string value) {
  return {true, std::move(subdomain), std::move(key), std::move(value)};
}
inline StoreRow P(std::string subdomain, std::string key, std::string value) {
  return {false, std::move(subdomain), std::move(key), std::move(value)};
}

struct StoreSnapshot {
  // The values table.
  StoreRows values;
  // Every other table (agreement states, schema bookkeeping): its rows, each one the text of
  // its columns joined by a unit separator.
  std::map<std::string, std::multiset<std::string>> other_tables;
  bool operator==(const StoreSnapshot&) const = default;
};

// The snapshot of the database file (empty when there is no file yet). Opens the file
// read-only; a store with a transaction still pending in its journal cannot be read that way
// and yields a failed test.
StoreSnapshot ReadSnapshot(const std::string& database);

// The first line of "PRAGMA integrity_check" on a read-only connection: "ok" for a sound
// file, else the first problem, or the reason the file could not be read.
std::string IntegrityCheck(const std::string& database);

// `before` with `removed` taken out and `added` put in (a row added under the address of a
// removed one replaces it).
StoreRows Applied(const StoreRows& before, const StoreRows& removed, const StoreRows& added);

// Readable lists of the rows in `a` and not in `b`, for failure messages; long texts are cut.
std::string Describe(const StoreRows& rows);
std::string Difference(const StoreRows& expected, const StoreRows& actual);

}  // namespace corvel::test
