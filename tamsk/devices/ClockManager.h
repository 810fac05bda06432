// Clock manager registers, and the >clk chunk that carries the clocks, the OS timers, the
// real-time clock and the future-event table.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kClockManagerBase = 0x41300000;
constexpr uint32_t kClockChunkSize = 16464;

struct ClockState {
    uint32_t reg04;       // 0x41300004
    uint32_t reg08;       // 0x41300008 (reads with bits 0 and 1 set)
    uint32_t oscillator;  // 0x41340000
    uint32_t oscCopy;     // 0x41340004: the oscillator word with bit 26 cleared
};
extern ClockState Clock;

uint32_t ClockRead(uint32_t physical);
void ClockWrite(uint32_t physical, uint32_t value);
// CP14 power mode 5: toggles bit 26 of the status copy at 0x41340004 and clears bit 29 of the
// memory controller register at 0x48100000.
void ClockPowerModeSwitch();

// Reset or restore for the run code (first of the board's resets, with the OS timers, the
// real-time clock and the scheduler), and the save of >clk.
void ClockReset(int32_t code);
void ClockSave(int32_t code);

}  // namespace tamsk
