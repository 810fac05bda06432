#include "morvel/traps/BitmapGlue.h"

#include <cstring>

#include "common/module/NativeUi.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::NativeBitmap;

constexpr const char* kFile = "Bitmap68K";
constexpr uint16_t kErrNoMemory = 0x0503, kErrBadBitmap = 0x0502;
constexpr uint16_t kShadowKind = 0xFFFF;
constexpr uint32_t kKindColorTable = 3, kKindWindowBitmap = 5;
constexpr uint8_t kNativeVersionMark = 0x80;

// 68K bitmap flags.
constexpr uint16_t kCompressed = 0x8000, kHasColorTable = 0x4000, kHasTransparency = 0x2000,
                   kIndirect = 0x1000, kDirectColor = 0x0400, kIndirectColorTable = 0x0200;

BitmapShadow*& Head(EmulState* s) { return *reinterpret_cast<BitmapShadow**>(&s->bitmapShadows[0]); }

// Records keyed by native bitmap: colour-table copies (kind 3) and translations that a bitmap
// window keeps (kind 5).
struct KeyedRecord {
    KeyedRecord* next;
    uint32_t kind;
    void* key;
    void* data;
};
KeyedRecord*& Records(EmulState* s) { return *reinterpret_cast<KeyedRecord**>(&s->bitmapShadows[1]); }

KeyedRecord* RecordFind(EmulState* s, uint32_t kind, const void* key) {
    for (KeyedRecord* r = Records(s); r; r = r->next)
        if (r->kind == kind && r->key == key) return r;
    return nullptr;
}
KeyedRecord* RecordAdd(EmulState* s, uint32_t kind, void* key, void* data) {
    auto* r = static_cast<KeyedRecord*>(sys::MemPtrNew(sizeof(KeyedRecord)));
    if (!r) return nullptr;
    *r = {Records(s), kind, key, data};
    Records(s) = r;
    return r;
}
void RecordFree(EmulState* s, KeyedRecord* record) {
    for (KeyedRecord** r = &Records(s); *r; r = &(*r)->next)
        if (*r == record) {
            *r = record->next;
            break;
        }
    if (record->kind == kKindWindowBitmap)
        BitmapTranslationFree(static_cast<NativeBitmap*>(record->data));
    else if (record->data)
        sys::MemChunkFree(record->data);
    sys::MemChunkFree(record);
}

bool IsNativeVersion(uint32_t p) { return (Read68KInt8(p, 9) & kNativeVersionMark) != 0; }

bool Older(const NativeBitmap* b) { return (b->version & 0x7F) < 3; }

void ImageFill(const NativeBitmap* b, uint32_t image) {
    Write68KUInt16(image, 0, b->width);
    Write68KUInt16(image, 2, b->height);
    Write68KUInt16(image, 4, b->rowBytes);
    Write68KUInt16(image, 6, Older(b) && (b->flags & vantor::kNativeBmpHasTransparency) ? 0x2000 : 0);
    Write68KInt8(image, 8, b->pixelSize);
    Write68KInt8(image, 9, 0);
    Write68KUInt16(image, 10, 0);
    Write68KInt8(image, 12, Older(b) ? b->transparentIndex : 0);
}

template <typename Sig, typename... A>
auto Sys(uint16_t slotNumber, A... args) {
    return SysCall<Sig>(slotNumber, args...);
}

// A native colour table (u16 count in host order, then the 4-byte entries) from a 68K one; null
// for none, no memory, or a table that does not lie whole in the caller's memory (`bad` set).
void* ColorTableToNative(const EmulState* s, uint32_t p, bool* bad) {
    *bad = false;
    if (!p) return nullptr;
    const uint32_t room = (p & 1) ? 0 : BitmapExtent(s, p);
    if (room < 2 || 2 + 4u * Read68KUInt16(p, 0) > room) {
        *bad = true;
        return nullptr;
    }
    const uint16_t count = Read68KUInt16(p, 0);
    auto* t = static_cast<uint8_t*>(sys::MemPtrNew(2 + 4u * count));
    if (!t) return nullptr;
    std::memcpy(t, &count, 2);
    if (count) std::memcpy(t + 2, Mem(p) + 2, 4u * count);
    return t;
}

// The next bitmap of a raw bitmap's family; 0 at its end.
uint32_t RawNext(const RawBitmap& b) {
    if (b.version == 1 || b.version == 2) {
        const uint16_t words = Read68KUInt16(b.p, 10);
        return words ? b.p + 4u * words : 0;
    }
    if (b.version == 3) {
        const uint32_t offset = Read68KUInt32(b.p, 20);
        return offset ? b.p + offset : 0;
    }
    return 0;
}

