#!/usr/bin/env python3
"""Writes a symbol file (big-endian COFF with the sections .text, .data and .bss) for the program
that cpu.py runs, written here from the file format alone, apart from the C++ reader.

  coffsym.py OUT [--bad-magic | --bad-lines | --truncated]

Source file "main.c": main (section offset 0, first line 10) and add (offset 0x40, first line 20,
an argument x at A6+8 and a local tmp at A6-4). Line entries: main 0x0:10 0x4:11 0x6:12 0xC:13
0xE:14; add 0x40:20 0x44:21 0x46:22.
"""
import struct
import sys

F_TYPE_FUNC = 0x20  # type bits 4-5 = 2: function


def name_field(name, strings):
    raw = name.encode()
    if len(raw) <= 8:
        return raw.ljust(8, b"\0")
    offset = 4 + len(strings[0])
    strings[0] += raw + b"\0"
    return struct.pack(">II", 0, offset)


def build(variant=None):
    strings = [b""]
    symbols = []  # 18-byte entries

    def sym(name, value, section, type_, cls, aux=0):
        symbols.append(name_field(name, strings) + struct.pack(">IhHBB", value, section, type_, cls, aux))

    def aux(data):
        symbols.append(data.ljust(18, b"\0"))

    lines_main = [(0x0, 1), (0x4, 2), (0x6, 3), (0xC, 4), (0xE, 5)]
    lines_add = [(0x40, 1), (0x44, 2), (0x46, 3)]
    # Symbols: 0 file, 1 its aux, 2 main, 3 aux, 4 add, 5 aux, 6 x, 7 tmp, 8 data symbol.
    line_table_offset = 48 + 3 * 40
    main_lnno = line_table_offset
    add_lnno = line_table_offset + 6 * (1 + len(lines_main))
    sym(".file", 0, -2, 0, 103, 1)
    aux(b"main.c")
    sym("main", 0x0, 1, F_TYPE_FUNC | 4, 2, 1)
    aux(struct.pack(">IHHII", 0, 10, 0, main_lnno, 4))
    sym("add_numbers", 0x40, 1, F_TYPE_FUNC | 4, 2, 1)
    aux(struct.pack(">IHHII", 0, 20, 0, add_lnno, 8))
    sym("x", 8, 0, 4, 9)
    sym("tmp", 0xFFFFFFFC & 0xFFFFFFFF, 0, 5, 1)
    sym("counter", 0, 2, 5, 2)

    line_table = struct.pack(">IH", 2, 0) + b"".join(struct.pack(">IH", a, l) for a, l in lines_main)
    line_table += struct.pack(">IH", 4, 0) + b"".join(struct.pack(">IH", a, l) for a, l in lines_add)
    line_count = len(line_table) // 6
    symtab_offset = line_table_offset + len(line_table)
    if variant == "--bad-lines":
        line_count += 1

    magic = 0x5001 if variant == "--bad-magic" else 0x0150
    header = struct.pack(">HHIIIHH", magic, 3, 0, symtab_offset, len(symbols), 28, 0)
    optional = bytes(28)
    sections = b""
    for name, old, size, lnno, nlnno in ((b".text", 0, 0x50, line_table_offset, line_count),
                                         (b".data", 0, 0x10, 0, 0), (b".bss", 0, 0x10, 0, 0)):
        sections += struct.pack(">8sIIIIIIHHI", name, old, old, size, 0, 0, lnno, 0, nlnno, 0)
    strtab = struct.pack(">I", 4 + len(strings[0])) + strings[0]
    image = header + optional + sections + line_table + b"".join(symbols) + strtab
    if variant == "--truncated":
        image = image[:symtab_offset + 18 * 3]
    return image


def main():
    variant = sys.argv[2] if len(sys.argv) > 2 else None
    with open(sys.argv[1], "wb") as f:
        f.write(build(variant))


if __name__ == "__main__":
    main()
