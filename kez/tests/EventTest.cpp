// The event queue: handlers, the wake-up pipe, pen and key events from GDK events, key
// translation and multi-tap entry.
#include <fcntl.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <vector>

#include "kez/src/HALEvent.h"
#include "kez/src/KezBoot.h"
#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

std::vector<KezPenEventRecord> gPens;
std::vector<KezKeyEventRecord> gKeys;

uint16_t PenHandler(void* record) {
    gPens.push_back(*static_cast<KezPenEventRecord*>(record));
    return 0;
}
uint16_t KeyHandler(void* record) {
    gKeys.push_back(*static_cast<KezKeyEventRecord*>(record));
    return 0;
}

class Events : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        config_.screenWidth = config_.windowWidth = 320;
        config_.screenHeight = config_.windowHeight = 320;
        KezGlobalsInit(&config_, nullptr);
        PrvHALEventClearHandlers();
        PrvHALEventInitializePen();
        PrvHALEventInitializeKeys();
        gPens.clear();
        gKeys.clear();
        KEZ_CALL(HALEventSetHandler, 0, PenHandler, nullptr);
        KEZ_CALL(HALEventSetHandler, 1, KeyHandler, nullptr);
    }
    void Reconfigure() {
        KezGlobalsInit(&config_, nullptr);
        PrvHALEventInitializeKeys();
    }

    static uint16_t Mouse(GdkEventType type, double x, double y) {
        GdkEvent event{};
        event.type = type;
        if (type == GDK_MOTION_NOTIFY) {
            event.motion.x = x;
            event.motion.y = y;
        } else {
            event.button.x = x;
            event.button.y = y;
        }
        return KEZ_CALL(HALEventEnqueueGdkMouseEvent, &event);
    }
    static uint16_t Key(GdkEventType type, guint keyval, guint state = 0) {
        GdkEventKey event{};
        event.type = type;
        event.keyval = keyval;
        event.state = state;
        return KEZ_CALL(HALEventEnqueueGdkKeyEvent, &event);
    }
    static void Tap(guint keyval) {
        Key(GDK_KEY_PRESS, keyval);
        Key(GDK_KEY_RELEASE, keyval);
    }

    KezBootConfig config_{};
};

TEST_F(Events, PostCallsTheKindsHandlerAndWritesTheWakeupByte) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    ASSERT_EQ(write(fds[1], "stale", 5), 5);  // drained before the new byte
    int32_t pipe[2] = {fds[0], fds[1]};
    KEZ_CALL(HALEventSetWakeupPipe, pipe);

    KezPenEventRecord pen{10, 20};
    EXPECT_EQ(KEZ_CALL(HALEventPost, 0, &pen), 0);
    ASSERT_EQ(gPens.size(), 1u);
    EXPECT_EQ(gPens[0].x, 10);
    char bytes[8];
    ASSERT_EQ(read(fds[0], bytes, sizeof bytes), 1);
    EXPECT_EQ(bytes[0], 'A');
    KezKeyEventRecord key{'x', 0, 0, 0};
    EXPECT_EQ(KEZ_CALL(HALEventPost, 1, &key), 0);
    ASSERT_EQ(read(fds[0], bytes, sizeof bytes), 1);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(gKez.eventPending, 1);

    // Kind 2 has no handler here; kind 8 is outside 0..7.
    EXPECT_EQ(KEZ_CALL(HALEventPost, 2, nullptr), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(HALEventPost, 8, &key), 0xFFFF);
    EXPECT_EQ(read(fds[0], bytes, sizeof bytes), -1);
    KezEventHandler old = nullptr;
    EXPECT_EQ(KEZ_CALL(HALEventSetHandler, 8, PenHandler, &old), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(HALEventSetHandler, 0, nullptr, &old), 0);
    EXPECT_EQ(old, &PenHandler);

    KEZ_CALL(HALEventSetWakeupPipe, nullptr);
    EXPECT_EQ(gKez.wakeupPipe[0], -1);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(Events, PenPositionsAreClampedAndScaled) {
    struct Case {
        uint32_t screenWidth, windowWidth, windowHeight;
        uint8_t scaling;
        double x, y;
        uint16_t expectX, expectY;
    };
    const Case cases[] = {
        {320, 320, 320, 0, 500, -3, 319, 0},
        {320, 320, 320, 0, 12.9, 7.2, 12, 7},
        {320, 480, 480, 1, 300, 150, 200, 100},  // enlarged window: 2/3
        {320, 240, 240, 1, 90, 30, 120, 40},     // reduced window: 4/3
        {320, 320, 320, 0, 1e9, -1e9, 319, 0},
    };
    for (const Case& c : cases) {
        config_.screenWidth = c.screenWidth;
        config_.windowWidth = c.windowWidth;
        config_.windowHeight = c.windowHeight;
        config_.penScaling = c.scaling;
        Reconfigure();
        gPens.clear();
        EXPECT_EQ(Mouse(GDK_BUTTON_PRESS, c.x, c.y), 0);
        ASSERT_EQ(gPens.size(), 1u);
        EXPECT_EQ(gPens[0].x, c.expectX) << c.x;
        EXPECT_EQ(gPens[0].y, c.expectY) << c.y;
    }
    gPens.clear();
    EXPECT_EQ(Mouse(GDK_MOTION_NOTIFY, 5, 6), 0);
    EXPECT_EQ(Mouse(GDK_BUTTON_RELEASE, 5, 6), 0);
    EXPECT_EQ(Mouse(GDK_ENTER_NOTIFY, 5, 6), 0xFFFF);
    ASSERT_EQ(gPens.size(), 2u);
    EXPECT_EQ(gPens[1].x, 0xFFFF);
    EXPECT_EQ(gPens[1].y, 0xFFFF);
    EXPECT_EQ(HALEventLastPen().x, 0xFFFF);
}

