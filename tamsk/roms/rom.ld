/* Test and demo ROMs: the exception vectors in NOR flash at 0, everything else in SRAM from
   0x5C020000, where the processor starts after reset. */
ENTRY(_reset)
MEMORY {
    NOR (rx) : ORIGIN = 0x00000000, LENGTH = 4K
    SRAM (rwx) : ORIGIN = 0x5C020000, LENGTH = 96K
}
SECTIONS {
    .vectors : { KEEP(*(.vectors)) } > NOR
    .text : { KEEP(*(.text.start)) *(.text*) *(.rodata*) *(.glue_7*) } > SRAM
    .data : { *(.data*) } > SRAM
    .bss (NOLOAD) : { __bss_start = .; *(.bss*) *(COMMON) . = ALIGN(4); __bss_end = .; } > SRAM
}
