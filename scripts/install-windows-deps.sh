#!/usr/bin/env bash
# Installs the Windows cross toolchains (Debian's mingw-w64, posix threads, for i686 and x86_64,
# and Wine) and builds the project's dependencies for Windows: TinyXML, Crypto++, SQLite and
# pugixml for both targets, GoogleTest for x86_64. The dependencies are built from Debian's own
# source packages, at the versions of the Linux development packages installed here, with
# Debian's patches applied, so both platforms run the same third-party code.
#
# The result is a prefix per target (include/, lib/, lib/pkgconfig/, lib/cmake/) in
#   $CORVEL_WINDOWS_DEPS_CACHE/<key>/<i686|x86_64>     (default /var/cache/corvel-windows-deps)
# where <key> names the dependency versions, the compiler version and a digest of this recipe;
# the symbolic link $CORVEL_WINDOWS_DEPS_CACHE/current points at the key last installed, which is
# where cmake/toolchains/mingw-*.cmake look by default. A build whose key is cached is reused;
# builds unused for 30 days are dropped when another one is made.
#
# Idempotent and quiet when everything is present. Options:
#   --with-wine32   also add the i386 architecture and install wine32, the 32-bit Wine loader
#                   (backed out again when it cannot be installed without removing anything)
#   --print-prefix  print the cache folder of the current key when done
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
cache_root=${CORVEL_WINDOWS_DEPS_CACHE:-/var/cache/corvel-windows-deps}
with_wine32=0
print_prefix=0
for arg in "$@"; do
  case $arg in
    --with-wine32) with_wine32=1 ;;
    --print-prefix) print_prefix=1 ;;
    *) echo "install-windows-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

say() { echo "install-windows-deps: $*"; }
die() { echo "install-windows-deps: $*" >&2; exit 1; }
is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
need_root() { [ "$(id -u)" -eq 0 ] || die "$1 (run as root)"; }

# ---------------------------------------------------------------------------------------------
# Toolchains

toolchain_packages=(
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  wine wine64
  dpkg-dev tcl make cmake ninja-build pkg-config xz-utils
)

