// Shared start-up of the libFuzzer targets, included by the one source file of each.
// LLVMFuzzerInitialize, defined here for all of them, makes the tests' scratch folder
// (test_support.h) for the target process, which points every folder setting of the library
// into it and is removed again at a normal exit (a crash leaves it for inspection); it also
// unsets ZEP_DEBUG_OUTPUT. A target that needs more defines FuzzSetUp(), run after.
// Targets take FuzzedDataProvider (and the standard headers it includes), <filesystem> as
// fs and <optional> from here.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "test_support.h"

namespace fs = std::filesystem;

// Prints "fuzz check failed: <what>" and aborts, so libFuzzer records the input.
#define FUZZ_CHECK(condition, what)                                                          \
  ((condition) ? void()                                                                      \
               : (std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, \
                               std::string(what).c_str()),                                   \
                  std::abort()))

namespace corvel::fuzz {

using test::ReadWholeFile;

// The target process's scratch folder; the files a target writes itself go in its root.
inline test::ScratchFolder& Scratch() {
  static test::ScratchFolder folder;
  return folder;
}
// A target's own set-up, when it defines one.
[[gnu::weak]] void FuzzSetUp();

// Replaces the file at `path` with `bytes`.
inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  FUZZ_CHECK(test::WriteWholeFile(path, bytes), "cannot write " + path);
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Scratch();
  test::SetVariable("ZEP_DEBUG_OUTPUT", std::nullopt);
  if (FuzzSetUp) FuzzSetUp();
  return 0;
}

}  // namespace corvel::fuzz
