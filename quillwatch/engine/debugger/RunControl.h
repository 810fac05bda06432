// Run control: taking over a state report when the device stops, and how a stop is shown (reason,
// registers, current instruction, the register window).
#pragma once

#include <cstdint>
#include <string>

#include "quillwatch/engine/lang/DbgContext.h"

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

namespace quillwatch {

// Sends the breakpoint table (command 12, reply 0x8C within 2000 ms): 0, or 1 after a message.
uint16_t CmdSendAllBreakpoints(DbgContextType* ctx);
// Resumes the device: a non-zero new PC replaces the PC; with drain, a stop that follows at once
// is shown. 0, or 1 when the request could not be sent.
uint16_t CmdContinue(DbgContextType* ctx, uint32_t newPC, bool drain);
// One instruction, stepping into calls (a system call whose routine is known stops at the routine).
uint16_t CmdStepInto(DbgContextType* ctx, bool drain);
// One instruction, stepping over calls and traps by a temporary breakpoint behind them.
uint16_t CmdStepOver(DbgContextType* ctx, bool drain);
// Runs to the address (the temporary breakpoint, entry 6).
uint16_t CmdGoTill(DbgContextType* ctx, uint32_t address);

// The five A-trap break slots of the device. Link errors are thrown (ErrThrow) with their code, a
// wrong reply with 0xFFFFFFFF.
void CmdGetTrapBreaks(DbgContextType* ctx, uint16_t traps[5], uint16_t conditions[5], uint16_t selectors[5]);
void CmdSetTrapBreaks(DbgContextType* ctx, const uint16_t traps[5], const uint16_t conditions[5],
                      const uint16_t selectors[5]);
// The routine address of a trap (library traps through the library table with the reference
// number), or 0; with `name`, also the routine's name from the function table.
uint32_t CmdTrapAddress(DbgContextType* ctx, uint16_t trap, uint16_t refNum, std::string* name);
// The address of the call that a stack value returns to, 0 when it is no return address, -1 when
// the code before it cannot be read.
int64_t CmdIsReturnAddress(DbgContextType* ctx, uint32_t value);
// True when the address lies in one of the device's readable or writable ranges.
bool CmdIsValidAddress(DbgContextType* ctx, uint32_t address);
// The current application's stack: its size and how much of it was never used.
void CmdShowAppStack(DbgContextType* ctx);
void CmdStackCrawlA6(DbgContextType* ctx, uint32_t startA6, uint32_t frames);
void CmdStackCrawlA7(DbgContextType* ctx, uint32_t startA7, uint32_t frames);
// "name+offset" of the routine around an address (as the device names it), or "".
std::string CmdRoutineLabel(DbgContextType* ctx, uint32_t address);

// What the front end's Source window is told by run control; each hook may be left empty.
struct DbgSourceHooks {
    void (*clearLine)();                                 // the device runs: no current line
    void (*showLine)(const char* file, uint32_t line);  // the device stopped at a source line
    void (*breakpointsChanged)();                        // redraw the breakpoint marks
    bool (*selectedLineAddress)(uint32_t* address);      // the code address of the selected line
};
extern DbgSourceHooks gDbgSourceHooks;

}  // namespace quillwatch
