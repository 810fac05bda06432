// Command handlers of run control: go, go till, the steps, breakpoints, A-trap breaks, stack
// crawls, step spy and the DbgBreak() switch.
#include "quillwatch/engine/debugger/FlowCommands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/FunctionTable.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"

namespace quillwatch {

namespace {

constexpr uint32_t kThrowQuiet = 0xFFFFFFFF;

// "%08lX (%s+%04X)" with the routine the device names for the address, or "%08lX".
std::string PrvAddressLabel(DbgContextType* ctx, uint32_t address) {
    char text[80];
    std::string routine = CmdRoutineLabel(ctx, address);
    if (routine.empty()) {
        std::snprintf(text, sizeof text, "%08X", address);
    } else {
        std::snprintf(text, sizeof text, "%08X (%s)", address, routine.c_str());
    }
    return text;
}

// The stack-crawl arguments: [start [frames]] with the default start and 10 frames, at most 100.
bool PrvCrawlArgs(DbgContextType* ctx, uint32_t defaultStart, uint32_t* start, uint32_t* frames) {
    *start = defaultStart;
    *frames = 10;
    const LexToken* a = DbgEvalArg(ctx, 1);
    if (a && !CmdArgNumber(a, start)) return false;
    const LexToken* f = DbgEvalArg(ctx, 2);
    if (f && !CmdArgNumber(f, frames)) return false;
    if (DbgEvalArg(ctx, 3)) return false;
    if (*frames > 100) *frames = 100;
    return true;
}

}  // namespace

uint16_t CmdDoContinueCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Continue execution (optionally, from specified address).",
                                       "Syntax: %s [<addr>]"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address = 0;
    const LexToken* a = DbgEvalArg(ctx, 1);
    if ((a && !CmdArgNumber(a, &address)) || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    if (address & 1) {
        DbgPrint(ctx, "CmdDoContinueCmd error: illegal address.\n");
        return 1;
    }
    return CmdContinue(ctx, address, true);
}

uint16_t CmdDoGoTillCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "Sets a temporary breakpoint at addr and resumes execution from the current program counter.",
        "Syntax: %s <addr>"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address;
    if (!CmdArgNumber(DbgEvalArg(ctx, 1), &address) || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    return CmdGoTill(ctx, address);
}

uint16_t CmdDoStepCmd(DbgContextType* ctx) {
    static constexpr CommandText kInto{"Single step the processor, stepping into subroutines.", "Syntax: %s"};
    static constexpr CommandText kOver{"Single step the processor, stepping over subroutines.", "Syntax: %s"};
    const bool into = CmdCommandId(ctx) == dbgCmdStepInto;
    const CommandText& text = into ? kInto : kOver;
    if (CmdHandlerStart(ctx, text)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    if (DbgEvalArg(ctx, 1)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), text);
        return 1;
    }
    if (!ctx->repeat) CmdClearRoutine(ctx);
    return into ? CmdStepInto(ctx, true) : CmdStepOver(ctx, true);
}

uint16_t CmdDoBreakpointCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Set a breakpoint at the specified address.", "Syntax: %s [\\toggle] <addr>"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    // The option may stand before or after the address.
    bool toggle = false;
    uint32_t address = 0;
    bool haveAddress = false, ok = true;
    for (uint16_t i = 1; const LexToken* e = DbgEvalArg(ctx, i); ++i) {
        if (const char* flags = CmdArgFlags(e)) {
            ok = ok && !toggle && std::strcmp(flags, "toggle") == 0;
            toggle = true;
        } else {
            ok = ok && !haveAddress && CmdArgNumber(e, &address);
            haveAddress = true;
        }
    }
    if (!ok || !haveAddress) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    if (address == 0 || (address & 1)) {
        DbgPrint(ctx, "Error: illegal address.\n");
        return 1;
    }
    ctx->dotAddress = address;
    if (toggle) {
        for (int i = 0; i < 5; ++i) {
            if (ctx->breakpoints[i].address == address) {
                ctx->breakpoints[i] = {};
                if (uint16_t err = CmdSendAllBreakpoints(ctx)) return err;
                DbgPrintf(ctx, "Breakpoint cleared at %s\n", PrvAddressLabel(ctx, address).c_str());
                return 0;
            }
        }
    }
    for (int i = 0; i < 5; ++i) {
        if (ctx->breakpoints[i].address != 0) continue;
        ctx->breakpoints[i] = {address, 1, 0};
        if (uint16_t err = CmdSendAllBreakpoints(ctx)) return err;
        DbgPrintf(ctx, "Breakpoint set at %s\n", PrvAddressLabel(ctx, address).c_str());
        return 0;
    }
    DbgPrint(ctx, "Error: no more breakpoints can be set.\n");
    return 1;
}

uint16_t CmdDoClearBreakpointCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{
        "Clears the breakpoint at the specified address.  If address is not specified,\nall breakpoints will be "
        "cleared.",
        "Syntax: %s [<addr>]"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    const LexToken* a = DbgEvalArg(ctx, 1);
    uint32_t address = 0;
    if ((a && !CmdArgNumber(a, &address)) || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    if (!a) {
        for (int i = 0; i < 5; ++i) ctx->breakpoints[i] = {};
        if (uint16_t err = CmdSendAllBreakpoints(ctx)) return err;
        DbgPrint(ctx, "All breakpoints cleared\n");
        return 0;
    }
    if (address & 1) {
        DbgPrint(ctx, "Error: illegal address.\n");
        return 1;
    }
    for (int i = 0; i < 5; ++i) {
        if (ctx->breakpoints[i].address != address) continue;
        ctx->breakpoints[i] = {};
        if (uint16_t err = CmdSendAllBreakpoints(ctx)) return err;
        DbgPrintf(ctx, "Breakpoint cleared at %s\n", PrvAddressLabel(ctx, address).c_str());
        return 0;
    }
    DbgPrint(ctx, "Error: breakpoint not found(1).\n");
    return 1;
}

uint16_t CmdDoDisplayBreakpointsCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Display the list of all breakpoints currently set.", "Syntax: %s"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!ctx->attached) DbgPrint(ctx, "WARNING: not attached to remote.\n");
    bool any = false;
    for (int i = 0; i < 5; ++i) {
        const DbgBreakpointEntry& bp = ctx->breakpoints[i];
        if (!bp.address) continue;
        any = true;
        std::string label = ctx->attached ? PrvAddressLabel(ctx, bp.address) : "";
        if (label.empty()) {
            char text[16];
            std::snprintf(text, sizeof text, "%08X", bp.address);
            label = text;
        }
        DbgPrintf(ctx, "%s%s\n", label.c_str(), bp.enabled ? "" : " [Disabled]");
    }
    if (!any) DbgPrint(ctx, "No breakpoints to display.\n");
    return 0;
}

uint16_t CmdDoStackCrawlCmd(DbgContextType* ctx) {
    static constexpr CommandText kA6{
        "List the A6 stack frame chain starting at the specified address.  If address\nis not specified, uses the "
        "current A6 value.",
        "Syntax: %s [<addr> [<frames>]]"};
    static constexpr CommandText kA7{
        "List the A7 stack frame chain starting at the specified address.  If address\nis not specified, uses the "
        "current A7 value.",
        "Syntax: %s [<addr> [<frames>]]"};
    const bool a7 = CmdCommandId(ctx) == dbgCmdStackCrawlA7;
    const CommandText& text = a7 ? kA7 : kA6;
    if (CmdHandlerStart(ctx, text)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t start, frames;
    if (!PrvCrawlArgs(ctx, a7 ? CmdCurrentA7(ctx, &ctx->regs) : ctx->regs.a[6], &start, &frames)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), text);
        return 1;
    }
    if (a7) {
        CmdStackCrawlA7(ctx, start, frames);
    } else {
        CmdStackCrawlA6(ctx, start, frames);
    }
    return 0;
}

