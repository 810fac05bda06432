// The auto-off timer (system slot 179): this OS never turns itself off for want of activity, so
// there is no timer to reset. Long waits of the modules (a login script on a serial line) reset it
// as they would on a device.
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

uint16_t StandinEvtResetAutoOffTimer() { return 0; }
VANTOR_OS_SLOT(EvtResetAutoOffTimer, StandinEvtResetAutoOffTimer)

}  // namespace
}  // namespace vantor::os
