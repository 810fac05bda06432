// The stand-in attention manager: counts and iteration of pending attentions, the dialog of an
// insistent one with notification off and on, closed and reopened, the list with its selection,
// "Got it" and "Done", and the indicator's state, blink pattern and tap. No Kez is loaded, so
// nothing is painted; the callbacks run all the same.
#include <cstring>
#include <vector>

#include "common/FourCC.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "standin/os/StandinTest.h"
#include "standin/os/ui/UiDialog.h"

namespace vantor::os {
namespace {

namespace us = uislot;

// One call of an attention's callback, with its parameters as the manager gave them.
struct Heard {
    uint16_t command;
    uint32_t userData;
    NativeAttnDrawArgs draw;
    uint8_t byUser;
    uint32_t value;
};
std::vector<Heard> heard;
// Set by a test: the user value whose iteration forgets attention (kDb, forgetOnIterate).
uint32_t forgetOnIterate = 0;

constexpr uint32_t kDb = 0x41414141, kOtherDb = 0x42424242;
constexpr uint16_t kInsistent = 0, kSubtle = 1;

uint16_t Callback(uint16_t command, uint32_t userData, void* args) {
    Heard h{command, userData, {}, 0, 0};
    if (command == kAttnCommandDrawDetail || command == kAttnCommandDrawList)
        h.draw = *static_cast<NativeAttnDrawArgs*>(args);
    if (command == kAttnCommandGotIt) h.byUser = *static_cast<uint8_t*>(args);
    if (command == kAttnCommandIterate) h.value = *static_cast<uint32_t*>(args);
    heard.push_back(h);
    if (command == kAttnCommandIterate && forgetOnIterate && userData != forgetOnIterate)
        Sys<uint8_t(uint16_t, uint32_t, uint32_t)>(sysslot::AttnForgetIt, uint16_t{0}, kDb, forgetOnIterate);
    return 0;
}

class UiAttentionTest : public StandinTest {
  protected:
    void SetUp() override {
        StandinTest::SetUp();
        heard.clear();
        forgetOnIterate = 0;
    }
    static void Ask(uint32_t db, uint32_t user, uint16_t level, uint32_t flags = 0) {
        ASSERT_EQ((Sys<uint16_t(uint16_t, uint32_t, uint32_t, NativeAttnCallback, uint16_t, uint32_t,
                                uint16_t, uint16_t)>(sysslot::AttnGetAttention, uint16_t{0}, db, user,
                                                     &Callback, level, flags, uint16_t{0}, uint16_t{0})),
                  0);
    }
    // Total, insistent and subtle counts of a database.
    static std::vector<uint16_t> Counts(uint32_t db) {
        uint16_t insistent = 0xFFFF, subtle = 0xFFFF;
        const uint16_t total = Sys<uint16_t(uint16_t, uint32_t, uint16_t*, uint16_t*)>(
            sysslot::AttnGetCounts, uint16_t{0}, db, &insistent, &subtle);
        return {total, insistent, subtle};
    }
    // The system's handling of an event: whether it took it.
    static bool System(uint16_t type, int16_t x = 0, int16_t y = 0) {
        SysEventType e{};
        e.eType = type;
        e.screenX = x;
        e.screenY = y;
        return Sys<uint8_t(const void*)>(sysslot::SysHandleEvent, static_cast<const void*>(&e)) != 0;
    }
    // Takes the queued events; answers how many nil events were among them.
    static int NilEventsQueued() {
        int nils = 0;
        for (SysEventType e{}; PendingEvents() > 0;) {
            Sys<syssig::EvtGetEvent>(sysslot::EvtGetEvent, &e, int32_t{0});
            nils += e.eType == 0;
        }
        return nils;
    }
    // The commands heard since the last call, with their user values.
    static std::vector<std::pair<uint16_t, uint32_t>> Commands() {
        std::vector<std::pair<uint16_t, uint32_t>> c;
        for (const Heard& h : heard) c.emplace_back(h.command, h.userData);
        heard.clear();
        return c;
    }
    using Calls = std::vector<std::pair<uint16_t, uint32_t>>;
};

TEST_F(UiAttentionTest, CountsAndIterationGoByDatabaseAndSkipAttentionsForgottenMeanwhile) {
    Ask(kDb, 1, kInsistent);
    Ask(kDb, 2, kSubtle);
    Ask(kDb, 3, kSubtle);
    Ask(kOtherDb, 4, kInsistent);
    Ask(kDb, 2, kSubtle);  // the same attention again: still one
    EXPECT_EQ(Counts(0), (std::vector<uint16_t>{4, 2, 2}));
    EXPECT_EQ(Counts(kDb), (std::vector<uint16_t>{3, 1, 2}));
    EXPECT_EQ(Counts(kOtherDb), (std::vector<uint16_t>{1, 1, 0}));
    EXPECT_EQ(Counts(0x43434343), (std::vector<uint16_t>{0, 0, 0}));

    Sys<void(uint16_t, uint32_t, uint32_t)>(sysslot::AttnIterate, uint16_t{0}, kOtherDb, 0x12345678u);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].userData, 4u);
    EXPECT_EQ(heard[0].value, 0x12345678u);
    heard.clear();
    // The first one's callback forgets the third, which is then not called.
    forgetOnIterate = 3;
    Sys<void(uint16_t, uint32_t, uint32_t)>(sysslot::AttnIterate, uint16_t{0}, kDb, 7u);
    EXPECT_EQ(Commands(), (Calls{{kAttnCommandIterate, 1}, {kAttnCommandIterate, 2}}));
    EXPECT_EQ(Counts(kDb), (std::vector<uint16_t>{2, 1, 1}));
    EXPECT_EQ((Sys<uint8_t(uint16_t, uint32_t, uint32_t)>(sysslot::AttnForgetIt, uint16_t{0}, kDb, 3u)), 0);
}

