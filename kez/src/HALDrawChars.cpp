// Text drawing (export slot 177): a run of characters of an OS font drawn into the destination of
// a drawing state at the destination's density, from the font's image for that density or from
// its 72-dpi glyphs enlarged by 2 or by 3/2, in batches of glyph runs handed to the 1-bit run
// drawer, with an optional underline.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "kez/src/HALDraw.h"
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

using vantor::HALFont;
using vantor::HALFontDensity;

constexpr uint32_t kStripWidth = 64;  // pixels of the enlarged-glyph strip
constexpr uint32_t kStripRowBytes = kStripWidth / 8;
constexpr uint32_t kBatch = 50;

uint16_t U16(const void* base, size_t offset) {
    uint16_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, 2);
    return v;
}

struct Run {
    const uint8_t* image;
    uint32_t rowBytes;
    uint32_t imageRows;  // rows the image holds; rows below are drawn blank
    uint32_t offset;
    uint32_t width;
    bool blankColumns;
};

// The glyph image of one font at the density drawn.
struct FontImage {
    const HALFont* font = nullptr;
    const uint8_t* image = nullptr;
    const uint8_t* locations = nullptr;
    uint32_t rowBytes = 0, rows = 0, density = 72;
    bool enlarge = false, blankColumns = false;
};

struct Text {
    HALDrawState* state;
    HALBitmap* dest;
    const HALDrawAttributes* a;
    ClipRect clip;
    int32_t y, height;
    uint32_t shift;
    bool draw72;
    std::vector<Run> runs;
    int32_t batchX;  // pen x at the batch's first run
    std::unique_ptr<uint8_t[]> strip;
    uint32_t stripRows = 0, stripUsed = 0;
    bool failed = false;
    int32_t reportLeft = INT32_MAX, reportRight = INT32_MIN;

    // Draws the gathered runs from batchX; returns the pen x after them.
    int32_t DrawBatch() {
        int32_t pen = batchX;
        if (runs.empty()) return pen;
        int32_t firstRow = std::max(0, clip.top - y);
        int32_t lastRow = std::min(height, clip.bottom - y);
        lastRow = std::min(lastRow, static_cast<int32_t>(dest->height) - y);
        int32_t top = y + firstRow, rows = lastRow - firstRow;
        uint16_t back = PrvColorWord(PrvColorValue(a->backIndex, a->backColor, *dest), dest->pixelSize);
        uint16_t text = PrvColorWord(PrvColorValue(a->textIndex, a->textColor, *dest), dest->pixelSize);
        int32_t start = pen;
        if (rows > 0 && top >= 0 && PrvBitmapDrawable(*dest)) {
            MonoBlitType blit;
            uint8_t* row = static_cast<uint8_t*>(dest->bits) + static_cast<size_t>(top) * dest->rowBytes;
            PrvMonoBlitSetup(a->transferMode, *dest, row, static_cast<uint32_t>(dest->height - top), 0, back, text, &blit);
            static const uint8_t kBlank[kStripRowBytes + 1] = {};
            for (const Run& run : runs) {
                int32_t x = pen, offset = static_cast<int32_t>(run.offset), width = static_cast<int32_t>(run.width);
                bool blank = run.blankColumns && (x + width - 1) % 3 == 0;
                pen += width + (blank ? 1 : 0);
                if (x + width <= clip.left) continue;
                if (x < clip.left) {
                    offset += clip.left - x;
                    width -= clip.left - x;
                    x = clip.left;
                }
                int32_t room = clip.right - x;
                if (room <= 0) {
                    pen = x;
                    break;
                }
                width = std::min(width, room);
                int32_t imageRows = std::clamp(static_cast<int32_t>(run.imageRows) - firstRow, 0, rows);
                if (imageRows > 0)
                    PrvMonoBlitRun(blit, run.image + static_cast<size_t>(firstRow) * run.rowBytes, run.rowBytes, offset, x,
                                   width, imageRows);
                if (imageRows < rows) {
                    MonoBlitType below = blit;
                    below.firstRow = blit.firstRow + static_cast<size_t>(imageRows) * dest->rowBytes;
                    below.rows = blit.rows - static_cast<uint32_t>(imageRows);
                    for (int32_t done = 0; done < width; done += kStripWidth)
                        PrvMonoBlitRun(below, kBlank, 0, 0, x + done, std::min<int32_t>(kStripWidth, width - done),
                                       rows - imageRows);
                }
                if (blank && x + width < clip.right) PrvMonoBlitRun(blit, kBlank, 0, 0, x + width, 1, rows);
            }
            int32_t right = std::min(pen, clip.right);
            if (right > start) {
                reportLeft = std::min(reportLeft, start);
                reportRight = std::max(reportRight, right);
                PrvReportScreenRect(*dest, std::max(start, clip.left), top, right, top + rows);
            }
        } else {
            for (const Run& run : runs) pen += static_cast<int32_t>(run.width) + (run.blankColumns && (pen + static_cast<int32_t>(run.width) - 1) % 3 == 0 ? 1 : 0);
        }
        runs.clear();
        stripUsed = 0;
        batchX = pen;
        return pen;
    }

