#include "morvel/traps/UiServiceGlue.h"

#include <cstddef>
#include <cstring>

#include "common/FourCC.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/BitmapGlue.h"
#include "morvel/traps/ControlGlue.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/ListGlue.h"
#include "morvel/traps/MenuGlue.h"
#include "morvel/traps/ResourceTranslate.h"
#include "morvel/traps/TrapGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::SysEventType;

// UI library slots of these services.
constexpr uint16_t kAttnAllowClose = 1, kAttnDoSpecialEffects = 3, kAttnEnableNotification = 5,
                   kAttnListOpen = 11, kAttnIndicatorAllow = 12, kAttnIndicatorAllowed = 13,
                   kAttnIndicatorEnable = 15, kAttnIndicatorEnabled = 16, kAttnIndicatorGetBlinkPattern = 17,
                   kAttnIndicatorSetBlinkPattern = 18, kAttnReopen = 20, kFindStrInStr = 68,
                   kFontSelect = 122, kInsPtEnable = 198, kInsPtEnabled = 199, kInsPtGetHeight = 200,
                   kInsPtGetLocation = 201, kInsPtSetHeight = 203, kInsPtSetLocation = 204,
                   kMenuAddItem = 234, kMenuDrawMenu = 239, kMenuEraseStatus = 241, kMenuHideItem = 244,
                   kMenuShowItem = 248, kSclDrawScrollBar = 259, kSclGetScrollBar = 260,
                   kSclHandleEvent = 261, kSclSetScrollBar = 262, kSecSelectViewStatus = 263,
                   kSecVerifyPW = 264, kSysAppLauncherDialog = 271, kSysFatalAlert = 273,
                   kUIBrightnessAdjust = 335, kUIColorGetTableEntryIndex = 336,
                   kUIColorGetTableEntryRGB = 337, kUIColorPopTable = 339, kUIColorPushTable = 340,
                   kUIColorSetTableEntry = 341, kUIContrastAdjust = 342, kUIPickColor = 344;


template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

// Plain forwards by shape: no arguments, one byte, one 16-bit value; results of 8 or 16 bits.
template <uint16_t Slot>
void None(EmulState*, uint16_t) {
    Ui<void()>(Slot);
}
template <uint16_t Slot>
void NoneTo8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Ui<uint8_t()>(Slot));
}
template <uint16_t Slot>
void NoneTo16(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t()>(Slot));
}
template <uint16_t Slot>
void Byte(EmulState* s, uint16_t) {
    Ui<void(uint8_t)>(Slot, U8(s, 0));
}
template <uint16_t Slot>
void ByteTo8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Ui<uint8_t(uint8_t)>(Slot, U8(s, 0)));
}
template <uint16_t Slot>
void Word(EmulState* s, uint16_t) {
    Ui<void(uint16_t)>(Slot, U16(s, 0));
}
template <uint16_t Slot>
void WordTo8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, Ui<uint8_t(uint16_t)>(Slot, U16(s, 0)));
}

void TrapAttnDoSpecialEffects(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(uint32_t)>(kAttnDoSpecialEffects, GetArgUInt32(s, 0)));
}
void TrapAttnGetCounts(EmulState* s, uint16_t) {
    InOut16 pop(GetArgPtr(s, 6)), subtle(GetArgPtr(s, 10));
    SetResultD0UInt16(s,
                      SysCall<uint16_t(uint16_t, uint32_t, uint16_t*, uint16_t*)>(
                          slot::AttnGetCounts, U16(s, 0), GetArgUInt32(s, 2), pop.Native(), subtle.Native()));
    pop.WriteBack();
    subtle.WriteBack();
}

void TrapInsPtSetLocation(EmulState* s, uint16_t) {
    Ui<void(int16_t, int16_t)>(kInsPtSetLocation, static_cast<int16_t>(U16(s, 0)),
                               static_cast<int16_t>(U16(s, 2)));
}
void TrapInsPtGetLocation(EmulState* s, uint16_t) {
    InOut16 x(GetArgPtr(s, 0)), y(GetArgPtr(s, 4));
    Ui<void(int16_t*, int16_t*)>(kInsPtGetLocation, x.Native<int16_t>(), y.Native<int16_t>());
    x.WriteBack();
    y.WriteBack();
}

