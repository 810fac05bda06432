// Trap glue of the alarm manager, the time manager, the date calls and the date and time pickers.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

void TimeGlueInstall(TrapHandler* table);

// What the OS calls when a procedure alarm set by 68K code fires.
void AlmProcBridge(uint16_t command, void* parameters);

// Frees the procedure alarms a context keeps (context clean-up).
void ProcAlarmsFree(EmulState* s);

}  // namespace morvel