uint16_t CmdDoStepSpyCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Breaks into debugger when long word at given address changes value",
                                       "Syntax: %s [<addr>] "};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint32_t address;
    if (!CmdArgNumber(DbgEvalArg(ctx, 1), &address) || DbgEvalArg(ctx, 2)) {
        CmdPrintSyntax(ctx, CmdCommandId(ctx), kText);
        return 1;
    }
    uint8_t bytes[4];
    if (uint16_t err = CmdReadRemoteMemCached(ctx, bytes, address, 4, false)) return err;
    ctx->stepSpy = 1;
    ctx->stepSpyAddress = address;
    ctx->stepSpyCount = 4;
    ctx->stepSpyChecksum = vantor::ReadBE32(bytes);
    DbgPrintf(ctx, "Step Spying on address: %08X\n", address);
    return 0;
}

uint16_t CmdDoDbgBreakToggleCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Enable/Disable DbgBreak()'s", "Syntax: %s"};
    if (CmdHandlerStart(ctx, kText)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    const uint8_t request[2] = {vantor::dbgPktToggleDbgBreaks, 0};
    SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketDebugger;
    SlkBodyPart parts[] = {{sizeof request, request}, {0, nullptr}};
    uint8_t reply[4] = {};
    SlkPktHeaderType replyHeader{};
    Status err = SlkSendPacket(&header, parts);
    if (!err) err = SlkReceivePacket(vantor::slkSocketDebugger, false, &replyHeader, reply, sizeof reply, 1000);
    if (!err && (replyHeader.bodySize < 3 || reply[0] != (vantor::dbgPktToggleDbgBreaks | vantor::dbgReplyFlag)))
        err = vantor::slkErrResponse;
    if (err) {
        DbgPrintf(ctx, "CmdDoDbgBreakToggleCmd error:%s\n", LinkErrorText(err));
        return 1;
    }
    DbgPrint(ctx, reply[2] ? "User Breaks Disabled\n" : "User Breaks Enabled\n");
    return 0;
}

// ---- A-trap breaks ----

uint16_t CmdLibraryRefNum(DbgContextType* /*ctx*/, const char* library) {
    uint16_t found = 0;
    ErrTry([&] {
        const uint32_t table = RemoteReadLong(320);
        uint8_t countBytes[2];
        if (RemoteReadCached(countBytes, 324, 2) != 0) return;
        const uint16_t count = vantor::ReadBE16(countBytes);
        for (uint16_t ref = 1; ref < count && !found; ++ref) {
            const uint32_t dispatch = RemoteReadLong(table + ref * 16u);
            if (!dispatch) continue;
            uint8_t offset[2];
            char name[33] = {};
            if (RemoteReadCached(offset, dispatch, 2) != 0) continue;
            RemoteReadCached(name, dispatch + vantor::ReadBE16(offset), 32);
            if (std::strcmp(name, library) == 0) found = ref;
        }
    });
    return found;
}

bool CmdLibraryLoaded(DbgContextType* /*ctx*/, uint16_t refNum) {
    bool loaded = false;
    ErrTry([&] {
        uint8_t countBytes[2];
        if (refNum == 0 || RemoteReadCached(countBytes, 324, 2) != 0 || refNum >= vantor::ReadBE16(countBytes))
            return;
        loaded = RemoteReadLong(RemoteReadLong(320) + refNum * 16u) != 0;
    });
    return loaded;
}

void CmdPrintFunctionHeader(DbgContextType* ctx) {
    DbgPrintf(ctx, "%-34s%-8s%-8s%s\n%s\n", "Function Name", "Trap #", "Library", "Address",
              std::string(59, '=').c_str());
}

void CmdPrintFunctionRow(DbgContextType* ctx, const char* name, uint16_t trap, uint16_t refNum, uint32_t* address) {
    char library[8];
    if (refNum) {
        std::snprintf(library, sizeof library, "$%04X", refNum);
    } else {
        std::strcpy(library, "none");
    }
    char trapText[8];
    std::snprintf(trapText, sizeof trapText, "$%04X", trap);
    uint32_t routine = CmdTrapAddress(ctx, trap, refNum, nullptr);
    if (address) *address = routine;
    char addressText[12] = "";
    if (routine) std::snprintf(addressText, sizeof addressText, "%08X", routine);
    DbgPrintf(ctx, "%-34s%-8s%-8s%s\n", name, trapText, library, addressText);
}

namespace {

// The trap, condition and selector of an atb or atc line. False after its message.
bool PrvTrapBreakArgs(DbgContextType* ctx, bool isSet, uint16_t* trap, uint16_t* condition, uint16_t* selector,
                      std::string* name) {
    *condition = 0;
    *selector = 0xFFFF;
    const LexToken* first = DbgEvalArg(ctx, 1);
    if (const char* fname = CmdArgString(first)) {
        const char* library = nullptr;
        uint16_t sel = 0xFFFF;
        uint16_t t = FuncGetByName(ctx, fname, &library, &sel);
        if (t == kFuncNoTrap) {
            DbgPrint(ctx, "Not found.\n");
            return false;
        }
        *trap = static_cast<uint16_t>(0xA000 | t);
        *selector = sel;
        if (library) {
            *condition = CmdLibraryRefNum(ctx, library);
            if (*condition == 0) {
                DbgPrint(ctx, isSet ? "Invalid library name\n" : "Invalid trap parameter\n");
                return false;
            }
        }
        *name = fname;
        return true;
    }
    uint32_t value;
    if (!CmdArgNumber(first, &value)) return false;
    *trap = static_cast<uint16_t>(value);
    const char* library = nullptr;
    if (const LexToken* second = DbgEvalArg(ctx, 2)) {
        uint32_t number;
        bool ok = false;
        if (CmdArgNumber(second, &number)) {
            *condition = static_cast<uint16_t>(number);
            // A library's reference number, or a dispatch selector the function table knows.
            ok = CmdLibraryLoaded(ctx, static_cast<uint16_t>(number));
            if (!ok) {
                int32_t i = FuncFindByTrap(ctx, *trap & 0xFFF, nullptr, static_cast<uint16_t>(number));
                if (i >= 0 && ctx->functions->entries[i].selector == number) {
                    *selector = static_cast<uint16_t>(number);
                    ok = true;
                }
            }
        } else if ((library = CmdArgString(second))) {
            *condition = CmdLibraryRefNum(ctx, library);
            ok = *condition != 0;
        }
        if (!ok) {
            DbgPrint(ctx, isSet ? "Invalid library name/refnum or selector\n" : "Invalid trap parameter\n");
            return false;
        }
    }
    const char* found = FuncNameByTrap(ctx, *trap & 0xFFF, library, *selector);
    if (!found) {
        DbgPrint(ctx, isSet ? "Trap Name not found\n" : "Trap name not found.\n");
        name->clear();
    } else {
        *name = found;
    }
    return true;
}

void PrvPrintTrapMessage(DbgContextType* ctx, const char* prefix, uint16_t trap, uint16_t condition,
                         const std::string& name, const char* suffix) {
    if (condition) {
        DbgPrintf(ctx, "%s %04x(%04x) (%s)%s\n", prefix, trap, condition, name.c_str(), suffix);
    } else {
        DbgPrintf(ctx, "%s %04x (%s)%s\n", prefix, trap, name.c_str(), suffix);
    }
}

void PrvReportTrapError(DbgContextType* ctx, uint32_t code) {
    if (code != kThrowQuiet) DbgPrintf(ctx, "Error #%x occurred\n", code);
}

}  // namespace

