// The pixel engine under the drawing entry points: the row-filler builder and its fillers, the
// clipped fill, pattern expansion, the underline row writer, the 1-bit run drawer, the same-depth
// row copier and the glyph enlargers of text drawing. Every member stays inside the rows and the
// pixels its caller gave it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kez/src/HALDraw.h"
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KezModule.h"

namespace kez {

const uint8_t kOrderedDither[8][8] = {
    {0x00, 0x20, 0x08, 0x28, 0x02, 0x22, 0x0A, 0x2A}, {0x30, 0x10, 0x38, 0x18, 0x32, 0x12, 0x3A, 0x1A},
    {0x0C, 0x2C, 0x04, 0x24, 0x0E, 0x2E, 0x06, 0x26}, {0x3C, 0x1C, 0x34, 0x14, 0x3E, 0x1E, 0x36, 0x16},
    {0x03, 0x23, 0x0B, 0x2B, 0x01, 0x21, 0x09, 0x29}, {0x33, 0x13, 0x3B, 0x1B, 0x31, 0x11, 0x39, 0x19},
    {0x0F, 0x2F, 0x07, 0x27, 0x0D, 0x2D, 0x05, 0x25}, {0x3F, 0x1F, 0x37, 0x17, 0x3D, 0x1D, 0x35, 0x15},
};

const uint8_t kColourCubeMap[232] = {
    0xFF, 0xD7, 0xD8, 0xBE, 0xD9, 0xDA, 0xA5, 0xDB, 0xDC, 0x32, 0xDD, 0xDE, 0x19, 0xDF, 0xE0, 0x00,
    0xFF, 0xD1, 0xCB, 0x6B, 0x65, 0x5F, 0xD6, 0xD0, 0xCA, 0x6A, 0x64, 0x5E, 0xD5, 0xCF, 0xC9, 0x69,
    0x63, 0x5D, 0xD4, 0xCE, 0xC8, 0x68, 0x62, 0x5C, 0xD3, 0xCD, 0xC7, 0x67, 0x61, 0x5B, 0xD2, 0xCC,
    0xC6, 0x66, 0x60, 0x5A, 0xC5, 0xBF, 0xB9, 0x59, 0x53, 0x4D, 0xC4, 0xBE, 0xB8, 0x58, 0x52, 0x4C,
    0xC3, 0xBD, 0xB7, 0x57, 0x51, 0x4B, 0xC2, 0xBC, 0xB6, 0x56, 0x50, 0x4A, 0xC1, 0xBB, 0xB5, 0x55,
    0x4F, 0x49, 0xC0, 0xBA, 0xB4, 0x54, 0x4E, 0x48, 0xB3, 0xAD, 0xA7, 0x47, 0x41, 0x3B, 0xB2, 0xAC,
    0xA6, 0x46, 0x40, 0x3A, 0xB1, 0xAB, 0xA5, 0x45, 0x3F, 0x39, 0xB0, 0xAA, 0xA4, 0x44, 0x3E, 0x38,
    0xAF, 0xA9, 0xA3, 0x43, 0x3D, 0x37, 0xAE, 0xA8, 0xA2, 0x42, 0x3C, 0x36, 0xA1, 0x9B, 0x95, 0x35,
    0x2F, 0x29, 0xA0, 0x9A, 0x94, 0x34, 0x2E, 0x28, 0x9F, 0x99, 0x93, 0x33, 0x2D, 0x27, 0x9E, 0x98,
    0x92, 0x32, 0x2C, 0x26, 0x9D, 0x97, 0x91, 0x31, 0x2B, 0x25, 0x9C, 0x96, 0x90, 0x30, 0x2A, 0x24,
    0x8F, 0x89, 0x83, 0x23, 0x1D, 0x17, 0x8E, 0x88, 0x82, 0x22, 0x1C, 0x16, 0x8D, 0x87, 0x81, 0x21,
    0x1B, 0x15, 0x8C, 0x86, 0x80, 0x20, 0x1A, 0x14, 0x8B, 0x85, 0x7F, 0x1F, 0x19, 0x13, 0x8A, 0x84,
    0x7E, 0x1E, 0x18, 0x12, 0x7D, 0x77, 0x71, 0x11, 0x0B, 0x05, 0x7C, 0x76, 0x70, 0x10, 0x0A, 0x04,
    0x7B, 0x75, 0x6F, 0x0F, 0x09, 0x03, 0x7A, 0x74, 0x6E, 0x0E, 0x08, 0x02, 0x79, 0x73, 0x6D, 0x0D,
    0x07, 0x01, 0x78, 0x72, 0x6C, 0x0C, 0x06, 0x00,
};

namespace {

// Grey patterns of pattern kinds 2, 4 and 5.
const uint8_t kGreyPatterns[3][8] = {
    {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},
    {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22},
    {0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77},
};

struct Tables {
    uint8_t reverse[3][256];  // pixel order within a byte reversed at depths 1, 2, 4
    uint8_t identity[256];
    Tables() {
        for (uint32_t v = 0; v < 256; ++v) {
            identity[v] = static_cast<uint8_t>(v);
            for (uint32_t d = 0; d < 3; ++d) {
                uint32_t depth = 1u << d, out = 0;
                for (uint32_t i = 0; i < 8 / depth; ++i) {
                    uint32_t pixel = (v >> (i * depth)) & ((1u << depth) - 1);
                    out |= pixel << (8 - depth - i * depth);
                }
                reverse[d][v] = static_cast<uint8_t>(out);
            }
        }
    }
};
const Tables& T() {
    static const Tables tables;
    return tables;
}

uint32_t DepthMask(uint32_t depth) { return depth >= 16 ? 0xFFFF : (1u << depth) - 1; }

// The mask of the pixels of [firstBit, endBit) that lie in byte `index`, for the pixel order.
uint8_t ByteMask(uint32_t index, uint32_t firstBit, uint32_t endBit, uint8_t format) {
    uint32_t from = std::max(firstBit, index * 8) - index * 8, to = std::min(endBit, index * 8 + 8) - index * 8;
    uint32_t bits = ((0xFFu >> from) & (0xFFu << (8 - to))) & 0xFF;
    if (format != vantor::kPixelFormatReversed) return static_cast<uint8_t>(bits);
    // Reversed order: the leftmost pixel is in the low bits, so mirror the bit positions.
    uint8_t mirrored = 0;
    for (uint32_t b = 0; b < 8; ++b)
        if (bits & (0x80u >> b)) mirrored = static_cast<uint8_t>(mirrored | (1u << b));
    return mirrored;
}

// Runs `op(byte, index, mask, y)` over the bytes of the span in each row; depths of 8 and more
// have whole-byte masks.
template <typename Op>
void EachSpanByte(const RowFillerType* f, int32_t y, uint8_t* row, int32_t x, int32_t width, int32_t height, Op op) {
    if (width <= 0 || height <= 0) return;
    uint32_t firstBit = static_cast<uint32_t>(x) * f->depth, endBit = static_cast<uint32_t>(x + width) * f->depth;
    uint32_t first = firstBit / 8, last = (endBit - 1) / 8;
    uint8_t firstMask = ByteMask(first, firstBit, endBit, f->pixelFormat);
    uint8_t lastMask = ByteMask(last, firstBit, endBit, f->pixelFormat);
    for (int32_t r = 0; r < height; ++r, row += f->rowBytes) {
        for (uint32_t b = first; b <= last; ++b) {
            uint8_t mask = b == first ? firstMask : b == last ? lastMask : 0xFF;
            op(row[b], b, mask, y + r);
        }
    }
}

uint8_t ColourByte(const RowFillerType* f, uint32_t index) {
    uint8_t bytes[2];
    std::memcpy(bytes, &f->colour, 2);
    return bytes[index & 1];
}

const uint8_t* PatternRow(const RowFillerType* f, const uint8_t* pattern, int32_t y) {
    return pattern + (((static_cast<uint32_t>(y) >> f->doubleDensity) & 7) << f->patternRowShift);
}

}  // namespace

const uint8_t* PrvReversalTable(uint32_t depth) {
    switch (depth) {
        case 1: return T().reverse[0];
        case 2: return T().reverse[1];
        case 4: return T().reverse[2];
        default: return T().identity;
    }
}

uint8_t PrvDepthIndex(uint32_t depth) {
    switch (depth) {
        case 2: return 1;
        case 4: return 2;
        case 8: return 3;
        case 16: return 4;
        default: return 0;
    }
}

uint32_t PrvBitmapUsableWidth(const HALBitmap& bitmap) {
    if (!PrvValidDepth(bitmap.pixelSize)) return 0;
    uint32_t fits = uint32_t{bitmap.rowBytes} * 8 / bitmap.pixelSize;
    return std::min<uint32_t>(bitmap.width, fits);
}

bool PrvBitmapDrawable(const HALBitmap& bitmap) {
    return bitmap.bits && PrvValidDepth(bitmap.pixelSize) && bitmap.height > 0 && PrvBitmapUsableWidth(bitmap) > 0;
}

void PrvFillNoOp(const RowFillerType*, int32_t, uint8_t*, int32_t, int32_t, int32_t) {}

void PrvFillSolid(const RowFillerType* f, int32_t y, uint8_t* row, int32_t x, int32_t width, int32_t height) {
    EachSpanByte(f, y, row, x, width, height, [f](uint8_t& byte, uint32_t index, uint8_t mask, int32_t) {
        byte = static_cast<uint8_t>((ColourByte(f, index) & mask) | (byte & ~mask));
    });
}

void PrvFillSolid8(const RowFillerType* f, int32_t, uint8_t* row, int32_t x, int32_t width, int32_t height) {
    for (int32_t r = 0; r < height; ++r, row += f->rowBytes)
        std::memset(row + x, f->colour & 0xFF, static_cast<size_t>(width));
}

void PrvFillSolid16(const RowFillerType* f, int32_t, uint8_t* row, int32_t x, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    // The first row pixel by pixel, doubling the filled part; the other rows copy it.
    uint8_t* first = row + x * 2;
    std::memcpy(first, &f->colour, 2);
    for (size_t done = 1; done < static_cast<size_t>(width);) {
        size_t n = std::min(done, static_cast<size_t>(width) - done);
        std::memcpy(first + done * 2, first, n * 2);
        done += n;
    }
    for (int32_t r = 1; r < height; ++r) std::memcpy(first + static_cast<size_t>(r) * f->rowBytes, first, size_t(width) * 2);
}

void PrvFillInvert(const RowFillerType* f, int32_t y, uint8_t* row, int32_t x, int32_t width, int32_t height) {
    EachSpanByte(f, y, row, x, width, height, [f](uint8_t& byte, uint32_t index, uint8_t mask, int32_t) {
        byte = static_cast<uint8_t>(byte ^ (ColourByte(f, index) & mask));
    });
}

void PrvFillPatternCopy(const RowFillerType* f, int32_t y, uint8_t* row, int32_t x, int32_t width, int32_t height) {
    uint32_t wrap = f->patternRowSize - 1u;
    EachSpanByte(f, y, row, x, width, height, [f, wrap](uint8_t& byte, uint32_t index, uint8_t mask, int32_t ry) {
        uint8_t a = PatternRow(f, f->patternA, ry)[index & wrap];
        byte = static_cast<uint8_t>((a & mask) | (byte & ~mask));
    });
}

void PrvFillPatternInvert(const RowFillerType* f, int32_t y, uint8_t* row, int32_t x, int32_t width,
                          int32_t height) {
    uint32_t wrap = f->patternRowSize - 1u;
    EachSpanByte(f, y, row, x, width, height, [f, wrap](uint8_t& byte, uint32_t index, uint8_t mask, int32_t ry) {
        byte = static_cast<uint8_t>(byte ^ (PatternRow(f, f->patternA, ry)[index & wrap] & mask));
    });
}

void PrvFillPatternMasked(const RowFillerType* f, int32_t y, uint8_t* row, int32_t x, int32_t width,
                          int32_t height) {
    uint32_t wrap = f->patternRowSize - 1u;
    EachSpanByte(f, y, row, x, width, height, [f, wrap](uint8_t& byte, uint32_t index, uint8_t mask, int32_t ry) {
        uint8_t a = PatternRow(f, f->patternA, ry)[index & wrap], b = PatternRow(f, f->patternB, ry)[index & wrap];
        byte = static_cast<uint8_t>((mask & a) | ((~mask | b) & byte));
    });
}

void PrvFillSwap(const RowFillerType* f, int32_t, uint8_t* row, int32_t x, int32_t width, int32_t height) {
    for (int32_t r = 0; r < height; ++r, row += f->rowBytes) {
        for (int32_t i = x; i < x + width; ++i) {
            uint32_t v = PixelGet(row, static_cast<uint32_t>(i), f->depth, f->pixelFormat);
            if (v == f->swapA) PixelPut(row, static_cast<uint32_t>(i), f->depth, f->pixelFormat, f->swapB);
            else if (v == f->swapB) PixelPut(row, static_cast<uint32_t>(i), f->depth, f->pixelFormat, f->swapA);
        }
    }
}

uint32_t PrvExpandPattern(uint32_t depth, const uint8_t* pattern, uint16_t colour0, uint16_t colour1, uint8_t* out,
                          uint8_t pixelFormat, uint32_t pixelDepth) {
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 32)
        return std::max<uint32_t>(2, depth);
    uint32_t rowSize = std::max<uint32_t>(2, depth);  // 8 pixels of `depth` bits, at least a word
    for (uint32_t r = 0; r < 8; ++r) {
        uint8_t* o = out + r * rowSize;
        std::memset(o, 0, rowSize);
        for (uint32_t i = 0; i < 8; ++i) {
            uint16_t c = (pattern[r] & (0x80u >> i)) ? colour1 : colour0;
            if (depth >= 16) {
                for (uint32_t k = 0; k < depth / 16; ++k) std::memcpy(o + (i * depth / 16 + k) * 2, &c, 2);
            } else {
                uint32_t bit = i * depth;
                o[bit / 8] = static_cast<uint8_t>(o[bit / 8] | ((c & DepthMask(depth)) << (8 - depth - bit % 8)));
            }
        }
        if (depth < 16 && pixelFormat == vantor::kPixelFormatReversed) {
            const uint8_t* reverse = PrvReversalTable(pixelDepth);
            for (uint32_t k = 0; k < depth; ++k) o[k] = reverse[o[k]];
        }
        if (depth == 1) o[1] = o[0];
    }
    return rowSize;
}

