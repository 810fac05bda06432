// Kez's kernel layer: tasks, mutexes, semaphores, event groups and mailboxes.
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kez/tests/KezTestSupport.h"

namespace kez::testing {
namespace {

using Kernel = KezKernelTest;

// The nice value of a thread, field 19 of /proc/self/task/<tid>/stat.
int NiceOf(long tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 19; ++i) fields >> field;
    return std::stoi(field);
}

std::atomic<long> gTid[3];
std::atomic<uint32_t> gArgument;

TEST_F(Kernel, TaskRunsOnlyWhenStartedAtTheNiceValueOfItsPriority) {
    struct Case {
        uint32_t priority;
        int nice;
    };
    const Case cases[] = {{100, 15}, {10, 2}, {200, 19}};
    uint32_t ids[3];
    for (int i = 0; i < 3; ++i) {
        gTid[i] = 0;
        KALTaskCreationRecord record{0,
                                     [](uint32_t index) {
                                         gTid[index] = syscall(SYS_gettid);
                                         KEZ_CALL(KALTaskWait, -1);
                                     },
                                     4096, cases[i].priority, FourCC("nice")};
        ASSERT_EQ(KEZ_CALL(KALTaskCreate, &ids[i], &record), 0);
        EXPECT_EQ(ids[i], 0x80000000u | static_cast<uint32_t>(i));
    }
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Blocked(ids[i]));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(gTid[i], 0) << "ran before its start";
    for (int i = 0; i < 3; ++i) ASSERT_EQ(KEZ_CALL(KALTaskStart, ids[i], static_cast<uint32_t>(i)), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Eventually([&] { return gTid[i] != 0; }));
        EXPECT_EQ(NiceOf(gTid[i]), cases[i].nice) << "priority " << cases[i].priority;
    }
    KALTaskInfo info;
    ASSERT_EQ(KEZ_CALL(KALTaskGetInfo, ids[2], &info), 0);
    EXPECT_EQ(info.priority, 127u);  // clamped
    EXPECT_EQ(info.name, FourCC("nice"));
    EXPECT_EQ(info.stackSize, 0x10000u);
    EXPECT_NE(info.userWord, 0u);  // the layer's default record
}

TEST_F(Kernel, TaskIdentityAndBadIds) {
    uint32_t id = 0;
    EXPECT_EQ(KEZ_CALL(KALTaskGetCurrentID, &id), kalErrBadID);
    EXPECT_EQ(id, 0xBADBABADu);
    EXPECT_EQ(KEZ_CALL(KALTaskGetCurrentID, nullptr), kalErrBadParam);
    EXPECT_EQ(KEZ_CALL(KALTaskCheckCurrent), kalErrNotATask);
    EXPECT_EQ(KEZ_CALL(KALTaskWait, 0), kalErrNotATask);
    KALTaskInfo info;
    std::memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(KEZ_CALL(KALTaskGetInfo, 0x80000005u, &info), kalErrBadID);
    EXPECT_EQ(info.name, 0u);
    EXPECT_EQ(KEZ_CALL(KALTaskStart, 0x80000020u, 0), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALTaskDelete, 0x80000003u), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALTaskWake, 0x80000003u), kalErrNotATask);
    EXPECT_EQ(KEZ_CALL(KALTaskDelay, -1), kalErrBadParam);

    static std::atomic<uint32_t> seen;
    seen = 0;
    uint32_t task = StartTask([](uint32_t) {
        uint32_t me = 0;
        KEZ_CALL(KALTaskGetCurrentID, &me);
        seen = KEZ_CALL(KALTaskCheckCurrent) == 0 ? me : 1;
    });
    ASSERT_TRUE(Eventually([] { return seen != 0; }));
    EXPECT_EQ(seen.load(), task);
    // A task whose entry returned frees its slot.
    ASSERT_TRUE(Eventually([&] { return KEZ_CALL(KALTaskGetInfo, task, &info) == kalErrBadID; }));
}

