#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses the installed tree from outside:
# a CMake project through find_package(CorvelTAVLib), a C program built with pkg-config's
# flags, the Python caller, and the installed tool; then builds the Debian package and lists it.
#
#   installed_tree_test.sh BUILD_DIR SOURCE_DIR LIBDIR C_COMPILER
set -euo pipefail
build=$1 source=$2 libdir=$3 cc=$4

work=$(mktemp -d "${TMPDIR:-/tmp}/tavctl-installed-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "installed_tree_test: $*" >&2; exit 1; }

# A fresh set of library folders for each program run; $folder is its work folder.
fresh_environment() {
  local root=$work/env-$1
  mkdir -p "$root"/{tmp,common,files,local,work}
  export TMPDIR=$root/tmp CORVEL_COMMON_APPDATA=$root/common CORVEL_COMMON_FILES=$root/files \
         CORVEL_LOCAL_APPDATA=$root/local ZEP_PCD_DB=$root/pcd.db
  folder=$root/work
}

cmake --install "$build" --prefix "$prefix" >/dev/null
# The services library's header; the callers below use every other installed file.
[ -e "$prefix/include/zepservices.h" ] || fail "missing include/zepservices.h in the installed tree"

# 1. A CMake project through the package.
cmake -S "$source/examples/consumer" -B "$work/consumer" -G Ninja -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "configure"; }
cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "build"; }
fresh_environment cmake
"$work/consumer/install_example" "$folder" | grep -q "install_example: done" || fail "find_package caller"

# 2. A C program built with pkg-config's flags.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
"$cc" -std=c99 -pedantic-errors -Wall -Werror $(pkg-config --cflags corvel_tavlib) \
      "$source/examples/c/install_example.c" $(pkg-config --libs corvel_tavlib) -o "$work/pc_example"
fresh_environment pkgconfig
LD_LIBRARY_PATH=$prefix/$libdir "$work/pc_example" "$folder" | grep -q "install_example: done" \
  || fail "pkg-config caller"
[ "$(pkg-config --modversion corvel_tavlib)" = 3.0.0 ] || fail "pkg-config version"

# 3. The Python caller against the installed library.
fresh_environment python
PYTHONDONTWRITEBYTECODE=1 python3 "$prefix/share/doc/corvel_tavlib/examples/python/install_example.py" \
  --library "$prefix/$libdir/libcorvel_tavlib.so.3" "$folder" | grep -q "install_example: done" \
  || fail "ctypes caller"

# 4. The installed tool finds its libraries beside it and runs the demo.
fresh_environment tool
"$prefix/bin/tavctl" demo --dir "$folder" | grep -q "Demo complete" || fail "installed tavctl demo"

# 5. The Debian package holds the same tree under /usr.
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack"; }
contents=$(dpkg-deb -c "$work"/package/corvel-tavlib_*.deb)
for file in "usr/$libdir/libzepservices.so" "usr/$libdir/libcorvel_tavlib.so.3" usr/bin/tavctl \
            usr/include/corvel_tavlib.h "usr/$libdir/pkgconfig/corvel_tavlib.pc"; do
  grep -q "\./$file" <<<"$contents" || fail "package lacks $file"
done
echo "installed_tree_test: passed"
