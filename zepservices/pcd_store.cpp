#include "pcd_store.h"

#include "platform/platform.h"

namespace corvel::zepsvc {

PcdStore::PcdStore(std::shared_ptr<Connection> connection) : mConnection(std::move(connection)) {}

PcdStore::~PcdStore() {
  std::lock_guard<std::recursive_mutex> lock(mConnection->mutex());
  if (mBegun > 0) mConnection->Abandon(mBegun);
}

ZEPStatus PcdStore::BeginTransaction() {
  std::lock_guard<std::recursive_mutex> lock(mConnection->mutex());
  ZEPStatus status = mConnection->Begin();
  if (status == ZEP_STATUS_OK) ++mBegun;
  return status;
}

ZEPStatus PcdStore::EndTransaction() {
  std::lock_guard<std::recursive_mutex> lock(mConnection->mutex());
  if (mBegun == 0) return ZEP_STATUS_NO_TRANSACTION;
  --mBegun;
  return mConnection->End();
}

EulaService::EulaService(std::shared_ptr<Connection> connection)
    : mConnection(std::move(connection)) {}

ZEPStatus EulaService::SetState(const char* product_code, int state, int kind,
                                const char* language) {
  int64_t seconds = 0;
  int milliseconds = 0;
  platform::CurrentTime(&seconds, &milliseconds);
  return mConnection->SetEulaState(product_code, kind, state, language, seconds);
}

}  // namespace corvel::zepsvc
