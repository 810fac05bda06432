// Bitmap copy (export slot 174): a rectangle of a source bitmap into the destination of a drawing
// state, between any of the depths 1, 2, 4, 8 and 16 and the densities 72, 108 and 144, under a
// transfer mode, translating colours between colour tables, reading compressed sources row by
// row and compressing into a compressed destination.
//
// Every rectangle is clipped to both bitmaps before a row is touched: a destination pixel is
// written only inside the destination's rows and the clip, and only from a source pixel inside
// the source.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kez/src/HALDraw.h"
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KezModule.h"
#include "kez/src/ScanLineCodecs.h"

namespace kez {
namespace {

constexpr uint16_t kCompressFailed = 0x2302;

uint16_t Swap16(uint32_t v) { return static_cast<uint16_t>(((v >> 8) & 0xFF) | ((v & 0xFF) << 8)); }
// 16-bit pixels: host-order RGB565 from a bitmap's raw value and back.
uint16_t ToHost(uint32_t raw, uint8_t format) { return format == 2 ? static_cast<uint16_t>(raw) : Swap16(raw); }
uint16_t FromHost(uint32_t host, uint8_t format) { return format == 2 ? static_cast<uint16_t>(host) : Swap16(host); }

// The size word in front of a compressed bitmap's data: a u16 with a 38-byte header, else a u32.
uint32_t SizeWordLength(const HALBitmap& b) { return b.headerSize == 38 ? 2 : b.headerSize == 40 ? 4 : 0; }

// The compressed data that follows the size word (the size counts the word itself).
uint32_t CompressedDataLimit(const HALBitmap& b) {
    uint32_t word = SizeWordLength(b);
    return b.compressedSize > word ? b.compressedSize - word : 0;
}

uint8_t CompressionTypeOf(const HALBitmap& b) {
    return (b.version & 0x7F) > 1 ? b.compressionType : kCompressScanLine;
}

// The 16.16 ratio of the destination density to the source density; 0 for none.
uint32_t DensityRatio(const HALBitmap& source, const HALBitmap& destination) {
    uint32_t s = source.density, d = destination.density;
    if (s == d || (source.flags2 & 1) || s == 0 || d == 0) return 0;
    if (s == 108 && d == 72) return 0xAAAB;
    return (d << 16) / s;
}
bool KnownRatio(uint32_t ratio) {
    return ratio == 0 || ratio == 0xAAAB || ratio == 0x8000 || ratio == 0x18000 || ratio == 0x20000;
}

int32_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return static_cast<int32_t>((a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q);
}

// The whiteness of each standard colour: (red + 5 green + blue) / 7, rounded.
uint8_t StandardWhiteness(uint32_t i) {
    uint32_t c = PrvStandardColor(i);
    uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return static_cast<uint8_t>((r + 5 * g + b + 3) / 7);
}

// A grey level of depth d (0 white .. 2^d - 1 black) for a whiteness.
uint32_t GreyLevel(uint32_t whiteness, uint32_t depth) {
    uint32_t top = (1u << depth) - 1;
    return ((255 - whiteness) * top + 127) / 255;
}

// The fixed translation maps between the default tables of two depths; false for the identity.
bool FixedMap(uint32_t from, uint32_t to, uint16_t* map) {
    static const uint8_t k2To8[] = {0x00, 0xDD, 0xDA, 0xFF};
    static const uint8_t k4To8[] = {0x00, 0xE0, 0xDF, 0x19, 0xDE, 0xDD, 0x32, 0xDC,
                                    0xDB, 0xA5, 0xDA, 0xD9, 0xBE, 0xD8, 0xD7, 0xFF};
    uint32_t n = 1u << from;
    for (uint32_t i = 0; i < n; ++i) {
        if ((from == 2 || from == 4) && to == 1) map[i] = static_cast<uint16_t>(i >> (from - 1));
        else if (from == 4 && to == 2) map[i] = static_cast<uint16_t>(i >> 2);
        else if (from == 2 && to == 4) map[i] = static_cast<uint16_t>(i * 5);
        else if (from == 2 && to == 8) map[i] = k2To8[i];
        else if (from == 4 && to == 8) map[i] = k4To8[i];
        else if (from == 8 && to < 8) map[i] = static_cast<uint16_t>(GreyLevel(StandardWhiteness(i), to));
        else map[i] = static_cast<uint16_t>(i & ((1u << std::min<uint32_t>(to, 8)) - 1));
    }
    return true;
}

// The three-colour cache of the RGB565-to-index conversion.
struct IndexCache {
    const HALColorTable* table;
    uint16_t colour[3];
    uint8_t index[3];
    int filled = 0;
    int next = 0;
    uint8_t Get(uint16_t rgb) {
        for (int i = 0; i < filled; ++i)
            if (colour[i] == rgb) return index[i];
        uint8_t found = PrvRGB565ToIndex(rgb, table);
        if (filled == 0) {
            for (int i = 0; i < 3; ++i) colour[i] = rgb, index[i] = found;
            filled = 3;
            next = 1;
        } else {
            colour[next] = rgb;
            index[next] = found;
            next = (next + 1) % 3;
        }
        return found;
    }
};

// Reads the rows of a source bitmap in order, decompressing a compressed one row by row.
class SourceRows {
public:
    // `area`: the bytes the compressed data may take at most (a destination's own rows).
    bool Open(const HALBitmap& b, uint32_t area = UINT32_MAX) {
        bitmap_ = &b;
        if (!(b.flags & kBitmapCompressed)) return true;
        compressed_ = true;
        type_ = CompressionTypeOf(b);
        state_ = ScanLineCodecState{};
        if (type_ == kCompressPackBits) state_.depth = b.pixelSize;
        data_ = static_cast<const uint8_t*>(b.bits);
        left_ = std::min(CompressedDataLimit(b), area);
        row_.assign(b.rowBytes, 0);
        return true;
    }
    // Row `y` of the source (rows are asked for in increasing order); null when it cannot be had.
    const uint8_t* Row(int32_t y) {
        const HALBitmap& b = *bitmap_;
        if (y < 0 || y >= b.height) return nullptr;
        if (!compressed_) return static_cast<const uint8_t*>(b.bits) + static_cast<size_t>(y) * b.rowBytes;
        if (failed_ || y < decoded_) return failed_ ? nullptr : (y == decoded_ - 1 ? row_.data() : nullptr);
        while (decoded_ <= y) {
            int32_t used = PrvDecompressRow(type_, data_, left_, row_.data(), b.rowBytes, &state_);
            if (used < 0) {
                failed_ = true;
                return nullptr;
            }
            data_ += used;
            left_ -= static_cast<uint32_t>(used);
            ++decoded_;
        }
        return row_.data();
    }

private:
    const HALBitmap* bitmap_ = nullptr;
    bool compressed_ = false, failed_ = false;
    uint8_t type_ = 0;
    ScanLineCodecState state_{};
    const uint8_t* data_ = nullptr;
    uint32_t left_ = 0;
    int32_t decoded_ = 0;
    std::vector<uint8_t> row_;
};

}  // namespace

// Turns a compressed destination into an ordinary one: its data decoded into the area that
// starts at the size word. False (and nothing changed) when the data does not decode.
bool PrvDecompressDestination(HALBitmap& d) {
    if (!PrvValidDepth(d.pixelSize) || !d.bits) return false;
    size_t area = size_t{d.height} * d.rowBytes;
    std::vector<uint8_t> picture(area);
    // The data lies within the destination's rows, after the size word.
    uint32_t word = SizeWordLength(d);
    SourceRows rows;
    rows.Open(d, area > word ? static_cast<uint32_t>(area - word) : 0);
    for (int32_t y = 0; y < d.height; ++y) {
        const uint8_t* row = rows.Row(y);
        if (!row) return false;
        std::memcpy(picture.data() + static_cast<size_t>(y) * d.rowBytes, row, d.rowBytes);
    }
    d.bits = static_cast<uint8_t*>(d.bits) - SizeWordLength(d);
    if (area) std::memcpy(d.bits, picture.data(), area);
    d.flags = static_cast<uint16_t>(d.flags & ~kBitmapCompressed);
    d.headerSize = 36;
    d.compressedSize = 0;
    return true;
}

namespace {

// Compresses the source rectangle that covers the whole destination into it.
uint16_t CompressInto(const HALBitmap& s, int32_t sx, int32_t sy, HALBitmap& d) {
    uint32_t rowBytes = std::max(s.rowBytes, d.rowBytes);
    std::vector<uint8_t> a, b;
    a.resize(rowBytes);
    b.resize(rowBytes);
    uint8_t type = CompressionTypeOf(d);
    ScanLineCodecState state{};
    if (type == kCompressPackBits) state.depth = d.pixelSize;
    int64_t area = int64_t{d.height} * d.rowBytes;
    int64_t limit = std::min<int64_t>(area, 65000) - 2 * int64_t{d.rowBytes} - 4;
    auto* out = static_cast<uint8_t*>(d.bits);
    int64_t written = 0;
    bool ok = limit > 0;
    for (int32_t y = 0; ok && y < d.height; ++y) {
        if (written >= limit) {
            ok = false;
            break;
        }
        const uint8_t* row = static_cast<const uint8_t*>(s.bits) + static_cast<size_t>(sy + y) * s.rowBytes;
        std::memset(a.data(), 0, rowBytes);
        PrvCopyRowsSameDepth(row, s.rowBytes, sx, s.pixelFormat, a.data(), d.rowBytes, 0, d.pixelFormat, d.pixelSize,
                             static_cast<int32_t>(PrvBitmapUsableWidth(d)), 1, false);
        if (type == kCompressScanLine) {
            state.previousRow = b.data();
            state.hasPrevious = y > 0;
        }
        int32_t n = PrvCompressRow(type, a.data(), d.rowBytes, out + written, static_cast<uint32_t>(limit - written),
                                   &state);
        if (n < 0) ok = false;
        else written += n;
        std::swap(a, b);
    }
    uint32_t word = SizeWordLength(d);
    if (word == 2) {
        auto size = static_cast<uint16_t>(written + 2);
        std::memcpy(out - 2, &size, 2);
    } else if (word == 4) {
        auto size = static_cast<uint32_t>(written + 4);
        std::memcpy(out - 4, &size, 4);
    }
    d.compressedSize = static_cast<uint32_t>(written + word);
    return ok ? 0 : kCompressFailed;
}

struct Copy {
    const HALBitmap* source;
    HALBitmap* dest;
    uint32_t sd, dd, ratio;
    uint8_t mode;
    // Source value -> destination value (depths up to 8).
    uint16_t map[256];
    bool reduce = false;  // mode 0 to a lower depth: through grey levels, dithered
    uint8_t grey[256];
    const HALColorTable* destTable = nullptr;
    IndexCache cache{};
    uint16_t standardToDest[256];
    bool standardIdentity = true;
    bool keyed = false;
    uint32_t key = 0;
    uint32_t back = 0;
    uint32_t rowCounter = 0;

