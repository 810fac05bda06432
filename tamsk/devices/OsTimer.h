// OS timers: a counter running on emulated ticks, four match registers, and a watchdog on match 3.
// The time base (board/Timing.h) drives the counter through the board's TickClient.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kOsTimerBase = 0x40A00000;

struct OsTimerState {
    uint32_t match[4];
    uint32_t counter;
    uint32_t status;    // bits 0-3, one per match
    uint32_t watchdog;  // bit 0, can only be set
    uint32_t enable;    // interrupt enable, bits 0-3
};
extern OsTimerState OsTimer;

uint32_t OsTimerRead(uint32_t physical);
void OsTimerWrite(uint32_t physical, uint32_t value);

// Compares the counter with the four matches: an enabled match sets its status bit and raises
// source 26 + n; match 3 with the watchdog on requests a hard reset instead.
void OsTimerCompare();
// One emulated tick: the counter moves on and the matches are compared.
void OsTimerTick();
// The counter moves on by n ticks that meet no match (n at most OsTimerPlainTicks()).
void OsTimerSkip(uint32_t n);
// How many coming ticks meet no enabled match (a match equal to the counter is met again after a
// whole wrap); all ones when none is enabled.
uint32_t OsTimerPlainTicks();
// Ticks until the next enabled match for the idle wait, capped at 0xFFFFFFFE; all ones when none.
uint32_t OsTimerTicksToNextDue();

// Codes 0, 2, 3: everything zero; code 4 keeps it. The >clk chunk carries the timers: the clock
// manager restores and saves them.
void OsTimerReset(int32_t code);

}  // namespace tamsk
