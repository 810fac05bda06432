#!/usr/bin/env python3
"""Writes the 68K form resource ('tFRM' layout, big-endian) of the form test application: a title,
a label, an editable one-line field and a button. Usage: FormResource.py OUT"""
import struct
import sys

FORM_ID, FIELD_ID, BUTTON_ID, LABEL_ID = 1000, 1001, 1002, 1003


def title(text):
    return struct.pack(">4hI", 0, 0, 160, 15, 0) + text + b"\0"


def label(text, x, y):
    return struct.pack(">HhhHBBI", LABEL_ID, x, y, 0x8000, 0, 0, 0) + text + b"\0"


def field(x, y, w, h):
    # usable, visible, editable, single line, grey underline
    rec = struct.pack(">H4hHI", FIELD_ID, x, y, w, h, 0xF040, 0)
    rec += b"\0" * (28 - len(rec)) + struct.pack(">H", 20)
    rec += b"\0" * (38 - len(rec)) + bytes([0, 1])
    return rec


def button(text, x, y, w, h):
    # usable, enabled, visible, frame 1; style 0 (button)
    return struct.pack(">H4hIHBBBB", BUTTON_ID, x, y, w, h, 0, 0xE100, 0, 0, 0, 0) + text + b"\0"


def form():
    objects = [(9, title(b"Form Demo")), (8, label(b"Name:", 8, 30)), (0, field(44, 28, 100, 12)),
               (1, button(b"OK", 60, 100, 40, 14))]
    header = bytearray(68)
    struct.pack_into(">H4h", header, 8, 0x0800, 0, 0, 160, 160)  # window flags, bounds
    struct.pack_into(">H", header, 40, FORM_ID)
    struct.pack_into(">HHHH", header, 56, BUTTON_ID, 0, 0, len(objects))
    table = bytearray()
    body = bytearray()
    at = 68 + 6 * len(objects)
    for kind, record in objects:
        table += struct.pack(">BBI", kind, 0, at + len(body))
        body += record
        if len(body) % 2:
            body += b"\0"
    return bytes(header + table + body)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(form())
