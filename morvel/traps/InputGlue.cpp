#include "morvel/traps/InputGlue.h"

#include <algorithm>
#include <cstring>

#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/MenuGlue.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::SysEventType;
namespace ui = vantor::uislot;

constexpr const char* kFile = "Input68K";


template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

// ---- on-screen keyboard ----

void TrapSysKeyboardDialogV10(EmulState*, uint16_t) {
    Ui<void(uint8_t)>(ui::SysKeyboardDialogV10, 0);
}
void TrapSysKeyboardDialog(EmulState* s, uint16_t) {
    Ui<void(uint8_t)>(ui::SysKeyboardDialogV10, U8(s, 0));
}
void TrapKeyboardStatusNew(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(Ui<void*(uint16_t)>(ui::KeyboardStatusNew, U16(s, 0))));
}
void TrapKeyboardStatusFree(EmulState* s, uint16_t) {
    Ui<void(void*)>(ui::KeyboardStatusFree, P(s, 0));
}
void TrapKbdSetLayout(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, uint16_t)>(ui::KbdSetLayout, P(s, 0), U16(s, 4)));
}
void TrapKbdGetLayout(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*)>(ui::KbdGetLayout, P(s, 0)));
}
void TrapKbdSetPosition(EmulState* s, uint16_t) {
    NativePoint point{};
    Read68KPoint(&point, GetArgPtr(s, 4));
    SetResultD0UInt16(s, Ui<uint16_t(void*, NativePoint*)>(ui::KbdSetPosition, P(s, 0), &point));
}
void TrapKbdGetPosition(EmulState* s, uint16_t) {
    NativePoint point{};
    const uint16_t err = Ui<uint16_t(void*, NativePoint*)>(ui::KbdGetPosition, P(s, 0), &point);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KPoint(&point, p);
    SetResultD0UInt16(s, err);
}
void TrapKbdSetShiftState(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, uint16_t)>(ui::KbdSetShiftState, P(s, 0), U16(s, 4)));
}
void TrapKbdGetShiftState(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*)>(ui::KbdGetShiftState, P(s, 0)));
}
void TrapKbdDraw(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*, uint8_t, uint8_t)>(ui::KbdDraw, P(s, 0), U8(s, 4), U8(s, 6)));
}
void TrapKbdErase(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(void*)>(ui::KbdErase, P(s, 0)));
}
void TrapKbdHandleEvent(EmulState* s, uint16_t) {
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, Ui<uint8_t(void*, SysEventType*)>(ui::UiEntry210, P(s, 0), &event));
}

// ---- handwriting recognizer ----

// The glyph record: a 16-bit value, then 8 bytes as they are.
void GlyphToNative(uint8_t* native, uint32_t p) {
    if (!p) return;
    const uint16_t v = Read68KUInt16(p, 0);
    std::memcpy(native, &v, 2);
    std::memcpy(native + 2, Ptr(p + 2), 8);
}
void GlyphTo68K(const uint8_t* native, uint32_t p) {
    if (!p) return;
    uint16_t v;
    std::memcpy(&v, native, 2);
    Write68KUInt16(p, 0, v);
    std::memcpy(Ptr(p + 2), native + 2, 8);
}

