#include "morvel/traps/UiServiceGlue.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ContextGate.h"
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

// Scroll bars: the first argument must be a scroll bar's form-object pointer.
void TrapSclGetScrollBar(EmulState* s, uint16_t) {
    void* bar = ScrollBarNativeOf(s, GetArgPtr(s, 0));
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
    if (void* bar = ScrollBarNativeOf(s, GetArgPtr(s, 0)))
        Ui<void(void*, int16_t, int16_t, int16_t, int16_t)>(
            kSclSetScrollBar, bar, static_cast<int16_t>(U16(s, 4)), static_cast<int16_t>(U16(s, 6)),
            static_cast<int16_t>(U16(s, 8)), static_cast<int16_t>(U16(s, 10)));
}
void TrapSclDrawScrollBar(EmulState* s, uint16_t) {
    if (void* bar = ScrollBarNativeOf(s, GetArgPtr(s, 0))) Ui<void(void*)>(kSclDrawScrollBar, bar);
}
void TrapSclHandleEvent(EmulState* s, uint16_t) {
    void* bar = ScrollBarNativeOf(s, GetArgPtr(s, 0));
    SysEventType event{};
    if (uint32_t p = GetArgPtr(s, 4)) EventToARM(s, &event, p);
    SetResultD0UInt8(s, bar ? Ui<uint8_t(void*, SysEventType*)>(kSclHandleEvent, bar, &event) : 0);
}

// Clipboard: an item goes to the UI library only when its bytes lie whole in the application's
// memory; an append that cannot be read answers 0x0502. A bitmap item is the application's 68K
// bitmap, which goes as one self-contained 68K bitmap (its parts gathered, each bounds-checked), so
// that whoever gets the item can use it as it is.
constexpr uint16_t kResLoadConstant = 256, kClipboardAddItem = 38, kClipboardAppendItem = 39, kErrParam = 0x0502;
constexpr uint8_t kClipboardBitmap = 2;

