// The touch-screen interface: the host mouse acts as the pen (pending bit 36); while the pen is
// down the interface samples its position every 10 ms of emulated time (timed callback 5) and
// raises interrupt source 36 as its control word asks.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kTouchBase = 0x41C00000;
constexpr uint32_t kTouchSamplePeriod = 32500;  // ticks: 10 ms
constexpr uint32_t kTouchSampleDelay = 3250;    // ticks: 1 ms, after a control write asks for one

// The >tsi chunk, word for word (28 bytes).
struct TouchState {
    uint32_t control;
    uint32_t stored;    // the word at 0x41C00008
    uint32_t x, y;      // the pen position in display pixels, 12 bits each
    uint32_t penDown;
    uint32_t sampling;  // the 10 ms sampling is running
    uint32_t dataReady;
};
static_assert(sizeof(TouchState) == 28, "the chunk holds the interface whole");
extern TouchState Touch;

uint32_t TouchRead(uint32_t physical);
void TouchWrite(uint32_t physical, uint32_t value);

// Host side (any thread): the pen went down, moved or went up at (x, y) display pixels; the
// interface takes it on the core thread.
void TouchHostPen(bool down, int32_t x, int32_t y);

// The pen event (core thread, pending bit 36) and the sampling (timed callback 5).
void TouchPenEvent();
void TouchSample(uint32_t argument);

// Reset or restore (>tsi) for the run code, and the save of >tsi on code 4.
void TouchReset(int32_t code);
void TouchSave(int32_t code);

}  // namespace tamsk
