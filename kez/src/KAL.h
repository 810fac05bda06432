// The kernel abstraction layer's internals shared by its source files: the calling task, its kill
// flag and the condition it waits on, absolute deadlines, and the set-up and disposal that Boot and
// Shutdown call.
#pragma once

#include <pthread.h>

#include <cstdint>

namespace kez {

// Timeouts in milliseconds: negative (or 0xFFFFFFFF) waits for ever.
constexpr bool IsForever(int32_t timeout) { return timeout < 0; }

// Milliseconds since 1970 (gettimeofday): the time base of timers, ticks and deadlines.
uint64_t NowMilliseconds();

// The absolute CLOCK_REALTIME deadline `milliseconds` from now (gettimeofday, normalised).
timespec DeadlineAfter(uint32_t milliseconds);

// The calling thread's task slot index, or -1 when it is no task.
int CurrentTaskIndex();
// Notes the condition the calling task waits on and the mutex it holds for it, so that
// KALTaskDelete can wake it; called with that mutex held (nulls clear).
void NoteTaskWait(pthread_cond_t* condition, pthread_mutex_t* mutex);
// Whether the task is blocked in a wait of this layer (tests synchronise on it).
bool PrvKALTaskIsWaiting(uint32_t taskID);
// Whether the calling task has been asked to end.
bool CurrentTaskKilled();
// Ends the calling task's thread (its slot is released on the way out).
[[noreturn]] void EndCurrentTask();

// Set-up and disposal, in the order Boot and Shutdown call them.
uint16_t PrvKALMutexInitialize();
uint16_t PrvKALSemaphoreInitialize();
uint16_t PrvKALTaskInitialize();
uint16_t PrvKALMailboxInitialize();
uint16_t PrvKALEventGroupInitialize();
uint16_t PrvKALTimerInitialize();
uint16_t PrvHALTimeInitialize(bool hardReset);

uint16_t PrvKALTaskDispose();
uint16_t PrvHALTimeDispose();
uint16_t PrvKALTimerDispose();
uint16_t PrvKALEventGroupDispose();
uint16_t PrvKALMailboxDispose();
uint16_t PrvKALSemaphoreDispose();
uint16_t PrvKALMutexDispose();

// The auto-off check that the housekeeping task runs every 5000 ms.
void PrvHALPowerAutoOffCheck();

// Reports a fatal error through the OS's error entry (system slot 159); the call returns.
void KALFatal(const char* source, uint16_t line, const char* message);

}  // namespace kez
