"""The nub's side of the requests the debugger engine makes of a stopped device: state reports,
routine names, register writes, find and messages, and a control command through which a test
makes the device speak unasked or answer its next requests wrongly.

Control (command 126, sent by tests only; the body after the two command bytes is ASCII text):
  stop                    answer with a state report, as a device does when it stops by itself
  message TEXT            answer with a message (command 127) holding TEXT
  fault KIND [COUNT]      the next COUNT answered requests (default 1) go wrong: KIND is command
                          (wrong reply command), transid (wrong transaction id), short (the reply
                          loses its last two bytes) or silent (no reply)
  routine START END NAME  names the routine [START, END) for routine-name requests and states
  exception ID            the exception id of later state reports
  reset                   the next state report carries the reset flag
The answer to a control command goes to the socket it came from, so a control sent from socket 1
makes the device write on its console socket.
"""
import struct

import device
from device import command

CONTROL = 126
MESSAGE = 127

REGS = struct.Struct(">18IH")  # D0-D7, A0-A6, USP, SSP, PC, SR
STATE = struct.Struct(">BBBBH74s15H" + "IBB" * 6 + "II32s2s")
assert STATE.size == 188


class Nub:
    def __init__(self, dev):
        self.d = [0xD0000000 + i for i in range(8)]
        self.a = [0xA0000000 + i for i in range(7)]
        self.usp, self.ssp, self.sr = 0x00003000, 0x00004000, 0x2704
        dev.pc = 0x00010040
        self.exception = 124
        self.reset = 0
        self.breakpoints = [(0, 0, 0)] * 6
        self.routines = [(0x00010000, 0x00010100, b"PrvStart")]
        self.trap_table_id = 0x37
        self.faults = []

    def regs(self, dev):
        return REGS.pack(*self.d, *self.a, self.usp, self.ssp, dev.pc, self.sr)

    def set_regs(self, dev, data):
        values = REGS.unpack(data)
        self.d, self.a = list(values[0:8]), list(values[8:15])
        self.usp, self.ssp, dev.pc, self.sr = values[15:19]

    def routine(self, address):
        for start, end, name in self.routines:
            if start <= address < end:
                return start, end, name
        return 0, 0, b""

    def state(self, dev):
        words = struct.unpack(">15H", dev.memory.read(dev.pc, 30))
        bps = [x for bp in self.breakpoints for x in bp]
        start, end, name = self.routine(dev.pc)
        reset, self.reset = self.reset, 0
        return STATE.pack(0x80, 0, reset, 0, self.exception, self.regs(dev), *words, *bps, start, end,
                          name, bytes([0, self.trap_table_id]))


def nub(dev):
    if "nub" not in dev.extensions:
        dev.extensions["nub"] = Nub(dev)
    return dev.extensions["nub"]


@command(0)
def get_state(dev, packet):
    dev.record("state")
    return nub(dev).state(dev)


@command(4)
def routine_name(dev, packet):
    address, = struct.unpack_from(">I", packet.body, 2)
    start, end, name = nub(dev).routine(address)
    dev.record("rtnname %08X" % address)
    return struct.pack(">BBIII32s", 0x84, 0, address, start, end, name)


@command(6)
def write_registers(dev, packet):
    nub(dev).set_regs(dev, packet.body[2:2 + REGS.size])
    dev.record("writeregs pc=%08X" % dev.pc)
    return bytes([0x86, 0])


@command(19)
def find(dev, packet):
    first, last, length, fold = struct.unpack_from(">IIHB", packet.body, 2)
    pattern = packet.body[14:14 + length]
    dev.record("find %08X %08X %d" % (first, last, length))
    if fold:
        pattern = pattern.lower()
    for address in range(first, last + 1):
        data = dev.memory.read(address, length)
        if (data.lower() if fold else data) == pattern:
            return struct.pack(">BBIBB", 0x93, 0, address, 1, 0)
    return struct.pack(">BBIBB", 0x93, 0, last, 0, 0)


@command(MESSAGE)
def message(dev, packet):
    dev.record("message %r" % bytes(packet.body[2:]).split(b"\0")[0].decode("latin-1"))
    return None


@command(CONTROL)
def control(dev, packet):
    n = nub(dev)
    words = bytes(packet.body[2:]).decode("latin-1").split(" ", 1)
    verb, rest = words[0], (words[1] if len(words) > 1 else "")
    if verb == "stop":
        return n.state(dev)
    if verb == "message":
        return bytes([MESSAGE, 0]) + rest.encode("latin-1") + b"\0"
    if verb == "fault":
        kind, *count = rest.split()
        n.faults += [kind] * int(count[0] if count else 1)
    elif verb == "routine":
        start, end, name = rest.split()
        n.routines.insert(0, (int(start, 16), int(end, 16), name.encode("latin-1")))
    elif verb == "exception":
        n.exception = int(rest, 0)
    elif verb == "reset":
        n.reset = 1
    return None


# Faults apply to the replies of every command, so they wrap the device's answer.
_answer = device.Device.answer


def _answer_with_faults(dev, packet):
    reply = _answer(dev, packet)
    faults = nub(dev).faults
    if reply is None or not faults or (packet.body and packet.body[0] == CONTROL):
        return reply
    fault = faults.pop(0)
    dev.record("fault %s" % fault)
    if fault == "silent":
        return None
    if fault == "command":
        return bytes([reply[0] ^ 0x40]) + reply[1:]
    if fault == "transid":
        packet.trans_id = (packet.trans_id % 255) + 1
    elif fault == "short":
        return reply[:-2]
    return reply


device.Device.answer = _answer_with_faults
