| One stub per system trap for C callers: copies the calling arguments below the return address,
| so that the trap finds them at the stack pointer as the system's calling convention wants,
| traps, and drops the copy. D0 and A0 come back as the trap set them. Each stub has a section
| of its own, so that the link keeps only the traps an application calls.

        .macro  STUB name, word, bytes
        .section .text.trap.\name,"ax"
        .globl  \name
        .type   \name,@function
\name:
        .if     \bytes
        lea     4+\bytes(%sp),%a1
        moveq   #\bytes/2-1,%d1
1:      move.w  -(%a1),-(%sp)
        dbra    %d1,1b
        .endif
        trap    #15
        .short  \word
        .if     \bytes
        lea     \bytes(%sp),%sp
        .endif
        rts
        .endm

| A selector trap: the same copy, with the selector in D2, which the caller expects back unchanged.
        .macro  SELSTUB name, word, selector, bytes
        .section .text.trap.\name,"ax"
        .globl  \name
        .type   \name,@function
\name:
        move.l  %d2,-(%sp)
        lea     8+\bytes(%sp),%a1
        moveq   #\bytes/2-1,%d1
1:      move.w  -(%a1),-(%sp)
        dbra    %d1,1b
        move.w  #\selector,%d2
        trap    #15
        .short  \word
        lea     \bytes(%sp),%sp
        move.l  (%sp)+,%d2
        rts
        .endm

#define TRAP(name, word, bytes) STUB name, word, bytes;
#define SELTRAP(name, word, selector, bytes) SELSTUB name, word, selector, bytes;
#include "Traps.def"
