#!/usr/bin/env bash
# Builds corvel_tavlib.dll and zepservices.dll for 64-bit (x86_64) and 32-bit (i686) Windows
# with Debian's mingw-w64, into build/windows-<target>/out/, and checks what installers rely on:
#   - the 32-bit and 64-bit corvel_tavlib.dll export exactly the functions corvel_tavlib.h
#     declares (the Linux library's exports), by their plain names;
#   - every 32-bit export is cdecl: its code returns with a plain "ret", never "ret N";
#   - both DLLs carry the file version 3.0.0.10 and import system DLLs only.
# With --test it then runs, under Wine, the x86_64 test suite and the C caller that loads the
# DLL with LoadLibraryW, and the 32-bit caller when Wine's 32-bit loader (wine32:i386) can be
# installed (install-windows-deps.sh --with-wine32 tries; it backs out when it cannot).
#
# Usage: scripts/build-windows.sh [--test]
# The dependencies come from scripts/install-windows-deps.sh (run first; quiet when cached).
# Wine runs in its own prefix, build/windows-wine, so nothing outside the build folder is used.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
run_tests=0
for arg in "$@"; do
  case $arg in
    --test) run_tests=1 ;;
    *) echo "build-windows: unknown option $arg" >&2; exit 2 ;;
  esac
done

say() { echo "build-windows: $*"; }
failures=0
fail() { echo "build-windows: FAIL: $*" >&2; failures=$((failures + 1)); }

# For the tests, Wine's 32-bit loader too, when this machine's package lists allow it.
if [ $run_tests -eq 1 ]; then
  bash scripts/install-windows-deps.sh --with-wine32
else
  bash scripts/install-windows-deps.sh
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build() {  # build TARGET
  local target=$1 dir=build/windows-$1
  say "building $target in $dir"
  cmake -S . -B "$dir" -G Ninja --toolchain "cmake/toolchains/mingw-$target.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCORVEL_WARNINGS_AS_ERRORS=ON -DCORVEL_BUILD_BENCH=OFF \
    -DCORVEL_BUILD_TOOL=OFF -DCORVEL_BUILD_TESTS=ON "${launcher[@]}" >"$dir.configure.log" 2>&1 ||
    { tail -30 "$dir.configure.log" >&2; return 1; }
  nice -n 10 cmake --build "$dir" -j2
}

# The functions corvel_tavlib.h declares, one per line, sorted.
declared_exports() {
  perl -0ne 'print "$1\n" while /CORVEL_TAVLIB_CALL\s+(Corvel_TAVLib_\w+)/g' include/corvel_tavlib.h |
    sort -u
}

# The names of a DLL's export table, one per line, sorted.
dll_exports() {  # dll_exports OBJDUMP DLL
  "$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^[ \t]*\[ *[0-9]+\]/ {print $NF}' | sort
}

check_exports() {  # check_exports TARGET
  local objdump=$1-w64-mingw32-objdump dll=build/windows-$1/out/corvel_tavlib.dll
  if diff <(declared_exports) <(dll_exports "$objdump" "$dll") >&2; then
    say "$1: corvel_tavlib.dll exports the $(declared_exports | wc -l) functions of corvel_tavlib.h, undecorated"
  else
    fail "$1: the export table of corvel_tavlib.dll differs from corvel_tavlib.h (< header, > DLL)"
  fi
}

# Every exported function of the 32-bit DLL is disassembled from its entry to the next symbol
# (its COFF name is the export's with the leading underscore of 32-bit C names):
# a callee-pops return ("ret $N", stdcall) fails; each must end in a plain "ret" (or pass on to
# another function by a jump, whose own returns are checked the same way when exported).
check_cdecl() {
  local dll=build/windows-i686/out/corvel_tavlib.dll report
  report=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" | awk -v list="$(dll_exports i686-w64-mingw32-objdump "$dll" | tr '\n' ' ')" '
    BEGIN { n = split(list, names, " "); for (i = 1; i <= n; i++) wanted[names[i]] = 1 }
    /^[0-9a-f]+ <[^>]+>:$/ {
      finish(); name = $2; gsub(/[<>:]/, "", name); sub(/^_/, "", name); current = (name in wanted) ? name : ""
      plain = 0; popping = 0; jumps = 0; next
    }
    current != "" && /\tret *$/ { plain++ }
    current != "" && /\tret +\$/ { popping++ }
    current != "" && /\tjmp / { jumps++ }
    function finish() {
      if (current == "") return
      seen[current] = 1
      if (popping > 0) print "STDCALL " current
      else if (plain == 0 && jumps == 0) print "NORET " current
      else print "OK " current
    }
    END { finish(); for (w in wanted) if (!(w in seen)) print "MISSING " w }')
  if grep -qv '^OK ' <<<"$report"; then
    grep -v '^OK ' <<<"$report" >&2
    fail "i686: exports that do not return with a plain ret"
  else
    say "i686: all $(grep -c '^OK ' <<<"$report") exports of corvel_tavlib.dll return with a plain ret (cdecl)"
  fi
}

# The DLLs a Windows installation always has.
system_dlls='^(kernel32|advapi32|msvcrt|ole32|oleaut32|shell32|user32|ws2_32|bcrypt)\.dll$'

check_dll() {  # check_dll TARGET NAME
  local objdump=$1-w64-mingw32-objdump dll=build/windows-$1/out/$2 imports version
  imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ {print $3}' | sort -u)
  for name in $imports; do
    grep -qiE "$system_dlls" <<<"$name" || fail "$1: $2 imports $name, which is no system DLL"
  done
  version=$("$1-w64-mingw32-windres" -i "$dll" -O rc 2>/dev/null | awk '/FILEVERSION/ {$1 = ""; gsub(/ /, ""); print; exit}')
  [ "$version" = "3,0,0,10" ] || fail "$1: $2 has the file version '$version', not 3,0,0,10"
  say "$1: $2 file version ${version//,/.}, imports" $imports
}

build x86_64
build i686
for target in x86_64 i686; do
  check_exports $target
  check_dll $target corvel_tavlib.dll
  check_dll $target zepservices.dll
done
check_cdecl

if [ $run_tests -eq 1 ]; then
  export WINEPREFIX=$repo/build/windows-wine WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  wine32=0
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then wine32=1; fi
  # A prefix made before the 32-bit loader was installed has no 32-bit system DLLs.
  if [ $wine32 -eq 1 ] && [ -z "$(ls -A "$WINEPREFIX/drive_c/windows/syswow64" 2>/dev/null)" ]; then
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -d "$WINEPREFIX" ]; then
    say "creating the Wine prefix $WINEPREFIX"
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  fi
  say "x86_64: the test suite and the caller under wine64"
  (cd build/windows-x86_64 && ctest --output-on-failure --timeout 600 -j2) || fail "x86_64: ctest"
  if [ $wine32 -eq 1 ]; then
    say "i686: the caller under wine"
    (cd build/windows-i686 && ctest --output-on-failure --timeout 600 -R windows_caller) ||
      fail "i686: the caller"
  else
    say "i686: not run (Wine's 32-bit loader, wine32, is not installed)"
  fi
fi

if [ $failures -ne 0 ]; then
  say "$failures failure(s)"
  exit 1
fi
say "done"
