@ Entry of the benchmark program: a stack, the work, then exit(result & 0xFF). Built with
@ BENCH_EMPTY it exits at once: its run time under qemu is qemu's start-up, taken off the others.
        .syntax unified
        .arm
        .global _start
_start:
        ldr sp, =stack_top
#ifndef BENCH_EMPTY
        ldr r0, =bench_main
        blx r0
#else
        mov r0, #0
#endif
        and r0, r0, #0xFF
        mov r7, #1
        svc #0
        .bss
        .balign 8
        .space 65536
stack_top:
