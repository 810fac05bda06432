// The device screen in a real GTK window on an X display (the suite runs under xvfb-run): known
// pictures written into the frame buffer at every depth, flushed, and read back from the window,
// unscaled and scaled; the overlays; and the frame buffer's attributes, palette and locks.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <thread>
#include <utility>
#include <vector>

#include "kez/src/HALDisplay.h"
#include "kez/src/HALDraw.h"
#include "kez/src/KezServices.h"
#include "kez/tests/KezTestSupport.h"

extern "C" uint32_t PALGTKInit();

namespace kez::testing {
namespace {

// The screen-manager record as far as the display reads it: the lock count behind the colour table.
struct ScreenManager {
    uint8_t bytes[1104] = {};
    uint16_t& LockCount() { return *ScreenManagerLockCount(bytes); }
};

class Display : public os::StandinTest {
protected:
    void SetUp() override {}  // each test starts the display with its own sizes
    // A square screen and window, unless the screen's height is given.
    void Start(uint32_t screen, uint32_t frame, uint8_t scaling, bool window = true, uint32_t screenHeight = 0) {
        StandinTest::SetUp();
        started_ = true;
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        config_.screenWidth = config_.screenHeight = screen;
        if (screenHeight) config_.screenHeight = screenHeight;
        config_.windowWidth = config_.windowHeight = frame;
        config_.screenDepth = 16;
        config_.penScaling = scaling;
        KezGlobalsInit(&config_, nullptr);
        ASSERT_EQ(KEZ_CALL(HALDisplayInitialize), 0);
        PrvPALInitialize();
        if (!window) return;
        ASSERT_EQ(PALGTKInit(), 0u);
        gdk_threads_enter();
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        area_ = gtk_drawing_area_new();
        gtk_widget_set_size_request(area_, static_cast<gint>(frame), static_cast<gint>(frame));
        gtk_widget_set_double_buffered(area_, FALSE);  // as kez-host: the painter alone draws
        gtk_container_add(GTK_CONTAINER(window_), area_);
        g_signal_connect(area_, "expose-event", G_CALLBACK(+[](GtkWidget*, GdkEventExpose* e, gpointer) -> gboolean {
                             PrvHALDisplayOnExposeEvent(static_cast<int16_t>(e->area.x), static_cast<int16_t>(e->area.y),
                                                        static_cast<int16_t>(e->area.x + e->area.width),
                                                        static_cast<int16_t>(e->area.y + e->area.height));
                             return TRUE;
                         }), nullptr);
        gtk_window_move(GTK_WINDOW(window_), 900, 600);  // away from other tests' windows
        gtk_widget_show_all(window_);
        while (!gdk_window_is_viewable(area_->window)) gtk_main_iteration();
        void* record[14] = {};
        record[0] = window_;
        record[1] = area_;
        record[13] = gdk_gc_new(area_->window);
        gdk_threads_leave();
        ASSERT_EQ(KEZ_CALL(HALDisplayPainterStart, record), 0);
        g_object_unref(record[13]);
        ASSERT_TRUE(Eventually([] { return HALDisplayPainterRunning(); }));
    }
    void TearDown() override {
        if (!started_) return;
        PrvHALPowerSetSleeping(false);
        PrvHALTesterSetDisplayOff(false);
        KEZ_CALL(HALDisplayDispose);
        if (window_) {
            gdk_threads_enter();
            gtk_widget_destroy(window_);
            while (gtk_events_pending()) gtk_main_iteration();
            gdk_threads_leave();
        }
        StandinTest::TearDown();
    }
    bool SkipWithoutDisplay() { return !std::getenv("DISPLAY"); }

    static uint32_t Attribute(uint16_t attribute) {
        uint32_t value = 0;
        EXPECT_EQ(KEZ_CALL(HALDisplayGetAttributes, attribute, &value), 0) << attribute;
        return value;
    }
    static uint8_t* Frame() { return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(Attribute(14))); }

    // A palette whose colours differ from each other and from the overlays' grey and white.
    static void SetPalette() {
        uint8_t entries[256 * 4];
        for (int i = 0; i < 256; ++i) {
            entries[i * 4 + 1] = static_cast<uint8_t>(i);
            entries[i * 4 + 2] = static_cast<uint8_t>(255 - i);
            entries[i * 4 + 3] = static_cast<uint8_t>((i * 37) & 0xFF);
        }
        ASSERT_EQ(KEZ_CALL(HALDisplaySetPalette, 0, 256, entries), 0);
    }
    static uint32_t PaletteColour(uint32_t i) {
        return (i << 16) | ((255 - i) << 8) | ((i * 37) & 0xFF);
    }

    // The test picture: a value per pixel, written in the frame's layout for the depth.
    static uint32_t Value(uint32_t x, uint32_t y, uint32_t depth, uint32_t shift = 0) {
        x += shift;
        y += 2 * shift;
        if (depth == 16) return (((x * 3) & 31) << 11) | (((y * 5) & 63) << 5) | ((x + y) & 31);
        return (x + 3 * y) & ((1u << depth) - 1);
    }
    static void WritePicture(uint32_t depth, uint32_t shift = 0) {
        uint8_t* frame = Frame();
        uint32_t width = Attribute(4), height = Attribute(5), rowBytes = Attribute(6);
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = frame + y * rowBytes;
            for (uint32_t x = 0; x < width; ++x) {
                PixelPut(row, x, depth, kPixelFormatReversed, Value(x, y, depth, shift));
            }
        }
    }
    static uint32_t Expected(uint32_t x, uint32_t y, uint32_t depth, uint32_t shift = 0) {
        uint32_t v = Value(x, y, depth, shift);
        if (depth != 16) return PaletteColour(v);
        uint32_t r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
        return (((r5 << 3) | (r5 >> 2)) << 16) | (((g6 << 2) | (g6 >> 4)) << 8) | ((b5 << 3) | (b5 >> 2));
    }

