#!/usr/bin/env python3
"""A desktop-side peer of the desktop link, written from the wire layouts alone.

TCP mode (--port): accepts one connection, reads the device's hello, sends the setup commands
(open control, set limits, or end setup), then answers each data frame by what its payload asks
(see SCRIPTS below); it also counts the keep-alive tickles that reach its control socket.
Discovery mode (--discovery): answers discovery requests on UDP port 14237 whose address field is
the one given, and logs every request's address and mask fields, one line per request.
It prints "ready" once it listens, and its findings to --log.
"""
import argparse
import select
import socket
import struct
import sys

TICKLE = b"\xfa\xce\x02"


def recv_exact(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise EOFError("peer closed")
        data += chunk
    return data


class Link:
    def __init__(self, conn, ctl, log):
        self.conn, self.ctl, self.log = conn, ctl, log
        self.tickles = 0
        self.device_ctl = None

    def note(self, text):
        self.log.write(text + "\n")
        self.log.flush()

    def drain_ctl(self):
        while True:
            r, _, _ = select.select([self.ctl], [], [], 0)
            if not r:
                return
            data, addr = self.ctl.recvfrom(64)
            if data[:3] == TICKLE and len(data) == 4:
                self.tickles += 1
                self.device_ctl = addr

    def read_frame(self):
        while True:
            r, _, _ = select.select([self.conn, self.ctl], [], [], 30)
            if not r:
                raise TimeoutError("no frame")
            if self.ctl in r:
                self.drain_ctl()
            if self.conn in r:
                break
        header = recv_exact(self.conn, 6)
        kind, rid, length = header[0], header[1], struct.unpack(">I", header[2:])[0]
        return kind, rid, recv_exact(self.conn, length)

    def send_frame(self, rid, payload, kind=1):
        self.conn.sendall(struct.pack(">BBI", kind, rid, len(payload)) + payload)

    def command(self, rid, cmd, arg):
        # command byte, argument count, six bytes not read, then one item tagged 0x20
        item = struct.pack(">HI", 0x20, len(arg)) + arg + (b"\0" if len(arg) % 2 else b"")
        self.send_frame(rid, bytes([cmd, 1]) + b"\0" * 6 + item)


def setup(link, mode):
    kind, rid, payload = link.read_frame()
    # the hello: a reply to command 16, status 0, one argument tagged 0x20 of 8 bytes
    hello_ok = (kind == 1 and rid == 255 and payload[0] == 0x90 and payload[1] == 1
                and payload[2:4] == b"\0\0" and payload[8:10] == b"\0\x20"
                and struct.unpack(">I", payload[10:14])[0] == 8 and payload[14:22] == b"\2" + b"\0" * 7)
    link.note("hello %s" % ("ok" if hello_ok else payload.hex()))
    if mode == "end-setup":
        link.command(1, 17, b"\0" * 6)
        kind, rid, payload = link.read_frame()
        link.note("end-setup reply %s" % payload.hex())
        return False
    if mode == "bad-setup":
        link.send_frame(3, b"")  # a request with no payload at all
        kind, rid, payload = link.read_frame()
        link.note("empty reply %s" % payload.hex())
    host_addr, host_port = link.ctl.getsockname()
    arg = b"\0" * 16 + socket.inet_aton(host_addr) + struct.pack(">H", host_port) + b"\0" * 14
    link.command(2, 18, arg)
    kind, rid, payload = link.read_frame()
    # the reply's argument is written in the device's own byte order
    status = struct.unpack(">H", payload[2:4])[0]
    body = payload[14:50]
    local_addr, local_port = body[16:20], struct.unpack("<H", body[20:22])[0]
    link.device_ctl = (socket.inet_ntoa(local_addr), socket.ntohs(local_port))
    link.note("open-control status %d device ctl %s:%d" % (status, link.device_ctl[0], link.device_ctl[1]))
    limits = struct.pack("<IHH", 64, 30, 5) + b"\0" * 24
    link.command(3, 19, limits)
    kind, rid, payload = link.read_frame()
    link.note("limits reply %s" % payload.hex())
    return True


def serve(link):
    while True:
        try:
            kind, rid, payload = link.read_frame()
        except (EOFError, TimeoutError, ConnectionError):
            link.note("closed")
            return
        link.note("frame kind %d id %d len %d" % (kind, rid, len(payload)))
        if payload == b"MIDFRAME":
            link.conn.sendall(struct.pack(">BBI", 1, rid, 100) + b"0123456789")
            link.conn.close()
            link.note("closed mid-frame")
            return
        if payload == b"HOSTILE":
            link.conn.sendall(struct.pack(">BBI", 1, rid, 0xFFFFFFFF) + b"abc")
            link.conn.close()
            link.note("closed after hostile length")
            return
        if payload == b"KIND4":
            link.send_frame(rid, b"", kind=4)
            continue
        if payload == b"BIG":
            link.send_frame(rid, bytes(range(256)) * 11 + b"x" * 184)  # 3000 bytes
            notice = recv_exact(link.conn, 6)
            link.note("notice %s" % notice.hex())
            link.send_frame(rid, b"after-big")
            continue
        if payload == b"TICKLE-ME":
            link.ctl.sendto(TICKLE + b"\xff", link.device_ctl)
            link.send_frame(rid, b"after-tickle")
            continue
        if payload == b"TICKLES?":
            link.drain_ctl()
            link.send_frame(rid, b"tickles %d" % link.tickles)
            continue
        if payload == b"SILENT":
            continue
        link.send_frame(rid, b"echo:" + payload)


def tcp_main(args, log):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", args.port))
    server.listen(1)
    ctl = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    ctl.bind(("127.0.0.1", 0))
    print("ready", flush=True)
    server.settimeout(60)
    conn, _ = server.accept()
    link = Link(conn, ctl, log)
    try:
        if setup(link, args.mode):
            serve(link)
    except (EOFError, ConnectionError, TimeoutError) as e:
        link.note("ended %s" % e)


def discovery_main(args, log):
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("0.0.0.0", 14237))
    print("ready", flush=True)
    answer = socket.inet_aton(args.discovery)
    udp.settimeout(120)
    while True:
        try:
            data, addr = udp.recvfrom(512)
        except socket.timeout:
            return
        if data[:3] != b"\xfa\xde\x01":
            continue
        name = data[12:].split(b"\0")[0].decode()
        log.write("request %s mask %s name %s len %d\n" % (socket.inet_ntoa(data[4:8]), data[8:12].hex(),
                                                         name, len(data)))
        log.flush()
        if data[4:8] == answer:
            udp.sendto(b"\xfa\xde\x02\x00" + socket.inet_aton("127.0.0.1") + socket.inet_aton("255.0.0.0") + b"\0", addr)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int)
    p.add_argument("--mode", default="setup")
    p.add_argument("--discovery")
    p.add_argument("--log", required=True)
    args = p.parse_args()
    with open(args.log, "w") as log:
        if args.discovery:
            discovery_main(args, log)
        else:
            tcp_main(args, log)


if __name__ == "__main__":
    sys.exit(main())
