// A store handle: one user of the process's shared connection. It counts the transaction
// levels it began, so that releasing it inside them ends them.
#pragma once

#include <memory>

#include "service_object.h"
#include "store_connection.h"

namespace corvel::zepsvc {

class PcdStore : public ServiceObject {
 public:
  explicit PcdStore(std::shared_ptr<Connection> connection);
  ~PcdStore() override;
  const char* ServiceKind() const override { return "store"; }

  Connection& connection() { return *mConnection; }
  ZEPStatus BeginTransaction();
  ZEPStatus EndTransaction();

 private:
  std::shared_ptr<Connection> mConnection;
  uint32_t mBegun = 0;  // guarded by the connection's lock
};

// An agreement handle; it records through the same connection.
class EulaService : public ServiceObject {
 public:
  explicit EulaService(std::shared_ptr<Connection> connection);
  const char* ServiceKind() const override { return "agreement service"; }

  ZEPStatus SetState(const char* product_code, int state, int kind, const char* language);

 private:
  std::shared_ptr<Connection> mConnection;
};

}  // namespace corvel::zepsvc