// ---- traps ----

void TrapBmpCreate(EmulState* s, uint16_t) {
    bool badTable = false;
    void* table = ColorTableToNative(s, GetArgPtr(s, 6), &badTable);
    uint16_t err = badTable ? kErrBadBitmap : 0;
    NativeBitmap* b = badTable ? nullptr
                               : Sys<NativeBitmap*(int16_t, int16_t, uint8_t, void*, uint16_t*)>(
                                     slot::BmpCreate, I16(s, 0), I16(s, 2), U8(s, 4), table, &err);
    if (table) sys::MemChunkFree(table);
    uint32_t result = 0;
    if (b && err == 0) {
        result = BitmapShadowBuild(s, b);
        if (!result) {
            Sys<uint16_t(NativeBitmap*)>(slot::BmpDelete, b);
            err = kErrNoMemory;
        }
    }
    if (uint32_t e = GetArgPtr(s, 10)) Write68KUInt16(e, 0, err);
    SetResultA0(s, result);
}

void TrapBmpDelete(EmulState* s, uint16_t) {
    BitmapShadow* shadow = BitmapShadowFind68K(s, GetArgPtr(s, 0), false);
    if (!shadow) {
        SetResultD0UInt16(s, kErrBadBitmap);
        return;
    }
    const uint16_t err = Sys<uint16_t(NativeBitmap*)>(slot::BmpDelete, shadow->native);
    BitmapShadowFree(s, shadow);
    SetResultD0UInt16(s, err);
}

void TrapBmpCompress(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    BitmapFromArg(s, 0, &native);
    SetResultD0UInt16(s, native ? Sys<uint16_t(NativeBitmap*, uint8_t)>(slot::BmpCompress, native, U8(s, 4))
                                : kErrBadBitmap);
}

void TrapBmpGetBits(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    RawBitmap raw;
    if (native)
        SetResultA0(s, Addr(Sys<void*(NativeBitmap*)>(slot::BmpGetBits, native)));
    else
        SetResultA0(s, RawBitmapRead(s, p, &raw) ? raw.bits : 0);
}

void TrapBmpGetColortable(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    if (!native) {
        RawBitmap raw;
        SetResultA0(s, RawBitmapRead(s, p, &raw) ? raw.colorTable : 0);
        return;
    }
    const auto* table = Sys<const uint8_t*(NativeBitmap*)>(slot::BmpGetColortable, native);
    if (!table) {
        SetResultA0(s, 0);
        return;
    }
    uint16_t count;
    std::memcpy(&count, table, 2);
    // One 68K copy per bitmap, kept while the count stays the same.
    KeyedRecord* r = RecordFind(s, kKindColorTable, native);
    if (r && Read68KUInt16(Addr(r->data), 0) != count) {
        RecordFree(s, r);
        r = nullptr;
    }
    if (!r) {
        void* copy = sys::MemPtrNew(2 + 4u * count);
        if (copy && !(r = RecordAdd(s, kKindColorTable, native, copy))) sys::MemChunkFree(copy);
        if (!r) {
            SetResultA0(s, 0);
            return;
        }
    }
    Write68KUInt16(Addr(r->data), 0, count);
    std::memcpy(static_cast<uint8_t*>(r->data) + 2, table + 2, 4u * count);
    SetResultA0(s, Addr(r->data));
}

// Sizes: native bitmaps from the OS, raw ones computed from their header.
enum class Size { Whole, Bits, ColorTable };
template <Size What>
void TrapSize(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    if (native) {
        if constexpr (What == Size::Whole) SetResultD0UInt32(s, Sys<uint32_t(NativeBitmap*)>(slot::BmpSize, native));
        if constexpr (What == Size::Bits) SetResultD0UInt32(s, Sys<uint32_t(NativeBitmap*)>(slot::BmpBitsSize, native));
        if constexpr (What == Size::ColorTable)
            SetResultD0UInt16(s, Sys<uint16_t(NativeBitmap*)>(slot::BmpColortableSize, native));
        return;
    }
    RawBitmap raw{};
    const bool ok = RawBitmapRead(s, p, &raw);
    if constexpr (What == Size::Whole) SetResultD0UInt32(s, ok ? raw.bitsOffset + (raw.flags & kIndirect ? 4 : raw.bitsSize) : 0);
    if constexpr (What == Size::Bits) SetResultD0UInt32(s, ok ? raw.bitsSize : 0);
    if constexpr (What == Size::ColorTable) SetResultD0UInt16(s, ok ? static_cast<uint16_t>(raw.colorTableSize) : 0);
}

