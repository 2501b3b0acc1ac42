// The fixture of the hostile-caller tests: an instance over a store in a scratch folder that
// already holds rows in both domains (so there is something to lose), and the check that
// follows every call: the status, a sound database file, no transaction left open, and a
// store changed by exactly the rows the call was meant to write or remove.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::hostile {

using test::Applied;
using test::Describe;
using test::Difference;
using test::IntegrityCheck;
using test::P;
using test::ReadSnapshot;
using test::StoreRow;
using test::StoreRows;
using test::StoreSnapshot;
using test::U;

// A text argument: nullopt stands for a null pointer.
using Arg = std::optional<std::string>;
inline const char* C(const Arg& arg) { return arg ? arg->c_str() : nullptr; }
// The argument as a short readable label for failure messages.
std::string Label(const Arg& arg);

// RC4 of `plain` keyed with the first 256 bytes of `key`; as upper-case hexadecimal, what the
// store holds for an obfuscated value.
std::string Rc4(const std::string& plain, const std::string& key);
std::string Rc4Hex(const std::string& plain, const std::string& key);

class HostileCallerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The scratch folder's main log and store.
  std::string MainLog() const;
  const std::string& Database() const { return mDatabase; }

  // Writes a configuration document whose Payload hive holds "Name" = `name` (protected) and
  // "Open" = "yes" (unprotected); returns its path.
  std::string WriteDocument(const std::string& file, const std::string& name);
  // The rows a successful Process_file of such a document stores for `payload`; the install
  // time is taken from the store after checking that it is a recent decimal count.
  StoreRows DocumentRows(const std::string& payload, const std::string& driver,
                         const std::string& path, const std::string& name);

  // Checks that the store, since the last check, lost `removed` and gained `added` (a row
  // added at the address of an existing one replaces it) and nothing else, that the file is
  // sound and that no transaction is left open. The next check starts from here.
  void ExpectStoreChange(const StoreRows& added = {}, const StoreRows& removed = {});
  // Writes rows through the library (unprotected domain) and takes them as the new start.
  void Plant(const StoreRows& rows);

  // Releases the instance with `commit` and creates a fresh one.
  void Renew(int32_t commit);

  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
  StoreSnapshot mLast;
  std::string mDatabase;
};

}  // namespace corvel::hostile
