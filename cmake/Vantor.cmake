# Build helpers shared by every folder.
#
# One build tree holds both targets:
#   os32  i386 code (-m32): the OS-side modules (kez, sockra, brontel, durnix, morvel) and standin/os
#   host  native x86-64 code: quillwatch, tamsk, standin/win32, standin/usbport
# common/ is compiled once per target (common_host, common_os32).
#
# Every target is made through the functions below so that it gets its architecture, warnings and
# sanitizer flags:
#   vantor_add_library(<name> ARCH <os32|host> [STATIC|SHARED|MODULE|OBJECT|INTERFACE]
#                      SOURCES ... [LIBS ...] [INCLUDES ...] [DEFINES ...])
#   vantor_add_executable(<name> ARCH <arch> SOURCES ... [LIBS ...] [INCLUDES ...] [DEFINES ...])
#   vantor_add_test(<name> ARCH <arch> LABEL <deliverable.area> SOURCES ... [LIBS ...]
#                   [INCLUDES ...] [DEFINES ...] [GMOCK] [NO_MAIN] [SERIAL] [TIMEOUT <s>])
#   vantor_add_fuzz(<name> ARCH <arch> SOURCES ... [LIBS ...] [CORPUS <dir>])
#   vantor_add_bench(<name> ARCH <arch> SOURCES ... [LIBS ...])
# Programs and modules go to ${VANTOR_BIN_DIR} (build/bin), test programs to build/tests.
# Every os32 executable is built non-PIE: a 32-bit PIE loads near 0x56600000 and its malloc heap
# starts near 0x57400000, inside the areas that Kez maps at fixed addresses.

include_guard(GLOBAL)
include(GoogleTest)

set(VANTOR_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(VANTOR_TEST_DIR ${CMAKE_BINARY_DIR}/tests)

option(VANTOR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VANTOR_WERROR "Treat compiler warnings as errors" OFF)
option(VANTOR_BENCH "Build the benchmarks in bench/" OFF)
option(VANTOR_LIBFUZZER "Build fuzz targets with clang's libFuzzer instead of the replay driver" OFF)

set(VANTOR_WARNINGS -Wall -Wextra)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The stand-in's slot tables are built by fold expressions over every slot number.
    list(APPEND VANTOR_WARNINGS -fbracket-depth=1024)
endif()
if(VANTOR_WERROR)
    list(APPEND VANTOR_WARNINGS -Werror)
endif()

set(VANTOR_SANITIZER_FLAGS)
if(VANTOR_SANITIZE)
    set(VANTOR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
                               -fno-omit-frame-pointer)
endif()
# With libFuzzer every library a fuzz target links carries coverage instrumentation too.
set(VANTOR_FUZZ_FLAGS)
if(VANTOR_LIBFUZZER)
    set(VANTOR_FUZZ_FLAGS -fsanitize=fuzzer-no-link)
endif()

# Applies the architecture and the common flags to one target.
function(vantor_arch target arch)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        return()
    endif()
    if(arch STREQUAL "os32")
        target_compile_options(${target} PRIVATE -m32)
        target_link_options(${target} PRIVATE -m32)
        if(type STREQUAL "EXECUTABLE")
            set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
            target_link_options(${target} PRIVATE -no-pie)
        endif()
    elseif(NOT arch STREQUAL "host")
        message(FATAL_ERROR "${target}: ARCH must be os32 or host, not '${arch}'")
    endif()
    target_compile_options(${target} PRIVATE ${VANTOR_WARNINGS} ${VANTOR_SANITIZER_FLAGS} ${VANTOR_FUZZ_FLAGS})
    target_link_options(${target} PRIVATE ${VANTOR_SANITIZER_FLAGS})
    set_target_properties(${target} PROPERTIES VANTOR_ARCH ${arch})
endfunction()

macro(_vantor_parse)
    cmake_parse_arguments(V "STATIC;SHARED;MODULE;OBJECT;INTERFACE;GMOCK;NO_MAIN;SERIAL;GRAPHICAL"
                          "ARCH;LABEL;TIMEOUT;CORPUS;OUTPUT_NAME"
                          "SOURCES;LIBS;INCLUDES;DEFINES" ${ARGN})
    if(NOT V_ARCH)
        message(FATAL_ERROR "${name}: ARCH os32 or host is required")
    endif()
endmacro()

function(_vantor_common_props target)
    if(V_INCLUDES)
        target_include_directories(${target} PUBLIC ${V_INCLUDES})
    endif()
    if(V_DEFINES)
        target_compile_definitions(${target} PUBLIC ${V_DEFINES})
    endif()
    if(V_LIBS)
        target_link_libraries(${target} PUBLIC ${V_LIBS})
    endif()
endfunction()

function(vantor_add_library name)
    _vantor_parse(${ARGN})
    set(kind STATIC)
    foreach(k SHARED MODULE OBJECT INTERFACE)
        if(V_${k})
            set(kind ${k})
        endif()
    endforeach()
    if(kind STREQUAL "INTERFACE")
        add_library(${name} INTERFACE)
        if(V_INCLUDES)
            target_include_directories(${name} INTERFACE ${V_INCLUDES})
        endif()
        if(V_LIBS)
            target_link_libraries(${name} INTERFACE ${V_LIBS})
        endif()
        return()
    endif()
    add_library(${name} ${kind} ${V_SOURCES})
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    if(kind STREQUAL "SHARED" OR kind STREQUAL "MODULE")
        set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VANTOR_BIN_DIR})
    endif()
    if(V_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${V_OUTPUT_NAME})
    endif()
    vantor_arch(${name} ${V_ARCH})
    _vantor_common_props(${name})
