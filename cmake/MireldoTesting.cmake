find_package(GTest REQUIRED)
include(GoogleTest)

# Folder of the shared reference data (ISO compliance bitstreams and their PCM).
set(MIRELDO_VECTORS_DIR "" CACHE PATH "Folder holding the reference vectors (mpeg/...)")
if(NOT MIRELDO_VECTORS_DIR)
    foreach(candidate "${CMAKE_SOURCE_DIR}/../shared/vectors" "/work/shared/vectors")
        if(EXISTS "${candidate}/mpeg")
            get_filename_component(MIRELDO_VECTORS_DIR "${candidate}" ABSOLUTE)
            break()
        endif()
    endforeach()
endif()
if(NOT EXISTS "${MIRELDO_VECTORS_DIR}/mpeg")
    message(FATAL_ERROR "Reference vectors not found: set MIRELDO_VECTORS_DIR to the folder holding mpeg/")
endif()

# Outside tools the interop tests use as oracles; a missing one fails configuration.
foreach(tool ffmpeg lame mpg123 sox oggenc twolame)
    string(TOUPPER ${tool} var)
    find_program(MIRELDO_${var}_EXE ${tool} REQUIRED)
endforeach()

# mireldo_add_test(NAME n SOURCES ... [LIBS ...] [LABELS ...])
# Builds one GoogleTest program and registers each of its tests with CTest.
function(mireldo_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/test_environment.cpp)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main mireldo_test_support
        mireldo_warnings)
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    gtest_discover_tests(${T_NAME}
        PROPERTIES LABELS "${T_LABELS}"
        DISCOVERY_TIMEOUT 60)
endfunction()
