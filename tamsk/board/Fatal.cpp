// HostFatal: the one way the emulator ends on an unexpected condition.
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "standin/win32/MessageBox.h"
#include "tamsk/board/RunLoop.h"

namespace tamsk {

namespace {
FatalHandler g_handler;
}

void HostSetFatalHandler(FatalHandler handler) { g_handler = handler; }

void HostFatal(const char* format, ...) {
    char text[4096];  // the message box shows at most 4095 characters
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_handler) g_handler(text);
    win32::MessageBox(nullptr, text, "Unexpected condition", win32::MB_OK | win32::MB_ICONERROR);
    std::fflush(nullptr);
    // Other threads (bridges) may still run: leave at once, without running destructors under them.
    _exit(kFatalExitCode);
}

}  // namespace tamsk
