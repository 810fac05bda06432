// The drawing entry points through Kez's slots: fills per depth, pixel order, transfer mode and
// pattern against a per-pixel model and, at 8 and 16 bits, against pixman; clipping at every edge
// with guard bytes around each bitmap; lines, rectangles, pixels and colour matching; bitmap copy
// between every pair of depths, under every mode, scaled between densities, from and into
// compressed bitmaps; and text from fonts made here.
#include <gtest/gtest.h>
#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kez/src/HALDraw.h"
#include "kez/src/ScanLineCodecs.h"
#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

constexpr size_t kGuard = 64;

// A bitmap with guard bytes before and after its rows.
struct Canvas {
    std::vector<uint8_t> memory;
    HALBitmap bitmap{};
    Canvas(uint32_t width, uint32_t height, uint32_t depth, uint8_t format = 0, uint16_t density = 72) {
        bitmap.width = static_cast<uint16_t>(width);
        bitmap.height = static_cast<uint16_t>(height);
        bitmap.rowBytes = static_cast<uint16_t>(((width * depth + 15) / 16) * 2);
        bitmap.pixelSize = static_cast<uint8_t>(depth);
        bitmap.version = 0x83;
        bitmap.headerSize = 36;
        bitmap.pixelFormat = format;
        bitmap.density = density;
        memory.assign(kGuard + size_t{bitmap.rowBytes} * height + kGuard, 0xA5);
        bitmap.bits = memory.data() + kGuard;
        std::fill(Bits(), Bits() + size_t{bitmap.rowBytes} * height, 0);
    }
    Canvas(const Canvas& other) : memory(other.memory), bitmap(other.bitmap) { bitmap.bits = memory.data() + kGuard; }
    uint8_t* Bits() { return static_cast<uint8_t*>(bitmap.bits); }
    uint32_t Get(uint32_t x, uint32_t y) const {
        return PixelGet(static_cast<const uint8_t*>(bitmap.bits) + y * bitmap.rowBytes, x, bitmap.pixelSize,
                        bitmap.pixelFormat);
    }
    void Put(uint32_t x, uint32_t y, uint32_t v) {
        PixelPut(Bits() + y * bitmap.rowBytes, x, bitmap.pixelSize, bitmap.pixelFormat, v);
    }
    void Randomise(std::mt19937& random) {
        for (uint32_t y = 0; y < bitmap.height; ++y)
            for (uint32_t x = 0; x < bitmap.width; ++x) Put(x, y, random());
    }
    bool GuardsIntact() const {
        size_t end = kGuard + size_t{bitmap.rowBytes} * bitmap.height;
        for (size_t i = 0; i < kGuard; ++i)
            if (memory[i] != 0xA5 || memory[end + i] != 0xA5) return false;
        return true;
    }
    uint32_t Mask() const { return bitmap.pixelSize == 16 ? 0xFFFF : (1u << bitmap.pixelSize) - 1; }
};

// Lists the pixels where two canvases differ (at most a few).
::testing::AssertionResult SamePicture(const Canvas& want, const Canvas& got) {
    std::string problem;
    int shown = 0;
    for (uint32_t y = 0; y < want.bitmap.height; ++y)
        for (uint32_t x = 0; x < want.bitmap.width; ++x)
            if (want.Get(x, y) != got.Get(x, y) && shown++ < 4)
                problem += " (" + std::to_string(x) + "," + std::to_string(y) + ") want " +
                           std::to_string(want.Get(x, y)) + " got " + std::to_string(got.Get(x, y));
    if (!got.GuardsIntact()) problem += " guard bytes overwritten";
    return problem.empty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << problem;
}

class Draw : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        KezGlobalsInit(&config_, nullptr);
        KEZ_CALL(HALDrawResetState);
    }
    HALDrawState State(Canvas& c, const HALDrawAttributes& a, HALRect clip = {0, 0, 32767, 32767}) {
        return HALDrawState{clip, &a, &c.bitmap};
    }
    KezBootConfig config_{};
};

// The value a fill gives one pixel: `bit` is the pattern bit (1 for a solid foreground).
uint32_t FillModel(uint32_t mode, bool bit, uint32_t old, uint32_t fore, uint32_t back, uint32_t depth) {
    uint32_t mask = depth == 16 ? 0xFFFF : (1u << depth) - 1;
    switch (mode) {
        case 0: return bit ? fore : back;
        case 1: return bit ? old : back;
        case 2: return bit ? back : old;
        case 3: return (old ^ (bit ? fore : back) ^ (depth == 16 ? 0xFFFF : 0)) & mask;
        case 4: return bit ? fore : old;
        case 5: return bit ? back : fore;
        case 6:
            if (fore == back) return old;
            if (depth == 1) return old ^ 1;
            return old == back ? fore : old == fore ? back : old;
        default: return old;
    }
}