void PrvLowLevelInit() {
    // The fillers and painters are chosen per call; nothing is kept between calls.
}

ClipRect PrvStateClip(const HALDrawState& state) {
    return {state.clip.x, state.clip.y, int32_t{state.clip.x} + state.clip.width,
            int32_t{state.clip.y} + state.clip.height};
}

void PrvBuildRowFiller(const HALDrawState& state, RowFillerType* f) {
    const HALBitmap& dest = *state.destination;
    static const HALDrawAttributes kNone{};
    const HALDrawAttributes& a = state.attributes ? *state.attributes : kNone;
    uint32_t depth = dest.pixelSize;
    f->rowBytes = dest.rowBytes;
    f->depth = static_cast<uint16_t>(depth);
    f->depthIndex = PrvDepthIndex(depth);
    f->pixelFormat = dest.pixelFormat;
    f->filler = PrvFillNoOp;
    f->colour = 0;
    f->patternRowSize = 0;
    f->patternRowShift = 0;
    f->doubleDensity = 0;
    f->swapA = f->swapB = 0;
    if (!PrvValidDepth(depth)) return;

    uint16_t fore = PrvColorWord(PrvColorValue(a.foreIndex, a.foreColor, dest), depth);
    uint16_t back = PrvColorWord(PrvColorValue(a.backIndex, a.backColor, dest), depth);
    uint8_t mode = a.transferMode;
    if (mode == 6) {
        if (fore == back) return;
        if (depth == 1) {
            f->filler = PrvFillInvert;
            f->colour = 0xFFFF;
            return;
        }
        f->filler = PrvFillSwap;
        f->swapA = static_cast<uint16_t>(back & DepthMask(depth));
        f->swapB = static_cast<uint16_t>(fore & DepthMask(depth));
        return;
    }
    uint8_t kind = a.patternKind;
    const uint8_t* pattern = a.customPattern;
    bool density72 = false;
    if (kind == 2 || kind == 4 || kind == 5) {
        pattern = kGreyPatterns[kind == 2 ? 0 : kind == 4 ? 1 : 2];
        kind = 3;
        density72 = true;
    }
    if (kind != 1 && kind != 3) kind = 0;

    auto solid = [&](uint16_t colour) {
        f->colour = colour;
        f->filler = depth == 8 ? PrvFillSolid8 : depth == 16 ? PrvFillSolid16 : PrvFillSolid;
    };
    auto invert = [&](uint16_t colour) {
        f->colour = depth == 16 ? static_cast<uint16_t>(~colour) : colour;
        f->filler = PrvFillInvert;
    };
    if (kind != 3) {
        uint16_t colour = kind == 0 ? fore : back;
        switch (mode) {
            case 0: solid(colour); break;
            case 1: if (kind == 1) solid(back); break;
            case 2: if (kind == 0) solid(back); break;
            case 3: invert(colour); break;
            case 4: if (kind == 0) solid(fore); break;
            case 5: solid(kind == 0 ? back : fore); break;
            default: break;
        }
        return;
    }
    uint32_t expansion = depth;
    if (dest.density == 144 && !density72) {
        expansion = depth * 2;
        f->doubleDensity = 1;
    }
    auto expand = [&](uint8_t* out, uint16_t c0, uint16_t c1) {
        return PrvExpandPattern(expansion, pattern, c0, c1, out, dest.pixelFormat, depth);
    };
    uint32_t size = 0;
    switch (mode) {
        case 0:
        case 5:
            if (fore == back) {
                f->doubleDensity = 0;
                solid(fore);
                return;
            }
            if (mode == 5) std::swap(fore, back);
            size = expand(f->patternA, back, fore);
            f->filler = PrvFillPatternCopy;
            break;
        case 4:
        case 2:
            size = expand(f->patternA, 0, mode == 4 ? fore : back);
            expand(f->patternB, 0xFFFF, 0);
            f->filler = PrvFillPatternMasked;
            break;
        case 1:
            size = expand(f->patternA, back, 0);
            expand(f->patternB, 0, 0xFFFF);
            f->filler = PrvFillPatternMasked;
            break;
        case 3:
            if (depth == 16) {
                fore = static_cast<uint16_t>(~fore);
                back = static_cast<uint16_t>(~back);
            }
            size = expand(f->patternA, back, fore);
            f->filler = PrvFillPatternInvert;
            break;
        default: return;
    }
    f->patternRowSize = static_cast<uint16_t>(size);
    uint16_t shift = 0;
    while ((1u << shift) < size) ++shift;
    f->patternRowShift = shift;
}

