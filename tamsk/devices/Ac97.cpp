// The AC97 controller's global registers and the codec's register answers.
#include "tamsk/devices/Ac97.h"

#include "tamsk/board/RunLoop.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/TouchScreen.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

Ac97State Ac97;

namespace {

enum : uint32_t {
    kGlobalControl = 0x0C,
    kGlobalStatus = 0x1C,
    kCodecFirst = 0x200,  // codec register r at 0x200 + 2r
    kCodecEnd = 0x300,

    kColdResetOff = 1u << 1,  // control: the codec runs only with this set and bit 2 clear
    kWarmReset = 1u << 2,
    kKeepIrq = 3u << 4,       // control: a write without both bits takes the interrupt
    kIrqOnRead = 1u << 18,    // control: a codec read raises the interrupt
    kIrqOnWrite = 1u << 19,   // control: a codec write raises the interrupt
    kReadDone = 1u << 18,     // status
    kWriteDone = 1u << 19,
    kCodecsReady = 0x300,

    kRegCodecControl = 0x74,
    kRegDigitiser = 0x7A,
    kDigitiserX = 1u << 1,
    kDigitiserY = 1u << 2,
};

struct CodecChunk {
    uint32_t codecControl;
};
const uint32_t kTag = FourCC(">w97");

uint32_t CodecRegister(uint32_t r) {
    switch (r) {
    case kRegCodecControl: return Ac97.codecControl & ~(1u << 9);
    case 0x78: return 0xC000;
    case kRegDigitiser: return Ac97DigitiserData();
    case 0x7C: return 0x574D;
    case 0x7E: return 0x4C13;
    }
    return 0;
}

}  // namespace

uint32_t Ac97DigitiserData() {
    // The panel is taken as 240 x 320 whatever the display options say; coordinates are signed.
    int64_t v = 0;
    if (Ac97.codecControl & kDigitiserX) v = int64_t(int32_t(Touch.x)) * 4096 / 240 + 0x1000;
    if (Ac97.codecControl & kDigitiserY) v = int64_t(int32_t(Touch.y)) * 4096 / 320 + 0x2000;
    return uint32_t(v) + 0x8000u * Touch.penDown;
}

uint32_t Ac97Read(uint32_t physical) {
    const uint32_t offset = physical & 0xFFFFF;
    switch (offset) {
    case kGlobalControl: return Ac97.globalControl;
    case kGlobalStatus: return Ac97.globalStatus;
    }
    if (offset < kCodecFirst || offset >= kCodecEnd) return 0;
    Ac97.globalStatus |= kReadDone;
    if (Ac97.globalControl & kIrqOnRead) IntcRaise(kIrqAc97);
    return CodecRegister((offset - kCodecFirst) / 2);
}

void Ac97Write(uint32_t physical, uint32_t value) {
    const uint32_t offset = physical & 0xFFFFF;
    if (offset == kGlobalControl) {
        Ac97.globalControl = value;
        if ((value & kKeepIrq) != kKeepIrq) IntcLower(kIrqAc97);
        if ((value & (kColdResetOff | kWarmReset)) != kColdResetOff) {
            Ac97.globalControl = 0;
            Ac97.globalStatus = kCodecsReady;
        }
    } else if (offset == kGlobalStatus) {
        Ac97.globalStatus &= ~value;
        if (value & (kReadDone | kWriteDone)) IntcLower(kIrqAc97);
        Ac97.globalStatus |= kReadDone | kWriteDone;
    } else if (offset >= kCodecFirst && offset < kCodecEnd) {
        if ((offset - kCodecFirst) / 2 == kRegCodecControl) Ac97.codecControl = value;
        Ac97.globalStatus |= kReadDone | kWriteDone;
        if (Ac97.globalControl & kIrqOnWrite) IntcRaise(kIrqAc97);
    }
}

void Ac97Reset(int32_t code) {
    if (code == kRunSave) return;
    Ac97 = {0, kCodecsReady, 0};
    CodecChunk chunk{};
    if ((code == kRunLoad || code == kRunPowerOnRestore) && ChunkRestoreWords(kTag, chunk))
        Ac97.codecControl = chunk.codecControl;
}

void Ac97Save(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, CodecChunk{Ac97.codecControl});
}

}  // namespace tamsk
