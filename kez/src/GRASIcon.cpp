// Application icons for the remote-access server: a bitmap family in the OS's native layout (as
// the 68K environment translates a bitmap resource) drawn centred on a 32 x 32 picture of depth 8
// with the screen's colours, and that picture written as an XPM image. The family comes from a
// database, so every header, table and bit count is checked against the bytes that exist, and a
// pointer that the record would carry (indirect bits or colour table) is refused.
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "kez/src/GRASServer.h"
#include "kez/src/HALDraw.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint32_t kIconSide = 32;
constexpr uint16_t kErrBadBitmap = 0xF301;

template <typename T>
T At(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The offset of the bitmap after the one at `at`, or 0 at the end of the chain.
uint32_t NextOffset(const uint8_t* b) {
    const uint8_t version = b[9] & 0x7F;
    if (version == 1 || version == 2) return 4u * At<uint16_t>(b + 10);
    if (version == 3) return At<uint32_t>(b + 20);
    return 0;
}

// The last bitmap of the family: a version-0 bitmap stands alone, a version-1 marker (pixel size
// 0xFF) is skipped, then the chain is followed to its end.
bool LastOfFamily(const uint8_t* family, uint32_t size, uint32_t* at) {
    uint32_t offset = 0;
    for (int guard = 0; guard < 64; ++guard) {
        if (size < 16 || offset > size - 16) return false;
        const uint8_t* b = family + offset;
        const uint8_t version = b[9] & 0x7F;
        if (version > 3 || (version == 3 && size - offset < 24)) return false;
        if (version == 0) break;
        const bool marker = version == 1 && b[8] == 0xFF;
        const uint32_t next = NextOffset(b);
        if (next == 0) {
            if (marker) return false;
            break;
        }
        if (next % 4) return false;  // native bitmaps are 4-byte aligned
        offset += next;
    }
    *at = offset;
    return true;
}

// The drawing record of the native bitmap at `b` (with `avail` bytes from it); `table` holds its
// colour table. False for a bitmap that cannot be drawn from these bytes alone.
bool ToDrawing(const uint8_t* b, uint32_t avail, HALBitmap* out, std::vector<uint8_t>* table) {
    if (avail < 16) return false;
    const auto h = At<NativeBitmap>(b);
    const uint8_t version = h.version & 0x7F;
    const uint32_t header = version == 3 ? 24 : 16;
    if (avail < header || (h.flags & (kNativeBmpIndirect | kNativeBmpIndirectColorTable))) return false;
    *out = HALBitmap{};
    out->width = h.width;
    out->height = h.height;
    out->rowBytes = h.rowBytes;
    out->pixelSize = version == 0 ? 1 : h.pixelSize;
    out->version = version;
    out->headerSize = 36;
    out->density = 72;
    if (out->width == 0 || out->height == 0 || !PrvValidDepth(out->pixelSize)) return false;
    if (version == 3) {
        const auto v3 = At<NativeBitmapV3>(b);
        if (v3.pixelFormat > 3) return false;
        out->pixelFormat = v3.pixelFormat;
        out->compressionType = v3.compressionType;
        if (v3.density) out->density = v3.density;
        out->transparentValue = v3.transparentValue;
    } else {
        out->pixelFormat = out->pixelSize == 16 ? 1 : 0;
        out->compressionType = h.compressionType;
        out->transparentValue = h.transparentIndex;
    }
    if (h.flags & kNativeBmpHasTransparency) out->flags |= kBitmapHasTransparency;
    uint32_t at = header;
    if (h.flags & kNativeBmpHasColorTable) {
        if (avail - at < 2) return false;
        const uint16_t count = At<uint16_t>(b + at);
        if (count > 256 || avail - at - 2 < 4u * count) return false;
        table->assign(4 + 4u * count, 0);
        std::memcpy(table->data(), &count, 2);
        std::memcpy(table->data() + 4, b + at + 2, 4u * count);
        out->colorTable = reinterpret_cast<HALColorTable*>(table->data());
        out->flags |= kBitmapHasColorTable;
        at += 2 + 4u * count;
    } else if (version < 3 && (h.flags & kNativeBmpDirectColor)) {
        at += 8;
    }
    if (at > avail) return false;
    const uint8_t* bits = b + at;
    const uint32_t left = avail - at;
    if (h.flags & kNativeBmpCompressed) {
        // The compressed data starts with its size (counting the size word), big-endian as stored.
        const uint32_t word = version == 3 ? 4 : 2;
        if (left < word) return false;
        out->compressedSize = word == 4 ? (uint32_t{bits[0]} << 24 | uint32_t{bits[1]} << 16 |
                                           uint32_t{bits[2]} << 8 | bits[3])
                                        : (uint32_t{bits[0]} << 8 | bits[1]);
        if (out->compressedSize < word || out->compressedSize > left) return false;
        out->flags |= kBitmapCompressed;
        out->headerSize = static_cast<uint8_t>(word == 4 ? 40 : 38);
        bits += word;
    } else if (uint32_t{h.rowBytes} * h.height > left) {
        return false;
    }
    out->flags |= kBitmapIndirect;
    out->bits = const_cast<uint8_t*>(bits);
    return true;
}

// The screen-table index of the bitmap's transparent colour.
uint8_t TransparentIndex(const HALBitmap& bitmap, const HALColorTable* screen) {
    HALColorEntry colour{};
    if (bitmap.pixelSize > 8) {
        const uint16_t rgb = static_cast<uint16_t>(bitmap.transparentValue);
        return PrvRGB565ToIndex(rgb, screen);
    }
    const HALColorTable* own = PrvBitmapColorTable(bitmap);
    const uint32_t value = bitmap.transparentValue & ((1u << bitmap.pixelSize) - 1);
    if (own && value < own->count) colour = own->entries[value];
    KEZ_CALL(HALColorRGBToIndex, 1, &colour, screen);
    return colour.index;
}

// The corner mark: 'L' light, 'D' dark, '.' left as drawn; its last row is left whole.
constexpr char kMark[12][12] = {
    ".DDDDDDDDD.", "DLLLLLLLLLD", "DLDDDDDLLLD", "DLDLLLLDLLD", "DLDLLLLDLLD", "DLDDDDDLLLD",
    "DLDLLDLLLLD", "DLDLLLDLLLD", "DLDLLLLDLLD", "DLLLLLLLLLD", ".DDDDDDDDD.", "...........",
};

// Appends strings at the write position; false once they no longer fit.
struct StringWriter {
    uint8_t* buffer;
    uint32_t size;
    uint32_t at;
    uint32_t slot = 0;
    bool Put(const char* text, uint32_t length) {
        if (at > size || size - at < length + 1 || size < 4 * (slot + 1)) return false;
        std::memcpy(buffer + 4 * slot++, &at, 4);
        std::memcpy(buffer + at, text, length);
        buffer[at + length] = 0;
        at += length + 1;
        return true;
    }
};

}  // namespace

