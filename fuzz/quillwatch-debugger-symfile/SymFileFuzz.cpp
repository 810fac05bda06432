// Symbol files: the bytes of a file through the loader; a loaded file then answers source lookups
// and is dumped, so that every table it kept is walked.
#include <cstddef>
#include <cstdint>

#include "quillwatch/engine/debugger/SymbolFiles.h"

using namespace quillwatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DbgContextType ctx{};  // no console: messages go nowhere
    if (SymFile* f = SymFileParse(&ctx, "fuzz.sym", data, size, 0x10000, 0x20000)) {
        f->next = nullptr;
        gSymFiles = f;
        f->modTime = 0;  // the path names no file: its time reads 0, so it stays loaded
        SymSource s;
        for (uint32_t a = 0x10000; a < 0x10040; a += 2) SymFindSrc(&ctx, a, &s);
        uint32_t address;
        SymFindAddrOfLine(&ctx, &address, 1, "main.c", nullptr);
        std::vector<SymLocal> rows;
        SymDrawLocalVars(&ctx, 0x10004, 0x3000, -1, &rows);
        SymDumpFiles(&ctx, true);
        SymFileRemoveAll(&ctx);
    }
    return 0;
}
