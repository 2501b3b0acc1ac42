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

#include "markup/markup_document.h"
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

// The markup engine's elements in document order (fuzz_markup, fuzz_swtag), and whether a
// document's start tags are ones that edits can keep consistent.
struct Placed {
  markup::ElementEntry entry;
  int depth;
};

// Appends the elements from `at` and its next siblings on, in document order, with their
// depth; a failed check when the links run longer than the entries handed out, which only a
// broken index can do. The depth stays within what a fuzz input can nest.
inline void AppendInOrder(const markup::CMarkupSTL& doc, int32_t at, int depth,
                          std::vector<Placed>& out) {
  for (; at; at = doc.GetIndex()[at].nextSibling) {
    FUZZ_CHECK(at > 0 && at < doc.GetFreePos() && out.size() <= size_t(doc.GetFreePos()),
               "element links run past the entries handed out");
    out.push_back({doc.GetIndex()[at], depth});
    AppendInOrder(doc, doc.GetIndex()[at].firstChild, depth + 1, out);
  }
}

inline std::vector<Placed> ElementsInOrder(const markup::CMarkupSTL& doc) {
  std::vector<Placed> out;
  if (doc.GetIndex().exists()) AppendInOrder(doc, doc.GetIndex()[0].firstChild, 0, out);
  return out;
}

// Whether every element's start tag can be written back by an edit and read the same way:
//  - a start tag that opens with "<>" or "<<" (blanks between allowed) has the delimiter
//    itself for a name, and an end tag or a filled-in empty element written with that name
//    reads as another structure;
//  - filling in an empty element replaces its last '/' by ">...</name", so a start tag that
//    ends in "//>" keeps a "/>" and reads as empty again.
// Both are outside XML; the engine edits them by its rules but cannot keep their index equal
// to a fresh parse.
inline bool TagsRoundTrip(const markup::CMarkupSTL& doc) {
  const std::string& text = doc.GetDoc();
  for (const Placed& p : ElementsInOrder(doc)) {
    const size_t name = text.find_first_not_of(" \t\r\n", p.entry.startLeft + 1);
    if (name != std::string::npos && (text[name] == '<' || text[name] == '>')) return false;
    const bool empty = p.entry.startRight == p.entry.endLeft + 1;
    if (empty && p.entry.endLeft > 0 && text[p.entry.endLeft - 1] == '/') return false;
  }
  return true;
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
