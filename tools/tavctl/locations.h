// Where the library and its services library keep their files, as the environment of this
// process decides it. The folder and store rules are the platform layer's, which the tool
// links as the library and the services library do; the file names are the library's.
//
//   temporary folder   TMPDIR, else TEMP, else TMP, else /tmp (one trailing "/" dropped)
//   common app data    CORVEL_COMMON_APPDATA, else /var/lib
//   local app data     CORVEL_LOCAL_APPDATA, else XDG_DATA_HOME, else $HOME/.local/share
//   store              ZEP_PCD_DB, else <common app data>/Corvel/PCD/pcd.db
//   tag directory      <common app data>/<tag entity regid>
//   main log           <temporary folder>/tavlib.log
//   tag log            <temporary folder>/swtag.log
//   preferences        <local app data>/Corvel/TAV/securePrefs.xml, log <temporary
//   folder>/Velmo.log
#pragma once

#include <optional>
#include <string>

namespace tavctl {

// A variable's value when it is set and not empty.
std::optional<std::string> NonEmptyVariable(const char* name);

// Sets a variable for this process and the library it loads.
void SetVariable(const char* name, const std::string& value);

struct Locations {
  std::string temp;
  std::string commonAppData;
  std::string localAppData;
  std::string store;
  std::string tagDirectory;
  std::string mainLog;
  std::string tagLog;
  std::string prefsFile;
  std::string prefsLog;
};

// The locations under the current environment.
Locations CurrentLocations();

// The registration identifier that names the tag directory and begins every tag file name.
const char* TagEntityRegid();

}  // namespace tavctl
