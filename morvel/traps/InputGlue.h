// Keyboard, handwriting, shift-indicator and pen-input traps, the text services' selection list,
// and the event entries of forms and menus that every 68K event loop calls.
#pragma once

#include "morvel/cpu/EmulState.h"

namespace morvel {

void InputGlueInstall(TrapHandler* table);

// TsmDispatch selector 18: runs the selection list and answers the chosen item or -1 in D0.
void TsmSelectionList(EmulState* s);

}  // namespace morvel
