// The exported entry points. Each refuses null handles and texts, looks its handle up before
// touching it, and lets no exception out.
#include <cstring>

#include "file_logger.h"
#include "log_line.h"
#include "logging_service.h"
#include "pcd_store.h"
#include "platform/platform.h"
#include "zepservices.h"

// The exports are listed in zepservices.map (Linux) and zepservices.def (Windows, where
// symbols have no visibility attribute).
#if defined(_WIN32)
#define ZEP_EXPORT extern "C"
#else
#define ZEP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace corvel::zepsvc;

namespace {

// Whether lines of a logger created now are obscured ("ZEPLogFormat" is "obscured").
bool ObscuredLogFormat() {
  std::optional<std::string> format = corvel::platform::EnvironmentValue("ZEPLogFormat");
  return format && *format == "obscured";
}

// Copies at most size - 1 bytes of `value` and terminates it.
void CopyOut(const std::string& value, char* buffer, uint32_t size) {
  size_t count = value.size() < size - 1u ? value.size() : size - 1u;
  std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
}

ZEPStatus ReadInto(ZEPHandle store, char* buffer, uint32_t size, const char* key,
                   const char* subdomain, bool unprotected_domain) {
  if (!buffer || size == 0) return ZEP_STATUS_INVALID_ARGUMENT;
  buffer[0] = '\0';
  if (!key || !subdomain) return ZEP_STATUS_INVALID_ARGUMENT;
  Ref<PcdStore> pinned = Pin<PcdStore>(store);
  if (!pinned) return ZEP_STATUS_INVALID_ARGUMENT;
  std::string value;
  ZEPStatus status = pinned->connection().Read(unprotected_domain, subdomain, key, &value);
  if (status == ZEP_STATUS_OK) CopyOut(value, buffer, size);
  return status;
}

}  // namespace

ZEP_EXPORT void C_ZEPRelease(ZEPHandle handle) {
  try {
    ReleaseHandle(handle);
  } catch (...) {
  }
}

// ---- Logging ------------------------------------------------------------------------------

ZEP_EXPORT ZEPHandle C_ZEPLoggerCreateFileLoggerWithPathAndSize(const char* path,
                                                                uint32_t max_size) {
  if (!path || !*path) return nullptr;
  try {
    FileLogger* logger = FileLogger::Create(path, max_size, ObscuredLogFormat());
    return logger ? logger->handle() : nullptr;
  } catch (...) {
    return nullptr;
  }
}

ZEP_EXPORT ZEPHandle C_ZEPLoggingServiceCreateWithID(uint32_t id) {
  try {
    return (new LoggingService(id))->handle();
  } catch (...) {
    return nullptr;
  }
}

ZEP_EXPORT void C_ZEPLoggingServiceAddLogger(ZEPHandle service, ZEPHandle logger) {
  try {
    Ref<LoggingService> target = Pin<LoggingService>(service);
    Ref<FileLogger> added = Pin<FileLogger>(logger);
    if (target && added) target->AddLogger(std::move(added));
  } catch (...) {
  }
}

ZEP_EXPORT void C_ZEPLoggingServiceCleanUpResource(ZEPHandle service) {
  try {
    if (Ref<LoggingService> target = Pin<LoggingService>(service)) target->CleanUp();
  } catch (...) {
  }
}

ZEP_EXPORT void C_ZEPLogv(ZEPHandle service, const char* component, int level, const char* pattern,
                          const char* format, va_list args) {
  // The pattern only describes the arguments; it may be the sentinel
  // ZEP_LOG_PATTERN_NONE and is therefore never read.
  (void)pattern;
  if (!format || level <= 0) return;
  try {
    Ref<LoggingService> target =
        service ? Pin<LoggingService>(service) : LoggingService::FirstLive();
    if (!target) return;
    target->Write(level, component, FormatMessage(format, args));
  } catch (...) {
  }
}

// ---- Store --------------------------------------------------------------------------------

