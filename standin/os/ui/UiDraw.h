// Drawing for the stand-in UI library: the device screen as a target of Kez's drawing slots, in
// the UI's own coordinates (the 160 x 160 grid that forms are laid out on, scaled to the screen),
// with a small 5 x 7 font of our own. Every call draws at once and the screen manager carries the
// changed area to the device window. Without Kez (the stand-in's own tests) nothing is drawn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/module/KezDraw.h"

namespace vantor::os::ui {

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kGrey{153, 153, 153}, kDarkBlue{0, 51, 153};

// A rectangle in UI coordinates.
struct Rect {
    int16_t x, y, w, h;
    bool Contains(int16_t px, int16_t py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

// Sets the screen manager up on first use; false when there is no screen to draw on.
bool DrawReady();

// The UI grid's size on the screen: screen pixels per UI unit (1 on a 160-pixel screen, 2 on 320).
int16_t DrawScale();
// A screen pixel position (a pen event) in UI coordinates.
int16_t ScreenToUi(int16_t v);

void FillRect(const Rect& r, Rgb colour, uint16_t cornerRadius = 0);
void FrameRect(const Rect& r, Rgb colour, uint16_t cornerRadius = 0);
void DrawLine(int16_t x1, int16_t y1, int16_t x2, int16_t y2, Rgb colour);
// Text with its top left at (x, y), drawn in `fore` on a `back` cell background.
void DrawText(int16_t x, int16_t y, const char* text, size_t length, Rgb fore, Rgb back);
// A native bitmap at (x, y): set pixels of a 1-bit bitmap in `fore`, clear ones in `back`.
void DrawBitmap(HALBitmap* bitmap, int16_t x, int16_t y, Rgb fore = kBlack, Rgb back = kWhite);

// The font's metrics in UI units.
int16_t TextWidth(const char* text, size_t length);
constexpr int16_t kCharWidth = 6;
constexpr int16_t kLineHeight = 11;  // 7 rows of glyph, a descent row and leading
constexpr int16_t kFontHeight = 8;

}  // namespace vantor::os::ui
