#include "locations.h"

#include <cstdlib>

#include "platform/platform.h"

namespace tavctl {

std::optional<std::string> NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

void SetVariable(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}

Locations CurrentLocations() {
  Locations where;
  using corvel::platform::KnownFolder;
  where.temp = corvel::platform::TempFolder();
  where.commonAppData = corvel::platform::KnownFolderPath(KnownFolder::CommonAppData);
  where.localAppData = corvel::platform::KnownFolderPath(KnownFolder::LocalAppData);
  where.store = corvel::platform::StoreDatabasePath();
  where.tagDirectory = where.commonAppData + "/" + TagEntityRegid();
  where.mainLog = where.temp + "/tavlib.log";
  where.tagLog = where.temp + "/swtag.log";
  where.prefsFile = where.localAppData.empty()
                        ? std::string()
                        : where.localAppData + "/Corvel/TAV/securePrefs.xml";
  where.prefsLog = where.temp + "/Velmo.log";
  return where;
}

const char* TagEntityRegid() { return TAVCTL_TAG_ENTITY_REGID; }

}  // namespace tavctl
