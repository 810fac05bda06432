// Run control: stop handling and the stop display.
#include "quillwatch/engine/debugger/RunControl.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/SymbolFiles.h"
#include "quillwatch/engine/shell/Shell.h"
#include "quillwatch/engine/disasm/Disassembler.h"
#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

namespace {

constexpr uint16_t kExceptionTrace = 0x24;

// The 68K condition of a Bcc word on the condition codes.
bool PrvConditionHolds(uint16_t word, uint16_t sr) {
    const bool c = sr & 1, v = sr & 2, z = sr & 4, n = sr & 8;
    switch ((word >> 8) & 0xF) {
        case 0x0:
            return true;  // BRA
        case 0x2:
            return !c && !z;
        case 0x3:
            return c || z;
        case 0x4:
            return !c;
        case 0x5:
            return c;
        case 0x6:
            return !z;
        case 0x7:
            return z;
        case 0x8:
            return !v;
        case 0x9:
            return v;
        case 0xA:
            return !n;
        case 0xB:
            return n;
        case 0xC:
            return n == v;
        case 0xD:
            return n != v;
        case 0xE:
            return !z && n == v;
        default:
            return z || n != v;  // 0xF: LE
    }
}

// What the disassembler asks of the debugger: the current routine and the routine-name table.
class ContextLookup : public DisasmLookup {
  public:
    explicit ContextLookup(DbgContextType* ctx) : ctx_(ctx) {}
    bool RoutineAt(uint32_t address, std::string& name, int32_t& offset) override {
        if (!ctx_->routineName[0] || address < ctx_->routineStart || address >= ctx_->routineEnd)
            return false;
        name = ctx_->routineName;
        offset = static_cast<int32_t>(address - ctx_->routineStart);
        return true;
    }
    bool NameByTrap(uint16_t trap, uint16_t selector, std::string& name) override {
        const char* found = FuncNameByTrap(ctx_, trap, nullptr, selector);
        if (!found) return false;
        name = found;
        return true;
    }

  private:
    DbgContextType* ctx_;
};

}  // namespace

std::string CmdFlagLetters(uint16_t sr) {
    static constexpr struct {
        uint16_t mask;
        char letter;
    } flags[] = {{0x8000, 'T'}, {0x2000, 'S'}, {0x10, 'X'}, {8, 'N'}, {4, 'Z'}, {2, 'V'}, {1, 'C'}};
    std::string text;
    for (const auto& f : flags) text += (sr & f.mask) ? f.letter : static_cast<char>(f.letter - 'A' + 'a');
    return text;
}

void DbgSetAttached(DbgContextType* ctx, bool attached) {
    ctx->attached = attached ? 1 : 0;
    ShellAttached = ctx->attached;
    lex_setVar(ctx, 0, dbgVarAttached, tok::VAL, 1, ctx->attached, nullptr);
}

uint16_t CmdHandleStop(DbgContextType* ctx, const vantor::DbgStateType* state, uint16_t /*size*/,
                       bool quiet) {
    DbgSetAttached(ctx, false);
    if (state->reason) {
        // The device was reset: what was known of it is gone.
        ctx->trapTableId = 0;
        ctx->memRangesKnown = 0;
        CmdSendSimpleCmdPacket(ctx, " ");
        SlkFlushSocket(vantor::slkSocketDebugger, 500);
        CmdSendSimpleCmdPacket(ctx, " ");
    }
    RemoteCacheClear();
    CmdFlushReadCache();

    ctx->newOS = (state->regs.sr & kSRSupervisor) ? 0 : 1;
    ctx->stepSpy = 0;
    ctx->exceptionId = state->exceptionId;
    DbgRegistersFromWire(state->regs, &ctx->regs);
    ctx->regs.sr &= static_cast<uint16_t>(~kSRTrace);
    for (int i = 0; i < vantor::dbgBreakpointCount; ++i) {
        ctx->breakpoints[i] = {state->bp[i].address, state->bp[i].enabled, state->bp[i].installed};
    }
    std::memcpy(ctx->instructionWords, state->inst, sizeof ctx->instructionWords);
    ctx->instructionWordsAddress = ctx->regs.pc;

    char name[32];
    std::memcpy(name, state->name, 31);
    name[31] = '\0';
    bool routineChanged = state->startAddr != ctx->routineStart || state->endAddr != ctx->routineEnd ||
                          std::strcmp(name, ctx->routineName) != 0;
    if (routineChanged) {
        ctx->routineStart = state->startAddr;
        ctx->routineEnd = state->endAddr;
        std::memcpy(ctx->routineName, name, sizeof name);
    }
    if (state->trapTableId[1] != ctx->trapTableId) {
        DbgFreeBuffer(ctx->trapTableCache);
        ctx->trapTableCache = nullptr;
        ctx->trapTableCached = 0;
    }
    DbgSetAttached(ctx, true);

    // The source position of the stop; a source-level step goes on while it stays on its line.
    SymSource source;
    if (SymFindSrc(ctx, ctx->regs.pc, &source) == 0) {
        if (ctx->sourceStepLine != 0 && ctx->sourceStepLine == source.line) {
            if (ctx->sourceStepOver) {
                CmdStepOver(ctx, false);
            } else {
                CmdStepInto(ctx, false);
            }
            return 0;
        }
        if (gDbgSourceHooks.showLine) gDbgSourceHooks.showLine(source.file.c_str(), source.line);
        std::vector<SymLocal> rows;
        if (SymDrawLocalVars(ctx, ctx->regs.pc, ctx->regs.a[6], source.symbolIndex, &rows) == 0 && gSymLocalsHook)
            gSymLocalsHook(rows);
    } else if (gDbgSourceHooks.clearLine) {
        gDbgSourceHooks.clearLine();
    }
    ctx->sourceStepLine = 0;
    if (!quiet) CmdPrintStopReason(ctx, routineChanged);
    CmdRefreshRegisterWindow(ctx);
    return 0;
}

