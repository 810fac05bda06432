#include "morvel/traps/SystemGlue.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "common/module/KezSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/ContextGate.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/CommsGlue.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/Thunks.h"
#include "morvel/traps/TrapDispatch.h"
#include "morvel/traps/TrapGlue.h"
#include "morvel/traps/TrapTable.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::SysEventType;
using vantor::SysNotifyParamType;

constexpr uint16_t kErrNotifyNoMemory = 0x0504;
constexpr uint16_t kErrStreamNoProc = 0x0801;
constexpr uint16_t kErrStreamNoMemory = 0x0803;
constexpr uint16_t kErrFontNoMemory = 0x0102;
constexpr uint16_t kErrUnimplementedTrap = 0x0505;
constexpr uint16_t kErrBadTrap = 0x0502;
constexpr uint16_t kKeyDownEvent = 4;
constexpr uint16_t kSysUnimplementedIndex = 0x08A;


EmulState* TopLevel(EmulState* s) {
    while (s && s->parent) s = s->parent;
    return s;
}

// ---- the lists that live with the application's top-level context ----

struct NotifyEntry {
    uint32_t dbID;
    uint32_t notifyType;
    int8_t priority;
    uint32_t procedure;
    uint32_t userData;
    EmulState* owner;
};
struct StreamEntry {
    uint32_t key;  // the stream id once created; 0 while the OS call is in progress
    uint32_t procedure;
    uint32_t userData;
    uint32_t appDbID;
    bool running;
    EmulState* owner;
};
struct DefinedFont {
    uint8_t fontID;
    void* native;
};
struct ContextLists {
    std::vector<NotifyEntry*> notify;
    std::vector<StreamEntry*> streams;
    std::vector<DefinedFont> fonts;
};
// Entries are handed to the OS as user data, so each is its own block that never moves.
std::mutex gListsLock;
std::map<const EmulState*, ContextLists> gLists;

ContextLists& ListsOf(EmulState* top) {
    return gLists[top];
}

// ---- features ----

constexpr uint32_t kCreatorPsys = 0x70737973;  // 'psys'
constexpr uint16_t kFeatureAlwaysOne = 25;

void TrapFtrUnregister(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint16_t)>(slot::FtrUnregister, U32(s, 0), U16(s, 4)));
}
void TrapFtrGet(EmulState* s, uint16_t) {
    const uint32_t creator = U32(s, 0);
    const uint16_t number = U16(s, 4);
    uint32_t value = 0;
    uint16_t err = 0;
    if (creator == kCreatorPsys && number == kFeatureAlwaysOne)
        value = 1;
    else
        err = SysCall<uint16_t(uint32_t, uint16_t, uint32_t*)>(slot::FtrGet, creator, number, &value);
    if (uint32_t p = GetArgPtr(s, 6)) Write68KUInt32(p, 0, value);
    SetResultD0UInt16(s, err);
}
void TrapFtrSet(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, SysCall<uint16_t(uint32_t, uint16_t, uint32_t)>(slot::FtrSet, U32(s, 0), U16(s, 4), U32(s, 6)));
}
void TrapFtrGetByIndex(EmulState* s, uint16_t) {
    uint32_t creator = 0, value = 0;
    uint16_t number = 0;
    const uint16_t err = SysCall<uint16_t(uint16_t, uint8_t, uint32_t*, uint16_t*, uint32_t*)>(
        slot::FtrGetByIndex, U16(s, 0), U8(s, 2), &creator, &number, &value);
    if (!err) {
        if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt32(p, 0, creator);
        if (uint32_t p = GetArgPtr(s, 8)) Write68KUInt16(p, 0, number);
        if (uint32_t p = GetArgPtr(s, 12)) Write68KUInt32(p, 0, value);
    }
    SetResultD0UInt16(s, err);
}
void TrapFtrPtrNew(EmulState* s, uint16_t) {
    void* block = nullptr;
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t, uint32_t, void**)>(
        slot::FtrPtrNew, U32(s, 0), U16(s, 4), U32(s, 6), &block);
    if (uint32_t p = GetArgPtr(s, 10)) Write68KUInt32(p, 0, Addr(block));
    SetResultD0UInt16(s, err);
}
void TrapFtrPtrFree(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint16_t)>(slot::FtrPtrFree, U32(s, 0), U16(s, 4)));
}
void TrapFtrPtrResize(EmulState* s, uint16_t) {
    void* block = nullptr;
    const uint16_t err = SysCall<uint16_t(uint32_t, uint16_t, uint32_t, void**)>(
        slot::FtrPtrResize, U32(s, 0), U16(s, 4), U32(s, 6), &block);
    if (!err)
        if (uint32_t p = GetArgPtr(s, 10)) Write68KUInt32(p, 0, Addr(block));
    SetResultD0UInt16(s, err);
}

// ---- fonts ----

constexpr uint32_t kFontHeaderFields = 13;
constexpr uint32_t kFontHeaderBytes = 2 * kFontHeaderFields;
constexpr uint32_t kFontNodeKind = kTaggedOwnsPayloadA;  // freed with the context

// A translated font header: the native font it stands for, the font id it was fetched under, and
// the 68K header that 68K code reads.
struct FontNode {
    uint32_t magic;
    const void* native;
    uint8_t fontID;
    uint8_t pad[3];
    uint8_t header[kFontHeaderBytes];
};
constexpr uint32_t kFontNodeMagic = 0x466E7448;  // 'FntH'

FontNode* FontNodeOf(const TaggedNode* n) {
    if (n->kind != kFontNodeKind || !n->payload) return nullptr;
    auto* node = static_cast<FontNode*>(n->payload);
    return node->magic == kFontNodeMagic ? node : nullptr;
}
FontNode* FontByNative(EmulState* s, const void* native) {
    for (TaggedNode* n = s->taggedNodes; n; n = n->next)
        if (FontNode* f = FontNodeOf(n); f && f->native == native) return f;
    return nullptr;
}
FontNode* FontBy68K(EmulState* s, uint32_t header) {
    for (TaggedNode* n = s->taggedNodes; n; n = n->next)
        if (FontNode* f = FontNodeOf(n); f && Addr(f->header) == header) return f;
    return nullptr;
}
void DropFontsTagged(EmulState* s, uint8_t fontID) {
    for (TaggedNode* n = s->taggedNodes; n;) {
        TaggedNode* next = n->next;
        if (FontNode* f = FontNodeOf(n); f && f->fontID == fontID) {
            sys::MemChunkFree(f);
            TaggedNodeRemove(s, n);
        }
        n = next;
    }
}

