// The module loader's internal operations, called by Boot and Shutdown.
#pragma once

#include <cstdint>

namespace kez {

uint16_t PrvRALInitialize();
uint16_t PrvRALDispose();

}  // namespace kez
