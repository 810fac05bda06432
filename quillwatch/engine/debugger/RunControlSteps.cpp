// Run control: resuming, stepping, the breakpoint table, A-trap breaks, trap addresses, stack walks
// and the device's memory ranges.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/disasm/Disassembler.h"
#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

DbgSourceHooks gDbgSourceHooks{};

namespace {

constexpr int kTempBreakpoint = 5;  // entry 6: gt and the steps
constexpr uint32_t kLowMemTrapTable = 290;
constexpr uint32_t kLowMemTrapTableId = 317;
constexpr uint32_t kLowMemTrapCount = 318;
constexpr uint32_t kLowMemLibraryTable = 320;
constexpr uint32_t kThrowQuiet = 0xFFFFFFFF;
constexpr uint16_t kMaxTraps = 0x1000;

uint16_t Word(const uint8_t* p) {
    return vantor::ReadBE16(p);
}

// Reads a big-endian value of device memory through the debugger's read windows.
bool PrvReadLong(DbgContextType* ctx, uint32_t address, uint32_t* value) {
    uint8_t bytes[4];
    if (CmdReadRemoteMemCached(ctx, bytes, address, 4, true) != 0) return false;
    *value = vantor::ReadBE32(bytes);
    return true;
}
bool PrvReadWord(DbgContextType* ctx, uint32_t address, uint16_t* value) {
    uint8_t bytes[2];
    if (CmdReadRemoteMemCached(ctx, bytes, address, 2, true) != 0) return false;
    *value = Word(bytes);
    return true;
}

// The instruction words at an address: the held ones at the stop address, else read.
bool PrvInstructionWords(DbgContextType* ctx, uint32_t address, std::vector<uint16_t>* words) {
    if (address == ctx->instructionWordsAddress) {
        words->assign(std::begin(ctx->instructionWords), std::end(ctx->instructionWords));
        return true;
    }
    uint8_t bytes[30];
    if (CmdReadRemoteMem(address, bytes, ctx, sizeof bytes) != 0) {
        DbgPrint(ctx, "Could not read instruction words\n");
        return false;
    }
    *words = DisasmWordsFromBytes(bytes);
    return true;
}

void PrvSourceClear() {
    if (gDbgSourceHooks.clearLine) gDbgSourceHooks.clearLine();
}

// One trap-words request (16/17/20/21) and its reply.
void PrvTrapWords(DbgContextType* ctx, uint8_t command, uint16_t words[5], bool isRead, bool conditions) {
    vantor::DbgTrapWordsBodyType body{command, 0, {}};
    if (!isRead) {
        for (int i = 0; i < 5; ++i) vantor::WriteBE16(&body.traps[i], words[i]);
    }
    SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketDebugger;
    SlkBodyPart parts[] = {{isRead ? uint16_t{2} : uint16_t{sizeof body}, &body}, {0, nullptr}};
    if (Status err = SlkSendPacket(&header, parts)) ErrThrow(err);
    uint8_t reply[272] = {};
    SlkPktHeaderType replyHeader{};
    Status err = SlkReceivePacket(vantor::slkSocketDebugger, false, &replyHeader, reply,
                                  isRead ? uint16_t{sizeof reply} : uint16_t{2}, 2000);
    if (err == vantor::slkErrTimeout && conditions) {
        ctx->noTrapConditions = 1;  // a device without trap conditions; never asked again
        return;
    }
    if (err) ErrThrow(err);
    if (replyHeader.bodySize < 1 || reply[0] != (command | vantor::dbgReplyFlag) ||
        replyHeader.transId != header.transId)
        ErrThrow(kThrowQuiet);
    if (isRead) {
        if (replyHeader.bodySize < sizeof body) ErrThrow(kThrowQuiet);
        for (int i = 0; i < 5; ++i) words[i] = Word(reply + 2 + 2 * i);
    }
}

}  // namespace

