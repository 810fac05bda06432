// 32 tasks at once (30 of the test, the timer task and the housekeeping task) passing tokens
// around a ring of mailboxes, counting under a mutex, signalling and waiting on an event group,
// with a periodic timer, for a few seconds. Run it under valgrind --tool=helgrind with
//   valgrind --tool=helgrind build/<dir>/tests/kez_kernel_tests --gtest_filter='Stress*'
// on a build without the sanitizers.
#include <cstdlib>

#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

constexpr uint32_t kTasks = 30;
// Mailboxes take three semaphores each from the pool of 64, and every task one.
constexpr uint32_t kBoxes = 10;
constexpr uint32_t kTokens = 8;

uint32_t gBoxes[kBoxes];
uint32_t gMutex, gGroup, gTimer;
std::atomic<bool> gStop;
std::atomic<int> gRunning;
uint64_t gCounted;  // guarded by gMutex
std::atomic<uint64_t> gPasses[kTasks];
std::atomic<uint32_t> gTicks;
std::atomic<uint32_t> gFailures;

void Ring(uint32_t index) {
    ++gRunning;
    while (!gStop) {
        uint32_t token;
        uint16_t error = KEZ_CALL(KALMailboxReceive, gBoxes[index % kBoxes], &token, 20);
        if (error == kalErrTimeout) continue;
        if (error) ++gFailures;
        if (KEZ_CALL(KALMutexReserve, gMutex, -1) != 0) ++gFailures;
        ++gCounted;
        KEZ_CALL(KALMutexRelease, gMutex);
        ++gPasses[index];
        KEZ_CALL(KALEventGroupSignal, gGroup, 1u << index);
        if (index % 5 == 0) {
            KALEventGroupRequest tick{0x80000000u, 0, 30};
            uint32_t bits;
            KEZ_CALL(KALEventGroupWait, gGroup, &tick, &bits);
            KEZ_CALL(KALEventGroupClear, gGroup, 0x80000000u);
        }
        while (KEZ_CALL(KALMailboxSend, gBoxes[(index + 1) % kBoxes], token) == kalErrMailboxFull)
            KEZ_CALL(KALTaskDelay, 1);
    }
    --gRunning;
}

class Stress : public KezKernelTest {
protected:
    Stress() : KezKernelTest(true) {}
};

TEST_F(Stress, ThirtyTwoTasksExchangeThroughEveryKindOfObject) {
    const char* env = std::getenv("KEZ_STRESS_SECONDS");
    int seconds = env ? std::atoi(env) : 3;
    gStop = false;
    gRunning = 0;
    gCounted = 0;
    gTicks = 0;
    gFailures = 0;
    ASSERT_EQ(KEZ_CALL(KALMutexCreate, &gMutex, 0), 0);
    ASSERT_EQ(KEZ_CALL(KALEventGroupCreate, &gGroup, 0, 0), 0);
    for (auto& p : gPasses) p = 0;
    for (uint32_t& box : gBoxes) ASSERT_EQ(KEZ_CALL(KALMailboxCreate, &box, 0, kTokens), 0);  // never full
    for (uint32_t t = 0; t < kTokens; ++t) ASSERT_EQ(KEZ_CALL(KALMailboxSend, gBoxes[t], t), 0);
    ASSERT_EQ(KEZ_CALL(KALTimerCreate, &gTimer, 0,
                       [](uint32_t) {
                           ++gTicks;
                           KEZ_CALL(KALEventGroupSignal, gGroup, 0x80000000u);
                           KEZ_CALL(KALTimerStart, gTimer, 10);
                       },
                       0),
              0);
    ASSERT_EQ(KEZ_CALL(KALTimerStart, gTimer, 10), 0);
    for (uint32_t i = 0; i < kTasks; ++i) StartTask(Ring, i, 20 + i * 3, FourCC("ring"));
    // Every slot is taken now: 30 ring tasks, 'tmrt' and 'ttmr'.
    uint32_t extra;
    KALTaskCreationRecord record{0, Ring, 0, 1, FourCC("more")};
    EXPECT_EQ(KEZ_CALL(KALTaskCreate, &extra, &record), kalErrNoFreeObject);

    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    gStop = true;
    ASSERT_TRUE(Eventually([] { return gRunning == 0; }, 10));
    KEZ_CALL(KALTimerDelete, gTimer);

    uint64_t passes = 0;
    for (auto& p : gPasses) passes += p;
    EXPECT_EQ(gCounted, passes);
    EXPECT_GT(passes, kTasks * 10u);
    EXPECT_GT(gTicks, 10u);
    EXPECT_EQ(gFailures, 0u);
    // Every token is still in some mailbox.
    uint32_t tokens = 0, token;
    for (uint32_t box : gBoxes)
        while (KEZ_CALL(KALMailboxReceive, box, &token, 0) == 0) ++tokens;
    EXPECT_EQ(tokens, kTokens);
}

}  // namespace
}  // namespace kez::testing