uint16_t BitmapTypeToXPM(const HALBitmap* bitmap, uint8_t* buffer, uint32_t size) {
    const uint32_t depth = bitmap ? bitmap->pixelSize : 0;
    if (!bitmap || (bitmap->flags & kBitmapCompressed) || !(depth == 1 || depth == 2 || depth == 4 || depth == 8) ||
        !bitmap->bits) {
        sys::SysTrace(0xF300, "BitmapTypeToXPM(): Unsuported bitmap format");
        return 0xFFFF;
    }
    const HALColorTable* table = bitmap->colorTable;
    if (!table || table->count == 0) {
        sys::SysTrace(0xF300, "BitmapTypeToXPM(): Can't get system palette");
        return 0xFFFF;
    }
    const uint32_t w = bitmap->width, h = bitmap->height, colours = table->count;
    if (w * depth > 8u * bitmap->rowBytes) return 0xFFFF;
    const bool transparent = (bitmap->flags & kBitmapHasTransparency) != 0;
    const uint32_t transparentIndex = bitmap->transparentValue;
    StringWriter out{buffer, size, 4 * (1 + colours + h)};
    char text[32];
    int n = std::snprintf(text, sizeof text, "%u %u %u %d", w, h, colours, 2);
    if (!out.Put(text, static_cast<uint32_t>(n))) return 0xFFFF;
    auto code = [](uint32_t i, char* two) {
        two[0] = static_cast<char>('a' + i / 26);
        two[1] = static_cast<char>('a' + i % 26);
    };
    int32_t black = -1, white = -1;
    for (uint32_t i = 0; i < colours; ++i) {
        const HALColorEntry& e = table->entries[i];
        char two[2];
        code(i, two);
        if (transparent && i == transparentIndex)
            n = std::snprintf(text, sizeof text, "%c%c c None", two[0], two[1]);
        else
            n = std::snprintf(text, sizeof text, "%c%c c #%02X%02X%02X", two[0], two[1], e.red, e.green, e.blue);
        if (!out.Put(text, static_cast<uint32_t>(n))) return 0xFFFF;
        if (black < 0 && e.red == 0 && e.green == 0 && e.blue == 0) black = static_cast<int32_t>(i);
        if (white < 0 && e.red == 0xFF && e.green == 0xFF && e.blue == 0xFF) white = static_cast<int32_t>(i);
    }
    char light[2], dark[2];
    code(white >= 0 ? static_cast<uint32_t>(white) : 1, light);
    code(black >= 0 ? static_cast<uint32_t>(black) : 0, dark);
    const bool marked = w >= 12 && h >= 13 && colours >= 2;
    const uint32_t mask = (1u << depth) - 1, perByte = 8 / depth;
    std::vector<char> row(2 * size_t{w});
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* bytes = static_cast<const uint8_t*>(bitmap->bits) + size_t{y} * bitmap->rowBytes;
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t shift = 8 - depth * (x % perByte + 1);
            code((bytes[x / perByte] >> shift) & mask, &row[2 * size_t{x}]);
        }
        if (marked && y >= h - 12) {
            for (uint32_t c = 0; c < 11; ++c) {
                const char cell = kMark[y - (h - 12)][c];
                if (cell != '.') std::memcpy(&row[2 * size_t{w - 11 + c}], cell == 'L' ? light : dark, 2);
            }
        }
        if (!out.Put(row.data(), 2 * w)) return 0xFFFF;
    }
    return 0;
}