void TrapFntGetFont(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t()>(slot::FntGetFont));
}
void TrapFntSetFont(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint8_t)>(slot::FntSetFont, U8(s, 0)));
}
void TrapFntGetFontPtr(EmulState* s, uint16_t) {
    const void* native = SysCall<const void*()>(slot::FntGetFontPtr);
    if (!native) {
        SetResultA0(s, 0);
        return;
    }
    if (FontNode* cached = FontByNative(s, native)) {
        SetResultA0(s, Addr(cached->header));
        return;
    }
    auto* node = static_cast<FontNode*>(sys::MemPtrNew(sizeof(FontNode)));
    if (!node) {
        SetResultA0(s, 0);
        return;
    }
    sys::MemPtrSetOwner(node, 0);
    node->magic = kFontNodeMagic;
    node->native = native;
    const auto* fields = static_cast<const int16_t*>(native);
    for (uint32_t i = 0; i < kFontHeaderFields; ++i)
        Write68KUInt16(Addr(node->header), 2 * i, static_cast<uint16_t>(fields[i]));
    Write68KUInt16(Addr(node->header), kFontHeaderBytes - 2, 0xFFFF);
    node->fontID = SysCall<uint8_t()>(slot::FntGetFont);
    if (!TaggedNodeAdd(s, kFontNodeKind, node)) {
        sys::MemChunkFree(node);
        SetResultA0(s, 0);
        return;
    }
    SetResultA0(s, Addr(node->header));
}

// A plain 68K font: the 26-byte header (13 fields), the glyph image (row words x rectangle height
// words, bytes as they are) and the location table (last - first + 3 words). The native copy has
// the header and the location table in native order; the offset-width table is not copied, so its
// location word is 0 in the copy. Extended fonts are not translated here.
constexpr uint16_t kFontExtended = 0x0200;
constexpr uint32_t kFontOffsetWidthWord = 8;
constexpr uint16_t kErrFontBad = 0x0502;
constexpr uint32_t kFontMaxBytes = 0x10000;  // where the font's memory region is not known

}  // namespace

void* FontToNative(uint32_t font68K, uint32_t available, uint16_t* err) {
    *err = kErrFontBad;
    if (available < kFontHeaderBytes) return nullptr;
    const uint16_t type = Read68KUInt16(font68K, 0);
    const uint16_t first = Read68KUInt16(font68K, 2), last = Read68KUInt16(font68K, 4);
    const uint16_t height = Read68KUInt16(font68K, 14), rowWords = Read68KUInt16(font68K, 24);
    if ((type & kFontExtended) || last < first) return nullptr;
    const uint64_t imageBytes = 2ull * rowWords * height;
    const uint64_t locations = static_cast<uint64_t>(last - first) + 3;
    const uint64_t total = kFontHeaderBytes + imageBytes + 2 * locations;
    if (total > available) return nullptr;
    auto* copy = static_cast<uint8_t*>(sys::MemPtrNew(static_cast<uint32_t>(total)));
    if (!copy) {
        *err = kErrFontNoMemory;
        return nullptr;
    }
    for (uint32_t i = 0; i < kFontHeaderFields; ++i) {
        // The offset-width table is not part of the copy: its location word must not point past it.
        const uint16_t v = i == kFontOffsetWidthWord ? 0 : Read68KUInt16(font68K, 2 * i);
        std::memcpy(copy + 2 * i, &v, 2);
    }
    std::memcpy(copy + kFontHeaderBytes, Ptr(font68K + kFontHeaderBytes), static_cast<size_t>(imageBytes));
    const uint32_t table = kFontHeaderBytes + static_cast<uint32_t>(imageBytes);
    for (uint32_t i = 0; i < locations; ++i) {
        const uint16_t v = Read68KUInt16(font68K, table + 2 * i);
        std::memcpy(copy + table + 2 * i, &v, 2);
    }
    *err = 0;
    return copy;
}

namespace {

void TrapFntDefineFont(EmulState* s, uint16_t) {
    const uint8_t fontID = U8(s, 0);
    const uint32_t font = GetArgPtr(s, 2);
    EmulState* top = TopLevel(s);
    using Define = uint16_t(uint8_t, const void*);
    if (!font) {
        {
            std::lock_guard<std::mutex> hold(gListsLock);
            auto& fonts = ListsOf(top).fonts;
            for (auto it = fonts.begin(); it != fonts.end();) {
                if (it->fontID == fontID) {
                    sys::MemChunkFree(it->native);
                    it = fonts.erase(it);
                } else {
                    ++it;
                }
            }
        }
        DropFontsTagged(s, fontID);
        SetResultD0UInt16(s, SysCall<Define>(slot::FntDefineFont, fontID, nullptr));
        return;
    }
    if (FontNode* cached = FontBy68K(s, font); cached && cached->fontID == fontID) {
        SetResultD0UInt16(s, SysCall<Define>(slot::FntDefineFont, fontID, cached->native));
        return;
    }
    uint16_t err = 0;
    uint32_t available = ValidatePtr(s, font, false, true);
    if (!available) available = kFontMaxBytes;
    void* copy = FontToNative(font, std::min(available, kFontMaxBytes), &err);
    if (!copy) {
        SetResultD0UInt16(s, err);
        return;
    }
    sys::MemPtrSetOwner(copy, 0);
    err = SysCall<Define>(slot::FntDefineFont, fontID, copy);
    if (err) {
        sys::MemChunkFree(copy);
        SetResultD0UInt16(s, err);
        return;
    }
    try {
        std::lock_guard<std::mutex> hold(gListsLock);
        ListsOf(top).fonts.push_back({fontID, copy});
    } catch (...) {
        SysCall<Define>(slot::FntDefineFont, fontID, nullptr);
        sys::MemChunkFree(copy);
        err = kErrFontNoMemory;
    }
    SetResultD0UInt16(s, err);
}

template <uint16_t Slot>
void FontQuery16(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t()>(Slot));
}
void TrapFntCharWidth(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint8_t)>(slot::FntCharWidth, U8(s, 0)));
}
void TrapFntWCharWidth(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t)>(slot::FntWCharWidth, U32(s, 0)));
}
// (chars, length): FntCharsWidth, FntLineWidth; (chars, width): FntWordWrap.
template <uint16_t Slot>
void FontText16(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const char*, uint16_t)>(Slot, Str(GetArgPtr(s, 0)), U16(s, 4)));
}
void TrapFntCharsInWidth(EmulState* s, uint16_t) {
    InOut16 width(GetArgPtr(s, 4)), length(GetArgPtr(s, 8));
    uint8_t fits = 0;
    SysCall<void(const char*, int16_t*, int16_t*, uint8_t*)>(
        slot::FntCharsInWidth, Str(GetArgPtr(s, 0)), width.Native<int16_t>(), length.Native<int16_t>(),
        GetArgPtr(s, 12) ? &fits : nullptr);
    width.WriteBack();
    length.WriteBack();
    if (uint32_t p = GetArgPtr(s, 12)) Write68KInt8(p, 0, fits);
}
void TrapFntWordWrapReverseNLines(EmulState* s, uint16_t) {
    InOut16 lines(GetArgPtr(s, 6)), position(GetArgPtr(s, 10));
    SysCall<void(const char*, uint16_t, uint16_t*, uint16_t*)>(
        slot::FntWordWrapReverseNLines, Str(GetArgPtr(s, 0)), U16(s, 4), lines.Native(), position.Native());
    lines.WriteBack();
    position.WriteBack();
}
void TrapFntGetScrollValues(EmulState* s, uint16_t) {
    InOut16 lines(GetArgPtr(s, 8)), top(GetArgPtr(s, 12));
    SysCall<void(const char*, uint16_t, uint16_t, uint16_t*, uint16_t*)>(
        slot::FntGetScrollValues, Str(GetArgPtr(s, 0)), U16(s, 4), U16(s, 6), lines.Native(), top.Native());
    lines.WriteBack();
    top.WriteBack();
}
void TrapFntWidthToOffset(EmulState* s, uint16_t) {
    uint8_t leading = 0;
    InOut16 truncated(GetArgPtr(s, 12));
    const uint16_t offset = SysCall<uint16_t(const char*, uint16_t, int16_t, uint8_t*, int16_t*)>(
        slot::FntWidthToOffset, Str(GetArgPtr(s, 0)), U16(s, 4), I16(s, 6),
        GetArgPtr(s, 8) ? &leading : nullptr, truncated.Native<int16_t>());
    if (uint32_t p = GetArgPtr(s, 8)) Write68KInt8(p, 0, leading);
    truncated.WriteBack();
    SetResultD0UInt16(s, offset);
}

