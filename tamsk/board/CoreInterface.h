// What the board needs of the processor core. The board owns this table and calls the core only
// through it; the core fills it in (CpuInstall in tamsk/cpu), tests of the board alone fill it
// with a stand-in. The board thereby depends on no code of the core.
#pragma once

#include <cstdint>

namespace tamsk {

// Size of the address-translation state carried in the >mem chunk (the core's layout).
constexpr uint32_t kMmuChunkSize = 248;

struct CoreInterface {
    // Executes until pending bit 63 is served; returns RunCode.
    int32_t (*run)();
    // Processor reset or restore (>cor) for the run code; code 4 only resumes.
    void (*reset)(int32_t code);
    // Writes >cor on code 4.
    void (*save)(int32_t code);
    // Address translation: the state after reset (MMU off), and the >mem chunk's bytes.
    void (*mmuClear)();
    void (*mmuSaveImage)(uint8_t image[kMmuChunkSize]);
    void (*mmuLoadImage)(const uint8_t image[kMmuChunkSize]);
    // Empties the translation caches (after the page map or the memory contents change under them).
    void (*flushTranslationCaches)();
    // Virtual to host pointer without faults, for host-side readers of guest memory (the
    // console); 0 when nothing is mapped there.
    uintptr_t (*hostPointer)(uint32_t virtualAddress);
    // The frame buffer the display last showed (physical, inclusive): a data write into it asks
    // for a repaint.
    void (*setFrameBufferWatch)(uint32_t start, uint32_t end);
};

// The installed core (all entries null until one is installed).
extern CoreInterface BoardCore;
void BoardSetCore(const CoreInterface& core);

}  // namespace tamsk
