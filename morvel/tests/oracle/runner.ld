ENTRY(_start)
SECTIONS
{
    . = 0x10000000;
    .fixed : { *(.fixed) }
    . = 0x11000000;
    .text : { *(.text*) }
    .data : { *(.data*) }
    .bss : { *(.bss*) *(COMMON) }
}