    // The window's pixels as 0xRRGGBB.
    struct Shot {
        GdkImage* image;
        uint32_t At(int x, int y) const {
            uint32_t pixel = gdk_image_get_pixel(image, x, y);
            GdkVisual* v = image->visual;
            auto channel = [&](uint32_t mask, int shift, int precision) {
                uint32_t c = (pixel & mask) >> shift;
                return precision >= 8 ? c >> (precision - 8) : c << (8 - precision);
            };
            return (channel(v->red_mask, v->red_shift, v->red_prec) << 16) |
                   (channel(v->green_mask, v->green_shift, v->green_prec) << 8) |
                   channel(v->blue_mask, v->blue_shift, v->blue_prec);
        }
    };
    Shot Screenshot() {
        gdk_threads_enter();
        GdkImage* image = gdk_drawable_get_image(area_->window, 0, 0, static_cast<gint>(config_.windowWidth),
                                                 static_cast<gint>(config_.windowHeight));
        gdk_threads_leave();
        return {image};
    }
    static void Release(Shot& shot) {
        gdk_threads_enter();
        g_object_unref(shot.image);
        gdk_threads_leave();
    }
    static void Flush() { ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, nullptr, 1), 0); }

    // The screen pixel that window pixel v shows.
    uint32_t Source(uint32_t v) const {
        if (!config_.penScaling) return v;
        return config_.screenWidth <= config_.windowWidth ? v * 2 / 3 : v * 4 / 3;
    }

    // Lets the window's events through and polls it until every pixel of its top-left
    // width x height is what `want` says (0xFFFFFFFF: either), or reports the first difference.
    ::testing::AssertionResult WindowShows(const std::function<uint32_t(uint32_t, uint32_t)>& want,
                                           uint32_t width, uint32_t height) {
        std::string problem;
        bool shown = Eventually([&] {
            gdk_threads_enter();
            while (gtk_events_pending()) gtk_main_iteration();
            gdk_threads_leave();
            Shot shot = Screenshot();
            problem.clear();
            for (uint32_t y = 0; y < height && problem.empty(); ++y)
                for (uint32_t x = 0; x < width; ++x) {
                    uint32_t expected = want(x, y), got = shot.At(static_cast<int>(x), static_cast<int>(y));
                    if (expected != 0xFFFFFFFF && got != expected) {
                        std::ostringstream out;
                        out << "window pixel (" << x << ", " << y << ") is " << std::hex << got << ", not "
                            << expected;
                        problem = out.str();
                        break;
                    }
                }
            Release(shot);
            return problem.empty();
        });
        return shown ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << problem;
    }
    // Lets pending window events reach the painter and the painter paint them.
    void Settle() {
        for (int i = 0; i < 10; ++i) {
            gdk_threads_enter();
            while (gtk_events_pending()) gtk_main_iteration();
            gdk_threads_leave();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(Eventually([] {
            int16_t dirty[4];
            HALDisplayDirtyRect(dirty);
            return dirty[2] < dirty[0] || dirty[3] < dirty[1];
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    // The window shows the test picture of `depth` (and `shift`).
    ::testing::AssertionResult WindowShowsPicture(uint32_t depth, uint32_t shift = 0) {
        return WindowShows([&](uint32_t x, uint32_t y) { return Expected(Source(x), Source(y), depth, shift); },
                           config_.penScaling ? config_.windowWidth : std::min(config_.screenWidth, config_.windowWidth),
                           config_.penScaling ? config_.windowHeight : std::min(config_.screenHeight, config_.windowHeight));
    }

    KezBootConfig config_{};
    GtkWidget* window_ = nullptr;
    GtkWidget* area_ = nullptr;
    bool started_ = false;
};

struct PictureCase {
    uint32_t screen, frame;
    uint8_t scaling;
    uint32_t depth;
};

class DisplayPicture : public Display, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(DisplayPicture, TheWindowShowsTheFrameBuffer) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const PictureCase c = GetParam();
    Start(c.screen, c.frame, c.scaling);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, c.depth), 0);
    if (c.depth <= 8) SetPalette();
    WritePicture(c.depth);
    Flush();
    EXPECT_TRUE(WindowShowsPicture(c.depth));
}

INSTANTIATE_TEST_SUITE_P(Depths, DisplayPicture,
                         ::testing::Values(PictureCase{160, 160, 0, 1}, PictureCase{160, 160, 0, 2},
                                           PictureCase{160, 160, 0, 4}, PictureCase{160, 160, 0, 8},
                                           PictureCase{160, 160, 0, 16}, PictureCase{160, 240, 1, 8},
                                           PictureCase{160, 240, 1, 16}, PictureCase{320, 240, 1, 4},
                                           PictureCase{320, 240, 1, 16},
                                           // An odd width (rows padded past the screen) in a
                                           // larger window.
                                           PictureCase{100, 120, 0, 1}, PictureCase{100, 120, 0, 8}),
                         [](const ::testing::TestParamInfo<PictureCase>& info) {
                             const PictureCase& c = info.param;
                             return "Screen" + std::to_string(c.screen) + "Frame" + std::to_string(c.frame) +
                                    "Depth" + std::to_string(c.depth);
                         });

TEST_F(Display, OverlaysComeAndGoAndFlushesNeverWaitForThem) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(160, 160, 0);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 16), 0);
    WritePicture(16);
    Flush();
    const uint32_t kGrey = 0x7F7F7F;

    // The device sleeps: "Doze Mode" on a grey box from y = 50.
    PrvHALPowerSetSleeping(true);
    Flush();
    ASSERT_TRUE(Eventually([] { return HALDisplayOverlayShown(); }));
    Shot doze = Screenshot();
    int grey = 0;
    for (int x = 0; x < 160; ++x) grey += doze.At(x, 52) == kGrey;
    EXPECT_GT(grey, 10);
    EXPECT_EQ(doze.At(3, 10), Expected(3, 10, 16));  // above the box: the picture
    Release(doze);

    // A task's flush returns at once while the overlay is up, keeping its area.
    auto start = std::chrono::steady_clock::now();
    int16_t rect[4] = {1, 2, 3, 4};
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, rect, 1), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    int16_t dirty[4];
    HALDisplayDirtyRect(dirty);
    EXPECT_LE(dirty[0], 1);
    EXPECT_GE(dirty[2], 4);

    // Awake again: the next expose repaints and the overlay goes.
    PrvHALPowerSetSleeping(false);
    PrvHALDisplayOnExposeEvent(0, 0, 160, 160);
    ASSERT_TRUE(Eventually([] { return !HALDisplayOverlayShown(); }));
    Flush();
    Shot awake = Screenshot();
    EXPECT_EQ(awake.At(80, 52), Expected(80, 52, 16));
    Release(awake);

    // The tester switches the display off: the whole frame grey with its message.
    PrvHALTesterSetDisplayOff(true);
    ASSERT_TRUE(Eventually([] { return HALDisplayOverlayShown(); }));
    start = std::chrono::steady_clock::now();
    Flush();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    Shot off = Screenshot();
    EXPECT_EQ(off.At(2, 2), kGrey);
    EXPECT_EQ(off.At(150, 150), kGrey);
    Release(off);
    PrvHALTesterSetDisplayOff(false);
    PrvHALDisplayOnExposeEvent(0, 0, 160, 160);
    ASSERT_TRUE(Eventually([] { return !HALDisplayOverlayShown(); }));
}

