// Real-time clock: a seconds counter that the status event advances once per emulated second.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kRtcBase = 0x40900000;

uint32_t& RtcSeconds();
uint32_t RtcRead(uint32_t physical);
void RtcWrite(uint32_t physical, uint32_t value);

}  // namespace tamsk
