// The refusal list: databases that the environment will not run or load, copied from the
// resource 'adwd' 10000 into the global context.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// One record, native byte order.
struct RefusalRecord {
    uint32_t creator;
    uint32_t type;
    uint32_t limit;  // low two bits: 0 version limit (high half), 3 creation-date limit, else none
};
static_assert(sizeof(RefusalRecord) == 12);

// Copies the resource image (big-endian: u16 at 2 counts 32-bit words from offset 4) into the
// global context; `size` bounds what is read. Replaces an earlier copy. False without memory.
bool RefusalListLoad(EmulState* global, const uint8_t* image, uint32_t size);
void RefusalListFree(EmulState* global);
// True when the list refuses the database (only databases whose id has bit 31 set are checked).
bool RefusalListRefuses(const EmulState* global, uint32_t dbID);

}  // namespace morvel
