// The console on which the emulated machine prints: the process's standard output (unbuffered)
// and standard input, enabled by option EnableConsole.
#pragma once

#include <cstdint>

namespace tamsk {

// Start of a run: on codes 0 and 6 with EnableConsole, opens the console.
void ConsoleSetup(int32_t code);
bool ConsoleEnabled();
// Writes text to the console when it is enabled.
void ConsolePrint(const char* text);
void ConsolePutByte(uint8_t byte);

// Semihosting requests of the emulated machine: 4 prints the zero-terminated text at the virtual
// address `argument`; 7 reads one character. Other requests, and every request while the console
// is off, return `operation` unchanged.
uint32_t ConsoleService(uint32_t operation, uint32_t argument);

}  // namespace tamsk