    bool EnsureStrip() {
        if (strip) return true;
        stripRows = static_cast<uint32_t>(height) + 1;
        strip.reset(new (std::nothrow) uint8_t[stripRows * kStripRowBytes]);
        if (!strip) return false;
        std::memset(strip.get(), 0, stripRows * kStripRowBytes);
        return true;
    }
};

FontImage SelectImage(const HALFont* font, uint32_t density, bool draw72, bool noBlankColumns, uint32_t shift) {
    FontImage f;
    f.font = font;
    const auto* base = reinterpret_cast<const uint8_t*>(font);
    uint32_t rowWords = font->rowWords, rectHeight = font->rectHeight;
    if (!draw72 && (font->fontType & vantor::kFontHasDensities)) {
        uint16_t count = U16(base, 28);
        const auto* entries = reinterpret_cast<const HALFontDensity*>(base + 32);
        int32_t chosen = count ? 0 : -1;
        for (uint32_t i = 0; i < count; ++i)
            if (entries[i].density == density) chosen = static_cast<int32_t>(i);
        f.locations = base + 32 + 8u * count;
        if (chosen >= 0) {
            HALFontDensity e;
            std::memcpy(&e, entries + chosen, sizeof e);
            f.image = base + e.imageOffset;
            f.density = e.density;
        } else {
            f.image = base + 26;
        }
    } else {
        f.image = base + 26;
        f.locations = f.image + ((rowWords * 2 * rectHeight) & 0xFFFF);
    }
    if (f.density == 108) {
        f.rowBytes = 2 * ((3 * rowWords + 1) / 2);  // 2 x floor(1.5 x row words + 0.75)
        f.rows = (3 * rectHeight) / 2;
        f.blankColumns = !noBlankColumns;
    } else if (f.density == 144) {
        f.rowBytes = (2 * rowWords) << 1;
        f.rows = rectHeight * 2;
    } else {
        f.density = 72;
        f.rowBytes = 2 * rowWords;
        f.rows = rectHeight;
    }
    f.enlarge = density != 72 && f.density == 72 && !draw72 && (density == 108 || density == 144);
    (void)shift;
    return f;
}

}  // namespace

