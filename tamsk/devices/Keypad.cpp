// The keypad's registers, its scan of the key matrix and the rotary count.
#include "tamsk/devices/Keypad.h"

#include <atomic>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

KeypadState Keypad;

namespace {

enum : uint32_t {
    kControl = 0x00,
    kRotary = 0x10,
    kDirect = 0x18,
    kScan = 0x20,
    kMultiFirst = 0x28,  // 0x28, 0x30, 0x38, 0x40

    kScanned = 1u << 22,     // control: a scan has run
    kLastKeyOnly = 1u << 21, // control: with several keys down, report only the last one found
    kDirectValid = 1u << 31,
    kUnderflow = 1u << 14,
    kOverflow = 1u << 15,
};

const uint32_t kTag = FourCC(">key");

// The host thread writes key words and the rotary count while the core reads them.
std::atomic_ref<uint32_t> Shared(uint32_t& word) { return std::atomic_ref<uint32_t>(word); }

// The count in bits 0-7 with the under- and overflow flags; the count wraps into 0..255, so
// the flags show only what happened since this read.
uint32_t ReadRotary() {
    auto count = Shared(Keypad.rotaryCount);
    uint32_t old = count.load();
    while (!count.compare_exchange_weak(old, old & 0xFF)) {
    }
    const int32_t value = int32_t(old);
    Keypad.lastReadCount = old & 0xFF;
    return (old & 0xFF) | (value < 0 ? uint32_t(kUnderflow) : 0) | (value > 255 ? uint32_t(kOverflow) : 0);
}

}  // namespace

uint32_t KeypadRead(uint32_t physical) {
    const uint32_t offset = physical & 0xFFFFF;
    switch (offset) {
    case kControl:
        IntcLower(kIrqKeypad);
        return Keypad.control;
    case kRotary: return ReadRotary();
    case kDirect: {
        const uint32_t direct = Keypad.directKeys;
        Keypad.directKeys = 0;
        return direct;
    }
    case kScan: return Keypad.scanResult;
    case kMultiFirst:
    case kMultiFirst + 8:
    case kMultiFirst + 16:
    case kMultiFirst + 24: return Keypad.multiKey[(offset - kMultiFirst) / 8];
    }
    return 0;
}

void KeypadWrite(uint32_t physical, uint32_t value) {
    switch (physical & 0xFFFFF) {
    case kControl: Keypad.control = value; break;
    case kRotary:
        Shared(Keypad.rotaryCount).store(value);
        Keypad.lastReadCount = value;
        break;
    }
}

void KeypadHostKey(unsigned position, bool pressed) {
    if (Opt.SensorialIsolation || position >= kKeypadKeys) return;
    Shared(Keypad.key[position]).store(pressed ? 1 : 0);
    CpuRequestAttention(kPendingKeypad);
}

void KeypadHostWheel(int32_t delta) {
    Shared(Keypad.rotaryCount).fetch_add(uint32_t(delta / 120));
}

void KeypadScan() {
    Keypad.control |= kScanned;
    Keypad.scanResult = 0;
    for (uint32_t& word : Keypad.multiKey) word = 0;
    bool down[kKeypadKeys];
    unsigned count = 0, last = 0;
    for (unsigned k = 0; k < kKeypadKeys; ++k) {
        down[k] = Shared(Keypad.key[k]).load() != 0;
        if (down[k]) {
            ++count;
            last = k;
        }
    }
    if (count > 1 && (Keypad.control & kLastKeyOnly)) count = 1;
    if (count == 1) {
        const unsigned row = last / kKeypadColumns, column = last % kKeypadColumns;
        Keypad.scanResult = column | row << 4 | 1u << 26;
        Keypad.directKeys |= kDirectValid | 1u << row;
    } else {
        Keypad.scanResult = count << 26;
        Keypad.directKeys |= kDirectValid;
        for (unsigned k = 0; k < kKeypadKeys; ++k) {
            if (!down[k]) continue;
            const unsigned row = k / kKeypadColumns, column = k % kKeypadColumns;
            Keypad.multiKey[column / 2] |= 1u << (row + 16 * (column & 1));
            Keypad.directKeys |= 1u << row;
        }
    }
    IntcRaise(kIrqKeypad);
}

void KeypadReset(int32_t code) {
    if (code == kRunSave) return;
    if ((code == kRunLoad || code == kRunPowerOnRestore) && ChunkRestoreWords(kTag, Keypad)) return;
    Keypad = {};
    Keypad.scanResult = 255;
}

void KeypadSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, Keypad);
}

}  // namespace tamsk