TEST_F(Draw, FillsFollowTheModelForEveryDepthOrderModeAndPattern) {
    std::mt19937 random(7);
    static const uint8_t kGrey[3][8] = {{0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},
                                        {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22},
                                        {0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77}};
    const uint8_t custom[8] = {0x81, 0x42, 0x24, 0x18, 0xF0, 0x0F, 0x3C, 0xC3};
    for (uint32_t depth : {1u, 2u, 4u, 8u, 16u})
        for (uint8_t format : {static_cast<uint8_t>(depth == 16 ? 1 : 0), static_cast<uint8_t>(depth == 16 ? 2 : 3)})
            for (uint16_t density : {uint16_t{72}, uint16_t{144}})
                for (uint8_t kind : {0, 1, 2, 3, 4, 5})
                    for (uint8_t mode = 0; mode <= 7; ++mode) {
                        SCOPED_TRACE("depth " + std::to_string(depth) + " format " + std::to_string(format) +
                                     " density " + std::to_string(density) + " kind " + std::to_string(kind) +
                                     " mode " + std::to_string(mode));
                        Canvas canvas(37, 21, depth, format, density);
                        canvas.Randomise(random);
                        HALDrawAttributes a{};
                        a.transferMode = mode;
                        a.patternKind = kind;
                        std::memcpy(a.customPattern, custom, 8);
                        a.foreIndex = static_cast<uint8_t>(random());
                        a.backIndex = static_cast<uint8_t>(random() % 3 == 0 ? a.foreIndex : random());
                        a.foreColor = {0, static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                       static_cast<uint8_t>(random())};
                        a.backColor = random() % 3 == 0 ? a.foreColor
                                                         : HALColorEntry{0, static_cast<uint8_t>(random()),
                                                                         static_cast<uint8_t>(random()), 0};
                        if (mode == 6 && depth < 16 && random() % 2) {
                            // Swap pixels that hold the two colours.
                            canvas.Put(5, 5, a.foreIndex & canvas.Mask());
                            canvas.Put(6, 5, a.backIndex & canvas.Mask());
                        }
                        Canvas want = canvas;
                        HALRect rect{3, 2, 29, 15};
                        HALDrawState state = State(canvas, a, {1, 1, 33, 18});
                        ASSERT_EQ(KEZ_CALL(HALDrawRectangle, &state, &rect, 0, 0), 0);
                        uint32_t fore = PrvColorValue(a.foreIndex, a.foreColor, want.bitmap);
                        uint32_t back = PrvColorValue(a.backIndex, a.backColor, want.bitmap);
                        const uint8_t* pattern = kind == 3 ? custom : kind >= 2 ? kGrey[kind == 2 ? 0 : kind == 4 ? 1 : 2] : nullptr;
                        uint32_t dd = kind == 3 && density == 144 ? 1 : 0;
                        for (uint32_t y = 2; y < 17; ++y)
                            for (uint32_t x = 3; x < 32; ++x) {
                                bool bit = pattern ? (pattern[(y >> dd) & 7] >> (7 - ((x >> dd) & 7))) & 1 : kind == 0;
                                want.Put(x, y, FillModel(mode, bit, want.Get(x, y), fore, back, depth));
                            }
                        ASSERT_TRUE(SamePicture(want, canvas));
                    }
}

// pixman as the oracle of solid fills and straight copies at 8 and 16 bits.
struct PixmanImage {
    pixman_image_t* image;
    PixmanImage(Canvas& c) {
        pixman_format_code_t format = c.bitmap.pixelSize == 16 ? PIXMAN_r5g6b5 : PIXMAN_a8;
        image = pixman_image_create_bits(format, c.bitmap.width, c.bitmap.height,
                                         reinterpret_cast<uint32_t*>(c.Bits()), c.bitmap.rowBytes);
    }
    ~PixmanImage() { pixman_image_unref(image); }
};

