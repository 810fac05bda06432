// The table of 1178 system-trap handlers and its default handlers.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

constexpr uint32_t kTrapTableBytes = 1178 * 4;
constexpr uint16_t kErrUnimplemented = 0x0505;
constexpr uint16_t kErrNoTableRoom = 0x0102;
constexpr uint16_t kErrBadTrapIndex = 0x0502;

// Builds the table in a chunk of a non-dynamic heap through the protected write.
uint16_t TrapTableCreate(EmulState* global);
// Fills the table: the handlers of this module and the defaults, by trap index.
void TrapTableInit(TrapHandler* table);
bool IsDefaultTrapHandler(TrapHandler handler);
uint16_t A68kGetTrapAddress(EmulState* s, uint16_t index, TrapHandler* out);
uint16_t A68kSetTrapAddress(EmulState* s, uint16_t index, TrapHandler handler);
// Reports an unimplemented trap once per context and asks the application to stop.
void ReportUnimplementedTrap(EmulState* s, uint16_t errorCode, int32_t first, uint16_t trapIndex);

// The plain reporting default, for tests and for slots without a handler.
void TrapDefaultReport(EmulState* s, uint16_t index);

}  // namespace morvel
