ENTRY(_start)
SECTIONS
{
    . = 0x10000000;
    .text : { *(.text.entry) *(.text*) }
    .rodata : { *(.rodata*) }
    . = ALIGN(0x1000);  /* data on pages of its own: qemu retranslates code pages that are written */
    .data : { *(.data*) }
    .bss : { *(.bss*) *(COMMON) }
}
