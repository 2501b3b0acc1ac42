# Shared part of the mingw-w64 cross toolchains. Included by mingw-i686.cmake and
# mingw-x86_64.cmake after they set CORVEL_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
#
# Compilers: Debian's mingw-w64 with the posix thread model (std::thread, std::mutex).
# Runtime: libgcc, libstdc++ and winpthread are linked statically, so every executable and DLL
# built with these files imports nothing but system DLLs.
#
# Dependencies: scripts/install-windows-deps.sh builds TinyXML, Crypto++, SQLite, pugixml and
# (x86_64 only) GoogleTest for Windows from Debian's source packages into one prefix per target:
#   <prefix>/include                 headers (crypto++/ with the cryptopp/ alias, gtest/, gmock/)
#   <prefix>/lib/lib*.a              static libraries
#   <prefix>/lib/pkgconfig/*.pc      tinyxml, libcrypto++, pugixml, sqlite3 (and gtest, gmock)
#   <prefix>/lib/cmake/GTest/        GTest::gtest, GTest::gtest_main, GTest::gmock, ...
# The prefix is CORVEL_WINDOWS_DEPS_PREFIX (cache variable or environment variable), by default
# /var/cache/corvel-windows-deps/current/<i686|x86_64>. With these files a project finds the
# dependencies unchanged: pkg_check_modules() reads only the prefix's pkgconfig folder,
# find_package(SQLite3) and find_library()/find_path() search the prefix and the mingw sysroot,
# find_package(GTest) takes the prefix's package configuration. A header-only package whose
# CMake files live on the build machine (nlohmann_json) is outside the find root: point
# <Package>_DIR at them.
#
# Use:
#   bash scripts/install-windows-deps.sh
#   cmake -S . -B build/win64 -G Ninja --toolchain cmake/toolchains/mingw-x86_64.cmake
#   nice cmake --build build/win64 -j2 && ctest --test-dir build/win64   # tests under wine64

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10)

set(CMAKE_C_COMPILER ${CORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVEL_MINGW_TRIPLE}-windres)
# The compiler names end in -posix, which hides the tool prefix from CMake's binutils search.
set(CMAKE_AR /usr/bin/${CORVEL_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB /usr/bin/${CORVEL_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "Archive indexer")
set(CMAKE_OBJDUMP /usr/bin/${CORVEL_MINGW_TRIPLE}-objdump CACHE FILEPATH "Object dumper")

if(NOT CORVEL_WINDOWS_DEPS_PREFIX)
  if(DEFINED ENV{CORVEL_WINDOWS_DEPS_PREFIX})
    set(CORVEL_WINDOWS_DEPS_PREFIX "$ENV{CORVEL_WINDOWS_DEPS_PREFIX}")
  else()
    set(CORVEL_WINDOWS_DEPS_PREFIX "/var/cache/corvel-windows-deps/current/${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()
set(CORVEL_WINDOWS_DEPS_PREFIX "${CORVEL_WINDOWS_DEPS_PREFIX}" CACHE PATH
    "Prefix holding the Windows builds of the dependencies (include/, lib/)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVEL_WINDOWS_DEPS_PREFIX)

# Headers, libraries and packages come from the dependency prefix and the mingw sysroot only;
# programs (code generators, pkg-config) come from the build machine.
set(CMAKE_FIND_ROOT_PATH ${CORVEL_WINDOWS_DEPS_PREFIX} /usr/${CORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not fall back on the build machine's own .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${CORVEL_WINDOWS_DEPS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# C99/C++ conforming printf family (%zu, %lld, long double) instead of msvcrt's.
string(APPEND CMAKE_C_FLAGS_INIT " -D__USE_MINGW_ANSI_STDIO=1")
string(APPEND CMAKE_CXX_FLAGS_INIT " -D__USE_MINGW_ANSI_STDIO=1")
# -static makes the linker take libwinpthread.a (and every other non-system library) instead
# of an import library; the system DLLs' import libraries are archives too, so they still work.
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " -static -static-libgcc -static-libstdc++")
endforeach()

# Run the built programs (tests, try_run, gtest_discover_tests) under Wine, quietly, without the
# Mono and Gecko installation prompts on a fresh Wine prefix.
if(CORVEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" ${CORVEL_WINE})
endif()
