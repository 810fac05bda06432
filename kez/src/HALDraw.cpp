// Drawing state and drawing entry points (export slots 20, 175, 176, 178, 179, 180 and 188):
// squares at points, lines, rectangles with curved corners, filled or framed, pixel reads, colour
// matching against colour tables, and the screen densities; with the default colour tables.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "kez/src/HALDraw.h"
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

// A colour table with room for 256 entries, laid out as the OS's.
struct Table256 {
    uint16_t count;
    uint16_t reserved;
    HALColorEntry entries[256];
    const HALColorTable* Get() const { return reinterpret_cast<const HALColorTable*>(this); }
};

HALColorEntry Entry(uint32_t index, uint32_t rgb) {
    return {static_cast<uint8_t>(index), static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
            static_cast<uint8_t>(rgb)};
}

struct DefaultTables {
    Table256 depth1{}, depth2{}, depth4{}, depth8{};
    DefaultTables() {
        depth1.count = 2;
        depth1.entries[0] = Entry(0, 0xFFFFFF);
        depth1.entries[1] = Entry(1, 0x000000);
        depth2.count = 4;
        static const uint32_t kGreys2[] = {0xFFFFFF, 0xAAAAAA, 0x555555, 0x000000};
        for (uint32_t i = 0; i < 4; ++i) depth2.entries[i] = Entry(i, kGreys2[i]);
        depth4.count = 16;
        for (uint32_t i = 0; i < 16; ++i) depth4.entries[i] = Entry(i, 0xFFFFFF - i * 0x111111);
        depth8.count = 256;
        for (uint32_t i = 0; i < 256; ++i) depth8.entries[i] = Entry(i, PrvStandardColor(i));
    }
};
const DefaultTables& Defaults() {
    static const DefaultTables tables;
    return tables;
}

// Bit k: screen entry 230 + k differs from the standard table.
uint32_t gCustomEntryMask = 0;
// The screen's colour-table state: 1 not yet classified, 0 the standard table, 2 a custom one.
uint8_t gTableState = 1;

bool SameColour(const HALColorEntry& a, const HALColorEntry& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

uint32_t Distance(const HALColorEntry& a, const HALColorEntry& b) {
    int32_t r = int32_t{a.red} - b.red, g = int32_t{a.green} - b.green, bl = int32_t{a.blue} - b.blue;
    return static_cast<uint32_t>(r * r + g * g + bl * bl);
}

uint8_t* TableState() { return &gTableState; }

// Classifies the screen's table: standard when entry 255 is black and entries 0 to 229 are the
// standard colours; entries 230 to 254 that differ are custom entries.
void Classify(const HALColorTable* table) {
    const HALColorEntry* e = table->entries;
    bool standard = e[255].red == 0 && e[255].green == 0 && e[255].blue == 0;
    for (uint32_t i = 0; standard && i < 230; ++i) standard = SameColour(e[i], Entry(i, PrvStandardColor(i)));
    gCustomEntryMask = 0;
    if (standard)
        for (uint32_t k = 0; k < 25; ++k)
            if (!SameColour(e[230 + k], Entry(230 + k, 0))) gCustomEntryMask |= 1u << k;
    *TableState() = standard ? 0 : 2;
}

// The least squared distance among the standard colours and the custom entries, summed in 32
// bits.
uint8_t FastMatch(const HALColorTable* table, const HALColorEntry& want) {
    uint32_t best = UINT32_MAX, bestIndex = 0;
    auto consider = [&](uint32_t i) {
        uint32_t d = Distance(table->entries[i], want);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    };
    for (uint32_t i = 0; i < 230; ++i) consider(i);
    consider(255);
    for (uint32_t k = 0; k < 25; ++k)
        if (gCustomEntryMask & (1u << k)) consider(230 + k);
    return static_cast<uint8_t>(bestIndex);
}

// Matching within one call: whether the table is known to hold only greys.
enum class Greys : uint8_t { Unknown, All, NotAll };

uint8_t SearchMatch(const HALColorTable* table, uint32_t n, const HALColorEntry& want, Greys* greys) {
    const HALColorEntry* e = table->entries;
    for (uint32_t i = 0; i < n; ++i)
        if (SameColour(e[i], want)) return static_cast<uint8_t>(i);
    if (*greys == Greys::Unknown) {
        *greys = Greys::All;
        for (uint32_t i = 0; i < n; ++i)
            if (e[i].red != e[i].green || e[i].green != e[i].blue) {
                *greys = Greys::NotAll;
                break;
            }
    }
    if (*greys == Greys::All) {
        int32_t level = (2 * want.red + 5 * want.green + want.blue) / 8;
        int32_t best = INT32_MAX;
        uint32_t bestIndex = 0;
        for (uint32_t i = 0; i < n; ++i) {
            int32_t d = std::abs(int32_t{e[i].red} - level);
            if (d < best) {
                best = d;
                bestIndex = i;
            }
        }
        return static_cast<uint8_t>(bestIndex);
    }
    uint32_t best = 195076, bestIndex = 0;
    for (uint32_t i = 0; i < n; ++i) {
        int32_t r = int32_t{e[i].red} - want.red;
        auto sum = static_cast<uint32_t>(r * r);
        if (sum >= best) continue;
        int32_t g = int32_t{e[i].green} - want.green;
        sum += static_cast<uint32_t>(g * g);
        if (sum >= best) continue;
        int32_t b = int32_t{e[i].blue} - want.blue;
        sum += static_cast<uint32_t>(b * b);
        if (sum < best) {
            best = sum;
            bestIndex = i;
        }
    }
    return static_cast<uint8_t>(bestIndex);
}

uint32_t TableCount(const HALColorTable* table) { return std::min<uint32_t>(table->count, 256); }

}  // namespace

