// The process's loader of the services library. It keeps a search list of folders and a
// table of the libraries it located, each with its module handle and a cache of the entry
// addresses already resolved. The services library is located once, when the loader is
// created, and loaded at the first symbol resolution against it.
//
// Diagnostics go to the debugger output until the services library has been located, and
// through the library's C_ZEPLogv afterwards (component "ServiceLoader"). While C_ZEPLogv
// itself is being resolved, the loader's lines go to the debugger output instead, so a
// library that cannot be loaded or lacks C_ZEPLogv cannot make logging call itself.
//
// Thread safety: the creation of the loader and every change of its table and caches are
// serialised by the loader. Shutdown must not race with calls on other threads.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace corvel::services {

// Log levels of the loader's diagnostics (the numbers passed to C_ZEPLogv).
enum LogLevel : int {
  kLogCritical = 1,
  kLogError = 2,
  kLogWarning = 3,
  kLogInformational = 4,
  kLogDebug = 5,
};

struct LibraryRecord {
  std::string mDirectory;  // the search-list entry that held the file
  std::string mPath;       // absolute path of the file
  platform::LibraryHandle mModule = nullptr;
  std::map<std::string, void*, std::less<>> mSymbols;  // non-null addresses only
  uint8_t mAddCount = 0;                               // 1 when located, +1 per later request
};

class ServiceLoader {
 public:
  // The process's loader; created (search list built, services library located) on the
  // first call. Null only when the loader cannot be allocated.
  static ServiceLoader* Instance();
  // Frees every loaded library and destroys the loader; nothing without a loader.
  static void Shutdown();
  // Whether a loader exists now (does not create one).
  static bool Exists();

  void AddSearchPath(const std::string& directory);
  bool FindLibrary(const std::string& name, const std::string& alternate_name);
  bool LoadBaseServices();
  void* ResolveSymbol(const char* library_name, const char* symbol_name);
  bool OpenLibrary(LibraryRecord& record);
  void CloseLibrary(LibraryRecord& record);

  void Log(int level, const char* pattern, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void LogV(int level, const char* pattern, const char* format, va_list args);

  // One line to the debugger output: category + ": " + the formatted message (cut at 4093
  // characters) + CR LF.
  static void DebugLog(const char* category, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  static void DebugLogV(const char* category, const char* format, va_list args);

  // Observers.
  std::vector<std::string> SearchPaths() const;
  // A copy of a table entry; false when the name is not in the table.
  bool LookupRecord(std::string_view name, LibraryRecord* out) const;
  bool BaseServicesLocated() const;
  bool LoggingServiceInUse() const;

  // Marks the calling thread as resolving C_ZEPLogv while the object lives: the loader's
  // diagnostics then go to the debugger output.
  class LogResolutionScope {
   public:
    LogResolutionScope();
    ~LogResolutionScope();
    LogResolutionScope(const LogResolutionScope&) = delete;
    LogResolutionScope& operator=(const LogResolutionScope&) = delete;

   private:
    bool mOuter;
  };

 private:
  ServiceLoader() = default;
  ~ServiceLoader() = default;

  void AddDefaultSearchPaths();
  // Tests one candidate file; on success enters `name` in the table and returns true.
  bool TryCandidate(const std::string& name, const std::string& directory,
                    const std::string& candidate);

  std::map<std::string, LibraryRecord, std::less<>> mLibraries;
  std::vector<std::string> mSearchPaths;
  bool mBaseServicesLocated = false;
  bool mLoggingServiceInUse = false;
  mutable std::recursive_mutex mMutex;
};

}  // namespace corvel::services
