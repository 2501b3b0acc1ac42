# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads); programs run under
# wine64. See mingw-common.cmake for the dependency prefix and the link settings.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CORVEL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
