# Installs the decoding core as libaztec.a with its headers and a CMake package, so another
# project can write find_package(AztecReader) and link Aztec::core.

include(CMakePackageConfigHelpers)

set(AZTEC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/AztecReader)

# Exported as Aztec::core, the same name the build tree's alias gives it.
set_target_properties(aztec_core PROPERTIES EXPORT_NAME core)

install(TARGETS aztec_core EXPORT AztecReaderTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/aztec)

# Headers keep their folders, so "decoder/decoder.h" and the like resolve as in the tree. The
# runtime component is a separate library with its own platform headers: not part of the core.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/aztec
        FILES_MATCHING PATTERN "*.h"
        PATTERN "component" EXCLUDE)

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
