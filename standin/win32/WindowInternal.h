// The records behind window and menu handles, shared by the window manager and its backends.
#pragma once

#include <string>
#include <vector>

#include "standin/win32/WindowManager.h"

namespace win32 {

// Ratios of split panes are held to this range.
constexpr double kSplitRatioMax = 0.9;

// One undoable change of a text control: at `pos`, `removed` was replaced by `inserted`.
struct TextEdit {
    size_t pos;
    std::string removed;
    std::string inserted;
    bool typing;  // typed characters: the next typed one at its end joins it
};

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
    std::string fontFace;        // a text control's font (WM_SETFONT); empty: the default
    int fontPixels = 0;
    std::vector<TextEdit> undo;  // a text control's changes, the latest last
    std::vector<TextEdit> redo;  // changes undone, the latest undone last
    size_t undoLimit = 100;
    int markMargin = 0;          // a text control's marker column
    std::vector<TextMark> marks;
    HWND splitBottom = nullptr;  // the upper control of split panes: the lower one
    HWND splitTop = nullptr;     // the lower control of split panes: the upper one
    double splitRatio = 0;
    DWORD splitColor = 0;
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