uint32_t PrvStandardColor(uint32_t i) {
    static const uint32_t kLevels[] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    static const uint32_t kFixed[] = {0x111111, 0x222222, 0x444444, 0x555555, 0x777777, 0x888888, 0xAAAAAA, 0xBBBBBB,
                                      0xDDDDDD, 0xEEEEEE, 0xC0C0C0, 0x800000, 0x800080, 0x008000, 0x008080};
    if (i < 215)
        return (kLevels[(i % 108) / 18] << 16) | (kLevels[i % 6] << 8) | kLevels[3 * (i / 108) + (i % 18) / 6];
    return i < 230 ? kFixed[i - 215] : 0;
}

const HALColorTable* PrvDefaultColorTable(uint32_t depth) {
    switch (depth) {
        case 1: return Defaults().depth1.Get();
        case 2: return Defaults().depth2.Get();
        case 4: return Defaults().depth4.Get();
        default: return Defaults().depth8.Get();
    }
}

const HALColorTable* PrvScreenColorTable() {
    const HALColorTable* table = PrvScreenMgrColorTable();
    return table && table->count ? table : PrvDefaultColorTable(8);
}

const HALColorTable* PrvBitmapColorTable(const HALBitmap& bitmap) {
    if (bitmap.colorTable && bitmap.colorTable->count) return bitmap.colorTable;
    const HALColorTable* screen = PrvScreenMgrColorTable();
    if (screen && screen->count && bitmap.pixelSize <= 8 &&
        ((bitmap.flags & kBitmapIsScreen) || (bitmap.pixelSize == 8 && PrvScreenMgrDepth() == 8)))
        return screen;
    return PrvDefaultColorTable(bitmap.pixelSize);
}

void PrvScreenTableChanged() { gTableState = 1; }

bool PrvScreenHasStandardTable() { return *TableState() == 0 && gCustomEntryMask == 0; }

uint16_t PrvColorTo565(const HALColorEntry& c, uint8_t format) {
    auto v = static_cast<uint16_t>(((c.red & 0xF8) << 8) | ((c.green & 0xFC) << 3) | (c.blue >> 3));
    return format == 2 ? v : static_cast<uint16_t>((v >> 8) | (v << 8));
}

uint16_t PrvColorWord(uint32_t value, uint32_t depth) {
    switch (depth) {
        case 1: return value ? 0xFFFF : 0;
        case 2: return static_cast<uint16_t>((value & 3) * 0x5555);
        case 4: return static_cast<uint16_t>((value & 15) * 0x1111);
        case 8: return static_cast<uint16_t>((value & 0xFF) * 0x0101);
        default: return static_cast<uint16_t>(value);
    }
}

uint32_t PrvColorValue(uint8_t index, const HALColorEntry& rgb, const HALBitmap& destination) {
    if (destination.pixelSize == 16) return PrvColorTo565(rgb, destination.pixelFormat);
    return destination.pixelSize < 8 ? index & ((1u << destination.pixelSize) - 1) : index;
}

uint16_t HALColorRGBToIndex(uint16_t count, HALColorEntry* entries, const HALColorTable* table) {
    if (!entries || count == 0) return 0;
    const HALColorTable* screen = PrvScreenColorTable();
    if (!table) table = screen;
    uint32_t n = TableCount(table);
    if (n == 0) return 0;
    // Only the screen's own table is classified, and only a table known to be standard takes the
    // fast match, so that another 256-entry table is never matched as if it were standard.
    uint8_t* state = TableState();
    bool isScreen = table == screen;
    if (isScreen && *state == 1 && n == 256) Classify(table);
    bool standard = n == 256 && ((isScreen && *state == 0) || table == PrvDefaultColorTable(8));
    Greys greys = Greys::Unknown;
    for (uint32_t k = 0; k < count; ++k) {
        HALColorEntry& e = entries[k];
        if (e.index < n && SameColour(table->entries[e.index], e)) continue;
        if (SameColour(table->entries[n - 1], e)) e.index = static_cast<uint8_t>(n - 1);
        else if (!standard) e.index = SearchMatch(table, n, e, &greys);
        else e.index = FastMatch(table, e);
    }
    return 0;
}
KEZ_SLOT(HALColorRGBToIndex, HALColorRGBToIndex)

