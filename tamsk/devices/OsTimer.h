// OS timers: a counter running on emulated ticks, four match registers, and a watchdog on match 3.
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

// Compares the counter with the four matches: an enabled match sets its status bit and raises
// source 26 + n; match 3 with the watchdog on requests a hard reset instead.
void OsTimerCompare();
// One emulated tick.
inline void OsTimerTick() {
    ++OsTimer.counter;
    OsTimerCompare();
}

uint32_t OsTimerRead(uint32_t physical);
void OsTimerWrite(uint32_t physical, uint32_t value);
void OsTimerClear();

}  // namespace tamsk
