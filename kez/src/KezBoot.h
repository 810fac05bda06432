// Boot, shutdown, the init stage and exit requests.
#pragma once

#include <cstdint>

namespace kez {

// Exit types.
constexpr int32_t kExitOsMainReturned = 0;
constexpr int32_t kExitSoftReset = 1;
constexpr int32_t kExitHardReset = 2;
constexpr int32_t kExitQuit = 3;

// The crash-detection file (created by memory initialisation, removed at init stage 5).
constexpr const char* kCrashFile = "/tmp/qel.crashed";

}  // namespace kez

extern "C" {
void PrvKezExitRequest(int32_t type, uint8_t wait);
int32_t PrvKezWaitForExitRequest();
}
