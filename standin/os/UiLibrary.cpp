// The UI library's answers to an application's event loop while the stand-in has no forms and no
// menu bars of its own: there is no active form, the system, the menu bar and the form take no
// event, and a menu call reports no error.
#include <cstdint>

#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"

namespace {

void* StandinFrmGetActiveForm() { return nullptr; }
uint8_t StandinFrmDispatchEvent(const void*) { return 0; }
uint8_t StandinMenuHandleEvent(void*, const void*, uint16_t* error) {
    if (error) *error = 0;
    return 0;
}
uint8_t StandinSysHandleEvent(const void*) { return 0; }

}  // namespace

VANTOR_OS_LIBRARY_SLOT(Ui, vantor::uislot::FrmGetActiveForm, StandinFrmGetActiveForm)
VANTOR_OS_LIBRARY_SLOT(Ui, vantor::uislot::UiEntry132, StandinFrmDispatchEvent)
VANTOR_OS_LIBRARY_SLOT(Ui, vantor::uislot::UiEntry243, StandinMenuHandleEvent)
VANTOR_OS_LIBRARY_SLOT(System, vantor::sysslot::SysHandleEvent, StandinSysHandleEvent)
