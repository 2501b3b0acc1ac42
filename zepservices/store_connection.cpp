#include "store_connection.h"

#include "platform/platform.h"

namespace corvel::zepsvc {

namespace {

constexpr const char* kSql[] = {
    "BEGIN IMMEDIATE",
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
    "SELECT value FROM pcd_values WHERE unprotected = ?1 AND subdomain = ?2 AND key = ?3",
    "INSERT OR REPLACE INTO pcd_values (unprotected, subdomain, key, value) VALUES (?1, ?2, ?3, "
    "?4)",
    "DELETE FROM pcd_values WHERE unprotected = ?1 AND subdomain = ?2 AND key = ?3",
    "DELETE FROM pcd_values WHERE unprotected = ?1 AND subdomain = ?2",
    "SELECT unprotected, subdomain, key, value FROM pcd_values ORDER BY unprotected, subdomain, "
    "key",
    "SELECT unprotected, subdomain, key, value FROM pcd_values WHERE subdomain = ?1 "
    "ORDER BY unprotected, subdomain, key",
    "INSERT OR REPLACE INTO eula_states (product_code, kind, state, language, recorded_at) "
    "VALUES (?1, ?2, ?3, ?4, ?5)",
    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('pcd_values', "
    "'eula_states')",
    "CREATE TABLE IF NOT EXISTS pcd_values ("
    "unprotected INTEGER NOT NULL, subdomain TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT "
    "NULL, "
    "PRIMARY KEY (unprotected, subdomain, key)) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS eula_states ("
    "product_code TEXT NOT NULL, kind INTEGER NOT NULL, state INTEGER NOT NULL, "
    "language TEXT NOT NULL, recorded_at INTEGER NOT NULL, "
    "PRIMARY KEY (product_code, kind)) WITHOUT ROWID",
    "PRAGMA journal_mode = DELETE",
    "PRAGMA synchronous = FULL",
};

constexpr platform::Permissions kFolderMode = 0755;
constexpr platform::Permissions kFileMode = 0644;

std::mutex gAcquireMutex;
std::weak_ptr<Connection> gConnection;

// Resets a statement and clears its bindings when the use ends.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : mStatement(statement) {}
  ~StatementUse() {
    if (mStatement) {
      sqlite3_reset(mStatement);
      sqlite3_clear_bindings(mStatement);
    }
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* get() const { return mStatement; }

 private:
  sqlite3_stmt* mStatement;
};

void BindText(sqlite3_stmt* statement, int index, const char* text) {
  sqlite3_bind_text(statement, index, text, -1, SQLITE_STATIC);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  int bytes = sqlite3_column_bytes(statement, column);
  if (!text || bytes <= 0) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes));
}

// Creates every missing folder above the file at `path` with mode 0755 (set explicitly, not
// left to the umask). True when the parent folder exists afterwards.
bool EnsureParentFolders(const std::string& path) {
  size_t last = path.rfind('/');
  if (last == std::string::npos || last == 0) return true;
  const std::string parent = path.substr(0, last);
  return platform::MakeFolders(parent, kFolderMode) == 0 && platform::IsFolder(parent);
}

}  // namespace

int Connection::BusyTimeoutMs() {
  std::optional<std::string> named = platform::EnvironmentValue("ZEP_PCD_BUSY_TIMEOUT_MS");
  if (!named || named->empty() || named->size() > 5 ||
      named->find_first_not_of("0123456789") != std::string::npos) {
    return kBusyTimeoutMs;
  }
  int milliseconds = std::stoi(*named);
  return milliseconds < kBusyTimeoutMs ? milliseconds : kBusyTimeoutMs;
}

std::shared_ptr<Connection> Connection::Acquire() {
  std::lock_guard<std::mutex> lock(gAcquireMutex);
  std::shared_ptr<Connection> connection = gConnection.lock();
  // A connection inherited from the parent of a forked process is never used by the child.
  if (connection && connection->mPid == platform::ProcessId()) return connection;
  connection = Open();
  gConnection = connection;
  return connection;
}

std::shared_ptr<Connection> Connection::Open() {
  std::string path = platform::StoreDatabasePath();
  if (path.empty() || !EnsureParentFolders(path)) return nullptr;
  bool existed = platform::PathExists(path);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  std::shared_ptr<Connection> connection(new Connection(db, platform::ProcessId()));
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, BusyTimeoutMs());
  // A rollback journal: readers of a store they cannot write need no write access, and a
  // process that dies inside a transaction leaves a journal the next opener rolls back.
  connection->Run(kJournalDelete);
  connection->Run(kSynchronousFull);
  ZEPStatus status = ZEP_STATUS_OK;
  if (!connection->SchemaPresent(&status)) {
    if (status != ZEP_STATUS_OK || connection->CreateSchema() != ZEP_STATUS_OK) return nullptr;
  }
  if (!existed) platform::ChangeMode(path, kFileMode);
  return connection;
}

