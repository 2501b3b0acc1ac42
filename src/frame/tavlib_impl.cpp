#include "frame/tavlib_impl.h"

#include "frame/frame_log.h"
#include "frame/instance_registry.h"
#include "frame/main_log.h"
#include "frame/version.h"
#include "services/service_loader.h"
#include "services/zep_bindings.h"

namespace corvel::frame {

TAVLibImpl::TAVLibImpl() noexcept {
  SetUpLogging(*this);
  FrameLog(*this, "*************TAVLib Session Starts*************");
  FrameLog(*this, "Version %s\n", kVersionText);
  mRefID = InstanceRegistry::Process().CountConstruction();
}

TAVLibImpl::~TAVLibImpl() {
  if (mLogger != nullptr) {
    zep::C_ZEPRelease(mLogger);
    mLogger = nullptr;
  }
  FrameLog(*this, "*************TAVLib Session Ends*************");
  TearDownLogging(*this);
  if (InstanceRegistry::Process().live_count() == 0 && !MainLogInUse()) {
    services::ServiceLoader::Shutdown();
  }
}

}  // namespace corvel::frame
