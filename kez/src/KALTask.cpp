// OS tasks as POSIX threads (export slots 143 to 155): 32 task slots, one task-creation thread
// that is the parent of every task thread, start and wake through each task's own semaphore, and
// OS priorities mapped to nice values.
//
// Deleting a task sets its kill flag and wakes the wait it is in: every wait and delay of the layer
// checks the flag and ends the task at once. Only a task blocked in a host call outside the layer
// is cancelled, after a grace period; task threads use deferred cancellation, so that never
// happens while one holds the allocator or a pool lock.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sched.h>

#include "common/module/SystemCalls.h"
#include "kez/src/KAL.h"
#include "kez/src/KezModule.h"
#include "kez/src/Locks.h"

using namespace vantor;

namespace kez {
namespace {

constexpr int kTaskCount = 32;
constexpr uint32_t kIdBit = 0x80000000u;
constexpr uint32_t kNotATask = 0xBADBABAD;

struct TaskSlot {
    pthread_t thread;
    uint32_t waitSemaphore;
    uint32_t startArgument;
    uint32_t userWord;
    void (*entry)(uint32_t);
    uint32_t stackAddress;
    uint32_t stackSizeWord;
    uint32_t priority;
    uint32_t name;
    uint32_t reserved[3];
    uint8_t inUse;
    uint8_t ending;  // detached and on its way out: nobody joins it
    std::atomic<uint8_t> kill;
    // The wait the task is in, under gTaskLock: the condition and the mutex it holds for it.
    pthread_cond_t* waitCondition;
    pthread_mutex_t* waitMutex;
    // The task's own delay, which a deletion ends like any other wait.
    pthread_mutex_t delayLock;
    pthread_cond_t delayCondition;
};

struct CreationRequest {
    CreationRequest* next;
    int slot;
    std::atomic<int> status;  // 0 pending, 1 created, 2 failed
};

TaskSlot gTasks[kTaskCount];
pthread_key_t gTaskKey;
pthread_mutex_t gTaskLock;

CreationRequest* gRequests;
pthread_mutex_t gRequestLock;
pthread_cond_t gRequestCondition;
bool gStop;
pthread_t gCreationThread;

// The layer's default user word: a small static record handed out through KALTaskGetInfo.
uint32_t gDefaultUserRecord[4];

struct SlotLock : Locked {
    SlotLock() : Locked(&gTaskLock) {}
};

int IndexOf(uint32_t id) {
    uint32_t index = id & ~kIdBit;
    return index < kTaskCount ? static_cast<int>(index) : -1;
}

uint32_t IdOf(int index) { return kIdBit | static_cast<uint32_t>(index); }

bool gInitialized;

TaskSlot* CurrentSlot() {
    return gInitialized ? static_cast<TaskSlot*>(pthread_getspecific(gTaskKey)) : nullptr;
}

void ClearSlot(TaskSlot& slot) {
    slot.thread = {};
    slot.waitSemaphore = slot.startArgument = slot.userWord = 0;
    slot.entry = nullptr;
    slot.stackAddress = slot.stackSizeWord = slot.priority = slot.name = 0;
    std::memset(slot.reserved, 0, sizeof slot.reserved);
    slot.inUse = 0;
    slot.ending = 0;
    slot.kill = 0;
    slot.waitCondition = nullptr;
    slot.waitMutex = nullptr;
}

// The thread-local key's destructor: a task thread that ends, however it ends, frees its slot.
void ReleaseSlot(void* value) {
    auto* slot = static_cast<TaskSlot*>(value);
    uint32_t semaphore;
    {
        SlotLock lock;
        semaphore = slot->waitSemaphore;
        ClearSlot(*slot);
    }
    KEZ_CALL(KALSemaphoreDelete, semaphore);
}

void* TaskBody(void* raw) {
    auto* slot = static_cast<TaskSlot*>(raw);
    int stackPosition;
    slot->stackAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&stackPosition));
    slot->stackSizeWord = 0x10000;
    pthread_setspecific(gTaskKey, slot);
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);

    uint32_t nice = ((slot->priority * 19) >> 7) + 1;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), static_cast<int>(nice)) == 0) {
        KEZ_CALL(HALTrace, 0xF000, "PrvKALTaskFunction(): setpriority(%lu->nice=%lu) succeeded",
                 static_cast<unsigned long>(slot->priority), static_cast<unsigned long>(nice));
    } else {
        int error = errno;
        KEZ_CALL(HALTrace, 0xF000, "PrvKALTaskFunction(): setpriority() failed err=%d (%s)", error,
                 std::strerror(error));
    }
    // The task runs its entry only once started.
    KEZ_CALL(KALTaskWait, -1);
    if (slot->kill) EndCurrentTask();
    slot->entry(slot->startArgument);
    // Ending on its own: detach, unless a deletion already waits to join this thread.
    SlotLock lock;
    if (!slot->kill) {
        slot->ending = 1;
        pthread_detach(pthread_self());
    }
    return nullptr;
}

