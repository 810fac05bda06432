// Trap glue of 68K floating point: FlpEmDispatch (the compiler's support operations), FlpDispatch
// (text conversion, base-10 decomposition, corrected add and subtract) and the older Fpl traps.
// The arithmetic is done by Kez's float service and the OS's float calls.
#pragma once

#include "morvel/cpu/EmulState.h"

namespace morvel {

void FloatGlueInstall(TrapHandler* table);

}  // namespace morvel
