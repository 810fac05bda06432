// The records behind window and menu handles, shared by the window manager and its backends.
#pragma once

#include <string>
#include <vector>

#include "standin/win32/WindowManager.h"

namespace win32 {

struct Win32Window {
    std::string className;
    WNDPROC proc = nullptr;
    HWND parent = nullptr;
    std::string text;
    // Selection of a text control, as character positions.
    size_t selStart = 0;
    size_t selEnd = 0;
    DWORD style = 0;
    LONG_PTR userData = 0;
    HMENU menu = nullptr;
    HWND activeChild = nullptr;  // of an MDI client
    unsigned textVersion = 0;    // bumped whenever text or selection changes
    void* backend = nullptr;     // the backend's widget
};

struct MenuItem {
    UINT flags;  // MF_*
    UINT_PTR id;
    HMENU popup;
    std::string text;
};

struct Win32Menu {
    std::vector<MenuItem> items;
    void* backend = nullptr;
};

}  // namespace win32
