#include "services/service_loader.h"

#include <atomic>
#include <new>

#include "services/zep_bindings.h"
#include "util/path_check.h"

namespace corvel::services {

namespace {

std::atomic<ServiceLoader*> gLoader{nullptr};
std::mutex gCreationMutex;
thread_local bool tResolvingLogEntry = false;

constexpr const char* kComponent = "ServiceLoader";
constexpr const char* kPatternOneText = "%s";
constexpr const char* kPatternTwoTexts = "%s %s";

// The absolute form of a path, as the Windows form resolves it into a buffer of 1024 wide
// characters: empty when it cannot be resolved or does not fit.
std::string ResolvePath(const std::string& path) {
  std::string full = platform::LexicalFullPath(path);
  if (full.empty() || !util::IsUsablePath(full)) return {};
  return full;
}

// The folder that holds the file at `path`, without a trailing separator (except for "/").
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

}  // namespace

// ---- Creation and shutdown ----------------------------------------------------------------

ServiceLoader* ServiceLoader::Instance() {
  if (ServiceLoader* loader = gLoader.load(std::memory_order_acquire)) return loader;
  std::lock_guard<std::mutex> creation(gCreationMutex);
  if (ServiceLoader* loader = gLoader.load(std::memory_order_acquire)) return loader;

  ServiceLoader* loader = new (std::nothrow) ServiceLoader;
  if (!loader) return nullptr;
  // Other threads that see the published loader wait here until it has been set up; the
  // bound calls of this thread (the loader's own logging) go through at once.
  std::lock_guard<std::recursive_mutex> setup(loader->mMutex);
  try {
    loader->AddDefaultSearchPaths();
  } catch (...) {  // out of memory: the list stays as far as it got
  }
  gLoader.store(loader, std::memory_order_release);
  try {
    if (!loader->LoadBaseServices()) {
      loader->Log(kLogCritical, ZEP_LOG_PATTERN_NONE,
                  "ERROR: base services library failed to load");
    } else {
      loader->mLoggingServiceInUse = true;
      loader->Log(kLogDebug, nullptr, "using logging service now");
    }
  } catch (...) {  // out of memory: the loader stays, with what it found so far
  }
  return loader;
}

void ServiceLoader::Shutdown() {
  std::lock_guard<std::mutex> creation(gCreationMutex);
  ServiceLoader* loader = gLoader.load(std::memory_order_acquire);
  if (!loader) return;
  {
    std::lock_guard<std::recursive_mutex> lock(loader->mMutex);
    // The loader stays published while the libraries are closed, so a failure line on the
    // way does not create a new loader.
    for (auto& [name, record] : loader->mLibraries) loader->CloseLibrary(record);
  }
  gLoader.store(nullptr, std::memory_order_release);
  delete loader;
}

bool ServiceLoader::Exists() { return gLoader.load(std::memory_order_acquire) != nullptr; }

void ServiceLoader::AddDefaultSearchPaths() {
  std::string module = platform::ModuleFilePath();
  if (!module.empty()) {
    std::string full = ResolvePath(module);
    if (!full.empty()) {
      std::string folder = FolderOf(full);
      if (!folder.empty()) AddSearchPath(folder);
    }
  }
  std::string current = platform::CurrentDirectory();
  if (!current.empty()) AddSearchPath(current);
}

// ---- Search list and table ----------------------------------------------------------------

void ServiceLoader::AddSearchPath(const std::string& directory) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  std::string full = ResolvePath(directory);
  if (full.empty()) return;
  // Entries carry no trailing separator, so "a/" and "a" are one entry.
  if (full.size() > 1 && full.back() == '/') full.pop_back();
  for (const std::string& entry : mSearchPaths) {
    if (entry == full) return;
  }
  Log(kLogInformational, kPatternOneText, "adding search path: %s", full.c_str());
  mSearchPaths.push_back(full);
}

bool ServiceLoader::TryCandidate(const std::string& name, const std::string& directory,
                                 const std::string& candidate) {
  if (!platform::PathExists(candidate)) return false;
  std::string full = ResolvePath(candidate);
  if (full.empty()) {
    Log(kLogError, kPatternOneText, "Found library %s but could not resolve the path",
        candidate.c_str());
    return false;
  }
  Log(kLogDebug, kPatternOneText, "Found library %s", full.c_str());
  LibraryRecord record;
  record.mDirectory = directory;
  record.mPath = full;
  record.mAddCount = 1;
  mLibraries.emplace(name, std::move(record));
  return true;
}

