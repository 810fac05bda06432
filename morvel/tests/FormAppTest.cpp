// A 68K application whose form comes from its own resources, end to end: the form resource is
// translated into the resource cache, the stand-in UI library builds the form from it, keys land
// in the field and a tap on the button reaches the application's form handler. Under Xvfb the same
// application runs in kez-host: the form appears in the device window, xdotool types into the
// field and clicks the button.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"
#include "standin/os/DatabaseStore.h"

namespace morvel::test {
namespace {

using vantor::FourCC;
using vantor::os::Library;
namespace sys = vantor::sys;

constexpr uint16_t kKeyDown = 4, kPenDown = 1;

using FormAppTest = UiAppTest;

// An alert (a fatal report) stops the application instead of waiting for ever; the count of alerts.
std::shared_ptr<int> StopOnAlerts() {
    auto alerts = std::make_shared<int>(0);
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry125, [alerts](const vantor::os::SlotCall&) {
        ++*alerts;
        PostEvent(22, 0);
        return 0u;
    });
    return alerts;
}

// The keys and the tap come once the form is drawn: "hi", a backspace, "o", then a tap inside the
// button (a tap beside it is no tap on it).
TEST_F(FormAppTest, KeysLandInTheFieldAndATapOnTheButtonReachesTheFormHandler) {
    InstallApp(MORVEL_FORM_APP ".vrx");
    // The application sets the focus right after it drew the form.
    int drawn = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmSetFocus, [&](const vantor::os::SlotCall&) {
        if (drawn++) return 0u;
        for (uint16_t c : {uint16_t{'h'}, uint16_t{'i'}, uint16_t{8}, uint16_t{'o'}}) PostEvent(kKeyDown, c);
        PostEvent(kPenDown, 0, 30, 105);
        PostEvent(kPenDown, 0, 70, 105);
        return 0u;
    });
    const std::shared_ptr<int> alerts = StopOnAlerts();
    uint32_t result = RunApp();
    EXPECT_EQ(*alerts, 0);
    EXPECT_EQ(drawn, 1);
    // Three cells of the first column were drawn by the application's procedure.
    EXPECT_EQ(result, (3u << 24) | (2u << 16) | ('h' + 'o')) << std::hex << result;
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// The form built at run time: every object made, keys in its field, a tap on the gadget removes the
// second label (the later objects keep their pointers), the next tap shows the help and then the
// name alert, whose entry is added to the field, and deleting the form tells the gadget's handler
// once. Bit 7 of the top byte is that one delete call; the checker's calls come next, then the
// gadget's two draws.
constexpr uint32_t BuiltFormResult(uint32_t checks, uint32_t length, uint32_t sum) {
    return (0xFFu << 24) | (checks << 20) | (2u << 16) | (length << 8) | (sum & 0xFF);
}

TEST_F(FormAppTest, AFormBuiltAtRunTimeTakesKeysAndLosesTheObjectItRemoves) {
    InstallApp(MORVEL_BUILT_FORM_APP ".vrx");
    int focused = 0;
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmSetFocus, [&](const vantor::os::SlotCall&) {
        if (focused++) return 0u;
        for (uint16_t c : {uint16_t{'a'}, uint16_t{'b'}}) PostEvent(kKeyDown, c);
        // Beside the gadget (60, 120, 40 x 20): no tap on it; then two taps inside it.
        PostEvent(kPenDown, 0, 50, 130);
        PostEvent(kPenDown, 0, 70, 130);
        PostEvent(kPenDown, 0, 99, 139);
        // The help's Done (16, 124, 36 x 12); OK (8, 142) with no name is refused, with "xy" taken.
        PostEvent(kPenDown, 0, 30, 130);
        PostEvent(kPenDown, 0, 20, 148);
        for (uint16_t c : {uint16_t{'x'}, uint16_t{'y'}}) PostEvent(kKeyDown, c);
        PostEvent(kPenDown, 0, 20, 148);
        PostEvent(22, 0);  // stops the application should the taps not end it
        return 0u;
    });
    const std::shared_ptr<int> alerts = StopOnAlerts();
    const uint32_t result = RunApp();
    EXPECT_EQ(*alerts, 0);
    EXPECT_EQ(focused, 1);
    EXPECT_EQ(result, BuiltFormResult(2, 4, 'a' + 'b' + 'x' + 'y')) << std::hex << result;
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

// ---- the same application in kez-host, under Xvfb ----

// The window's pixels as 0xRRGGBB; empty until the window shows the whole 320 x 320 screen.
std::vector<uint32_t> ReadWindow(const std::string& id, uint32_t* width, uint32_t* height) {
    const std::string dump = DumpWindow(id);
    std::vector<uint32_t> pixels;
    *width = *height = 320;
    for (uint32_t y = 0; y < *height; ++y)
        for (uint32_t x = 0; x < *width; ++x) {
            const int64_t v = DumpPixel(dump, x, y);
            if (v < 0) {
                *width = *height = 0;
                return {};
            }
            pixels.push_back(static_cast<uint32_t>(v));
        }
    return pixels;
}

// Whether an area of the window's screen holds black ink; false until the window shows it.
bool HasInk(const std::string& id, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
    if (width < 320 || height < 320) return false;
    for (uint32_t y = top; y < bottom; ++y)
        for (uint32_t x = left; x < right; ++x)
            if (pixels[y * width + x] == 0) return true;
    return false;
}

TEST(FormAppWindow, TheFormIsDrawnInTheDeviceWindowAndTakesTypedKeysAndAClick) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    KezHostApp app(MORVEL_FORM_APP ".vrx", "Morvel Form Test", "--trace ff", 600, 400);
    const std::string& id = app.window;
    ASSERT_FALSE(id.empty());