TEST_F(Draw, SolidFillsAndStraightCopiesMatchPixman) {
    std::mt19937 random(11);
    for (uint32_t depth : {8u, 16u}) {
        for (int round = 0; round < 40; ++round) {
            // Row bytes that are a multiple of 4, as pixman wants them.
            uint32_t width = 8 + random() % 60, height = 4 + random() % 30;
            width = (width + 3) & ~3u;
            Canvas ours(width, height, depth, 2), theirs(width, height, depth, 2);
            ours.Randomise(random);
            std::memcpy(theirs.Bits(), ours.Bits(), size_t{ours.bitmap.rowBytes} * height);
            HALDrawAttributes a{};
            a.foreIndex = static_cast<uint8_t>(random());
            a.foreColor = {0, static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
            auto x = static_cast<int16_t>(static_cast<int32_t>(random() % (width + 10)) - 5);
            auto y = static_cast<int16_t>(static_cast<int32_t>(random() % (height + 10)) - 5);
            HALRect rect{x, y, static_cast<int16_t>(random() % width), static_cast<int16_t>(random() % height)};
            HALDrawState state = State(ours, a);
            KEZ_CALL(HALDrawRectangle, &state, &rect, 0, 0);
            {
                PixmanImage image(theirs);
                uint32_t v = PrvColorValue(a.foreIndex, a.foreColor, theirs.bitmap);
                pixman_color_t colour;
                if (depth == 16) {
                    // The 5-6-5 value widened so that pixman narrows it back to the same bits.
                    colour = {static_cast<uint16_t>(((v >> 11) & 31) * 0xFFFF / 31),
                              static_cast<uint16_t>(((v >> 5) & 63) * 0xFFFF / 63),
                              static_cast<uint16_t>((v & 31) * 0xFFFF / 31), 0xFFFF};
                } else {
                    colour = {0, 0, 0, static_cast<uint16_t>(v * 0x101)};
                }
                int32_t left = std::max<int32_t>(rect.x, 0), top = std::max<int32_t>(rect.y, 0);
                int32_t right = std::min<int32_t>(rect.x + rect.width, static_cast<int32_t>(width));
                int32_t bottom = std::min<int32_t>(rect.y + rect.height, static_cast<int32_t>(height));
                if (right > left && bottom > top) {
                    pixman_rectangle16_t r{static_cast<int16_t>(left), static_cast<int16_t>(top),
                                           static_cast<uint16_t>(right - left), static_cast<uint16_t>(bottom - top)};
                    pixman_image_fill_rectangles(PIXMAN_OP_SRC, image.image, &colour, 1, &r);
                }
            }
            ASSERT_TRUE(SamePicture(theirs, ours)) << "fill, depth " << depth << " round " << round;

            // A copy from a second bitmap at a random origin.
            Canvas source(width, height, depth, 2);
            source.Randomise(random);
            HALRect target{static_cast<int16_t>(random() % width), static_cast<int16_t>(random() % height),
                           static_cast<int16_t>(random() % width), static_cast<int16_t>(random() % height)};
            auto ox = static_cast<int16_t>(target.x - static_cast<int32_t>(random() % 8));
            auto oy = static_cast<int16_t>(target.y - static_cast<int32_t>(random() % 8));
            HALDrawAttributes none{};
            HALDrawState copyState = State(ours, none);
            ASSERT_EQ(KEZ_CALL(HALDrawBitmap, &copyState, &source.bitmap, &target, ox, oy), 0);
            {
                PixmanImage from(source), to(theirs);
                int32_t w = std::min<int32_t>(target.width, static_cast<int32_t>(width) - target.x);
                int32_t h = std::min<int32_t>(target.height, static_cast<int32_t>(height) - target.y);
                w = std::min<int32_t>(w, static_cast<int32_t>(width) - (target.x - ox));
                h = std::min<int32_t>(h, static_cast<int32_t>(height) - (target.y - oy));
                if (w > 0 && h > 0)
                    pixman_image_composite(PIXMAN_OP_SRC, from.image, nullptr, to.image, static_cast<int16_t>(target.x - ox),
                                           static_cast<int16_t>(target.y - oy), 0, 0, target.x, target.y,
                                           static_cast<uint16_t>(w), static_cast<uint16_t>(h));
            }
            ASSERT_TRUE(SamePicture(theirs, ours)) << "copy, depth " << depth << " round " << round;
        }
    }
}

TEST_F(Draw, PixelsLinesAndRectangles) {
    Canvas c(40, 40, 8);
    HALDrawAttributes a{};
    a.foreIndex = 9;
    HALDrawState state = State(c, a, {0, 0, 30, 30});
    // Count 0 draws nothing; a point at the clip edge draws only its inside part.
    const int16_t points[] = {28, 28, 5, 5};
    KEZ_CALL(HALDrawPixels, &state, 0, points, 4);
    EXPECT_EQ(c.Get(29, 29), 0u);
    KEZ_CALL(HALDrawPixels, &state, 1, points, 4);
    EXPECT_EQ(c.Get(29, 29), 9u);
    EXPECT_EQ(c.Get(30, 30), 0u);
    EXPECT_EQ(c.Get(27, 28), 0u);

    // A vertical line of pen 1 covers rows 10 to 20 of column 10 only.
    Canvas line(40, 40, 8);
    HALDrawState lineState = State(line, a);
    KEZ_CALL(HALDrawLine, &lineState, 10, 10, 10, 20, 1);
    int count = 0;
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 40; ++x) count += line.Get(x, y) == 9;
    EXPECT_EQ(count, 11);
    EXPECT_EQ(line.Get(10, 20), 9u);
    EXPECT_EQ(line.Get(10, 21), 0u);

    // Diagonal, steep and shallow lines of pen 1: one pixel per row (or column), from end to end,
    // each step moving by at most one.
    struct Case {
        int16_t x1, y1, x2, y2;
    };
    for (Case k : {Case{2, 2, 30, 30}, Case{30, 2, 5, 35}, Case{1, 20, 38, 12}, Case{38, 3, 0, 9}}) {
        Canvas l(40, 40, 8);
        HALDrawState s = State(l, a);
        KEZ_CALL(HALDrawLine, &s, k.x1, k.y1, k.x2, k.y2, 1);
        EXPECT_EQ(l.Get(static_cast<uint32_t>(k.x1), static_cast<uint32_t>(k.y1)), 9u);
        EXPECT_EQ(l.Get(static_cast<uint32_t>(k.x2), static_cast<uint32_t>(k.y2)), 9u);
        bool steep = std::abs(k.y2 - k.y1) >= std::abs(k.x2 - k.x1);
        int32_t from = steep ? std::min(k.y1, k.y2) : std::min(k.x1, k.x2);
        int32_t to = steep ? std::max(k.y1, k.y2) : std::max(k.x1, k.x2);
        for (int32_t i = from; i <= to; ++i) {
            int n = 0;
            for (uint32_t j = 0; j < 40; ++j)
                n += (steep ? l.Get(j, static_cast<uint32_t>(i)) : l.Get(static_cast<uint32_t>(i), j)) == 9;
            EXPECT_EQ(n, 1) << "line " << k.x1 << "," << k.y1 << " to " << k.x2 << "," << k.y2 << " at " << i;
        }
        EXPECT_TRUE(l.GuardsIntact());
    }

    // Rounded rectangles, filled and framed, are symmetric; a radius larger than the rectangle and
    // one of 25 (beyond the fixed buffer) stay inside the bitmap.
    for (uint16_t radius : {uint16_t{4}, uint16_t{24}, uint16_t{25}, uint16_t{300}}) {
        for (uint16_t frame : {uint16_t{0}, uint16_t{2}}) {
            Canvas r(64, 64, 8);
            HALDrawState s = State(r, a);
            HALRect rect{2, 3, 60, 57};
            KEZ_CALL(HALDrawRectangle, &s, &rect, radius, frame);
            for (uint32_t y = 0; y < 64; ++y)
                for (uint32_t x = 0; x < 64; ++x) {
                    if (x >= 2 && x < 62) {
                        ASSERT_EQ(r.Get(x, y), r.Get(63 - x, y)) << radius << " " << x << "," << y;
                    }
                    if (y >= 3 && y < 60) {
                        ASSERT_EQ(r.Get(x, y), r.Get(x, 62 - y)) << radius << " " << x << "," << y;
                    }
                }
            EXPECT_TRUE(r.GuardsIntact());
            if (radius == 4 && frame == 0) {
                EXPECT_EQ(r.Get(2, 3), 0u);   // the corner is cut
                EXPECT_EQ(r.Get(30, 3), 9u);  // the edge is not
                EXPECT_EQ(r.Get(30, 30), 9u);
            }
            if (radius == 4 && frame == 2) {
                EXPECT_EQ(r.Get(30, 30), 0u);  // a frame leaves the inside
                EXPECT_EQ(r.Get(30, 4), 9u);
                EXPECT_EQ(r.Get(2, 30), 9u);
            }
        }
    }
}

