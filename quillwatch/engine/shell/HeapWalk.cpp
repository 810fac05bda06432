// The heap walk, chunk checks and fills, and the owners of chunks.
#include "quillwatch/engine/shell/HeapWalk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "common/BigEndian.h"
#include "quillwatch/engine/shell/ShellInternal.h"
#include "quillwatch/engine/shell/SysLabels.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"

namespace quillwatch {

namespace {

constexpr uint32_t kThrowQuiet = 0xFFFFFFFF;
constexpr uint32_t kMaxChunks = 100000;  // a walk that finds more has lost its way

void PrvRead(void* out, uint32_t address, uint32_t count) {
    if (RemoteReadCached(out, address, count) != 0) ErrThrow(kThrowQuiet);
}

// Holds the remote read cache for the life of a walk.
struct CacheHold {
    CacheHold() {
        RemoteCacheClear();
        RemoteCacheHold(true);
    }
    ~CacheHold() { RemoteCacheHold(false); }
};

// An owner found for a chunk's local ID.
struct Owner {
    bool resource;
    std::string database;
    uint16_t index;
    uint16_t attributes;
    uint32_t uniqueId;
    uint32_t type;
    uint16_t id;
};

// Who owns which chunk on a card: every record and resource of every database, by local ID.
std::map<uint32_t, Owner> PrvOwners(uint16_t card) {
    std::map<uint32_t, Owner> owners;
    const uint16_t count = DmNumDatabases(card);
    for (uint16_t i = 0; i < count; ++i) {
        const uint32_t id = DmGetDatabase(card, i);
        char name[33] = {};
        uint16_t attributes = 0;
        if (!id || DmDatabaseInfo(card, id, name, &attributes, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr) != 0)
            continue;
        const uint32_t db = DmOpenDatabase(card, id, 1);
        if (!db) continue;
        const uint16_t n = DmNumRecords(db);
        for (uint16_t e = 0; e < n; ++e) {
            Owner o{};
            o.database = name;
            o.index = e;
            uint32_t local = 0;
            if (attributes & 1) {
                o.resource = true;
                if (DmResourceInfo(db, e, &o.type, &o.id, &local) != 0) continue;
            } else if (DmRecordInfo(db, e, &o.attributes, &o.uniqueId, &local) != 0) {
                continue;
            }
            if (local) owners[local] = o;
        }
        DmCloseDatabase(db);
    }
    return owners;
}

// The card that holds a heap.
uint16_t PrvHeapCard(uint16_t heapId) {
    const uint16_t cards = MemNumCards();
    for (uint16_t card = 0; card < cards; ++card) {
        const uint16_t heaps = MemNumHeaps(card);
        for (uint16_t i = 0; i < heaps; ++i) {
            if (MemHeapID(card, i) == heapId) return card;
        }
    }
    return 0;
}

}  // namespace

ShellHeapInfo ShellReadHeap(uint16_t heapId) {
    ShellHeapInfo h{};
    h.address = MemHeapPtr(heapId);
    if (!h.address) {
        ShellPrintf("Unknown heap ID\n");
        ErrThrow(kThrowQuiet);
    }
    uint8_t b[20];
    PrvRead(b, h.address, sizeof b);
    h.flags = vantor::ReadBE16(b);
    h.size = vantor::ReadBE32(b + 2);
    h.firstFree = vantor::ReadBE32(b + 6);
    h.tableCount = vantor::ReadBE16(b + 12);
    h.tableLink = vantor::ReadBE32(b + 14);
    h.version = (h.flags & 0x1000) ? 5 : (h.flags & 0x2000) ? 4 : 3;
    h.firstChunk = h.address + 20 + 4u * h.tableCount;
    return h;
}

ShellChunk ShellReadChunk(const ShellHeapInfo& heap, uint32_t header) {
    uint8_t b[8];
    PrvRead(b, header, sizeof b);
    const uint32_t w0 = vantor::ReadBE32(b), w1 = vantor::ReadBE32(b + 4);
    ShellChunk c{};
    c.header = header;
    c.free = w0 & 0x80000000u;
    c.size = c.free && heap.version == 5 ? (w0 & 0x7FFFFFFF) : (w0 & 0x00FFFFFF);
    c.sizeAdj = static_cast<uint8_t>((w0 >> 24) & 0xF);
    c.lockCount = static_cast<uint8_t>(w1 >> 28);
    c.owner = static_cast<uint8_t>((w1 >> 24) & 0xF);
    c.offset = w1 & 0x00FFFFFF;
    if (!c.free && c.lockCount != 15) {
        const uint32_t unit = heap.version == 5 ? 4 : 2;
        c.handle = header - c.offset * unit;
    }
    return c;
}

uint32_t ShellHeapLargestFree(uint16_t heapId) {
    if (!MemHeapPtr(heapId)) {
        ShellPrintf("\nUnknown heap ID\n");
        return 0;
    }
    const ShellHeapInfo heap = ShellReadHeap(heapId);
    uint32_t largest = 0, at = heap.firstChunk;
    for (uint32_t n = 0; n < kMaxChunks && at < heap.address + heap.size; ++n) {
        const ShellChunk c = ShellReadChunk(heap, at);
        if (c.size == 0) break;
        if (c.free && c.size > largest) largest = c.size;
        at += c.size;
    }
    return largest > 8 ? largest - 8 : 0;
}

void ShellFillChunk(uint32_t chunk) {
    const uint32_t size = MemPtrSize(chunk);
    uint16_t value = static_cast<uint16_t>(std::rand());
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i + 1 < size; i += 2, ++value) vantor::WriteBE16(&data[i], value);
    if (size & 1) data[size - 1] = static_cast<uint8_t>(value >> 8);
    for (uint32_t done = 0; done < size; done += 512) {
        const uint32_t n = size - done < 512 ? size - done : 512;
        RemoteWriteMem(data.data() + done, chunk + done, n);
    }
}

