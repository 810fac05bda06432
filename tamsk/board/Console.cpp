#include "tamsk/board/Console.h"

#include <cstdio>

#include "standin/win32/ConsoleAlloc.h"
#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"

namespace tamsk {

namespace {
bool g_open;
// A guest string longer than this is cut: the text comes from guest memory and need not end.
constexpr uint32_t kMaxText = 1u << 20;
}  // namespace

void ConsoleSetup(int32_t code) {
    if ((code != kRunPowerOn && code != kRunPowerOnRestore) || !Opt.EnableConsole || g_open) return;
    win32::AllocConsole();
    win32::SetConsoleTitle("Console");
    g_open = true;
}

bool ConsoleEnabled() { return g_open; }

void ConsolePrint(const char* text) {
    if (g_open) std::fputs(text, stdout);
}

void ConsolePutByte(uint8_t byte) {
    if (g_open) std::fputc(byte, stdout);
}

uint32_t ConsoleService(uint32_t operation, uint32_t argument) {
    if (!g_open) return operation;
    if (operation == 4) {
        // Byte by byte through the translation: every byte's address is checked, and the text
        // ends at its terminator or where no memory lies.
        char piece[256];
        size_t n = 0;
        for (uint32_t i = 0; i < kMaxText; ++i) {
            const uintptr_t p = BoardCore.hostPointer(argument + i);
            const char c = p ? *reinterpret_cast<const char*>(p) : '\0';
            if (c == '\0') break;
            piece[n++] = c;
            if (n == sizeof piece) {
                std::fwrite(piece, 1, n, stdout);
                n = 0;
            }
        }
        std::fwrite(piece, 1, n, stdout);
        return operation;
    }
    if (operation == 7) {
        const int c = std::getchar();
        return c == EOF ? 0xFFFFFFFF : uint32_t(c);
    }
    return operation;
}

}  // namespace tamsk