void PrvFillRectangle(const HALDrawState& state, const ClipRect& clip, const RowFillerType& filler, int32_t left,
                      int32_t top, int32_t right, int32_t height, bool report) {
    const HALBitmap& dest = *state.destination;
    if (!PrvBitmapDrawable(dest)) return;
    int32_t bottom = top + height;
    left = std::max({left, clip.left, 0});
    top = std::max({top, clip.top, 0});
    right = std::min({right, clip.right, static_cast<int32_t>(PrvBitmapUsableWidth(dest))});
    bottom = std::min({bottom, clip.bottom, static_cast<int32_t>(dest.height)});
    if (right <= left || bottom <= top) return;
    uint8_t* row = static_cast<uint8_t*>(dest.bits) + static_cast<size_t>(top) * dest.rowBytes;
    filler.filler(&filler, top, row, left, right - left, bottom - top);
    if (report) PrvReportScreenRect(dest, left, top, right, bottom);
}

void PrvDrawUnderlineRow(uint8_t* row, int32_t x, int32_t count, uint32_t depth, uint8_t style, int32_t phase,
                         uint16_t key, uint16_t colour, bool doubleDensity, uint8_t pixelFormat) {
    if (!PrvValidDepth(depth)) return;
    uint32_t mask = DepthMask(depth);
    for (int32_t i = x; i < x + count; ++i) {
        if (style == 2) {
            int32_t p = phase + i;
            if (doubleDensity ? (p & 3) >= 2 : (p & 1) != 0) continue;
        }
        uint32_t old = PixelGet(row, static_cast<uint32_t>(i), depth, pixelFormat);
        if (old == (key & mask)) continue;
        PixelPut(row, static_cast<uint32_t>(i), depth, pixelFormat, colour & mask);
    }
}