uint16_t CmdSendAllBreakpoints(DbgContextType* ctx) {
    static constexpr RequestTexts kTexts{"CmdSendAllBreakpoints: error in SlkSendPacket = ",
                                         "CmdSendAllBreakpoints: error in SlkReceivePacket = ",
                                         "CmdSendAllBreakpoints error:  invalid response command.",
                                         "CmdSendAllBreakpoints error:  invalid response transaction id."};
    vantor::DbgBreakpointsBodyType body{vantor::dbgPktSetBreakpoints, 0, {}};
    for (int i = 0; i < vantor::dbgBreakpointCount; ++i) {
        vantor::WriteBE32(&body.bp[i].address, ctx->breakpoints[i].address);
        body.bp[i].enabled = ctx->breakpoints[i].enabled;
        body.bp[i].installed = ctx->breakpoints[i].installed;
    }
    SlkBodyPart parts[] = {{sizeof body, &body}, {0, nullptr}};
    uint8_t reply[272];
    uint16_t status = CmdRequest(ctx, kTexts, parts, reply, sizeof reply, 2000);
    if (gDbgSourceHooks.breakpointsChanged) gDbgSourceHooks.breakpointsChanged();
    return status;
}

uint16_t CmdContinue(DbgContextType* ctx, uint32_t newPC, bool drain) {
    DbgSetAttached(ctx, false);
    PrvSourceClear();
    if (newPC) ctx->regs.pc = newPC;
    SlkFlushSocket(vantor::slkSocketDebugger, 0);
    vantor::DbgContinueRequestType body{};
    body.command = vantor::dbgPktContinue;
    DbgRegistersToWire(ctx->regs, &body.regs);
    body.stepSpy = ctx->stepSpy;
    body.stepSpyAddr = ctx->stepSpyAddress;
    body.stepSpyCount = ctx->stepSpyCount;
    body.stepSpyChecksum = ctx->stepSpyChecksum;
    vantor::SwapContinueRequest(&body);
    SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketDebugger;
    SlkBodyPart parts[] = {{sizeof body, &body}, {0, nullptr}};
    if (Status err = SlkSendPacket(&header, parts)) {
        DbgPrintf(ctx, "CmdContinue: error in DbgSendPacket = %s\n", LinkErrorText(err));
        return 1;
    }
    if (!(ctx->regs.sr & kSRTrace)) CmdRefreshRegisterWindow(ctx);
    if (drain) DbgDrainMessages(ctx, 250);
    return 0;
}

uint16_t CmdStepInto(DbgContextType* ctx, bool drain) {
    std::vector<uint16_t> words;
    if (!PrvInstructionWords(ctx, ctx->regs.pc, &words)) return 1;
    if (words[0] == 0x4E4F) {
        // A system call: stop at the routine when the trap tables give it.
        const uint16_t trap = words[1];
        uint16_t refNum = 0;
        if ((trap & 0x800) && !PrvReadWord(ctx, ctx->regs.ssp, &refNum)) return 1;
        if (uint32_t routine = CmdTrapAddress(ctx, trap, refNum, nullptr)) {
            ctx->breakpoints[kTempBreakpoint] = {routine, 1, 0};
            uint16_t status = CmdSendAllBreakpoints(ctx);
            return status | CmdContinue(ctx, 0, drain);
        }
    }
    ctx->regs.sr |= kSRTrace;
    uint16_t status = CmdContinue(ctx, 0, drain);
    ctx->regs.sr &= static_cast<uint16_t>(~kSRTrace);
    return status;
}

