// Emulated time and the core's attention word.
//
// The board has no clock of its own: time advances as the processor executes. Every TimeRatio
// executed instructions make one tick (3,250,000 ticks per emulated second); each tick counts the
// OS timer, compares its matches and counts down to the head of the event scheduler.
//
// Other threads reach the core only through PendingEventWord: they OR bits into it
// (CpuRequestAttention); the core tests it after every instruction and takes it with an atomic
// exchange (CpuServicePending). Bit 63 ends the run: CpuRun then returns RunCode.
//
// The core's instruction loop ends each instruction with this tail:
//     if (PendingEventWord.load(std::memory_order_relaxed) != 0 && CpuServicePending())
//         return RunCode.load();                     // bit 63: the run ends
//     if (Intc.present) { FIQ when IntcFiqPending() and F == 0, else IRQ when IntcIrqPending()
//                         and I == 0 (one exception per instruction) }
//     current = next; ++ExecutedInstructions;
//     TimingStep();
// The core may run a stretch of instructions and apply their tails at once where that gives the
// same result: up to a tick that may do something (TimingPlainTicks), and only while nothing the
// tail looks at changes (other threads' pending bits wait for the stretch's end).
#pragma once

#include <atomic>
#include <cstdint>

namespace tamsk {

constexpr uint32_t kTicksPerSecond = 3250000;

// Bits of PendingEventWord and what serves them.
constexpr unsigned kPendingKeypad = 4;
constexpr unsigned kPendingEthernetFirst = 8;  // 8..10
constexpr unsigned kPendingStuart = 20;
constexpr unsigned kPendingBtuart = 21;
constexpr unsigned kPendingFfuart = 22;
constexpr unsigned kPendingTouch = 36;
constexpr unsigned kPendingEndRun = 63;

extern std::atomic<uint64_t> PendingEventWord;

// Executed-instruction counter: +1 per instruction (and per raised abort); the core resets it.
extern uint64_t ExecutedInstructions;
// Instructions left until the next tick.
extern uint32_t InstructionCountdown;
// Emulated time in ticks since the last power-on or reset.
extern uint64_t EmulatedTicks;
// Ticks until the head of the future-event table falls due; 0 = nothing scheduled.
extern uint32_t EvtCountdown;

// OR bits into the pending word (any thread), atomically.
void PendingOrBits(uint32_t maskLow, uint32_t maskHigh);
// OR bit n (0..63) into the pending word and wake an idle core (any thread).
void CpuRequestAttention(unsigned n);
// Signals the core's wake event when EnableIdle is on.
void CpuWakeCore();
// Ends the current run with `code` (any thread): stores RunCode, then requests bit 63.
void CpuRequestRunEnd(int32_t code);

// Takes the pending word and serves its bits (core thread). Returns true when bit 63 was set:
// the run ends and CpuRun returns RunCode.
bool CpuServicePending();

// One tick: reloads the instruction countdown, counts the OS timer and compares its matches,
// counts down to the scheduler and runs due events.
void TimingTick();
// Counts one executed instruction towards the next tick.
inline void TimingStep() {
    if (--InstructionCountdown == 0) TimingTick();
}

// The instruction countdown's reload value (option TimeRatio).
uint32_t TimingRatio();

// How many of the coming ticks only count (the OS timer counter, emulated time and the scheduler
// countdown move on, and no match is equal and no event falls due): the tick after them is the
// first that may do something. The core runs the instructions of such ticks without looking at the
// board in between, and makes the ticks at once with TimingSkipTicks.
uint32_t TimingPlainTicks();
// Makes n ticks at once; n is at most TimingPlainTicks(). The instruction countdown is the caller's.
void TimingSkipTicks(uint32_t n);

// The emulated OS asks to idle (CP14 power mode 1): repaints when due and, with EnableIdle, sleeps
// until the next armed timer match or event or until a host request wakes the core. Without
// EnableIdle, time moves on to the next armed match or event at once (CpuAdvanceTicks), unless
// nothing is armed or an interrupt is already waiting.
void CpuIdle();
// Whether CpuIdle may wait or move time on; otherwise it changes nothing.
bool CpuIdleWaits();
// Ticks until the next armed match or scheduled event; all ones when nothing is armed.
uint32_t CpuTicksToNextDue();
// Moves time on by n ticks at once (n >= 1); never skips an armed match or event when n is at most
// CpuTicksToNextDue() + 1.
void CpuAdvanceTicks(uint32_t n);
// Runs every event that is due now.
void CpuRunDueEvents();

// Carried-over idle lag in host milliseconds (saved with the interrupt controller).
extern uint32_t IdleLagMs;
// Resets the timing state for run code `code` (instruction countdown, idle bookkeeping).
void TimingReset(int32_t code);

}  // namespace tamsk
