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

#include "standin/win32/Dialogs.h"
#include "standin/win32/WindowManager.h"

namespace win32 {
namespace {

int g_cursorRow = -1;

void FindTreeView(GtkWidget* widget, gpointer out) {
    if (GTK_IS_TREE_VIEW(widget)) *static_cast<GtkWidget**>(out) = widget;
    else if (GTK_IS_CONTAINER(widget)) gtk_container_foreach(GTK_CONTAINER(widget), FindTreeView, out);
}

// Notes the list's selected row, then double-clicks (activates) its third row.
gboolean AnswerList(gpointer) {
    GList* windows = gtk_window_list_toplevels();
    bool answered = false;
    for (GList* w = windows; w && !answered; w = w->next) {
        if (!GTK_IS_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
        GtkWidget* view = nullptr;
        FindTreeView(GTK_WIDGET(w->data), &view);
        if (!view) continue;
        GtkTreePath* path = nullptr;
        gtk_tree_view_get_cursor(GTK_TREE_VIEW(view), &path, nullptr);
        g_cursorRow = path ? gtk_tree_path_get_indices(path)[0] : -1;
        if (path) gtk_tree_path_free(path);
        GtkTreePath* third = gtk_tree_path_new_from_indices(2, -1);
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), third, nullptr, FALSE);
        gtk_tree_view_row_activated(GTK_TREE_VIEW(view), third, gtk_tree_view_get_column(GTK_TREE_VIEW(view), 0));
        gtk_tree_path_free(third);
        answered = true;
    }
    g_list_free(windows);
    return answered ? FALSE : TRUE;
}

TEST(ListDialogGraphical, StartsAtTheInitialEntryAndAnswersTheOneActivated) {
    const char* headless = std::getenv("WIN32_HEADLESS");
    if (!std::getenv("DISPLAY") || (headless && std::strcmp(headless, "1") == 0))
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(UseGtkBackend());
    const std::vector<std::string> items = {"main", "Tools", "helper", "last"};
    LISTDIALOGA dialog{nullptr, "Functions", &items, 1};
    g_timeout_add(50, AnswerList, nullptr);
    EXPECT_EQ(ChooseFromListA(&dialog), 2);
    EXPECT_EQ(g_cursorRow, 1);
    SetWindowBackend(nullptr);
}

}  // namespace
}  // namespace win32
