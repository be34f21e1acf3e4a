# Helpers that turn each subsystem folder into an object library and assemble them into
# the one library quantoradb; tests link only the subsystems they exercise.

# quantora_subsystem(<name> SOURCES <files...> [DEPS <subsystems...>] [LIBS <external targets...>])
# Creates the object library qdb_<name>.
function(quantora_subsystem name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LIBS" ${ARGN})
    add_library(qdb_${name} OBJECT ${ARG_SOURCES})
    target_include_directories(qdb_${name} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    foreach(dep IN LISTS ARG_DEPS)
        target_link_libraries(qdb_${name} PUBLIC qdb_${dep})
    endforeach()
    if(ARG_LIBS)
        target_link_libraries(qdb_${name} PUBLIC ${ARG_LIBS})
        set_property(GLOBAL APPEND PROPERTY QUANTORA_EXTERNAL_LIBS ${ARG_LIBS})
    endif()
    set_property(GLOBAL APPEND PROPERTY QUANTORA_SUBSYSTEMS ${name})
endfunction()

# The shared library quantoradb from every core subsystem's objects.
function(quantora_assemble_library)
    get_property(subsystems GLOBAL PROPERTY QUANTORA_SUBSYSTEMS)
    get_property(libs GLOBAL PROPERTY QUANTORA_EXTERNAL_LIBS)
    if(libs)
        list(REMOVE_DUPLICATES libs)
    endif()
    add_library(quantoradb SHARED)
    add_library(QuantoraDB::quantoradb ALIAS quantoradb)
    foreach(s IN LISTS subsystems)
        target_sources(quantoradb PRIVATE $<TARGET_OBJECTS:qdb_${s}>)
    endforeach()
    target_link_libraries(quantoradb PRIVATE ${libs})
    target_include_directories(quantoradb PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_compile_features(quantoradb PUBLIC cxx_std_20)
    set_target_properties(quantoradb PROPERTIES
        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endfunction()

# quantora_test(<name> SOURCES <files...> SUBSYSTEMS <subsystems...> [LIBS ...] [ENV ...])
# A GoogleTest executable linked with exactly the listed subsystems' objects.
function(quantora_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;SUBSYSTEMS;LIBS;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    foreach(s IN LISTS ARG_SUBSYSTEMS)
        target_link_libraries(${name} PRIVATE qdb_${s})
    endforeach()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    target_compile_definitions(${name} PRIVATE
        QUANTORA_SHARED_DATA="${PROJECT_SOURCE_DIR}/../shared/data")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${ARG_ENV}")
endfunction()
