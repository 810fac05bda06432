#include "standin/win32/PixelWindow.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

#include "standin/win32/GdkKeys.h"

namespace win32 {

struct PixelWindow {
    PixelWindowEvents events;
    bool graphical = false;
    std::mutex lock;  // guards what other threads set: frame, title, tasks, quit
    std::condition_variable wake;
    std::vector<uint32_t> frame;
    int width = 0, height = 0;
    std::string title;
    std::deque<std::function<void()>> tasks;
    bool quit = false;
    // GTK widgets (window thread only).
    GtkWidget* top = nullptr;
    GtkWidget* area = nullptr;
    int shownWidth = 0, shownHeight = 0;
    int lastX = 0x7FFFFFFF, lastY = 0x7FFFFFFF;
};

namespace {

std::mutex g_scriptLock;
unsigned g_menuChoice;
std::string g_fileChoice;
std::vector<PopupItem> g_lastMenu;
std::string g_lastFileTitle;
std::vector<std::string> g_lastInfo;

bool HeadlessWanted() {
    const char* headless = std::getenv("WIN32_HEADLESS");
    return headless && std::strcmp(headless, "1") == 0;
}

gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    // The key as it stands without modifiers (Shift+1 is still the key "1").
    guint plain = e->keyval;
    gdk_keymap_translate_keyboard_state(gdk_keymap_get_default(), e->hardware_keycode,
                                        GdkModifierType(e->state & GDK_MOD2_MASK), e->group,
                                        &plain, nullptr, nullptr, nullptr);
    const bool isKeypad = e->keyval >= GDK_KEY_KP_Space && e->keyval <= GDK_KEY_KP_9;
    const int vk = VirtualKeyOfGdkKey(isKeypad ? e->keyval : plain);
    const gunichar u = gdk_keyval_to_unicode(plain);
    const int character = (!isKeypad && u > 0x20 && u < 0x7F) ? int(u) : 0;
    if (w->events.key)
        w->events.key(vk, character, e->type == GDK_KEY_PRESS, (e->state & GDK_MOD2_MASK) != 0);
    return TRUE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    if (e->type != GDK_BUTTON_PRESS && e->type != GDK_BUTTON_RELEASE) return TRUE;
    if (w->events.button)
        w->events.button(int(e->button), e->type == GDK_BUTTON_PRESS, int(e->x), int(e->y));
    return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    if (w->events.motion) w->events.motion(int(e->x), int(e->y));
    return TRUE;
}

gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    if (!w->events.wheel) return TRUE;
    if (e->direction == GDK_SCROLL_UP) w->events.wheel(120);
    if (e->direction == GDK_SCROLL_DOWN) w->events.wheel(-120);
    return TRUE;
}

gboolean OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    if (!w->area->window) return FALSE;
    int x = 0, y = 0;
    gdk_window_get_origin(w->area->window, &x, &y);
    if ((x != w->lastX || y != w->lastY) && w->events.moved) w->events.moved(x, y);
    w->lastX = x;
    w->lastY = y;
    return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    if (w->events.close) w->events.close();
    return TRUE;  // the program ends the window with PixelWindowQuit
}

void OnDrop(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* selection, guint,
            guint time, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    gchar** uris = gtk_selection_data_get_uris(selection);
    for (gchar** uri = uris; uri && *uri; ++uri) {
        gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);
        if (path && w->events.dropped) w->events.dropped(path);
        g_free(path);
    }
    g_strfreev(uris);
    gtk_drag_finish(context, TRUE, FALSE, time);
}

gboolean OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    cairo_t* cr = gdk_cairo_create(widget->window);
    std::lock_guard lock(w->lock);
    if (!w->frame.empty()) {
        cairo_surface_t* surface = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(w->frame.data()), CAIRO_FORMAT_RGB24, w->width,
            w->height, w->width * 4);
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(surface);
    } else {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    return TRUE;
}

// Runs on the window thread: the queued tasks, then the frame's size and title.
gboolean TakeTasks(gpointer data) {
    auto* w = static_cast<PixelWindow*>(data);
    std::deque<std::function<void()>> tasks;
    bool quit;
    int width, height;
    std::string title;
    {
        std::lock_guard lock(w->lock);
        tasks.swap(w->tasks);
        quit = w->quit;
        width = w->width;
        height = w->height;
        title = w->title;
    }
    for (auto& task : tasks) task();
    if (w->graphical) {
        if (quit) {
            gtk_main_quit();
            return FALSE;
        }
        if (width != w->shownWidth || height != w->shownHeight) {
            // The picture keeps its centre on the screen, and the window stays on the screen.
            int x = 0, y = 0;
            gtk_window_get_position(GTK_WINDOW(w->top), &x, &y);
            x += (w->shownWidth - width) / 2;
            y += (w->shownHeight - height) / 2;
            x = std::max(0, std::min(x, gdk_screen_width() - width));
            y = std::max(0, std::min(y, gdk_screen_height() - height));
            gtk_window_move(GTK_WINDOW(w->top), x, y);
            gtk_widget_set_size_request(w->area, width, height);
            gtk_window_resize(GTK_WINDOW(w->top), width, height);
            w->shownWidth = width;
            w->shownHeight = height;
        }
        if (std::strcmp(gtk_window_get_title(GTK_WINDOW(w->top)), title.c_str()) != 0)
            gtk_window_set_title(GTK_WINDOW(w->top), title.c_str());
        gtk_widget_queue_draw(w->area);
    }
    return FALSE;
}

