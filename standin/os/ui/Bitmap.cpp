// Native bitmaps: drawn through UiDraw (the native record read into the drawing record Kez takes),
// and the bitmaps the OS makes for applications (system slots 17-28 and the queries 795-799):
// version 2 with a 16-byte header, the colour table it was given, then its bits, all white.
#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/StandinOs.h"
#include "standin/os/ui/UiBitmap.h"
#include "standin/os/ui/UiDraw.h"

namespace vantor::os::ui {
namespace {

// Where the parts of a native bitmap lie: its colour table (count, then entries; null for none),
// its bits (the compressed data with its size word first when compressed), and their sizes.
struct Layout {
    uint8_t version;
    uint32_t headerSize;  // the header, colour table and direct-colour information before the bits
    const uint8_t* table;
    uint32_t tableSize;
    const uint8_t* bits;
    uint32_t bitsSize;
};
bool Measure(const void* bitmap, Layout* out) {
    if (!bitmap) return false;
    const auto* b = static_cast<const NativeBitmap*>(bitmap);
    const auto* p = static_cast<const uint8_t*>(bitmap);
    Layout l{};
    l.version = b->version & 0x7F;
    if (l.version > 3) return false;
    uint32_t at = l.version == 3 ? 24 : 16;
    if (b->flags & kNativeBmpHasColorTable) {
        l.table = p + at;
        if (l.version == 3 && (b->flags & kNativeBmpIndirectColorTable)) {
            std::memcpy(&l.table, p + at, 4);
            at += 4;
        }
        uint16_t count = 0;
        if (l.table) std::memcpy(&count, l.table, 2);
        if (count > 256) return false;
        l.tableSize = 2 + 4u * count;
        if (!(l.version == 3 && (b->flags & kNativeBmpIndirectColorTable))) at += l.tableSize;
    } else if (l.version < 3 && (b->flags & kNativeBmpDirectColor)) {
        at += 8;
    }
    l.headerSize = at;
    l.bits = p + at;
    if (b->flags & kNativeBmpIndirect) {
        std::memcpy(&l.bits, p + at, 4);
        l.headerSize += 4;
    }
    if (!l.bits) return false;
    if (b->flags & kNativeBmpCompressed)
        l.bitsSize = l.version == 3 ? ReadBE32(l.bits) : ReadBE16(l.bits);
    else
        l.bitsSize = uint32_t{b->rowBytes} * b->height;
    *out = l;
    return true;
}

// ---- the bitmaps the OS makes ----

constexpr uint16_t kErrParam = 0x0502, kErrNoMemory = 0x0503;

// A bitmap of the size and depth asked for, with a copy of the colour table given (a count, then
// 4-byte entries), its bits cleared.
NativeBitmap* StandinBmpCreate(int16_t width, int16_t height, uint8_t depth, const uint8_t* table, uint16_t* err) {
    uint16_t count = 0;
    if (table) std::memcpy(&count, table, 2);
    const bool depthKnown = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    if (width <= 0 || height <= 0 || !depthKnown || count > 256) {
        if (err) *err = kErrParam;
        return nullptr;
    }
    const uint32_t rowBytes = (uint32_t(width) * depth + 15) / 16 * 2;
    const uint32_t tableSize = table ? 2 + 4u * count : 0;
    const uint32_t size = 16 + tableSize + rowBytes * uint32_t(height);
    auto* p = static_cast<uint8_t*>(OsCall<syssig::MemPtrNew>(sysslot::MemPtrNew, size));
    if (!p) {
        if (err) *err = kErrNoMemory;
        return nullptr;
    }
    std::memset(p, 0, size);
    auto* b = reinterpret_cast<NativeBitmap*>(p);
    b->width = static_cast<uint16_t>(width);
    b->height = static_cast<uint16_t>(height);
    b->rowBytes = static_cast<uint16_t>(rowBytes);
    b->flags = table ? kNativeBmpHasColorTable : 0;
    b->pixelSize = depth;
    b->version = 2 | kNativeBmpVersionMark;
    b->compressionType = 0xFF;
    if (table) std::memcpy(p + 16, table, tableSize);
    if (err) *err = 0;
    return b;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpCreate, StandinBmpCreate)

uint16_t StandinBmpDelete(NativeBitmap* b) {
    return b ? OsCall<syssig::MemChunkFree>(sysslot::MemChunkFree, static_cast<void*>(b)) : kErrParam;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpDelete, StandinBmpDelete)

void* StandinBmpGetBits(NativeBitmap* b) {
    Layout l;
    return Measure(b, &l) ? const_cast<uint8_t*>(l.bits) : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetBits, StandinBmpGetBits)

const uint8_t* StandinBmpGetColortable(NativeBitmap* b) {
    Layout l;
    return Measure(b, &l) ? l.table : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetColortable, StandinBmpGetColortable)

uint16_t StandinBmpColortableSize(NativeBitmap* b) {
    Layout l;
    return Measure(b, &l) ? static_cast<uint16_t>(l.tableSize) : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpColortableSize, StandinBmpColortableSize)

uint32_t StandinBmpBitsSize(NativeBitmap* b) {
    Layout l;
    return Measure(b, &l) ? l.bitsSize : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpBitsSize, StandinBmpBitsSize)

uint32_t StandinBmpSize(NativeBitmap* b) {
    Layout l;
    if (!Measure(b, &l)) return 0;
    return l.headerSize + ((b->flags & kNativeBmpIndirect) ? 0 : l.bitsSize);
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpSize, StandinBmpSize)

void StandinBmpGetSizes(NativeBitmap* b, uint32_t* dataSize, uint32_t* headerSize) {
    Layout l{};
    const bool known = Measure(b, &l);
    if (dataSize) *dataSize = known ? l.bitsSize : 0;
    if (headerSize) *headerSize = known ? l.headerSize : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetSizes, StandinBmpGetSizes)

void StandinBmpGetDimensions(NativeBitmap* b, int16_t* width, int16_t* height, uint16_t* rowBytes) {
    if (width) *width = b ? static_cast<int16_t>(b->width) : 0;
    if (height) *height = b ? static_cast<int16_t>(b->height) : 0;
    if (rowBytes) *rowBytes = b ? b->rowBytes : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetDimensions, StandinBmpGetDimensions)

uint8_t StandinBmpGetBitDepth(NativeBitmap* b) {
    if (!b) return 0;
    return (b->version & 0x7F) == 0 ? 1 : b->pixelSize;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetBitDepth, StandinBmpGetBitDepth)

uint8_t StandinBmpGetVersion(NativeBitmap* b) { return b ? b->version & 0x7F : 0; }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetVersion, StandinBmpGetVersion)

uint8_t StandinBmpGetCompressionType(NativeBitmap* b) {
    if (!b || !(b->flags & kNativeBmpCompressed)) return 0xFF;
    return (b->version & 0x7F) == 3 ? reinterpret_cast<NativeBitmapV3*>(b)->compressionType : b->compressionType;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetCompressionType, StandinBmpGetCompressionType)

uint16_t StandinBmpGetDensity(NativeBitmap* b) {
    if (b && (b->version & 0x7F) == 3 && reinterpret_cast<NativeBitmapV3*>(b)->density)
        return reinterpret_cast<NativeBitmapV3*>(b)->density;
    return 72;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetDensity, StandinBmpGetDensity)

uint8_t StandinBmpGetTransparentValue(NativeBitmap* b, uint32_t* value) {
    const bool has = b && (b->flags & kNativeBmpHasTransparency);
    if (value)
        *value = !has                          ? 0
                 : (b->version & 0x7F) == 3 ? reinterpret_cast<NativeBitmapV3*>(b)->transparentValue
                                               : b->transparentIndex;
    return has ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::BmpGetTransparentValue, StandinBmpGetTransparentValue)


}  // namespace

