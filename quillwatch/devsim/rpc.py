"""Remote OS calls (command 10): decodes the request, logs it, and answers from a scripted trap table.

A request body is: 10, 0, u16 trap, u32 length, u32 A0, u16 parameter count, then parameters in the
order sent (the OS function's last argument first), each u8 by-reference flag, u8 size, the data
and a pad byte when the size is odd. The reply has the same layout with D0 and A0 filled and the
data of by-reference parameters replaced by the results.

The script (JSON) holds what the handlers answer from:
  {"default": {"d0": 0, "a0": 0},           for traps without a handler
   "handlers": true,                        false answers every trap with the default
   "features": {"psys:1": 83886080},        creator:number -> value
   "cards": [{"name": "...", "manuf": "...", "version": 1, "crDate": 0, "romSize": 0,
              "ramSize": 0, "freeBytes": 0,
              "heaps": [{"id": 0, "ptr": 4096, "size": 32768, "flags": 1, "free": 100, "max": 80}]}],
   "databases": [{"card": 0, "name": "...", "id": 4660, "type": "DATA", "creator": "memo",
                  "attributes": 0, "version": 1}]}
Each request is logged as "rpc TTTT" followed by one "r"/"v", size, ":" and hex data per parameter.
"""
import json
import struct

import device

HANDLERS = {}
trap = device.registrar(HANDLERS)


class Param:
    def __init__(self, by_ref, size, data):
        self.by_ref, self.size, self.data = by_ref, size, bytearray(data)

    def u(self):
        return int.from_bytes(self.data, "big")

    def set(self, value):
        self.data[:] = value.to_bytes(self.size, "big")

    def text(self):
        return bytes(self.data).split(b"\0", 1)[0].decode("latin-1")


def fourcc(text):
    return struct.unpack(">I", text.encode("latin-1"))[0]


def parse(body):
    trap_no, _length, a0, count = struct.unpack_from(">HIIH", body, 2)
    params, pos = [], 14
    for _ in range(count):
        by_ref, size = body[pos], body[pos + 1]
        params.append(Param(by_ref, size, body[pos + 2:pos + 2 + size]))
        pos += 2 + size + (size & 1)
    return trap_no, params


def build(trap_no, d0, a0, params):
    out = bytearray(struct.pack(">BBHIIH", 0x8A, 0, trap_no, d0 & 0xFFFFFFFF, a0 & 0xFFFFFFFF, len(params)))
    for p in params:
        out += bytes([p.by_ref, p.size]) + bytes(p.data) + (b"\0" if p.size & 1 else b"")
    return bytes(out)


def load_script(dev, path):
    with open(path) as f:
        dev.extensions["script"] = json.load(f)


def script(dev):
    return dev.extensions.setdefault("script", {})


@device.command(10)
def remote_call(dev, packet):
    trap_no, params = parse(packet.body)
    dev.record(" ".join(["rpc %04X" % trap_no] + [
        "%s%d:%s" % ("r" if p.by_ref else "v", p.size, bytes(p.data).hex()) for p in params]))
    if trap_no in (0xA08B, 0xA08C):
        return None  # the device restarts without answering
    handler = HANDLERS.get(trap_no) if script(dev).get("handlers", True) else None
    if handler:
        d0, a0 = handler(dev, params)
    else:
        default = script(dev).get("default", {})
        d0, a0 = default.get("d0", 0), default.get("a0", 0)
    return build(trap_no, d0, a0, params)


# Features: FtrGet(creator, number, valueP), FtrSet(creator, number, value), FtrUnregister.
ftrErrNoSuchFeature = 0x0C02


def feature_key(creator, number):
    return "%s:%d" % (struct.pack(">I", creator).decode("latin-1"), number)


@trap(0xA27B)
def ftr_get(dev, p):
    value = script(dev).setdefault("features", {}).get(feature_key(p[2].u(), p[1].u()))
    if value is None:
        return ftrErrNoSuchFeature, 0
    p[0].set(value)
    return 0, 0


@trap(0xA27C)
def ftr_set(dev, p):
    script(dev).setdefault("features", {})[feature_key(p[2].u(), p[1].u())] = p[0].u()
    return 0, 0


@trap(0xA27A)
def ftr_unregister(dev, p):
    found = script(dev).setdefault("features", {}).pop(feature_key(p[1].u(), p[0].u()), None)
    return (0 if found is not None else ftrErrNoSuchFeature), 0


# Memory ranges: HwrMemReadable / HwrMemWritable answer the readable bytes from an address.
@trap(0xA23E)
def hwr_mem_readable(dev, p):
    return dev.memory.readable(p[0].u()), 0


@trap(0xA23D)
def hwr_mem_writable(dev, p):
    return dev.memory.readable(p[0].u()), 0


# Cards and heaps.
def cards(dev):
    return script(dev).get("cards", [])


def heap(dev, heap_id):
    for card in cards(dev):
        for h in card.get("heaps", []):
            if h["id"] == heap_id:
                return h
    return None


@trap(0xA03A)
def mem_num_cards(dev, p):
    return len(cards(dev)), 0


@trap(0xA004)
def mem_card_info(dev, p):
    # Sent: freeBytesP, ramSizeP, romSizeP, crDateP, versionP, manufNameP, cardNameP, cardNo.
    n = p[7].u()
    if n >= len(cards(dev)):
        return 0x0101, 0
    c = cards(dev)[n]
    for param, key in zip(p[:5], ("freeBytes", "ramSize", "romSize", "crDate", "version")):
        if param.by_ref:
            param.set(c.get(key, 0))
    for param, key in ((p[5], "manuf"), (p[6], "name")):
        if param.by_ref:
            param.data[:] = c.get(key, "").encode("latin-1")[:31].ljust(32, b"\0")
    return 0, 0