void TrapBmpGetSizes(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    InOut32 data(GetArgPtr(s, 4)), header(GetArgPtr(s, 8));
    if (native) {
        Sys<void(NativeBitmap*, uint32_t*, uint32_t*)>(slot::BmpGetSizes, native, data.Native(), header.Native());
    } else if (RawBitmap raw{}; RawBitmapRead(s, p, &raw)) {
        data.value = raw.bitsSize;
        header.value = raw.bitsOffset + (raw.flags & kIndirect ? 4 : 0);
    }
    data.WriteBack();
    header.WriteBack();
}

void TrapBmpGetDimensions(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    InOut16 width(GetArgPtr(s, 4)), height(GetArgPtr(s, 8)), rowBytes(GetArgPtr(s, 12));
    if (native) {
        Sys<void(NativeBitmap*, int16_t*, int16_t*, uint16_t*)>(slot::BmpGetDimensions, native,
                                                             width.Native<int16_t>(), height.Native<int16_t>(),
                                                             rowBytes.Native());
    } else if (RawBitmap raw{}; RawBitmapRead(s, p, &raw)) {
        width.value = raw.width;
        height.value = raw.height;
        rowBytes.value = raw.rowBytes;
    }
    width.WriteBack();
    height.WriteBack();
    rowBytes.WriteBack();
}

void TrapBmpGetBitDepth(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    RawBitmap raw{};
    SetResultD0UInt8(s, native                      ? Sys<uint8_t(NativeBitmap*)>(slot::BmpGetBitDepth, native)
                        : RawBitmapRead(s, p, &raw) ? raw.pixelSize
                                                 : 0);
}

void TrapBmpGetNextBitmap(EmulState* s, uint16_t) {
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, 0, &native);
    if (native) {
        BitmapResultA0(s, Sys<NativeBitmap*(NativeBitmap*)>(slot::BmpGetNextBitmap, native));
        return;
    }
    RawBitmap raw{};
    SetResultA0(s, RawBitmapRead(s, p, &raw) ? RawNext(raw) : 0);
}

// WinDrawBitmap and WinPaintBitmap: a raw bitmap is translated for the call.
template <uint16_t Slot>
void DrawBitmap(EmulState* s, uint16_t) {
    bool allocated = false;
    NativeBitmap* b = BitmapFromArgTranslated(s, 0, &allocated);
    if (b) Sys<void(NativeBitmap*, int16_t, int16_t)>(Slot, b, I16(s, 4), I16(s, 6));
    if (allocated) BitmapTranslationFree(b);
}

void TrapWinGetBitmap(EmulState* s, uint16_t) {
    BitmapResultA0(s, Sys<NativeBitmap*(void*)>(slot::WinGetBitmap, WindowFromArg(s, 0)));
}

void TrapWinCreateBitmapWindow(EmulState* s, uint16_t) {
    bool allocated = false;
    NativeBitmap* b = BitmapFromArgTranslated(s, 0, &allocated);
    uint16_t err = 0;
    void* window = b ? Sys<void*(NativeBitmap*, uint16_t*)>(slot::WinCreateBitmapWindow, b, &err) : nullptr;
    if (!b) err = kErrBadBitmap;
    if (allocated && (err || !window || !RecordAdd(s, kKindWindowBitmap, window, b))) BitmapTranslationFree(b);
    const uint32_t handle = err == 0 ? WindowTo68K(s, window) : 0;
    if (uint32_t e = GetArgPtr(s, 4)) Write68KUInt16(e, 0, err);
    SetResultA0(s, handle);
}

// ---- HighDensityDispatch ----

void HighDensityBitmap(EmulState* s, uint16_t selector);

uint16_t RawDensity(const RawBitmap& b) {
    if (b.version >= 3) return Read68KUInt16(b.p, 14);
    return b.version == 2 && Read68KUInt16(b.p, 14) == 8 ? 144 : 72;
}

void TrapHighDensityDispatch(EmulState* s, uint16_t) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    if (WindowHighDensitySelector(s, selector)) return;
    HighDensityBitmap(s, selector);
}

}  // namespace

bool BitmapAccessorSelector(EmulState* s, uint16_t selector) {
    // Compression type, transparent value and setting it, as the high-density selectors 2, 5, 6.
    if (selector < 3 || selector > 5) return false;
    HighDensityBitmap(s, selector == 3 ? 2 : selector == 4 ? 5 : 6);
    return true;
}

