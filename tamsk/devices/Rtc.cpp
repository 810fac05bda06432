#include "tamsk/devices/Rtc.h"

namespace tamsk {

namespace {
uint32_t g_seconds;
constexpr uint32_t kTrim = 0x7FFF;
}  // namespace

uint32_t& RtcSeconds() { return g_seconds; }

uint32_t RtcRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case 0x00: return g_seconds;
    case 0x0C: return kTrim;
    }
    return 0;
}

void RtcWrite(uint32_t physical, uint32_t value) {
    if ((physical & 0xFFFFF) == 0) g_seconds = value;
}

}  // namespace tamsk
