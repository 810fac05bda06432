// 68K shared libraries: the process-wide library table in the global context, 68K and native
// libraries, the known libraries, and the library traps.
#pragma once

#include <cstdint>

#include "common/module/A68kLibrary.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

constexpr uint16_t kErrLibNotFound = 0x050A;
constexpr uint16_t kErrLibCantOpen = 0x0504;
constexpr uint16_t kErrLibBadRef = 0x0502;
constexpr uint16_t kErrLibNoMemory = 0x0102;
constexpr uint16_t kNoLibRef = 0xFFFF;

// Installs a library by its install routine (a 68K address, or a native A68kLibEntry); a routine
// installed before gets its entry back with one more install.
uint16_t LibInstallEntry(EmulState* s, uint32_t installRoutine, bool native, uint16_t* refNum);
uint16_t LibLoad68K(EmulState* s, uint32_t type, uint32_t creator, uint16_t* refNum);
uint16_t LibLoadNative(EmulState* s, uint32_t type, uint32_t creator, uint16_t* refNum);
uint16_t LibFind(EmulState* s, const char* name, uint16_t* refNum);
// Drops one install; the last one closes the library and frees its entry.
uint16_t LibRemove(EmulState* s, uint16_t refNum);
// The entry of an installed library, or null.
vantor::A68kLibTableEntry* LibTableEntry(EmulState* s, uint16_t refNum);

// Library trap 0xA800 + entry, the reference number being the first stack argument: 1 when the
// library was called.
uint8_t LibTrapDispatch(EmulState* s, uint16_t trap);
// Calls entry (trap - 0xA800) of a 68K library with `argBytes` below A7: 1 when called.
uint8_t LibCallEntry(EmulState* s, uint16_t refNum, uint16_t trap, uint32_t argBytes);
// Sleep (true) or wake notification of every installed library.
void LibSleepWake(EmulState* s, bool sleep);

// Frees the table of the global context; libraries still installed are dropped without a close.
void LibTableFree(EmulState* global);

void LibraryGlueInstall(TrapHandler* table);

}  // namespace morvel
