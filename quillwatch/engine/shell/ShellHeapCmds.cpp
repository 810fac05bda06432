// Heap and chunk commands of the shell.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "quillwatch/engine/shell/HeapWalk.h"
#include "quillwatch/engine/shell/ShellInternal.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"

namespace quillwatch {

namespace {

bool PrvHeapId(const char* word, uint16_t* heap) {
    uint32_t v;
    if (!ShellHex(word, &v) || v > 0xFFFF) return false;
    *heap = static_cast<uint16_t>(v);
    return true;
}

// The chunk argument: a pointer, or with -card a local ID (a handle's chunk is read through it).
bool PrvChunkArgs(int argc, char** argv, int plainWanted, uint32_t* plain, bool* check) {
    int plains = 0;
    long card = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-card") == 0) {
            if (i + 1 >= argc || !ShellDecimal(argv[i + 1], &card) || card < 0) return false;
            ++i;
        } else if (check && std::strcmp(argv[i], "-c") == 0) {
            *check = true;
        } else if (plains < plainWanted && ShellHex(argv[i], &plain[plains])) {
            ++plains;
        } else {
            return false;
        }
    }
    if (plains != plainWanted) return false;
    if (card >= 0) {
        const uint32_t local = plain[0];
        const uint32_t global = MemLocalIDToGlobal(local, static_cast<uint16_t>(card));
        plain[0] = MemLocalIDKind(local) == 1 ? RemoteReadLong(global) & 0x7FFFFFFF : global;
    }
    return true;
}

void PrvCardLines(bool pointer) {
    ShellPrintf("\n         -card <cardNo>  : card number when local ID specified ");
    ShellPrintf(pointer ? "\n                         : instead of chunk ptr \n"
                        : "\n                         : instead of chunk handle \n");
}

// HT, HChk, HeapDump: the heap ID and -c (contents), -l (no labels, HeapDump only).
void PrvWalkCommand(int argc, char** argv, int mode) {
    uint16_t heap = 0;
    bool contents = false, labels = true, ok = argc >= 2 && PrvHeapId(argv[1], &heap);
    for (int i = 2; ok && i < argc; ++i) {
        if (std::strcmp(argv[i], "-c") == 0) contents = true;
        else if (mode == 2 && std::strcmp(argv[i], "-l") == 0) labels = false;
        else ok = false;
    }
    if (ShellWantsHelp(argc, argv) || !ok) {
        if (mode == 2) {
            if (ShellWantsHelp(argc, argv)) {
                ShellPrintf("\nDo a Heap Dump.");
                ShellPrintf("\n\nFirst column symbols:");
                ShellPrintf("\n  '\245' non-movable,   '-' movable,   '*' locked,      ' ' free");
                ShellPrintf("\nFlags column:");
                ShellPrintf("\n  'm' non-movable,   'M' movable,   'f' allocated,   'F' free\n");
            }
            ShellPrintf("\nSyntax: %s <hex heapID> [options]", argv[0]);
            ShellPrintf("\n         -l    : Don't label chunks\n");
        } else {
            if (ShellWantsHelp(argc, argv)) ShellPrintf(mode == 1 ? "\nDo a Heap Total." : "\nDo a Heap Check.");
            ShellPrintf("\nSyntax: %s <hex heapID> ", argv[0]);
            ShellPrintf("\n");
        }
        return;
    }
    const bool sound = ShellHeapDump(heap, mode, 0xFFFFFFFF, contents, labels);
    if (!sound) {
        ShellPrintf(mode == 2 ? "\n#### ERROR: Heap Corrupted!! #####\n" : "#### ERROR: Heap Corrupted!! #####\n");
    } else if (mode == 0) {
        ShellPrintf("Heap OK\n");
    }
}

}  // namespace

void ShellCmdHeapList(int argc, char** argv) {
    long card;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !ShellDecimal(argv[1], &card) || card < 0) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nList all the heaps on a memory card.");
        ShellPrintf("\nSyntax: %s <cardNo>\n", argv[0]);
        return;
    }
    ShellPrintf("%8s %8s %8s %8s %8s %8s %8s", "index", "heapID", "heapPtr", "size", "free", "maxFree", "flags");
    ShellPrintf("\n------------------------------------------------------------");
    const uint16_t heaps = MemNumHeaps(static_cast<uint16_t>(card));
    for (uint16_t i = 0; i < heaps; ++i) {
        const uint16_t id = MemHeapID(static_cast<uint16_t>(card), i);
        const uint32_t p = MemHeapPtr(id);
        if (!p) break;
        uint32_t free = 0, max = 0;
        if (MemHeapFreeBytes(id, &free, &max) != 0) break;
        ShellPrintf("\n%8d     %04X %08X %08X %08X %08X     %04X", i, id, p, MemHeapSize(id), free, max,
                    MemHeapFlags(id));
    }
    ShellPrintf("\n");
}

void ShellCmdHeapDump(int argc, char** argv) {
    PrvWalkCommand(argc, argv, 2);
}
void ShellCmdHeapTotal(int argc, char** argv) {
    PrvWalkCommand(argc, argv, 1);
}
void ShellCmdHeapCheck(int argc, char** argv) {
    PrvWalkCommand(argc, argv, 0);
}

