// The records of Kez's drawing slots, shared by Kez and the OS code that draws through it: the
// bitmap record (version-3 layout, 36-byte header), colour entries and tables, the drawing
// attributes and the drawing state, and the font record that text drawing reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// A rectangle by its top-left corner and its size.
struct HALRect {
    int16_t x;
    int16_t y;
    int16_t width;
    int16_t height;
};
static_assert(sizeof(HALRect) == 8);

// A colour entry: its index and its colour.
struct HALColorEntry {
    uint8_t index;
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};
static_assert(sizeof(HALColorEntry) == 4);

// A colour table: a u16 count, a u16 0, then `count` entries.
struct HALColorTable {
    uint16_t count;
    uint16_t reserved;
    HALColorEntry entries[1];  // `count` of them
};

// Bitmap flags (low byte).
constexpr uint16_t kBitmapCompressed = 0x01;
constexpr uint16_t kBitmapHasColorTable = 0x02;
constexpr uint16_t kBitmapTransparentCopy = 0x04;  // mode 0 draws it as mode 4
constexpr uint16_t kBitmapIndirect = 0x08;  // a pointer to the bits stands where they would begin
constexpr uint16_t kBitmapIsScreen = 0x10;
constexpr uint16_t kBitmapHasTransparency = 0x20;
constexpr uint16_t kBitmapIndirectColorTable = 0x40;
constexpr uint16_t kBitmapColorTable16 = 0x80;  // a 16-bit bitmap drawn through its colour table

struct HALBitmap {
    uint16_t width;
    uint16_t height;
    uint16_t rowBytes;
    uint16_t flags;
    uint8_t pixelSize;
    uint8_t version;  // low 7 bits; bit 7 set in records built by Kez
    uint8_t headerSize;   // 36; 40 or 38 while compressed (the size word before the bits)
    uint8_t pixelFormat;  // 0 indexed, first pixel high; 1 RGB565 big-endian; 2 little-endian;
                          // 3 indexed, first pixel low
    uint8_t flags2;       // bit 0: never scale between densities
    uint8_t compressionType;
    uint16_t density;
    uint32_t transparentValue;
    uint32_t nextBitmapOffset;
    HALColorTable* colorTable;  // null for the depth's default table
    void* bits;
    uint32_t compressedSize;    // counts the size word itself
};
static_assert(offsetof(HALBitmap, headerSize) == 10);
static_assert(offsetof(HALBitmap, compressionType) == 13);
static_assert(offsetof(HALBitmap, density) == 14);
static_assert(sizeof(void*) != 4 || sizeof(HALBitmap) == 36);

// Drawing attributes: the transfer mode, the pattern (its kind and the 8 rows of a custom one),
// the underline, the three colours by index and by RGB, and the text flags.
struct HALDrawAttributes {
    uint8_t transferMode;   // 0 paint, 1 erase, 2 mask, 3 invert, 4 overlay, 5 paint inverse, 6 swap
    uint8_t patternKind;    // 0 foreground, 1 background, 2, 4, 5 greys, 3 custom
    uint8_t underlineMode;  // 0 none, 1 dotted, other solid
    uint8_t reserved3[5];
    uint8_t customPattern[8];  // rows 0 to 7, leftmost pixel in the high bit
    uint8_t foreIndex;
    uint8_t backIndex;
    uint8_t textIndex;
    uint8_t reserved19;
    HALColorEntry foreColor;
    HALColorEntry backColor;
    HALColorEntry textColor;
    uint8_t reserved32[2];
    uint8_t textFlags;  // 0x02 draw at 72 dpi, 0x04 no blank columns, 0x08 underline half up
    uint8_t reserved35;
};
static_assert(offsetof(HALDrawAttributes, underlineMode) == 2);
static_assert(offsetof(HALDrawAttributes, customPattern) == 8);
static_assert(offsetof(HALDrawAttributes, foreIndex) == 16);
static_assert(offsetof(HALDrawAttributes, foreColor) == 20);
static_assert(offsetof(HALDrawAttributes, textFlags) == 34);
static_assert(sizeof(HALDrawAttributes) == 36);

struct HALDrawState {
    HALRect clip;
    const HALDrawAttributes* attributes;
    HALBitmap* destination;
};

// The font record, read in place: a 26-byte header of u16 fields; without a density table the
// glyph image and then the location table follow it.
struct HALFont {
    uint16_t fontType;  // 0x200: a density table at byte 28
    uint16_t firstChar;
    uint16_t lastChar;
    uint16_t maxWidth;
    uint16_t kernMax;
    uint16_t descentCount;
    uint16_t rectWidth;
    uint16_t rectHeight;
    uint16_t widthTableOffset;
    uint16_t ascent;
    uint16_t descent;
    uint16_t leading;
    uint16_t rowWords;
};
static_assert(sizeof(HALFont) == 26);
constexpr uint16_t kFontHasDensities = 0x200;

// An entry of a font's density table (from byte 32).
struct HALFontDensity {
    uint16_t density;
    uint16_t reserved;
    uint32_t imageOffset;  // from the font's start
};
static_assert(sizeof(HALFontDensity) == 8);

// Asked whether a two-byte character (first byte << 8 | second) is one character.
using HALDrawCharsCallback = uint8_t (*)(uint16_t character);

}  // namespace vantor
