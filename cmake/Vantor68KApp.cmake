# 68K applications in C, built with Debian's m68k cross compiler against morvel/sdk and packed
# into a resource database by morvel-pack.
#   vantor_68k_app(TARGET OUTPUT path-without-extension SOURCES a.c ...
#                  [DBNAME name] [CREATOR four] [STACK bytes] [PACK_ARGS more morvel-pack arguments]
#                  [RESOURCES TYPE ID file ...] [DEPENDS files])
# makes OUTPUT.elf (with its symbols, for the debugger) and OUTPUT.vrx. Each RESOURCES file becomes
# resource TYPE ID: a .S file is assembled (with the C preprocessor; its folder and the sources'
# folders on the include path) and the bytes of its .text are the resource; any other file is
# taken as it is.
set(VANTOR_68K_SDK ${PROJECT_SOURCE_DIR}/morvel/sdk)
# -fno-ivopts: Debian's m68k GCC 12 stops with an internal error in its loop optimiser on some
# loops that index arrays with a 16-bit int.
set(VANTOR_68K_CFLAGS -m68000 -mshort -msep-data -Os -fno-ivopts -g -ffreestanding -fno-builtin -fno-common -Wall
    -Wextra -Werror -I${VANTOR_68K_SDK})

# The start-up code, the trap stubs and the run-time routines, built once.
function(_vantor_68k_sdk)
    if(TARGET vantor_68k_sdk)
        return()
    endif()
    set(dir ${PROJECT_BINARY_DIR}/m68k-sdk)
    set(objects)
    foreach(source Start.S Traps.S Runtime.S Runtime.c)
        set(object ${dir}/${source}.o)
        set(extra)
        if(source STREQUAL "Runtime.c")
            set(extra -fno-tree-loop-distribute-patterns)
        endif()
        add_custom_command(OUTPUT ${object}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            COMMAND m68k-linux-gnu-gcc ${VANTOR_68K_CFLAGS} ${extra} -c ${VANTOR_68K_SDK}/${source} -o ${object}
            DEPENDS ${VANTOR_68K_SDK}/${source} ${VANTOR_68K_SDK}/Traps.def ${VANTOR_68K_SDK}/VantorApp.h
            COMMENT "Building the 68K start-up ${source}")
        list(APPEND objects ${object})
    endforeach()
    add_custom_target(vantor_68k_sdk DEPENDS ${objects})
    set_property(GLOBAL PROPERTY VANTOR_68K_SDK_OBJECTS ${objects})
endfunction()

function(vantor_68k_app target)
    cmake_parse_arguments(A "" "OUTPUT;DBNAME;CREATOR;STACK" "SOURCES;PACK_ARGS;RESOURCES;DEPENDS" ${ARGN})
    _vantor_68k_sdk()
    get_property(sdk GLOBAL PROPERTY VANTOR_68K_SDK_OBJECTS)
    if(NOT A_DBNAME)
        set(A_DBNAME ${target})
    endif()
    if(NOT A_CREATOR)
        set(A_CREATOR MvTs)
    endif()
    if(NOT A_STACK)
        set(A_STACK 8192)
    endif()
    get_filename_component(outdir ${A_OUTPUT} DIRECTORY)
    set(objdir ${CMAKE_CURRENT_BINARY_DIR}/${target}.m68k)
    set(objects)
    foreach(source ${A_SOURCES})
        get_filename_component(path ${source} ABSOLUTE)
        get_filename_component(name ${source} NAME)
        set(object ${objdir}/${name}.o)
        add_custom_command(OUTPUT ${object}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${objdir}
            COMMAND m68k-linux-gnu-gcc ${VANTOR_68K_CFLAGS} -c ${path} -o ${object}
            DEPENDS ${path} ${VANTOR_68K_SDK}/VantorApp.h ${A_DEPENDS}
            COMMENT "Compiling the 68K ${name}")
        list(APPEND objects ${object})
    endforeach()
    set(resources)
    set(resource_args)
    list(LENGTH A_RESOURCES count)
    math(EXPR rest "${count} % 3")
    if(NOT rest EQUAL 0)
        message(FATAL_ERROR "vantor_68k_app(${target}): RESOURCES takes TYPE ID file triples")
    endif()
    while(A_RESOURCES)
        list(POP_FRONT A_RESOURCES type id source)
        get_filename_component(path ${source} ABSOLUTE)
        get_filename_component(name ${source} NAME)
        get_filename_component(sourcedir ${path} DIRECTORY)
        if(name MATCHES "\\.S$")
            set(binary ${objdir}/${name}.bin)
            add_custom_command(OUTPUT ${binary}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${objdir}
                COMMAND m68k-linux-gnu-gcc -c -x assembler-with-cpp -I${sourcedir} -I${CMAKE_CURRENT_SOURCE_DIR}
                        ${path} -o ${objdir}/${name}.o
                COMMAND m68k-linux-gnu-objcopy -O binary -j .text ${objdir}/${name}.o ${binary}
                DEPENDS ${path} ${A_DEPENDS}
                COMMENT "Assembling the 68K resource ${type} ${id} from ${name}")
        else()
            set(binary ${path})
        endif()
        list(APPEND resources ${binary})
        list(APPEND resource_args --resource ${type} ${id} ${binary})
    endwhile()
    add_custom_command(OUTPUT ${A_OUTPUT}.elf ${A_OUTPUT}.vrx
        COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
        COMMAND m68k-linux-gnu-ld --no-warn-rwx-segments --no-warn-execstack --emit-relocs --gc-sections
                -T ${VANTOR_68K_SDK}/App.ld ${sdk} ${objects} -o ${A_OUTPUT}.elf
        COMMAND $<TARGET_FILE:morvel-pack> --name ${A_DBNAME} --type appl --creator ${A_CREATOR} --stack ${A_STACK}
                ${A_PACK_ARGS} ${resource_args} ${A_OUTPUT}.elf ${A_OUTPUT}.vrx
        DEPENDS ${objects} ${sdk} ${VANTOR_68K_SDK}/App.ld morvel-pack ${resources} ${A_DEPENDS}
        COMMENT "Linking and packing the 68K application ${target}")
    add_custom_target(${target} ALL DEPENDS ${A_OUTPUT}.vrx)
endfunction()
