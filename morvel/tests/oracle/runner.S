| Oracle runner for the differential tests, run under qemu-m68k -cpu m68000.
|
| Reads a batch of cases from standard input. For each case it copies the case's code to CODE and
| its data to DATA (the same fixed addresses the interpreter test uses), loads D0-D7/A0-A7 and
| the condition codes, calls the code with JSR, and writes the registers, the five flags (as
| bytes: X N Z V C, then 3 pad bytes) and the data area to standard output.
|
| Input:  u32 magic, u32 count, then count cases of CASE_BYTES:
|         u32 D0-D7, A0-A7; u16 ccr; u16 code length; code[512]; data[1024]
| Output: per case u32 D0-D7, A0-A7; 8 flag bytes; data[1024]

        .equ    CODE, 0x10000000
        .equ    DATA, 0x10001000
        .equ    CODE_BYTES, 512
        .equ    DATA_BYTES, 1024
        .equ    CASE_BYTES, 68 + CODE_BYTES + DATA_BYTES
        .equ    BLOB_MAX, 0x1000000

        .section .fixed,"awx",@nobits
        .space  0x2000

        .text
        .globl  _start
_start:
        lea     blob,%a3
        move.l  #BLOB_MAX,%d6
1:      moveq   #3,%d0                  | read(0, a3, d6)
        moveq   #0,%d1
        move.l  %a3,%d2
        move.l  %d6,%d3
        trap    #0
        tst.l   %d0
        ble.s   2f
        add.l   %d0,%a3
        sub.l   %d0,%d6
        bne.s   1b
2:      lea     blob,%a4
        move.l  4(%a4),%d7
        lea     8(%a4),%a4
caseloop:
        tst.l   %d7
        beq     done
        lea     68(%a4),%a0
        lea     CODE,%a1
        move.w  #CODE_BYTES/4-1,%d0
3:      move.l  (%a0)+,(%a1)+
        dbra    %d0,3b
        lea     DATA,%a1
        move.w  #DATA_BYTES/4-1,%d0
4:      move.l  (%a0)+,(%a1)+
        dbra    %d0,4b
        move.l  %a4,casep
        move.l  %d7,count
        move.l  %sp,savesp
        move.w  64(%a4),%ccr
        movem.l (%a4),%d0-%d7/%a0-%a7
        jsr     CODE
        movem.l %d0-%d7/%a0-%a7,regsave
        scs     cflag
        svs     vflag
        seq     zflag
        smi     nflag
        moveq   #0,%d0
        addx.b  %d0,%d0
        move.b  %d0,xflag
        move.l  savesp,%sp
        moveq   #4,%d0                  | write(1, regsave, 72)
        moveq   #1,%d1
        move.l  #regsave,%d2
        moveq   #72,%d3
        trap    #0
        moveq   #4,%d0                  | write(1, DATA, 1024)
        moveq   #1,%d1
        move.l  #DATA,%d2
        move.l  #DATA_BYTES,%d3
        trap    #0
        move.l  casep,%a4
        lea     CASE_BYTES(%a4),%a4
        move.l  count,%d7
        subq.l  #1,%d7
        bra     caseloop
done:   moveq   #1,%d0                  | exit(0)
        moveq   #0,%d1
        trap    #0

        .bss
        .align  4
regsave: .space 64
xflag:  .space  1
nflag:  .space  1
zflag:  .space  1
vflag:  .space  1
cflag:  .space  1
        .space  3
casep:  .space  4
count:  .space  4
savesp: .space  4
blob:   .space  BLOB_MAX
