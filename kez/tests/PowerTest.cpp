// Power, keys, auto-off and sleep through Kez's slots: the start values, the run lock of the power
// mode, the auto-off key of the housekeeping check, and a task's sleep woken by pen, key and
// alarm events.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "kez/src/HALEvent.h"
#include "kez/src/KezServices.h"
#include "kez/tests/KezTestSupport.h"

namespace kez {
void PrvHALPowerAutoOffCheck();
}

namespace kez::testing {
namespace {

std::mutex gKeysLock;
std::vector<uint16_t> gKeys;

uint16_t OnKey(void* record) {
    std::lock_guard lock(gKeysLock);
    gKeys.push_back(static_cast<KezKeyEventRecord*>(record)->character);
    return 0;
}
uint16_t OnOther(void*) { return 0; }

std::vector<uint16_t> Keys() {
    std::lock_guard lock(gKeysLock);
    return gKeys;
}

class Power : public KezKernelTest {
protected:
    Power() : KezKernelTest(true) {}
    void SetUp() override {
        KezKernelTest::SetUp();
        PrvHALPowerInitialize();
        PrvHALAutoOffInitialize();
        PrvHALEventInitializePen();
        KEZ_CALL(HALEventSetHandler, 0u, OnOther, nullptr);
        KEZ_CALL(HALEventSetHandler, 1u, OnKey, nullptr);
        KEZ_CALL(HALEventSetHandler, 2u, OnOther, nullptr);
        std::lock_guard lock(gKeysLock);
        gKeys.clear();
    }
    void TearDown() override {
        PrvHALEventClearHandlers();
        KezKernelTest::TearDown();
    }
};

TEST_F(Power, StartValuesAndSettings) {
    uint16_t delay = 0, period = 0;
    uint8_t flag = 9;
    EXPECT_EQ(KEZ_CALL(HALKeyGetRate, &delay, &period, &flag), 0);
    EXPECT_EQ(delay, 1000);
    EXPECT_EQ(period, 250);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(KEZ_CALL(HALKeyGetRate, nullptr, nullptr, nullptr), 0);
    KEZ_CALL(HALKeySetRate, 500, 100, 1);
    EXPECT_EQ(KEZ_CALL(HALKeyGetRate, &delay, &period, &flag), 0);
    EXPECT_EQ(delay, 500);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(KEZ_CALL(HALKeySetMask, 0x12u), 0xFFFFFFFFu);
    EXPECT_EQ(KEZ_CALL(HALKeySetMask, 0x34u), 0x12u);
    uint16_t flags = 0;
    EXPECT_EQ(KEZ_CALL(HALEventGetFlags, &flags), 0);
    EXPECT_EQ(flags, 500);
    KEZ_CALL(HALEventSetFlags, 7);
    KEZ_CALL(HALEventGetFlags, &flags);
    EXPECT_EQ(flags, 7);
    EXPECT_EQ(KEZ_CALL(HALEventGetFlags, nullptr), 0);
    KezPenEventRecord pen{};
    KEZ_CALL(HALPenGetPosition, &pen);
    EXPECT_EQ(pen.x, 0xFFFF);
    EXPECT_EQ(pen.y, 0xFFFF);
    KezPenEventRecord point{10, 20};
    KEZ_CALL(HALPenRawToScreen, &point);
    EXPECT_EQ(point.x, 10);
    EXPECT_EQ(KEZ_CALL(HALPowerGetMode), 1);
    KEZ_CALL(HALPowerSetAutoOffTime, 60);
    EXPECT_EQ(KEZ_CALL(HALPowerGetAutoOffTime), 60);
    KEZ_CALL(HALPowerSetLastActivity, 1234u);
    EXPECT_EQ(KEZ_CALL(HALPowerGetLastActivity), 1234u);
}

TEST_F(Power, LeavingRunningModeHoldsTheRunLockUntilItReturns) {
    std::atomic<int> step{0};
    std::thread task([&] {
        EXPECT_EQ(KEZ_CALL(HALPowerSetMode, 2), 1);
        EXPECT_EQ(KEZ_CALL(HALPowerSetMode, 3), 2);  // still held once
        step = 1;
        while (step != 2) std::this_thread::yield();
        EXPECT_EQ(KEZ_CALL(HALPowerSetMode, 1), 3);
        step = 3;
    });
    ASSERT_TRUE(Eventually([&] { return step == 1; }));
    EXPECT_NE(pthread_mutex_trylock(&gKez.runLock), 0);  // the task holds it
    step = 2;
    ASSERT_TRUE(Eventually([&] { return step == 3; }));
    task.join();
    ASSERT_EQ(pthread_mutex_trylock(&gKez.runLock), 0);  // released on the return to mode 1
    pthread_mutex_unlock(&gKez.runLock);
    EXPECT_EQ(KEZ_CALL(HALPowerGetMode), 1);
}

TEST_F(Power, AutoOffPostsItsKeyAtEachCheckUntilActivity) {
    uint32_t now = KEZ_CALL(HALTimeGetTicks);
    KEZ_CALL(HALPowerSetLastActivity, now - 61000);
    PrvHALPowerAutoOffCheck();  // auto-off 0: never
    EXPECT_TRUE(Keys().empty());
    KEZ_CALL(HALPowerSetAutoOffTime, 60);
    PrvHALPowerAutoOffCheck();
    PrvHALPowerAutoOffCheck();
    EXPECT_EQ(Keys(), (std::vector<uint16_t>{0x0114, 0x0114}));
    KezPenEventRecord pen{5, 5};
    KEZ_CALL(HALEventPost, 0u, &pen);  // activity
    PrvHALPowerAutoOffCheck();
    EXPECT_EQ(Keys().size(), 2u);
}

TEST_F(Power, SleepEndsWithAPenKeyOrAlarmEvent) {
    struct Case {
        uint32_t kind;
        bool wokenKey;
    };
    for (Case c : {Case{1, true}, Case{0, true}, Case{2, false}}) {
        {
            std::lock_guard lock(gKeysLock);
            gKeys.clear();
        }
        std::atomic<bool> done{false};
        std::thread sleeper([&] {
            EXPECT_EQ(KEZ_CALL(HALPowerSleep), 0);
            done = true;
        });
        ASSERT_TRUE(Eventually([] { return PrvHALPowerIsSleeping(); }, 30));
        EXPECT_FALSE(done);
        KezKeyEventRecord key{'a', 0, 0, 0};
        KezPenEventRecord pen{3, 4};
        void* record = c.kind == 1 ? static_cast<void*>(&key) : static_cast<void*>(&pen);
        KEZ_CALL(HALEventPost, c.kind, record);
        sleeper.join();
        EXPECT_FALSE(PrvHALPowerIsSleeping());
        std::vector<uint16_t> keys = Keys();
        // The sleeper posts its key from its own thread, before or after the waking key lands.
        bool woken = std::find(keys.begin(), keys.end(), uint16_t{0x012D}) != keys.end();
        EXPECT_EQ(woken, c.wokenKey) << "kind " << c.kind;
    }
}

}  // namespace
}  // namespace kez::testing
