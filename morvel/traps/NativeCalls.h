// Native code that 68K applications call: libraries named by the application (opened, called once
// and closed on every call), and the callback through which native code calls 68K code back.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// The callback that native code gets: runs a 68K routine (an address with bits above the low 12)
// or the system trap 0xA000 | t with `sizeAndFlags & 0x0FFFFFFF` argument bytes copied below A7;
// answers A0 when flag 0x10000000 is set, else D0.
using Call68KFromNativeProc = uint32_t (*)(EmulState* s, uint32_t t, const void* arguments, uint32_t sizeAndFlags);
uint32_t Call68KFromNative(EmulState* s, uint32_t t, const void* arguments, uint32_t sizeAndFlags);
constexpr uint32_t kCallReturnsA0 = 0x10000000;

// The entry point of a named library: (context, user data, callback) -> result.
using NativeEntry = uint32_t (*)(EmulState* s, void* userData, Call68KFromNativeProc callback);

// Calls native code for 68K code: `code` is a library name ("name.so", its terminating zero, then
// the entry's name) or ARM code. Every failure answers 0. ARM code runs only in the ARM build of
// Morvel; this build answers 0 for it.
uint32_t NativeCodeLoad(EmulState* s, uint32_t userData, uint32_t code, uint32_t value);

// Native threads: an OS task runs entry(user data, the task's 64-byte OS record, its stack base).
// Start answers the task id, 0 on failure; running means the task exists; wait polls every 10
// ticks until it is gone; stop deletes the task (after which its record is freed) and answers the
// deletion's result.
using NativeThreadEntry = void (*)(uint32_t userData, void* taskRecord, uint32_t stackBase);
uint32_t NativeThreadStart(uint32_t entry, uint32_t userData);
bool NativeThreadIsRunning(uint32_t task);
void NativeThreadWait(uint32_t task);
uint16_t NativeThreadStop(uint32_t task);

// Traps 0xA45A (TvkNativeCall), 0xA479 and the native-thread traps 0xA471-0xA474.
void NativeCallsInstall(TrapHandler* table);

}  // namespace morvel