    uint32_t Dither(uint32_t x) const { return kOrderedDither[rowCounter & 7][x & 7]; }

    uint32_t LowDepthGrey(uint32_t v, uint32_t m) const {
        switch (dd) {
            case 1: return 1 - ((v - v / 2 + 2 * m) / 128);
            case 2: return 3 - ((v - v / 4 + m) / 64);
            default: return 15 - ((v - v / 16 + m / 4) / 16);
        }
    }

    // The destination value of source value s at destination column x.
    uint32_t Convert(uint32_t s, uint32_t x) {
        if (sd <= 8) {
            if (reduce) return LowDepthGrey(grey[s & 0xFF], Dither(x));
            return map[s & 0xFF];
        }
        uint16_t host = ToHost(s, source->pixelFormat);
        if (dd == 16) {
            if (mode == 5) host = static_cast<uint16_t>(~host);
            return FromHost(host, dest->pixelFormat);
        }
        uint32_t top = (1u << dd) - 1, v;
        if (mode == 0 && !(source->flags & kBitmapColorTable16)) {
            uint32_t r = host >> 11, g6 = (host >> 5) & 63, b = host & 31, m = Dither(x);
            if (dd == 8) {
                uint32_t g = g6 >> 1, entry;
                if (r == g && g == b) {
                    uint32_t sum = 2 * r + 5 * g + b, t = (sum / 8) | (sum * 4);
                    t -= t / 16;
                    entry = (m + t) / 64;
                } else {
                    entry = 16 + 36 * ((m + 10 * r) / 64) + 6 * ((m + 10 * g) / 64) + (m + 10 * b) / 64;
                }
                uint8_t standard = kColourCubeMap[std::min<uint32_t>(entry, 231)];
                return standardIdentity ? standard : standardToDest[standard];
            }
            uint32_t level = 2 * (r + g6) + g6 / 2 + b + ((g6 / 8) & 5);
            return LowDepthGrey(std::min<uint32_t>(level, 255), m);
        }
        v = cache.Get(host) & top;
        return mode == 5 ? top - v : v;
    }
};

void BuildMaps(Copy& c, const HALDrawAttributes& a) {
    const HALBitmap& s = *c.source;
    const HALBitmap& d = *c.dest;
    uint32_t sd = c.sd, dd = c.dd, n = sd <= 8 ? 1u << sd : 0;
    bool sourceHasTable = s.colorTable && s.colorTable->count;
    bool destHasTable = d.colorTable && d.colorTable->count;
    c.destTable = dd <= 8 ? PrvBitmapColorTable(d) : nullptr;
    if (!c.destTable) c.destTable = PrvDefaultColorTable(8);
    c.cache.table = c.destTable;
    if (sd <= 8) {
        if (dd == 16) {
            if (sd == 1 && !sourceHasTable) {
                c.map[0] = PrvColorTo565(a.backColor, d.pixelFormat);
                c.map[1] = PrvColorTo565(a.foreColor, d.pixelFormat);
            } else {
                const HALColorTable* t = sourceHasTable ? s.colorTable : PrvDefaultColorTable(sd);
                for (uint32_t i = 0; i < n; ++i) {
                    HALColorEntry e = i < t->count ? t->entries[i] : HALColorEntry{};
                    c.map[i] = PrvColorTo565(e, d.pixelFormat);
                }
            }
        } else if (sd == 1 && !sourceHasTable) {
            uint32_t mask = (1u << dd) - 1;
            c.map[0] = static_cast<uint16_t>(a.backIndex & mask);
            c.map[1] = static_cast<uint16_t>(a.foreIndex & mask);
        } else if (!sourceHasTable && (!destHasTable || ((d.flags & kBitmapIsScreen) && PrvScreenHasStandardTable()))) {
            FixedMap(sd, dd, c.map);
        } else if (!sourceHasTable && sd != dd && PrvScreenMgrTranslation(sd)) {
            const uint16_t* t = PrvScreenMgrTranslation(sd);
            for (uint32_t i = 0; i < n; ++i) c.map[i] = static_cast<uint16_t>(t[i] & ((1u << dd) - 1));
        } else {
            const HALColorTable* st = sourceHasTable ? s.colorTable : PrvDefaultColorTable(sd);
            const HALColorTable* dt = c.destTable;
            uint32_t agree = 0;
            if (sd == dd)
                while (agree < n && agree < st->count && agree < dt->count &&
                       st->entries[agree].red == dt->entries[agree].red &&
                       st->entries[agree].green == dt->entries[agree].green &&
                       st->entries[agree].blue == dt->entries[agree].blue)
                    ++agree;
            for (uint32_t i = 0; i < agree; ++i) c.map[i] = static_cast<uint16_t>(i);
            std::vector<HALColorEntry> entries(n - agree);
            for (uint32_t i = agree; i < n; ++i) {
                entries[i - agree] = i < st->count ? st->entries[i] : HALColorEntry{};
                entries[i - agree].index = 0;
            }
            if (!entries.empty())
                KEZ_CALL(HALColorRGBToIndex, static_cast<uint16_t>(entries.size()), entries.data(), dt);
            for (uint32_t i = agree; i < n; ++i)
                c.map[i] = static_cast<uint16_t>(entries[i - agree].index & ((1u << dd) - 1));
        }
        if (c.mode == 0 && !(s.flags & kBitmapColorTable16) && sd > dd) {
            c.reduce = true;
            for (uint32_t i = 0; i < n; ++i)
                c.grey[i] = sd == 8 ? StandardWhiteness(i) : static_cast<uint8_t>(255 - i * (255 / (n - 1)));
        }
        if (c.mode == 5) {
            uint16_t reversed[256];
            for (uint32_t i = 0; i < n; ++i) reversed[i] = c.map[n - 1 - i];
            std::memcpy(c.map, reversed, 2 * n);
        }
    } else if (dd == 8) {
        // The standard index that the dithering yields, in the destination's table.
        const HALColorTable* dt = c.destTable;
        c.standardIdentity = dt == PrvDefaultColorTable(8) || (dt == PrvScreenColorTable() && PrvScreenHasStandardTable());
        if (!c.standardIdentity) {
            HALColorEntry entries[256];
            for (uint32_t i = 0; i < 256; ++i) {
                uint32_t rgb = PrvStandardColor(i);
                entries[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                              static_cast<uint8_t>(rgb)};
            }
            KEZ_CALL(HALColorRGBToIndex, 256, entries, dt);
            for (uint32_t i = 0; i < 256; ++i) c.standardToDest[i] = entries[i].index;
        }
    }
}

// The straight copy of equal layouts: rows ordered so that a bitmap copied onto itself reads
// each source row before it is overwritten.
void StraightCopy(const HALBitmap& s, HALBitmap& d, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w,
                  int32_t h) {
    const auto* from = static_cast<const uint8_t*>(s.bits) + static_cast<ptrdiff_t>(sy) * s.rowBytes;
    auto* to = static_cast<uint8_t*>(d.bits) + static_cast<ptrdiff_t>(dy) * d.rowBytes;
    bool shared = s.bits == d.bits;
    int32_t sStride = s.rowBytes, dStride = d.rowBytes;
    if (shared && sy < dy) {
        from += static_cast<ptrdiff_t>(h - 1) * sStride;
        to += static_cast<ptrdiff_t>(h - 1) * dStride;
        sStride = -sStride;
        dStride = -dStride;
    }
    for (int32_t r = 0; r < h; ++r, from += sStride, to += dStride)
        PrvCopyRowsSameDepth(from, 0, sx, s.pixelFormat, to, 0, dx, d.pixelFormat, s.pixelSize, w, 1, shared);
}

}  // namespace

uint16_t HALDrawBitmap(HALDrawState* state, HALBitmap* sourceBitmap, const HALRect* target, int16_t originX,
                       int16_t originY) {
    if (!state || !state->destination || !sourceBitmap || !target) return 0;
    if (target->width < 1 || target->height < 1) return 0;
    HALBitmap& dest = *state->destination;
    static const HALDrawAttributes kNone{};
    const HALDrawAttributes& a = state->attributes ? *state->attributes : kNone;
    const HALBitmap& src = *sourceBitmap;
    if (!PrvBitmapDrawable(src) || !PrvValidDepth(dest.pixelSize) || !dest.bits) return 0;
    uint32_t ratio = DensityRatio(src, dest);
    uint8_t mode = a.transferMode;

    if (dest.flags & kBitmapCompressed) {
        // Compressing replaces the whole picture, so only a draw that covers all of it may.
        int32_t sx = target->x - originX, sy = target->y - originY;
        bool whole = target->x == 0 && target->y == 0 && target->width >= dest.width && target->height >= dest.height;
        if (!(src.flags & kBitmapCompressed) && src.pixelSize == dest.pixelSize && mode == 0 && ratio == 0 && whole &&
            sx >= 0 && sy >= 0 && sx + int32_t{dest.width} <= static_cast<int32_t>(PrvBitmapUsableWidth(src)) &&
            sy + int32_t{dest.height} <= src.height && SizeWordLength(dest) != 0) {
            if (CompressInto(src, sx, sy, dest) == 0) return 0;
            // The picture did not fit compressed: the copy replaces all of it uncompressed.
            dest.bits = static_cast<uint8_t*>(dest.bits) - SizeWordLength(dest);
            dest.flags = static_cast<uint16_t>(dest.flags & ~kBitmapCompressed);
            dest.headerSize = 36;
            dest.compressedSize = 0;
        } else if (!PrvDecompressDestination(dest)) {
            return 0;
        }
    }
    if (!PrvBitmapDrawable(dest)) return 0;
    if (!KnownRatio(ratio)) return 0;

    // The destination rectangle within the clip and the destination.
    ClipRect clip = PrvStateClip(*state);
    int32_t x0 = std::max({int32_t{target->x}, clip.left, 0});
    int32_t y0 = std::max({int32_t{target->y}, clip.top, 0});
    int32_t x1 = std::min({int32_t{target->x} + target->width, clip.right, static_cast<int32_t>(PrvBitmapUsableWidth(dest))});
    int32_t y1 = std::min({int32_t{target->y} + target->height, clip.bottom, int32_t{dest.height}});
    if (x1 <= x0 || y1 <= y0) return 0;
    if (mode == 0 && (src.flags & kBitmapTransparentCopy)) mode = 4;

    int32_t srcWidth = static_cast<int32_t>(PrvBitmapUsableWidth(src)), srcHeight = src.height;
    bool compressed = (src.flags & kBitmapCompressed) != 0;
    bool sameLayout = src.bits == dest.bits ||
                      (src.pixelSize == dest.pixelSize && (!(src.colorTable && src.colorTable->count) ||
                                                           !(dest.colorTable && dest.colorTable->count)));
    if (ratio == 0 && !compressed && sameLayout && (mode == 0 || (mode == 4 && src.pixelSize == 8 &&
                                                                   dest.pixelSize == 8 && src.bits != dest.bits))) {
        // Same layout, no scaling: the source rectangle within the source, moved whole.
        int32_t dx0 = std::max(x0, originX + 0), dy0 = std::max(y0, originY + 0);
        int32_t dx1 = std::min(x1, originX + srcWidth), dy1 = std::min(y1, originY + srcHeight);
        if (dx1 > dx0 && dy1 > dy0) {
            int32_t sx = dx0 - originX, sy = dy0 - originY, w = dx1 - dx0, h = dy1 - dy0;
            if (mode == 0) {
                StraightCopy(src, dest, sx, sy, dx0, dy0, w, h);
            } else {
                auto skip = static_cast<uint8_t>(src.transparentValue);
                for (int32_t r = 0; r < h; ++r) {
                    const uint8_t* from = static_cast<const uint8_t*>(src.bits) + size_t(sy + r) * src.rowBytes + sx;
                    uint8_t* to = static_cast<uint8_t*>(dest.bits) + size_t(dy0 + r) * dest.rowBytes + dx0;
                    for (int32_t i = 0; i < w; ++i)
                        if (from[i] != skip) to[i] = from[i];
                }
            }
            PrvReportScreenRect(dest, dx0, dy0, dx1, dy1);
        }
        return 0;
    }

    Copy c{};
    c.source = &src;
    c.dest = &dest;
    c.sd = src.pixelSize;
    c.dd = dest.pixelSize;
    c.ratio = ratio;
    c.mode = mode;
    BuildMaps(c, a);
    if (mode == 1 || mode == 2 || mode == 4) {
        c.keyed = true;
        uint32_t tv = src.transparentValue & 0xFFFF;
        if (c.sd <= 8) {
            c.key = c.map[tv & ((1u << c.sd) - 1)];
            if (c.reduce) c.key = 0xFFFFFFFF;  // never reached: keyed modes do not reduce
        } else if (c.dd == 16) {
            c.key = FromHost(tv, dest.pixelFormat);
        } else {
            c.key = PrvRGB565ToIndex(static_cast<uint16_t>(tv), c.destTable);
        }
        c.back = PrvColorValue(a.backIndex, a.backColor, dest);
    }

    // A source that shares memory with the destination is read from a copy.
    std::vector<uint8_t> sourceCopy;
    HALBitmap readable = src;
    if (!compressed) {
        auto* sb = static_cast<const uint8_t*>(src.bits);
        auto* db = static_cast<const uint8_t*>(dest.bits);
        size_t sSize = size_t{src.height} * src.rowBytes, dSize = size_t{dest.height} * dest.rowBytes;
        if (sb < db + dSize && db < sb + sSize) {
            sourceCopy.assign(sb, sb + sSize);
            readable.bits = sourceCopy.data();
        }
    }
    SourceRows rows;
    rows.Open(readable);

    // Source columns and rows for destination columns and rows, in source pixels.
    int32_t sx0 = x0 - originX, sy0 = y0 - originY;
    auto sourceColumn = [&](int32_t j) -> int32_t {
        switch (ratio) {
            case 0: return sx0 + j;
            case 0x20000: return FloorDiv(int64_t{sx0} + j, 2);
            case 0x8000: return 2 * (sx0 + j);
            case 0x18000: return FloorDiv(int64_t{sx0} * 2, 3) + (2 * j) / 3;
            default: return FloorDiv(int64_t{sx0} * 3, 2) + j + j / 2;
        }
    };
    int32_t sourceRow;
    switch (ratio) {
        case 0: sourceRow = sy0; break;
        case 0xAAAB: sourceRow = FloorDiv(3 * int64_t{sy0} + 1, 2); break;
        default: sourceRow = FloorDiv(int64_t{sy0} << 16, ratio); break;
    }
    int32_t destDensity = dest.density, srcDensity = src.density, accumulator = ratio ? destDensity : 1;
    uint32_t sd = c.sd, dd = c.dd;
    int32_t width = x1 - x0;
    for (int32_t y = y0; y < y1; ++y) {
        if (ratio) {
            while (accumulator < 1) {
                accumulator += destDensity;
                ++sourceRow;
            }
        }
        if (sourceRow >= srcHeight) break;
        const uint8_t* in = sourceRow >= 0 ? rows.Row(sourceRow) : nullptr;
        if (sourceRow >= 0 && !in) break;  // a compressed source that does not decode
        if (in) {
            uint8_t* out = static_cast<uint8_t*>(dest.bits) + static_cast<size_t>(y) * dest.rowBytes;
            for (int32_t j = 0; j < width; ++j) {
                int32_t sx = sourceColumn(j);
                if (sx < 0 || sx >= srcWidth) continue;
                uint32_t s = PixelGet(in, static_cast<uint32_t>(sx), sd, src.pixelFormat);
                if (sd == 1 && ratio == 0x18000 && j % 3 == 1 && sx + 1 < srcWidth)
                    s &= PixelGet(in, static_cast<uint32_t>(sx + 1), sd, src.pixelFormat);
                auto dx = static_cast<uint32_t>(x0 + j);
                uint32_t v = c.Convert(s, dx);
                switch (mode) {
                    case 1:
                        if (v == c.key) PixelPut(out, dx, dd, dest.pixelFormat, c.back);
                        break;
                    case 2:
                        if (v != c.key) PixelPut(out, dx, dd, dest.pixelFormat, c.back);
                        break;
                    case 3: {
                        uint32_t x = dd == 16 ? ~v & 0xFFFF : v;
                        PixelPut(out, dx, dd, dest.pixelFormat, PixelGet(out, dx, dd, dest.pixelFormat) ^ x);
                        break;
                    }
                    case 4:
                        if (v != c.key) PixelPut(out, dx, dd, dest.pixelFormat, v);
                        break;
                    default: PixelPut(out, dx, dd, dest.pixelFormat, v); break;
                }
            }
        }
        ++c.rowCounter;
        if (ratio) accumulator -= srcDensity;
        else ++sourceRow;
    }
    PrvReportScreenRect(dest, x0, y0, x1, y1);
    return 0;
}
KEZ_SLOT(HALDrawBitmap, HALDrawBitmap)

}  // namespace kez
