// The module's global context (EmulatorOpen), the launch of 68K applications from their code
// resource, per-task contexts, the storage reserve, the resource cache databases, and the
// application traps.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// Offsets in the application-information block (EmulState::appInfo, big-endian).
constexpr uint32_t kInfoLaunchCode = 0;
constexpr uint32_t kInfoParams = 2;
constexpr uint32_t kInfoFlags = 6;
constexpr uint32_t kInfoCodeHandle = 12;
constexpr uint32_t kInfoDbRef = 16;
constexpr uint32_t kInfoStackBase = 20;
constexpr uint32_t kInfoOwner = 28;
constexpr uint32_t kInfoStackEnd = 44;

// Launch flags.
constexpr uint16_t kLaunchNewGlobals = 0x04;
constexpr uint16_t kLaunchUiApp = 0x08;
constexpr uint16_t kLaunchSubCall = 0x10;
constexpr uint16_t kLaunchGlobalsSet = 0x80;

constexpr uint32_t kDefaultStackSize = 3328;
constexpr uint32_t kReserveSize = 12288;
extern const char kReserveName[];

// Opens the global context once: 0, 0x0102 without memory, or the first failing step's error.
uint16_t EmulatorOpen();
// Takes the global context down again (also what a failed open does with what it made).
void EmulatorClose();

// The module's launch handler: 0x7FFE and 0x7FFF answer 0; every other code launches the current
// application and answers D0 as the run left it (0 when nothing ran).
uint32_t ModuleLaunchEntry(uint16_t code, void* params, uint16_t flags);

uint16_t A68kContextNew(const void* taskArguments, EmulState** context);
uint16_t A68kContextDelete(EmulState* context);

// The storage reserve: made by EmulatorOpen, given up by a failing resource translation (flag 0x02
// of the global and the current context) and taken back at the next restore that can re-create it.
void ReserveEnsure();
uint16_t ReserveRelease(EmulState* current);
void ReserveRestore();

// The name of an application's resource cache database (at most 31 characters and the terminator).
void ResourceCacheName(const char* appName, uint32_t creator, uint32_t type, char name[32]);

void AppGlueInstall(TrapHandler* table);

}  // namespace morvel