@trap(0xA007)
def mem_num_heaps(dev, p):
    n = p[0].u()
    return (len(cards(dev)[n].get("heaps", [])) if n < len(cards(dev)) else 0), 0


@trap(0xA009)
def mem_heap_id(dev, p):
    card, index = p[1].u(), p[0].u()
    heaps = cards(dev)[card].get("heaps", []) if card < len(cards(dev)) else []
    return (heaps[index]["id"] if index < len(heaps) else 0xFFFF), 0


@trap(0xA00A)
def mem_heap_ptr(dev, p):
    h = heap(dev, p[0].u())
    return 0, (h["ptr"] if h else 0)


@trap(0xA00C)
def mem_heap_size(dev, p):
    h = heap(dev, p[0].u())
    return (h["size"] if h else 0), 0


@trap(0xA00D)
def mem_heap_flags(dev, p):
    h = heap(dev, p[0].u())
    return (h.get("flags", 0) if h else 0), 0


@trap(0xA00B)
def mem_heap_free_bytes(dev, p):
    h = heap(dev, p[2].u())
    if not h:
        return 0x0102, 0
    if p[0].by_ref:
        p[0].set(h.get("max", 0))
    if p[1].by_ref:
        p[1].set(h.get("free", 0))
    return 0, 0


# Databases.
def databases(dev, card=None):
    return [d for d in script(dev).get("databases", []) if card is None or d.get("card", 0) == card]


dmErrCantFind = 0x0205


@trap(0xA043)
def dm_num_databases(dev, p):
    return len(databases(dev, p[0].u())), 0


@trap(0xA044)
def dm_get_database(dev, p):
    dbs = databases(dev, p[1].u())
    index = p[0].u()
    return (dbs[index]["id"] if index < len(dbs) else 0), 0


@trap(0xA045)
def dm_find_database(dev, p):
    name = p[0].text()
    for d in databases(dev, p[1].u()):
        if d["name"] == name:
            return d["id"], 0
    script(dev)["lastErr"] = dmErrCantFind
    return 0, 0


@trap(0xA04E)
def dm_get_last_err(dev, p):
    return script(dev).get("lastErr", 0), 0


@trap(0xA046)
def dm_database_info(dev, p):
    # Sent: creatorP, typeP, sortInfoIDP, appInfoIDP, modNumP, bckUpDateP, modDateP, crDateP,
    # versionP, attributesP, nameP, dbID, cardNo.
    for d in databases(dev, p[12].u()):
        if d["id"] == p[11].u():
            values = [fourcc(d.get("creator", "    ")), fourcc(d.get("type", "    ")), 0, 0,
                      d.get("modNum", 0), 0, 0, d.get("crDate", 0), d.get("version", 0),
                      d.get("attributes", 0)]
            for param, value in zip(p[:10], values):
                if param.by_ref:
                    param.set(value)
            if p[10].by_ref:
                p[10].data[:] = d["name"].encode("latin-1")[:31].ljust(32, b"\0")
            return 0, 0
    return dmErrCantFind, 0


# Kernel information: SysKernelInfo(record of 64 bytes). The caller puts the kind at 4 (0 task,
# 2 semaphore, 3 timer) and the ID at 6 (0: the first item); the answer fills the item's fields,
# its ID at 6 and the next item's ID at 10 (0 after the last). The script's "kernel" holds
# {"tasks": [...], "semaphores": [...], "timers": [...]}, each item a dict of the fields below.
KERNEL_LAYOUT = {
    0: ("tasks", [("id", 6, 4), ("tag", 14, 4), ("status", 18, 4), ("timer", 22, 4), ("timeSlice", 26, 4),
                  ("priority", 34, 2), ("attributes", 36, 2), ("pendingCalls", 38, 2), ("sender", 40, 4),
                  ("exchange", 44, 4), ("tcb", 48, 4), ("stackP", 52, 4), ("stackStart", 56, 4),
                  ("stackSize", 60, 4)]),
    2: ("semaphores", [("id", 6, 4), ("tag", 14, 4), ("initValue", 22, 2), ("curValue", 24, 2),
                       ("nesting", 26, 2), ("owner", 28, 4)]),
    3: ("timers", [("id", 6, 4), ("tag", 14, 4), ("ticksLeft", 18, 4), ("period", 22, 4), ("proc", 26, 4)]),
}


@trap(0xA0BD)
def sys_kernel_info(dev, p):
    record = p[0].data
    kind = struct.unpack_from(">H", record, 4)[0]
    wanted = struct.unpack_from(">I", record, 6)[0]
    if kind not in KERNEL_LAYOUT:
        return 0x0502, 0
    name, fields = KERNEL_LAYOUT[kind]
    items = script(dev).get("kernel", {}).get(name, [])
    index = 0 if wanted == 0 else next((i for i, it in enumerate(items) if it["id"] == wanted), None)
    if index is None or index >= len(items):
        return 0x0502, 0
    item = items[index]
    for field, offset, size in fields:
        value = item.get(field, 0)
        if field == "tag":
            value = fourcc(value) if isinstance(value, str) else value
        record[offset:offset + size] = (value & ((1 << (8 * size)) - 1)).to_bytes(size, "big")
    following = items[index + 1]["id"] if index + 1 < len(items) else 0
    record[10:14] = following.to_bytes(4, "big")
    return 0, 0