int ShellHeapCheckChunk(uint32_t chunk, uint32_t count) {
    const uint16_t heapId = MemPtrHeapID(chunk);
    if (!MemHeapPtr(heapId)) {
        ShellPrintf("\n#ERROR: Chunk at %08X does not belong to any known heap", chunk);
        return 0;
    }
    const uint32_t size = MemPtrSize(chunk);
    if (count == 0 || count > size) count = size;
    std::vector<uint8_t> data(count);
    if (count) PrvRead(data.data(), chunk, count);
    if (count < 2) return 1;
    uint16_t expect = vantor::ReadBE16(data.data());
    for (uint32_t i = 2; i + 1 < count; i += 2) {
        ++expect;
        if (vantor::ReadBE16(&data[i]) != expect) {
            ShellPrintf("\n#ERROR: chunk data invalid at %08X", chunk + i);
            return 0;
        }
    }
    if ((count & 1) && data[count - 1] != static_cast<uint8_t>((expect + 1) >> 8)) {
        ShellPrintf("\n#ERROR: chunk data invalid at %08X", chunk + count - 1);
        return 0;
    }
    return 1;
}

uint32_t ShellPtrToLocalID(uint32_t p) {
    if (DbgIsNewRemoteOS()) return 0;
    static bool known0 = false, known1 = false;
    static uint32_t base0 = 0, base1 = 0;
    if (!known0) {
        base0 = MemLocalIDToGlobal(256, 0) - 256;
        known0 = true;
    }
    if (p < 0x20000000) return p - base0;
    if (!known1) {
        base1 = MemLocalIDToGlobal(256, 1) - 256;
        known1 = true;
    }
    return p >= base1 + 0x10000000 ? p : p - base1;
}

uint32_t ShellHandleToLocalID(uint32_t h) {
    return ShellPtrToLocalID(h) | 1;
}