TEST_F(Draw, GetPixelDensitiesAndColourMatching) {
    Canvas one(8, 2, 1, 0), reversed(8, 2, 1, 3);
    one.Bits()[0] = 0x80;
    reversed.Bits()[0] = 0x01;
    EXPECT_EQ(KEZ_CALL(HALDrawGetPixel, &one.bitmap, 0, 0, 0), 1u);
    EXPECT_EQ(KEZ_CALL(HALDrawGetPixel, &reversed.bitmap, 0, 0, 0), 1u);
    EXPECT_EQ(KEZ_CALL(HALDrawGetPixel, &one.bitmap, 8, 0, 0), 0u);  // outside
    Canvas wide(4, 1, 16, 1);
    wide.Put(1, 0, 0x1FF8);  // big-endian 0xF81F
    EXPECT_EQ(KEZ_CALL(HALDrawGetPixel, &wide.bitmap, 1, 0, 0), 0xF81Fu);
    EXPECT_EQ(KEZ_CALL(HALDrawGetPixel, &wide.bitmap, 1, 0, 1), 5u);  // magenta in the standard table
    HALBitmap odd = one.bitmap;
    odd.pixelSize = 3;
    EXPECT_EQ(KEZ_CALL(HALDrawGetPixel, &odd, 0, 0, 0), 0u);

    uint16_t density = 0;
    std::vector<uint16_t> seen;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(KEZ_CALL(HALDrawGetNextDensity, &density), 0);
        seen.push_back(density);
    }
    EXPECT_EQ(seen, (std::vector<uint16_t>{72, 108, 144, 0}));
    density = 100;
    EXPECT_EQ(KEZ_CALL(HALDrawGetNextDensity, &density), 0xFFFF);

    // An entry whose index already names its colour keeps it, even after an earlier equal entry.
    struct Table {
        uint16_t count, reserved;
        HALColorEntry e[4];
    } table{4, 0, {{0, 10, 10, 10}, {1, 200, 0, 0}, {2, 10, 10, 10}, {3, 0, 0, 0}}};
    auto* t = reinterpret_cast<HALColorTable*>(&table);
    HALColorEntry keep{2, 10, 10, 10};
    KEZ_CALL(HALColorRGBToIndex, 1, &keep, t);
    EXPECT_EQ(keep.index, 2);
    HALColorEntry near{0, 190, 5, 5};
    KEZ_CALL(HALColorRGBToIndex, 1, &near, t);
    EXPECT_EQ(near.index, 1);
    // A table of greys matches pure red by its grey level (2 x 255 / 8 = 63).
    struct Greys {
        uint16_t count, reserved;
        HALColorEntry e[4];
    } greys{4, 0, {{0, 255, 255, 255}, {1, 160, 160, 160}, {2, 60, 60, 60}, {3, 0, 0, 0}}};
    HALColorEntry red{0, 255, 0, 0};
    KEZ_CALL(HALColorRGBToIndex, 1, &red, reinterpret_cast<HALColorTable*>(&greys));
    EXPECT_EQ(red.index, 2);
    // Against the standard table the match is the least squared distance, summed without wrapping.
    std::mt19937 random(3);
    for (int i = 0; i < 400; ++i) {
        HALColorEntry want{0, static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
        HALColorEntry got = want;
        got.index = 254;  // names no colour of its own
        KEZ_CALL(HALColorRGBToIndex, 1, &got, nullptr);
        uint32_t best = UINT32_MAX;
        for (uint32_t k = 0; k < 256; ++k) {
            uint32_t c = PrvStandardColor(k);
            int32_t dr = int32_t(c >> 16) - want.red, dg = int32_t((c >> 8) & 255) - want.green, db = int32_t(c & 255) - want.blue;
            best = std::min(best, static_cast<uint32_t>(dr * dr + dg * dg + db * db));
        }
        uint32_t c = PrvStandardColor(got.index);
        int32_t dr = int32_t(c >> 16) - want.red, dg = int32_t((c >> 8) & 255) - want.green, db = int32_t(c & 255) - want.blue;
        ASSERT_EQ(static_cast<uint32_t>(dr * dr + dg * dg + db * db), best);
    }
}

// The colour of a default-table index as RGB565 in host order.
uint16_t Default565(uint32_t depth, uint32_t index) {
    const HALColorEntry& e = PrvDefaultColorTable(depth)->entries[index];
    return static_cast<uint16_t>(((e.red & 0xF8) << 8) | ((e.green & 0xFC) << 3) | (e.blue >> 3));
}

