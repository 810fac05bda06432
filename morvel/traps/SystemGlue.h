// System service traps: features, fonts, passwords, preferences, rectangles, sound and sound
// streams, notifications and the remaining system calls, with the bridges that run 68K callbacks.
#pragma once

#include <cstdint>

#include "common/module/SystemCalls.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

void SystemGlueInstall(TrapHandler* table);

// Bridges the OS calls in place of 68K procedures.
uint16_t SysNotifyBridge(vantor::SysNotifyParamType* notify);
int16_t SysSortBridge(void* a, void* b, int32_t other);
uint16_t SndStreamBridge(void* userData, uint32_t stream, void* buffer, uint32_t frames);
uint16_t SndStreamExtBridge(void* userData, uint32_t stream, void* buffer, uint32_t* size);

// What a context's system-service glue holds (fonts, notification and stream entries): freed when
// the application ends. Stream entries whose stream still runs are kept for the OS's callbacks.
void SystemGlueFree(EmulState* s);

}  // namespace morvel
