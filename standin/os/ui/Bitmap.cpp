#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "standin/os/StandinOs.h"
#include "standin/os/ui/UiBitmap.h"
#include "standin/os/ui/UiDraw.h"

namespace vantor::os::ui {
namespace {

}  // namespace

bool BitmapToDrawing(const void* bitmap, HALBitmap* out, std::vector<uint8_t>* table) {
    if (!bitmap) return false;
    const auto* b = static_cast<const NativeBitmap*>(bitmap);
    const auto* p = static_cast<const uint8_t*>(bitmap);
    const uint8_t version = b->version & 0x7F;
    if (version > 3 || b->width == 0) return false;
    const auto* v3 = static_cast<const NativeBitmapV3*>(bitmap);
    *out = HALBitmap{};
    out->width = b->width;
    out->height = b->height;
    out->rowBytes = b->rowBytes;
    out->pixelSize = version == 0 || b->pixelSize == 0 ? 1 : b->pixelSize;
    out->version = version;
    out->headerSize = 36;
    out->pixelFormat = version == 3 ? v3->pixelFormat : out->pixelSize == 16 ? 1 : 0;
    out->density = version == 3 && v3->density ? v3->density : 72;
    uint32_t at = version == 3 ? 24 : 16;
    if (b->flags & kNativeBmpHasTransparency) {
        out->flags |= kBitmapHasTransparency;
        out->transparentValue = version == 3 ? v3->transparentValue : b->transparentIndex;
    }
    if (b->flags & kNativeBmpHasColorTable) {
        const uint8_t* t = p + at;
        if (version == 3 && (b->flags & kNativeBmpIndirectColorTable)) {
            std::memcpy(&t, p + at, 4);
            at += 4;
        }
        uint16_t count = 0;
        if (t) std::memcpy(&count, t, 2);
        if (count > 256) return false;
        table->assign(4 + 4u * count, 0);
        std::memcpy(table->data(), &count, 2);
        if (count) std::memcpy(table->data() + 4, t + 2, 4u * count);
        out->colorTable = reinterpret_cast<HALColorTable*>(table->data());
        out->flags |= kBitmapHasColorTable;
        if (!(version == 3 && (b->flags & kNativeBmpIndirectColorTable))) at += 2 + 4u * count;
    } else if (version < 3 && (b->flags & kNativeBmpDirectColor)) {
        at += 8;
    }
    const uint8_t* bits = p + at;
    if (b->flags & kNativeBmpIndirect) std::memcpy(&bits, p + at, 4);
    if (!bits) return false;
    if (b->flags & kNativeBmpCompressed) {
        // The compressed data starts with its size (the word counted), big-endian as stored.
        const uint32_t word = version == 3 ? 4 : 2;
        out->flags |= kBitmapCompressed;
        out->compressionType = version == 3 ? v3->compressionType : b->compressionType;
        out->compressedSize = word == 4 ? ReadBE32(bits) : ReadBE16(bits);
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