    // The form on the 320 x 320 screen: its title bar, the button's frame, white below the button.
    // Colours are compared within the screen's 16-bit precision.
    struct Spot {
        uint32_t x, y, rgb;
    };
    auto near = [](uint32_t a, uint32_t b) {
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 8)
                return false;
        return true;
    };
    auto shows = [&](std::initializer_list<Spot> spots) {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
        if (width < 320 || height < 320) return false;
        for (Spot s : spots)
            if (!near(pixels[s.y * width + s.x], s.rgb)) return false;
        return true;
    };
    // Black ink in an area: the field's line left of its underline, the table's column of numbers.
    auto hasInk = [&](uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
        return HasInk(id, left, top, right, bottom);
    };
    auto fieldHasInk = [&] { return hasInk(96, 58, 288, 74); };
    ASSERT_TRUE(Eventually(
        [&] {
            return shows({{150, 4, 0x003399}, {160, 200, 0}, {200, 300, 0xFFFFFF}});
        },
        60))
        << "no form in the window\n"
        <<
        [&] {
            uint32_t width = 0, height = 0;
            std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
            char text[128];
            std::snprintf(text, sizeof text, "window %ux%u, pixels %06X %06X %06X\n", width, height,
                          pixels.size() > 4 * width + 150 ? pixels[4 * width + 150] : 0u,
                          pixels.size() > 200 * width + 160 ? pixels[200 * width + 160] : 0u,
                          pixels.size() > 300 * width + 200 ? pixels[300 * width + 200] : 0u);
            return std::string(text);
        }()
        << app.Log();
    EXPECT_FALSE(fieldHasInk());
    EXPECT_TRUE(hasInk(144, 100, 224, 170));

    RunCommand("xdotool key --window " + id + " h i");
    EXPECT_TRUE(Eventually(fieldHasInk, 60)) << "no text in the field";
    RunCommand("xdotool mousemove --window " + id + " 160 214 click 1");
    char ended[96];
    std::snprintf(ended, sizeof ended, "OS launcher: Morvel Form Test ended with 0x%X",
                  (3u << 24) | (2u << 16) | ('h' + 'i'));
    EXPECT_TRUE(Eventually([&] { return app.Log().find(ended) != std::string::npos; }, 60))
        << app.Log();
}

