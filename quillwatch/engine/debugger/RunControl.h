// Run control: taking over a state report when the device stops, and how a stop is shown (reason,
// registers, current instruction, the register window).
#pragma once

#include <cstdint>
#include <string>

#include "quillwatch/engine/debugger/DbgContext.h"

namespace quillwatch {

// Takes over a state report (host order, `size` bytes of a zero-filled DbgStateType) and shows
// the stop (only the register window with `quiet`). Returns 0.
uint16_t CmdHandleStop(DbgContextType* ctx, const vantor::DbgStateType* state, uint16_t size, bool quiet);
void CmdPrintStopReason(DbgContextType* ctx, bool routineChanged);
void CmdShowRegisters(DbgContextType* ctx);
void CmdShowCurrentInstruction(DbgContextType* ctx, bool routineChanged);
// "Will Branch" or "Will Not Branch" for a conditional branch at the address, "" for anything
// else; 1 when the instruction could not be read.
uint16_t CmdBranchTaken(DbgContextType* ctx, uint32_t address, uint16_t sr, std::string* text);
// Rewrites the register window from the context ("Not Attached" when not attached).
void CmdRefreshRegisterWindow(DbgContextType* ctx);
// The status register's flags T, S, X, N, Z, V, C: upper case when set, lower case when clear.
std::string CmdFlagLetters(uint16_t sr);
// The disassembled instruction at the address (from the held instruction words at the PC).
std::string CmdDisassembleAt(DbgContextType* ctx, uint32_t address);
// Sets the Attached flag and the debugger variable of that name together.
void DbgSetAttached(DbgContextType* ctx, bool attached);

}  // namespace quillwatch