template <uint16_t Slot>
void ScvNone(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t()>(Slot));
}
// Calls whose arguments pass as the OS takes them: pointers and 32-bit words (macro names, texts).
template <uint16_t Slot>
void ScvPass3(EmulState* s, uint16_t) {
    SetResultD0UInt16(s,
                      SysCall<uint16_t(uint32_t, uint32_t, uint32_t)>(Slot, U32(s, 0), U32(s, 4), U32(s, 8)));
}
void TrapScvProcessStroke(EmulState* s, uint16_t) {
    NativePoint a{}, b{};
    Read68KPoint(&a, GetArgPtr(s, 0));
    Read68KPoint(&b, GetArgPtr(s, 4));
    SetResultD0UInt16(
        s, SysCall<uint16_t(NativePoint*, NativePoint*, uint8_t)>(slot::ScvProcessStroke, &a, &b, U8(s, 8)));
}
void TrapScvFieldChange(EmulState* s, uint16_t) {
    InOut16 out(GetArgPtr(s, 0));
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t*)>(slot::ScvFieldChange, out.Native()));
    out.WriteBack();
}
void TrapScvGetState(EmulState* s, uint16_t) {
    uint8_t a = 0, b = 0, c = 0;
    uint16_t d = 0;
    const uint16_t err =
        SysCall<uint16_t(uint8_t*, uint8_t*, uint8_t*, uint16_t*)>(slot::ScvGetState, &a, &b, &c, &d);
    if (uint32_t p = GetArgPtr(s, 0)) Write68KInt8(p, 0, a);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KInt8(p, 0, b);
    if (uint32_t p = GetArgPtr(s, 8)) Write68KInt8(p, 0, c);
    if (uint32_t p = GetArgPtr(s, 12)) Write68KUInt16(p, 0, d);
    SetResultD0UInt16(s, err);
}
void TrapScvSetState(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint8_t, uint8_t, uint8_t, uint16_t)>(
                             slot::ScvSetState, U8(s, 0), U8(s, 2), U8(s, 4), U16(s, 6)));
}
void TrapScvAddPoint(EmulState* s, uint16_t) {
    NativePoint a{};
    Read68KPoint(&a, GetArgPtr(s, 0));
    SetResultD0UInt16(s, SysCall<uint16_t(NativePoint*)>(slot::ScvAddPoint, &a));
}
void TrapScvMatch(EmulState* s, uint16_t) {
    InOut16 io(GetArgPtr(s, 0));
    const uint32_t glyphP = GetArgPtr(s, 4);
    alignas(4) uint8_t glyph[12] = {};
    GlyphToNative(glyph, glyphP);
    uint16_t x = 0, y = 0;
    const uint16_t err =
        SysCall<uint16_t(uint16_t*, void*, uint16_t*, uint16_t*)>(slot::ScvMatch, io.Native(), glyph, &x, &y);
    io.WriteBack();
    GlyphTo68K(glyph, glyphP);
    if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, x);
    if (uint32_t p = GetArgPtr(s, 12)) Write68KUInt16(p, 0, y);
    SetResultD0UInt16(s, err);
}
void TrapScvMatchGlyph(EmulState* s, uint16_t) {
    const uint32_t glyphP = GetArgPtr(s, 0);
    alignas(4) uint8_t glyph[12] = {};
    GlyphToNative(glyph, glyphP);
    const uint16_t err = SysCall<uint16_t(void*, uint32_t)>(slot::ScvMatchGlyph, glyph, U32(s, 4));
    GlyphTo68K(glyph, glyphP);
    SetResultD0UInt16(s, err);
}
void TrapScvGetNumPoints(EmulState* s, uint16_t) {
    InOut16 count(GetArgPtr(s, 0));
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t*)>(slot::ScvGetNumPoints, count.Native()));
    count.WriteBack();
}
void TrapScvGetPoint(EmulState* s, uint16_t) {
    NativePoint point{};
    const uint16_t err = SysCall<uint16_t(uint16_t, NativePoint*)>(slot::ScvGetPoint, U16(s, 0), &point);
    if (uint32_t p = GetArgPtr(s, 2)) Write68KPoint(&point, p);
    SetResultD0UInt16(s, err);
}
void TrapSysScrivelReferenceDialog(EmulState*, uint16_t) {
    SysCall<void()>(slot::SysScrivelReferenceDialog);
}

// ---- shift indicator ----

