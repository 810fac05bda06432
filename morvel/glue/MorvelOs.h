// The libraries the 68K environment binds besides the system table: Kez ('rsrc'/'pkez').
#pragma once

#include <cstdint>

#include "common/module/ModuleGlue.h"

namespace morvel {

// Kez, bound through system slot 543 on its first call.
vantor::glue::ModuleImport& KezImport();

// Kez slot 74: what the abstraction layer knows of the area that holds an address (0: nothing).
uint32_t KezAreaSize(uint32_t address, uint8_t flag);

}  // namespace morvel
