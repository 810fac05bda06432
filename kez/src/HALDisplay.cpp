// The device screen (export slots 11 to 18, 119, 202, 203, 238 to 242 and 271): the frame buffer
// the OS draws into, its attributes and palette, and the painter thread that copies the changed
// part of the frame into the GTK window, at every depth, rescaled when asked, with the "Doze Mode"
// and "Display disabled" overlays.
#include "kez/src/HALDisplay.h"

#include <gtk/gtk.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "common/FramePixels.h"
#include "common/module/SystemCalls.h"
#include "kez/src/HALDraw.h"
#include "kez/src/HALErrDisplay.h"
#include "kez/src/KAL.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"
#include "kez/src/Locks.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint32_t kFrameBufferSize = 614400;
constexpr uint32_t kFrameSize = kFrameBufferSize / 2;
constexpr uint32_t kDepthMask = 0x808B;  // depths 1, 2, 4, 8 and 16
constexpr int32_t kScaledStride = 240;
constexpr const char* kSource = "Kez/Linux/HAL/Src/HALDisplay";

struct Rect {
    int16_t left = 32767, top = 32767, right = 0, bottom = 0;
};

struct Display {
    uint8_t* bitmapBase = nullptr;
    uint16_t width = 0, height = 0, rowBytes = 0;
    uint8_t depth = 1;
    uint8_t attribute[3] = {0, 0, 255};  // attributes 17, 18, 19
    uint8_t* frameBuffer = nullptr;
    uint8_t* visible = nullptr;
    uint8_t* displayed = nullptr;
    uint8_t* hostImage = nullptr;
    uint32_t hostDepth = 1;
    GdkRgbCmap colourMap{};

    // The GTK objects of the host program's start-up record.
    void* objects[14] = {};
    pthread_t painter{};
    bool painterCreated = false;
    std::atomic<bool> exit{false};
    std::atomic<bool> painterRunning{false};
    std::atomic<bool> painterStarted{false};
    std::atomic<bool> overlay{false};
    bool paintRequested = false;  // guarded by the paint lock: a flush wants a paint before 30 ms
    void (*startGUI)() = nullptr;
    uint16_t extentState = 0;

    Rect dirty;  // guarded by the dirty-rectangle lock, as are the flush rectangle and its time
    Rect flush;
    uint32_t lastFlush = 0;
};

Display gDisplay;

// The locks of the display (set up by KezGlobalsInit): the display mutex, the dirty-rectangle lock
// with its wake condition, and the paint lock with its condition.
pthread_mutex_t* DisplayMutex() { return &gKez.displayLock; }
pthread_mutex_t* DirtyLock() { return &gKez.displayUpdateLock; }
pthread_cond_t* WakeCondition() { return &gKez.displayUpdateCondition; }
pthread_mutex_t* PaintLock() { return &gKez.displaySecondLock; }
pthread_cond_t* PaintCondition() { return &gKez.displaySecondCondition; }

GtkWidget* Window() { return static_cast<GtkWidget*>(gDisplay.objects[0]); }
GtkWidget* Area() { return static_cast<GtkWidget*>(gDisplay.objects[1]); }
GdkGC* Gc() { return static_cast<GdkGC*>(gDisplay.objects[13]); }

uint32_t FrameWidth() { return gKez.config.windowWidth; }
uint32_t FrameHeight() { return gKez.config.windowHeight; }
bool Scaling() { return gKez.config.penScaling != 0; }
bool Enlarging() { return gKez.config.screenWidth <= gKez.config.windowWidth; }

uint16_t RowBytes(uint32_t depth, uint32_t width) {
    return static_cast<uint16_t>(((depth * width + 15) >> 3) & ~1u);
}

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

void ReleaseHostImage() {
    Locked lock(DisplayMutex());
    std::free(gDisplay.hostImage);
    gDisplay.hostImage = nullptr;
}

// The host image for the current depth: palette indices, or RGB at depth 16.
void PrvInitializeGdkBitmap() {
    Locked lock(DisplayMutex());
    uint32_t depth = gDisplay.depth;
    // Scaled images use a row stride of 240 pixels, which a narrower frame must still hold;
    // unscaled images hold the screen, whatever the window's size.
    size_t pixels = !Scaling() ? size_t{gDisplay.width} * gDisplay.height
                               : size_t{FrameWidth() < kScaledStride ? kScaledStride : FrameWidth()} * FrameHeight();
    size_t size;
    if (depth == 1 || depth == 2 || depth == 4 || depth == 8) {
        gDisplay.hostDepth = depth;
        std::memset(gDisplay.colourMap.colors, 0, sizeof gDisplay.colourMap.colors);
        gDisplay.colourMap.n_colors = 1 << depth;
        size = pixels;
    } else if (depth == 16) {
        gDisplay.hostDepth = 24;
        size = pixels * 3;
    } else {
        KALFatal(kSource, 0, "PrvInitializeGdkBitmap: Unsuported display depth");
        return;
    }
    gDisplay.hostImage = depth == 8 && !Scaling() ? nullptr : static_cast<uint8_t*>(std::calloc(size, 1));
}

