@ Exception vectors in NOR for the test ROMs: every exception returns at once (the semihosting
@ call enters the SWI vector after it is served).
        .syntax unified
        .arm
        .text
        .global _start
_start:
        b .                     @ reset (the board starts in SRAM)
        movs pc, lr             @ undefined instruction
        movs pc, lr             @ software interrupt
        subs pc, lr, #4         @ prefetch abort
        subs pc, lr, #8         @ data abort
        nop
        subs pc, lr, #4         @ IRQ
        subs pc, lr, #4         @ FIQ
