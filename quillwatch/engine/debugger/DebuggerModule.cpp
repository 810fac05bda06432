// The debugger command module and the dispatch of command ids to their handlers.
#include "quillwatch/engine/debugger/DebuggerModule.h"

#include <cstring>

#include "quillwatch/engine/debugger/CommandHandlers.h"
#include "quillwatch/engine/debugger/FileCommands.h"
#include "quillwatch/engine/debugger/FlowCommands.h"
#include "quillwatch/engine/debugger/InfoCommands.h"
#include "quillwatch/engine/debugger/SymbolFiles.h"
#include "quillwatch/engine/debugger/Templates.h"
#include "quillwatch/engine/debugger/Scripts.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "quillwatch/engine/lang/Parser.h"
#include "quillwatch/engine/lang/SymbolTable.h"
#include "quillwatch/engine/shell/Shell.h"

namespace quillwatch {

namespace {

// The flag that a debugger variable is bound to.
uint8_t* BoundFlag(DbgContextType* ctx, uint16_t varId) {
    switch (varId) {
        case dbgVarDebOut:
            return &ctx->debOut;
        case dbgVarSymbolsOn:
            return &ctx->symbolsOn;
        case dbgVarStepRegs:
            return &ctx->stepRegs;
        case dbgVarReadMemHack:
            return &ctx->readMemHack;
        case dbgVarAttached:
            return &ctx->attached;
        default:
            return nullptr;
    }
}

// Defines the debugger's own variables (module 0), each bound to its flag.
uint16_t PrvDefineDebuggerVariables(DbgContextType* ctx) {
    static constexpr struct {
        const char* name;
        uint16_t id;
    } vars[] = {{"DebOut", dbgVarDebOut},
                {"SymbolsOn", dbgVarSymbolsOn},
                {"ReadMemHack", dbgVarReadMemHack},
                {"StepRegs", dbgVarStepRegs},
                {"Attached", dbgVarAttached}};
    for (const auto& v : vars) {
        SymEntryType* value;
        if (lex_defineVar(ctx, v.name, kModuleDebugger, v.id, &value) != 0) return 1;
        if (lex_setVarValuePtr(ctx, value, tok::VAL, 1, *BoundFlag(ctx, v.id), nullptr) != 0) return 1;
    }
    return 0;
}

// Hands a command id the debugger does not handle to the other modules.
uint16_t PrvOtherModules(DbgContextType* ctx) {
    for (uint16_t id = 1; id < kModuleCount; ++id) {
        const ModuleDescr& d = ctx->modules[id];
        if (d.inUse && d.execute) return module_executeCommand(ctx, id);
    }
    return module_executeCommand(ctx, kModuleUser);
}

}  // namespace

uint16_t DbgModuleInit(DbgContextType* ctx, uint16_t /*moduleId*/) {
    uint16_t userModule = kModuleUser;
    uint16_t status = static_cast<uint16_t>(module_add(ctx, &userModule, "User-defined", 0));
    if (status == 0) status = module_initModule(ctx, userModule);
    if (status == 0) status = static_cast<uint16_t>(parse_init(ctx));
    if (status == 0) status = static_cast<uint16_t>(eval_init(ctx));
    if (status == 0) exec_init(ctx);
    if (status == 0) status = static_cast<uint16_t>(TmtPrimitivesInit(ctx));
    if (status == 0) status = PrvDefineDebuggerVariables(ctx);

    // The start-up script runs whatever became of the steps above.
    DbgPrint(ctx, "Loading startup script...\n");
    CmdRunScript(ctx, "UserStartup-Quillwatch");
    CmdPrintEnvironment(ctx);
    return status;
}

uint16_t DbgModuleClose(DbgContextType* ctx, uint16_t moduleId) {
    uint16_t kind;
    uint16_t status = module_closeModule(ctx, kModuleUser);
    status |= static_cast<uint16_t>(module_remove(ctx, kModuleUser, &kind));
    status |= static_cast<uint16_t>(module_remove(ctx, moduleId, &kind));
    module_destroyTable(ctx);
    eval_close(ctx);
    parse_close(ctx);
    SymFileRemoveAll(ctx);
    DbgFreeBuffer(ctx->trapTableCache);
    ctx->trapTableCache = nullptr;
    ctx->trapTableCached = 0;
    return status;
}

uint16_t DbgModuleVarChanged(DbgContextType* ctx, uint16_t /*moduleId*/, uint16_t varId,
                             SymEntryType* value) {
    uint8_t* flag = BoundFlag(ctx, varId);
    if (!flag) return 1;
    // Texts count as set, as any other non-zero value.
    bool set = LexKindOwnsText(value->kind) ? true : value->value != 0;
    *flag = set ? 1 : 0;
    if (varId == dbgVarAttached) ShellAttached = *flag;
    return 0;
}

uint16_t DbgModuleExecuteCommand(DbgContextType* ctx, uint16_t /*moduleId*/) {
    const LexToken* command = DbgEvalArg(ctx, 0);
    if (!command) return 0;
    switch (command->id) {
        case dbgCmdDisplayMem:
            return CmdDoDisplayMemCmd(ctx);
        case dbgCmdInstructionList:
            return CmdDoInstructionListCmd(ctx);
        case dbgCmdSetByte:
        case dbgCmdSetWord:
        case dbgCmdSetLong:
            return CmdDoSetMemCmd(ctx);
        case dbgCmdGo:
            return CmdDoContinueCmd(ctx);
        case dbgCmdGoTill:
            return CmdDoGoTillCmd(ctx);
        case dbgCmdStepOver:
        case dbgCmdStepInto:
            return CmdDoStepCmd(ctx);
        case dbgCmdBreakpoint:
            return CmdDoBreakpointCmd(ctx);
        case dbgCmdClearBreakpoint:
            return CmdDoClearBreakpointCmd(ctx);
        case dbgCmdDisplayBreakpoints:
            return CmdDoDisplayBreakpointsCmd(ctx);
        case dbgCmdHelp:
            return CmdDoHelpCmd(ctx);
        case dbgCmdAttach:
            return CmdDoAttachCmd(ctx);
        case dbgCmdEnvironment:
            return CmdDoEnvironmentCmd(ctx);
        case dbgCmdRegisters:
            return CmdDoRegistersCmd(ctx);
        case dbgCmdLoad:
        case dbgCmdDump:
        case dbgCmdSave:
        case dbgCmdBootstrap:
            return CmdDoFileCmd(ctx);
        case dbgCmdStackCrawlA6:
        case dbgCmdStackCrawl:
        case dbgCmdStackCrawlA7:
            return CmdDoStackCrawlCmd(ctx);
        case dbgCmdWhere:
            return CmdDoWhereCmd(ctx);
        case dbgCmdRegisterTrap:
            return CmdDoRegisterTrapCmd(ctx);
        case dbgCmdRun:
            return CmdDoRunScriptCmd(ctx);
        case dbgCmdKeywords:
        case dbgCmdTemplates:
        case dbgCmdVariables:
        case dbgCmdAliases:
        case dbgCmdCommands:
            return CmdDoListCmd(ctx);
        case dbgCmdTypeEnd:
            return CmdDoTypeEndCmd(ctx);
        case dbgCmdAlias:
            return CmdDoAliasCmd(ctx);
        case dbgCmdVar:
            return CmdDoVarCmd(ctx);
        case dbgCmdSizeof:
            return CmdDoSizeofCmd(ctx);
        case dbgCmdFlash:
        case dbgCmdChecksum:
        case dbgCmdLockStatus:
        case dbgCmdEraseFlash:
        case dbgCmdValidate:
            return CmdDoNotEnabledCmd(ctx);
        case dbgCmdDbgBreakToggle:
            return CmdDoDbgBreakToggleCmd(ctx);
        case dbgCmdDisplayByte:
        case dbgCmdDisplayWord:
        case dbgCmdDisplayLong:
            return CmdDoDisplayValueCmd(ctx);
        case dbgCmdFill:
            return CmdDoFillCmd(ctx);
        case dbgCmdStepSpy:
            return CmdDoStepSpyCmd(ctx);
        case dbgCmdTrapBreakDisplay:
        case dbgCmdTrapBreakSet:
        case dbgCmdTrapBreakClear:
            return CmdDoTrapBreakCmd(ctx);
        case dbgCmdFindByte:
        case dbgCmdFindWord:
        case dbgCmdFindLong:
        case dbgCmdFindText:
            return CmdDoFindCmd(ctx);
        case dbgCmdLibraries:
            return CmdDoLibrariesCmd(ctx);
        case dbgCmdRomListing:
            return CmdDoRomListingCmd(ctx);
        case dbgCmdSymbols:
            return CmdDoSymbolsCmd(ctx);
        case dbgCmdBeginStruct:
            return CmdDoBeginStructCmd(ctx);
        case dbgCmdDefineField:
            return CmdDoDefineFieldCmd(ctx);
        case dbgCmdTypedef:
            return CmdDoTypedefIndirectCmd(ctx);
        case dbgCmdExecuteAlias:
            return CmdDoExecuteAliasCmd(ctx);
        case dbgCmdAlign:
            return CmdDoAlignCmd(ctx);
        case dbgCmdPlay:
            return 0;
        default:
            if ((command->id >= dbgCmdCardInfo && command->id <= dbgCmdOpened) || command->id == dbgCmdPerformance ||
                command->id == dbgCmdReset)
                return CmdDoShellCmd(ctx);
            return PrvOtherModules(ctx);
    }
}

uint16_t CmdDoExecuteAliasCmd(DbgContextType* ctx) {
    const LexToken* alias = DbgEvalArg(ctx, 1);
    if (!alias || alias->kind != tok::ALIAS) {
        DbgPrint(ctx, "ERROR in CmdDoExecuteAliasCmd: alias entry expected.\n");
        return 1;
    }
    // Each line runs through the line runner, which reuses the stacks: work on a copy.
    char* text = HostStrDup(alias->str ? alias->str : "");
    if (!text) {
        DbgPrint(ctx, "ERROR in CmdDoExecuteAliasCmd: StrAllocCopy failed.\n");
        return 1;
    }
    uint16_t status = 0;
    for (char* line = text; line;) {
        char* next = std::strchr(line, '\n');
        if (next) *next++ = '\0';
        if (line[std::strspn(line, " \t\r\v\f")] != '\0') status |= DbgExecuteLine(ctx, line, 1);
        line = next;
    }
    DbgFreeBuffer(text);
    return status;
}

}  // namespace quillwatch
