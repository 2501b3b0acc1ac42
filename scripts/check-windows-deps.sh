#!/usr/bin/env bash
# Proves the Windows cross toolchains and the dependency prefixes that
# scripts/install-windows-deps.sh builds: a small CMake project finds the dependencies the way
# the library does (pkg-config, FindSQLite3, the GTest package), builds a DLL that parses with
# TinyXML, queries with pugixml XPath, runs SQL on a database file, enciphers and deciphers
# AES-256-CBC and hashes SHA-256 with Crypto++, plus a program and (x86_64) a GoogleTest
# executable calling it. For each target it
#   - checks that the DLL exports its function undecorated and that every executable and DLL
#     imports only system DLLs (those Wine provides) or the project's own DLL;
#   - runs the program and the tests through ctest, that is under Wine, and compares the
#     program's output with the same project built for Linux against Debian's packages.
# i686 is built and inspected always, and run only where Wine's 32-bit loader is installed.
# Usage: check-windows-deps.sh [--keep]   (--keep leaves the build folder for inspection)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
keep=0
[ "${1:-}" = --keep ] && keep=1
work=$(mktemp -d /tmp/check-windows-deps.XXXXXX)
[ $keep -eq 1 ] && echo "check-windows-deps: working in $work" || trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "check-windows-deps: FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$work/src"
cat >"$work/src/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(depcheck LANGUAGES C CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(PkgConfig REQUIRED)
find_package(SQLite3 REQUIRED)
pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
add_library(depcheck SHARED depcheck.cpp)
target_link_libraries(depcheck PRIVATE PkgConfig::TINYXML PkgConfig::CRYPTOPP PkgConfig::PUGIXML
                      SQLite::SQLite3)
add_executable(depcheck_main main.cpp)
target_link_libraries(depcheck_main PRIVATE depcheck)
enable_testing()
add_test(NAME depcheck_main COMMAND depcheck_main)
if(DEPCHECK_GTEST)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(depcheck_gtest gtest.cpp)
  target_link_libraries(depcheck_gtest PRIVATE depcheck GTest::gtest_main GTest::gmock)
  # Starting Wine takes seconds on a loaded machine: more than the default 5 s to list tests.
  gtest_discover_tests(depcheck_gtest DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
endif()
EOF

cat >"$work/src/depcheck.cpp" <<'EOF'
#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <sqlite3.h>
#include <tinyxml.h>

#include <cstdio>
#include <pugixml.hpp>
#include <sstream>
#include <string>

#ifdef _WIN32
#define DEPCHECK_EXPORT extern "C" __declspec(dllexport)
#else
#define DEPCHECK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

void TinyXml(std::ostream& out) {
  TiXmlDocument doc;
  doc.Parse("<?xml version=\"1.0\"?><a x=\"1\"><b>text &amp; more</b><b>&#x263A;</b></a>");
  if (doc.Error()) {
    out << "tinyxml: error " << doc.ErrorDesc() << "\n";
    return;
  }
  const TiXmlElement* a = doc.RootElement();
  out << "tinyxml: x=" << a->Attribute("x");
  for (const TiXmlElement* b = a->FirstChildElement("b"); b; b = b->NextSiblingElement("b"))
    out << " b=" << Hex(b->GetText());
  out << "\n";
}

void PugiXml(std::ostream& out) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed = doc.load_string("<r><i k='1'>one</i><i k='2'>two</i></r>");
  pugi::xpath_node_set items = doc.select_nodes("/r/i[@k > 1]");
  out << "pugixml: parsed=" << static_cast<bool>(parsed) << " count=" << items.size()
      << " text=" << doc.select_node("/r/i[@k='2']").node().text().get()
      << " concat=" << pugi::xpath_query("concat(/r/i[1], '+', /r/i[2])").evaluate_string(doc)
      << "\n";
}

void Sqlite(std::ostream& out) {
  std::remove("depcheck.db");
  sqlite3* db = nullptr;
  int rc = sqlite3_open("depcheck.db", &db);
  rc |= sqlite3_exec(db,
                     "CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT);"
                     "INSERT INTO t(v) VALUES('a'),('b'),('c');",
                     nullptr, nullptr, nullptr);
  std::string row;
  auto collect = [](void* target, int n, char** values, char**) {
    for (int i = 0; i < n; ++i) *static_cast<std::string*>(target) += std::string(" ") + values[i];
    return 0;
  };
  rc |= sqlite3_exec(db,
                     "SELECT count(*), group_concat(v), sqrt(16), json_valid('{\"a\":1}') FROM t",
                     collect, &row, nullptr);
  out << "sqlite: " << sqlite3_libversion() << " rc=" << rc << row
      << " fts5=" << sqlite3_compileoption_used("ENABLE_FTS5") << "\n";
  sqlite3_close(db);
  std::remove("depcheck.db");
}

