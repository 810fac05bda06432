# Third-party code for both targets.
#
# GoogleTest and GoogleMock are compiled from Debian's sources (/usr/src/googletest) once per
# target, with the same sanitizer flags as our code: gtest_<arch>, gtest_main_<arch>, gmock_<arch>.
#
# System libraries come from pkg-config, looked up in the right multiarch directory for each
# target, as interface targets vantor::<name>_<arch>:
#   vantor::gtk2_os32 vantor::gtk2_host vantor::alsa_os32 vantor::zlib_host
# A missing package stops the configure step with the package to install (./test.sh installs them).

include_guard(GLOBAL)
include(Vantor)
find_package(PkgConfig REQUIRED)

set(VANTOR_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${VANTOR_GTEST_SRC}/googletest/src/gtest-all.cc)
    message(FATAL_ERROR "GoogleTest sources not found in ${VANTOR_GTEST_SRC} (Debian package googletest)")
endif()

foreach(arch os32 host)
    set(gt ${VANTOR_GTEST_SRC}/googletest)
    set(gm ${VANTOR_GTEST_SRC}/googlemock)
    add_library(gtest_${arch} STATIC ${gt}/src/gtest-all.cc)
    target_include_directories(gtest_${arch} SYSTEM PUBLIC ${gt}/include)
    target_include_directories(gtest_${arch} PRIVATE ${gt})
    add_library(gtest_main_${arch} STATIC ${gt}/src/gtest_main.cc)
    target_link_libraries(gtest_main_${arch} PUBLIC gtest_${arch})
    add_library(gmock_${arch} STATIC ${gm}/src/gmock-all.cc)
    target_include_directories(gmock_${arch} SYSTEM PUBLIC ${gm}/include)
    target_include_directories(gmock_${arch} PRIVATE ${gm})
    target_link_libraries(gmock_${arch} PUBLIC gtest_${arch})
    foreach(t gtest_${arch} gtest_main_${arch} gmock_${arch})
        if(arch STREQUAL "os32")
            target_compile_definitions(${t} PRIVATE _FILE_OFFSET_BITS=64)
            target_compile_options(${t} PRIVATE -m32)
        endif()
        target_compile_options(${t} PRIVATE ${VANTOR_SANITIZER_FLAGS} -w)
        target_link_libraries(${t} PUBLIC Threads::Threads)
    endforeach()
endforeach()

set(VANTOR_PKG_LIBDIR_os32 /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(VANTOR_PKG_LIBDIR_host /usr/lib/x86_64-linux-gnu/pkgconfig:/usr/lib/pkgconfig:/usr/share/pkgconfig)

# vantor_pkg(<name> <arch> <debian-package> <pkg-config modules...>)
function(vantor_pkg name arch package)
    set(target vantor::${name}_${arch})
    if(TARGET ${target})
        return()
    endif()
    set(ENV{PKG_CONFIG_LIBDIR} ${VANTOR_PKG_LIBDIR_${arch}})
    execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --cflags-only-I ${ARGN}
                    OUTPUT_VARIABLE incs RESULT_VARIABLE rc1 OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --cflags-only-other ${ARGN}
                    OUTPUT_VARIABLE cflags OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --libs ${ARGN}
                    OUTPUT_VARIABLE libs RESULT_VARIABLE rc2 OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    unset(ENV{PKG_CONFIG_LIBDIR})
    if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0)
        message(FATAL_ERROR "pkg-config ${ARGN} for ${arch} not found: install the Debian package ${package}")
    endif()
    separate_arguments(incs UNIX_COMMAND "${incs}")
    separate_arguments(cflags UNIX_COMMAND "${cflags}")
    separate_arguments(libs UNIX_COMMAND "${libs}")
    list(TRANSFORM incs REPLACE "^-I" "")
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    # System includes: the toolkit's own headers are not ours to keep warning-free.
    target_include_directories(${target} SYSTEM INTERFACE ${incs})
    target_compile_options(${target} INTERFACE ${cflags} -Wno-deprecated-declarations)
    target_link_libraries(${target} INTERFACE ${libs})
endfunction()

vantor_pkg(gtk2 os32 libgtk2.0-dev:i386 gtk+-2.0 gthread-2.0)
vantor_pkg(gtk2 host libgtk2.0-dev gtk+-2.0 gthread-2.0)
vantor_pkg(alsa os32 libasound2-dev:i386 alsa)
vantor_pkg(zlib host zlib1g-dev zlib)
