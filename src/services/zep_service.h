// The base of the library's own service objects: a reference-counted object that holds the
// process's ServiceLoader. Constructing one creates the loader (and locates the services
// library) when that has not happened yet; destroying one leaves the loader alone.
#pragma once

#include "services/zep_ref_object.h"

namespace corvel::services {

class ServiceLoader;

class _ZEPService : public ZEPRefObject {
 public:
  _ZEPService();
  ~_ZEPService() override;

  ServiceLoader* loader() const { return mLoader; }

 private:
  ServiceLoader* mLoader;
};

}  // namespace corvel::services
