#include "services/zep_service.h"

#include "services/service_loader.h"

namespace corvel::services {

_ZEPService::_ZEPService() : mLoader(ServiceLoader::Instance()) {}

_ZEPService::~_ZEPService() = default;

}  // namespace corvel::services
