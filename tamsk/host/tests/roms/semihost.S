@ Prints "tick N\n" (N in hexadecimal) through the semihosting console every quarter of an
@ emulated second, timed by the OS timer counter. Loaded in SRAM at 0x5C020000.
        .syntax unified
        .arm
        .text
        .global _start
_start:
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
        mov r0, #4
        svc 0x123456
        add r6, r6, #1
        b wait
        .ltorg
line:   .ascii "tick 00000000\n\0"
