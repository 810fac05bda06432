// The virtual mouse driven through the window's key entry, as the device window drives it: the
// toggle sequence, keys passed on while the pointer is hidden, movement held at the window's
// edges, opposite directions, and the pen pressed and released at the pointer (scaled windows too).
#include <gtest/gtest.h>
#include <gdk/gdk.h>

#include <mutex>
#include <thread>
#include <vector>

#include "kez/src/HALEvent.h"
#include "kez/src/KezServices.h"
#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

constexpr uint32_t kUpKey = 0xFF52, kDownKey = 0xFF54, kLeftKey = 0xFF51, kRightKey = 0xFF53, kSelectKey = 0xFF0D;

std::mutex gLock;
std::vector<KezPenEventRecord> gPens;
std::vector<uint16_t> gKeys;

uint16_t OnPen(void* record) {
    std::lock_guard lock(gLock);
    gPens.push_back(*static_cast<KezPenEventRecord*>(record));
    return 0;
}
uint16_t OnKey(void* record) {
    std::lock_guard lock(gLock);
    gKeys.push_back(static_cast<KezKeyEventRecord*>(record)->character);
    return 0;
}
std::vector<KezPenEventRecord> Pens() {
    std::lock_guard lock(gLock);
    return gPens;
}
std::vector<uint16_t> Keys() {
    std::lock_guard lock(gLock);
    return gKeys;
}

class VirtualMouse : public KezKernelTest {
protected:
    void SetUp() override {
        config_.screenWidth = 160;
        config_.screenHeight = 220;
        config_.windowWidth = 160;
        config_.windowHeight = 220;
        config_.virtualMouse = 1;
        // The arrow keys and Return stand for the device's up, down, left, right and select keys.
        const uint32_t bindings[][2] = {{kUpKey, 306}, {kDownKey, 307}, {kLeftKey, 308}, {kRightKey, 309},
                                        {kSelectKey, 310}};
        for (size_t i = 0; i < std::size(bindings); ++i) {
            config_.keyBindings[i][0] = bindings[i][0];
            config_.keyBindings[i][1] = bindings[i][1];
        }
        {
            std::lock_guard lock(gLock);
            gPens.clear();
            gKeys.clear();
        }
    }
    void Start() {
        KezKernelTest::SetUp();
        PrvHALEventInitializeKeys();
        PrvHALEventInitializePen();
        KEZ_CALL(HALEventSetHandler, 0u, OnPen, nullptr);
        KEZ_CALL(HALEventSetHandler, 1u, OnKey, nullptr);
        ASSERT_EQ(PrvHALVirtualMouseStart(), 0);
        started_ = true;
    }
    void TearDown() override {
        if (!started_) return;
        EXPECT_EQ(PrvHALVirtualMouseStop(), 0);
        PrvHALEventClearHandlers();
        KezKernelTest::TearDown();
    }
    void Key(uint32_t keyval, bool press, uint32_t time = 0) {
        GdkEventKey event{};
        event.type = press ? GDK_KEY_PRESS : GDK_KEY_RELEASE;
        event.keyval = keyval;
        event.time = time;
        KEZ_CALL(HALEventEnqueueGdkKeyEvent, &event);
    }
    void Toggle(uint32_t start = 1000) {
        uint32_t t = start;
        for (uint32_t key : {kUpKey, kDownKey, kUpKey, kDownKey}) {
            Key(key, true, t);
            Key(key, false, t);
            t += 100;
        }
    }
    // Waits for the pen event that satisfies `is`.
    static bool PenReaches(const std::function<bool(KezPenEventRecord)>& is) {
        return Eventually(
            [&] {
                auto pens = Pens();
                return !pens.empty() && is(pens.back());
            },
            30);
    }
    bool started_ = false;
};

TEST_F(VirtualMouse, TheKeySequenceTogglesThePointerOnlyWithinASecondAndAHalf) {
    Start();
    struct Case {
        uint32_t times[4];
        bool toggles;
    } cases[] = {
        {{1000, 1400, 1900, 2499}, true},   // the last key 1499 ms after the first
        {{5000, 5400, 5900, 6600}, false},  // 1600 ms
    };
    for (const Case& c : cases) {
        uint8_t before = KEZ_CALL(HALVirtualMouseIsActive);
        const uint32_t keys[4] = {kUpKey, kDownKey, kUpKey, kDownKey};
        for (int i = 0; i < 4; ++i) {
            Key(keys[i], true, c.times[i]);
            Key(keys[i], false, c.times[i]);
        }
        uint8_t after = KEZ_CALL(HALVirtualMouseIsActive);
        EXPECT_EQ(after != before, c.toggles) << c.times[3] - c.times[0] << " ms";
    }
    // A wrong key in the middle starts the sequence again.
    Key(kUpKey, true, 9000);
    Key(kLeftKey, true, 9050);
    Key(kLeftKey, false, 9050);
    Key(kDownKey, true, 9100);
    Key(kUpKey, true, 9200);
    Key(kDownKey, true, 9300);
    EXPECT_EQ(KEZ_CALL(HALVirtualMouseIsActive), 1);  // still the first toggle's state
    // Slot 285 toggles too.
    KEZ_CALL(HALVirtualMouseToggle);
    EXPECT_EQ(KEZ_CALL(HALVirtualMouseIsActive), 0);
}

