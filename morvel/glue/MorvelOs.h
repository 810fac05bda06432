// The libraries the 68K environment binds besides the system table: Kez ('rsrc'/'pkez') and the
// UI library ('rsrc'/'zuim'), and the lock that guards what every context shares.
#pragma once

#include <cstdint>
#include <mutex>

#include "common/module/ModuleGlue.h"

namespace morvel {

// Kez, bound through system slot 543 on its first call.
vantor::glue::ModuleImport& KezImport();
// The OS UI library, bound the same way.
vantor::glue::ModuleImport& UiImport();

// Kez slot 74: what the abstraction layer knows of the area that holds an address (0: nothing).
uint32_t KezAreaSize(uint32_t address, uint8_t flag);

// Guards the tables that contexts on different tasks share: the 68K library table and the thunk
// list. Recursive: a library's install routine may look up or install libraries itself.
std::recursive_mutex& SharedTablesLock();

}  // namespace morvel
