// Debug output, debug breaks, beeps, cursors and the open-file dialog.
//
// Headless backend: debug output goes to stderr and to a log that tests read; the open-file dialog answers what a test
// scripted (cancel when nothing is scripted; with the GTK backend and nothing scripted, the user picks the file in a
// GTK file chooser); cursors and beeps are recorded.
#pragma once

#include <string>
#include <vector>

#include "standin/win32/Win32Types.h"

namespace win32 {

void OutputDebugStringA(LPCSTR text);
// Headless: writes "DebugBreak\n" to the debug output instead of stopping the process.
void DebugBreak();

constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
BOOL MessageBeep(UINT type);

// The two cursors the programs use, as resource ids.
inline LPCSTR const IDC_ARROW = reinterpret_cast<LPCSTR>(32512);
inline LPCSTR const IDC_WAIT = reinterpret_cast<LPCSTR>(32514);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);

constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    LPCSTR lpstrFilter;  // pairs of zero-terminated texts, ended by an empty one
    LPSTR lpstrFile;     // in/out: the chosen path
    DWORD nMaxFile;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;  // out: offset of the file name within lpstrFile
};
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);

// Test access to the headless backend.
namespace headless {
std::string DebugOutput();  // everything written since the last clear
void ClearDebugOutput();
int BeepCount();
HCURSOR CurrentCursor();
// The next GetOpenFileNameA answers with this path (an empty path answers cancel).
void ScriptOpenFile(const std::string& path);
// The initial directory, title and filter of the last open-file dialog shown.
struct OpenFileRecord {
    std::string initialDir;
    std::string title;
    std::string filter;  // the pairs joined by '|'
};
OpenFileRecord LastOpenFile();
}  // namespace headless

}  // namespace win32
