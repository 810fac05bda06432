#!/usr/bin/env python3
"""Independent reader and writer of session files, with Python's zlib.

  session_oracle.py dump FILE       prints one line per chunk: tag length packed sha256 level-ok
                                    and fails on any layout error
  session_oracle.py write FILE      writes the chunks the session test expects to read back
"""
import hashlib
import struct
import sys
import zlib


def dump(path):
    data = open(path, "rb").read()
    pos = 0
    while pos < len(data):
        assert pos % 16 == 0, f"chunk at {pos} not on a 16-byte boundary"
        tag, length, packed, zero = struct.unpack_from("<IIII", data, pos)
        assert zero == 0, "header word 3 must be zero"
        stream = data[pos + 16 : pos + 16 + packed]
        assert len(stream) == packed, "truncated stream"
        # zlib header: deflate, 32K window; FLEVEL 0 marks the fastest compression (level 1).
        assert stream[0] == 0x78 and (stream[1] >> 6) == 0, f"zlib header {stream[:2].hex()}"
        d = zlib.decompressobj()
        body = d.decompress(stream)
        assert d.eof and not d.unused_data, "stream must end exactly at the compressed length"
        assert len(body) == length, "uncompressed length"
        end = pos + 16 + packed
        fill = (16 - end % 16) % 16
        assert data[end : end + fill] == b"\0" * fill, "zero fill"
        name = tag.to_bytes(4, "big").decode("latin-1")
        print(name, length, packed, hashlib.sha256(body).hexdigest())
        pos = end + fill


def chunk(tag, body, pad=True):
    packed = zlib.compress(body, 1)
    head = struct.pack("<IIII", int.from_bytes(tag.encode(), "big"), len(body), len(packed), 0)
    out = head + packed
    if pad:
        out += b"\0" * ((16 - len(out) % 16) % 16)
    return out


def write(path):
    out = b""
    # Same tag, two lengths: the reader takes the one whose length matches.
    out += chunk(">two", b"short")
    out += chunk(">two", bytes(range(256)) * 4)
    # A stream whose compressed length is a multiple of 16: no fill follows it.
    n = 1
    while True:
        body = bytes((i * 7 + n) % 251 for i in range(n))
        if len(zlib.compress(body, 1)) % 16 == 0:
            break
        n += 1
    assert len(chunk(">m16", body)) == len(chunk(">m16", body, pad=False))
    out += chunk(">m16", body)
    out += chunk(">end", b"last chunk")
    open(path, "wb").write(out)
    print(n)


if __name__ == "__main__":
    {"dump": dump, "write": write}[sys.argv[1]](sys.argv[2])