uint16_t CmdStepOver(DbgContextType* ctx, bool drain) {
    const uint32_t pc = ctx->regs.pc;
    std::vector<uint16_t> words;
    if (!PrvInstructionWords(ctx, pc, &words)) return 1;
    DisasmContext dc;
    dc.pc = pc;
    DisasmResult line = DisassembleLine(dc, pc, words);
    const uint16_t w = words[0];
    uint32_t target = 0;
    if (w == 0x4E75) {
        // The RTS of a computed call (PEA, PEA, ADDI.L #n,(A7), RTS) returns behind itself.
        uint8_t before[16];
        if (pc >= 14 && CmdReadRemoteMem(pc - 14, before, ctx, sizeof before) == 0 && Word(before) == 0x487A &&
            Word(before + 4) == 0x487A && Word(before + 8) == 0x0697)
            target = pc + 2;
    } else if ((w & 0xFFC0) == 0x4E80 || (w & 0xFF00) == 0x6100 || (w & 0xF0F8) == 0x50C8 ||
               (w & 0xF000) == 0xA000 || (w & 0xF0FB) == 0x50FB || (w & 0xFFF0) == 0x4E40) {
        target = line.nextAddress;
    }
    if (!target) return CmdStepInto(ctx, drain);
    ctx->stepOverTarget = target;
    ctx->breakpoints[kTempBreakpoint] = {target, 1, 0};
    uint16_t status = CmdSendAllBreakpoints(ctx);
    if (status) return status;
    return CmdContinue(ctx, 0, drain);
}

uint16_t CmdGoTill(DbgContextType* ctx, uint32_t address) {
    if (address & 1) {
        DbgPrint(ctx, "Error: illegal address.\n");
        return 1;
    }
    CmdClearRoutine(ctx);
    ctx->breakpoints[kTempBreakpoint] = {address, 1, 0};
    uint16_t status = CmdSendAllBreakpoints(ctx);
    return status | CmdContinue(ctx, 0, true);
}

void CmdGetTrapBreaks(DbgContextType* ctx, uint16_t traps[5], uint16_t conditions[5], uint16_t selectors[5]) {
    PrvTrapWords(ctx, vantor::dbgPktGetTrapBreaks, traps, true, false);
    // A device may keep only the trap's index (its low 12 bits): read back as the A-trap word it
    // was set as, so that clearing and listing find it.
    for (int i = 0; i < 5; ++i) {
        if (traps[i] && (traps[i] & 0xF000) == 0) traps[i] |= 0xA000;
    }
    for (int i = 0; i < 5; ++i) conditions[i] = 0;
    if (!ctx->noTrapConditions) PrvTrapWords(ctx, vantor::dbgPktGetTrapConditions, conditions, true, true);
    for (int i = 0; i < 5; ++i) selectors[i] = 0xFFFF;
}

void CmdSetTrapBreaks(DbgContextType* ctx, const uint16_t traps[5], const uint16_t conditions[5],
                      const uint16_t* /*selectors: the device keeps none*/) {
    uint16_t t[5], c[5];
    std::memcpy(t, traps, sizeof t);
    std::memcpy(c, conditions, sizeof c);
    PrvTrapWords(ctx, vantor::dbgPktSetTrapBreaks, t, false, false);
    if (!ctx->noTrapConditions) PrvTrapWords(ctx, vantor::dbgPktSetTrapConditions, c, false, true);
}

