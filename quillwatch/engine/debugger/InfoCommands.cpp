// Command handlers that need no stopped device (help, the listings, alias, var, run, atr, the
// commands not built into this debugger) and those that read the device's tables (wh, lib), and
// the device shell commands run from the Debugger window.
#include "quillwatch/engine/debugger/InfoCommands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "quillwatch/engine/debugger/FlowCommands.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/debugger/Scripts.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/SymbolTable.h"
#include "quillwatch/engine/shell/Shell.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteMemory.h"

namespace quillwatch {

namespace {

// One line of the help summary: the syntax padded so that ";" stands at the column.
struct HelpLine {
    const char* syntax;
    const char* description;
    int column;
};

void PrvHelpSection(DbgContextType* ctx, const char* heading, const std::vector<HelpLine>& lines) {
    DbgPrintf(ctx, "%s\n", heading);
    for (const HelpLine& l : lines) {
        std::string text = "  ";
        text += l.syntax;
        // A syntax ending in a tab keeps the tab and a blank just before the ";".
        const bool tab = !text.empty() && text.back() == '\t';
        if (tab) text.pop_back();
        const int pad = tab ? l.column - 2 : l.column;
        if (static_cast<int>(text.size()) < pad) text.resize(static_cast<size_t>(pad), ' ');
        if (tab) text += "\t ";
        DbgPrintf(ctx, "%s;%s\n", text.c_str(), l.description);
    }
    DbgPrint(ctx, "\n");
}

void PrvHelpSummary(DbgContextType* ctx) {
    PrvHelpSection(ctx, "Flow Control Commands",
                   {{"att", "Attach to Remote", 36},
                    {"g [<addr>]", "Go", 36},
                    {"gt <addr>", "Go Till", 36},
                    {"s", "Step Into", 36},
                    {"t", "Step Over", 36},
                    {"br [\\toggle] <addr>", "Set Breakpoint", 36},
                    {"cl [<addr>] | brc [<addr>]", "Clear Breakpoint(s)", 36},
                    {"brd", "Display Breakpoints", 36},
                    {"atb <\"name\">|<trap> [<lib>]", "Add A-Trap Break", 36},
                    {"atc [<\"name\">|<trap> [<lib>]]", "Clear A-Trap Break(s)", 36},
                    {"atd", "Display A-Trap Breaks", 36},
                    {"dx", "Enable/Disable DbgBreak()'s", 36},
                    {"reset", "Reset the Nimbrel", 36}});
    PrvHelpSection(ctx, "Memory Commands",
                   {{"il [<addr>|<\"func\">] [<count>]", "Instruction List", 36},
                    {"dm <addr> [<count>] [<template>]", "Display Memory", 36},
                    {"db <addr>", "Display Byte", 36},
                    {"dw <addr>", "Display Word", 36},
                    {"dl <addr>", "Display Long", 36},
                    {"sb <addr> <value>...", "Set Byte(s)", 36},
                    {"sw <addr> <value>...", "Set Word(s)", 36},
                    {"sl <addr> <value>...", "Set Long(s)", 36},
                    {"fill <addr> <numBytes> <value>", "Fill Memory", 36},
                    {"fb <value> <addr> <nbytes> [\\flags]", "Find Byte", 40},
                    {"fw <value> <addr> <nbytes> [\\flags]", "Find Word", 40},
                    {"fl <value> <addr> <nbytes> [\\flags]", "Find Long", 40},
                    {"ft <text> <addr> <nbytes> [\\flags]", "Find Text", 40},
                    {"sc6 [<addr> [<frames>]]", "Stack Crawl using A6", 36},
                    {"sc [<addr> [<frames>]]", "Stack Crawl using A6", 36},
                    {"sc7 [<addr> [<frames>]]", "Stack Crawl using A7", 36},
                    {"wh [\\a <addr>] [<\"func\"> | <A-trap number>]", "Where is", 51},
                    {"atr <\"func\"> <trap> [<\"lib\"> | <sel>]", "Register A-Trap", 36}});
    PrvHelpSection(ctx, "Template Commands",
                   {{"typedef <template> [@...] <\"name\"> [[n]]", "Define a template", 52},
                    {"typedef struct <\"name\">", "Begin a structure template", 52},
                    {"> <template> [@...] <\"field\"> [[n]] [\\flags]", "Define a field", 52},
                    {"typeend\t", "End a structure template", 52},
                    {"sizeof <template>", "Display template size", 52}});
    PrvHelpSection(ctx, "Register Commands", {{"reg", "Display Registers", 36}});
    PrvHelpSection(ctx, "Utility Commands",
                   {{"load <\"file\"> <addr>", "Load File", 36},
                    {"save <\"file\"> <addr> <bytes>", "Save Memory to File", 36},
                    {"bootstrap <\"init\"> <\"rom\">", "Load ROM by Bootstrap", 36},
                    {"flash", "Flash Programming", 36},
                    {"run <\"file\">", "Run Script", 36},
                    {"alias <\"name\"> [<\"text\">]", "Define Alias", 36},
                    {"var <\"name\"> [<value>]", "Define Variable", 36},
                    {"aliases", "List Aliases", 36},
                    {"templates", "List Templates", 36},
                    {"variables", "List Variables", 36},
                    {"keywords", "List Keywords", 36},
                    {"sym [options...]", "Source Level Symbols", 36}});
    PrvHelpSection(ctx, "Console Commands",
                   {{"CardInfo <cardNo>", "Card Info", 36},
                    {"StoreInfo <cardNo>", "Store Info", 36},
                    {"HL <cardNo>", "Heap List", 36},
                    {"HD <heapID>", "Heap Dump", 36},
                    {"HT <heapID>", "Heap Total", 36},
                    {"HChk <heapID>", "Heap Check", 36},
                    {"Info <chunkPtr>", "Chunk Info", 36},
                    {"Info <localID> -card <cardNo>", "Chunk Info", 36},
                    {"Dir <cardNo>", "Database Directory", 36},
                    {"Opened", "Open Databases", 36}});
    PrvHelpSection(ctx, "Miscellaneous Debugger Commands",
                   {{"help", "Display command summary", 36},
                    {"{help <cmd>} | {<cmd> ?}", "Display debugger command help", 36},
                    {"?", "Display command summary", 36},
                    {"penv", "Display debugger environment", 36}});
    PrvHelpSection(ctx, "Debugger Environment Variables:",
                   {{"DebOut", "Verbose evaluation output", 36},
                    {"SymbolsOn", "Symbolic disassembly", 36},
                    {"StepRegs", "Show registers after each step", 36},
                    {"ReadMemHack", "Read host memory", 36}});
    PrvHelpSection(ctx, "Predefined Constants:",
                   {{"true", "1", 36},
                    {"false", "0", 36},
                    {"srTmask", "$8000", 36},
                    {"srSmask", "$2000", 36},
                    {"srImask", "$0700", 36},
                    {"srXmask", "$0010", 36},
                    {"srNmask", "$0008", 36},
                    {"srZmask", "$0004", 36},
                    {"srVmask", "$0002", 36},
                    {"srCmask", "$0001", 36}});
}

// The next free id of a user symbol kind (module 1); a redefined one keeps its id.
uint16_t PrvUserSymbolId(DbgContextType* ctx, const char* name, uint16_t kind) {
    SymEntryType* old = SymFindByName(ctx, name);
    if (old && old->kind == kind && old->module == 1) return old->id;
    uint16_t next = 1;
    for (int32_t i = 0; ctx->symbols && i < ctx->symbols->count; ++i) {
        const SymEntryType& e = ctx->symbols->entries[i];
        if (e.name && e.kind == kind && e.module == 1 && e.id >= next) next = static_cast<uint16_t>(e.id + 1);
    }
    return next;
}

}  // namespace

uint16_t CmdDoHelpCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "Display debugger command help.  If command is not specified, display a summary of commands.",
        "Syntax: %s [<cmd>]"};
    // "help <cmd>" reaches the command itself with `help` as its argument; here the line is help alone.
    if (CmdAnswerHelp(ctx, dbgCmdHelp, kText)) return 0;
    PrvHelpSummary(ctx);
    return 0;
}

