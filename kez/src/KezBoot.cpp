// The start and stop sequence of Kez: Boot and Shutdown (exported to the host program), the init
// stage that threads wait on (export slots 98 and 198), the OS main task, and the exit requests
// through which the OS, the error dialog and the remote-access server end or restart the OS
// (export slots 88 and 207).
#include "kez/src/KezBoot.h"

#include <sched.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "kez/src/HALErrDisplay.h"
#include "kez/src/HALEvent.h"
#include "kez/src/HALMemory.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"
#include "kez/src/Locks.h"
#include "kez/src/RAL.h"

using namespace vantor;

namespace kez {
namespace {

using OsMain = void (*)(uint8_t hardReset);
OsMain gOsMain;
uint32_t gMainTask;

void SetHostState(uint32_t state) {
    if (gKez.hostStatus) gKez.hostStatus->state = state;
}

void HALSetInitStage(uint32_t stage) {
    {
        Locked lock(&gKez.initStageLock);
        gKez.initStage = stage;
        if (stage == 2) sys::FtrSet(FourCC("qel_"), 0, 0x01003000);
        pthread_cond_broadcast(&gKez.initStageCondition);
    }
    sched_yield();
    if (stage == 5 && unlink(PrvHALMemoryCrashFile()) != 0)
        sys::ErrDisplayFileLineMsg("Kez/Linux/HAL/Src/HALReset", 344,
                                   "HALSetInitStage(): Can't remove crash-detection file");
    if (stage < 5 || PrvGRASServerIsRunning()) return;
    // The host learns "up" at stage 5 and "ended" from stage 6 on. A shutdown may reach stage 6
    // while the task that set stage 5 is still on its way here: "up" is written only while the
    // stage is still 5, so it never follows "ended".
    Locked lock(&gKez.initStageLock);
    if (stage == 5 && gKez.initStage == 5) SetHostState(2);
    if (stage >= 6) SetHostState(3);
}
KEZ_SLOT(HALSetInitStage, HALSetInitStage)

uint32_t HALWaitForInitStage(uint32_t stage) {
    Locked lock(&gKez.initStageLock);
    while (gKez.initStage < stage) pthread_cond_wait(&gKez.initStageCondition, &gKez.initStageLock);
    return gKez.initStage;
}
KEZ_SLOT(HALWaitForInitStage, HALWaitForInitStage)

void MainTask(uint32_t hardReset) {
    if (gOsMain) gOsMain(hardReset != 0);
    PrvKezExitRequest(kExitOsMainReturned, 0);
}

// Whether the calling task is 'main', and its id when it is a task.
bool CallingTask(uint32_t* id) {
    if (KEZ_CALL(KALTaskGetCurrentID, id) != 0) return false;
    KALTaskInfo info;
    return KEZ_CALL(KALTaskGetInfo, *id, &info) == 0 && info.name == FourCC("main");
}

void HALReset(uint8_t hard) {
    KEZ_CALL(HALTrace, 0xFF00, "HALReset(%s)", hard ? "HARD" : "SOFT");
    uint32_t id = 0;
    bool isMain = CallingTask(&id);
    bool found = id != 0xBADBABAD && id != 0;
    // The main task itself must process the shutdown key, so it does not wait for it.
    PrvKezExitRequest(hard ? kExitHardReset : kExitSoftReset, isMain ? 0 : 1);
    if (found) KEZ_CALL(KALTaskDelete, id);
}
KEZ_SLOT(HALReset, HALReset)

void HALQuit(uint8_t flag) {
    KEZ_CALL(HALTrace, 0xFF00, "HALQuit");
    uint32_t id = 0;
    bool isMain = CallingTask(&id);
    bool found = id != 0xBADBABAD && id != 0;
    bool wait = !(isMain && flag == 0);
    PrvKezExitRequest(kExitQuit, wait ? 1 : 0);
    if (wait && found) KEZ_CALL(KALTaskDelete, id);
}
KEZ_SLOT(HALQuit, HALQuit)

uint16_t PrvKezInitialize(bool hardReset) {
    PrvHALInfoInitialize();
    KEZ_CALL(HALDisplayInitialize);
    PrvKALMutexInitialize();
    PrvKALSemaphoreInitialize();
    PrvKALTaskInitialize();
    PrvHALPowerInitialize();
    PrvKALMailboxInitialize();
    PrvKALEventGroupInitialize();
    PrvKALTimerInitialize();
    PrvHALEventClearHandlers();
    PrvHALEventInitializePen();
    PrvHALEventInitializeKeys();
    PrvHALTimeInitialize(hardReset);
    PrvHALAutoOffInitialize();
    PrvHALLedVibratorInitialize();
    PrvPALInitialize();
    PrvHALTesterInitialize();
    PrvHALVirtualMouseStart();
    return 0;
}

uint16_t PrvKezDispose() {
    PrvPALExgIrCloseDialogs();
    PrvKALTaskDispose();
    PrvHALVirtualMouseStop();
    PrvPALDispose();
    PrvHALTesterDispose();
    PrvHALLedVibratorOff();
    PrvHALSoundDispose();
    PrvHALTimeDispose();
    PrvKALTimerDispose();
    PrvKALEventGroupDispose();
    PrvKALMailboxDispose();
    PrvKALSemaphoreDispose();
    PrvKALMutexDispose();
    KEZ_CALL(HALDisplayDispose);
    return 0;
}

}  // namespace
}  // namespace kez