TEST_F(UiAttentionTest, TheDialogShowsInsistentAttentionsWhileNotificationIsOnAndComesBackWhenReopened) {
    const int16_t okX = ui::kDialogBox.x + 8, okY = ui::kDialogBox.y + ui::kDialogBox.h - 12;
    Ask(kDb, 1, kSubtle);
    EXPECT_EQ(NilEventsQueued(), 0);  // only listed
    Ui<void(uint8_t)>(us::AttnEnableNotification, uint8_t{0});
    Ask(kDb, 2, kInsistent);
    EXPECT_EQ(NilEventsQueued(), 0);
    EXPECT_FALSE(System(0));
    EXPECT_FALSE(System(1, okX, okY));
    EXPECT_TRUE(heard.empty());

    Ui<void(uint8_t)>(us::AttnEnableNotification, uint8_t{1});
    EXPECT_EQ(NilEventsQueued(), 1);
    EXPECT_FALSE(System(0));
    ASSERT_EQ(Commands(), (Calls{{kAttnCommandDrawDetail, 2}}));
    // Closed for an application switch: no longer taking pens, not dismissed, not shown again at
    // the next nil event.
    Ui<void()>(us::AttnAllowClose);
    EXPECT_FALSE(System(1, okX, okY));
    EXPECT_FALSE(System(0));
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(Counts(kDb)[0], 2);

    Ui<void()>(us::AttnReopen);
    EXPECT_EQ(NilEventsQueued(), 1);
    EXPECT_FALSE(System(0));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].draw.firstTime, 1);
    heard.clear();
    EXPECT_TRUE(System(1, 100, 10));  // beside OK: taken, nothing happens
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(System(1, okX, okY));
    ASSERT_EQ(Commands(), (Calls{{kAttnCommandGotIt, 2}}));
    EXPECT_EQ(Counts(kDb), (std::vector<uint16_t>{1, 0, 1}));
    EXPECT_EQ(NilEventsQueued(), 0);  // the subtle one is not shown
}

TEST_F(UiAttentionTest, TheListDrawsEachAttentionInItsRowSelectsByTapAndDismissesTheSelectedOne) {
    Ask(kDb, 1, kInsistent, 0x10);
    Ask(kDb, 2, kSubtle, 0x20);
    Ask(kOtherDb, 3, kSubtle, 0x30);
    NilEventsQueued();
    Ui<void()>(us::AttnListOpen);
    ASSERT_EQ(heard.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(heard[i].command, kAttnCommandDrawList);
        EXPECT_EQ(heard[i].userData, i + 1);
        EXPECT_EQ(heard[i].draw.flags, 0x10 * (i + 1));
        EXPECT_EQ(heard[i].draw.firstTime, 1);
        EXPECT_EQ(heard[i].draw.selected, 0);
        EXPECT_EQ(heard[i].draw.bounds.y, ui::kAttnListBox.y + 16 + 20 * static_cast<int>(i));
        EXPECT_EQ(heard[i].draw.bounds.height, 18);
    }
    heard.clear();

    const int16_t buttonY = ui::kAttnListBox.y + ui::kAttnListBox.h - 12, doneX = 12, gotItX = 56;
    EXPECT_TRUE(System(1, gotItX, buttonY));  // nothing selected: nothing dismissed
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(System(1, 60, ui::kAttnListBox.y + 16 + 20 + 5));  // the second row
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[1].draw.selected, 1);
    EXPECT_EQ(heard[0].draw.selected + heard[2].draw.selected, 0);
    EXPECT_EQ(heard[1].draw.firstTime, 0);
    heard.clear();
    EXPECT_TRUE(System(1, gotItX, buttonY));
    EXPECT_EQ(Commands(),
              (Calls{{kAttnCommandGotIt, 2}, {kAttnCommandDrawList, 1}, {kAttnCommandDrawList, 3}}));
    EXPECT_EQ(Counts(0)[0], 2);

    // Forgetting a listed attention draws the list again without it.
    EXPECT_EQ((Sys<uint8_t(uint16_t, uint32_t, uint32_t)>(sysslot::AttnForgetIt, uint16_t{0}, kOtherDb, 3u)),
              1);
    EXPECT_EQ(Commands(), (Calls{{kAttnCommandDrawList, 1}}));
    // Done closes the list; the rest stays pending and pens go to the application again.
    EXPECT_TRUE(System(1, doneX, buttonY));
    EXPECT_TRUE(heard.empty());
    EXPECT_FALSE(System(1, 60, ui::kAttnListBox.y + 20));
    EXPECT_EQ(Counts(0)[0], 1);
}