// The palette index (or RGB565 value) of screen pixel (x, y) of the displayed frame: below depth
// 8 the leftmost pixel of a byte is in its low bits.
uint32_t PixelAt(uint32_t x, uint32_t y) {
    return PixelGet(gDisplay.displayed + y * gDisplay.rowBytes, x, gDisplay.depth, kPixelFormatReversed);
}

void WriteRgb(uint8_t* out, uint32_t v) {
    uint32_t r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
    out[0] = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
    out[1] = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
    out[2] = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
}

// Paints {x, y, width, height} of the displayed frame into the window. The GDK lock is held.
void PaintRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    Locked lock(DisplayMutex());
    GtkWidget* area = Area();
    if (!area || !area->window || !Gc()) return;
    uint32_t depth = gDisplay.depth, screenWidth = gDisplay.width, screenHeight = gDisplay.height;
    int32_t frameWidth = static_cast<int32_t>(FrameWidth()), frameHeight = static_cast<int32_t>(FrameHeight());
    int32_t stride;
    const uint8_t* image = gDisplay.hostImage;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) {
        KALFatal(kSource, 0, "Screen depth not yet supported");
        return;
    }
    if (!Scaling()) {
        // A window larger than the screen shows nothing beyond it.
        frameWidth = std::min(frameWidth, static_cast<int32_t>(screenWidth));
        frameHeight = std::min(frameHeight, static_cast<int32_t>(screenHeight));
        stride = static_cast<int32_t>(screenWidth);
        int32_t right = x + width > static_cast<int32_t>(screenWidth) ? static_cast<int32_t>(screenWidth) : x + width;
        int32_t bottom = y + height > static_cast<int32_t>(screenHeight) ? static_cast<int32_t>(screenHeight) : y + height;
        if (depth < 8) {
            int32_t perByte = static_cast<int32_t>(8 / depth);
            int32_t from = x - x % perByte;
            int32_t to = from + (x % perByte + width + perByte - 1) / perByte * perByte;
            if (to > static_cast<int32_t>(screenWidth)) to = static_cast<int32_t>(screenWidth);
            for (int32_t row = y; row < bottom; ++row)
                for (int32_t px = from; px < to; ++px)
                    gDisplay.hostImage[row * stride + px] = static_cast<uint8_t>(PixelAt(static_cast<uint32_t>(px), static_cast<uint32_t>(row)));
        } else if (depth == 8) {
            image = gDisplay.displayed;
            stride = gDisplay.rowBytes;
        } else {
            for (int32_t row = y; row < bottom; ++row)
                for (int32_t px = x; px < right; ++px)
                    WriteRgb(gDisplay.hostImage + (row * stride + px) * 3, PixelAt(static_cast<uint32_t>(px), static_cast<uint32_t>(row)));
        }
    } else {
        // The rectangle in frame coordinates: from its scaled top-left corner rounded down to its
        // scaled bottom-right corner rounded up, so that every window pixel showing a pixel of
        // the rectangle is painted; then every frame pixel up to its far corner.
        bool enlarge = Enlarging();
        int32_t shift = enlarge ? 1 : 2, round = (1 << shift) - 1;
        int32_t right = ((x + width) * 3 + round) >> shift, bottom = ((y + height) * 3 + round) >> shift;
        x = (x * 3) >> shift;
        y = (y * 3) >> shift;
        width = right - x;
        height = bottom - y;
        stride = kScaledStride;
        int32_t lastX = x + width < frameWidth - 1 ? x + width : frameWidth - 1;
        int32_t lastY = y + height < frameHeight - 1 ? y + height : frameHeight - 1;
        for (int32_t fy = lastY; fy >= 0; --fy) {
            for (int32_t fx = lastX; fx >= 0; --fx) {
                uint32_t sx = static_cast<uint32_t>(enlarge ? fx * 2 / 3 : fx * 4 / 3);
                uint32_t sy = static_cast<uint32_t>(enlarge ? fy * 2 / 3 : fy * 4 / 3);
                if (sx >= screenWidth || sy >= screenHeight) continue;
                uint32_t v = PixelAt(sx, sy);
                if (depth == 16) WriteRgb(gDisplay.hostImage + (fy * stride + fx) * 3, v);
                else gDisplay.hostImage[fy * stride + fx] = static_cast<uint8_t>(v);
            }
        }
    }
    if (x + width > frameWidth) width = frameWidth - x;
    if (y + height > frameHeight) height = frameHeight - y;
    if (width <= 0 || height <= 0) return;
    GdkRectangle clip{x, y, width, height};
    gdk_gc_set_clip_rectangle(Gc(), &clip);
    const uint8_t* rows = image + y * stride * (depth == 16 ? 3 : 1);
    if (depth == 16) {
        gdk_draw_rgb_image(area->window, Gc(), 0, y, frameWidth, height, GDK_RGB_DITHER_NONE,
                           const_cast<uint8_t*>(rows), stride * 3);
    } else {
        gdk_draw_indexed_image(area->window, Gc(), 0, y, frameWidth, height, GDK_RGB_DITHER_NONE,
                               const_cast<uint8_t*>(rows), stride, &gDisplay.colourMap);
    }
}

