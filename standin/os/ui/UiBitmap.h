// The stand-in OS's bitmaps in the OS's native layout, drawn through UiDraw: the native record is
// read into the drawing record Kez takes (header, colour table, bits or compressed bits).
#pragma once

#include <cstdint>
#include <vector>

#include "common/module/KezDraw.h"

namespace vantor::os::ui {

// Fills `out` from the native bitmap at `bitmap`; `table` keeps a colour table the record points at.
// False for a record that is not one.
bool BitmapToDrawing(const void* bitmap, HALBitmap* out, std::vector<uint8_t>* table);
// Draws a native bitmap with its top left at (x, y) in UI coordinates.
void DrawNativeBitmap(const void* bitmap, int16_t x, int16_t y);
// Draws the translated bitmap resource `id` (a form's bitmap object).
void DrawBitmapResource(uint16_t id, int16_t x, int16_t y);

}  // namespace vantor::os::ui
