// The power manager: three registers that boot code writes and reads back.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kPowerManagerBase = 0x40F00000;

// The >pow chunk (16 bytes): the registers at 0x04, 0x08 and 0x30, and a spare word.
struct PowerManagerState {
    uint32_t reg04;
    uint32_t reg08;
    uint32_t reg30;
    uint32_t spare;
};
static_assert(sizeof(PowerManagerState) == 16, "the chunk holds the power manager whole");
extern PowerManagerState PowerManager;

uint32_t PowerManagerRead(uint32_t physical);
void PowerManagerWrite(uint32_t physical, uint32_t value);

// Reset or restore (>pow; a session without it is fatal), and the save of >pow on code 4.
void PowerManagerReset(int32_t code);
void PowerManagerSave(int32_t code);

}  // namespace tamsk
