// The records that the drawing entry points pass between them: the bitmap record (version-3
// layout, 36-byte header), the drawing attributes and the drawing state, and the signatures of the
// drawing slots that the display calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kez {

// A rectangle by its top-left corner and its size.
struct HALRect {
    int16_t x;
    int16_t y;
    int16_t width;
    int16_t height;
};

// A colour entry: its index and its colour.
struct HALColorEntry {
    uint8_t index;
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// Bitmap flags (low byte).
constexpr uint16_t kBitmapCompressed = 0x01;
constexpr uint16_t kBitmapHasColorTable = 0x02;
constexpr uint16_t kBitmapIndirect = 0x08;  // a pointer to the bits stands where they would begin
constexpr uint16_t kBitmapIsScreen = 0x10;
constexpr uint16_t kBitmapHasTransparency = 0x20;
constexpr uint16_t kBitmapIndirectColorTable = 0x40;

struct HALBitmap {
    uint16_t width;
    uint16_t height;
    uint16_t rowBytes;
    uint16_t flags;
    uint8_t pixelSize;
    uint8_t version;  // low 7 bits; bit 7 set in records built by Kez
    uint8_t headerSize;
    uint8_t pixelFormat;  // 0 indexed, first pixel high; 1 RGB565 big-endian; 2 little-endian;
                          // 3 indexed, first pixel low
    uint8_t flags2;
    uint8_t compressionType;
    uint16_t density;
    uint32_t transparentValue;
    uint32_t nextBitmapOffset;
    void* colorTable;  // null for the depth's default table
    void* bits;
    uint32_t compressedSize;
};
static_assert(offsetof(HALBitmap, headerSize) == 10);
static_assert(offsetof(HALBitmap, compressionType) == 13);
static_assert(offsetof(HALBitmap, density) == 14);
static_assert(sizeof(void*) != 4 || sizeof(HALBitmap) == 36);

// Drawing attributes: the fields the drawing entry points read. The pattern bytes lie between the
// underline mode and the colour indices.
struct HALDrawAttributes {
    uint8_t transferMode;
    uint8_t patternKind;
    uint8_t underlineMode;
    uint8_t pattern[13];
    uint8_t foreIndex;
    uint8_t backIndex;
    uint8_t textIndex;
    uint8_t reserved19;
    HALColorEntry foreColor;
    HALColorEntry backColor;
    HALColorEntry textColor;
    uint8_t reserved32[2];
    uint8_t textFlags;
    uint8_t reserved35;
};
static_assert(offsetof(HALDrawAttributes, foreIndex) == 16);
static_assert(offsetof(HALDrawAttributes, foreColor) == 20);
static_assert(offsetof(HALDrawAttributes, textFlags) == 34);

struct HALDrawState {
    HALRect clip;
    const HALDrawAttributes* attributes;
    HALBitmap* destination;
};

// Slots 179 and 174.
using HALDrawRectangleProc = uint16_t(HALDrawState* state, const HALRect* rect,
                                      uint16_t cornerRadius, uint16_t frameWidth);
using HALDrawBitmapProc = uint16_t(HALDrawState* state, HALBitmap* source,
                                   const HALRect* target, int16_t originX, int16_t originY);

}  // namespace kez
