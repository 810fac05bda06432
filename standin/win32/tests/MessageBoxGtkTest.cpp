// The graphical message box on a real GTK display (the suite runs under Xvfb): it is a modal
// dialog with the caption and text, and returns once answered.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "standin/win32/MessageBox.h"

// The toolkit keeps font and type caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libpango\nleak:libgtk\nleak:libgdk\nleak:libglib\n"
           "leak:libgobject\nleak:libcairo\nleak:libharfbuzz\nleak:libX11\nleak:libgio\n";
}

namespace win32 {
namespace {

std::string g_title, g_text;
GtkMessageType g_kind;

// Answers the first message dialog on screen, noting what it shows.
gboolean AnswerDialog(gpointer) {
    GList* windows = gtk_window_list_toplevels();
    bool answered = false;
    for (GList* w = windows; w && !answered; w = w->next) {
        if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
        GtkWindow* dialog = GTK_WINDOW(w->data);
        g_title = gtk_window_get_title(dialog);
        gchar* text = nullptr;
        g_object_get(dialog, "text", &text, "message-type", &g_kind, nullptr);
        g_text = text ? text : "";
        g_free(text);
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
        answered = true;
    }
    g_list_free(windows);
    return answered ? FALSE : TRUE;  // look again until it is there
}

TEST(MessageBoxGraphical, ShowsAModalDialogUntilAnswered) {
    const char* headless = std::getenv("WIN32_HEADLESS");
    if (!std::getenv("DISPLAY") || (headless && std::strcmp(headless, "1") == 0))
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(MessageBoxSetGraphical(true));
    g_timeout_add(50, AnswerDialog, nullptr);
    EXPECT_EQ(MessageBox(nullptr, "ROM file not found", "Unexpected condition", MB_OK | MB_ICONERROR),
              IDOK);
    EXPECT_EQ(g_title, "Unexpected condition");
    EXPECT_EQ(g_text, "ROM file not found");
    EXPECT_EQ(g_kind, GTK_MESSAGE_ERROR);
    MessageBoxSetGraphical(false);
}

}  // namespace
}  // namespace win32
