| A 68K application with the standard event loop: each event goes to the system, then the menu
| bar, then the form, until the application-stop event. It answers the number of events that
| none of the three took, plus 1000 times the number of key events. Three nil events in a row
| (three seconds without an event) end it too.
        .macro  SYSTRAP word            | TRAP #15 and the trap word
        trap    #15
        .short  \word
        .endm

        .text
        .globl start
start:
        link.w  %a6,#-12
        pea     -4(%a6)
        pea     -8(%a6)
        pea     -12(%a6)
        SYSTRAP 0xA08F                  | SysAppStartup
        lea     12(%sp),%sp
        tst.w   %d0
        bne     fail
        SYSTRAP 0xA2E9                  | SysTicksPerSecond: the time-out below is one second
        move.w  %d0,(ticks-a5base)(%a5)

loop:   moveq   #0,%d0
        move.w  (ticks-a5base)(%a5),%d0
        move.l  %d0,-(%sp)
        pea     (event-a5base)(%a5)
        SYSTRAP 0xA11D                  | EvtGetEvent
        addq.l  #8,%sp
        cmp.w   #22,(event-a5base)(%a5) | application stop
        beq.s   done
        tst.w   (event-a5base)(%a5)     | nil event
        bne.s   0f
        addq.w  #1,(nils-a5base)(%a5)
        cmp.w   #3,(nils-a5base)(%a5)
        beq.s   done
        bra.s   1f
0:      clr.w   (nils-a5base)(%a5)
        cmp.w   #4,(event-a5base)(%a5)  | key down
        bne.s   1f
        addq.l  #1,(keys-a5base)(%a5)
1:      pea     (event-a5base)(%a5)
        SYSTRAP 0xA0A9                  | SysHandleEvent
        addq.l  #4,%sp
        tst.b   %d0
        bne.s   loop
        pea     (error-a5base)(%a5)
        pea     (event-a5base)(%a5)
        clr.l   -(%sp)                  | the current menu bar
        SYSTRAP 0xA1BF                  | MenuHandleEvent
        lea     12(%sp),%sp
        tst.b   %d0
        bne.s   loop
        pea     (event-a5base)(%a5)
        SYSTRAP 0xA1A0                  | FrmDispatchEvent
        addq.l  #4,%sp
        tst.b   %d0
        bne.s   loop
        addq.l  #1,(unhandled-a5base)(%a5)
        bra.s   loop

done:   move.l  (keys-a5base)(%a5),%d7
        mulu.w  #1000,%d7
        add.l   (unhandled-a5base)(%a5),%d7
        move.l  -4(%a6),-(%sp)
        move.l  -8(%a6),-(%sp)
        move.l  -12(%a6),-(%sp)
        SYSTRAP 0xA090                  | SysAppExit
        lea     12(%sp),%sp
        move.l  %d7,%d0
        unlk    %a6
        rts
fail:   moveq   #-1,%d0
        unlk    %a6
        rts

        .data
        .long   0
a5base:
keys:   .long   0
unhandled:
        .long   0
error:  .short  0
ticks:  .short  0
nils:   .short  0
event:  .space  24