// Colours: the RGB records are four bytes and pass as they are.
void TrapUIColorGetTableEntryRGB(EmulState* s, uint16_t) {
    Ui<void(uint8_t, void*)>(kUIColorGetTableEntryRGB, U8(s, 0), P(s, 2));
}
void TrapUIColorSetTableEntry(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(uint8_t, const void*)>(kUIColorSetTableEntry, U8(s, 0), P(s, 2)));
}
void TrapUIPickColor(EmulState* s, uint16_t) {
    SetResultD0UInt8(
        s, Ui<uint8_t(void*, void*, uint16_t, const char*, const char*)>(
               kUIPickColor, P(s, 0), P(s, 4), U16(s, 8), Str(GetArgPtr(s, 10)), Str(GetArgPtr(s, 14))));
}

void TrapSysFatalAlert(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(const char*)>(kSysFatalAlert, Str(GetArgPtr(s, 0))));
}
void TrapFindStrInStr(EmulState* s, uint16_t) {
    InOut16 position(GetArgPtr(s, 8));
    SetResultD0UInt8(s, Ui<uint8_t(const char*, const char*, uint16_t*)>(
                            kFindStrInStr, Str(GetArgPtr(s, 0)), Str(GetArgPtr(s, 4)), position.Native()));
    position.WriteBack();
}

// Menus: a 68K menu-bar image reaches the UI library as its native bar.
template <uint16_t Slot>
void MenuBar(EmulState* s, uint16_t) {
    Ui<void(void*)>(Slot, MenuNativeOf(s, GetArgPtr(s, 0)));
}
void TrapMenuAddItem(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(uint16_t, uint16_t, uint8_t, const char*)>(
                             kMenuAddItem, U16(s, 0), U16(s, 2), U8(s, 4), Str(GetArgPtr(s, 6))));
}

// Scroll bars: the first argument is a form-object pointer.
void TrapSclGetScrollBar(EmulState* s, uint16_t) {
    void* bar = ObjectNativeOf(s, GetArgPtr(s, 0));
    InOut16 value(GetArgPtr(s, 4)), min(GetArgPtr(s, 8)), max(GetArgPtr(s, 12)), page(GetArgPtr(s, 16));
    if (bar)
        Ui<void(void*, uint16_t*, uint16_t*, uint16_t*, uint16_t*)>(
            kSclGetScrollBar, bar, value.Native(), min.Native(), max.Native(), page.Native());
    value.WriteBack();
    min.WriteBack();
    max.WriteBack();
    page.WriteBack();
}
void TrapSclSetScrollBar(EmulState* s, uint16_t) {
    if (void* bar = ObjectNativeOf(s, GetArgPtr(s, 0)))
        Ui<void(void*, int16_t, int16_t, int16_t, int16_t)>(
            kSclSetScrollBar, bar, static_cast<int16_t>(U16(s, 4)), static_cast<int16_t>(U16(s, 6)),
            static_cast<int16_t>(U16(s, 8)), static_cast<int16_t>(U16(s, 10)));
}
void TrapSclDrawScrollBar(EmulState* s, uint16_t) {
    if (void* bar = ObjectNativeOf(s, GetArgPtr(s, 0))) Ui<void(void*)>(kSclDrawScrollBar, bar);
}
void TrapSclHandleEvent(EmulState* s, uint16_t) {
    void* bar = ObjectNativeOf(s, GetArgPtr(s, 0));
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, bar ? Ui<uint8_t(void*, SysEventType*)>(kSclHandleEvent, bar, &event) : 0);
}