bool ShellHeapDump(uint16_t heapId, int mode, uint32_t start, bool checkContents, bool labels) {
    bool sound = true;
    const uint16_t savedMode = MemDebugMode();
    MemSetDebugMode(0);
    uint32_t thrown = ErrTry([&] {
        CacheHold hold;
        const ShellHeapInfo heap = ShellReadHeap(heapId);
        std::map<uint32_t, Owner> owners;
        if (labels && mode == 2) {
            owners = PrvOwners(PrvHeapCard(heapId));
            ShellSysTableBuild();
        }
        if (mode >= 1) {
            ShellPrintf("Displaying Heap ID: %04X, mapped to %08X", heapId, heap.address);
            if (heap.version >= 4) ShellPrintf(", first free: %08X", heap.address + 8 + 2 * heap.firstFree);
            if (heap.version == 3) ShellPrintf(", first free: %08X", heap.address + 2 * heap.firstFree);
        }
        if (mode == 2) {
            ShellPrintf("\n                             req    act   lck                       resType/  #resID/");
            ShellPrintf("\n start    MemHandle localID  size   size  cnt own flags type  index attr ctg  uniqueID name");
            ShellPrintf("\n%s", std::string(92, '-').c_str());
        }
        if (heap.flags & ~0xF001) {
            ShellPrintf("\n#ERROR: Invalid flags field in heap header");
            sound = false;
        }
        if (heap.size & 1) {
            ShellPrintf("\n#ERROR: Invalid size field in heap header");
            ErrThrow(kThrowQuiet);
        }
        if (start != 0xFFFFFFFF && heap.version < 4) {
            ShellPrintf("\n#ERROR: Can only specify heap start on v4 and v5 heaps");
            ErrThrow(kThrowQuiet);
        }
        const uint32_t end = heap.address + heap.size;
        uint32_t at = start != 0xFFFFFFFF ? start : heap.firstChunk;
        uint32_t ownerTotals[16] = {};
        uint32_t freeCount = 0, freeBytes = 0, movable = 0, movableBytes = 0, fixed = 0, fixedBytes = 0;
        for (uint32_t n = 0;; ++n) {
            if (n >= kMaxChunks || at + 8 > end) {
                ShellPrintf("\n#ERROR: Invalid chunk size");
                ErrThrow(kThrowQuiet);
            }
            const ShellChunk c = ShellReadChunk(heap, at);
            if (c.size == 0) break;
            if (c.size < 8 || (c.size & 1) || at + c.size > end) {
                ShellPrintf("\n#ERROR: Invalid chunk size");
                ErrThrow(kThrowQuiet);
            }
            if (c.free && (c.lockCount || c.owner)) {
                ShellPrintf("\n#ERROR: Free block with non-zero lockOwner");
                ErrThrow(kThrowQuiet);
            }
            if (c.handle) {
                uint8_t mp[4];
                PrvRead(mp, c.handle, 4);
                if (vantor::ReadBE32(mp) != at + 8) {
                    ShellPrintf("\n#ERROR: Invalid Handle field");
                    ErrThrow(kThrowQuiet);
                }
            }
            const bool nonMovable = !c.free && c.lockCount == 15;
            if (c.free) {
                ++freeCount;
                freeBytes += c.size;
            } else {
                ownerTotals[c.owner] += c.size;
                if (nonMovable) {
                    ++fixed;
                    fixedBytes += c.size;
                } else {
                    ++movable;
                    movableBytes += c.size;
                }
                if (checkContents && !ShellHeapCheckChunk(at + 8, 0)) sound = false;
            }
            if (mode == 2) {
                const char mark = c.free ? ' ' : nonMovable ? '\xA5' : c.lockCount ? '*' : '-';
                std::string line;
                char piece[96];
                std::snprintf(piece, sizeof piece, "\n%c%08X", mark, at);
                line += piece;
                if (c.handle) {
                    std::snprintf(piece, sizeof piece, " %08X", c.handle & 0x7FFFFFFF);
                } else {
                    std::snprintf(piece, sizeof piece, " --------");
                }
                line += piece;
                const uint32_t local = c.handle ? ShellHandleToLocalID(c.handle) : ShellPtrToLocalID(at + 8);
                char lock[8], own[8];
                std::snprintf(lock, sizeof lock, "#%u", c.lockCount);
                std::snprintf(own, sizeof own, "#%u", c.owner);
                std::snprintf(piece, sizeof piece, " %08X %06X %06X %3s %3s", local, c.size - 8 - c.sizeAdj, c.size, lock,
                              own);
                line += piece;
                std::snprintf(piece, sizeof piece, "    %c%c", c.free ? 'F' : 'f', nonMovable ? 'm' : 'M');
                line += piece;
                if (c.free) {
                    const uint32_t unit = heap.version == 5 ? 4 : 2;
                    const uint32_t next = at + c.offset * unit + (heap.version >= 4 ? 8 : 0);
                    std::snprintf(piece, sizeof piece, "--> %08X", next);
                    line += piece;
                    if (next == end - 4) line += " (Last)";
                } else if (auto o = owners.find(local); o != owners.end()) {
                    const Owner& w = o->second;
                    char index[12];
                    std::snprintf(index, sizeof index, "#%u", w.index);
                    if (w.resource) {
                        char t[5];
                        ShellTypeToText(t, w.type);
                        for (char& ch : t) {
                            if (ch && (ch < 0x20 || ch > 0x7E)) ch = '.';
                        }
                        char id[12];
                        std::snprintf(id, sizeof id, "#%u", w.id);
                        std::snprintf(piece, sizeof piece, " %-5s %5s %c%c%c%c      %8s %s", "Rsrc", index, t[0], t[1],
                                      t[2], t[3], id, w.database.c_str());
                    } else {
                        char ctg[8];
                        std::snprintf(ctg, sizeof ctg, "%u", w.attributes & 0x0F);
                        std::snprintf(piece, sizeof piece, " %-5s %5s %c%c%c%c %3s  %8X %s", "Rcrd", index,
                                      w.attributes & 0x80 ? 'X' : 'x', w.attributes & 0x40 ? 'D' : 'd',
                                      w.attributes & 0x20 ? 'B' : 'b', w.attributes & 0x10 ? 'P' : 'p', ctg, w.uniqueId,
                                      w.database.c_str());
                    }
                    line += piece;
                } else if (labels) {
                    char label[kShellSysLabelSize];
                    ShellSysLabel(at + 8, label);
                    if (label[0]) line += std::string(" ") + label;
                }
                ShellPrintf("%s", line.c_str());
            }
            at += c.size;
        }
        uint8_t terminator[2];
        PrvRead(terminator, at + 4, 2);
        if (vantor::ReadBE16(terminator) != 0) {
            ShellPrintf("\n##ERROR: Invalid heap terminator");
            ErrThrow(kThrowQuiet);
        }
        if (mode >= 1) {
            ShellPrintf("\n%s", std::string(92, '-').c_str());
            ShellPrintf("\nHeap Summary: ");
            ShellPrintf("\n  flags:              %04X", heap.flags);
            ShellPrintf("\n  size:               %06X", heap.size);
            ShellPrintf("\n  numHandles:         #%-4d", heap.tableCount);
            ShellPrintf("\n  Free Chunks:        #%-4d   (%06X bytes)", freeCount, freeBytes);
            ShellPrintf("\n  Movable Chunks:     #%-4d   (%06X bytes)", movable, movableBytes);
            ShellPrintf("\n  Non-Movable Chunks: #%-4d   (%06X bytes)", fixed, fixedBytes);
            for (int o = 0; o < 16; ++o) {
                if (ownerTotals[o]) ShellPrintf("\n  Owner %2i:           %06X bytes", o, ownerTotals[o]);
            }
            ShellPrintf("\n");
        }
    });
    MemSetDebugMode(savedMode);
    return thrown == 0 && sound;
}