// Merges a rectangle into the dirty rectangle, kept within the screen.
void MergeDirty(int16_t left, int16_t top, int16_t right, int16_t bottom) {
    Locked lock(DirtyLock());
    Rect& d = gDisplay.dirty;
    d.left = std::min(d.left, left);
    if (d.left < 0) d.left = 0;
    d.top = std::min(d.top, top);
    if (d.top < 0) d.top = 0;
    d.right = std::max(d.right, right);
    if (d.right > static_cast<int16_t>(gDisplay.width)) d.right = static_cast<int16_t>(gDisplay.width);
    d.bottom = std::max(d.bottom, bottom);
    if (d.bottom > static_cast<int16_t>(gDisplay.height)) d.bottom = static_cast<int16_t>(gDisplay.height);
}

// Hands the area that flushes gathered to the painter, under the dirty-rectangle lock; false when
// it is empty.
bool HandOverFlushRect(uint32_t now) {
    Locked lock(DirtyLock());
    Rect& f = gDisplay.flush;
    if (!(f.right > f.left && f.right > 0 && f.bottom > f.top && f.bottom > 0)) return false;
    MergeDirty(f.left, f.top, f.right, f.bottom);
    f = Rect{};
    gDisplay.lastFlush = now;
    return true;
}

struct Overlays {
    PangoLayout* disabled = nullptr;
    PangoLayout* doze = nullptr;
    int disabledX = 0, dozeX = 0, dozeWidth = 0, dozeHeight = 0;
};

PangoLayout* MakeLayout(const char* text, int points, int* x, int* width, int* height) {
    PangoContext* context = gtk_widget_get_pango_context(Area());
    PangoFontDescription* font = pango_font_description_copy(pango_context_get_font_description(context));
    pango_font_description_set_size(font, points * PANGO_SCALE);
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    pango_layout_set_text(layout, text, -1);
    pango_font_description_free(font);
    int w, h;
    pango_layout_get_pixel_size(layout, &w, &h);
    *x = static_cast<int>(FrameWidth()) / 2 - w / 2;
    if (width) *width = w;
    if (height) *height = h;
    return layout;
}

void FillGrey(int x, int y, int width, int height) {
    GdkColor grey{0, 0x7FFF, 0x7FFF, 0x7FFF};
    gdk_gc_set_rgb_fg_color(Gc(), &grey);
    gdk_draw_rectangle(Area()->window, Gc(), TRUE, x, y, width, height);
}

void DrawWhite(PangoLayout* layout, int x, int y) {
    GdkColor white{0, 0xFFFF, 0xFFFF, 0xFFFF};
    gdk_draw_layout_with_colors(Area()->window, Gc(), x, y, layout, &white, nullptr);
}

void* GdkDisplayPainterRoutine(void*) {
    KEZ_CALL(HALTrace, 0xFF00, "In GdkDisplayPainterRoutine");
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 15);
    {
        Locked lock(DirtyLock());
        gDisplay.painterStarted = true;
        pthread_cond_broadcast(WakeCondition());
    }
    KEZ_CALL(PALWaitForStart);

    Overlays overlays;
    gdk_threads_enter();
    overlays.disabled = MakeLayout("Display disabled\nby Hobgobs", 20, &overlays.disabledX, nullptr, nullptr);
    overlays.doze = MakeLayout("Doze Mode", 30, &overlays.dozeX, &overlays.dozeWidth, &overlays.dozeHeight);
    gdk_threads_leave();

    gDisplay.painterRunning = true;
    gDisplay.overlay = false;
    uint32_t seenExtent = 0xFFFF;
    // The paint lock is held only while waiting and the dirty-rectangle lock never while the GDK
    // lock is taken: flushes and window events never wait for a paint.
    for (;;) {
        if (!gDisplay.overlay) {
            pthread_mutex_lock(PaintLock());
            if (!gDisplay.paintRequested && !gDisplay.exit) {
                timespec deadline = DeadlineAfter(30);
                pthread_cond_timedwait(PaintCondition(), PaintLock(), &deadline);
            }
            gDisplay.paintRequested = false;
            pthread_mutex_unlock(PaintLock());
            pthread_mutex_lock(DirtyLock());
        } else {
            // With an overlay up only exposes lead to a paint; the area of a flush meanwhile stays
            // in the dirty rectangle.
            pthread_mutex_lock(DirtyLock());
            timespec deadline = DeadlineAfter(200);
            pthread_cond_timedwait(WakeCondition(), DirtyLock(), &deadline);
        }
        if (gDisplay.exit) {
            KEZ_CALL(HALTrace, 0xFF00, "GGdkDisplayPainterExit true. Exiting from GdkDisplayPainterRoutine");
            pthread_mutex_unlock(DirtyLock());
            gDisplay.painterRunning = false;
            g_object_unref(overlays.disabled);
            g_object_unref(overlays.doze);
            return nullptr;
        }
        // An area that a flush only gathered is painted once 40 ms have passed, even when no
        // further flush comes.
        uint32_t now = KEZ_CALL(HALTimeGetTicks);
        if (now - gDisplay.lastFlush >= 40) HandOverFlushRect(now);
        if (gKez.config.inputAreaFlag && gDisplay.extentState != seenExtent) {
            seenExtent = gDisplay.extentState;
            pthread_mutex_unlock(DirtyLock());
            gdk_threads_enter();
            if (GtkWidget* parent = gtk_widget_get_parent(Area()))
                gtk_widget_set_size_request(parent, static_cast<gint>(FrameWidth()),
                                            static_cast<gint>(seenExtent == 0 ? FrameWidth() : FrameHeight()));
            gdk_threads_leave();
            pthread_mutex_lock(DirtyLock());
        }
        if (PrvHALTesterDisplayOff()) {
            pthread_mutex_unlock(DirtyLock());
            gdk_threads_enter();
            GdkRectangle all{0, 0, static_cast<gint>(FrameWidth()), static_cast<gint>(FrameHeight())};
            gdk_gc_set_clip_rectangle(Gc(), &all);
            FillGrey(0, 0, all.width, all.height);
            DrawWhite(overlays.disabled, overlays.disabledX, 50);
            gdk_flush();
            gdk_threads_leave();
            gDisplay.overlay = true;
            continue;
        }
        Rect& d = gDisplay.dirty;
        if (d.bottom < d.top || d.right < d.left) {
            pthread_mutex_unlock(DirtyLock());
            continue;
        }
        int32_t x = d.left, y = d.top, width = d.right - d.left, height = d.bottom - d.top;
        d = Rect{};
        pthread_mutex_unlock(DirtyLock());
        gdk_threads_enter();
        PaintRect(x, y, width, height);
        if (PrvHALPowerIsSleeping()) {
            FillGrey(overlays.dozeX - 10, 50, overlays.dozeWidth + 20, overlays.dozeHeight);
            DrawWhite(overlays.doze, overlays.dozeX, 50);
            gDisplay.overlay = true;
        } else if (gDisplay.overlay && !PrvHALTesterDisplayOff()) {
            gDisplay.overlay = false;
        }
        gdk_flush();
        gdk_threads_leave();
    }
}

