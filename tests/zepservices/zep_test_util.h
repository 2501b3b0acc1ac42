// Helpers of the services library's tests: handles given back at scope end, reading values
// into strings, the rows of the store, and running a body in a forked child.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "zepservices.h"

namespace corvel::zeptest {

class Handle {
 public:
  explicit Handle(ZEPHandle handle) : mHandle(handle) {}
  ~Handle() {
    if (mHandle) C_ZEPRelease(mHandle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ZEPHandle get() const { return mHandle; }
  explicit operator bool() const { return mHandle != nullptr; }
  void reset() {
    if (mHandle) C_ZEPRelease(mHandle);
    mHandle = nullptr;
  }

 private:
  ZEPHandle mHandle;
};

// The value under (key, subdomain, domain), or "<status N>" when the read fails.
inline std::string Get(ZEPHandle store, const char* key, const char* subdomain, bool unprotected) {
  char buffer[1024];
  ZEPStatus status = C_ZEPPCDServiceValueForKeyInSubDomain(store, buffer, sizeof buffer, key,
                                                           subdomain, unprotected);
  if (status != 0) return "<status " + std::to_string(status) + ">";
  return buffer;
}

inline std::string NotFound() { return "<status " + std::to_string(ZEP_STATUS_NOT_FOUND) + ">"; }

// Every row as "<u|p> subdomain key=value", through the enumeration extension.
inline std::vector<std::string> Rows(ZEPHandle store, const char* subdomain = nullptr) {
  std::vector<std::string> rows;
  C_ZEPPCDServiceEnumerate(
      store, subdomain,
      [](void* context, bool unprotected, const char* sub, const char* key, const char* value) {
        static_cast<std::vector<std::string>*>(context)->push_back(
            std::string(unprotected ? "u " : "p ") + sub + " " + key + "=" + value);
        return 0;
      },
      &rows);
  return rows;
}

// Runs `body` in a forked child; its result is the exit status, -1 when the child dies by a
// signal or cannot start.
inline int RunInChildProcess(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int code = 255;
    try {
      code = body();
    } catch (...) {
    }
    _exit(code & 0xff);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The answer of one SQL query with a single text result, read with SQLite directly.
inline std::string QueryText(const std::string& database, const char* sql) {
  sqlite3* db = nullptr;
  std::string result = "<error>";
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
      if (sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        result = text ? reinterpret_cast<const char*>(text) : "<null>";
      } else {
        result = "<no row>";
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace corvel::zeptest
