// Trap glue of the database manager: databases, records, resources and categories, the two sorts
// and the sort-position search with a 68K compare function, and the database list builders.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

void DatabaseGlueInstall(TrapHandler* table);

// What the OS calls for each comparison of a sort started by 68K code: runs the 68K compare
// function that the sort's handler left on the 68K stack.
int16_t DmCompareBridge(void* rec1, void* rec2, int16_t other, void* rec1SortInfo, void* rec2SortInfo,
                        void* appInfoH);

// The icon every 68K database list entry points to: an 8 x 8 one-bit 68K bitmap (a question mark).
const uint8_t* DatabaseListIcon();

}  // namespace morvel
