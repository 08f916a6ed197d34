# Installs the decoding core as libaztec (static, or shared with AZTEC_BUILD_SHARED) with its
# public headers <aztec/...>, a CMake package (find_package(AztecReader), Aztec::core) and a
# pkg-config file (aztec.pc).

include(CMakePackageConfigHelpers)

set(AZTEC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/AztecReader)

# Exported as Aztec::core, the same name the build tree's alias gives it.
set_target_properties(aztec_core PROPERTIES EXPORT_NAME core)

install(TARGETS aztec_core EXPORT AztecReaderTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# Only the public headers: the stages under src/ are internal and may change at any time.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/aztec DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The prefix is found from the file's own place, so an install moved or made with --prefix works.
file(RELATIVE_PATH AZTEC_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${CMAKE_CURRENT_LIST_DIR}/aztec.pc.in ${PROJECT_BINARY_DIR}/aztec.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/aztec.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(EXPORT AztecReaderTargets NAMESPACE Aztec:: FILE AztecReaderTargets.cmake
        DESTINATION ${AZTEC_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/AztecReaderConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/AztecReaderConfig.cmake
                              INSTALL_DESTINATION ${AZTEC_CMAKE_DIR})
# 0.x releases may change the interface between minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/AztecReaderConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/AztecReaderConfig.cmake ${PROJECT_BINARY_DIR}/AztecReaderConfigVersion.cmake
        DESTINATION ${AZTEC_CMAKE_DIR})
