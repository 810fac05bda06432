#include "tamsk/devices/Rtc.h"

#include "tamsk/board/RunLoop.h"

namespace tamsk {

RtcState Rtc;

namespace {
constexpr uint32_t kTrim = 0x7FFF;
}  // namespace

uint32_t RtcRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case 0x00: return Rtc.seconds;
    case 0x0C: return kTrim;
    }
    return 0;
}

void RtcWrite(uint32_t physical, uint32_t value) {
    if ((physical & 0xFFFFF) == 0) Rtc.seconds = value;
}

void RtcSecond() { ++Rtc.seconds; }

void RtcReset(int32_t code) {
    if (code != kRunSave) Rtc = {};
}

}  // namespace tamsk
