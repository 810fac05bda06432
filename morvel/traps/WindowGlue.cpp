#include "morvel/traps/WindowGlue.h"

#include <cstring>

#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/BitmapGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::NativeWindow;
using Win = void*;

constexpr const char* kFile = "Window68K";
constexpr uint16_t kErrNoShadowMemory = 0x0503;
constexpr uint16_t kShadowTag = 0xFFFF;

WindowShadow*& Head(EmulState* s) { return *reinterpret_cast<WindowShadow**>(&s->windowShadows[0]); }
WindowShadow*& Cache(EmulState* s) { return *reinterpret_cast<WindowShadow**>(&s->windowShadows[1]); }

template <typename Match>
WindowShadow* FindBy(EmulState* s, Match match) {
    if (WindowShadow* c = Cache(s); c && match(c)) return c;
    for (WindowShadow* w = Head(s); w; w = w->next)
        if (match(w)) return Cache(s) = w;
    return nullptr;
}

WindowShadow* FindByImage(EmulState* s, uint32_t image) {
    return FindBy(s, [image](const WindowShadow* w) { return Addr(w->image) == image; });
}

WindowShadow* ShadowCreate(EmulState* s, void* native) {
    auto* w = static_cast<WindowShadow*>(ShadowNew(sizeof(WindowShadow)));
    if (!w) return nullptr;
    w->kind = kShadowTag;
    w->marker = kShadowTag;
    w->native = native;
    WindowImageFill(native, Addr(w->image));
    w->prev = nullptr;
    w->next = Head(s);
    if (Head(s)) Head(s)->prev = w;
    Head(s) = w;
    Cache(s) = w;
    return w;
}

void ShadowUnlink(EmulState* s, WindowShadow* w) {
    if (w->prev)
        w->prev->next = w->next;
    else
        Head(s) = w->next;
    if (w->next) w->next->prev = w->prev;
    if (Cache(s) == w) Cache(s) = nullptr;
    ShadowFree(w);
}

// ---- 68K records passed by pointer ----

// A rectangle behind a 68K pointer, read when the pointer is not null; null stays null.
struct Rect68K {
    uint32_t p;
    NativeRect r{};
    explicit Rect68K(uint32_t pointer, bool read = true) : p(pointer) {
        if (p && read) Read68KRect(&r, p);
    }
    NativeRect* Native() { return p ? &r : nullptr; }
    void WriteBack() const {
        if (p) Write68KRect(&r, p);
    }
};

template <typename Sig, typename... A>
auto Sys(uint16_t slotNumber, A... args) {
    return SysCall<Sig>(slotNumber, args...);
}

// ---- creation and deletion ----

// Handles the result of a slot that made a window: its shadow now, or the window deleted again.
void CreatedWindow(EmulState* s, Win native, uint16_t err, uint32_t errPointer) {
    uint32_t handle = 0;
    if (err == 0 && native) {
        if (WindowShadow* w = ShadowCreate(s, native)) {
            handle = Addr(w->image);
        } else {
            Sys<void(Win, uint8_t)>(slot::WinDeleteWindow, native, 0);
            err = kErrNoShadowMemory;
        }
    }
    if (errPointer) Write68KUInt16(errPointer, 0, err);
    SetResultA0(s, handle);
}

void TrapWinCreateWindow(EmulState* s, uint16_t) {
    Rect68K bounds(GetArgPtr(s, 0));
    uint16_t err = 0;
    Win w = Sys<Win(const NativeRect*, uint16_t, uint8_t, uint8_t, uint16_t*)>(
        slot::WinCreateWindow, bounds.Native(), FrameTypeToNative(U16(s, 4)), U8(s, 6), U8(s, 8), &err);
    CreatedWindow(s, w, err, GetArgPtr(s, 10));
}
void TrapWinCreateOffscreenWindow(EmulState* s, uint16_t) {
    uint16_t err = 0;
    Win w = Sys<Win(int16_t, int16_t, uint8_t, uint16_t*)>(slot::WinCreateOffscreenWindow, I16(s, 0), I16(s, 2),
                                                           U8(s, 4), &err);
    CreatedWindow(s, w, err, GetArgPtr(s, 6));
}
void TrapWinSaveBits(EmulState* s, uint16_t) {
    Rect68K source(GetArgPtr(s, 0));
    uint16_t err = 0;
    Win w = Sys<Win(const NativeRect*, uint16_t*)>(slot::WinSaveBits, source.Native(), &err);
    CreatedWindow(s, w, err, GetArgPtr(s, 4));
}

