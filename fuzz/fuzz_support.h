// Shared start-up of the libFuzzer targets, included by the one source file of each.
// LLVMFuzzerInitialize, defined here for all of them, makes a scratch folder per target
// process, points every folder setting of the library (and HOME) into it, unsets
// ZEP_DEBUG_OUTPUT and removes the folder again at a normal exit (a crash leaves it for
// inspection); a target that needs more defines FuzzSetUp(), run after.
// Targets take FuzzedDataProvider (and the standard headers it includes), <filesystem> as
// fs and <optional> from here.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/platform.h"

namespace fs = std::filesystem;

// Prints "fuzz check failed: <what>" and aborts, so libFuzzer records the input.
#define FUZZ_CHECK(condition, what)                                                          \
  ((condition) ? void()                                                                      \
               : (std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, \
                               std::string(what).c_str()),                                   \
                  std::abort()))

namespace corvel::fuzz {

struct ScratchFolders {
  std::string root;           // the scratch folder itself, and HOME
  std::string temp;           // TMPDIR, TEMP and TMP
  std::string commonAppData;  // CORVEL_COMMON_APPDATA
  std::string commonFiles;    // CORVEL_COMMON_FILES
  std::string localAppData;   // CORVEL_LOCAL_APPDATA and XDG_DATA_HOME
  std::string work;           // files the target itself writes; the store is pcd.db here
};
inline ScratchFolders scratch;
// A target's own set-up, when it defines one.
[[gnu::weak]] void FuzzSetUp();

// Replaces the file at `path` with `bytes`.
inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  FUZZ_CHECK(out.write(bytes.data(), bytes.size()).flush(), "cannot write " + path);
}

// The bytes of the file at `path`; nullopt when it cannot be read or is a symbolic link.
inline std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (fs::is_symlink(path) || !in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes `path` a folder, keeps it in `*folder` and points the environment variables `names`
// at it.
inline void UseFolder(std::string* folder, const std::string& path,
                      std::vector<const char*> names) {
  *folder = path;
  fs::create_directory(path);
  for (const char* name : names) platform::SetEnvironmentValue(name, path);
}

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

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
  const std::string target = fs::path((*argv)[0]).filename().string();
  std::string root = platform::TempFolder() + "/corvel-" + target + "-XXXXXX";
  FUZZ_CHECK(mkdtemp(root.data()) != nullptr, "cannot create " + root);
  ScratchFolders& f = scratch;
  UseFolder(&f.root, root, {"HOME"});
  UseFolder(&f.temp, root + "/tmp", {"TMPDIR", "TEMP", "TMP"});
  UseFolder(&f.commonAppData, root + "/common-appdata", {"CORVEL_COMMON_APPDATA"});
  UseFolder(&f.commonFiles, root + "/common-files", {"CORVEL_COMMON_FILES"});
  UseFolder(&f.localAppData, root + "/local-appdata", {"CORVEL_LOCAL_APPDATA", "XDG_DATA_HOME"});
  UseFolder(&f.work, root + "/work", {});
  platform::SetEnvironmentValue("ZEP_PCD_DB", f.work + "/pcd.db");
  unsetenv("ZEP_DEBUG_OUTPUT");
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(scratch.root, ignored);
  });
  if (FuzzSetUp) FuzzSetUp();
  return 0;
}

}  // namespace corvel::fuzz
