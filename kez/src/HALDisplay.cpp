// The device screen (export slots 238 and 239).
#include "kez/src/KezModule.h"

namespace kez {
namespace {

uint16_t HALDisplayInitialize() { return 0; }
KEZ_SLOT(HALDisplayInitialize, HALDisplayInitialize)

uint16_t HALDisplayDispose() { return 0; }
KEZ_SLOT(HALDisplayDispose, HALDisplayDispose)

}  // namespace
}  // namespace kez
