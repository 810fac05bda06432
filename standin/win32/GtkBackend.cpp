// The GTK+ 2 backend of the window manager: each window gets a real widget. A top-level window is
// a GtkWindow with a vertical box (its menu bar first); an MDI client is a notebook whose pages are
// the frame's documents; a text control is a text view in a scrolled window. The window manager's
// records stay the truth: the widgets show them, and keys, menu choices and closing go back as
// window messages. Text is shown one character per byte (Latin-1), so that character positions
// in the view are byte positions in the record.
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "standin/win32/Debugging.h"
#include "standin/win32/Dialogs.h"
#include "standin/win32/GdkKeys.h"
#include "standin/win32/WindowInternal.h"

namespace win32 {

namespace {

struct Widgets {
    GtkWidget* outer = nullptr;      // what the parent holds (window, page, scrolled window)
    GtkWidget* container = nullptr;  // where children go
    GtkWidget* text = nullptr;       // a text control's view
    GtkWidget* menuBar = nullptr;
    GtkWidget* paned = nullptr;      // split panes: the paned holding this (upper) control and the lower one
    bool splitPlaced = false;        // the divider has been put at the ratio once
    std::string shown;               // the text the view shows
    std::string font;                // the font the view shows
    bool updating = false;
};

Widgets* W(HWND hwnd) { return hwnd ? static_cast<Widgets*>(hwnd->backend) : nullptr; }

bool IsClass(HWND hwnd, const char* name) { return hwnd && hwnd->className == name; }

std::string ToUtf8(const std::string& bytes, size_t from = 0) {
    std::string out;
    out.reserve(bytes.size() - from);
    for (size_t i = from; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Keys reach the top-level window first; they go to the window whose widget has the focus (a text
// control), else to the top-level window itself.
gboolean OnKey(GtkWidget* top, GdkEventKey* e, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    if (GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(top))) {
        if (auto* owner = static_cast<HWND>(g_object_get_data(G_OBJECT(focus), "win32-window")); IsWindow(owner))
            hwnd = owner;
    }
    if (!IsWindow(hwnd)) return FALSE;
    const bool shift = e->state & GDK_SHIFT_MASK, ctrl = e->state & GDK_CONTROL_MASK, alt = e->state & GDK_MOD1_MASK;
    const WPARAM vk = static_cast<WPARAM>(VirtualKeyOfGdkKey(e->keyval));
    uint64_t ch = 0;
    if (e->type == GDK_KEY_PRESS) {
        if (vk == VK_RETURN) ch = 13;
        else if (vk == VK_BACK) ch = 8;
        else if (vk == VK_ESCAPE) ch = 27;
        else if (ctrl && vk >= 'A' && vk <= 'Z') ch = vk & 0x1F;
        else if (!ctrl && !alt) {
            gunichar u = gdk_keyval_to_unicode(e->keyval);
            if (u >= 0x20 && u < 0x100) ch = u;
        }
    }
    if (!vk && !ch) return FALSE;
    const uint64_t l = ch << 32 | uint64_t{shift} << 48 | uint64_t{ctrl} << 49 | uint64_t{alt} << 50 | uint64_t{1} << 51;
    UINT msg = e->type != GDK_KEY_PRESS ? WM_KEYUP : (alt ? WM_SYSKEYDOWN : WM_KEYDOWN);
    PostMessageA(hwnd, msg, vk, static_cast<LPARAM>(l));
    return TRUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    PostMessageA(static_cast<HWND>(data), WM_CLOSE, 0, 0);
    return TRUE;
}

// A click or a drag in a text view moves the record's selection too.
void OnMarkSet(GtkTextBuffer* buffer, GtkTextIter*, GtkTextMark* mark, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    Widgets* w = W(hwnd);
    if (!w || w->updating || !IsWindow(hwnd)) return;
    if (mark != gtk_text_buffer_get_insert(buffer) && mark != gtk_text_buffer_get_selection_bound(buffer)) return;
    GtkTextIter a, b;
    gtk_text_buffer_get_selection_bounds(buffer, &a, &b);
    size_t s = static_cast<size_t>(gtk_text_iter_get_offset(&a)), e = static_cast<size_t>(gtk_text_iter_get_offset(&b));
    hwnd->selStart = std::min(s, hwnd->text.size());
    hwnd->selEnd = std::min(e, hwnd->text.size());
}

gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer data) {
    if (e->type == GDK_BUTTON_PRESS && e->button == 3) {
        PostMessageA(static_cast<HWND>(data), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(data), 0);
        return TRUE;
    }
    return FALSE;
}

// The marker column: the left border window of the text view, painted from the record's marks.
gboolean OnTextExpose(GtkWidget* view, GdkEventExpose* e, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    GdkWindow* left = gtk_text_view_get_window(GTK_TEXT_VIEW(view), GTK_TEXT_WINDOW_LEFT);
    if (!left || e->window != left || !IsWindow(hwnd)) return FALSE;
    int width = 0, height = 0;
    gdk_drawable_get_size(left, &width, &height);
    cairo_t* cr = gdk_cairo_create(left);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0xCC / 255.0, 0xCC / 255.0, 0xCC / 255.0);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, width - 0.5, 0);
    cairo_line_to(cr, width - 0.5, height);
    cairo_stroke(cr);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    for (const TextMark& m : hwnd->marks) {
        if (m.line >= static_cast<uint32_t>(gtk_text_buffer_get_line_count(buffer))) continue;
        GtkTextIter it;
        gtk_text_buffer_get_iter_at_line(buffer, &it, static_cast<gint>(m.line));
        gint y = 0, lineHeight = 0, wx = 0, wy = 0;
        gtk_text_view_get_line_yrange(GTK_TEXT_VIEW(view), &it, &y, &lineHeight);
        gtk_text_view_buffer_to_window_coords(GTK_TEXT_VIEW(view), GTK_TEXT_WINDOW_LEFT, 0, y, &wx, &wy);
        if (wy + lineHeight < 0 || wy > height) continue;  // not visible
        if (m.kind == TextMarkKind::RedDisc) {
            cairo_set_source_rgb(cr, 1, 0, 0);
            cairo_arc(cr, 10, wy + lineHeight / 2.0, 6, 0, 2 * G_PI);
        } else {
            const double top = wy + (lineHeight - 10) / 2.0;
            cairo_set_source_rgb(cr, 0, 1, 0);
            cairo_move_to(cr, 9, top);
            cairo_line_to(cr, 19, top + 5);
            cairo_line_to(cr, 9, top + 10);
            cairo_close_path(cr);
        }
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    return FALSE;
}

// Split panes: the divider follows the record's ratio as the window is sized, a drag changes the
// ratio, and the handle is painted in the record's colour between black edges.
void OnSplitAllocate(GtkWidget* paned, GtkAllocation* a, gpointer data) {
    HWND top = static_cast<HWND>(data);
    Widgets* w = W(top);
    if (!IsWindow(top) || !w || a->height <= 0) return;
    const int position = static_cast<int>(a->height * top->splitRatio);
    if (gtk_paned_get_position(GTK_PANED(paned)) != position) {
        w->updating = true;
        gtk_paned_set_position(GTK_PANED(paned), position);
        w->updating = false;
    }
    w->splitPlaced = true;
}

void OnSplitMoved(GObject* paned, GParamSpec*, gpointer data) {
    HWND top = static_cast<HWND>(data);
    Widgets* w = W(top);
    // Before the divider is first placed, the toolkit's own choice is no drag.
    if (!IsWindow(top) || !w || w->updating || !w->splitPlaced) return;
    GtkAllocation a;
    gtk_widget_get_allocation(GTK_WIDGET(paned), &a);
    if (a.height <= 0) return;
    double ratio = static_cast<double>(gtk_paned_get_position(GTK_PANED(paned))) / a.height;
    top->splitRatio = ratio < 0 ? 0 : ratio > kSplitRatioMax ? kSplitRatioMax : ratio;
    if (ratio > kSplitRatioMax) gtk_widget_queue_resize(GTK_WIDGET(paned));
}

gboolean OnSplitExpose(GtkWidget* paned, GdkEventExpose* e, gpointer data) {
    HWND top = static_cast<HWND>(data);
    if (!IsWindow(top) || e->window != gtk_widget_get_window(paned)) return FALSE;
    // The handle lies below the upper child, across the paned's allocation.
    GtkAllocation a, upper;
    gtk_widget_get_allocation(paned, &a);
    GtkWidget* child = gtk_paned_get_child1(GTK_PANED(paned));
    if (!child) return FALSE;
    gtk_widget_get_allocation(child, &upper);
    gint size = 5;
    gtk_widget_style_get(paned, "handle-size", &size, nullptr);
    const double y = upper.y + upper.height;
    cairo_t* cr = gdk_cairo_create(e->window);
    const DWORD c = top->splitColor;
    cairo_rectangle(cr, a.x, y, a.width, size);
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0, (c >> 16 & 0xFF) / 255.0);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, a.x, y + 0.5);
    cairo_line_to(cr, a.x + a.width, y + 0.5);
    cairo_move_to(cr, a.x, y + size - 0.5);
    cairo_line_to(cr, a.x + a.width, y + size - 0.5);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return FALSE;
}

