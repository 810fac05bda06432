#!/usr/bin/env python3
"""Writes the 68K resources of the list test application: its form ('tFRM' layout, big-endian) with
a title, a list of three items, a bitmap object, a button and an empty list for categories, the bitmap ('Tbmp', 16 x 16, one
bit deep), a menu bar ('MBAR') of one menu whose first item shows the alert, and the alert ('Talt')
with two buttons. Usage: ViewsResource.py FORM_OUT BITMAP_OUT MENU_OUT ALERT_OUT"""
import struct
import sys

FORM_ID, LIST_ID, BUTTON_ID, CATEGORY_LIST_ID, BITMAP_ID = 1100, 1101, 1102, 1103, 1200
MENU_ALERT_ITEM = 1301


def title(text):
    return struct.pack(">4hI", 0, 0, 160, 15, 0) + text + b"\0"


def lst(items, x, y, w, h, list_id=LIST_ID):
    # usable, enabled; the item texts follow the record (the pointers are set when it is loaded)
    rec = struct.pack(">H4hHIHhhBBII", list_id, x, y, w, h, 0xC000, 0, len(items), -1, 0, 0, 0, 0, 0)
    rec += b"\0" * (4 * len(items))
    for item in items:
        rec += item + b"\0"
    return rec


def bitmap_object(x, y):
    return struct.pack(">HhhH", 0x8000, x, y, BITMAP_ID)


def button(text, x, y, w, h, button_id=BUTTON_ID):
    return struct.pack(">H4hIHBBBB", button_id, x, y, w, h, 0, 0xE100, 0, 0, 0, 0) + text + b"\0"


def form():
    objects = [(9, title(b"List Demo")), (2, lst([b"Red", b"Green", b"Blue"], 10, 20, 80, 35)),
               (4, bitmap_object(120, 20)), (1, button(b"Done", 60, 120, 40, 14)),
               (2, lst([], 10, 62, 80, 24, CATEGORY_LIST_ID))]
    return form_image(FORM_ID, BUTTON_ID, objects)


def form_image(form_id, default_button, objects):
    """A full-screen form of (kind, record) objects, each record following the object list."""
    header = bytearray(68)
    struct.pack_into(">H4h", header, 8, 0x0800, 0, 0, 160, 160)
    struct.pack_into(">H", header, 40, form_id)
    struct.pack_into(">HHHH", header, 56, default_button, 0, 0, len(objects))
    table = bytearray()
    body = bytearray()
    at = 68 + 6 * len(objects)
    for kind, record in objects:
        table += struct.pack(">BBI", kind, 0, at + len(body))
        body += record
        if len(body) % 2:
            body += b"\0"
    return bytes(header + table + body)


def bitmap():
    rows = [0xFFFF] + [0x8001] * 14 + [0xFFFF]
    return struct.pack(">HHHHBBHHH", 16, 16, 2, 0, 1, 1, 0, 0, 0) + b"".join(struct.pack(">H", r) for r in rows)


def menu_bar():
    # The bar's header (one menu, first menu record at 32), the menu record, its items, the texts;
    # pointers are offsets within the resource.
    items = [(MENU_ALERT_ITEM, b"A", b"Alert"), (MENU_ALERT_ITEM + 1, b"Q", b"Quiet")]
    texts = bytearray()
    text_at = 32 + 34 + 8 * len(items)

    def text(t):
        at = text_at + len(texts)
        texts.extend(t + b"\0")
        return at

    header = bytearray(32)
    struct.pack_into(">HI", header, 26, 1, 32)
    record = struct.pack(">I4hI4hIHI", 0, 0, 13, 60, 26, 0, 0, 0, 40, 13, text(b"Views"), len(items), 32 + 34)
    item_records = b"".join(struct.pack(">HcBI", i, c, 0, text(t)) for i, c, t in items)
    return bytes(header + record + item_records + texts)


def alert():
    return struct.pack(">4H", 0, 0, 2, 0) + b"Views Alert\0Pick a button\0OK\0Other\0"


if __name__ == "__main__":
    for path, data in zip(sys.argv[1:], (form(), bitmap(), menu_bar(), alert())):
        with open(path, "wb") as out:
            out.write(data)
