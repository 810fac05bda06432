// Windows, the message queue and timers of the window thread.
//
// Windows are made from registered classes and receive messages through their window procedure.
// The queue belongs to the window thread (other threads may post into it); PeekMessageA also
// produces WM_TIMER for due timers when nothing else is queued, as Win32 does. The built-in class
// "RichEdit20A" is a text control (text, selection, EM_REPLACESEL, EM_SETSEL, EM_GETSEL,
// WM_CLEAR, WM_GETTEXT, WM_SETTEXT).
//
// The backend in use is headless: messages come only from PostMessageA and SendMessageA, so tests
// type keys by posting WM_KEYDOWN/WM_CHAR. A window-system backend feeds the same queue.
#pragma once

#include "standin/win32/Win32Types.h"

namespace win32 {

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    void* hIcon;
    HCURSOR hCursor;
    void* hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

constexpr char RICHEDIT_CLASSA[] = "RichEdit20A";

WORD RegisterClassA(const WNDCLASSA* wc);
// Creates a window of a registered class; position and size are kept but have no effect headless.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL UpdateWindow(HWND hwnd);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
int GetWindowTextLengthA(HWND hwnd);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int size);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove);
// Waits for a message; FALSE for WM_QUIT.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Posts WM_CHAR for a WM_KEYDOWN of a key that has a character (Esc, Enter, Tab, Backspace,
// letters, digits and blank).
BOOL TranslateMessage(const MSG* msg);
// Calls the window procedure (or the TIMERPROC of a WM_TIMER). An exception that escapes a window
// procedure ends that message's handling: it is reported through OutputDebugStringA and the loop
// goes on.
LRESULT DispatchMessageA(const MSG* msg);

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();

}  // namespace win32