// Calls `put` with the item's bytes; false when they cannot be read.
template <typename Put>
bool WithClipboardItem(EmulState* s, Put put) {
    const uint8_t format = U8(s, 0);
    const uint32_t data = GetArgPtr(s, 2);
    const uint16_t length = U16(s, 6);
    if (format == kClipboardBitmap && data && length) {
        const std::vector<uint8_t> bitmap = BitmapClipboardImage(s, data);
        if (bitmap.empty()) return false;
        put(format, bitmap.data(), static_cast<uint16_t>(bitmap.size()));
        return true;
    }
    if (length && (!data || ValidatePtr(s, data, true, true) < length)) return false;
    put(format, Ptr(data), length);
    return true;
}
void TrapClipboardAddItem(EmulState* s, uint16_t) {
    WithClipboardItem(s, [](uint8_t format, const void* data, uint16_t length) {
        Ui<void(uint8_t, const void*, uint16_t)>(kClipboardAddItem, format, data, length);
    });
}
void TrapClipboardAppendItem(EmulState* s, uint16_t) {
    uint16_t err = kErrParam;
    WithClipboardItem(s, [&err](uint8_t format, const void* data, uint16_t length) {
        err = Ui<uint16_t(uint8_t, const void*, uint16_t)>(kClipboardAppendItem, format, data, length);
    });
    SetResultD0UInt16(s, err);
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

// ---- attention: the application's 68K callbacks behind the attention manager ----

// An attention with a 68K callback is handed to the OS with this record as its user value and
// AttnBridge as its callback. The records belong to the system (owner 0), as the attention may
// outlive the application that asked for it, and are kept in one list; the bridge uses only a
// record that is still in it.
struct AttnRecord {
    AttnRecord* prev;
    AttnRecord* next;
    uint32_t key;  // the database argument
    uint32_t callback;
    uint32_t userData;
    uint32_t reserved;
};
static_assert(sizeof(AttnRecord) == 24);

struct AttnRecords {
    std::mutex lock;
    AttnRecord* head = nullptr;
};
AttnRecords& Attns() {
    static AttnRecords records;
    return records;
}

AttnRecord* AttnFindLocked(uint32_t key, uint32_t userData) {
    for (AttnRecord* r = Attns().head; r; r = r->next)
        if (r->key == key && r->userData == userData) return r;
    return nullptr;
}
AttnRecord* AttnFind(uint32_t key, uint32_t userData) {
    std::lock_guard<std::mutex> hold(Attns().lock);
    return AttnFindLocked(key, userData);
}
// Finds the record of (key, user value) or makes one; null when there is no memory.
AttnRecord* AttnFindOrCreate(uint32_t key, uint32_t userData) {
    if (AttnRecord* r = AttnFind(key, userData)) return r;
    auto* r = static_cast<AttnRecord*>(sys::MemPtrNew(sizeof(AttnRecord)));
    if (!r) return nullptr;
    sys::MemPtrSetOwner(r, 0);
    *r = AttnRecord{nullptr, nullptr, key, 0, userData, 0};
    std::lock_guard<std::mutex> hold(Attns().lock);
    r->next = Attns().head;
    if (r->next) r->next->prev = r;
    Attns().head = r;
    return r;
}
void AttnFree(AttnRecord* r) {
    {
        std::lock_guard<std::mutex> hold(Attns().lock);
        AttnRecord* found = Attns().head;
        while (found && found != r) found = found->next;
        if (!found) return;
        if (r->prev) r->prev->next = r->next;
        else Attns().head = r->next;
        if (r->next) r->next->prev = r->prev;
    }
    sys::MemChunkFree(r);
}

// The callback's parameters by command: draw detail (1), draw list (2), got it (6), iterate (8).
constexpr uint8_t kAttnDrawLayout[] = {0x42, 0x11, 0x14, 0}, kAttnListLayout[] = {0x42, 0x11, 0x14, 0x11, 0},
                  kAttnGotItLayout[] = {0x11, 0}, kAttnIterateLayout[] = {0x14, 0};
const uint8_t* AttnLayout(uint16_t command) {
    switch (command) {
        case vantor::kAttnCommandDrawDetail: return kAttnDrawLayout;
        case vantor::kAttnCommandDrawList: return kAttnListLayout;
        case vantor::kAttnCommandGotIt: return kAttnGotItLayout;
        case vantor::kAttnCommandIterate: return kAttnIterateLayout;
        default: return nullptr;
    }
}

uint16_t AttnBridge(uint16_t command, uint32_t record, void* args) {
    uint32_t callback = 0, userData = 0;
    auto* r = reinterpret_cast<AttnRecord*>(static_cast<uintptr_t>(record));
    {
        std::lock_guard<std::mutex> hold(Attns().lock);
        AttnRecord* found = Attns().head;
        while (found && found != r) found = found->next;
        if (found) callback = r->callback, userData = r->userData;
    }
    EmulState* s = GetCurrentContext();
    if (!s || !callback) return 0;
    uint16_t result;
    {
        ContextGateHold gate(s);
        const uint8_t* layout = args ? AttnLayout(command) : nullptr;
        uint8_t copy[16] = {};
        if (layout) RecordTo68K(args, Addr(copy), layout);
        Write68KUInt16(s->A[7] - 10, 0, command);
        Write68KUInt32(s->A[7] - 8, 0, userData);
        Write68KUInt32(s->A[7] - 4, 0, layout ? Addr(copy) : 0);
        Call68KCode(s, callback, 10);
        result = static_cast<uint16_t>(s->D[0]);
        if (layout) RecordToNative(args, Addr(copy), layout);
    }
    if (command == vantor::kAttnCommandGotIt) AttnFree(r);
    // A callback run for an application that is not running leaves nothing behind.
    if (s == GetGlobalContext()) {
        FormShadowFreeAll(s);
        WindowShadowsFreeAll(s);
        BitmapShadowsFreeAll(s);
        MenuShadowsFreeAll(s);
    }
    return result;
}

constexpr uint16_t kMemErrNotEnoughSpace = 0x0504;

// AttnGetAttention(card, database, user value, callback, level, flags, nag rate, nag repeats).
void TrapAttnGetAttention(EmulState* s, uint16_t) {
    const uint32_t key = U32(s, 2), callback = GetArgPtr(s, 10);
    uint32_t userData = U32(s, 6);
    void* bridge = nullptr;
    if (callback) {
        AttnRecord* r = AttnFindOrCreate(key, userData);
        if (!r) {
            SetResultD0UInt16(s, kMemErrNotEnoughSpace);
            return;
        }
        r->callback = callback;
        userData = Addr(r);
        bridge = reinterpret_cast<void*>(&AttnBridge);
    }
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t, uint32_t, uint32_t, void*, uint16_t, uint32_t, uint16_t, uint16_t)>(
                             slot::AttnGetAttention, U16(s, 0), key, userData, bridge, U16(s, 14), U32(s, 16),
                             U16(s, 20), U16(s, 22)));
}