// The shadow of a deleted window goes; a form's window has none here.
void DropShadow(EmulState* s, uint32_t handle) {
    if (!handle) return;
    if (WindowShadow* w = FindByImage(s, handle)) ShadowUnlink(s, w);
}
void TrapWinDeleteWindow(EmulState* s, uint16_t) {
    const uint32_t handle = GetArgPtr(s, 0);
    Win native = WindowFromHandle(s, handle);
    if (native) BitmapWindowRelease(s, native);
    Sys<void(Win, uint8_t)>(slot::WinDeleteWindow, native, U8(s, 4));
    DropShadow(s, handle);
}
void TrapWinRestoreBits(EmulState* s, uint16_t) {
    const uint32_t handle = GetArgPtr(s, 0);
    Sys<void(Win, int16_t, int16_t)>(slot::WinRestoreBits, WindowFromHandle(s, handle), I16(s, 4), I16(s, 6));
    DropShadow(s, handle);
}

void Nothing(EmulState*, uint16_t) {}

// ---- window handles in and out ----

template <uint16_t Slot>
void HandleOnly(EmulState* s, uint16_t) {
    Sys<void(Win)>(Slot, WindowFromArg(s, 0));
}
template <uint16_t Slot>
void HandleTo8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Sys<uint8_t(Win)>(Slot, WindowFromArg(s, 0)));
}
template <uint16_t Slot>
void ReturnsHandle(EmulState* s, uint16_t) {
    SetResultA0(s, WindowTo68K(s, Sys<Win()>(Slot)));
}
void TrapWinSetDrawWindow(EmulState* s, uint16_t) {
    SetResultA0(s, WindowTo68K(s, Sys<Win(Win)>(slot::WinSetDrawWindow, WindowFromArg(s, 0))));
}
template <uint16_t Slot>
void HandleRectOut(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 4), false);
    Sys<void(Win, NativeRect*)>(Slot, WindowFromArg(s, 0), r.Native());
    r.WriteBack();
}

void TrapWinSetBounds(EmulState* s, uint16_t) {
    const uint32_t handle = GetArgPtr(s, 0);
    Win native = WindowFromHandle(s, handle);
    Rect68K r(GetArgPtr(s, 4));
    Sys<void(Win, const NativeRect*)>(slot::WinSetBounds, native, r.Native());
    if (!native) return;
    // The handle's image (a window shadow's, or the window part of a form image) follows the
    // bounds of the window that changed.
    NativeRect now{};
    Sys<void(Win, NativeRect*)>(slot::WinGetBounds, native, &now);
    Write68KRect(&now, handle + 10);
}

void TrapWinCopyRectangle(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 8));
    Sys<void(Win, Win, const NativeRect*, int16_t, int16_t, uint8_t)>(
        slot::WinCopyRectangle, WindowFromArg(s, 0), WindowFromArg(s, 4), r.Native(), I16(s, 12), I16(s, 14),
        U8(s, 16));
}
void TrapWinScrollRectangle(EmulState* s, uint16_t) {
    Rect68K in(GetArgPtr(s, 0)), out(GetArgPtr(s, 8), false);
    Sys<void(const NativeRect*, uint8_t, int16_t, NativeRect*)>(slot::WinScrollRectangle, in.Native(), U8(s, 4),
                                                                I16(s, 6), out.Native());
    out.WriteBack();
}

