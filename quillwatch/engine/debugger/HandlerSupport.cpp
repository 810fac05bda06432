// What every command handler shares.
#include "quillwatch/engine/debugger/HandlerSupport.h"

#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

uint16_t CmdCommandId(DbgContextType* ctx) {
    const LexToken* command = DbgEvalArg(ctx, 0);
    return command ? command->id : 0;
}

void CmdPrintSyntax(DbgContextType* ctx, uint16_t id, const CommandText& text) {
    const char* keyword = SymNameById(ctx, tok::CMD, 0, id);
    DbgPrintf(ctx, text.syntax, keyword ? keyword : "*UNKNOWN*");
    DbgPrint(ctx, "\n");
}

bool CmdAnswerHelp(DbgContextType* ctx, uint16_t id, const CommandText& text) {
    const LexToken* first = DbgEvalArg(ctx, 1);
    if (!first || first->kind != tok::CMD || first->id != dbgCmdHelp) return false;
    DbgPrintf(ctx, "%s\n", text.description);
    CmdPrintSyntax(ctx, id, text);
    return true;
}

bool CmdHandlerStart(DbgContextType* ctx, const CommandText& text) {
    return CmdAnswerHelp(ctx, CmdCommandId(ctx), text);
}

bool CmdRequireAttached(DbgContextType* ctx) {
    if (ctx->attached) return true;
    DbgPrint(ctx, "Error: not attached to remote.\n");
    return false;
}

bool CmdArgNumber(const LexToken* entry, uint32_t* value) {
    if (!entry || (entry->kind != tok::VAL && entry->kind != tok::ADDR)) return false;
    *value = entry->value;
    return true;
}

const char* CmdArgString(const LexToken* entry) {
    return entry && entry->kind == tok::STR && entry->str ? entry->str : nullptr;
}

const char* CmdArgFlags(const LexToken* entry) {
    return entry && entry->kind == tok::FLAGS && entry->str ? entry->str : nullptr;
}

void CmdClearRoutine(DbgContextType* ctx) {
    ctx->routineStart = 0;
    ctx->routineEnd = 0;
    ctx->routineName[0] = '\0';
}

}  // namespace quillwatch