bool ServiceLoader::FindLibrary(const std::string& name, const std::string& alternate_name) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  auto known = mLibraries.find(name);
  if (known != mLibraries.end()) {
    if (known->second.mAddCount < UINT8_MAX) ++known->second.mAddCount;
    return true;
  }
  const std::vector<std::string> directories = mSearchPaths;
  for (const std::string& directory : directories) {
    std::string candidate = JoinPath(directory, name);
    Log(kLogDebug, kPatternOneText, "looking for library %s", candidate.c_str());
    if (TryCandidate(name, directory, candidate)) return true;
    if (!alternate_name.empty() &&
        TryCandidate(name, directory, JoinPath(directory, alternate_name))) {
      return true;
    }
  }
  if (!alternate_name.empty()) {
    Log(kLogWarning, ZEP_LOG_PATTERN_NONE, "Failed to find %s (or %s)", name.c_str(),
        alternate_name.c_str());
  } else {
    Log(kLogWarning, ZEP_LOG_PATTERN_NONE, "Failed to find %s", name.c_str());
  }
  return false;
}

bool ServiceLoader::LoadBaseServices() {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  if (mBaseServicesLocated) return true;
  mBaseServicesLocated = FindLibrary(platform::ServicesLibraryFileName(), std::string());
  return mBaseServicesLocated;
}

// ---- Libraries and symbols ----------------------------------------------------------------

void* ServiceLoader::ResolveSymbol(const char* library_name, const char* symbol_name) {
  if (!library_name || !symbol_name) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  try {
    auto found = mLibraries.find(std::string_view(library_name));
    if (found == mLibraries.end()) {
      Log(kLogDebug, kPatternTwoTexts,
          "Symbol %s can't be found in library %s because the library has not been added to the "
          "loader",
          symbol_name, library_name);
      return nullptr;
    }
    LibraryRecord& record = found->second;
    if (!record.mModule && !OpenLibrary(record)) return nullptr;
    auto cached = record.mSymbols.find(std::string_view(symbol_name));
    if (cached != record.mSymbols.end()) return cached->second;
    void* address = platform::LibrarySymbol(record.mModule, symbol_name);
    if (!address) {
      Log(kLogError, kPatternTwoTexts, "Unable to locate symbol %s in %s", symbol_name,
          library_name);
      return nullptr;
    }
    record.mSymbols.emplace(symbol_name, address);
    return address;
  } catch (...) {  // out of memory while caching
    return nullptr;
  }
}

bool ServiceLoader::OpenLibrary(LibraryRecord& record) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  if (record.mModule) return true;
  std::string full = ResolvePath(record.mPath);
  if (full.empty()) return false;
  platform::LibraryHandle module = platform::OpenDynamicLibrary(full);
  if (!module) {
    Log(kLogError, kPatternOneText, "Failed to open library %s", record.mPath.c_str());
    return false;
  }
  // A failure line above may have opened the library through a nested resolution already.
  if (record.mModule) {
    platform::CloseDynamicLibrary(module);
    return true;
  }
  record.mModule = module;
  return true;
}

void ServiceLoader::CloseLibrary(LibraryRecord& record) {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  if (!record.mModule) return;
  if (platform::CloseDynamicLibrary(record.mModule)) {
    record.mModule = nullptr;
    record.mSymbols.clear();
  } else {
    Log(kLogError, kPatternOneText, "Failed to close library %s", record.mPath.c_str());
  }
}

// ---- Observers ----------------------------------------------------------------------------

std::vector<std::string> ServiceLoader::SearchPaths() const {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  return mSearchPaths;
}

bool ServiceLoader::LookupRecord(std::string_view name, LibraryRecord* out) const {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  auto found = mLibraries.find(name);
  if (found == mLibraries.end()) return false;
  if (out) *out = found->second;
  return true;
}

bool ServiceLoader::BaseServicesLocated() const {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  return mBaseServicesLocated;
}

bool ServiceLoader::LoggingServiceInUse() const {
  std::lock_guard<std::recursive_mutex> lock(mMutex);
  return mLoggingServiceInUse;
}

// ---- Logging ------------------------------------------------------------------------------

ServiceLoader::LogResolutionScope::LogResolutionScope() : mOuter(tResolvingLogEntry) {
  tResolvingLogEntry = true;
}

ServiceLoader::LogResolutionScope::~LogResolutionScope() { tResolvingLogEntry = mOuter; }

void ServiceLoader::Log(int level, const char* pattern, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, pattern, format, args);
  va_end(args);
}

void ServiceLoader::LogV(int level, const char* pattern, const char* format, va_list args) {
  if (mLoggingServiceInUse && !tResolvingLogEntry) {
    zep::C_ZEPLogv(nullptr, kComponent, level, pattern, format, args);
    return;
  }
  if (level >= kLogCritical && level <= kLogWarning) DebugLogV(kComponent, format, args);
}

}  // namespace corvel::services
