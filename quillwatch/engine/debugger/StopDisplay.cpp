// The stop display: the register window.
#include "quillwatch/engine/debugger/StopDisplay.h"

#include <cstdio>
#include <string>

#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {

// T, S, X, N, Z, V, C: upper case when set, lower case when clear.
std::string PrvFlagLetters(uint16_t sr) {
    static constexpr struct {
        uint16_t mask;
        char letter;
    } flags[] = {{0x8000, 'T'}, {0x2000, 'S'}, {0x10, 'X'}, {8, 'N'}, {4, 'Z'}, {2, 'V'}, {1, 'C'}};
    std::string text;
    for (const auto& f : flags) text += (sr & f.mask) ? f.letter : static_cast<char>(f.letter - 'A' + 'a');
    return text;
}

}  // namespace

void CmdRefreshRegisterWindow(DbgContextType* ctx) {
    HWND window = gDbgWindows.registers;
    if (!window) return;
    std::string text;
    if (!ctx->attached) {
        text = "Not Attached";
    } else {
        char line[32];
        const DbgRegisterBlock& r = ctx->regs;
        for (int i = 0; i < 8; ++i) {
            std::snprintf(line, sizeof line, "D%d: %08X\n", i, r.d[i]);
            text += line;
        }
        for (int i = 0; i < 7; ++i) {
            std::snprintf(line, sizeof line, "A%d: %08X\n", i, r.a[i]);
            text += line;
        }
        std::snprintf(line, sizeof line, "A7: %08X\n", r.ssp);
        text += line;
        text += "\nSR: " + PrvFlagLetters(r.sr);
        std::snprintf(line, sizeof line, " %d", (r.sr >> 8) & 7);
        text += line;
    }
    HostEditDeleteRange(window, 0, -1);
    HostConsoleWrite(window, text.c_str());
}

}  // namespace quillwatch
