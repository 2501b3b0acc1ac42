// The same-named wrappers of the services library's entry points. Each resolves its entry
// point through the loader on every call (the loader answers from its cache after the first)
// and, when the entry point cannot be resolved, writes its failure line to the debugger
// output and answers the unbound result.
#include "services/zep_bindings.h"

#include "services/service_loader.h"

namespace corvel::zep {

namespace {

using services::ServiceLoader;

template <typename Function>
Function Bind(const char* symbol) {
  ServiceLoader* loader = ServiceLoader::Instance();
  if (!loader) return nullptr;
  return reinterpret_cast<Function>(
      loader->ResolveSymbol(platform::ServicesLibraryFileName(), symbol));
}

}  // namespace

void C_ZEPRelease(ZEPHandle handle) {
  if (auto entry = Bind<decltype(&::C_ZEPRelease)>("C_ZEPRelease")) return entry(handle);
  ServiceLoader::DebugLog("ServiceLoader", "failed to find C_ZEPRelease\n");
}

ZEPHandle C_ZEPLoggerCreateFileLoggerWithPathAndSize(const char* path, uint32_t max_size) {
  if (auto entry = Bind<decltype(&::C_ZEPLoggerCreateFileLoggerWithPathAndSize)>(
          "C_ZEPLoggerCreateFileLoggerWithPathAndSize")) {
    return entry(path, max_size);
  }
  ServiceLoader::DebugLog("Logging", "failed to find C_ZEPLoggerCreateFileLoggerWithPathAndSize\n");
  return nullptr;
}

ZEPHandle C_ZEPLoggingServiceCreateWithID(uint32_t id) {
  if (auto entry =
          Bind<decltype(&::C_ZEPLoggingServiceCreateWithID)>("C_ZEPLoggingServiceCreateWithID")) {
    return entry(id);
  }
  ServiceLoader::DebugLog("Logging", "failed to find C_ZEPLoggingServiceCreateWithID\n");
  return nullptr;
}

void C_ZEPLoggingServiceAddLogger(ZEPHandle service, ZEPHandle logger) {
  if (auto entry =
          Bind<decltype(&::C_ZEPLoggingServiceAddLogger)>("C_ZEPLoggingServiceAddLogger")) {
    return entry(service, logger);
  }
  ServiceLoader::DebugLog("Logging", "failed to find C_ZEPLoggingServiceAddLogger\n");
}

void C_ZEPLoggingServiceCleanUpResource(ZEPHandle service) {
  if (auto entry = Bind<decltype(&::C_ZEPLoggingServiceCleanUpResource)>(
          "C_ZEPLoggingServiceCleanUpResource")) {
    return entry(service);
  }
  ServiceLoader::DebugLog("Logging", "failed to find C_ZEPLoggingServiceCleanUpResource\n");
}

void C_ZEPLogv(ZEPHandle service, const char* component, int level, const char* pattern,
               const char* format, va_list args) {
  decltype(&::C_ZEPLogv) entry = nullptr;
  {
    // The loader's own lines about this resolution must not come back here.
    ServiceLoader::LogResolutionScope resolving;
    entry = Bind<decltype(&::C_ZEPLogv)>("C_ZEPLogv");
  }
  if (entry) return entry(service, component, level, pattern, format, args);
  ServiceLoader::DebugLog("Logging", "failed to find C_ZEPLogv\n");
}

ZEPHandle C_ZEPPCDServiceCreate() {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceCreate)>("C_ZEPPCDServiceCreate")) {
    return entry();
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceCreate\n");
  return nullptr;
}

