# Fails unless the library's dynamic symbols are exactly the functions the public header declares.
# Usage: cmake -DLIBRARY=<path of the shared object> -DHEADER=<corvel_tavlib.h> -P check_exports.cmake
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only --format=just-symbols ${LIBRARY}
                OUTPUT_VARIABLE exported COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" exported "${exported}")
file(READ ${HEADER} header)
string(REGEX MATCHALL "CORVEL_TAVLIB_CALL[ \t\n]+Corvel_TAVLib_[A-Za-z_]+" declared "${header}")
list(TRANSFORM declared REPLACE "^CORVEL_TAVLIB_CALL[ \t\n]+" "")
list(SORT exported)
list(SORT declared)
list(LENGTH declared count)
if(count EQUAL 0 OR NOT exported STREQUAL declared)
  message(FATAL_ERROR "exported: ${exported}\ndeclared in ${HEADER}: ${declared}")
endif()
message(STATUS "${count} exports, exactly the functions the header declares")
