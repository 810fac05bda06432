#include "tamsk/board/Timing.h"

#include <algorithm>

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Board.h"
#include "tamsk/board/HostThreads.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"

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
    // Bits that no device serves are dropped.
    const BoardDescription& board = BoardDescribed();
    for (unsigned i = 0; i < board.serviceCount; ++i)
        if (word & board.services[i].mask) board.services[i].serve(word);
    return (word >> kPendingEndRun) & 1;
}

uint32_t TimingRatio() { return Opt.TimeRatio > 0 ? uint32_t(Opt.TimeRatio) : 1; }

void TimingTick() {
    InstructionCountdown = TimingRatio();
    ++EmulatedTicks;
    BoardDescribed().timer.tick();
    if (EvtCountdown != 0 && --EvtCountdown == 0) CpuRunDueEvents();
}

uint32_t TimingPlainTicks() {
    uint32_t plain = BoardDescribed().timer.plainTicks();
    if (EvtCountdown != 0) plain = std::min(plain, EvtCountdown - 1);
    return plain;
}

void TimingSkipTicks(uint32_t n) {
    EmulatedTicks += n;
    BoardDescribed().timer.skip(n);
    if (EvtCountdown != 0) EvtCountdown -= n;
}

uint32_t CpuTicksToNextDue() {
    uint32_t t = BoardDescribed().timer.ticksToNextDue();
    if (FutureEventCount != 0 && EvtCountdown < t) t = EvtCountdown;
    return t;
}

void CpuAdvanceTicks(uint32_t n) {
    if (n == 0) return;
    EmulatedTicks += n - 1;
    BoardDescribed().timer.skip(n - 1);
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

// Without EnableIdle an idle guest skips to the next armed match or event at once, as if it had
// slept until then with no host time passing: the ticks an idle now skips (0: none, when nothing
// is armed or an interrupt already waits, which would wake the processor at once).
uint32_t IdleSkip() {
    if (Opt.EnableIdle) return 0;
    const BoardDescription& board = BoardDescribed();
    if (board.interruptWaiting && board.interruptWaiting()) return 0;
    const uint32_t t = CpuTicksToNextDue();
    return t == 0xFFFFFFFF ? 0 : t;
}
}  // namespace

bool CpuIdleWaits() { return Opt.EnableIdle || IdleSkip() != 0; }

void CpuIdle() {
    // No display window is shown here, so the idle repaint has nothing to paint.
    if (Opt.EnableIdle) {
        CpuIdleWait();
    } else if (const uint32_t n = IdleSkip()) {
        CpuAdvanceTicks(n);
    }
}

void TimingReset(int32_t code) {
    if (code == kRunSave) return;
    InstructionCountdown = TimingRatio();
}

}  // namespace tamsk
