// Command handlers: display memory, set memory, find, attach, registers and the environment display.
#include "quillwatch/engine/debugger/CommandHandlers.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "quillwatch/engine/lang/CmdFormat.h"
#include "quillwatch/engine/debugger/FlowCommands.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/debugger/Templates.h"
#include "quillwatch/engine/disasm/Disassembler.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

namespace {

constexpr CommandText kDisplayMemText{"Displays memory for <count> bytes or templates.",
                                      "Syntax: %s <addr> [<count>] [<template>]"};

}  // namespace

uint16_t CmdDoDisplayMemCmd(DbgContextType* ctx) {
    const uint16_t id = CmdCommandId(ctx);
    if (CmdAnswerHelp(ctx, id, kDisplayMemText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;

    uint32_t address, count = 0;
    uint16_t templateId = 0xFFFF, templateModule = 0;
    if (ctx->repeat) {
        address = ctx->lastAddress;
        count = ctx->lastCount;
        templateId = ctx->lastTemplate[0];
        templateModule = ctx->lastTemplate[1];
    } else {
        CmdClearRoutine(ctx);
        if (!CmdArgNumber(DbgEvalArg(ctx, 1), &address)) {
            CmdPrintSyntax(ctx, id, kDisplayMemText);
            return 1;
        }
        uint16_t next = 2;
        if (CmdArgNumber(DbgEvalArg(ctx, 2), &count)) next = 3;
        if (const LexToken* t = DbgEvalArg(ctx, next)) {
            if (t->kind != tok::TEMPLATE || DbgEvalArg(ctx, next + 1)) {
                CmdPrintSyntax(ctx, id, kDisplayMemText);
                return 1;
            }
            templateId = t->id;
            templateModule = t->module;
        }
    }
    const bool withTemplate = templateId != 0xFFFF;
    if (count == 0) count = withTemplate ? 1 : 16;
    ctx->dotAddress = address;
    ctx->lastCount = count;
    ctx->lastTemplate[0] = templateId;
    ctx->lastTemplate[1] = templateModule;

    if (withTemplate) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t size = 0;
            if (TmtDisplayData(ctx, templateModule, templateId, address, &size) != 0) return 1;
            address += size;
            ctx->lastAddress = address;
        }
        return 0;
    }
    uint8_t piece[256];
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < sizeof piece ? count - done : sizeof piece;
        if (uint16_t err = CmdReadRemoteMemCached(ctx, piece, address + done, n, false)) return err;
        CmdHexDump(ctx, address + done, piece, n);
        done += n;
        ctx->lastAddress = address + done;
    }
    return 0;
}

uint16_t CmdDoSetMemCmd(DbgContextType* ctx) {
    const uint16_t id = CmdCommandId(ctx);
    static constexpr CommandText kByte{"Set the 8-bit byte at the given remote address to value.",
                                       "Syntax: %s <addr> <value>"};
    static constexpr CommandText kWord{"Set the 16-bit word at the given remote address to value.",
                                       "Syntax: %s <addr> <value>"};
    static constexpr CommandText kLong{"Set the 32-bit long at the given remote address to value.",
                                       "Syntax: %s <addr> <value>"};
    const bool isByte = id == dbgCmdSetByte, isWord = id == dbgCmdSetWord;
    const CommandText& text = isByte ? kByte : isWord ? kWord : kLong;
    const char* routine = isByte ? "CmdDoSetByteCmd" : isWord ? "CmdDoSetWordCmd" : "CmdDoSetLongCmd";
    const uint32_t size = isByte ? 1 : isWord ? 2 : 4;

    if (CmdAnswerHelp(ctx, id, text)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address;
    if (!CmdArgNumber(DbgEvalArg(ctx, 1), &address) || !DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, id, text);
        return 1;
    }
    ctx->dotAddress = address;
    auto write = [&](uint32_t value) -> uint16_t {
        uint8_t bytes[4];
        for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
        uint16_t err = CmdWriteRemoteMem(ctx, address, bytes, size);
        address += size;
        return err;
    };
    for (uint16_t i = 2; const LexToken* v = DbgEvalArg(ctx, i); ++i) {
        uint32_t value;
        if (CmdArgNumber(v, &value)) {
            if (uint16_t err = write(value)) return err;
        } else if (v->kind == tok::STR) {
            for (const char* p = v->str ? v->str : ""; *p; ++p) {
                if (uint16_t err = write(static_cast<uint8_t>(*p))) return err;
            }
        } else {
            DbgPrintf(ctx, "ERROR in %s: unhandled value type.\n", routine);
            return 1;
        }
    }
    DbgPrintf(ctx, "Memory set starting at %08X\n", ctx->dotAddress);
    return 0;
}