// ---- passwords ----

void TrapPwdExists(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t()>(slot::PwdExists));
}
void TrapPwdVerify(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t(const char*)>(slot::PwdVerify, Str(GetArgPtr(s, 0))));
}
void TrapPwdSet(EmulState* s, uint16_t) {
    SysCall<void(const char*, const char*)>(slot::PwdSet, Str(GetArgPtr(s, 0)), Str(GetArgPtr(s, 4)));
}
void TrapPwdRemove(EmulState*, uint16_t) {
    SysCall<void()>(slot::PwdRemove);
}
void TrapSecGetPwdHint(EmulState* s, uint16_t) {
    SetResultD0UInt16(
        s, SysCall<uint16_t(char*, uint16_t)>(slot::SecGetPwdHint, Str(GetArgPtr(s, 0)), U16(s, 4)));
}
void TrapSecSetPwdHint(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(const char*)>(slot::SecSetPwdHint, Str(GetArgPtr(s, 0))));
}

// ---- preferences ----

// The system preferences: the first 18 bytes of the 68K record (16-bit field, 14 bytes, 16-bit
// field). The native record is larger; the rest of it is the OS's own.
const uint8_t kSysPrefsLayout[] = {0x12, 0xE1, 0x12, 0};
constexpr uint32_t kNativeSysPrefsBytes = 512;

void TrapPrefGetPreferences(EmulState* s, uint16_t) {
    alignas(4) uint8_t native[kNativeSysPrefsBytes] = {};
    SysCall<void(void*)>(slot::PrefGetPreferences, native);
    if (uint32_t p = GetArgPtr(s, 0)) RecordTo68K(native, p, kSysPrefsLayout);
}
void TrapPrefSetPreferences(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 0);
    if (!p) return;
    // Only the leading fields come from 68K code: the rest of the native record keeps its values.
    alignas(4) uint8_t native[kNativeSysPrefsBytes] = {};
    SysCall<void(void*)>(slot::PrefGetPreferences, native);
    RecordToNative(native, p, kSysPrefsLayout);
    SysCall<void(const void*)>(slot::PrefSetPreferences, native);
}
void TrapPrefGetPreference(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint8_t)>(slot::PrefGetPreference, U8(s, 0)));
}
void TrapPrefSetPreference(EmulState* s, uint16_t) {
    SysCall<void(uint8_t, uint32_t)>(slot::PrefSetPreference, U8(s, 0), U32(s, 2));
}
void TrapPrefOpenPreferenceDB(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<void*(uint8_t)>(slot::PrefOpenPreferenceDB, U8(s, 0))));
}
void TrapPrefOpenPreferenceDBV10(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<void*()>(slot::PrefOpenPreferenceDBV10)));
}
void TrapPrefGetAppPreferences(EmulState* s, uint16_t) {
    InOut16 size(GetArgPtr(s, 10));
    void* prefs = size.value ? P(s, 6) : nullptr;
    const uint16_t version = SysCall<uint16_t(uint32_t, uint16_t, void*, uint16_t*, uint8_t)>(
        slot::PrefGetAppPreferences, U32(s, 0), U16(s, 4), prefs, size.Native(), U8(s, 14));
    size.WriteBack();
    SetResultD0UInt16(s, version);
}
void TrapPrefGetAppPreferencesV10(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint32_t, int16_t, void*, uint16_t)>(
                            slot::PrefGetAppPreferencesV10, U32(s, 0), I16(s, 4), P(s, 6), U16(s, 10)));
}
void TrapPrefSetAppPreferences(EmulState* s, uint16_t) {
    const uint16_t size = U16(s, 12);
    SysCall<void(uint32_t, uint16_t, int16_t, const void*, uint16_t, uint8_t)>(
        slot::PrefSetAppPreferences, U32(s, 0), U16(s, 4), I16(s, 6), size ? P(s, 8) : nullptr, size,
        U8(s, 14));
}
void TrapPrefSetAppPreferencesV10(EmulState* s, uint16_t) {
    const uint16_t size = U16(s, 10);
    SysCall<void(uint32_t, int16_t, const void*, uint16_t)>(slot::PrefSetAppPreferencesV10, U32(s, 0),
                                                            I16(s, 4), size ? P(s, 6) : nullptr, size);
}

// ---- rectangles ----

void TrapRctSetRectangle(EmulState* s, uint16_t) {
    NativeRect r{};
    SysCall<void(NativeRect*, int16_t, int16_t, int16_t, int16_t)>(slot::RctSetRectangle, &r, I16(s, 4),
                                                                   I16(s, 6), I16(s, 8), I16(s, 10));
    if (uint32_t p = GetArgPtr(s, 0)) Write68KRect(&r, p);
}
void TrapRctCopyRectangle(EmulState* s, uint16_t) {
    SysCall<void(const void*, void*)>(slot::RctCopyRectangle, P(s, 0), P(s, 4));
}
// In/out rectangle first, then the slot's own arguments.
void RectInOut(EmulState* s, uint16_t slotNumber, int16_t a, int16_t b, bool two) {
    const uint32_t p = GetArgPtr(s, 0);
    if (!p) return;
    NativeRect r{};
    Read68KRect(&r, p);
    if (two)
        SysCall<void(NativeRect*, int16_t, int16_t)>(slotNumber, &r, a, b);
    else
        SysCall<void(NativeRect*, int16_t)>(slotNumber, &r, a);
    Write68KRect(&r, p);
}
void TrapRctInsetRectangle(EmulState* s, uint16_t) {
    RectInOut(s, slot::RctInsetRectangle, I16(s, 4), 0, false);
}
void TrapRctOffsetRectangle(EmulState* s, uint16_t) {
    RectInOut(s, slot::RctOffsetRectangle, I16(s, 4), I16(s, 6), true);
}
void TrapRctPtInRectangle(EmulState* s, uint16_t) {
    NativeRect r{};
    Read68KRect(&r, GetArgPtr(s, 4));
    SetResultD0UInt8(s, SysCall<uint8_t(int16_t, int16_t, const NativeRect*)>(slot::RctPtInRectangle,
                                                                              I16(s, 0), I16(s, 2), &r));
}
void TrapRctGetIntersection(EmulState* s, uint16_t) {
    NativeRect a{}, b{}, out{};
    Read68KRect(&a, GetArgPtr(s, 0));
    Read68KRect(&b, GetArgPtr(s, 4));
    SysCall<void(const NativeRect*, const NativeRect*, NativeRect*)>(slot::RctGetIntersection, &a, &b, &out);
    if (uint32_t p = GetArgPtr(s, 8)) Write68KRect(&out, p);
}