// AttnUpdate(card, database, user value, callback, flags pointer, nag rate pointer, nag repeats
// pointer): a record without a new callback is given up; a false answer gives the record up too.
void TrapAttnUpdate(EmulState* s, uint16_t) {
    const uint32_t key = U32(s, 2), callback = GetArgPtr(s, 10);
    uint32_t userData = U32(s, 6);
    AttnRecord* r = AttnFind(key, userData);
    void* bridge = nullptr;
    if (r && !callback) {
        AttnFree(r);
        r = nullptr;
    } else if (callback) {
        if (!(r = AttnFindOrCreate(key, userData))) {
            SetResultD0UInt8(s, 0);
            return;
        }
        r->callback = callback;
        userData = Addr(r);
        bridge = reinterpret_cast<void*>(&AttnBridge);
    }
    InOut32 flags(GetArgPtr(s, 14));
    InOut16 nagRate(GetArgPtr(s, 18)), nagRepeats(GetArgPtr(s, 22));
    const uint8_t updated = SysCall<uint8_t(uint16_t, uint32_t, uint32_t, void*, uint32_t*, uint16_t*, uint16_t*)>(
        slot::AttnUpdate, U16(s, 0), key, userData, bridge, flags.Native(), nagRate.Native(), nagRepeats.Native());
    if (!updated && r) AttnFree(r);
    SetResultD0UInt8(s, updated);
}

// AttnForgetIt(card, database, user value).
void TrapAttnForgetIt(EmulState* s, uint16_t) {
    const uint32_t key = U32(s, 2);
    AttnRecord* r = AttnFind(key, U32(s, 6));
    const uint8_t forgotten = SysCall<uint8_t(uint16_t, uint32_t, uint32_t)>(slot::AttnForgetIt, U16(s, 0), key,
                                                                            r ? Addr(r) : U32(s, 6));
    if (forgotten && r) AttnFree(r);
    SetResultD0UInt8(s, forgotten);
}

// AttnIterate(card, database, iteration value).
void TrapAttnIterate(EmulState* s, uint16_t) {
    SysCall<void(uint16_t, uint32_t, uint32_t)>(slot::AttnIterate, U16(s, 0), U32(s, 2), U32(s, 6));
}

// ---- progress dialogs ----

// The 68K progress record: flags at 8 (0x4000 once cancelled), the stage and error of the last
// event at 10 and 12, the 68K text callback at 184, its user value at 220 and the OS's progress
// object at 224. Only records PrgStartDialog made and PrgStopDialog has not freed are taken.
constexpr uint32_t kPrgBytes = 228, kPrgFlags = 8, kPrgStage = 10, kPrgError = 12, kPrgCallback = 184,
                   kPrgUserData = 220, kPrgNative = 224;
constexpr uint16_t kPrgCancelFlag = 0x4000;
constexpr uint16_t kUiPrgHandleEvent = 251, kUiPrgStartDialog = 252;

struct ProgressRecords {
    std::mutex lock;
    std::vector<uint32_t> live;
};
ProgressRecords& Progresses() {
    static ProgressRecords records;
    return records;
}
bool ProgressLive(uint32_t record) {
    std::lock_guard<std::mutex> hold(Progresses().lock);
    return record && std::find(Progresses().live.begin(), Progresses().live.end(), record) != Progresses().live.end();
}
vantor::NativeProgress* ProgressNative(uint32_t record) {
    return ProgressLive(record) ? Ptr<vantor::NativeProgress>(Read68KUInt32(record, kPrgNative)) : nullptr;
}
void ProgressFree(uint32_t record) {
    {
        std::lock_guard<std::mutex> hold(Progresses().lock);
        auto& live = Progresses().live;
        auto at = std::find(live.begin(), live.end(), record);
        if (at == live.end()) return;
        live.erase(at);
    }
    sys::MemChunkFree(Ptr(record));
}

