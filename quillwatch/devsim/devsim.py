#!/usr/bin/env python3
"""Device simulator for the debugger's tests: a TCP server that speaks the serial link framing and
answers debugger commands from a memory image.

  devsim.py [--port N] [--pattern BASE:SIZE]... [--image BASE:FILE]... [--log FILE]
            [--script FILE] [--program]

It prints "PORT <n>" on its first line once it listens (port 0 picks a free one), serves one
connection at a time, and ends when its standard input closes. --pattern maps SIZE bytes at BASE
whose byte at address a is (a * 7 + (a >> 8)) & 0xFF. --program loads the small 68K program of
cpu.py, which continue requests run.
"""
import argparse
import os
import socket
import sys
import threading

sys.dont_write_bytecode = True  # leave the source tree as it is
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import device  # noqa: E402
import framing  # noqa: E402
try:
    import rpc  # noqa: E402,F401  (registers the remote-call command when present)
except ImportError:
    rpc = None
import nub  # noqa: E402,F401  (the nub's state, routine-name, register, find and control commands)
import cpu  # noqa: E402  (continue, breakpoints and trap breaks of a device that runs a program)


def pattern_byte(a):
    return (a * 7 + (a >> 8)) & 0xFF


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--pattern", action="append", default=[])
    p.add_argument("--image", action="append", default=[])
    p.add_argument("--log")
    p.add_argument("--script")
    p.add_argument("--program", action="store_true")
    return p.parse_args()


def serve(conn, dev):
    unframer = framing.Unframer()
    while True:
        data = conn.recv(4096)
        if not data:
            return
        for packet in unframer.feed(data):
            reply = dev.answer(packet)
            if reply is not None:
                conn.sendall(framing.frame(packet.src, packet.dest, packet.trans_id, reply))


def main():
    args = parse_args()
    memory = device.Memory()
    for spec in args.pattern:
        base, size = (int(x, 0) for x in spec.split(":"))
        memory.map(base, bytes(pattern_byte(base + i) for i in range(size)))
    for spec in args.image:
        base, path = spec.split(":", 1)
        with open(path, "rb") as f:
            memory.map(int(base, 0), f.read())
    log = open(args.log, "a") if args.log else None
    dev = device.Device(memory, log)
    if args.script and rpc:
        rpc.load_script(dev, args.script)
    if args.program:
        cpu.load_program(dev)

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", args.port))
    server.listen(1)
    print("PORT %d" % server.getsockname()[1], flush=True)

    # End when the test that started us closes our standard input (or dies).
    def watch_stdin():
        sys.stdin.read()
        os._exit(0)
    threading.Thread(target=watch_stdin, daemon=True).start()

    while True:
        conn, _ = server.accept()
        with conn:
            try:
                serve(conn, dev)
            except OSError:
                pass


if __name__ == "__main__":
    main()