uint16_t PrvGRASIconToXPM(const void* family, uint32_t size, std::vector<uint8_t>* xpm) {
    const auto* bytes = static_cast<const uint8_t*>(family);
    uint32_t at = 0;
    HALBitmap source{};
    std::vector<uint8_t> sourceTable;
    if (!bytes || !LastOfFamily(bytes, size, &at) || !ToDrawing(bytes + at, size - at, &source, &sourceTable))
        return kErrBadBitmap;
    const HALColorTable* screen = PrvScreenColorTable();
    const bool transparent = (source.flags & kBitmapHasTransparency) != 0;
    const uint8_t transparentIndex = transparent ? TransparentIndex(source, screen) : 0;

    // The picture: 32 x 32 at depth 8 and density 72, the screen's table, cleared to the
    // transparent colour when there is one.
    std::vector<uint8_t> pixels(kIconSide * kIconSide, transparentIndex);
    HALBitmap picture{};
    picture.width = picture.height = picture.rowBytes = kIconSide;
    picture.pixelSize = 8;
    picture.version = 3;
    picture.headerSize = 36;
    picture.density = 72;
    picture.flags = kBitmapHasColorTable | kBitmapIndirect;
    picture.colorTable = const_cast<HALColorTable*>(screen);
    picture.bits = pixels.data();

    // Centred by its size at the picture's density; transparent pixels leave the background.
    const int32_t w = source.width * 72 / source.density, h = source.height * 72 / source.density;
    const auto x = static_cast<int16_t>((int32_t{kIconSide} - w) / 2);
    const auto y = static_cast<int16_t>((int32_t{kIconSide} - h) / 2);
    HALDrawAttributes attributes{};
    attributes.transferMode = transparent ? 4 : 0;
    HALDrawState state{{0, 0, kIconSide, kIconSide}, &attributes, &picture};
    const HALRect target{x, y, static_cast<int16_t>(w), static_cast<int16_t>(h)};
    KEZ_CALL(HALDrawBitmap, &state, &source, &target, x, y);

    if (transparent) {
        picture.flags |= kBitmapHasTransparency;
        picture.transparentValue = transparentIndex;
    }
    const uint32_t colours = screen && screen->count ? screen->count : 256;
    xpm->assign(18 * colours + 6 * kIconSide + 2 * kIconSide * kIconSide + 256, 0);
    if (BitmapTypeToXPM(&picture, xpm->data(), static_cast<uint32_t>(xpm->size()))) {
        xpm->clear();
        return 0xFFFF;
    }
    return 0;
}

}  // namespace kez
