| A 68K application for the launch tests. It sets up its globals (SysAppStartup), checks the
| pointers that the launch relocated, counts the key events and keeps the pen position of the
| events it gets, and quits on the application-stop event (or after three nil events). It
| answers the sum of the characters of the keys it got.
| The globals lie around a5base: some below A5, some above; the patterns below exercise every
| code of the compressed blocks, and the pointers every kind of relocation entry.

        .macro  SYSTRAP word            | TRAP #15 and the trap word
        trap    #15
        .short  \word
        .endm

        .text
        .globl start
start:
        link.w  %a6,#-12
        pea     -4(%a6)                 | out: the globals chunk
        pea     -8(%a6)                 | out: the previous globals
        pea     -12(%a6)                | out: the application information block
        SYSTRAP 0xA08F                    | SysAppStartup
        lea     12(%sp),%sp
        tst.w   %d0
        bne     fail

        move.l  (msgptr-a5base)(%a5),%a0           | a pointer into the code
        cmp.b   #0x4D,(%a0)
        bne.s   1f
        ori.l   #1,(checks-a5base)(%a5)
1:      move.l  (bptr-a5base)(%a5),%a0             | a pointer to a global above A5, kept below A5
        lea     (counter-a5base)(%a5),%a1
        cmpa.l  %a0,%a1
        bne.s   2f
        ori.l   #2,(checks-a5base)(%a5)
2:      move.l  (farptr-a5base)(%a5),%a0
        cmp.b   #0x4D,(%a0)
        bne.s   loop
        ori.l   #4,(checks-a5base)(%a5)

loop:   move.l  #100,-(%sp)             | time-out: one second in 68K ticks
        pea     (event-a5base)(%a5)
        SYSTRAP 0xA11D                    | EvtGetEvent
        addq.l  #8,%sp
        move.w  (event-a5base)(%a5),%d0
        cmp.w   #22,%d0                 | application stop
        beq.s   done
        cmp.w   #4,%d0                  | key down: the character at 8
        bne.s   3f
        addq.l  #1,(counter-a5base)(%a5)
        moveq   #0,%d1
        move.w  (event+8-a5base)(%a5),%d1
        add.l   %d1,(keysum-a5base)(%a5)
        bra.s   loop
3:      cmp.w   #1,%d0                  | pen down: x and y
        bne.s   4f
        move.l  (event+4-a5base)(%a5),(penxy-a5base)(%a5)
        bra.s   loop
4:      tst.w   %d0
        bne.s   loop
        addq.w  #1,(nils-a5base)(%a5)
        cmp.w   #3,(nils-a5base)(%a5)
        blt.s   loop

done:   move.l  (keysum-a5base)(%a5),%d7
        move.l  -4(%a6),-(%sp)
        move.l  -8(%a6),-(%sp)
        move.l  -12(%a6),-(%sp)
        SYSTRAP 0xA090                    | SysAppExit
        lea     12(%sp),%sp
        move.l  %d7,%d0
        unlk    %a6
        rts
fail:   moveq   #-1,%d0
        unlk    %a6
        rts
message:
        .asciz  "Morvel"
        .even

        .data
| Below A5.
bvalue: .long   0x11223344
bptr:   .long   counter
        .long   0, 0xFFFF1234           | skip 4, FF FF b1 b2
        .long   0, 0xFF123456           | skip 4, FF b1 b2 b3
        .short  0xA9F0, 0, 0x5566, 0x0077       | A9 F0, skip 2, b1 b2, skip 1, b3
        .short  0xA9F0, 0x0011, 0x2233, 0x0044  | A9 F0, skip 1, b1 b2 b3, skip 1, b4
        .fill   40,1,0x5A
        .fill   20,1,0xFF
        .fill   300,1,0x00
        .ascii  "literal bytes of some length"
        .even
a5base:
| Above A5.
counter:
        .long   0
keysum: .long   0
penxy:  .long   0
checks: .long   0
nils:   .short  0
msgptr: .long   message
selfptr:
        .long   a5base
event:  .space  24
        .fill   400,1,0
farptr: .long   message                 | two-byte relocation entries reach it
        .fill   17000,1,0
last:   .long   bvalue                  | only a four-byte entry reaches this far
