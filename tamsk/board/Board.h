// The board as a whole: every device's reset or restore in its fixed order, and every save.
#pragma once

#include <cstdint>

namespace tamsk {

// Fills the device handler tables (unless code 4) and resets or restores every device.
void BoardResetAll(int32_t code);
// The memory part of BoardResetAll: areas, ROM, address translation state, page map, patch table.
void MemResetMap(int32_t code);
void MemSetupAreas(int32_t code);
// Saves of the memory: >mem and >pat, then NAND and RAM and the ROM path.
void MemSave(int32_t code);

}  // namespace tamsk
