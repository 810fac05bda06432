// Power, keys, auto-off and sleep (export slots 63 to 84, 171 and 172): the power mode and its
// run lock, the hard-key mask and key repeat, the pen position, the auto-off check of the
// housekeeping task, and sleep, which blocks the calling task until a pen, key or alarm event.
//
// The sleep lock guards only the sleep flags and the wake request: the sleeping task never holds
// it while tracing or repainting, so a waker never waits for the window or another task.
#include <pthread.h>

#include <atomic>

#include "kez/src/HALEvent.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

namespace kez {

using vantor::KezKeyEventRecord;
using vantor::KezPenEventRecord;

namespace {

constexpr uint16_t kAutoOffCharacter = 0x0114;
constexpr uint16_t kWokenCharacter = 0x012D;
constexpr uint16_t kCommandModifier = 0x0008;

struct Power {
    uint16_t mode = 1;
    uint32_t latchedKeys = 0;
    uint16_t repeatDelay = 1000, repeatPeriod = 250;
    uint8_t repeatFlag = 0;
    std::atomic<uint16_t> autoOffSeconds{0};
    // Guarded by the sleep lock.
    bool wakeRequested = false;
    uint8_t secondSleepFlag = 0;
};
Power gPower;
std::atomic<bool> gSleeping{false};

void Repaint() { KEZ_CALL(HALDisplayAddDirtyRect, nullptr, 1); }

void PostKey(uint16_t character, uint16_t keyCode) {
    KezKeyEventRecord key{character, keyCode, kCommandModifier, 0};
    KEZ_CALL(HALEventPost, 1u, &key);
}

}  // namespace

bool PrvHALPowerIsSleeping() { return gSleeping; }
void PrvHALPowerSetSleeping(bool sleeping) { gSleeping = sleeping; }

void PrvHALPowerInitialize() {
    gPower.mode = 1;
    gKez.keyMask = 0xFFFFFFFF;
    gPower.latchedKeys = 0;
    gPower.repeatDelay = 1000;
    gPower.repeatPeriod = 250;
    gPower.repeatFlag = 0;
    gKez.eventWord = 500;
    gSleeping = false;
    pthread_mutex_lock(&gKez.sleepLock);
    gPower.wakeRequested = false;
    gPower.secondSleepFlag = 0;
    pthread_mutex_unlock(&gKez.sleepLock);
}

void PrvHALAutoOffInitialize() { gPower.autoOffSeconds = 0; }

void PrvHALPowerWake() {
    pthread_mutex_lock(&gKez.sleepLock);
    if (gSleeping) {
        gPower.wakeRequested = true;
        pthread_cond_broadcast(&gKez.sleepCondition);
    }
    pthread_mutex_unlock(&gKez.sleepLock);
}

// Run by the housekeeping task every 5000 ms. The auto-off key is not user activity: the key is
// posted again at each check until the user acts or the device sleeps.
void PrvHALPowerAutoOffCheck() {
    uint32_t seconds = gPower.autoOffSeconds;
    if (seconds == 0 || gSleeping) return;
    uint32_t last = HALEventLastActivity();
    if (KEZ_CALL(HALTimeGetTicks) - last <= seconds * 1000) return;
    PostKey(kAutoOffCharacter, 1);
    HALEventSetLastActivity(last);
}

uint16_t HALPowerSetMode(uint16_t mode) {
    uint16_t previous = gPower.mode;
    if (mode != previous) {
        if (previous == 1) pthread_mutex_lock(&gKez.runLock);
        else if (mode == 1) pthread_mutex_unlock(&gKez.runLock);
        gPower.mode = mode;
    }
    return previous;
}
KEZ_SLOT(HALPowerSetMode, HALPowerSetMode)

uint16_t HALPowerGetMode() { return gPower.mode; }
KEZ_SLOT(HALPowerGetMode, HALPowerGetMode)

uint16_t HALKeyGetRate(uint16_t* initialDelay, uint16_t* period, uint8_t* flag) {
    if (initialDelay) *initialDelay = gPower.repeatDelay;
    if (period) *period = gPower.repeatPeriod;
    if (flag) *flag = gPower.repeatFlag;
    return 0;
}
KEZ_SLOT(HALKeyGetRate, HALKeyGetRate)

uint16_t HALKeySetRate(uint16_t initialDelay, uint16_t period, uint8_t flag) {
    gPower.repeatDelay = initialDelay;
    gPower.repeatPeriod = period;
    gPower.repeatFlag = flag;
    return 0;
}
KEZ_SLOT(HALKeySetRate, HALKeySetRate)

uint32_t HALKeySetMask(uint32_t mask) {
    uint32_t previous = gKez.keyMask;
    gKez.keyMask = mask;
    return previous;
}
KEZ_SLOT(HALKeySetMask, HALKeySetMask)

uint32_t HALKeyGetState() { return HALEventHardKeys(); }
KEZ_SLOT(HALKeyGetState, HALKeyGetState)

uint16_t HALKeyClearState() {
    gPower.latchedKeys = 0;
    return 0;
}
KEZ_SLOT(HALKeyClearState, HALKeyClearState)

uint16_t HALEventGetFlags(uint16_t* flags) {
    if (flags) *flags = static_cast<uint16_t>(gKez.eventWord);
    return 0;
}
KEZ_SLOT(HALEventGetFlags, HALEventGetFlags)

uint16_t HALEventSetFlags(uint16_t flags) {
    gKez.eventWord = flags;
    return 0;
}
KEZ_SLOT(HALEventSetFlags, HALEventSetFlags)

uint16_t HALPenGetPosition(KezPenEventRecord* position) {
    if (position) *position = HALEventLastPen();
    return 0;
}
KEZ_SLOT(HALPenGetPosition, HALPenGetPosition)

// No calibration: raw and screen coordinates are the same.
uint16_t HALPenRawToScreen(KezPenEventRecord*) { return 0; }
KEZ_SLOT(HALPenRawToScreen, HALPenRawToScreen)
uint16_t HALPenScreenToRaw(KezPenEventRecord*) { return 0; }
KEZ_SLOT(HALPenScreenToRaw, HALPenScreenToRaw)

uint16_t PrvHALPowerFiller() { return 0; }
KEZ_SLOT_FILLER(75, PrvHALPowerFiller)
KEZ_SLOT_FILLER(77, PrvHALPowerFiller)

uint16_t HALPowerSetAutoOffTime(uint16_t seconds) {
    gPower.autoOffSeconds = seconds;
    return 0;
}
KEZ_SLOT(HALPowerSetAutoOffTime, HALPowerSetAutoOffTime)

uint16_t HALPowerGetAutoOffTime() { return gPower.autoOffSeconds; }
KEZ_SLOT(HALPowerGetAutoOffTime, HALPowerGetAutoOffTime)

uint16_t HALPowerSetLastActivity(uint32_t tick) {
    HALEventSetLastActivity(tick);
    return 0;
}
KEZ_SLOT(HALPowerSetLastActivity, HALPowerSetLastActivity)

uint32_t HALPowerGetLastActivity() { return HALEventLastActivity(); }
KEZ_SLOT(HALPowerGetLastActivity, HALPowerGetLastActivity)

uint16_t HALPowerSleep() {
    HALEventSetLastActivity(KEZ_CALL(HALTimeGetTicks));
    pthread_mutex_lock(&gKez.sleepLock);
    gSleeping = true;
    gPower.secondSleepFlag = 1;
    gPower.wakeRequested = false;
    gKez.eventPending = 0;
    pthread_mutex_unlock(&gKez.sleepLock);

    KEZ_CALL(HALTrace, 0xFF00, "Device goes to sleep...");
    Repaint();  // the painter shows "Doze Mode" over the picture
    pthread_mutex_lock(&gKez.sleepLock);
    while (!gPower.wakeRequested) pthread_cond_wait(&gKez.sleepCondition, &gKez.sleepLock);
    gSleeping = false;
    gPower.secondSleepFlag = 0;
    pthread_mutex_unlock(&gKez.sleepLock);
    KEZ_CALL(HALTrace, 0xFF00, "Device awaked !");

    if (gKez.eventPending) {
        PostKey(kWokenCharacter, 0);
    }
    Repaint();
    return 0;
}
KEZ_SLOT(HALPowerSleep, HALPowerSleep)

}  // namespace kez
