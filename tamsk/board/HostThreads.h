// Host threads, events and locks from fixed slot tables (8 threads, 16 events, 8 locks), shared by
// the bridges; the core thread's start and its wake event.
#pragma once

#include <cstdint>

#include "standin/win32/KernelObjects.h"

namespace tamsk {

constexpr unsigned kThreadSlots = 8;
constexpr unsigned kEventSlots = 16;
constexpr unsigned kLockSlots = 8;

// Each returns the slot; a full table or a failed creation is fatal.
unsigned HostCreateThread(win32::LPTHREAD_START_ROUTINE start, void* argument);
unsigned HostCreateEvent();  // auto-reset, initially unset
unsigned HostCreateLock();
win32::HANDLE HostThread(unsigned slot);
win32::HANDLE HostEvent(unsigned slot);
win32::CRITICAL_SECTION* HostLock(unsigned slot);
// Freeing a slot closes its handle (or deletes its lock) and marks it free.
void HostFreeThread(unsigned slot);
void HostFreeEvent(unsigned slot);
void HostFreeLock(unsigned slot);
// Slots in use (tests).
unsigned HostThreadsInUse();
unsigned HostEventsInUse();
unsigned HostLocksInUse();

// Names the calling thread for debuggers.
void HostSetThreadName(const char* name);

// Start of a run on the core thread: on codes 0 and 6 names it "Core Emulation" and makes its wake
// event; on every code raises the host timer resolution.
void HostStartCoreThread(int32_t code);
// The core's wake event: set by requests when EnableIdle is on, waited on by an idle core.
void HostSignalCoreWake();
void HostWaitCoreWake(win32::DWORD milliseconds);

}  // namespace tamsk
