// Recursive mutexes and counting semaphores (export slots 133 to 142), each from a fixed pool of 64
// records named by their index.
//
// Each record's POSIX mutex and condition live as long as the pool: deleting an object marks it
// deleted, wakes its waiters and waits (yielding) until none is left inside a wait, so that no
// woken waiter ever touches a destroyed lock or condition.
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "kez/src/KAL.h"
#include "kez/src/KezModule.h"
#include "kez/src/Locks.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint32_t kPoolSize = 64;

struct MutexRecord {
    uint32_t inUse;
    int32_t lockCount;  // -1 marks a deleted mutex
    pthread_t owner;
    uint32_t freeStamp;
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    uint32_t attribute;
    std::atomic<int> waiters;
};

struct SemaphoreRecord {
    uint32_t inUse;
    uint32_t initialCount;
    uint32_t count;  // 0xFFFFFFFF marks a deleted semaphore
    uint32_t freeStamp;
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    uint32_t attribute;
    std::atomic<int> waiters;
};

constexpr uint32_t kDeletedCount = 0xFFFFFFFF;

template <typename Record>
struct Pool {
    Record records[kPoolSize];
    pthread_mutex_t lock;
    uint32_t releaseCounter;
};

Pool<MutexRecord> gMutexes;
Pool<SemaphoreRecord> gSemaphores;

template <typename Record>
void InitPool(Pool<Record>& pool) {
    InitRecursiveMutex(&pool.lock);
    pool.releaseCounter = 1;
    for (Record& r : pool.records) {
        r.inUse = 0;
        r.freeStamp = 0;
        r.attribute = 0;
        r.waiters = 0;
        InitRecursiveMutex(&r.mutex);
        pthread_cond_init(&r.condition, nullptr);
    }
}

template <typename Record>
void DisposePool(Pool<Record>& pool) {
    for (Record& r : pool.records) {
        pthread_mutex_destroy(&r.mutex);
        pthread_cond_destroy(&r.condition);
    }
    pthread_mutex_destroy(&pool.lock);
}

// Among the free records, the one freed longest ago (smallest stamp - counter); on equal stamps
// the lower index. Called under the pool lock; -1 when none is free.
template <typename Record>
int ChooseRecord(Pool<Record>& pool) {
    int chosen = -1;
    int32_t best = 0;
    for (int i = kPoolSize - 1; i >= 0; --i) {
        const Record& r = pool.records[i];
        if (r.inUse) continue;
        auto age = static_cast<int32_t>(r.freeStamp - pool.releaseCounter);
        if (chosen < 0 || age <= best) {
            chosen = i;
            best = age;
        }
    }
    return chosen;
}

// A wait's bookkeeping, undone however the wait ends (a task deletion unwinds through it).
template <typename Record>
class WaitScope {
public:
    explicit WaitScope(Record& record) : record_(record) {
        ++record_.waiters;
        NoteTaskWait(&record_.condition, &record_.mutex);
    }
    ~WaitScope() {
        NoteTaskWait(nullptr, nullptr);
        --record_.waiters;
    }

private:
    Record& record_;
};

// Waits on the record's condition until `done` holds, the task is killed or the deadline passes.
// Answers false on timeout. The record's mutex is held.
template <typename Record, typename Done>
bool WaitUntil(Record& record, int32_t timeout, Done done) {
    WaitScope scope(record);
    timespec deadline{};
    if (!IsForever(timeout)) deadline = DeadlineAfter(static_cast<uint32_t>(timeout));
    while (!done() && !CurrentTaskKilled()) {
        if (IsForever(timeout)) {
            pthread_cond_wait(&record.condition, &record.mutex);
        } else if (pthread_cond_timedwait(&record.condition, &record.mutex, &deadline) == ETIMEDOUT) {
            return done();
        }
    }
    return true;
}

// Deletion: check, mark, wake the waiters, and wait until every one has left its wait.
template <typename Pool, typename Record, typename Check, typename Mark>
uint16_t DeleteRecord(Pool& pool, Record& record, Check check, Mark mark) {
    {
        Locked poolLock(&pool.lock);
        Locked recordLock(&record.mutex);
        if (uint16_t error = check()) return error;
        record.inUse = 0;
        record.freeStamp = pool.releaseCounter++;
        mark();
        pthread_cond_broadcast(&record.condition);
    }
    while (record.waiters > 0) sched_yield();
    return 0;
}

