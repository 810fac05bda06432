@ Vectors, start-up and exception handlers shared by the test and demo ROMs. Each handler records
@ what it saw in `exc_record` (kind, return address, SPSR, fault status and address, SWI comment)
@ for the C code to check, and returns where the test asked.
        .syntax unified
        .arm

        .section .vectors, "ax"
        .global _vectors
_vectors:
        ldr pc, v_reset
        ldr pc, v_undef
        ldr pc, v_swi
        ldr pc, v_pabt
        ldr pc, v_dabt
        nop
        ldr pc, v_irq
        ldr pc, v_fiq
v_reset: .word _reset
v_undef: .word undef_handler
v_swi:   .word swi_handler
v_pabt:  .word pabt_handler
v_dabt:  .word dabt_handler
v_irq:   .word irq_handler
v_fiq:   .word fiq_handler

        .section .text.start, "ax"
        .global _reset
_reset:
        @ One stack per mode, from the top of the first 256 KB of SRAM down.
        msr cpsr_c, #0xD2               @ IRQ
        ldr sp, =0x5C03E000
        msr cpsr_c, #0xD7               @ Abort
        ldr sp, =0x5C03D000
        msr cpsr_c, #0xDB               @ Undefined
        ldr sp, =0x5C03C000
        msr cpsr_c, #0xD1               @ FIQ
        ldr sp, =0x5C03B000
        msr cpsr_c, #0xD3               @ Supervisor, interrupts off
        ldr sp, =0x5C03F000
        ldr r0, =__bss_start
        ldr r1, =__bss_end
        mov r2, #0
1:      cmp r0, r1
        strlo r2, [r0], #4
        blo 1b
        bl main
        @ Semihosting exit; where that only prints nothing, idle until the time limit.
        mov r0, #0x18
        ldr r1, =0x20026
        svc 0x123456
2:      mov r0, #1
        mcr p14, 0, r0, c7, c0, 0
        b 2b

@ Records kind (r0), return address (r1) and SPSR; r2-r3 free.
record:
        ldr r3, =exc_record
        str r0, [r3, #0]
        str r1, [r3, #4]
        mrs r2, spsr
        str r2, [r3, #8]
        mrc p15, 0, r2, c5, c0, 0
        str r2, [r3, #12]
        mrc p15, 0, r2, c6, c0, 0
        str r2, [r3, #16]
        ldr r2, [r3, #24]
        add r2, r2, #1
        str r2, [r3, #24]
        bx lr

undef_handler:
        stmfd sp!, {r0-r3, r12, lr}
        mov r0, #1
        mov r1, lr
        bl record
        ldmfd sp!, {r0-r3, r12, lr}
        movs pc, lr

swi_handler:
        stmfd sp!, {r0-r3, r12, lr}
        ldr r0, [lr, #-4]
        bic r0, r0, #0xFF000000
        ldr r1, =0x123456
        cmp r0, r1                      @ the semihosting call, already served: just return
        beq 1f
        ldr r3, =exc_record
        str r0, [r3, #20]
        mov r0, #2
        ldr r1, [sp, #20]
        bl record
1:      ldmfd sp!, {r0-r3, r12, lr}
        movs pc, lr

@ Aborts resume at `abort_resume` when it is set, else after the faulting instruction.
pabt_handler:
        stmfd sp!, {r0-r3, r12, lr}
        mov r0, #3
        mov r1, lr
        bl record
        b abort_return
dabt_handler:
        stmfd sp!, {r0-r3, r12, lr}
        mov r0, #4
        mov r1, lr
        bl record
        ldr lr, [sp, #20]
        sub lr, lr, #4
        str lr, [sp, #20]
abort_return:
        ldr r3, =abort_resume
        ldr r0, [r3]
        cmp r0, #0
        strne r0, [sp, #20]
        mov r0, #0
        str r0, [r3]
        ldmfd sp!, {r0-r3, r12, lr}
        movs pc, lr

irq_handler:
        sub lr, lr, #4
        stmfd sp!, {r0-r3, r12, lr}
        bl irq_service
        ldmfd sp!, {r0-r3, r12, pc}^

@ Counts its entries, serves OS timer match 0 at its source (status cleared, interrupt enable
@ off) and returns: one match makes exactly one entry.
fiq_handler:
        ldr r8, =fiq_entries
        ldr r9, [r8]
        add r9, r9, #1
        str r9, [r8]
        ldr r8, =0x40A00000
        mov r9, #1
        str r9, [r8, #0x14]             @ OSSR: match 0 served
        mov r9, #0
        str r9, [r8, #0x1C]             @ OIER: no more timer interrupts
        subs pc, lr, #4

        .bss
        .global exc_record, abort_resume, fiq_entries
exc_record:   .space 28
fiq_entries:  .space 4
abort_resume: .space 4