// Wakes the window thread (any thread).
void Kick(PixelWindow* w) {
    if (w->graphical) g_idle_add(TakeTasks, w);
    else w->wake.notify_all();
}

void CreateWidgets(PixelWindow* w, int x, int y, bool topmost) {
    w->top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w->top), w->title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(w->top), FALSE);
    gtk_window_move(GTK_WINDOW(w->top), x, y);
    gtk_window_set_keep_above(GTK_WINDOW(w->top), topmost);
    w->area = gtk_drawing_area_new();
    gtk_widget_set_size_request(w->area, w->width, w->height);
    w->shownWidth = w->width;
    w->shownHeight = w->height;
    gtk_widget_add_events(w->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_BUTTON1_MOTION_MASK | GDK_SCROLL_MASK);
    gtk_container_add(GTK_CONTAINER(w->top), w->area);
    g_signal_connect(w->area, "expose-event", G_CALLBACK(OnExpose), w);
    g_signal_connect(w->area, "button-press-event", G_CALLBACK(OnButton), w);
    g_signal_connect(w->area, "button-release-event", G_CALLBACK(OnButton), w);
    g_signal_connect(w->area, "motion-notify-event", G_CALLBACK(OnMotion), w);
    g_signal_connect(w->area, "scroll-event", G_CALLBACK(OnScroll), w);
    g_signal_connect(w->top, "key-press-event", G_CALLBACK(OnKey), w);
    g_signal_connect(w->top, "key-release-event", G_CALLBACK(OnKey), w);
    g_signal_connect(w->top, "configure-event", G_CALLBACK(OnConfigure), w);
    g_signal_connect(w->top, "delete-event", G_CALLBACK(OnDelete), w);
    static GtkTargetEntry uriList = {const_cast<gchar*>("text/uri-list"), 0, 0};
    gtk_drag_dest_set(w->top, GTK_DEST_DEFAULT_ALL, &uriList, 1, GDK_ACTION_COPY);
    g_signal_connect(w->top, "drag-data-received", G_CALLBACK(OnDrop), w);
    gtk_widget_show_all(w->top);
}

void OnMenuItem(GtkMenuItem*, gpointer data) {
    auto* chosen = static_cast<unsigned*>(g_object_get_data(G_OBJECT(data), "chosen"));
    *chosen = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(data), "id"));
}

void OnMenuDone(GtkMenuShell*, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

}  // namespace

PixelWindow* PixelWindowCreate(const std::string& title, int x, int y, int width, int height,
                               bool topmost, PixelWindowEvents events) {
    auto* w = new PixelWindow;
    w->events = std::move(events);
    w->title = title;
    w->width = width;
    w->height = height;
    w->graphical = !HeadlessWanted() && gtk_init_check(nullptr, nullptr);
    if (w->graphical) CreateWidgets(w, x, y, topmost);
    return w;
}

bool PixelWindowIsGraphical(const PixelWindow* window) { return window->graphical; }

void PixelWindowRun(PixelWindow* w) {
    if (w->graphical) {
        gtk_main();
        gtk_widget_destroy(w->top);
        while (gtk_events_pending()) gtk_main_iteration();
    } else {
        std::unique_lock lock(w->lock);
        for (;;) {
            w->wake.wait(lock, [w] { return w->quit || !w->tasks.empty(); });
            if (w->tasks.empty() && w->quit) break;
            lock.unlock();
            TakeTasks(w);
            lock.lock();
        }
    }
    delete w;
}

void PixelWindowQuit(PixelWindow* w) {
    {
        std::lock_guard lock(w->lock);
        w->quit = true;
    }
    Kick(w);
}

void PixelWindowSetFrame(PixelWindow* w, const std::vector<uint32_t>& pixels, int width, int height) {
    {
        std::lock_guard lock(w->lock);
        w->frame = pixels;
        w->width = width;
        w->height = height;
    }
    Kick(w);
}

void PixelWindowSetTitle(PixelWindow* w, const std::string& title) {
    {
        std::lock_guard lock(w->lock);
        if (w->title == title) return;
        w->title = title;
    }
    Kick(w);
}

void PixelWindowSetTopmost(PixelWindow* w, bool topmost) {
    PixelWindowPost(w, [w, topmost] {
        if (w->graphical) gtk_window_set_keep_above(GTK_WINDOW(w->top), topmost);
    });
}