// (Coord*, Coord*): extents and point conversions, in and out.
template <uint16_t Slot>
void TwoCoords(EmulState* s, uint16_t) {
    InOut16 a(GetArgPtr(s, 0)), b(GetArgPtr(s, 4));
    Sys<void(int16_t*, int16_t*)>(Slot, a.Native<int16_t>(), b.Native<int16_t>());
    a.WriteBack();
    b.WriteBack();
}

// ---- rectangles, clips, frames ----

template <uint16_t Slot>
void RectOut(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 0), false);
    Sys<void(NativeRect*)>(Slot, r.Native());
    r.WriteBack();
}
template <uint16_t Slot>
void RectIn(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 0));
    Sys<void(const NativeRect*)>(Slot, r.Native());
}
template <uint16_t Slot>
void RectInOut(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 0));
    Sys<void(NativeRect*)>(Slot, r.Native());
    r.WriteBack();
}
template <uint16_t Slot>
void RectCorner(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 0));
    Sys<void(const NativeRect*, uint16_t)>(Slot, r.Native(), U16(s, 4));
}
template <uint16_t Slot>
void FrameRect(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 2));
    Sys<void(uint16_t, const NativeRect*)>(Slot, FrameTypeToNative(U16(s, 0)), r.Native());
}
void TrapWinGetFramesRectangle(EmulState* s, uint16_t) {
    Rect68K in(GetArgPtr(s, 2)), out(GetArgPtr(s, 6), false);
    Sys<void(uint16_t, const NativeRect*, NativeRect*)>(slot::WinGetFramesRectangle, FrameTypeToNative(U16(s, 0)),
                                                        in.Native(), out.Native());
    out.WriteBack();
}
template <uint16_t Slot>
void NoArgs(EmulState*, uint16_t) {
    Sys<void()>(Slot);
}

// ---- pixels and lines ----

template <uint16_t Slot>
void Point(EmulState* s, uint16_t) {
    Sys<void(int16_t, int16_t)>(Slot, I16(s, 0), I16(s, 2));
}
void TrapWinGetPixel(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Sys<uint8_t(int16_t, int16_t)>(slot::WinGetPixel, I16(s, 0), I16(s, 2)));
}
void TrapWinGetPixelRGB(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, Sys<uint16_t(int16_t, int16_t, void*)>(slot::WinGetPixelRGB, I16(s, 0), I16(s, 2), P(s, 4)));
}
void TrapWinPaintPixels(EmulState* s, uint16_t) {
    const uint16_t count = U16(s, 0);
    const uint32_t points = GetArgPtr(s, 2);
    for (uint32_t i = 0; points && i < count; ++i)
        Sys<void(int16_t, int16_t)>(slot::WinPaintPixel, static_cast<int16_t>(Read68KUInt16(points, 4 * i)),
                                    static_cast<int16_t>(Read68KUInt16(points, 4 * i + 2)));
}
template <uint16_t Slot>
void Line(EmulState* s, uint16_t) {
    Sys<void(int16_t, int16_t, int16_t, int16_t)>(Slot, I16(s, 0), I16(s, 2), I16(s, 4), I16(s, 6));
}
void TrapWinPaintLines(EmulState* s, uint16_t) {
    const uint16_t count = U16(s, 0);
    const uint32_t lines = GetArgPtr(s, 2);
    for (uint32_t i = 0; lines && i < count; ++i) {
        auto at = [&](uint32_t k) { return static_cast<int16_t>(Read68KUInt16(lines, 8 * i + 2 * k)); };
        Sys<void(int16_t, int16_t, int16_t, int16_t)>(slot::WinPaintLine, at(0), at(1), at(2), at(3));
    }
}

// ---- characters ----

