#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/OsTimer.h"
#include "tamsk/devices/Rtc.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/board/HostThreads.h"

namespace tamsk {
namespace {

std::vector<std::string> g_log;

void Log(uint32_t argument) { g_log.push_back("A" + std::to_string(argument)); }
void Other(uint32_t argument) { g_log.push_back("B" + std::to_string(argument)); }
// Schedules Log(argument + 100) with delay 0 from inside a callback.
void ScheduleNow(uint32_t argument) {
    g_log.push_back("S" + std::to_string(argument));
    EvtSchedule(0, Log, argument + 100);
}

class Scheduler : public ::testing::Test {
protected:
    void SetUp() override {
        OptLoadDefaults();
        Opt.DumpMips = 0;
        OsTimerReset(kRunPowerOn);
        EvtReset();
        EvtCancel(EvtStatusTick, 0);
        InstructionCountdown = TimingRatio();
        g_log.clear();
    }
    // Runs `n` ticks the way the core does, one instruction at a time.
    void Ticks(uint64_t n) {
        for (uint64_t i = 0; i < n * TimingRatio(); ++i) TimingStep();
    }
};

TEST_F(Scheduler, DueOrderNewestFirstAmongEqualTimes) {
    EvtSchedule(5, Log, 1);
    EvtSchedule(3, Log, 2);
    EvtSchedule(5, Log, 3);
    EvtSchedule(9, Other, 4);
    Ticks(4);
    EXPECT_EQ(g_log, (std::vector<std::string>{"A2"}));
    Ticks(1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"A2", "A3", "A1"}));
    Ticks(4);
    EXPECT_EQ(g_log.back(), "B4");
    EXPECT_EQ(FutureEventCount, 0u);
    EXPECT_EQ(EvtCountdown, 0u);
    EXPECT_EQ(EmulatedTicks, 9u);
}

TEST_F(Scheduler, ZeroDelayIsDueNowAndKeepsTheQueueGoing) {
    // On an empty table, at the head: runs at the next tick, and later events still run.
    EvtSchedule(0, Log, 1);
    EvtSchedule(2, Log, 2);
    EXPECT_NE(EvtCountdown, 0u);
    Ticks(1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"A1"}));
    Ticks(1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"A1", "A2"}));

    // Scheduled from a callback while an earlier event of the same tick is still due: runs first.
    g_log.clear();
    EvtSchedule(3, Other, 7);
    EvtSchedule(3, ScheduleNow, 5);
    Ticks(3);
    EXPECT_EQ(g_log, (std::vector<std::string>{"S5", "A105", "B7"}));
}

TEST_F(Scheduler, CancelRemovesEveryMatchAndKeepsOrder) {
    EvtSchedule(4, Log, 1);
    EvtSchedule(2, Other, 1);
    EvtSchedule(6, Log, 1);
    EvtSchedule(5, Log, 2);
    EvtSchedule(1, Log, 1);
    EvtCancel(Log, 1);
    ASSERT_EQ(FutureEventCount, 2u);
    EXPECT_EQ(FutureEventTable[0].callback, &Other);
    EXPECT_EQ(FutureEventTable[1].argument, 2u);
    EXPECT_FALSE(EvtIsScheduled(Log, 1));
    Ticks(6);
    EXPECT_EQ(g_log, (std::vector<std::string>{"B1", "A2"}));
}

TEST_F(Scheduler, AdvanceKeepsTheTableSorted) {
    EvtSchedule(10, Log, 1);
    EvtSchedule(20, UartTransmitPacing, 0);
    EvtSchedule(30, Log, 3);
    EvtSchedule(40, Log, 4);
    auto dues = [] {
        std::vector<uint64_t> d;
        for (unsigned i = 0; i < FutureEventCount; ++i) d.push_back(FutureEventTable[i].due);
        return d;
    };
    EvtAdvance(35, 0);  // later: moves behind the entry due at 30
    EXPECT_EQ(dues(), (std::vector<uint64_t>{10, 30, 35, 40}));
    EXPECT_EQ(FutureEventTable[2].callback, &UartTransmitPacing);
    EvtAdvance(5, 0);   // earlier: to the head, and the countdown follows
    EXPECT_EQ(dues(), (std::vector<uint64_t>{5, 10, 30, 40}));
    EXPECT_EQ(EvtCountdown, 5u);
    EvtAdvance(50, 7);  // no pending transmit event for this UART: nothing moves
    EXPECT_EQ(dues(), (std::vector<uint64_t>{5, 10, 30, 40}));
}