TEST_F(Events, KeysCarryModifiersRepeatsAndHardKeyBits) {
    EXPECT_EQ(Key(GDK_KEY_PRESS, 'a', GDK_SHIFT_MASK), 0);
    EXPECT_EQ(Key(GDK_KEY_PRESS, 'a', GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_LOCK_MASK), 0);
    EXPECT_EQ(Key(GDK_KEY_RELEASE, 'a'), 0xFFFF);
    ASSERT_EQ(gKeys.size(), 2u);
    EXPECT_EQ(gKeys[0].character, 'a');
    EXPECT_EQ(gKeys[0].modifiers, 0x0001);
    EXPECT_EQ(gKeys[1].modifiers, 0x0001 | 0x0040 | 0x0020 | 0x0010 | 0x0002);

    // Arrows and the like; a bound key; a value without character.
    gKeys.clear();
    config_.keyBindings[0][0] = GDK_F5;
    config_.keyBindings[0][1] = 520;  // a hard key: mask 0x1
    Reconfigure();
    Key(GDK_KEY_PRESS, GDK_Up);
    EXPECT_EQ(Key(GDK_KEY_PRESS, GDK_F6), 0xFFFF);
    Key(GDK_KEY_PRESS, GDK_F5);
    ASSERT_EQ(gKeys.size(), 2u);
    EXPECT_EQ(gKeys[0].character, 30);
    EXPECT_EQ(gKeys[1].character, 520);
    EXPECT_EQ(gKeys[1].modifiers & 0x0008, 0x0008);  // a virtual character
    EXPECT_EQ(HALEventHardKeys(), 0x1u);
    EXPECT_EQ(Key(GDK_KEY_RELEASE, GDK_F5), 0xFFFF);
    EXPECT_EQ(gKeys.size(), 2u);  // a release posts nothing
    EXPECT_EQ(HALEventHardKeys(), 0u);

    // Control+Shift+B is the 68K debug break key.
    gKeys.clear();
    Key(GDK_KEY_PRESS, 'B', GDK_SHIFT_MASK | GDK_CONTROL_MASK);
    ASSERT_EQ(gKeys.size(), 1u);
    EXPECT_EQ(gKeys[0].character, 0x0102);
    EXPECT_EQ(gKeys[0].modifiers & 0x0008, 0x0008);
    EXPECT_EQ(Key(GDK_KEY_PRESS, 'b', GDK_CONTROL_MASK | GDK_MOD1_MASK), 0xFFFF);
    EXPECT_EQ(gKeys.size(), 1u);
}

TEST_F(Events, TranslationTable) {
    struct Case {
        uint32_t key;
        uint16_t character;
    };
    const Case cases[] = {{GDK_Down, 31},      {GDK_Left, 28},      {GDK_Right, 29},   {GDK_Return, 10},
                          {GDK_KP_Enter, 10},  {GDK_BackSpace, 8},  {GDK_Tab, 9},      {GDK_KP_7, '7'},
                          {'z', 'z'},          {0xE9, 0xE9},        {GDK_Escape, 0},   {0x1234, 0}};
    for (const Case& c : cases) EXPECT_EQ(KEZ_CALL(HALKeyTranslate, c.key, GDK_KEY_PRESS), c.character) << c.key;
    struct Mask {
        uint16_t character;
        uint32_t mask;
    };
    const Mask masks[] = {{520, 0x1}, {11, 0x2}, {306, 0x2}, {307, 0x4}, {519, 0x40}, {310, 0x04100000}, {'a', 0}};
    for (const Mask& m : masks) EXPECT_EQ(KEZ_CALL(HALKeyCodeToMask, m.character), m.mask) << m.character;
}

TEST_F(Events, MultiTapCyclesThroughTheLettersOfAKey) {
    config_.deviceType = FourCC("redp");
    Reconfigure();
    Tap('2');
    Tap('2');
    Tap('2');
    std::vector<uint16_t> typed;
    for (const KezKeyEventRecord& k : gKeys) typed.push_back(k.character);
    EXPECT_EQ(typed, (std::vector<uint16_t>{'a', 8, 'b', 8, 'c'}));

    // Another key starts a new cycle; Shift_L makes the next key's letters upper case, then
    // (pressed again) latches, then upper case for good, then digits.
    gKeys.clear();
    Tap('3');
    Tap(GDK_Shift_L);
    Tap('4');
    Tap('4');
    Tap(GDK_Shift_L);
    Tap(GDK_Shift_L);
    Tap(GDK_Shift_L);
    Tap('5');
    Tap(GDK_KP_5);
    typed.clear();
    for (const KezKeyEventRecord& k : gKeys) typed.push_back(k.character);
    EXPECT_EQ(typed, (std::vector<uint16_t>{'d', 'G', 8, 'H', '5', '5'}));
}

TEST_F(Events, TheQuitKeyAsksToQuit) {
    config_.quitKey = GDK_F12;
    Reconfigure();
    std::thread waiter([] { EXPECT_EQ(PrvKezWaitForExitRequest(), 3); });
    EXPECT_EQ(Key(GDK_KEY_PRESS, GDK_F12), 0xFFFF);
    waiter.join();
    // The request posted the shutdown key.
    ASSERT_EQ(gKeys.size(), 1u);
    EXPECT_EQ(gKeys[0].character, 0x0140);
    EXPECT_EQ(gKeys[0].keyCode, 0x0C1F);
    EXPECT_EQ(gKeys[0].modifiers, 0x0008);
}

}  // namespace
}  // namespace kez::testing
