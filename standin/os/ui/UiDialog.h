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

// Where the attention list stands: most of the UI grid below the title bar, its buttons in line
// with the dialogs'.
constexpr Rect kAttnListBox{2, 18, 156, 140};

// The attention manager's share of the system's event handling: true when it took the event (a pen
// while its dialog or list is shown, or on the attention indicator).
bool AttentionHandleEvent(const SysEventType* event);

// The attention indicator blinks by a 16-bit pattern, one bit a phase from bit 15 down, a set bit
// showing it.
constexpr uint32_t kAttnBlinkPhaseTicks = 125;
constexpr uint16_t kAttnDefaultBlinkPattern = 0xF0F0;
// Whether the pattern shows the indicator at that tick count.
bool AttnIndicatorPhaseOn(uint16_t pattern, uint32_t ticks);
// Ticks until the indicator must be drawn again; -1 while it has nothing to show.
int32_t AttnIndicatorTicksTillNextBlink();
// Draws the indicator as its pattern wants it now, or clears it once nothing is pending.
void AttnIndicatorCheckBlink();

}  // namespace vantor::os::ui
