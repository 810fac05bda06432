// The globals record and its pointer block.
#include "kez/src/KezGlobals.h"

namespace kez {

KezGlobals gKez;

}  // namespace kez
