// The system sounds (clicks, alarms, errors) that the OS plays for applications and for its own
// dialogs. The stand-in has no sound samples of its own: a system sound is accepted and nothing
// is heard.
#include <cstdint>

#include "standin/os/SlotRegistration.h"

namespace {

void StandinSndPlaySystemSound(uint8_t) {}

}  // namespace

VANTOR_OS_LIBRARY_SLOT(System, vantor::sysslot::SndPlaySystemSound, StandinSndPlaySystemSound)
