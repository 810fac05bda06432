# Guest code, translation tables and the core's session chunk run through the processor.
vantor_add_fuzz(tamsk_cpu ARCH host SOURCES tamsk-cpu/CpuFuzz.cpp LIBS tamsk_cpu_testbench)
