// The virtual mouse's pointer for kez-host's device window: an arrow in four versions (normal, for
// the right edge, for the bottom edge, for both), each as a picture and a shape mask.
#pragma once

typedef struct _GdkPixbuf GdkPixbuf;
typedef struct _GdkDrawable GdkBitmap;

namespace vantor {

struct HostPointerPictures {
    GdkPixbuf* pixbufs[4];
    GdkBitmap* masks[4];
};

// Makes the pictures (GDK must be set up); the caller owns one reference to each.
HostPointerPictures MakeHostPointerPictures();

}  // namespace vantor