Connection::Connection(sqlite3* db, int pid) : mDb(db), mPid(pid) {}

Connection::~Connection() {
  // A forked child leaves its parent's connection alone.
  if (mPid != platform::ProcessId()) return;
  if (mDepth > 0 && !sqlite3_get_autocommit(mDb)) Run(kRollback);
  for (sqlite3_stmt*& statement : mStatements) {
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  sqlite3_close(mDb);
}

sqlite3_stmt* Connection::Statement(StatementId id) {
  if (!mStatements[id]) {
    sqlite3_prepare_v3(mDb, kSql[id], -1, SQLITE_PREPARE_PERSISTENT, &mStatements[id], nullptr);
  }
  return mStatements[id];
}

int Connection::Run(StatementId id) {
  sqlite3_stmt* statement = Statement(id);
  if (!statement) return sqlite3_errcode(mDb) != SQLITE_OK ? sqlite3_errcode(mDb) : SQLITE_ERROR;
  StatementUse use(statement);
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

ZEPStatus Connection::StatusOf(int rc) const {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
      return ZEP_STATUS_OK;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return ZEP_STATUS_READ_ONLY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ZEP_STATUS_BUSY;
    default:
      return ZEP_STATUS_STORE_ERROR;
  }
}

// ---- Schema -------------------------------------------------------------------------------

bool Connection::SchemaPresent(ZEPStatus* status) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  sqlite3_stmt* statement = Statement(kCountTables);
  if (!statement) {
    *status = StatusOf(sqlite3_errcode(mDb));
    if (*status == ZEP_STATUS_OK) *status = ZEP_STATUS_STORE_ERROR;
    return false;
  }
  StatementUse use(statement);
  int rc = sqlite3_step(statement);
  if (rc != SQLITE_ROW) {
    *status = StatusOf(rc);
    return false;
  }
  *status = ZEP_STATUS_OK;
  return sqlite3_column_int(statement, 0) == 2;
}

ZEPStatus Connection::CreateSchema() {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  int changes = 0;
  ZEPStatus status = WriteStatement(
      kCreateValues, [](sqlite3_stmt*) {}, &changes);
  if (status != ZEP_STATUS_OK) return status;
  return WriteStatement(
      kCreateEula, [](sqlite3_stmt*) {}, &changes);
}

ZEPStatus Connection::CheckSchema(bool repair) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  ZEPStatus status = ZEP_STATUS_OK;
  if (SchemaPresent(&status)) return ZEP_STATUS_OK;
  if (status != ZEP_STATUS_OK) return status;
  if (!repair) return ZEP_STATUS_NOT_FOUND;
  status = CreateSchema();
  if (status != ZEP_STATUS_OK) return status;
  return SchemaPresent(&status) ? ZEP_STATUS_OK : ZEP_STATUS_STORE_ERROR;
}

// ---- Transactions -------------------------------------------------------------------------

ZEPStatus Connection::Begin() {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  if (mDepth == 0) {
    int rc = Run(kBeginImmediate);
    // A store this process may only read: a read transaction, whose writes will fail.
    if ((rc & 0xff) == SQLITE_READONLY) rc = Run(kBeginDeferred);
    if (rc != SQLITE_OK) return StatusOf(rc);
    mChanged = false;
  }
  ++mDepth;
  return ZEP_STATUS_OK;
}

ZEPStatus Connection::End() {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  if (mDepth == 0) return ZEP_STATUS_NO_TRANSACTION;
  if (--mDepth > 0) return ZEP_STATUS_OK;
  // An error inside the transaction (a full disk, an I/O error) may have rolled it back.
  if (sqlite3_get_autocommit(mDb)) return ZEP_STATUS_STORE_ERROR;
  int rc = Run(mChanged ? kCommit : kRollback);
  if (rc != SQLITE_OK) {
    // A commit refused for a lock leaves the transaction open: undo it, so none of it applies
    // later and the connection can begin again.
    if (!sqlite3_get_autocommit(mDb)) Run(kRollback);
    return StatusOf(rc);
  }
  return ZEP_STATUS_OK;
}

void Connection::Abandon(uint32_t count) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  if (count == 0 || mDepth == 0) return;
  mDepth = count >= mDepth ? 0 : mDepth - count;
  if (mDepth == 0 && !sqlite3_get_autocommit(mDb)) Run(kRollback);
}