template <uint16_t Slot>
void Char(EmulState* s, uint16_t) {
    Sys<void(uint16_t, int16_t, int16_t)>(Slot, U16(s, 0), I16(s, 2), I16(s, 4));
}
template <uint16_t Slot>
void Chars(EmulState* s, uint16_t) {
    Sys<void(const char*, int16_t, int16_t, int16_t)>(Slot, Str(GetArgPtr(s, 0)), I16(s, 4), I16(s, 6),
                                                      I16(s, 8));
}
void TrapWinDrawTruncChars(EmulState* s, uint16_t) {
    Sys<void(const char*, int16_t, int16_t, int16_t, int16_t)>(
        slot::WinDrawTruncChars, Str(GetArgPtr(s, 0)), I16(s, 4), I16(s, 6), I16(s, 8), I16(s, 10));
}

// ---- draw state and colours ----

template <uint16_t Slot>
void ByteToByte(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Sys<uint8_t(uint8_t)>(Slot, U8(s, 0)));
}
template <uint16_t Slot>
void ByteOnly(EmulState* s, uint16_t) {
    Sys<void(uint8_t)>(Slot, U8(s, 0));
}
template <uint16_t Slot>
void PointerOnly(EmulState* s, uint16_t) {
    Sys<void(void*)>(Slot, P(s, 0));
}
template <uint16_t Slot>
void TwoPointers(EmulState* s, uint16_t) {
    Sys<void(void*, void*)>(Slot, P(s, 0), P(s, 4));
}
template <uint16_t Slot>
void NoneTo8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Sys<uint8_t()>(Slot));
}
void TrapWinSetColors(EmulState* s, uint16_t) {
    Sys<void(void*, void*, void*, void*)>(slot::WinSetColors, P(s, 0), P(s, 4), P(s, 8), P(s, 12));
}
void TrapWinPalette(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Sys<uint16_t(uint8_t, int16_t, uint16_t, void*)>(slot::WinPalette, U8(s, 0), I16(s, 2),
                                                                          U16(s, 4), P(s, 6)));
}
void TrapWinRGBToIndex(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Sys<uint8_t(const void*)>(slot::WinRGBToIndex, P(s, 0)));
}
void TrapWinIndexToRGB(EmulState* s, uint16_t) {
    Sys<void(uint8_t, void*)>(slot::WinIndexToRGB, U8(s, 0), P(s, 2));
}

// ---- the screen ----

// WinScreenMode(operation, width, height, depth, colour): each value is read before the call and
// written back after a successful one as the operation says.
void TrapWinScreenMode(EmulState* s, uint16_t) {
    const uint8_t op = U8(s, 0);
    InOut32 width(GetArgPtr(s, 2)), height(GetArgPtr(s, 6)), depth(GetArgPtr(s, 10));
    const uint32_t colourPointer = GetArgPtr(s, 14);
    uint8_t colour = colourPointer ? Read68KInt8(colourPointer, 0) : 0;
    const uint16_t err = Sys<uint16_t(uint8_t, uint32_t*, uint32_t*, uint32_t*, uint8_t*)>(
        slot::WinScreenMode, op, width.Native(), height.Native(), depth.Native(),
        colourPointer ? &colour : nullptr);
    if (err == 0) {
        if (op <= 1) {
            width.WriteBack();
            height.WriteBack();
        }
        if (op <= 1 || op == 4) depth.WriteBack();
        if ((op <= 1 || op == 4 || op == 5) && colourPointer) Write68KInt8(colourPointer, 0, colour);
    }
    SetResultD0UInt16(s, err);
}
void TrapWinScreenLock(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(Sys<void*(uint8_t)>(slot::WinScreenLock, U8(s, 0))));
}

void TrapAttnGetAttentionWithIcon(EmulState* s, uint16_t) {
    Rect68K r(GetArgPtr(s, 0));
    Sys<void(const NativeRect*, uint8_t)>(slot::AttnGetAttentionWithIcon, r.Native(), U8(s, 4));
}

// ---- HighDensityDispatch selectors of coordinates and the screen ----

void HdPointSelector(EmulState* s, uint16_t slotNumber) {
    const uint32_t p = GetArgPtr(s, 0);
    NativePoint pt{};
    if (p) Read68KPoint(&pt, p);
    Sys<void(NativePoint*, uint8_t)>(slotNumber, p ? &pt : nullptr, U8(s, 4));
    if (p) Write68KPoint(&pt, p);
}

}  // namespace

