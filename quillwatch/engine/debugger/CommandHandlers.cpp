// Command handlers: display memory, set memory, find, attach, registers and the environment display.
#include "quillwatch/engine/debugger/CommandHandlers.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "quillwatch/engine/debugger/CmdFormat.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

namespace {

// What a handler prints for "help <cmd>" and for a missing or wrong argument.
struct CommandText {
    const char* description;
    const char* syntax;  // holds "Syntax: " and a "%s" for the command's own keyword
};

void PrvPrintSyntax(DbgContextType* ctx, uint16_t id, const CommandText& text) {
    const char* keyword = SymNameById(ctx, tok::CMD, 0, id);
    DbgPrintf(ctx, text.syntax, keyword ? keyword : "*UNKNOWN*");
    DbgPrint(ctx, "\n");
}

// The common start of a handler: a help request prints the description and the syntax.
bool PrvAnswerHelp(DbgContextType* ctx, uint16_t id, const CommandText& text) {
    const LexToken* first = DbgEvalArg(ctx, 1);
    if (!first || first->kind != tok::CMD || first->id != dbgCmdHelp) return false;
    DbgPrintf(ctx, "%s\n", text.description);
    PrvPrintSyntax(ctx, id, text);
    return true;
}

bool PrvRequireAttached(DbgContextType* ctx) {
    if (ctx->attached) return true;
    DbgPrint(ctx, "Error: not attached to remote.\n");
    return false;
}

bool PrvNumber(const LexToken* entry, uint32_t* value) {
    if (!entry || (entry->kind != tok::VAL && entry->kind != tok::ADDR)) return false;
    *value = entry->value;
    return true;
}

void PrvClearRoutine(DbgContextType* ctx) {
    ctx->routineStart = 0;
    ctx->routineEnd = 0;
    ctx->routineName[0] = '\0';
}

uint16_t CommandId(DbgContextType* ctx) {
    return DbgEvalArg(ctx, 0)->id;
}

constexpr CommandText kDisplayMemText{"Displays memory for <count> bytes or templates.",
                                      "Syntax: %s <addr> [<count>] [<template>]"};

}  // namespace

uint16_t CmdDoDisplayMemCmd(DbgContextType* ctx) {
    const uint16_t id = CommandId(ctx);
    if (PrvAnswerHelp(ctx, id, kDisplayMemText)) return 0;
    if (!PrvRequireAttached(ctx)) return 1;

    uint32_t address, count = 0;
    uint16_t templateId = 0xFFFF;
    if (ctx->repeat) {
        address = ctx->lastAddress;
        count = ctx->lastCount;
        templateId = ctx->lastTemplate[0];
    } else {
        PrvClearRoutine(ctx);
        if (!PrvNumber(DbgEvalArg(ctx, 1), &address)) {
            PrvPrintSyntax(ctx, id, kDisplayMemText);
            return 1;
        }
        uint16_t next = 2;
        if (PrvNumber(DbgEvalArg(ctx, 2), &count)) next = 3;
        if (const LexToken* t = DbgEvalArg(ctx, next)) {
            if (t->kind != tok::TEMPLATE || DbgEvalArg(ctx, next + 1)) {
                PrvPrintSyntax(ctx, id, kDisplayMemText);
                return 1;
            }
            templateId = t->id;
        }
    }
    const bool withTemplate = templateId != 0xFFFF;
    if (count == 0) count = withTemplate ? 1 : 16;
    ctx->dotAddress = address;
    ctx->lastCount = count;
    ctx->lastTemplate[0] = templateId;
    ctx->lastTemplate[1] = 0;

    if (withTemplate) {
        // Templates are displayed by the type-template display, which this build does not have.
        DbgPrint(ctx, "ERROR in TmtDisplayData: unknown template.\n");
        return 1;
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
    const uint16_t id = CommandId(ctx);
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

    if (PrvAnswerHelp(ctx, id, text)) return 0;
    if (!PrvRequireAttached(ctx)) return 1;
    uint32_t address;
    if (!PrvNumber(DbgEvalArg(ctx, 1), &address) || !DbgEvalArg(ctx, 2)) {
        PrvPrintSyntax(ctx, id, text);
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
        if (PrvNumber(v, &value)) {
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
    const uint16_t id = CommandId(ctx);
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
    if (PrvAnswerHelp(ctx, id, text)) return 0;
    if (!PrvRequireAttached(ctx)) return 1;

    const LexToken* what = DbgEvalArg(ctx, 1);
    uint32_t value = 0, address, count;
    bool ok =
        isText ? (what && what->kind == tok::STR && what->str && what->str[0]) : PrvNumber(what, &value);
    ok = ok && PrvNumber(DbgEvalArg(ctx, 2), &address) && PrvNumber(DbgEvalArg(ctx, 3), &count);
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
        PrvPrintSyntax(ctx, id, text);
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
    const uint16_t id = CommandId(ctx);
    static constexpr CommandText kText{"Attempt to sync with the remote unit.", "Syntax: %s [\\async]"};
    if (PrvAnswerHelp(ctx, id, kText)) return 0;
    bool noWait = false;
    if (const LexToken* option = DbgEvalArg(ctx, 1)) {
        if (option->kind != tok::FLAGS || !option->str || std::strcmp(option->str, "async") != 0 ||
            DbgEvalArg(ctx, 2)) {
            PrvPrintSyntax(ctx, id, kText);
            return 1;
        }
        noWait = true;
    }
    return CmdGetStateAndReport(ctx, noWait, false);
}

uint16_t CmdDoEnvironmentCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Display the debugger environment info.", "Syntax: %s"};
    if (PrvAnswerHelp(ctx, CommandId(ctx), kText)) return 0;
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
    if (PrvAnswerHelp(ctx, CommandId(ctx), kText)) return 0;
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

}  // namespace quillwatch
