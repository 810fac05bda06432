// Card, system, debugging and host-control commands of the shell.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "quillwatch/engine/shell/Hobgobs.h"
#include "quillwatch/engine/shell/ShellInternal.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"

namespace quillwatch {

namespace {

bool PrvCard(int argc, char** argv, uint16_t* card) {
    long value;
    if (argc != 2 || !ShellDecimal(argv[1], &value) || value < 0 || value > 0xFFFF) return false;
    *card = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

void ShellCmdCardInfo(int argc, char** argv) {
    uint16_t card;
    if (ShellWantsHelp(argc, argv) || !PrvCard(argc, argv, &card)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nGet info on a memory card.");
        ShellPrintf("\nSyntax: %s <cardNo>\n", argv[0]);
        return;
    }
    char name[33] = {}, manuf[33] = {};
    uint16_t version = 0;
    uint32_t crDate = 0, romSize = 0, ramSize = 0, freeBytes = 0;
    ShellCheck(MemCardInfo(card, name, manuf, &version, &crDate, &romSize, &ramSize, &freeBytes));
    ShellPrintf("Name: %s", name);
    ShellPrintf("\nManuf: %s", manuf);
    ShellPrintf("\nVersion: %04X", version);
    ShellPrintf("\nCreationDate: %08X", crDate);
    ShellPrintf("\nROM Size: %08X", romSize);
    ShellPrintf("\nRAM Size: %08X", ramSize);
    ShellPrintf("\nFree Bytes : %08X", freeBytes);
    ShellPrintf("\nNumber of heaps: #%d", MemNumHeaps(card));
    ShellPrintf("\n");
}

void ShellCmdStoreInfo(int argc, char** argv) {
    uint16_t card;
    if (ShellWantsHelp(argc, argv) || !PrvCard(argc, argv, &card)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nGet info on a memory store.");
        ShellPrintf("\nSyntax: %s <cardNo>\n", argv[0]);
        return;
    }
    for (uint16_t store = 0; store < 2; ++store) {
        uint16_t version = 0, flags = 0;
        char name[33] = {};
        uint32_t crDate = 0, bckUpDate = 0, heapList = 0, init1 = 0, init2 = 0, dirID = 0;
        Status err = MemStoreInfo(card, store, &version, &flags, name, &crDate, &bckUpDate, &heapList, &init1, &init2,
                                  &dirID);
        ShellPrintf(store == 0 ? "\nROM Store: " : "\nRAM Store: ");
        if (err) {
            ShellPrintf("\n  ERROR!! \n\n");
            continue;
        }
        ShellPrintf("\n  version: %04X", version);
        ShellPrintf("\n  flags: %04X", flags);
        ShellPrintf("\n  name: %s", name);
        ShellPrintf("\n  creation date: %08X", crDate);
        ShellPrintf("\n  backup date: %08X", bckUpDate);
        ShellPrintf("\n  heap list offset: %08X", heapList);
        ShellPrintf("\n  init code offset1: %08X", init1);
        ShellPrintf("\n  init code offset2: %08X", init2);
        ShellPrintf("\n  database dirID: %08X", dirID);
        ShellPrintf("\n");
    }
}

void ShellCmdReset(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nReset the Memory system and format both cards.");
        ShellPrintf("\nSyntax: %s\n", argv[0]);
        return;
    }
    ShellPrintf("Resetting system\n");
    SysReset();
}

void ShellCmdColdBoot(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nCold Boot the system.");
        ShellPrintf("\nSyntax: %s\n", argv[0]);
        return;
    }
    ShellPrintf("Doing Cold, Hard Boot\n");
    SysColdBoot(0, 0, 0, 0, 0);
}

void ShellCmdPowerOn(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nPower on the system.");
        ShellPrintf("\nSyntax: %s\n", argv[0]);
        return;
    }
    ShellRefuseAttached();
}

void ShellCmdPing(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nPing the remote device.");
        ShellPrintf("\nSyntax: %s\n", argv[0]);
        return;
    }
    if (Status err = RemoteLinkCheck()) {
        ShellPrintf("\nPing failed with error 0x%04X", err);
        ShellPrintf(". Remote device not responding.\n");
        return;
    }
    ShellPrintf("\nPing successful.  Console connection alive.");
    ShellPrintf("\n");
}

