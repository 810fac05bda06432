#include "morvel/traps/TrapDispatch.h"

#include "morvel/traps/ErrorGlue.h"

namespace morvel {

uint8_t TrapDispatch(EmulState* state, uint16_t trap) {
    uint16_t n = static_cast<uint16_t>(trap - kTrapBase);
    EmulState* global = state->global ? state->global : state;
    if (n < kTrapCount) {
        TrapHandler* table = global->trapTable;
        if (table && table[n]) table[n](state, n);
        // ErrSetJump asked for its frame's jump point: this run, when the trap returns.
        if (state->flags & kFlagRearmTry) {
            state->flags &= static_cast<uint8_t>(~kFlagRearmTry);
            TryFrameRearm(state);
        }
    }
    return state->running;
}

}  // namespace morvel