void TrapGsiInitialize(EmulState*, uint16_t) {
    Ui<void()>(ui::GsiInitialize);
}
void TrapGsiSetLocation(EmulState* s, uint16_t) {
    Ui<void(int16_t, int16_t)>(ui::GsiSetLocation, static_cast<int16_t>(U16(s, 0)),
                               static_cast<int16_t>(U16(s, 2)));
}
void TrapGsiEnable(EmulState* s, uint16_t) {
    Ui<void(uint8_t)>(ui::GsiEnable, U8(s, 0));
}
void TrapGsiEnabled(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Ui<uint8_t()>(ui::GsiEnabled));
}
void TrapGsiSetShiftState(EmulState* s, uint16_t) {
    Ui<void(uint16_t, uint16_t)>(ui::GsiSetShiftState, U16(s, 0), U16(s, 2));
}

// ---- pen input ----

void TrapPINDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    using R = uint16_t;
    switch (selector) {
        case 0:
            SetResultD0UInt16(s, SysCall<R(uint16_t)>(slot::PINSel0, U16(s, 0)));
            break;
        case 1:
            SetResultD0UInt16(s, SysCall<R()>(slot::PINSel1));
            break;
        case 2:
            SetResultD0UInt16(s, SysCall<R(uint16_t)>(slot::PINSel2, U16(s, 0)));
            break;
        case 3:
            SetResultD0UInt16(s, SysCall<R()>(slot::PINSel3));
            break;
        case 4:
            SetResultD0UInt8(s, 0);
            break;
        case 5:
            SetResultD0UInt32(s, 0);
            break;
        case 6:
            SetResultD0UInt16(s, 0x0505);
            break;
        case 7:
        case 10:
            SetResultD0UInt16(s, 0);
            break;
        case 8:
            if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt32(p, 0, 0);
            SetResultD0UInt16(s, 0x0505);
            break;
        case 9:
        case 11:
        case 12:
            break;
        case 13:
            SetResultD0UInt16(
                s, SysCall<R(void*, uint16_t, uint16_t, uint16_t, uint16_t, uint16_t, uint16_t)>(
                       slot::PINSel13, P(s, 0), U16(s, 4), U16(s, 6), U16(s, 8), U16(s, 10), U16(s, 12),
                       U16(s, 14)));
            break;
        case 14:
            SetResultD0UInt16(s, Ui<uint16_t(void*, uint16_t)>(ui::UiEntry349, P(s, 0), U16(s, 4)));
            break;
        case 15:
            SetResultD0UInt16(s, Ui<uint16_t(void*)>(ui::UiEntry348, P(s, 0)));
            break;
        case 16:
            SetResultD0UInt16(s, SysCall<R()>(slot::PINSel16));
            break;
        case 17:
            SetResultD0UInt16(s, SysCall<R()>(slot::PINSel17));
            break;
        case 18: {
            const uint16_t kind = U16(s, 0);
            const uint32_t p = GetArgPtr(s, 2);
            if (kind > 1) {
                SetResultD0UInt16(s, 0x0502);
                break;
            }
            alignas(4) uint8_t value[4] = {};
            const R err = SysCall<R(uint16_t, void*)>(slot::PINSel18, kind, value);
            if (p && kind == 0) {
                uint32_t v;
                std::memcpy(&v, value, 4);
                Write68KUInt32(p, 0, v);
            } else if (p) {
                NativePoint point;
                std::memcpy(&point, value, 4);
                Write68KPoint(&point, p);
            }
            SetResultD0UInt16(s, err);
            break;
        }
        case 19:
            SetResultD0UInt16(s, SysCall<R()>(slot::PINSel19));
            break;
        case 20:
            SetResultD0UInt16(s, SysCall<R(uint16_t)>(slot::PINSel20, U16(s, 0)));
            break;
        case 21:
            SetResultD0UInt16(s, SysCall<R()>(slot::PINSel21));
            break;
        case 22:
            SetResultD0UInt16(s, SysCall<R(uint16_t)>(slot::PINSel22, U16(s, 0)));
            break;
        case 23:
            SetResultD0UInt16(s, SysCall<R(uint16_t, uint16_t)>(slot::PINSel23, U16(s, 0), U16(s, 2)));
            break;
        case 24: {
            uint16_t out = 0;
            const uint8_t r = SysCall<uint8_t(uint16_t, uint16_t*)>(slot::PINSel24, U16(s, 0), &out);
            if (uint32_t p = GetArgPtr(s, 2)) Write68KUInt16(p, 0, out);
            SetResultD0UInt8(s, r);
            break;
        }
        default:
            ErrDisplayFileLineMsg(kFile, 300, "Unknown PINDispatch request:", selector);
            break;
    }
}

