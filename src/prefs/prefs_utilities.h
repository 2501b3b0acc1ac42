// Path and conversion helpers of the preferences store. Each logs its own failures to the
// preferences log under the category "Utilities".
#pragma once

#include <string>

namespace corvel::prefs {

// The text as UTF-16 ("native string"). An empty text converts to an empty one. Fails (and
// logs) for a null pointer or ill-formed UTF-8. The store keeps working with UTF-8; the
// conversion is the validity check that every text passes before it reaches the DOM.
bool ToNativeString(const char* text, std::u16string* out);

// The per-user data folder; empty (and logged) when it cannot be determined.
std::string LocalAppDataFolder();
// The shared common-files folder with "/Corvel" appended; empty (and logged) when it cannot
// be determined.
std::string CommonCorvelFolder();

// Whether something exists at the path; logs "File does not exist" when not.
bool PrefsPathExists(const std::string& path);

// Creates the folder with all missing parents (new folders 0700); a folder or file already
// standing there is success. Logs and returns false on failure, with the error number.
bool CreateFolderPath(const std::string& path, int* error);

// The folder part of a path (everything before the last "/", "." when there is none, "/"
// for a file in the root). False (and logged) when the path names no file.
bool RemoveFileSpec(const std::string& path, std::string* folder);

}  // namespace corvel::prefs
