// A 68K application with a scroll bar and a bitmap of the OS's sent through the clipboard, end to
// end on the stand-in UI library: the pen on the down arrow, on the track and dragging the thumb
// moves the bar, whose changes and departures reach the application as events; the application
// reads the bar's usable bit and values, and draws the bitmap it got back from the clipboard. In
// process, and in kez-host under Xvfb with xdotool clicks and a drag, checked by the pixels shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "M68kTestKit.h"
#include "common/module/UiSlots.h"

namespace morvel::test {
namespace {

using vantor::os::Library;

constexpr uint16_t kPenDown = 1, kPenUp = 2;
// Usable and then hidden, the form's values, the bitmap back from the clipboard, three departures
// of the pen, the last value 10, which is the bar's.
constexpr uint32_t kExpected = 0x11130A01;

using ScrollAppTest = UiAppTest;

// In the UI grid: the bar at 150, 20, 7 x 100, its track 27-112 and its thumb 28 high; the button
// at 60, 140.
TEST_F(ScrollAppTest, ThePenMovesTheScrollBarAndTheApplicationHearsOfIt) {
    InstallApp(MORVEL_SCROLL_APP ".vrx");
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmDrawForm, [&](const vantor::os::SlotCall&) {
        if (++drawn > 1) return 0u;
        PostEvent(kPenDown, 0, 153, 116);  // the down arrow: 1
        PostEvent(kPenUp, 0, -1, -1);
        PostEvent(kPenDown, 0, 153, 100);  // the track below the thumb: a page on, 6
        PostEvent(kPenUp, 0, -1, -1);
        PostEvent(kPenDown, 0, 153, 65);  // the thumb (61-88), dragged to the end: 10
        PostEvent(kPenDown, 0, 153, 120);
        PostEvent(kPenDown, 0, 153, 200);
        PostEvent(kPenUp, 0, -1, -1);
        PostEvent(kPenDown, 0, 80, 147);  // the button
        return 0u;
    });
    const uint32_t result = RunApp();
    EXPECT_EQ(result, kExpected) << std::hex << result;
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

TEST(ScrollAppWindow, ClicksAndADragMoveTheScrollBarAndTheClipboardsBitmapIsShown) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    KezHostApp app(MORVEL_SCROLL_APP ".vrx", "Morvel Scroll Test", "", 60, 420);
    const std::string& id = app.window;
    ASSERT_FALSE(id.empty());

    // On the 320 x 320 screen (two pixels a unit).
    std::string dump;
    auto dark = [&](uint32_t x, uint32_t y) {
        const int64_t v = DumpPixel(dump, x, y);
        return v >= 0 && v < 0x202020;
    };
    auto light = [&](uint32_t x, uint32_t y) { return DumpPixel(dump, x, y) > 0xE0E0E0; };
    // The value strip (10, 60) is 8 units a step: dark up to its end, light after it.
    auto strip = [&](int value) {
        return (value == 0 || dark(2 * (10 + 8 * value) - 4, 124)) && light(2 * (10 + 8 * value) + 4, 124);
    };
    // The thumb's column (x 153) at a UI height.
    auto thumb = [&](int y) { return dark(306, static_cast<uint32_t>(2 * y)); };
    auto picture = [&] { return app.Keep(dump); };
    auto shows = [&](const std::function<bool()>& what) {
        return Eventually([&] { return (dump = DumpWindow(id)), what(); }, 60);
    };
    // The form: the thumb at the top of the track (27-54), nothing in the strip, and the clipboard's
    // bitmap at (60, 90) with its top-left quarter black and its top-right one white.
    ASSERT_TRUE(shows([&] {
        return thumb(30) && thumb(52) && !thumb(60) && strip(0) && dark(124, 184) && light(144, 184);
    })) << "no form "
        << picture();
    // The down arrow: 1; the thumb moves 5 units down.
    app.Click(306, 232);
    ASSERT_TRUE(shows([&] { return strip(1) && !thumb(29) && thumb(57); })) << "no step " << picture();
    // The track below the thumb: a page on, 6 (the thumb at 61-88).
    app.Click(306, 200);
    ASSERT_TRUE(shows([&] { return strip(6) && !thumb(58) && thumb(62) && thumb(86); }))
        << "no page " << picture();
    // The thumb dragged past the end of the track: 10 (the thumb at 85-112).
    app.Drag(306, 150, {{306, 200}, {306, 300}});
    ASSERT_TRUE(shows([&] { return strip(10) && !thumb(80) && thumb(90) && thumb(110); }))
        << "no drag " << picture();
    app.Click(160, 294);
    EXPECT_TRUE(Eventually(
        [&] {
            return app.Log().find("OS launcher: Morvel Scroll Test ended with 0x11130A01") !=
                   std::string::npos;
        },
        60))
        << app.Log();
}

}  // namespace
}  // namespace morvel::test
