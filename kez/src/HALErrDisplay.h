// The error dialog and the main window it belongs to.
#pragma once

typedef struct _GtkWidget GtkWidget;

namespace kez {

// The window the dialog is shown on (the host program's window, handed over with the painter's
// start-up record); without one the dialog ends the process.
void PrvHALErrDisplaySetMainWindow(GtkWidget* window);
// The main window, or null before the host program has handed one over.
GtkWidget* PrvHALErrDisplayMainWindow();
// An exit is pending: an open dialog is closed, and a dialog asked for later ends its thread.
void PrvHALErrDisplayExitPending();

}  // namespace kez
