// Windows as 68K code sees them: a window shadow per native window per context, holding the
// 40-byte big-endian 68K window image whose address is the 68K window handle; handles mapped both
// ways (form windows through their form shadows), and the window and drawing traps.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

struct WindowShadow {
    WindowShadow* prev;
    WindowShadow* next;
    uint16_t kind;    // 0xFFFF
    uint16_t marker;  // 0xFFFF
    void* native;
    uint8_t image[40];
};
static_assert(sizeof(WindowShadow) == 56);

// Writes the 68K window image of a native window at `image` (40 bytes).
void WindowImageFill(const void* native, uint32_t image);
// The native window of the 68K window handle at argument `offset` (0 for a null handle; reported
// and 0 for a handle that is neither a window shadow's nor a form's).
void* WindowFromArg(EmulState* s, uint32_t offset);
void* WindowFromHandle(EmulState* s, uint32_t handle);
// The 68K handle of a native window, its shadow made when missing (0 for null or no memory).
uint32_t WindowTo68K(EmulState* s, void* native);
WindowShadow* WindowShadowFind(EmulState* s, const void* native);
void WindowShadowsFreeAll(EmulState* s);

// Frame-type words between 68K and native bit order.
uint16_t FrameTypeToNative(uint16_t frame);
uint16_t FrameTypeTo68K(uint16_t frame);

// HighDensityDispatch selectors 8-14 and 16-22 (D2 holds the selector); false for another one.
bool WindowHighDensitySelector(EmulState* s, uint16_t selector);
// AccessorDispatch selectors 24 (a window's frame type in 68K order, 0 for none) and 25 (sets it
// from a 68K-order argument at 4); false for another one.
bool WindowAccessorSelector(EmulState* s, uint16_t selector);

void WindowGlueInstall(TrapHandler* table);

}  // namespace morvel