// ---- sound ----

void TrapSndSetDefaultVolume(EmulState* s, uint16_t) {
    InOut16 alarm(GetArgPtr(s, 0)), system(GetArgPtr(s, 4)), master(GetArgPtr(s, 8));
    SysCall<void(uint16_t*, uint16_t*, uint16_t*)>(slot::SndSetDefaultVolume, alarm.Native(), system.Native(),
                                                   master.Native());
}
void TrapSndGetDefaultVolume(EmulState* s, uint16_t) {
    InOut16 alarm(GetArgPtr(s, 0)), system(GetArgPtr(s, 4)), master(GetArgPtr(s, 8));
    SysCall<void(uint16_t*, uint16_t*, uint16_t*)>(slot::SndGetDefaultVolume, alarm.Native(), system.Native(),
                                                   master.Native());
    alarm.WriteBack();
    system.WriteBack();
    master.WriteBack();
}
// The sound command: command byte, a reserved byte, a 32-bit and two 16-bit parameters.
const uint8_t kSndCommandLayout[] = {0x21, 0x01, 0x14, 0x22, 0};
void TrapSndDoCmd(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 4);
    alignas(4) uint8_t command[12] = {};
    if (p) RecordToNative(command, p, kSndCommandLayout);
    const uint16_t err =
        SysCall<uint16_t(void*, void*, uint8_t)>(slot::SndDoCmd, P(s, 0), p ? command : nullptr, U8(s, 8));
    if (p) RecordTo68K(command, p, kSndCommandLayout);
    SetResultD0UInt16(s, err);
}
void TrapSndPlaySystemSound(EmulState* s, uint16_t) {
    SysCall<void(uint8_t)>(slot::SndPlaySystemSound, U8(s, 0));
}
void TrapSndPlaySmfResource(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, int16_t, uint8_t)>(slot::SndPlaySmfResource, U32(s, 0),
                                                                       I16(s, 4), U8(s, 6)));
}
void TrapSndPlayResource(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, int32_t, uint32_t)>(
                             slot::SndPlayResource, P(s, 0), static_cast<int32_t>(U32(s, 4)), U32(s, 8)));
}

// SndPlaySmf: the options record (16 bytes) converted both ways, the callbacks bridged.
struct MidiOptions {
    uint32_t dwStartMilliSec;
    uint32_t dwEndMilliSec;
    uint16_t amplitude;
    uint8_t interruptible;
    uint8_t reserved1;
    uint32_t reserved;
};
static_assert(sizeof(MidiOptions) == 16);
const uint8_t kMidiOptionsLayout[] = {0x24, 0x12, 0x21, 0x14, 0};

struct MidiBridgeContext {
    EmulState* state;
    uint32_t completion, completionData, blocking, blockingData;
};
struct NativeMidiCallbacks {
    void* completion;
    void* completionData;
    void* blocking;
    void* blockingData;
    uint32_t reserved[2];
};
static_assert(sizeof(NativeMidiCallbacks) == 24);

void SndCompletionBridge(void* channel, uint32_t data) {
    auto* bridge = reinterpret_cast<MidiBridgeContext*>(static_cast<uintptr_t>(data));
    EmulState* s = GetTaskContext();
    if (!s || !bridge || !bridge->completion) return;
    ContextGateHold hold(s);
    Write68KUInt32(s->A[7] - 8, 0, Addr(channel));
    Write68KUInt32(s->A[7] - 4, 0, bridge->completionData);
    Call68KCode(s, bridge->completion, 8);
}
uint8_t SndBlockingBridge(void* channel, uint32_t data, int32_t milliseconds) {
    auto* bridge = reinterpret_cast<MidiBridgeContext*>(static_cast<uintptr_t>(data));
    EmulState* s = GetTaskContext();
    if (!s || !bridge || !bridge->blocking) return 1;
    ContextGateHold hold(s);
    Write68KUInt32(s->A[7] - 12, 0, Addr(channel));
    Write68KUInt32(s->A[7] - 8, 0, bridge->blockingData);
    Write68KUInt32(s->A[7] - 4, 0, static_cast<uint32_t>(milliseconds));
    Call68KCode(s, bridge->blocking, 12);
    return static_cast<uint8_t>(s->D[0]);
}

void TrapSndPlaySmf(EmulState* s, uint16_t) {
    const uint32_t optionsP = GetArgPtr(s, 10), callbacksP = GetArgPtr(s, 18);
    MidiOptions options{};
    if (optionsP) RecordToNative(&options, optionsP, kMidiOptionsLayout);
    MidiBridgeContext bridge{s, 0, 0, 0, 0};
    NativeMidiCallbacks callbacks{};
    if (callbacksP) {
        bridge.completion = Read68KUInt32(callbacksP, 0);
        bridge.completionData = Read68KUInt32(callbacksP, 4);
        bridge.blocking = Read68KUInt32(callbacksP, 8);
        bridge.blockingData = Read68KUInt32(callbacksP, 12);
        if (bridge.completion) {
            callbacks.completion = reinterpret_cast<void*>(&SndCompletionBridge);
            callbacks.completionData = &bridge;
        }
        if (bridge.blocking) {
            callbacks.blocking = reinterpret_cast<void*>(&SndBlockingBridge);
            callbacks.blockingData = &bridge;
        }
    }
    const uint16_t err =
        SysCall<uint16_t(void*, uint8_t, void*, MidiOptions*, void*, NativeMidiCallbacks*, uint8_t)>(
            slot::SndPlaySmf, P(s, 0), U8(s, 4), P(s, 6), optionsP ? &options : nullptr, P(s, 14),
            callbacksP ? &callbacks : nullptr, U8(s, 22));
    if (optionsP) RecordTo68K(&options, optionsP, kMidiOptionsLayout);
    SetResultD0UInt16(s, err);
}

// SndCreateMidiList: the native list (40-byte entries) becomes a 68K handle of 42-byte entries.
constexpr uint32_t kMidiNativeEntry = 40, kMidi68KEntry = 42, kMidiNameBytes = 32;
void TrapSndCreateMidiList(EmulState* s, uint16_t) {
    uint16_t count = 0;
    void* nativeList = nullptr;
    const uint8_t made = SysCall<uint8_t(uint32_t, uint8_t, uint16_t*, void**)>(
        slot::SndCreateMidiList, U32(s, 0), U8(s, 4), &count, &nativeList);
    if (made) {
        void* handle = sys::MemHandleNew(count ? kMidi68KEntry * count : 1);
        uint8_t* out = handle ? static_cast<uint8_t*>(sys::MemHandleLock(handle)) : nullptr;
        const uint8_t* in =
            nativeList ? static_cast<const uint8_t*>(sys::MemHandleLock(nativeList)) : nullptr;
        if (out && in) {
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* e = out + i * kMidi68KEntry;
                const uint8_t* n = in + i * kMidiNativeEntry;
                std::memset(e, 0, kMidi68KEntry);
                std::memcpy(e, n, kMidiNameBytes);
                e[kMidiNameBytes - 1] = 0;
                uint32_t a, b;
                std::memcpy(&a, n + 32, 4);
                std::memcpy(&b, n + 36, 4);
                Write68KUInt32(Addr(e), 32, a);
                Write68KUInt32(Addr(e), 36, b);
            }
        }
        if (out) sys::MemHandleUnlock(handle);
        if (in) sys::MemHandleUnlock(nativeList);
        if (nativeList) sys::MemHandleFree(nativeList);
        if (uint32_t p = GetArgPtr(s, 6)) Write68KUInt16(p, 0, out ? count : 0);
        if (uint32_t p = GetArgPtr(s, 10)) Write68KUInt32(p, 0, Addr(handle));
    }
    SetResultD0UInt8(s, made);
}