TEST_F(Kernel, TheThirtyThirdTaskIsRefused) {
    auto idle = [](uint32_t) { KEZ_CALL(KALTaskWait, -1); };
    KALTaskCreationRecord record{0, idle, 4096, 50, FourCC("idle")};
    for (int i = 0; i < 32; ++i) {
        uint32_t id;
        ASSERT_EQ(KEZ_CALL(KALTaskCreate, &id, &record), 0) << i;
    }
    uint32_t id = 0;
    EXPECT_EQ(KEZ_CALL(KALTaskCreate, &id, &record), kalErrNoFreeObject);
    EXPECT_EQ(KEZ_CALL(KALTaskCreate, &id, nullptr), kalErrBadParam);
    // Deleting one makes room again.
    ASSERT_EQ(KEZ_CALL(KALTaskDelete, 0x80000007u), 0);
    EXPECT_EQ(KEZ_CALL(KALTaskCreate, &id, &record), 0);
    EXPECT_EQ(id, 0x80000007u);
}

TEST_F(Kernel, DeletingATaskBlockedInAWaitEndsItPromptly) {
    uint32_t mutex, semaphore;
    ASSERT_EQ(KEZ_CALL(KALMutexCreate, &mutex, 0), 0);
    ASSERT_EQ(KEZ_CALL(KALSemaphoreCreate, &semaphore, 0, 0), 0);
    ASSERT_EQ(KEZ_CALL(KALMutexReserve, mutex, -1), 0);  // held by the test's thread
    static std::atomic<int> returned;
    returned = 0;
    uint32_t inMutex = StartTask([](uint32_t id) {
        KEZ_CALL(KALMutexReserve, id, -1);
        ++returned;
    }, mutex);
    uint32_t inSemaphore = StartTask([](uint32_t id) {
        KEZ_CALL(KALSemaphoreWait, id, -1);
        ++returned;
    }, semaphore);
    uint32_t inDelay = StartTask([](uint32_t) {
        KEZ_CALL(KALTaskDelay, 60000);
        ++returned;
    });
    for (uint32_t task : {inMutex, inSemaphore, inDelay}) ASSERT_TRUE(Blocked(task));
    auto start = std::chrono::steady_clock::now();
    for (uint32_t task : {inMutex, inSemaphore, inDelay}) EXPECT_EQ(KEZ_CALL(KALTaskDelete, task), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));  // not the minute's delay
    EXPECT_EQ(returned, 0);
    KALTaskInfo info;
    EXPECT_EQ(KEZ_CALL(KALTaskGetInfo, inMutex, &info), kalErrBadID);
    // The objects are usable afterwards.
    EXPECT_EQ(KEZ_CALL(KALMutexRelease, mutex), 0);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreSignal, semaphore), 0);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreWait, semaphore, 0), 0);
}

