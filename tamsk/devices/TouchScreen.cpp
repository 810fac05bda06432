// The touch-screen interface's registers, pen events and timed sampling.
#include "tamsk/devices/TouchScreen.h"

#include <atomic>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

TouchState Touch;

namespace {

enum : uint32_t {
    kData = 0x00,
    kControl = 0x04,
    kStored = 0x08,

    kSampleNow = 1u << 31,    // control: one sample 1 ms after the write
    kIrqOnSample = 1u << 28,  // control: a sample raises the interrupt (with bit 30 or 31)
    kIrqOnPen = 1u << 29,     // control: pen down and pen up raise the interrupt
    kSampleIrqWith = 3u << 30,
    kDataReady = 1u << 31,    // data: a sample or pen change is there
    kPenDown = 1u << 30,
    kDataControlBits = 0x70000,
    kCoordinateMask = 0xFFF,
};

const uint32_t kTag = FourCC(">tsi");

// The pen as the host last reported it, packed in one word: bit 31 down, bits 27-16 x,
// bits 11-0 y.
std::atomic<uint32_t> g_hostPen{0};
// The last pen-down not yet taken by the core: a tap whose release comes before the core looks
// is still seen as a touch (the release is taken by the next sample).
std::atomic<uint32_t> g_hostPress{0};

uint32_t Clamp12(int32_t v) { return v < 0 ? 0 : v > int32_t(kCoordinateMask) ? kCoordinateMask : uint32_t(v); }

// The pen as the core takes it: a press not yet seen, else the pen as it is now.
uint32_t TakeHostPen() {
    const uint32_t press = g_hostPress.exchange(0);
    return press ? press : g_hostPen.load();
}

bool HostPenDown(uint32_t pen) { return pen >> 31; }
void TakePosition(uint32_t pen) {
    Touch.x = pen >> 16 & kCoordinateMask;
    Touch.y = pen & kCoordinateMask;
}

void RaiseIf(bool condition) {
    if (condition) IntcRaise(kIrqTouch);
}

// A sampling event replaces any pending one, so that there is never more than one.
void ScheduleSample(uint32_t delay) {
    EvtCancel(TouchSample, 0);
    EvtSchedule(delay, TouchSample, 0);
}

}  // namespace

uint32_t TouchRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case kData: {
        const uint32_t status = (Touch.sampling != 0) + 4 * (Touch.dataReady != 0) + 2 * (Touch.penDown != 0);
        return ((status << 14 | (Touch.x & kCoordinateMask)) << 15 | (Touch.y & kCoordinateMask)) +
               (Touch.control & kDataControlBits);
    }
    case kControl: return Touch.control;
    case kStored: return Touch.stored;
    }
    return 0;
}

void TouchWrite(uint32_t physical, uint32_t value) {
    switch (physical & 0xFFFFF) {
    case kData:
        Touch.dataReady = (value & kDataReady) != 0;
        Touch.penDown = (value & kPenDown) != 0;
        IntcLower(kIrqTouch);
        break;
    case kControl:
        Touch.control = value;
        if (value & kSampleNow) ScheduleSample(kTouchSampleDelay);
        break;
    case kStored: Touch.stored = value; break;
    }
}

void TouchHostPen(bool down, int32_t x, int32_t y) {
    const uint32_t pen = uint32_t(down) << 31 | Clamp12(x) << 16 | Clamp12(y);
    if (down) g_hostPress.store(pen);
    g_hostPen.store(pen);
    CpuRequestAttention(kPendingTouch);
}

void TouchPenEvent() {
    const uint32_t pen = TakeHostPen();
    if (Opt.SensorialIsolation) return;
    Touch.penDown = HostPenDown(pen);
    if (!Touch.sampling && Touch.penDown) {
        ScheduleSample(kTouchSamplePeriod);
        Touch.sampling = 1;
        Touch.dataReady = 1;
        RaiseIf(Touch.control & kIrqOnPen);
    }
    TakePosition(pen);
}

void TouchSample(uint32_t) {
    const uint32_t pen = TakeHostPen();
    if (!HostPenDown(pen)) {
        Touch.sampling = 0;
        Touch.penDown = 0;
        Touch.dataReady = 1;
        RaiseIf(Touch.control & kIrqOnPen);
    } else {
        TakePosition(pen);
        Touch.penDown = 1;
        if (Touch.sampling) ScheduleSample(kTouchSamplePeriod);
        RaiseIf((Touch.control & kIrqOnSample) && (Touch.control & kSampleIrqWith));
    }
    Touch.control &= ~kSampleNow;
}

void TouchReset(int32_t code) {
    if (code == kRunSave) return;
    g_hostPress = 0;
    if ((code == kRunLoad || code == kRunPowerOnRestore) && ChunkRestoreWords(kTag, Touch)) return;
    Touch = {};
}

void TouchSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, Touch);
}

}  // namespace tamsk