void PrvMonoBlitSetup(uint8_t mode, const HALBitmap& destination, uint8_t* firstRow, uint32_t rows,
                      uint16_t selector, uint16_t colour0, uint16_t colour1, MonoBlitType* blit) {
    *blit = MonoBlitType{};
    auto set = [blit](MonoPainter painter, uint16_t w2, uint16_t w3) {
        blit->painter = painter;
        blit->w2 = w2;
        blit->w3 = w3;
    };
    switch (mode) {
        case 1: set(MonoPainter::Selective, static_cast<uint16_t>(selector == 0), colour0); break;
        case 2: set(MonoPainter::Selective, selector, colour0); break;
        case 3: set(MonoPainter::Invert, colour0, colour1); break;
        case 4: set(MonoPainter::Selective, selector, selector ? colour0 : colour1); break;
        case 5: set(MonoPainter::Opaque, colour1, colour0); break;
        default: set(MonoPainter::Opaque, colour0, colour1); break;
    }
    blit->depth = destination.pixelSize;
    blit->depthIndex = PrvDepthIndex(destination.pixelSize);
    blit->firstRow = firstRow;
    blit->rowBytes = destination.rowBytes;
    blit->pixelFormat = destination.pixelFormat;
    blit->usableWidth = PrvBitmapUsableWidth(destination);
    blit->rows = rows;
}