TEST_F(Kernel, MutexesAreRecursiveTimeOutAndReuseTheRecordFreedLongestAgo) {
    // With the whole pool in use, the record freed longest ago comes back first.
    std::vector<uint32_t> ids(64);
    for (uint32_t i = 0; i < 64; ++i) {
        ASSERT_EQ(KEZ_CALL(KALMutexCreate, &ids[i], 0), 0);
        EXPECT_EQ(ids[i], i);
    }
    EXPECT_EQ(KEZ_CALL(KALMutexDelete, 5), 0);
    EXPECT_EQ(KEZ_CALL(KALMutexDelete, 9), 0);
    EXPECT_EQ(KEZ_CALL(KALMutexDelete, 9), kalErrDeleted);
    EXPECT_EQ(KEZ_CALL(KALMutexReserve, 9, 0), kalErrDeleted);
    EXPECT_EQ(KEZ_CALL(KALMutexReserve, 64, 0), kalErrBadID);
    uint32_t id;
    ASSERT_EQ(KEZ_CALL(KALMutexCreate, &id, 0), 0);
    EXPECT_EQ(id, 5u);
    ASSERT_EQ(KEZ_CALL(KALMutexCreate, &id, 0), 0);
    EXPECT_EQ(id, 9u);

    // Twice reserved by the owner: another task gets it only after two releases.
    ASSERT_EQ(KEZ_CALL(KALMutexReserve, 0, -1), 0);
    ASSERT_EQ(KEZ_CALL(KALMutexReserve, 0, -1), 0);
    static std::atomic<int> got;
    got = 0;
    static std::atomic<int> timedOut;
    timedOut = 0;
    uint32_t task = StartTask([](uint32_t) {
        EXPECT_EQ(KEZ_CALL(KALMutexReserve, 0, 50), kalErrTimeout);
        timedOut = 1;
        EXPECT_EQ(KEZ_CALL(KALMutexReserve, 0, -1), 0);
        got = 1;
        KEZ_CALL(KALMutexRelease, 0);
    });
    ASSERT_TRUE(Eventually([] { return timedOut == 1; }));
    ASSERT_TRUE(Blocked(task));  // in its endless wait
    EXPECT_EQ(KEZ_CALL(KALMutexRelease, 0), 0);
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(PrvKALTaskIsWaiting(task));
    EXPECT_EQ(KEZ_CALL(KALMutexRelease, 0), 0);
    ASSERT_TRUE(Eventually([] { return got == 1; }));
    uint8_t info[8];
    std::memset(info, 0xAA, sizeof info);
    EXPECT_EQ(KEZ_CALL(KALMutexGetInfo, 1, info), 0);
    EXPECT_EQ(info[7], 0);
}

TEST_F(Kernel, MutexDeletedUnderItsWaitersWakesThemWithDeleted) {
    uint32_t mutex;
    ASSERT_EQ(KEZ_CALL(KALMutexCreate, &mutex, 0), 0);
    ASSERT_EQ(KEZ_CALL(KALMutexReserve, mutex, -1), 0);
    static std::atomic<int> deleted, other;
    deleted = other = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t task = StartTask([](uint32_t id) {
            uint16_t result = KEZ_CALL(KALMutexReserve, id, -1);
            (result == kalErrDeleted ? deleted : other)++;
        }, mutex);
        ASSERT_TRUE(Blocked(task));
    }
    EXPECT_EQ(KEZ_CALL(KALMutexDelete, mutex), 0);
    ASSERT_TRUE(Eventually([] { return deleted + other == 4; }));
    EXPECT_EQ(deleted, 4);
    // The record serves again at once.
    uint32_t again;
    ASSERT_EQ(KEZ_CALL(KALMutexCreate, &again, 0), 0);
    EXPECT_EQ(KEZ_CALL(KALMutexReserve, again, 0), 0);
}

TEST_F(Kernel, MutexLimitsShowTheErrorDialog) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            uint32_t id;
            for (int i = 0; i < 65; ++i) KEZ_CALL(KALMutexCreate, &id, 0);
        },
        "HALErrDisplay: \\[KALMutexCreate\\(\\): No more mutexes\\]");
    EXPECT_DEATH(
        {
            uint32_t id;
            KEZ_CALL(KALMutexCreate, &id, 0);
            std::thread([&] { KEZ_CALL(KALMutexReserve, id, -1); }).join();
            KEZ_CALL(KALMutexRelease, id);
        },
        "HALErrDisplay: \\[KALMutexRelease: attempt to release an unowned mutex\\]");
}