void ShellCmdHeapCompact(int argc, char** argv) {
    uint16_t heap;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !PrvHeapId(argv[1], &heap)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nCompact a memory heap.");
        ShellPrintf("\nSyntax: %s <hex heapID>\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellCheck(MemHeapCompact(heap));
    ShellPrintf("Heap Compacted\n");
}

void ShellCmdHeapScramble(int argc, char** argv) {
    uint16_t heap;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !PrvHeapId(argv[1], &heap)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nDo a Heap Scramble.");
        ShellPrintf("\nSyntax: %s <hex heapID>\n", argv[0]);
        return;
    }
    const uint16_t mode = MemDebugMode();
    MemSetDebugMode(0);
    const Status err = MemHeapScramble(heap);
    MemSetDebugMode(mode);
    ShellPrintf(err ? "Error scrambling heap\n" : "Heap Scrambled\n");
}

void ShellCmdHeapFill(int argc, char** argv) {
    uint16_t heap = 0;
    uint32_t keep = 0;
    const bool ok = (argc == 2 || argc == 3) && PrvHeapId(argv[1], &heap) && (argc == 2 || ShellHex(argv[2], &keep));
    if (ShellWantsHelp(argc, argv) || !ok) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nAllocate all free byte, except for number of bytes specified.\n");
        ShellPrintf("\nSyntax: %s <hex heapID> [free bytes]\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    const uint32_t reserved = keep ? MemChunkNew(heap, keep, 0x202) : 0;
    for (int guard = 0; guard < 100000; ++guard) {
        const uint32_t largest = ShellHeapLargestFree(heap);
        if (!largest) break;
        if (!MemChunkNew(heap, std::min<uint32_t>(largest, 65505), 0x0002)) break;
    }
    if (reserved) MemChunkFree(reserved);
}

void ShellCmdNew(int argc, char** argv) {
    auto syntax = [&] {
        ShellPrintf("\nSyntax: %s <hex heapID> <hex chunkSize> [options...] ", argv[0]);
        ShellPrintf("\n         -n           : Non-Movable ");
        ShellPrintf("\n         -c           : Fill Contents ");
        ShellPrintf("\n         -o <ownerID> : set owner (0-14) ");
        ShellPrintf("\n         -near <ptr>  : In same heap as <ptr> ");
        ShellPrintf("\n                      :    so <heapID> ignored ");
        ShellPrintf("\n         -lock        : pre-lock \n");
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nAllocate a new chunk in a heap.");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    uint16_t heap;
    uint32_t size;
    if (argc < 3 || !PrvHeapId(argv[1], &heap) || !ShellHex(argv[2], &size)) {
        syntax();
        return;
    }
    uint16_t attr = 0;
    bool fill = false;
    for (int i = 3; i < argc; ++i) {
        long owner;
        uint32_t near;
        if (std::strcmp(argv[i], "-n") == 0) attr |= 0x200;
        else if (std::strcmp(argv[i], "-lock") == 0) attr |= 0x100;
        else if (std::strcmp(argv[i], "-c") == 0) fill = true;
        else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc && ShellDecimal(argv[i + 1], &owner) && owner >= 0 &&
                 owner < 15) {
            attr = static_cast<uint16_t>(attr | owner);
            ++i;
        } else if (std::strcmp(argv[i], "-near") == 0 && i + 1 < argc && ShellHex(argv[i + 1], &near)) {
            heap = MemPtrHeapID(near);
            ++i;
        } else if (ShellHex(argv[i], &size)) {
            continue;
        } else {
            syntax();
            return;
        }
    }
    const bool nonMovable = attr & 0x200, locked = attr & 0x100;
    ShellPrintf("Allocating $%x byte chunk%s%s", size, nonMovable ? ", NonMovable" : ", Movable",
                locked ? ", Pre-Locked" : "");
    const uint32_t result = MemChunkNew(heap, size, attr);
    uint32_t p, h = 0;
    if (!nonMovable && !locked) {
        h = result;
        p = h ? MemHandleLock(h) : 0;
    } else {
        p = result;
        if (p && !nonMovable) h = MemPtrRecoverHandle(p);
    }
    if (!p) {
        ShellPrintf(" => #### Error Occurred!! ####\n");
        return;
    }
    if (fill) ShellFillChunk(p);
    ShellPrintf(" => ptr = %08X", p & 0x7FFFFFFF);
    if (h) {
        ShellPrintf(", Handle = %08X", h & 0x7FFFFFFF);
        if (!locked) MemHandleUnlock(h);
    }
    ShellPrintf("\n");
}

void ShellCmdFree(int argc, char** argv) {
    uint32_t chunk[1];
    if (ShellWantsHelp(argc, argv) || !PrvChunkArgs(argc, argv, 1, chunk, nullptr)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nDispose of a chunk.");
        ShellPrintf("\nSyntax: %s <hex chunk ptr/ID> [options..] ", argv[0]);
        PrvCardLines(true);
        return;
    }
    if (ShellRefuseAttached()) return;
    // Only a chunk the heap knows is freed.
    if (!MemPtrSize(chunk[0])) {
        ShellPrintf("\n#ERROR: %08x is not an allocated chunk\n", chunk[0]);
        return;
    }
    ShellCheck(MemChunkFree(chunk[0]));
    ShellPrintf("Freed Chunk: %08x\n", chunk[0]);
}

void ShellCmdLock(int argc, char** argv) {
    uint32_t chunk[1];
    const bool unlock = ShellStrCaseCompare(argv[0], "Unlock") == 0;
    if (ShellWantsHelp(argc, argv) || !PrvChunkArgs(argc, argv, 1, chunk, nullptr)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf(unlock ? "\nUnlock a chunk." : "\nLock a chunk.");
        ShellPrintf("\nSyntax: %s <hex chunk handle/ID> [options..] ", argv[0]);
        PrvCardLines(false);
        return;
    }
    if (ShellRefuseAttached()) return;
    if (unlock) {
        ShellCheck(MemHandleUnlock(chunk[0]));
        ShellPrintf("Chunk %08X Unlocked\n", chunk[0]);
    } else {
        ShellPrintf("Pointer = %08x\n", MemHandleLock(chunk[0]));
    }
}

void ShellCmdUnlock(int argc, char** argv) {
    ShellCmdLock(argc, argv);
}

void ShellCmdInfo(int argc, char** argv) {
    uint32_t chunk = 0;
    long card = -1;
    bool ok = argc >= 2 && ShellHex(argv[1], &chunk);
    if (ok && argc == 4) ok = std::strcmp(argv[2], "-card") == 0 && ShellDecimal(argv[3], &card) && card >= 0;
    else if (argc != 2) ok = false;
    if (ShellWantsHelp(argc, argv) || !ok) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nGet info on a chunk.");
        ShellPrintf("\nSyntax: %s <hex chunk ptr/ID> [options..] ", argv[0]);
        PrvCardLines(true);
        return;
    }
    if (card < 0) {
        ShellPrintf("Info on Chunk at: %08X", chunk);
        ShellPrintf("\nFlags: %04X", MemPtrFlags(chunk));
        ShellPrintf("\nSize: %04X", MemPtrSize(chunk));
        ShellPrintf("\nOwner: #%d", MemPtrOwner(chunk));
        ShellPrintf("\nHeap ID: %04X\n", MemPtrHeapID(chunk));
        return;
    }
    const uint32_t h = MemLocalIDToGlobal(chunk, static_cast<uint16_t>(card));
    const uint16_t flags = MemHandleFlags(h), owner = MemHandleOwner(h), lockCount = MemHandleLockCount(h),
                   heap = MemHandleHeapID(h);
    const uint32_t size = MemHandleSize(h);
    const uint32_t p = MemHandleLock(h);
    MemHandleUnlock(h);
    ShellPrintf("Info on Chunk at: %08X", p);
    ShellPrintf("\nHandle: %08X", h);
    ShellPrintf("\nFlags: %04X", flags);
    ShellPrintf("\nSize: %04X", size);
    ShellPrintf("\nOwner: #%d", owner);
    ShellPrintf("\nLockCount: #%d", lockCount);
    ShellPrintf("\nHeap ID: %04X\n", heap);
}

