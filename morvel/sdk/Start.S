| The start of every 68K application in C: sets up the globals, calls
| VantorMain(launch code, parameter block, launch flags) and tears the globals down again.
| D0 of VantorMain is the application's result.

        .section .text.start,"ax"
        .globl  start
start:
        link.w  %a6,#-12
        pea     -4(%a6)                 | out: the globals chunk
        pea     -8(%a6)                 | out: the previous globals
        pea     -12(%a6)                | out: the application information block
        trap    #15
        .short  0xA08F                  | SysAppStartup
        lea     12(%sp),%sp
        tst.w   %d0
        bne.s   2f
        move.l  -12(%a6),%a0
        move.w  6(%a0),-(%sp)           | launch flags
        move.l  2(%a0),-(%sp)           | parameter block
        move.w  (%a0),-(%sp)            | launch code
        bsr.w   VantorMain
        addq.l  #8,%sp
        move.l  %d0,-(%sp)
        move.l  -4(%a6),-(%sp)
        move.l  -8(%a6),-(%sp)
        move.l  -12(%a6),-(%sp)
        trap    #15
        .short  0xA090                  | SysAppExit
        lea     12(%sp),%sp
        move.l  (%sp)+,%d0
1:      unlk    %a6
        rts
2:      moveq   #0,%d0
        bra.s   1b