namespace {

void HighDensityBitmap(EmulState* s, uint16_t selector) {
    NativeBitmap* native = nullptr;
    uint32_t p = 0;
    RawBitmap raw{};
    bool rawOk = false;
    if (selector <= 7 || selector == 15) {
        p = BitmapFromArg(s, 0, &native);
        rawOk = !native && RawBitmapRead(s, p, &raw);
    }
    switch (selector) {
        case 0:
            if (native) {
                BitmapResultA0(s, Sys<NativeBitmap*(NativeBitmap*)>(slot::BmpGetNextBitmapAnyDensity, native));
            } else {
                uint32_t next = rawOk ? RawNext(raw) : 0;
                if (next && !(next & 1) && BitmapExtent(s, next) >= 16 && Read68KUInt16(next, 8) == 0x01FF)
                    next += 16;  // a family marker
                SetResultA0(s, next);
            }
            return;
        case 1:
            SetResultD0UInt8(s, native ? Sys<uint8_t(NativeBitmap*)>(slot::BmpGetVersion, native)
                                       : rawOk ? raw.version : 0);
            return;
        case 2:
            SetResultD0UInt8(s, native                            ? Sys<uint8_t(NativeBitmap*)>(slot::BmpGetCompressionType, native)
                                : !rawOk || !(raw.flags & kCompressed) ? 0xFF
                                : raw.version > 1                      ? raw.compressionType
                                                                       : 0);
            return;
        case 3:
            SetResultD0UInt16(s, native ? Sys<uint16_t(NativeBitmap*)>(slot::BmpGetDensity, native)
                                        : rawOk ? RawDensity(raw) : 0);
            return;
        case 5: {
            InOut32 value(GetArgPtr(s, 4));
            uint8_t has = 0;
            if (native) {
                has = Sys<uint8_t(NativeBitmap*, uint32_t*)>(slot::BmpGetTransparentValue, native, value.Native());
            } else if (rawOk && raw.version >= 2 && (raw.flags & kHasTransparency)) {
                has = 1;
                if (raw.version == 3) {
                    value.value = Read68KUInt32(p, 16);
                } else if (raw.pixelSize >= 9 && raw.directColor) {
                    // The transparent colour of the direct-colour information, as RGB 5-6-5.
                    const uint32_t c = raw.directColor + 4;
                    value.value = static_cast<uint32_t>((Read68KInt8(c, 1) >> 3) << 11 |
                                                        (Read68KInt8(c, 2) >> 2) << 5 | Read68KInt8(c, 3) >> 3);
                } else {
                    value.value = Read68KInt8(p, 12);
                }
            }
            value.WriteBack();
            SetResultD0UInt8(s, has);
            return;
        }
        case 4: {
            const uint16_t density = U16(s, 4);
            if (native) {
                SetResultD0UInt16(s, Sys<uint16_t(NativeBitmap*, uint16_t)>(slot::BmpSetDensity, native, density));
                return;
            }
            // A raw version-3 bitmap takes a density the OS lists.
            bool listed = false;
            if (rawOk && raw.version == 3) {
                uint16_t walk = 0;
                for (int i = 0; i < 16 && !listed; ++i) {
                    if (Sys<uint16_t(uint16_t*)>(slot::HighDensitySel16, &walk) != 0) break;
                    listed = walk == density;
                }
            }
            if (listed) Write68KUInt16(p, 14, density);
            SetResultD0UInt16(s, listed ? 0 : kErrBadBitmap);
            return;
        }
        case 6: {
            const uint32_t value = U32(s, 4);
            if (native) {
                const uint16_t err =
                    Sys<uint16_t(NativeBitmap*, uint32_t)>(slot::BmpSetTransparentValue, native, value);
                if (Older(native)) {
                    const bool clear = value == 0xFFFFFFFFu;
                    native->flags = static_cast<uint16_t>(clear ? native->flags & ~vantor::kNativeBmpHasTransparency
                                                                : native->flags | vantor::kNativeBmpHasTransparency);
                    native->transparentIndex = clear ? 0 : static_cast<uint8_t>(value);
                    if (BitmapShadow* b = BitmapShadowFindNative(s, native)) ImageFill(native, Addr(b->image));
                }
                SetResultD0UInt16(s, err);
                return;
            }
            if (!rawOk || (raw.version < 3 && value != 0xFFFFFFFFu && value > 0xFF)) {
                ErrDisplayFileLineMsg(kFile, 2480, "BmpSetTransparentValue: invalid transparent color");
                return;
            }
            uint16_t flags = Read68KUInt16(p, 6);
            flags = value == 0xFFFFFFFFu ? static_cast<uint16_t>(flags & ~kHasTransparency)
                                         : static_cast<uint16_t>(flags | kHasTransparency);
            Write68KUInt16(p, 6, flags);
            if (value != 0xFFFFFFFFu) {
                if (raw.version == 3)
                    Write68KUInt32(p, 16, value);
                else
                    Write68KInt8(p, 12, static_cast<uint8_t>(value));
            }
            return;
        }
        case 7: {
            bool allocated = false;
            NativeBitmap* b = BitmapFromArgTranslated(s, 0, &allocated);
            bool badTable = false;
            void* table = ColorTableToNative(s, GetArgPtr(s, 10), &badTable);
            NativeBitmap* made = b && !badTable ? Sys<NativeBitmap*(NativeBitmap*, uint16_t, void*, void*)>(
                                      slot::BmpCreateVersion3, b, U16(s, 4), P(s, 6), table)
                                : nullptr;
            if (table) sys::MemChunkFree(table);
            if (allocated) BitmapTranslationFree(b);
            const uint32_t image = made ? BitmapShadowBuild(s, made) : 0;
            if (made && !image) Sys<uint16_t(NativeBitmap*)>(slot::BmpDelete, made);
            SetResultA0(s, image);
            return;
        }
        case 15: {
            bool allocated = false;
            NativeBitmap* b = BitmapFromArgTranslated(s, 0, &allocated);
            NativeRect r{};
            const uint32_t rp = GetArgPtr(s, 4);
            if (rp) Read68KRect(&r, rp);
            if (b) Sys<void(NativeBitmap*, const NativeRect*)>(slot::WinPaintTiledBitmap, b, rp ? &r : nullptr);
            if (allocated) BitmapTranslationFree(b);
            return;
        }
        default:
            ErrDisplayFileLineMsg(kFile, 2590, "Unknown HighDensityDispatch request:", selector);
            return;
    }
}

}  // namespace

