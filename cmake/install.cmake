# Installation and the Debian packages.  `cmake --install` places the header,
# the shared object with its SONAME and development links, a pkg-config file
# and a CMake package (imported target zeq::zeq); nothing of the tests,
# benchmarks or sample.  The runtime component holds the shared object and its
# SONAME link, the dev component the rest.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS zeq EXPORT zeqTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${ZEQ_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# The CMake package: the exported target file is the package's config file;
# it finds its prefix from its own location, so an installed tree can move.
set(zeq_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zeq)
install(EXPORT zeqTargets FILE zeqConfig.cmake NAMESPACE zeq::
        DESTINATION ${zeq_cmake_dir} COMPONENT dev)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zeqConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/zeqConfigVersion.cmake DESTINATION ${zeq_cmake_dir} COMPONENT dev)

# pkg-config: the prefix is found from the .pc file's own directory.
file(RELATIVE_PATH ZEQ_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ZEQ_PC_TO_PREFIX "${ZEQ_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/zeq.pc.in ${CMAKE_BINARY_DIR}/zeq.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zeq.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# make package: libzeq0 (the runtime) and libzeq-dev, which depends on the
# libzeq0 of the same version.  Both are stripped.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeq)
set(CPACK_PACKAGE_VENDOR "zeq developers")
set(CPACK_PACKAGE_CONTACT "zeq developers <zeq-dev@zeq.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "run-time library of the zeq language")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libzeq${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# A program built against 0.N runs with any later 0.M (see the ABI policy).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzeq-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "libzeq.so.${PROJECT_VERSION_MAJOR}, which every compiled zeq program loads.")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Development files: zeq.h, the libzeq.so link, a pkg-config file and a CMake package (zeq::zeq).")
include(CPack)
