// What every command handler shares: its help and syntax texts, the help request, the attached
// check and reading its arguments from the eval stack.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/engine/lang/LexToken.h"

namespace quillwatch {

// What a handler prints for "help <cmd>" and for a missing or wrong argument.
struct CommandText {
    const char* description;
    const char* syntax;  // holds "Syntax: " and a "%s" for the command's own keyword
};

// The command id of the evaluated line (eval entry 0).
uint16_t CmdCommandId(DbgContextType* ctx);
// Prints the syntax line with the command's own keyword ("*UNKNOWN*" without one).
void CmdPrintSyntax(DbgContextType* ctx, uint16_t id, const CommandText& text);
// A help request (eval entry 1 is `help`) prints the description and the syntax: true.
bool CmdAnswerHelp(DbgContextType* ctx, uint16_t id, const CommandText& text);
// The common start of a handler: clears the handler word and answers a help request (true).
bool CmdHandlerStart(DbgContextType* ctx, const CommandText& text);
// False after "Error: not attached to remote." when the device is not stopped.
bool CmdRequireAttached(DbgContextType* ctx);
// A number argument (VAL or ADDR).
bool CmdArgNumber(const LexToken* entry, uint32_t* value);
// A string argument (STR with text).
const char* CmdArgString(const LexToken* entry);
// A flags word argument (FLAGS with text).
const char* CmdArgFlags(const LexToken* entry);
// Forgets the current routine, so that the next stop or listing names its routine again.
void CmdClearRoutine(DbgContextType* ctx);

}  // namespace quillwatch
