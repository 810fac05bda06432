/* The test application: code at 0 (it becomes 'code' 1), globals in .data around a5base. */
ENTRY(start)
SECTIONS {
    . = 0;
    .text : { *(.text) }
    . = 0x100000;
    .data : { *(.data) }
    .bss : { *(.bss) *(COMMON) }
    /DISCARD/ : { *(.comment) *(.note*) }
}
