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
# Only the public headers: the engine back ends (which include libpq-fe.h and sqlite3.h), the
# engines' error codes, the fault-injection hook, the SQL shape cache and the spectrum coders'
# internals stay in the source tree. Dialogs and plots install their own.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/quantora/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quantora
    FILES_MATCHING PATTERN "*.h"
    PATTERN "dialogs" EXCLUDE PATTERN "plots" EXCLUDE
    PATTERN "dblayer/sqlite" EXCLUDE PATTERN "dblayer/postgres" EXCLUDE
    PATTERN "dblayer/ErrorCodes.h" EXCLUDE PATTERN "dblayer/FaultInjection.h" EXCLUDE
    PATTERN "dblayer/SqlShapes.h" EXCLUDE
    PATTERN "dblayer/ThreadQuery.h" EXCLUDE
    PATTERN "spectrum/BitStream.h" EXCLUDE PATTERN "spectrum/BlockRiceCodec.h" EXCLUDE
    PATTERN "spectrum/ContextModelCodec.h" EXCLUDE PATTERN "spectrum/CountStream.h" EXCLUDE
    PATTERN "spectrum/ForceInline.h" EXCLUDE PATTERN "spectrum/RangeCoder.h" EXCLUDE
    PATTERN "exchange/XmlValueDecode.h" EXCLUDE)
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
