// KezGlobals: the state of Kez that the OS can reach (through the pointer block of export slot 0)
// and the locks set up once by KezGlobalsInit. Each service owns a group of fields; services keep
// the rest of their state in their own source files.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "common/module/KezBootConfig.h"

namespace kez {

// The hardware-information block the OS reads (136 bytes, entry 5 of the pointer block).
struct KezHardwareInfo {
    uint8_t reserved0[74];
    uint16_t revision;  // 74
    uint8_t reserved76[12];
    uint32_t flags;     // 88
    uint8_t reserved92[32];
    uint32_t wordA;     // 124
    uint32_t wordB;     // 128
    uint32_t product;   // 132: 'qel_'
};
static_assert(sizeof(KezHardwareInfo) == 136);
static_assert(offsetof(KezHardwareInfo, revision) == 74);
static_assert(offsetof(KezHardwareInfo, flags) == 88);
static_assert(offsetof(KezHardwareInfo, wordA) == 124);
static_assert(offsetof(KezHardwareInfo, product) == 132);

struct KezGlobals {
    vantor::KezBootConfig config;  // copied by KezGlobalsInit
    uint32_t afterConfig[3];       // read by slot 208, set by the random UI-event tester
    vantor::KezHostStatus* hostStatus;

    // LED and vibrator.
    uint8_t ledOn;
    uint8_t vibratorOn;

    // Display.
    // Display state read and written by the display (HALDisplay.cpp) alone.
    uint32_t displayDepthMask;            // bit (depth - 1) of each supported depth
    uint8_t displayAttribute27;           // stored and answered back
    uint32_t displayDensity;              // 72, 108 or 144
    uint32_t displayInputAreaBitmaps[2];  // attributes 33 and 34
    pthread_mutex_t displayLock;
    pthread_mutex_t displayUpdateLock;
    pthread_cond_t displayUpdateCondition;
    uint8_t displayUpdateFlag;
    pthread_mutex_t displaySecondLock;
    pthread_cond_t displaySecondCondition;

    // Error dialog and exit.
    void* errorDialog;
    uint8_t exitPending;

    // Events and power.
    uint32_t eventWord;
    pthread_mutex_t eventLock;
    uint8_t eventPending;
    uint8_t keyDown;
    pthread_mutex_t runLock;

    // Sleep.
    pthread_mutex_t sleepLock;  // the one non-recursive lock
    pthread_cond_t sleepCondition;

    // Exit request and init stage.
    pthread_mutex_t exitLock;
    pthread_cond_t exitCondition;
    int32_t exitType;  // -1: no request
    pthread_mutex_t initStageLock;
    pthread_cond_t initStageCondition;
    uint32_t initStage;

    uint32_t keyMask;  // HALKeySetMask's mask, 0xFFFFFFFF at start
    uint32_t alarmTimerId;
    bool traceLineStart;  // the next trace output begins a line
    uint8_t virtualMouseFlag;
    uint32_t words[4];

    // Platform start.
    pthread_mutex_t platformLock;
    pthread_cond_t platformCondition;
    uint8_t platformStarted;

    // Wake-up pipe of the event queue: read and write ends, -1 when none.
    int32_t wakeupPipe[2];

    // Desktop data exchange.
    pthread_mutex_t exchangeLock;
    pthread_cond_t exchangeCondition;
};

extern KezGlobals gKez;
extern KezHardwareInfo gHardwareInfo;

}  // namespace kez
