"""The simulated device: a memory image and the debugger commands it answers.

Commands are registered by number with @command(N); a handler takes (device, packet) and returns
the reply body, or None for no reply. Later features add handlers in their own modules.
"""
import struct



def registrar(table):
    """A decorator maker: @name(N) files the decorated handler in table under N."""
    def register_as(number):
        def register(handler):
            table[number] = handler
            return handler
        return register
    return register_as


COMMANDS = {}
command = registrar(COMMANDS)


class Memory:
    """Sparse device memory: regions of bytes at base addresses; unmapped bytes read as 0."""

    def __init__(self):
        self.regions = []  # (base, bytearray)

    def map(self, base, data):
        self.regions.append((base, bytearray(data)))

    def read(self, address, count):
        out = bytearray(count)
        for base, data in self.regions:
            lo, hi = max(address, base), min(address + count, base + len(data))
            if lo < hi:
                out[lo - address:hi - address] = data[lo - base:hi - base]
        return bytes(out)

    def write(self, address, payload):
        for base, data in self.regions:
            lo, hi = max(address, base), min(address + len(payload), base + len(data))
            if lo < hi:
                data[lo - base:hi - base] = payload[lo - address:hi - address]

    def readable(self, address):
        """Bytes readable from address to the end of its region (0 when unmapped)."""
        for base, data in self.regions:
            if base <= address < base + len(data):
                return base + len(data) - address
        return 0


class Device:
    def __init__(self, memory, log=None):
        self.memory = memory
        self.log = log  # a file that receives one line per decoded request
        self.pc = 0
        self.extensions = {}  # state that feature modules keep

    def record(self, text):
        if self.log:
            self.log.write(text + "\n")
            self.log.flush()

    def answer(self, packet):
        if not packet.body:
            return None
        handler = COMMANDS.get(packet.body[0])
        return handler(self, packet) if handler else None


@command(0)
def get_state(device, packet):
    body = bytearray(188)
    body[0] = 0x80
    struct.pack_into(">I", body, 6 + 68, device.pc)
    return bytes(body)


@command(1)
def read_memory(device, packet):
    address, count = struct.unpack_from(">IH", packet.body, 2)
    device.record("read %08X %d" % (address, count))
    return bytes([0x81, 0]) + device.memory.read(address, count)


@command(2)
def write_memory(device, packet):
    address, count = struct.unpack_from(">IH", packet.body, 2)
    device.record("write %08X %d" % (address, count))
    device.memory.write(address, packet.body[8:8 + count])
    return bytes([0x82, 0])
