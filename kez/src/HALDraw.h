// The drawing engine's internals shared by its source files: pixel access, the colour tables, the
// row-filler record and its builder, the clipped fill, the 1-bit run drawer and the same-depth
// row copier. The records that cross the module boundary are in common/module/KezDraw.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/FramePixels.h"
#include "common/module/KezDraw.h"

namespace kez {

using vantor::HALBitmap;
using vantor::HALColorEntry;
using vantor::HALColorTable;
using vantor::HALDrawAttributes;
using vantor::HALDrawState;
using vantor::HALRect;
using vantor::kBitmapColorTable16;
using vantor::kBitmapCompressed;
using vantor::kBitmapHasColorTable;
using vantor::kBitmapHasTransparency;
using vantor::kBitmapIndirect;
using vantor::kBitmapIndirectColorTable;
using vantor::kBitmapIsScreen;
using vantor::kBitmapTransparentCopy;

// Slots 179 and 174, as the display calls them.
using HALDrawRectangleProc = uint16_t(HALDrawState* state, const HALRect* rect, uint16_t cornerRadius,
                                      uint16_t frameWidth);
using HALDrawBitmapProc = uint16_t(HALDrawState* state, HALBitmap* source, const HALRect* target,
                                   int16_t originX, int16_t originY);

// Raw pixel values: palette indices below depth 16, and at depth 16 the u16 as it stands in
// memory (so in the bitmap's byte order).
using vantor::PixelGet;
using vantor::PixelPut;

inline bool PrvValidDepth(uint32_t depth) {
    return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
}
// The pixels a bitmap can hold in one row: its width, or fewer when its row bytes are too small.
uint32_t PrvBitmapUsableWidth(const HALBitmap& bitmap);
// Whether the bitmap can be drawn into or read at all: a known depth, bits, a size.
bool PrvBitmapDrawable(const HALBitmap& bitmap);

// Drawing into a compressed bitmap first turns it into an ordinary one (its data decoded in
// place); false, with the bitmap unchanged, when its data does not decode.
bool PrvDecompressDestination(HALBitmap& bitmap);
inline bool PrvDestinationReady(HALBitmap& bitmap) {
    return !(bitmap.flags & kBitmapCompressed) || PrvDecompressDestination(bitmap);
}

// Colour tables: the default table of a depth, and the one that stands for a bitmap's.
const HALColorTable* PrvDefaultColorTable(uint32_t depth);
// The standard 8-bit table's colour of entry i (0xRRGGBB).
uint32_t PrvStandardColor(uint32_t i);
// The screen's colour table: the screen manager's, or the standard table before it exists.
const HALColorTable* PrvScreenColorTable();
// The table that a bitmap's colours come from.
const HALColorTable* PrvBitmapColorTable(const HALBitmap& bitmap);
// Whether the screen holds the standard table with no custom entries.
bool PrvScreenHasStandardTable();

// RGB565 of a colour entry, in the byte order of pixel format `format` (2: as is).
uint16_t PrvColorTo565(const HALColorEntry& color, uint8_t format);
// A raw pixel value repeated across a u16 (the filler's colour word).
uint16_t PrvColorWord(uint32_t value, uint32_t depth);
// The destination value of a colour given by index and RGB.
uint32_t PrvColorValue(uint8_t index, const HALColorEntry& rgb, const HALBitmap& destination);
// The palette index of an RGB565 value (host order) in a table, matched as HALColorRGBToIndex does.
uint8_t PrvRGB565ToIndex(uint16_t rgb565, const HALColorTable* table);

// The screen's table changed: it is classified again at the next colour match.
void PrvScreenTableChanged();

// The row-filler record and its fillers.
struct RowFillerType;
using RowFillerProc = void(const RowFillerType* filler, int32_t y, uint8_t* row, int32_t x, int32_t width,
                           int32_t height);
struct RowFillerType {
    uint16_t rowBytes;
    uint16_t depth;
    uint16_t depthIndex;
    uint8_t pixelFormat;
    RowFillerProc* filler;
    uint16_t colour;
    uint16_t patternRowSize;
    uint16_t patternRowShift;
    uint8_t doubleDensity;
    uint8_t patternA[256];
    uint8_t patternB[256];
    uint16_t swapA;
    uint16_t swapB;
};

// The fillers, by name, for tests that check the builder's choice.
RowFillerProc PrvFillNoOp;
RowFillerProc PrvFillSolid;
RowFillerProc PrvFillSolid8;
RowFillerProc PrvFillSolid16;
RowFillerProc PrvFillInvert;
RowFillerProc PrvFillPatternCopy;
RowFillerProc PrvFillPatternInvert;
RowFillerProc PrvFillPatternMasked;
RowFillerProc PrvFillSwap;

// Clip rectangle as left, top, right, bottom (exclusive).
struct ClipRect {
    int32_t left, top, right, bottom;
};
ClipRect PrvStateClip(const HALDrawState& state);

void PrvBuildRowFiller(const HALDrawState& state, RowFillerType* filler);
// Fills [left, right) x [top, top + height) within the clip and the destination; reports a
// screen destination's area to the screen manager.
void PrvFillRectangle(const HALDrawState& state, const ClipRect& clip, const RowFillerType& filler, int32_t left,
                      int32_t top, int32_t right, int32_t height, bool report = true);
uint32_t PrvExpandPattern(uint32_t depth, const uint8_t* pattern, uint16_t colour0, uint16_t colour1, uint8_t* out,
                          uint8_t pixelFormat, uint32_t pixelDepth);
void PrvDrawUnderlineRow(uint8_t* row, int32_t x, int32_t count, uint32_t depth, uint8_t style, int32_t phase,
                         uint16_t key, uint16_t colour, bool doubleDensity, uint8_t pixelFormat);
// Resets the low-level drawing state.
void PrvLowLevelInit();

// The 1-bit run drawer.
enum class MonoPainter : uint8_t { Opaque, Selective, Invert };
struct MonoBlitType {
    MonoPainter painter;
    uint16_t w2;
    uint16_t w3;
    uint8_t depth;
    uint8_t depthIndex;
    uint8_t* firstRow;
    uint16_t rowBytes;
    uint8_t pixelFormat;
    uint32_t usableWidth;
    uint32_t rows;  // rows of the destination from firstRow
};
void PrvMonoBlitSetup(uint8_t mode, const HALBitmap& destination, uint8_t* firstRow, uint32_t rows,
                      uint16_t selector, uint16_t colour0, uint16_t colour1, MonoBlitType* blit);
// Paints width x height source bits (first pixel in the high bit) from (sourceX, row) onto
// (destinationX, first row); columns outside the destination are skipped.
void PrvMonoBlitRun(const MonoBlitType& blit, const uint8_t* sourceRow, uint32_t sourceRowBytes, int32_t sourceX,
                    int32_t destinationX, int32_t width, int32_t height);

// Copies rows between two bitmaps of one depth; the overlap flag asks for a copy safe within one
// bitmap's rows (the caller orders the rows).
void PrvCopyRowsSameDepth(const uint8_t* source, int32_t sourceRowBytes, int32_t sourceX, uint8_t sourceFormat,
                          uint8_t* destination, int32_t destinationRowBytes, int32_t destinationX,
                          uint8_t destinationFormat, uint32_t depth, int32_t width, int32_t height, bool overlap);

// Constant tables.
extern const uint8_t kOrderedDither[8][8];
extern const uint8_t kColourCubeMap[232];
const uint8_t* PrvReversalTable(uint32_t depth);
uint8_t PrvDepthIndex(uint32_t depth);

// Text drawing's glyph enlargers: 1-bit rows at 2 x and at 3/2.
void PrvEnlargeGlyph2x(const uint8_t* source, uint32_t sourceRowBytes, uint32_t bitOffset, uint32_t width,
                       uint32_t rows, uint8_t* strip, uint32_t stripRowBytes, uint32_t stripX);
void PrvEnlargeGlyph3Halves(const uint8_t* source, uint32_t sourceRowBytes, uint32_t bitOffset, uint32_t width,
                            uint32_t rows, uint8_t* strip, uint32_t stripRowBytes, uint32_t stripX);

}  // namespace kez