uint16_t HALDisplayGetAttributes(uint16_t attribute, void* out) {
    static const char kName[] = "Linux Software Display";
    uint32_t value;
    uint32_t size = 4;  // bytes of the out-value: each attribute is written at its own width
    Display& d = gDisplay;
    bool notSquare = d.width != d.height;
    switch (attribute) {
        case 3: value = Address(kName); break;
        case 4: value = d.width, size = 2; break;
        case 5: value = d.height, size = 2; break;
        case 6: value = d.rowBytes, size = 2; break;
        case 9: value = gKez.config.screenDepth, size = 1; break;
        case 10: value = d.depth, size = 1; break;
        case 11: value = 16, size = 1; break;
        case 12: value = gKez.displayDepthMask; break;
        case 13: value = 1; break;
        case 14: value = Address(d.visible); break;
        case 15: value = kFrameBufferSize; break;
        case 16: value = Address(d.displayed); break;
        case 17:
        case 18:
        case 19: value = d.attribute[attribute - 17], size = 1; break;
        case 24: value = Address(reinterpret_cast<void*>(&PrvHALDisplayUpdateCallback)); break;
        case 25: value = 0x808B; break;
        case 27: value = gKez.displayAttribute27, size = 1; break;
        case 28: value = d.depth == 16 ? 2 : d.depth == 8 ? 0 : 3, size = 1; break;
        case 29: value = gKez.displayDensity; break;
        case 30: value = 0x10000; break;
        case 31:
        case 37: {
            if (gKez.displayDensity != 72 && gKez.displayDensity != 108 && gKez.displayDensity != 144) return 0xFFFF;
            static const uint32_t toDensity[] = {0x10000, 0x18000, 0x20000};
            static const uint32_t toStandard[] = {0x10000, 43691, 32768};
            int i = gKez.displayDensity == 72 ? 0 : gKez.displayDensity == 108 ? 1 : 2;
            value = attribute == 31 ? toStandard[i] : toDensity[i];
            break;
        }
        case 32: {
            if (!notSquare) return 0xFFFF;
            int16_t rect[4] = {0, static_cast<int16_t>(d.width), static_cast<int16_t>(d.width),
                               static_cast<int16_t>(d.height - d.width)};
            if (out) std::memcpy(out, rect, sizeof rect);
            return 0;
        }
        case 33:
        case 34:
            if (gKez.config.inputAreaFlag != 0 || !notSquare) return 0xFFFF;
            value = gKez.displayInputAreaBitmaps[attribute - 33];
            break;
        default:
            KEZ_CALL(HALTrace, 0xFF00, "HALDisplayGetAttributes(): Unknown attribute: %hu", attribute);
            return 0xFFFF;
    }
    if (out) std::memcpy(out, &value, size);  // little-endian: the low bytes
    return 0;
}
KEZ_SLOT(HALDisplayGetAttributes, HALDisplayGetAttributes)

