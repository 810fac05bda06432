// The expansion-slot and virtual file-system selector traps, read by one argument table per
// selector, with the progress callbacks of the import and export calls bridged into 68K code.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

void ExpansionGlueInstall(TrapHandler* table);

// The native progress callback: (total, done, the call's callback record) -> 68K D0.W.
uint16_t VfsProgressBridge(uint32_t first, uint32_t second, void* record);

}  // namespace morvel
