// Hardware, key, pen and host-control traps: questions to the abstraction layer (Kez) with their
// attribute values converted by size, key rates in 68K units, and the HostControl selector trap
// that reaches the OS's host-control library.
#pragma once

#include "morvel/cpu/EmulState.h"

namespace morvel {

void HardwareGlueInstall(TrapHandler* table);

}  // namespace morvel