TEST_F(Scheduler, FarEntriesWaitTheirTurn) {
    // More than 2^32 - 1 ticks ahead: the countdown is clamped and the entry does not run early.
    FutureEventTable[0] = {EmulatedTicks + (uint64_t(1) << 33), Log, 1};
    FutureEventCount = 1;
    EvtSetCountdownFromHead();
    EXPECT_EQ(EvtCountdown, 0xFFFFFFFFu);
    CpuAdvanceTicks(0xFFFFFFFF);
    EXPECT_TRUE(g_log.empty());
    EXPECT_EQ(FutureEventCount, 1u);
    EXPECT_EQ(EvtCountdown, 0xFFFFFFFFu);
    CpuAdvanceTicks(0xFFFFFFFF);
    EXPECT_EQ(EvtCountdown, 2u);
    CpuAdvanceTicks(1);
    EXPECT_TRUE(g_log.empty());
    CpuAdvanceTicks(1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"A1"}));
}

TEST_F(Scheduler, AdvanceTicksStopsAtTheNextDueThing) {
    OsTimer.match[1] = 1000;
    OsTimer.enable = 2;
    EvtSchedule(700, Log, 1);
    EXPECT_EQ(CpuTicksToNextDue(), 700u);
    CpuAdvanceTicks(CpuTicksToNextDue());
    EXPECT_EQ(g_log, (std::vector<std::string>{"A1"}));
    EXPECT_EQ(CpuTicksToNextDue(), 300u);
    CpuAdvanceTicks(300);
    EXPECT_EQ(OsTimer.status, 2u);
    EXPECT_EQ(OsTimer.counter, 1000u);
    EXPECT_EQ(CpuTicksToNextDue(), 0xFFFFFFFEu);  // the match is a whole wrap away
    OsTimer.enable = 0;
    EXPECT_EQ(CpuTicksToNextDue(), 0xFFFFFFFFu);   // nothing armed
}

TEST_F(Scheduler, PlainTicksEndJustBeforeTheFirstTickThatDoesSomething) {
    // Skipping the plain ticks, then one ordinary tick, meets the match or the event exactly.
    struct Case {
        uint32_t counter, match, enable, eventDelay;
        uint32_t plain;
    };
    const Case cases[] = {
        {0, 1000, 1, 0, 999},                     // a match ahead
        {0, 1000, 0, 0, 0xFFFFFFFF},              // a disabled match does nothing
        {0xFFFFFF00, 0x10, 1, 0, 0x10F},          // ahead across the wrap
        {500, 500, 1, 0, 0xFFFFFFFF},             // equal: met again after a whole wrap
        {0, 1000, 1, 300, 299},                   // the event falls due first
    };
    for (const Case& c : cases) {
        SetUp();
        OsTimer.counter = c.counter;
        OsTimer.match[0] = c.match;
        OsTimer.enable = c.enable;
        if (c.eventDelay) EvtSchedule(c.eventDelay, Log, 1);
        const uint32_t plain = TimingPlainTicks();
        EXPECT_EQ(plain, c.plain) << c.counter;
        if (plain == 0xFFFFFFFF) continue;
        TimingSkipTicks(plain);
        EXPECT_TRUE(g_log.empty());
        EXPECT_EQ(OsTimer.status, 0u);
        TimingTick();
        EXPECT_EQ(EmulatedTicks, plain + 1ull);
        EXPECT_EQ(OsTimer.counter, c.counter + plain + 1);
        EXPECT_TRUE(OsTimer.status == 1 || !g_log.empty()) << c.counter;
    }
}

TEST_F(Scheduler, PendingBitsFromManyThreadsAreAllServed) {
    PendingEventWord = 0;
    std::vector<std::thread> threads;
    for (unsigned n = 0; n < 8; ++n)
        threads.emplace_back([n] {
            for (unsigned i = 0; i < 1000; ++i) PendingOrBits(1u << n, 1u << n);
        });
    uint64_t seen = 0;
    for (auto& t : threads) t.join();
    seen = PendingEventWord.exchange(0);
    EXPECT_EQ(seen, 0x000000FF000000FFull);
    CpuRequestAttention(kPendingEndRun);
    EXPECT_TRUE(CpuServicePending());
    EXPECT_EQ(PendingEventWord.load(), 0u);
}

using Ms = std::chrono::milliseconds;
long Since(std::chrono::steady_clock::time_point t) {
    return long(std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - t).count());
}

