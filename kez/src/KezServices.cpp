// Seams for the services of Parts that this build does not contain yet (power and auto-off, LED
// and vibrator, the platform layer, the random UI-event tester, the virtual mouse, sound,
// infrared exchange, the remote-access server and the debug break): each does nothing, except
// that the platform layer reports its start and the sleep and display-off flags can be set.
#include "kez/src/KezServices.h"

#include <atomic>

#include "common/module/ModuleInterface.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

std::atomic<bool> gSleeping{false};
std::atomic<bool> gTesterDisplayOff{false};

// Blocks until the platform layer has started.
void PALWaitForStart() {
    pthread_mutex_lock(&gKez.platformLock);
    while (!gKez.platformStarted) pthread_cond_wait(&gKez.platformCondition, &gKez.platformLock);
    pthread_mutex_unlock(&gKez.platformLock);
}
KEZ_SLOT(PALWaitForStart, PALWaitForStart)

}  // namespace

bool PrvHALPowerIsSleeping() { return gSleeping; }
void PrvHALPowerSetSleeping(bool sleeping) { gSleeping = sleeping; }
bool PrvHALTesterDisplayOff() { return gTesterDisplayOff; }
void PrvHALTesterSetDisplayOff(bool off) { gTesterDisplayOff = off; }

// The platform layer itself is not built yet; its start is what other services wait for.
void PrvPALInitialize() {
    pthread_mutex_lock(&gKez.platformLock);
    gKez.platformStarted = 1;
    pthread_cond_broadcast(&gKez.platformCondition);
    pthread_mutex_unlock(&gKez.platformLock);
}

void PrvHALPowerInitialize() {}
void PrvHALAutoOffInitialize() {}
void PrvHALLedVibratorInitialize() {}
void PrvHALLedVibratorOff() {}
void PrvPALDispose() {}
void PrvHALTesterInitialize() {}
void PrvHALTesterDispose() {}
void PrvHALVirtualMouseInitialize() {}
void PrvHALVirtualMouseStop() {}
void PrvHALSoundDispose() {}
void PrvPALExgIrCloseDialogs() {}
void PrvGRASServerStart() {}
void PrvGRASServerStop() {}
bool PrvGRASServerIsRunning() { return false; }
bool PrvHALVirtualMouseKey(GdkEventKey*, uint32_t) { return false; }
void PrvHALDebugBreak() {}

}  // namespace kez

// The remote-access server's set-up, called by the host program before Boot.
extern "C" VANTOR_EXPORT void GRASServerInit(uint32_t* /*launchedForRemoteRequest*/) {}
