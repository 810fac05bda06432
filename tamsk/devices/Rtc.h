// Real-time clock: a seconds counter that the status event advances once per emulated second.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kRtcBase = 0x40900000;

struct RtcState {
    uint32_t seconds;
};
extern RtcState Rtc;

uint32_t RtcRead(uint32_t physical);
void RtcWrite(uint32_t physical, uint32_t value);

// One emulated second has passed.
void RtcSecond();

// Codes 0, 2, 3: the counter is 0; code 4 keeps it. The >clk chunk carries the counter: the clock
// manager restores and saves it.
void RtcReset(int32_t code);

}  // namespace tamsk