void PrvMonoBlitRun(const MonoBlitType& blit, const uint8_t* sourceRow, uint32_t sourceRowBytes, int32_t sourceX,
                    int32_t destinationX, int32_t width, int32_t height) {
    if (!PrvValidDepth(blit.depth) || !blit.firstRow || sourceX < 0) return;
    uint32_t depth = blit.depth, mask = DepthMask(depth);
    int32_t from = std::max(0, -destinationX), to = std::min(width, static_cast<int32_t>(blit.usableWidth) - destinationX);
    height = std::min<int32_t>(height, static_cast<int32_t>(blit.rows));
    uint8_t* row = blit.firstRow;
    for (int32_t r = 0; r < height; ++r, row += blit.rowBytes, sourceRow += sourceRowBytes) {
        for (int32_t i = from; i < to; ++i) {
            uint32_t sx = static_cast<uint32_t>(sourceX + i);
            bool bit = (sourceRow[sx >> 3] >> (7 - (sx & 7))) & 1;
            auto dx = static_cast<uint32_t>(destinationX + i);
            switch (blit.painter) {
                case MonoPainter::Opaque: PixelPut(row, dx, depth, blit.pixelFormat, (bit ? blit.w3 : blit.w2) & mask); break;
                case MonoPainter::Selective:
                    if (blit.w2 != 0 ? !bit : bit) PixelPut(row, dx, depth, blit.pixelFormat, blit.w3 & mask);
                    break;
                case MonoPainter::Invert: {
                    uint32_t v = bit ? blit.w3 : blit.w2;
                    if (depth == 16) v = ~v;
                    PixelPut(row, dx, depth, blit.pixelFormat, PixelGet(row, dx, depth, blit.pixelFormat) ^ (v & mask));
                    break;
                }
            }
        }
    }
}

