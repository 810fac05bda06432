// The UI library's answer to an application's event loop for the system's own events: the system
// takes none. Forms are ui/Form.cpp's, menu bars ui/Menu.cpp's.
#include <cstdint>

#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"

namespace {

uint8_t StandinSysHandleEvent(const void*) { return 0; }

}  // namespace

VANTOR_OS_LIBRARY_SLOT(System, vantor::sysslot::SysHandleEvent, StandinSysHandleEvent)
