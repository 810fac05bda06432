// OS events between 68K applications and the native OS: the 24-byte big-endian EventRecord68K and
// the native record, translated by event type, and the event traps.
#pragma once

#include <cstdint>

#include "common/module/SystemCalls.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

constexpr uint32_t kEventRecord68KSize = 24;

// Translate one event; an event type without a translation is reported and left as far as done.
void EventTo68K(EmulState* s, const vantor::SysEventType* native, uint32_t event68K);
void EventToARM(EmulState* s, vantor::SysEventType* native, uint32_t event68K);

void EventGlueInstall(TrapHandler* table);

}  // namespace morvel
