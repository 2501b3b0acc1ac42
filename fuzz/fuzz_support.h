// Shared start-up of the libFuzzer targets. LLVMFuzzerInitialize, defined here for all of
// them, makes a scratch folder per target process, points every folder setting of the library
// (and HOME) into it, unsets ZEP_DEBUG_OUTPUT and removes the folder again at a normal exit (a
// crash leaves it for inspection); a target that needs more defines FuzzSetUp(), run after.
// Targets take FuzzedDataProvider (and the standard headers it includes), <filesystem> as
// fs and <optional> from here.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace corvel::fuzz {

struct ScratchFolders {
  std::string root;           // the scratch folder itself, and HOME
  std::string temp;           // TMPDIR, TEMP and TMP
  std::string commonAppData;  // CORVEL_COMMON_APPDATA
  std::string commonFiles;    // CORVEL_COMMON_FILES
  std::string localAppData;   // CORVEL_LOCAL_APPDATA and XDG_DATA_HOME
  std::string work;           // files the target itself writes; the store is pcd.db here
};
const ScratchFolders& Scratch();
// A target's own set-up, when it defines one.
[[gnu::weak]] void FuzzSetUp();

// Replaces the file at `path` with `bytes` (aborts on failure), or reads it (nullopt when it
// cannot, or when `path` is a symbolic link).
void WriteWholeFile(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadWholeFile(const std::string& path);
// Prints "fuzz check failed: <what>" and aborts, so libFuzzer records the input.
[[noreturn]] void CheckFailed(const char* file, int line, const std::string& what);

}  // namespace corvel::fuzz

#define FUZZ_CHECK(condition, what)                                            \
  do {                                                                         \
    if (!(condition)) ::corvel::fuzz::CheckFailed(__FILE__, __LINE__, (what)); \
  } while (0)

namespace corvel::fuzz {

// An entry a configuration walk hands its handler, and the walk that keeps them (both
// configuration targets). Every entry has a key and a value, but the reverse entry of a hive
// without code, which has a subdomain; every "LicensingCode" entry comes right after the
// reverse entry made from it, whose subdomain fits its 128-byte buffer; a handler that stops
// after `stopAfter` entries gets no more.
struct Entry {
  std::optional<std::string> subdomain;
  std::string key;
  std::optional<std::string> value;
  int isProtected;
  bool operator==(const Entry&) const = default;
};
struct Walk {
  std::vector<Entry> entries;
  size_t stopAfter = SIZE_MAX;
};
inline int Collect(void* context, const char* subdomain, const char* key, const char* value,
                   int isProtected) {
  auto* walk = static_cast<Walk*>(context);
  FUZZ_CHECK(key != nullptr, "an entry without key");
  FUZZ_CHECK(value != nullptr || (std::strcmp(key, "PayloadCode") == 0 && subdomain != nullptr),
             "an entry without value that is not a reverse entry");
  const auto text = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
  walk->entries.push_back({text(subdomain), key, text(value), isProtected});
  const size_t count = walk->entries.size();
  const Entry& e = walk->entries.back();
  const Entry* reverse = count > 1 ? &walk->entries[count - 2] : nullptr;
  FUZZ_CHECK(e.key != "LicensingCode" ||
                 (reverse && reverse->key == "PayloadCode" && reverse->subdomain == e.value &&
                  reverse->subdomain->size() < 128 && reverse->value == e.subdomain &&
                  reverse->isProtected == e.isProtected),
             "a LicensingCode entry without a reverse entry that mirrors it");
  FUZZ_CHECK(count <= walk->stopAfter, "the walk went on after its handler stopped");
  return count == walk->stopAfter ? 1 : 0;
}

}  // namespace corvel::fuzz
