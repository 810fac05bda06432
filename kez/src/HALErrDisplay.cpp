// The OS's error dialog (export slot 21): a modal GTK message dialog on the main window.
//
// A modal dialog runs a main loop of its own, which can only run in the thread that owns the
// window's main loop. A caller on another thread (an OS task) hands the dialog to that thread and
// waits for the answer; with no main loop running the caller runs the dialog itself.
#include "kez/src/HALErrDisplay.h"

#include <gtk/gtk.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

namespace kez {
namespace {

constexpr gint kQuit = 0, kDebug = 1, kDebug68K = 2, kIgnore = 4;

GtkWidget* gMainWindow;

struct DialogRequest {
    const char* message;
    uint8_t flagA, flagB;
    gint response = kQuit;
    bool done = false;
    std::mutex mutex;
    std::condition_variable answered;
};

// Runs the dialog; the GDK lock is held.
gint RunDialog(const DialogRequest& request) {
    GtkWidget* dialog = gtk_message_dialog_new(GTK_WINDOW(gMainWindow), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_NONE, "%s", request.message);
    if (request.flagA) {
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "Quit", kQuit, "Debug", kDebug, nullptr);
    } else if (request.flagB) {
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "Quit", kQuit, "Ignore", kIgnore, "Debug", kDebug, nullptr);
    } else {
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "Quit", kQuit, "Ignore", kIgnore, "Debug", kDebug,
                               "Debug 68K", kDebug68K, nullptr);
    }
    // An exit request may destroy the dialog while it runs: the pointer then turns null.
    gKez.errorDialog = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), &gKez.errorDialog);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response != kQuit && response != kDebug && response != kDebug68K && response != kIgnore) {
        KEZ_CALL(HALTrace, 0xF100, "HALErrDisplay: gtk_dialog_run returned: %d", response);
        response = kQuit;
    }
    if (gKez.errorDialog) {
        g_object_remove_weak_pointer(G_OBJECT(dialog), &gKez.errorDialog);
        gKez.errorDialog = nullptr;
        gtk_widget_destroy(dialog);
    }
    return response;
}

gboolean RunDialogInLoop(gpointer data) {
    auto* request = static_cast<DialogRequest*>(data);
    gint response = RunDialog(*request);
    std::lock_guard lock(request->mutex);
    request->response = response;
    request->done = true;
    request->answered.notify_all();
    return FALSE;
}

gboolean DestroyDialog(gpointer) {
    if (gKez.errorDialog) gtk_widget_destroy(static_cast<GtkWidget*>(gKez.errorDialog));
    return FALSE;
}

// Whether the calling thread may run a main loop: it owns the default context, or nobody does.
bool MayRunLoop() {
    if (g_main_context_is_owner(nullptr)) return true;
    if (!g_main_context_acquire(nullptr)) return false;
    g_main_context_release(nullptr);
    return true;
}

void EndBecauseOfExit() {
    KEZ_CALL(HALSetInitStage, 7);
    EndCurrentTask();
}

uint32_t HALErrDisplay(const char* message, uint8_t flagA, uint32_t* answer, uint8_t flagB) {
    if (!message) message = "";
    KEZ_CALL(HALTrace, 0xF100, "HALErrDisplay: [%s]", message);
    if (!gMainWindow) {
        std::fprintf(stderr, "HALErrDisplay: [%s]\n", message);
        std::fflush(stderr);
        std::abort();
    }
    if (gKez.exitPending) EndBecauseOfExit();

    DialogRequest request;
    request.message = message;
    request.flagA = flagA;
    request.flagB = flagB;
    gint response;
    if (MayRunLoop()) {
        gdk_threads_enter();
        response = RunDialog(request);
        gdk_threads_leave();
    } else {
        gdk_threads_add_idle(RunDialogInLoop, &request);
        std::unique_lock lock(request.mutex);
        request.answered.wait(lock, [&] { return request.done; });
        response = request.response;
    }
    if (gKez.exitPending) EndBecauseOfExit();

    if (answer) *answer = static_cast<uint32_t>(response);
    if (response == kQuit || (response == kDebug && flagA)) std::abort();
    return 1;
}
KEZ_SLOT(HALErrDisplay, HALErrDisplay)

pthread_mutex_t gGdkLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
void GdkLock() { pthread_mutex_lock(&gGdkLock); }
void GdkUnlock() { pthread_mutex_unlock(&gGdkLock); }

}  // namespace

void PrvHALErrDisplaySetMainWindow(GtkWidget* window) { gMainWindow = window; }
GtkWidget* PrvHALErrDisplayMainWindow() { return gMainWindow; }

void PrvHALErrDisplayExitPending() {
    gKez.exitPending = 1;
    if (gKez.errorDialog) gdk_threads_add_idle(DestroyDialog, nullptr);
}

}  // namespace kez

// Initialises the window toolkit for Kez's threads: the GDK lock is recursive, so a window event
// handler that calls back into Kez may take it again. Answers 0, or 0xFFFF without a display.
extern "C" VANTOR_EXPORT uint32_t PALGTKInit() {
    static bool initialised = false;
    if (initialised) return 0;
    gdk_threads_set_lock_functions(kez::GdkLock, kez::GdkUnlock);
    gdk_threads_init();
    if (!gtk_init_check(nullptr, nullptr)) return 0xFFFF;
    initialised = true;
    return 0;
}
