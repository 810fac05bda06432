"""A device store for the shell's commands (--store): one card with a storage heap laid out in
device memory as the device keeps it, and databases of records and resources in its chunks.

Heap (format 4, flags 0x2000) at HEAP_BASE: header {u16 flags, u32 size, u32 first free, 2 bytes,
u16 master pointer count, u32 next table, 2 bytes}, the master pointers (u32 each) from offset 20,
then the chunks: an 8-byte header {u32 free bit 31, size adjustment bits 27-24, size bits 23-0
(header included); u32 lock count bits 31-28 (15: non-movable), owner bits 27-24, master pointer
distance below the header in 2-byte units bits 23-0} in front of the data; a zero header ends the
heap. Local IDs are card-relative addresses (card 0 starts at 0); a handle's local ID has bit 0 set.

Databases live in Python records whose records and resources are chunks of the heap; every call of
the memory and data managers that the shell makes is answered (remote calls, command 10) from them.
"""
import struct

import device
import rpc
from rpc import trap

HEAP_ID = 1
HEAP_BASE = 0x30000
HEAP_SIZE = 0x8000
TABLE_ENTRIES = 64
FIRST_CHUNK = HEAP_BASE + 20 + 4 * TABLE_ENTRIES
NON_MOVABLE = 15

memErrNotEnoughSpace = 0x0102
memErrInvalidParam = 0x0103
memErrChunkLocked = 0x0104
dmErrCantFind = 0x0205
dmErrIndexOutOfRange = 0x0202
dmErrAlreadyExists = 0x0219
dmErrInvalidParam = 0x0203


class Chunk:
    def __init__(self, start, size, free=True):
        self.start, self.size, self.free = start, size, free
        self.lock, self.owner, self.adj, self.mp = 0, 0, 0, None

    @property
    def data(self):
        return self.start + 8