endfunction()

function(vantor_add_executable name)
    _vantor_parse(${ARGN})
    add_executable(${name} ${V_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTOR_BIN_DIR})
    if(V_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${V_OUTPUT_NAME})
    endif()
    vantor_arch(${name} ${V_ARCH})
    _vantor_common_props(${name})
endfunction()

# A GoogleTest program. Each of its tests becomes a CTest test carrying LABEL (deliverable.area).
# SERIAL keeps its tests from running beside other SERIAL tests (fixed ports, fixed addresses).
function(vantor_add_test name)
    _vantor_parse(${ARGN})
    if(NOT V_LABEL)
        message(FATAL_ERROR "${name}: LABEL deliverable.area is required")
    endif()
    add_executable(${name} ${V_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTOR_TEST_DIR})
    vantor_arch(${name} ${V_ARCH})
    _vantor_common_props(${name})
    if(V_GMOCK)
        target_link_libraries(${name} PRIVATE gmock_${V_ARCH})
    endif()
    if(V_NO_MAIN)
        target_link_libraries(${name} PRIVATE gtest_${V_ARCH})
    else()
        target_link_libraries(${name} PRIVATE gtest_main_${V_ARCH})
    endif()
    target_compile_definitions(${name} PRIVATE VANTOR_BIN_DIR="${VANTOR_BIN_DIR}"
                               VANTOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    set(props LABELS ${V_LABEL})
    if(V_TIMEOUT)
        list(APPEND props TIMEOUT ${V_TIMEOUT})
    else()
        list(APPEND props TIMEOUT 120)
    endif()
    if(V_SERIAL)
        list(APPEND props RESOURCE_LOCK serial)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}/"
                         WORKING_DIRECTORY ${VANTOR_TEST_DIR} PROPERTIES ${props})
endfunction()

# A fuzz target: a source defining LLVMFuzzerTestOneInput. Normally it is linked with a replay
# driver that runs every file of its corpus and a bounded number of mutated inputs, as a CTest
# test labelled "fuzz"; with VANTOR_LIBFUZZER (clang) it becomes a real libFuzzer binary.
function(vantor_add_fuzz name)
    _vantor_parse(${ARGN})
    set(target fuzz_${name})
    if(VANTOR_LIBFUZZER)
        add_executable(${target} ${V_SOURCES})
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
        target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    else()
        add_executable(${target} ${V_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/FuzzDriver.cpp)
    endif()
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    vantor_arch(${target} ${V_ARCH})
    _vantor_common_props(${target})
    set(corpus ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
    if(V_CORPUS)
        set(corpus ${V_CORPUS})
    endif()
    # ./fuzz.sh finds the seed corpus of a target through this file.
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${target}.corpus "${corpus}\n")
    if(NOT VANTOR_LIBFUZZER)
        add_test(NAME fuzz.${name} COMMAND ${target} -runs=20000 -seed=1 ${corpus})
        set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
    endif()
endfunction()

function(vantor_add_bench name)
    if(NOT VANTOR_BENCH)
        return()
    endif()
    _vantor_parse(${ARGN})
    add_executable(${name} ${V_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    vantor_arch(${name} ${V_ARCH})
    _vantor_common_props(${name})
    target_compile_definitions(${name} PRIVATE VANTOR_BIN_DIR="${VANTOR_BIN_DIR}"
                               VANTOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()
