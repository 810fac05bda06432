#include "tamsk/devices/ClockManager.h"

#include <memory>

#include "tamsk/board/Memory.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/OsTimer.h"
#include "tamsk/devices/Rtc.h"

namespace tamsk {

ClockState Clock;

namespace {
constexpr uint32_t kStatusBit26 = 1u << 26;

void PowerOn(int32_t code) {
    Clock.reg04 = 0xFFFFFFFF;
    Clock.reg08 = 0;
    Clock.oscillator = 0x010FB218;
    Clock.oscCopy = Clock.oscillator & ~kStatusBit26;
    OsTimerReset(code);
    RtcReset(code);
    EvtReset();
    InstructionCountdown = TimingRatio();
}

// The future events of a clock chunk fit the table and name callbacks that exist.
bool Sound(const uint8_t* c) {
    const uint32_t count = ChunkGet32(c + 64);
    if (count > kFutureEventCapacity) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (!EvtTimedCallback(ChunkGet32(c + 72 + 16 * i + 8))) return false;
    return true;
}
[[maybe_unused]] const bool kRuleAdded = SessAddRule({FourCC(">clk"), kClockChunkSize, false, Sound});

bool Restore() {
    auto c = std::make_unique<uint8_t[]>(kClockChunkSize);
    if (!SessReadChunk(FourCC(">clk"), c.get(), kClockChunkSize)) return false;
    const uint32_t count = ChunkGet32(c.get() + 64);
    if (count > kFutureEventCapacity) HostFatal("Invalid or unexpected session data");
    InstructionCountdown = ChunkGet32(c.get());
    if (InstructionCountdown == 0) InstructionCountdown = TimingRatio();
    OsTimer.counter = ChunkGet32(c.get() + 8);
    for (int n = 0; n < 4; ++n) OsTimer.match[n] = ChunkGet32(c.get() + 12 + 4 * n);
    OsTimer.status = ChunkGet32(c.get() + 28) & 0xF;
    OsTimer.enable = ChunkGet32(c.get() + 32) & 0xF;
    OsTimer.watchdog = ChunkGet32(c.get() + 36) & 1;
    Rtc.seconds = ChunkGet32(c.get() + 40);
    Clock.reg04 = ChunkGet32(c.get() + 44);
    Clock.reg08 = ChunkGet32(c.get() + 48);
    EmulatedTicks = ChunkGet64(c.get() + 56);
    FutureEventCount = count;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = c.get() + 72 + 16 * i;
        FutureEventTable[i] = {ChunkGet64(e), EvtCallbackFromId(ChunkGet32(e + 8)), ChunkGet32(e + 12)};
    }
    Clock.oscillator = ChunkGet32(c.get() + 16456);
    Clock.oscCopy = ChunkGet32(c.get() + 16460);
    // The stored countdown is the head's distance; recomputing it also keeps a crafted 0 from
    // stopping the scheduler.
    EvtSetCountdownFromHead();
    return true;
}
}  // namespace

uint32_t ClockRead(uint32_t physical) {
    switch (physical) {
    case 0x41300000: return 0x30000107;
    case 0x41300004: return Clock.reg04;
    case 0x41300008: return Clock.reg08 | 3;
    case 0x41340000: return Clock.oscillator;
    case 0x41340004: return Clock.oscCopy;
    }
    return 0;
}

void ClockWrite(uint32_t physical, uint32_t value) {
    switch (physical) {
    case 0x41300004: Clock.reg04 = value; break;
    case 0x41300008: Clock.reg08 = value; break;
    case 0x41340000:
        Clock.oscillator = value;
        Clock.oscCopy = value & ~kStatusBit26;
        break;
    }
}

void ClockPowerModeSwitch() {
    Clock.oscCopy ^= kStatusBit26;
    MemControllerWrite(0x48100000, MemControllerRead(0x48100000) & ~(1u << 29));
}

void ClockReset(int32_t code) {
    if (code == kRunSave) return;
    if ((code == kRunLoad || code == kRunPowerOnRestore) && Restore()) return;
    PowerOn(code);
}

void ClockSave(int32_t code) {
    if (code != kRunSave) return;
    auto c = std::make_unique<uint8_t[]>(kClockChunkSize);
    std::fill_n(c.get(), kClockChunkSize, 0);
    ChunkPut32(c.get(), InstructionCountdown);
    ChunkPut32(c.get() + 4, EvtCountdown);
    ChunkPut32(c.get() + 8, OsTimer.counter);
    for (int n = 0; n < 4; ++n) ChunkPut32(c.get() + 12 + 4 * n, OsTimer.match[n]);
    ChunkPut32(c.get() + 28, OsTimer.status);
    ChunkPut32(c.get() + 32, OsTimer.enable);
    ChunkPut32(c.get() + 36, OsTimer.watchdog);
    ChunkPut32(c.get() + 40, Rtc.seconds);
    ChunkPut32(c.get() + 44, Clock.reg04);
    ChunkPut32(c.get() + 48, Clock.reg08);
    ChunkPut64(c.get() + 56, EmulatedTicks);
    ChunkPut32(c.get() + 64, FutureEventCount);
    for (uint32_t i = 0; i < FutureEventCount; ++i) {
        uint8_t* e = c.get() + 72 + 16 * i;
        ChunkPut64(e, FutureEventTable[i].due);
        ChunkPut32(e + 8, EvtCallbackId(FutureEventTable[i].callback));
        ChunkPut32(e + 12, FutureEventTable[i].argument);
    }
    ChunkPut32(c.get() + 16456, Clock.oscillator);
    ChunkPut32(c.get() + 16460, Clock.oscCopy);
    SessWriteChunk(FourCC(">clk"), c.get(), kClockChunkSize);
}

}  // namespace tamsk
