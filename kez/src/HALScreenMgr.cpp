// The screen manager (export slots 89 to 97): the OS's screen bitmap over the display's frame
// buffer, the batching of changed areas into one dirty rectangle flushed through the display's
// update callback, locked updates, depth changes and the per-depth colour translation tables.
#include "kez/src/HALScreenMgr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "kez/src/HALDisplay.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

ScreenMgrRecord gRecord;
bool gInitialised = false;

// Display attributes are written at their own widths; read each into a zeroed word.
bool Attr(uint16_t attribute, uint32_t* value) {
    *value = 0;
    return KEZ_CALL(HALDisplayGetAttributes, attribute, value) == 0;
}
uint32_t Attr(uint16_t attribute) {
    uint32_t value;
    Attr(attribute, &value);
    return value;
}

uint32_t ColorCount(uint32_t depth) { return depth < 8 ? 1u << depth : 256; }

// The indirect pixel address after the last colour entry in use.
void WritePixelAddress() {
    ScreenMgrRecord& r = gRecord;
    auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(r.current));
    uint32_t count = std::min<uint32_t>(r.colorCount, 256);
    std::memcpy(reinterpret_cast<uint8_t*>(r.colors) + 4 * count, &address, 4);
    r.pixelAddress = address;
}

void SetEmpty() {
    gRecord.dirty[0] = static_cast<int16_t>(gRecord.width);
    gRecord.dirty[1] = static_cast<int16_t>(gRecord.height);
    gRecord.dirty[2] = gRecord.dirty[3] = 0;
}
void SetFull() {
    gRecord.dirty[0] = gRecord.dirty[1] = 0;
    gRecord.dirty[2] = static_cast<int16_t>(gRecord.width);
    gRecord.dirty[3] = static_cast<int16_t>(gRecord.height);
}

void FillPicture(uint8_t* buffer) {
    if (buffer) std::memset(buffer, gRecord.depth <= 8 ? 0 : 0xFF, size_t{gRecord.height} * gRecord.rowBytes);
}

bool DepthSupported(uint32_t depth) {
    uint32_t mask = Attr(25);
    return depth >= 1 && depth <= 32 && (mask & (1u << (depth - 1)));
}

}  // namespace

ScreenMgrRecord* PrvScreenMgrRecord() { return gInitialised ? &gRecord : nullptr; }

const HALColorTable* PrvScreenMgrColorTable() {
    return gInitialised ? reinterpret_cast<const HALColorTable*>(&gRecord.colorCount) : nullptr;
}

uint32_t PrvScreenMgrDepth() { return gInitialised ? gRecord.depth : 0; }

bool PrvScreenMgrActive() { return gInitialised && gRecord.active; }

const uint16_t* PrvScreenMgrTranslation(uint32_t sourceDepth) {
    if (!gInitialised) return nullptr;
    switch (sourceDepth) {
        case 1: return gRecord.translation[0];
        case 2: return gRecord.translation[1];
        case 4: return gRecord.translation[2];
        case 8: return gRecord.translation[3];
        default: return nullptr;
    }
}

void PrvReportScreenRect(const HALBitmap& destination, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!(destination.flags & kBitmapIsScreen) || !PrvScreenMgrActive()) return;
    if (right <= left || bottom <= top) return;
    KEZ_CALL(HALScreenMgrInvalidateRect, static_cast<int16_t>(left), static_cast<int16_t>(top),
             static_cast<int16_t>(right - left), static_cast<int16_t>(bottom - top));
}

void PrvScreenMgrDrawingBitmap(HALBitmap* bitmap) {
    const ScreenMgrRecord& r = gRecord;
    *bitmap = HALBitmap{};
    bitmap->width = r.width;
    bitmap->height = r.height;
    bitmap->rowBytes = r.rowBytes;
    bitmap->flags = static_cast<uint16_t>(r.flags & ~kBitmapHasColorTable);
    bitmap->pixelSize = r.depth;
    bitmap->version = r.version;
    bitmap->headerSize = 36;
    bitmap->pixelFormat = r.pixelFormat;
    bitmap->density = r.density;
    bitmap->bits = r.current;
}

uint16_t HALScreenMgrIsIdle() { return gRecord.busy == 0; }
KEZ_SLOT(HALScreenMgrIsIdle, HALScreenMgrIsIdle)

uint16_t HALScreenMgrUpdateTimer(uint32_t) {
    ScreenMgrRecord& r = gRecord;
    if (!gInitialised || !r.active || r.dirty[0] >= r.dirty[2] || r.dirty[1] >= r.dirty[3]) return 0;
    if (r.updateCallback) r.updateCallback(&r);
    SetEmpty();
    r.tick = KEZ_CALL(HALTimeGetTicks);
    return 0;
}
KEZ_SLOT(HALScreenMgrUpdateTimer, HALScreenMgrUpdateTimer)

