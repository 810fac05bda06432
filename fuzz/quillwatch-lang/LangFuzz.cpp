// Typed command lines: each input is split at line feeds and every line runs through
// DbgExecuteLine on one debugger context that is not attached to a device.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quillwatch/engine/lang/DbgContext.h"
#include "quillwatch/engine/debugger/DebuggerContext.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/lang/Lexer.h"
#include "standin/win32/WindowManager.h"

using namespace quillwatch;

namespace {

DbgContextType* Context() {
    static DbgContextType* ctx = [] {
        DbgInstallLanguageServices();
        auto* c = static_cast<DbgContextType*>(DbgAllocBuffer(sizeof(DbgContextType)));
        c->console = win32::CreateWindowExA(0, win32::RICHEDIT_CLASSA, "Debugger", 0, 0, 0, 100, 100, nullptr,
                                            nullptr, nullptr, nullptr);
        c->symbolsOn = 1;
        module_createTable(c);
        uint16_t id = kModuleDebugger;
        module_add(c, &id, "Nimbrel Debugger", 1);
        module_initModule(c, id);
        lex_defineVar(c, "x", kModuleUser, 1, nullptr);
        lex_defineAlias(c, "al", "x=x+1\n1000.a+x\nx \"s\"", kModuleUser, 1);
        return c;
    }();
    return ctx;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DbgContextType* ctx = Context();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int lines = 0; start <= input.size() && lines < 16; ++lines) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        std::string line = input.substr(start, end - start);  // a zero byte ends the line early
        // The device is never attached here: nothing may go out on the link.
        ctx->attached = 0;
        ctx->readMemHack = 0;
        DbgExecuteLine(ctx, line.c_str(), 0);
        start = end + 1;
    }
    win32::SetWindowTextA(ctx->console, "");
    return 0;
}
