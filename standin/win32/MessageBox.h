// Message boxes. The headless backend (the default) writes the caption and text to standard error
// and answers IDOK; the graphical backend shows a modal GTK dialog.
#pragma once

#include "standin/win32/Win32Types.h"

namespace win32 {

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;

int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// Chooses the backend: graphical needs a display (GTK must initialise); returns the backend in use.
// WIN32_HEADLESS=1 in the environment keeps the headless backend whatever is asked.
bool MessageBoxSetGraphical(bool graphical);

}  // namespace win32