TEST_F(Display, AttributesDepthsAndDensities) {
    Start(320, 320, 0, false);
    struct Case {
        uint16_t attribute;
        uint32_t value;
    };
    const Case cases[] = {{4, 320},     {5, 320},  {6, 40},  {9, 16},     {10, 1},      {11, 16}, {12, 0x808B},
                          {13, 1},      {15, 614400}, {17, 0}, {18, 0},   {19, 255},    {25, 0x808B}, {28, 3},
                          {29, 144},    {30, 0x10000}, {31, 32768}, {37, 0x20000}};
    for (const Case& c : cases) EXPECT_EQ(Attribute(c.attribute), c.value) << c.attribute;
    EXPECT_EQ(Attribute(14), Attribute(16));
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(Attribute(3))), "Linux Software Display");
    uint32_t value;
    EXPECT_EQ(KEZ_CALL(HALDisplayGetAttributes, 32, &value), 0xFFFF);  // square
    EXPECT_EQ(KEZ_CALL(HALDisplayGetAttributes, 2, &value), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(HALDisplayGetAttributes, 38, &value), 0xFFFF);

    // Depths: only supported ones, and the shift never sees 0 or a huge value.
    for (uint32_t bad : {0u, 3u, 5u, 17u, 33u, 0xFFFFFFFFu})
        EXPECT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, bad), 0xFFFF) << bad;
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 16), 0);
    EXPECT_EQ(HALDisplayHostDepth(), 24u);
    EXPECT_EQ(Attribute(6), 640u);
    EXPECT_EQ(Attribute(28), 2u);
    EXPECT_EQ(KEZ_CALL(HALDisplaySetAttributes, 27, 0x1234), 0);
    EXPECT_EQ(Attribute(27), 0x34u);
    EXPECT_EQ(KEZ_CALL(HALDisplaySetAttributes, 11, 1), 0xFFFF);
    EXPECT_EQ(PrvHALDisplayResIDForDensity(1000), 12000);
    EXPECT_EQ(PrvHALDisplayResIDForDensity(0xFFFF), 0xFFFF);
    EXPECT_EQ(PrvHALDisplayResIDForDensity(0), 0);
}

TEST_F(Display, PaletteIsClampedAndOnlyAtIndexedDepths) {
    Start(160, 160, 0, false);
    uint8_t entries[4 * 4] = {0, 10, 20, 30, 0, 40, 50, 60, 7, 1, 2, 3, 0, 0, 0, 0};
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 8), 0);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetPalette, 254, 4, entries), 0);  // entries past 255 are left out
    EXPECT_EQ(HALDisplayColourMap()[254], 0x0A141Eu);
    EXPECT_EQ(HALDisplayColourMap()[255], 0x28323Cu);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetPalette, 0xFFFF, 1, entries + 8), 0);  // names its own index 7
    EXPECT_EQ(HALDisplayColourMap()[7], 0x010203u);
    uint8_t read[3 * 4] = {};
    ASSERT_EQ(KEZ_CALL(HALDisplayGetPalette, 254, 3, read), 0);
    EXPECT_EQ(read[0], 254);
    EXPECT_EQ(read[2], 20);
    EXPECT_EQ(read[4], 255);
    EXPECT_EQ(read[8], 0);  // nothing written for a colour past 255
    // A depth change clears the colour map; above depth 8 the calls do nothing.
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 4), 0);
    EXPECT_EQ(HALDisplayColourMap()[7], 0u);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 16), 0);
    EXPECT_EQ(KEZ_CALL(HALDisplayGetPalette, 0, 1, read), 1);
    EXPECT_EQ(KEZ_CALL(HALDisplaySetPalette, 0, 1, entries), 0);
}

