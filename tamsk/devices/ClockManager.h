// Clock manager registers, and the >clk chunk that carries the clocks, the OS timers, the
// real-time clock and the future-event table.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kClockManagerBase = 0x41300000;

uint32_t ClockRead(uint32_t physical);
void ClockWrite(uint32_t physical, uint32_t value);
// CP14 power mode 5: toggles bit 26 of the status copy at 0x41340004 and clears bit 29 of the
// memory controller register at 0x48100000.
void ClockPowerModeSwitch();

// Reset or restore for the run code (first of the board's resets), and the save of >clk.
void ClockReset(int32_t code);
void ClockSave(int32_t code);

constexpr uint32_t kClockChunkSize = 16464;

}  // namespace tamsk
