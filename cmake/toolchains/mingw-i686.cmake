# Cross build for 32-bit Windows with Debian's mingw-w64 (posix threads). Programs run under
# Wine when its 32-bit loader (Debian's wine32:i386) is installed; without it there is no
# emulator and the built programs cannot be run on this machine.
# See mingw-common.cmake for the dependency prefix and the link settings.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CORVEL_MINGW_TRIPLE i686-w64-mingw32)
find_program(CORVEL_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