uint16_t CmdDoTrapBreakCmd(DbgContextType* ctx) {
    static constexpr CommandText kSet{"Add A-Trap break.\n",
                                      "Syntax: %s <\"funcName\"> | <A-trap number> [<libRefnum> | <\"libname\"> | "
                                      "<selector>]"};
    static constexpr CommandText kClear{"Clear an A-Trap break.\n",
                                        "Syntax: %s <\"funcName\"> | <A-trap number> [<libRefnum> | <\"libname\">]"};
    static constexpr CommandText kShow{"Display all A-Trap breaks.\n", "Syntax: %s "};
    const uint16_t id = CmdCommandId(ctx);
    const CommandText& text = id == dbgCmdTrapBreakSet ? kSet : id == dbgCmdTrapBreakClear ? kClear : kShow;
    if (CmdHandlerStart(ctx, text)) return 0;
    if (!CmdRequireAttached(ctx)) return 1;
    uint16_t traps[5], conditions[5], selectors[5];

    if (id == dbgCmdTrapBreakDisplay) {
        uint32_t thrown = ErrTry([&] { CmdGetTrapBreaks(ctx, traps, conditions, selectors); });
        if (thrown) {
            PrvReportTrapError(ctx, thrown);
            return 1;
        }
        DbgPrint(ctx, "Displaying A-Traps:\n");
        bool any = false;
        for (int i = 0; i < 5; ++i) {
            if (!traps[i]) continue;
            if (!any) CmdPrintFunctionHeader(ctx);
            any = true;
            const char* name = FuncNameByTrap(ctx, traps[i] & 0xFFF, nullptr, 0xFFFF);
            CmdPrintFunctionRow(ctx, name ? name : "", traps[i], conditions[i], nullptr);
        }
        if (!any) DbgPrint(ctx, "  There are no A-Traps currently set.\n");
        return 0;
    }

    const bool isSet = id == dbgCmdTrapBreakSet;
    if (!isSet && !DbgEvalArg(ctx, 1)) {
        uint32_t thrown = ErrTry([&] {
            for (int i = 0; i < 5; ++i) traps[i] = conditions[i] = 0, selectors[i] = 0xFFFF;
            CmdSetTrapBreaks(ctx, traps, conditions, selectors);
        });
        if (thrown) {
            PrvReportTrapError(ctx, thrown);
            return 1;
        }
        DbgPrint(ctx, "All A-Traps cleared\n");
        return 0;
    }
    uint16_t trap, condition, selector;
    std::string name;
    if (!DbgEvalArg(ctx, 1) || DbgEvalArg(ctx, 3)) {
        CmdPrintSyntax(ctx, id, text);
        return 1;
    }
    if (!PrvTrapBreakArgs(ctx, isSet, &trap, &condition, &selector, &name)) return 1;
    uint32_t thrown = ErrTry([&] {
        CmdGetTrapBreaks(ctx, traps, conditions, selectors);
        int match = -1;
        for (int i = 0; i < 5 && match < 0; ++i) {
            if (traps[i] == trap && conditions[i] == condition && selectors[i] == selector) match = i;
        }
        if (isSet) {
            if (match >= 0) {
                PrvPrintTrapMessage(ctx, "A-trap on", trap, condition, name, " is already set");
                ErrThrow(kThrowQuiet);
            }
            int slot = -1;
            for (int i = 0; i < 5 && slot < 0; ++i) {
                if (traps[i] == 0) slot = i;
            }
            if (slot < 0) {
                DbgPrint(ctx, "Can not add any more A-traps\n");
                ErrThrow(kThrowQuiet);
            }
            traps[slot] = trap;
            conditions[slot] = condition;
            selectors[slot] = selector;
            CmdSetTrapBreaks(ctx, traps, conditions, selectors);
            PrvPrintTrapMessage(ctx, "A-trap set on", trap, condition, name, "");
        } else {
            if (match < 0) {
                DbgPrint(ctx, "This A-Trap is not currently set.\n");
                ErrThrow(kThrowQuiet);
            }
            traps[match] = conditions[match] = 0;
            selectors[match] = 0xFFFF;
            CmdSetTrapBreaks(ctx, traps, conditions, selectors);
            PrvPrintTrapMessage(ctx, "A-Trap on", trap, condition, name, " Cleared");
        }
    });
    if (thrown) {
        PrvReportTrapError(ctx, thrown);
        return 1;
    }
    return 0;
}

}  // namespace quillwatch
