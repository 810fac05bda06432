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

namespace vantor {

// The OS's record of the running task (system slot 525, 64 bytes), as far as the modules read and
// write it. Native byte order.
constexpr uint32_t kTaskRecordSize = 64;
constexpr uint32_t kTaskRecordAppDbRef = 0;    // u32: open reference of the application's database
constexpr uint32_t kTaskRecordOwnerID = 4;     // u16: the application's memory owner id
constexpr uint32_t kTaskRecordLastError = 6;   // u16: the last database error
constexpr uint32_t kTaskRecordStackBase = 8;   // u32
constexpr uint32_t kTaskRecordStackEnd = 12;   // u32: the stack's last byte

}  // namespace vantor