class Store:
    def __init__(self, dev):
        self.dev = dev
        self.chunks = [Chunk(FIRST_CHUNK, HEAP_BASE + HEAP_SIZE - 8 - FIRST_CHUNK)]
        self.table = [0] * TABLE_ENTRIES  # master pointers
        self.dbs = []
        self.open = []  # [access pointer, db, mode]
        self.debug_mode = 0
        self.last_err = 0
        dev.memory.map(HEAP_BASE, bytes(HEAP_SIZE))
        self.write()

    # ---- heap ----
    def write(self):
        mem = self.dev.memory
        mem.write(HEAP_BASE, struct.pack(">HIIHHIH", 0x2000, HEAP_SIZE, 0, 0, TABLE_ENTRIES, 0, 0))
        mem.write(HEAP_BASE + 20, b"".join(struct.pack(">I", v) for v in self.table))
        for c in self.chunks:
            w0 = (0x80000000 if c.free else 0) | (c.adj << 24) | c.size
            if c.free:
                w1 = 0
            else:
                lock = NON_MOVABLE if c.mp is None else c.lock
                offset = (c.start - c.mp) // 2 if c.mp is not None else 0
                w1 = (lock << 28) | (c.owner << 24) | offset
            mem.write(c.start, struct.pack(">II", w0, w1))
        mem.write(HEAP_BASE + HEAP_SIZE - 8, bytes(8))

    def by_data(self, p):
        for c in self.chunks:
            if not c.free and c.data == p:
                return c
        return None

    def by_handle(self, h):
        for c in self.chunks:
            if not c.free and c.mp == h:
                return c
        return None

    def chunk(self, p):
        """A chunk named by its data address or its handle."""
        return self.by_data(p) or self.by_handle(p)

    def alloc(self, size, movable, owner=0, locked=False):
        need = (8 + size + 1) & ~1
        adj = need - 8 - size
        for i, c in enumerate(self.chunks):
            if c.free and c.size >= need:
                if c.size - need >= 16:
                    self.chunks.insert(i + 1, Chunk(c.start + need, c.size - need))
                    c.size = need
                c.free, c.owner, c.adj, c.lock, c.mp = False, owner & 0xF, adj, 1 if locked else 0, None
                if movable:
                    slot = self.table.index(0) if 0 in self.table else None
                    if slot is None:
                        c.free = True
                        return None
                    c.mp = HEAP_BASE + 20 + 4 * slot
                    self.table[slot] = c.data
                self.dev.memory.write(c.data, bytes(size))
                self.write()
                return c
        return None

    def free(self, c):
        if c.mp is not None:
            self.table[(c.mp - HEAP_BASE - 20) // 4] = 0
        c.free, c.mp, c.lock, c.owner, c.adj = True, None, 0, 0, 0
        merged = []
        for x in self.chunks:
            if merged and merged[-1].free and x.free:
                merged[-1].size += x.size
            else:
                merged.append(x)
        self.chunks = merged
        self.write()

    def resize(self, c, size):
        old = self.dev.memory.read(c.data, c.size - 8 - c.adj)
        n = self.alloc(size, False, c.owner)
        if n is None:
            return None
        self.dev.memory.write(n.data, old[:size])
        if c.mp is not None:
            n.mp, n.lock = c.mp, c.lock
            self.table[(c.mp - HEAP_BASE - 20) // 4] = n.data
            c.mp = None
        self.free(c)
        self.write()
        return n

    def data_size(self, c):
        return c.size - 8 - c.adj

    def handle_or_ptr(self, c):
        return c.mp if c.mp is not None else c.data

    def local_id(self, c):
        return (c.mp | 1) if c.mp is not None else c.data

    # ---- databases ----
    def find_db(self, dbid):
        for d in self.dbs:
            if d["id"] == dbid:
                return d
        return None

    def find_open(self, access):
        for o in self.open:
            if o[0] == access:
                return o
        return None

    def entries(self, access):
        o = self.find_open(access)
        if not o:
            return None, None
        d = o[1]
        return d, (d["resources"] if d["attributes"] & 1 else d["records"])


def store(dev):
    return dev.extensions.get("store")


def enable(dev):
    dev.extensions["store"] = Store(dev)


# Each handler answers from the store when --store was given, else from the scripted handler.
def live(number):
    scripted = rpc.HANDLERS.get(number)

    def register(handler):
        def answer(dev, p):
            if store(dev) is None:
                return scripted(dev, p) if scripted else (0, 0)
            return handler(store(dev), p)
        rpc.HANDLERS[number] = answer
        return handler
    return register


@live(0xA03A)
def mem_num_cards(s, p):
    return 1, 0


@live(0xA007)
def mem_num_heaps(s, p):
    return (1 if p[0].u() == 0 else 0), 0


@live(0xA009)
def mem_heap_id(s, p):
    return (HEAP_ID if p[0].u() == 0 and p[1].u() == 0 else 0xFFFF), 0


@live(0xA00A)
def mem_heap_ptr(s, p):
    return 0, (HEAP_BASE if p[0].u() == HEAP_ID else 0)


@live(0xA00C)
def mem_heap_size(s, p):
    return (HEAP_SIZE if p[0].u() == HEAP_ID else 0), 0


@live(0xA00D)
def mem_heap_flags(s, p):
    return (0x2001 if p[0].u() == HEAP_ID else 0), 0


@live(0xA00B)
def mem_heap_free_bytes(s, p):
    if p[2].u() != HEAP_ID:
        return memErrInvalidParam, 0
    frees = [c.size for c in s.chunks if c.free]
    if p[0].by_ref:
        p[0].set(max(frees, default=0))
    if p[1].by_ref:
        p[1].set(sum(frees))
    return 0, 0


@live(0xA00E)
def mem_heap_compact(s, p):
    return 0, 0


@live(0xA038)
def mem_heap_scramble(s, p):
    return 0, 0


@live(0xA037)
def mem_set_debug_mode(s, p):
    s.debug_mode = p[0].u()
    return 0, 0


@live(0xA03B)
def mem_debug_mode(s, p):
    return s.debug_mode, 0


@live(0xA011)
def mem_chunk_new(s, p):
    heap, size, attr = p[2].u(), p[1].u(), p[0].u()
    if heap != HEAP_ID:
        return memErrInvalidParam, 0
    movable = not attr & 0x200
    c = s.alloc(size, movable, attr & 0xF, locked=bool(attr & 0x100))
    if c is None:
        return memErrNotEnoughSpace, 0
    return 0, (c.data if (not movable or attr & 0x100) else c.mp)


@live(0xA012)
def mem_chunk_free(s, p):
    c = s.chunk(p[0].u())
    if c is None:
        return memErrInvalidParam, 0
    s.free(c)
    return 0, 0


@live(0xA014)
def mem_ptr_recover_handle(s, p):
    c = s.by_data(p[0].u())
    return 0, (c.mp or 0) if c else 0


@live(0xA015)
def mem_ptr_flags(s, p):
    c = s.by_data(p[0].u())
    return ((0 if c.mp is not None else 0x8000) if c else 0), 0


@live(0xA016)
def mem_ptr_size(s, p):
    c = s.by_data(p[0].u())
    return (s.data_size(c) if c else 0), 0


@live(0xA017)
def mem_ptr_owner(s, p):
    c = s.by_data(p[0].u())
    return (c.owner if c else 0), 0


@live(0xA018)
def mem_ptr_heap_id(s, p):
    c = s.by_data(p[0].u())
    return (HEAP_ID if c else 0xFFFF), 0


@live(0xA01B)
def mem_ptr_set_owner(s, p):
    c = s.by_data(p[1].u())
    if c is None:
        return memErrInvalidParam, 0
    c.owner = p[0].u() & 0xF
    s.write()
    return 0, 0


@live(0xA01C)
def mem_ptr_resize(s, p):
    c = s.by_data(p[1].u())
    if c is None:
        return memErrInvalidParam, 0
    if c.mp is None and (8 + p[0].u() + 1) & ~1 > c.size:
        return memErrNotEnoughSpace, 0
    if c.mp is None:
        c.adj = c.size - 8 - p[0].u()
        s.write()
        return 0, 0
    return (0 if s.resize(c, p[0].u()) else memErrNotEnoughSpace), 0


@live(0xA035)
def mem_ptr_unlock(s, p):
    c = s.by_data(p[0].u())
    if c and c.mp is not None and c.lock:
        c.lock -= 1
        s.write()
    return 0, 0


@live(0xA01F)
def mem_handle_lock_count(s, p):
    c = s.by_handle(p[0].u())
    return (c.lock if c else 0), 0


@live(0xA02D)
def mem_handle_size(s, p):
    c = s.chunk(p[0].u())
    return (s.data_size(c) if c else 0), 0


@live(0xA02C)
def mem_handle_flags(s, p):
    return 0, 0


@live(0xA02E)
def mem_handle_owner(s, p):
    c = s.by_handle(p[0].u())
    return (c.owner if c else 0), 0


@live(0xA02F)
def mem_handle_heap_id(s, p):
    return (HEAP_ID if s.chunk(p[0].u()) else 0xFFFF), 0


@live(0xA020)
def mem_handle_to_local_id(s, p):
    c = s.chunk(p[0].u())
    return (s.local_id(c) if c else 0), 0


@live(0xA021)
def mem_handle_lock(s, p):
    c = s.chunk(p[0].u())
    if c is None:
        return 0, 0
    if c.mp is not None and c.lock < 14:
        c.lock += 1
        s.write()
    return 0, c.data


@live(0xA022)
def mem_handle_unlock(s, p):
    c = s.by_handle(p[0].u())
    if c is None:
        return memErrInvalidParam, 0
    if c.lock == 0:
        return memErrChunkLocked, 0
    c.lock -= 1
    s.write()
    return 0, 0


# Sent: local ID, card (the card first).
@live(0xA023)
def mem_local_id_to_global(s, p):
    return 0, p[1].u() & ~1


@live(0xA024)
def mem_local_id_kind(s, p):
    return p[0].u() & 1, 0


@live(0xA025)
def mem_local_id_to_ptr(s, p):
    local = p[1].u()
    c = s.by_handle(local & ~1) if local & 1 else s.by_data(local)
    return 0, (c.data if c else 0)


@live(0xA036)
def mem_local_id_to_locked_ptr(s, p):
    local = p[1].u()
    c = s.by_handle(local & ~1) if local & 1 else s.by_data(local)
    if c and c.mp is not None:
        c.lock += 1
        s.write()
    return 0, (c.data if c else 0)


# ---- databases ----
def name_of(param):
    return param.text()


@live(0xA041)
def dm_create_database(s, p):
    name = name_of(p[3])
    if any(d["name"] == name for d in s.dbs):
        return dmErrAlreadyExists, 0
    header = s.alloc(80, False, 0)
    if header is None:
        return memErrNotEnoughSpace, 0
    s.dbs.append({"id": header.data, "header": header, "name": name, "creator": p[2].u(), "type": p[1].u(),
                  "attributes": 1 if p[0].u() else 0, "version": 0, "crDate": 0, "modDate": 0, "bckDate": 0,
                  "modNum": 0, "appInfo": 0, "sortInfo": 0, "records": [], "resources": []})
    return 0, 0


@live(0xA042)
def dm_delete_database(s, p):
    d = s.find_db(p[0].u())
    if d is None:
        return dmErrCantFind, 0
    for e in d["records"] + d["resources"]:
        c = s.chunk(e["h"]) if e["h"] else None
        if c:
            s.free(c)
    s.free(d["header"])
    s.dbs.remove(d)
    return 0, 0


@live(0xA043)
def dm_num_databases(s, p):
    return len(s.dbs), 0


@live(0xA044)
def dm_get_database(s, p):
    i = p[0].u()
    return (s.dbs[i]["id"] if i < len(s.dbs) else 0), 0


@live(0xA045)
def dm_find_database(s, p):
    for d in s.dbs:
        if d["name"] == name_of(p[0]):
            return d["id"], 0
    s.last_err = dmErrCantFind
    return 0, 0


@live(0xA04E)
def dm_get_last_err(s, p):
    return s.last_err, 0


INFO_FIELDS = ["creator", "type", "sortInfo", "appInfo", "modNum", "bckDate", "modDate", "crDate", "version",
               "attributes"]


@live(0xA046)
def dm_database_info(s, p):
    d = s.find_db(p[11].u())
    if d is None:
        return dmErrCantFind, 0
    for param, key in zip(p[:10], INFO_FIELDS):
        if param.by_ref:
            param.set(d[key])
    if p[10].by_ref:
        p[10].data[:] = d["name"].encode("latin-1")[:31].ljust(32, b"\0")
    return 0, 0


@live(0xA047)
def dm_set_database_info(s, p):
    d = s.find_db(p[11].u())
    if d is None:
        return dmErrCantFind, 0
    for param, key in zip(p[:10], INFO_FIELDS):
        if param.by_ref:
            d[key] = param.u()
    if p[10].by_ref:
        d["name"] = name_of(p[10])
    return 0, 0


@live(0xA048)
def dm_database_size(s, p):
    d = s.find_db(p[3].u())
    if d is None:
        return dmErrCantFind, 0
    entries = d["resources"] if d["attributes"] & 1 else d["records"]
    data = sum(s.data_size(s.chunk(e["h"])) for e in entries if e["h"])
    for param, value in zip(p[:3], (data, data + 80 + 10 * len(entries), len(entries))):
        if param.by_ref:
            param.set(value)
    return 0, 0


@live(0xA049)
def dm_open_database(s, p):
    d = s.find_db(p[1].u())
    if d is None:
        s.last_err = dmErrCantFind
        return 0, 0
    c = s.alloc(16, False, 0)
    s.open.insert(0, [c.data, d, p[0].u()])
    return 0, c.data


@live(0xA04A)
def dm_close_database(s, p):
    o = s.find_open(p[0].u())
    if o is None:
        return dmErrInvalidParam, 0
    s.open.remove(o)
    s.free(s.by_data(o[0]))
    return 0, 0


@live(0xA04B)
def dm_next_open_database(s, p):
    cur = p[0].u()
    if cur == 0:
        return 0, (s.open[0][0] if s.open else 0)
    for i, o in enumerate(s.open):
        if o[0] == cur:
            return 0, (s.open[i + 1][0] if i + 1 < len(s.open) else 0)
    return 0, 0


@live(0xA04C)
def dm_open_database_info(s, p):
    o = s.find_open(p[5].u())
    if o is None:
        return dmErrInvalidParam, 0
    # Sent: resDBP, cardNoP, modeP, openCountP, dbIDP, dbP.
    for param, value in zip(p[:5], (o[1]["attributes"] & 1, 0, o[2], 1, o[1]["id"])):
        if param.by_ref:
            param.set(value)
    return 0, 0


@live(0xA04F)
def dm_num_records(s, p):
    d, entries = s.entries(p[0].u())
    return (len(entries) if entries is not None else 0), 0


@live(0xA067)
def dm_num_resources(s, p):
    return dm_num_records(s, p)


def entry_at(s, access, index):
    d, entries = s.entries(access)
    if entries is None or index >= len(entries):
        return None, None
    return d, entries[index]


@live(0xA050)
def dm_record_info(s, p):
    # Sent: chunkIDP, uniqueIDP, attrP, index, dbP.
    d, e = entry_at(s, p[4].u(), p[3].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    c = s.chunk(e["h"]) if e["h"] else None
    for param, value in zip(p[:3], (s.local_id(c) if c else 0, e["unique"], e["attr"])):
        if param.by_ref:
            param.set(value)
    return 0, 0


@live(0xA051)
def dm_set_record_info(s, p):
    # Sent: uniqueIDP, attrP, index, dbP.
    d, e = entry_at(s, p[3].u(), p[2].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    if p[0].by_ref:
        e["unique"] = p[0].u() & 0xFFFFFF
    if p[1].by_ref:
        e["attr"] = p[1].u() & 0xFF
    return 0, 0


def new_unique(d):
    return max([e["unique"] for e in d["records"]], default=0) + 1


def insert_record(s, access, at, handle):
    d, entries = s.entries(access)
    at = min(at, len(entries))
    entries.insert(at, {"h": handle, "attr": 0x40, "unique": new_unique(d)})
    return at


@live(0xA055)
def dm_new_record(s, p):
    # Sent: size, atP, dbP.
    d, entries = s.entries(p[2].u())
    if entries is None:
        s.last_err = dmErrInvalidParam
        return 0, 0
    c = s.alloc(p[0].u(), True, 0)
    if c is None:
        s.last_err = memErrNotEnoughSpace
        return 0, 0
    c.lock = 1  # busy until released
    s.write()
    at = insert_record(s, p[2].u(), p[1].u() if p[1].by_ref else 0xFFFF, c.mp)
    if p[1].by_ref:
        p[1].set(at)
    return 0, c.mp


@live(0xA052)
def dm_attach_record(s, p):
    # Sent: oldHP, newH, atP, dbP.
    d, entries = s.entries(p[3].u())
    if entries is None:
        return dmErrInvalidParam, 0
    at = p[2].u() if p[2].by_ref else 0xFFFF
    handle = p[1].u()
    if p[0].by_ref and at < len(entries):
        p[0].set(entries[at]["h"])
        entries[at]["h"] = handle
        return 0, 0
    at = insert_record(s, p[3].u(), at, handle)
    if p[2].by_ref:
        p[2].set(at)
    return 0, 0


@live(0xA053)
def dm_detach_record(s, p):
    # Sent: oldHP, index, dbP.
    d, e = entry_at(s, p[2].u(), p[1].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    d["records"].remove(e)
    if p[0].by_ref:
        p[0].set(e["h"])
    return 0, 0


@live(0xA059)
def dm_new_handle(s, p):
    c = s.alloc(p[0].u(), True, 0)
    if c is None:
        s.last_err = memErrNotEnoughSpace
        return 0, 0
    return 0, c.mp


@live(0xA05B)
def dm_query_record(s, p):
    d, e = entry_at(s, p[1].u(), p[0].u())
    return 0, (e["h"] if e else 0)


@live(0xA05D)
def dm_resize_record(s, p):
    # Sent: newSize, index, dbP.
    d, e = entry_at(s, p[2].u(), p[1].u())
    c = s.chunk(e["h"]) if e and e["h"] else None
    if c is None:
        return dmErrIndexOutOfRange, 0
    n = s.resize(c, p[0].u())
    return 0, (n.mp if n else 0)


@live(0xA05E)
def dm_release_record(s, p):
    d, e = entry_at(s, p[2].u(), p[1].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    c = s.chunk(e["h"]) if e["h"] else None
    if c and c.lock:
        c.lock -= 1
        s.write()
    if p[0].u():
        e["attr"] |= 0x40
    return 0, 0


@live(0xA056)
def dm_remove_record(s, p):
    d, e = entry_at(s, p[1].u(), p[0].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    if e["h"]:
        s.free(s.chunk(e["h"]))
    d["records"].remove(e)
    return 0, 0


@live(0xA057)
def dm_delete_record(s, p):
    d, e = entry_at(s, p[1].u(), p[0].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    if e["h"]:
        s.free(s.chunk(e["h"]))
    e["h"] = 0
    e["attr"] |= 0x80
    return 0, 0


@live(0xA054)
def dm_move_record(s, p):
    # Sent: to, from, dbP.
    d, entries = s.entries(p[2].u())
    if entries is None or p[1].u() >= len(entries) or p[0].u() > len(entries):
        return dmErrIndexOutOfRange, 0
    e = entries.pop(p[1].u())
    entries.insert(min(p[0].u(), len(entries)), e)
    return 0, 0


@live(0xA07B)
def dm_find_record_by_id(s, p):
    # Sent: indexP, uniqueID, dbP.
    d, entries = s.entries(p[2].u())
    for i, e in enumerate(entries or []):
        if e["unique"] == p[1].u():
            if p[0].by_ref:
                p[0].set(i)
            return 0, 0
    return dmErrCantFind, 0


@live(0xA077)
def dm_str_copy(s, p):
    # Sent: text, offset, recordP.
    text = bytes(p[0].data).split(b"\0", 1)[0] + b"\0"
    s.dev.memory.write(p[2].u() + p[1].u(), text)
    return 0, 0


# ---- resources ----
@live(0xA06C)
def dm_new_resource(s, p):
    # Sent: size, resID, resType, dbP.
    d, entries = s.entries(p[3].u())
    if entries is None:
        s.last_err = dmErrInvalidParam
        return 0, 0
    c = s.alloc(p[0].u(), True, 0)
    if c is None:
        s.last_err = memErrNotEnoughSpace
        return 0, 0
    entries.append({"h": c.mp, "type": p[2].u(), "id": p[1].u()})
    return 0, c.mp


@live(0xA06A)
def dm_attach_resource(s, p):
    # Sent: resID, resType, newH, dbP.
    d, entries = s.entries(p[3].u())
    if entries is None:
        return dmErrInvalidParam, 0
    entries.append({"h": p[2].u(), "type": p[1].u(), "id": p[0].u()})
    return 0, 0


@live(0xA068)
def dm_resource_info(s, p):
    # Sent: chunkLocalIDP, resIDP, resTypeP, index, dbP.
    d, e = entry_at(s, p[4].u(), p[3].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    c = s.chunk(e["h"]) if e["h"] else None
    for param, value in zip(p[:3], (s.local_id(c) if c else 0, e["id"], e["type"])):
        if param.by_ref:
            param.set(value)
    return 0, 0


@live(0xA069)
def dm_set_resource_info(s, p):
    # Sent: resIDP, resTypeP, index, dbP.
    d, e = entry_at(s, p[3].u(), p[2].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    if p[0].by_ref:
        e["id"] = p[0].u()
    if p[1].by_ref:
        e["type"] = p[1].u()
    return 0, 0


@live(0xA06E)
def dm_get_resource_index(s, p):
    d, e = entry_at(s, p[1].u(), p[0].u())
    return 0, (e["h"] if e else 0)


@live(0xA065)
def dm_find_resource(s, p):
    # Sent: resH, resID, resType, dbP.
    d, entries = s.entries(p[3].u())
    for i, e in enumerate(entries or []):
        if e["type"] == p[2].u() and e["id"] == p[1].u():
            return i, 0
    return 0xFFFF, 0


@live(0xA05F)
def dm_get_resource(s, p):
    # Sent: resID, type: searched in the open resource databases.
    for _access, d, _mode in s.open:
        for e in d["resources"]:
            if e["type"] == p[1].u() and e["id"] == p[0].u():
                return 0, e["h"]
    return 0, 0


@live(0xA061)
def dm_release_resource(s, p):
    return 0, 0


@live(0xA062)
def dm_resize_resource(s, p):
    # Sent: newSize, resourceH.
    c = s.chunk(p[1].u())
    if c is None:
        return 0, 0
    n = s.resize(c, p[0].u())
    for _access, d, _mode in s.open:
        for e in d["resources"]:
            if e["h"] == p[1].u() and n:
                e["h"] = n.mp
    return 0, (n.mp if n else 0)


@live(0xA06D)
def dm_remove_resource(s, p):
    d, e = entry_at(s, p[1].u(), p[0].u())
    if e is None:
        return dmErrIndexOutOfRange, 0
    if e["h"]:
        s.free(s.chunk(e["h"]))
    d["resources"].remove(e)
    return 0, 0
