// The stand-in OS's window and drawing slots: one window, the display, on which applications draw
// text, lines, rectangles and bitmaps in the UI's coordinates through UiDraw (and so through Kez);
// the foreground, background and text colours of the draw state, and the screen mode.
#include <cstring>
#include <vector>

#include "common/module/KezDraw.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiBitmap.h"
#include "standin/os/ui/UiDraw.h"

namespace vantor::os::ui {
namespace {

namespace slot = sysslot;

constexpr int16_t kDisplaySize = 160;

// The draw state's colours by index: 0 white, anything else black, as on a one-bit screen.
struct DrawState {
    uint8_t fore = 255, back = 0, text = 255;
    uint8_t mode = 0;
};
struct Windows {
    NativeWindow display{};
    NativeWindow* draw = nullptr;
    NativeWindow* active = nullptr;
    DrawState state;
    std::vector<DrawState> saved;
    Windows() {
        display.displayWidth = kDisplaySize;
        display.displayHeight = kDisplaySize;
        display.flags = kWindowVisible | kWindowEnabled | kWindowFocusable;
        display.bounds = {0, 0, kDisplaySize, kDisplaySize};
        display.clip = display.bounds;
        draw = active = &display;
    }
};
Windows& W() {
    static Windows windows;
    return windows;
}

Rgb Colour(uint8_t index) { return index == 0 ? kWhite : kBlack; }
Rgb Fore() { return Colour(W().state.fore); }
Rgb Back() { return Colour(W().state.back); }

// Window coordinates to the display's: the draw window's top left.
int16_t X(int16_t x) { return static_cast<int16_t>(x + W().draw->bounds.x); }
int16_t Y(int16_t y) { return static_cast<int16_t>(y + W().draw->bounds.y); }
Rect R(const NativeUiRect* r) { return r ? Rect{X(r->x), Y(r->y), r->width, r->height} : Rect{}; }

size_t Length(const char* chars, int16_t length) {
    if (!chars || length <= 0) return 0;
    const void* end = std::memchr(chars, 0, static_cast<size_t>(length));
    return end ? static_cast<size_t>(static_cast<const char*>(end) - chars) : static_cast<size_t>(length);
}

// ---- windows ----

NativeWindow* StandinWinGetDisplayWindow() { return &W().display; }
NativeWindow* StandinWinGetDrawWindow() { return W().draw; }
NativeWindow* StandinWinGetActiveWindow() { return W().active; }
NativeWindow* StandinWinGetFirstWindow() { return &W().display; }
NativeWindow* StandinWinSetDrawWindow(NativeWindow* w) {
    NativeWindow* previous = W().draw;
    W().draw = w ? w : &W().display;
    return previous;
}
void StandinWinSetActiveWindow(NativeWindow* w) { W().active = w ? w : &W().display; }
uint8_t StandinWinValidateHandle(NativeWindow* w) { return w == &W().display ? 1 : 0; }
void StandinWinGetBounds(NativeWindow* w, NativeUiRect* r) {
    if (r) *r = (w ? w : &W().display)->bounds;
}
void StandinWinGetDrawWindowBounds(NativeUiRect* r) {
    if (r) *r = W().draw->bounds;
}
void StandinWinGetExtent(int16_t* width, int16_t* height) {
    if (width) *width = W().draw->bounds.width;
    if (height) *height = W().draw->bounds.height;
}
void StandinWinGetDisplayExtent(int16_t* width, int16_t* height) {
    if (width) *width = kDisplaySize;
    if (height) *height = kDisplaySize;
}
// Operation 0 and 1 (get and get the default): 160 x 160, one bit, no colour; the rest succeed
// without a change.
uint16_t StandinWinScreenMode(uint8_t op, uint32_t* width, uint32_t* height, uint32_t* depth, uint8_t* colour) {
    if (op <= 1) {
        if (width) *width = kDisplaySize;
        if (height) *height = kDisplaySize;
        if (depth) *depth = 1;
        if (colour) *colour = 0;
    } else if (op == 4 || op == 5) {
        if (depth && op == 4) *depth = 1;
        if (colour) *colour = 0;
    }
    return 0;
}

// ---- drawing ----

void StandinWinEraseWindow() { FillRect(R(&W().draw->bounds), kWhite); }
void StandinWinDrawChars(const char* chars, int16_t length, int16_t x, int16_t y) {
    DrawText(X(x), Y(y), chars, Length(chars, length), Colour(W().state.text), Back());
}
void StandinWinInvertChars(const char* chars, int16_t length, int16_t x, int16_t y) {
    DrawText(X(x), Y(y), chars, Length(chars, length), Back(), Colour(W().state.text));
}
void StandinWinEraseChars(const char* chars, int16_t length, int16_t x, int16_t y) {
    const size_t n = Length(chars, length);
    FillRect(Rect{X(x), Y(y), TextWidth(chars, n), kLineHeight}, Back());
}
void StandinWinDrawChar(uint16_t c, int16_t x, int16_t y) {
    const char one = static_cast<char>(c);
    DrawText(X(x), Y(y), &one, 1, Colour(W().state.text), Back());
}
void StandinWinDrawTruncChars(const char* chars, int16_t length, int16_t x, int16_t y, int16_t maxWidth) {
    size_t n = Length(chars, length);
    while (n && TextWidth(chars, n) > maxWidth) --n;
    DrawText(X(x), Y(y), chars, n, Colour(W().state.text), Back());
}
void StandinWinDrawLine(int16_t x1, int16_t y1, int16_t x2, int16_t y2) { DrawLine(X(x1), Y(y1), X(x2), Y(y2), Fore()); }
void StandinWinEraseLine(int16_t x1, int16_t y1, int16_t x2, int16_t y2) { DrawLine(X(x1), Y(y1), X(x2), Y(y2), kWhite); }
void StandinWinDrawPixel(int16_t x, int16_t y) { FillRect(Rect{X(x), Y(y), 1, 1}, Fore()); }
void StandinWinErasePixel(int16_t x, int16_t y) { FillRect(Rect{X(x), Y(y), 1, 1}, kWhite); }
void StandinWinDrawRectangle(const NativeUiRect* r, uint16_t corner) { FillRect(R(r), Fore(), corner); }
void StandinWinEraseRectangle(const NativeUiRect* r, uint16_t corner) { FillRect(R(r), Back(), corner); }
void StandinWinDrawRectangleFrame(uint16_t frame, const NativeUiRect* r) {
    // Frames lie outside the rectangle; the corner field is the frame type's low byte.
    Rect outer = R(r);
    outer = Rect{static_cast<int16_t>(outer.x - 1), static_cast<int16_t>(outer.y - 1),
                 static_cast<int16_t>(outer.w + 2), static_cast<int16_t>(outer.h + 2)};
    FrameRect(outer, Fore(), static_cast<uint16_t>(frame & 0xFF));
}
void StandinWinEraseRectangleFrame(uint16_t frame, const NativeUiRect* r) {
    Rect outer = R(r);
    outer = Rect{static_cast<int16_t>(outer.x - 1), static_cast<int16_t>(outer.y - 1),
                 static_cast<int16_t>(outer.w + 2), static_cast<int16_t>(outer.h + 2)};
    FrameRect(outer, kWhite, static_cast<uint16_t>(frame & 0xFF));
}
void StandinWinDrawBitmap(const NativeBitmap* bitmap, int16_t x, int16_t y) {
    if (bitmap) DrawNativeBitmap(bitmap, X(x), Y(y));
}

// ---- draw state ----

uint8_t StandinWinSetForeColor(uint8_t index) {
    const uint8_t previous = W().state.fore;
    W().state.fore = index;
    return previous;
}
uint8_t StandinWinSetBackColor(uint8_t index) {
    const uint8_t previous = W().state.back;
    W().state.back = index;
    return previous;
}
uint8_t StandinWinSetTextColor(uint8_t index) {
    const uint8_t previous = W().state.text;
    W().state.text = index;
    return previous;
}
uint8_t StandinWinSetDrawMode(uint8_t mode) {
    const uint8_t previous = W().state.mode;
    W().state.mode = mode;
    return previous;
}
void StandinWinPushDrawState() {
    if (W().saved.size() < 16) W().saved.push_back(W().state);
}
void StandinWinPopDrawState() {
    if (W().saved.empty()) return;
    W().state = W().saved.back();
    W().saved.pop_back();
}

// Several slots share one behaviour: registered from one table.
template <typename F>
ModuleProc Proc(F* f) {
    return reinterpret_cast<ModuleProc>(f);
}
[[maybe_unused]] const bool kRegistered = [] {
    const struct {
        uint16_t slot;
        ModuleProc entry;
    } table[] = {
        {slot::WinGetDisplayWindow, Proc(&StandinWinGetDisplayWindow)},
        {slot::WinGetDrawWindow, Proc(&StandinWinGetDrawWindow)},
        {slot::WinGetActiveWindow, Proc(&StandinWinGetActiveWindow)},
        {slot::WinGetFirstWindow, Proc(&StandinWinGetFirstWindow)},
        {slot::WinSetDrawWindow, Proc(&StandinWinSetDrawWindow)},
        {slot::WinSetActiveWindow, Proc(&StandinWinSetActiveWindow)},
        {slot::WinValidateHandle, Proc(&StandinWinValidateHandle)},
        {slot::WinGetBounds, Proc(&StandinWinGetBounds)},
        {slot::WinGetDrawWindowBounds, Proc(&StandinWinGetDrawWindowBounds)},
        {slot::WinGetWindowExtent, Proc(&StandinWinGetExtent)},
        {slot::WinGetDisplayExtent, Proc(&StandinWinGetDisplayExtent)},
        {slot::WinScreenMode, Proc(&StandinWinScreenMode)},
        {slot::WinEraseWindow, Proc(&StandinWinEraseWindow)},
        {slot::WinDrawChars, Proc(&StandinWinDrawChars)},
        {slot::WinPaintChars, Proc(&StandinWinDrawChars)},
        {slot::WinDrawInvertedChars, Proc(&StandinWinInvertChars)},
        {slot::WinInvertChars, Proc(&StandinWinInvertChars)},
        {slot::WinEraseChars, Proc(&StandinWinEraseChars)},
        {slot::WinDrawChar, Proc(&StandinWinDrawChar)},
        {slot::WinPaintChar, Proc(&StandinWinDrawChar)},
        {slot::WinDrawTruncChars, Proc(&StandinWinDrawTruncChars)},
        {slot::WinDrawLine, Proc(&StandinWinDrawLine)},
        {slot::WinPaintLine, Proc(&StandinWinDrawLine)},
        {slot::WinEraseLine, Proc(&StandinWinEraseLine)},
        {slot::WinDrawPixel, Proc(&StandinWinDrawPixel)},
        {slot::WinPaintPixel, Proc(&StandinWinDrawPixel)},
        {slot::WinErasePixel, Proc(&StandinWinErasePixel)},
        {slot::WinDrawRectangle, Proc(&StandinWinDrawRectangle)},
        {slot::WinPaintRectangle, Proc(&StandinWinDrawRectangle)},
        {slot::WinFillRectangle, Proc(&StandinWinDrawRectangle)},
        {slot::WinEraseRectangle, Proc(&StandinWinEraseRectangle)},
        {slot::WinDrawRectangleFrame, Proc(&StandinWinDrawRectangleFrame)},
        {slot::WinPaintRectangleFrame, Proc(&StandinWinDrawRectangleFrame)},
        {slot::WinEraseRectangleFrame, Proc(&StandinWinEraseRectangleFrame)},
        {slot::WinDrawBitmap, Proc(&StandinWinDrawBitmap)},
        {slot::WinPaintBitmap, Proc(&StandinWinDrawBitmap)},
        {slot::WinSetForeColor, Proc(&StandinWinSetForeColor)},
        {slot::WinSetBackColor, Proc(&StandinWinSetBackColor)},
        {slot::WinSetTextColor, Proc(&StandinWinSetTextColor)},
        {slot::WinSetDrawMode, Proc(&StandinWinSetDrawMode)},
        {slot::WinPushDrawState, Proc(&StandinWinPushDrawState)},
        {slot::WinPopDrawState, Proc(&StandinWinPopDrawState)},
    };
    for (const auto& e : table) RegisterBuiltin(Library::System, e.slot, e.entry);
    return true;
}();

}  // namespace
}  // namespace vantor::os::ui
