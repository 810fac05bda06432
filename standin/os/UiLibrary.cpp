// The UI library's answers to an application's event loop while the stand-in has no menu bars of
// its own: the system and the menu bar take no event, and a menu call reports no error. Forms
// are ui/Form.cpp's.
#include <cstdint>

#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"

namespace {

uint8_t StandinMenuHandleEvent(void*, const void*, uint16_t* error) {
    if (error) *error = 0;
    return 0;
}
uint8_t StandinSysHandleEvent(const void*) { return 0; }

}  // namespace

VANTOR_OS_LIBRARY_SLOT(Ui, vantor::uislot::UiEntry243, StandinMenuHandleEvent)
VANTOR_OS_LIBRARY_SLOT(System, vantor::sysslot::SysHandleEvent, StandinSysHandleEvent)
