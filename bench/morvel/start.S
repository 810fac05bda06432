| Entry of the benchmark kernels. The image starts with a jump to RunKernel (the interpreter calls
| 0x10000000 with the kernel number and count on the stack); under qemu-m68k, _start reads the two
| big-endian words from standard input, runs RunKernel and writes its result to standard output.
        .section .text.entry,"ax"
        .globl  entry
entry:  jmp     RunKernel

        .text
        .globl  _start
_start:
        moveq   #3,%d0                  | read(0, args, 8)
        moveq   #0,%d1
        move.l  #args,%d2
        moveq   #8,%d3
        trap    #0
        move.l  args+4,-(%sp)
        move.l  args,-(%sp)
        jsr     RunKernel
        addq.l  #8,%sp
        move.l  %d0,args
        moveq   #4,%d0                  | write(1, args, 4)
        moveq   #1,%d1
        move.l  #args,%d2
        moveq   #4,%d3
        trap    #0
        moveq   #1,%d0                  | exit(0)
        moveq   #0,%d1
        trap    #0

| MovemCopy(src, dst, blocks): copies 32-byte blocks with MOVEM; returns the last long copied.
        .globl  MovemCopy
MovemCopy:
        movem.l %d2-%d7/%a2,-(%sp)
        move.l  32(%sp),%a0
        move.l  36(%sp),%a1
        move.l  40(%sp),%d1
        subq.l  #1,%d1
1:      movem.l (%a0)+,%d0/%d2-%d7/%a2
        movem.l %d0/%d2-%d7/%a2,(%a1)
        lea     32(%a1),%a1
        dbra    %d1,1b
        move.l  %a2,%d0
        movem.l (%sp)+,%d2-%d7/%a2
        rts

        .bss
args:   .space  8