uint16_t HALDisplaySetAttributes(uint16_t attribute, uint32_t value) {
    Display& d = gDisplay;
    switch (attribute) {
        case 10: {
            // Only a supported depth: 1 to 16 with its bit in the mask.
            if (value == 0 || value > 16 || !(gKez.displayDepthMask & (1u << (value - 1)))) return 0xFFFF;
            Locked lock(DisplayMutex());
            ReleaseHostImage();
            d.depth = static_cast<uint8_t>(value);
            d.rowBytes = RowBytes(value, d.width);
            PrvInitializeGdkBitmap();
            return 0;
        }
        case 27:
            gKez.displayAttribute27 = static_cast<uint8_t>(value);
            return 0;
        case 33:
        case 34:
            if (gKez.config.inputAreaFlag != 0 || d.width == d.height) return 0xFFFF;
            gKez.displayInputAreaBitmaps[attribute - 33] = value;
            return 0;
        default:
            return 0xFFFF;
    }
}
KEZ_SLOT(HALDisplaySetAttributes, HALDisplaySetAttributes)

// Entries of 4 bytes: index, red, green, blue. Start 0xFFFF: each entry names its own colour.
// Start and count are kept within the 256-entry colour map.
uint16_t HALDisplayGetPalette(uint16_t start, uint16_t count, uint8_t* entries) {
    if (gDisplay.depth > 8) return 1;
    if (!entries) return 0xFFFF;
    Locked lock(DisplayMutex());
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t colour;
        if (start != 0xFFFF) {
            if (start + i > 255) break;
            colour = start + i;
            entries[i * 4] = static_cast<uint8_t>(colour);
        } else {
            colour = entries[i * 4];
        }
        uint32_t rgb = gDisplay.colourMap.colors[colour];
        entries[i * 4 + 1] = static_cast<uint8_t>(rgb >> 16);
        entries[i * 4 + 2] = static_cast<uint8_t>(rgb >> 8);
        entries[i * 4 + 3] = static_cast<uint8_t>(rgb);
    }
    return 0;
}
KEZ_SLOT(HALDisplayGetPalette, HALDisplayGetPalette)

uint16_t HALDisplaySetPalette(uint16_t start, uint16_t count, const uint8_t* entries) {
    if (gDisplay.depth > 8) return 0;
    if (!entries) return 0xFFFF;
    {
        Locked lock(DisplayMutex());
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t colour = start != 0xFFFF ? start + i : entries[i * 4];
            if (colour > 255) break;
            gDisplay.colourMap.colors[colour] = (uint32_t{entries[i * 4 + 1]} << 16) |
                                                (uint32_t{entries[i * 4 + 2]} << 8) | entries[i * 4 + 3];
        }
    }
    MergeDirty(0, 0, static_cast<int16_t>(gDisplay.width), static_cast<int16_t>(gDisplay.height));
    return 0;
}
KEZ_SLOT(HALDisplaySetPalette, HALDisplaySetPalette)

// The screen manager's record keeps the lock count (u16) after its colour table; see
// ScreenManagerLockCount in HALDisplay.h.
void* HALDisplayLock(void* screenManager, uint8_t* wasLocked) {
    Locked lock(DisplayMutex());
    uint16_t* count = ScreenManagerLockCount(screenManager);
    if (*count == 0) {
        gDisplay.displayed = gDisplay.frameBuffer + kFrameSize;
        std::memcpy(gDisplay.displayed, gDisplay.visible, kFrameSize);
        if (wasLocked) *wasLocked = 0;
    } else if (wasLocked) {
        *wasLocked = 1;
    }
    ++*count;
    return gDisplay.visible;
}
KEZ_SLOT(HALDisplayLock, HALDisplayLock)

uint16_t HALDisplayUnlock(void* screenManager) {
    Locked lock(DisplayMutex());
    uint16_t* count = ScreenManagerLockCount(screenManager);
    if (*count == 1) gDisplay.displayed = gDisplay.visible;
    if (*count > 0) --*count;
    return 0;
}
KEZ_SLOT(HALDisplayUnlock, HALDisplayUnlock)

// The default 256-colour palette (RGB565) of depth 8: a 6 x 6 x 6 cube, then fixed greys and
// colours, then black.
uint16_t DefaultColour(int i) {
    static const uint16_t kL5[] = {31, 25, 19, 12, 6, 0};
    static const uint16_t kL6[] = {63, 51, 38, 25, 12, 0};
    static const uint16_t kFixed[] = {0x1082, 0x2104, 0x4228, 0x52AA, 0x73AE, 0x8C51, 0xAD55, 0xBDD7,
                                      0xDEFB, 0xEF7D, 0xC618, 0x8000, 0x8010, 0x0400, 0x0410};
    if (i < 215) {
        int half = i / 108;
        uint16_t red = kL5[(i % 108) / 18], blue = kL5[3 * half + (i % 18) / 6], green = kL6[i % 6];
        return static_cast<uint16_t>((red << 11) | (green << 5) | blue);
    }
    return i < 230 ? kFixed[i - 215] : 0;
}