uint32_t CmdTrapAddress(DbgContextType* ctx, uint16_t trap, uint16_t refNum, std::string* name) {
    uint32_t routine = 0;
    if (name) name->clear();
    if ((trap & 0xF000) != 0xA000) return 0;
    if (trap & 0x800) {
        // Library trap: the library's dispatch table holds a word offset per routine.
        uint32_t table, dispatch;
        uint16_t offset;
        const uint32_t index = trap & 0x7FF;
        if (!PrvReadLong(ctx, kLowMemLibraryTable, &table) || !PrvReadLong(ctx, table + refNum * 16u, &dispatch) ||
            !dispatch || !PrvReadWord(ctx, dispatch + 2 * index, &offset))
            return 0;
        routine = dispatch + offset;
        uint16_t first, displacement;
        if (PrvReadWord(ctx, routine, &first) && first == 0x4EFA && PrvReadWord(ctx, routine + 2, &displacement))
            routine = routine + 2 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(displacement)));
        if (name) {
            const char* found = FuncNameByTrap(ctx, trap & 0xFFF, nullptr, 0xFFFF);
            *name = found ? found : "<User Library>";
        }
        return routine;
    }
    if (!ctx->trapTableCached) {
        uint16_t count;
        uint32_t table;
        uint8_t id;
        if (!PrvReadWord(ctx, kLowMemTrapCount, &count) || !PrvReadLong(ctx, kLowMemTrapTable, &table) ||
            CmdReadRemoteMemCached(ctx, &id, kLowMemTrapTableId, 1, true) != 0 || count == 0)
            return 0;
        if (count > kMaxTraps) count = kMaxTraps;  // trap words index at most 4096 entries
        std::vector<uint8_t> bytes(count * 4u);
        if (CmdReadRemoteMem(table, bytes.data(), ctx, static_cast<uint32_t>(bytes.size())) != 0) return 0;
        auto* cache = static_cast<uint32_t*>(DbgAllocBuffer(sizeof(uint32_t) * (count + 1u)));
        if (!cache) return 0;
        cache[0] = count;  // the entry count, then the entries
        for (uint32_t i = 0; i < count; ++i) cache[i + 1] = vantor::ReadBE32(&bytes[i * 4]);
        DbgFreeBuffer(ctx->trapTableCache);
        ctx->trapTableCache = cache;
        ctx->trapTableCached = 1;
        ctx->trapTableId = id;
    }
    // The trap index is checked against the table's own entry count.
    const uint32_t index = trap & 0xFFF;
    if (!ctx->trapTableCache || index >= ctx->trapTableCache[0]) return 0;
    routine = ctx->trapTableCache[index + 1];
    if (name) {
        const char* found = FuncNameByTrap(ctx, static_cast<uint16_t>(index), nullptr, 0xFFFF);
        if (found) *name = found;
    }
    return routine;
}

int64_t CmdIsReturnAddress(DbgContextType* ctx, uint32_t value) {
    if (value < 10 || !CmdIsValidAddress(ctx, value)) return 0;
    uint8_t before[10];
    if (CmdReadRemoteMemCached(ctx, before, value - 10, sizeof before, true) != 0) {
        DbgPrint(ctx, "Could not read instruction words.\n");
        return -1;
    }
    auto at = [&](uint32_t back) { return Word(before + 10 - back); };  // the word at value - back
    if ((at(2) & 0xF000) == 0xA000 || (at(2) & 0xFFF0) == 0x4E40) return value - 2;
    if (at(6) == 0x61FF) return value - 6;
    if (at(4) == 0x6100) return value - 4;
    if ((at(2) & 0xFF00) == 0x6100) return value - 2;
    for (uint32_t back = 2; back <= 10; back += 2) {
        if ((at(back) & 0xFFC0) != 0x4E80) continue;
        std::vector<uint16_t> words = DisasmWordsFromBytes(std::span<const uint8_t>(before + 10 - back, back));
        DisasmContext dc;
        DisasmResult r = DisassembleLine(dc, value - back, words);
        if (r.complete && r.nextAddress == value) return value - back;
    }
    return 0;
}

bool CmdIsValidAddress(DbgContextType* ctx, uint32_t address) {
    if (!ctx->memRangesKnown) {
        uint32_t ranges[4][2];
        uint32_t thrown = ErrTry([&] {
            const uint32_t which[2] = {0xFFFFFFFF, 0xFFFFFFFE};
            for (int i = 0; i < 2; ++i) {
                uint32_t start = HwrMemWritable(which[i]);
                ranges[i][0] = start;
                ranges[i][1] = start + HwrMemWritable(start);
                start = HwrMemReadable(which[i]);
                ranges[2 + i][0] = start;
                ranges[2 + i][1] = start + HwrMemReadable(start);
            }
        });
        if (thrown) {
            DbgPrint(ctx, "Could not get Memory Range info from target\n");
        } else {
            std::memcpy(ctx->memRanges, ranges, sizeof ranges);
            ctx->memRangesKnown = 1;
        }
    }
    for (const auto& r : ctx->memRanges) {
        if (address >= r[0] && address < r[1]) return true;
    }
    return false;
}

