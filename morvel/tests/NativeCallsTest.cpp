// Native code called from 68K code: a named library's entry called once (and the library closed
// again), names that are refused or taken for code, and native code calling 68K code back.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <functional>
#include <cstring>
#include <string>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/KezCalls.h"
#include "common/module/KezInterface.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/NativeCalls.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

uint32_t gTrapA7;
void DoubleArgument(EmulState* s, uint16_t) {
    gTrapA7 = s->A[7];
    s->D[0] = GetArgUInt32(s, 0) * 2;
    s->A[0] = 0xA0A0A0A0u;
}

class NativeCallsTest : public TrapGlueTest {
protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        // Everything the test touches counts as readable 68K memory.
        ctx_.state.regions[0] = {0x00010000u, 0xFFFE0000u};
        ASSERT_EQ(A68kSetTrapAddress(&ctx_.state, 0x123, DoubleArgument), 0);
    }
    // TvkNativeCall(code, user data) with the code given as text; D0 and A0 after it.
    uint32_t NativeCall(const std::string& asciz) {
        ctx_.state.D[0] = ctx_.state.A[0] = 0xDEAD;
        EXPECT_EQ(Run(" pea data(%pc)\n pea name(%pc)\n trap #15\n .short 0xA45A\n addq.l #8,%sp\n rts\n"
                      "name: " + asciz + "\n .even\n"),
                  0);
        EXPECT_EQ(ctx_.state.A[0], ctx_.state.D[0]);
        return ctx_.state.D[0];
    }
};