void HALDrawChars(HALDrawState* state, int16_t x, int16_t y, const uint8_t* chars, int16_t length, const void* font,
                  const void* fontMap, vantor::HALDrawCharsCallback callback) {
    if (!state || !state->destination || !chars || length <= 0 || !font) return;
    if (!PrvDestinationReady(*state->destination)) return;
    static const HALDrawAttributes kNone{};
    Text t{};
    t.state = state;
    t.dest = state->destination;
    t.a = state->attributes ? state->attributes : &kNone;
    t.clip = PrvStateClip(*state);
    t.y = y;
    const auto* metrics = static_cast<const HALFont*>(fontMap ? fontMap : font);
    const auto* const* fontTable = fontMap ? static_cast<const HALFont* const*>(font) : nullptr;
    uint32_t density = t.dest->density;
    t.draw72 = (t.a->textFlags & 0x02) != 0;
    t.shift = density == 144 && !t.draw72 ? 1 : 0;
    if (density == 108 && !t.draw72)
        t.height = (3 * metrics->ascent) / 2 + (3 * metrics->descent) / 2 + (3 * metrics->leading) / 2;
    else
        t.height = (int32_t{metrics->rectHeight} + metrics->leading) << t.shift;
    if (!(t.y < t.clip.bottom && t.clip.top <= t.y + t.height)) return;
    t.batchX = x;
    int32_t pen = x;
    const HALFont* current = nullptr;
    FontImage image;
    const uint8_t* mapEntries = fontMap ? static_cast<const uint8_t*>(fontMap) + 26 : nullptr;
    int32_t at = 0;

    while (at < length && pen < t.clip.right && !t.failed) {
        const HALFont* f = static_cast<const HALFont*>(font);
        uint32_t character = chars[at++];
        if (mapEntries) {
            const uint8_t* entry = mapEntries + 4 * character;
            f = fontTable[U16(entry, 2)];
            if (entry[1] == 2 && at < length) {
                uint32_t two = (character << 8) | chars[at];
                bool inFont = f && two >= f->firstChar && two <= f->lastChar;
                if (inFont || (callback && callback(static_cast<uint16_t>(two)))) {
                    character = two;
                    ++at;
                }
            }
        }
        if (!f) continue;
        if (f != current) {
            pen = t.DrawBatch();
            current = f;
            image = SelectImage(f, density, t.draw72, (t.a->textFlags & 0x04) != 0, t.shift);
        }
        uint32_t glyphs = f->lastChar >= f->firstChar ? f->lastChar - f->firstChar + 1u : 0;
        uint32_t index = character >= f->firstChar && character <= f->lastChar ? character - f->firstChar : glyphs;
        auto location = [&](uint32_t i) { return uint32_t{U16(image.locations, 2 * size_t{i})}; };
        uint32_t offset = location(index), end = location(index + 1);
        if (end <= offset) {
            index = glyphs;
            offset = location(index);
            end = location(index + 1);
        }
        uint32_t width = end > offset ? end - offset : 0;
        if (image.density == 108) {
            offset = (offset * 0x18000u) >> 16;
            width = (width * 0x18000u) >> 16;
        }
        // A glyph reaches no further than its image row.
        uint32_t rowBits = image.rowBytes * 8;
        if (!image.enlarge && image.density == 72 && t.shift) {
            offset <<= t.shift;
            width <<= t.shift;
        }
        if (image.enlarge) {
            if (!t.EnsureStrip()) {
                t.failed = true;
                break;
            }
            if (offset >= rowBits) continue;
            width = std::min(width, rowBits - offset);
            bool doubled = density == 144;
            // Enlarged glyphs wider than the strip go in pieces that each fit it.
            uint32_t piece = doubled ? kStripWidth / 2 : 42;
            uint32_t glyphRows = std::min<uint32_t>(f->rectHeight, doubled ? t.stripRows / 2 : (t.stripRows * 2) / 3);
            for (uint32_t from = 0; from < width; from += piece) {
                uint32_t w = std::min(piece, width - from);
                uint32_t enlarged = doubled ? 2 * w : (3 * w + 1) / 2;
                if (t.stripUsed + enlarged > kStripWidth || t.runs.size() >= kBatch) pen = t.DrawBatch();
                for (uint32_t r = 0; r < t.stripRows; ++r)
                    for (uint32_t k = t.stripUsed; k < t.stripUsed + enlarged; ++k)
                        t.strip[r * kStripRowBytes + k / 8] &= static_cast<uint8_t>(~(0x80u >> (k % 8)));
                if (doubled)
                    PrvEnlargeGlyph2x(image.image, image.rowBytes, offset + from, w, glyphRows, t.strip.get(),
                                      kStripRowBytes, t.stripUsed);
                else
                    PrvEnlargeGlyph3Halves(image.image, image.rowBytes, offset + from, w, glyphRows, t.strip.get(),
                                           kStripRowBytes, t.stripUsed);
                t.runs.push_back({t.strip.get(), kStripRowBytes, t.stripRows, t.stripUsed, enlarged,
                                  !doubled && !(t.a->textFlags & 0x04)});
                t.stripUsed += enlarged;
                pen += static_cast<int32_t>(enlarged);
            }
            continue;
        }
        if (offset >= rowBits) continue;
        width = std::min(width, rowBits - offset);
        if (t.runs.size() >= kBatch) pen = t.DrawBatch();
        t.runs.push_back({image.image, image.rowBytes, image.rows, offset, width, image.blankColumns});
        pen += static_cast<int32_t>(width);
    }
    pen = t.DrawBatch();
    (void)pen;

    const HALDrawAttributes& a = *t.a;
    if (a.underlineMode == 0 || t.failed) return;
    int32_t from = x, to = t.batchX;
    int32_t row;
    if (density == 108 && !t.draw72) {
        uint32_t h2 = 3u * metrics->rectHeight;  // twice 1.5 x the glyph height
        row = y + static_cast<int32_t>((a.textFlags & 0x08) ? (h2 - 3) / 2 : (h2 - 2) / 2);
    } else {
        row = y + t.height - (1 << t.shift);
    }
    int32_t band = density == 144 ? 2 : 1;
    int32_t left = std::max({from, t.clip.left, 0}), right = std::min({to, t.clip.right,
                                                                       static_cast<int32_t>(PrvBitmapUsableWidth(*t.dest))});
    int32_t top = std::max({row, t.clip.top, 0}), bottom = std::min({row + band, t.clip.bottom, int32_t{t.dest->height}});
    if (right <= left || bottom <= top || !PrvBitmapDrawable(*t.dest)) return;
    uint32_t depth = t.dest->pixelSize;
    uint16_t textWord = PrvColorWord(PrvColorValue(a.textIndex, a.textColor, *t.dest), depth);
    uint16_t foreWord = PrvColorWord(PrvColorValue(a.foreIndex, a.foreColor, *t.dest), depth);
    bool doubleDensity = density == 144;
    for (int32_t r = top; r < bottom; ++r) {
        uint8_t* line = static_cast<uint8_t*>(t.dest->bits) + static_cast<size_t>(r) * t.dest->rowBytes;
        if (density == 108 && !t.draw72 && (3 * metrics->rectHeight) / 2 != static_cast<uint32_t>(t.height)) {
            static const HALColorEntry kWhite{0, 255, 255, 255};
            uint16_t white = PrvColorWord(PrvColorValue(0, kWhite, *t.dest), depth);
            PrvDrawUnderlineRow(line, left, right - left, depth, 0, left - from, static_cast<uint16_t>(~white), white,
                                doubleDensity, t.dest->pixelFormat);
        }
        PrvDrawUnderlineRow(line, left, right - left, depth, a.underlineMode == 1 ? 2 : 0, left - from, textWord,
                            foreWord, doubleDensity, t.dest->pixelFormat);
    }
    PrvReportScreenRect(*t.dest, left, top, right, bottom);
}
KEZ_SLOT(HALDrawChars, HALDrawChars)

}  // namespace kez
