// The debugger command module: its four callbacks (init, close, execute, variable changed) and
// the dispatch of evaluated command lines to the command handlers by command id.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

struct SymEntryType;

uint16_t DbgModuleInit(DbgContextType* ctx, uint16_t moduleId);
uint16_t DbgModuleClose(DbgContextType* ctx, uint16_t moduleId);
uint16_t DbgModuleExecuteCommand(DbgContextType* ctx, uint16_t moduleId);
uint16_t DbgModuleVarChanged(DbgContextType* ctx, uint16_t moduleId, uint16_t varId, SymEntryType* value);

// Runs the text of the alias in eval entry 1 line by line, as alias lines.
uint16_t CmdDoExecuteAliasCmd(DbgContextType* ctx);

}  // namespace quillwatch
