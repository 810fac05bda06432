// The AC97 controller and its audio codec, which also digitises the touch screen: global
// control and status, the codec's registers, and interrupt source 14.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kAc97Base = 0x40500000;

struct Ac97State {
    uint32_t globalControl;
    uint32_t globalStatus;
    uint32_t codecControl;  // codec register 0x74: the >w97 chunk
};
extern Ac97State Ac97;

uint32_t Ac97Read(uint32_t physical);
void Ac97Write(uint32_t physical, uint32_t value);

// Codec register 0x7A: the touch screen's current sample on the axis codec control bit 1 (X)
// or bit 2 (Y) selects, with the pen-down flag in bit 15.
uint32_t Ac97DigitiserData();

// Reset or restore (>w97) for the run code, and the save of >w97 on code 4.
void Ac97Reset(int32_t code);
void Ac97Save(int32_t code);

}  // namespace tamsk
