// Kez's timers, clock and ticks.
#include <cstdlib>
#include <ctime>

#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

class Time : public KezKernelTest {
protected:
    Time() : KezKernelTest(true) {}
};

std::atomic<int> gFired;
std::atomic<uint32_t> gPeriodicTimer;

TEST_F(Time, TimersFireOnceDisarmAtZeroAndStopAtFifteen) {
    gFired = 0;
    auto count = [](uint32_t) { ++gFired; };
    // The alarm timer of the clock is the first of the 15.
    std::vector<uint32_t> ids;
    uint32_t id = 99;
    while (KEZ_CALL(KALTimerCreate, &id, 7, count, 42) == 0) ids.push_back(id);
    EXPECT_EQ(ids.size(), 14u);
    EXPECT_EQ(KEZ_CALL(KALTimerCreate, &id, 7, count, 42), kalErrNoFreeObject);
    EXPECT_EQ(KEZ_CALL(KALTimerCreate, &id, 7, nullptr, 42), kalErrBadParam);
    uint32_t argument = 0;
    EXPECT_EQ(KEZ_CALL(KALTimerGetUserData, ids[0], &argument), 0);
    EXPECT_EQ(argument, 42u);
    EXPECT_EQ(KEZ_CALL(KALTimerGetUserData, ids[0], nullptr), kalErrBadParam);
    EXPECT_EQ(KEZ_CALL(KALTimerStart, 16, 10), kalErrBadID);

    ASSERT_EQ(KEZ_CALL(KALTimerStart, ids[0], 20), 0);
    ASSERT_EQ(KEZ_CALL(KALTimerStart, ids[1], 20), 0);
    ASSERT_EQ(KEZ_CALL(KALTimerStart, ids[1], 0), 0);  // disarmed, not fired
    ASSERT_TRUE(Eventually([] { return gFired >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(gFired, 1);  // disarmed before its callback ran: once only

    EXPECT_EQ(KEZ_CALL(KALTimerDelete, ids[2]), 0);
    EXPECT_EQ(KEZ_CALL(KALTimerDelete, ids[2]), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALTimerCreate, &id, 7, count, 42), 0);
    EXPECT_EQ(id, ids[2]);  // the lowest free record
}

TEST_F(Time, ACallbackThatRearmsItsTimerFiresAtItsPeriod) {
    gFired = 0;
    uint32_t id;
    ASSERT_EQ(KEZ_CALL(KALTimerCreate, &id, 0,
                       [](uint32_t) {
                           ++gFired;
                           KEZ_CALL(KALTimerStart, gPeriodicTimer, 100);
                       },
                       0),
              0);
    gPeriodicTimer = id;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(KEZ_CALL(KALTimerStart, id, 100), 0);
    // Ten firings come, however loaded the machine; never more than one per 100 ms.
    while (gFired < 10 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int fired = gFired;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    KEZ_CALL(KALTimerDelete, id);
    EXPECT_GE(fired, 10);
    EXPECT_LE(fired, static_cast<int>(seconds * 10) + 1);
}

// Seconds since 1904 in local time, from the host clock.
uint32_t Expected1904() {
    time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    return static_cast<uint32_t>(now + local.tm_gmtoff) + 2082844800u;
}

TEST_F(Time, ClockAgreesWithTheHostInTwoTimeZonesAndKeepsTheUserOffset) {
    std::string saved = getenv("TZ") ? getenv("TZ") : "";
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9"}) {
        setenv("TZ", zone, 1);
        tzset();
        uint32_t expected = Expected1904();
        uint32_t seconds = KEZ_CALL(HALTimeGetSeconds);
        EXPECT_LE(seconds - expected + 1, 2u) << zone << ": " << seconds << " vs " << expected;
    }
    if (saved.empty()) unsetenv("TZ");
    else setenv("TZ", saved.c_str(), 1);
    tzset();

    uint32_t x = 3000000000u;
    EXPECT_EQ(KEZ_CALL(HALTimeSetSeconds, x), 0);
    EXPECT_LE(KEZ_CALL(HALTimeGetSeconds) - x, 1u);
    // A soft reset keeps the offset, a hard one drops it.
    PrvHALTimeDispose();
    PrvHALTimeInitialize(false);
    EXPECT_LE(KEZ_CALL(HALTimeGetSeconds) - x, 1u);
    PrvHALTimeDispose();
    PrvHALTimeInitialize(true);
    EXPECT_LE(KEZ_CALL(HALTimeGetSeconds) - Expected1904() + 1, 2u);
    EXPECT_GT(KEZ_CALL(HALTimeGetClockResolution), 0u);
}

TEST_F(Time, AlarmsInThePastFireAtOnceAndFarOnesWait) {
    uint32_t seconds = 0;
    EXPECT_EQ(KEZ_CALL(HALTimeGetAlarm, &seconds), 0xFFFF);
    uint32_t now = KEZ_CALL(HALTimeGetSeconds);
    ASSERT_EQ(KEZ_CALL(HALTimeSetAlarm, now - 100), 0);
    EXPECT_TRUE(Eventually([] {
        uint32_t s;
        return KEZ_CALL(HALTimeGetAlarm, &s) == 0xFFFF;
    }, 1));

    // Forty days ahead: far beyond the 32-bit milliseconds of the timer.
    ASSERT_EQ(KEZ_CALL(HALTimeSetAlarm, now + 40 * 86400), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(KEZ_CALL(HALTimeGetAlarm, &seconds), 0);
    EXPECT_EQ(seconds, now + 40 * 86400);
    EXPECT_EQ(KEZ_CALL(HALTimeSetAlarm, 0), 0);
}

TEST(Ticks, TheFirstTickIsZeroAndDelaysWait) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process, so that this is the first call of the tick.
    EXPECT_EXIT(
        {
            __SetMyDispatchTable();
            uint32_t first = KEZ_CALL(HALTimeGetTicks);
            KEZ_CALL(HALDelay, 30000);
            uint32_t second = KEZ_CALL(HALTimeGetTicks);
            std::exit(first == 0 && second >= 30 && second < 1000 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kez::testing
