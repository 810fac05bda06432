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
option(VANTOR_TSAN "Build the host target with ThreadSanitizer (it has no i386 runtime: os32 stays plain)" OFF)
if(VANTOR_TSAN AND VANTOR_SANITIZE)
    message(FATAL_ERROR "VANTOR_TSAN and VANTOR_SANITIZE exclude each other")
endif()

set(VANTOR_WARNINGS -Wall -Wextra)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The stand-in's slot tables are built by fold expressions over every slot number.
    list(APPEND VANTOR_WARNINGS -fbracket-depth=1024)
endif()
if(VANTOR_WERROR)
    list(APPEND VANTOR_WARNINGS -Werror)
endif()

# How the os32 programs execute here: natively, or under qemu-i386 user emulation registered with
# binfmt_misc (tools/i386-exec.sh arranges it where the kernel refuses 32-bit programs). A probe
# built for i386 reports the machine it sees: i686 only under the emulator.
function(_vantor_probe_os32)
    set(dir ${CMAKE_BINARY_DIR}/os32-probe)
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${CMAKE_C_COMPILER} -m32 -o ${dir}/probe ${CMAKE_SOURCE_DIR}/cmake/os32/probe.c
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE error)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "The i386 compiler does not work (${CMAKE_C_COMPILER} -m32): install "
                            "g++-12-multilib (tools/install-deps.sh).\n${error}")
    endif()
    execute_process(COMMAND ${dir}/probe RESULT_VARIABLE rc OUTPUT_VARIABLE machine ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "This kernel refuses 32-bit (i386) programs (${rc}), so the OS side cannot "
                            "run: run tools/i386-exec.sh as root to run them under qemu-i386.")
    endif()
    if(machine MATCHES "^i.86$")
        set(VANTOR_OS32_EMULATED ON PARENT_SCOPE)
        message(STATUS "The OS side (i386) runs emulated under qemu-i386")
    else()
        set(VANTOR_OS32_EMULATED OFF PARENT_SCOPE)
    endif()
endfunction()
_vantor_probe_os32()

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
        # 64-bit file offsets and inode numbers: without them readdir and stat fail with EOVERFLOW
        # on file systems that hand out 64-bit values, and on files over 2 GiB.
        target_compile_definitions(${target} PRIVATE _FILE_OFFSET_BITS=64)
        target_compile_options(${target} PRIVATE -m32)
        target_link_options(${target} PRIVATE -m32)
        if(type STREQUAL "EXECUTABLE")
            set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
            target_link_options(${target} PRIVATE -no-pie)
        endif()
    elseif(NOT arch STREQUAL "host")
        message(FATAL_ERROR "${target}: ARCH must be os32 or host, not '${arch}'")
    endif()
    if(arch STREQUAL "os32" AND type STREQUAL "EXECUTABLE" AND VANTOR_SANITIZE AND VANTOR_OS32_EMULATED)
        target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/os32/EmulatedAsanOptions.c)
    endif()
    set(sanitizers ${VANTOR_SANITIZER_FLAGS})
    if(VANTOR_TSAN AND arch STREQUAL "host")
        set(sanitizers -fsanitize=thread)
    endif()
    target_compile_options(${target} PRIVATE ${VANTOR_WARNINGS} ${sanitizers} ${VANTOR_FUZZ_FLAGS})
    target_link_options(${target} PRIVATE ${sanitizers})
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
        vantor_program_data(${name})
    endif()
    if(V_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${V_OUTPUT_NAME})
    endif()
    vantor_arch(${name} ${V_ARCH})
    _vantor_common_props(${name})
endfunction()

# What ./run.sh builds: every program and module of build/bin and the data they run with (the
# "programs" target, made at the end of the top CMakeLists.txt), without tests, fuzz drivers or
# benchmarks. Targets that make run-time data (ROMs, packed applications) add themselves with
# vantor_program_data(<target>).
function(vantor_program_data target)
    set_property(GLOBAL APPEND PROPERTY VANTOR_PROGRAM_TARGETS ${target})
endfunction()

function(vantor_add_executable name)
    _vantor_parse(${ARGN})
    add_executable(${name} ${V_SOURCES})
    vantor_program_data(${name})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTOR_BIN_DIR})
    if(V_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${V_OUTPUT_NAME})
    endif()
    vantor_arch(${name} ${V_ARCH})
    _vantor_common_props(${name})
endfunction()

# A GoogleTest program. Each of its tests becomes a CTest test carrying LABEL (deliverable.area).
# SERIAL keeps its tests from running beside other SERIAL tests (fixed ports, fixed addresses, the
# X display's pointer and keyboard focus).
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
    if(VANTOR_TSAN)
        list(APPEND props ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tools/tsan.supp")
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