void* CreationThread(void*) {
    KEZ_CALL(HALTrace, 0xF000, "TaskCreationThreadProc(): started");
    pthread_mutex_lock(&gRequestLock);
    for (;;) {
        while (!gRequests && !gStop) pthread_cond_wait(&gRequestCondition, &gRequestLock);
        if (gStop) break;
        while (CreationRequest* request = gRequests) {
            gRequests = request->next;
            TaskSlot& slot = gTasks[request->slot];
            bool created = pthread_create(&slot.thread, nullptr, TaskBody, &slot) == 0;
            request->status = created ? 1 : 2;
        }
    }
    KEZ_CALL(HALTrace, 0xF000, "TaskCreationThreadProc(): stopped");
    pthread_mutex_unlock(&gRequestLock);
    return nullptr;
}

uint16_t KALTaskCreate(uint32_t* taskID, const KALTaskCreationRecord* record) {
    if (!taskID || !record) return kalErrBadParam;
    uint32_t priority = record->priority > 127 ? 127 : record->priority;
    int index = kTaskCount;
    {
        SlotLock lock;
        for (int i = 0; i < kTaskCount; ++i) {
            if (!gTasks[i].inUse) {
                index = i;
                gTasks[i].inUse = 1;
                break;
            }
        }
    }
    *taskID = IdOf(index);
    if (index == kTaskCount) return kalErrNoFreeObject;
    TaskSlot& slot = gTasks[index];
    if (KEZ_CALL(KALSemaphoreCreate, &slot.waitSemaphore, 0, 0) != 0) {
        SlotLock lock;
        ClearSlot(slot);
        return kalErrNoFreeObject;
    }
    slot.userWord = record->userWord ? record->userWord
                                     : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gDefaultUserRecord));
    slot.entry = record->entry;
    slot.priority = priority;
    slot.name = record->name;
    char name[5];
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>(record->name >> (24 - 8 * i));
        name[i] = static_cast<unsigned char>(c) < 32 ? '?' : c;
    }
    name[4] = '\0';
    KEZ_CALL(HALTrace, 0xF000, "KALTaskCreate(): '%s', P=%d", name, static_cast<int>(priority));

    CreationRequest request{nullptr, index, {0}};
    pthread_mutex_lock(&gRequestLock);
    request.next = gRequests;
    gRequests = &request;
    pthread_cond_signal(&gRequestCondition);
    pthread_mutex_unlock(&gRequestLock);
    while (request.status == 0) sched_yield();
    if (request.status == 1) {
        KEZ_CALL(HALTrace, 0xF000, "KALTaskCreate(): Task created successfully (id=0x%lx).",
                 static_cast<unsigned long>(*taskID));
        return 0;
    }
    KEZ_CALL(HALTrace, 0xF000, "KALTaskCreate(): Task creation failed.");
    KEZ_CALL(KALSemaphoreDelete, slot.waitSemaphore);
    SlotLock lock;
    ClearSlot(slot);
    return kalErrNoFreeObject;
}
KEZ_SLOT(KALTaskCreate, KALTaskCreate)

uint16_t KALTaskStart(uint32_t taskID, uint32_t argument) {
    int index = gInitialized ? IndexOf(taskID) : -1;
    if (index < 0 || !gTasks[index].inUse) return kalErrBadID;
    gTasks[index].startArgument = argument;
    KEZ_CALL(KALSemaphoreSignal, gTasks[index].waitSemaphore);
    return 0;
}
KEZ_SLOT(KALTaskStart, KALTaskStart)

// How long a deleted task has to leave its wait before its thread is cancelled: only a task
// blocked in a host call (a read, say) rather than in a wait of this layer takes that long.
constexpr uint32_t kKillGraceMilliseconds = 2000;

