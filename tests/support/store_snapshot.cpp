#include "store_snapshot.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <tuple>
#include <vector>

namespace corvel::test {

namespace {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Database OpenReadOnly(const std::string& path, std::string& error) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) {
    error = "cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    return nullptr;
  }
  return db;
}

Statement Prepare(sqlite3* db, const std::string& sql, std::string& error) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    error = sql + ": " + sqlite3_errmsg(db);
    return nullptr;
  }
  return Statement(raw);
}

std::string Column(sqlite3_stmt* statement, int index) {
  const void* bytes = sqlite3_column_blob(statement, index);
  const int size = sqlite3_column_bytes(statement, index);
  if (bytes == nullptr) return sqlite3_column_type(statement, index) == SQLITE_NULL ? "<null>" : "";
  return std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

// Runs `sql` and hands each row to `row`; false (with `error`) when a step fails.
template <typename RowHandler>
bool ForEachRow(sqlite3* db, const std::string& sql, RowHandler&& row, std::string& error) {
  Statement statement = Prepare(db, sql, error);
  if (!statement) return false;
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) row(statement.get());
  if (rc != SQLITE_DONE) {
    error = sql + ": " + sqlite3_errmsg(db);
    return false;
  }
  return true;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() && i < 60; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  if (text.size() > 60) out += "...(" + std::to_string(text.size()) + " bytes)";
  return out;
}

}  // namespace

StoreSnapshot ReadSnapshot(const std::string& database) {
  StoreSnapshot snapshot;
  if (!std::filesystem::exists(database)) return snapshot;
  std::string error;
  Database db = OpenReadOnly(database, error);
  if (!db) {
    ADD_FAILURE() << error;
    return snapshot;
  }
  std::vector<std::string> tables;
  bool ok = ForEachRow(
      db.get(), "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
      [&](sqlite3_stmt* s) { tables.push_back(Column(s, 0)); }, error);
  for (const std::string& table : tables) {
    if (!ok) break;
    if (table == "pcd_values") {
      ok = ForEachRow(
          db.get(), "SELECT unprotected, subdomain, key, value FROM pcd_values",
          [&](sqlite3_stmt* s) {
            snapshot.values.insert(
                StoreRow{sqlite3_column_int(s, 0) != 0, Column(s, 1), Column(s, 2), Column(s, 3)});
          },
          error);
      continue;
    }
    auto& rows = snapshot.other_tables[table];
    ok = ForEachRow(
        db.get(), "SELECT * FROM \"" + table + "\"",
        [&](sqlite3_stmt* s) {
          std::string joined;
          for (int i = 0; i < sqlite3_column_count(s); ++i) joined += Column(s, i) + '\x1f';
          rows.insert(joined);
        },
        error);
  }
  if (!ok) ADD_FAILURE() << "reading " << database << ": " << error;
  return snapshot;
}

std::string IntegrityCheck(const std::string& database) {
  if (!std::filesystem::exists(database)) return "no database file at " + database;
  std::string error;
  Database db = OpenReadOnly(database, error);
  if (!db) return error;
  std::string first;
  if (!ForEachRow(
          db.get(), "PRAGMA integrity_check",
          [&](sqlite3_stmt* s) {
            if (first.empty()) first = Column(s, 0);
          },
          error)) {
    return error;
  }
  return first;
}

StoreRows Applied(const StoreRows& before, const StoreRows& removed, const StoreRows& added) {
  using Address = std::tuple<bool, const std::string&, const std::string&>;
  std::set<Address> replaced;
  for (const StoreRow& row : added) replaced.emplace(row.unprotected, row.subdomain, row.key);
  StoreRows result;
  for (const StoreRow& row : before) {
    if (removed.count(row) != 0) continue;
    if (replaced.count(Address(row.unprotected, row.subdomain, row.key)) != 0) continue;
    result.insert(row);
  }
  result.insert(added.begin(), added.end());
  return result;
}

std::string Describe(const StoreRows& rows) {
  std::string out;
  for (const StoreRow& row : rows) {
    out += std::string(row.unprotected ? "  U [" : "  P [") + Printable(row.subdomain) + "] " +
           Printable(row.key) + " = " + Printable(row.value) + "\n";
  }
  return out.empty() ? "  (none)\n" : out;
}

std::string Difference(const StoreRows& expected, const StoreRows& actual) {
  StoreRows missing, unexpected;
  for (const StoreRow& row : expected) {
    if (actual.count(row) == 0) missing.insert(row);
  }
  for (const StoreRow& row : actual) {
    if (expected.count(row) == 0) unexpected.insert(row);
  }
  return "missing rows:\n" + Describe(missing) + "unexpected rows:\n" + Describe(unexpected);
}

}  // namespace corvel::test
