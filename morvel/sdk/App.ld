/* A 68K application in C, compiled with -msep-data: the start-up code first in 'code' 1 (linked
   at 0, constants with it), then the globals. A5 is the global offset table's base: the code
   reaches every global and every function through the table, which morvel-pack relocates. */
ENTRY(start)
SECTIONS {
    . = 0;
    .text : {
        KEEP(*(.text.start))
        *(.text .text.*)
        *(.rodata .rodata.*)
    }
    . = 0x100000;
    .got : {
        *(.got.plt)
        *(.got)
    }
    .data : { *(.data .data.*) }
    .bss : { *(.bss .bss.*) *(COMMON) }
    /DISCARD/ : { *(.comment) *(.note*) *(.eh_frame*) }
}