// ---- forms and menus in the event loop ----

// FrmDispatchEvent (event) and MenuHandleEvent (menu, event, error): the event is converted to
// native; the menu pointer passes as it is (the menu shadows are not built yet).
void TrapFrmDispatchEvent(EmulState* s, uint16_t) {
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 0)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, Ui<uint8_t(SysEventType*)>(ui::UiEntry132, &event));
}
void TrapMenuHandleEvent(EmulState* s, uint16_t) {
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    uint16_t error = 0;
    const uint8_t handled =
        Ui<uint8_t(void*, SysEventType*, uint16_t*)>(ui::UiEntry243, MenuNativeOf(s, GetArgPtr(s, 0)), &event, &error);
    if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, error);
    SetResultD0UInt8(s, handled);
}

// ---- the selection list of the text services ----

// The list record as the UI library keeps it (native, 32 bytes).
struct SelectionList {
    uint16_t id;
    uint16_t attributes;
    NativeRect bounds;
    void* items;  // the draw-callback record
    int16_t count;
    int16_t selection;
    int16_t top;
    uint8_t font;
    uint8_t reserved;
    void* window;
    void* drawFunction;
};
static_assert(sizeof(SelectionList) == 32);
static_assert(offsetof(SelectionList, font) == 22);

struct DrawCallback {
    uint32_t userValue;
    uint32_t procedure;
    EmulState* context;
};

constexpr uint16_t kListShown = 0x0001;
constexpr uint16_t kListEvent = 36;
constexpr uint16_t kPenDownEvent = 1, kListSelectEvent = 12, kListExitEvent = 13, kKeyDownEvent = 4,
                   kAppStopEvent = 22;
constexpr uint16_t kCommandModifiers = 0x0608;

// System slots of windows, fonts and events used by the list.
constexpr uint16_t kFntLineHeight = 258, kFntSetFont = 260, kEvtAddEventToQueue = 517, kEvtGetEvent = 521,
                   kSysHandleEvent = 531, kSysUIBusy = 576, kWinCreateWindow = 704, kWinDeleteWindow = 705,
                   kWinDrawChar = 709, kWinDrawWindowFrame = 720, kWinEraseRectangle = 724,
                   kWinGetActiveWindow = 729, kWinGetClip = 731, kWinGetDisplayExtent = 732,
                   kWinGetDrawWindow = 734, kWinPopDrawState = 764, kWinPushDrawState = 765,
                   kWinRestoreBits = 768, kWinSaveBits = 770, kWinSetActiveWindow = 776,
                   kWinSetBackColor = 777, kWinSetClip = 779, kWinSetDrawWindow = 782, kWinSetForeColor = 783,
                   kWinSetTextColor = 787, kWinWindowToDisplayPt = 792;
constexpr uint16_t kUiAskEvent = 4, kUiColorEntry = 336;

void PostListEvent(uint16_t value) {
    SysEventType event{};
    event.eType = kListEvent;
    std::memcpy(event.data, &value, 2);
    SysCall<void(SysEventType*)>(kEvtAddEventToQueue, &event);
}

