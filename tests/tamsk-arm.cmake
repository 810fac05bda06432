# Differential tests of the processor against qemu-arm (ARM926, ARMv5TE): generated programs in ARM
# and Thumb state, built with arm-none-eabi-gcc, run under qemu and under the core, registers, flags
# and memory compared. TAMSK_DIFF_CASES asks for more cases, TAMSK_DIFF_SEED for another seed.
vantor_add_test(tamsk_arm_diff ARCH host LABEL tamsk.arm
    SOURCES tamsk-arm/DiffTest.cpp tamsk-arm/ProgramGen.cpp
    LIBS tamsk_cpu_testbench
    TIMEOUT 600)

# The test ROM on the emulated board and on qemu-system-arm -M mainstone.
vantor_add_test(tamsk_rom_tests ARCH host LABEL tamsk.arm SOURCES tamsk-arm/RomTest.cpp)
add_dependencies(tamsk_rom_tests tamsk tamsk_roms)
