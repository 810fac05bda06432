// The 68K interpreter: runs, nested runs and native-to-68K calls.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// One run in progress on a context. Runs nest on one thread; the chain is headed by
// EmulState::jumpChain.
struct RunFrame {
    RunFrame* prev;
    uint32_t depth;  // 1 for the outermost run
};

// Unwinds the native stack to a run that is still live: thrown by exception reports (to the
// innermost run) and by error-manager long jumps (to the run that set the jump point). A run that
// catches its own unwind either ends with `value` or, with `resume`, goes on executing from the
// registers already placed in the record.
struct RunUnwind {
    RunFrame* target;
    uint16_t value;
    bool resume;
};

// Runs the context from its PC until the return marker (0) or an exception (its negative value).
uint16_t MorvelRun(EmulState* state);
// The interpreter loop itself; returns 0 at the return marker, every other exit unwinds.
uint16_t MorvelMainLoop(EmulState* state);
// Calls the 68K routine at `address`; the caller has written `argBytes` of arguments below A7.
uint16_t Call68KCode(EmulState* state, uint32_t address, uint32_t argBytes);

// Ends the innermost run of the context with `value` (after its report was made).
[[noreturn]] void MorvelEndRun(EmulState* state, uint16_t value);

// The debugger nub's entry (TRAP #0, TRAP #8, trace); null when no nub is present.
using NubEntry = void (*)(EmulState* state, uint16_t vectorOffset);
void MorvelSetNubEntry(NubEntry entry);
// Enters the nub for the context (nothing happens when no nub is present).
void MorvelEnterNub(EmulState* state, uint16_t vectorOffset);

// Condition-code helpers: the SR image of the five condition bits.
uint32_t MorvelComposeCcr(uint32_t n, uint32_t nz, uint32_t v, uint32_t c, uint32_t x);
// Whether condition `cc` (the 4-bit field of Bcc) holds for the condition codes N Z V C (bits 3-0).
bool MorvelConditionHolds(uint32_t cc, uint32_t nzvc);

}  // namespace morvel
