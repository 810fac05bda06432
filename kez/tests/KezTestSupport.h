// Shared set-up of Kez's test programs: Kez's objects are linked in and run against the stand-in
// OS; the fixture sets up the globals and the kernel services as Boot does, and takes them down
// as Shutdown does.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "common/FourCC.h"
#include "common/module/KezBootConfig.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "standin/os/StandinTest.h"

extern "C" void KezGlobalsInit(const vantor::KezBootConfig* config, vantor::KezHostStatus* status);
extern "C" void PrvPatchSystemDispatchTable(vantor::SystemDispatchTable table);

namespace kez::testing {

using namespace vantor;

// Waits up to `seconds` for `done`: generous, for a loaded machine with the OS side emulated.
inline bool Eventually(const std::function<bool()>& done, double seconds = 30) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Globals and the kernel layer (pools, tasks, mailboxes, event groups and, when asked, timers
// and the clock), as Boot sets them up.
class KezKernelTest : public os::StandinTest {
protected:
    explicit KezKernelTest(bool withTimers = false) : withTimers_(withTimers) {}

    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
        KezGlobalsInit(&config_, &status_);
        PrvKALMutexInitialize();
        PrvKALSemaphoreInitialize();
        ASSERT_EQ(PrvKALTaskInitialize(), 0);
        PrvKALMailboxInitialize();
        PrvKALEventGroupInitialize();
        if (withTimers_) {
            ASSERT_EQ(PrvKALTimerInitialize(), 0);
            ASSERT_EQ(PrvHALTimeInitialize(true), 0);
        }
    }
    void TearDown() override {
        PrvKALTaskDispose();
        if (withTimers_) {
            PrvHALTimeDispose();
            PrvKALTimerDispose();
        }
        PrvKALEventGroupDispose();
        PrvKALMailboxDispose();
        PrvKALSemaphoreDispose();
        PrvKALMutexDispose();
        StandinTest::TearDown();
    }

    // Creates and starts a task that runs `body` with `argument`.
    uint32_t StartTask(void (*body)(uint32_t), uint32_t argument = 0, uint32_t priority = 100,
                       uint32_t name = FourCC("test")) {
        KALTaskCreationRecord record{0, body, 4096, priority, name};
        uint32_t id = 0;
        EXPECT_EQ(KEZ_CALL(KALTaskCreate, &id, &record), 0);
        EXPECT_EQ(KEZ_CALL(KALTaskStart, id, argument), 0);
        return id;
    }

    // Waits until the task is blocked in a wait of the kernel layer: from then on, whatever wakes
    // that wait reaches it.
    static bool Blocked(uint32_t task) {
        return Eventually([task] { return PrvKALTaskIsWaiting(task); });
    }

    KezBootConfig config_{};
    KezHostStatus status_{};
    bool withTimers_;
};

}  // namespace kez::testing
