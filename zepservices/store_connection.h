// The store's one SQLite connection per process, shared by every store and agreement handle.
//
// Transactions nest by a counter on the connection: the outermost Begin starts an immediate
// write transaction and the outermost End commits it, so every write made in between, through
// any handle, lands in that one transaction. A write made outside a transaction commits on
// its own (in its own immediate transaction). An outermost End whose commit fails (another
// connection kept its read lock past the busy timeout, a full disk) rolls the transaction back
// and answers non-zero, so nothing half-applies and the next Begin starts afresh. A transaction
// that changed nothing ends by a rollback, which needs no lock: readers of the store neither
// delay nor fail it. The database uses a rollback journal and waits up to kBusyTimeoutMs for
// other processes' locks. Every statement is prepared once and bound.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zepservices.h"

namespace corvel::zepsvc {

struct StoredRow {
  bool unprotected = false;
  std::string subdomain;
  std::string key;
  std::string value;
};

class Connection {
 public:
  static constexpr int kBusyTimeoutMs = 30000;
  // The busy timeout of connections opened now: kBusyTimeoutMs, or less when
  // ZEP_PCD_BUSY_TIMEOUT_MS holds a decimal count of milliseconds below it (for tests).
  static int BusyTimeoutMs();

  // The process's connection, opened when none is open: missing folders (0755), the file
  // (0644) and the schema are created. Null when the database cannot be opened or holds no
  // schema that could be created.
  // The database is platform::StoreDatabasePath().
  static std::shared_ptr<Connection> Acquire();

  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::recursive_mutex& mutex() { return mMutex; }

  ZEPStatus Begin();
  ZEPStatus End();
  // Ends `count` levels that a released handle left open; rolls back if the outermost goes.
  void Abandon(uint32_t count);
  // 0 when both tables exist; with `repair`, missing tables are created first.
  ZEPStatus CheckSchema(bool repair);

  ZEPStatus Read(bool unprotected, const char* subdomain, const char* key, std::string* value);
  ZEPStatus Write(bool unprotected, const char* subdomain, const char* key, const char* value);
  ZEPStatus Remove(bool unprotected, const char* subdomain, const char* key);
  ZEPStatus RemoveAll(bool unprotected, const char* subdomain);
  // Every row, or the rows of one subdomain, ordered by domain, subdomain and key.
  ZEPStatus Rows(const char* subdomain_or_null, std::vector<StoredRow>* rows);
  ZEPStatus SetEulaState(const char* product_code, int kind, int state, const char* language,
                         int64_t recorded_at);

 private:
  enum StatementId : size_t {
    kBeginImmediate,
    kBeginDeferred,
    kCommit,
    kRollback,
    kSelectValue,
    kUpsertValue,
    kDeleteValue,
    kDeleteSubdomain,
    kSelectAll,
    kSelectSubdomain,
    kUpsertEula,
    kCountTables,
    kCreateValues,
    kCreateEula,
    kJournalDelete,
    kSynchronousFull,
    kStatementCount
  };

  Connection(sqlite3* db, int pid);
  static std::shared_ptr<Connection> Open();

  sqlite3_stmt* Statement(StatementId id);
  // Steps a statement without results (or whose results are ignored) to its end.
  int Run(StatementId id);
  bool SchemaPresent(ZEPStatus* status);
  ZEPStatus CreateSchema();
  // Runs one bound write statement inside the open transaction or in one of its own.
  template <typename Bind>
  ZEPStatus WriteStatement(StatementId id, Bind bind, int* changes);
  ZEPStatus StatusOf(int rc) const;

  std::recursive_mutex mMutex;
  sqlite3* mDb;
  int mPid;               // the process that opened the connection
  uint32_t mDepth = 0;    // open Begin levels, over all handles
  bool mChanged = false;  // a statement of the open transaction changed the database
  std::array<sqlite3_stmt*, kStatementCount> mStatements{};
};

}  // namespace corvel::zepsvc
