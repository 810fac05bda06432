// The Windows virtual key of a GDK key, shared by every window of the stand-in.
#pragma once

#include <glib.h>

namespace win32 {

// The virtual key of a GDK key (taken without modifiers), 0 when it has none of its own.
int VirtualKeyOfGdkKey(guint keyval);

}  // namespace win32