void ListDrawBridge(int16_t item, NativeRect* bounds, void* items) {
    auto* callback = static_cast<DrawCallback*>(items);
    if (!callback || !callback->procedure || !callback->context) return;
    EmulState* s = callback->context;
    uint8_t rect[8];
    Write68KRect(bounds, Addr(rect));
    // User value highest, then the rectangle, the index lowest: 10 bytes.
    Write68KUInt32(s->A[7] - 4, 0, callback->userValue);
    Write68KUInt32(s->A[7] - 8, 0, Addr(rect));
    Write68KUInt16(s->A[7] - 10, 0, static_cast<uint16_t>(item));
    Call68KCode(s, callback->procedure, 10);
}

void SetItemColors(bool selected) {
    auto entry = [](uint16_t which) { return Ui<uint8_t(uint16_t)>(kUiColorEntry, which); };
    SysCall<uint8_t(uint8_t)>(kWinSetBackColor, entry(selected ? 3 : 1));
    SysCall<uint8_t(uint8_t)>(kWinSetTextColor, entry(selected ? 4 : 2));
    SysCall<uint8_t(uint8_t)>(kWinSetForeColor, entry(selected ? 4 : 2));
}

void DrawItem(SelectionList* list, bool selected) {
    if (list->selection < 0) {
        ErrDisplayFileLineMsg(kFile, 4004, "Nothing currently selected");
        return;
    }
    const int16_t visible = Ui<int16_t(SelectionList*)>(ui::LstGetVisibleItems, list);
    if (list->selection < list->top || list->selection >= list->top + visible) return;
    SysCall<void()>(kWinPushDrawState);
    SetItemColors(selected);
    const int16_t line = SysCall<int16_t()>(kFntLineHeight);
    NativeRect row{{list->bounds.topLeft.x,
                    static_cast<int16_t>(list->bounds.topLeft.y + line * (list->selection - list->top))},
                   {list->bounds.extent.x, line}};
    SysCall<void(NativeRect*, uint16_t)>(kWinEraseRectangle, &row, 0);
    row.topLeft.x = static_cast<int16_t>(row.topLeft.x + 2);
    row.extent.x = static_cast<int16_t>(row.extent.x - 2);
    ListDrawBridge(list->selection, &row, list->items);
    // Arrows where the list can scroll, in the symbol font at its right edge.
    const bool above = list->top > 0, below = list->top + visible < list->count;
    if (above || below) {
        NativeRect clip{};
        SysCall<void(NativeRect*)>(kWinGetClip, &clip);
        const uint8_t font = SysCall<uint8_t(uint8_t)>(kFntSetFont, 3);
        const int16_t x = static_cast<int16_t>(list->bounds.topLeft.x + list->bounds.extent.x - 8);
        if (above) {
            NativeRect arrow{{x, list->bounds.topLeft.y}, {8, line}};
            SysCall<void(NativeRect*)>(kWinSetClip, &arrow);
            SysCall<void(uint16_t, int16_t, int16_t)>(kWinDrawChar, 7, x, list->bounds.topLeft.y);
        }
        if (below) {
            const int16_t y = static_cast<int16_t>(list->bounds.topLeft.y + list->bounds.extent.y - line);
            NativeRect arrow{{x, y}, {8, line}};
            SysCall<void(NativeRect*)>(kWinSetClip, &arrow);
            SysCall<void(uint16_t, int16_t, int16_t)>(kWinDrawChar, 8, x, y);
        }
        SysCall<void(NativeRect*)>(kWinSetClip, &clip);
        SysCall<uint8_t(uint8_t)>(kFntSetFont, font);
    }
    SysCall<void()>(kWinPopDrawState);
}