ZEP_EXPORT ZEPHandle C_ZEPPCDServiceCreate(void) {
  try {
    std::shared_ptr<Connection> connection = Connection::Acquire();
    if (!connection) return nullptr;
    PcdStore* store = new PcdStore(std::move(connection));
    return store->handle();
  } catch (...) {
    return nullptr;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceBeginTransaction(ZEPHandle store) {
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    return pinned ? pinned->BeginTransaction() : ZEP_STATUS_INVALID_ARGUMENT;
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceEndTransaction(ZEPHandle store) {
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    return pinned ? pinned->EndTransaction() : ZEP_STATUS_INVALID_ARGUMENT;
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceCheckDatabase(ZEPHandle store, bool repair) {
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    return pinned ? pinned->connection().CheckSchema(repair) : ZEP_STATUS_INVALID_ARGUMENT;
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceValueForKeyInSubDomain(ZEPHandle store, char* buffer,
                                                           uint32_t size, const char* key,
                                                           const char* subdomain,
                                                           bool unprotected_domain) {
  try {
    return ReadInto(store, buffer, size, key, subdomain, unprotected_domain);
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceSetValueForKeyInSubDomain(ZEPHandle store, const char* value,
                                                              const char* key,
                                                              const char* subdomain,
                                                              bool unprotected_domain) {
  if (!value || !key || !subdomain) return ZEP_STATUS_INVALID_ARGUMENT;
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    if (!pinned) return ZEP_STATUS_INVALID_ARGUMENT;
    return pinned->connection().Write(unprotected_domain, subdomain, key, value);
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceRemoveKeyInSubDomain(ZEPHandle store, const char* key,
                                                         const char* subdomain,
                                                         bool unprotected_domain) {
  if (!key || !subdomain) return ZEP_STATUS_INVALID_ARGUMENT;
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    if (!pinned) return ZEP_STATUS_INVALID_ARGUMENT;
    return pinned->connection().Remove(unprotected_domain, subdomain, key);
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceRemoveAllKeysInSubDomain(ZEPHandle store, const char* subdomain,
                                                             bool unprotected_domain) {
  if (!subdomain) return ZEP_STATUS_INVALID_ARGUMENT;
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    if (!pinned) return ZEP_STATUS_INVALID_ARGUMENT;
    return pinned->connection().RemoveAll(unprotected_domain, subdomain);
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceLicensingCodeForCorvelCode(ZEPHandle store, char* buffer,
                                                               uint32_t size,
                                                               const char* payload_code) {
  try {
    return ReadInto(store, buffer, size, "LicensingCode", payload_code, false);
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

ZEP_EXPORT ZEPStatus C_ZEPPCDServiceEnumerate(ZEPHandle store, const char* subdomain,
                                              ZEPEnumerateCallback callback, void* context) {
  if (!callback) return ZEP_STATUS_INVALID_ARGUMENT;
  try {
    Ref<PcdStore> pinned = Pin<PcdStore>(store);
    if (!pinned) return ZEP_STATUS_INVALID_ARGUMENT;
    std::vector<StoredRow> rows;
    ZEPStatus status = pinned->connection().Rows(subdomain, &rows);
    if (status != ZEP_STATUS_OK) return status;
    for (const StoredRow& row : rows) {
      if (callback(context, row.unprotected, row.subdomain.c_str(), row.key.c_str(),
                   row.value.c_str()) != 0) {
        break;
      }
    }
    return ZEP_STATUS_OK;
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}

// ---- End-user agreement -------------------------------------------------------------------

ZEP_EXPORT ZEPHandle C_EULAServiceCreate(void) {
  try {
    std::shared_ptr<Connection> connection = Connection::Acquire();
    if (!connection) return nullptr;
    EulaService* service = new EulaService(std::move(connection));
    return service->handle();
  } catch (...) {
    return nullptr;
  }
}

ZEP_EXPORT ZEPStatus C_EULA_SetState(ZEPHandle eula, const char* product_code, int state, int kind,
                                     const char* language) {
  if (!product_code || !language) return ZEP_STATUS_INVALID_ARGUMENT;
  try {
    Ref<EulaService> pinned = Pin<EulaService>(eula);
    if (!pinned) return ZEP_STATUS_INVALID_ARGUMENT;
    return pinned->SetState(product_code, state, kind, language);
  } catch (...) {
    return ZEP_STATUS_STORE_ERROR;
  }
}