void ShellCmdFeature(int argc, char** argv) {
    auto syntax = [&] {
        ShellPrintf("\nSyntax: %s [options...]", argv[0]);
        ShellPrintf("\n      -all                           : Display list of all known features");
        ShellPrintf("\n      -unreg <creator> <num>         : Unregister a feature");
        ShellPrintf("\n      -get   <creator> <num>         : Get a feature");
        ShellPrintf("\n      -set   <creator> <num> <value> : Set a feature\n");
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nDisplay, Get, Register or Unregister feature(s).");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    bool all = false, get = false, set = false, unreg = false;
    uint32_t getC = 0, setC = 0, unregC = 0, value = 0;
    long getN = 0, setN = 0, unregN = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string o = argv[i];
        if (o == "-all") {
            all = true;
        } else if (o == "-get" && i + 2 < argc && ShellFourCC(argv[i + 1], &getC) && ShellDecimal(argv[i + 2], &getN)) {
            get = true;
            i += 2;
        } else if (o == "-unreg" && i + 2 < argc && ShellFourCC(argv[i + 1], &unregC) &&
                   ShellDecimal(argv[i + 2], &unregN)) {
            unreg = true;
            i += 2;
        } else if (o == "-set" && i + 3 < argc && ShellFourCC(argv[i + 1], &setC) && ShellDecimal(argv[i + 2], &setN) &&
                   ShellHex(argv[i + 3], &value)) {
            set = true;
            i += 3;
        } else {
            syntax();
            return;
        }
    }
    if (!all && !get && !set && !unreg) {
        syntax();
        return;
    }
    if (all) {
        for (int rom = 1; rom >= 0; --rom) {
            ShellPrintf(rom ? "\nROM:  creator   number   value" : "\nRAM:  creator   number   value");
            for (uint16_t index = 0;; ++index) {
                uint32_t creator = 0, v = 0;
                uint16_t number = 0;
                if (FtrGetByIndex(index, static_cast<uint8_t>(rom), &creator, &number, &v) != 0) break;
                char text[5];
                ShellTypeToText(text, creator);
                ShellPrintf("\n      '%s'     #%-5d  %08X", text, number, v);
            }
        }
        ShellPrintf("\n");
    }
    if (unreg && FtrUnregister(unregC, static_cast<uint16_t>(unregN)) != 0) ShellPrintf("\nError unregistering feature");
    if (get) {
        uint32_t v = 0;
        if (FtrGet(getC, static_cast<uint16_t>(getN), &v) == 0) {
            ShellPrintf("\nValue = %08X\n", v);
        } else {
            ShellPrintf("\nError getting feature");
        }
    }
    if (set && FtrSet(setC, static_cast<uint16_t>(setN), value) != 0) ShellPrintf("\nError setting feature");
}