uint16_t HALScreenMgrInvalidateRect(int16_t x, int16_t y, int16_t width, int16_t height) {
    ScreenMgrRecord& r = gRecord;
    if (!gInitialised) return 0;
    if (r.dirty[0] >= r.dirty[2] && r.dirty[1] >= r.dirty[3]) r.tick = KEZ_CALL(HALTimeGetTicks);
    if (width >= 1 && height >= 1) {
        auto clamp = [](int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)); };
        r.dirty[0] = std::min(r.dirty[0], x);
        r.dirty[1] = std::min(r.dirty[1], y);
        r.dirty[2] = std::max(r.dirty[2], clamp(int32_t{x} + width));
        r.dirty[3] = std::max(r.dirty[3], clamp(int32_t{y} + height));
    }
    return KEZ_CALL(HALScreenMgrUpdateTimer, 0u);
}
KEZ_SLOT(HALScreenMgrInvalidateRect, HALScreenMgrInvalidateRect)

HALColorTable* HALScreenMgrGetColorTable() {
    return gInitialised ? reinterpret_cast<HALColorTable*>(&gRecord.colorCount) : nullptr;
}
KEZ_SLOT(HALScreenMgrGetColorTable, HALScreenMgrGetColorTable)

uint16_t HALScreenMgrInitialize(void** out, const HALColorTable* colorTable) {
    for (uint16_t*& t : gRecord.translation) std::free(t);
    ScreenMgrRecord& r = gRecord;
    r = ScreenMgrRecord{};
    PrvStatusBarReset();
    uint32_t width = Attr(4), height = Attr(5), defaultDepth = Attr(9);
    if (Attr(10) != defaultDepth) KEZ_CALL(HALDisplaySetAttributes, 10, defaultDepth);
    uint32_t depth = Attr(10), deepest = Attr(11);
    r.width = static_cast<uint16_t>(width);
    r.height = static_cast<uint16_t>(height);
    r.rowBytes = static_cast<uint16_t>(Attr(6));
    r.depth = static_cast<uint8_t>(depth);
    r.version = 0x83;
    r.headerSize = 24;
    r.flags = kBitmapHasColorTable | kBitmapIsScreen | kBitmapIndirect;
    if (depth >= 9) r.flags |= 0x20;
    r.pixelFormat = static_cast<uint8_t>(Attr(28));
    r.density = static_cast<uint16_t>(Attr(29));
    SetEmpty();

    uint32_t visible = 0, drawing = 0;
    if (Attr(14, &visible) && visible) {
        Attr(16, &drawing);
        r.current = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(drawing));
    } else {
        size_t size = size_t{width} / 8 * height * deepest;
        r.current = static_cast<uint8_t*>(std::calloc(std::max<size_t>(size, size_t{r.rowBytes} * height), 1));
        if (!r.current) return 0x2206;
        if (Attr(16, &drawing) && drawing)
            std::memcpy(r.current, reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(drawing)),
                        size_t{height} * r.rowBytes);
        else
            FillPicture(r.current);
        KEZ_CALL(HALDisplaySetAttributes, 16, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(r.current)));
    }

    r.colorCount = static_cast<uint16_t>(ColorCount(depth));
    if (colorTable) {
        uint32_t count = std::min<uint32_t>(colorTable->count, 256);
        KEZ_CALL(HALDisplaySetPalette, 0, static_cast<uint16_t>(count),
                 reinterpret_cast<const uint8_t*>(colorTable->entries));
        std::memcpy(r.colors, colorTable->entries, 4 * count);
    }
    PrvScreenTableChanged();
    r.busy = 0;
    r.saved = nullptr;
    KEZ_CALL(HALDrawResetState);
    r.active = 0;
    uint32_t callback = 0;
    if (Attr(24, &callback) && callback) {
        r.updateCallback = reinterpret_cast<void (*)(void*)>(static_cast<uintptr_t>(callback));
        r.active = DepthSupported(depth);
    }
    gInitialised = true;
    WritePixelAddress();
    if (out) *out = &r;
    return 0;
}
KEZ_SLOT(HALScreenMgrInitialize, HALScreenMgrInitialize)

// A locked update follows the display's lock protocol: the display freezes what the window shows
// and drawing goes on into the frame it returns, which becomes the current buffer.
void* HALScreenMgrBeginUpdate(uint8_t mode) {
    ScreenMgrRecord& r = gRecord;
    if (!gInitialised) return nullptr;
    uint8_t wasLocked = 0;
    auto* page = static_cast<uint8_t*>(KEZ_CALL(HALDisplayLock, &r, &wasLocked));
    if (!page) return nullptr;
    if (wasLocked) return r.current;
    if (mode == 0) {
        if (page != r.current) std::memcpy(page, r.current, size_t{r.rowBytes} * r.height);
    } else {
        FillPicture(page);
    }
    r.active = 0;
    r.saved = r.current;
    r.current = page;
    WritePixelAddress();
    if (mode != 0) KEZ_CALL(HALRedrawInputArea, nullptr, 0);
    return page;
}
KEZ_SLOT(HALScreenMgrBeginUpdate, HALScreenMgrBeginUpdate)

