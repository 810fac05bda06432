// The OS globals record that system slot 1 returns, as far as the modules read it. The record is
// the OS's; only the fields below are fixed. Fields are native byte order.
#pragma once

#include <cstdint>

namespace vantor {

constexpr uint32_t kOsGlobalsSize = 256;

// A byte of OS state flags: 0x04 is set while libraries that are not marked for it must not be
// loaded (the 68K environment's library search).
constexpr uint32_t kOsGlobalsFlagByte = 104;
constexpr uint8_t kOsFlagRestrictedLoad = 0x04;

// A 16-bit flag word: 0x40 asks whoever shows a fatal alert to drain the event queue afterwards.
constexpr uint32_t kOsGlobalsFlagWord = 106;
constexpr uint16_t kOsFlagDrainAfterFatal = 0x40;

}  // namespace vantor
