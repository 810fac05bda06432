@ The register-level part of native direct calls (ARM state, soft-float EABI). R9 points to the
@ last word of the open runtime record; the fields used here lie at these offsets from R9:
@   -56 savedReturn  -52 hostRegs (r4-r8, r10, r11)  -24 nativeSP  -20 hostSP
@ A filled table entry enters a shim with ip = its EntryTarget (target word, stack-word count).

    .syntax unified
    .arm
    .text

@ Plain shim: the OS call runs on the host stack with r0-r3 as the native caller passed them.
    .global LumetPlainShim
    .type LumetPlainShim, %function
LumetPlainShim:
    push    {lr}                    @ the return address, on the native stack
    str     sp, [r9, #-24]          @ nativeSP
    ldr     lr, [r9, #-20]          @ hostSP, 8-byte aligned
    bic     lr, lr, #7
    mov     sp, lr
    ldr     ip, [ip]                @ the target
    blx     ip
    ldr     sp, [r9, #-24]          @ r9 is callee-saved in the host code
    pop     {pc}                    @ r0 and r1 as the target left them
    .size LumetPlainShim, . - LumetPlainShim

@ Stack-argument shim: the host routine LumetStackArgsCall copies the listed number of words from
@ the native caller's stack and calls the target with them.
    .global LumetStackShim
    .type LumetStackShim, %function
LumetStackShim:
    str     lr, [r9, #-56]          @ savedReturn
    str     sp, [r9, #-24]          @ nativeSP
    mov     lr, sp                  @ the native caller's stack arguments
    ldr     sp, [r9, #-20]
    bic     sp, sp, #7
    push    {ip, lr}                @ fifth and sixth arguments: the target record, the words
    bl      LumetStackArgsCall
    ldr     sp, [r9, #-24]
    ldr     pc, [r9, #-56]
    .size LumetStackShim, . - LumetStackShim

@ Default shim: reports the call with its own return address and answers 0xFFFFFFFF.
    .global LumetDefaultShim
    .type LumetDefaultShim, %function
LumetDefaultShim:
    str     sp, [r9, #-24]
    ldr     ip, [r9, #-20]
    bic     ip, ip, #7
    mov     sp, ip
    push    {r4, lr}
    mov     r0, lr
    bl      PrvLumetUnimplementedSysCall
    bl      LumetCurrentR9
    mov     r9, r0
    pop     {r4, lr}
    ldr     sp, [r9, #-24]
    mvn     r0, #0
    bx      lr
    .size LumetDefaultShim, . - LumetDefaultShim

@ The call-back into 68K code handed to native code: a plain shim whose target is LumetCall68KHost.
    .global LumetCall68KShim
    .type LumetCall68KShim, %function
LumetCall68KShim:
    adr     ip, call68KTarget
    b       LumetPlainShim
    .size LumetCall68KShim, . - LumetCall68KShim
    .align 2
call68KTarget:
    .word   LumetCall68KHost
    .word   0

@ LumetCallNative3(a0, a1, a2, entry, r9) and LumetCallNative1(a0, entry, r9): enter native code on
@ the record's stack, keeping the host's r4-r8, r10, r11 in the record and r9 on the host stack.
    .global LumetCallNative3
    .type LumetCallNative3, %function
LumetCallNative3:
    ldr     ip, [sp]                @ the fifth argument: r9
    push    {r9, lr}
    mov     r9, ip
    str     sp, [r9, #-20]          @ hostSP
    ldr     sp, [r9, #-24]          @ nativeSP
    sub     ip, r9, #52             @ hostRegs
    push    {r9, ip}
    stmia   ip, {r4-r8, r10, r11}
    blx     r3
    pop     {r9, ip}
    ldmia   ip, {r4-r8, r10, r11}
    ldr     sp, [r9, #-20]
    pop     {r9, pc}
    .size LumetCallNative3, . - LumetCallNative3

    .global LumetCallNative1
    .type LumetCallNative1, %function
LumetCallNative1:
    push    {r9, lr}
    mov     r9, r2
    str     sp, [r9, #-20]
    ldr     sp, [r9, #-24]
    sub     ip, r9, #52
    push    {r9, ip}
    stmia   ip, {r4-r8, r10, r11}
    blx     r1
    pop     {r9, ip}
    ldmia   ip, {r4-r8, r10, r11}
    ldr     sp, [r9, #-20]
    pop     {r9, pc}
    .size LumetCallNative1, . - LumetCallNative1

    .section .note.GNU-stack, "", %progbits
