// Basic types of the Win32 stand-in, shared by every piece of standin/win32.
#pragma once

#include <cstdint>

namespace win32 {

using BOOL = int;
using DWORD = uint32_t;
using UINT = unsigned;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Kernel objects (threads, events) are reached through handles; windows through window handles.
struct KernelObject;
using HANDLE = KernelObject*;
struct Win32Window;
using HWND = Win32Window*;

}  // namespace win32