// Clipboard: an item goes to the UI library only when its bytes lie whole in the application's
// memory; an append that cannot be read answers 0x0502.
constexpr uint16_t kResLoadConstant = 256, kClipboardAddItem = 38, kClipboardAppendItem = 39, kErrParam = 0x0502;
bool ClipboardItemReadable(EmulState* s, uint32_t data, uint16_t length) {
    return length == 0 || (data && ValidatePtr(s, data, true, true) >= length);
}
void TrapClipboardAddItem(EmulState* s, uint16_t) {
    const uint32_t data = GetArgPtr(s, 2);
    const uint16_t length = U16(s, 6);
    if (ClipboardItemReadable(s, data, length))
        Ui<void(uint8_t, const void*, uint16_t)>(kClipboardAddItem, U8(s, 0), Ptr(data), length);
}
void TrapClipboardAppendItem(EmulState* s, uint16_t) {
    const uint32_t data = GetArgPtr(s, 2);
    const uint16_t length = U16(s, 6);
    SetResultD0UInt16(s, ClipboardItemReadable(s, data, length)
                             ? Ui<uint16_t(uint8_t, const void*, uint16_t)>(kClipboardAppendItem, U8(s, 0), Ptr(data),
                                                                            length)
                             : kErrParam);
}
void TrapClipboardGetItem(EmulState* s, uint16_t) {
    InOut16 length(GetArgPtr(s, 2));
    void* item = Ui<void*(uint8_t, uint16_t*)>(vantor::uislot::ClipboardGetItem, U8(s, 0), length.Native());
    length.WriteBack();
    SetResultA0(s, Addr(item));
}

// Find: the find-parameter record (308 bytes on both sides) and the target record of Find (20
// bytes) converted field by field; a record that does not lie whole in the application's memory is
// not handed on (the call answers 0).
constexpr uint32_t kFindParamsBytes = 308, kFindTargetBytes = 20;

template <typename T>
void Put(uint8_t* n, uint32_t at, T v) {
    std::memcpy(n + at, &v, sizeof v);
}
template <typename T>
T Get(const uint8_t* n, uint32_t at) {
    T v;
    std::memcpy(&v, n + at, sizeof v);
    return v;
}

bool RecordReadable(EmulState* s, uint32_t p, uint32_t bytes) {
    return p && !(p & 1) && ValidatePtr(s, p, true, true) >= bytes;
}

void FindParamsToNative(uint32_t p, uint8_t* n) {
    std::memset(n, 0, kFindParamsBytes);
    Put(n, 0, Read68KUInt16(p, 0));
    Put(n, 2, Read68KUInt16(p, 2));
    n[4] = Read68KInt8(p, 4);
    std::memcpy(n + 5, Mem(p) + 5, 34);  // two 17-byte blocks
    Put(n, 40, Read68KUInt16(p, 40));
    Put(n, 42, Read68KUInt16(p, 42));
    n[44] = Read68KInt8(p, 44);
    n[45] = Read68KInt8(p, 45);
    Put(n, 48, Read68KUInt32(p, 46));
    Put(n, 52, Read68KUInt32(p, 52));
    n[56] = Read68KInt8(p, 58);
    std::memcpy(n + 60, Mem(p) + 60, 32 + 216);
}
void FindParamsTo68K(const uint8_t* n, uint32_t p) {
    Write68KUInt16(p, 0, Get<uint16_t>(n, 0));
    Write68KUInt16(p, 2, Get<uint16_t>(n, 2));
    Write68KInt8(p, 4, n[4]);
    std::memcpy(Mem(p) + 5, n + 5, 34);
    Write68KInt8(p, 39, 0);
    Write68KUInt16(p, 40, Get<uint16_t>(n, 40));
    Write68KUInt16(p, 42, Get<uint16_t>(n, 42));
    Write68KInt8(p, 44, n[44]);
    Write68KInt8(p, 45, n[45]);
    Write68KUInt32(p, 46, Get<uint32_t>(n, 48));
    Write68KUInt16(p, 50, 0);
    Write68KUInt32(p, 52, Get<uint32_t>(n, 52));
    Write68KUInt16(p, 56, 0);
    Write68KInt8(p, 58, n[56]);
    Write68KInt8(p, 59, 0);
    std::memcpy(Mem(p) + 60, n + 60, 32 + 216);
}