// The callback's four flags: native bits 0-3 are 68K bits 15-12 (cancelled first), and back.
uint16_t PrgFlagsSwap(uint16_t flags) {
    uint16_t out = 0;
    for (int i = 0; i < 4; ++i) {
        if (flags & (1u << i)) out |= static_cast<uint16_t>(0x8000u >> i);
        if (flags & (0x8000u >> i)) out |= static_cast<uint16_t>(1u << i);
    }
    return out;
}

// The OS's text callback: the 68K callback gets the 44-byte record of the stage, the text buffer
// and the message, and what it sets there comes back.
uint8_t PrgTextBridge(vantor::NativePrgCallbackData* d) {
    const uint32_t record = d ? Addr(d->userData) : 0;
    if (!ProgressLive(record)) return 0;
    const uint32_t callback = Read68KUInt32(record, kPrgCallback);
    EmulState* s = GetCurrentContext();
    if (!s || !callback) return 0;
    ContextGateHold gate(s);
    uint8_t buffer[44] = {};
    const uint32_t b = Addr(buffer);
    Write68KUInt16(b, 0, d->stage);
    Write68KUInt32(b, 2, Addr(d->textP));
    Write68KUInt16(b, 6, d->textLen);
    Write68KUInt32(b, 8, Addr(d->message));
    Write68KUInt16(b, 12, d->error);
    Write68KUInt16(b, 14, d->bitmapId);
    Write68KUInt16(b, 16, PrgFlagsSwap(d->flags));
    Write68KUInt32(b, 18, d->timeout);
    Write68KUInt16(b, 36, d->delay ? 0x8000 : 0);
    Write68KUInt32(b, 38, Read68KUInt32(record, kPrgUserData));
    Write68KUInt32(s->A[7] - 4, 0, b);
    Call68KCode(s, callback, 4);
    const uint16_t bitmap = Read68KUInt16(b, 14);
    d->error = Read68KUInt16(b, 12);
    d->timeout = Read68KUInt32(b, 18);
    d->flags = static_cast<uint16_t>((d->flags & ~0xFu) | PrgFlagsSwap(Read68KUInt16(b, 16)));
    d->delay = (Read68KUInt16(b, 36) & 0x8000) ? 1 : 0;
    if (bitmap && bitmap != d->bitmapId && s != GetGlobalContext()) RsrcPrepare(s, vantor::FourCC("Tbmp"), bitmap, false);
    d->bitmapId = bitmap;
    return static_cast<uint8_t>(s->D[0]);
}

void StartDialog(EmulState* s, uint32_t userData) {
    auto* block = static_cast<uint8_t*>(sys::MemPtrNew(kPrgBytes));
    if (!block) {
        SetResultA0(s, 0);
        return;
    }
    std::memset(block, 0xFE, kPrgBytes);
    std::memset(block + kPrgFlags, 0, 6);
    const uint32_t record = Addr(block);
    Write68KUInt32(record, kPrgCallback, GetArgPtr(s, 4));
    Write68KUInt32(record, kPrgUserData, userData);
    Write68KUInt32(record, kPrgNative, 0);
    {
        std::lock_guard<std::mutex> hold(Progresses().lock);
        Progresses().live.push_back(record);
    }
    void* native = Ui<void*(const char*, void*, void*)>(kUiPrgStartDialog, Str(GetArgPtr(s, 0)),
                                                         reinterpret_cast<void*>(&PrgTextBridge), Ptr(record));
    if (!native) {
        ProgressFree(record);
        SetResultA0(s, 0);
        return;
    }
    Write68KUInt32(record, kPrgNative, Addr(native));
    SetResultA0(s, record);
}
void TrapPrgStartDialog(EmulState* s, uint16_t) { StartDialog(s, U32(s, 8)); }
void TrapPrgStartDialogV31(EmulState* s, uint16_t) { StartDialog(s, 0); }