namespace {

// The kernel information record asked for with SysKernelInfo: the kind at 4 (left in device order
// by the record's converter) and the item's ID at 6 (0: the first item); the answer holds the
// item's fields and, at 10, the ID of the next item (0 after the last).
enum : uint16_t { kKernelTask = 0, kKernelSemaphore = 2, kKernelTimer = 3 };
constexpr int kKernelChainLimit = 256;  // a chain that does not end is cut here

struct KernelItem {
    uint8_t b[64];
    uint32_t L(size_t at) const {
        uint32_t v;
        std::memcpy(&v, b + at, 4);
        return v;
    }
    uint16_t W(size_t at) const {
        uint16_t v;
        std::memcpy(&v, b + at, 2);
        return v;
    }
    std::string Tag() const {
        char t[5];
        ShellTypeToText(t, L(14));
        return t;
    }
};

bool PrvKernelAsk(uint16_t kind, uint32_t id, KernelItem* item) {
    std::memset(item->b, 0, sizeof item->b);
    vantor::WriteBE16(item->b + 4, kind);
    std::memcpy(item->b + 6, &id, 4);
    return SysKernelInfo(item->b) == 0;
}

void PrvKernelError(uint16_t kind) {
    ShellPrintf(kind == kKernelSemaphore ? "\n##ERROR Getting Semaphore info\n" : "\n##ERROR Getting Kernel info\n");
}

// The status of a task from its bits, each later rule replacing the text of the earlier ones.
std::string PrvTaskStatus(uint32_t status) {
    std::string text = "Running";
    if (status & 0x1) text = "Idle: Waiting for Trigger";
    if (status & 0x2) text = "Suspended: Waiting for Resume";
    if (status & 0x4) {
        text = "Waiting on ";
        static constexpr struct {
            uint32_t bit;
            const char* what;
        } kWaits[] = {{0x100, "semaphore "}, {0x200, "event "},  {0x400, "mailbox "},
                      {0x800, "message exchange "}, {0x1000, "buffer "}, {0x8000, "timer "}};
        for (const auto& w : kWaits)
            if (status & w.bit) text += w.what;
    }
    if (status & 0x80) text = "Halted";
    return text;
}

void PrvKernelSyntax(const char* name) {
    ShellPrintf("\nSyntax: %s [options...]", name);
    ShellPrintf("\n     -sem  <id>|all  : get semaphore info");
    ShellPrintf("\n     -tmr  <id>|all  : get timer info");
    ShellPrintf("\n");
}

void PrvKernelHeader(uint16_t kind) {
    if (kind == kKernelTask) {
        ShellPrintf("\n\nTask Information:");
        ShellPrintf("\n  taskID     tag  priority  stackPtr   status");
        ShellPrintf("\n  ---------------------------------------------------------------------");
    } else if (kind == kKernelSemaphore) {
        ShellPrintf("\n\nSemaphore Information:");
        ShellPrintf("\n  semID      tag   type      initValue  curValue        nesting    ownerID ");
        ShellPrintf("\n  ---------------------------------------------------------------------------");
    } else {
        ShellPrintf("\n\nTimer Information:");
        ShellPrintf("\n  tmrID      tag   ticksLeft   period   procPtr");
        ShellPrintf("\n  ---------------------------------------------");
    }
}

void PrvKernelRow(uint16_t kind, const KernelItem& k) {
    if (kind == kKernelTask) {
        ShellPrintf("\n  %08X   %4s  #%4d    %08X   %s", k.L(6), k.Tag().c_str(), k.W(34), k.L(52),
                    PrvTaskStatus(k.L(18)).c_str());
    } else if (kind == kKernelSemaphore) {
        const auto init = static_cast<int16_t>(k.W(22));
        const auto current = static_cast<int16_t>(k.W(24));
        const bool resource = init < 0;
        const char* state = current < 0 ? "tasks wtg"
                            : resource    ? (current > 0 ? "(free)" : "(owned)")
                                          : (current > 0 ? "(avail.)" : "(unavail.)");
        ShellPrintf("\n  %08X   %4s  %s   #%-4d      #%-2d %-10s  #%-4d     %08X", k.L(6), k.Tag().c_str(),
                    resource ? "resource" : "counting", init, current, state, k.W(26), k.L(28));
    } else {
        ShellPrintf("\n  %08X   %4s    #%4d    #%4d    %08X", k.L(6), k.Tag().c_str(), static_cast<int32_t>(k.L(18)),
                    static_cast<int32_t>(k.L(22)), k.L(26));
    }
}

void PrvKernelTask(const KernelItem& k) {
    ShellPrintf("\n\nTask Info:");
    ShellPrintf("\nid =            %08X", k.L(6));
    ShellPrintf("\nnextID =        %08X", k.L(10));
    ShellPrintf("\ntag =           %s", k.Tag().c_str());
    ShellPrintf("\nstatus =        %08X, %s", k.L(18), PrvTaskStatus(k.L(18)).c_str());
    ShellPrintf("\ntimer =        #%d", static_cast<int32_t>(k.L(22)));
    ShellPrintf("\ntimeSlice =    #%d", static_cast<int32_t>(k.L(26)));
    ShellPrintf("\npriority =     #%d", k.W(34));
    ShellPrintf("\nattributes =    %04X", k.W(36));
    ShellPrintf("\npendingCalls = #%d", k.W(38));
    ShellPrintf("\nsenderTaskID =  %08X", k.L(40));
    ShellPrintf("\nmsgExchangeID = %08X", k.L(44));
    ShellPrintf("\ntcbP =          %08X", k.L(48));
    ShellPrintf("\nstackP =        %08X", k.L(52));
    ShellPrintf("\nstackStart =    %08X", k.L(56));
    ShellPrintf("\nstackSize =     %08X", k.L(60));
}

// One item, or every item following the next-ID chain from the first.
void PrvKernelShow(uint16_t kind, bool all, uint32_t id) {
    KernelItem k;
    if (!all) {
        if (!PrvKernelAsk(kind, id, &k)) return PrvKernelError(kind);
        if (kind == kKernelTask) return PrvKernelTask(k);
        PrvKernelHeader(kind);
        return PrvKernelRow(kind, k);
    }
    PrvKernelHeader(kind);
    uint32_t next = 0;
    for (int n = 0; n < kKernelChainLimit; ++n) {
        if (!PrvKernelAsk(kind, next, &k)) return PrvKernelError(kind);
        PrvKernelRow(kind, k);
        next = k.L(10);
        if (next == 0 || next == k.L(6)) break;
    }
}

}  // namespace

