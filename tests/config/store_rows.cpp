#include "store_rows.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <sstream>

namespace corvel::config::test {

namespace {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Database Open(const std::string& path, int flags) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  Database owned(db);
  if (rc != SQLITE_OK) return nullptr;
  return owned;
}

const char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS pcd_values (unprotected INTEGER NOT NULL, subdomain TEXT NOT "
    "NULL, key TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (unprotected, subdomain, key)) "
    "WITHOUT ROWID";

std::string Column(sqlite3_stmt* statement, int index) {
  const unsigned char* text = sqlite3_column_text(statement, index);
  return std::string(
      reinterpret_cast<const char*>(text ? text : reinterpret_cast<const unsigned char*>("")),
      static_cast<size_t>(sqlite3_column_bytes(statement, index)));
}

}  // namespace

StoreRows ReadStoreRows(const std::string& database) {
  StoreRows rows;
  Database db = Open(database, SQLITE_OPEN_READWRITE);
  if (!db) return rows;
  // No writer may still hold the database: an immediate transaction must start at once.
  int begin = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  EXPECT_EQ(SQLITE_OK, begin) << "the store is still locked: " << sqlite3_errmsg(db.get());
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT unprotected, subdomain, key, value FROM pcd_values", -1,
                         &raw, nullptr) == SQLITE_OK) {
    Statement statement(raw);
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
      rows.insert(StoreRow{sqlite3_column_int(statement.get(), 0) != 0, Column(statement.get(), 1),
                           Column(statement.get(), 2), Column(statement.get(), 3)});
    }
  }
  if (begin == SQLITE_OK) sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  return rows;
}

void PlantStoreRows(const std::string& database, const StoreRows& rows) {
  Database db = Open(database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ASSERT_TRUE(db) << "cannot open " << database;
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db.get(), kCreateTable, nullptr, nullptr, nullptr));
  sqlite3_stmt* raw = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(
                           db.get(), "INSERT OR REPLACE INTO pcd_values VALUES (?1, ?2, ?3, ?4)",
                           -1, &raw, nullptr));
  Statement statement(raw);
  for (const StoreRow& row : rows) {
    sqlite3_bind_int(statement.get(), 1, row.unprotected ? 1 : 0);
    sqlite3_bind_text(statement.get(), 2, row.subdomain.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement.get(), 3, row.key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement.get(), 4, row.value.c_str(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(SQLITE_DONE, sqlite3_step(statement.get()));
    sqlite3_reset(statement.get());
  }
}

std::string Describe(const StoreRows& rows) {
  std::ostringstream out;
  for (const StoreRow& row : rows) {
    out << (row.unprotected ? "U " : "P ") << "[" << row.subdomain << "] " << row.key << "="
        << (row.value.size() > 80 ? row.value.substr(0, 80) + "..." : row.value) << "\n";
  }
  return out.str();
}

}  // namespace corvel::config::test