void MoveSelection(SelectionList* list, bool down) {
    if (list->selection < 0) {
        ErrDisplayFileLineMsg(kFile, 4004, "Nothing currently selected");
        return;
    }
    if (down ? list->selection >= list->count - 1 : list->selection <= 0) return;
    DrawItem(list, false);
    list->selection = static_cast<int16_t>(list->selection + (down ? 1 : -1));
    const int16_t visible = Ui<int16_t(SelectionList*)>(ui::LstGetVisibleItems, list);
    if (list->selection < list->top)
        Ui<uint8_t(SelectionList*, uint8_t, int16_t)>(ui::LstScrollList, list, 0,
                                                      static_cast<int16_t>(list->top - list->selection));
    else if (list->selection >= list->top + visible)
        Ui<uint8_t(SelectionList*, uint8_t, int16_t)>(
            ui::LstScrollList, list, 1, static_cast<int16_t>(list->selection - list->top - visible + 1));
    else
        DrawItem(list, true);
}

bool IsCommandKey(uint16_t chr) {
    static constexpr uint16_t kKeys[] = {0x101, 0x105, 0x106, 0x108, 0x109, 0x10A, 0x10B, 0x10D,
                                         0x10E, 0x110, 0x111, 0x117, 0x118, 0x119, 0x11A, 0x11B,
                                         0x12B, 0x204, 0x205, 0x206, 0x207, 0x208, 0x20B};
    return std::find(std::begin(kKeys), std::end(kKeys), chr) != std::end(kKeys);
}