// ---- raw 68K bitmaps ----

uint32_t BitmapExtent(const EmulState* s, uint32_t p) { return p ? ValidatePtr(s, p, true, true) : 0; }

bool RawBitmapRead(const EmulState* s, uint32_t p, RawBitmap* out) {
    // Every field is read only once the memory holding the bitmap is known to reach it.
    const uint32_t limit = (p & 1) ? 0 : BitmapExtent(s, p);
    if (limit < 16) return false;
    RawBitmap b{};
    b.p = p;
    b.width = Read68KUInt16(p, 0);
    b.height = Read68KUInt16(p, 2);
    b.rowBytes = Read68KUInt16(p, 4);
    b.flags = Read68KUInt16(p, 6);
    b.pixelSize = Read68KInt8(p, 8);
    b.version = Read68KInt8(p, 9);
    if (b.version > 3) return false;
    if (b.version == 0) b.pixelSize = 1;
    if (b.version < 3) b.flags &= static_cast<uint16_t>(~kIndirectColorTable);
    b.compressionType = b.version >= 2 ? Read68KInt8(p, 13) : 0;
    b.headerSize = b.version == 3 ? 24 : 16;
    if (b.headerSize > limit) return false;
    uint32_t at = b.headerSize;
    if (b.flags & kHasColorTable) {
        if (b.flags & kIndirectColorTable) {
            if (at + 4 > limit) return false;
            b.colorTable = Read68KUInt32(p, at);
            at += 4;
            const uint32_t room = (b.colorTable & 1) ? 0 : BitmapExtent(s, b.colorTable);
            if (room < 2 || 4u * Read68KUInt16(b.colorTable, 0) + 2 > room) return false;
        } else {
            if (at + 2 > limit) return false;
            b.colorTable = p + at;
            b.colorTableSize = 4u * Read68KUInt16(p, at) + 2;
            at += b.colorTableSize;
            if (at > limit) return false;
        }
    }
    if (b.version < 3 && (b.flags & kDirectColor)) {
        b.directColor = p + at;
        at += 8;
        if (at > limit) return false;
    }
    b.bitsOffset = at;
    uint32_t room = limit - at;
    b.bits = p + at;
    if (b.flags & kIndirect) {
        if (at + 4 > limit) return false;
        b.bits = Read68KUInt32(p, at);
        room = BitmapExtent(s, b.bits);
    }
    // The bits must lie whole in the same memory: the compressed data as its size word (which
    // counts itself) says, plain bits row bytes times height.
    if (b.flags & kCompressed) {
        const uint32_t word = b.version >= 3 ? 4 : 2;
        if ((b.bits & 1) || room < word) return false;
        b.bitsSize = word == 4 ? Read68KUInt32(b.bits, 0) : Read68KUInt16(b.bits, 0);
        if (b.bitsSize < word || b.bitsSize > room) return false;
    } else {
        b.bitsSize = uint32_t{b.rowBytes} * b.height;
        if (b.bitsSize > room) return false;
    }
    *out = b;
    return true;
}

