// The random UI-event tester against the stand-in OS (no forms, no active window): the events its
// generator produces through the window's entries, runs that repeat with their seed, the event
// limit and single steps, the hooks it hands the OS in each state, and the application list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "kez/src/HALEvent.h"
#include "kez/src/HALHobgobs.h"
#include "kez/src/KezServices.h"
#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

struct Event {
    uint32_t kind;
    uint16_t a, b;
    bool operator==(const Event&) const = default;
};

std::mutex gLock;
std::vector<Event> gEvents;

uint16_t OnPen(void* record) {
    auto* p = static_cast<KezPenEventRecord*>(record);
    std::lock_guard lock(gLock);
    gEvents.push_back({0, p->x, p->y});
    return 0;
}
uint16_t OnKey(void* record) {
    auto* k = static_cast<KezKeyEventRecord*>(record);
    std::lock_guard lock(gLock);
    gEvents.push_back({1, k->character, k->modifiers});
    return 0;
}
std::vector<Event> TakeEvents() {
    std::lock_guard lock(gLock);
    return std::exchange(gEvents, {});
}

class Hobgobs : public KezKernelTest {
protected:
    void SetUp() override {
        config_.screenWidth = 160;
        config_.screenHeight = 220;
        config_.windowWidth = 160;
        config_.windowHeight = 220;
        config_.screenDepth = 8;
        KezKernelTest::SetUp();
        ASSERT_EQ(KEZ_CALL(HALDisplayInitialize), 0);
        PrvHALEventInitializeKeys();
        PrvHALEventInitializePen();
        KEZ_CALL(HALEventSetHandler, 0u, OnPen, nullptr);
        KEZ_CALL(HALEventSetHandler, 1u, OnKey, nullptr);
        PrvHALTesterInitialize();
        HobgobSetAppList(0, nullptr, 0);
        TakeEvents();
    }
    void TearDown() override {
        HobgobStop();
        HobgobSetAppList(0, nullptr, 0);
        PrvHALEventClearHandlers();
        KEZ_CALL(HALDisplayDispose);
        KezKernelTest::TearDown();
    }
    // The OS's event loop: calls the step hook while there is one, at most `calls` times.
    static int RunLoop(int calls) {
        int n = 0;
        for (; n < calls && gKez.afterConfig[0] != 0; ++n)
            reinterpret_cast<void (*)()>(static_cast<uintptr_t>(gKez.afterConfig[0]))();
        return n;
    }
    static HobgobStatus Status() {
        HobgobStatus s{};
        HobgobGetStatus(&s);
        return s;
    }
    static bool Allowed(uint32_t dbID) {
        return gKez.afterConfig[1] != 0 &&
               reinterpret_cast<uint8_t (*)(uint32_t)>(static_cast<uintptr_t>(gKez.afterConfig[1]))(dbID) != 0;
    }
};

TEST_F(Hobgobs, ARunRepeatsWithItsSeedAndItsEventsStayOnTheScreen) {
    std::vector<Event> runs[2];
    for (auto& run : runs) {
        HobgobStart(1234, 0);
        RunLoop(300);
        HobgobStop();
        run = TakeEvents();
    }
    EXPECT_EQ(runs[0], runs[1]);
    ASSERT_GT(runs[0].size(), 50u);
    size_t pens = 0, keys = 0;
    for (const Event& e : runs[0]) {
        if (e.kind == 0) {
            ++pens;
            if (e.a != 0xFFFF) {
                EXPECT_LT(e.a, 160);
                EXPECT_LT(e.b, 220);
            }
        } else {
            ++keys;
        }
    }
    EXPECT_GT(pens, 0u);
    EXPECT_GT(keys, 0u);
    HobgobStart(99, 0);
    RunLoop(300);
    EXPECT_NE(TakeEvents(), runs[0]);  // another seed, other events
}

TEST_F(Hobgobs, LimitAndSingleStepPauseTheRunAndStartOnlyFromStopped) {
    EXPECT_EQ(gKez.afterConfig[0] | gKez.afterConfig[1] | gKez.afterConfig[2], 0u);
    HobgobStart(7, 3);
    EXPECT_NE(gKez.afterConfig[0], 0u);
    EXPECT_NE(gKez.afterConfig[2], 0u);
    HobgobStart(8, 0);  // while running: nothing changes
    EXPECT_EQ(RunLoop(100), 3);
    HobgobStatus s = Status();
    EXPECT_EQ(s.state, 2u);
    EXPECT_EQ(s.count, 3u);
    EXPECT_EQ(s.seed, 7u);
    EXPECT_EQ(s.limit, 3u);
    // Paused: only the application-allowed hook.
    EXPECT_EQ(gKez.afterConfig[0], 0u);
    EXPECT_NE(gKez.afterConfig[1], 0u);
    EXPECT_EQ(gKez.afterConfig[2], 0u);
    HobgobStart(9, 0);  // while paused: nothing
    EXPECT_EQ(Status().seed, 7u);
    uint32_t wakeups = os::EventLoopWakeups();
    HobgobStep();
    EXPECT_GT(os::EventLoopWakeups(), wakeups);
    EXPECT_EQ(RunLoop(100), 1);
    EXPECT_EQ(Status().state, 2u);
    EXPECT_EQ(Status().count, 4u);
    // The stop hook pauses a running tester; stop clears every hook.
    HobgobResume();
    reinterpret_cast<void (*)()>(static_cast<uintptr_t>(gKez.afterConfig[2]))();
    EXPECT_EQ(Status().state, 2u);
    HobgobStop();
    EXPECT_EQ(Status().state, 0u);
    EXPECT_EQ(gKez.afterConfig[0] | gKez.afterConfig[1] | gKez.afterConfig[2], 0u);
}

TEST_F(Hobgobs, TheApplicationListDecidesWhichApplicationsAreAllowed) {
    uint16_t count = 9;
    uint32_t* list = nullptr;
    uint32_t first = 0;
    EXPECT_FALSE(HobgobGetAppList(&count, &list, &first));
    HobgobStart(1, 0);
    EXPECT_FALSE(Allowed(0));
    HobgobStop();
    uint32_t memo = os::AddDatabase("Memo", FourCC("appl"), FourCC("memo"), 1);
    uint32_t todo = os::AddDatabase("ToDo", FourCC("appl"), FourCC("todo"), 1);
    uint32_t data = os::AddDatabase("MemoDB", FourCC("DATA"), FourCC("memo"), 1);
    const uint32_t creators[] = {FourCC("memo"), FourCC("todo"), FourCC("none")};
    HobgobSetAppList(3, creators, FourCC("todo"));
    ASSERT_TRUE(HobgobGetAppList(&count, &list, &first));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(list[1], FourCC("todo"));
    EXPECT_EQ(first, FourCC("memo"));  // the list's first creator
    std::free(list);
    HobgobStart(1, 0);
    EXPECT_EQ(os::LastAppSwitch(), todo);  // the start switched to the first application
    EXPECT_TRUE(Allowed(memo));
    EXPECT_TRUE(Allowed(todo));
    EXPECT_FALSE(Allowed(data));
}

}  // namespace
}  // namespace kez::testing
