// The input area below the square screen and the status-bar buttons drawn over it (export slots
// 191 to 195).
#include "kez/src/HALScreenMgr.h"
#include "kez/src/KezModule.h"

namespace kez {

void PrvStatusBarReset() {}

uint16_t HALRedrawInputArea(const HALRect*, uint8_t) { return 0; }
KEZ_SLOT(HALRedrawInputArea, HALRedrawInputArea)

}  // namespace kez