TEST_F(Display, LocksShowTheBackFrameUntilTheLastUnlockAndDirtyAreasStayOnScreen) {
    Start(160, 160, 0, false);
    ScreenManager manager;
    uint8_t* visible = Frame();
    uint8_t wasLocked = 9;
    EXPECT_EQ(KEZ_CALL(HALDisplayLock, manager.bytes, &wasLocked), visible);
    EXPECT_EQ(wasLocked, 0);
    EXPECT_EQ(Attribute(16), Attribute(14) + 307200);
    EXPECT_EQ(KEZ_CALL(HALDisplayLock, manager.bytes, &wasLocked), visible);
    EXPECT_EQ(wasLocked, 1);
    EXPECT_EQ(manager.LockCount(), 2);
    // The lock count stays in place when a depth change alters the colour-table entry count at 24.
    const uint16_t entries = 16;
    memcpy(manager.bytes + 24, &entries, 2);
    EXPECT_EQ(manager.bytes[1096], 2);
    KEZ_CALL(HALDisplayUnlock, manager.bytes);
    EXPECT_NE(Attribute(16), Attribute(14));
    KEZ_CALL(HALDisplayUnlock, manager.bytes);
    EXPECT_EQ(Attribute(16), Attribute(14));
    KEZ_CALL(HALDisplayUnlock, manager.bytes);
    EXPECT_EQ(manager.LockCount(), 0);

    // Before the painter runs a forced flush merges and returns; a zero-width edge still counts.
    int16_t outside[4] = {-5, -7, 400, 400};
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, outside, 1), 0);
    int16_t dirty[4];
    HALDisplayDirtyRect(dirty);
    EXPECT_EQ(dirty[0], 0);
    EXPECT_EQ(dirty[1], 0);
    EXPECT_EQ(dirty[2], 160);
    EXPECT_EQ(dirty[3], 160);
}

TEST_F(Display, ExposesOfAScaledWindowRepaintWhatTheyUncover) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(320, 240, 1);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 4), 0);
    SetPalette();
    WritePicture(4);
    Flush();
    ASSERT_TRUE(WindowShowsPicture(4));
    // Spoil the right-hand strip of the window, then let the X server expose it: the strip shows
    // screen columns 266 to 319.
    gdk_threads_enter();
    GdkGC* gc = gdk_gc_new(area_->window);
    gdk_draw_rectangle(area_->window, gc, TRUE, 200, 0, 40, 240);
    g_object_unref(gc);
    GdkRectangle strip{200, 0, 40, 240};
    gdk_window_invalidate_rect(area_->window, &strip, FALSE);
    gdk_threads_leave();
    EXPECT_TRUE(WindowShowsPicture(4));
}

struct PartCase {
    uint32_t screen, frame, depth;
};

class DisplayPart : public Display, public ::testing::WithParamInterface<PartCase> {};

// Only a rectangle of a second picture is flushed: the window shows the second picture wherever
// it shows a pixel of the rectangle, and the first far from it (near its edges either will do).
TEST_P(DisplayPart, ARectangleFlushedAloneIsRepaintedWhole) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const PartCase c = GetParam();
    Start(c.screen, c.frame, c.screen != c.frame);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, c.depth), 0);
    if (c.depth <= 8) SetPalette();
    WritePicture(c.depth);
    Flush();
    ASSERT_TRUE(WindowShowsPicture(c.depth));
    Settle();
    WritePicture(c.depth, 5);
    const int16_t rect[4] = {13, 7, 21, 9};
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, rect, 1), 0);
    double k = static_cast<double>(c.frame) / c.screen;
    EXPECT_TRUE(WindowShows(
        [&](uint32_t x, uint32_t y) {
            uint32_t sx = Source(x), sy = Source(y);
            bool inside = sx >= 13 && sx < 34 && sy >= 7 && sy < 16;
            bool near = x + 2 >= 13 * k && x < 34 * k + 2 && y + 2 >= 7 * k && y < 16 * k + 2;
            if (inside) return Expected(sx, sy, c.depth, 5);
            return near ? 0xFFFFFFFF : Expected(sx, sy, c.depth);
        },
        c.frame, c.frame));
}

INSTANTIATE_TEST_SUITE_P(Layouts, DisplayPart,
                         ::testing::Values(PartCase{160, 160, 1}, PartCase{160, 240, 16}, PartCase{320, 240, 16},
                                           PartCase{320, 240, 2}),
                         [](const ::testing::TestParamInfo<PartCase>& info) {
                             const PartCase& c = info.param;
                             return "Screen" + std::to_string(c.screen) + "Frame" + std::to_string(c.frame) +
                                    "Depth" + std::to_string(c.depth);
                         });

TEST_F(Display, AWindowSmallerThanTheUnscaledScreenShowsItsTopLeft) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(240, 160, 0);
    for (uint32_t depth : {4u, 16u}) {
        ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, depth), 0);
        if (depth <= 8) SetPalette();
        WritePicture(depth);
        Flush();
        EXPECT_TRUE(WindowShowsPicture(depth)) << "depth " << depth;
    }
}

