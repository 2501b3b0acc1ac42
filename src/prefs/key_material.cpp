#include "prefs/key_material.h"

#include <atomic>

#include "platform/platform.h"

namespace corvel::prefs {

namespace {

class SystemSource : public KeyMaterialSource {
 public:
  std::string MachineText() const override { return platform::MachineIdentifier(); }
  bool UserName(std::string* name, int* error) const override {
    platform::SetErrorCode(0);
    *name = platform::EffectiveUserName();
    if (!name->empty()) return true;
    const int code = platform::LastErrorCode();
    *error = code != 0 ? code : platform::ErrorCode(platform::Error::NotFound);
    return false;
  }
};

std::atomic<const KeyMaterialSource*> gSource{nullptr};

}  // namespace

const KeyMaterialSource& SystemKeyMaterial() {
  static const SystemSource source;
  return source;
}

const KeyMaterialSource& CurrentKeyMaterial() {
  const KeyMaterialSource* source = gSource.load();
  return source ? *source : SystemKeyMaterial();
}

void SetKeyMaterialSource(const KeyMaterialSource* source) { gSource.store(source); }

bool FixedKeyMaterial::UserName(std::string* name, int* error) const {
  if (mUser.empty()) {
    *error = platform::ErrorCode(platform::Error::NotFound);
    return false;
  }
  *name = mUser;
  return true;
}

ScopedKeyMaterial::ScopedKeyMaterial(const KeyMaterialSource& source)
    : mPrevious(gSource.exchange(&source)) {}

ScopedKeyMaterial::~ScopedKeyMaterial() { gSource.store(mPrevious); }

}  // namespace corvel::prefs