TEST_F(Draw, BitmapCopyBetweenEveryPairOfDepths) {
    std::mt19937 random(5);
    const uint8_t k2To8[] = {0x00, 0xDD, 0xDA, 0xFF};
    const uint8_t k4To8[] = {0x00, 0xE0, 0xDF, 0x19, 0xDE, 0xDD, 0x32, 0xDC, 0xDB, 0xA5, 0xDA, 0xD9, 0xBE, 0xD8, 0xD7, 0xFF};
    for (uint32_t sd : {1u, 2u, 4u, 8u, 16u})
        for (uint32_t dd : {1u, 2u, 4u, 8u, 16u}) {
            SCOPED_TRACE("from " + std::to_string(sd) + " to " + std::to_string(dd));
            Canvas source(21, 9, sd, sd == 16 ? 1 : 0);
            source.Randomise(random);
            // Two columns of white and black.
            for (uint32_t y = 0; y < 9; ++y) {
                source.Put(0, y, sd == 16 ? 0xFFFF : 0);
                source.Put(1, y, sd == 16 ? 0 : source.Mask());
            }
            Canvas dest(30, 12, dd, dd == 16 ? 2 : 3);
            dest.Randomise(random);
            Canvas before = dest;
            HALDrawAttributes a{};
            a.foreIndex = 1;
            a.backIndex = 0;
            a.foreColor = {0, 0, 0, 0};
            a.backColor = {0, 255, 255, 255};
            HALDrawState state = State(dest, a);
            HALRect target{3, 2, 21, 9};
            ASSERT_EQ(KEZ_CALL(HALDrawBitmap, &state, &source.bitmap, &target, 3, 2), 0);
            EXPECT_TRUE(dest.GuardsIntact());
            // A 1-bit source without a colour table draws in the background and foreground indices.
            uint32_t white = dd == 16 ? 0xFFFF : 0, black = dd == 16 ? 0 : sd == 1 ? 1 : dest.Mask();
            for (uint32_t y = 0; y < 12; ++y)
                for (uint32_t x = 0; x < 30; ++x) {
                    uint32_t got = dest.Get(x, y);
                    if (x < 3 || x >= 24 || y < 2 || y >= 11) {
                        ASSERT_EQ(got, before.Get(x, y)) << x << "," << y;
                        continue;
                    }
                    uint32_t s = source.Get(x - 3, y - 2);
                    if (x - 3 < 2) {
                        ASSERT_EQ(got, x == 3 ? white : black) << x << "," << y;
                        continue;
                    }
                    if (sd > dd && sd <= 8) continue;  // dithered reductions: white and black above
                    if (sd == 16 && dd <= 8) continue;
                    uint32_t want;
                    if (sd == dd) want = sd == 16 ? ((s >> 8) | (s << 8)) & 0xFFFF : s;  // big- to little-endian
                    else if (dd == 16) want = sd == 1 ? (s ? 0 : 0xFFFF) : Default565(sd, s);
                    else if (sd == 1) want = s ? 1 : 0;
                    else if (sd == 2 && dd == 4) want = s * 5;
                    else if (sd == 2 && dd == 8) want = k2To8[s];
                    else if (sd == 4 && dd == 8) want = k4To8[s];
                    else want = s;
                    ASSERT_EQ(got, want) << x << "," << y << " from " << s;
                }
        }
}

TEST_F(Draw, ReductionsDitherAMiddleGreyToItsLevel) {
    // 50% grey from 8 bits (standard 0xDC is 0x888888) and from 16 bits, onto 1 bit: about half
    // the pixels set.
    for (uint32_t sd : {8u, 16u}) {
        Canvas source(32, 32, sd, 2);
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x) source.Put(x, y, sd == 8 ? 0xDC : 0x8410);
        Canvas dest(32, 32, 1);
        HALDrawAttributes a{};
        HALDrawState state = State(dest, a);
        HALRect target{0, 0, 32, 32};
        KEZ_CALL(HALDrawBitmap, &state, &source.bitmap, &target, 0, 0);
        int set = 0;
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x) set += dest.Get(x, y);
        EXPECT_GT(set, 1024 * 35 / 100) << sd;
        EXPECT_LT(set, 1024 * 65 / 100) << sd;
    }
}

TEST_F(Draw, BitmapCopyTransferModesAt8Bits) {
    std::mt19937 random(9);
    for (uint8_t mode = 0; mode <= 6; ++mode) {
        Canvas source(17, 7, 8), dest(20, 9, 8);
        source.Randomise(random);
        for (uint32_t x = 0; x < 17; x += 3) source.Put(x, 3, 0x42);
        source.bitmap.transparentValue = 0x42;
        dest.Randomise(random);
        // A source with a colour table of its own is matched into the destination's default
        // table; with the standard colours it maps to itself.
        Canvas want = dest;
        HALDrawAttributes a{};
        a.transferMode = mode;
        a.backIndex = 0x77;
        HALDrawState state = State(dest, a);
        HALRect target{1, 1, 17, 7};
        KEZ_CALL(HALDrawBitmap, &state, &source.bitmap, &target, 1, 1);
        for (uint32_t y = 0; y < 7; ++y)
            for (uint32_t x = 0; x < 17; ++x) {
                uint32_t s = source.Get(x, y), old = want.Get(x + 1, y + 1), v = old;
                switch (mode) {
                    case 1: v = s == 0x42 ? 0x77 : old; break;
                    case 2: v = s != 0x42 ? 0x77 : old; break;
                    case 3: v = old ^ s; break;
                    case 4: v = s != 0x42 ? s : old; break;
                    case 5: v = 255 - s; break;
                    default: v = s; break;
                }
                want.Put(x + 1, y + 1, v);
            }
        EXPECT_TRUE(SamePicture(want, dest)) << "mode " << int(mode);
    }
}

TEST_F(Draw, BitmapCopyClipsToBothBitmapsAndCopiesOntoItself) {
    std::mt19937 random(13);
    for (uint32_t depth : {1u, 4u, 8u, 16u}) {
        for (int round = 0; round < 60; ++round) {
            Canvas source(1 + random() % 20, 1 + random() % 12, depth), dest(1 + random() % 25, 1 + random() % 14, depth, depth < 8 ? 3 : 2);
            source.Randomise(random);
            dest.Randomise(random);
            Canvas before = dest;
            auto r = [&](int spread) { return static_cast<int16_t>(static_cast<int32_t>(random() % (2 * spread)) - spread); };
            HALRect target{r(30), r(20), static_cast<int16_t>(random() % 40), static_cast<int16_t>(random() % 30)};
            int16_t ox = r(30), oy = r(20);
            HALDrawAttributes a{};
            a.transferMode = static_cast<uint8_t>(random() % 7);
            HALRect clip{r(10), r(10), static_cast<int16_t>(random() % 40), static_cast<int16_t>(random() % 30)};
            HALDrawState state = State(dest, a, clip);
            KEZ_CALL(HALDrawBitmap, &state, &source.bitmap, &target, ox, oy);
            ASSERT_TRUE(dest.GuardsIntact());
            ASSERT_TRUE(source.GuardsIntact());
            for (uint32_t y = 0; y < dest.bitmap.height; ++y)
                for (uint32_t x = 0; x < dest.bitmap.width; ++x) {
                    int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
                    bool inside = ix >= target.x && ix < target.x + target.width && iy >= target.y &&
                                  iy < target.y + target.height && ix >= clip.x && ix < clip.x + clip.width &&
                                  iy >= clip.y && iy < clip.y + clip.height && ix - ox >= 0 &&
                                  ix - ox < source.bitmap.width && iy - oy >= 0 && iy - oy < source.bitmap.height;
                    if (!inside) {
                        ASSERT_EQ(dest.Get(x, y), before.Get(x, y)) << x << "," << y;
                    }
                }
        }
    }
    // A bitmap copied onto itself one row down and one pixel right.
    for (uint32_t depth : {1u, 2u, 8u, 16u}) {
        Canvas c(20, 10, depth);
        c.Randomise(random);
        Canvas want = c;
        for (uint32_t y = 1; y < 10; ++y)
            for (uint32_t x = 1; x < 20; ++x) want.Put(x, y, c.Get(x - 1, y - 1));
        HALDrawAttributes a{};
        HALDrawState state = State(c, a);
        HALRect target{1, 1, 19, 9};
        KEZ_CALL(HALDrawBitmap, &state, &c.bitmap, &target, 1, 1);
        EXPECT_TRUE(SamePicture(want, c)) << depth;
    }
}

