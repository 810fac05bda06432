// Boot, shutdown, the init stage and exit requests.
#pragma once

#include <cstdint>

namespace kez {

// Exit types.
constexpr int32_t kExitOsMainReturned = 0;
constexpr int32_t kExitSoftReset = 1;
constexpr int32_t kExitHardReset = 2;
constexpr int32_t kExitQuit = 3;

// The crash-detection file of this instance: the storage file's path with ".crashed" added, so
// that instances on different storages never count each other's starts. Created by memory
// initialisation, removed at init stage 5; empty before the first initialisation.
const char* PrvHALMemoryCrashFile();

}  // namespace kez

extern "C" {
void PrvKezExitRequest(int32_t type, uint8_t wait);
int32_t PrvKezWaitForExitRequest();
}