uint16_t CmdDoListCmd(DbgContextType* ctx) {
    static constexpr CommandText kTexts[] = {{"List all debugger keywords.", "Syntax: %s"},
                                             {"List debugger template names.", "Syntax: %s"},
                                             {"List debugger variable names.", "Syntax: %s"},
                                             {"List debugger alias names.", "Syntax: %s"},
                                             {"List debugger command names.", "Syntax: %s"}};
    const uint16_t id = CmdCommandId(ctx);
    const int which = id == dbgCmdKeywords ? 0 : id == dbgCmdTemplates ? 1 : id == dbgCmdVariables ? 2
                                              : id == dbgCmdAliases    ? 3
                                                                       : 4;
    if (CmdHandlerStart(ctx, kTexts[which])) return 0;
    static constexpr uint16_t kKinds[] = {0, tok::TEMPLATE, tok::VAR, tok::ALIAS, tok::CMD};
    if (which == 0) {
        KwdList(ctx);
    } else {
        SymListKind(ctx, kKinds[which]);
    }
    return 0;
}

uint16_t CmdDoAliasCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "Define a debugger alias.  If no text is specified, the named alias is listed.",
        "Syntax: %s <\"name\"> [<\"text\">]"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    const char* name = CmdArgString(DbgEvalArg(ctx, 1));
    const LexToken* textArg = DbgEvalArg(ctx, 2);
    const char* text = CmdArgString(textArg);
    if (!name || (textArg && !text) || DbgEvalArg(ctx, 3)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    if (!text) return lex_showAlias(ctx, name) ? 1 : 0;
    return lex_defineAlias(ctx, name, text, 1, PrvUserSymbolId(ctx, name, tok::ALIAS)) ? 1 : 0;
}

