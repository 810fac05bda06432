| A 68K application without globals: no .data, no .bss, no a5base. It answers 7.
        .text
        .globl start
start:  moveq   #7,%d0
        rts