GtkWidget* ParentContainer(HWND hwnd);

void Split(HWND top) {
    Widgets *w = W(top), *b = W(top->splitBottom);
    if (!w || !b || !w->outer || !b->outer) return;
    if (!w->paned) {
        GtkWidget* box = gtk_widget_get_parent(w->outer);
        if (!box || box != gtk_widget_get_parent(b->outer)) return;
        w->paned = gtk_vpaned_new();
        g_object_ref(w->outer);
        g_object_ref(b->outer);
        gtk_container_remove(GTK_CONTAINER(box), w->outer);
        gtk_container_remove(GTK_CONTAINER(box), b->outer);
        gtk_paned_pack1(GTK_PANED(w->paned), w->outer, FALSE, TRUE);
        gtk_paned_pack2(GTK_PANED(w->paned), b->outer, TRUE, TRUE);
        g_object_unref(w->outer);
        g_object_unref(b->outer);
        gtk_box_pack_start(GTK_BOX(box), w->paned, TRUE, TRUE, 0);
        g_signal_connect(w->paned, "size-allocate", G_CALLBACK(OnSplitAllocate), top);
        g_signal_connect(w->paned, "notify::position", G_CALLBACK(OnSplitMoved), top);
        g_signal_connect_after(w->paned, "expose-event", G_CALLBACK(OnSplitExpose), top);
        gtk_widget_show_all(w->paned);
    }
    gtk_widget_queue_resize(w->paned);
    gtk_widget_queue_draw(w->paned);
}

