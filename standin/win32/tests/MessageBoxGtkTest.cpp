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

namespace win32 {
namespace {

LRESULT PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST(TextMarksGraphical, MarkerColumnShowsDiscsAndTriangleLevelWithTheirLines) {
    const char* headless = std::getenv("WIN32_HEADLESS");
    if (!std::getenv("DISPLAY") || (headless && std::strcmp(headless, "1") == 0))
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(UseGtkBackend());
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = "MarksTop";
    RegisterClassA(&wc);
    HWND top = CreateWindowExA(0, "MarksTop", "marks", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExA(0, RICHEDIT_CLASSA, "one\ntwo\nthree\nfour\n", 0, 0, 0, 0, 0, top, nullptr, nullptr,
                                nullptr);
    SetTextMarks(edit, 20, {{0, TextMarkKind::RedDisc}, {2, TextMarkKind::GreenTriangle}});
    GtkTextView* view = nullptr;
    // Let the window appear and paint.
    for (int i = 0; i < 200; ++i) {
        while (gtk_events_pending()) gtk_main_iteration();
        g_usleep(10000);
        GList* all = gtk_window_list_toplevels();
        for (GList* w = all; w && !view; w = w->next) {
            struct Finder {
                static void Find(GtkWidget* widget, gpointer out) {
                    if (GTK_IS_TEXT_VIEW(widget)) *static_cast<GtkTextView**>(out) = GTK_TEXT_VIEW(widget);
                    else if (GTK_IS_CONTAINER(widget)) gtk_container_foreach(GTK_CONTAINER(widget), Find, out);
                }
            };
            Finder::Find(GTK_WIDGET(w->data), &view);
        }
        g_list_free(all);
        if (view && gtk_text_view_get_window(view, GTK_TEXT_WINDOW_LEFT) &&
            gdk_window_is_viewable(gtk_text_view_get_window(view, GTK_TEXT_WINDOW_LEFT)))
            break;
    }
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(gtk_text_view_get_border_window_size(view, GTK_TEXT_WINDOW_LEFT), 20);
    GdkWindow* left = gtk_text_view_get_window(view, GTK_TEXT_WINDOW_LEFT);
    ASSERT_NE(left, nullptr);
    auto pump = [] {
        gdk_window_process_all_updates();
        while (gtk_events_pending()) gtk_main_iteration();
        g_usleep(10000);
    };
    for (int i = 0; i < 20; ++i) pump();
    // The colour at the middle of a line's mark.
    auto pixel = [&](int x, uint32_t line) {
        GtkTextIter it;
        gtk_text_buffer_get_iter_at_line(gtk_text_view_get_buffer(view), &it, static_cast<gint>(line));
        gint y = 0, h = 0, wx = 0, wy = 0;
        gtk_text_view_get_line_yrange(view, &it, &y, &h);
        gtk_text_view_buffer_to_window_coords(view, GTK_TEXT_WINDOW_LEFT, 0, y, &wx, &wy);
        GdkPixbuf* p = gdk_pixbuf_get_from_drawable(nullptr, left, nullptr, x, wy + h / 2, 0, 0, 1, 1);
        if (!p) return std::string("none");
        const guchar* c = gdk_pixbuf_get_pixels(p);
        char text[16];
        std::snprintf(text, sizeof text, "%02x%02x%02x", c[0], c[1], c[2]);
        g_object_unref(p);
        return std::string(text);
    };
    // A loaded machine can take a while to show the window.
    for (int i = 0; i < 3000 && pixel(10, 0) != "ff0000"; ++i) pump();
    EXPECT_EQ(pixel(10, 0), "ff0000");  // the disc
    EXPECT_EQ(pixel(11, 2), "00ff00");  // the triangle
    EXPECT_EQ(pixel(10, 1), "ffffff");  // nothing
    EXPECT_EQ(pixel(19, 1), "cccccc");  // the column's edge
    DestroyWindow(top);
    SetWindowBackend(nullptr);
}

}  // namespace
}  // namespace win32

namespace win32 {
namespace {

TEST(SplitPanesGraphical, DividerStandsAtTheRatioInItsColourAndADragMovesIt) {
    const char* headless = std::getenv("WIN32_HEADLESS");
    if (!std::getenv("DISPLAY") || (headless && std::strcmp(headless, "1") == 0))
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(UseGtkBackend());
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = "SplitTop";
    RegisterClassA(&wc);
    HWND top = CreateWindowExA(0, "SplitTop", "split", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HWND upper = CreateWindowExA(0, RICHEDIT_CLASSA, "status", 0, 0, 0, 0, 0, top, nullptr, nullptr, nullptr);
    HWND lower = CreateWindowExA(0, RICHEDIT_CLASSA, "source", 0, 0, 0, 0, 0, top, nullptr, nullptr, nullptr);
    SetSplitPanes(upper, lower, 0.2, RGB(0, 217, 0));
    GtkPaned* paned = nullptr;
    auto settle = [] {
        for (int i = 0; i < 20; ++i) {
            gdk_window_process_all_updates();
            while (gtk_events_pending()) gtk_main_iteration();
            g_usleep(10000);
        }
    };
    for (int i = 0; i < 200 && !paned; ++i) {
        settle();
        GList* all = gtk_window_list_toplevels();
        for (GList* w = all; w && !paned; w = w->next) {
            struct Finder {
                static void Find(GtkWidget* widget, gpointer out) {
                    if (GTK_IS_PANED(widget)) *static_cast<GtkPaned**>(out) = GTK_PANED(widget);
                    else if (GTK_IS_CONTAINER(widget)) gtk_container_foreach(GTK_CONTAINER(widget), Find, out);
                }
            };
            if (gtk_widget_get_visible(GTK_WIDGET(w->data))) Finder::Find(GTK_WIDGET(w->data), &paned);
        }
        g_list_free(all);
    }
    ASSERT_NE(paned, nullptr);
    settle();
    GtkAllocation a;
    gtk_widget_get_allocation(GTK_WIDGET(paned), &a);
    ASSERT_GT(a.height, 0);
    EXPECT_EQ(gtk_paned_get_position(paned), static_cast<int>(a.height * 0.2));
    // The colour in the middle of the divider.
    auto middle = [&] {
        GtkAllocation upperArea;
        gtk_widget_get_allocation(gtk_paned_get_child1(paned), &upperArea);
        GdkPixbuf* p = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(GTK_WIDGET(paned)), nullptr,
                                                    a.x + a.width / 2, upperArea.y + upperArea.height + 2, 0, 0, 1, 1);
        if (!p) return std::string("none");
        const guchar* c = gdk_pixbuf_get_pixels(p);
        char text[16];
        std::snprintf(text, sizeof text, "%02x%02x%02x", c[0], c[1], c[2]);
        g_object_unref(p);
        return std::string(text);
    };
    EXPECT_EQ(middle(), "00d900");
    SetSplitPanes(upper, lower, GetSplitRatio(upper), RGB(255, 0, 0));
    settle();
    EXPECT_EQ(middle(), "ff0000");
    // A drag to the middle moves the ratio; one past 0.9 is held there.
    gtk_paned_set_position(paned, a.height / 2);
    settle();
    EXPECT_NEAR(GetSplitRatio(lower), 0.5, 0.02);
    gtk_paned_set_position(paned, a.height - 2);
    settle();
    EXPECT_DOUBLE_EQ(GetSplitRatio(upper), 0.9);
    DestroyWindow(top);
    SetWindowBackend(nullptr);
}

}  // namespace
}  // namespace win32