uint8_t PrvRGB565ToIndex(uint16_t rgb565, const HALColorTable* table) {
    uint32_t r5 = rgb565 >> 11, g6 = (rgb565 >> 5) & 63, b5 = rgb565 & 31;
    HALColorEntry e{0, static_cast<uint8_t>((r5 << 3) | (r5 & 7)), static_cast<uint8_t>((g6 << 2) | (g6 & 3)),
                    static_cast<uint8_t>((b5 << 3) | (b5 & 7))};
    HALColorRGBToIndex(1, &e, table);
    return e.index;
}

void HALDrawResetState() {
    gCustomEntryMask = 0;
    PrvLowLevelInit();
}
KEZ_SLOT(HALDrawResetState, HALDrawResetState)

uint32_t HALDrawGetPixel(const HALBitmap* bitmap, uint16_t x, uint16_t y, uint8_t asIndex) {
    if (!bitmap || !PrvBitmapDrawable(*bitmap) || (bitmap->flags & kBitmapCompressed)) return 0;
    if (x >= PrvBitmapUsableWidth(*bitmap) || y >= bitmap->height) return 0;
    const uint8_t* row = static_cast<const uint8_t*>(bitmap->bits) + size_t{y} * bitmap->rowBytes;
    uint32_t v = PixelGet(row, x, bitmap->pixelSize, bitmap->pixelFormat);
    if (bitmap->pixelSize != 16) return v;
    if (bitmap->pixelFormat != 2) v = ((v >> 8) | (v << 8)) & 0xFFFF;
    if (!asIndex) return v;
    const HALColorTable* table =
        bitmap->colorTable && bitmap->colorTable->count ? bitmap->colorTable : PrvScreenColorTable();
    return PrvRGB565ToIndex(static_cast<uint16_t>(v), table);
}
KEZ_SLOT(HALDrawGetPixel, HALDrawGetPixel)

void HALDrawPixels(HALDrawState* state, uint16_t count, const int16_t* points, uint16_t size) {
    if (count == 0 || !state || !state->destination || !points || !PrvDestinationReady(*state->destination)) return;
    RowFillerType filler;
    PrvBuildRowFiller(*state, &filler);
    ClipRect clip = PrvStateClip(*state);
    for (uint32_t i = 0; i < count; ++i) {
        int32_t x = points[2 * i], y = points[2 * i + 1];
        PrvFillRectangle(*state, clip, filler, x, y, x + size, size);
    }
}
KEZ_SLOT(HALDrawPixels, HALDrawPixels)

void HALDrawLine(HALDrawState* state, int16_t x1, int16_t y1, int16_t x2, int16_t y2, uint16_t penSize) {
    if (!state || !state->destination || !PrvDestinationReady(*state->destination)) return;
    RowFillerType filler;
    PrvBuildRowFiller(*state, &filler);
    ClipRect clip = PrvStateClip(*state);
    int32_t ax = x1, ay = y1, bx = x2, by = y2, pen = penSize;
    if (ax > bx) {
        std::swap(ax, bx);
        std::swap(ay, by);
    }
    if (ax == bx || ay == by) {
        if (ay > by) std::swap(ay, by);
        PrvFillRectangle(*state, clip, filler, ax, ay, bx + pen, by + pen - ay);
        return;
    }
    // Runs are filled without reports; the area they covered is reported once at the end.
    int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    auto run = [&](int32_t l, int32_t t, int32_t r, int32_t b) {
        PrvFillRectangle(*state, clip, filler, l, t, r, b - t, false);
        left = std::min(left, l);
        top = std::min(top, t);
        right = std::max(right, r);
        bottom = std::max(bottom, b);
    };
    int32_t dx = bx - ax, dy = by - ay, ady = std::abs(dy);
    if (ady >= dx) {
        // Steep: walk rows from the upper end, one column pen wide per run.
        int32_t x = dy > 0 ? ax : bx, y = dy > 0 ? ay : by, step = dy > 0 ? 1 : -1;
        int32_t end = (dy > 0 ? by : ay) + pen, error = -ady, start = y;
        for (; y < end; ++y) {
            error += 2 * dx;
            if (error >= 0 || y == end - 1) {
                run(x, start, x + pen, y + 1);
                x += step;
                error -= 2 * ady;
                start = y + 1;
            }
        }
    } else {
        // Shallow: walk columns from the left end, one row pen tall per run.
        int32_t y = ay, step = dy > 0 ? 1 : -1, end = bx + pen, error = -dx, start = ax;
        for (int32_t x = ax; x < end; ++x) {
            error += 2 * ady;
            if (error >= 0 || x == end - 1) {
                run(start, y, x + 1, y + pen);
                y += step;
                error -= 2 * dx;
                start = x + 1;
            }
        }
    }
    left = std::max({left, clip.left, 0});
    top = std::max({top, clip.top, 0});
    right = std::min({right, clip.right, static_cast<int32_t>(state->destination->width)});
    bottom = std::min({bottom, clip.bottom, static_cast<int32_t>(state->destination->height)});
    if (right > left && bottom > top) PrvReportScreenRect(*state->destination, left, top, right, bottom);
}
KEZ_SLOT(HALDrawLine, HALDrawLine)

