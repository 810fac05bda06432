// The virtual mouse (export slots 285 and 286): a pointer floating over the device window that the
// arrow keys move, with acceleration, and whose select key presses the pen at the pointer. The
// window's key handler offers each key to PrvHALVirtualMouseHandleKey first; a thread of its own
// moves the pointer and posts the pen events.
#include <gtk/gtk.h>
#include <pthread.h>
#include <time.h>

#include "kez/src/HALDisplay.h"
#include "kez/src/HALEvent.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"
#include "kez/src/Locks.h"

namespace kez {
namespace {

constexpr uint32_t kUp = 0x2;
constexpr uint32_t kDown = 0x4;
constexpr uint32_t kLeft = 0x01040000;
constexpr uint32_t kRight = 0x02080000;
constexpr uint32_t kSelect = 0x04100000;
constexpr uint32_t kMouseKeys = 0x071C0006;
constexpr uint32_t kToggleSequence[4] = {kUp, kDown, kUp, kDown};
constexpr uint32_t kToggleWindowMs = 1499;
constexpr uint32_t kPointerWidth = 11;  // the drawn pointer keeps inside the window by this much
constexpr uint32_t kPointerHeight = 18;

struct VirtualMouse {
    uint8_t shown;
    uint32_t x, y;
    uint32_t lastStep;  // tick of the last movement step; 0 when no key is held
    uint8_t delay, step;
    uint32_t held;      // hard-key mask bits of the keys held
    bool penDown;
    vantor::KezPenEventRecord pen;
    pthread_t thread;
    bool threadRunning;
    bool stop;
    pthread_mutex_t lock;  // recursive
    pthread_cond_t condition;
    bool lockMade;
    uint32_t toggleCount, toggleTime;
};
VirtualMouse gMouse;

bool Enabled() { return gKez.config.virtualMouse != 0; }

GtkWidget* PointerWidget() { return static_cast<GtkWidget*>(HALDisplayObject(3)); }

// Shows or hides the pointer; the caller holds the GDK lock when there is a widget.
void Toggle() {
    GtkWidget* widget = PointerWidget();
    Locked lock(&gMouse.lock);
    if (!gMouse.shown) {
        gMouse.x = gKez.config.windowWidth / 2;
        gMouse.y = gKez.config.windowHeight / 2;
        if (widget) {
            if (GtkWidget* parent = gtk_widget_get_parent(widget); parent && GTK_IS_FIXED(parent))
                gtk_fixed_move(GTK_FIXED(parent), widget, static_cast<gint>(gMouse.x), static_cast<gint>(gMouse.y));
            gtk_widget_show_all(widget);
        }
    } else if (widget) {
        gtk_widget_hide(widget);
    }
    gMouse.shown = !gMouse.shown;
    gMouse.held = 0;
}

// Feeds a key press to the detector of the sequence up, down, up, down within 1.5 seconds;
// true when the key completes it.
bool ToggleSequenceComplete(uint32_t mask, uint32_t time) {
    if (time - gMouse.toggleTime > kToggleWindowMs) gMouse.toggleCount = 0;
    if (mask == kToggleSequence[gMouse.toggleCount]) {
        if (gMouse.toggleCount == 0) gMouse.toggleTime = time;
        ++gMouse.toggleCount;
    } else {
        gMouse.toggleCount = 0;
    }
    if (gMouse.toggleCount < 4) return false;
    gMouse.toggleCount = 0;
    return true;
}

// The pen point for a pointer position: window pixels, scaled back to the screen when the window
// shows it scaled.
uint16_t PenCoordinate(uint32_t v) {
    if (gKez.config.penScaling)
        v = gKez.config.screenWidth <= gKez.config.windowWidth ? v * 2 / 3 : v * 4 / 3;
    return static_cast<uint16_t>(v);
}

void PostPen(uint16_t x, uint16_t y) {
    gMouse.pen = {x, y};
    HALEventSetLastPen(gMouse.pen);
    KEZ_CALL(HALEventPost, 0, &gMouse.pen);
}

void Sleep30ms() {
    timespec pause{0, 30 * 1000 * 1000};
    nanosleep(&pause, nullptr);
}

void* PointerThread(void*) {
    uint32_t lastX = gMouse.x, lastY = gMouse.y;
    int lastImage = 0;
    for (;;) {
        uint32_t tick = KEZ_CALL(HALTimeGetTicks);
        pthread_mutex_lock(&gMouse.lock);
        if (!gMouse.penDown && gMouse.held == 0 && !gMouse.stop) {
            gMouse.lastStep = 0;
            pthread_cond_wait(&gMouse.condition, &gMouse.lock);
            tick = KEZ_CALL(HALTimeGetTicks);
        }
        if (gMouse.stop) {
            pthread_mutex_unlock(&gMouse.lock);
            return nullptr;
        }
        uint32_t held = gMouse.held;
        if (held & ~kSelect) {
            // Acceleration: while keys stay held the delay runs down, then the step grows to 10.
            if (gMouse.lastStep != 0 && tick - gMouse.lastStep < 101) {
                if (gMouse.delay > 2)
                    gMouse.delay = static_cast<uint8_t>(gMouse.delay - 2);
                else if (gMouse.step <= 9)
                    ++gMouse.step;
            } else {
                gMouse.delay = 25;
                gMouse.step = 2;
            }
            gMouse.lastStep = tick == 0 ? 1 : tick;
        }
        uint32_t step = gMouse.step, width = gKez.config.windowWidth, height = gKez.config.windowHeight;
        if (held & kUp)
            gMouse.y = gMouse.y > step ? gMouse.y - step : 0;
        else if (held & kDown)
            gMouse.y = height > 0 && gMouse.y + step > height - 1 ? height - 1 : gMouse.y + step;
        if ((held & kLeft) == kLeft)
            gMouse.x = gMouse.x > step ? gMouse.x - step : 0;
        else if ((held & kRight) == kRight)
            gMouse.x = width > 0 && gMouse.x + step > width - 1 ? width - 1 : gMouse.x + step;
        bool moved = gMouse.x != lastX || gMouse.y != lastY;
        if (held & kSelect) {
            if (!gMouse.penDown || moved) {
                gMouse.penDown = true;
                PostPen(PenCoordinate(gMouse.x), PenCoordinate(gMouse.y));
            }
        } else if (gMouse.penDown) {
            gMouse.penDown = false;
            PostPen(0xFFFF, 0xFFFF);
        }
        if (gMouse.held == 0) gMouse.lastStep = 0;
        uint32_t x = gMouse.x, y = gMouse.y;
        pthread_mutex_unlock(&gMouse.lock);

        if (moved) {
            if (GtkWidget* widget = PointerWidget()) {
                // Near the right and bottom edges the pointer is drawn inside the window, with the
                // picture that points there.
                bool right = width >= kPointerWidth && x >= width - kPointerWidth;
                bool bottom = height >= kPointerHeight && y >= height - kPointerHeight;
                int image = (right ? 1 : 0) + (bottom ? 2 : 0);
                gint drawnX = static_cast<gint>(right ? x - kPointerWidth : x);
                gint drawnY = static_cast<gint>(bottom ? y - kPointerHeight : y);
                gdk_threads_enter();
                if (image != lastImage) {
                    auto* pixbuf = static_cast<GdkPixbuf*>(HALDisplayObject(5 + image));
                    auto* mask = static_cast<GdkBitmap*>(HALDisplayObject(9 + image));
                    if (auto* picture = static_cast<GtkWidget*>(HALDisplayObject(4)); picture && pixbuf)
                        gtk_image_set_from_pixbuf(GTK_IMAGE(picture), pixbuf);
                    gtk_widget_shape_combine_mask(widget, mask, 0, 0);
                    lastImage = image;
                }
                if (GtkWidget* parent = gtk_widget_get_parent(widget); parent && GTK_IS_FIXED(parent))
                    gtk_fixed_move(GTK_FIXED(parent), widget, drawnX, drawnY);
                gdk_threads_leave();
            }
            lastX = x;
            lastY = y;
        }
        Sleep30ms();
    }
}

}  // namespace

uint16_t PrvHALVirtualMouseStart() {
    gMouse.shown = 0;
    gMouse.held = 0;
    gMouse.penDown = false;
    gMouse.stop = false;
    gMouse.toggleCount = 0;
    gMouse.toggleTime = 0;
    gMouse.lastStep = 0;
    gMouse.step = 2;
    gMouse.delay = 25;
    if (!Enabled()) return 0;
    if (gKez.config.centreVirtualMouse) {
        gMouse.shown = 1;
        gMouse.x = gKez.config.windowWidth / 2;
        gMouse.y = gKez.config.windowHeight / 2;
    }
    if (!gMouse.lockMade) {
        InitRecursiveMutex(&gMouse.lock);
        pthread_cond_init(&gMouse.condition, nullptr);
        gMouse.lockMade = true;
    }
    if (pthread_create(&gMouse.thread, nullptr, PointerThread, nullptr) != 0) {
        KEZ_CALL(HALTrace, 0xFF00, "Can't start the Virtual Mouse thread handler.");
        return 0xFFFF;
    }
    gMouse.threadRunning = true;
    return 0;
}

uint16_t PrvHALVirtualMouseStop() {
    // The thread that a start made stops, whatever the configuration says by now.
    if (!gMouse.lockMade || !gMouse.threadRunning) return 0;
    {
        Locked lock(&gMouse.lock);
        gMouse.stop = true;
        pthread_cond_signal(&gMouse.condition);
    }
    if (gMouse.threadRunning) {
        pthread_join(gMouse.thread, nullptr);
        gMouse.threadRunning = false;
    }
    return 0;
}

bool PrvHALVirtualMouseHandleKey(GdkEventKey* event, uint32_t mask) {
    if (!Enabled() || !event || !gMouse.lockMade || (mask & kMouseKeys) == 0) return false;
    bool press = event->type == GDK_KEY_PRESS;
    if (press && ToggleSequenceComplete(mask, event->time)) {
        Toggle();
        return false;
    }
    if (!gMouse.shown) return false;
    Locked lock(&gMouse.lock);
    if (press) {
        if (mask & kUp) gMouse.held &= ~kDown;
        if (mask & kDown) gMouse.held &= ~kUp;
        if ((mask & kLeft) == kLeft) gMouse.held &= ~kRight;
        if ((mask & kRight) == kRight) gMouse.held &= ~kLeft;
        if (gMouse.held == 0) pthread_cond_signal(&gMouse.condition);
        gMouse.held |= mask;
    } else {
        gMouse.held &= ~mask;
    }
    return true;
}

uint16_t HALVirtualMouseToggle() {
    if (!Enabled() || !gMouse.lockMade) return 0;
    bool widget = PointerWidget() != nullptr;
    if (widget) gdk_threads_enter();
    Toggle();
    if (widget) gdk_threads_leave();
    return 0;
}
KEZ_SLOT(HALVirtualMouseToggle, HALVirtualMouseToggle)

uint16_t HALVirtualMouseIsActive() { return Enabled() && gMouse.shown ? 1 : 0; }
KEZ_SLOT(HALVirtualMouseIsActive, HALVirtualMouseIsActive)

}  // namespace kez