uint16_t BitmapTo68KImage(NativeBitmap* b, uint8_t* header, uint16_t* flagsOut, bool* version3) {
    std::memset(header, 0, 24);
    const uint32_t image = Addr(header);
    const uint8_t version = Sys<uint8_t(NativeBitmap*)>(slot::BmpGetVersion, b);
    if (version > 3) return kErrBadBitmap;
    int16_t width = 0, height = 0;
    uint16_t rowBytes = 0;
    Sys<void(NativeBitmap*, int16_t*, int16_t*, uint16_t*)>(slot::BmpGetDimensions, b, &width, &height, &rowBytes);
    Write68KUInt16(image, 0, static_cast<uint16_t>(width));
    Write68KUInt16(image, 2, static_cast<uint16_t>(height));
    Write68KUInt16(image, 4, rowBytes);
    uint32_t transparent = 0;
    const bool hasTransparency = Sys<uint8_t(NativeBitmap*, uint32_t*)>(slot::BmpGetTransparentValue, b, &transparent);
    const uint8_t compression = Sys<uint8_t(NativeBitmap*)>(slot::BmpGetCompressionType, b);
    uint16_t flags = 0;
    if (hasTransparency) flags |= kHasTransparency;
    if (compression != 0xFF) flags |= kCompressed;
    if (Sys<uint16_t(NativeBitmap*)>(slot::BmpColortableSize, b)) flags |= kHasColorTable;
    if (b->flags & vantor::kNativeBmpDirectColor) flags |= kDirectColor;
    Write68KUInt16(image, 6, flags);
    Write68KInt8(image, 8, Sys<uint8_t(NativeBitmap*)>(slot::BmpGetBitDepth, b));
    Write68KInt8(image, 9, version);
    if (version < 3) {
        if (hasTransparency) Write68KInt8(image, 12, static_cast<uint8_t>(transparent));
        if (compression != 0xFF) Write68KInt8(image, 13, compression);
    } else {
        Write68KInt8(image, 10, 24);
        Write68KInt8(image, 11, reinterpret_cast<const vantor::NativeBitmapV3*>(b)->pixelFormat);
        Write68KInt8(image, 13, compression);
        Write68KUInt16(image, 14, Sys<uint16_t(NativeBitmap*)>(slot::BmpGetDensity, b));
        Write68KUInt32(image, 16, transparent);
    }
    *flagsOut = flags;
    *version3 = version == 3;
    return 0;
}

namespace {

// A native bitmap as one self-contained 68K bitmap: its 68K header, its colour table (the count
// big-endian), its direct-colour information, then its bits as the OS reports them. Empty when the
// OS's answers do not make one that fits a clipboard item.
std::vector<uint8_t> NativeClipboardImage(NativeBitmap* b) {
    uint8_t header[24];
    uint16_t flags = 0;
    bool version3 = false;
    if (BitmapTo68KImage(b, header, &flags, &version3) != 0) return {};
    const uint32_t headerSize = version3 ? 24 : 16;
    uint32_t tableSize = 0;
    const uint8_t* table = nullptr;
    if (flags & kHasColorTable) {
        tableSize = Sys<uint16_t(NativeBitmap*)>(slot::BmpColortableSize, b);
        table = Sys<const uint8_t*(NativeBitmap*)>(slot::BmpGetColortable, b);
        uint16_t count = 0;
        if (table) std::memcpy(&count, table, 2);
        if (!table || tableSize != 2 + 4u * count) return {};
    }
    const uint32_t direct = !version3 && (flags & kDirectColor) ? 8 : 0;
    uint32_t bitsSize = 0, before = 0;
    Sys<void(NativeBitmap*, uint32_t*, uint32_t*)>(slot::BmpGetSizes, b, &bitsSize, &before);
    const auto* bits = Sys<const uint8_t*(NativeBitmap*)>(slot::BmpGetBits, b);
    const uint64_t size = uint64_t{headerSize} + tableSize + direct + bitsSize;
    if ((bitsSize && !bits) || size > 0xFFFF) return {};
    std::vector<uint8_t> out(static_cast<size_t>(size));
    uint8_t* at = out.data();
    std::memcpy(at, header, headerSize);
    at += headerSize;
    if (tableSize) {
        std::memcpy(at, table, tableSize);
        Write68KUInt16(Addr(at), 0, static_cast<uint16_t>((tableSize - 2) / 4));
        at += tableSize;
    }
    if (direct) {
        // The native bitmap keeps its direct-colour information after its header and colour table.
        std::memcpy(at, reinterpret_cast<const uint8_t*>(b) + headerSize + tableSize, direct);
        at += direct;
    }
    if (bitsSize) std::memcpy(at, bits, bitsSize);
    return out;
}

}  // namespace

