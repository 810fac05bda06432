// What the board expects of the processor core (defined in tamsk/cpu). The board's run loop,
// memory reset and session code call these; nothing else of the core is used by the board.
#pragma once

#include <cstdint>

namespace tamsk {

// Executes until pending bit 63 is served; returns RunCode.
int32_t CpuRun();
// Processor reset or restore (>cor) for the run code; code 4 only resumes.
void CpuReset(int32_t code);
// Writes >cor on code 4.
void CpuSave(int32_t code);

// Address translation state, carried in the >mem chunk (kMmuChunkSize bytes, the core's layout).
constexpr uint32_t kMmuChunkSize = 248;
void CpuMmuClear();                                    // the state after reset (MMU off)
void CpuMmuSaveImage(uint8_t image[kMmuChunkSize]);    // the chunk's bytes
void CpuMmuLoadImage(const uint8_t image[kMmuChunkSize]);
// Empties the translation caches (after the page map or the memory contents change under them).
void CpuFlushTranslationCaches();

// Virtual to host pointer without faults, for host-side readers of guest memory (the console);
// 0 when nothing is mapped there.
uintptr_t CpuHostPointer(uint32_t virtualAddress);

}  // namespace tamsk