TEST_F(Scheduler, IdleSleepsUntilTheNextMatchOrARequest) {
    HostStartCoreThread(kRunPowerOn);  // the core's wake event
    Opt.EnableIdle = 0;
    auto start = std::chrono::steady_clock::now();
    CpuIdle();  // without EnableIdle: returns at once
    EXPECT_EQ(EmulatedTicks, 0u);

    // Nothing armed: waits until another thread asks for attention.
    Opt.EnableIdle = 1;
    PendingEventWord = 0;
    std::thread requester([] {
        std::this_thread::sleep_for(Ms(60));
        CpuRequestAttention(kPendingKeypad);
    });
    start = std::chrono::steady_clock::now();
    CpuIdle();
    EXPECT_GE(Since(start), 50);
    requester.join();
    EXPECT_EQ(PendingEventWord.exchange(0), uint64_t(1) << kPendingKeypad);

    // A match 20 ms ahead: sleeps about that long, and time arrives exactly at the match.
    OsTimer.counter = EmulatedTicks = 0;
    OsTimer.match[0] = kTicksPerSecond / 50;
    OsTimer.enable = 1;
    IdleLagMs = 0;
    start = std::chrono::steady_clock::now();
    while (!(OsTimer.status & 1) && Since(start) < 2000) CpuIdle();
    EXPECT_GE(Since(start), 18);
    EXPECT_EQ(OsTimer.counter, kTicksPerSecond / 50);

    // A carried-over lag shortens the next wait by as much.
    OsTimer.status = 0;
    OsTimer.match[0] = OsTimer.counter + kTicksPerSecond / 10;  // 100 ms
    // (95 of the 100 ms: a 5 ms wait, far from 100 ms even on a loaded machine.)
    IdleLagMs = 95;
    start = std::chrono::steady_clock::now();
    CpuIdle();
    EXPECT_LT(Since(start), 95);
    EXPECT_LT(IdleLagMs, 95u);  // used up (only an oversleep adds to it again)
    EXPECT_FALSE(OsTimer.status & 1);
}

TEST_F(Scheduler, IdleWithoutEnableIdleSkipsToTheNextDueThing) {
    // Time moves on at once to whichever comes first, the event or the enabled match, and lands on
    // it; an interrupt already waiting (unmasked at the controller, whatever the processor's mask)
    // or nothing armed leaves time alone.
    Opt.EnableIdle = 0;
    IntcReset(kRunPowerOn);
    Intc.mask[0] = 1u << kIrqOsTimer0;
    OsTimer.match[0] = 1000;
    OsTimer.match[1] = 400;  // not enabled: no stop there
    OsTimer.enable = 1;
    EvtSchedule(700, Log, 1);
    ASSERT_TRUE(CpuIdleWaits());
    CpuIdle();
    EXPECT_EQ(EmulatedTicks, 700u);
    EXPECT_EQ(g_log, (std::vector<std::string>{"A1"}));
    EXPECT_EQ(OsTimer.status, 0u);
    CpuIdle();
    EXPECT_EQ(EmulatedTicks, 1000u);
    EXPECT_EQ(OsTimer.status, 1u);
    EXPECT_TRUE(Intc.present);
    EvtSchedule(50, Log, 2);
    EXPECT_FALSE(CpuIdleWaits());  // the match's interrupt waits
    CpuIdle();
    EXPECT_EQ(EmulatedTicks, 1000u);
    // Served and disabled: only the event is left, then nothing.
    OsTimerWrite(kOsTimerBase + 0x14, 1);
    OsTimer.enable = 0;
    CpuIdle();
    EXPECT_EQ(EmulatedTicks, 1050u);
    EXPECT_EQ(g_log.back(), "A2");
    EXPECT_FALSE(CpuIdleWaits());
    CpuIdle();
    EXPECT_EQ(EmulatedTicks, 1050u);
    IntcReset(kRunPowerOn);
}

TEST(StatusLine, RateClockAndAddress) {
    struct Case {
        uint64_t instructions;
        uint32_t ms;
        uint32_t seconds;
        uint32_t ip;
        const char* text;
    } cases[] = {
        {12345678, 1000, 65, 0xC0A80165, "12.3  1:05  192.168.1.101"},
        {999, 1000, 0, 0, "0.0  0:00  0.0.0.0"},
        {50000000, 0, 3599, 0x0A000001, "50000.0  59:59  10.0.0.1"},  // 0 ms: no division by 0
    };
    for (const Case& c : cases)
        EXPECT_EQ(EvtFormatRate(c.instructions, c.ms, c.seconds, c.ip), c.text);
}

TEST(SchedulerDeathTest, FatalConditions) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    EXPECT_EXIT(
        {
            EvtReset();
            for (unsigned i = 0; i <= kFutureEventCapacity; ++i) EvtSchedule(i, Log, i);
        },
        fatal, "Future events table overflow");
    EXPECT_EXIT(EvtCallbackId(Log), fatal, "Unidentified callback passed");
    EXPECT_EXIT(EvtCallbackFromId(10), fatal, "Unexpected callback identifier");
}

TEST(SchedulerDeathTest, TimeLimitCountsDownInTheTitleThenExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    OptLoadDefaults();
    Opt.TimeLimit = 3;
    EvtReset();
    InstructionCountdown = 1;
    const uint32_t rtc = Rtc.seconds;
    CpuAdvanceTicks(kTicksPerSecond);
    EXPECT_EQ(EvtStatusLine(), "33% complete");
    CpuAdvanceTicks(kTicksPerSecond);
    EXPECT_EQ(EvtStatusLine(), "66% complete");
    EXPECT_EQ(Rtc.seconds, rtc + 2);
    EXPECT_EXIT(CpuAdvanceTicks(kTicksPerSecond), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tamsk