TEST_F(NativeCallsTest, ALibraryEntryIsCalledOnceAndTheLibraryClosedAgain) {
    gTrapA7 = 0;
    uint32_t a7 = ctx_.state.A[7];
    EXPECT_EQ(NativeCall(".asciz \"" MORVEL_NATIVE_LIB "\"\n .asciz \"NativeAdd\"\n .long 0"), 10u);
    EXPECT_EQ(gTrapA7 + 4 + 8 + 4, a7);  // the argument below the 68K caller's own and its return
    EXPECT_EQ(ctx_.state.A[7], a7);
    EXPECT_EQ(dlopen(MORVEL_NATIVE_LIB, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(NativeCallsTest, RefusedNamesAndCodeAnswerZero) {
    const char* cases[] = {
        ".asciz \"library.dll\"\n .asciz \"NativeAdd\"",             // not loaded
        ".asciz \"" MORVEL_NATIVE_LIB "\"\n .asciz \"NoSuchEntry\"",  // no such entry
        ".asciz \"/no/such/library.so\"\n .asciz \"NativeAdd\"",
        ".asciz \"" MORVEL_NATIVE_LIB "\"\n .byte 0x7F, 0",           // the entry's name is no text
        ".asciz \"a.so\\x01\"",                                       // unprintable: code
        ".asciz \".so\"",                                             // three characters: code
    };
    for (const char* c : cases) EXPECT_EQ(NativeCall(c), 0u) << c;
}

TEST_F(NativeCallsTest, NativeCodeCallsTrapsAndRoutinesBack) {
    ASSERT_EQ(Run(" rts\n"), 0);  // a context that has run, for its stack
    uint8_t argument[4];
    vantor::WriteBE32(argument, 21);
    uint32_t a7 = ctx_.state.A[7];
    EXPECT_EQ(Call68KFromNative(&ctx_.state, 0x123, argument, 4), 42u);
    EXPECT_EQ(Call68KFromNative(&ctx_.state, 0x123, argument, 4 | kCallReturnsA0), 0xA0A0A0A0u);
    EXPECT_EQ(ctx_.state.A[7], a7);
    // A 68K routine: its argument lies above its return address.
    std::vector<uint8_t> routine = Assemble("move.l 4(%sp),%d0\n addq.l #1,%d0\n rts");
    EXPECT_EQ(Call68KFromNative(&ctx_.state, Addr(routine.data()), argument, 4), 22u);
    EXPECT_EQ(ctx_.state.A[7], a7);
}

// ---- native threads ----

// A small task kernel in place of Kez's: each task a thread that waits until it is started; a
// deleted task's delay answers an error so that its entry returns, and the deletion joins it.
struct FakeTask {
    std::thread thread;
    void (*entry)(uint32_t) = nullptr;
    uint32_t argument = 0, stackBase = 0;
    bool started = false, kill = false;
};
std::mutex gTasksLock;
std::condition_variable gTasksChanged;
std::map<uint32_t, std::shared_ptr<FakeTask>> gTasks;
uint32_t gNextTask = 0x100;
thread_local uint32_t tCurrentTask = 0;
std::atomic<int> gNull173{0};

uint16_t FakeTaskCreate(uint32_t* id, const vantor::KALTaskCreationRecord* record) {
    std::lock_guard<std::mutex> hold(gTasksLock);
    auto task = std::make_shared<FakeTask>();
    task->entry = record->entry;
    *id = gNextTask++;
    uint32_t me = *id;
    gTasks[me] = task;
    task->thread = std::thread([task, me] {
        int stackPosition;
        tCurrentTask = me;
        {
            std::unique_lock<std::mutex> lock(gTasksLock);
            task->stackBase = Addr(&stackPosition);
            gTasksChanged.wait(lock, [&] { return task->started || task->kill; });
            if (task->kill) return;
        }
        task->entry(task->argument);
        std::lock_guard<std::mutex> hold(gTasksLock);
        if (!task->kill) {
            task->thread.detach();
            gTasks.erase(me);
        }
    });
    return 0;
}
uint16_t FakeTaskStart(uint32_t id, uint32_t argument) {
    std::lock_guard<std::mutex> hold(gTasksLock);
    auto it = gTasks.find(id);
    if (it == gTasks.end()) return vantor::kalErrBadID;
    it->second->argument = argument;
    it->second->started = true;
    gTasksChanged.notify_all();
    return 0;
}
uint16_t FakeTaskDelete(uint32_t id) {
    std::shared_ptr<FakeTask> task;
    {
        std::lock_guard<std::mutex> hold(gTasksLock);
        auto it = gTasks.find(id);
        if (it == gTasks.end() || it->second->kill) return vantor::kalErrBadID;
        task = it->second;
        task->kill = true;
        gTasksChanged.notify_all();
    }
    task->thread.join();
    std::lock_guard<std::mutex> hold(gTasksLock);
    gTasks.erase(id);
    return 0;
}
uint16_t FakeTaskCurrent(uint32_t* id) {
    *id = tCurrentTask;
    return tCurrentTask ? 0 : vantor::kalErrBadID;
}
uint16_t FakeTaskInfo(uint32_t id, vantor::KALTaskInfo* info) {
    std::lock_guard<std::mutex> hold(gTasksLock);
    *info = {};
    auto it = gTasks.find(id);
    if (it == gTasks.end()) return vantor::kalErrBadID;
    info->stackAddress = it->second->stackBase;
    info->stackSize = 0x1000;
    return 0;
}
// A deleted task's delay fails at once.
uint16_t FakeTaskDelay(int32_t milliseconds) {
    std::unique_lock<std::mutex> lock(gTasksLock);
    auto it = gTasks.find(tCurrentTask);
    if (it == gTasks.end()) return vantor::kalErrBadID;
    auto task = it->second;
    gTasksChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return task->kill; });
    return task->kill ? vantor::kalErrBadID : 0;
}
uint32_t FakeZero() { return 0; }
void FakeNull173(uint32_t, uint32_t) { gNull173++; }

vantor::ModuleProc* FakeTaskKez() {
    static vantor::ModuleProc table[vantor::kKezSlots];
    for (auto& entry : table) entry = reinterpret_cast<vantor::ModuleProc>(&FakeZero);
    auto put = [](uint16_t slot, auto* f) { table[slot] = reinterpret_cast<vantor::ModuleProc>(f); };
    put(vantor::kezslot::KALTaskCreate, &FakeTaskCreate);
    put(vantor::kezslot::KALTaskStart, &FakeTaskStart);
    put(vantor::kezslot::KALTaskDelete, &FakeTaskDelete);
    put(vantor::kezslot::KALTaskGetCurrentID, &FakeTaskCurrent);
    put(vantor::kezslot::KALTaskGetInfo, &FakeTaskInfo);
    put(vantor::kezslot::KALTaskDelay, &FakeTaskDelay);
    put(vantor::kezslot::HALNullEntry173, &FakeNull173);
    return table;
}

struct ThreadSeen {
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    uint32_t userData = 0, stackBase = 0, recordBase = 0, recordEnd = 0;
};
ThreadSeen gSeen;

// User data 1: returns at once. User data 2: waits in the OS until released or deleted.
void ThreadEntry(uint32_t userData, void* taskRecord, uint32_t stackBase) {
    gSeen.userData = userData;
    gSeen.stackBase = stackBase;
    std::memcpy(&gSeen.recordBase, static_cast<uint8_t*>(taskRecord) + vantor::kTaskRecordStackBase, 4);
    std::memcpy(&gSeen.recordEnd, static_cast<uint8_t*>(taskRecord) + vantor::kTaskRecordStackEnd, 4);
    gSeen.calls++;
    while (userData == 2 && !gSeen.release)
        if (KezImport().Call<vantor::kezsig::KALTaskDelay>(vantor::kezslot::KALTaskDelay, 10) != 0) return;
}

class NativeThreadTest : public TrapGlueTest {
protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, FakeTaskKez(), vantor::kKezSlots);
        gSeen.calls = 0;
        gSeen.release = false;
        gNull173 = 0;
    }
    void TearDown() override {
        vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
        TrapGlueTest::TearDown();
    }
    // Runs one native-thread trap with the given long arguments; D0 after it.
    uint32_t Trap(uint16_t trap, std::vector<uint32_t> args) {
        std::string src;
        for (auto it = args.rbegin(); it != args.rend(); ++it) src += " move.l #" + std::to_string(*it) + ",-(%sp)\n";
        src += " trap #15\n .short " + std::to_string(trap) + "\n";
        src += " lea " + std::to_string(4 * args.size()) + "(%sp),%sp\n rts\n";
        ctx_.state.D[0] = 0xDEADBEEF;
        EXPECT_EQ(Run(src), 0);
        return ctx_.state.D[0];
    }
    static bool WaitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 6000 && !done(); ++i) usleep(10000);
        return done();
    }
    uint32_t Entry() { return Addr(reinterpret_cast<const void*>(&ThreadEntry)); }
};