void ShellCmdKernelInfo(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) ShellPrintf("\nGet Kernel Info");
    if (ShellWantsHelp(argc, argv) || argc < 2) return PrvKernelSyntax(argv[0]);
    struct Request {
        uint16_t kind;
        bool all;
        uint32_t id;
    };
    std::vector<Request> requests;
    for (int i = 1; i < argc; ++i) {
        const std::string o = argv[i];
        if (o == "-all") {
            requests.insert(requests.end(), {{kKernelTask, true, 0}, {kKernelSemaphore, true, 0}, {kKernelTimer, true, 0}});
            continue;
        }
        const uint16_t kind = o == "-task" ? kKernelTask : o == "-sem" ? kKernelSemaphore : kKernelTimer;
        uint32_t id = 0;
        if ((o != "-task" && o != "-sem" && o != "-tmr") || i + 1 >= argc) return PrvKernelSyntax(argv[0]);
        const bool all = std::strcmp(argv[i + 1], "all") == 0;
        if (!all && !ShellHex(argv[i + 1], &id)) return PrvKernelSyntax(argv[0]);
        requests.push_back({kind, all, id});
        ++i;
    }
    for (const Request& r : requests) PrvKernelShow(r.kind, r.all, r.id);
}

void ShellCmdDisplayMem(int argc, char** argv) {
    uint32_t address = 0, count = 16;
    if (ShellWantsHelp(argc, argv) || argc < 2 || argc > 3 || !ShellHex(argv[1], &address) ||
        (argc == 3 && !ShellHex(argv[2], &count))) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nDisplay Memory.");
        ShellPrintf("\nSyntax: %s <addr> [<count>] \n", argv[0]);
        return;
    }
    ShellPrintf("Displaying Memory at %08x", address);
    for (int64_t left = count; left > 0; left -= 16, address += 16) {
        uint8_t line[16];
        for (int i = 0; i < 16; ++i) {
            if (RemoteReadCached(&line[i], address + i, 1) != 0) line[i] = 0;
        }
        std::string text;
        char piece[16];
        std::snprintf(piece, sizeof piece, "\n%08X: ", address);
        text += piece;
        for (int i = 0; i < 16; ++i) {
            std::snprintf(piece, sizeof piece, "%02X ", line[i]);
            text += piece;
            if (i == 7) text += "  ";
        }
        text += "     ";
        for (uint8_t c : line) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
        ShellPrintf("%s", text.c_str());
    }
    ShellPrintf("\n");
}