// ---- shadows and handles ----

uint16_t FrameTypeToNative(uint16_t frame) {
    static const uint8_t kLayout[] = {8, 3, 1, 2, 2, 0};
    ConvertBitfield16(&frame, kLayout);
    return frame;
}
uint16_t FrameTypeTo68K(uint16_t frame) {
    static const uint8_t kLayout[] = {2, 2, 1, 3, 8, 0};
    ConvertBitfield16(&frame, kLayout);
    return frame;
}

void WindowImageFill(const void* nativePointer, uint32_t image) {
    const auto* native = static_cast<const NativeWindow*>(nativePointer);
    uint32_t width = 0, height = 0;
    SysCall<uint16_t(uint8_t, uint32_t*, uint32_t*, uint32_t*, uint8_t*)>(slot::WinScreenMode, uint8_t{1}, &width,
                                                                         &height, nullptr, nullptr);
    Write68KUInt16(image, 0, static_cast<uint16_t>(width));
    Write68KUInt16(image, 2, static_cast<uint16_t>(height));
    Write68KUInt32(image, 4, native->displayAddress);
    NativeRect bounds;
    std::memcpy(&bounds, &native->bounds, sizeof bounds);
    Write68KRect(&bounds, image + 10);
    Write68KUInt32(image, 26, Addr(native->bitmap));
    Write68KUInt16(image, 30, FrameTypeTo68K(native->frameType));
    Write68KUInt32(image, 36, 0);
}

WindowShadow* WindowShadowFind(EmulState* s, const void* native) {
    if (!native) return nullptr;
    return FindBy(s, [native](const WindowShadow* w) { return w->native == native; });
}

void* WindowFromHandle(EmulState* s, uint32_t handle) {
    if (!handle) return nullptr;
    // Only known handles are read: window shadows first, then the form shadows.
    if (WindowShadow* w = FindByImage(s, handle)) return w->native;
    if (void* form = FormNativeOf(s, handle)) return form;
    ErrDisplayFileLineMsg(kFile, 420, "No shadow window found");
    return nullptr;
}

void* WindowFromArg(EmulState* s, uint32_t offset) { return WindowFromHandle(s, GetArgPtr(s, offset)); }

uint32_t WindowTo68K(EmulState* s, void* native) {
    if (!native) return 0;
    if (static_cast<const NativeWindow*>(native)->flags & vantor::kWindowDialog) {
        if (FormShadow* f = FormShadowFindNativeInChain(s, native, nullptr)) return Addr(f->image);
        const uint16_t id = UiImport().Call<uint16_t(void*)>(vantor::uislot::FrmGetFormId, native);
        if (FormShadow* f = FormShadowBuild(s, native, id)) return Addr(f->image);
        ErrDisplayFileLineMsg(kFile, 470, "Did not find form shadow for window");
    }
    WindowShadow* w = WindowShadowFind(s, native);
    if (!w) w = ShadowCreate(s, native);
    return w ? Addr(w->image) : 0;
}

void WindowShadowsFreeAll(EmulState* s) {
    while (Head(s)) ShadowUnlink(s, Head(s));
    Cache(s) = nullptr;
}

bool WindowAccessorSelector(EmulState* s, uint16_t selector) {
    if (selector != 24 && selector != 25) return false;
    auto* window = static_cast<NativeWindow*>(WindowFromArg(s, 0));
    if (selector == 24)
        SetResultD0UInt16(s, window ? FrameTypeTo68K(window->frameType) : 0);
    else if (window)
        window->frameType = FrameTypeToNative(U16(s, 4));
    return true;
}