std::vector<uint8_t> BitmapClipboardImage(EmulState* s, uint32_t p) {
    if (BitmapShadow* shadow = BitmapShadowFind68K(s, p, true)) return NativeClipboardImage(shadow->native);
    RawBitmap b{};
    if (!RawBitmapRead(s, p, &b)) return {};
    const uint32_t table = b.colorTable ? 4u * Read68KUInt16(b.colorTable, 0) + 2 : 0;
    const uint32_t direct = b.directColor ? 8 : 0;
    const uint32_t size = b.headerSize + table + direct + b.bitsSize;
    if (size > 0xFFFF) return {};
    std::vector<uint8_t> out(size);
    std::memcpy(out.data(), Mem(p), b.headerSize);
    const uint32_t image = Addr(out.data());
    Write68KUInt16(image, 6, static_cast<uint16_t>(b.flags & ~(kIndirect | kIndirectColorTable)));
    if (b.version == 3) Write68KUInt32(image, 20, 0);
    else if (b.version > 0) Write68KUInt16(image, 10, 0);
    if (table) std::memcpy(out.data() + b.headerSize, Mem(b.colorTable), table);
    if (direct) std::memcpy(out.data() + b.headerSize + table, Mem(b.directColor), direct);
    std::memcpy(out.data() + b.headerSize + table + direct, Mem(b.bits), b.bitsSize);
    return out;
}

NativeBitmap* BitmapFromArgTranslated(EmulState* s, uint32_t offset, bool* allocated) {
    *allocated = false;
    NativeBitmap* native = nullptr;
    const uint32_t p = BitmapFromArg(s, offset, &native);
    if (native || !p) return native;
    RawBitmap raw{};
    if (!RawBitmapRead(s, p, &raw) || raw.width == 0) return nullptr;
    // Drawing reads whole rows: a row must hold the width's pixels at a depth the screen knows.
    const uint8_t depth = raw.pixelSize;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return nullptr;
    if (uint32_t{raw.rowBytes} * 8 < uint32_t{raw.width} * depth) return nullptr;
    // The native record: the header in host order, the colour table or direct-colour information
    // copied, and a pointer to the bits, which stay where they are.
    const uint32_t extra = raw.bitsOffset - raw.headerSize;
    const uint32_t size = raw.bitsOffset + 4;
    auto* out = static_cast<uint8_t*>(sys::MemPtrNew(size));
    if (!out) return nullptr;
    std::memset(out, 0, size);
    auto* b = reinterpret_cast<NativeBitmap*>(out);
    b->width = raw.width;
    b->height = raw.height;
    b->rowBytes = raw.rowBytes;
    uint16_t flags = vantor::kNativeBmpIndirect;
    if (raw.flags & kCompressed) flags |= vantor::kNativeBmpCompressed;
    if (raw.flags & kHasColorTable) flags |= vantor::kNativeBmpHasColorTable;
    if (raw.flags & kHasTransparency) flags |= vantor::kNativeBmpHasTransparency;
    if (raw.flags & kDirectColor) flags |= vantor::kNativeBmpDirectColor;
    if (raw.flags & kIndirectColorTable) flags |= vantor::kNativeBmpIndirectColorTable;
    b->flags = flags;
    b->pixelSize = raw.pixelSize;
    b->version = static_cast<uint8_t>(raw.version | kNativeVersionMark);
    if (raw.version < 3) {
        b->transparentIndex = Read68KInt8(p, 12);
        b->compressionType = raw.compressionType;
    } else {
        auto* v3 = reinterpret_cast<vantor::NativeBitmapV3*>(out);
        v3->headerSize = 24;
        v3->pixelFormat = Read68KInt8(p, 11);
        v3->compressionType = raw.compressionType;
        v3->density = Read68KUInt16(p, 14);
        v3->transparentValue = Read68KUInt32(p, 16);
    }
    if (extra) {
        std::memcpy(out + raw.headerSize, Mem(p) + raw.headerSize, extra);
        if ((raw.flags & kHasColorTable) && !(raw.flags & kIndirectColorTable)) {
            const uint16_t count = Read68KUInt16(p, raw.headerSize);
            std::memcpy(out + raw.headerSize, &count, 2);
        }
    }
    std::memcpy(out + raw.bitsOffset, &raw.bits, 4);
    *allocated = true;
    return b;
}

void BitmapTranslationFree(NativeBitmap* bitmap) {
    if (bitmap) sys::MemChunkFree(bitmap);
}

