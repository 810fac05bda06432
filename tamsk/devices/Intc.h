// Interrupt controller: 64 sources collected into the core's IRQ and FIQ inputs.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kIntcBase = 0x40D00000;

// Interrupt sources of the board's devices.
enum : unsigned {
    kIrqKeypad = 4,
    kIrqGpio = 10,
    kIrqAc97 = 14,
    kIrqLcd = 17,
    kIrqStuart = 20,
    kIrqBtuart = 21,
    kIrqFfuart = 22,
    kIrqMmc = 23,
    kIrqDma = 25,
    kIrqOsTimer0 = 26,  // 26..29: OS timer matches 0-3
    kIrqTouch = 36,
    kIrqNand = 45,
};

// Index 0: sources 0-31, index 1: sources 32-63.
struct IntcState {
    uint32_t irqPending[2];
    uint32_t mask[2];
    uint32_t level[2];  // 1 = FIQ
    uint32_t fiqPending[2];
    uint32_t rawPending[2];
    uint32_t control;   // bit 0 kept
    uint32_t present;   // non-zero when either half has an active (raw AND mask) source
    uint32_t priority[53];
    uint32_t highest;   // the highest-priority word: stored, never computed
};
extern IntcState Intc;

inline bool IntcFiqPending() { return (Intc.fiqPending[0] | Intc.fiqPending[1]) != 0; }
inline bool IntcIrqPending() { return (Intc.irqPending[0] | Intc.irqPending[1]) != 0; }

void IntcRaise(unsigned source);
void IntcLower(unsigned source);
// Recomputes the pending words and the present flag from raw pending, mask and level.
void IntcUpdate();

// Memory-mapped registers (device handlers of the 0x40D00000 megabyte).
uint32_t IntcRead(uint32_t physical);
void IntcWrite(uint32_t physical, uint32_t value);

// The coprocessor 6 view: registers 0-10 (0 IRQ pending, 1 mask, 2 level, 3 FIQ pending, 4 raw,
// 5 highest-priority word, 6-10 the same for sources 32-63); writes reach 1, 2, 7 and 8 only.
uint32_t IntcCoprocRead(unsigned crn);
void IntcCoprocWrite(unsigned crn, uint32_t value);

// Reset or restore (>int) for the run code, and the save of >int on code 4.
void IntcReset(int32_t code);
void IntcSave(int32_t code);

}  // namespace tamsk