void Crypto(std::ostream& out) {
  using namespace CryptoPP;
  const std::string key(32, 'k'), iv(16, 'K'), plain = "attack at dawn, twice over";
  std::string cipher, back;
  CBC_Mode<AES>::Encryption encryption;
  encryption.SetKeyWithIV(reinterpret_cast<const byte*>(key.data()), key.size(),
                          reinterpret_cast<const byte*>(iv.data()));
  StringSource(plain, true, new StreamTransformationFilter(encryption, new StringSink(cipher)));
  CBC_Mode<AES>::Decryption decryption;
  decryption.SetKeyWithIV(reinterpret_cast<const byte*>(key.data()), key.size(),
                          reinterpret_cast<const byte*>(iv.data()));
  StringSource(cipher, true, new StreamTransformationFilter(decryption, new StringSink(back)));
  byte digest[SHA256::DIGESTSIZE];
  SHA256().CalculateDigest(digest, reinterpret_cast<const byte*>(plain.data()), plain.size());
  out << "cryptopp: aes-256-cbc=" << Hex(cipher) << " roundtrip=" << (back == plain)
      << " sha256=" << Hex(std::string(reinterpret_cast<char*>(digest), sizeof digest)) << "\n";
}

}  // namespace

// Writes the report into text (at most size bytes with the terminator); returns its length.
DEPCHECK_EXPORT int depcheck_run(char* text, int size) {
  std::ostringstream out;
  TinyXml(out);
  PugiXml(out);
  Sqlite(out);
  Crypto(out);
  return std::snprintf(text, static_cast<size_t>(size), "%s", out.str().c_str());
}
EOF

cat >"$work/src/main.cpp" <<'EOF'
#include <cstdio>
extern "C" int depcheck_run(char* text, int size);
int main() {
  char text[4096];
  int n = depcheck_run(text, sizeof text);
  std::printf("%s", text);
  return n > 0 && n < static_cast<int>(sizeof text) ? 0 : 1;
}
EOF

cat >"$work/src/gtest.cpp" <<'EOF'
#include <gmock/gmock.h>
#include <gtest/gtest.h>
extern "C" int depcheck_run(char* text, int size);
TEST(DepCheck, EveryLibraryReports) {
  char text[4096];
  ASSERT_GT(depcheck_run(text, sizeof text), 0);
  EXPECT_THAT(text, ::testing::HasSubstr("roundtrip=1"));
  EXPECT_THAT(text, ::testing::HasSubstr("count=1"));
  EXPECT_THAT(text, ::testing::HasSubstr("sqlite: 3."));
}
EOF

build() {  # build DIR [cmake arguments...]
  local dir=$1
  shift
  cmake -S "$work/src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.log" 2>&1 &&
    nice -n 19 cmake --build "$dir" -j2 >>"$dir.log" 2>&1 ||
    { tail -30 "$dir.log" >&2; return 1; }
}

# The reference: the same code on Linux, against Debian's packages.
build "$work/linux"
(cd "$work/linux" && ./depcheck_main) >"$work/linux.out"

for target in x86_64 i686; do
  dir="$work/$target"
  args=(-DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchains/mingw-$target.cmake")
  [ $target = x86_64 ] && args+=(-DDEPCHECK_GTEST=ON)
  if ! build "$dir" "${args[@]}"; then
    fail "$target: build"
    continue
  fi
  objdump="$target-w64-mingw32-objdump"
  wine=/usr/lib/wine/wine64
  [ $target = i686 ] && wine=/usr/lib/wine/wine
  # The system DLLs: those Wine implements (the names are the same for both targets).
  wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

  exports=$("$objdump" -p "$dir/libdepcheck.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            awk '/^[ \t]*\[ *[0-9]+\]/ {print $NF}')
  [ "$exports" = depcheck_run ] || fail "$target: DLL exports '$exports', expected depcheck_run"

  for binary in "$dir"/*.exe "$dir"/*.dll; do
    imports=$("$objdump" -p "$binary" | awk '/DLL Name:/ {print $3}' | sort -u)
    for dll in $imports; do
      if [ "$dll" != libdepcheck.dll ] && [ -z "$(find "$wine_dlls" -maxdepth 1 -iname "$dll")" ]; then
        fail "$target: $(basename "$binary") imports $dll, which is no system DLL"
      fi
    done
    echo "check-windows-deps: $target $(basename "$binary") imports" $imports
  done

  if [ ! -x "$wine" ]; then
    echo "check-windows-deps: $target built and inspected; not run ($wine is not installed)"
    continue
  fi
  # ctest runs the programs through the toolchain's emulator, discovering the GoogleTest cases.
  if (cd "$dir" && ctest --output-on-failure --timeout 600 >"$dir.ctest.log" 2>&1); then
    grep -E 'tests passed' "$dir.ctest.log" | sed "s/^/check-windows-deps: $target ctest: /"
  else
    tail -30 "$dir.ctest.log" >&2
    fail "$target: ctest"
  fi
  (cd "$dir" && WINEDEBUG=-all "$wine" depcheck_main.exe) | tr -d '\r' >"$dir.out"
  if diff -u "$work/linux.out" "$dir.out" >&2; then
    echo "check-windows-deps: $target output matches Linux's:"
    sed 's/^/    /' "$dir.out"
  else
    fail "$target: output differs from Linux's"
  fi
done

if [ $failures -ne 0 ]; then
  echo "check-windows-deps: $failures failure(s)" >&2
  exit 1
fi
echo "check-windows-deps: all checks passed"