TEST_F(Display, AreasFlushedWithin40MillisecondsStillReachTheWindow) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(160, 160, 0);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 10, 16), 0);
    WritePicture(16);
    Flush();
    ASSERT_TRUE(WindowShowsPicture(16));
    // A forced flush of one pixel, then the whole screen gathered only, with no flush after it:
    // the painter takes the area over.
    WritePicture(16, 5);
    const int16_t pixel[4] = {0, 0, 1, 1};
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, pixel, 1), 0);
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, nullptr, 0), 0);
    EXPECT_TRUE(WindowShowsPicture(16, 5));
}

// Flushes come from OS tasks and window events come from the toolkit's thread, which holds the
// GDK lock: neither waits for the painter, which needs that lock to draw.
TEST_F(Display, FlushesAndWindowEventsNeverWaitForThePainter) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(160, 160, 0);
    gKez.config.inputAreaFlag = 1;  // the painter resizes the window when the extent changes
    auto returns = [](std::function<void()> call) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread caller([call, done] {
            call();
            *done = true;
        });
        bool returned = Eventually([&] { return done->load(); }, 30);
        if (returned) caller.join();
        else caller.detach();  // stuck: the test has failed
        return returned;
    };
    // An area that lies off the screen is never painted.
    EXPECT_TRUE(returns([] {
        const int16_t offScreen[4] = {200, 0, 10, 10};
        KEZ_CALL(HALDisplayAddDirtyRect, offScreen, 1);
    }));
    // A flush while the toolkit's thread holds the GDK lock.
    EXPECT_TRUE(returns([] {
        gdk_threads_enter();
        std::thread task([] { KEZ_CALL(HALDisplayAddDirtyRect, nullptr, 1); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        task.join();
        gdk_threads_leave();
    }));
    // An expose while the painter resizes the window.
    EXPECT_TRUE(returns([] {
        gdk_threads_enter();
        KEZ_CALL(HALDisplaySetExtentState, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PrvHALDisplayOnExposeEvent(0, 0, 160, 160);
        gdk_threads_leave();
    }));
}

TEST_F(Display, ScreensThatDoNotFitTheFrameBufferAreRefused) {
    StandinTest::SetUp();
    started_ = true;
    PrvPatchSystemDispatchTable(os::SystemTable());
    __SetMyDispatchTable();
    struct Case {
        uint32_t width, height;
    };
    for (const Case& c : {Case{0, 160}, Case{160, 0}, Case{320, 481}, Case{640, 480}, Case{40000, 2}}) {
        config_.screenWidth = c.width;
        config_.screenHeight = c.height;
        config_.windowWidth = config_.windowHeight = 160;
        KezGlobalsInit(&config_, nullptr);
        EXPECT_EQ(KEZ_CALL(HALDisplayInitialize), 0xFFFF) << c.width << " x " << c.height;
        uint32_t frame = 1;
        KEZ_CALL(HALDisplayGetAttributes, 14, &frame);
        EXPECT_EQ(frame, 0u);
    }
}

TEST_F(Display, DensitiesFollowTheScreenWidth) {
    struct Case {
        uint32_t width, density, ratioTo72, ratioFrom72;
        uint16_t resourceId5;
    };
    for (const Case& c : {Case{160, 72, 0x10000, 0x10000, 5}, Case{240, 108, 0xAAAB, 0x18000, 1005},
                          Case{320, 144, 0x8000, 0x20000, 11005}, Case{200, 72, 0x10000, 0x10000, 5}}) {
        Start(c.width, c.width, 0, false);
        EXPECT_EQ(Attribute(29), c.density) << c.width;
        EXPECT_EQ(Attribute(31), c.ratioTo72) << c.width;
        EXPECT_EQ(Attribute(37), c.ratioFrom72) << c.width;
        EXPECT_EQ(PrvHALDisplayResIDForDensity(5), c.resourceId5) << c.width;
        KEZ_CALL(HALDisplayDispose);
    }
}

TEST_F(Display, TheInputAreaAttributesBelongToScreensTallerThanWide) {
    Start(320, 320, 0, false, 480);
    int16_t area[4] = {};
    ASSERT_EQ(KEZ_CALL(HALDisplayGetAttributes, 32, area), 0);
    EXPECT_EQ(area[0], 0);
    EXPECT_EQ(area[1], 320);
    EXPECT_EQ(area[2], 320);
    EXPECT_EQ(area[3], 160);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 33, 0x1234), 0);
    ASSERT_EQ(KEZ_CALL(HALDisplaySetAttributes, 34, 0x5678), 0);
    EXPECT_EQ(Attribute(33), 0x1234u);
    EXPECT_EQ(Attribute(34), 0x5678u);
    // With the input-area flag set, attributes 33 and 34 are not the display's.
    gKez.config.inputAreaFlag = 1;
    uint32_t value = 0xABCD;
    EXPECT_EQ(KEZ_CALL(HALDisplayGetAttributes, 33, &value), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(HALDisplaySetAttributes, 34, 1), 0xFFFF);
    EXPECT_EQ(value, 0xABCDu);
    for (uint16_t readOnly : {4, 6, 12, 16, 29}) EXPECT_EQ(KEZ_CALL(HALDisplaySetAttributes, readOnly, 1), 0xFFFF);
}

