// Menu bars as 68K code sees them: a menu shadow per native menu bar per context holding the 68K
// menu-bar image (bar, menu records, item records, big-endian, live pointers), and the menu traps
// that make, find and release bars.
#pragma once

#include <cstdint>

#include "common/module/NativeUi.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

struct MenuShadow {
    MenuShadow* prev;
    MenuShadow* next;
    uint16_t kind;
    uint16_t size;  // of the whole shadow
    vantor::NativeMenuBar* native;
    uint8_t image[32];  // menu records and item records follow
};
static_assert(sizeof(MenuShadow) == 48);

// The shadow of a native bar: the one there is when `reuse`, else a new one.
MenuShadow* MenuShadowBuild(EmulState* s, vantor::NativeMenuBar* bar, bool reuse);
// The native bar of a 68K menu-bar image (null when no shadow holds it).
vantor::NativeMenuBar* MenuNativeOf(EmulState* s, uint32_t image);
void MenuShadowsFreeAll(EmulState* s);

void MenuGlueInstall(TrapHandler* table);

}  // namespace morvel
