// The fatal alert of the UI library (UI slot 273) and the debugger entry it may lead to (system
// slot 62). No one is there to choose: the alert is recorded as an error report (file
// "SysFatalAlert", line 0) and answers 3, after which its caller enters the debugger, which here
// returns at once. A test scripts slot 273 for another choice.
#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t kChoiceContinue = 3;

uint16_t StandinSysFatalAlert(const char* message) {
    reinterpret_cast<syssig::ErrDisplayFileLineMsg*>(SystemTable()[sysslot::ErrDisplayFileLineMsg])(
        "SysFatalAlert", 0, message);
    return kChoiceContinue;
}
VANTOR_OS_LIBRARY_SLOT(Ui, uislot::SysFatalAlert, StandinSysFatalAlert)

void StandinSysEnterDebugger() {}
VANTOR_OS_SLOT(SysEnterDebugger, StandinSysEnterDebugger)

}  // namespace
}  // namespace vantor::os