// Finds the colour table, the bits and the compression of an OS bitmap of any version (whose
// first 12 bytes are laid out as the drawing bitmap's), and describes it as a version-3 drawing
// bitmap.
HALBitmap DescribeBitmap(const uint8_t* start) {
    HALBitmap header{};
    std::memcpy(&header, start, 12);
    HALBitmap source{};
    source.width = header.width;
    source.height = header.height;
    source.rowBytes = header.rowBytes;
    source.flags = header.flags;
    source.pixelSize = header.pixelSize;
    source.version = header.version;
    source.headerSize = 36;
    source.density = static_cast<uint16_t>(header.width * 72 / 160);
    uint8_t version = header.version & 0x7F;
    auto storedPointer = [](const uint8_t* at) {
        void* p;
        std::memcpy(&p, at, sizeof p);
        return static_cast<uint8_t*>(p);
    };
    uint32_t tableSize = 0;
    const uint8_t* table = nullptr;
    if (header.flags & kBitmapHasColorTable) {
        table = version >= 3 ? start + header.headerSize : start + 16;
        if (version >= 3 && (header.flags & kBitmapIndirectColorTable)) table = storedPointer(table);
        uint16_t count;
        std::memcpy(&count, table, sizeof count);
        tableSize = 4u * count + 4;
    }
    source.colorTable = reinterpret_cast<HALColorTable*>(const_cast<uint8_t*>(table));
    const uint8_t* bits;
    if (version >= 3)
        bits = start + header.headerSize + ((header.flags & kBitmapIndirectColorTable) ? 4 : tableSize);
    else
        bits = start + 16 + tableSize + ((header.flags & kBitmapHasTransparency) ? 8 : 0);
    if (header.flags & kBitmapIndirect) bits = storedPointer(bits);
    if (header.flags & kBitmapCompressed) {
        // The bits begin with the compressed size, a u32 from version 3 on and a u16 before.
        source.compressionType = version > 1 ? start[13] : 0;
        if (version >= 3) {
            std::memcpy(&source.compressedSize, bits, 4);
            source.headerSize = 40;
            bits += 4;
        } else {
            uint16_t size;
            std::memcpy(&size, bits, 2);
            source.compressedSize = size;
            source.headerSize = 38;
            bits += 2;
        }
    }
    source.bits = const_cast<uint8_t*>(bits);
    return source;
}

uint16_t HALScreenInit(uint16_t x, uint16_t y, const void* bitmap) {
    uint32_t depth = gKez.config.screenDepth;
    KEZ_CALL(HALDisplaySetAttributes, 10, depth);
    if (depth < 8) return 0;
    if (depth == 8) {
        uint8_t entries[256 * 4];
        for (int i = 0; i < 256; ++i) {
            uint16_t c = DefaultColour(i);
            uint32_t r5 = c >> 11, g6 = (c >> 5) & 63, b5 = c & 31;
            entries[i * 4] = static_cast<uint8_t>(i);
            entries[i * 4 + 1] = static_cast<uint8_t>((r5 << 3) | (r5 & 7));
            entries[i * 4 + 2] = static_cast<uint8_t>((g6 << 2) | (g6 & 3));
            entries[i * 4 + 3] = static_cast<uint8_t>((b5 << 3) | (b5 & 7));
        }
        KEZ_CALL(HALDisplaySetPalette, 0, 256, entries);
    }
    if (!bitmap) return 0;

    // The screen as the destination of the drawing entries, the bitmap as their source.
    HALBitmap source = DescribeBitmap(static_cast<const uint8_t*>(bitmap));
    HALBitmap screen{};
    {
        Locked lock(DisplayMutex());
        const Display& d = gDisplay;
        screen.width = d.width;
        screen.height = d.height;
        screen.rowBytes = d.rowBytes;
        screen.flags = kBitmapIsScreen | kBitmapIndirect;
        screen.pixelSize = d.depth;
        screen.version = 0x83;
        screen.headerSize = 36;
        screen.pixelFormat = d.depth == 16 ? 2 : d.depth == 8 ? 0 : 3;
        screen.density = static_cast<uint16_t>(gKez.displayDensity);
        screen.bits = d.displayed;
    }
    if (source.density != screen.density) return 0;
    HALDrawAttributes attributes{};
    HALDrawState state{{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(screen.width),
                        static_cast<int16_t>(screen.height)},
                       &attributes, &screen};
    if (source.width < screen.height) {
        HALRect erase = state.clip;
        gOwn.Call<HALDrawRectangleProc>(kezslot::HALDrawRectangle, &state, &erase, uint16_t{0}, uint16_t{0});
    }
    HALRect target{static_cast<int16_t>(x), static_cast<int16_t>(y),
                   static_cast<int16_t>(std::min<int32_t>(source.width, int32_t{screen.width} - x)),
                   static_cast<int16_t>(std::min<int32_t>(source.height, int32_t{screen.height} - y))};
    gOwn.Call<HALDrawBitmapProc>(kezslot::HALDrawBitmap, &state, &source, &target, static_cast<int16_t>(x),
                                 static_cast<int16_t>(y));
    Locked lock(DirtyLock());
    gDisplay.dirty = {0, 0, static_cast<int16_t>(source.width), static_cast<int16_t>(source.height)};
    return 0;
}
KEZ_SLOT(HALScreenInit, HALScreenInit)

