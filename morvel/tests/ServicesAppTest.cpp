// A 68K application with a progress dialog and an attention, end to end on the stand-in UI library:
// the progress dialog's Cancel button reaches the application through PrgHandleEvent, the
// attention it then asks for is drawn by its 68K callback, and the OK button tells that callback
// of the dismissal. In-process, and in kez-host under Xvfb with xdotool clicks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "M68kTestKit.h"
#include "common/module/UiSlots.h"

namespace morvel::test {
namespace {

using vantor::os::Library;

constexpr uint16_t kPenDown = 1;
// Cancelled, the got-it command with the user's dismissal, the user value seen by the text
// callback, two texts (the start and the cancel) and one drawing of the attention (the update
// comes before it is shown).
constexpr uint32_t kExpected = 0x12100201;

using ServicesAppTest = UiAppTest;

TEST_F(ServicesAppTest, CancelReachesTheApplicationAndItsAttentionHearsOfTheDismissal) {
    InstallApp(MORVEL_SERVICES_APP ".vrx");
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmDrawForm, [&](const vantor::os::SlotCall&) {
        // The dialogs' buttons stand at (8, 142) in the UI grid (one pixel a unit here): Cancel,
        // then, once the form is drawn again, OK of the attention shown in its place. The form is
        // drawn again when the attention closes; then the form's button ends the application.
        if (++drawn == 1) {
            PostEvent(kPenDown, 0, 14, 146);
        } else if (drawn == 2) {
            PostEvent(kPenDown, 0, 100, 10);  // outside the attention: taken, nothing happens
            PostEvent(kPenDown, 0, 14, 146);
        } else if (drawn == 3) {
            PostEvent(kPenDown, 0, 70, 125);
        }
        return 0u;
    });
    const uint32_t result = RunApp();
    EXPECT_EQ(result, kExpected) << std::hex << result;
    EXPECT_EQ(drawn, 3);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

TEST(ServicesAppWindow, TheDialogsAreShownAndClicksOnTheirButtonsReachTheApplication) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    KezHostApp app(MORVEL_SERVICES_APP ".vrx", "Morvel Services Test", "", 60, 420);
    const std::string& id = app.window;
    ASSERT_FALSE(id.empty());

    // On the 320 x 320 screen (two pixels a unit).
    std::string dump;
    auto dark = [&](uint32_t x, uint32_t y) { return DarkPixel(dump, x, y); };
    // The dialogs' dark blue title bar.
    auto titleBar = [&] { return DarkBluePixel(dump, 10, 184); };
    // Any dark pixel in the row of the dialog's text.
    auto textShown = [&] { return AnyDarkPixel(dump, 12, 216, 120, 232); };
    auto picture = [&] { return app.Keep(dump); };
    auto click = [&](int x, int y) { app.Click(x, y); };
    // The progress dialog: its title bar, its text and the Cancel button's left and right frame.
    ASSERT_TRUE(Eventually([&] { return (dump = DumpWindow(id)), titleBar() && textShown() && dark(16, 296) && dark(110, 296); },
                           60))
        << "no progress dialog " << picture();
    // Cancel: the attention takes the dialog's place, with the line its callback draws and the
    // narrower OK button.
    click(30, 296);
    ASSERT_TRUE(Eventually(
        [&] { return (dump = DumpWindow(id)), titleBar() && dark(60, 236) && dark(16, 296) && !dark(110, 296); }, 60))
        << "no attention " << picture();
    // OK closes it and the application draws its form again; its button ends it.
    click(30, 296);
    ASSERT_TRUE(Eventually([&] { return (dump = DumpWindow(id)), !titleBar() && !dark(60, 236); }, 60))
        << "the attention stays " << picture();
    click(160, 254);
    EXPECT_TRUE(Eventually(
        [&] { return app.Log().find("OS launcher: Morvel Services Test ended with 0x12100201") != std::string::npos; },
        60))
        << app.Log();
}

}  // namespace
}  // namespace morvel::test