uint16_t CmdDoFindCmd(DbgContextType* ctx) {
    const uint16_t id = CmdCommandId(ctx);
    static constexpr CommandText kTexts[] = {
        {"Searches <nbytes> of memory starting at <address> for the byte <value>.",
         "Syntax: %s <value> <address> <nbytes> [\\flags]"},
        {"Searches <nbytes> of memory starting at <address> for the 16-bit word <value>.",
         "Syntax: %s <value> <address> <nbytes> [\\flags]"},
        {"Searches <nbytes> of memory starting at <address> for the 32-bit long <value>.",
         "Syntax: %s <value> <address> <nbytes> [\\flags]"},
        {"Searches <nbytes> of memory starting at <address> for the text <text>.",
         "Syntax: %s <text> <address> <nbytes> [\\flags]"},
    };
    const int which = id - dbgCmdFindByte;
    const CommandText& text = kTexts[which];
    const bool isText = id == dbgCmdFindText;
    if (CmdAnswerHelp(ctx, id, text)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;

    const LexToken* what = DbgEvalArg(ctx, 1);
    uint32_t value = 0, address, count;
    bool ok =
        isText ? (what && what->kind == tok::STR && what->str && what->str[0]) : CmdArgNumber(what, &value);
    ok = ok && CmdArgNumber(DbgEvalArg(ctx, 2), &address) && CmdArgNumber(DbgEvalArg(ctx, 3), &count);
    // Options: \a finds every match, \i ignores case (text only).
    bool findAll = false, ignoreCase = false;
    for (uint16_t i = 4; ok && DbgEvalArg(ctx, i); ++i) {
        const LexToken* flag = DbgEvalArg(ctx, i);
        const char first = flag->kind == tok::FLAGS && flag->str ? flag->str[0] : '\0';
        if (first == 'a' || first == 'A') {
            findAll = true;
        } else if (first == 'i' || first == 'I') {
            ignoreCase = true;
        } else {
            ok = false;
        }
    }
    if (!ok) {
        CmdPrintSyntax(ctx, id, text);
        return 1;
    }
    std::vector<uint8_t> pattern;
    if (isText) {
        pattern.assign(what->str, what->str + std::strlen(what->str));
    } else {
        const int size = which == 0 ? 1 : which == 1 ? 2 : 4;
        for (int i = size - 1; i >= 0; --i) pattern.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    ctx->dotAddress = address;
    ctx->lastCount = count;
    return CmdFindRemote(ctx, pattern.data(), static_cast<uint16_t>(pattern.size()), address, count, findAll,
                         isText && ignoreCase, &ctx->lastAddress);
}

uint16_t CmdDoAttachCmd(DbgContextType* ctx) {
    const uint16_t id = CmdCommandId(ctx);
    static constexpr CommandText kText{"Attempt to sync with the remote unit.", "Syntax: %s [\\async]"};
    if (CmdAnswerHelp(ctx, id, kText)) return 0;
    bool noWait = false;
    if (const LexToken* option = DbgEvalArg(ctx, 1)) {
        if (option->kind != tok::FLAGS || !option->str || std::strcmp(option->str, "async") != 0 ||
            DbgEvalArg(ctx, 2)) {
            CmdPrintSyntax(ctx, id, kText);
            return 1;
        }
        noWait = true;
    }
    return CmdGetStateAndReport(ctx, noWait, false);
}

uint16_t CmdDoEnvironmentCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Display the debugger environment info.", "Syntax: %s"};
    if (CmdAnswerHelp(ctx, CmdCommandId(ctx), kText)) return 0;
    CmdPrintEnvironment(ctx);
    return 0;
}

void CmdPrintEnvironment(DbgContextType* ctx) {
    auto flag = [](uint8_t f) { return f ? "true" : "false"; };
    DbgPrintf(ctx,
              "============================\n"
              "DebOut = %s\nSymbolsOn = %s\nStepRegs = %s\nReadMemHack = %s\nAttached = %s\n"
              "............................\n"
              "dot address = %08x\nlast address = %08x\nlast count = %08x\n"
              "============================\n",
              flag(ctx->debOut), flag(ctx->symbolsOn), flag(ctx->stepRegs), flag(ctx->readMemHack),
              flag(ctx->attached), ctx->dotAddress, ctx->lastAddress, ctx->lastCount);
}

uint16_t CmdDoRegistersCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Display all registers.", "Syntax: %s"};
    if (CmdAnswerHelp(ctx, CmdCommandId(ctx), kText)) return 0;
    if (!ctx->attached) DbgPrint(ctx, "WARNING: not attached to remote.\n");
    const DbgRegisterBlock& r = ctx->regs;
    for (int n = 0; n < 8; ++n) {
        char line[96];
        uint32_t a = n < 7 ? r.a[n] : CmdCurrentA7(ctx, &r);
        int len = std::snprintf(line, sizeof line, "D%d = %08X     A%d = %08X     ", n, r.d[n], n, a);
        switch (n) {
            case 0:
                std::snprintf(line + len, sizeof line - len, "USP = %08X", r.usp);
                break;
            case 1:
                std::snprintf(line + len, sizeof line - len, "SSP = %08X", r.ssp);
                break;
            case 6:
                std::snprintf(line + len, sizeof line - len, "PC  = %08X", r.pc);
                break;
            case 7:
                std::snprintf(line + len, sizeof line - len, "SR  = %s     Int = %d",
                              CmdFlagLetters(r.sr).c_str(), (r.sr >> 8) & 7);
                break;
            default:
                break;
        }
        DbgPrintf(ctx, "%s\n", line);
    }
    CmdShowCurrentInstruction(ctx, false);
    return 0;
}

