#!/usr/bin/env python3
"""Writes the help text ('tSTR') and the custom-response alert ('Talt', big-endian header, two
buttons) of the built-form test application. Usage: BuiltFormResource.py HELP_OUT ALERT_OUT"""
import struct
import sys

HELP = b"Tap the black box once to remove a label, then again to finish.\0"
ALERT = struct.pack(">4H", 0, 0, 2, 1) + b"Your Name\0Name for ^1:\0OK\0Cancel\0"

if __name__ == "__main__":
    for path, data in zip(sys.argv[1:], (HELP, ALERT)):
        with open(path, "wb") as out:
            out.write(data)