void PrvCopyRowsSameDepth(const uint8_t* source, int32_t sourceRowBytes, int32_t sourceX, uint8_t sourceFormat,
                          uint8_t* destination, int32_t destinationRowBytes, int32_t destinationX,
                          uint8_t destinationFormat, uint32_t depth, int32_t width, int32_t height, bool overlap) {
    if (width <= 0 || height <= 0 || !PrvValidDepth(depth)) return;
    if (depth == 16) {
        bool swap = (sourceFormat == 2) != (destinationFormat == 2);
        for (int32_t r = 0; r < height; ++r, source += sourceRowBytes, destination += destinationRowBytes) {
            std::memmove(destination + destinationX * 2, source + sourceX * 2, static_cast<size_t>(width) * 2);
            if (swap)
                for (int32_t i = 0; i < width; ++i) {
                    uint8_t* p = destination + (destinationX + i) * 2;
                    std::swap(p[0], p[1]);
                }
        }
        return;
    }
    if (depth == 8) {
        for (int32_t r = 0; r < height; ++r, source += sourceRowBytes, destination += destinationRowBytes)
            std::memmove(destination + destinationX, source + sourceX, static_cast<size_t>(width));
        return;
    }
    auto reversed = [](uint8_t f) { return f == vantor::kPixelFormatReversed; };
    uint32_t s = static_cast<uint32_t>(sourceX) * depth, t = static_cast<uint32_t>(destinationX) * depth;
    uint32_t endBit = t + static_cast<uint32_t>(width) * depth;
    if (reversed(sourceFormat) == reversed(destinationFormat) && s % 8 == t % 8) {
        // Aligned: whole middle bytes move as a block, the edge bytes under their masks.
        uint32_t first = t / 8, last = (endBit - 1) / 8, sourceFirst = s / 8;
        uint8_t firstMask = ByteMask(first, t, endBit, destinationFormat);
        uint8_t lastMask = ByteMask(last, t, endBit, destinationFormat);
        for (int32_t r = 0; r < height; ++r, source += sourceRowBytes, destination += destinationRowBytes) {
            const uint8_t* from = source + sourceFirst;
            uint8_t* to = destination + first;
            uint8_t head = from[0], tail = from[last - first];
            if (last > first + 1) std::memmove(to + 1, from + 1, last - first - 1);
            if (first == last) {
                to[0] = static_cast<uint8_t>((head & (firstMask & lastMask)) | (to[0] & ~(firstMask & lastMask)));
            } else {
                to[0] = static_cast<uint8_t>((head & firstMask) | (to[0] & ~firstMask));
                to[last - first] = static_cast<uint8_t>((tail & lastMask) | (to[last - first] & ~lastMask));
            }
        }
        return;
    }
    // Shifted or converting between pixel orders: pixel by pixel, through a copy of the source
    // row when both rows may be the same memory.
    std::vector<uint8_t> buffer;
    size_t sourceBytes = (s + static_cast<uint32_t>(width) * depth + 7) / 8;
    if (overlap) buffer.resize(sourceBytes);
    for (int32_t r = 0; r < height; ++r, source += sourceRowBytes, destination += destinationRowBytes) {
        const uint8_t* from = source;
        if (overlap) {
            std::memcpy(buffer.data(), source, sourceBytes);
            from = buffer.data();
        }
        for (int32_t i = 0; i < width; ++i)
            PixelPut(destination, static_cast<uint32_t>(destinationX + i), depth, destinationFormat,
                     PixelGet(from, static_cast<uint32_t>(sourceX + i), depth, sourceFormat));
    }
}