uint16_t HALDrawRectangle(HALDrawState* state, const HALRect* rect, uint16_t cornerRadius, uint16_t frameWidth) {
    if (!state || !state->destination || !rect || !PrvDestinationReady(*state->destination)) return 0;
    RowFillerType filler;
    PrvBuildRowFiller(*state, &filler);
    ClipRect clip = PrvStateClip(*state);
    int32_t left = rect->x, top = rect->y, right = left + rect->width, bottom = top + rect->height;
    int32_t r = cornerRadius, f = frameWidth;
    auto fill = [&](int32_t l, int32_t t, int32_t rr, int32_t b) {
        PrvFillRectangle(*state, clip, filler, l, t, rr, b - t);
    };
    if (r == 0) {
        if (f == 0) {
            fill(left, top, right, bottom);
        } else {
            fill(left, top, right, top + f);
            fill(left, top + f, left + f, bottom - f);
            fill(right - f, top + f, right, bottom - f);
            fill(left, bottom - f, right, bottom);
        }
        return 0;
    }
    // The quarter circle of radius r by the midpoint algorithm: e[y] is the circle's x at row y.
    uint16_t fixed[25];
    std::unique_ptr<uint16_t[]> heap;
    uint16_t* e = fixed;
    if (r > 24) {
        heap.reset(new (std::nothrow) uint16_t[static_cast<size_t>(r) + 1]);
        if (!heap) return 0;
        e = heap.get();
    }
    std::fill(e, e + r + 1, uint16_t{0});
    {
        int32_t x = r, y = 0, d = 1 - r, dE = 3, dSE = 5 - 2 * r;
        while (y < x) {
            e[y] = static_cast<uint16_t>(x);
            if (d >= 0) {
                e[x] = static_cast<uint16_t>(y);
                d += dSE;
                dE += 2;
                dSE += 4;
                --x;
            } else {
                d += dE;
                dE += 2;
                dSE += 2;
            }
            ++y;
        }
        e[x] = static_cast<uint16_t>(y);
    }
    if (f == 0) {
        fill(left, top + r, right, bottom - r);
        for (int32_t k = 0; k < r; ++k) {
            int32_t inset = std::min<int32_t>(e[k], e[k + 1] + 1);
            fill(left + r - inset, top + r - k - 1, right - r + inset, top + r - k);
            fill(left + r - inset, bottom - r + k, right - r + inset, bottom - r + k + 1);
        }
        return 0;
    }
    int32_t T = top + r + f - 1, B = bottom - r - f + 1, L = left + r + f - 1, R = right - r - f + 1;
    fill(left, T + 1, left + f, B - 1);
    fill(right - f, T + 1, right, B - 1);
    for (int32_t k = 0; k < r + f; ++k) {
        int32_t outer = f + e[std::max(k - f + 1, 0)] - 1;
        if (k < r) {
            int32_t inner = std::min<int32_t>(e[k], e[k + 1] + 1) - 1;
            for (int32_t row : {T - k, B + k - 1}) {
                fill(L - outer, row, L - inner, row + 1);
                fill(R + inner, row, R + outer, row + 1);
            }
        } else {
            fill(L - outer, T - k, R + outer, T - k + 1);
            fill(L - outer, B + k - 1, R + outer, B + k);
        }
    }
    return 0;
}
KEZ_SLOT(HALDrawRectangle, HALDrawRectangle)

uint16_t HALDrawGetNextDensity(uint16_t* density) {
    if (!density) return 0xFFFF;
    switch (*density) {
        case 0: *density = 72; return 0;
        case 72: *density = 108; return 0;
        case 108: *density = 144; return 0;
        case 144: *density = 0; return 0;
        default: return 0xFFFF;
    }
}
KEZ_SLOT(HALDrawGetNextDensity, HALDrawGetNextDensity)

}  // namespace kez