TEST_F(Draw, BitmapCopyScalesBetweenDensities) {
    std::mt19937 random(17);
    struct Case {
        uint16_t from, to;
    };
    for (Case k : {Case{72, 144}, Case{144, 72}, Case{108, 72}, Case{72, 108}}) {
        for (uint32_t depth : {1u, 8u, 16u}) {
            Canvas source(24, 24, depth, 0, k.from), dest(24, 24, depth, 0, k.to);
            source.Randomise(random);
            HALDrawAttributes a{};
            a.foreIndex = 1;
            HALDrawState state = State(dest, a);
            HALRect target{0, 0, 24, 24};
            KEZ_CALL(HALDrawBitmap, &state, &source.bitmap, &target, 0, 0);
            for (uint32_t y = 0; y < 16; ++y)
                for (uint32_t x = 0; x < 16; ++x) {
                    uint32_t sx, sy;
                    if (k.to == 144) sx = x / 2, sy = y / 2;
                    else if (k.from == 144) sx = 2 * x, sy = 2 * y;
                    else if (k.from == 108) sx = x + x / 2, sy = y + y / 2;
                    else sx = 2 * x / 3, sy = 2 * y / 3;
                    if (sx >= 24 || sy >= 24) continue;
                    uint32_t want = source.Get(sx, sy);
                    if (depth == 1 && k.to == 108 && x % 3 == 1) want &= source.Get(sx + 1, sy);
                    ASSERT_EQ(dest.Get(x, y), want) << k.from << " to " << k.to << " depth " << depth << " at " << x << "," << y;
                }
        }
    }
    // A 108-dpi source on a 72-dpi destination starts at source row (3 y + 1) / 2.
    Canvas source(8, 40, 8, 0, 108), dest(8, 20, 8, 0, 72);
    for (uint32_t y = 0; y < 40; ++y) source.Put(0, y, y);
    HALDrawAttributes a{};
    HALDrawState state = State(dest, a);
    HALRect target{0, 5, 8, 3};
    KEZ_CALL(HALDrawBitmap, &state, &source.bitmap, &target, 0, 0);
    EXPECT_EQ(dest.Get(0, 5), 8u);
}

// Compresses a canvas's rows in place of its bits: the size word and the data.
std::vector<uint8_t> Compress(const Canvas& c, uint8_t type) {
    std::vector<uint8_t> out(4 + size_t{c.bitmap.rowBytes} * c.bitmap.height * 2 + 64);
    ScanLineCodecState state{};
    state.depth = c.bitmap.pixelSize;
    size_t at = 4;
    for (uint32_t y = 0; y < c.bitmap.height; ++y) {
        int32_t n = PrvCompressRow(type, static_cast<const uint8_t*>(c.bitmap.bits) + y * c.bitmap.rowBytes,
                                   c.bitmap.rowBytes, out.data() + at, static_cast<uint32_t>(out.size() - at), &state);
        EXPECT_GE(n, 0);
        at += static_cast<size_t>(n);
    }
    auto size = static_cast<uint32_t>(at);
    std::memcpy(out.data(), &size, 4);
    out.resize(at);
    return out;
}