GtkWidget* ParentContainer(HWND hwnd) {
    Widgets* p = W(hwnd->parent);
    return p ? p->container : nullptr;
}

int PageIndex(HWND client, HWND child) {
    Widgets *c = W(client), *w = W(child);
    if (!c || !w) return -1;
    return gtk_notebook_page_num(GTK_NOTEBOOK(c->container), w->outer);
}

void Created(HWND hwnd) {
    auto* w = new Widgets;
    hwnd->backend = w;
    if (!hwnd->parent) {
        w->outer = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(w->outer), hwnd->text.c_str());
        gtk_window_set_default_size(GTK_WINDOW(w->outer), 900, 650);
        w->container = gtk_vbox_new(FALSE, 0);
        gtk_container_add(GTK_CONTAINER(w->outer), w->container);
        g_signal_connect(w->outer, "delete-event", G_CALLBACK(OnDelete), hwnd);
        g_signal_connect(w->outer, "key-press-event", G_CALLBACK(OnKey), hwnd);
        g_signal_connect(w->outer, "key-release-event", G_CALLBACK(OnKey), hwnd);
        gtk_widget_show_all(w->outer);
        return;
    }
    GtkWidget* parent = ParentContainer(hwnd);
    if (!parent) return;
    if (IsClass(hwnd, MDICLIENT_CLASSA)) {
        w->outer = w->container = gtk_notebook_new();
        gtk_notebook_set_scrollable(GTK_NOTEBOOK(w->outer), TRUE);
        gtk_box_pack_start(GTK_BOX(parent), w->outer, TRUE, TRUE, 0);
    } else if (IsClass(hwnd, RICHEDIT_CLASSA)) {
        w->outer = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(w->outer), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
        w->text = gtk_text_view_new();
        gtk_text_view_set_editable(GTK_TEXT_VIEW(w->text), FALSE);
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(w->text), TRUE);
        PangoFontDescription* font = pango_font_description_from_string("Monospace 9");
        gtk_widget_modify_font(w->text, font);
        pango_font_description_free(font);
        gtk_container_add(GTK_CONTAINER(w->outer), w->text);
        g_object_set_data(G_OBJECT(w->text), "win32-window", hwnd);
        g_signal_connect(w->text, "button-press-event", G_CALLBACK(OnButton), hwnd);
        g_signal_connect(w->text, "expose-event", G_CALLBACK(OnTextExpose), hwnd);
        g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w->text)), "mark-set", G_CALLBACK(OnMarkSet), hwnd);
        gtk_box_pack_start(GTK_BOX(parent), w->outer, TRUE, TRUE, 0);
    } else if (IsClass(hwnd->parent, MDICLIENT_CLASSA)) {
        w->outer = w->container = gtk_vbox_new(FALSE, 0);
        gtk_notebook_append_page(GTK_NOTEBOOK(parent), w->outer, gtk_label_new(hwnd->text.c_str()));
    } else {
        w->outer = w->container = gtk_vbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(parent), w->outer, TRUE, TRUE, 0);
    }
    gtk_widget_show_all(w->outer);
}

