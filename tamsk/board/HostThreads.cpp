#include "tamsk/board/HostThreads.h"

#include <atomic>

#include "tamsk/board/RunLoop.h"

namespace tamsk {

namespace {

// A slot's flag is written after its handle, so a taken slot always holds a valid handle.
struct HandleSlot {
    win32::HANDLE handle = nullptr;
    std::atomic<bool> inUse{false};
};
struct LockSlot {
    win32::CRITICAL_SECTION section;
    std::atomic<bool> inUse{false};
};
HandleSlot g_threads[kThreadSlots];
HandleSlot g_events[kEventSlots];
LockSlot g_locks[kLockSlots];

win32::HANDLE g_coreThread;
int g_coreWake = -1;

template <typename Slot, unsigned N>
int FreeSlot(Slot (&slots)[N]) {
    for (unsigned i = 0; i < N; ++i)
        if (!slots[i].inUse.load()) return int(i);
    return -1;
}

template <typename Slot, unsigned N>
unsigned InUse(Slot (&slots)[N]) {
    unsigned n = 0;
    for (auto& s : slots) n += s.inUse.load();
    return n;
}

}  // namespace

unsigned HostCreateThread(win32::LPTHREAD_START_ROUTINE start, void* argument) {
    const int slot = FreeSlot(g_threads);
    if (slot < 0) HostFatal("No slot left in thread table");
    win32::HANDLE thread = win32::CreateThread(start, argument, win32::CREATE_SUSPENDED, nullptr);
    if (!thread) HostFatal("Failed to create thread");
    win32::SetThreadPriority(thread, win32::THREAD_PRIORITY_ABOVE_NORMAL);
    g_threads[slot].handle = thread;
    g_threads[slot].inUse.store(true);
    win32::ResumeThread(thread);
    return unsigned(slot);
}

unsigned HostCreateEvent() {
    const int slot = FreeSlot(g_events);
    if (slot < 0) HostFatal("No slot left in event table");
    win32::HANDLE event = win32::CreateEvent(false, false);
    if (!event) HostFatal("Failed to create event");
    g_events[slot].handle = event;
    g_events[slot].inUse.store(true);
    return unsigned(slot);
}

unsigned HostCreateLock() {
    const int slot = FreeSlot(g_locks);
    if (slot < 0) HostFatal("No slot left in data lock table");
    win32::InitializeCriticalSection(&g_locks[slot].section);
    g_locks[slot].inUse.store(true);
    return unsigned(slot);
}

win32::HANDLE HostThread(unsigned slot) { return slot < kThreadSlots ? g_threads[slot].handle : nullptr; }
win32::HANDLE HostEvent(unsigned slot) { return slot < kEventSlots ? g_events[slot].handle : nullptr; }
win32::CRITICAL_SECTION* HostLock(unsigned slot) {
    return slot < kLockSlots ? &g_locks[slot].section : nullptr;
}

void HostFreeThread(unsigned slot) {
    if (slot >= kThreadSlots || !g_threads[slot].inUse.load()) return;
    g_threads[slot].inUse.store(false);
    win32::CloseHandle(g_threads[slot].handle);
    g_threads[slot].handle = nullptr;
}

void HostFreeEvent(unsigned slot) {
    if (slot >= kEventSlots || !g_events[slot].inUse.load()) return;
    g_events[slot].inUse.store(false);
    win32::CloseHandle(g_events[slot].handle);
    g_events[slot].handle = nullptr;
}

void HostFreeLock(unsigned slot) {
    if (slot >= kLockSlots || !g_locks[slot].inUse.load()) return;
    g_locks[slot].inUse.store(false);
    win32::DeleteCriticalSection(&g_locks[slot].section);
}

unsigned HostThreadsInUse() { return InUse(g_threads); }
unsigned HostEventsInUse() { return InUse(g_events); }
unsigned HostLocksInUse() { return InUse(g_locks); }

void HostSetThreadName(const char* name) { win32::SetCurrentThreadName(name); }

void HostStartCoreThread(int32_t code) {
    if (code == kRunPowerOn || code == kRunPowerOnRestore) {
        HostSetThreadName("Core Emulation");
        if (!g_coreThread) g_coreThread = win32::GetCurrentThreadHandle();
        if (g_coreWake < 0) g_coreWake = int(HostCreateEvent());
    }
    win32::timeBeginPeriod(1);
}

void HostSignalCoreWake() {
    if (g_coreWake >= 0) win32::SetEvent(HostEvent(unsigned(g_coreWake)));
}

void HostWaitCoreWake(win32::DWORD milliseconds) {
    if (g_coreWake >= 0) win32::WaitForSingleObject(HostEvent(unsigned(g_coreWake)), milliseconds);
}

}  // namespace tamsk