TEST_F(Display, FlushesWithin40MillisecondsOnlyGatherUnlessForced) {
    Start(160, 160, 0, false);
    const int16_t first[4] = {10, 20, 5, 5}, second[4] = {30, 2, 100, 200}, third[4] = {12, 22, 1, 1};
    int16_t dirty[4];
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, first, 1), 0);
    HALDisplayDirtyRect(dirty);
    EXPECT_EQ(dirty[0], 10);
    EXPECT_EQ(dirty[3], 25);
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, second, 0), 0);  // gathered only
    HALDisplayDirtyRect(dirty);
    EXPECT_EQ(dirty[2], 15);
    ASSERT_EQ(KEZ_CALL(HALDisplayAddDirtyRect, third, 1), 0);  // forced: with what was gathered
    HALDisplayDirtyRect(dirty);
    EXPECT_EQ(dirty[0], 10);
    EXPECT_EQ(dirty[1], 2);
    EXPECT_EQ(dirty[2], 130);
    EXPECT_EQ(dirty[3], 160);  // kept on the screen
}

int gStartGUICalls;

TEST_F(Display, WithoutAWindowShowingAsksTheHostForIt) {
    Start(160, 160, 0, false);
    gStartGUICalls = 0;
    EXPECT_EQ(KEZ_CALL(HALDisplayShowWindow), 0);  // no callback yet
    KEZ_CALL(HALDisplaySetStartGUICallback, [] { ++gStartGUICalls; });
    EXPECT_EQ(KEZ_CALL(HALDisplayHideWindow), 0);
    EXPECT_EQ(gStartGUICalls, 0);
    EXPECT_EQ(KEZ_CALL(HALDisplayShowWindow), 0);
    EXPECT_EQ(gStartGUICalls, 1);
    KEZ_CALL(HALDisplaySetStartGUICallback, nullptr);
}

TEST_F(Display, HidingAndShowingTheWindow) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(160, 160, 0);
    ASSERT_EQ(KEZ_CALL(HALDisplayHideWindow), 0);
    EXPECT_FALSE(gtk_widget_get_visible(window_));
    ASSERT_EQ(KEZ_CALL(HALDisplayShowWindow), 0);
    EXPECT_TRUE(gtk_widget_get_visible(window_));
}

// Draw-slot recorders for the start-up bitmap.
struct DrawCalls {
    std::vector<HALRect> erased, targets;
    std::vector<HALBitmap> sources, destinations;
    std::vector<std::pair<int16_t, int16_t>> origins;
} gDrawCalls;

uint16_t RecordRectangle(HALDrawState*, const HALRect* rect, uint16_t, uint16_t) {
    gDrawCalls.erased.push_back(*rect);
    return 0;
}

uint16_t RecordBitmap(HALDrawState* state, HALBitmap* source, const HALRect* target, int16_t x, int16_t y) {
    gDrawCalls.sources.push_back(*source);
    gDrawCalls.destinations.push_back(*state->destination);
    gDrawCalls.targets.push_back(*target);
    gDrawCalls.origins.emplace_back(x, y);
    HALDrawAttributes zero{};
    EXPECT_EQ(std::memcmp(state->attributes, &zero, sizeof zero), 0);
    return 0;
}

