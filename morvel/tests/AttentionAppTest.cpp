// A 68K application with two subtle attentions, end to end on the stand-in UI library: the indicator
// blinks in the title bar, a tap on it opens the list whose rows the application's 68K callback
// draws, a tap selects a row, "Got it" dismisses it and "Done" closes the list; the application's
// forms get their save event. In-process, and in kez-host under Xvfb with xdotool clicks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "M68kTestKit.h"
#include "common/module/UiSlots.h"

namespace morvel::test {
namespace {

using vantor::os::Library;

constexpr uint16_t kPenDown = 1;
// The save event, the second attention got, 2 subtle ones at the start and 1 left, the indicator
// allowed and enabled with its pattern read back, two iterations, one row drawn selected and five
// rows drawn (two when the list opens, two when a row is selected, one after "Got it").
constexpr uint32_t kExpected = 0x12217215;

// Where things stand in the UI grid: the indicator, the list's second row, its "Done" and "Got it"
// buttons, and the form's button.
constexpr int16_t kIndicatorX = 152, kIndicatorY = 6, kRowX = 60, kSecondRowY = 59, kButtonsY = 146,
                  kDoneX = 12, kGotItX = 56, kFormButtonX = 70, kFormButtonY = 125;

using AttentionAppTest = UiAppTest;

TEST_F(AttentionAppTest, TheIndicatorOpensTheListWhoseRowsTheApplicationDrawsAndDismisses) {
    InstallApp(MORVEL_ATTENTION_APP ".vrx");
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmDrawForm, [&](const vantor::os::SlotCall&) {
        // Drawn when the form opens (the attentions are asked for right after), then when the list
        // closes; then the form's button ends the application.
        if (++drawn == 1) {
            PostEvent(kPenDown, 0, 100, 100);  // beside the indicator: the application's
            PostEvent(kPenDown, 0, kIndicatorX, kIndicatorY);
            PostEvent(kPenDown, 0, kRowX, kSecondRowY);
            PostEvent(kPenDown, 0, kGotItX, kButtonsY);
            PostEvent(kPenDown, 0, kDoneX, kButtonsY);
        } else if (drawn == 2) {
            PostEvent(kPenDown, 0, kFormButtonX, kFormButtonY);
        }
        return 0u;
    });
    const uint32_t result = RunApp();
    EXPECT_EQ(result, kExpected) << std::hex << result;
    EXPECT_EQ(drawn, 2);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

TEST(AttentionAppWindow, TheIndicatorBlinksAndTapsOnItAndOnTheListReachTheApplication) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    KezHostApp app(MORVEL_ATTENTION_APP ".vrx", "Morvel Attention Test", "", 60, 660);
    const std::string& id = app.window;
    ASSERT_FALSE(id.empty());

    // On the 320 x 320 screen (two pixels a unit).
    std::string dump;
    auto dark = [&](uint32_t x, uint32_t y) { return DarkPixel(dump, x, y); };
    // The indicator's frame, black while it shows, the title bar's blue between.
    auto indicatorOn = [&] { return (dump = DumpWindow(id)), dark(296, 12); };
    auto indicatorOff = [&] { return (dump = DumpWindow(id)), DarkBluePixel(dump, 296, 12); };
    // The list's title bar, the first row's text, the line beside the selected second row.
    auto listShown = [&] { return DarkBluePixel(dump, 10, 40); };
    auto firstRow = [&] { return AnyDarkPixel(dump, 16, 74, 40, 92); };
    auto secondSelected = [&] { return dark(150, 124); };
    auto picture = [&] { return app.Keep(dump); };

    ASSERT_TRUE(Eventually(indicatorOn, 60)) << "no indicator " << picture();
    ASSERT_TRUE(Eventually(indicatorOff, 60)) << "the indicator does not blink " << picture();
    ASSERT_TRUE(Eventually(indicatorOn, 60)) << "the indicator does not blink back " << picture();

    app.Click(2 * kIndicatorX, 2 * kIndicatorY);
    ASSERT_TRUE(Eventually(
        [&] { return (dump = DumpWindow(id)), listShown() && firstRow() && !secondSelected(); }, 60))
        << "no list " << picture();
    app.Click(2 * kRowX, 2 * kSecondRowY);
    ASSERT_TRUE(Eventually([&] { return (dump = DumpWindow(id)), secondSelected(); }, 60))
        << "the row is not selected " << picture();
    app.Click(2 * kGotItX, 2 * kButtonsY);
    ASSERT_TRUE(Eventually(
        [&] { return (dump = DumpWindow(id)), listShown() && firstRow() && !secondSelected(); }, 60))
        << "the row stays " << picture();
    app.Click(2 * kDoneX, 2 * kButtonsY);
    ASSERT_TRUE(Eventually([&] { return (dump = DumpWindow(id)), !listShown(); }, 60))
        << "the list stays " << picture();
    // One attention is still pending: the indicator goes on blinking.
    ASSERT_TRUE(Eventually(indicatorOff, 60)) << picture();
    ASSERT_TRUE(Eventually(indicatorOn, 60)) << picture();

    app.Click(2 * kFormButtonX, 2 * kFormButtonY);
    EXPECT_TRUE(Eventually(
        [&] {
            return app.Log().find("OS launcher: Morvel Attention Test ended with 0x12217215") !=
                   std::string::npos;
        },
        60))
        << app.Log();
}

}  // namespace
}  // namespace morvel::test