uint16_t KALTaskDelete(uint32_t taskID) {
    int index = gInitialized ? IndexOf(taskID) : -1;
    if (index < 0) return kalErrBadID;
    TaskSlot& slot = gTasks[index];
    pthread_t thread{};
    pthread_cond_t* condition = nullptr;
    pthread_mutex_t* mutex = nullptr;
    {
        SlotLock lock;
        if (!slot.inUse) return kalErrBadID;
        if (slot.ending) return 0;
        if (&slot == CurrentSlot()) {
            slot.ending = 1;
            pthread_detach(pthread_self());
            // Unlocks before ending: the slot is released by the key's destructor.
        } else {
            thread = slot.thread;
            // Set under the lock that NoteTaskWait takes: a wait noted after this point sees the
            // flag before it sleeps; a wait noted before is the one woken below.
            slot.kill = 1;
            condition = slot.waitCondition;
            mutex = slot.waitMutex;
        }
    }
    if (&slot == CurrentSlot()) EndCurrentTask();
    if (mutex) {
        // Holding the waiter's mutex, the broadcast cannot fall between its check of the kill
        // flag and its sleep. The records of every wait live as long as the layer.
        Locked lock(mutex);
        pthread_cond_broadcast(condition);
    }
    timespec deadline = DeadlineAfter(kKillGraceMilliseconds);
    if (pthread_timedjoin_np(thread, nullptr, &deadline) != 0) {
        pthread_cancel(thread);
        pthread_join(thread, nullptr);
    }
    return 0;
}
KEZ_SLOT(KALTaskDelete, KALTaskDelete)

uint16_t KALTaskGetCurrentID(uint32_t* taskID) {
    if (!taskID) return kalErrBadParam;
    TaskSlot* slot = CurrentSlot();
    if (!slot) {
        *taskID = kNotATask;
        return kalErrBadID;
    }
    *taskID = IdOf(static_cast<int>(slot - gTasks));
    return 0;
}
KEZ_SLOT(KALTaskGetCurrentID, KALTaskGetCurrentID)

uint16_t KALTaskGetInfo(uint32_t taskID, KALTaskInfo* info) {
    if (!info) return kalErrBadParam;
    std::memset(info, 0, sizeof *info);
    int index = gInitialized ? IndexOf(taskID) : -1;
    if (index < 0) return kalErrBadID;
    SlotLock lock;
    if (index < 0 || !gTasks[index].inUse) return kalErrBadID;
    const TaskSlot& slot = gTasks[index];
    info->userWord = slot.userWord;
    info->entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot.entry));
    info->stackAddress = slot.stackAddress;
    info->stackSize = slot.stackSizeWord;
    info->priority = slot.priority;
    info->name = slot.name;
    std::memcpy(info->reserved, slot.reserved, sizeof info->reserved);
    return 0;
}
KEZ_SLOT(KALTaskGetInfo, KALTaskGetInfo)

uint16_t KALTaskDelay(int32_t milliseconds) {
    if (milliseconds < 0) return kalErrBadParam;
    if (TaskSlot* slot = CurrentSlot()) {
        // A task's delay is a wait on its own condition, so that deleting the task ends it.
        timespec deadline = DeadlineAfter(static_cast<uint32_t>(milliseconds));
        bool killed;
        {
            Locked lock(&slot->delayLock);
            NoteTaskWait(&slot->delayCondition, &slot->delayLock);
            while (!(killed = slot->kill) &&
                   pthread_cond_timedwait(&slot->delayCondition, &slot->delayLock, &deadline) != ETIMEDOUT) {
            }
            NoteTaskWait(nullptr, nullptr);
        }
        if (killed) EndCurrentTask();
        return 0;
    }
    timespec delay{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
        if (errno == EINTR) continue;
        return errno == EFAULT ? kalErrBadAddress : errno == EINVAL ? kalErrBadParam : kalErrOther;
    }
    return 0;
}
KEZ_SLOT(KALTaskDelay, KALTaskDelay)

uint16_t KALTaskWait(int32_t timeout) {
    TaskSlot* slot = CurrentSlot();
    if (!slot) return kalErrNotATask;
    uint16_t result = KEZ_CALL(KALSemaphoreWait, slot->waitSemaphore, timeout);
    return result == kalErrTimeout ? kalErrTimeout : result;
}
KEZ_SLOT(KALTaskWait, KALTaskWait)

