// One-shot software timers (export slots 156 to 158 and 282), served by the timer task 'tmrt'.
#include <sys/time.h>

#include <cerrno>

#include "common/FourCC.h"
#include "kez/src/KAL.h"
#include "kez/src/KezModule.h"
#include "kez/src/Locks.h"

using namespace vantor;

namespace kez {
namespace {

constexpr int kTimerCount = 16;
constexpr uint32_t kMaxTimers = 15;
constexpr uint64_t kNotArmed = ~uint64_t{0};

struct Timer {
    KezTimerCallback callback;  // null: a free record
    uint32_t argument;
    uint64_t due;  // milliseconds since 1970
    uint32_t tag;
};

Timer gTimers[kTimerCount];
uint32_t gTimerCount;
bool gChanged;
bool gStop;
pthread_mutex_t gTimerLock;
pthread_cond_t gTimerCondition;
uint32_t gTimerTask;

// The timer task's user record: a zero word and a 64-byte block whose ninth word is 14.
uint32_t gTimerBlock[16] = {0, 0, 0, 0, 0, 0, 0, 0, 14};
uint32_t gTimerUserRecord[2] = {0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gTimerBlock))};

class TimerLock : public Locked {
public:
    TimerLock() : Locked(&gTimerLock) {}
};

// One pass of the timer task, under the timer lock: runs the callbacks that are due, then sleeps
// until the earliest armed timer is due or the timers change.
void ServeTimers() {
    uint64_t now = NowMilliseconds(), earliest = kNotArmed;
    gChanged = false;
    uint32_t visited = 0;
    for (int i = 0; i < kTimerCount && visited < gTimerCount && !gStop; ++i) {
        Timer& t = gTimers[i];
        if (!t.callback) continue;
        ++visited;
        if (t.due <= now) {
            t.due = kNotArmed;  // disarmed before its callback runs
            t.callback(t.argument);
            if (gChanged) return;
        }
        if (t.callback && t.due < earliest) earliest = t.due;
    }
    if (gStop) return;
    // Noted just before sleeping (a callback's own waits note theirs): deleting the timer task at
    // shutdown wakes this wait like any other of the layer.
    NoteTaskWait(&gTimerCondition, &gTimerLock);
    if (!CurrentTaskKilled()) {
        if (earliest == kNotArmed) {
            pthread_cond_wait(&gTimerCondition, &gTimerLock);
        } else {
            timespec deadline{static_cast<time_t>(earliest / 1000), static_cast<long>(earliest % 1000) * 1000000L};
            pthread_cond_timedwait(&gTimerCondition, &gTimerLock, &deadline);
        }
    }
    NoteTaskWait(nullptr, nullptr);
}

void TimerTask(uint32_t) {
    bool killed = false;
    {
        TimerLock lock;
        while (!gStop && !(killed = CurrentTaskKilled())) ServeTimers();
    }
    if (killed) EndCurrentTask();
}

uint16_t KALTimerCreate(uint32_t* id, uint32_t tag, KezTimerCallback callback, uint32_t argument) {
    if (!id || !callback) return kalErrBadParam;
    TimerLock lock;
    if (gTimerCount >= kMaxTimers) return kalErrNoFreeObject;
    for (int i = 0; i < kTimerCount; ++i) {
        Timer& t = gTimers[i];
        if (t.callback) continue;
        t = {callback, argument, kNotArmed, tag};
        gChanged = true;
        ++gTimerCount;
        *id = static_cast<uint32_t>(i);
        return 0;
    }
    return kalErrNoFreeObject;
}
KEZ_SLOT(KALTimerCreate, KALTimerCreate)

uint16_t KALTimerDelete(uint32_t id) {
    TimerLock lock;
    if (id >= kTimerCount || !gTimers[id].callback) return kalErrBadID;
    gTimers[id].callback = nullptr;
    gChanged = true;
    --gTimerCount;
    return 0;
}
KEZ_SLOT(KALTimerDelete, KALTimerDelete)

// Arms the timer to fire once `milliseconds` from now; 0 disarms it.
uint16_t KALTimerStart(uint32_t id, uint32_t milliseconds) {
    {
        TimerLock lock;
        if (id >= kTimerCount || !gTimers[id].callback) return kalErrBadID;
        gTimers[id].due = milliseconds ? NowMilliseconds() + milliseconds : kNotArmed;
        gChanged = true;
    }
    pthread_cond_signal(&gTimerCondition);
    return 0;
}
KEZ_SLOT(KALTimerStart, KALTimerStart)

uint16_t KALTimerGetUserData(uint32_t id, uint32_t* argument) {
    if (!argument) return kalErrBadParam;
    TimerLock lock;
    if (id >= kTimerCount || !gTimers[id].callback) return kalErrBadID;
    *argument = gTimers[id].argument;
    return 0;
}
KEZ_SLOT(KALTimerGetUserData, KALTimerGetUserData)

uint16_t TimerFiller() { return 0xFFFF; }

}  // namespace

KEZ_SLOT_FILLER(159, TimerFiller)

uint16_t PrvKALTimerInitialize() {
    InitRecursiveMutex(&gTimerLock);
    pthread_cond_init(&gTimerCondition, nullptr);
    for (Timer& t : gTimers) t = {nullptr, 0, kNotArmed, 0};
    gTimerCount = 0;
    gChanged = gStop = false;
    KALTaskCreationRecord record{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gTimerUserRecord)),
                                 TimerTask, 0, 10, FourCC("tmrt")};
    uint16_t error = KEZ_CALL(KALTaskCreate, &gTimerTask, &record);
    if (error == 0) error = KEZ_CALL(KALTaskStart, gTimerTask, 0);
    return error;
}

uint16_t PrvKALTimerDispose() {
    {
        TimerLock lock;
        gStop = true;
    }
    pthread_cond_signal(&gTimerCondition);
    // Shutdown has already ended every task; otherwise wait for the timer task to end.
    KALTaskInfo info;
    while (KEZ_CALL(KALTaskGetInfo, gTimerTask, &info) == 0 && info.name == FourCC("tmrt"))
        KEZ_CALL(KALTaskDelay, 1);
    gTimerTask = 0;
    pthread_cond_destroy(&gTimerCondition);
    pthread_mutex_destroy(&gTimerLock);
    return 0;
}

}  // namespace kez
