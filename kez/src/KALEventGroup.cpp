// Event groups (export slots 121 to 127): 16 groups of 32 bits whose waiters ask for all or any
// bits of a mask.
#include <sched.h>

#include <atomic>
#include <cerrno>

#include "kez/src/KAL.h"
#include "kez/src/KezModule.h"
#include "kez/src/Locks.h"

using namespace vantor;

namespace kez {
namespace {

constexpr int kGroupCount = 16;
constexpr int kWaiterCount = 16;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kBeingDeleted = 0xFFFFFFFE;
constexpr uint32_t kSatisfied = 0x08000000;
constexpr const char* kSource = "Kez/Linux/Kernel/Src/KALEventGroup";

struct Waiter {
    uint32_t result;
    uint32_t mask;
    uint32_t mode;  // 1: all bits of the mask; otherwise any; kSatisfied once served
};

struct EventGroup {
    std::atomic<uint32_t> id;
    uint32_t attribute;
    uint32_t bits;
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    uint8_t deleted;
    Waiter* waiters[kWaiterCount];
};

EventGroup gGroups[kGroupCount];
pthread_mutex_t gPoolLock;
uint32_t gIdCounter;

bool Holds(uint32_t bits, uint32_t mask, uint32_t mode) {
    return (mode & ~kSatisfied) == 1 ? (bits & mask) == mask : (bits & mask) != 0;
}

// The group an id names, locked; null for a bad id.
EventGroup* Lock(uint32_t id) {
    EventGroup& g = gGroups[id & 15];
    if (g.id != id || id == kFree || id == kBeingDeleted) return nullptr;
    pthread_mutex_lock(&g.mutex);
    if (g.id != id) {
        pthread_mutex_unlock(&g.mutex);
        return nullptr;
    }
    return &g;
}

uint16_t KALEventGroupCreate(uint32_t* id, uint32_t attribute, uint32_t bits) {
    if (!id) return kalErrBadParam;
    if (pthread_mutex_lock(&gPoolLock) != 0) {
        KALFatal(kSource, 116, "PrvKALEventGroupLock");
        return kalErrOther;
    }
    for (int i = 0; i < kGroupCount; ++i) {
        EventGroup& g = gGroups[i];
        if (g.id != kFree) continue;
        pthread_mutex_lock(&g.mutex);
        for (Waiter*& w : g.waiters) w = nullptr;
        g.deleted = 0;
        g.attribute = attribute;
        g.bits = bits;
        g.id = static_cast<uint32_t>(i) + gIdCounter;
        pthread_mutex_unlock(&g.mutex);
        gIdCounter += 16;
        if (gIdCounter > 31999) gIdCounter = 0;
        *id = g.id;
        pthread_mutex_unlock(&gPoolLock);
        return 0;
    }
    pthread_mutex_unlock(&gPoolLock);
    KALFatal(kSource, 176, "NO MORE EVENTS GROUPS");
    return kalErrNoFreeObject;
}
KEZ_SLOT(KALEventGroupCreate, KALEventGroupCreate)

uint16_t KALEventGroupDelete(uint32_t id) {
    EventGroup* g = Lock(id);
    if (!g) return kalErrBadEventGroup;
    g->id = kBeingDeleted;
    g->deleted = 1;
    pthread_cond_broadcast(&g->condition);
    pthread_mutex_unlock(&g->mutex);
    for (;;) {
        pthread_mutex_lock(&g->mutex);
        bool waiting = false;
        for (Waiter* w : g->waiters) waiting |= w != nullptr;
        pthread_mutex_unlock(&g->mutex);
        if (!waiting) break;
        sched_yield();
    }
    g->id = kFree;
    return 0;
}
KEZ_SLOT(KALEventGroupDelete, KALEventGroupDelete)

uint16_t KALEventGroupClear(uint32_t id, uint32_t bits) {
    EventGroup* g = Lock(id);
    if (!g) return kalErrBadID;
    g->bits &= ~bits;
    pthread_mutex_unlock(&g->mutex);
    return 0;
}
KEZ_SLOT(KALEventGroupClear, KALEventGroupClear)

uint16_t KALEventGroupGetValue(uint32_t id, uint32_t* bits) {
    EventGroup* g = Lock(id);
    if (!g) return kalErrBadID;
    if (bits) *bits = g->bits;
    pthread_mutex_unlock(&g->mutex);
    return 0;
}
KEZ_SLOT(KALEventGroupGetValue, KALEventGroupGetValue)

uint16_t KALEventGroupSignal(uint32_t id, uint32_t bits) {
    EventGroup* g = Lock(id);
    if (!g) return kalErrBadID;
    g->bits |= bits;
    for (Waiter* w : g->waiters) {
        if (w && !(w->mode & kSatisfied) && Holds(g->bits, w->mask, w->mode)) {
            w->result = g->bits;
            w->mode |= kSatisfied;
        }
    }
    pthread_cond_broadcast(&g->condition);
    pthread_mutex_unlock(&g->mutex);
    return 0;
}
KEZ_SLOT(KALEventGroupSignal, KALEventGroupSignal)

// Keeps a waiter registered for the length of a wait, however the wait ends.
class Registration {
public:
    Registration(EventGroup& g, Waiter** entry, Waiter* waiter) : g_(g), entry_(entry) {
        *entry_ = waiter;
        NoteTaskWait(&g_.condition, &g_.mutex);
    }
    ~Registration() {
        NoteTaskWait(nullptr, nullptr);
        *entry_ = nullptr;
        pthread_mutex_unlock(&g_.mutex);
    }

private:
    EventGroup& g_;
    Waiter** entry_;
};

uint16_t KALEventGroupWait(uint32_t id, const KALEventGroupRequest* request, uint32_t* bits) {
    if (!request) return kalErrBadParam;
    EventGroup* g = Lock(id);
    if (!g) return kalErrBadID;
    uint32_t mask = request->mask, mode = request->mode & ~kSatisfied;
    auto timeout = static_cast<int32_t>(request->timeout);
    if (Holds(g->bits, mask, mode)) {
        if (bits) *bits = g->bits;
        pthread_mutex_unlock(&g->mutex);
        return 0;
    }
    if (timeout == 0) {
        pthread_mutex_unlock(&g->mutex);
        return kalErrTimeout;
    }
    Waiter** entry = nullptr;
    for (Waiter*& w : g->waiters) {
        if (!w) {
            entry = &w;
            break;
        }
    }
    if (!entry) {
        KALFatal(kSource, 329, "KALEventGroupWait(): No free slot");
        if (bits) *bits = g->bits;
        pthread_mutex_unlock(&g->mutex);
        return kalErrNoFreeObject;
    }
    timespec deadline{};
    if (!IsForever(timeout)) deadline = DeadlineAfter(static_cast<uint32_t>(timeout));
    Waiter waiter{0, mask, mode};
    bool killed = false;
    uint16_t result = 0;
    {
        Registration registration(*g, entry, &waiter);
        // A deletion that came before the registration finds the kill flag set here.
        killed = CurrentTaskKilled();
        while (!killed) {
            int error = IsForever(timeout) ? pthread_cond_wait(&g->condition, &g->mutex)
                                           : pthread_cond_timedwait(&g->condition, &g->mutex, &deadline);
            if (g->deleted) {
                result = kalErrDeleted;
                break;
            }
            if (waiter.mode & kSatisfied) {
                if (bits) *bits = waiter.result;
                break;
            }
            if (CurrentTaskKilled()) {
                killed = true;
                break;
            }
            if (error == ETIMEDOUT) {
                result = kalErrTimeout;
                break;
            }
            if (error != 0 && error != EINTR) KALFatal(kSource, error == EINVAL ? 374 : 381, "Unknown error");
        }
    }
    if (killed) EndCurrentTask();
    return result;
}
KEZ_SLOT(KALEventGroupWait, KALEventGroupWait)

uint16_t KALEventGroupRead() {
    KALFatal(kSource, 0, "KALEventGroupRead() not implemented.");
    return 0xFFFF;
}
KEZ_SLOT(KALEventGroupRead, KALEventGroupRead)

}  // namespace

uint16_t PrvKALEventGroupInitialize() {
    InitRecursiveMutex(&gPoolLock);
    for (EventGroup& g : gGroups) {
        g.id = kFree;
        g.bits = 0;
        g.deleted = 0;
        for (Waiter*& w : g.waiters) w = nullptr;
        InitRecursiveMutex(&g.mutex);
        pthread_cond_init(&g.condition, nullptr);
    }
    gIdCounter = 0;
    return 0;
}

uint16_t PrvKALEventGroupDispose() {
    for (EventGroup& g : gGroups) {
        if (g.id != kFree) KALEventGroupDelete(g.id);
        pthread_mutex_destroy(&g.mutex);
        pthread_cond_destroy(&g.condition);
    }
    pthread_mutex_destroy(&gPoolLock);
    return 0;
}

}  // namespace kez
