// Packets a device sends unasked: each input is a list of records {u8 socket (0 or 1, low bit),
// u16 big-endian body size, body}, framed as serial link packets and fed to the debugger's idle
// step through an in-memory link.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/tests/support/DevSim.h"
#include "standin/win32/WindowManager.h"

using namespace quillwatch;

namespace {

win32::HWND NewEdit() {
    return win32::CreateWindowExA(0, win32::RICHEDIT_CLASSA, "", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                  nullptr);
}

DbgContextType* Context() {
    static DbgContextType* ctx = [] {
        win32::HWND debugger = NewEdit(), console = NewEdit(), registers = NewEdit();
        HostSetConsole(console);
        DbgContextType* c = DebuggerInit(debugger, console, 0, registers);
        test::UseMemoryLink();
        return c;
    }();
    return ctx;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DbgContextType* ctx = Context();
    test::MemoryLink& link = test::TheMemoryLink();
    size_t pos = 0;
    for (int packets = 0; pos + 3 <= size && packets < 8; ++packets) {
        uint8_t socket = data[pos] & 1;
        size_t length = (size_t{data[pos + 1]} << 8) | data[pos + 2];
        pos += 3;
        if (length > size - pos) length = size - pos;
        std::vector<uint8_t> body(data + pos, data + pos + length);
        pos += length;
        std::vector<uint8_t> wire = test::FramePacket(socket, socket, 0, body);
        link.incoming.insert(link.incoming.end(), wire.begin(), wire.end());
    }
    for (int i = 0; i < 10 && !link.incoming.empty(); ++i) DbgIdleProcess();
    link.incoming.clear();
    link.sent.clear();
    ctx->attached = 0;
    for (win32::HWND w : {gDbgWindows.debugger, gDbgWindows.console, gDbgWindows.registers}) {
        win32::SetWindowTextA(w, "");
    }
    return 0;
}
