@ Prints "tick N\n" (N in hexadecimal) through the second UART every quarter of an emulated
@ second, timed by the OS timer counter. Needs no exception vectors, so that a session restored
@ without the ROM in NOR goes on running it. Loaded in SRAM at 0x5C020000.
        .syntax unified
        .arm
        .text
        .global _start
_start:
        ldr r9, =0x40200000     @ BTUART
        mov r0, #0x07
        str r0, [r9, #0x08]     @ FIFOs on, both emptied
        mov r0, #0x40
        str r0, [r9, #0x04]     @ unit enable
        ldr r4, =0x40A00010     @ OS timer counter
        mov r6, #0              @ ticks printed
        ldr r7, =812500         @ a quarter of 3,250,000 ticks
        ldr r8, [r4]
        add r8, r8, r7
wait:   ldr r0, [r4]
        subs r0, r0, r8
        bmi wait
        add r8, r8, r7
        adr r1, line
        add r2, r1, #13         @ just past the last digit
        add r5, r1, #5          @ the first digit
        mov r3, r6
digit:  and r0, r3, #15
        cmp r0, #10
        addlo r0, r0, #'0'
        addhs r0, r0, #('a' - 10)
        strb r0, [r2, #-1]!
        lsr r3, r3, #4
        cmp r2, r5
        bne digit
send:   ldrb r0, [r1], #1
        cmp r0, #0
        beq sent
full:   ldr r2, [r9, #0x14]
        tst r2, #0x20           @ transmit holding register empty
        beq full
        str r0, [r9]
        b send
sent:   add r6, r6, #1
        b wait
        .ltorg
line:   .ascii "tick 00000000\n\0"