TEST_F(VirtualMouse, HiddenPointerPassesKeysToTheDeviceAndShownPointerTakesThem) {
    Start();
    Key(kLeftKey, true);
    Key(kLeftKey, false);
    EXPECT_EQ(Keys(), (std::vector<uint16_t>{308}));
    Toggle();
    // The sequence's own keys reached the device as keys; from now on the arrows move the pointer.
    size_t before = Keys().size();
    Key(kLeftKey, true);
    Key(kLeftKey, false);
    EXPECT_EQ(Keys().size(), before);
    // A key outside the virtual mouse's keys still reaches the device.
    Key('a', true);
    EXPECT_EQ(Keys().back(), 'a');
}

TEST_F(VirtualMouse, SelectPressesThePenAtThePointerAndReleasesItAtMinusOne) {
    struct Case {
        uint8_t scaling;
        uint32_t screenWidth, windowWidth, windowHeight;
        KezPenEventRecord down;
    } cases[] = {
        {0, 160, 160, 220, {80, 110}},
        {1, 160, 240, 330, {80, 110}},   // window 3/2 of the screen: the point is scaled by 2/3
        {1, 320, 240, 330, {160, 220}},  // window 3/4 of the screen: by 4/3
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "window " << c.windowWidth);
        config_.penScaling = c.scaling;
        config_.screenWidth = c.screenWidth;
        config_.windowWidth = c.windowWidth;
        config_.windowHeight = c.windowHeight;
        config_.centreVirtualMouse = 1;
        Start();
        EXPECT_EQ(KEZ_CALL(HALVirtualMouseIsActive), 1);  // centred and shown at start
        Key(kSelectKey, true);
        ASSERT_TRUE(PenReaches([](KezPenEventRecord p) { return p.x != 0xFFFF; }));
        Key(kSelectKey, false);
        ASSERT_TRUE(PenReaches([](KezPenEventRecord p) { return p.x == 0xFFFF; }));
        auto pens = Pens();
        ASSERT_EQ(pens.size(), 2u);
        EXPECT_EQ(pens[0].x, c.down.x);
        EXPECT_EQ(pens[0].y, c.down.y);
        EXPECT_EQ(pens[1].y, 0xFFFF);
        EXPECT_EQ(HALEventLastPen().x, 0xFFFF);
        TearDown();
        started_ = false;
        SetUp();
    }
}

TEST_F(VirtualMouse, MovementStopsAtTheEdgesAndTheLastDirectionWins) {
    Start();
    Toggle();
    ASSERT_EQ(KEZ_CALL(HALVirtualMouseIsActive), 1);
    Key(kSelectKey, true);
    // Held down at the bottom, the pointer stays on the last row.
    Key(kDownKey, true);
    ASSERT_TRUE(PenReaches([](KezPenEventRecord p) { return p.y == 219; }));
    // Left pressed while right is held: left only, to the left edge.
    Key(kRightKey, true);
    ASSERT_TRUE(PenReaches([](KezPenEventRecord p) { return p.x > 82; }));
    Key(kLeftKey, true);
    ASSERT_TRUE(PenReaches([](KezPenEventRecord p) { return p.x == 0 && p.y == 219; }));
    // Releasing left does not bring right back, though right's key is still down.
    Key(kLeftKey, false);
    Key(kDownKey, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Key(kSelectKey, false);
    ASSERT_TRUE(PenReaches([](KezPenEventRecord p) { return p.x == 0xFFFF; }));
    auto pens = Pens();
    ASSERT_GE(pens.size(), 2u);
    EXPECT_EQ(pens[pens.size() - 2].x, 0);
    EXPECT_EQ(pens[pens.size() - 2].y, 219);
    for (const auto& p : pens) EXPECT_TRUE(p.y <= 219 || p.y == 0xFFFF);
}

}  // namespace
}  // namespace kez::testing
