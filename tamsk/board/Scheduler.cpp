#include "tamsk/board/Scheduler.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Autosave.h"
#include "tamsk/board/Board.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"

namespace tamsk {

FutureEvent FutureEventTable[kFutureEventCapacity];
uint32_t FutureEventCount;

EvtCallback EvtTimedCallback(uint32_t id) {
    if (id == 0) return EvtStatusTick;
    if (id == 9) return EvtHostThreadTime;
    return id < kTimedCallbackCount ? BoardDescribed().timed[id] : nullptr;
}

namespace {

// Status line bookkeeping.
std::string g_statusLine;
EvtStatusSink g_statusSink;
uint32_t (*g_deviceAddressSource)();
uint64_t g_lastInstructions;
win32::DWORD g_lastStatusMs;
win32::DWORD g_runStartMs;
bool g_timeLimitStarted;
int32_t g_timeLimitTotal;
int32_t g_timeLimitRemaining;
int32_t g_autoSaveCounter;
timeval g_coreUserTime;

// Inserts before the first entry due at or after `due`, so that among equal due times the newest
// runs first. Returns the position.
unsigned Insert(uint64_t due, EvtCallback callback, uint32_t argument) {
    if (FutureEventCount >= kFutureEventCapacity) HostFatal("Future events table overflow");
    unsigned at = 0;
    while (at < FutureEventCount && FutureEventTable[at].due < due) ++at;
    std::memmove(&FutureEventTable[at + 1], &FutureEventTable[at],
                 (FutureEventCount - at) * sizeof(FutureEvent));
    FutureEventTable[at] = {due, callback, argument};
    ++FutureEventCount;
    return at;
}

void RemoveAt(unsigned at) {
    std::memmove(&FutureEventTable[at], &FutureEventTable[at + 1],
                 (FutureEventCount - at - 1) * sizeof(FutureEvent));
    --FutureEventCount;
}

}  // namespace

void EvtSetCountdownFromHead() {
    if (FutureEventCount == 0) {
        EvtCountdown = 0;
        return;
    }
    // 0 means nothing scheduled: an entry due now (or late) counts down one tick, and one too far
    // ahead for 32 bits is looked at again when the clamped countdown runs out.
    const uint64_t due = FutureEventTable[0].due;
    const uint64_t ahead = due > EmulatedTicks ? due - EmulatedTicks : 0;
    EvtCountdown = ahead == 0 ? 1 : ahead > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(ahead);
}

void EvtSchedule(uint32_t delay, EvtCallback callback, uint32_t argument) {
    if (Insert(EmulatedTicks + delay, callback, argument) == 0) EvtSetCountdownFromHead();
}

void EvtCancel(EvtCallback callback, uint32_t argument) {
    const bool head = FutureEventCount && FutureEventTable[0].callback == callback &&
                      FutureEventTable[0].argument == argument;
    unsigned out = 0;
    for (unsigned i = 0; i < FutureEventCount; ++i) {
        const FutureEvent& e = FutureEventTable[i];
        if (e.callback == callback && e.argument == argument) continue;
        FutureEventTable[out++] = e;
    }
    FutureEventCount = out;
    if (head) EvtSetCountdownFromHead();
}

bool EvtIsScheduled(EvtCallback callback, uint32_t argument) {
    for (unsigned i = 0; i < FutureEventCount; ++i)
        if (FutureEventTable[i].callback == callback && FutureEventTable[i].argument == argument)
            return true;
    return false;
}

void EvtAdvance(uint32_t delay, uint32_t argument) {
    const EvtCallback pacing = EvtTimedCallback(3);
    for (unsigned i = 0; i < FutureEventCount; ++i) {
        if (FutureEventTable[i].callback != pacing || FutureEventTable[i].argument != argument)
            continue;
        RemoveAt(i);
        Insert(EmulatedTicks + delay, pacing, argument);
        if (FutureEventTable[0].due < EmulatedTicks) HostFatal("Time flow anomaly");
        EvtSetCountdownFromHead();
        return;
    }
}

void CpuRunDueEvents() {
    while (FutureEventCount && FutureEventTable[0].due <= EmulatedTicks) {
        const FutureEvent e = FutureEventTable[0];
        RemoveAt(0);
        EvtSetCountdownFromHead();
        e.callback(e.argument);
    }
    EvtSetCountdownFromHead();
}

uint32_t EvtCallbackId(EvtCallback callback) {
    for (uint32_t id = 0; id < kTimedCallbackCount; ++id)
        if (callback && EvtTimedCallback(id) == callback) return id;
    HostFatal("Unidentified callback passed");
}

EvtCallback EvtCallbackFromId(uint32_t id) {
    const EvtCallback callback = EvtTimedCallback(id);
    if (!callback) HostFatal("Unexpected callback identifier");
    return callback;
}

void EvtReset() {
    FutureEventCount = 0;
    EvtCountdown = 0;
    EmulatedTicks = 0;
    g_lastInstructions = 0;
    g_lastStatusMs = g_runStartMs = win32::timeGetTime();
    EvtSchedule(kTicksPerSecond, EvtStatusTick, 0);
}

std::string EvtFormatRate(uint64_t instructions, uint32_t hostMilliseconds, uint32_t runSeconds,
                          uint32_t ip) {
    // Instructions per host millisecond are thousands per second.
    const uint64_t thousands = instructions / (hostMilliseconds ? hostMilliseconds : 1);
    char text[96];
    std::snprintf(text, sizeof text, "%llu.%01llu  %u:%02u  %u.%u.%u.%u",
                  static_cast<unsigned long long>(thousands / 1000),
                  static_cast<unsigned long long>((thousands % 1000) / 100), runSeconds / 60,
                  runSeconds % 60, ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return text;
}

const std::string& EvtStatusLine() { return g_statusLine; }

void EvtSetStatusSink(EvtStatusSink sink) { g_statusSink = sink; }
void EvtSetDeviceAddressSource(uint32_t (*source)()) { g_deviceAddressSource = source; }

namespace {
void SetStatusLine(std::string text) {
    g_statusLine = std::move(text);
    if (g_statusSink) g_statusSink(g_statusLine);
}
}  // namespace

void EvtStatusTick(uint32_t) {
    if (BoardDescribed().second) BoardDescribed().second();
    EvtSchedule(kTicksPerSecond, EvtStatusTick, 0);

    if (Opt.TimeLimit != 0) {
        if (!g_timeLimitStarted) {
            g_timeLimitStarted = true;
            g_timeLimitTotal = g_timeLimitRemaining = Opt.TimeLimit;
        }
        if (g_timeLimitRemaining-- == 1) {
            std::fflush(nullptr);
            _exit(0);
        }
        const int64_t elapsed = int64_t(g_timeLimitTotal) - g_timeLimitRemaining;
        char text[32];
        std::snprintf(text, sizeof text, "%d%% complete", int(elapsed * 100 / g_timeLimitTotal));
        SetStatusLine(text);
        return;
    }
    if (Opt.AutoSaveInterval != 0 && ++g_autoSaveCounter == Opt.AutoSaveInterval) {
        g_autoSaveCounter = 0;
        HostAutoSave();
    }
    if (Opt.DumpMips) {
        const win32::DWORD now = win32::timeGetTime();
        in_addr address{};
        const uint32_t ip = g_deviceAddressSource ? g_deviceAddressSource()
                            : inet_aton(Opt.DeviceIPAddr, &address) ? ntohl(address.s_addr)
                                                                    : 0;
        // A restore restarts the instruction counter: count from 0 then.
        const uint64_t executed = ExecutedInstructions >= g_lastInstructions
                                      ? ExecutedInstructions - g_lastInstructions
                                      : ExecutedInstructions;
        SetStatusLine(EvtFormatRate(executed, now - g_lastStatusMs,
                                     (g_lastStatusMs - g_runStartMs) / 1000, ip));
        g_lastInstructions = ExecutedInstructions;
        g_lastStatusMs = now;
    }
}

void EvtHostThreadTime(uint32_t) {
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) == 0) g_coreUserTime = usage.ru_utime;
}

}  // namespace tamsk
