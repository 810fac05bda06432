// The event queue's state that other parts of Kez use.
#pragma once

#include <cstdint>

#include "common/module/KezCalls.h"

namespace kez {

void PrvHALEventClearHandlers();
void PrvHALEventInitializePen();
void PrvHALEventInitializeKeys();

// The tick of the last pen, key or alarm event, the hard-key state and the last pen position.
uint32_t HALEventLastActivity();
void HALEventSetLastActivity(uint32_t tick);
uint32_t HALEventHardKeys();
vantor::KezPenEventRecord HALEventLastPen();
void HALEventSetLastPen(vantor::KezPenEventRecord pen);

}  // namespace kez