TEST_F(NativeThreadTest, AThreadRunsItsEntryOnItsOwnStackAndIsWaitedFor) {
    uint32_t task = Trap(0xA471, {Entry(), 1});
    ASSERT_NE(task, 0u);
    Trap(0xA473, {task});  // returns once the task is gone
    EXPECT_EQ(gSeen.calls.load(), 1);
    EXPECT_EQ(gSeen.userData, 1u);
    EXPECT_NE(gSeen.stackBase, 0u);
    EXPECT_EQ(gSeen.recordBase, gSeen.stackBase);
    EXPECT_EQ(gSeen.recordEnd, gSeen.stackBase + 0xFFF);
    EXPECT_EQ(gNull173.load(), 1);
    EXPECT_EQ(Trap(0xA472, {task}) & 0xFF, 0u);
}

TEST_F(NativeThreadTest, StoppingARunningThreadDeletesItsTaskAndFreesItsRecordOnce) {
    uint32_t task = Trap(0xA471, {Entry(), 2});
    ASSERT_NE(task, 0u);
    ASSERT_TRUE(WaitFor([] { return gSeen.calls.load() == 1; }));
    EXPECT_EQ(Trap(0xA472, {task}) & 0xFF, 1u);
    EXPECT_EQ(Trap(0xA474, {task}) & 0xFFFF, 0u);
    EXPECT_EQ(Trap(0xA472, {task}) & 0xFF, 0u);
    // A stopped task is gone: stopping it again is the OS's error for an unknown task.
    EXPECT_NE(Trap(0xA474, {task}) & 0xFFFF, 0u);
}

TEST_F(NativeThreadTest, AThreadThatEndsWhileBeingStoppedIsFreedOnce) {
    // The thread is released and the stop follows at once: whichever side takes the record frees it.
    for (int round = 0; round < 5; ++round) {
        gSeen.calls = 0;
        gSeen.release = false;
        uint32_t task = Trap(0xA471, {Entry(), 2});
        ASSERT_NE(task, 0u);
        ASSERT_TRUE(WaitFor([] { return gSeen.calls.load() == 1; }));
        gSeen.release = true;
        Trap(0xA474, {task});
        EXPECT_EQ(Trap(0xA472, {task}) & 0xFF, 0u);
    }
}

TEST_F(NativeThreadTest, ANullEntryStartsNothing) { EXPECT_EQ(Trap(0xA471, {0, 1}), 0u); }

}  // namespace
}  // namespace morvel::test
