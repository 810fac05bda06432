// Kernel objects on POSIX threads. All waits share one mutex and condition variable: waiters are
// few (a handful of bridge threads and the emulator's core), and one lock makes waiting on several
// objects at once simple and race-free.
#include "standin/win32/KernelObjects.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>

namespace win32 {

struct KernelObject {
    enum class Kind { Thread, Event };
    explicit KernelObject(Kind k) : kind(k) {}
    Kind kind;
    std::atomic<int> refs{1};
    bool signalled = false;   // event set, or thread ended
    bool manualReset = false; // events
    // Threads.
    LPTHREAD_START_ROUTINE start = nullptr;
    void* parameter = nullptr;
    bool resumed = false;
    pthread_t thread{};
    bool self = false;        // a handle of an existing thread (no start routine)
};

namespace {

// Never destroyed: threads may still wait on them while the process exits.
std::mutex& g_lock = *new std::mutex;
std::condition_variable& g_changed = *new std::condition_variable;

void Release(KernelObject* object) {
    if (object->refs.fetch_sub(1) == 1) delete object;
}

void* ThreadMain(void* arg) {
    auto* object = static_cast<KernelObject*>(arg);
    {
        std::unique_lock lock(g_lock);
        g_changed.wait(lock, [&] { return object->resumed; });
    }
    object->start(object->parameter);
    {
        std::lock_guard lock(g_lock);
        object->signalled = true;
    }
    g_changed.notify_all();
    Release(object);
    return nullptr;
}

// Takes the signal of a signalled object (auto-reset events reset); called under g_lock.
bool TakeSignal(KernelObject* object) {
    if (!object->signalled) return false;
    if (object->kind == KernelObject::Kind::Event && !object->manualReset) object->signalled = false;
    return true;
}

}  // namespace

HANDLE CreateThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags, DWORD* threadId) {
    if (!start) return nullptr;
    auto* object = new KernelObject(KernelObject::Kind::Thread);
    object->start = start;
    object->parameter = parameter;
    object->resumed = !(flags & CREATE_SUSPENDED);
    object->refs = 2;  // the handle and the running thread
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    const int rc = pthread_create(&object->thread, &attr, ThreadMain, object);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete object;
        return nullptr;
    }
    static std::atomic<DWORD> nextId{1};
    if (threadId) *threadId = nextId++;
    return object;
}

DWORD ResumeThread(HANDLE thread) {
    if (!thread || thread->kind != KernelObject::Kind::Thread) return 0xFFFFFFFF;
    DWORD previous;
    {
        std::lock_guard lock(g_lock);
        previous = thread->resumed ? 0 : 1;
        thread->resumed = true;
    }
    g_changed.notify_all();
    return previous;
}

BOOL SetThreadPriority(HANDLE thread, int) {
    return thread && thread->kind == KernelObject::Kind::Thread ? TRUE : FALSE;
}

void SetCurrentThreadName(const char* name) {
    char shortName[16];
    std::strncpy(shortName, name ? name : "", sizeof shortName - 1);
    shortName[sizeof shortName - 1] = '\0';
    pthread_setname_np(pthread_self(), shortName);
}

HANDLE GetCurrentThreadHandle() {
    auto* object = new KernelObject(KernelObject::Kind::Thread);
    object->thread = pthread_self();
    object->self = true;
    object->resumed = true;
    return object;
}

HANDLE CreateEvent(BOOL manualReset, BOOL initialState) {
    auto* object = new KernelObject(KernelObject::Kind::Event);
    object->manualReset = manualReset != 0;
    object->signalled = initialState != 0;
    return object;
}

BOOL SetEvent(HANDLE event) {
    if (!event || event->kind != KernelObject::Kind::Event) return FALSE;
    {
        std::lock_guard lock(g_lock);
        event->signalled = true;
    }
    g_changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    if (!event || event->kind != KernelObject::Kind::Event) return FALSE;
    std::lock_guard lock(g_lock);
    event->signalled = false;
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || !objects) return WAIT_FAILED;
    for (DWORD i = 0; i < count; ++i)
        if (!objects[i] || objects[i]->self) return WAIT_FAILED;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock lock(g_lock);
    for (;;) {
        if (waitAll) {
            bool all = true;
            for (DWORD i = 0; i < count; ++i) all = all && objects[i]->signalled;
            if (all) {
                for (DWORD i = 0; i < count; ++i) TakeSignal(objects[i]);
                return WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < count; ++i)
                if (TakeSignal(objects[i])) return WAIT_OBJECT_0 + i;
        }
        if (milliseconds == INFINITE) {
            g_changed.wait(lock);
        } else if (g_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: a signal may have come with the time-out.
            if (!waitAll)
                for (DWORD i = 0; i < count; ++i)
                    if (TakeSignal(objects[i])) return WAIT_OBJECT_0 + i;
            return WAIT_TIMEOUT;
        }
    }
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

BOOL CloseHandle(HANDLE object) {
    if (!object) return FALSE;
    Release(object);
    return TRUE;
}

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION*) {}

DWORD timeGetTime() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
    return static_cast<DWORD>(ms);
}

namespace {
std::atomic<int> g_timerPeriods{0};
}
UINT timeBeginPeriod(UINT) {
    ++g_timerPeriods;
    return 0;
}
UINT timeEndPeriod(UINT) {
    --g_timerPeriods;
    return 0;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetModuleFileName(void*, char* path, DWORD size) {
    if (!path || size == 0) return 0;
    const ssize_t n = readlink("/proc/self/exe", path, size - 1);
    if (n <= 0) {
        path[0] = '\0';
        return 0;
    }
    path[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace win32
