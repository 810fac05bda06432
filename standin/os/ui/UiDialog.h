// The stand-in UI library's dialog boxes (alerts, progress and attention dialogs): a framed white
// box with its title on a dark bar, buttons with their labels, and the form update that asks the
// application to draw what a closed dialog covered.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/module/SystemCalls.h"
#include "standin/os/StandinOs.h"
#include "standin/os/ui/UiDraw.h"

namespace vantor::os::ui {

// Where the dialogs stand: across the lower half of the UI grid.
constexpr Rect kDialogBox{2, 90, 156, 68};

void DialogDraw(const Rect& box, const char* title, size_t titleLength);
// A button whose label starts at (x + 6, y + 2); answers its rectangle.
Rect DialogButton(int16_t x, int16_t y, const char* label, size_t length);
// Queues a form update for the active form, if there is one.
void PostFormUpdate();

// The attention dialog's share of the system's event handling: true when it took the event (a pen
// while it is shown; on its OK button it is dismissed).
bool AttentionHandleEvent(const SysEventType* event);

}  // namespace vantor::os::ui
