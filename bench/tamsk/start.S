@ Entry of the benchmark program: a stack, the work, then exit(result & 0xFF).
        .syntax unified
        .arm
        .global _start
_start:
        ldr sp, =stack_top
        ldr r0, =bench_main
        blx r0
        and r0, r0, #0xFF
        mov r7, #1
        svc #0
        .bss
        .balign 8
        .space 65536
stack_top:
