#include "locations.h"

#include "platform/platform.h"

namespace tavctl {

namespace platform = corvel::platform;

std::optional<std::string> NonEmptyVariable(const char* name) {
  std::optional<std::string> value = platform::EnvironmentValue(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

void SetVariable(const char* name, const std::string& value) {
  platform::SetEnvironmentValue(name, value);
}

Locations CurrentLocations() {
  Locations where;
  where.temp = platform::TempFolder();
  where.commonAppData = platform::KnownFolderPath(platform::KnownFolder::CommonAppData);
  where.localAppData = platform::KnownFolderPath(platform::KnownFolder::LocalAppData);
  where.store = platform::StoreDatabasePath();
  where.tagDirectory = where.commonAppData + "/" + TagEntityRegid();
  where.mainLog = where.temp + "/tavlib.log";
  where.tagLog = where.temp + "/swtag.log";
  where.prefsFile = where.localAppData.empty() ? std::string()
                                               : where.localAppData + "/Corvel/TAV/securePrefs.xml";
  where.prefsLog = where.temp + "/Velmo.log";
  return where;
}

const char* TagEntityRegid() { return TAVCTL_TAG_ENTITY_REGID; }

}  // namespace tavctl