// The form built at run time in kez-host: drawn with its gadget (a black box its 68K handler
// draws) and the label that goes; typed keys land in the field; a click on the gadget removes the
// label and the bitmap (hidden through its record) from the window; the next one shows the help over the gadget until Done is clicked, then
// the name alert, whose entry takes typed keys until OK is clicked. Its bitmap comes from its
// resources.
TEST(FormAppWindow, AFormBuiltAtRunTimeIsDrawnAndTheRemovedLabelVanishes) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
    KezHostApp app(MORVEL_BUILT_FORM_APP ".vrx", "Morvel Built Form Test", "--trace ff", 620, 420);
    const std::string& id = app.window;
    ASSERT_FALSE(id.empty());
    // Areas of the 320 x 320 screen (two pixels a UI unit).
    auto hasInk = [&](uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
        return HasInk(id, left, top, right, bottom);
    };
    auto titleShows = [&] {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
        return width >= 320 && height >= 320 && (pixels[4 * width + 150] & 0xF0F0F0) == 0x003090;
    };
    auto labelHasInk = [&] { return hasInk(16, 60, 60, 76); };        // "Name:" at (8, 30)
    auto goneHasInk = [&] { return hasInk(16, 200, 64, 216); };       // "GONE" at (8, 100)
    auto gadgetIsBlack = [&] { return hasInk(150, 250, 170, 270); };  // the gadget at (60, 120)
    auto fieldHasInk = [&] { return hasInk(96, 58, 288, 74); };
    auto bitmapHasInk = [&] { return hasInk(240, 120, 272, 152); };  // the framed bitmap at (120, 60)
    ASSERT_TRUE(Eventually(
        [&] { return titleShows() && gadgetIsBlack() && goneHasInk() && labelHasInk() && bitmapHasInk(); },
        60))
        << "the built form is not in the window\n"
        << app.Log();
    EXPECT_FALSE(fieldHasInk());

    RunCommand("xdotool key --window " + id + " a b");
    EXPECT_TRUE(Eventually(fieldHasInk, 60)) << "no text in the field";
    RunCommand("xdotool mousemove --window " + id + " 160 260 click 1");
    EXPECT_TRUE(Eventually([&] { return !goneHasInk() && !bitmapHasInk(); }, 60))
        << "the removed label or the hidden bitmap is still drawn";
    EXPECT_TRUE(labelHasInk());
    EXPECT_TRUE(gadgetIsBlack());
    EXPECT_TRUE(fieldHasInk());
    // The help box hides the gadget and shows its Done button at (16, 124).
    auto doneHasInk = [&] { return hasInk(34, 250, 102, 270); };
    RunCommand("xdotool mousemove --window " + id + " 160 260 click 1");
    EXPECT_TRUE(Eventually([&] { return !gadgetIsBlack() && doneHasInk() && hasInk(32, 96, 270, 112); }, 60))
        << "no help over the form\n" << app.Log();
    // The alert's title bar; its entry line (6, 119) holds no ink above its underline until typed.
    auto alertShows = [&] {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadWindow(id, &width, &height);
        return width >= 320 && height >= 320 && (pixels[184 * width + 150] & 0xF0F0F0) == 0x003090;
    };
    auto entryHasInk = [&] { return hasInk(12, 238, 300, 256); };
    RunCommand("xdotool mousemove --window " + id + " 60 260 click 1");
    EXPECT_TRUE(Eventually(alertShows, 60)) << "no alert after the help\n" << app.Log();
    EXPECT_FALSE(entryHasInk());
    RunCommand("xdotool key --window " + id + " x y");
    EXPECT_TRUE(Eventually(entryHasInk, 60)) << "no text in the alert's entry";
    RunCommand("xdotool mousemove --window " + id + " 40 296 click 1");
    char ended[96];
    std::snprintf(ended, sizeof ended, "OS launcher: Morvel Built Form Test ended with 0x%X",
                  BuiltFormResult(1, 4, 'a' + 'b' + 'x' + 'y'));
    EXPECT_TRUE(Eventually([&] { return app.Log().find(ended) != std::string::npos; }, 60)) << app.Log();
}

}  // namespace
}  // namespace morvel::test
