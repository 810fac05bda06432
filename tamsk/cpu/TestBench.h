// The processor on the board's memory areas without the rest of the board, for tests, tools and
// benchmarks: an ELF loader for test programs, a semihosting console that collects what the
// program prints, and stepping helpers.
#pragma once

#include <cstdint>
#include <string>

#include "tamsk/cpu/Cpu.h"

namespace tb {

using namespace tamsk;

// Allocates the board's areas (once) and clears them, installs the default device handlers,
// empties the console and sets the processor's reset state with the MMU off.
void Init();
void Write32(uint32_t phys, uint32_t value);
void Write16(uint32_t phys, uint32_t value);
uint32_t Read32(uint32_t phys);
// Writes words from phys on.
void WriteWords(uint32_t phys, std::initializer_list<uint32_t> words);
void WriteHalves(uint32_t phys, std::initializer_list<uint16_t> halves);
// Loads the PT_LOAD segments of a 32-bit little-endian ARM ELF file at their physical addresses;
// returns the entry point, or 0xFFFFFFFF with a message in error.
uint32_t LoadElf(const std::string& path, std::string* error);
// Text printed through semihosting operation 4 (and characters through 3).
std::string& Console();
// Runs until the next instruction address equals pc (checked between instructions) or the step
// limit passes; returns the number of steps made.
uint64_t RunUntil(uint32_t pc, uint64_t maxSteps);
// Runs as the board does (CpuRun's batches) until the ARM instruction at `phys` is reached or about
// `maxInstructions` have run; returns whether it was reached. The instruction is replaced by a
// breakpoint whose patch entry ends the run: it executes as a no-op and counts one.
bool RunToBreakpoint(uint32_t phys, uint64_t maxInstructions);
// Sets up execution at pc in the given mode with ARM or Thumb state.
void StartAt(uint32_t pc, uint32_t mode = kModeSupervisor, bool thumb = false);

}  // namespace tb