// --- Mutexes ---

// Checks a mutex whose record lock the caller holds.
uint16_t CheckMutex(const MutexRecord& r) {
    if (r.lockCount == -1) return kalErrDeleted;
    return r.inUse ? 0 : kalErrBadID;
}

uint16_t KALMutexCreate(uint32_t* id, uint32_t attribute) {
    if (!id) return kalErrBadParam;
    int index;
    {
        Locked lock(&gMutexes.lock);
        index = ChooseRecord(gMutexes);
        if (index >= 0) {
            MutexRecord& r = gMutexes.records[index];
            r.inUse = 1;
            r.lockCount = 0;
            r.owner = {};
            r.attribute = attribute;
        }
    }
    if (index < 0) {
        *id = 0xFFFFFFFF;
        KEZ_CALL(HALErrDisplay, "KALMutexCreate(): No more mutexes", 1, nullptr, 0);
        return kalErrNoFreeObject;
    }
    *id = static_cast<uint32_t>(index);
    return 0;
}
KEZ_SLOT(KALMutexCreate, KALMutexCreate)

uint16_t KALMutexDelete(uint32_t id) {
    if (id >= kPoolSize) return kalErrBadID;
    MutexRecord& r = gMutexes.records[id];
    return DeleteRecord(gMutexes, r, [&] { return CheckMutex(r); }, [&] { r.lockCount = -1; });
}
KEZ_SLOT(KALMutexDelete, KALMutexDelete)

uint16_t KALMutexReserve(uint32_t id, int32_t timeout) {
    if (id >= kPoolSize) return kalErrBadID;
    MutexRecord& r = gMutexes.records[id];
    bool killed;
    uint16_t result = 0;
    {
        Locked lock(&r.mutex);
        if (uint16_t error = CheckMutex(r)) return error;
        pthread_t self = pthread_self();
        if (r.lockCount == 0) {
            r.lockCount = 1;
            r.owner = self;
            return 0;
        }
        if (pthread_equal(r.owner, self)) {
            ++r.lockCount;
            return 0;
        }
        bool inTime = WaitUntil(r, timeout, [&] { return r.lockCount < 1; });
        killed = CurrentTaskKilled();
        if (!killed) {
            if (r.lockCount == -1) {
                result = kalErrDeleted;
            } else if (!inTime) {
                result = kalErrTimeout;
            } else {
                r.lockCount = 1;
                r.owner = self;
            }
        }
    }
    if (killed) EndCurrentTask();
    return result;
}
KEZ_SLOT(KALMutexReserve, KALMutexReserve)

uint16_t KALMutexRelease(uint32_t id) {
    if (id >= kPoolSize) return kalErrBadID;
    MutexRecord& r = gMutexes.records[id];
    bool notOwner;
    {
        Locked lock(&r.mutex);
        if (uint16_t error = CheckMutex(r)) return error;
        notOwner = !pthread_equal(r.owner, pthread_self());
        if (!notOwner) {
            if (r.lockCount <= 0) return 0xFFFF;
            if (--r.lockCount == 0) pthread_cond_signal(&r.condition);
            return 0;
        }
    }
    KEZ_CALL(HALErrDisplay, "KALMutexRelease: attempt to release an unowned mutex", 1, nullptr, 0);
    return 0xFFFF;
}
KEZ_SLOT(KALMutexRelease, KALMutexRelease)

uint16_t KALMutexGetInfo(uint32_t id, void* info) {
    if (info) std::memset(info, 0, 8);
    if (id >= kPoolSize) return kalErrBadID;
    Locked lock(&gMutexes.records[id].mutex);
    return CheckMutex(gMutexes.records[id]);
}
KEZ_SLOT(KALMutexGetInfo, KALMutexGetInfo)

// --- Semaphores ---

// Checks a semaphore whose record lock the caller holds.
uint16_t CheckSemaphore(const SemaphoreRecord& r) {
    if (r.count == kDeletedCount) return kalErrDeleted;
    return r.inUse ? 0 : kalErrBadID;
}

