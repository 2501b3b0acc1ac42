#include "locations.h"

#include <cstdlib>

namespace tavctl {

namespace {

std::string StripOneTrailingSlash(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string FirstSet(std::initializer_list<const char*> names, const std::string& fallback) {
  for (const char* name : names) {
    if (std::optional<std::string> value = NonEmptyVariable(name)) {
      return StripOneTrailingSlash(*value);
    }
  }
  return fallback;
}

std::string LocalAppData() {
  std::string value = FirstSet({"CORVEL_LOCAL_APPDATA", "XDG_DATA_HOME"}, "");
  if (!value.empty()) return value;
  std::optional<std::string> home = NonEmptyVariable("HOME");
  return home ? StripOneTrailingSlash(*home) + "/.local/share" : std::string();
}

}  // namespace

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
  where.temp = FirstSet({"TMPDIR", "TEMP", "TMP"}, "/tmp");
  where.commonAppData = FirstSet({"CORVEL_COMMON_APPDATA"}, "/var/lib");
  where.localAppData = LocalAppData();
  where.store = NonEmptyVariable("ZEP_PCD_DB").value_or(where.commonAppData + "/Corvel/PCD/pcd.db");
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