void CmdPrintStopReason(DbgContextType* ctx, bool routineChanged) {
    if (ctx->exceptionId != kExceptionTrace) {
        const char* name = nullptr;
        switch (ctx->exceptionId) {
            case 8:
                name = "BUS ERROR EXCEPTION";
                break;
            case 12:
                name = "ADDRESS ERROR EXCEPTION";
                break;
            case 40:
                name = "A-TRAP BREAK EXCEPTION";
                break;
            case 124:
                name = "NMI EXCEPTION";
                break;
            default:
                break;
        }
        if (name) {
            DbgPrintf(ctx, "Remote stopped due to: %s\n", name);
        } else {
            DbgPrintf(ctx, "Remote stopped due to: EXCEPTION ID = $%02X\n", ctx->exceptionId);
        }
    }
    if (ctx->stepRegs) {
        DbgPrint(ctx, " \n");
        CmdShowRegisters(ctx);
    }
    CmdShowCurrentInstruction(ctx, routineChanged);
}

void CmdShowRegisters(DbgContextType* ctx) {
    const DbgRegisterBlock& r = ctx->regs;
    std::string line;
    char item[24];
    for (int i = 0; i < 8; ++i) {
        std::snprintf(item, sizeof item, "D%d:%08X ", i, r.d[i]);
        line += item;
    }
    line += '\n';
    for (int i = 0; i < 7; ++i) {
        std::snprintf(item, sizeof item, "A%d:%08X ", i, r.a[i]);
        line += item;
    }
    std::snprintf(item, sizeof item, "A7:%08X\n", (r.sr & kSRSupervisor) ? r.ssp : r.usp);
    line += item;
    DbgPrint(ctx, line.c_str());
}

uint16_t CmdBranchTaken(DbgContextType* ctx, uint32_t address, uint16_t sr, std::string* text) {
    text->clear();
    uint16_t word;
    if (address == ctx->instructionWordsAddress) {
        word = ctx->instructionWords[0];
    } else {
        uint8_t bytes[30];
        if (CmdReadRemoteMem(address, bytes, ctx, sizeof bytes) != 0) {
            DbgPrint(ctx, "Could not read instruction words\n");
            return 1;
        }
        word = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
    }
    if ((word & 0xF000) == 0x6000 && (word & 0xFF00) != 0x6100) {
        *text = PrvConditionHolds(word, sr) ? "Will Branch" : "Will Not Branch";
    }
    return 0;
}

void CmdShowCurrentInstruction(DbgContextType* ctx, bool routineChanged) {
    std::string forecast;
    CmdBranchTaken(ctx, ctx->regs.pc, ctx->regs.sr, &forecast);
    if (routineChanged || !forecast.empty()) {
        std::string line;
        if (ctx->routineName[0]) line = "'" + std::string(ctx->routineName) + "'";
        if (!forecast.empty()) {
            if (line.size() < 60) line.append(60 - line.size(), ' ');
            line += forecast;
        }
        DbgPrintf(ctx, "%s\n", line.c_str());
    }
    DbgPrintf(ctx, "%s\n", CmdDisassembleAt(ctx, ctx->regs.pc).c_str());
}

void CmdRefreshRegisterWindow(DbgContextType* ctx) {
    HWND window = gDbgWindows.registers;
    if (!window) return;
    std::string text;
    if (!ctx->attached) {
        text = "Not Attached";
    } else {
        char line[32];
        const DbgRegisterBlock& r = ctx->regs;
        for (int i = 0; i < 8; ++i) {
            std::snprintf(line, sizeof line, "D%d: %08X\n", i, r.d[i]);
            text += line;
        }
        for (int i = 0; i < 7; ++i) {
            std::snprintf(line, sizeof line, "A%d: %08X\n", i, r.a[i]);
            text += line;
        }
        std::snprintf(line, sizeof line, "A7: %08X\n", r.ssp);
        text += line;
        text += "\nSR: " + CmdFlagLetters(r.sr);
        std::snprintf(line, sizeof line, " %d", (r.sr >> 8) & 7);
        text += line;
    }
    HostEditDeleteRange(window, 0, -1);
    HostConsoleWrite(window, text.c_str());
}

std::string CmdDisassembleAt(DbgContextType* ctx, uint32_t address) {
    std::vector<uint16_t> words;
    if (address == ctx->instructionWordsAddress) {
        words.assign(std::begin(ctx->instructionWords), std::end(ctx->instructionWords));
    } else {
        uint8_t bytes[sizeof ctx->instructionWords];
        if (CmdReadRemoteMemCached(ctx, bytes, address, sizeof bytes, true) != 0) return "";
        words = DisasmWordsFromBytes(bytes);
    }
    ContextLookup lookup(ctx);
    DisasmContext dc;
    dc.pc = ctx->regs.pc;
    dc.d0 = ctx->regs.d[0];
    dc.d2 = ctx->regs.d[2];
    dc.symbolsOn = ctx->symbolsOn != 0;
    dc.routineStart = ctx->routineStart;
    dc.routineEnd = ctx->routineEnd;
    dc.routineName = ctx->routineName;
    dc.callReturnPoint = ctx->disasmCallReturnPoint;
    dc.callTarget = ctx->disasmCallTarget;
    dc.lookup = &lookup;
    DisasmResult line = DisassembleLine(dc, address, words);
    ctx->disasmCallReturnPoint = dc.callReturnPoint;
    ctx->disasmCallTarget = dc.callTarget;
    return line.text;
}

}  // namespace quillwatch