void ShellFindChunkOwner(uint32_t address, ShellChunkOwner* out) {
    *out = ShellChunkOwner{};
    CacheHold hold;
    const uint16_t cards = MemNumCards();
    for (uint16_t card = cards; card-- > 0;) {
        const uint16_t heaps = MemNumHeaps(card);
        for (uint16_t i = 0; i < heaps; ++i) {
            const uint16_t heapId = MemHeapID(card, i);
            const uint32_t base = MemHeapPtr(heapId), size = MemHeapSize(heapId);
            if (!base || address < base || address >= base + size) continue;
            const ShellHeapInfo heap = ShellReadHeap(heapId);
            uint32_t at = heap.firstChunk;
            for (uint32_t n = 0; n < kMaxChunks; ++n) {
                if (at + 8 > base + size) ErrThrow(kThrowQuiet);
                const ShellChunk c = ShellReadChunk(heap, at);
                if (c.size < 8) ErrThrow(kThrowQuiet);
                if (address >= at + 8 && address < at + c.size) {
                    if (c.free) return;
                    out->chunkFound = true;
                    out->chunk = at + 8;
                    out->card = card;
                    out->heapId = heapId;
                    const uint32_t local = c.handle ? ShellHandleToLocalID(c.handle) : ShellPtrToLocalID(at + 8);
                    const std::map<uint32_t, Owner> owners = PrvOwners(card);
                    if (auto o = owners.find(local); o != owners.end()) {
                        const Owner& w = o->second;
                        out->kind = w.resource ? ShellChunkOwner::Resource : ShellChunkOwner::Record;
                        std::snprintf(out->database, sizeof out->database, "%s", w.database.c_str());
                        out->index = w.index;
                        out->resType = w.type;
                        out->resId = w.id;
                        out->attributes = w.attributes;
                    }
                    return;
                }
                at += c.size;
            }
            return;
        }
    }
}