uint16_t KALSemaphoreCreate(uint32_t* id, uint32_t attribute, uint32_t initialCount) {
    if (!id) return kalErrBadParam;
    if (initialCount >= 0x7FFFFFFF) {
        *id = 0xFFFFFFFF;
        return kalErrBadParam;
    }
    Locked lock(&gSemaphores.lock);
    int index = ChooseRecord(gSemaphores);
    if (index < 0) {
        *id = 0xFFFFFFFF;
        return kalErrNoFreeObject;
    }
    SemaphoreRecord& r = gSemaphores.records[index];
    r.inUse = 1;
    r.initialCount = r.count = initialCount;
    r.attribute = attribute;
    *id = static_cast<uint32_t>(index);
    return 0;
}
KEZ_SLOT(KALSemaphoreCreate, KALSemaphoreCreate)

uint16_t KALSemaphoreDelete(uint32_t id) {
    if (id >= kPoolSize) return kalErrBadID;
    SemaphoreRecord& r = gSemaphores.records[id];
    return DeleteRecord(gSemaphores, r, [&] { return CheckSemaphore(r); }, [&] { r.count = kDeletedCount; });
}
KEZ_SLOT(KALSemaphoreDelete, KALSemaphoreDelete)

uint16_t KALSemaphoreSignal(uint32_t id) {
    if (id >= kPoolSize) return kalErrBadID;
    SemaphoreRecord& r = gSemaphores.records[id];
    Locked lock(&r.mutex);
    if (uint16_t error = CheckSemaphore(r)) return error;
    ++r.count;
    pthread_cond_signal(&r.condition);
    return 0;
}
KEZ_SLOT(KALSemaphoreSignal, KALSemaphoreSignal)

uint16_t KALSemaphoreWait(uint32_t id, int32_t timeout) {
    if (id >= kPoolSize) return kalErrBadID;
    SemaphoreRecord& r = gSemaphores.records[id];
    bool killed;
    uint16_t result = 0;
    {
        Locked lock(&r.mutex);
        if (uint16_t error = CheckSemaphore(r)) return error;
        if (r.count > 0) {
            --r.count;
            return 0;
        }
        bool inTime = WaitUntil(r, timeout, [&] { return r.count != 0; });
        killed = CurrentTaskKilled();
        if (!killed) {
            if (r.count == kDeletedCount) result = kalErrDeleted;
            else if (!inTime) result = kalErrTimeout;
            else --r.count;
        }
    }
    if (killed) EndCurrentTask();
    return result;
}
KEZ_SLOT(KALSemaphoreWait, KALSemaphoreWait)

uint16_t KALSemaphoreGetInfo(uint32_t id, void* info) {
    if (info) std::memset(info, 0, 12);
    if (id >= kPoolSize) return kalErrBadID;
    const SemaphoreRecord& r = gSemaphores.records[id];
    Locked lock(const_cast<pthread_mutex_t*>(&r.mutex));
    if (uint16_t error = CheckSemaphore(r)) return error;
    if (info) {
        auto current = static_cast<uint16_t>(r.count), initial = static_cast<uint16_t>(r.initialCount);
        std::memcpy(static_cast<uint8_t*>(info) + 4, &current, 2);
        std::memcpy(static_cast<uint8_t*>(info) + 6, &initial, 2);
    }
    return 0;
}
KEZ_SLOT(KALSemaphoreGetInfo, KALSemaphoreGetInfo)

}  // namespace

uint16_t PrvKALMutexInitialize() {
    InitPool(gMutexes);
    for (MutexRecord& r : gMutexes.records) r.lockCount = 0;
    return 0;
}

uint16_t PrvKALSemaphoreInitialize() {
    InitPool(gSemaphores);
    for (SemaphoreRecord& r : gSemaphores.records) r.count = r.initialCount = 0;
    return 0;
}

uint16_t PrvKALSemaphoreDispose() {
    for (uint32_t id = 0; id < kPoolSize; ++id) KALSemaphoreDelete(id);
    DisposePool(gSemaphores);
    return 0;
}

uint16_t PrvKALMutexDispose() {
    for (uint32_t id = 0; id < kPoolSize; ++id) KALMutexDelete(id);
    DisposePool(gMutexes);
    return 0;
}

}  // namespace kez
