// Seams for the services that this build does not contain yet (the random UI-event tester and
// the virtual mouse): each does nothing, except that the display-off flag can be set.
#include "kez/src/KezServices.h"

#include <atomic>

#include "common/module/ModuleInterface.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

std::atomic<bool> gTesterDisplayOff{false};

}  // namespace

bool PrvHALTesterDisplayOff() { return gTesterDisplayOff; }
void PrvHALTesterSetDisplayOff(bool off) { gTesterDisplayOff = off; }

void PrvHALTesterInitialize() {}
void PrvHALTesterDispose() {}
void PrvHALVirtualMouseInitialize() {}
void PrvHALVirtualMouseStop() {}
bool PrvHALVirtualMouseKey(GdkEventKey*, uint32_t) { return false; }

}  // namespace kez