void Destroyed(HWND hwnd) {
    Widgets* w = W(hwnd);
    if (!w) return;
    if (w->outer) gtk_widget_destroy(w->outer);
    delete w;
    hwnd->backend = nullptr;
}

void Changed(HWND hwnd) {
    Widgets* w = W(hwnd);
    if (!w) return;
    if (!w->text) {
        if (!hwnd->parent && w->outer) gtk_window_set_title(GTK_WINDOW(w->outer), hwnd->text.c_str());
        if (IsClass(hwnd->parent, MDICLIENT_CLASSA) && W(hwnd->parent))
            gtk_notebook_set_tab_label_text(GTK_NOTEBOOK(W(hwnd->parent)->container), w->outer, hwnd->text.c_str());
        return;
    }
    if (!hwnd->fontFace.empty() && hwnd->fontFace + std::to_string(hwnd->fontPixels) != w->font) {
        w->font = hwnd->fontFace + std::to_string(hwnd->fontPixels);
        PangoFontDescription* font = pango_font_description_new();
        pango_font_description_set_family(font, (hwnd->fontFace + ",Monospace").c_str());
        pango_font_description_set_absolute_size(font, (hwnd->fontPixels ? hwnd->fontPixels : 12) * PANGO_SCALE);
        gtk_widget_modify_font(w->text, font);
        pango_font_description_free(font);
    }
    if (gtk_text_view_get_border_window_size(GTK_TEXT_VIEW(w->text), GTK_TEXT_WINDOW_LEFT) != hwnd->markMargin)
        gtk_text_view_set_border_window_size(GTK_TEXT_VIEW(w->text), GTK_TEXT_WINDOW_LEFT, hwnd->markMargin);
    if (GdkWindow* left = gtk_text_view_get_window(GTK_TEXT_VIEW(w->text), GTK_TEXT_WINDOW_LEFT))
        gdk_window_invalidate_rect(left, nullptr, FALSE);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w->text));
    w->updating = true;
    if (hwnd->text != w->shown) {
        if (hwnd->text.compare(0, w->shown.size(), w->shown) == 0) {
            // Text appended: add the new part only.
            GtkTextIter end;
            gtk_text_buffer_get_end_iter(buffer, &end);
            std::string tail = ToUtf8(hwnd->text, w->shown.size());
            gtk_text_buffer_insert(buffer, &end, tail.c_str(), static_cast<gint>(tail.size()));
        } else {
            std::string all = ToUtf8(hwnd->text);
            gtk_text_buffer_set_text(buffer, all.c_str(), static_cast<gint>(all.size()));
        }
        w->shown = hwnd->text;
    }
    GtkTextIter a, b;
    gtk_text_buffer_get_iter_at_offset(buffer, &a, static_cast<gint>(hwnd->selStart));
    gtk_text_buffer_get_iter_at_offset(buffer, &b, static_cast<gint>(hwnd->selEnd));
    gtk_text_buffer_select_range(buffer, &b, &a);
    gtk_text_view_scroll_mark_onscreen(GTK_TEXT_VIEW(w->text), gtk_text_buffer_get_insert(buffer));
    w->updating = false;
}

