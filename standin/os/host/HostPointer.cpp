// kez-host's pointer pictures.
#include "standin/os/host/HostPointer.h"

#include <gtk/gtk.h>

#include <cstring>

namespace vantor {
namespace {

// 'X' black, '.' white, ' ' transparent: an arrow whose tip is the top-left pixel.
const char* const kArrow[] = {
    "X           ", "XX          ", "X.X         ", "X..X        ", "X...X       ",
    "X....X      ", "X.....X     ", "X......X    ", "X.......X   ", "X........X  ",
    "X.........X ", "X......XXXXX", "X...X..X    ", "X..XX..X    ", "X.X  X..X   ",
    "XX   X..X   ", "X     X..X  ", "      X..X  ", "       XX   ",
};
constexpr int kWidth = 12;
constexpr int kHeight = sizeof kArrow / sizeof kArrow[0];

GdkPixbuf* Arrow() {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kWidth, kHeight);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            guchar* p = pixels + y * stride + x * 4;
            char c = kArrow[y][x];
            guchar level = c == '.' ? 255 : 0;
            p[0] = p[1] = p[2] = level;
            p[3] = c == ' ' ? 0 : 255;
        }
    return pixbuf;
}

}  // namespace

HostPointerPictures MakeHostPointerPictures() {
    HostPointerPictures pictures{};
    GdkPixbuf* arrow = Arrow();
    // The pointer is drawn left of its position at the window's right edge and above it at the
    // bottom edge: those pictures are mirrored so that the tip stays on the position.
    pictures.pixbufs[0] = arrow;
    pictures.pixbufs[1] = gdk_pixbuf_flip(arrow, TRUE);
    pictures.pixbufs[2] = gdk_pixbuf_flip(arrow, FALSE);
    pictures.pixbufs[3] = gdk_pixbuf_flip(pictures.pixbufs[1], FALSE);
    for (int i = 0; i < 4; ++i) {
        GdkPixmap* pixmap = nullptr;
        gdk_pixbuf_render_pixmap_and_mask(pictures.pixbufs[i], &pixmap, &pictures.masks[i], 128);
        if (pixmap) g_object_unref(pixmap);
    }
    return pictures;
}

}  // namespace vantor