// ---- sound streams ----

StreamEntry* StreamByKey(ContextLists& lists, uint32_t key) {
    for (StreamEntry* e : lists.streams)
        if (e->key == key) return e;
    return nullptr;
}
void StreamDrop(ContextLists& lists, StreamEntry* entry) {
    for (auto it = lists.streams.begin(); it != lists.streams.end(); ++it) {
        if (*it == entry) {
            lists.streams.erase(it);
            sys::MemChunkFree(entry);
            return;
        }
    }
}
// Runs the 68K stream procedure of an entry with 16 bytes of arguments, the last one given.
uint16_t StreamCall(StreamEntry* entry, uint32_t stream, void* buffer, uint32_t last) {
    EmulState* s = GetTaskContext();
    if (!s) s = entry ? entry->owner : nullptr;
    if (!s || !entry) return kErrStreamNoProc;
    ContextGateHold hold(s);
    EmulState* previous = GetTaskContext();
    SetCurrentContext(s);
    Write68KUInt32(s->A[7] - 16, 0, entry->userData);
    Write68KUInt32(s->A[7] - 12, 0, stream);
    Write68KUInt32(s->A[7] - 8, 0, Addr(buffer));
    Write68KUInt32(s->A[7] - 4, 0, last);
    Call68KCode(s, entry->procedure, 16);
    SetCurrentContext(previous);
    return static_cast<uint16_t>(s->D[0]);
}

// SndStreamCreate and SndStreamCreateExtended: `extra` is the extended form's further argument.
void StreamCreate(EmulState* s, bool extended) {
    const uint32_t channelP = GetArgPtr(s, 0);
    const uint32_t procedure = GetArgPtr(s, 14), userData = U32(s, 18);
    const uint32_t bufferSize = U32(s, 22);
    const uint8_t nativeFlag = U8(s, extended ? 30 : 26);
    const uint32_t extra = extended ? U32(s, 26) : 0;
    uint32_t stream = 0;
    uint16_t err;
    auto create = [&](void* proc, void* data) {
        if (extended)
            return SysCall<uint16_t(uint32_t*, uint8_t, uint32_t, uint16_t, uint8_t, void*, void*, uint32_t,
                                    uint32_t, uint8_t)>(slot::SndStreamCreateExtended, &stream, U8(s, 4),
                                                        U32(s, 6), U16(s, 10), U8(s, 12), proc, data,
                                                        bufferSize, extra, nativeFlag);
        return SysCall<uint16_t(uint32_t*, uint8_t, uint32_t, uint16_t, uint8_t, void*, void*, uint32_t,
                                uint8_t)>(slot::SndStreamCreate, &stream, U8(s, 4), U32(s, 6), U16(s, 10),
                                          U8(s, 12), proc, data, bufferSize, nativeFlag);
    };
    if (nativeFlag) {
        KezImport().Call<void(uint32_t, int32_t)>(vantor::kezslot::HALNullEntry173, procedure, -1);
        err = create(Ptr(procedure), Ptr(userData));
    } else if (procedure) {
        EmulState* top = TopLevel(s);
        ContextGateClaim(s);  // the OS calls the procedure from its own task from now on
        auto* entry = static_cast<StreamEntry*>(sys::MemPtrNew(sizeof(StreamEntry)));
        if (!entry) {
            SetResultD0UInt16(s, kErrStreamNoMemory);
            return;
        }
        sys::MemPtrSetOwner(entry, 0);
        *entry = {0, procedure, userData, s->appDbId, false, s};
        {
            std::lock_guard<std::mutex> hold(gListsLock);
            ContextLists& lists = ListsOf(top);
            if (StreamEntry* old = StreamByKey(lists, 0)) StreamDrop(lists, old);
            lists.streams.push_back(entry);
        }
        err = extended ? create(reinterpret_cast<void*>(&SndStreamExtBridge), entry)
                       : create(reinterpret_cast<void*>(&SndStreamBridge), entry);
        std::lock_guard<std::mutex> hold(gListsLock);
        if (err)
            StreamDrop(ListsOf(top), entry);
        else
            entry->key = stream;
    } else {
        SetResultD0UInt16(s, kErrStreamNoProc);
        return;
    }
    if (channelP) Write68KUInt32(channelP, 0, stream);
    SetResultD0UInt16(s, err);
}
void TrapSndStreamCreate(EmulState* s, uint16_t) {
    StreamCreate(s, false);
}
void TrapSndStreamCreateExtended(EmulState* s, uint16_t) {
    StreamCreate(s, true);
}

// Start, pause, stop and delete change the entry's running flag on success.
void StreamControl(EmulState* s, uint16_t slotNumber) {
    const uint32_t stream = U32(s, 0);
    uint16_t err;
    if (slotNumber == slot::SndStreamPause)
        err = SysCall<uint16_t(uint32_t, uint8_t)>(slotNumber, stream, U8(s, 4));
    else
        err = SysCall<uint16_t(uint32_t)>(slotNumber, stream);
    if (!err) {
        std::lock_guard<std::mutex> hold(gListsLock);
        ContextLists& lists = ListsOf(TopLevel(s));
        if (StreamEntry* e = StreamByKey(lists, stream)) {
            if (slotNumber == slot::SndStreamStart)
                e->running = true;
            else if (slotNumber == slot::SndStreamPause)
                e->running = !U8(s, 4);
            else if (slotNumber == slot::SndStreamStop)
                e->running = false;
            else if (slotNumber == slot::SndStreamDelete)
                StreamDrop(lists, e);
        }
    }
    SetResultD0UInt16(s, err);
}
void TrapSndStreamDelete(EmulState* s, uint16_t) {
    StreamControl(s, slot::SndStreamDelete);
}
void TrapSndStreamStart(EmulState* s, uint16_t) {
    StreamControl(s, slot::SndStreamStart);
}
void TrapSndStreamPause(EmulState* s, uint16_t) {
    StreamControl(s, slot::SndStreamPause);
}
void TrapSndStreamStop(EmulState* s, uint16_t) {
    StreamControl(s, slot::SndStreamStop);
}
// (stream, value): set volume or pan.
template <uint16_t Slot>
void StreamSet(EmulState* s, uint16_t) {
    SetResultD0UInt16(s,
                      SysCall<uint16_t(uint32_t, int32_t)>(Slot, U32(s, 0), static_cast<int32_t>(U32(s, 4))));
}
// (stream, out value): get volume or pan.
template <uint16_t Slot>
void StreamGet(EmulState* s, uint16_t) {
    InOut32 value(GetArgPtr(s, 4));
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, uint32_t*)>(Slot, U32(s, 0), value.Native()));
    value.WriteBack();
}
void TrapSndStreamDeviceControl(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t, int32_t, void*, int32_t)>(
                             slot::SndStreamDeviceControl, U32(s, 0), static_cast<int32_t>(U32(s, 4)),
                             P(s, 8), static_cast<int32_t>(U32(s, 12))));
}

