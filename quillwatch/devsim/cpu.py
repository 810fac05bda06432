"""A small 68K processor for the nub: enough of the instruction set to run the program that
--program loads (LINK, UNLK, MOVEQ, ADDQ.L to a data register, JSR absolute long, BSR, RTS, NOP,
BRA and Bcc with 8- or 16-bit displacements), with the trace bit and breakpoints of the nub.

Continue (7) takes the registers and step-spy values and runs: with the trace bit set, one
instruction and a trace stop (exception 0x24); otherwise until the PC reaches an enabled breakpoint
(exception 0x80, the breakpoint trap) or an instruction it does not know (exception 0x10, illegal
instruction). The temporary breakpoint (entry 6) is cleared when the device stops. Breakpoints (11,
12), A-trap breaks (16, 17) and their conditions (20, 21, unless the control "noconditions" was
sent) and the DbgBreak() switch (13) are kept as the nub keeps them.
"""
import struct

import device
import nub as nubmod
from device import command

MAX_STEPS = 100000

# The program: main at 0x10040 calls add at 0x10080, then loops.
PROGRAM = {
    0x10040: bytes.fromhex("4E560000" "7005" "4EB900010080" "7201" "4E5E" "4E71" "60FC"),
    0x10080: bytes.fromhex("4E560000" "5280" "4E5E" "4E75"),
}
ROUTINES = [(0x10040, 0x10080, b"PrvMain"), (0x10080, 0x10090, b"PrvAdd")]


def load_program(dev):
    for base, code in PROGRAM.items():
        dev.memory.write(base, code)
    n = nubmod.nub(dev)
    n.routines[0:0] = ROUTINES
    # The trap table (16 entries at 0x8000) and the library table (library 1, "TestLib").
    mem = dev.memory
    mem.write(290, struct.pack(">I", 0x8000))
    mem.write(318, struct.pack(">H", 16))
    mem.write(0x8000, b"".join(struct.pack(">I", 0x12000 + 0x10 * i) for i in range(16)))
    mem.write(320, struct.pack(">IH", 0x9000, 2))
    mem.write(0x9010, struct.pack(">II", 0x9100, 0x1234))
    mem.write(0x9000, struct.pack(">II", 0, 0))
    mem.write(0x9100, struct.pack(">HHH", 0x20, 0x40, 0x44) + bytes(26) + b"TestLib\0")


class Cpu:
    def __init__(self, dev, n):
        self.dev, self.n = dev, n

    def sp(self):
        return self.n.ssp if self.n.sr & 0x2000 else self.n.usp

    def set_sp(self, v):
        if self.n.sr & 0x2000:
            self.n.ssp = v & 0xFFFFFFFF
        else:
            self.n.usp = v & 0xFFFFFFFF

    def word(self, a):
        return struct.unpack(">H", self.dev.memory.read(a, 2))[0]

    def long(self, a):
        return struct.unpack(">I", self.dev.memory.read(a, 4))[0]

    def push(self, v):
        self.set_sp(self.sp() - 4)
        self.dev.memory.write(self.sp(), struct.pack(">I", v & 0xFFFFFFFF))

    def pop(self):
        v = self.long(self.sp())
        self.set_sp(self.sp() + 4)
        return v

    def condition(self, cc):
        sr = self.n.sr
        c, v, z, neg = sr & 1, (sr >> 1) & 1, (sr >> 2) & 1, (sr >> 3) & 1
        return [True, False, not c and not z, c or z, not c, c, not z, z, not v, v, not neg, neg,
                neg == v, neg != v, not z and neg == v, z or neg != v][cc]

    def step(self):
        """Executes one instruction; False when it is not one this processor knows."""
        dev, n = self.dev, self.n
        pc = dev.pc
        w = self.word(pc)
        if w == 0x4E71:
            dev.pc = pc + 2
        elif w == 0x4E56:  # LINK A6,#d
            d = struct.unpack(">h", dev.memory.read(pc + 2, 2))[0]
            self.push(n.a[6])
            n.a[6] = self.sp()
            self.set_sp(self.sp() + d)
            dev.pc = pc + 4
        elif w == 0x4E5E:  # UNLK A6
            self.set_sp(n.a[6])
            n.a[6] = self.pop()
            dev.pc = pc + 2
        elif w & 0xF100 == 0x7000:  # MOVEQ
            v = struct.unpack(">b", bytes([w & 0xFF]))[0] & 0xFFFFFFFF
            n.d[(w >> 9) & 7] = v
            n.sr = (n.sr & ~0xF) | (8 if v & 0x80000000 else 0) | (4 if v == 0 else 0)
            dev.pc = pc + 2
        elif w & 0xF1F8 == 0x5080:  # ADDQ.L #q,Dn
            q = (w >> 9) & 7 or 8
            r = w & 7
            n.d[r] = (n.d[r] + q) & 0xFFFFFFFF
            dev.pc = pc + 2
        elif w == 0x4EB9:  # JSR abs.l
            self.push(pc + 6)
            dev.pc = self.long(pc + 2)
        elif w == 0x4E75:  # RTS
            dev.pc = self.pop()
        elif w & 0xF000 == 0x6000:  # BRA, BSR, Bcc
            d = w & 0xFF
            size = 2
            if d == 0:
                d = struct.unpack(">h", dev.memory.read(pc + 2, 2))[0]
                size = 4
            else:
                d = struct.unpack(">b", bytes([d]))[0]
            cc = (w >> 8) & 0xF
            if cc == 1:  # BSR
                self.push(pc + size)
                dev.pc = pc + 2 + d
            elif self.condition(cc):
                dev.pc = pc + 2 + d
            else:
                dev.pc = pc + size
        else:
            return False
        return True