void TrapFind(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 0);
    if (p && !RecordReadable(s, p, kFindTargetBytes)) return;
    uint8_t n[kFindTargetBytes] = {};
    if (p) {
        Put(n, 0, Read68KUInt16(p, 0));
        Put(n, 4, Read68KUInt32(p, 4));
        Put(n, 8, Read68KUInt16(p, 8));
        Put(n, 10, Read68KUInt16(p, 10));
        Put(n, 12, Read68KUInt16(p, 12));
        Put(n, 14, Read68KUInt32(p, 14));
    }
    Ui<void(void*)>(vantor::uislot::Find, p ? n : nullptr);
    if (!p) return;
    Write68KUInt16(p, 0, Get<uint16_t>(n, 0));
    Write68KUInt16(p, 2, 0);
    Write68KUInt32(p, 4, Get<uint32_t>(n, 4));
    Write68KUInt16(p, 8, Get<uint16_t>(n, 8));
    Write68KUInt16(p, 10, Get<uint16_t>(n, 10));
    Write68KUInt16(p, 12, Get<uint16_t>(n, 12));
    Write68KUInt32(p, 14, Get<uint32_t>(n, 14));
    Write68KUInt16(p, 18, 0);
}

// The three calls on a find-parameter record: the record in, the call, the record back (not for
// FindGetLineBounds).
template <typename Call>
void WithFindParams(EmulState* s, bool back, Call call) {
    const uint32_t p = GetArgPtr(s, 0);
    if (!RecordReadable(s, p, kFindParamsBytes)) {
        SetResultD0UInt8(s, 0);
        return;
    }
    uint8_t n[kFindParamsBytes];
    FindParamsToNative(p, n);
    call(n);
    if (back) FindParamsTo68K(n, p);
}
void TrapFindSaveMatch(EmulState* s, uint16_t) {
    WithFindParams(s, true, [s](uint8_t* n) {
        SetResultD0UInt8(s, SysCall<uint8_t(void*, uint16_t, uint16_t, uint16_t, uint32_t, uint16_t, uint32_t)>(
                                slot::FindSaveMatch, n, U16(s, 4), U16(s, 6), U16(s, 8), U32(s, 10), U16(s, 14),
                                U32(s, 16)));
    });
}
void TrapFindGetLineBounds(EmulState* s, uint16_t) {
    WithFindParams(s, false, [s](uint8_t* n) {
        NativeRect r{};
        Ui<void(void*, NativeRect*)>(vantor::uislot::FindGetLineBounds, n, &r);
        if (uint32_t out = GetArgPtr(s, 4)) Write68KRect(&r, out);
    });
}
void TrapFindDrawHeader(EmulState* s, uint16_t) {
    WithFindParams(s, true, [s](uint8_t* n) {
        SetResultD0UInt8(s, Ui<uint8_t(void*, const char*)>(vantor::uislot::FindDrawHeader, n, Str(GetArgPtr(s, 4))));
    });
}

// ResLoadConstant: the 'tint' resource translated first, its value from the UI library.
void TrapResLoadConstant(EmulState* s, uint16_t) {
    const uint16_t id = U16(s, 0);
    const uint32_t type = vantor::FourCC("tint");
    RsrcPrepare(s, type, id, false);
    SetResultD0UInt32(s, Ui<uint32_t(uint16_t)>(kResLoadConstant, id));
    RsrcRelease(s, type, id);
}

// ---- AccessorDispatch: each selector goes to the glue of the record it reads or writes ----

// The object ID of a 68K form-object pointer: its shadow's ID, a bitmap's resource ID; -1 for
// kinds without one.
int16_t ObjectIdOf(EmulState* s, uint32_t image) {
    if (!image || !ObjectNativeOf(s, image)) return -1;
    const auto* o = reinterpret_cast<const ObjectShadow*>(Ptr<uint8_t>(image) - offsetof(ObjectShadow, image));
    switch (o->kind) {
        case 0: case 1: case 2: case 3: case 8: case 12: case 13:
            return static_cast<int16_t>(o->id);
        case 4:
            return static_cast<int16_t>(Read68KUInt16(image, 6));
        default:
            return -1;
    }
}

// The form selectors that read or write the 68K form record: default button, help and menu
// resource IDs, and the form's 68K event handler.
bool FormAccessorSelector(EmulState* s, uint16_t selector) {
    uint32_t field = 0;
    switch (selector) {
        case 11: case 12: field = kFormImageDefaultButton; break;
        case 13: case 14: field = kFormImageHelp; break;
        case 15: field = kFormImageMenu; break;
        case 18: break;
        default: return false;
    }
    FormShadow* form = FormShadowFind68KInChain(s, GetArgPtr(s, 0), nullptr);
    if (selector == 18) {
        SetResultA0(s, form ? form->handler : 0);
    } else if (selector == 12 || selector == 14) {
        if (form) Write68KUInt16(Addr(form->image), field, U16(s, 4));
    } else {
        SetResultD0UInt16(s, form ? Read68KUInt16(Addr(form->image), field) : 0);
    }
    return true;
}

void TrapAccessorDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    if (ControlAccessorSelector(s, selector) || ListAccessorSelector(s, selector) ||
        BitmapAccessorSelector(s, selector) || WindowAccessorSelector(s, selector) ||
        FormAccessorSelector(s, selector))
        return;
    if (selector == 26) {
        SetResultD0UInt16(s, static_cast<uint16_t>(ObjectIdOf(s, GetArgPtr(s, 0))));
        return;
    }
    // Selectors whose records this glue cannot reach answer nothing.
    SetResultD0UInt32(s, 0);
    SetResultA0(s, 0);
}

}  // namespace

void UiServiceGlueInstall(TrapHandler* t) {
    t[0x3F4] = TrapAccessorDispatch;
    t[0x10A] = TrapClipboardAddItem;
    t[0x370] = TrapClipboardAppendItem;
    t[0x10C] = TrapClipboardGetItem;
    t[0x3B2] = TrapResLoadConstant;
    t[0x269] = TrapFind;
    t[0x26B] = TrapFindSaveMatch;
    t[0x26C] = TrapFindGetLineBounds;
    t[0x26D] = TrapFindDrawHeader;
    t[0x41D] = Byte<kAttnIndicatorAllow>;
    t[0x41E] = NoneTo8<kAttnIndicatorAllowed>;
    t[0x41F] = Byte<kAttnIndicatorEnable>;
    t[0x420] = NoneTo8<kAttnIndicatorEnabled>;
    t[0x421] = Word<kAttnIndicatorSetBlinkPattern>;
    t[0x422] = NoneTo16<kAttnIndicatorGetBlinkPattern>;
    t[0x429] = TrapAttnGetCounts;
    t[0x42A] = None<kAttnListOpen>;
    t[0x42E] = TrapAttnDoSpecialEffects;
    t[0x430] = None<kAttnAllowClose>;
    t[0x431] = None<kAttnReopen>;
    t[0x432] = Byte<kAttnEnableNotification>;
    t[0x0AD] = TrapSysFatalAlert;
    t[0x0B4] = None<kSysAppLauncherDialog>;
    t[0x26A] = TrapFindStrInStr;
    t[0x320] = ByteTo8<kFontSelect>;
    t[0x1A9] = TrapInsPtSetLocation;
    t[0x1AA] = TrapInsPtGetLocation;
    t[0x1AB] = Byte<kInsPtEnable>;
    t[0x1AC] = NoneTo8<kInsPtEnabled>;
    t[0x1AD] = Word<kInsPtSetHeight>;
    t[0x1AE] = NoneTo16<kInsPtGetHeight>;
    t[0x1C0] = MenuBar<kMenuDrawMenu>;
    t[0x1C1] = MenuBar<kMenuEraseStatus>;
    t[0x3D5] = WordTo8<kMenuShowItem>;
    t[0x3D6] = WordTo8<kMenuHideItem>;
    t[0x3D7] = TrapMenuAddItem;
    t[0x3CF] = NoneTo8<kSecSelectViewStatus>;
    t[0x3CE] = ByteTo8<kSecVerifyPW>;
    t[0x2E7] = TrapSclGetScrollBar;
    t[0x2B6] = TrapSclSetScrollBar;
    t[0x2B7] = TrapSclDrawScrollBar;
    t[0x2B8] = TrapSclHandleEvent;
    t[0x3A4] = ByteTo8<kUIColorGetTableEntryIndex>;
    t[0x3A5] = TrapUIColorGetTableEntryRGB;
    t[0x3A6] = TrapUIColorSetTableEntry;
    t[0x3A7] = NoneTo16<kUIColorPushTable>;
    t[0x3A8] = NoneTo16<kUIColorPopTable>;
    t[0x34C] = None<kUIContrastAdjust>;
    t[0x3AB] = None<kUIBrightnessAdjust>;
    t[0x3AC] = TrapUIPickColor;
}

}  // namespace morvel