bool WindowHighDensitySelector(EmulState* s, uint16_t selector) {
    switch (selector) {
        case 8:
            SetResultD0UInt16(s, Sys<uint16_t(uint16_t, uint16_t)>(slot::HighDensitySel8, U16(s, 0), 0));
            return true;
        case 9:
            SetResultD0UInt16(s, Sys<uint16_t()>(slot::HighDensitySel9));
            return true;
        case 10:
            HdPointSelector(s, slot::HighDensitySel10);
            return true;
        case 11:
            HdPointSelector(s, slot::HighDensitySel11);
            return true;
        case 12:
        case 13: {
            Rect68K r(GetArgPtr(s, 0));
            Sys<void(NativeRect*)>(selector == 12 ? slot::HighDensitySel12 : slot::HighDensitySel13, r.Native());
            r.WriteBack();
            return true;
        }
        case 14: {
            InOut32 value(GetArgPtr(s, 2));
            SetResultD0UInt16(
                s, Sys<uint16_t(uint8_t, uint32_t*)>(slot::HighDensitySel14, U8(s, 0), value.Native()));
            value.WriteBack();
            return true;
        }
        case 16: {
            InOut16 value(GetArgPtr(s, 0));
            SetResultD0UInt16(s, Sys<uint16_t(uint16_t*)>(slot::HighDensitySel16, value.Native()));
            value.WriteBack();
            return true;
        }
        case 18:
        case 19:
            SetResultD0UInt16(s, static_cast<uint16_t>(Sys<int16_t(int16_t, uint8_t)>(
                                     selector == 18 ? slot::HighDensitySel18 : slot::HighDensitySel19, I16(s, 0),
                                     U8(s, 2))));
            return true;
        case 20: {
            Rect68K r(GetArgPtr(s, 0));
            Sys<void(const NativeRect*, uint16_t, uint16_t, uint16_t)>(slot::HighDensitySel20, r.Native(),
                                                                       U16(s, 4), U16(s, 6), U16(s, 8));
            return true;
        }
        case 21:
            SetResultD0UInt32(s, Sys<uint32_t(uint32_t)>(slot::HighDensitySel21, U32(s, 0)));
            return true;
        case 22:
            SetResultD0UInt32(s, Sys<uint32_t()>(slot::HighDensitySel22));
            return true;
        default:
            return false;
    }
}

