// Basic types of the Win32 stand-in, shared by every piece of standin/win32.
#pragma once

#include <cstdint>

namespace win32 {

using BOOL = int;
using DWORD = uint32_t;
using UINT = unsigned;
// GLib defines TRUE and FALSE as macros with the same values; either may come first.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

// Kernel objects (threads, events) are reached through handles; windows through window handles.
struct KernelObject;
using HANDLE = KernelObject*;
struct Win32Window;
using HWND = Win32Window*;

// Window messages and the types that carry them.
using BYTE = uint8_t;
using WORD = uint16_t;
using LONG = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT_PTR = uintptr_t;
using LPCSTR = const char*;
using LPSTR = char*;
struct Win32Cursor;
using HCURSOR = Win32Cursor*;
struct Win32Instance;
using HINSTANCE = Win32Instance*;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_CLEAR = 0x0303;
constexpr UINT WM_USER = 0x0400;
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_REPLACESEL = 0x00C2;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
};

}  // namespace win32