void TrapPrgStopDialog(EmulState* s, uint16_t) {
    const uint32_t record = GetArgPtr(s, 0);
    vantor::NativeProgress* native = ProgressNative(record);
    if (!native) return;
    Ui<void(vantor::NativeProgress*, uint8_t)>(vantor::uislot::PrgStopDialog, native, U8(s, 4));
    ProgressFree(record);
}
void TrapPrgUpdateDialog(EmulState* s, uint16_t) {
    if (vantor::NativeProgress* native = ProgressNative(GetArgPtr(s, 0)))
        Ui<void(vantor::NativeProgress*, uint16_t, uint16_t, const char*, uint8_t)>(
            vantor::uislot::PrgUpdateDialog, native, U16(s, 4), U16(s, 6), Str(GetArgPtr(s, 8)), U8(s, 12));
}
void TrapPrgHandleEvent(EmulState* s, uint16_t) {
    const uint32_t record = GetArgPtr(s, 0);
    vantor::NativeProgress* native = ProgressNative(record);
    if (!native) {
        SetResultD0UInt8(s, 0);
        return;
    }
    SysEventType event{};
    const uint32_t p = GetArgPtr(s, 4);
    if (p) EventToARM(s, &event, p);
    const uint8_t handled =
        Ui<uint8_t(vantor::NativeProgress*, SysEventType*)>(kUiPrgHandleEvent, native, p ? &event : nullptr);
    Write68KUInt16(record, kPrgStage, native->stage);
    Write68KUInt16(record, kPrgError, native->error);
    if (native->flags & vantor::kProgressCancelled)
        Write68KUInt16(record, kPrgFlags, Read68KUInt16(record, kPrgFlags) | kPrgCancelFlag);
    SetResultD0UInt8(s, handled);
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

// Selectors 100 and 101 report values the OS keeps in its globals record: 100 a zero word, the
// 32-bit value at 80 and the 16-bit one at 84 through three out-pointers (null ones skipped) and the
// pointer at 88 in A0; 101 the word at 96.
constexpr uint32_t kGlobalsLong80 = 80, kGlobalsWord84 = 84, kGlobalsPointer88 = 88, kGlobalsWord96 = 96;
bool GlobalsAccessorSelector(EmulState* s, uint16_t selector) {
    if (selector != 100 && selector != 101) return false;
    const auto* globals = static_cast<const uint8_t*>(sys::SysGetGlobals());
    if (selector == 101) {
        SetResultD0UInt16(s, globals ? Get<uint16_t>(globals, kGlobalsWord96) : 0);
        return true;
    }
    if (uint32_t p = GetArgPtr(s, 0)) Write68KUInt16(p, 0, 0);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt32(p, 0, globals ? Get<uint32_t>(globals, kGlobalsLong80) : 0);
    if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, globals ? Get<uint16_t>(globals, kGlobalsWord84) : 0);
    SetResultA0(s, globals ? Get<uint32_t>(globals, kGlobalsPointer88) : 0);
    return true;
}

// Selector 1, a field's line information: the UI library's fields keep no line table that could be
// read here, so every line answers start 0 and length 0 through the out-pointers, and D0 = 0.
bool FieldLineSelector(EmulState* s, uint16_t selector) {
    if (selector != 1) return false;
    if (uint32_t p = GetArgPtr(s, 6)) Write68KUInt16(p, 0, 0);
    if (uint32_t p = GetArgPtr(s, 10)) Write68KUInt16(p, 0, 0);
    SetResultD0UInt8(s, 0);
    return true;
}

void TrapAccessorDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    if (ControlAccessorSelector(s, selector) || ListAccessorSelector(s, selector) ||
        BitmapAccessorSelector(s, selector) || WindowAccessorSelector(s, selector) ||
        FormAccessorSelector(s, selector) || FormObjectAccessorSelector(s, selector) ||
        GlobalsAccessorSelector(s, selector) ||
        FieldLineSelector(s, selector))
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
    t[0x426] = TrapAttnGetAttention;
    t[0x427] = TrapAttnUpdate;
    t[0x428] = TrapAttnForgetIt;
    t[0x42D] = TrapAttnIterate;
    t[0x366] = TrapPrgStartDialog;
    t[0x312] = TrapPrgStartDialogV31;
    t[0x313] = TrapPrgStopDialog;
    t[0x314] = TrapPrgUpdateDialog;
    t[0x315] = TrapPrgHandleEvent;
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
