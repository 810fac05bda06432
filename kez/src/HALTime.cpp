// The OS's time (export slots 10, 103 to 108): the millisecond tick, the wall clock in seconds
// since 1904 in local time with a user offset, the alarm, and delays; and the housekeeping task
// 'ttmr'.
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "common/FourCC.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint32_t kSecondsFrom1904To1970 = 2082844800u;
// An alarm further away than this is armed for this long and re-armed when it fires.
constexpr uint32_t kLongestAlarmSeconds = 24 * 3600;

std::atomic<uint64_t> gTickBase{0};
std::atomic<uint32_t> gUserOffset{0};  // survives a soft reset
std::atomic<uint32_t> gAlarmSeconds{0};
uint32_t gHousekeepingTask;

uint32_t HALTimeGetTicks() {
    uint64_t now = NowMilliseconds();
    uint64_t expected = 0;
    // The first call sets the base and answers 0.
    if (gTickBase.compare_exchange_strong(expected, now)) return 0;
    return static_cast<uint32_t>(now - expected);
}
KEZ_SLOT(HALTimeGetTicks, HALTimeGetTicks)

// Local time in seconds since 1904, without the user offset.
uint32_t HostSeconds() {
    tzset();
    time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    auto seconds = static_cast<uint32_t>(now);
    if (local.tm_isdst > 0) seconds += 3600;
    seconds -= static_cast<uint32_t>(timezone);
    return seconds + kSecondsFrom1904To1970;
}

uint32_t HALTimeGetSeconds() { return HostSeconds() + gUserOffset; }
KEZ_SLOT(HALTimeGetSeconds, HALTimeGetSeconds)

uint16_t HALTimeSetSeconds(uint32_t seconds) {
    gUserOffset = seconds - HostSeconds();
    return 0;
}
KEZ_SLOT(HALTimeSetSeconds, HALTimeSetSeconds)

uint32_t HALTimeGetClockResolution() {
    static const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    return ticksPerSecond > 0 ? static_cast<uint32_t>(1000 / ticksPerSecond) : 0;
}
KEZ_SLOT(HALTimeGetClockResolution, HALTimeGetClockResolution)

uint16_t HALTimeGetAlarm(uint32_t* seconds) {
    uint32_t alarm = gAlarmSeconds;
    if (seconds) *seconds = alarm;
    return alarm ? 0 : 0xFFFF;
}
KEZ_SLOT(HALTimeGetAlarm, HALTimeGetAlarm)

// Arms the alarm timer for the alarm time: at once when it is due or past, else for the time left,
// at most kLongestAlarmSeconds (the callback re-arms a longer one).
uint16_t ArmAlarm(uint32_t alarm) {
    uint32_t now = KEZ_CALL(HALTimeGetSeconds);
    uint32_t milliseconds = 1;
    if (alarm > now) {
        uint32_t left = alarm - now;
        milliseconds = (left < kLongestAlarmSeconds ? left : kLongestAlarmSeconds) * 1000;
    }
    return KEZ_CALL(KALTimerStart, gKez.alarmTimerId, milliseconds);
}

uint16_t HALTimeSetAlarm(uint32_t seconds) {
    gAlarmSeconds = seconds;
    // Clearing the alarm leaves an armed timer as it is.
    return seconds ? ArmAlarm(seconds) : 0;
}
KEZ_SLOT(HALTimeSetAlarm, HALTimeSetAlarm)

void AlarmFired(uint32_t) {
    uint32_t alarm = gAlarmSeconds;
    if (alarm && alarm > KEZ_CALL(HALTimeGetSeconds)) {
        ArmAlarm(alarm);  // a clamped alarm that is not due yet
        return;
    }
    KEZ_CALL(HALEventPost, 2, nullptr);
    gAlarmSeconds = 0;
}

void HALDelay(uint32_t microseconds) {
    timespec delay{static_cast<time_t>(microseconds / 1000000), static_cast<long>(microseconds % 1000000) * 1000};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}
KEZ_SLOT(HALDelay, HALDelay)

void Housekeeping(uint32_t) {
    for (;;) {
        KEZ_CALL(KALTaskWait, 5000);
        PrvHALPowerAutoOffCheck();
    }
}

}  // namespace

uint16_t PrvHALTimeInitialize(bool hardReset) {
    KALTaskCreationRecord record{0, Housekeeping, 2048, 10, FourCC("ttmr")};
    if (KEZ_CALL(KALTaskCreate, &gHousekeepingTask, &record) == 0)
        KEZ_CALL(KALTaskStart, gHousekeepingTask, 0);
    if (hardReset) gUserOffset = 0;
    gAlarmSeconds = 0;
    return KEZ_CALL(KALTimerCreate, &gKez.alarmTimerId, 0, AlarmFired, 0);
}

uint16_t PrvHALTimeDispose() {
    KEZ_CALL(KALTimerDelete, gKez.alarmTimerId);
    return 0;
}

}  // namespace kez
