# Speed of the emulated processor against qemu-arm and qemu-arm -singlestep on the same program.
vantor_add_bench(tamsk_core_bench ARCH host SOURCES tamsk/CoreBench.cpp LIBS tamsk_cpu_testbench)
if(TARGET tamsk_core_bench)
    set(work ${CMAKE_CURRENT_SOURCE_DIR}/tamsk/work.c)
    set(start ${CMAKE_CURRENT_SOURCE_DIR}/tamsk/start.S)
    # The whole program (bench-STATE.elf) and each kernel alone, four times over (bench-STATE-KERNEL.elf).
    set(elves)
    foreach(state arm thumb)
        foreach(kernel all:15 crc:1 sieve:2 sort:4 copy:8)
            string(REPLACE ":" ";" kernel ${kernel})
            list(GET kernel 0 name)
            list(GET kernel 1 mask)
            if(name STREQUAL "all")
                set(elf ${CMAKE_BINARY_DIR}/bench/bench-${state}.elf)
                set(repeat 1)
            else()
                set(elf ${CMAKE_BINARY_DIR}/bench/bench-${state}-${name}.elf)
                set(repeat 4)
            endif()
            add_custom_command(OUTPUT ${elf}
                COMMAND arm-none-eabi-gcc -march=armv5te -m${state} -mthumb-interwork -O2 -nostdlib
                        -ffreestanding -DKERNELS=${mask} -DREPEAT=${repeat} -Wl,-Ttext=0x8000 -o ${elf} ${start} ${work}
                DEPENDS ${work} ${start} ${CMAKE_CURRENT_SOURCE_DIR}/tamsk/kernels.h VERBATIM)
            list(APPEND elves ${elf})
        endforeach()
    endforeach()
    set(empty ${CMAKE_BINARY_DIR}/bench/bench-empty.elf)
    add_custom_command(OUTPUT ${empty}
        COMMAND arm-none-eabi-gcc -march=armv5te -marm -DBENCH_EMPTY -O2 -nostdlib -ffreestanding
                -Wl,-Ttext=0x8000 -o ${empty} ${start}
        DEPENDS ${start} VERBATIM)
    add_custom_target(tamsk_bench_programs DEPENDS ${elves} ${empty})
    add_dependencies(tamsk_core_bench tamsk_bench_programs)
    target_compile_definitions(tamsk_core_bench PRIVATE TAMSK_BENCH_DIR="${CMAKE_BINARY_DIR}/bench")
endif()

# The whole board against qemu-system-arm -M mainstone with a fixed instruction count: a CPU-bound
# program (board.c) and one that ends at once (start-up), each as an ELF file for qemu and as the
# NOR vectors, SRAM code and ROM list for the board. Linked with the test ROMs' layout (rom.ld).
vantor_add_bench(tamsk_board_bench ARCH host SOURCES tamsk/BoardBench.cpp LIBS tamsk_cpu)
if(TARGET tamsk_board_bench)
    set(dir ${CMAKE_BINARY_DIR}/bench)
    set(start ${CMAKE_CURRENT_SOURCE_DIR}/tamsk/board-start.S)
    set(work ${CMAKE_CURRENT_SOURCE_DIR}/tamsk/board.c)
    set(layout ${CMAKE_SOURCE_DIR}/tamsk/roms/rom.ld)
    set(outputs)
    foreach(program work quick)
        set(out ${dir}/board-${program})
        if(program STREQUAL "work")
            set(sources -DROUNDS=120 ${start} ${work})
        else()
            set(sources -DBOARD_QUICK ${start})
        endif()
        add_custom_command(OUTPUT ${out}.elf ${out}.aei
            COMMAND arm-none-eabi-gcc -march=armv5te -marm -O2 -ffreestanding -nostdlib -T ${layout}
                    -o ${out}.elf ${sources}
            COMMAND arm-none-eabi-objcopy -O binary -j .vectors ${out}.elf ${out}-vectors.bin
            COMMAND arm-none-eabi-objcopy -O binary -j .text -j .data ${out}.elf ${out}-code.bin
            COMMAND ${CMAKE_COMMAND} -E echo "NOR:0:board-${program}-vectors.bin" > ${out}.aei
            COMMAND ${CMAKE_COMMAND} -E echo "SRAM:5C020000:board-${program}-code.bin" >> ${out}.aei
            DEPENDS ${start} ${work} ${CMAKE_CURRENT_SOURCE_DIR}/tamsk/kernels.h ${layout} VERBATIM)
        list(APPEND outputs ${out}.elf ${out}.aei)
    endforeach()
    add_custom_target(tamsk_board_bench_programs DEPENDS ${outputs})
    add_dependencies(tamsk_board_bench tamsk_board_bench_programs tamsk)
    target_compile_definitions(tamsk_board_bench PRIVATE TAMSK_BOARD_BENCH_DIR="${dir}")
endif()
