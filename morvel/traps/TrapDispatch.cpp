#include "morvel/traps/TrapDispatch.h"

#include "morvel/nub/DebuggerNub.h"
#include "morvel/traps/ErrorGlue.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/Thunks.h"

namespace morvel {

uint8_t TrapDispatch(EmulState* state, uint16_t trap) {
    uint16_t n = static_cast<uint16_t>(trap - kTrapBase);
    EmulState* global = state->global ? state->global : state;
    // A trap break stops before the trap; a debugger that moved PC there skips it.
    if (DbgHasTrapBreaks(state) && !DbgTrapBreakCheck(state, trap)) return state->running;
    if (n < kTrapCount) {
        TrapHandler* table = global->trapTable;
        if (table && table[n]) table[n](state, n);
        // ErrSetJump asked for its frame's jump point: this run, when the trap returns.
        if (state->flags & kFlagRearmTry) {
            state->flags &= static_cast<uint8_t>(~kFlagRearmTry);
            TryFrameRearm(state);
        }
    } else if (n & 0x800) {
        LibTrapDispatch(state, trap);
    } else if (trap == 0xA7FE || trap == 0xA7FF) {
        NativeThunkDispatch(state, trap);
    }
    return state->running;
}

}  // namespace morvel