uint16_t CmdDoVarCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "Define a debugger variable.  The initial value may be any expression evaluating to an integer or a string.",
        "Syntax: %s <\"name\"> [<initial value>]"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    const char* name = CmdArgString(DbgEvalArg(ctx, 1));
    const LexToken* init = DbgEvalArg(ctx, 2);
    uint32_t number = 0;
    const bool isNumber = CmdArgNumber(init, &number);
    const char* text = CmdArgString(init);
    if (!name || (init && !isNumber && !text) || DbgEvalArg(ctx, 3)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    SymEntryType* value = nullptr;
    if (lex_defineVar(ctx, name, 1, PrvUserSymbolId(ctx, name, tok::VAR), &value) != 0) return 1;
    if (!init) return 0;
    if (text) return lex_setVarValuePtr(ctx, value, tok::STR, 0, 0, text) ? 1 : 0;
    return lex_setVarValuePtr(ctx, value, tok::VAL, init->size ? init->size : 4, number, nullptr) ? 1 : 0;
}

uint16_t CmdDoRunScriptCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Run a Nimbrel Debugger script.", "Syntax: %s <\"filename\">"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    const char* name = CmdArgString(DbgEvalArg(ctx, 1));
    if (!name || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    // The line runner reuses the eval stack, which holds the name: work on a copy.
    char* copy = HostStrDup(name);
    if (!copy) {
        DbgPrint(ctx, "ERROR in CmdDoRunScriptCmd: StrAllocCopy failed.\n");
        return 1;
    }
    uint16_t status = CmdRunScript(ctx, copy);
    DbgFreeBuffer(copy);
    if (status) DbgPrint(ctx, "There were errors.\n");
    return status;
}

uint16_t CmdDoNotEnabledCmd(DbgContextType* ctx) {
    switch (CmdCommandId(ctx)) {
        case dbgCmdFlash:
            DbgPrint(ctx, "Error: flash not enabled in this build of the debugger.\n");
            break;
        case dbgCmdChecksum:
            DbgPrint(ctx, "Error: checksum not enabled in this build of the debugger.\n");
            break;
        case dbgCmdLockStatus:
            DbgPrint(ctx, "Error: lockStatus not enabled in this build of the debugger.\n");
            break;
        case dbgCmdEraseFlash:
            DbgPrint(ctx, "Error: eraseBlock not enabled in this build of the debugger.\n");
            break;
        default:
            DbgPrint(ctx, "Error: validate not enabled in this build of the debugger.\n");
            break;
    }
    return 1;
}

uint16_t CmdDoRegisterTrapCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Register a function name with an A-Trap number.",
                                       "Syntax: %s <\"funcName\"> <A-trap #> [<\"libName\"> | <selector>]"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    const char* name = CmdArgString(DbgEvalArg(ctx, 1));
    uint32_t trap;
    if (!name || !CmdArgNumber(DbgEvalArg(ctx, 2), &trap) || DbgEvalArg(ctx, 4)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    if (trap >= 0x1000 && (trap < 0xA000 || trap > 0xAFFF)) {
        DbgPrint(ctx, "ERROR: A-trap number out of bounds.\n");
        return 1;
    }
    const char* library = nullptr;
    uint32_t selector = 0xFFFF;
    if (const LexToken* third = DbgEvalArg(ctx, 3)) {
        if (!(library = CmdArgString(third)) && !CmdArgNumber(third, &selector)) {
            DbgPrint(ctx, "Invalid library name or dispatch selector\n");
            return 1;
        }
    }
    return FuncAdd(ctx, name, static_cast<uint16_t>(trap & 0xFFF), library, static_cast<uint16_t>(selector)) ? 1 : 0;
}

uint16_t CmdDoWhereCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "List system function information given the function name or A-trap number.\nOr, identify memory chunk "
        "that contains a specific address (with \\a option)\nIf no options, list all system functions.",
        "Syntax: %s [\\a <address>] [<\"funcName\"> | <A-trap number>]"};
    const uint16_t id = CmdCommandId(ctx);
    if (CmdAnswerHelp(ctx, id, kText)) return 0;
    const LexToken* first = DbgEvalArg(ctx, 1);
    if (const char* flags = CmdArgFlags(first)) {
        uint32_t address;
        if (std::strcmp(flags, "a") != 0 || !CmdArgNumber(DbgEvalArg(ctx, 2), &address) || DbgEvalArg(ctx, 3)) {
            CmdPrintSyntax(ctx, id, kText);
            return 1;
        }
        ShellChunkOwner owner;
        if (PrvFindResourceTry(address, &owner) != 0 || !owner.chunkFound) {
            DbgPrint(ctx, "Could not identify pointer\n");
            return 1;
        }
        DbgPrintf(ctx, "pointer %08X is %x bytes into chunk %08X in: ", address, address - owner.chunk, owner.chunk);
        DbgPrintf(ctx, " card: %d, heapID: %d", owner.card, owner.heapId);
        if (owner.kind == ShellChunkOwner::Record) {
            DbgPrintf(ctx, " database: %s, recordNum: %d ", owner.database, owner.index);
        } else if (owner.kind == ShellChunkOwner::Resource) {
            char type[5];
            ShellTypeToText(type, owner.resType);
            DbgPrintf(ctx, " database: \"%s\", resType: '%s', resID: %d ", owner.database, type, owner.resId);
        }
        DbgPrint(ctx, "\n");
        return 0;
    }
    if (!first) {
        int32_t index;
        uint16_t trap;
        const char* library;
        const char* name = FuncFirst(ctx, &trap, &library, &index);
        if (!name) {
            DbgPrint(ctx, "No A-traps to display.\n");
            return 0;
        }
        CmdPrintFunctionHeader(ctx);
        for (; name; name = FuncNext(ctx, &trap, &library, &index)) {
            uint16_t ref = library ? CmdLibraryRefNum(ctx, library) : 0;
            CmdPrintFunctionRow(ctx, name, static_cast<uint16_t>(0xA000 | trap), ref, nullptr);
        }
        return 0;
    }
    uint16_t trap = 0, ref = 0;
    std::string name;
    if (const char* fname = CmdArgString(first)) {
        const char* library = nullptr;
        uint16_t t = FuncGetByName(ctx, fname, &library, nullptr);
        if (t == kFuncNoTrap || DbgEvalArg(ctx, 2)) {
            DbgPrint(ctx, "Not found.\n");
            return 1;
        }
        trap = static_cast<uint16_t>(0xA000 | t);
        if (library) ref = CmdLibraryRefNum(ctx, library);
        name = fname;
    } else {
        uint32_t value;
        if (!CmdArgNumber(first, &value) || DbgEvalArg(ctx, 3)) {
            CmdPrintSyntax(ctx, id, kText);
            return 1;
        }
        trap = static_cast<uint16_t>(value);
        const char* library = nullptr;
        uint16_t selector = 0xFFFF;
        if (const LexToken* second = DbgEvalArg(ctx, 2)) {
            uint32_t number;
            bool ok = false;
            if (CmdArgNumber(second, &number)) {
                if (CmdLibraryLoaded(ctx, static_cast<uint16_t>(number))) {
                    ref = static_cast<uint16_t>(number);
                    ok = true;
                } else if (FuncFindByTrap(ctx, trap & 0xFFF, nullptr, static_cast<uint16_t>(number)) >= 0) {
                    selector = static_cast<uint16_t>(number);
                    ok = true;
                }
            } else if ((library = CmdArgString(second))) {
                ref = CmdLibraryRefNum(ctx, library);
                ok = ref != 0;
            }
            if (!ok) {
                DbgPrint(ctx, "Invalid trap parameter\n");
                return 1;
            }
        }
        const char* found = FuncNameByTrap(ctx, trap & 0xFFF, library, selector);
        if (!found) {
            DbgPrint(ctx, "Not found.\n");
            return 1;
        }
        name = found;
    }
    CmdPrintFunctionHeader(ctx);
    uint32_t address = 0;
    CmdPrintFunctionRow(ctx, name.c_str(), trap, ref, &address);
    ctx->dotAddress = address;
    return 0;
}

