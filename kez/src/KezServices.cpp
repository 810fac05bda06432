// Seams for the services of Parts that this build does not contain yet (power and auto-off, LED
// and vibrator, the platform layer, the random UI-event tester, the virtual mouse, sound,
// infrared exchange, the remote-access server and the debug break): each does nothing.
#include "kez/src/KezServices.h"

#include "common/module/ModuleInterface.h"

namespace kez {

void PrvHALPowerInitialize() {}
void PrvHALAutoOffInitialize() {}
void PrvHALLedVibratorInitialize() {}
void PrvHALLedVibratorOff() {}
void PrvPALInitialize() {}
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