void CmdShowAppStack(DbgContextType* ctx) {
    uint8_t info[60];
    uint32_t thrown = ErrTry([&] {
        uint32_t infoP = SysGetAppInfo(nullptr, nullptr);
        if (RemoteReadCached(info, infoP, sizeof info) != 0) ErrThrow(kThrowQuiet);
        vantor::SwapAppInfo(info);
    });
    if (thrown) return;
    uint32_t first, last;
    std::memcpy(&first, info + 20, 4);
    std::memcpy(&last, info + 44, 4);
    if (last < first || last - first > 0x100000) return;  // no stack of its own
    std::vector<uint8_t> stack(last - first + 1);
    if (CmdReadRemoteMem(first, stack.data(), ctx, static_cast<uint32_t>(stack.size())) != 0) return;
    if (stack[0] != 0xFE) {
        DbgPrint(ctx,
                 "*********************************************\n"
                 "* WARNING: Current app stack may be corrupt *\n"
                 "*********************************************\n");
        return;
    }
    DbgPrintf(ctx, "Current UI App stack: size = #%lu", static_cast<unsigned long>(stack.size()));
    size_t unused = 0;
    while (unused + 4 <= stack.size() && vantor::ReadBE32(&stack[unused]) == 0xFEFEFEFE) unused += 4;
    while (unused < stack.size() && stack[unused] == 0xFE && unused % 4 != 3) ++unused;
    if (unused >= 2) DbgPrintf(ctx, ", amount never used = #%lu", static_cast<unsigned long>(unused));
    DbgPrint(ctx, "\n");
}

std::string CmdRoutineLabel(DbgContextType* ctx, uint32_t address) {
    uint32_t start = 0, end = 0;
    char name[32] = {};
    if (CmdGetRemoteRtnName(ctx, address, &start, &end, name) != 0 || !name[0] || address < start) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%s+%04X", name, address - start);
    return text;
}

void CmdStackCrawlA6(DbgContextType* ctx, uint32_t startA6, uint32_t frames) {
    CmdShowAppStack(ctx);
    DbgPrint(ctx, "Calling chain using A6 Links:\n A6 Frame   Frame Size     Caller\n");
    struct Frame {
        uint32_t a6, size, caller;
    };
    std::vector<Frame> chain;
    for (uint32_t a6 = startA6; a6 != 0 && chain.size() < frames;) {
        if (!CmdIsValidAddress(ctx, a6) || a6 < startA6 || a6 - startA6 > 8192) break;
        uint32_t caller, previous;
        if (!PrvReadLong(ctx, a6 + 4, &caller)) {
            DbgPrint(ctx, "Could not read return address.\n");
            break;
        }
        if (!PrvReadLong(ctx, a6, &previous)) {
            DbgPrint(ctx, "Could not read previous A6.\n");
            break;
        }
        chain.push_back({a6, previous - a6, caller});
        if (previous <= a6) break;  // a chain only ever goes up the stack
        a6 = previous;
    }
    for (auto f = chain.rbegin(); f != chain.rend(); ++f) {
        DbgPrintf(ctx, "%08X   #%010u   %08X  %s\n", f->a6, f->size, f->caller,
                  CmdRoutineLabel(ctx, f->caller).c_str());
    }
}

void CmdStackCrawlA7(DbgContextType* ctx, uint32_t startA7, uint32_t frames) {
    DbgPrint(ctx, "Return Addresses on the stack:\n Stack Addr   Caller\n");
    uint8_t stack[2048 + 2];
    if (CmdReadRemoteMem(startA7, stack, ctx, sizeof stack) != 0) return;
    struct Hit {
        uint32_t where, call;
    };
    std::vector<Hit> hits;
    for (uint32_t off = 0; off + 4 <= sizeof stack && hits.size() < frames; off += 2) {
        int64_t call = CmdIsReturnAddress(ctx, vantor::ReadBE32(stack + off));
        if (call > 0) hits.push_back({startA7 + off, static_cast<uint32_t>(call)});
    }
    for (auto h = hits.rbegin(); h != hits.rend(); ++h) {
        DbgPrintf(ctx, "%08X     %08X  %s\n", h->where, h->call, CmdRoutineLabel(ctx, h->call).c_str());
    }
}

}  // namespace quillwatch