uint16_t HALDisplayInitialize() {
    // Coordinates are i16, and the screen must fit one frame at the deepest depth.
    const KezBootConfig& c = gKez.config;
    if (c.screenWidth == 0 || c.screenHeight == 0 || c.screenWidth > 32767 || c.screenHeight > 32767 ||
        c.windowWidth > 32767 || c.windowHeight > 32767 ||
        uint64_t{RowBytes(16, c.screenWidth)} * c.screenHeight > kFrameSize) {
        KEZ_CALL(HALTrace, 0xFF00, "HALDisplayInitialize(): a %lux%lu screen does not fit the frame buffer",
                 static_cast<unsigned long>(c.screenWidth), static_cast<unsigned long>(c.screenHeight));
        return 0xFFFF;
    }
    auto* buffer = static_cast<uint8_t*>(std::calloc(kFrameBufferSize, 1));
    if (!buffer) return 0xFFFF;
    Display& d = gDisplay;
    d.frameBuffer = d.visible = d.displayed = d.bitmapBase = buffer;
    d.width = static_cast<uint16_t>(gKez.config.screenWidth);
    d.height = static_cast<uint16_t>(gKez.config.screenHeight);
    d.depth = 1;
    d.attribute[0] = 0;
    d.attribute[2] = 255;
    d.rowBytes = RowBytes(1, d.width);
    gKez.displayDepthMask = kDepthMask;
    gKez.displayDensity = d.width == 240 ? 108 : d.width == 320 ? 144 : 72;
    d.dirty = d.flush = Rect{};
    d.exit = false;
    d.painterCreated = d.painterRunning = d.painterStarted = d.overlay = false;
    PrvInitializeGdkBitmap();
    return 0;
}
KEZ_SLOT(HALDisplayInitialize, HALDisplayInitialize)

uint16_t HALDisplayDispose() {
    Display& d = gDisplay;
    d.exit = true;
    PrvHALDisplayOnExposeEvent(0, 0, static_cast<int16_t>(FrameWidth()), static_cast<int16_t>(FrameHeight()));
    if (d.painterCreated) pthread_join(d.painter, nullptr);
    d.painterCreated = false;
    ReleaseHostImage();
    {
        Locked lock(DisplayMutex());
        std::free(d.frameBuffer);
        d.frameBuffer = d.visible = d.displayed = d.bitmapBase = nullptr;
    }
    PrvHALErrDisplaySetMainWindow(nullptr);
    bool objects = false;
    for (void* o : d.objects) objects |= o != nullptr;
    if (objects) {
        gdk_threads_enter();
        for (void*& o : d.objects) {
            if (o) g_object_unref(o);
            o = nullptr;
        }
        gdk_threads_leave();
    }
    return 0;
}
KEZ_SLOT(HALDisplayDispose, HALDisplayDispose)

uint16_t PrvHALDisplayPainterStart(void** record) {
    Display& d = gDisplay;
    if (!record || d.painterCreated) return 0xFFFF;
    gdk_threads_enter();
    for (int i : {0, 1, 2, 13})
        if (record[i]) d.objects[i] = g_object_ref(record[i]);
    if (record[3])
        for (int i = 3; i <= 12; ++i)
            if (record[i]) d.objects[i] = g_object_ref(record[i]);
    gdk_threads_leave();
    PrvHALErrDisplaySetMainWindow(Window());
    Locked lock(DirtyLock());
    d.painterStarted = false;
    if (pthread_create(&d.painter, nullptr, GdkDisplayPainterRoutine, nullptr) != 0) return 0xFFFF;
    d.painterCreated = true;
    while (!d.painterStarted) pthread_cond_wait(WakeCondition(), DirtyLock());
    return 0;
}
KEZ_SLOT(HALDisplayPainterStart, PrvHALDisplayPainterStart)

void PrvHALDisplaySetStartGUICallback(void (*callback)()) { gDisplay.startGUI = callback; }
KEZ_SLOT(HALDisplaySetStartGUICallback, PrvHALDisplaySetStartGUICallback)

uint16_t PrvHALDisplayHideWindow() {
    if (!Window()) return 0;
    gdk_threads_enter();
    gtk_widget_hide(Window());
    gdk_window_process_all_updates();
    gdk_threads_leave();
    return 0;
}
KEZ_SLOT(HALDisplayHideWindow, PrvHALDisplayHideWindow)

uint16_t HALDisplayShowWindow() {
    if (!Window()) {
        if (gDisplay.startGUI) gDisplay.startGUI();
        return 0;
    }
    gdk_threads_enter();
    gtk_widget_show(Window());
    gdk_window_process_all_updates();
    gdk_threads_leave();
    return 0;
}
KEZ_SLOT(HALDisplayShowWindow, HALDisplayShowWindow)

void HALDisplaySetExtentState(uint16_t state) { gDisplay.extentState = state; }
KEZ_SLOT(HALDisplaySetExtentState, HALDisplaySetExtentState)

