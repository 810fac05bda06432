// Console output and heap blocks of the debugger engine.
#include "quillwatch/engine/lang/DbgContext.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillwatch/link/HostShims.h"

namespace quillwatch {

void DbgRegistersFromWire(const vantor::DbgRegistersType& wire, DbgRegisterBlock* regs) {
    for (int i = 0; i < 8; ++i) regs->d[i] = wire.d[i];
    for (int i = 0; i < 7; ++i) regs->a[i] = wire.a[i];
    regs->usp = wire.usp;
    regs->ssp = wire.ssp;
    regs->pc = wire.pc;
    regs->sr = wire.sr;
}

void DbgRegistersToWire(const DbgRegisterBlock& regs, vantor::DbgRegistersType* wire) {
    for (int i = 0; i < 8; ++i) wire->d[i] = regs.d[i];
    for (int i = 0; i < 7; ++i) wire->a[i] = regs.a[i];
    wire->usp = regs.usp;
    wire->ssp = regs.ssp;
    wire->pc = regs.pc;
    wire->sr = regs.sr;
}

void DbgPrint(DbgContextType* ctx, const char* text) {
    HostConsoleWrite(ctx->console, text);
}

void DbgPrintf(DbgContextType* ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(copy);
        DbgPrint(ctx, small);
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    DbgPrint(ctx, big.c_str());
}

void* DbgAllocBuffer(size_t size) {
    return std::calloc(1, size ? size : 1);
}

void DbgFreeBuffer(void* block) {
    std::free(block);
}

}  // namespace quillwatch