class RunState:
    def __init__(self):
        self.trap_breaks = [0] * 5
        self.conditions = [0] * 5
        self.no_conditions = False
        self.user_breaks_disabled = 0


def run_state(dev):
    return dev.extensions.setdefault("run", RunState())


def stop(dev, exception):
    n = nubmod.nub(dev)
    n.exception = exception
    bps = list(n.breakpoints)
    bps[5] = (0, 0, 0)
    n.breakpoints = bps
    return n.state(dev)


@command(7)
def continue_(dev, packet):
    n = nubmod.nub(dev)
    n.set_regs(dev, packet.body[2:2 + nubmod.REGS.size])
    spy, = struct.unpack_from(">B", packet.body, 76)
    dev.record("continue pc=%08X sr=%04X%s" % (dev.pc, n.sr, " spy" if spy else ""))
    cpu = Cpu(dev, n)
    if n.sr & 0x8000:
        n.sr &= ~0x8000
        if not cpu.step():
            return stop(dev, 0x10)
        return stop(dev, 0x24)
    for _ in range(MAX_STEPS):
        if not cpu.step():
            return stop(dev, 0x10)
        for address, enabled, _installed in n.breakpoints:
            if enabled and address == dev.pc:
                return stop(dev, 0x80)
    return None  # still running


@command(11)
def get_breakpoints(dev, packet):
    n = nubmod.nub(dev)
    return bytes([0x8B, 0]) + b"".join(struct.pack(">IBB", *bp) for bp in n.breakpoints)


@command(12)
def set_breakpoints(dev, packet):
    n = nubmod.nub(dev)
    n.breakpoints = [struct.unpack_from(">IBB", packet.body, 2 + 6 * i) for i in range(6)]
    dev.record("breakpoints " + " ".join("%08X" % a for a, e, _ in n.breakpoints if a and e))
    return bytes([0x8C, 0])


@command(13)
def toggle_dbg_breaks(dev, packet):
    r = run_state(dev)
    r.user_breaks_disabled ^= 1
    return bytes([0x8D, 0, r.user_breaks_disabled, 0])


@command(16)
def get_trap_breaks(dev, packet):
    return bytes([0x90, 0]) + struct.pack(">5H", *run_state(dev).trap_breaks)


@command(17)
def set_trap_breaks(dev, packet):
    r = run_state(dev)
    r.trap_breaks = list(struct.unpack_from(">5H", packet.body, 2))
    dev.record("trapbreaks " + " ".join("%04X" % t for t in r.trap_breaks))
    return bytes([0x91, 0])


@command(20)
def get_trap_conditions(dev, packet):
    r = run_state(dev)
    if r.no_conditions:
        dev.record("conditions unanswered")
        return None
    return bytes([0x94, 0]) + struct.pack(">5H", *r.conditions)


@command(21)
def set_trap_conditions(dev, packet):
    r = run_state(dev)
    if r.no_conditions:
        dev.record("conditions unanswered")
        return None
    r.conditions = list(struct.unpack_from(">5H", packet.body, 2))
    return bytes([0x95, 0])


# The control "noconditions" makes a device without trap conditions.
_control = device.COMMANDS[nubmod.CONTROL]


def control(dev, packet):
    if bytes(packet.body[2:]).startswith(b"noconditions"):
        run_state(dev).no_conditions = True
        return None
    return _control(dev, packet)


device.COMMANDS[nubmod.CONTROL] = control