TEST_F(Display, ScreenInitSetsTheDepthAndPaletteAndDrawsTheStartUpBitmap) {
    Start(160, 160, 0, false);
    gKez.config.screenDepth = 8;
    ASSERT_EQ(KEZ_CALL(HALScreenInit, 0, 0, nullptr), 0);
    EXPECT_EQ(Attribute(10), 8u);
    // The default palette: the standard colours in RGB565, widened by repeating their low bits.
    struct Colour {
        uint8_t index;
        uint32_t rgb;
    };
    for (const Colour& c : {Colour{0, 0xFFFFFF}, Colour{1, 0xFFCFFF}, Colour{18, 0xC9FFFF}, Colour{107, 0x00009B},
                            Colour{215, 0x121012}, Colour{225, 0xC0C0C0}, Colour{229, 0x008080}, Colour{255, 0}})
        EXPECT_EQ(HALDisplayColourMap()[c.index], c.rgb) << int(c.index);

    ModuleProc* table = ExportTable();
    ModuleProc rectangle = table[kezslot::HALDrawRectangle], bitmap = table[kezslot::HALDrawBitmap];
    table[kezslot::HALDrawRectangle] = reinterpret_cast<ModuleProc>(&RecordRectangle);
    table[kezslot::HALDrawBitmap] = reinterpret_cast<ModuleProc>(&RecordBitmap);

    // Version 3, its colour table after a 24-byte header, then the bits.
    alignas(4) uint8_t v3[24 + 4 + 8 + 16] = {};
    auto* header = reinterpret_cast<HALBitmap*>(v3);
    header->width = 100;
    header->height = 30;
    header->rowBytes = 100;
    header->flags = kBitmapHasColorTable;
    header->pixelSize = 8;
    header->version = 3;
    header->headerSize = 24;
    const uint16_t two = 2;
    std::memcpy(v3 + 24, &two, 2);
    // Version 2, compressed (a u16 size), with a transparent value and without a colour table.
    alignas(4) uint8_t v2[16 + 8 + 2 + 8] = {};
    header = reinterpret_cast<HALBitmap*>(v2);
    header->width = 160;
    header->height = 5;
    header->rowBytes = 160;
    header->flags = kBitmapCompressed | kBitmapHasTransparency;
    header->pixelSize = 8;
    header->version = 2;
    v2[13] = 1;
    const uint16_t size = 7;
    std::memcpy(v2 + 24, &size, 2);

    gDrawCalls = {};
    ASSERT_EQ(KEZ_CALL(HALScreenInit, 0, 0, v3), 0);  // 100 wide is 45 dpi, not the screen's 72: not drawn
    EXPECT_TRUE(gDrawCalls.sources.empty());
    reinterpret_cast<HALBitmap*>(v3)->width = 160;
    ASSERT_EQ(KEZ_CALL(HALScreenInit, 0, 20, v3), 0);
    ASSERT_EQ(KEZ_CALL(HALScreenInit, 4, 150, v2), 0);
    table[kezslot::HALDrawRectangle] = rectangle;
    table[kezslot::HALDrawBitmap] = bitmap;

    ASSERT_EQ(gDrawCalls.sources.size(), 2u);
    EXPECT_TRUE(gDrawCalls.erased.empty());  // 160 wide is not narrower than the screen is tall
    const HALBitmap& first = gDrawCalls.sources[0];
    EXPECT_EQ(static_cast<void*>(first.colorTable), v3 + 24);
    EXPECT_EQ(first.bits, v3 + 24 + 12);
    EXPECT_EQ(first.headerSize, 36);
    EXPECT_EQ(first.density, 72);
    EXPECT_EQ(gDrawCalls.targets[0].y, 20);
    EXPECT_EQ(gDrawCalls.targets[0].height, 30);
    const HALBitmap& second = gDrawCalls.sources[1];
    EXPECT_EQ(second.colorTable, nullptr);
    EXPECT_EQ(second.bits, v2 + 16 + 8 + 2);
    EXPECT_EQ(second.compressedSize, 7u);
    EXPECT_EQ(second.compressionType, 1);
    EXPECT_EQ(second.headerSize, 38);
    EXPECT_EQ(gDrawCalls.targets[1].width, 156);  // clipped to the screen
    EXPECT_EQ(gDrawCalls.targets[1].height, 5);
    EXPECT_EQ(gDrawCalls.origins[1], (std::pair<int16_t, int16_t>{4, 150}));
    const HALBitmap& screen = gDrawCalls.destinations[1];
    EXPECT_EQ(screen.bits, reinterpret_cast<void*>(static_cast<uintptr_t>(Attribute(16))));
    EXPECT_EQ(screen.version, 0x83);
    EXPECT_EQ(screen.flags, kBitmapIsScreen | kBitmapIndirect);
    EXPECT_EQ(screen.pixelSize, 8);
    EXPECT_EQ(screen.rowBytes, 160);
    int16_t dirty[4];
    HALDisplayDirtyRect(dirty);
    EXPECT_EQ(dirty[2], 160);
    EXPECT_EQ(dirty[3], 5);
}