void ShellCmdSetByte(int argc, char** argv) {
    uint32_t address, value;
    if (ShellWantsHelp(argc, argv) || argc != 3 || !ShellHex(argv[1], &address) || !ShellHex(argv[2], &value)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nSet UInt8.");
        ShellPrintf("\nSyntax: %s <addr> <value> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellPrintf("Setting UInt8 at %08x to %02x\n", address, value & 0xFF);
    const uint8_t byte = static_cast<uint8_t>(value);
    RemoteWriteCached(address, &byte, 1);
}

void ShellCmdMemDebug(int argc, char** argv) {
    auto syntax = [&] {
        static const char* const kLines[] = {
            "\nSyntax: %s [options..] ", "\n  Shortcuts:", "\n         -full     : Full checking (slowest)",
            "\n         -partial  : Partial checking (faster)", "\n         -off      : No checking (fastest)",
            "\n  Fine Tuning:", "\n    Which heaps are checked/scrambled:",
            "\n         -a        : check/scramble ALL heaps each time",
            "\n         -a-       : check/scramble affected heap only", "\n    Heap Checking:",
            "\n         -c        : check heap(s) on some Mem calls",
            "\n         -ca       : check heap(s) on every Mem call", "\n         -c-       : turn off heap checking",
            "\n    Heap Scrambling:", "\n         -s        : scramble heap(s) on some Mem calls",
            "\n         -sa       : scramble heap(s) every Mem call", "\n         -s-       : turn off heap scramble",
            "\n    Free Chunk Checking:", "\n         -f        : check free chunk contents",
            "\n         -f-       : don't check free chunk contents", "\n    Min Dynamic Heap free space recording:",
            "\n    (Recorded in the global GMemMinDynHeapFree)",
            "\n         -min      : record minimum free space in Dynamic heap",
            "\n         -min-     : don't record minimum free space\n"};
        ShellPrintf(kLines[0], argv[0]);
        for (size_t i = 1; i < sizeof kLines / sizeof kLines[0]; ++i) ShellPrintf("%s", kLines[i]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nSet the Memory Manager debug mode.");
        syntax();
        return;
    }
    uint16_t mode = MemDebugMode();
    const uint16_t original = mode;
    for (int i = 1; i < argc; ++i) {
        const std::string o = argv[i];
        if (o == "-c") mode = static_cast<uint16_t>((mode & ~0x02) | 0x01);
        else if (o == "-ca") mode |= 0x02;
        else if (o == "-c-") mode &= static_cast<uint16_t>(~0x03);
        else if (o == "-s") mode = static_cast<uint16_t>((mode & ~0x08) | 0x04);
        else if (o == "-sa") mode |= 0x08;
        else if (o == "-s-") mode &= static_cast<uint16_t>(~0x0C);
        else if (o == "-f") mode |= 0x10;
        else if (o == "-f-") mode &= static_cast<uint16_t>(~0x10);
        else if (o == "-a") mode |= 0x20;
        else if (o == "-a-") mode &= static_cast<uint16_t>(~0x20);
        else if (o == "-min") mode |= 0x40;
        else if (o == "-min-") mode &= static_cast<uint16_t>(~0x40);
        else if (o == "-full") mode |= 0x3A;
        else if (o == "-partial") mode = static_cast<uint16_t>((mode & ~0x20) | 0x1A);
        else if (o == "-off") mode = 0;
        else {
            syntax();
            return;
        }
    }
    if (mode != original || argc > 1) ShellCheck(MemSetDebugMode(mode));
    mode = MemDebugMode();
    ShellPrintf("Current mode = %04X", mode);
    ShellPrintf(mode & 0x20 ? "\n  Every heap checked/scrambled per call" : "\n  Only Affected heap checked/scrambled per call");
    ShellPrintf(mode & 0x02   ? "\n  Heap(s) checked on EVERY Mem call"
                : mode & 0x01 ? "\n  Heap(s) checked on SOME Mem calls"
                              : "\n  Heap checking OFF");
    ShellPrintf(mode & 0x08   ? "\n  Heap(s) scrambled on EVERY Mem call"
                : mode & 0x04 ? "\n  Heap(s) scrambled on SOME Mem calls"
                              : "\n  Heap scramble OFF");
    ShellPrintf(mode & 0x10 ? "\n  Free chunk contents filled & checked\n" : "\n  Free chunk contents NOT checked");
    if (mode & 0x40) {
        // The recorded minimum lives in the device's system globals (the u32 at byte 614).
        uint32_t minimum = 0;
        ErrTry([&] { minimum = RemoteReadLong(614); });
        ShellPrintf("\n  Minimum dynamic heap free space recording on: ");
        ShellPrintf("\n  Current value: %u bytes\n", minimum);
    } else {
        ShellPrintf("\n  Minimum dynamic heap free space recording OFF\n");
    }
}

void ShellCmdGdb(int argc, char** argv) {
    auto syntax = [&] {
        ShellPrintf("\nSyntax: %s [options..] ", argv[0]);
        ShellPrintf("\n         -enable   : Enable");
        ShellPrintf("\n         -disable  : Disable");
        ShellPrintf("\n");
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nEnable/Disable Gdb debugging");
        syntax();
        return;
    }
    constexpr uint32_t kCreator = 0x67646253;  // 'gdbS'
    constexpr uint32_t kEnabled = 0x12BEEF34;
    uint8_t flags = 0;
    RemoteReadCached(&flags, 0x101, 1);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-enable") == 0) {
            FtrSet(kCreator, 0, kEnabled);
            flags |= 1;
            RemoteWriteCached(0x101, &flags, 1);
        } else if (std::strcmp(argv[i], "-disable") == 0) {
            FtrUnregister(kCreator, 0);
            flags &= static_cast<uint8_t>(~1);
            RemoteWriteCached(0x101, &flags, 1);
        } else {
            syntax();
            return;
        }
    }
    uint32_t value = 0;
    if (FtrGet(kCreator, 0, &value) == 0 && value == kEnabled && (flags & 1)) {
        ShellPrintf("Gdb is enabled\n");
    } else {
        ShellPrintf("Gdb is disabled\n");
    }
}

void ShellCmdAlarmDump(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nDisplay the alarm table\n");
        ShellPrintf("Syntax: %s\n", argv[0]);
        return;
    }
    ShellPrintf("\n                              alarm            card");
    ShellPrintf("\n    date    time     ref     seconds     dbID    #     quiet  triged noted");
    ShellPrintf("\n-----------------------------------------------------------------------");
    const uint32_t handle = RemoteReadLong(RemoteReadLong(0x17C));
    const uint32_t table = MemHandleLock(handle);
    uint8_t countBytes[2];
    if (RemoteReadCached(countBytes, table, 2) != 0) ErrThrow(0xFFFFFFFF);
    const uint16_t count = vantor::ReadBE16(countBytes);
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t e[16];
        if (RemoteReadCached(e, table + 2 + 16u * i, sizeof e) != 0) ErrThrow(0xFFFFFFFF);
        const uint32_t ref = vantor::ReadBE32(e), seconds = vantor::ReadBE32(e + 4), db = vantor::ReadBE32(e + 8);
        const uint16_t card = vantor::ReadBE16(e + 12);
        const uint8_t flags = e[14];
        // Seconds since 1904-01-01; a leap year every fourth year.
        uint32_t days = seconds / 86400;
        int year = 1904;
        for (;;) {
            const uint32_t length = year % 4 == 0 ? 366 : 365;
            if (days < length) break;
            days -= length;
            ++year;
        }
        static const int kMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int month = 0;
        for (; month < 11; ++month) {
            const uint32_t length = static_cast<uint32_t>(kMonth[month] + (month == 1 && year % 4 == 0 ? 1 : 0));
            if (days < length) break;
            days -= length;
        }
        const uint32_t rest = seconds % 86400;
        ShellPrintf("\n%2d/%2d/%2d  ", month + 1, static_cast<int>(days) + 1, year);
        ShellPrintf("%02d:%02d  ", static_cast<int>(rest / 3600), static_cast<int>(rest % 3600 / 60));
        ShellPrintf("%08X  %08X  %08X  ", ref, seconds, db);
        ShellPrintf("%04X  ", card);
        ShellPrintf("%5s  %5s  %5s", flags & 1 ? "true" : "false", flags & 2 ? "true" : "false",
                    flags & 4 ? "true" : "false");
    }
    ShellPrintf("\n");
    MemPtrUnlock(table);
}

