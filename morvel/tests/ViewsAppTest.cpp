// A 68K application whose form holds a list, a bitmap and a button, with a menu bar and an alert,
// end to end on the stand-in UI library: the list is built from the form resource, a tap on its
// second item reaches the application as a list-select event and as the list's selection, a menu
// item shows the alert, whose tapped button the application gets, and the button ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"
#include "standin/os/DatabaseStore.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
namespace sys = vantor::sys;

constexpr uint16_t kPenDown = 1;

void Tap(int16_t x, int16_t y) { PostEvent(kPenDown, 0, x, y); }

using ViewsAppTest = UiAppTest;

TEST_F(ViewsAppTest, ATapOnAListItemReachesTheApplicationAsItsSelection) {
    InstallApp(MORVEL_VIEWS_APP ".vrx");
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmDrawForm, [&](const vantor::os::SlotCall&) {
        if (drawn++) return 0u;
        // Rows of 11 units start one below the list's top (20): the second item, then beside the
        // items (below the third), then the button.
        Tap(30, 37);
        Tap(30, 54);
        Tap(70, 125);
        return 0u;
    });
    int alerts = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry125, [&](const vantor::os::SlotCall&) {
        ++alerts;
        PostEvent(22);
        return 0u;
    });
    const uint32_t result = RunApp();
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(drawn, 1);
    // Four categories (All and the three its database names); three items; the event named item 1
    // and the list says item 1.
    EXPECT_EQ(result, 0x40030101u) << std::hex << result;
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

TEST(ViewsAppWindow, TheListBitmapsMenuAndAlertAreShownAndClicksReachTheApplication) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    // Away from where other window tests place theirs, so that no other window covers it.
    KezHostApp app(MORVEL_VIEWS_APP ".vrx", "Morvel Views Test", "", 40, 40);
    const std::string& id = app.window;
    ASSERT_FALSE(id.empty());

    // On the 320 x 320 screen (two pixels a unit).
    struct Spot {
        uint32_t x, y;
        bool dark;
    };
    std::string dump;
    auto shows = [&](std::initializer_list<Spot> spots) {
        dump = DumpWindow(id);
        for (const Spot& spot : spots) {
            const int64_t v = DumpPixel(dump, spot.x, spot.y);
            if (v < 0 || (spot.dark ? v >= 0x202020 : v < 0xE0E0E0)) return false;
        }
        return true;
    };
    auto picture = [&] { return app.Keep(dump); };
    auto click = [&](int x, int y) { app.Click(x, y); };
    // The list's left frame, its second row's margin, the resource bitmap's top edge and its white
    // inside, the application's raw bitmap's frame and its white inside, the category list's left
    // frame and its first row ("All", chosen) and its second ("Unfiled").
    const Spot rawFrame{242, 91, true}, rawInside{256, 96, false};
    ASSERT_TRUE(Eventually(
        [&] {
            return shows({{20, 60, true}, {250, 40, true}, {256, 56, false}, {24, 74, false}, rawFrame, rawInside,
                          {20, 140, true}, {24, 130, true}, {24, 152, false}});
        },
        60))
        << "no lists and bitmaps in the window " << picture();

    // A click on the title line pulls the menu down: its title is shown chosen (black, where the
    // form's title is blue). A click on its first item shows the alert with its two buttons.
    const Spot menuTitle{2, 2, true}, alertButton{40, 284, true};
    click(20, 10);
    ASSERT_TRUE(Eventually([&] { return shows({menuTitle}); }, 60)) << "no menu " << picture();
    click(20, 40);
    ASSERT_TRUE(Eventually([&] { return shows({alertButton}); }, 60)) << "no alert " << picture();
    // Its second button closes it; the application draws its form again.
    click(100, 294);
    ASSERT_TRUE(Eventually([&] { return shows({{40, 284, false}, rawFrame}); }, 60))
        << "the alert stays " << picture();

    // A click on the second item inverts its row; the button ends the application with its answer.
    click(60, 74);
    EXPECT_TRUE(Eventually([&] { return shows({{24, 74, true}}); }, 60)) << "the item is not shown chosen";
    click(160, 254);
    EXPECT_TRUE(Eventually(
        [&] { return app.Log().find("OS launcher: Morvel Views Test ended with 0x42030101") != std::string::npos; },
        60))
        << app.Log();
}

}  // namespace
}  // namespace morvel::test
