// The fixture of the hostile-caller tests: an instance over a store in a scratch folder that
// already holds rows in both domains (so there is something to lose), the texts a hostile or
// careless caller hands the library, and the check that follows every call: a sound database
// file, no transaction left open, and a store changed by exactly the rows the call was meant
// to write or remove.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::hostile {

using namespace ::corvel::test;

// A text argument: nullopt stands for a null pointer.
using Arg = std::optional<std::string>;
inline const char* C(const Arg& arg) { return arg ? arg->c_str() : nullptr; }
// The argument as a short readable label for failure messages.
std::string Label(const Arg& arg);

inline const std::string kText64K(64 * 1024, 'k');
inline const std::string kText1M(1024 * 1024, 'm');
// Ill-formed UTF-8: a lead byte without its continuation, bytes that never occur, an overlong
// "/", an encoded surrogate, a sequence cut short, a code point beyond U+10FFFF, a stray
// continuation byte.
inline const std::vector<std::string> kIllFormedUtf8 = {
    "\xC3\x28",    "\xFF\xFE",         "\xC0\xAF",   "\xED\xA0\x80",
    "abc\xE2\x82", "\xF4\x90\x80\x80", "pay\x80load"};
// Well-formed texts that break naive quoting: quotes, line breaks, the list separator, markup,
// SQL and pattern characters, printf directives, path steps.
inline const std::vector<std::string> kAwkwardTexts = {"quo\"te'd",
                                                       "line\nbreak\r\n",
                                                       "x{|}y",
                                                       "{|}",
                                                       "<a attr=\"&amp;\">&lt;",
                                                       "'); DROP TABLE pcd_values; --",
                                                       "%",
                                                       "*",
                                                       "%s%s%s%n%x",
                                                       "../../../escape",
                                                       "tab\tand\x01control",
                                                       "\xE2\x82\xAC\xF0\x9F\x98\x80 ok"};

// RC4 of `plain` keyed with the first 256 bytes of `key`, as upper-case hexadecimal (what the
// store holds for an obfuscated value).
std::string Rc4Hex(const std::string& plain, const std::string& key);

class HostileCallerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string MainLog() const;
  const std::string& Database() const { return mDatabase; }
  // Writes a configuration document whose Payload hive holds "Name" = `name` (protected) and
  // "Open" = "yes" (unprotected); returns its path.
  std::string WriteDocument(const std::string& file, const std::string& name);
  // Checks that the store, since the last check, lost `removed` and gained `added` and nothing
  // else, that the file is sound and that no transaction is left open.
  void ExpectStoreChange(const StoreRows& added = {}, const StoreRows& removed = {});
  // Releases the instance with `commit` and creates a fresh one.
  void Renew(int32_t commit);

  ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
  StoreSnapshot mLast;
  std::string mDatabase;
};

}  // namespace corvel::hostile