TEST_F(Draw, CompressedSourcesAndDestinations) {
    std::mt19937 random(19);
    for (uint8_t type : {kCompressScanLine, kCompressRLE, kCompressPackBits}) {
        for (uint32_t depth : {4u, 8u, 16u}) {
            Canvas picture(23, 11, depth);
            for (uint32_t y = 0; y < 11; ++y)
                for (uint32_t x = 0; x < 23; ++x) picture.Put(x, y, (x / 4 + y) % 3 ? random() : 5);
            std::vector<uint8_t> data = Compress(picture, type);
            HALBitmap compressed = picture.bitmap;
            compressed.flags = kBitmapCompressed;
            compressed.compressionType = type;
            compressed.headerSize = 40;
            compressed.bits = data.data() + 4;
            std::memcpy(&compressed.compressedSize, data.data(), 4);
            Canvas plain(23, 11, depth), fromCompressed(23, 11, depth);
            HALDrawAttributes a{};
            a.transferMode = 4;  // through the row pipeline
            HALDrawState one = State(plain, a), two = State(fromCompressed, a);
            HALRect target{0, 2, 23, 9};
            KEZ_CALL(HALDrawBitmap, &one, &picture.bitmap, &target, 0, 0);
            KEZ_CALL(HALDrawBitmap, &two, &compressed, &target, 0, 0);
            EXPECT_TRUE(SamePicture(plain, fromCompressed)) << int(type) << " " << depth;
            // A stream cut short draws what it decodes and stops.
            HALBitmap cut = compressed;
            cut.compressedSize = cut.compressedSize / 2;
            KEZ_CALL(HALDrawBitmap, &two, &cut, &target, 0, 0);
            EXPECT_TRUE(fromCompressed.GuardsIntact());
        }
    }
    // A compressed destination drawn whole at (0, 0) in mode 0 stays compressed and holds the
    // picture; a partial draw leaves it uncompressed with its old picture kept around the part.
    Canvas picture(24, 12, 8), first(24, 12, 8);
    picture.Randomise(random);
    for (uint32_t y = 0; y < 12; ++y)
        for (uint32_t x = 0; x < 24; ++x) first.Put(x, y, (x / 6 + y / 3) * 17);
    std::vector<uint8_t> area(4 + 24 * 12);
    std::vector<uint8_t> firstData = Compress(first, kCompressScanLine);
    ASSERT_LE(firstData.size(), area.size());
    std::memcpy(area.data(), firstData.data(), firstData.size());
    HALBitmap dest = picture.bitmap;
    dest.flags = kBitmapCompressed;
    dest.compressionType = kCompressScanLine;
    dest.headerSize = 40;
    dest.bits = area.data() + 4;
    std::memcpy(&dest.compressedSize, area.data(), 4);
    HALDrawAttributes a{};
    HALDrawState state{{0, 0, 24, 12}, &a, &dest};
    HALRect part{4, 4, 6, 3};
    Canvas small(6, 3, 8);
    small.Randomise(random);
    KEZ_CALL(HALDrawBitmap, &state, &small.bitmap, &part, 4, 4);
    EXPECT_FALSE(dest.flags & kBitmapCompressed);
    ASSERT_EQ(dest.bits, area.data());
    for (uint32_t y = 0; y < 12; ++y)
        for (uint32_t x = 0; x < 24; ++x) {
            uint32_t want = x >= 4 && x < 10 && y >= 4 && y < 7 ? small.Get(x - 4, y - 4) : first.Get(x, y);
            ASSERT_EQ(area[y * 24 + x], want) << x << "," << y;
        }
    // Compressed again (as the OS stores it) and drawn over whole with a picture that fits
    // compressed: it stays compressed and decodes to the picture.
    for (uint32_t y = 0; y < 12; ++y)
        for (uint32_t x = 0; x < 24; ++x) picture.Put(x, y, x < 12 ? y : 200);
    std::vector<uint8_t> storage(4 + 24 * 12);
    std::vector<uint8_t> again = Compress(first, kCompressScanLine);
    std::memcpy(storage.data(), again.data(), again.size());
    dest.flags = kBitmapCompressed;
    dest.headerSize = 40;
    dest.bits = storage.data() + 4;
    std::memcpy(&dest.compressedSize, storage.data(), 4);
    HALRect whole{0, 0, 24, 12};
    KEZ_CALL(HALDrawBitmap, &state, &picture.bitmap, &whole, 0, 0);
    ASSERT_TRUE(dest.flags & kBitmapCompressed);
    uint32_t size;
    std::memcpy(&size, storage.data(), 4);
    EXPECT_EQ(size, dest.compressedSize);
    std::vector<uint8_t> row(24);
    ScanLineCodecState codec{};
    const uint8_t* in = storage.data() + 4;
    for (uint32_t y = 0; y < 12; ++y) {
        int32_t used = PrvDecompressRow(kCompressScanLine, in, 1000, row.data(), 24, &codec);
        ASSERT_GT(used, 0);
        in += used;
        for (uint32_t x = 0; x < 24; ++x) ASSERT_EQ(row[x], picture.Get(x, y)) << x << "," << y;
    }
    // A fill into a compressed bitmap decodes it first and keeps the picture around the fill.
    {
        std::vector<uint8_t> packed(4 + 24 * 12);
        std::vector<uint8_t> data = Compress(first, kCompressRLE);
        std::memcpy(packed.data(), data.data(), data.size());
        HALBitmap target = first.bitmap;
        target.flags = kBitmapCompressed;
        target.compressionType = kCompressRLE;
        target.headerSize = 40;
        target.bits = packed.data() + 4;
        std::memcpy(&target.compressedSize, packed.data(), 4);
        HALDrawAttributes fill{};
        fill.foreIndex = 3;
        HALDrawState fillState{{0, 0, 24, 12}, &fill, &target};
        HALRect box{2, 2, 3, 3};
        KEZ_CALL(HALDrawRectangle, &fillState, &box, 0, 0);
        ASSERT_FALSE(target.flags & kBitmapCompressed);
        for (uint32_t y = 0; y < 12; ++y)
            for (uint32_t x = 0; x < 24; ++x)
                ASSERT_EQ(packed[y * 24 + x], x >= 2 && x < 5 && y >= 2 && y < 5 ? 3u : first.Get(x, y)) << x << "," << y;
    }
    // A picture that does not fit compressed replaces it uncompressed.
    picture.Randomise(random);
    KEZ_CALL(HALDrawBitmap, &state, &picture.bitmap, &whole, 0, 0);
    ASSERT_FALSE(dest.flags & kBitmapCompressed);
    ASSERT_EQ(dest.bits, storage.data());
    EXPECT_EQ(std::memcmp(storage.data(), picture.Bits(), 24 * 12), 0);
}

