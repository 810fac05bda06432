#include "morvel/traps/TrapDispatch.h"

namespace morvel {

uint8_t TrapDispatch(EmulState* state, uint16_t trap) {
    uint16_t n = static_cast<uint16_t>(trap - kTrapBase);
    EmulState* global = state->global ? state->global : state;
    if (n < kTrapCount) {
        TrapHandler* table = global->trapTable;
        if (table && table[n]) table[n](state, n);
    }
    return state->running;
}

}  // namespace morvel
