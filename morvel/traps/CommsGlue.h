// Communication traps: connection profiles, desktop link, modem, encryption and CRC, file
// streams, the serial link, the serial manager with its wake-up task, and the console.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

void CommsGlueInstall(TrapHandler* table);

// Starts the console task once per module instance; 0, or the error of the console port.
uint16_t ConsoleLaunch();
// The console's side of the serial link (socket 1): one text out, one text in (at most 271
// bytes); the receive retries transient errors with a growing pause and ends on a time-out.
uint16_t ConsoleSend(const char* text);
uint16_t ConsoleReceive(char* buffer, int32_t timeout);

// The OS's wake-up callback of a serial port: marks the entry and wakes the wake-up task.
void SerialWakeupNative(void* entry);

// Ends the wake-up task of an application's top-level context and frees its entries.
void CommsGlueFree(EmulState* s);

}  // namespace morvel
