// OS tasks (system slots 569, 570, 572) and the current task's record (525). With Kez registered
// they are Kez's kernel tasks (KALTaskCreate, KALTaskDelete); otherwise (or when the Kez table
// given has no task entries) each task is a thread that waits until it is started (StartTask).
#include <pthread.h>
#include <time.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "common/module/KezInterface.h"
#include "common/module/KezSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint32_t kThreadTaskBase = 0x40000000;

struct ThreadTask {
    pthread_t thread;
    SysTaskEntry entry;
    bool started = false;
    uint32_t argument = 0;
};

struct ThreadTasks {
    std::mutex mutex;
    std::condition_variable started;
    std::map<uint32_t, ThreadTask> tasks;
    uint32_t next = kThreadTaskBase;
};

ThreadTasks& TT() {
    static ThreadTasks tasks;
    return tasks;
}

void* ThreadTaskBody(void* raw) {
    auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(raw));
    auto& t = TT();
    SysTaskEntry entry;
    uint32_t argument;
    {
        std::unique_lock lock(t.mutex);
        t.started.wait(lock, [&] { return t.tasks.at(id).started; });
        entry = t.tasks.at(id).entry;
        argument = t.tasks.at(id).argument;
    }
    entry(argument);
    // A task that is being deleted is joined by the deleting thread; any other one cleans up.
    std::lock_guard lock(t.mutex);
    if (t.tasks.erase(id)) pthread_detach(pthread_self());
    return nullptr;
}

uint16_t StandinSysTaskCreate(uint32_t name, SysTaskEntry entry, uint32_t stackSize,
                              uint32_t priority, uint32_t* taskID) {
    if (!entry || !taskID) return sysErrParamErr;
    if (ModuleProc* kez = KezTable(); kez && kez[kezslot::KALTaskCreate]) {
        KALTaskCreationRecord record{0, entry, stackSize, priority, name};
        auto create = reinterpret_cast<uint16_t (*)(uint32_t*, KALTaskCreationRecord*)>(
            kez[kezslot::KALTaskCreate]);
        return create(taskID, &record);
    }
    auto& t = TT();
    std::lock_guard lock(t.mutex);
    uint32_t id = t.next++;
    ThreadTask& task = t.tasks[id];
    task.entry = entry;
    if (pthread_create(&task.thread, nullptr, ThreadTaskBody,
                       reinterpret_cast<void*>(static_cast<uintptr_t>(id))) != 0) {
        t.tasks.erase(id);
        return sysErrNoFreeResource;
    }
    *taskID = id;
    return 0;
}
VANTOR_OS_SLOT(SysTaskCreate, StandinSysTaskCreate)

uint16_t StandinSysTaskSleep(int32_t ticks) {
    if (ticks <= 0) return 0;
    timespec delay{ticks / kTicksPerSecond, (ticks % kTicksPerSecond) * (1000000000L / kTicksPerSecond)};
    while (nanosleep(&delay, &delay) != 0) {
    }
    return 0;
}
VANTOR_OS_SLOT(SysTaskSleep, StandinSysTaskSleep)

uint16_t StandinSysTaskDelete(uint32_t taskID) {
    if (ModuleProc* kez = KezTable(); kez && kez[kezslot::KALTaskDelete]) {
        auto remove = reinterpret_cast<uint16_t (*)(uint32_t)>(kez[kezslot::KALTaskDelete]);
        return remove(taskID);
    }
    auto& t = TT();
    pthread_t thread;
    {
        std::lock_guard lock(t.mutex);
        auto it = t.tasks.find(taskID);
        if (it == t.tasks.end()) return sysErrParamErr;
        thread = it->second.thread;
        if (pthread_equal(thread, pthread_self())) {
            pthread_detach(thread);
            t.tasks.erase(it);
            pthread_exit(nullptr);
        }
        t.tasks.erase(it);
    }
    // Deferred cancellation: the task ends at its next wait or sleep.
    pthread_cancel(thread);
    pthread_join(thread, nullptr);
    return 0;
}
VANTOR_OS_SLOT(SysTaskDelete, StandinSysTaskDelete)

// The set-up a new task asks for with its OS globals (slot 592): the stand-in's tasks need none.
void StandinSysTaskSetup(uint32_t, uint32_t) {}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SysTaskSetup, StandinSysTaskSetup)

// The OS's per-task record; zero when the task first asks for it.
void* StandinSysGetTaskRecord() {
    thread_local uint32_t record[64];
    return record;
}
VANTOR_OS_SLOT(SysGetTaskRecord, StandinSysGetTaskRecord)

}  // namespace

bool StartTask(uint32_t taskID, uint32_t argument) {
    auto& t = TT();
    std::lock_guard lock(t.mutex);
    auto it = t.tasks.find(taskID);
    if (it == t.tasks.end() || it->second.started) return false;
    it->second.started = true;
    it->second.argument = argument;
    t.started.notify_all();
    return true;
}

}  // namespace vantor::os