void PixelWindowBeginMove(PixelWindow* w) {
    if (!w->graphical) return;
    gint x = 0, y = 0;
    gdk_display_get_pointer(gdk_display_get_default(), nullptr, &x, &y, nullptr);
    gtk_window_begin_move_drag(GTK_WINDOW(w->top), 1, x, y, gtk_get_current_event_time());
}

void PixelWindowPost(PixelWindow* w, std::function<void()> task) {
    {
        std::lock_guard lock(w->lock);
        w->tasks.push_back(std::move(task));
    }
    Kick(w);
}

std::string PixelWindowTitle(PixelWindow* w) {
    std::lock_guard lock(w->lock);
    return w->title;
}

std::vector<uint32_t> PixelWindowFrame(PixelWindow* w, int* width, int* height) {
    std::lock_guard lock(w->lock);
    *width = w->width;
    *height = w->height;
    return w->frame;
}

unsigned PixelWindowPopupMenu(PixelWindow* w, const std::vector<PopupItem>& items) {
    {
        std::lock_guard lock(g_scriptLock);
        g_lastMenu = items;
        if (!w->graphical) return std::exchange(g_menuChoice, 0u);
    }
    unsigned chosen = 0;
    GtkWidget* menu = gtk_menu_new();
    for (const PopupItem& item : items) {
        GtkWidget* entry;
        if (item.id == 0) {
            entry = gtk_separator_menu_item_new();
        } else {
            entry = gtk_check_menu_item_new_with_label(item.text.c_str());
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry), item.checked);
            gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(entry), FALSE);
            g_object_set_data(G_OBJECT(entry), "id", GUINT_TO_POINTER(item.id));
            g_object_set_data(G_OBJECT(entry), "chosen", &chosen);
            g_signal_connect(entry, "activate", G_CALLBACK(OnMenuItem), entry);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
    }
    gtk_widget_show_all(menu);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect(menu, "deactivate", G_CALLBACK(OnMenuDone), loop);
    gtk_menu_popup(GTK_MENU(menu), nullptr, nullptr, nullptr, nullptr, 3, gtk_get_current_event_time());
    g_main_loop_run(loop);
    // The chosen item's activation follows the menu's deactivation within the same event.
    while (gtk_events_pending()) gtk_main_iteration();
    g_main_loop_unref(loop);
    gtk_widget_destroy(menu);
    return chosen;
}

bool PixelWindowFileDialog(PixelWindow* w, bool save, const std::string& title,
                           const std::string& filterName, const std::string& pattern,
                           const std::string& defaultExtension, const std::string& start,
                           std::string* path) {
    std::string chosen;
    {
        std::lock_guard lock(g_scriptLock);
        g_lastFileTitle = title;
        if (!w->graphical) chosen = std::exchange(g_fileChoice, std::string());
    }
    if (w->graphical) {
        GtkWidget* dialog = gtk_file_chooser_dialog_new(
            title.c_str(), GTK_WINDOW(w->top),
            save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
            GTK_RESPONSE_CANCEL, save ? GTK_STOCK_SAVE : GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT,
            nullptr);
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, filterName.c_str());
        gtk_file_filter_add_pattern(filter, pattern.c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
        if (save) gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), TRUE);
        if (!start.empty()) {
            if (g_file_test(start.c_str(), G_FILE_TEST_IS_DIR)) {
                gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), start.c_str());
            } else if (save) {
                gchar* folder = g_path_get_dirname(start.c_str());
                gchar* name = g_path_get_basename(start.c_str());
                gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder);
                gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), name);
                g_free(folder);
                g_free(name);
            } else {
                gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(dialog), start.c_str());
            }
        }
        if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
            gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
            if (name) chosen = name;
            g_free(name);
        }
        gtk_widget_destroy(dialog);
    }
    if (chosen.empty()) return false;
    const size_t slash = chosen.rfind('/');
    const std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    if (!defaultExtension.empty() && name.find('.') == std::string::npos)
        chosen += "." + defaultExtension;
    *path = chosen;
    return true;
}

void PixelWindowInfoBox(PixelWindow* w, const std::string& caption,
                        const std::vector<std::string>& lines) {
    {
        std::lock_guard lock(g_scriptLock);
        g_lastInfo = lines;
    }
    if (!w->graphical) return;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    GtkWidget* dialog = gtk_message_dialog_new(GTK_WINDOW(w->top), GTK_DIALOG_MODAL,
                                               GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

namespace headless {
void ScriptMenuChoice(unsigned id) {
    std::lock_guard lock(g_scriptLock);
    g_menuChoice = id;
}
void ScriptFileChoice(const std::string& path) {
    std::lock_guard lock(g_scriptLock);
    g_fileChoice = path;
}
std::vector<PopupItem> LastMenu() {
    std::lock_guard lock(g_scriptLock);
    return g_lastMenu;
}
std::string LastFileDialogTitle() {
    std::lock_guard lock(g_scriptLock);
    return g_lastFileTitle;
}
std::vector<std::string> LastInfoBox() {
    std::lock_guard lock(g_scriptLock);
    return g_lastInfo;
}
}  // namespace headless

}  // namespace win32
