// The GPIO block: a level word and an edge-detect word behind interrupt source 10.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kGpioBase = 0x40E00000;

// The >gpi chunk (8 bytes).
struct GpioState {
    uint32_t level;
    uint32_t edge;
};
static_assert(sizeof(GpioState) == 8, "the chunk holds the GPIO whole");
extern GpioState Gpio;

uint32_t GpioRead(uint32_t physical);
void GpioWrite(uint32_t physical, uint32_t value);

// A device wired to GPIO line n (0..31) signals: the line's level and edge bits are set and
// source 10 is raised.
void GpioSignal(unsigned line);

// Reset or restore (>gpi; a session without it is fatal), and the save of >gpi on code 4.
void GpioReset(int32_t code);
void GpioSave(int32_t code);

}  // namespace tamsk
