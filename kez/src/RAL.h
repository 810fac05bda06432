// The module loader's internal operations, called by Boot and Shutdown.
#pragma once

#include <cstdint>

namespace kez {

uint16_t PrvRALInitialize();
uint16_t PrvRALDispose();
// The executable's directory, as set by the host program (with its trailing '/').
const char* PrvRALGetExePath();

}  // namespace kez
