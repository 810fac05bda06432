// ROM and storage memory: set up by Boot after the services, taken down last by Shutdown.
#pragma once

#include <cstdint>

namespace kez {

// May set *hardReset (a crash loop, a resized or unformatted storage, another locale).
uint16_t PrvHALMemoryInitialize(uint8_t* hardReset);
uint16_t PrvHALMemoryDispose();
// Maps the storage privately, with write tracking, as when the host refuses a shared mapping.
void PrvHALMemoryForcePrivateMapping(bool force);

}  // namespace kez
