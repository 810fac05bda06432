// Threads, auto- and manual-reset events, critical sections and waits with time-outs, on POSIX
// threads; the millisecond clock and the program's own path.
#pragma once

#include <mutex>

#include "standin/win32/Win32Types.h"

namespace win32 {

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD CREATE_SUSPENDED = 0x4;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

// A thread runs `start` (parameter) once resumed when created with CREATE_SUSPENDED. Waiting on its
// handle waits for it to end. Returns null on failure.
HANDLE CreateThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags, DWORD* threadId);
DWORD ResumeThread(HANDLE thread);
BOOL SetThreadPriority(HANDLE thread, int priority);
// Names the calling thread for debuggers (cut to what the host allows).
void SetCurrentThreadName(const char* name);
// A handle of the calling thread (a new handle each call; close it when done).
HANDLE GetCurrentThreadHandle();

// Events: an auto-reset event lets exactly one wait through per SetEvent and resets itself.
HANDLE CreateEvent(BOOL manualReset, BOOL initialState);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits until the object is signalled (an event is set, a thread has ended) or `milliseconds`
// have passed (INFINITE: no limit). WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Waits for any one of `count` objects: WAIT_OBJECT_0 + the index of the first signalled one.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);

// Closes a handle; the object lives on while a thread still runs.
BOOL CloseHandle(HANDLE object);

// Critical sections: recursive locks.
struct CRITICAL_SECTION {
    std::recursive_mutex mutex;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

// Milliseconds since an arbitrary start, wrapping at 2^32 (the multimedia timer clock).
DWORD timeGetTime();
// Timer resolution requests; the host clock is always fine-grained, so they only count.
UINT timeBeginPeriod(UINT milliseconds);
UINT timeEndPeriod(UINT milliseconds);
void Sleep(DWORD milliseconds);

// Full path of the running program (null module: the executable); the length copied, 0 on failure.
DWORD GetModuleFileName(void* module, char* path, DWORD size);

}  // namespace win32
