// The frame's documents: text windows (class "CmdWin": Debugger, Console, CPU Registers), the
// Source window (class "SrcWin") and the Remote UI window (class "RemoteUI").
#pragma once

#include "standin/win32/WindowManager.h"

namespace quillwatch {

struct DbgContextType;
using win32::HWND;
using win32::LONG_PTR;

// What a text window does with each executed line (with the window's context value).
using TextLineProc = void (*)(const char* line, LONG_PTR context);

void TextWindowsRegister();
HWND TextWindowCreate(HWND client, const char* title, TextLineProc proc, bool doubleClicks);
// Types the line at the end of a text window's control and presses Enter.
void TextWindowType(HWND edit, const char* line);
// The lines an execution of the control's selection (or of the caret's line) passes on.
void TextWindowSelectedLines(HWND edit, void (*each)(const char* line, void* data), void* data);

// The Source window; it shows where the device stopped, through the debugger's source hooks.
HWND SourceWindowCreate(HWND client, DbgContextType** context);
// The Remote UI window, opened or brought to the front.
HWND RemoteWindowOpen(HWND client, HWND existing);

}  // namespace quillwatch
