// Power management seams used by the kernel layer. Auto-off and sleep are not part of this build
// yet: the check does nothing.
#include "kez/src/KAL.h"

namespace kez {

void PrvHALPowerAutoOffCheck() {}

}  // namespace kez
