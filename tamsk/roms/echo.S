@ Prints a banner through the first UART, then sends back every byte it receives. Polls the line
@ status register; loaded in SRAM at 0x5C020000.
        .syntax unified
        .arm
        .text
        .global _start
_start:
        ldr r4, =0x40100000     @ FFUART
        mov r0, #0x07
        str r0, [r4, #0x08]     @ FIFOs on, both emptied
        mov r0, #0x40
        str r0, [r4, #0x04]     @ unit enable, no interrupts
        adr r5, banner
say:    ldrb r0, [r5], #1
        cmp r0, #0
        beq echo
        bl putc
        b say
echo:   ldr r0, [r4, #0x14]
        tst r0, #1              @ data ready
        beq echo
        ldr r0, [r4]
        bl putc
        b echo
putc:   ldr r1, [r4, #0x14]
        tst r1, #0x20           @ transmit holding register empty
        beq putc
        str r0, [r4]
        bx lr
banner: .asciz "UART ready\n"
