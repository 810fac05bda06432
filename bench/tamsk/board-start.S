@ Entry of the board benchmark's program, for the Tamsk board and for qemu's mainstone machine alike:
@ both start it at 0x5C020000 in the processor's internal SRAM, which both have (256 KB at 0x5C000000),
@ and it touches nothing else. A stack at the top of those 256 KB, the work, then the semihosting
@ extended exit with the result's low byte as exit code (qemu ends there; the board enters its SWI
@ vector, which returns at once), and an idle loop for a machine that does not end.
@ Built with BOARD_QUICK it exits at once: the start-up measure.
        .syntax unified
        .arm

        .section .vectors, "ax"
        b .                             @ reset (the board starts in SRAM)
        b .                             @ undefined instruction
        movs pc, lr                     @ SWI: back after the call
        b .                             @ prefetch abort
        b .                             @ data abort
        nop
        b .                             @ IRQ (never enabled)
        b .                             @ FIQ (never enabled)

        .section .text.start, "ax"
        .global _reset
_reset:
        ldr sp, =0x5C040000
#ifndef BOARD_QUICK
        bl board_main
#else
        mov r0, #0
#endif
        and r0, r0, #0xFF
        ldr r1, =exit_block
        str r0, [r1, #4]
        mov r0, #0x20                   @ extended exit: r1 points at {reason, code}
        svc 0x123456
1:      mov r0, #1
        mcr p14, 0, r0, c7, c0, 0       @ idle
        b 1b

        .data
        .balign 4
exit_block:
        .word 0x20026, 0                @ application exit
