// kez-host's device window.
#include "standin/os/host/HostWindow.h"

#include <dlfcn.h>
#include <gtk/gtk.h>

#include <thread>

#include "standin/os/host/HostPointer.h"

namespace vantor {
namespace {

using MouseProc = uint16_t (*)(GdkEvent*);
using KeyProc = uint16_t (*)(GdkEventKey*);
using ExposeProc = void (*)(int16_t, int16_t, int16_t, int16_t);
using PainterStartProc = uint16_t (*)(void**);
using ExitRequestProc = void (*)(int32_t, uint8_t);

struct Procs {
    MouseProc mouse;
    KeyProc key;
    ExposeProc expose;
    ExitRequestProc exitRequest;
};

gboolean OnMouse(GtkWidget*, GdkEvent* event, gpointer data) {
    static_cast<Procs*>(data)->mouse(event);
    return TRUE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    static_cast<Procs*>(data)->key(event);
    return TRUE;
}

gboolean OnExpose(GtkWidget*, GdkEventExpose* event, gpointer data) {
    auto* procs = static_cast<Procs*>(data);
    if (procs->expose) {
        const GdkRectangle& r = event->area;
        procs->expose(static_cast<int16_t>(r.x), static_cast<int16_t>(r.y), static_cast<int16_t>(r.x + r.width),
                      static_cast<int16_t>(r.y + r.height));
    }
    return TRUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<Procs*>(data)->exitRequest(3, 0);
    return TRUE;  // the window stays until Kez has shut down
}

gboolean Quit(gpointer) {
    gtk_main_quit();
    return FALSE;
}

}  // namespace

struct HostWindow::Widgets {
    GtkWidget* window;
    GtkWidget* area;
    Procs procs;
};

HostWindow::HostWindow(void* kez, const KezBootConfig& config) : kez_(kez), config_(config), widgets_(new Widgets{}) {
    Procs& procs = widgets_->procs;
    procs.mouse = reinterpret_cast<MouseProc>(dlsym(kez_, "HALEventEnqueueGdkMouseEvent"));
    procs.key = reinterpret_cast<KeyProc>(dlsym(kez_, "HALEventEnqueueGdkKeyEvent"));
    procs.expose = reinterpret_cast<ExposeProc>(dlsym(kez_, "PrvHALDisplayOnExposeEvent"));
    procs.exitRequest = reinterpret_cast<ExitRequestProc>(dlsym(kez_, "PrvKezExitRequest"));

    gdk_threads_enter();
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Vantor OS");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    GtkWidget* area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, static_cast<gint>(config_.windowWidth), static_cast<gint>(config_.windowHeight));
    gtk_widget_set_double_buffered(area, FALSE);
    gtk_widget_set_can_focus(area, TRUE);
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK |
                                    GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_EXPOSURE_MASK);
    // The drawing area, the input-area picture and the virtual mouse's pointer share a fixed
    // layout, so that the pointer can float over the screen.
    GtkWidget* layout = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), layout);
    GtkWidget* image = nullptr;
    if (config_.inputAreaFlag) {
        image = gtk_image_new();
        gtk_fixed_put(GTK_FIXED(layout), image, 0, 0);
    }
    gtk_fixed_put(GTK_FIXED(layout), area, 0, 0);
    HostPointerPictures pointer = MakeHostPointerPictures();
    GtkWidget* pointerImage = gtk_image_new_from_pixbuf(pointer.pixbufs[0]);
    GtkWidget* pointerBox = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(pointerBox), pointerImage);
    gtk_widget_set_no_show_all(pointerBox, TRUE);  // shown by the virtual mouse
    gtk_widget_show(pointerImage);
    gtk_fixed_put(GTK_FIXED(layout), pointerBox, 0, 0);
    g_signal_connect(area, "button-press-event", G_CALLBACK(OnMouse), &procs);
    g_signal_connect(area, "button-release-event", G_CALLBACK(OnMouse), &procs);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMouse), &procs);
    g_signal_connect(window, "key-press-event", G_CALLBACK(OnKey), &procs);
    g_signal_connect(window, "key-release-event", G_CALLBACK(OnKey), &procs);
    g_signal_connect(area, "expose-event", G_CALLBACK(OnExpose), &procs);
    g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), &procs);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(area);
    widgets_->window = window;
    widgets_->area = area;

    // The start-up record of the painter: window, drawing area, image, the pointer widget and its
    // image, the pointer's four pictures and four shape masks, and the GC. Kez keeps its own
    // references.
    if (auto start = reinterpret_cast<PainterStartProc>(dlsym(kez_, "HALDisplayPainterStart"))) {
        void* record[14] = {};
        record[0] = window;
        record[1] = area;
        record[2] = image;
        record[3] = pointerBox;
        record[4] = pointerImage;
        for (int i = 0; i < 4; ++i) {
            record[5 + i] = pointer.pixbufs[i];
            record[9 + i] = pointer.masks[i];
        }
        record[13] = gdk_gc_new(area->window);
        gdk_threads_leave();
        start(record);
        gdk_threads_enter();
        g_object_unref(record[13]);
    }
    for (int i = 0; i < 4; ++i) {
        g_object_unref(pointer.pixbufs[i]);
        if (pointer.masks[i]) g_object_unref(pointer.masks[i]);
    }
    gdk_threads_leave();
}

HostWindow::~HostWindow() {
    gdk_threads_enter();
    gtk_widget_destroy(widgets_->window);
    while (gtk_events_pending()) gtk_main_iteration();
    gdk_threads_leave();
    delete widgets_;
}

int32_t HostWindow::Run(int32_t (*waitForExit)()) {
    int32_t exitType = 0;
    std::thread waiter([&] {
        exitType = waitForExit();
        gdk_threads_add_idle(Quit, nullptr);
    });
    gdk_threads_enter();
    gtk_main();
    gdk_threads_leave();
    waiter.join();
    return exitType;
}

}  // namespace vantor