install_packages() {
  local missing=() p
  for p in "$@"; do is_installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  need_root "missing packages: ${missing[*]}"
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt_update
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# A failing list (a mirror caught mid-sync) must not stop us: apt says so, and a package it
# then cannot find fails in its own step.
apt_update() {
  apt-get update -qq >/dev/null || say "apt-get update reported errors; going on with the lists it has"
}

# wine32 needs the i386 architecture. Adding it is harmless in itself, but its package lists
# must be complete and consistent with the installed amd64 packages (Multi-Arch: same), so the
# installation is simulated first and applied only if it installs without removing anything.
install_wine32() {
  is_installed wine32:i386 && return 0
  need_root "wine32 is not installed"
  local added=0 log
  log=$(mktemp)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    added=1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >"$log" 2>&1 || true  # the simulation tells whether the lists suffice
  if apt-get -s install --no-install-recommends wine32:i386 >>"$log" 2>&1 &&
     ! grep -q '^Remv ' "$log" &&
     apt-get install -y -qq --no-install-recommends wine32:i386 >>"$log" 2>&1; then
    say "wine32 installed"
    rm -f "$log"
    return 0
  fi
  say "wine32 cannot be installed here; 32-bit programs cannot be run:"
  grep -E '^(E|W):|^ .*: Depends' "$log" | head -5 >&2 || true
  rm -f "$log"
  if [ $added -eq 1 ] && [ -z "$(dpkg-query -W -f='${Package}:${Architecture}\n' 2>/dev/null | grep ':i386$')" ]; then
    dpkg --remove-architecture i386
    apt-get update -qq >/dev/null 2>&1 || true
  fi
}

# ---------------------------------------------------------------------------------------------
# The cache key

# The Linux development packages: their versions are the ones built, from their source packages.
dev_packages=(libtinyxml-dev libcrypto++-dev libsqlite3-dev libpugixml-dev libgtest-dev)

version_of() { dpkg-query -W -f='${Version}' "$1"; }

cache_key() {
  local versions recipe
  versions="tinyxml-$(version_of libtinyxml-dev)_cryptopp-$(version_of libcrypto++-dev)"
  versions+="_sqlite-$(version_of libsqlite3-dev)_pugixml-$(version_of libpugixml-dev)"
  versions+="_gtest-$(version_of libgtest-dev)_mingw-gcc-$(version_of g++-mingw-w64-x86-64-posix)"
  # Everything else that shapes the result goes into a digest: the i686 compiler, both C
  # runtimes and this recipe with the toolchain files it builds GoogleTest through.
  recipe=$( { version_of g++-mingw-w64-i686-posix; version_of mingw-w64-i686-dev
              version_of mingw-w64-x86-64-dev
              cat "$here/install-windows-deps.sh" "$repo"/cmake/toolchains/mingw-*.cmake; } |
            sha256sum | cut -c1-12)
  echo "${versions//:/_}_r$recipe"
}

# Drops builds unused for 30 days and the work folders that failed builds left a day ago.
prune_cache() {
  find "$cache_root" -mindepth 1 -maxdepth 1 -type d -name '*_r*' -mtime +30 -exec rm -rf {} +
  find "$cache_root" -mindepth 1 -maxdepth 1 -type d -name '.build.*' -mtime +1 -exec rm -rf {} +
}

point_current_at() {
  [ "$(readlink "$cache_root/current" 2>/dev/null)" = "$1" ] && return 0
  ln -sfn "$1" "$cache_root/.current.$$"
  mv -T "$cache_root/.current.$$" "$cache_root/current"
}

# ---------------------------------------------------------------------------------------------
# Building

targets=(i686 x86_64)
triple_of() { echo "$1-w64-mingw32"; }

common_flags="-O2 -ffunction-sections -fdata-sections -D__USE_MINGW_ANSI_STDIO=1"

# The Crypto++ sources the library links: AES (rijndael*, rdtables), CBC mode (modes), the
# filters with string sources and sinks (filters, queue, mqueue, algparam), SHA-256 (sha*,
# iterhash), and what those need: the library core (cryptlib, misc, allocate, fips140), CPU
# feature detection (cpu, sse_simd) and, through AlgorithmParametersTemplate<int>, Integer with
# its ASN.1, number theory and public key helpers.
cryptopp_sources=(
  algparam allocate asn cpu cryptlib filters fips140 integer iterhash misc modes mqueue
  nbtheory pubkey queue rdtables rijndael rijndael_simd sha sha_simd sse_simd
)
# Upstream's makefile compiles these with the instruction sets they dispatch to at run time.
cryptopp_file_flags() {
  case $1 in
    rijndael_simd) echo "-msse4.1 -maes" ;;
    sha_simd) echo "-msse4.2 -msha" ;;
    sse_simd) echo "-msse2" ;;
    # The explicit template instantiations these headers declare (AlgorithmParametersTemplate,
    # StringSinkTemplate, the Integer rings) live in upstream's dll.cpp, which drags in every
    # public key algorithm; instantiating them in the objects that define the rest of those
    # classes keeps the set small.
    algparam | filters | integer) echo "-DCRYPTOPP_MANUALLY_INSTANTIATE_TEMPLATES" ;;
  esac
}

# SQLite's compile-time options as in Debian's build (debian/rules and its configure options),
# less the hardening flags that have no Windows counterpart.
sqlite_flags="-fno-strict-aliasing -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA
  -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_RTREE=1
  -DSQLITE_SOUNDEX=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_OMIT_LOOKASIDE=1
  -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_ALLOW_ROWID_IN_VIEW -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1
  -DSQLITE_ENABLE_LOAD_EXTENSION -DSQLITE_ENABLE_JSON1 -DSQLITE_LIKE_DOESNT_MATCH_BLOBS
  -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS3_TOKENIZER=1 -DSQLITE_USE_URI=1
  -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_ENABLE_PREUPDATE_HOOK -DSQLITE_ENABLE_SESSION
  -DSQLITE_ENABLE_STMTVTAB -DSQLITE_MAX_VARIABLE_NUMBER=250000
  -DSQLITE_ENABLE_FTS4 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_MATH_FUNCTIONS -DSQLITE_TEMP_STORE=1
  -DHAVE_ISNAN=1"

# Runs a step in a subshell that stops at its first failure, with its output in a log; shows
# the log's end and keeps the work folder if it fails.
step() {
  local name=$1 rc
  shift
  set +e
  (set -e; "$@") >"$work/log/$name.log" 2>&1
  rc=$?
  set -e
  if [ $rc -ne 0 ]; then
    echo "install-windows-deps: $name failed; end of $work/log/$name.log:" >&2
    tail -30 "$work/log/$name.log" >&2
    keep_work=1
    exit 1
  fi
}