namespace {
bool GlyphBit(const uint8_t* row, uint32_t bit) { return (row[bit >> 3] >> (7 - (bit & 7))) & 1; }
void StripSet(uint8_t* row, uint32_t x) { row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80u >> (x & 7))); }
}  // namespace

void PrvEnlargeGlyph2x(const uint8_t* source, uint32_t sourceRowBytes, uint32_t bitOffset, uint32_t width,
                       uint32_t rows, uint8_t* strip, uint32_t stripRowBytes, uint32_t stripX) {
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* in = source + r * sourceRowBytes;
        uint8_t* out0 = strip + 2 * r * stripRowBytes;
        uint8_t* out1 = out0 + stripRowBytes;
        for (uint32_t i = 0; i < width; ++i) {
            if (!GlyphBit(in, bitOffset + i)) continue;
            for (uint32_t k = 0; k < 2; ++k) {
                StripSet(out0, stripX + 2 * i + k);
                StripSet(out1, stripX + 2 * i + k);
            }
        }
    }
}

void PrvEnlargeGlyph3Halves(const uint8_t* source, uint32_t sourceRowBytes, uint32_t bitOffset, uint32_t width,
                            uint32_t rows, uint8_t* strip, uint32_t stripRowBytes, uint32_t stripX) {
    // Each pair of pixels becomes three (the middle one set when both are), and the second row of
    // each pair of rows is written twice.
    uint32_t outRow = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* in = source + r * sourceRowBytes;
        uint32_t copies = (r & 1) ? 2 : 1;
        for (uint32_t c = 0; c < copies; ++c, ++outRow) {
            uint8_t* out = strip + outRow * stripRowBytes;
            for (uint32_t i = 0; i < width; i += 2) {
                bool p0 = GlyphBit(in, bitOffset + i), p1 = i + 1 < width && GlyphBit(in, bitOffset + i + 1);
                uint32_t x = stripX + i / 2 * 3;
                if (p0) StripSet(out, x);
                if (p0 && p1) StripSet(out, x + 1);
                if (p1) StripSet(out, x + 2);
            }
        }
    }
}

}  // namespace kez
