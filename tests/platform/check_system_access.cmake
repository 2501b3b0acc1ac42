# Fails when a source of the library, the services library or the tool outside src/platform
# includes a header of the operating system or touches its error or environment directly.
# Run as: cmake -DROOT=<source folder> -P check_system_access.cmake
set(headers "unistd|fcntl|dlfcn|dirent|pwd|grp|errno|cerrno|poll|signal|csignal|termios|spawn|semaphore|syslog|pthread|windows|io|direct|sys/[^>]+|linux/[^>]+|netinet/[^>]+|arpa/[^>]+")
set(include_pattern "^[ \t]*#[ \t]*include[ \t]*<(${headers})(\\.h)?>")
set(call_pattern "(^|[^A-Za-z0-9_:.>])(errno|strerror|fileno|fdopen|getenv|setenv|mkdtemp|mkstemp)[^A-Za-z0-9_]")
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/src/*.[ch] ${ROOT}/src/*.cpp
  ${ROOT}/zepservices/*.[ch] ${ROOT}/zepservices/*.cpp ${ROOT}/tools/*.[ch] ${ROOT}/tools/*.cpp)
list(FILTER sources EXCLUDE REGEX "^src/platform/")
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${ROOT}/${source} lines)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "//.*$" "" code "${line}")
    if(code MATCHES "${include_pattern}" OR code MATCHES "${call_pattern}")
      string(APPEND found "\n  ${source}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "Operating system reached outside src/platform (use platform/platform.h):${found}")
endif()
