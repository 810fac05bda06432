// Libraries loaded by name at run time, on dlopen: a name ending in ".dll" is looked up as the
// same name ending in ".so", first in the folder given to SetDllDirectoryA, then beside the
// program, then where the dynamic loader looks.
#pragma once

#include "standin/win32/Win32Types.h"

namespace win32 {

struct Win32Module;
using HMODULE = Win32Module*;
using FARPROC = void (*)();

HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
// The first folder searched by LoadLibraryA; none restores the default search.
BOOL SetDllDirectoryA(LPCSTR path);

// Device-change notifications, sent to the windows a device library registered.
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;

}  // namespace win32

// Libraries loaded by LoadLibraryA post window messages to the program's queue through this
// entry point, which a program that loads such a library exports (link option
// -Wl,--export-dynamic-symbol=Win32StandinPostMessage); it is PostMessageA.
extern "C" int Win32StandinPostMessage(void* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam);