TEST_F(Kernel, SemaphoresCountWaitAndReportTheirCounts) {
    uint32_t id, out = 0;
    EXPECT_EQ(KEZ_CALL(KALSemaphoreCreate, &out, 0, 0x7FFFFFFF), kalErrBadParam);
    EXPECT_EQ(out, 0xFFFFFFFFu);
    ASSERT_EQ(KEZ_CALL(KALSemaphoreCreate, &id, 0, 3), 0);
    ASSERT_EQ(KEZ_CALL(KALSemaphoreWait, id, -1), 0);
    uint8_t info[12];
    ASSERT_EQ(KEZ_CALL(KALSemaphoreGetInfo, id, info), 0);
    uint16_t current, initial;
    std::memcpy(&current, info + 4, 2);
    std::memcpy(&initial, info + 6, 2);
    EXPECT_EQ(current, 2);
    EXPECT_EQ(initial, 3);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreWait, id, 0), 0);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreWait, id, 0), 0);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreWait, id, 0), kalErrTimeout);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreWait, id, 30), kalErrTimeout);

    static std::atomic<int> woken;
    woken = 0;
    ASSERT_TRUE(Blocked(StartTask([](uint32_t s) { woken = KEZ_CALL(KALSemaphoreWait, s, -1) == 0 ? 1 : 2; }, id)));
    EXPECT_EQ(KEZ_CALL(KALSemaphoreSignal, id), 0);
    ASSERT_TRUE(Eventually([] { return woken != 0; }));
    EXPECT_EQ(woken, 1);

    woken = 0;
    ASSERT_TRUE(
        Blocked(StartTask([](uint32_t s) { woken = KEZ_CALL(KALSemaphoreWait, s, -1) == kalErrDeleted ? 1 : 2; }, id)));
    EXPECT_EQ(KEZ_CALL(KALSemaphoreDelete, id), 0);
    ASSERT_TRUE(Eventually([] { return woken != 0; }));
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreSignal, id), kalErrDeleted);
    EXPECT_EQ(KEZ_CALL(KALSemaphoreSignal, 64), kalErrBadID);

    // A full pool answers 0xF003.
    uint16_t error;
    for (int i = 0; i < 65 && (error = KEZ_CALL(KALSemaphoreCreate, &out, 0, 0)) == 0; ++i) {
    }
    EXPECT_EQ(error, kalErrNoFreeObject);
    EXPECT_EQ(out, 0xFFFFFFFFu);
}

TEST_F(Kernel, EventGroupsWaitForAllOrAnyBitsAndWakeOnDelete) {
    uint32_t group, second;
    ASSERT_EQ(KEZ_CALL(KALEventGroupCreate, &group, 0, 0), 0);
    ASSERT_EQ(KEZ_CALL(KALEventGroupCreate, &second, 0, 0), 0);
    EXPECT_EQ(group, 0u);
    EXPECT_EQ(second, 17u);  // index 1 + counter 16

    static std::atomic<uint32_t> allBits, anyBits;
    allBits = anyBits = 0;
    static uint32_t sGroup;
    sGroup = group;
    uint32_t allTask = StartTask([](uint32_t) {
        KALEventGroupRequest all{0x3, 1, 0xFFFFFFFF};
        uint32_t bits = 0;
        if (KEZ_CALL(KALEventGroupWait, sGroup, &all, &bits) == 0) allBits = bits | 0x100;
    });
    uint32_t anyTask = StartTask([](uint32_t) {
        KALEventGroupRequest any{0x3, 0, 5000};
        uint32_t bits = 0;
        if (KEZ_CALL(KALEventGroupWait, sGroup, &any, &bits) == 0) anyBits = bits | 0x100;
    });
    ASSERT_TRUE(Blocked(allTask));
    ASSERT_TRUE(Blocked(anyTask));
    ASSERT_EQ(KEZ_CALL(KALEventGroupSignal, group, 0x2), 0);
    ASSERT_TRUE(Eventually([] { return anyBits != 0; }));
    EXPECT_EQ(anyBits, 0x102u);
    EXPECT_EQ(allBits, 0u);
    EXPECT_TRUE(PrvKALTaskIsWaiting(allTask));  // one bit of two: still waiting
    ASSERT_EQ(KEZ_CALL(KALEventGroupSignal, group, 0x1), 0);
    ASSERT_TRUE(Eventually([] { return allBits != 0; }));
    EXPECT_EQ(allBits, 0x103u);

    uint32_t bits = 0;
    EXPECT_EQ(KEZ_CALL(KALEventGroupClear, group, 0x1), 0);
    EXPECT_EQ(KEZ_CALL(KALEventGroupGetValue, group, &bits), 0);
    EXPECT_EQ(bits, 0x2u);
    KALEventGroupRequest now{0x1, 0, 0};
    EXPECT_EQ(KEZ_CALL(KALEventGroupWait, group, &now, &bits), kalErrTimeout);
    KALEventGroupRequest brief{0x1, 0, 20};
    EXPECT_EQ(KEZ_CALL(KALEventGroupWait, group, &brief, &bits), kalErrTimeout);

    static std::atomic<int> result;
    static std::atomic<bool> running;
    result = 0;
    running = false;
    uint32_t waiter = StartTask([](uint32_t) {
        running = true;
        KALEventGroupRequest request{0x80, 1, 0xFFFFFFFF};
        uint32_t b;
        result = KEZ_CALL(KALEventGroupWait, sGroup, &request, &b);
    });
    // A task that has just been started can still look blocked in its start; once it runs its
    // body, the only wait it can be in is the group's.
    ASSERT_TRUE(Eventually([] { return running.load(); }));
    ASSERT_TRUE(Blocked(waiter));
    EXPECT_EQ(KEZ_CALL(KALEventGroupDelete, group), 0);
    ASSERT_TRUE(Eventually([] { return result != 0; }));
    EXPECT_EQ(result, kalErrDeleted);
    EXPECT_EQ(KEZ_CALL(KALEventGroupDelete, group), kalErrBadEventGroup);
    EXPECT_EQ(KEZ_CALL(KALEventGroupSignal, group, 1), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALEventGroupGetValue, group, &bits), kalErrBadID);
}