// A flush never waits for the painter or the window: it hands the gathered area over and wakes
// the painter. Within 40 ms of the last flush (unless forced) it only gathers.
uint16_t HALDisplayAddDirtyRect(const int16_t* rect, uint8_t force) {
    Display& d = gDisplay;
    uint32_t now = KEZ_CALL(HALTimeGetTicks);
    {
        Locked lock(DirtyLock());
        Rect& f = d.flush;
        auto clamp = [](int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)); };
        if (rect) {
            f.left = std::min(f.left, rect[0]);
            f.top = std::min(f.top, rect[1]);
            f.right = std::max(f.right, clamp(int32_t{rect[0]} + rect[2]));
            f.bottom = std::max(f.bottom, clamp(int32_t{rect[1]} + rect[3]));
        } else {
            f = {0, 0, static_cast<int16_t>(d.width), static_cast<int16_t>(d.height)};
        }
        if (!force && now - d.lastFlush < 40) return 0;
        if (!HandOverFlushRect(now)) return 0;
    }
    Locked lock(PaintLock());
    d.paintRequested = true;
    pthread_cond_signal(PaintCondition());
    return 0;
}
KEZ_SLOT(HALDisplayAddDirtyRect, HALDisplayAddDirtyRect)

}  // namespace

// The screen manager's record holds its colour table with room for all 256 entries, so the fields
// behind it stay where they are when the depth (and so the entry count) changes: the dirty
// rectangle at 1068 and the update-lock depth at 1096.
constexpr size_t kScreenMgrDirtyRect = 28 + 4 * 256 + 16;
constexpr size_t kScreenMgrLockDepth = kScreenMgrDirtyRect + 8 + 4 + 16;
static_assert(kScreenMgrDirtyRect == 1068 && kScreenMgrLockDepth == 1096);

HALBitmap PrvHALDisplayDescribeBitmap(const void* bitmap) {
    auto* start = static_cast<const uint8_t*>(bitmap);
    HALBitmap described = DescribeBitmap(start);
    uint16_t density = 72;
    if ((start[9] & 0x7F) >= 3) std::memcpy(&density, start + 14, 2);
    described.density = density;
    return described;
}

void* HALDisplayObject(int index) { return index >= 0 && index < 14 ? gDisplay.objects[index] : nullptr; }

uint16_t* ScreenManagerLockCount(void* record) {
    return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(record) + kScreenMgrLockDepth);
}

void PrvHALDisplayUpdateCallback(void* screenManager) {
    int16_t rect[4];
    std::memcpy(rect, static_cast<uint8_t*>(screenManager) + kScreenMgrDirtyRect, sizeof rect);
    PrvHALDisplayAddDirtyRect(rect[0], rect[1], rect[2], rect[3]);
}

void PrvHALDisplayAddDirtyRect(int16_t left, int16_t top, int16_t right, int16_t bottom) {
    MergeDirty(left, top, right, bottom);
}

uint16_t PrvHALDisplayResIDForDensity(uint16_t id) {
    if (id == 0 || id == 0xFFFF) return id;
    switch (gKez.displayDensity) {
        case 72: return id;
        case 108: return static_cast<uint16_t>(id + 1000);
        case 144: return static_cast<uint16_t>(id + 11000);
        default: return 0;
    }
}

uint8_t* HALDisplayHostImage() { return gDisplay.hostImage; }
uint32_t HALDisplayHostDepth() { return gDisplay.hostDepth; }
const uint32_t* HALDisplayColourMap() { return gDisplay.colourMap.colors; }
bool HALDisplayOverlayShown() { return gDisplay.overlay; }
bool HALDisplayPainterRunning() { return gDisplay.painterRunning; }
void PrvHALDisplayResetDirtyRect() {
    Locked lock(DirtyLock());
    gDisplay.dirty = Rect{};
}
void HALDisplayDirtyRect(int16_t out[4]) {
    Locked lock(DirtyLock());
    out[0] = gDisplay.dirty.left;
    out[1] = gDisplay.dirty.top;
    out[2] = gDisplay.dirty.right;
    out[3] = gDisplay.dirty.bottom;
}

}  // namespace kez

using namespace kez;

extern "C" {

VANTOR_EXPORT void PrvHALDisplayOnExposeEvent(int16_t left, int16_t top, int16_t right, int16_t bottom) {
    // The area is in window coordinates: a scaled window shows screen pixel v x 2 / 3 (or
    // v x 4 / 3) at window pixel v.
    if (Scaling()) {
        int32_t numerator = Enlarging() ? 2 : 4;
        auto toScreen = [numerator](int32_t v) { return static_cast<int16_t>(v * numerator / 3); };
        int16_t screenRight = right > left ? static_cast<int16_t>(toScreen(right - 1) + 1) : toScreen(right);
        int16_t screenBottom = bottom > top ? static_cast<int16_t>(toScreen(bottom - 1) + 1) : toScreen(bottom);
        left = toScreen(left);
        top = toScreen(top);
        right = screenRight;
        bottom = screenBottom;
    }
    Locked lock(DirtyLock());
    MergeDirty(left, top, right, bottom);
    pthread_cond_broadcast(WakeCondition());
}

// The host program's calls of these go through Kez's own table.
VANTOR_EXPORT uint16_t HALDisplayHideWindow() { return KEZ_CALL(HALDisplayHideWindow); }
VANTOR_EXPORT uint16_t HALDisplayPainterStart(void** record) { return KEZ_CALL(HALDisplayPainterStart, record); }
VANTOR_EXPORT void HALDisplaySetStartGUICallback(void (*callback)()) {
    KEZ_CALL(HALDisplaySetStartGUICallback, callback);
}

}  // extern "C"
