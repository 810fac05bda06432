#!/usr/bin/env python3
"""Writes the form ('tFRM' layout, big-endian) of the scroll-bar test application: a title, a
usable scroll bar (1501) at 150, 20, 7 x 100 whose value is 0 of 0-10 with a page of 5, and a
button (1502). Usage: ScrollResource.py FORM_OUT"""
import struct
import sys

from ViewsResource import button, form_image, title

FORM_ID, SCROLL_BAR_ID, BUTTON_ID = 1500, 1501, 1502


def scroll_bar(x, y, w, h, value, low, high, page):
    # bounds, ID, attributes (usable), value, minimum, maximum, page size, two words of pen state
    return struct.pack(">4hHH4h2h", x, y, w, h, SCROLL_BAR_ID, 0x8000, value, low, high, page, 0, 0)


def form():
    objects = [(9, title(b"Scroll Demo")), (13, scroll_bar(150, 20, 7, 100, 0, 0, 10, 5)),
               (1, button(b"Done", 60, 140, 40, 14, BUTTON_ID))]
    return form_image(FORM_ID, BUTTON_ID, objects)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(form())