template <typename Bind>
ZEPStatus Connection::WriteStatement(StatementId id, Bind bind, int* changes) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  *changes = 0;
  bool own_transaction = mDepth == 0;
  if (own_transaction) {
    int rc = Run(kBeginImmediate);
    if (rc != SQLITE_OK) return StatusOf(rc);
  } else if (sqlite3_get_autocommit(mDb)) {
    // The enclosing transaction was rolled back by an earlier error: writing now would
    // commit on its own, outside the transaction the caller believes open.
    return ZEP_STATUS_STORE_ERROR;
  }
  int rc = SQLITE_OK;
  sqlite3_stmt* statement = Statement(id);
  if (!statement) {
    rc = sqlite3_errcode(mDb) != SQLITE_OK ? sqlite3_errcode(mDb) : SQLITE_ERROR;
  } else {
    StatementUse use(statement);
    bind(statement);
    rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) rc = SQLITE_OK;
    *changes = sqlite3_changes(mDb);
    // A failed statement is undone by itself; creating a table counts in no row count.
    bool schema = id == kCreateValues || id == kCreateEula;
    if (!own_transaction && rc == SQLITE_OK && (*changes > 0 || schema)) mChanged = true;
  }
  if (own_transaction) {
    if (rc == SQLITE_OK) rc = Run(kCommit);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(mDb)) Run(kRollback);
  }
  return StatusOf(rc);
}

// ---- Values -------------------------------------------------------------------------------

ZEPStatus Connection::Read(bool unprotected, const char* subdomain, const char* key,
                           std::string* value) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  sqlite3_stmt* statement = Statement(kSelectValue);
  if (!statement) return ZEP_STATUS_STORE_ERROR;
  StatementUse use(statement);
  sqlite3_bind_int(statement, 1, unprotected ? 1 : 0);
  BindText(statement, 2, subdomain);
  BindText(statement, 3, key);
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return ZEP_STATUS_NOT_FOUND;
  if (rc != SQLITE_ROW) return StatusOf(rc);
  *value = ColumnText(statement, 0);
  return ZEP_STATUS_OK;
}

ZEPStatus Connection::Write(bool unprotected, const char* subdomain, const char* key,
                            const char* value) {
  int changes = 0;
  return WriteStatement(
      kUpsertValue,
      [&](sqlite3_stmt* statement) {
        sqlite3_bind_int(statement, 1, unprotected ? 1 : 0);
        BindText(statement, 2, subdomain);
        BindText(statement, 3, key);
        BindText(statement, 4, value);
      },
      &changes);
}

ZEPStatus Connection::Remove(bool unprotected, const char* subdomain, const char* key) {
  int changes = 0;
  ZEPStatus status = WriteStatement(
      kDeleteValue,
      [&](sqlite3_stmt* statement) {
        sqlite3_bind_int(statement, 1, unprotected ? 1 : 0);
        BindText(statement, 2, subdomain);
        BindText(statement, 3, key);
      },
      &changes);
  if (status == ZEP_STATUS_OK && changes == 0) return ZEP_STATUS_NOT_FOUND;
  return status;
}

ZEPStatus Connection::RemoveAll(bool unprotected, const char* subdomain) {
  int changes = 0;
  return WriteStatement(
      kDeleteSubdomain,
      [&](sqlite3_stmt* statement) {
        sqlite3_bind_int(statement, 1, unprotected ? 1 : 0);
        BindText(statement, 2, subdomain);
      },
      &changes);
}

ZEPStatus Connection::Rows(const char* subdomain_or_null, std::vector<StoredRow>* rows) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  sqlite3_stmt* statement = Statement(subdomain_or_null ? kSelectSubdomain : kSelectAll);
  if (!statement) return ZEP_STATUS_STORE_ERROR;
  StatementUse use(statement);
  if (subdomain_or_null) BindText(statement, 1, subdomain_or_null);
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    StoredRow row;
    row.unprotected = sqlite3_column_int(statement, 0) != 0;
    row.subdomain = ColumnText(statement, 1);
    row.key = ColumnText(statement, 2);
    row.value = ColumnText(statement, 3);
    rows->push_back(std::move(row));
  }
  return rc == SQLITE_DONE ? ZEP_STATUS_OK : StatusOf(rc);
}

ZEPStatus Connection::SetEulaState(const char* product_code, int kind, int state,
                                   const char* language, int64_t recorded_at) {
  int changes = 0;
  return WriteStatement(
      kUpsertEula,
      [&](sqlite3_stmt* statement) {
        BindText(statement, 1, product_code);
        sqlite3_bind_int(statement, 2, kind);
        sqlite3_bind_int(statement, 3, state);
        BindText(statement, 4, language);
        sqlite3_bind_int64(statement, 5, recorded_at);
      },
      &changes);
}

}  // namespace corvel::zepsvc