uint16_t CmdDoDisplayValueCmd(DbgContextType* ctx) {
    static constexpr CommandText kTexts[] = {
        {"Displays a byte at given address", "Syntax: %s [<addr>] "},
        {"Displays a 16-bit word at given address", "Syntax: %s [<addr>] "},
        {"Displays a 32-bit long at given address", "Syntax: %s [<addr>] "},
    };
    const uint16_t id = CmdCommandId(ctx);
    const int which = id - dbgCmdDisplayByte;
    const CommandText& text = kTexts[which];
    if (CmdAnswerHelp(ctx, id, text)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address;
    if (ctx->repeat) {
        address = ctx->lastAddress;
    } else if (!CmdArgNumber(DbgEvalArg(ctx, 1), &address) || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, id, text);
        return 1;
    }
    ctx->dotAddress = ctx->lastAddress = address;
    const uint16_t size = which == 0 ? 1 : which == 1 ? 2 : 4;
    uint8_t bytes[4];
    if (uint16_t err = CmdReadRemoteMemCached(ctx, bytes, address, size, false)) return err;
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | bytes[i];
    static const char* const kLabels[] = {"UInt8 at %08X = ", "UInt16 at %08X = ", "Int32 at %08X = "};
    char formatted[64];
    CmdFormatValue(formatted, value, size, false);
    DbgPrintf(ctx, kLabels[which], address);
    DbgPrintf(ctx, "%s\n", formatted);
    return 0;
}

uint16_t CmdDoFillCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Fills memory with given byte value", "Syntax: %s <addr> <numBytes> <value>"};
    const uint16_t id = CmdCommandId(ctx);
    if (CmdAnswerHelp(ctx, id, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address, count, value;
    if (!CmdArgNumber(DbgEvalArg(ctx, 1), &address) || !CmdArgNumber(DbgEvalArg(ctx, 2), &count) ||
        !CmdArgNumber(DbgEvalArg(ctx, 3), &value) || DbgEvalArg(ctx, 4)) {
        CmdPrintSyntax(ctx, id, kText);
        return 1;
    }
    ctx->dotAddress = address;
    uint8_t block[256];
    std::memset(block, static_cast<int>(value & 0xFF), sizeof block);
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = count - done < sizeof block ? count - done : sizeof block;
        if (uint16_t err = CmdWriteRemoteMem(ctx, address + done, block, n)) return err;
        done += n;
    }
    DbgPrintf(ctx, "Memory set starting at %08X\n", address);
    return 0;
}

