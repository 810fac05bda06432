// The stand-in UI library's control slots over the controls of open forms: value, label, usable
// and enabled state, drawing and the pen. A control is its native record (the OS layout the 68K
// glue reads in place) followed by the label the form resource gave it.
#include <cstddef>
#include <cstring>

#include "common/module/NativeUi.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

static_assert(offsetof(ControlRecord, attributes) == offsetof(NativeControl, attr));
static_assert(offsetof(ControlRecord, bounds) == offsetof(NativeControl, bounds));
static_assert(offsetof(ControlRecord, text) == offsetof(NativeControl, text));
static_assert(offsetof(ControlRecord, style) == offsetof(NativeControl, style));
static_assert(offsetof(ControlRecord, font) == offsetof(NativeControl, font));
static_assert(sizeof(ControlRecord) == sizeof(NativeControl));

bool Has(const Control* c, uint16_t bit) { return (c->attributes & bit) != 0; }
void Set(Control* c, uint16_t bit, bool on) {
    c->attributes = static_cast<uint16_t>(on ? c->attributes | bit : c->attributes & ~bit);
}

// Only controls of open forms are touched: anything else is left alone.
Control* Valid(Control* c) { return IsControl(c) ? c : nullptr; }

void Erase(Control* c) { FillRect(c->bounds, kWhite, c->style == kButtonCtl ? 4 : 0); }

void StandinCtlDrawControl(Control* c) {
    if ((c = Valid(c))) {
        Set(c, kControlVisible, true);
        ControlDraw(c);
    }
}
uint8_t StandinCtlEnabled(Control* c) { return (c = Valid(c)) && Has(c, kControlEnabled) ? 1 : 0; }
void StandinCtlEraseControl(Control* c) {
    if (!(c = Valid(c))) return;
    Erase(c);
    Set(c, kControlVisible, false);
}
char* StandinCtlGetLabel(Control* c) {
    return (c = Valid(c)) && !Has(c, kControlGraphic) ? c->text : nullptr;
}
int16_t StandinCtlGetValue(Control* c) { return (c = Valid(c)) && Has(c, kControlOn) ? 1 : 0; }
void StandinCtlSetValue(Control* c, int16_t value) {
    if (!(c = Valid(c))) return;
    Set(c, kControlOn, value != 0);
    if (Has(c, kControlVisible)) ControlDraw(c);
}
void StandinCtlHideControl(Control* c) {
    if (!(c = Valid(c))) return;
    if (Has(c, kControlVisible)) Erase(c);
    Set(c, kControlUsable, false);
    Set(c, kControlVisible, false);
}
void StandinCtlShowControl(Control* c) {
    if (!(c = Valid(c))) return;
    Set(c, kControlUsable, true);
    Set(c, kControlVisible, true);
    ControlDraw(c);
}
void StandinCtlSetUsable(Control* c, uint8_t usable) {
    if ((c = Valid(c))) Set(c, kControlUsable, usable != 0);
}
void StandinCtlSetEnabled(Control* c, uint8_t enabled) {
    if ((c = Valid(c))) Set(c, kControlEnabled, enabled != 0);
}
// The record points at the caller's text, as the OS does: the caller keeps it alive.
void StandinCtlSetLabel(Control* c, char* text) {
    if (!(c = Valid(c)) || Has(c, kControlGraphic)) return;
    if (Has(c, kControlVisible)) Erase(c);
    c->text = text;
    if (Has(c, kControlVisible)) ControlDraw(c);
}
// A tap on the control: a control-select event as the pen would give.
void StandinCtlHitControl(Control* c) {
    if (!(c = Valid(c))) return;
    if (c->style == kPushButtonCtl || c->style == kCheckboxCtl) Set(c, kControlOn, !Has(c, kControlOn));
    SysEventType select{};
    select.eType = kCtlSelect;
    std::memcpy(select.data, &c->id, 2);
    std::memcpy(select.data + 4, &c, 4);
    select.data[8] = Has(c, kControlOn) ? 1 : 0;
    PostEvent(select);
}
uint8_t StandinCtlHandleEvent(Control* c, const SysEventType* event) {
    if (!(c = Valid(c)) || !event || event->eType != kPenDown) return 0;
    if (!Has(c, kControlUsable) || !Has(c, kControlEnabled) ||
        !c->bounds.Contains(ScreenToUi(event->screenX), ScreenToUi(event->screenY)))
        return 0;
    StandinCtlHitControl(c);
    return 1;
}

VANTOR_OS_LIBRARY_SLOT(Ui, 41, StandinCtlDrawControl)
VANTOR_OS_LIBRARY_SLOT(Ui, 42, StandinCtlEnabled)
VANTOR_OS_LIBRARY_SLOT(Ui, 43, StandinCtlEraseControl)
VANTOR_OS_LIBRARY_SLOT(Ui, 44, StandinCtlGetLabel)
VANTOR_OS_LIBRARY_SLOT(Ui, 46, StandinCtlGetValue)
VANTOR_OS_LIBRARY_SLOT(Ui, 47, StandinCtlHandleEvent)
VANTOR_OS_LIBRARY_SLOT(Ui, 48, StandinCtlHideControl)
VANTOR_OS_LIBRARY_SLOT(Ui, 49, StandinCtlHitControl)
VANTOR_OS_LIBRARY_SLOT(Ui, 53, StandinCtlSetEnabled)
VANTOR_OS_LIBRARY_SLOT(Ui, 55, StandinCtlSetLabel)
VANTOR_OS_LIBRARY_SLOT(Ui, 57, StandinCtlSetUsable)
VANTOR_OS_LIBRARY_SLOT(Ui, 58, StandinCtlSetValue)
VANTOR_OS_LIBRARY_SLOT(Ui, 59, StandinCtlShowControl)

}  // namespace
}  // namespace vantor::os::ui