int16_t RunList(SelectionList* list) {
    SysCall<uint16_t(uint8_t, uint8_t)>(kSysUIBusy, 1, 1);
    const uint8_t font = SysCall<uint8_t(uint8_t)>(kFntSetFont, list->font);
    void* active = SysCall<void*()>(kWinGetActiveWindow);
    void* draw = SysCall<void*()>(kWinGetDrawWindow);
    const uint8_t insertion = Ui<uint8_t()>(ui::InsPtEnabled);
    Ui<void(uint8_t)>(ui::InsPtEnable, 0);
    const uint8_t shift = Ui<uint8_t()>(ui::GsiEnabled);
    Ui<void(uint8_t)>(ui::GsiEnable, 0);
    void* form = Ui<void*()>(ui::FrmGetActiveForm);
    Ui<void(void*)>(ui::FrmSetActiveForm, nullptr);
    const SelectionList saved = *list;

    // Place the list 2 pixels inside the display, in display coordinates.
    NativeRect r = list->bounds;
    SysCall<void(int16_t*, int16_t*)>(kWinWindowToDisplayPt, &r.topLeft.x, &r.topLeft.y);
    int16_t width = 0, height = 0;
    SysCall<void(int16_t*, int16_t*)>(kWinGetDisplayExtent, &width, &height);
    r.topLeft.x =
        std::max<int16_t>(1, std::min<int16_t>(r.topLeft.x, static_cast<int16_t>(width - 2 - r.extent.x)));
    r.topLeft.y =
        std::max<int16_t>(1, std::min<int16_t>(r.topLeft.y, static_cast<int16_t>(height - 2 - r.extent.y)));
    uint16_t err = 0;
    void* window = SysCall<void*(NativeRect*, uint16_t, uint8_t, uint8_t, uint16_t*)>(kWinCreateWindow, &r,
                                                                                      0x5002, 1, 1, &err);
    NativeRect behind{{static_cast<int16_t>(r.topLeft.x - 1), static_cast<int16_t>(r.topLeft.y - 1)},
                      {static_cast<int16_t>(r.extent.x + 2), static_cast<int16_t>(r.extent.y + 2)}};
    void* bits = SysCall<void*(NativeRect*, uint16_t*)>(kWinSaveBits, &behind, &err);
    SysCall<void(void*)>(kWinDrawWindowFrame, window);
    SysCall<void*(void*)>(kWinSetDrawWindow, window);
    SysCall<void(void*)>(kWinSetActiveWindow, window);
    list->attributes |= kListShown;
    list->window = window;
    Ui<void(SelectionList*)>(ui::LstDrawList, list);

    int16_t result = -1;
    for (bool running = true; running;) {
        SysEventType event{};
        SysCall<void(SysEventType*, int32_t)>(kEvtGetEvent, &event, -1);
        uint16_t chr, modifiers, value;
        std::memcpy(&chr, event.data, 2);
        std::memcpy(&modifiers, event.data + 4, 2);
        std::memcpy(&value, event.data, 2);
        if (event.eType == kKeyDownEvent && (modifiers & kCommandModifiers)) {
            if (IsCommandKey(chr) || Ui<uint8_t(SysEventType*)>(kUiAskEvent, &event)) {
                SysCall<void(SysEventType*)>(kEvtAddEventToQueue, &event);
                break;
            }
        }
        if (SysCall<uint8_t(SysEventType*)>(kSysHandleEvent, &event)) continue;
        if (Ui<uint8_t(SelectionList*, SysEventType*)>(ui::LstHandleEvent, list, &event)) continue;
        switch (event.eType) {
            case kPenDownEvent:
            case kListExitEvent:
                running = false;
                break;
            case kListSelectEvent:
                std::memcpy(&result, event.data + 2, 2);
                running = false;
                break;
            case kAppStopEvent:
                SysCall<void(SysEventType*)>(kEvtAddEventToQueue, &event);
                running = false;
                break;
            case kKeyDownEvent: {
                const int16_t visible = Ui<int16_t(SelectionList*)>(ui::LstGetVisibleItems, list);
                if (modifiers & kCommandModifiers) {
                    if (chr == 0x0B || chr == 0x0C)
                        Ui<uint8_t(SelectionList*, uint8_t, int16_t)>(
                            ui::LstScrollList, list, chr == 0x0C ? 1 : 0, static_cast<int16_t>(visible - 1));
                    else if (chr != 0x101)
                        running = false;
                } else if (chr == 0x1F || chr == 0x20) {
                    PostListEvent(0);
                } else if (chr == 0x0A) {
                    PostListEvent(1);
                } else if (chr == 0x1E || chr == 0x08) {
                    if (list->selection <= 0) {
                        DrawItem(list, false);
                        list->selection = static_cast<int16_t>(list->count - 1);
                        Ui<void(SelectionList*, int16_t)>(ui::LstMakeItemVisible, list, list->selection);
                        Ui<void(SelectionList*)>(ui::LstDrawList, list);
                    } else {
                        MoveSelection(list, false);
                    }
                }
                break;
            }
            case kListEvent:
                if (value == 0) {
                    if (list->selection >= list->count - 1) {
                        DrawItem(list, false);
                        list->selection = 0;
                        Ui<void(SelectionList*, int16_t)>(ui::LstMakeItemVisible, list, 0);
                        Ui<void(SelectionList*)>(ui::LstDrawList, list);
                    } else {
                        MoveSelection(list, true);
                    }
                } else {
                    result = list->selection;
                    SysCall<void(SysEventType*)>(kEvtAddEventToQueue, &event);
                    running = false;
                }
                break;
            default:
                break;
        }
    }

    SysCall<void(void*)>(kWinRestoreBits, bits);
    SysCall<void(void*, uint8_t)>(kWinDeleteWindow, window, 0);
    SysCall<void*(void*)>(kWinSetDrawWindow, draw);
    SysCall<void(void*)>(kWinSetActiveWindow, active);
    Ui<void(void*)>(ui::FrmSetActiveForm, form);
    *list = saved;
    if (result >= 0) list->selection = result;
    Ui<void(uint8_t)>(ui::GsiEnable, shift);
    Ui<void(uint8_t)>(ui::InsPtEnable, insertion);
    SysCall<uint8_t(uint8_t)>(kFntSetFont, font);
    SysCall<uint16_t(uint8_t, uint8_t)>(kSysUIBusy, 1, 0);
    return result;
}

}  // namespace

