# Morvel: the interpreter against qemu-m68k on the same 68000 kernels (bench/morvel/).
if(VANTOR_BENCH)
    set(morvel_bench_src ${CMAKE_SOURCE_DIR}/bench/morvel)
    set(morvel_bench_out ${CMAKE_BINARY_DIR}/bench-data/morvel)
    add_custom_command(
        OUTPUT ${morvel_bench_out}/kernels.elf ${morvel_bench_out}/kernels.bin
        COMMAND ${CMAKE_COMMAND} -E make_directory ${morvel_bench_out}
        COMMAND m68k-linux-gnu-gcc -m68000 -O2 -ffreestanding -nostdlib -fno-builtin -c
                ${morvel_bench_src}/kernels.c -o ${morvel_bench_out}/kernels.o
        COMMAND m68k-linux-gnu-as -m68000 ${morvel_bench_src}/start.S -o ${morvel_bench_out}/start.o
        COMMAND m68k-linux-gnu-ld -T ${morvel_bench_src}/kernels.ld --no-warn-rwx-segments --no-warn-execstack
                ${morvel_bench_out}/start.o ${morvel_bench_out}/kernels.o -o ${morvel_bench_out}/kernels.elf
        COMMAND m68k-linux-gnu-objcopy -O binary ${morvel_bench_out}/kernels.elf ${morvel_bench_out}/kernels.bin
        DEPENDS ${morvel_bench_src}/kernels.c ${morvel_bench_src}/start.S ${morvel_bench_src}/kernels.ld)
    add_custom_target(morvel_bench_kernels DEPENDS ${morvel_bench_out}/kernels.elf)
    vantor_add_bench(morvel_bench ARCH os32 SOURCES ${morvel_bench_src}/MorvelBench.cpp
                     $<TARGET_OBJECTS:module_glue_noentry_os32> LIBS morvel_core)
    target_compile_definitions(morvel_bench PRIVATE MORVEL_KERNELS_DIR="${morvel_bench_out}")
    add_dependencies(morvel_bench morvel_bench_kernels)
    # The same core for x86-64, measured natively where i386 programs run only emulated.
    vantor_add_bench(morvel_x64_bench ARCH host SOURCES ${morvel_bench_src}/MorvelBench.cpp
                     ${morvel_bench_src}/CpuOnly.cpp ${CMAKE_SOURCE_DIR}/morvel/cpu/MorvelCpu.cpp
                     ${CMAKE_SOURCE_DIR}/morvel/cpu/MorvelJit.cpp
                     INCLUDES ${CMAKE_SOURCE_DIR})
    target_compile_definitions(morvel_x64_bench PRIVATE MORVEL_CPU_ONLY MORVEL_KERNELS_DIR="${morvel_bench_out}")
    add_dependencies(morvel_x64_bench morvel_bench_kernels)
endif()