void ShellCmdLog(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv) || argc > 2) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nStart/Stop logging to a file.");
        ShellPrintf("\nSyntax: %s [<filename>]\n", argv[0]);
        return;
    }
    // This system keeps no console log file: no log is ever open, and opening one succeeds.
    if (argc == 1) {
        ShellPrintf("\nNo Log file currently open.\n");
    } else {
        ShellPrintf("\n\n========= Now Logging to file: %s... ============\n\n", argv[1]);
    }
}

void ShellCmdHobgob(int argc, char** argv) {
    long number = 0, until = -1;
    if (ShellWantsHelp(argc, argv) || argc > 3 || (argc >= 2 && (!ShellDecimal(argv[1], &number) || number < 0 ||
                                                                 number > 0xFFFF)) ||
        (argc == 3 && (!ShellDecimal(argv[2], &until) || until < 0))) {
        ShellPrintf("\nActivate a particular hobgob until a certain event.");
        ShellPrintf("\nSyntax: %s [num] [until]\n", argv[0]);
        return;
    }
    CHobgobs& h = HobgobsClient();
    if (argc == 1) {
        uint16_t n;
        uint32_t count, limit;
        h.GetStatus(&n, &count, &limit);
        ShellPrintf("hobgob %u is at action %u.\n", n, count);
        return;
    }
    h.Start(static_cast<uint16_t>(number), argc == 3 ? static_cast<uint32_t>(until) : 0xFFFFFFFF);
}

void ShellCmdHobgobOff(int argc, char** argv) {
    if (argc > 1) {
        ShellPrintf("\nDectivate the current hobgob.");
        ShellPrintf("\nSyntax: %s\n", argv[0]);
        return;
    }
    CHobgobs& h = HobgobsClient();
    uint32_t count;
    h.GetStatus(nullptr, &count, nullptr);
    h.SetUntil(count);
}

}  // namespace quillwatch
