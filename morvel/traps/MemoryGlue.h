// Memory manager traps: pointers and handles pass through unchanged as 32-bit values.
#pragma once

#include "morvel/cpu/EmulState.h"

namespace morvel {
void MemoryGlueInstall(TrapHandler* table);
}
