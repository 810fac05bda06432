// Requests the debugger sends to the device's debugger nub on socket 0: state, memory, registers,
// routine names, find, messages and serial settings; the two-window read cache.
#pragma once

#include <cstdint>

#include "quillwatch/engine/debugger/DbgContext.h"

namespace quillwatch {

// Reads device memory in requests of at most 256 bytes (host memory with ReadMemHack set).
uint16_t CmdReadRemoteMem(uint32_t address, void* destination, DbgContextType* ctx, uint32_t count);
// Writes the registers (D0-D7, A0-A6, USP, SSP, PC, SR) to the device.
uint16_t CmdWriteRemoteRegisters(DbgContextType* ctx, const DbgRegisterBlock* regs);
// The routine around an address (start, end, name of at most 31 characters); 1 on failure.
uint16_t CmdGetRemoteRtnName(DbgContextType* ctx, uint32_t address, uint32_t* start, uint32_t* end,
                             char* name);
// Asks for the routine that holds the address: -1 when that fails or the address lies outside it,
// 0 when it is the current routine, 1 when the context now holds a new current routine.
int CmdUpdateRoutine(DbgContextType* ctx, uint32_t address);

}  // namespace quillwatch