void OnMenuItem(GtkMenuItem*, gpointer data) {
    auto* target = static_cast<HWND>(g_object_get_data(G_OBJECT(data), "win32-window"));
    auto id = static_cast<UINT_PTR>(reinterpret_cast<uintptr_t>(g_object_get_data(G_OBJECT(data), "win32-id")));
    if (IsWindow(target)) PostMessageA(target, WM_COMMAND, id, 0);
}

GtkWidget* BuildMenu(HMENU menu, HWND hwnd, bool bar);

// Before a pop-up opens, its window may enable and disable items; the widgets follow.
void OnPopupSelect(GtkMenuItem* item, gpointer data) {
    auto* popup = static_cast<HMENU>(data);
    auto* hwnd = static_cast<HWND>(g_object_get_data(G_OBJECT(item), "win32-window"));
    if (!IsWindow(hwnd)) return;
    SendMessageA(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    GtkWidget* sub = gtk_menu_item_get_submenu(item);
    GList* children = gtk_container_get_children(GTK_CONTAINER(sub));
    size_t i = 0;
    for (GList* c = children; c && i < popup->items.size(); c = c->next, ++i)
        gtk_widget_set_sensitive(GTK_WIDGET(c->data), !(popup->items[i].flags & MF_GRAYED));
    g_list_free(children);
}

GtkWidget* BuildMenu(HMENU menu, HWND hwnd, bool bar) {
    GtkWidget* shell = bar ? gtk_menu_bar_new() : gtk_menu_new();
    for (auto& item : menu->items) {
        GtkWidget* mi;
        if (item.flags & MF_SEPARATOR) {
            mi = gtk_separator_menu_item_new();
        } else {
            std::string label;
            for (char c : item.text) label += c == '&' ? '_' : c;
            if (auto tab = label.find('\t'); tab != std::string::npos) label.resize(tab);
            mi = gtk_menu_item_new_with_mnemonic(label.c_str());
            g_object_set_data(G_OBJECT(mi), "win32-window", hwnd);
            if (item.popup) {
                gtk_menu_item_set_submenu(GTK_MENU_ITEM(mi), BuildMenu(item.popup, hwnd, false));
                g_signal_connect(mi, "select", G_CALLBACK(OnPopupSelect), item.popup);
            } else {
                g_object_set_data(G_OBJECT(mi), "win32-id", reinterpret_cast<gpointer>(static_cast<uintptr_t>(item.id)));
                g_signal_connect(mi, "activate", G_CALLBACK(OnMenuItem), mi);
            }
            gtk_widget_set_sensitive(mi, !(item.flags & MF_GRAYED));
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(shell), mi);
    }
    gtk_widget_show_all(shell);
    return shell;
}

void MenuSet(HWND hwnd) {
    Widgets* w = W(hwnd);
    if (!w || !w->container) return;
    if (w->menuBar) gtk_widget_destroy(w->menuBar);
    w->menuBar = nullptr;
    if (!hwnd->menu) return;
    w->menuBar = BuildMenu(hwnd->menu, hwnd, true);
    gtk_box_pack_start(GTK_BOX(w->container), w->menuBar, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(w->container), w->menuBar, 0);
}

void Activated(HWND client, HWND child) {
    int page = PageIndex(client, child);
    if (page >= 0) gtk_notebook_set_current_page(GTK_NOTEBOOK(W(client)->container), page);
}

void Focus(HWND hwnd) {
    Widgets* w = W(hwnd);
    if (w && w->text) gtk_widget_grab_focus(w->text);
}

void Pump() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

BOOL TrackPopup(HMENU menu, HWND hwnd) {
    GtkWidget* popup = BuildMenu(menu, hwnd, false);
    gtk_menu_popup(GTK_MENU(popup), nullptr, nullptr, nullptr, nullptr, 3, gtk_get_current_event_time());
    return TRUE;
}

// The find dialog: a text entry, "Match case", "Up", Find Next and Close.
struct FindDialog {
    FINDREPLACEA* record;
    GtkWidget* entry;
    GtkWidget* matchCase;
    GtkWidget* up;
};

void OnFindResponse(GtkDialog* dialog, gint response, gpointer data) {
    auto* f = static_cast<FindDialog*>(data);
    FINDREPLACEA* r = f->record;
    const UINT msg = RegisterWindowMessageA(FINDMSGSTRINGA);
    if (response == 1) {
        std::strncpy(r->lpstrFindWhat, gtk_entry_get_text(GTK_ENTRY(f->entry)), r->wFindWhatLen - 1);
        r->lpstrFindWhat[r->wFindWhatLen - 1] = 0;
        r->Flags = FR_FINDNEXT | (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(f->matchCase)) ? FR_MATCHCASE : 0) |
                   (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(f->up)) ? 0 : FR_DOWN);
        PostMessageA(r->hwndOwner, msg, 0, reinterpret_cast<LPARAM>(r));
        return;
    }
    r->Flags = FR_DIALOGTERM;
    PostMessageA(r->hwndOwner, msg, 0, reinterpret_cast<LPARAM>(r));
    gtk_widget_destroy(GTK_WIDGET(dialog));
    delete f;
}