void ShellCmdResize(int argc, char** argv) {
    uint32_t args[2];
    bool check = false;
    if (ShellWantsHelp(argc, argv) || !PrvChunkArgs(argc, argv, 2, args, &check)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nResize and existing Chunk.");
        ShellPrintf("\nSyntax: %s <hex chunk ptr/ID> <hex newSize> [options..] ", argv[0]);
        ShellPrintf("\n         -c              : check and fill contents");
        PrvCardLines(true);
        return;
    }
    if (ShellRefuseAttached()) return;
    const uint32_t chunk = args[0], newSize = args[1];
    const uint32_t h = MemPtrRecoverHandle(chunk);
    const uint32_t oldSize = MemPtrSize(chunk);
    ShellCheck(MemPtrResize(chunk, newSize));
    if (check) {
        const uint32_t p = h ? RemoteReadLong(h) & 0x7FFFFFFF : chunk;
        if (!ShellHeapCheckChunk(p, std::min(oldSize, newSize))) {
            ShellPrintf("\n#ERROR: Chunk contents trashed!\n");
            return;
        }
        ShellFillChunk(p);
    }
    ShellPrintf("Success!\n");
}

void ShellCmdSetOwner(int argc, char** argv) {
    uint32_t args[2];
    if (ShellWantsHelp(argc, argv) || !PrvChunkArgs(argc, argv, 2, args, nullptr)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nSet the owner of a chunk.");
        ShellPrintf("\nSyntax: %s <hex chunk ptr/ID> <owner> [options..] ", argv[0]);
        PrvCardLines(true);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellCheck(MemPtrSetOwner(args[0], static_cast<uint16_t>(args[1])));
    ShellPrintf("Success!\n");
}

}  // namespace quillwatch
