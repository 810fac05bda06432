| The demo's logo as its 68K 'Tbmp' resource: one 32 x 32 bitmap of depth 1 (a version 1 header
| of 16 bytes, then 4 bytes a row), a frame around a "V".
        .text
        .short  32, 32, 4               | width, height, row bytes
        .short  0                       | flags
        .byte   1, 1                    | pixel size, version
        .short  0                       | next depth: none
        .short  0, 0
        .long   0xFFFFFFFF, 0x80000001, 0x80000001
        .long   0x8C000031, 0x8C000031, 0x86000061, 0x86000061
        .long   0x830000C1, 0x830000C1, 0x81800181, 0x81800181
        .long   0x80C00301, 0x80C00301, 0x80600601, 0x80600601
        .long   0x80300C01, 0x80300C01, 0x80181801, 0x80181801
        .long   0x800C3001, 0x800C3001, 0x80066001, 0x80066001
        .long   0x8003C001, 0x8003C001, 0x80018001, 0x80018001
        .long   0x80000001, 0x80000001, 0x80000001, 0x80000001
        .long   0xFFFFFFFF