uint16_t HALScreenMgrEndUpdate() {
    ScreenMgrRecord& r = gRecord;
    if (!gInitialised || !r.saved) return 0;
    uint16_t result = KEZ_CALL(HALDisplayUnlock, &r);
    if (r.lockDepth != 0) return result;
    r.saved = nullptr;
    if (result == 0 && r.updateCallback) {
        SetFull();
        r.active = 1;
        KEZ_CALL(HALScreenMgrUpdateTimer, 0u);
    }
    return result;
}
KEZ_SLOT(HALScreenMgrEndUpdate, HALScreenMgrEndUpdate)

uint16_t HALScreenMgrSetMode(uint16_t depth) {
    ScreenMgrRecord& r = gRecord;
    if (!gInitialised) return 0xFFFF;
    r.rowBytes = static_cast<uint16_t>(Attr(6));
    r.depth = static_cast<uint8_t>(depth);
    r.pixelFormat = static_cast<uint8_t>(Attr(28));
    r.flags = static_cast<uint16_t>(depth >= 9 ? r.flags | 0x20 : r.flags & ~0x20);
    uint32_t visible = 0, size = 0;
    if (Attr(14, &visible) && visible && Attr(15, &size) && size < 2u * r.rowBytes * r.height) {
        auto* frame = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(visible));
        if (frame != r.current) KEZ_CALL(HALDisplaySetAttributes, 16, visible);
        r.current = frame;
        r.lockDepth = 0;
    }
    if (r.updateCallback) {
        if (DepthSupported(depth)) {
            FillPicture(r.current);
            SetFull();
            r.active = 1;
        } else {
            r.active = 0;
        }
    }
    r.colorCount = static_cast<uint16_t>(ColorCount(depth));
    WritePixelAddress();
    return 0;
}
KEZ_SLOT(HALScreenMgrSetMode, HALScreenMgrSetMode)

uint16_t HALScreenMgrSetPalette(uint16_t first, uint16_t count, uint16_t depth, const HALColorTable* searchTable,
                                const HALColorTable* const* tables) {
    ScreenMgrRecord& r = gRecord;
    if (!gInitialised) return 0xFFFF;
    r.busy = 1;
    uint16_t result = 0;
    const HALColorTable* palette = tables ? tables[4] : nullptr;
    if (palette) {
        // The new palette's entries from `first`, within the table and the 256 colours.
        uint32_t available = std::min<uint32_t>(palette->count, 256);
        uint32_t n = first < available ? std::min<uint32_t>(count, available - first) : 0;
        n = std::min<uint32_t>(n, 256u - std::min<uint32_t>(first, 256));
        result = KEZ_CALL(HALDisplaySetPalette, first, static_cast<uint16_t>(n),
                          reinterpret_cast<const uint8_t*>(palette->entries + first));
        for (uint32_t i = 0; i < n; ++i) r.colors[first + i] = palette->entries[first + i];
        PrvScreenTableChanged();
    }
    if (!r.translation[0]) {
        static const uint32_t kSizes[] = {2, 4, 16, 256};
        for (int i = 0; i < 4; ++i) {
            r.translation[i] = static_cast<uint16_t*>(std::calloc(kSizes[i], 2));
            if (!r.translation[i]) return 0x2206;
        }
        r.busy = 0;
    }
    if (!tables) return result;
    auto* work = static_cast<HALColorEntry*>(std::malloc(1024));
    if (!work) return 0x2206;
    static const uint32_t kCounts[] = {2, 4, 16, 256};
    for (int i = 0; i < 4; ++i) {
        const HALColorTable* table = tables[i];
        if (!table) continue;
        uint32_t n = std::min<uint32_t>(kCounts[i], std::min<uint32_t>(table->count, 256));
        if (depth > 8) {
            for (uint32_t k = 0; k < n; ++k) {
                const HALColorEntry& e = table->entries[k];
                r.translation[i][k] =
                    static_cast<uint16_t>(((e.red & 0xF8) << 8) | ((e.green & 0xFC) << 3) | (e.blue >> 3));
            }
        } else {
            std::memcpy(work, table->entries, 4 * n);
            KEZ_CALL(HALColorRGBToIndex, static_cast<uint16_t>(n), work, searchTable);
            for (uint32_t k = 0; k < n; ++k) r.translation[i][k] = work[k].index;
        }
    }
    std::free(work);
    return result;
}
KEZ_SLOT(HALScreenMgrSetPalette, HALScreenMgrSetPalette)

}  // namespace kez