HWND FindText(FINDREPLACEA* record) {
    Widgets* owner = W(record->hwndOwner);
    GtkWidget* dialog = gtk_dialog_new_with_buttons("Find", owner && !record->hwndOwner->parent ? GTK_WINDOW(owner->outer) : nullptr,
                                                    GTK_DIALOG_DESTROY_WITH_PARENT, "Find Next", 1, GTK_STOCK_CLOSE,
                                                    GTK_RESPONSE_CLOSE, nullptr);
    auto* f = new FindDialog{record, gtk_entry_new(), gtk_check_button_new_with_label("Match case"),
                             gtk_check_button_new_with_label("Up")};
    std::string initial = ToUtf8(record->lpstrFindWhat);
    gtk_entry_set_text(GTK_ENTRY(f->entry), initial.c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(f->entry), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 1);
    GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_box_pack_start(GTK_BOX(area), f->entry, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(area), f->matchCase, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(area), f->up, FALSE, FALSE, 2);
    g_signal_connect(dialog, "response", G_CALLBACK(OnFindResponse), f);
    gtk_widget_show_all(dialog);
    return record->hwndOwner;
}

BOOL ChooseFont(CHOOSEFONTA* choose) {
    LOGFONTA& f = *choose->lpLogFont;
    GtkWidget* dialog = gtk_font_selection_dialog_new("Font");
    char initial[80];
    std::snprintf(initial, sizeof initial, "%s %dpx", f.lfFaceName, f.lfHeight < 0 ? -f.lfHeight : (f.lfHeight ? f.lfHeight : 12));
    gtk_font_selection_dialog_set_font_name(GTK_FONT_SELECTION_DIALOG(dialog), initial);
    BOOL chosen = FALSE;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        gchar* name = gtk_font_selection_dialog_get_font_name(GTK_FONT_SELECTION_DIALOG(dialog));
        PangoFontDescription* d = pango_font_description_from_string(name);
        std::snprintf(f.lfFaceName, sizeof f.lfFaceName, "%s", pango_font_description_get_family(d) ? pango_font_description_get_family(d) : "Monospace");
        int size = pango_font_description_get_size(d) / PANGO_SCALE;
        if (!pango_font_description_get_size_is_absolute(d)) size = size * 96 / 72;  // points to pixels
        f.lfHeight = -(size > 0 ? size : 12);
        pango_font_description_free(d);
        g_free(name);
        chosen = TRUE;
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

BOOL OpenFile(const OPENFILENAMEA* ofn, std::string* path) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(ofn->lpstrTitle ? ofn->lpstrTitle : "Open", nullptr,
                                                    GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                                                    GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
    if (ofn->lpstrInitialDir && *ofn->lpstrInitialDir)
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), ofn->lpstrInitialDir);
    // The filter's pairs: a description, then patterns separated by ';'.
    for (const char* f = ofn->lpstrFilter; f && *f;) {
        const char* patterns = f + std::strlen(f) + 1;
        if (!*patterns) break;
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, f);
        std::string all = patterns;
        for (size_t start = 0; start <= all.size();) {
            size_t end = all.find(';', start);
            std::string one = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!one.empty()) gtk_file_filter_add_pattern(filter, one.c_str());
            if (end == std::string::npos) break;
            start = end + 1;
        }
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
        f = patterns + std::strlen(patterns) + 1;
    }
    BOOL chosen = FALSE;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            *path = name;
            g_free(name);
            chosen = TRUE;
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

void OnListActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
}

int ChooseFromList(const LISTDIALOGA* d) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(d->title ? d->title : "", nullptr, GTK_DIALOG_MODAL, GTK_STOCK_OK,
                                                    GTK_RESPONSE_ACCEPT, GTK_STOCK_CANCEL, GTK_RESPONSE_REJECT, nullptr);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 320, 360);
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
    for (const std::string& item : *d->items) {
        GtkTreeIter it;
        gtk_list_store_append(store, &it);
        gtk_list_store_set(store, &it, 0, item.c_str(), -1);
    }
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), gtk_tree_view_column_new_with_attributes(
                                                         "", gtk_cell_renderer_text_new(), "text", 0, nullptr));
    g_signal_connect(view, "row-activated", G_CALLBACK(OnListActivated), dialog);
    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroll), view);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), scroll, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    if (d->initial >= 0 && static_cast<size_t>(d->initial) < d->items->size()) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(d->initial, -1);
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), path, nullptr, FALSE);
        gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(view), path, nullptr, TRUE, 0.5f, 0.0f);
        gtk_tree_path_free(path);
    }
    int chosen = -1;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        GtkTreeModel* model = nullptr;
        GtkTreeIter it;
        if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &model, &it)) {
            GtkTreePath* path = gtk_tree_model_get_path(model, &it);
            chosen = gtk_tree_path_get_indices(path)[0];
            gtk_tree_path_free(path);
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

const WindowBackend kGtkBackend = {Created,  Destroyed, Changed,    MenuSet,   Activated, Focus,
                                   Pump,     TrackPopup, FindText, ChooseFont, OpenFile, ChooseFromList,
                                   Split};

}  // namespace

bool UseGtkBackend() {
    if (const char* h = std::getenv("WIN32_HEADLESS"); h && std::strcmp(h, "1") == 0) return false;
    if (!gtk_init_check(nullptr, nullptr)) return false;
    SetWindowBackend(&kGtkBackend);
    return true;
}

}  // namespace win32