// A test font: glyph i of `widths` is a solid block of its width with a notch at its top left,
// the missing glyph a hollow box of 4 pixels.
struct TestFont {
    std::vector<uint8_t> bytes;
    std::vector<uint16_t> locations;
    uint16_t rowWords = 0;
    static constexpr uint16_t kFirst = 'A', kHeight = 6, kLeading = 1;
    explicit TestFont(const std::vector<uint16_t>& widths) {
        uint16_t at = 0;
        for (uint16_t w : widths) {
            locations.push_back(at);
            at = static_cast<uint16_t>(at + w);
        }
        locations.push_back(at);
        locations.push_back(static_cast<uint16_t>(at + 4));
        rowWords = static_cast<uint16_t>((at + 4 + 15) / 16);
        vantor::HALFont font{};
        font.firstChar = kFirst;
        font.lastChar = static_cast<uint16_t>(kFirst + widths.size() - 1);
        font.rectHeight = kHeight;
        font.ascent = 5;
        font.descent = 1;
        font.leading = kLeading;
        font.rowWords = rowWords;
        bytes.resize(sizeof font + rowWords * 2u * kHeight + 2 * locations.size());
        std::memcpy(bytes.data(), &font, sizeof font);
        for (size_t g = 0; g + 1 < locations.size(); ++g)
            for (uint32_t y = 0; y < kHeight; ++y)
                for (uint32_t x = locations[g]; x < locations[g + 1]; ++x)
                    if (Bit(g, x - locations[g], y)) Set(x, y);
        std::memcpy(bytes.data() + sizeof font + rowWords * 2u * kHeight, locations.data(), 2 * locations.size());
    }
    bool Bit(size_t glyph, uint32_t x, uint32_t y) const {
        uint32_t width = locations[glyph + 1] - locations[glyph];
        if (glyph + 2 == locations.size()) return y == 0 || y == kHeight - 1 || x == 0 || x == width - 1;
        return !(x == 0 && y == 0) && y < kHeight - 1;
    }
    void Set(uint32_t x, uint32_t y) {
        bytes[sizeof(vantor::HALFont) + y * rowWords * 2 + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    }
};

TEST_F(Draw, TextDrawsGlyphsInBatchesAtEveryDensity) {
    TestFont font({3, 5, 0, 80});  // 'C' has no width: the missing glyph; 'D' is wider than the strip
    HALDrawAttributes a{};
    a.textIndex = 1;
    a.backIndex = 0;
    // The glyphs of "AB?" (a character outside the font) side by side at 72 dpi.
    Canvas c(40, 12, 1);
    HALDrawState state = State(c, a);
    const uint8_t text[] = {'A', 'B', 'Z', 'C'};
    KEZ_CALL(HALDrawChars, &state, 2, 3, text, 4, font.bytes.data(), nullptr, nullptr);
    auto glyphAt = [&](const Canvas& canvas, size_t glyph, uint32_t left, uint32_t scale) {
        uint32_t width = font.locations[glyph + 1] - font.locations[glyph];
        for (uint32_t y = 0; y < TestFont::kHeight * scale; ++y)
            for (uint32_t x = 0; x < width * scale; ++x)
                if (canvas.Get(left + x, 3 + y) != (font.Bit(glyph, x / scale, y / scale) ? 1u : 0u)) return false;
        return true;
    };
    EXPECT_TRUE(glyphAt(c, 0, 2, 1));
    EXPECT_TRUE(glyphAt(c, 1, 5, 1));
    EXPECT_TRUE(glyphAt(c, 4, 10, 1));  // 'Z': the missing glyph
    EXPECT_TRUE(glyphAt(c, 4, 14, 1));  // 'C': width 0, the missing glyph
    EXPECT_EQ(c.Get(1, 5), 0u);

    // 51 characters draw in two batches, as they would one by one.
    std::vector<uint8_t> many(51);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<uint8_t>('A' + i % 2);
    Canvas batched(220, 10, 8), single(220, 10, 8);
    HALDrawState s1 = State(batched, a), s2 = State(single, a);
    KEZ_CALL(HALDrawChars, &s1, 0, 1, many.data(), 51, font.bytes.data(), nullptr, nullptr);
    int16_t x = 0;
    for (uint8_t ch : many) {
        KEZ_CALL(HALDrawChars, &s2, x, 1, &ch, 1, font.bytes.data(), nullptr, nullptr);
        x = static_cast<int16_t>(x + (ch == 'A' ? 3 : 5));
    }
    EXPECT_TRUE(SamePicture(single, batched));

    // At 144 dpi the glyphs are doubled, the wide one split across the strip; with text flag 0x02
    // they keep their own size.
    Canvas dense(220, 20, 4, 3, 144);
    HALDrawState s3 = State(dense, a);
    const uint8_t abd[] = {'A', 'B', 'D'};
    KEZ_CALL(HALDrawChars, &s3, 2, 3, abd, 3, font.bytes.data(), nullptr, nullptr);
    EXPECT_TRUE(glyphAt(dense, 0, 2, 2));
    EXPECT_TRUE(glyphAt(dense, 1, 8, 2));
    EXPECT_TRUE(glyphAt(dense, 3, 18, 2));
    EXPECT_TRUE(dense.GuardsIntact());
    Canvas own(40, 12, 1, 0, 144);
    a.textFlags = 0x02;
    HALDrawState s4 = State(own, a);
    KEZ_CALL(HALDrawChars, &s4, 2, 3, text, 2, font.bytes.data(), nullptr, nullptr);
    EXPECT_TRUE(glyphAt(own, 1, 5, 1));
    a.textFlags = 0;

    // Text wholly above or below the clip draws nothing; an underline follows the text.
    Canvas clipped(40, 20, 8);
    HALDrawState s5 = State(clipped, a, {0, 10, 40, 5});
    KEZ_CALL(HALDrawChars, &s5, 0, 0, text, 2, font.bytes.data(), nullptr, nullptr);
    KEZ_CALL(HALDrawChars, &s5, 0, 16, text, 2, font.bytes.data(), nullptr, nullptr);
    for (uint32_t y = 0; y < 20; ++y)
        for (uint32_t xx = 0; xx < 40; ++xx) ASSERT_EQ(clipped.Get(xx, y), 0u);
    Canvas underlined(40, 12, 8);
    a.underlineMode = 2;
    a.foreIndex = 7;
    HALDrawState s6 = State(underlined, a);
    KEZ_CALL(HALDrawChars, &s6, 1, 2, text, 2, font.bytes.data(), nullptr, nullptr);
    for (uint32_t xx = 1; xx < 9; ++xx) EXPECT_EQ(underlined.Get(xx, 2 + 6), 7u) << xx;  // row y + H - 1
    EXPECT_EQ(underlined.Get(9, 8), 0u);
}

}  // namespace
}  // namespace kez::testing