ZEPStatus C_ZEPPCDServiceBeginTransaction(ZEPHandle store) {
  if (auto entry =
          Bind<decltype(&::C_ZEPPCDServiceBeginTransaction)>("C_ZEPPCDServiceBeginTransaction")) {
    return entry(store);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceBeginTransaction\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceEndTransaction(ZEPHandle store) {
  if (auto entry =
          Bind<decltype(&::C_ZEPPCDServiceEndTransaction)>("C_ZEPPCDServiceEndTransaction")) {
    return entry(store);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceEndTransaction\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceCheckDatabase(ZEPHandle store, bool repair) {
  if (auto entry =
          Bind<decltype(&::C_ZEPPCDServiceCheckDatabase)>("C_ZEPPCDServiceCheckDatabase")) {
    return entry(store, repair);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceCheckDatabase\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceValueForKeyInSubDomain(ZEPHandle store, char* buffer, uint32_t size,
                                                const char* key, const char* subdomain,
                                                bool unprotected_domain) {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceValueForKeyInSubDomain)>(
          "C_ZEPPCDServiceValueForKeyInSubDomain")) {
    return entry(store, buffer, size, key, subdomain, unprotected_domain);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceValueForKeyInSubDomain\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceSetValueForKeyInSubDomain(ZEPHandle store, const char* value,
                                                   const char* key, const char* subdomain,
                                                   bool unprotected_domain) {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceSetValueForKeyInSubDomain)>(
          "C_ZEPPCDServiceSetValueForKeyInSubDomain")) {
    return entry(store, value, key, subdomain, unprotected_domain);
  }
  ServiceLoader::DebugLog("PCDService",
                          "failed to find C_ZEPPCDServiceSetValueForKeyInSubDomain\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceRemoveKeyInSubDomain(ZEPHandle store, const char* key,
                                              const char* subdomain, bool unprotected_domain) {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceRemoveKeyInSubDomain)>(
          "C_ZEPPCDServiceRemoveKeyInSubDomain")) {
    return entry(store, key, subdomain, unprotected_domain);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceRemoveKeyInSubDomain\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceRemoveAllKeysInSubDomain(ZEPHandle store, const char* subdomain,
                                                  bool unprotected_domain) {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceRemoveAllKeysInSubDomain)>(
          "C_ZEPPCDServiceRemoveAllKeysInSubDomain")) {
    return entry(store, subdomain, unprotected_domain);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceRemoveAllKeysInSubDomain\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceLicensingCodeForCorvelCode(ZEPHandle store, char* buffer, uint32_t size,
                                                    const char* payload_code) {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceLicensingCodeForCorvelCode)>(
          "C_ZEPPCDServiceLicensingCodeForCorvelCode")) {
    return entry(store, buffer, size, payload_code);
  }
  ServiceLoader::DebugLog("PCDService",
                          "failed to find C_ZEPPCDServiceLicensingCodeForCorvelCode\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPStatus C_ZEPPCDServiceEnumerate(ZEPHandle store, const char* subdomain,
                                   ZEPEnumerateCallback callback, void* context) {
  if (auto entry = Bind<decltype(&::C_ZEPPCDServiceEnumerate)>("C_ZEPPCDServiceEnumerate")) {
    return entry(store, subdomain, callback, context);
  }
  ServiceLoader::DebugLog("PCDService", "failed to find C_ZEPPCDServiceEnumerate\n");
  return ZEP_STATUS_UNBOUND;
}

ZEPHandle C_EULAServiceCreate() {
  if (auto entry = Bind<decltype(&::C_EULAServiceCreate)>("C_EULAServiceCreate")) return entry();
  ServiceLoader::DebugLog("EULA", "failed to find C_EULAServiceCreate");
  return nullptr;
}

ZEPStatus C_EULA_SetState(ZEPHandle eula, const char* product_code, int state, int kind,
                          const char* language) {
  if (auto entry = Bind<decltype(&::C_EULA_SetState)>("C_EULA_SetState")) {
    return entry(eula, product_code, state, kind, language);
  }
  ServiceLoader::DebugLog("EULA", "failed to find C_EULA_SetState");
  return ZEP_STATUS_UNBOUND;
}

}  // namespace corvel::zep