using namespace kez;

extern "C" {

VANTOR_EXPORT void PrvKezInstallVantorOSMain(void (*osMain)(uint8_t hardReset)) { gOsMain = osMain; }

VANTOR_EXPORT uint16_t Boot(uint8_t hardReset, uint8_t startRemoteAccess) {
    KEZ_CALL(HALSetInitStage, 0);
    KEZ_CALL(HALTrace, 0xFF00, "Boot - Reset type: %s", hardReset ? "HARD" : "SOFT");
    PrvRALInitialize();
    PrvKezInitialize(hardReset != 0);
    PrvHALMemoryInitialize(&hardReset);
    if (startRemoteAccess) PrvGRASServerStart();
    KALTaskCreationRecord record{0, MainTask, 4096, 100, FourCC("main")};
    if (KEZ_CALL(KALTaskCreate, &gMainTask, &record) == 0) KEZ_CALL(KALTaskStart, gMainTask, hardReset);
    return 0;
}

VANTOR_EXPORT uint16_t Shutdown() {
    KEZ_CALL(HALTrace, 0xFF00, "Shutdown initiated");
    PrvGRASServerStop();
    KEZ_CALL(HALSetInitStage, 6);
    PrvHALEventClearHandlers();
    KEZ_CALL(HALTrace, 0xFF00, "PrvKezDispose returned %d", PrvKezDispose());
    KEZ_CALL(HALTrace, 0xFF00, "PrvRALDispose returned %d", PrvRALDispose());
    uint16_t status = PrvHALMemoryDispose();
    KEZ_CALL(HALTrace, 0xFF00, "PrvHALMemoryDispose returned %d", status);
    return status;
}

VANTOR_EXPORT void PrvKezExitRequest(int32_t type, uint8_t wait) {
    KEZ_CALL(HALTrace, 0xFF00, "PrvKezExitRequest(): Type %d", type);
    Locked lock(&gKez.exitLock);
    if (gKez.exitType != -1) return;  // the first request wins
    gKez.exitType = type;
    if (type > 0) {
        PrvHALErrDisplayExitPending();
        KezKeyEventRecord shutdownKey{0x0140, 0x0C1F, 0x0008, 0};
        bool posted = KEZ_CALL(HALEventPost, 1, &shutdownKey) == 0;
        if (posted && wait) {
            KEZ_CALL(HALTrace, 0xF100, "PrvKezExitRequest(): vchrShutdown enqueued.");
            timespec deadline = DeadlineAfter(1000);
            bool done;
            {
                Locked stageLock(&gKez.initStageLock);
                while (gKez.initStage < 7 &&
                       pthread_cond_timedwait(&gKez.initStageCondition, &gKez.initStageLock, &deadline) != ETIMEDOUT) {
                }
                done = gKez.initStage >= 7;
            }
            KEZ_CALL(HALTrace, 0xF100, done ? "PrvKezExitRequest(): App shutdown succeeded."
                                            : "PrvKezExitRequest(): App shutdown failed.");
        }
    }
    pthread_cond_broadcast(&gKez.exitCondition);
}

VANTOR_EXPORT int32_t PrvKezWaitForExitRequest() {
    Locked lock(&gKez.exitLock);
    while (gKez.exitType == -1) pthread_cond_wait(&gKez.exitCondition, &gKez.exitLock);
    return gKez.exitType;
}

}  // extern "C"
