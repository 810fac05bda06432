// Windows, the message queue and timers of the window thread.
//
// Windows are made from registered classes and receive messages through their window procedure.
// The queue belongs to the window thread (other threads may post into it); PeekMessageA also
// produces WM_TIMER for due timers when nothing else is queued, as Win32 does. The built-in class
// "RichEdit20A" is a text control (text, selection, EM_REPLACESEL, EM_SETSEL, EM_GETSEL,
// WM_CLEAR, WM_GETTEXT, WM_SETTEXT).
//
// The backend in use is headless unless a window-system backend is installed (UseGtkBackend):
// headless, messages come only from PostMessageA and SendMessageA, so tests type keys by posting
// WM_KEYDOWN/WM_CHAR. The GTK backend shows the windows and feeds the same queue: menu choices
// become WM_COMMAND, keys WM_KEYDOWN (with WM_CHAR made by TranslateMessage), closing a top-level
// window WM_CLOSE.
//
// The built-in class "MDICLIENT" is the client area of a frame: its children are the frame's
// documents, one of them active (WM_MDIACTIVATE, WM_MDIGETACTIVE).
#pragma once

#include <string>
#include <vector>

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
constexpr char MDICLIENT_CLASSA[] = "MDICLIENT";
using LONG_PTR = intptr_t;
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_USERDATA = -21;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;

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

// The marker column of a text control: a left margin `marginPixels` wide, bounded by a light grey
// line at its right edge, holding marks level with lines of the text (lines outside the visible
// part get none). The backend redraws them as the text scrolls.
enum class TextMarkKind { RedDisc, GreenTriangle };  // a red disc x 4-16; a green triangle pointing right
struct TextMark {
    uint32_t line;  // 0-based
    TextMarkKind kind;
};
void SetTextMarks(HWND edit, int marginPixels, const std::vector<TextMark>& marks);
std::vector<TextMark> GetTextMarks(HWND edit);
int GetTextMarkMargin(HWND edit);

// Colours as 0x00BBGGRR.
using COLORREF = DWORD;
constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16);
}
// Two controls of one window shown one above the other, with a divider 5 pixels high between them
// that the mouse can drag: its top stands at `ratio` of the height (held to 0 .. 0.9), and it is
// filled with `color` between black edges. A drag changes the ratio; the colour may change at any
// time (the same call with the same controls).
void SetSplitPanes(HWND top, HWND bottom, double ratio, COLORREF color);
// The ratio and colour of the split panes that a control (either one) belongs to.
double GetSplitRatio(HWND control);
COLORREF GetSplitColor(HWND control);

HWND GetParent(HWND hwnd);
// GWLP_USERDATA: a value of the caller's; GWLP_WNDPROC: the window procedure (subclassing).
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
int GetClassNameA(HWND hwnd, LPSTR buffer, int size);
// Gives the keyboard focus to a window (the backend's widget); the window gets WM_SETFOCUS.
HWND SetFocus(HWND hwnd);

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

// Key state as of the last key message taken from the queue: the high bit is set while down.
short GetKeyState(int virtualKey);

// Menus: items are strings (their command id), pop-ups or separators. A chosen item sends
// WM_COMMAND (id) to the menu's window; WM_INITMENUPOPUP comes before a pop-up opens.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_SEPARATOR = 0x0800;
HMENU CreateMenu();
HMENU CreatePopupMenu();
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text);
BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
// The previous state (MF_GRAYED or MF_ENABLED), -1 when no item has the id.
int EnableMenuItem(HMENU menu, UINT id, UINT enable);
int CheckMenuItem(HMENU menu, UINT id, UINT check);
BOOL DestroyMenu(HMENU menu);
// Shows a pop-up at the pointer; the chosen item's WM_COMMAND goes to the window. Headless: nothing
// is chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND hwnd, const void* rect);

// Accelerator tables: a key with its modifiers becomes a WM_COMMAND.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;
struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count);
BOOL DestroyAcceleratorTable(HACCEL table);
// When the message is a key press that the table holds, sends WM_COMMAND (the command, 1 in the
// high word) to the window and returns TRUE.
int TranslateAcceleratorA(HWND hwnd, HACCEL table, MSG* msg);

struct FINDREPLACEA;
struct CHOOSEFONTA;
struct OPENFILENAMEA;
struct LISTDIALOGA;

// A window-system backend; none is headless.
struct WindowBackend {
    void (*created)(HWND hwnd);
    void (*destroyed)(HWND hwnd);
    void (*changed)(HWND hwnd);  // text, title or selection
    void (*menuSet)(HWND hwnd);
    void (*activated)(HWND client, HWND child);
    void (*focus)(HWND hwnd);
    void (*pump)();  // takes the window system's pending events
    BOOL (*trackPopup)(HMENU menu, HWND hwnd);
    HWND (*findText)(FINDREPLACEA* record);  // shows the find dialog (Dialogs.h)
    BOOL (*chooseFont)(CHOOSEFONTA* choose);  // the modal font chooser (Dialogs.h)
    // The modal open-file dialog (Debugging.h): TRUE with the chosen path.
    BOOL (*openFile)(const OPENFILENAMEA* ofn, std::string* path);
    int (*chooseFromList)(const LISTDIALOGA* dialog);  // the modal list dialog (Dialogs.h)
    void (*split)(HWND top);  // split panes made or recoloured
};
void SetWindowBackend(const WindowBackend* backend);
const WindowBackend* CurrentWindowBackend();
// Installs the GTK+ 2 backend when a display can be opened (and WIN32_HEADLESS is not 1).
bool UseGtkBackend();

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();

namespace headless {
// Sets the key state that GetKeyState reports (a test's Shift, Ctrl or Alt).
void SetKeyDown(int virtualKey, bool down);
}  // namespace headless

}  // namespace win32