uint16_t KALTaskWake(uint32_t taskID) {
    int index = gInitialized ? IndexOf(taskID) : -1;
    if (index < 0 || !gTasks[index].inUse) return kalErrNotATask;
    KEZ_CALL(KALSemaphoreSignal, gTasks[index].waitSemaphore);
    return 0;
}
KEZ_SLOT(KALTaskWake, KALTaskWake)

uint16_t KALTaskCheckCurrent() { return CurrentSlot() ? 0 : kalErrNotATask; }
KEZ_SLOT(KALTaskCheckCurrent, KALTaskCheckCurrent)

uint16_t TaskFillerFFFF() { return 0xFFFF; }
uint16_t KALNullEntry151(uint32_t) { return 0xFFFF; }

}  // namespace

KEZ_SLOT_FILLER(148, TaskFillerFFFF)
KEZ_SLOT_FILLER(149, TaskFillerFFFF)
KEZ_SLOT_FILLER(155, TaskFillerFFFF)
KEZ_SLOT_FILLER(151, KALNullEntry151)

uint64_t NowMilliseconds() {
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_usec) / 1000;
}

timespec DeadlineAfter(uint32_t milliseconds) {
    timeval now;
    gettimeofday(&now, nullptr);
    uint64_t microseconds = static_cast<uint64_t>(now.tv_usec) + static_cast<uint64_t>(milliseconds) * 1000;
    timespec deadline;
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(microseconds / 1000000);
    deadline.tv_nsec = static_cast<long>(microseconds % 1000000) * 1000;
    return deadline;
}

int CurrentTaskIndex() {
    TaskSlot* slot = CurrentSlot();
    return slot ? static_cast<int>(slot - gTasks) : -1;
}

void NoteTaskWait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
    if (TaskSlot* slot = CurrentSlot()) {
        SlotLock lock;
        slot->waitCondition = condition;
        slot->waitMutex = mutex;
    }
}

bool PrvKALTaskIsWaiting(uint32_t taskID) {
    int index = gInitialized ? IndexOf(taskID) : -1;
    if (index < 0) return false;
    SlotLock lock;
    return gTasks[index].inUse && gTasks[index].waitMutex;
}

bool CurrentTaskKilled() {
    TaskSlot* slot = CurrentSlot();
    return slot && slot->kill;
}

void EndCurrentTask() { pthread_exit(nullptr); }

uint16_t PrvKALTaskInitialize() {
    pthread_key_create(&gTaskKey, ReleaseSlot);
    InitRecursiveMutex(&gTaskLock);
    InitRecursiveMutex(&gRequestLock);
    pthread_cond_init(&gRequestCondition, nullptr);
    for (TaskSlot& slot : gTasks) {
        ClearSlot(slot);
        pthread_mutex_init(&slot.delayLock, nullptr);
        pthread_cond_init(&slot.delayCondition, nullptr);
    }
    gRequests = nullptr;
    gStop = false;
    gInitialized = true;
    if (pthread_create(&gCreationThread, nullptr, CreationThread, nullptr) != 0) return 0xFFFF;
    sched_yield();
    return 0;
}

uint16_t PrvKALTaskDispose() {
    // Shutdown runs on the host's thread, so deleting every task never ends the caller.
    for (int i = 0; i < kTaskCount; ++i) KALTaskDelete(IdOf(i));
    pthread_mutex_lock(&gRequestLock);
    gStop = true;
    pthread_cond_signal(&gRequestCondition);
    pthread_mutex_unlock(&gRequestLock);
    pthread_join(gCreationThread, nullptr);
    gInitialized = false;
    pthread_key_delete(gTaskKey);
    for (TaskSlot& slot : gTasks) {
        pthread_mutex_destroy(&slot.delayLock);
        pthread_cond_destroy(&slot.delayCondition);
    }
    pthread_mutex_destroy(&gTaskLock);
    pthread_mutex_destroy(&gRequestLock);
    pthread_cond_destroy(&gRequestCondition);
    return 0;
}

void KALFatal(const char* source, uint16_t line, const char* message) {
    sys::ErrDisplayFileLineMsg(source, line, message);
}

}  // namespace kez
