// Native functions handed to 68K code as callable addresses: NativeThunk records behind traps
// 0xA7FE and 0xA7FF.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

using ThunkFunction = void (*)(EmulState* state);
using ThunkFunctionWithArg = void (*)(EmulState* state, uint32_t argument);

// 20 bytes in the OS heap, chained in the global context. 68K code calls record + 4, where the
// record holds TRAP #15 and the trap word of its kind.
struct NativeThunk {
    NativeThunk* next;
    uint8_t trap[2];      // 0x4E 0x4F
    uint8_t trapWord[2];  // 0x07 0xFE (no argument) or 0x07 0xFF (with argument)
    uint32_t function;
    uint32_t argument;
    uint32_t useCount;  // stays at 0xFFFFFFFF once there
};
static_assert(sizeof(NativeThunk) == 20);

// The 68K address of a thunk for `function`, or 0 (no memory, or a thunk of that function with
// another argument exists).
uint32_t NativeThunkNew(EmulState* s, uint32_t function, bool withArgument, uint32_t argument);
void NativeThunkRelease(EmulState* s, uint32_t function);
// 1 for a thunk with argument, 0 otherwise; function and argument 0 for an address that is no thunk.
uint32_t NativeThunkGetInfo(EmulState* s, uint32_t address, uint32_t* function, uint32_t* argument);

// Trap 0xA7FE or 0xA7FF: calls the thunk whose trap word the stored PC follows, returning to the
// 68K caller. A trap word that is not inside a thunk of the list calls nothing.
void NativeThunkDispatch(EmulState* s, uint16_t trap);

}  // namespace morvel