void TsmSelectionList(EmulState* s) {
    const uint16_t a = U16(s, 0), b = U16(s, 2), c = U16(s, 4);
    DrawCallback callback{U32(s, 6), GetArgPtr(s, 10), s};
    SelectionList list{};
    list.font = 2;
    list.bounds.extent.x = static_cast<int16_t>(std::min<uint32_t>(c + 12u, 156u));
    int16_t width = 0, height = 0;
    SysCall<void(int16_t*, int16_t*)>(kWinGetDisplayExtent, &width, &height);
    Ui<void(SelectionList*, int16_t, int16_t)>(ui::LstSetPosition, &list, 0, height);
    Ui<void(SelectionList*, uint16_t)>(ui::LstSetHeight, &list, a);
    Ui<void(SelectionList*, DrawCallback*, uint16_t)>(ui::LstSetListChoices, &list, &callback, a);
    Ui<void(SelectionList*, int16_t)>(ui::LstSetSelection, &list, static_cast<int16_t>(b));
    Ui<void(SelectionList*, int16_t)>(ui::LstMakeItemVisible, &list, static_cast<int16_t>(b));
    Ui<void(SelectionList*, void*)>(ui::LstSetDrawFunction, &list, reinterpret_cast<void*>(&ListDrawBridge));
    SetResultD0UInt16(s, static_cast<uint16_t>(RunList(&list)));
}

void InputGlueInstall(TrapHandler* t) {
    t[0x0B3] = TrapSysKeyboardDialogV10;
    t[0x2E2] = TrapSysKeyboardDialog;
    t[0x438] = TrapKeyboardStatusNew;
    t[0x439] = TrapKeyboardStatusFree;
    t[0x43A] = TrapKbdSetLayout;
    t[0x43B] = TrapKbdGetLayout;
    t[0x43C] = TrapKbdSetPosition;
    t[0x43D] = TrapKbdGetPosition;
    t[0x43E] = TrapKbdSetShiftState;
    t[0x43F] = TrapKbdGetShiftState;
    t[0x440] = TrapKbdDraw;
    t[0x441] = TrapKbdErase;
    t[0x442] = TrapKbdHandleEvent;
    t[0x2E1] = TrapSysScrivelReferenceDialog;
    t[0x292] = TrapScvProcessStroke;
    t[0x293] = TrapScvFieldChange;
    t[0x280] = TrapScvGetState;
    t[0x281] = TrapScvSetState;
    t[0x282] = ScvNone<slot::ScvFlushPoints>;
    t[0x283] = TrapScvAddPoint;
    t[0x284] = ScvNone<slot::ScvInitState>;
    t[0x285] = ScvNone<slot::ScvCleanState>;
    t[0x286] = TrapScvMatch;
    t[0x287] = ScvPass3<slot::ScvGetMacro>;
    t[0x291] = ScvPass3<slot::ScvGetAndExpandMacro>;
    t[0x288] = ScvNone<slot::ScvFilterPoints>;
    t[0x289] = TrapScvGetNumPoints;
    t[0x28A] = TrapScvGetPoint;
    t[0x28B] = ScvPass3<slot::ScvFindBranch>;
    t[0x28C] = TrapScvMatchGlyph;
    t[0x28D] = ScvPass3<slot::ScvGetGlyphMapping>;
    t[0x28E] = ScvPass3<slot::ScvGetMacroName>;
    t[0x28F] = ScvPass3<slot::ScvDeleteMacro>;
    t[0x290] = ScvPass3<slot::ScvAddMacro>;
    t[0x29B] = TrapGsiInitialize;
    t[0x29C] = TrapGsiSetLocation;
    t[0x29D] = TrapGsiEnable;
    t[0x29E] = TrapGsiEnabled;
    t[0x29F] = TrapGsiSetShiftState;
    t[0x470] = TrapPINDispatch;
    t[0x1A0] = TrapFrmDispatchEvent;
    t[0x1BF] = TrapMenuHandleEvent;
}

}  // namespace morvel