// What a shell command writes on its standard output.
std::string Output(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// A window's pixels as 0xRRGGBB, read with xwd (ZPixmap, 32 bits a pixel); empty on failure.
std::vector<uint32_t> ReadWindowWithXwd(const std::string& id, uint32_t* width, uint32_t* height) {
    std::vector<uint32_t> pixels;
    std::string dump = Output("xwd -silent -id " + id + " 2>/dev/null");
    auto bytes = reinterpret_cast<const uint8_t*>(dump.data());
    auto word = [&](size_t at) {
        return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    };
    if (dump.size() < 100) return pixels;
    uint32_t headerSize = word(0), format = word(8), byteOrder = word(28), bitsPerPixel = word(44);
    uint32_t bytesPerLine = word(48), colours = word(76);
    *width = word(16);
    *height = word(20);
    size_t start = size_t{headerSize} + size_t{colours} * 12;
    if (format != 2 || bitsPerPixel != 32 || dump.size() < start + size_t{bytesPerLine} * *height) return pixels;
    for (uint32_t y = 0; y < *height; ++y)
        for (uint32_t x = 0; x < *width; ++x) {
            const uint8_t* p = bytes + start + y * bytesPerLine + x * 4;
            uint32_t v = byteOrder == 0 ? uint32_t{p[0]} | p[1] << 8 | p[2] << 16 : uint32_t{p[3]} | p[2] << 8 | p[1] << 16;
            pixels.push_back(v & 0xFFFFFF);
        }
    return pixels;
}

// A picture drawn through the drawing slots onto the screen bitmap reaches the window through
// the screen manager's reports: a filled rectangle, lines, a copied bitmap and a line of text.
TEST_F(Display, APictureDrawnThroughTheDrawingSlotsAppearsInTheWindow) {
    if (SkipWithoutDisplay()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    Start(160, 160, 0);
    gKez.config.screenDepth = 16;
    ASSERT_EQ(KEZ_CALL(HALScreenInit, 0, 0, nullptr), 0);
    void* record = nullptr;
    ASSERT_EQ(KEZ_CALL(HALScreenMgrInitialize, &record, nullptr), 0);
    HALBitmap screen{};
    screen.width = screen.height = 160;
    screen.rowBytes = static_cast<uint16_t>(Attribute(6));
    screen.flags = kBitmapIsScreen;
    screen.pixelSize = 16;
    screen.pixelFormat = 2;
    screen.density = 72;
    screen.bits = reinterpret_cast<void*>(static_cast<uintptr_t>(Attribute(16)));
    HALDrawAttributes a{};
    HALDrawState state{{0, 0, 160, 160}, &a, &screen};
    auto colour = [&](uint8_t r, uint8_t g, uint8_t b) { a.foreColor = {0, r, g, b}; };
    colour(255, 255, 255);
    HALRect all{0, 0, 160, 160};
    KEZ_CALL(HALDrawRectangle, &state, &all, 0, 0);
    colour(0, 0, 255);
    HALRect panel{10, 10, 60, 40};
    KEZ_CALL(HALDrawRectangle, &state, &panel, 0, 0);
    colour(255, 0, 0);
    KEZ_CALL(HALDrawLine, &state, 0, 100, 159, 100, 2);
    KEZ_CALL(HALDrawLine, &state, 100, 0, 150, 60, 1);
    // A 1-bit bitmap: black where its bits are set, green elsewhere.
    static uint8_t bits[8 * 2];
    for (int y = 0; y < 8; ++y) bits[y * 2] = 0xF0;
    HALBitmap bitmap{};
    bitmap.width = bitmap.height = 8;
    bitmap.rowBytes = 2;
    bitmap.pixelSize = 1;
    bitmap.density = 72;
    bitmap.bits = bits;
    a.foreColor = {0, 0, 0, 0};
    a.backColor = {0, 0, 255, 0};
    HALRect where{20, 120, 8, 8};
    KEZ_CALL(HALDrawBitmap, &state, &bitmap, &where, 20, 120);
    // One glyph, a 4 x 5 block, drawn twice in yellow on blue.
    struct Font {
        vantor::HALFont header;
        uint8_t image[5 * 2];
        uint16_t locations[3];
    } font{};
    font.header.firstChar = 'X';
    font.header.lastChar = 'X';
    font.header.rectHeight = 5;
    font.header.rowWords = 1;
    for (int y = 0; y < 5; ++y) font.image[y * 2] = 0xF0;
    font.locations[1] = 5;
    font.locations[2] = 6;
    a.textColor = {0, 255, 255, 0};
    a.backColor = {0, 0, 0, 255};
    const uint8_t text[] = {'X', 'X'};
    KEZ_CALL(HALDrawChars, &state, 80, 130, text, 2, &font, nullptr, nullptr);

    auto rgb = [](uint32_t v) {
        uint32_t r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
        return (((r5 << 3) | (r5 >> 2)) << 16) | (((g6 << 2) | (g6 >> 4)) << 8) | ((b5 << 3) | (b5 >> 2));
    };
    struct Spot {
        uint32_t x, y, want;
    };
    for (Spot s : {Spot{5, 5, 0xFFFFFF}, Spot{30, 30, 0x0000FF}, Spot{50, 100, 0xFF0000}, Spot{50, 101, 0xFF0000},
                   Spot{50, 102, 0xFFFFFF}, Spot{100, 0, 0xFF0000}, Spot{21, 121, 0x000000}, Spot{25, 121, 0x00FF00},
                   Spot{81, 131, 0xFFFF00}, Spot{84, 131, 0x0000FF}, Spot{86, 131, 0xFFFF00}})
        EXPECT_EQ(rgb(KEZ_CALL(HALDrawGetPixel, &screen, static_cast<uint16_t>(s.x), static_cast<uint16_t>(s.y), 0)),
                  s.want)
            << s.x << "," << s.y;
    const uint8_t* frame = static_cast<const uint8_t*>(screen.bits);
    EXPECT_TRUE(WindowShows([&](uint32_t x, uint32_t y) { return rgb(PixelGet(frame + y * screen.rowBytes, x, 16, 2)); },
                            160, 160));
}

TEST(KezHostWindow, KezHostOpensTheDeviceWindow) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    std::string dir = "/tmp/kez-host-window-" + std::to_string(getpid());
    std::string rom = dir + ".rom", storage = dir + ".img";
    std::string host = std::string(VANTOR_BIN_DIR) + "/kez-host";
    ASSERT_EQ(std::system((host + " --make-rom " + rom + " > /dev/null").c_str()), 0);
    unlink("/tmp/qel.crashed");
    std::string run = host + " --rom " + rom + " --storage " + storage + " --run-ms 25000 > /dev/null 2>&1 &";
    ASSERT_EQ(std::system(("(" + run + " echo $! > " + dir + ".pid)").c_str()), 0);
    // The window appears while the OS runs and shows the picture the OS main draws through the
    // drawing slots across the 320 x 320 screen at depth 16; kez-host then ends by itself.
    std::string id = Output("timeout 10 xdotool search --sync --name '^Vantor OS$'");
    id = id.substr(0, id.find('\n'));
    ASSERT_FALSE(id.empty());
    Output("xdotool windowmove " + id + " 900 600 windowraise " + id);  // away from other windows
    EXPECT_TRUE(Eventually([&] {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadWindowWithXwd(id, &width, &height);
        if (width < 320 || height < 320) return false;
        struct Spot {
            uint32_t x, y, rgb;
        };
        // Background, blue panel, red frame and its inside, the black cross.
        for (Spot s : {Spot{5, 5, 0xFFFFFF}, Spot{200, 100, 0x0000FF}, Spot{150, 142, 0xFF0000},
                       Spot{150, 180, 0xFFFFFF}, Spot{310, 310, 0xFFFFFF}, Spot{270, 210, 0}})
            if (pixels[s.y * width + s.x] != s.rgb) return false;
        return true;
    }, 20)) << "no test picture in the window";
    EXPECT_EQ(std::system(("timeout 40 sh -c 'while kill -0 $(cat " + dir + ".pid) 2>/dev/null; do sleep 0.1; done'").c_str()), 0);
    EXPECT_NE(std::system("xdotool search --name '^Vantor OS$' > /dev/null"), 0);
    unlink(rom.c_str());
    unlink(storage.c_str());
    unlink((dir + ".pid").c_str());
}

}  // namespace
}  // namespace kez::testing
