// System trap dispatch: TRAP #15 and its trap word reach their handler here.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

constexpr uint16_t kTrapBase = 0xA000;
constexpr uint16_t kTrapCount = 1178;  // system traps 0xA000-0xA499

// Routes one trap; returns the context's running byte afterwards (0 only when a run started by
// the handler ended by an exception), or 1 from the early exits.
uint8_t TrapDispatch(EmulState* state, uint16_t trap);

}  // namespace morvel
