// Handlers of debugger commands, called by command id from the debugger module. Each answers a
// help request itself, checks its arguments and returns a status.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

uint16_t CmdDoDisplayMemCmd(DbgContextType* ctx);   // dm
uint16_t CmdDoSetMemCmd(DbgContextType* ctx);       // sb, sw, sl
uint16_t CmdDoFindCmd(DbgContextType* ctx);         // fb, fw, fl, ft
uint16_t CmdDoAttachCmd(DbgContextType* ctx);       // att
uint16_t CmdDoEnvironmentCmd(DbgContextType* ctx);  // penv
uint16_t CmdDoRegistersCmd(DbgContextType* ctx);    // reg
uint16_t CmdDoDisplayValueCmd(DbgContextType* ctx); // db, dw, dl
uint16_t CmdDoFillCmd(DbgContextType* ctx);         // fill
uint16_t CmdDoInstructionListCmd(DbgContextType* ctx);  // il
// The environment display of penv.
void CmdPrintEnvironment(DbgContextType* ctx);

}  // namespace quillwatch