// ---- notifications ----

// The notification record: type, broadcaster, details and user data (32-bit), handled, a byte.
const uint8_t kNotifyLayout[] = {0x44, 0x21, 0};
constexpr uint32_t kNotify68KBytes = 18;

void TrapSysNotifyRegister(EmulState* s, uint16_t) {
    const uint16_t card = U16(s, 0);
    const uint32_t dbID = U32(s, 2), type = U32(s, 6), procedure = GetArgPtr(s, 10), userData = U32(s, 16);
    const int8_t priority = GetArgInt8(s, 14);
    using Register = uint16_t(uint16_t, uint32_t, uint32_t, void*, int8_t, void*);
    if (!procedure) {
        SetResultD0UInt16(s, SysCall<Register>(slot::SysNotifyRegister, card, dbID, type, nullptr, priority,
                                               Ptr(userData)));
        return;
    }
    auto* entry = static_cast<NotifyEntry*>(sys::MemPtrNew(sizeof(NotifyEntry)));
    if (!entry) {
        SetResultD0UInt16(s, kErrNotifyNoMemory);
        return;
    }
    sys::MemPtrSetOwner(entry, 0);
    *entry = {dbID, type, priority, procedure, userData, s};
    EmulState* top = TopLevel(s);
    {
        std::lock_guard<std::mutex> hold(gListsLock);
        ListsOf(top).notify.push_back(entry);
    }
    const uint16_t err = SysCall<Register>(slot::SysNotifyRegister, card, dbID, type,
                                           reinterpret_cast<void*>(&SysNotifyBridge), priority, entry);
    if (err) {
        std::lock_guard<std::mutex> hold(gListsLock);
        auto& list = ListsOf(top).notify;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (*it == entry) {
                list.erase(it);
                break;
            }
        sys::MemChunkFree(entry);
    }
    SetResultD0UInt16(s, err);
}
void TrapSysNotifyUnregister(EmulState* s, uint16_t) {
    const uint32_t dbID = U32(s, 2), type = U32(s, 6);
    const int8_t priority = GetArgInt8(s, 10);
    {
        std::lock_guard<std::mutex> hold(gListsLock);
        auto& list = ListsOf(TopLevel(s)).notify;
        for (auto it = list.begin(); it != list.end(); ++it) {
            NotifyEntry* e = *it;
            if (e->dbID == dbID && e->notifyType == type && e->priority == priority) {
                list.erase(it);
                sys::MemChunkFree(e);
                break;
            }
        }
    }
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t, uint32_t, uint32_t, int8_t)>(
                             slot::SysNotifyUnregister, U16(s, 0), dbID, type, priority));
}
void TrapSysNotifyBroadcast(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 0);
    SysNotifyParamType native{};
    if (p) RecordToNative(&native, p, kNotifyLayout);
    const uint16_t err =
        SysCall<uint16_t(SysNotifyParamType*)>(slot::SysNotifyBroadcast, p ? &native : nullptr);
    if (p) RecordTo68K(&native, p, kNotifyLayout);
    SetResultD0UInt16(s, err);
}
void TrapSysNotifyBroadcastDeferred(EmulState* s, uint16_t) {
    const uint32_t p = GetArgPtr(s, 0);
    SysNotifyParamType native{};
    if (p) RecordToNative(&native, p, kNotifyLayout);
    SetResultD0UInt16(s, SysCall<uint16_t(SysNotifyParamType*, int16_t)>(slot::SysNotifyBroadcastDeferred,
                                                                         p ? &native : nullptr, I16(s, 4)));
}

// ---- sorts with a 68K compare function ----

// The compare function waits on the 68K stack, where the bridge finds it, for the native call.
template <typename Call>
auto WithCompare(EmulState* s, uint32_t compare, Call call) {
    s->A[7] -= 4;
    Write68KUInt32(s->A[7], 0, compare);
    auto result = call();
    s->A[7] += 4;
    return result;
}
using CompareProc = int16_t (*)(void*, void*, int32_t);

// SysQSort and SysInsertionSort: (base, count, width, compare function, other).
void SortCall(EmulState* s, uint16_t slotNumber, bool quick) {
    void* base = P(s, 0);
    const uint16_t count = U16(s, 4), width = U16(s, 6);
    const int32_t other = static_cast<int32_t>(U32(s, 12));
    if (quick && (width == 0 || count < 2)) return;
    WithCompare(s, GetArgPtr(s, 8), [&] {
        SysCall<void(void*, uint16_t, uint16_t, CompareProc, int32_t)>(slotNumber, base, count, width,
                                                                       &SysSortBridge, other);
        return 0;
    });
}
void TrapSysQSort(EmulState* s, uint16_t) {
    SortCall(s, slot::SysQSort, true);
}
void TrapSysInsertionSort(EmulState* s, uint16_t) {
    SortCall(s, slot::SysInsertionSort, false);
}
void TrapSysBinarySearch(EmulState* s, uint16_t) {
    const void* base = P(s, 0);
    const uint16_t count = U16(s, 4), width = U16(s, 6);
    const void* key = P(s, 12);
    const int32_t other = static_cast<int32_t>(U32(s, 16));
    const uint32_t positionP = GetArgPtr(s, 20);
    const uint8_t findFirst = U8(s, 24);
    int32_t position = 0;
    const uint8_t found = WithCompare(s, GetArgPtr(s, 8), [&] {
        return SysCall<uint8_t(const void*, uint16_t, uint16_t, CompareProc, const void*, int32_t, int32_t*,
                               uint8_t)>(slot::SysBinarySearch, base, count, width, &SysSortBridge, key,
                                         other, &position, findFirst);
    });
    if (positionP) Write68KUInt32(positionP, 0, static_cast<uint32_t>(position));
    SetResultD0UInt8(s, found);
}

// ---- the remaining system calls ----

constexpr uint16_t kCharDebugger = 0x0102, kCharConsole = 0x0104;
constexpr uint16_t kCommandModifiers = 0x0608;
constexpr uint8_t kSystemSoundClick = 7;
constexpr uint16_t kDebuggerVector = 188;