bool BitmapToDrawing(const void* bitmap, HALBitmap* out, std::vector<uint8_t>* table) {
    Layout l;
    if (!Measure(bitmap, &l)) return false;
    const auto* b = static_cast<const NativeBitmap*>(bitmap);
    if (b->width == 0) return false;
    const auto* v3 = static_cast<const NativeBitmapV3*>(bitmap);
    *out = HALBitmap{};
    out->width = b->width;
    out->height = b->height;
    out->rowBytes = b->rowBytes;
    out->pixelSize = l.version == 0 || b->pixelSize == 0 ? 1 : b->pixelSize;
    out->version = l.version;
    out->headerSize = 36;
    out->pixelFormat = l.version == 3 ? v3->pixelFormat : out->pixelSize == 16 ? 1 : 0;
    out->density = l.version == 3 && v3->density ? v3->density : 72;
    if (b->flags & kNativeBmpHasTransparency) {
        out->flags |= kBitmapHasTransparency;
        out->transparentValue = l.version == 3 ? v3->transparentValue : b->transparentIndex;
    }
    if (b->flags & kNativeBmpHasColorTable) {
        const auto count = static_cast<uint16_t>(l.tableSize ? (l.tableSize - 2) / 4 : 0);
        table->assign(4 + 4u * count, 0);
        std::memcpy(table->data(), &count, 2);
        if (count) std::memcpy(table->data() + 4, l.table + 2, 4u * count);
        out->colorTable = reinterpret_cast<HALColorTable*>(table->data());
        out->flags |= kBitmapHasColorTable;
    }
    const uint8_t* bits = l.bits;
    if (b->flags & kNativeBmpCompressed) {
        // The compressed data starts with its size (the word counted), big-endian as stored.
        const uint32_t word = l.version == 3 ? 4 : 2;
        out->flags |= kBitmapCompressed;
        out->compressionType = l.version == 3 ? v3->compressionType : b->compressionType;
        out->compressedSize = l.bitsSize;
        out->headerSize = static_cast<uint8_t>(word == 4 ? 40 : 38);
        bits += word;
    }
    out->flags |= kBitmapIndirect;
    out->bits = const_cast<uint8_t*>(bits);
    return true;
}

void DrawNativeBitmap(const void* bitmap, int16_t x, int16_t y) {
    HALBitmap drawing{};
    std::vector<uint8_t> table;
    if (BitmapToDrawing(bitmap, &drawing, &table)) DrawBitmap(&drawing, x, y);
}

void DrawBitmapResource(uint16_t id, int16_t x, int16_t y) {
    void* handle = OsCall<syssig::DmGetResource>(sysslot::DmGetResource, FourCC("abmp"), id);
    if (!handle) return;
    const void* p = OsCall<void*(void*)>(sysslot::MemHandleLock, handle);
    if (p) DrawNativeBitmap(p, x, y);
    OsCall<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
}

}  // namespace vantor::os::ui
