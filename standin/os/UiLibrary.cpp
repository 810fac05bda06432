// The UI library's answer to an application's event loop for the system's own events: the system
// takes a pen while an attention dialog is shown (ui/Attention.cpp) and nothing else. Forms are
// ui/Form.cpp's, menu bars ui/Menu.cpp's.
#include <cstdint>

#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiDialog.h"

namespace {

uint8_t StandinSysHandleEvent(const void* event) {
    return vantor::os::ui::AttentionHandleEvent(static_cast<const vantor::SysEventType*>(event));
}

}  // namespace

VANTOR_OS_LIBRARY_SLOT(System, vantor::sysslot::SysHandleEvent, StandinSysHandleEvent)
