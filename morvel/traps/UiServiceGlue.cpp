#include "morvel/traps/UiServiceGlue.h"

#include <cstddef>

#include "morvel/traps/BitmapGlue.h"
#include "morvel/traps/ControlGlue.h"
#include "morvel/traps/ListGlue.h"
#include "morvel/traps/WindowGlue.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/MenuGlue.h"
#include "morvel/traps/TrapGlue.h"

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
