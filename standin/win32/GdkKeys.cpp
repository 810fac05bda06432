#include "standin/win32/GdkKeys.h"

#include <gdk/gdkkeysyms.h>

#include "standin/win32/PixelWindow.h"  // the virtual keys beyond Win32Types.h's

namespace win32 {

int VirtualKeyOfGdkKey(guint keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return 'A' + int(keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return 'A' + int(keyval - GDK_KEY_A);
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return '0' + int(keyval - GDK_KEY_0);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return int(VK_F1) + int(keyval - GDK_KEY_F1);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) return VK_NUMPAD0 + int(keyval - GDK_KEY_KP_0);
    switch (keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter: return VK_RETURN;
        case GDK_KEY_BackSpace: return VK_BACK;
        case GDK_KEY_Tab: return VK_TAB;
        case GDK_KEY_Escape: return VK_ESCAPE;
        case GDK_KEY_Delete: return VK_DELETE;
        case GDK_KEY_Left: return VK_LEFT;
        case GDK_KEY_Right: return VK_RIGHT;
        case GDK_KEY_Up: return VK_UP;
        case GDK_KEY_Down: return VK_DOWN;
        case GDK_KEY_Page_Up: return VK_PRIOR;
        case GDK_KEY_Page_Down: return VK_NEXT;
        case GDK_KEY_Home: return VK_HOME;
        case GDK_KEY_End: return VK_END;
        case GDK_KEY_space: return VK_SPACE;
        case GDK_KEY_semicolon:
        case GDK_KEY_colon: return 0xBA;  // the key of ";" (":" with Shift)
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R: return VK_SHIFT;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R: return VK_CONTROL;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R: return VK_MENU;
        case GDK_KEY_Num_Lock: return VK_NUMLOCK;
        case GDK_KEY_KP_Multiply: return VK_MULTIPLY;
        case GDK_KEY_KP_Decimal: return VK_DECIMAL;
        case GDK_KEY_KP_Delete: return VK_DELETE;
        // The keypad's digit keys with Num Lock off keep their virtual keys.
        case GDK_KEY_KP_Insert: return VK_NUMPAD0;
        case GDK_KEY_KP_End: return VK_NUMPAD0 + 1;
        case GDK_KEY_KP_Down: return VK_NUMPAD0 + 2;
        case GDK_KEY_KP_Page_Down: return VK_NUMPAD0 + 3;
        case GDK_KEY_KP_Left: return VK_NUMPAD0 + 4;
        case GDK_KEY_KP_Begin: return VK_NUMPAD0 + 5;
        case GDK_KEY_KP_Right: return VK_NUMPAD0 + 6;
        case GDK_KEY_KP_Home: return VK_NUMPAD0 + 7;
        case GDK_KEY_KP_Up: return VK_NUMPAD0 + 8;
        case GDK_KEY_KP_Page_Up: return VK_NUMPAD0 + 9;
        default: return 0;
    }
}

}  // namespace win32