void TrapSysHandleEvent(EmulState* s, uint16_t) {
    SysEventType event{};
    const uint32_t p = GetArgPtr(s, 0);
    if (p) EventToARM(s, &event, p);
    if (event.eType == kKeyDownEvent) {
        uint16_t chr, modifiers;
        std::memcpy(&chr, event.data, 2);
        std::memcpy(&modifiers, event.data + 4, 2);
        if ((modifiers & kCommandModifiers) && (chr == kCharDebugger || chr == kCharConsole)) {
            SysCall<void(uint8_t)>(slot::SndPlaySystemSound, kSystemSoundClick);
            if (chr == kCharDebugger)
                MorvelEnterNub(s, kDebuggerVector);
            else
                ConsoleLaunch();
            SetResultD0UInt8(s, 1);
            return;
        }
    }
    SetResultD0UInt8(s, SysCall<uint8_t(SysEventType*)>(slot::SysHandleEvent, &event));
}

void TrapSysSleep(EmulState*, uint16_t) {
    SysEventType event{};
    event.eType = kKeyDownEvent;
    const uint16_t chr = 0x011E, modifiers = 8;
    std::memcpy(event.data, &chr, 2);
    std::memcpy(event.data + 4, &modifiers, 2);
    sys::EvtAddEventToQueue(&event);
}

void TrapSysReset(EmulState*, uint16_t) {
    SysCall<void()>(slot::SysReset);
}
void TrapSysSetAutoOffTime(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t)>(slot::SysSetAutoOffTime, U16(s, 0)));
}
void TrapSysCurAppDatabase(EmulState* s, uint16_t) {
    InOut16 card(GetArgPtr(s, 0));
    InOut32 dbID(GetArgPtr(s, 4));
    SetResultD0UInt16(
        s, SysCall<uint16_t(uint16_t*, uint32_t*)>(slot::SysCurAppDatabase, card.Native(), dbID.Native()));
    card.WriteBack();
    dbID.WriteBack();
}

void TrapSysSetTrapAddress(EmulState* s, uint16_t) {
    const uint16_t trap = U16(s, 0);
    const bool inTable = trap >= kTrapBase && trap < kTrapBase + kTrapCount;
    SetResultD0UInt16(s, inTable ? kErrUnimplementedTrap : kErrBadTrap);
}

// The thunk calls the handler itself with a trap index as its argument: the first index that holds
// it, so that every request for one handler shares one thunk.
void TrapSysGetTrapAddress(EmulState* s, uint16_t) {
    const uint16_t trap = U16(s, 0);
    EmulState* global = s->global ? s->global : s;
    TrapHandler* table = global->trapTable;
    if (!table) {
        SetResultA0(s, 0);
        return;
    }
    uint16_t index = static_cast<uint16_t>(trap - kTrapBase);
    if (trap < kTrapBase || index >= kTrapCount || IsDefaultTrapHandler(table[index]))
        index = kSysUnimplementedIndex;
    const TrapHandler h = table[index];
    uint16_t first = 0;
    while (table[first] != h) ++first;
    SetResultA0(s, NativeThunkNew(s, Addr(reinterpret_cast<void*>(h)), true, first));
}

void TrapSysTaskDelay(EmulState* s, uint16_t) {
    const int32_t delay = GetArgTicks(s, 0);
    ContextGateOpen open(s);  // callbacks of other tasks may run while this one waits
    SetResultD0UInt16(s, SysCall<uint16_t(int32_t)>(slot::SysTaskDelay, delay));
}
void TrapSysSetPerformance(EmulState* s, uint16_t) {
    if (uint32_t p = GetArgPtr(s, 0)) Write68KUInt32(p, 0, 200000000);
    if (uint32_t p = GetArgPtr(s, 4)) Write68KUInt16(p, 0, 1);
    SetResultD0UInt16(s, 0);
}

// SysBatteryInfo (withLevel: one more pointer) and SysBatteryInfoV20.
void BatteryInfo(EmulState* s, bool full) {
    const uint8_t set = U8(s, 0);
    uint16_t values[3] = {};
    const uint32_t ptrs[3] = {GetArgPtr(s, 2), GetArgPtr(s, 6), GetArgPtr(s, 10)};
    using Info = uint16_t(uint8_t, uint16_t*, uint16_t*, uint16_t*, void*, void*, void*);
    if (set) {
        SysCall<Info>(slot::SysBatteryInfo, 0, &values[0], &values[1], &values[2], nullptr, nullptr, nullptr);
        for (int i = 0; i < 3; ++i)
            if (ptrs[i]) values[i] = Read68KUInt16(ptrs[i], 0);
    }
    uint16_t* out[3];
    for (int i = 0; i < 3; ++i) out[i] = ptrs[i] ? &values[i] : nullptr;
    const uint16_t result = SysCall<Info>(slot::SysBatteryInfo, set, out[0], out[1], out[2], P(s, 14),
                                          P(s, 18), full ? P(s, 22) : nullptr);
    if (!set)
        for (int i = 0; i < 3; ++i)
            if (ptrs[i]) Write68KUInt16(ptrs[i], 0, values[i]);
    SetResultD0UInt16(s, result);
}
void TrapSysBatteryInfo(EmulState* s, uint16_t) {
    BatteryInfo(s, true);
}
void TrapSysBatteryInfoV20(EmulState* s, uint16_t) {
    BatteryInfo(s, false);
}

// (set, value): brightness and contrast.
template <uint16_t Slot>
void SetAndGet8(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint8_t, uint8_t)>(Slot, U8(s, 0), U8(s, 2)));
}
void TrapSysUIBusy(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint8_t, uint8_t)>(slot::SysUIBusy, U8(s, 0), U8(s, 2)));
}
void TrapSysRandom(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, SysCall<uint16_t(int32_t)>(slot::SysRandom, static_cast<int32_t>(U32(s, 0))));
}
void TrapVantorPrivate1(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint16_t)>(slot::VantorPrivate1, U16(s, 0)));
}
void TrapVantorPrivate2(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint32_t)>(slot::VantorPrivate2, U32(s, 0)));
}
void TrapVantorPrivate4(EmulState* s, uint16_t) {
    SetResultD0UInt32(s, SysCall<uint32_t()>(slot::VantorPrivate4));
}
void TrapSysLaunchConsole(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, ConsoleLaunch());
}

}  // namespace

// ---- bridges ----

uint16_t SysNotifyBridge(SysNotifyParamType* notify) {
    EmulState* s = GetTaskContext();
    if (!s || !notify) return 0;
    auto* entry = static_cast<NotifyEntry*>(notify->userDataP);
    if (!entry) return 0;
    ContextGateHold hold(s);
    uint8_t buffer[kNotify68KBytes + 2] = {};
    RecordTo68K(notify, Addr(buffer), kNotifyLayout);
    Write68KUInt32(Addr(buffer), 12, entry->userData);
    Write68KUInt32(s->A[7] - 4, 0, Addr(buffer));
    Call68KCode(s, entry->procedure, 4);
    void* userData = notify->userDataP;
    RecordToNative(notify, Addr(buffer), kNotifyLayout);
    notify->userDataP = userData;  // the OS keeps its own user data: the entry
    return static_cast<uint16_t>(s->D[0]);
}

int16_t SysSortBridge(void* a, void* b, int32_t other) {
    EmulState* s = GetTaskContext();
    if (!s) return 0;
    const uint32_t compare = Read68KUInt32(s->A[7], 0);
    Write68KUInt32(s->A[7] - 12, 0, Addr(a));
    Write68KUInt32(s->A[7] - 8, 0, Addr(b));
    Write68KUInt32(s->A[7] - 4, 0, static_cast<uint32_t>(other));
    Call68KCode(s, compare, 12);
    return static_cast<int16_t>(s->D[0]);
}