fetch_sources() {
  local p sources=()
  for p in "${dev_packages[@]}"; do
    sources+=("$(dpkg-query -W -f='${source:Package}=${source:Version}' "$p")")
  done
  enable_source_lists
  mkdir -p "$work/src"
  chmod 755 "$work"
  # apt downloads as _apt when it may write the folder (and warns otherwise).
  if id _apt >/dev/null 2>&1; then chown _apt "$work/src"; fi
  (cd "$work/src" && apt-get source -qq --only-source "${sources[@]}")
  for p in tinyxml libcrypto++ sqlite3 pugixml googletest; do
    ln -sfn "$(cd "$work/src" && ls -d "$p"-[0-9]*/ | head -1)" "$work/src/$p"
  done
}

# deb-src entries mirroring the binary ones, in a list of our own, when none are enabled.
enable_source_lists() {
  if ! grep -rqsE --include='*.list' --include='*.sources' '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      awk 'BEGIN { RS = ""; ORS = "\n\n" }
           /(^|\n)Types:[^\n]*deb([ \n]|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
        /etc/apt/sources.list.d/debian.sources >/etc/apt/sources.list.d/corvel-deb-src.sources
    fi
    if grep -qs '^deb ' /etc/apt/sources.list; then
      sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >/etc/apt/sources.list.d/corvel-deb-src.list
    fi
  fi
  apt_update
}

# One makefile builds everything, so that -j2 keeps both cores busy throughout:
#  - SQLite's source package holds the source tree; its single-file amalgamation is generated
#    once, with the build machine's compiler and tclsh, and compiled for each target;
#  - GoogleTest (x86_64) is built with its own CMake files through our toolchain file, one job
#    at a time as ninja takes no part in make's job sharing.
write_makefile() {
  local t cxx cc obj f objs
  {
    # The longest chains first: the amalgamation, then GoogleTest.
    echo "all: sqlite/sqlite3.c"
    echo "sqlite/sqlite3.c:"
    echo "	@mkdir -p sqlite && cd sqlite && ../src/sqlite3/configure --disable-amalgamation \\"
    echo "	  --disable-tcl --enable-fts4 --enable-fts5 --enable-json >configure.log"
    echo "	\$(MAKE) -C sqlite sqlite3.c && \$(MAKE) -C sqlite sqlite3.h sqlite3ext.h"
    echo "all: gtest.done"
    echo "gtest.done:"
    echo "	cmake -S src/googletest -B gtest -G Ninja -DCMAKE_BUILD_TYPE=Release \\"
    echo "	  -DCMAKE_TOOLCHAIN_FILE=$repo/cmake/toolchains/mingw-x86_64.cmake \\"
    echo "	  -DCORVEL_WINDOWS_DEPS_PREFIX=$work/out/x86_64 -DCMAKE_INSTALL_PREFIX=$work/out/x86_64 \\"
    echo "	  -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON"
    echo "	nice -n 19 cmake --build gtest -j1 && cmake --install gtest && touch \$@"
    for t in "${targets[@]}"; do
      cxx="nice -n 19 $(triple_of "$t")-g++-posix $common_flags"
      cc="nice -n 19 $(triple_of "$t")-gcc-posix $common_flags"
      obj="obj/$t"

      objs=""
      for f in tinyxml tinyxmlparser tinyxmlerror; do
        echo "$obj/tinyxml/$f.o: src/tinyxml/$f.cpp"
        echo "	@mkdir -p \$(@D) && $cxx -DTIXML_USE_STL -c \$< -o \$@"
        objs+=" $obj/tinyxml/$f.o"
      done
      lib_rule "$t" tinyxml "$objs"

      echo "$obj/pugixml/pugixml.o: src/pugixml/src/pugixml.cpp"
      echo "	@mkdir -p \$(@D) && $cxx -c \$< -o \$@"
      lib_rule "$t" pugixml "$obj/pugixml/pugixml.o"

      echo "$obj/sqlite3/sqlite3.o: sqlite/sqlite3.c"
      echo "	@mkdir -p \$(@D) && $cc $(echo $sqlite_flags) -c \$< -o \$@"
      lib_rule "$t" sqlite3 "$obj/sqlite3/sqlite3.o"

      objs=""
      for f in "${cryptopp_sources[@]}"; do
        echo "$obj/cryptopp/$f.o: src/libcrypto++/$f.cpp"
        echo "	@mkdir -p \$(@D) && $cxx -DNDEBUG $(cryptopp_file_flags "$f") -c \$< -o \$@"
        objs+=" $obj/cryptopp/$f.o"
      done
      lib_rule "$t" crypto++ "$objs"
    done
  } >"$work/Makefile"
}

lib_rule() {
  local t=$1 name=$2 objs=$3
  echo "all: out/$t/lib/lib$name.a"
  echo "out/$t/lib/lib$name.a:$objs"
  echo "	@mkdir -p \$(@D) && rm -f \$@ && $(triple_of "$t")-gcc-ar-posix rcs \$@ \$^"
}

install_headers() {
  local t=$1 inc="$work/out/$1/include"
  mkdir -p "$inc/crypto++"
  cp "$work/src/tinyxml/tinyxml.h" "$inc/"
  cp "$work/src/pugixml/src/pugixml.hpp" "$work/src/pugixml/src/pugiconfig.hpp" "$inc/"
  cp "$work/sqlite/sqlite3.h" "$work/sqlite/sqlite3ext.h" "$inc/"
  cp "$work"/src/libcrypto++/*.h "$inc/crypto++/"
  ln -sfn crypto++ "$inc/cryptopp"
}

write_pkgconfig() {
  local t=$1 dir="$work/out/$1/lib/pkgconfig"
  mkdir -p "$dir"
  pc "$dir/tinyxml.pc" TinyXml "$(version_of libtinyxml-dev)" tinyxml
  pc "$dir/libcrypto++.pc" Crypto++ "$(version_of libcrypto++-dev)" crypto++
  pc "$dir/pugixml.pc" pugixml "$(version_of libpugixml-dev)" pugixml
  pc "$dir/sqlite3.pc" SQLite "$(version_of libsqlite3-dev)" sqlite3
  # GoogleTest installs its own with absolute paths; make them relocatable like ours.
  sed -i -e '1i prefix=${pcfiledir}/../..' -e '/^prefix=/d' \
    -e 's|^libdir=.*|libdir=${prefix}/lib|; s|^includedir=.*|includedir=${prefix}/include|' \
    "$dir"/*.pc
}

# pc FILE NAME DEBIAN-VERSION LIBRARY
pc() {
  local upstream=${3%%-*}
  upstream=${upstream%%+*}
  cat >"$1" <<EOF
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $2
Description: $2 for Windows, built from Debian's sources, version $3
Version: $upstream
Libs: -L\${libdir} -l$4
Cflags: -I\${includedir}
EOF
}

build_all() {
  local start=$SECONDS t
  say "building the Windows dependencies for key $key (several minutes)"
  mkdir -p "$cache_root"
  work=$(mktemp -d "$cache_root/.build.XXXXXX")
  keep_work=0
  trap 'if [ "$keep_work" = 0 ]; then rm -rf "$work"; fi' EXIT
  mkdir -p "$work/log"
  step fetch-sources fetch_sources
  write_makefile
  step build nice -n 19 make -C "$work" -j2 all
  for t in "${targets[@]}"; do
    install_headers "$t"
    write_pkgconfig "$t"
  done
  { echo "key: $key"; for p in "${dev_packages[@]}" g++-mingw-w64-i686-posix \
      g++-mingw-w64-x86-64-posix mingw-w64-i686-dev mingw-w64-x86-64-dev; do
      echo "$p: $(version_of "$p")"; done
    echo "cold build seconds: $((SECONDS - start))"; } >"$work/out/key.txt"
  mv -T "$work/out" "$cache_root/$key"
  say "done in $((SECONDS - start))s: $cache_root/$key"
}

# ---------------------------------------------------------------------------------------------

bash "$here/install-deps.sh"
install_packages "${toolchain_packages[@]}"
if [ $with_wine32 -eq 1 ]; then install_wine32; fi

key=$(cache_key)
if [ ! -d "$cache_root/$key" ]; then
  need_root "the Windows dependencies for $key are not built"
  mkdir -p "$cache_root"
  exec 9>"$cache_root/.lock"
  flock 9
  if [ ! -d "$cache_root/$key" ]; then
    prune_cache
    build_all
  fi
fi
touch "$cache_root/$key" 2>/dev/null || true  # when it was last used, for prune_cache
if [ "$(readlink "$cache_root/current" 2>/dev/null)" != "$key" ]; then
  need_root "$cache_root/current does not point at $key"
  point_current_at "$key"
fi
[ $print_prefix -eq 0 ] || echo "$cache_root/$key"