void WindowGlueInstall(TrapHandler* t) {
    t[0x326] = HandleTo8<slot::WinValidateHandle>;
    t[0x1F6] = TrapWinCreateWindow;
    t[0x1F7] = TrapWinCreateOffscreenWindow;
    t[0x1F8] = TrapWinDeleteWindow;
    t[0x207] = TrapWinSaveBits;
    t[0x208] = TrapWinRestoreBits;
    t[0x1F9] = Nothing;
    t[0x202] = Nothing;
    t[0x203] = Nothing;
    t[0x1FC] = HandleOnly<slot::WinSetActiveWindow>;
    t[0x1FD] = TrapWinSetDrawWindow;
    t[0x1FE] = ReturnsHandle<slot::WinGetDrawWindow>;
    t[0x1FF] = ReturnsHandle<slot::WinGetActiveWindow>;
    t[0x200] = ReturnsHandle<slot::WinGetDisplayWindow>;
    t[0x201] = ReturnsHandle<slot::WinGetFirstWindow>;
    t[0x204] = HandleRectOut<slot::WinGetWindowFrameRect>;
    t[0x205] = NoArgs<slot::WinDrawWindowFrame>;
    t[0x206] = NoArgs<slot::WinEraseWindow>;
    t[0x209] = TrapWinCopyRectangle;
    t[0x20A] = TrapWinScrollRectangle;
    t[0x20B] = TwoCoords<slot::WinGetDisplayExtent>;
    t[0x20C] = TwoCoords<slot::WinGetWindowExtent>;
    t[0x228] = RectOut<slot::WinGetDrawWindowBounds>;
    t[0x456] = HandleRectOut<slot::WinGetBounds>;
    t[0x300] = TrapWinSetBounds;
    t[0x20D] = TwoCoords<slot::WinDisplayToWindowPt>;
    t[0x20E] = TwoCoords<slot::WinWindowToDisplayPt>;
    t[0x20F] = RectOut<slot::WinGetClip>;
    t[0x210] = RectIn<slot::WinSetClip>;
    t[0x211] = NoArgs<slot::WinResetClip>;
    t[0x212] = RectInOut<slot::WinClipRectangle>;
    t[0x227] = HandleTo8<slot::WinModal>;
    t[0x381] = TrapWinGetPixel;
    t[0x382] = Point<slot::WinPaintPixel>;
    t[0x383] = Point<slot::WinDrawPixel>;
    t[0x384] = Point<slot::WinErasePixel>;
    t[0x385] = Point<slot::WinInvertPixel>;
    t[0x386] = TrapWinPaintPixels;
    t[0x3EB] = TrapWinGetPixelRGB;
    t[0x387] = TrapWinPaintLines;
    t[0x388] = Line<slot::WinPaintLine>;
    t[0x213] = Line<slot::WinDrawLine>;
    t[0x214] = Line<slot::WinDrawGrayLine>;
    t[0x215] = Line<slot::WinEraseLine>;
    t[0x216] = Line<slot::WinInvertLine>;
    t[0x217] = Line<slot::WinFillLine>;
    t[0x389] = RectCorner<slot::WinPaintRectangle>;
    t[0x218] = RectCorner<slot::WinDrawRectangle>;
    t[0x219] = RectCorner<slot::WinEraseRectangle>;
    t[0x21A] = RectCorner<slot::WinInvertRectangle>;
    t[0x229] = RectCorner<slot::WinFillRectangle>;
    t[0x38A] = FrameRect<slot::WinPaintRectangleFrame>;
    t[0x21B] = FrameRect<slot::WinDrawRectangleFrame>;
    t[0x21C] = FrameRect<slot::WinDrawGrayRectangleFrame>;
    t[0x21D] = FrameRect<slot::WinEraseRectangleFrame>;
    t[0x21E] = FrameRect<slot::WinInvertRectangleFrame>;
    t[0x21F] = TrapWinGetFramesRectangle;
    t[0x350] = Char<slot::WinDrawChar>;
    t[0x220] = Chars<slot::WinDrawChars>;
    t[0x37E] = Char<slot::WinPaintChar>;
    t[0x37F] = Chars<slot::WinPaintChars>;
    t[0x22A] = Chars<slot::WinDrawInvertedChars>;
    t[0x351] = TrapWinDrawTruncChars;
    t[0x221] = Chars<slot::WinEraseChars>;
    t[0x222] = Chars<slot::WinInvertChars>;
    t[0x225] = ByteToByte<slot::WinSetUnderlineMode>;
    t[0x395] = NoArgs<slot::WinPushDrawState>;
    t[0x396] = NoArgs<slot::WinPopDrawState>;
    t[0x397] = ByteToByte<slot::WinSetDrawMode>;
    t[0x398] = ByteToByte<slot::WinSetForeColor>;
    t[0x399] = ByteToByte<slot::WinSetBackColor>;
    t[0x39A] = ByteToByte<slot::WinSetTextColor>;
    t[0x304] = TrapWinSetColors;
    t[0x223] = PointerOnly<slot::WinGetPattern>;
    t[0x39B] = NoneTo8<slot::WinGetPatternType>;
    t[0x224] = PointerOnly<slot::WinSetPattern>;
    t[0x39C] = ByteOnly<slot::WinSetPatternType>;
    t[0x39D] = TrapWinPalette;
    t[0x39E] = TrapWinRGBToIndex;
    t[0x39F] = TrapWinIndexToRGB;
    t[0x3E8] = TwoPointers<slot::WinSetForeColorRGB>;
    t[0x3E9] = TwoPointers<slot::WinSetBackColorRGB>;
    t[0x3EA] = TwoPointers<slot::WinSetTextColorRGB>;
    t[0x33E] = TrapWinScreenMode;
    t[0x3A0] = TrapWinScreenLock;
    t[0x3A1] = NoArgs<slot::WinScreenUnlock>;
    t[0x477] = TrapAttnGetAttentionWithIcon;
}

}  // namespace morvel