uint16_t CmdDoLibrariesCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Display list of installed libraries\n", "Syntax: %s "};
    if (CmdHandlerStart(ctx, kText)) return 0;
    DbgPrintf(ctx, "Refnum    Dispatcher  Globals    Name\n%s\n", std::string(41, '-').c_str());
    uint32_t thrown = ErrTry([&] {
        const uint32_t table = RemoteReadLong(320);
        uint8_t countBytes[2];
        if (RemoteReadCached(countBytes, 324, 2) != 0) ErrThrow(0xFFFFFFFF);
        const uint16_t count = vantor::ReadBE16(countBytes);
        for (uint16_t ref = 1; ref < count; ++ref) {
            const uint32_t entry = table + ref * 16u;
            const uint32_t dispatch = RemoteReadLong(entry);
            const uint32_t globals = RemoteReadLong(entry + 4);
            char name[33] = {};
            if (dispatch == 0) {
                std::strcpy(name, "VACANCY");
            } else {
                uint8_t offset[2];
                if (RemoteReadCached(offset, dispatch, 2) == 0)
                    RemoteReadCached(name, dispatch + vantor::ReadBE16(offset), 32);
            }
            DbgPrintf(ctx, "%04X      %08X    %08X   %s\n", ref, dispatch, globals, name);
        }
    });
    if (thrown) DbgPrintf(ctx, "Error #%x occurred\n", thrown);
    return thrown ? 1 : 0;
}

// The evaluated line as a shell command line: keywords, numbers, strings and options.
uint16_t CmdConvertArgsToTestCodeFormat(DbgContextType* ctx, bool hex, std::string* line) {
    line->clear();
    char text[32];
    for (uint16_t i = 0; const LexToken* e = DbgEvalArg(ctx, i); ++i) {
        switch (e->kind) {
            case tok::CMD: {
                const char* name = e->id == dbgCmdHelp ? "?" : SymNameById(ctx, tok::CMD, e->module, e->id);
                *line += name ? name : "";
                *line += ' ';
                break;
            }
            case tok::VAL:
            case tok::ADDR:
                std::snprintf(text, sizeof text, hex ? "%X " : "%d ", e->value);
                *line += text;
                break;
            case tok::STR:
                *line += e->str ? e->str : "";
                *line += ' ';
                break;
            case tok::FLAGS:
                *line += "-";
                *line += e->str ? e->str : "";
                *line += ' ';
                break;
            default:
                DbgPrint(ctx, "ERROR in CmdConvertArgsToTestCodeFormat: unhandled argument type.\n");
                return 1;
        }
    }
    return 0;
}

uint16_t CmdRunShellCommand(DbgContextType* ctx, bool hex) {
    std::string line;
    if (CmdConvertArgsToTestCodeFormat(ctx, hex, &line)) return 1;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    HWND previous = HostSetConsole(ctx->console);
    const uint32_t result = ShellCmdExecute(buffer.data());
    HostSetConsole(previous);
    return result ? 1 : 0;
}

uint16_t CmdDoShellCmd(DbgContextType* ctx) {
    const uint16_t id = CmdCommandId(ctx);
    uint16_t status = CmdRunShellCommand(ctx, id != dbgCmdPerformance);
    if (id == dbgCmdReset) {
        DbgSetAttached(ctx, false);
        if (gDbgSourceHooks.clearLine) gDbgSourceHooks.clearLine();
        CmdRefreshRegisterWindow(ctx);
    }
    return status;
}

}  // namespace quillwatch
