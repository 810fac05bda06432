#include "tamsk/board/Timing.h"

#include <algorithm>

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/OsTimer.h"
#include "tamsk/devices/TouchScreen.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/host/HostThreads.h"

namespace tamsk {

std::atomic<uint64_t> PendingEventWord{0};
uint64_t ExecutedInstructions;
uint32_t InstructionCountdown = 1;
uint64_t EmulatedTicks;
uint32_t EvtCountdown;
uint32_t IdleLagMs;

void PendingOrBits(uint32_t maskLow, uint32_t maskHigh) {
    PendingEventWord.fetch_or(uint64_t(maskHigh) << 32 | maskLow);
}

void CpuWakeCore() {
    if (Opt.EnableIdle) HostSignalCoreWake();
}

void CpuRequestAttention(unsigned n) {
    PendingEventWord.fetch_or(uint64_t(1) << (n & 63));
    CpuWakeCore();
}

void CpuRequestRunEnd(int32_t code) {
    // An exit request stays: a later save, autosave or reset request must not undo it.
    int32_t current = RunCode.load();
    while (current != kRunExit && !RunCode.compare_exchange_weak(current, code)) {
    }
    CpuRequestAttention(kPendingEndRun);
}

bool CpuServicePending() {
    const uint64_t word = PendingEventWord.exchange(0);
    if (word & (uint64_t(1) << kPendingFfuart)) UartService(0);
    if (word & (uint64_t(1) << kPendingBtuart)) UartService(1);
    if (word & (uint64_t(1) << kPendingStuart)) UartService(2);
    if (word & (uint64_t(1) << kPendingTouch)) TouchPenEvent();
    if (word & (uint64_t(1) << kPendingKeypad)) KeypadScan();
    // Ethernet bits have no device behind them here: dropped.
    return (word >> kPendingEndRun) & 1;
}

uint32_t TimingRatio() { return Opt.TimeRatio > 0 ? uint32_t(Opt.TimeRatio) : 1; }

void TimingTick() {
    InstructionCountdown = TimingRatio();
    ++EmulatedTicks;
    OsTimerTick();
    if (EvtCountdown != 0 && --EvtCountdown == 0) CpuRunDueEvents();
}

uint32_t TimingPlainTicks() {
    uint32_t plain = 0xFFFFFFFF;
    for (unsigned n = 0; n < 4; ++n) {
        // A match equal to the counter is met again after a whole wrap.
        if (OsTimer.enable >> n & 1) plain = std::min(plain, OsTimer.match[n] - OsTimer.counter - 1);
    }
    if (EvtCountdown != 0) plain = std::min(plain, EvtCountdown - 1);
    return plain;
}

void TimingSkipTicks(uint32_t n) {
    EmulatedTicks += n;
    OsTimer.counter += n;
    if (EvtCountdown != 0) EvtCountdown -= n;
}

uint32_t CpuTicksToNextDue() {
    uint32_t t = 0xFFFFFFFF;
    for (unsigned n = 0; n < 4; ++n) {
        if (!(OsTimer.enable >> n & 1)) continue;
        uint32_t d = OsTimer.match[n] - OsTimer.counter;
        if (OsTimer.counter >= OsTimer.match[n]) d -= 1;
        if (d > 0xFFFFFFFE) d = 0xFFFFFFFE;
        if (d < t) t = d;
    }
    if (FutureEventCount != 0 && EvtCountdown < t) t = EvtCountdown;
    return t;
}

void CpuAdvanceTicks(uint32_t n) {
    if (n == 0) return;
    EmulatedTicks += n - 1;
    OsTimer.counter += n - 1;
    if (EvtCountdown != 0) EvtCountdown = EvtCountdown > n - 1 ? EvtCountdown - (n - 1) : 1;
    TimingTick();
}

namespace {
void CpuIdleWait() {
    const uint32_t t = CpuTicksToNextDue();
    win32::DWORD w = win32::INFINITE;
    if (t != 0xFFFFFFFF) {
        uint64_t ms = uint64_t(t) * 1000 / kTicksPerSecond;
        const uint64_t used = ms < IdleLagMs ? ms : IdleLagMs;
        ms -= used;
        IdleLagMs -= uint32_t(used);
        w = win32::DWORD(ms);
    }
    const win32::DWORD start = win32::timeGetTime();
    HostWaitCoreWake(w);
    const win32::DWORD elapsed = win32::timeGetTime() - start;
    const uint64_t d = uint64_t(elapsed) * kTicksPerSecond / 1000;
    CpuAdvanceTicks(uint32_t(d < t ? d : t));
    if (w != win32::INFINITE && elapsed > w) IdleLagMs += elapsed - w;
}
}  // namespace

void CpuIdle() {
    // No display window is shown here, so the idle repaint has nothing to paint.
    if (Opt.EnableIdle) CpuIdleWait();
}

void TimingReset(int32_t code) {
    if (code == kRunSave) return;
    InstructionCountdown = TimingRatio();
}

}  // namespace tamsk