uint16_t CmdDoInstructionListCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "Disassemble code at <addr> or <\"funcName\"> for <lineCount> bytes.\nIf no <addr> or <\"funcName\"> is "
        "specified, disassembly will start\nat the current program counter.",
        "Syntax: %s [<addr> | <\"funcName\"> [<lineCount>]]"};
    const uint16_t id = CmdCommandId(ctx);
    if (CmdAnswerHelp(ctx, id, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address = ctx->regs.pc, lines = 10;
    if (ctx->repeat) {
        address = ctx->lastAddress;
        lines = ctx->lastCount;
    } else {
        CmdClearRoutine(ctx);
        uint16_t next = 1;
        const LexToken* first = DbgEvalArg(ctx, 1);
        if (const char* name = CmdArgString(first)) {
            const char* library = nullptr;
            uint16_t selector = 0xFFFF;
            const uint16_t trap = FuncGetByName(ctx, name, &library, &selector);
            if (trap == kFuncNoTrap) {
                DbgPrint(ctx, "Function name not found.\n");
                return 1;
            }
            uint16_t refNum = 0;
            if (library && (refNum = CmdLibraryRefNum(ctx, library)) == 0) {
                DbgPrint(ctx, "Invalid library name\n");
                return 1;
            }
            address = CmdTrapAddress(ctx, static_cast<uint16_t>(0xA000 | trap), refNum, nullptr);
            next = 2;
        } else if (CmdArgNumber(first, &address)) {
            next = 2;
        } else if (first) {
            CmdPrintSyntax(ctx, id, kText);
            return 1;
        }
        if (const LexToken* count = DbgEvalArg(ctx, next)) {
            if (!CmdArgNumber(count, &lines) || DbgEvalArg(ctx, next + 1)) {
                CmdPrintSyntax(ctx, id, kText);
                return 1;
            }
        }
    }
    ctx->lastCount = lines;
    ctx->dotAddress = address;

    class Lookup : public DisasmLookup {
      public:
        explicit Lookup(DbgContextType* c) : c_(c) {}
        bool NameByTrap(uint16_t trap, uint16_t selector, std::string& name) override {
            const char* found = FuncNameByTrap(c_, trap, nullptr, selector);
            if (found) name = found;
            return found != nullptr;
        }
        uint32_t TrapAddress(uint16_t trap, std::string* name) override { return CmdTrapAddress(c_, trap, 0, name); }

      private:
        DbgContextType* c_;
    } lookup(ctx);

    const uint32_t window = lines == 1 ? 72 : 256;
    std::vector<uint8_t> buffer;
    uint32_t bufferStart = 0;
    for (uint32_t n = 0; n < lines; ++n) {
        if (address < bufferStart || uint64_t{address} + 30 > uint64_t{bufferStart} + buffer.size()) {
            buffer.assign(window, 0);
            bufferStart = address;
            if (uint16_t err = CmdReadRemoteMem(address, buffer.data(), ctx, window)) return err;
        }
        if (ctx->symbolsOn && !(address >= ctx->routineStart && address < ctx->routineEnd) &&
            CmdUpdateRoutine(ctx, address) == 1 && ctx->routineName[0])
            DbgPrintf(ctx, "'%s'\n", ctx->routineName);
        std::vector<uint16_t> words = DisasmWordsFromBytes(buffer);
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
        DisasmResult line = DisassembleLine(dc, address, words, (address - bufferStart) / 2);
        ctx->disasmCallReturnPoint = dc.callReturnPoint;
        ctx->disasmCallTarget = dc.callTarget;
        DbgPrintf(ctx, "%s\n", line.text.c_str());
        address = line.nextAddress;
    }
    ctx->lastAddress = address;
    return 0;
}

}  // namespace quillwatch