TEST_F(Kernel, EventGroupPoolExhaustionIsReported) {
    std::vector<uint32_t> ids(16);
    for (uint32_t& id : ids) ASSERT_EQ(KEZ_CALL(KALEventGroupCreate, &id, 0, 0), 0);
    uint32_t id;
    EXPECT_EQ(KEZ_CALL(KALEventGroupCreate, &id, 0, 0), kalErrNoFreeObject);
    ASSERT_EQ(os::ErrorReports().size(), 1u);
    EXPECT_EQ(os::ErrorReports()[0].message, "NO MORE EVENTS GROUPS");
    EXPECT_EQ(os::ErrorReports()[0].file, "Kez/Linux/Kernel/Src/KALEventGroup");
    EXPECT_EQ(os::ErrorReports()[0].line, 176);
}

TEST_F(Kernel, MailboxesDeliverInOrderAndNeverWaitToSend) {
    uint32_t first, box;
    ASSERT_EQ(KEZ_CALL(KALMailboxCreate, &first, 0, 4), 0);
    ASSERT_EQ(KEZ_CALL(KALMailboxCreate, &box, 0, 2), 0);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(box, 1u);
    EXPECT_EQ(KEZ_CALL(KALMailboxCreate, nullptr, 0, 2), kalErrBadParam);
    EXPECT_EQ(KEZ_CALL(KALMailboxSend, box, 10), 0);
    EXPECT_EQ(KEZ_CALL(KALMailboxSend, box, 20), 0);
    EXPECT_EQ(KEZ_CALL(KALMailboxSend, box, 30), kalErrMailboxFull);
    uint32_t message = 0;
    EXPECT_EQ(KEZ_CALL(KALMailboxReceive, box, &message, -1), 0);
    EXPECT_EQ(message, 10u);
    EXPECT_EQ(KEZ_CALL(KALMailboxReceive, box, &message, -1), 0);
    EXPECT_EQ(message, 20u);
    EXPECT_EQ(KEZ_CALL(KALMailboxReceive, box, &message, 0), kalErrTimeout);
    EXPECT_EQ(KEZ_CALL(KALMailboxGetInfo, box), 0xFFFF);
    EXPECT_EQ(KEZ_CALL(KALMailboxDelete, box), 0);
    EXPECT_EQ(KEZ_CALL(KALMailboxDelete, box), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALMailboxSend, box, 1), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALMailboxReceive, box, &message, 0), kalErrBadID);
    EXPECT_EQ(KEZ_CALL(KALMailboxGetInfo, box), kalErrBadID);
}

}  // namespace
}  // namespace kez::testing
