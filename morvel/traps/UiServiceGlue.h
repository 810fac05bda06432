// The smaller UI services that forward to one UI-library slot: attention indicators, insertion
// point, colours, find, font selection, security dialogs, menu items, scroll bars and the fatal
// alert.
#pragma once

#include "morvel/cpu/EmulState.h"

namespace morvel {

void UiServiceGlueInstall(TrapHandler* table);

}  // namespace morvel
