// The process console: a console program's standard streams. Allocating a console keeps the
// process's standard output and input and makes both unbuffered, so that nothing printed is lost
// when the process ends at once.
#pragma once

#include <string>

#include "standin/win32/Win32Types.h"

namespace win32 {

BOOL AllocConsole();
BOOL SetConsoleTitle(const char* title);
// The title last set (empty before).
std::string GetConsoleTitleText();

}  // namespace win32
