# Installation and packaging: the two shared libraries side by side (the library finds the
# services library beside itself), the public headers, the tool, a CMake package
# (find_package(CorvelTAVLib) gives the imported targets CorvelTAVLib::corvel_tavlib and
# CorvelTAVLib::zepservices), a pkg-config file (corvel_tavlib), the examples, and a Debian
# package through CPack (cpack -G DEB in the build folder).
include(CMakePackageConfigHelpers)

set(CORVEL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/CorvelTAVLib)

# Each library with its header (its file set); callers of the services library's own entry
# points (the store enumeration) get zepservices.h with it.
# On Windows the DLLs are runtime files (bin/), their import libraries archives (lib/).
install(TARGETS corvel_tavlib zepservices
        EXPORT CorvelTAVLibTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET tavctl)
  install(TARGETS tavctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT CorvelTAVLibTargets
        NAMESPACE CorvelTAVLib::
        FILE CorvelTAVLibTargets.cmake
        DESTINATION ${CORVEL_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvelTAVLibConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/CorvelTAVLibConfig.cmake
                              INSTALL_DESTINATION ${CORVEL_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvelTAVLibConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CorvelTAVLibConfig.cmake
              ${PROJECT_BINARY_DIR}/CorvelTAVLibConfigVersion.cmake
        DESTINATION ${CORVEL_PACKAGE_DIR})

# The pkg-config file finds its prefix from its own folder, so the installed tree can be moved
# (or installed with --prefix) and still be found.
file(RELATIVE_PATH CORVEL_PC_TO_PREFIX
     /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" CORVEL_PC_TO_PREFIX "${CORVEL_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvel_tavlib.pc.in
               ${PROJECT_BINARY_DIR}/corvel_tavlib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvel_tavlib.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvel-tavlib)
set(CPACK_PACKAGE_VENDOR "${TAG_ENTITY_NAME}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Out-of-box-experience library: configuration records, installation records, tags")
set(CPACK_PACKAGE_DESCRIPTION
    "corvel_tavlib records product configuration documents and installation facts in a \
persistent cached data store, removes them at uninstall, writes software identification tags \
and keeps enciphered per-user preferences. Includes the services library (SQLite store, file \
logger, agreement service), the C headers, the tavctl tool, a CMake package and a pkg-config file.")
set(CPACK_PACKAGE_CONTACT "${TAG_ENTITY_NAME} <packages@corvel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
