| A 68K application for the debugger tests, without globals. It stops at its TRAP #0; the
| debugger writes `value`, and the application answers that value plus one.
        .text
        .globl start
start:  lea     value(%pc),%a0
        moveq   #0,%d1
        trap    #0                      | the first stop
        move.l  (%a0),%d1
        addq.l  #1,%d1
        nop
        .globl target
target: move.l  %d1,%d0                 | a breakpoint goes here
        moveq   #2,%d2
        moveq   #3,%d3
        rts
        .globl value
value:  .long   0x11111111
