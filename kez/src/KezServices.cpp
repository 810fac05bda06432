// Seams for the services that this build does not contain yet (power and auto-off, the random
// UI-event tester and the virtual mouse): each
// does nothing, except that the sleep and display-off flags can be set.
#include "kez/src/KezServices.h"

#include <atomic>

#include "common/module/ModuleInterface.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

std::atomic<bool> gSleeping{false};
std::atomic<bool> gTesterDisplayOff{false};

}  // namespace

bool PrvHALPowerIsSleeping() { return gSleeping; }
void PrvHALPowerSetSleeping(bool sleeping) { gSleeping = sleeping; }
bool PrvHALTesterDisplayOff() { return gTesterDisplayOff; }
void PrvHALTesterSetDisplayOff(bool off) { gTesterDisplayOff = off; }

void PrvHALPowerInitialize() {}
void PrvHALAutoOffInitialize() {}
void PrvHALTesterInitialize() {}
void PrvHALTesterDispose() {}
void PrvHALVirtualMouseInitialize() {}
void PrvHALVirtualMouseStop() {}
bool PrvHALVirtualMouseKey(GdkEventKey*, uint32_t) { return false; }

}  // namespace kez
