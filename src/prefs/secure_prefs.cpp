#include "prefs/secure_prefs.h"

#include <cstring>

#include "prefs/crypt_engine.h"
#include "prefs/prefs_log.h"
#include "prefs/prefs_utilities.h"
#include "prefs/xml_parser.h"

namespace corvel::prefs {

namespace {

constexpr const char* kCategory = "NVX";
constexpr const char* kPrefsTail = "/TAV/securePrefs.xml";
constexpr const char* kNewPrefsDocument = "<TAVPrefs></TAVPrefs>";
constexpr const char* kRootName = "TAVPrefs";

std::string ValueXPath(const std::string& domain, const std::string& key) {
  return std::string("//") + kRootName + "/" + domain + "/" + key;
}

std::string DomainXPath(const std::string& domain) {
  return std::string("//") + kRootName + "/" + domain;
}

// The domain to use: "DefaultDomain" for null, else the given one once it converts.
bool ChooseDomain(const char* domain, std::string* chosen) {
  if (!domain) {
    PrefsInfo(kCategory, "setting domain to default..");
    *chosen = kDefaultDomain;
    return true;
  }
  std::u16string native;
  if (!ToNativeString(domain, &native)) {
    PrefsError(kCategory, "failed in getting NativeString for domain");
    return false;
  }
  *chosen = domain;
  return true;
}

bool CheckKey(const char* key) {
  std::u16string native;
  if (!ToNativeString(key, &native)) {
    PrefsError(kCategory, "failed in getting NativeString for key");
    return false;
  }
  return true;
}

bool CheckPath(const char* path) {
  std::u16string native;
  if (!ToNativeString(path, &native)) {
    PrefsError(kCategory, "failed in getting NativeString for prefsFilePath");
    return false;
  }
  return true;
}

// Domain and key become element names and XPath steps as they stand.
bool CheckNames(const std::string& domain, const std::string& key) {
  if (IsValidXmlName(domain) && IsValidXmlName(key)) return true;
  PrefsError(kCategory, "Domain or key is not a valid XML name, domain:%s key:%s", domain.c_str(),
             key.c_str());
  return false;
}

// The plain value of a stored text; an empty text stays empty.
int DecipherStoredValue(const std::string& stored, std::string* value) {
  value->clear();
  if (stored.empty()) return kPrefsSuccess;
  CryptEngine engine("");
  if (!engine.Initialize()) {
    PrefsError(kCategory, "Failed to initialize crypt Engine");
    return kPrefsFailed;
  }
  if (engine.Decrypt(stored, *value) != kCryptSuccess) {
    PrefsError(kCategory, "failed to decrypt");
    value->clear();
    return kPrefsFailed;
  }
  return kPrefsSuccess;
}

// The stored text of a value; an empty value is stored as an empty text.
int EncipherValue(const std::string& value, std::string* stored) {
  stored->clear();
  if (value.empty()) return kPrefsSuccess;
  CryptEngine engine("");
  if (!engine.Initialize()) {
    PrefsError(kCategory, "Failed to initialize crypt Engine");
    return kPrefsFailed;
  }
  if (engine.Encrypt(value, *stored) != kCryptSuccess) {
    PrefsError(kCategory, "failed to encrypt");
    return kPrefsFailed;
  }
  std::u16string native;
  if (!ToNativeString(stored->c_str(), &native)) {
    PrefsError(kCategory, "failed in getting NativeString for value");
    return kPrefsFailed;
  }
  return kPrefsSuccess;
}

// Writes a new, empty preferences file at `path`, creating its folders.
int CreatePrefsFile(const std::string& path) {
  XMLParser parser;
  if (!parser.initWithXMLString(kNewPrefsDocument)) {
    PrefsError(kCategory, "Failed in init Xml, while creating pref xml...");
    return kPrefsFailed;
  }
  std::string folder;
  if (!RemoveFileSpec(path, &folder)) {
    PrefsError(kCategory, "Failed in removing file spec, while creating pref xml...");
    return kPrefsFailed;
  }
  int error = 0;
  if (!CreateFolderPath(folder, &error)) {
    PrefsError(kCategory, "Failed in creation of parent directory, while creating pref xml...");
    return kPrefsCannotCreateFolder;
  }
  if (!parser.writeToFile(path)) {
    PrefsError(kCategory, "failed in writing XML file, while creating prefs XML");
    return kPrefsCannotWriteFile;
  }
  return kPrefsSuccess;
}

int GetPrefValueImpl(const char* domain, const char* key, char* buffer, uint32_t* size,
                     const char* prefs_file_path) {
  PrefsTrace(kCategory, "get value for Key ...");
  if (!key || !size) {
    PrefsError(kCategory, "Invalid arguments in get value for key...");
    return kPrefsInvalidArgument;
  }
  std::string path;
  int resolved = ResolvePrefsPath(prefs_file_path, &path);
  if (resolved != kPrefsSuccess) {
    PrefsWarn(kCategory, "Failed to get pref file path...");
    return resolved;
  }
  std::string chosen_domain;
  if (!ChooseDomain(domain, &chosen_domain) || !CheckKey(key)) return kPrefsFailed;
  if (!CheckNames(chosen_domain, key)) return kPrefsFailed;

  XMLParser parser;
  if (!parser.initWithXMLPath(path)) {
    PrefsError(kCategory, "Failed to read from xml :%s", path.c_str());
    return kPrefsFailed;
  }
  std::string stored;
  if (!parser.stringValueForXQuery(ValueXPath(chosen_domain, key), &stored)) {
    PrefsError(kCategory, "Failed to fetch value from xml :%s", path.c_str());
    return kPrefsFailed;
  }
  std::string value;
  int deciphered = DecipherStoredValue(stored, &value);
  if (deciphered != kPrefsSuccess) return deciphered;

  if (!buffer) {
    *size = static_cast<uint32_t>(value.size() + 1);
    PrefsInfo(kCategory, "returning size of value as:%d", static_cast<int>(*size));
    return kPrefsSuccess;
  }
  if (*size <= value.size()) {
    PrefsError(kCategory, "Insufficient buffer size...");
    return kPrefsBufferTooSmall;
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return kPrefsSuccess;
}

int SetPrefValueImpl(const char* domain, const char* key, const char* value,
                     const char* prefs_file_path) {
  PrefsTrace(kCategory, "set value for key ...");
  if (!key || !value) {
    PrefsError(kCategory, "Invalid arguments in set value for key...");
    return kPrefsInvalidArgument;
  }
  std::string chosen_domain;
  if (!ChooseDomain(domain, &chosen_domain)) return kPrefsFailed;

  std::string path;
  if (prefs_file_path) {
    if (!CheckPath(prefs_file_path)) return kPrefsFailed;
    path = prefs_file_path;
  } else {
    PrefsTrace(kCategory, "setting prefs file to default..");
    path = UserPrefsFilePath();
    if (path.empty()) {
      PrefsError(kCategory, "failed to get user specific Folder path ...");
      PrefsError(kCategory, "failed in get prefs file path");
      return kPrefsFailed;
    }
  }
  if (!CheckKey(key)) return kPrefsFailed;
  if (chosen_domain.empty() || *key == '\0') {
    PrefsError(kCategory, "Invalid arguments in set user credentials...");
    return kPrefsInvalidArgument;
  }
  if (!CheckNames(chosen_domain, key)) return kPrefsFailed;
  size_t length = std::strlen(value);
  if (length > kMaxPrefValueLength) {
    PrefsError(kCategory, "Value too long for key :%s, %zu bytes", key, length);
    return kPrefsFailed;
  }

  std::string stored;
  int enciphered = EncipherValue(value, &stored);
  if (enciphered != kPrefsSuccess) return enciphered;

  if (!PrefsPathExists(path)) {
    int created = CreatePrefsFile(path);
    if (created != kPrefsSuccess) return created;
  }
  return UpdatePrefsXml(path, chosen_domain, key, stored);
}

int UpdatePrefsXmlImpl(const std::string& path, const std::string& domain, const std::string& key,
                       const std::string& value) {
  if (path.empty() || domain.empty() || key.empty()) {
    PrefsError(kCategory, "Invalid arguments in set user credentials...");
    return kPrefsInvalidArgument;
  }
  if (!CheckNames(domain, key)) return kPrefsFailed;
  XMLParser parser;
  if (!parser.initWithXMLPath(path)) {
    PrefsError(kCategory, "Failed to init with XML at :%s", path.c_str());
    return kPrefsFailed;
  }
  std::string value_xpath = ValueXPath(domain, key);
  if (parser.nodeExistsXQuery(value_xpath)) {
    if (!parser.setValueForXQuery(value_xpath, value)) {
      PrefsError(kCategory, "Failed while updating value for key :%s domain:%s", key.c_str(),
                 domain.c_str());
      return kPrefsFailed;
    }
  } else {
    pugi::xml_node root = parser.getRootNode();
    // A document whose root is not the preferences root is not a preferences file: a value
    // added to it could never be read back.
    if (!root || std::strcmp(root.name(), kRootName) != 0) {
      PrefsError(kCategory, "Failed in get root node, while updating pref xml...");
      return kPrefsFailed;
    }
    pugi::xml_node domain_node;
    std::string domain_xpath = DomainXPath(domain);
    if (parser.nodeExistsXQuery(domain_xpath)) domain_node = parser.getNodeForXQuery(domain_xpath);
    if (!domain_node) domain_node = parser.addChildToNode(root, domain, nullptr);
    if (!domain_node) {
      PrefsError(kCategory, "Failed in adding domain child node, while updating pref xml...");
      return kPrefsFailed;
    }
    if (!parser.addChildToNode(domain_node, key, &value)) {
      PrefsError(kCategory, "Failed in adding key child node, while updating pref xml...");
      return kPrefsFailed;
    }
  }
  if (!parser.writeToFile(path)) {
    PrefsError(kCategory, "failed in writing XML file, while updating prefs XML");
    return kPrefsFailed;
  }
  return kPrefsSuccess;
}

int ResolvePrefsPathImpl(const char* prefs_file_path, std::string* path) {
  if (prefs_file_path) {
    if (!CheckPath(prefs_file_path)) return kPrefsFailed;
    *path = prefs_file_path;
    return kPrefsSuccess;
  }
  std::string user_file = UserPrefsFilePath();
  if (user_file.empty()) {
    PrefsError(kCategory, "failed to get user specific Folder path ...");
  } else if (PrefsPathExists(user_file)) {
    *path = user_file;
    return kPrefsSuccess;
  }
  std::string common_folder = CommonCorvelFolder();
  if (common_folder.empty()) {
    PrefsError(kCategory, "failed to get common Folder path ...");
    return kPrefsFailed;
  }
  std::string common_file = common_folder + kPrefsTail;
  if (!PrefsPathExists(common_file)) return kPrefsNoFile;
  *path = common_file;
  return kPrefsSuccess;
}

}  // namespace

std::string UserPrefsFilePath() {
  std::string folder = LocalAppDataFolder();
  if (folder.empty()) return folder;
  return folder + "/Corvel" + kPrefsTail;
}

std::string CommonPrefsFilePath() {
  std::string folder = CommonCorvelFolder();
  if (folder.empty()) return folder;
  return folder + kPrefsTail;
}

int InitPrefs() noexcept {
  try {
    OpenPrefsLog();
    SetPrefsLogVerbosity();
  } catch (...) {
    // The log is a diagnostic aid; the store works without it.
  }
  return kPrefsSuccess;
}

int UninitPrefs() noexcept {
  try {
    ClosePrefsLog();
  } catch (...) {
  }
  return kPrefsSuccess;
}

int GetPrefValue(const char* domain, const char* key, char* buffer, uint32_t* size,
                 const char* prefs_file_path) noexcept {
  try {
    return GetPrefValueImpl(domain, key, buffer, size, prefs_file_path);
  } catch (...) {
    return kPrefsFailed;
  }
}

int SetPrefValue(const char* domain, const char* key, const char* value,
                 const char* prefs_file_path) noexcept {
  try {
    return SetPrefValueImpl(domain, key, value, prefs_file_path);
  } catch (...) {
    return kPrefsFailed;
  }
}

int UpdatePrefsXml(const std::string& path, const std::string& domain, const std::string& key,
                   const std::string& value) noexcept {
  try {
    return UpdatePrefsXmlImpl(path, domain, key, value);
  } catch (...) {
    return kPrefsFailed;
  }
}

int ResolvePrefsPath(const char* prefs_file_path, std::string* path) noexcept {
  if (!path) return kPrefsFailed;
  try {
    return ResolvePrefsPathImpl(prefs_file_path, path);
  } catch (...) {
    return kPrefsFailed;
  }
}

}  // namespace corvel::prefs