uint32_t PrvFindResourceTry(uint32_t address, ShellChunkOwner* out) {
    return ErrTry([&] { ShellFindChunkOwner(address, out); });
}

uint32_t ShellLocateResourceTry(const char* database, uint32_t type, uint16_t id, uint32_t* resource) {
    *resource = 0;
    return ErrTry([&] {
        if (!database || !*database) {
            ErrDisplayFileLineMsg("ShellCmds/ShellCmdUtil", __LINE__, "Must specify database name");
            ErrThrow(kThrowQuiet);
        }
        int bestCard = -1;
        uint32_t bestId = 0;
        uint16_t bestVersion = 0;
        for (uint16_t card = MemNumCards(); card-- > 0;) {
            const uint32_t dbId = DmFindDatabase(card, database);
            uint16_t version = 0;
            if (!dbId || DmDatabaseInfo(card, dbId, nullptr, nullptr, &version, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr) != 0)
                continue;
            if (bestCard < 0 || version >= bestVersion) {
                bestCard = card;
                bestId = dbId;
                bestVersion = version;
            }
        }
        if (bestCard < 0) ErrThrow(DmGetLastErr() ? DmGetLastErr() : kThrowQuiet);
        const uint32_t db = DmOpenDatabase(static_cast<uint16_t>(bestCard), bestId, 1);
        if (!db) ErrThrow(DmGetLastErr());
        const uint16_t index = DmFindResource(db, type, id, 0);
        const uint32_t h = index == 0xFFFF ? 0 : DmGetResourceIndex(db, index);
        if (h) {
            *resource = MemHandleLock(h);
            MemHandleUnlock(h);
        }
        DmCloseDatabase(db);
        if (!h) ErrThrow(DmGetLastErr() ? DmGetLastErr() : kThrowQuiet);
    });
}

}  // namespace quillwatch
