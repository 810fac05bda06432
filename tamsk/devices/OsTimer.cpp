#include "tamsk/devices/OsTimer.h"

#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"

namespace tamsk {

OsTimerState OsTimer;

void OsTimerCompare() {
    for (unsigned n = 0; n < 4; ++n) {
        if (OsTimer.counter != OsTimer.match[n] || !(OsTimer.enable >> n & 1)) continue;
        if (n == 3 && (OsTimer.watchdog & 1)) {
            CpuRequestRunEnd(kRunHardReset);
            continue;
        }
        OsTimer.status |= 1u << n;
        IntcRaise(kIrqOsTimer0 + n);
    }
}

uint32_t OsTimerRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case 0x00: return OsTimer.match[0];
    case 0x04: return OsTimer.match[1];
    case 0x08: return OsTimer.match[2];
    case 0x0C: return OsTimer.match[3];
    case 0x10: return OsTimer.counter;
    case 0x14: return OsTimer.status;
    case 0x18: return OsTimer.watchdog;
    case 0x1C: return OsTimer.enable;
    }
    return 0;
}

void OsTimerWrite(uint32_t physical, uint32_t value) {
    switch (physical & 0xFFFFF) {
    case 0x00: OsTimer.match[0] = value; break;
    case 0x04: OsTimer.match[1] = value; break;
    case 0x08: OsTimer.match[2] = value; break;
    case 0x0C: OsTimer.match[3] = value; break;
    case 0x10: OsTimer.counter = value; break;
    case 0x14:
        for (unsigned n = 0; n < 4; ++n) {
            if (!(value >> n & 1)) continue;
            OsTimer.status &= ~(1u << n);
            IntcLower(kIrqOsTimer0 + n);
        }
        break;
    case 0x18: OsTimer.watchdog |= value & 1; return;
    case 0x1C: OsTimer.enable = value & 0xF; break;
    default: return;
    }
    OsTimerCompare();
}

void OsTimerTick() {
    ++OsTimer.counter;
    OsTimerCompare();
}

void OsTimerSkip(uint32_t n) { OsTimer.counter += n; }

uint32_t OsTimerPlainTicks() {
    uint32_t plain = 0xFFFFFFFF;
    for (unsigned n = 0; n < 4; ++n) {
        if (!(OsTimer.enable >> n & 1)) continue;
        const uint32_t d = OsTimer.match[n] - OsTimer.counter - 1;
        if (d < plain) plain = d;
    }
    return plain;
}

uint32_t OsTimerTicksToNextDue() {
    uint32_t t = 0xFFFFFFFF;
    for (unsigned n = 0; n < 4; ++n) {
        if (!(OsTimer.enable >> n & 1)) continue;
        uint32_t d = OsTimer.match[n] - OsTimer.counter;
        if (OsTimer.counter >= OsTimer.match[n]) d -= 1;
        if (d > 0xFFFFFFFE) d = 0xFFFFFFFE;
        if (d < t) t = d;
    }
    return t;
}

void OsTimerReset(int32_t code) {
    if (code != kRunSave) OsTimer = {};
}

}  // namespace tamsk
