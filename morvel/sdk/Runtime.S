| The arithmetic the 68000 has no instruction for, called by compiled C: 32-bit multiply, divide
| and remainder, signed and unsigned (arguments on the stack, result in D0).

        .text
        .globl  __mulsi3, __udivsi3, __umodsi3, __divsi3, __modsi3

__mulsi3:                               | the low 32 bits of a * b
        move.w  4(%sp),%d0              | high a
        mulu.w  10(%sp),%d0             | * low b
        move.w  8(%sp),%d1              | high b
        mulu.w  6(%sp),%d1              | * low a
        add.w   %d1,%d0
        swap    %d0
        clr.w   %d0
        move.w  6(%sp),%d1
        mulu.w  10(%sp),%d1             | low a * low b
        add.l   %d1,%d0
        rts

| D0 / D1: quotient in D0, remainder in D1 (D2 and D3 used). Division by zero gives all ones.
udivmod:
        moveq   #0,%d2
        moveq   #31,%d3
1:      add.l   %d0,%d0                 | the next bit of the dividend into X
        addx.l  %d2,%d2
        bcs.s   2f                      | the remainder overflowed: it is above the divisor
        cmp.l   %d1,%d2
        bcs.s   3f
2:      sub.l   %d1,%d2
        addq.l  #1,%d0
3:      dbra    %d3,1b
        move.l  %d2,%d1
        rts

__udivsi3:
        movem.l %d2-%d3,-(%sp)
        move.l  12(%sp),%d0
        move.l  16(%sp),%d1
        bsr.s   udivmod
        movem.l (%sp)+,%d2-%d3
        rts

__umodsi3:
        movem.l %d2-%d3,-(%sp)
        move.l  12(%sp),%d0
        move.l  16(%sp),%d1
        bsr.s   udivmod
        move.l  %d1,%d0
        movem.l (%sp)+,%d2-%d3
        rts

| Signed: divide the magnitudes; the quotient is negative when the signs differ, the remainder
| takes the sign of the dividend.
sdivmod:
        movem.l %d2-%d4,-(%sp)
        move.l  16(%sp),%d0
        move.l  20(%sp),%d1
        moveq   #0,%d4
        tst.l   %d0
        bpl.s   1f
        neg.l   %d0
        moveq   #3,%d4                  | bit 0: negate the quotient, bit 1: negate the remainder
1:      tst.l   %d1
        bpl.s   2f
        neg.l   %d1
        eori.w  #1,%d4
2:      bsr.s   udivmod
        btst    #0,%d4
        beq.s   3f
        neg.l   %d0
3:      btst    #1,%d4
        beq.s   4f
        neg.l   %d1
4:      movem.l (%sp)+,%d2-%d4
        rts

__divsi3:
        move.l  8(%sp),-(%sp)
        move.l  8(%sp),-(%sp)
        bsr.s   sdivmod
        addq.l  #8,%sp
        rts

__modsi3:
        move.l  8(%sp),-(%sp)
        move.l  8(%sp),-(%sp)
        bsr.s   sdivmod
        addq.l  #8,%sp
        move.l  %d1,%d0
        rts
