#include "tamsk/devices/Mmc.h"

#include "tamsk/board/RunLoop.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

MmcState Mmc;

namespace {

const uint32_t kTag = FourCC(">mmc");

enum : uint32_t {
    kStartStop = 0x00,
    kStatus = 0x04,
    kClockRate = 0x08,
    kCommandControl = 0x10,
    kResponseTimeout = 0x14,
    kReadTimeout = 0x18,
    kInterruptMask = 0x28,
    kInterruptStatus = 0x2C,
    kCommand = 0x34,
    kArgument = 0x38,
    // Interrupt bits.
    kDataDone = 1u << 0,
    kProgramDone = 1u << 1,
    kResponseEnd = 1u << 2,
    kClockOff = 1u << 4,
    kBufferRequests = 3u << 5,
    // Command/data control bits.
    kData = 1u << 2,
    kWrite = 1u << 3,
    kDma = 1u << 7,
    // Start/stop.
    kStop = 1u << 0,
    kStart = 1u << 1,
    // Status: bit 6 always reads 1.
    kAlwaysSet = 0x40,
};

void UpdateLine() {
    if (Mmc.interrupt & ~Mmc.interruptMask)
        IntcRaise(kIrqMmc);
    else
        IntcLower(kIrqMmc);
}

void SetInterrupt(uint32_t bits) {
    Mmc.interrupt |= bits;
    if (Mmc.interrupt & ~Mmc.interruptMask) IntcRaise(kIrqMmc);
}

}  // namespace

uint32_t MmcRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case kStatus: return (Mmc.clock << 8) + Mmc.status + kAlwaysSet;
    case kClockRate: return Mmc.clockRate;
    case kCommandControl: return Mmc.commandControl;
    case kResponseTimeout: return Mmc.responseTimeout;
    case kReadTimeout: return Mmc.readTimeout;
    case kInterruptMask: return Mmc.interruptMask;
    case kInterruptStatus: return Mmc.interrupt;
    case kCommand: return Mmc.command;
    case kArgument: return Mmc.argument;
    }
    return 0;  // the response and data buffers included: no card answers
}

void MmcWrite(uint32_t physical, uint32_t value) {
    switch (physical & 0xFFFFF) {
    case kStartStop:
        if (value & kStop) {
            Mmc.clock = 0;
            SetInterrupt(kClockOff);
        } else if (value & kStart) {
            Mmc.clock = 1;
            Mmc.interrupt &= ~kClockOff;
            UpdateLine();
        }
        return;
    case kClockRate: Mmc.clockRate = value; return;
    case kCommandControl: {
        // The command ends at once: its response (all zero) and any data phase are done.
        Mmc.commandControl = value;
        Mmc.status = 0;
        uint32_t bits = kResponseEnd;
        if (!(value & kDma)) bits |= kBufferRequests;
        if (value & kData) bits |= kDataDone;
        if ((value & (kData | kWrite)) == (kData | kWrite)) bits |= kProgramDone;
        SetInterrupt(bits);
        return;
    }
    case kResponseTimeout: Mmc.responseTimeout = value; return;
    case kReadTimeout: Mmc.readTimeout = value; return;
    case kInterruptMask:
        Mmc.interruptMask = value;
        UpdateLine();
        return;
    case kCommand: Mmc.command = value; return;
    case kArgument: Mmc.argument = value; return;
    }
}

void MmcReset(int32_t code) {
    if (code == kRunSave) return;
    if ((code == kRunLoad || code == kRunPowerOnRestore) && ChunkRestoreWords(kTag, Mmc)) return;
    Mmc = {};
}

void MmcSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, Mmc);
}

}  // namespace tamsk