TEST_F(UiAttentionTest, TheIndicatorBlinksByItsPatternWhilePendingAndATapOnItOpensTheList) {
    EXPECT_EQ(Ui<uint8_t()>(us::AttnIndicatorAllowed), 1);
    EXPECT_EQ(Ui<uint8_t()>(us::AttnIndicatorEnabled), 1);
    EXPECT_EQ(Ui<uint16_t()>(us::AttnIndicatorGetBlinkPattern), ui::kAttnDefaultBlinkPattern);
    Ui<void(uint16_t)>(us::AttnIndicatorSetBlinkPattern, uint16_t{0x8001});
    EXPECT_EQ(Ui<uint16_t()>(us::AttnIndicatorGetBlinkPattern), 0x8001);

    const int16_t x = 152, y = 6;  // on the indicator
    EXPECT_EQ(ui::AttnIndicatorTicksTillNextBlink(), -1);
    EXPECT_FALSE(System(1, x, y));
    Ask(kDb, 1, kSubtle);
    const int32_t ticks = ui::AttnIndicatorTicksTillNextBlink();
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, static_cast<int32_t>(ui::kAttnBlinkPhaseTicks));
    for (uint8_t allow : {0, 1}) {
        for (uint8_t enable : {0, 1}) {
            Ui<void(uint8_t)>(us::AttnIndicatorAllow, allow);
            Ui<void(uint8_t)>(us::AttnIndicatorEnable, enable);
            EXPECT_EQ(Ui<uint8_t()>(us::AttnIndicatorAllowed), allow);
            EXPECT_EQ(Ui<uint8_t()>(us::AttnIndicatorEnabled), enable);
            EXPECT_EQ(ui::AttnIndicatorTicksTillNextBlink() >= 0, allow && enable) << +allow << +enable;
            EXPECT_EQ(System(1, x, y), allow && enable) << +allow << +enable;
            if (allow && enable) {
                EXPECT_EQ(Commands(), (Calls{{kAttnCommandDrawList, 1}}));
            }
            EXPECT_TRUE(heard.empty());
            Ui<void()>(us::AttnAllowClose);
            Ui<void()>(us::AttnReopen);
        }
    }
}

// The stand-in device has a speaker only: the sound bit plays the alarm sound, the LED and vibrator
// bits do nothing; every call succeeds.
TEST_F(UiAttentionTest, SpecialEffectsSoundTheAlarmForTheSoundBitOnly) {
    std::vector<uint32_t> sounds;
    OnCall(Library::System, sysslot::SndPlaySystemSound, [&](const SlotCall& call) {
        sounds.push_back(call.args[0] & 0xFF);
        return 0u;
    });
    for (uint32_t flags : {0u, 0x1u, 0x6u, 0x7u})
        EXPECT_EQ(Ui<uint16_t(uint32_t)>(us::AttnDoSpecialEffects, flags), 0) << flags;
    EXPECT_EQ(sounds, (std::vector<uint32_t>{3, 3}));
}

TEST(AttentionIndicatorPattern, EachBitIsAnEighthOfASecondFromBit15Down) {
    struct Case {
        uint16_t pattern;
        uint32_t ticks;
        bool on;
    } cases[] = {
        {0xF0F0, 0, true},     {0xF0F0, 499, true},   {0xF0F0, 500, false}, {0xF0F0, 999, false},
        {0xF0F0, 1000, true},  {0x0001, 1874, false}, {0x0001, 1875, true}, {0x0001, 1999, true},
        {0x0001, 2000, false}, {0x8000, 2000, true},  {0x0000, 0, false},   {0xFFFF, 123456789, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::AttnIndicatorPhaseOn(c.pattern, c.ticks), c.on)
            << std::hex << c.pattern << std::dec << " " << c.ticks;
}

}  // namespace
}  // namespace vantor::os
