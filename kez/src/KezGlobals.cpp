// The globals record, its pointer block (export slot 0), KezGlobalsInit and the hardware
// information slots.
#include "kez/src/KezGlobals.h"

#include <cstring>

#include "common/FourCC.h"
#include "common/module/ModuleInterface.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"
#include "kez/src/Locks.h"

namespace kez {

KezGlobals gKez;
KezHardwareInfo gHardwareInfo;

namespace {

// Entry 0: the globals; entry 1: an area reserved for the OS; entry 5: the hardware information.
void* gPointerBlock[8];
uint8_t gReservedForOS[8192];

void** KezGetGlobals() { return gPointerBlock; }
KEZ_SLOT(KezGetGlobals, KezGetGlobals)

uint16_t HALInfoGetRevision() { return gHardwareInfo.revision; }
KEZ_SLOT_FILLER(60, HALInfoGetRevision)
uint16_t HALInfoSetRevision(uint16_t revision) { return gHardwareInfo.revision = revision; }
KEZ_SLOT_FILLER(99, HALInfoSetRevision)
uint32_t HALInfoGetFlags() { return gHardwareInfo.flags; }
KEZ_SLOT_FILLER(61, HALInfoGetFlags)
uint32_t HALInfoGetBootValueA() { return gHardwareInfo.wordA; }
KEZ_SLOT_FILLER(116, HALInfoGetBootValueA)
uint32_t HALInfoGetCreator() { return gHardwareInfo.product; }
KEZ_SLOT_FILLER(117, HALInfoGetCreator)
uint32_t HALInfoGetBootValueB() { return gHardwareInfo.wordB; }
KEZ_SLOT_FILLER(118, HALInfoGetBootValueB)

}  // namespace

void PrvHALInfoInitialize() {
    PrvHALSettingsInitialize();
    gHardwareInfo.revision = 2083;
    gHardwareInfo.flags = 0x900;
    if (gKez.config.soundEnabled == 0 || gKez.config.deviceType == vantor::FourCC("_uml"))
        gHardwareInfo.flags |= 0x1000;  // no sound
}

}  // namespace kez

using namespace kez;

extern "C" VANTOR_EXPORT void KezGlobalsInit(const vantor::KezBootConfig* config,
                                             vantor::KezHostStatus* hostStatus) {
    gPointerBlock[0] = &gKez;
    gPointerBlock[1] = gReservedForOS;
    gPointerBlock[5] = &gHardwareInfo;

    gKez.ledOn = gKez.vibratorOn = 0;
    gKez.displayDepthMask = 0x808B;
    gKez.displayAttribute27 = 0;
    gKez.displayDensity = 72;
    gKez.displayInputAreaBitmaps[0] = gKez.displayInputAreaBitmaps[1] = 0;
    InitRecursiveMutex(&gKez.displayLock);

    gKez.errorDialog = nullptr;
    gKez.exitPending = 0;
    InitRecursiveMutex(&gKez.displayUpdateLock);
    pthread_cond_init(&gKez.displayUpdateCondition, nullptr);
    gKez.displayUpdateFlag = 0;
    InitRecursiveMutex(&gKez.displaySecondLock);
    pthread_cond_init(&gKez.displaySecondCondition, nullptr);

    gKez.eventWord = 0;
    InitRecursiveMutex(&gKez.eventLock);
    gKez.eventPending = gKez.keyDown = 0;
    InitRecursiveMutex(&gKez.runLock);

    pthread_cond_init(&gKez.sleepCondition, nullptr);
    pthread_mutex_init(&gKez.sleepLock, nullptr);

    InitRecursiveMutex(&gKez.exitLock);
    pthread_cond_init(&gKez.exitCondition, nullptr);
    InitRecursiveMutex(&gKez.initStageLock);
    pthread_cond_init(&gKez.initStageCondition, nullptr);

    gKez.initStage = 0;
    std::memset(gKez.afterConfig, 0, sizeof gKez.afterConfig);
    gKez.keyMask = 0xFFFFFFFF;
    gKez.alarmTimerId = 0;
    gKez.traceLineStart = true;
    gKez.virtualMouseFlag = 0;
    std::memset(gKez.words, 0, sizeof gKez.words);

    InitRecursiveMutex(&gKez.platformLock);
    pthread_cond_init(&gKez.platformCondition, nullptr);
    gKez.platformStarted = 0;

    if (config) std::memcpy(&gKez.config, config, sizeof gKez.config);
    else std::memset(&gKez.config, 0, sizeof gKez.config);
    gKez.hostStatus = hostStatus;
    gKez.exitType = -1;
    gKez.wakeupPipe[0] = gKez.wakeupPipe[1] = -1;

    InitRecursiveMutex(&gKez.exchangeLock);
    pthread_cond_init(&gKez.exchangeCondition, nullptr);

    gHardwareInfo.product = vantor::FourCC("qel_");
    gHardwareInfo.wordA = gKez.config.hardwareWordA;
    gHardwareInfo.wordB = gKez.config.hardwareWordB;
}
