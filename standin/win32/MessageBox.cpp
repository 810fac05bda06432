#include "standin/win32/MessageBox.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace win32 {

namespace {
std::mutex g_boxLock;
bool g_graphical = false;

int ShowGtk(const char* text, const char* caption, UINT type) {
    GtkMessageType kind = GTK_MESSAGE_INFO;
    if ((type & 0xF0) == MB_ICONERROR) kind = GTK_MESSAGE_ERROR;
    else if ((type & 0xF0) == MB_ICONWARNING) kind = GTK_MESSAGE_WARNING;
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, kind, GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    while (gtk_events_pending()) gtk_main_iteration();
    return IDOK;
}
}  // namespace

bool MessageBoxSetGraphical(bool graphical) {
    std::lock_guard lock(g_boxLock);
    const char* headless = std::getenv("WIN32_HEADLESS");
    if (headless && std::strcmp(headless, "1") == 0) graphical = false;
    if (graphical && !gtk_init_check(nullptr, nullptr)) graphical = false;
    g_graphical = graphical;
    return g_graphical;
}

int MessageBox(HWND, const char* text, const char* caption, UINT type) {
    std::lock_guard lock(g_boxLock);
    if (!text) text = "";
    if (!caption) caption = "";
    if (g_graphical) return ShowGtk(text, caption, type);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return IDOK;
}

}  // namespace win32
