"""Serial link packet framing, written from the wire format alone (no shared code with the C++ side).

A packet is a 10-byte header (BE EF ED, destination socket, source socket, type, big-endian body
size, transaction id, 8-bit sum of bytes 0-8), the body, and a big-endian CRC-16 (binascii.crc_hqx,
start 0) over header and body.
"""
import binascii
import struct

SIGNATURE = b"\xBE\xEF\xED"
HEADER = struct.Struct(">3sBBBHB")  # signature, dest, src, type, body size, transaction id


def frame(dest, src, trans_id, body, ptype=0):
    head = HEADER.pack(SIGNATURE, dest, src, ptype, len(body), trans_id)
    head += bytes([sum(head) & 0xFF])
    crc = binascii.crc_hqx(head + body, 0)
    return head + body + struct.pack(">H", crc)


class Packet:
    def __init__(self, dest, src, ptype, trans_id, body):
        self.dest, self.src, self.type, self.trans_id, self.body = dest, src, ptype, trans_id, body


class Unframer:
    """Collects received bytes and yields the packets found; damaged packets are skipped."""

    def __init__(self):
        self.buf = bytearray()
        self.bad = 0

    def feed(self, data):
        self.buf += data
        packets = []
        while True:
            start = self.buf.find(SIGNATURE)
            if start < 0:
                del self.buf[:max(0, len(self.buf) - 2)]
                return packets
            del self.buf[:start]
            if len(self.buf) < 10:
                return packets
            _, dest, src, ptype, size, tid = HEADER.unpack_from(self.buf)
            if sum(self.buf[:9]) & 0xFF != self.buf[9]:
                self.bad += 1
                del self.buf[:1]
                continue
            if len(self.buf) < 12 + size:
                return packets
            body = bytes(self.buf[10:10 + size])
            crc, = struct.unpack_from(">H", self.buf, 10 + size)
            if binascii.crc_hqx(bytes(self.buf[:10 + size]), 0) != crc:
                self.bad += 1
                del self.buf[:1]
                continue
            del self.buf[:12 + size]
            packets.append(Packet(dest, src, ptype, tid, body))
