// The MMC controller (first card slot at 0x41100000, the second slot's block at 0x42000000 shares
// it): registers that card-probing software expects, with no card behind them. Every command ends
// at once with an all-zero response; events show in the interrupt status and raise source 23.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kMmcBase = 0x41100000;
constexpr uint32_t kMmcMirror = 0x42000000;

// The >mmc chunk (40 bytes).
struct MmcState {
    uint32_t clock;            // 1 while the clock runs
    uint32_t status;
    uint32_t clockRate;
    uint32_t commandControl;
    uint32_t responseTimeout;
    uint32_t readTimeout;
    uint32_t interruptMask;    // 1 = masked
    uint32_t interrupt;
    uint32_t command;
    uint32_t argument;
};
static_assert(sizeof(MmcState) == 40, "the chunk holds the controller whole");
extern MmcState Mmc;

uint32_t MmcRead(uint32_t physical);
void MmcWrite(uint32_t physical, uint32_t value);

// Reset or restore (>mmc; a missing chunk powers the controller on), and the save of >mmc on code 4.
void MmcReset(int32_t code);
void MmcSave(int32_t code);

}  // namespace tamsk