uint16_t SndStreamBridge(void* userData, uint32_t stream, void* buffer, uint32_t frames) {
    return StreamCall(static_cast<StreamEntry*>(userData), stream, buffer, frames);
}

uint16_t SndStreamExtBridge(void* userData, uint32_t stream, void* buffer, uint32_t* size) {
    uint8_t size68K[4];
    Write68KUInt32(Addr(size68K), 0, size ? *size : 0);
    const uint16_t result = StreamCall(static_cast<StreamEntry*>(userData), stream, buffer, Addr(size68K));
    if (size && result != kErrStreamNoProc) *size = Read68KUInt32(Addr(size68K), 0);
    return result;
}

void SystemGlueFree(EmulState* s) {
    std::lock_guard<std::mutex> hold(gListsLock);
    auto it = gLists.find(s);
    if (it == gLists.end()) return;
    ContextLists& lists = it->second;
    for (NotifyEntry* e : lists.notify) sys::MemChunkFree(e);
    lists.notify.clear();
    for (const DefinedFont& f : lists.fonts) sys::MemChunkFree(f.native);
    lists.fonts.clear();
    // A running stream still calls back into its entry: only idle ones go.
    for (auto e = lists.streams.begin(); e != lists.streams.end();) {
        if ((*e)->running) {
            ++e;
        } else {
            sys::MemChunkFree(*e);
            e = lists.streams.erase(e);
        }
    }
    if (lists.streams.empty()) gLists.erase(it);
}

void SystemGlueInstall(TrapHandler* t) {
    t[0x27A] = TrapFtrUnregister;
    t[0x27B] = TrapFtrGet;
    t[0x27C] = TrapFtrSet;
    t[0x27D] = TrapFtrGetByIndex;
    t[0x35A] = TrapFtrPtrNew;
    t[0x35B] = TrapFtrPtrFree;
    t[0x35C] = TrapFtrPtrResize;
    t[0x163] = TrapFntGetFont;
    t[0x164] = TrapFntSetFont;
    t[0x165] = TrapFntGetFontPtr;
    t[0x166] = FontQuery16<slot::FntBaseLine>;
    t[0x167] = FontQuery16<slot::FntCharHeight>;
    t[0x168] = FontQuery16<slot::FntLineHeight>;
    t[0x169] = FontQuery16<slot::FntAverageCharWidth>;
    t[0x16A] = TrapFntCharWidth;
    t[0x16B] = FontText16<slot::FntCharsWidth>;
    t[0x16C] = FontQuery16<slot::FntDescenderHeight>;
    t[0x16D] = TrapFntCharsInWidth;
    t[0x16E] = FontText16<slot::FntLineWidth>;
    t[0x2D9] = FontText16<slot::FntWordWrap>;
    t[0x2E3] = TrapFntWordWrapReverseNLines;
    t[0x2E4] = TrapFntGetScrollValues;
    t[0x321] = TrapFntDefineFont;
    t[0x34E] = TrapFntWidthToOffset;
    t[0x40C] = TrapFntWCharWidth;
    t[0x297] = TrapPwdExists;
    t[0x298] = TrapPwdVerify;
    t[0x299] = TrapPwdSet;
    t[0x29A] = TrapPwdRemove;
    t[0x435] = TrapSecGetPwdHint;
    t[0x436] = TrapSecSetPwdHint;
    t[0x2E0] = TrapPrefOpenPreferenceDB;
    t[0x22B] = TrapPrefOpenPreferenceDBV10;
    t[0x22C] = TrapPrefGetPreferences;
    t[0x22D] = TrapPrefSetPreferences;
    t[0x2D1] = TrapPrefGetPreference;
    t[0x2D2] = TrapPrefSetPreference;
    t[0x2D3] = TrapPrefGetAppPreferences;
    t[0x22E] = TrapPrefGetAppPreferencesV10;
    t[0x2D4] = TrapPrefSetAppPreferences;
    t[0x22F] = TrapPrefSetAppPreferencesV10;
    t[0x1C4] = TrapRctSetRectangle;
    t[0x1C5] = TrapRctCopyRectangle;
    t[0x1C6] = TrapRctInsetRectangle;
    t[0x1C7] = TrapRctOffsetRectangle;
    t[0x1C8] = TrapRctPtInRectangle;
    t[0x1C9] = TrapRctGetIntersection;
    t[0x231] = TrapSndSetDefaultVolume;
    t[0x232] = TrapSndGetDefaultVolume;
    t[0x233] = TrapSndDoCmd;
    t[0x234] = TrapSndPlaySystemSound;
    t[0x2AD] = TrapSndPlaySmf;
    t[0x2AE] = TrapSndCreateMidiList;
    t[0x36E] = TrapSndPlaySmfResource;
    t[0x45B] = TrapSndStreamCreate;
    t[0x45C] = TrapSndStreamDelete;
    t[0x45D] = TrapSndStreamStart;
    t[0x45E] = TrapSndStreamPause;
    t[0x45F] = TrapSndStreamStop;
    t[0x460] = StreamSet<slot::SndStreamSetVolume>;
    t[0x461] = StreamGet<slot::SndStreamGetVolume>;
    t[0x462] = TrapSndPlayResource;
    t[0x463] = StreamSet<slot::SndStreamSetPan>;
    t[0x464] = StreamGet<slot::SndStreamGetPan>;
    t[0x466] = TrapSndStreamCreateExtended;
    t[0x467] = TrapSndStreamDeviceControl;
    t[0x353] = TrapSysNotifyRegister;
    t[0x354] = TrapSysNotifyUnregister;
    t[0x355] = TrapSysNotifyBroadcast;
    t[0x356] = TrapSysNotifyBroadcastDeferred;
    t[0x08C] = TrapSysReset;
    t[0x0B2] = TrapSysSleep;
    t[0x0C0] = TrapSysSetAutoOffTime;
    t[0x0BE] = TrapSysLaunchConsole;
    t[0x0A9] = TrapSysHandleEvent;
    t[0x0AC] = TrapSysCurAppDatabase;
    t[0x092] = TrapSysSetTrapAddress;
    t[0x093] = TrapSysGetTrapAddress;
    t[0x0A0] = TrapSysTaskDelay;
    t[0x0B5] = TrapSysSetPerformance;
    t[0x324] = TrapSysBatteryInfo;
    t[0x0B6] = TrapSysBatteryInfoV20;
    t[0x37D] = SetAndGet8<slot::SysLCDBrightness>;
    t[0x34B] = SetAndGet8<slot::SysLCDContrast>;
    t[0x325] = TrapSysUIBusy;
    t[0x2F3] = TrapSysBinarySearch;
    t[0x2B3] = TrapSysInsertionSort;
    t[0x0AB] = TrapSysQSort;
    t[0x0C2] = TrapSysRandom;
    t[0x44A] = TrapVantorPrivate1;
    t[0x44B] = TrapVantorPrivate2;
    t[0x44D] = TrapVantorPrivate4;
}

}  // namespace morvel