uint32_t BitmapFromArg(EmulState* s, uint32_t offset, NativeBitmap** native) {
    const uint32_t p = GetArgPtr(s, offset);
    *native = nullptr;
    if (!p) return 0;
    if (BitmapShadow* b = BitmapShadowFind68K(s, p, true)) {
        *native = b->native;
        return p;
    }
    if (!(p & 1) && BitmapExtent(s, p) >= 16 && IsNativeVersion(p)) *native = Ptr<NativeBitmap>(p);
    return p;
}

void BitmapResultA0(EmulState* s, NativeBitmap* native) {
    if (!native) {
        SetResultA0(s, 0);
        return;
    }
    BitmapShadow* b = BitmapShadowFindNative(s, native);
    SetResultA0(s, b ? Addr(b->image) : BitmapShadowBuild(s, native));
}

uint32_t BitmapShadowBuild(EmulState* s, NativeBitmap* native) {
    if (BitmapShadow* old = BitmapShadowFindNative(s, native)) BitmapShadowFree(s, old);
    auto* b = static_cast<BitmapShadow*>(ShadowNew(sizeof(BitmapShadow)));
    if (!b) return 0;
    b->zero = 0;
    b->kind = kShadowKind;
    b->native = native;
    ImageFill(native, Addr(b->image));
    b->prev = nullptr;
    b->next = Head(s);
    if (Head(s)) Head(s)->prev = b;
    Head(s) = b;
    return Addr(b->image);
}

BitmapShadow* BitmapShadowFind68K(EmulState* s, uint32_t image, bool sync) {
    for (BitmapShadow* b = Head(s); b; b = b->next) {
        if (Addr(b->image) != image) continue;
        if (sync && Older(b->native)) {
            // 68K code may have set the transparency in the image.
            if (Read68KUInt16(image, 6) & kHasTransparency) {
                b->native->flags |= vantor::kNativeBmpHasTransparency;
                b->native->transparentIndex = Read68KInt8(image, 12);
            } else {
                b->native->flags &= static_cast<uint16_t>(~vantor::kNativeBmpHasTransparency);
            }
        }
        return b;
    }
    return nullptr;
}

BitmapShadow* BitmapShadowFindNative(EmulState* s, const NativeBitmap* native) {
    for (BitmapShadow* b = Head(s); b; b = b->next)
        if (b->native == native) return b;
    return nullptr;
}

void BitmapShadowFree(EmulState* s, BitmapShadow* shadow) {
    if (shadow->prev)
        shadow->prev->next = shadow->next;
    else
        Head(s) = shadow->next;
    if (shadow->next) shadow->next->prev = shadow->prev;
    while (KeyedRecord* r = RecordFind(s, kKindColorTable, shadow->native)) RecordFree(s, r);
    ShadowFree(shadow);
}

void BitmapShadowsFreeAll(EmulState* s) {
    while (Head(s)) BitmapShadowFree(s, Head(s));
    while (Records(s)) RecordFree(s, Records(s));
}

void BitmapWindowRelease(EmulState* s, void* window) {
    auto* w = static_cast<vantor::NativeWindow*>(window);
    if (w->flags & vantor::kWindowFreeBitmap) {
        auto* bitmap = Sys<NativeBitmap*(void*)>(slot::WinGetBitmap, window);
        if (BitmapShadow* b = BitmapShadowFindNative(s, bitmap)) BitmapShadowFree(s, b);
    } else if (KeyedRecord* r = RecordFind(s, kKindWindowBitmap, window)) {
        RecordFree(s, r);
    }
}

void BitmapGlueInstall(TrapHandler* t) {
    t[0x3DD] = TrapBmpCreate;
    t[0x3DE] = TrapBmpDelete;
    t[0x3DF] = TrapBmpCompress;
    t[0x376] = TrapBmpGetBits;
    t[0x3E0] = TrapBmpGetColortable;
    t[0x3E1] = TrapSize<Size::Whole>;
    t[0x3E2] = TrapSize<Size::Bits>;
    t[0x3E3] = TrapSize<Size::ColorTable>;
    t[0x455] = TrapBmpGetSizes;
    t[0x44E] = TrapBmpGetDimensions;
    t[0x44F] = TrapBmpGetBitDepth;
    t[0x450] = TrapBmpGetNextBitmap;
    t[0x3E4] = TrapWinCreateBitmapWindow;
    t[0x3A2] = TrapWinGetBitmap;
    t[0x226] = DrawBitmap<slot::WinDrawBitmap>;
    t[0x380] = DrawBitmap<slot::WinPaintBitmap>;
    t[0x3EC] = TrapHighDensityDispatch;
}

}  // namespace morvel
