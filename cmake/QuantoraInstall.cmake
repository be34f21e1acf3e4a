# install() rules, the CMake package QuantoraDB and the pkg-config file quantoradb.pc.
include(CMakePackageConfigHelpers)
if(TARGET quantoradb_dialogs)
    set(QUANTORA_HAVE_DIALOGS ON)
else()
    set(QUANTORA_HAVE_DIALOGS OFF)
endif()
if(TARGET quantoradb_plots)
    set(QUANTORA_HAVE_PLOTS ON)
else()
    set(QUANTORA_HAVE_PLOTS OFF)
endif()

install(TARGETS quantoradb EXPORT QuantoraDBTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Only the public headers. Private ones live in folders that are not installed: every internal/
# folder, and every engine folder (a subfolder of dblayer: its headers include the engine's
# client headers). Dialogs and plots install their own.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/quantora/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quantora
    FILES_MATCHING PATTERN "*.h"
    PATTERN "dialogs" EXCLUDE PATTERN "plots" EXCLUDE PATTERN "internal" EXCLUDE
    REGEX "/dblayer/[^/.]+$" EXCLUDE)
install(EXPORT QuantoraDBTargets NAMESPACE QuantoraDB::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuantoraDB)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuantoraDBConfig.cmake.in
    ${PROJECT_BINARY_DIR}/QuantoraDBConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuantoraDB)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuantoraDBConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuantoraDBConfig.cmake
    ${PROJECT_BINARY_DIR}/QuantoraDBConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuantoraDB)

configure_file(${PROJECT_SOURCE_DIR}/cmake/quantoradb.pc.in
    ${PROJECT_BINARY_DIR}/quantoradb.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quantoradb.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
