#!/usr/bin/env python3
"""Gives a packed application database (.vrx) an application-info block with category names: the
block (a word of renamed categories, 16 names of 16 bytes, 16 unique ids, the last id and two
reserved bytes) goes between the resource list and the first resource, the header's app-info
offset (at 52) names it and every resource offset moves past it. A block already there is replaced.
Usage: AddAppInfo.py DATABASE NAME..."""
import struct
import sys

HEADER, ENTRY = 78, 10


def main():
    path, names = sys.argv[1], sys.argv[2:]
    data = bytearray(open(path, "rb").read())
    count = struct.unpack_from(">H", data, 76)[0]
    offsets = [struct.unpack_from(">I", data, HEADER + i * ENTRY + 6)[0] for i in range(count)]
    old_at = struct.unpack_from(">I", data, 52)[0]
    start = offsets[0] if offsets else len(data)
    # The list ends with two zero bytes; an old block lies between them and the first resource.
    cut = old_at if old_at else start
    block = struct.pack(">H", 0) + b"".join(n.encode()[:15].ljust(16, b"\0") for n in names).ljust(256, b"\0")
    block += bytes(range(16)) + bytes([15, 0, 0])
    block += b"\0" * (len(block) % 2)
    rest = data[start:]
    data = data[:cut] + block + rest
    delta = cut + len(block) - start
    struct.pack_into(">I", data, 52, cut)
    for i, offset in enumerate(offsets):
        struct.pack_into(">I", data, HEADER + i * ENTRY + 6, offset + delta)
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
