// The OS globals record (system slot 1): zero-filled, so that every flag of it is clear until a
// test sets one.
#include <cstring>

#include "common/module/OsGlobals.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

alignas(4) uint8_t gGlobals[kOsGlobalsSize];

void* StandinSysGetGlobals() { return gGlobals; }
VANTOR_OS_SLOT(SysGetGlobals, StandinSysGetGlobals)

}  // namespace

void ResetOsGlobals() { std::memset(gGlobals, 0, sizeof gGlobals); }

}  // namespace vantor::os
