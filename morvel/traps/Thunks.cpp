#include "morvel/traps/Thunks.h"

#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {

using trapglue::Addr;
using trapglue::Global;
namespace {

constexpr uint32_t kSaturated = 0xFFFFFFFFu;


NativeThunk* FindByFunction(EmulState* g, uint32_t function) {
    for (NativeThunk* t = g->thunks; t; t = t->next)
        if (t->function == function) return t;
    return nullptr;
}

NativeThunk* FindByAddress(EmulState* g, uint32_t address) {
    for (NativeThunk* t = g->thunks; t; t = t->next)
        if (Addr(t) + 4 == address) return t;
    return nullptr;
}

}  // namespace

uint32_t NativeThunkNew(EmulState* s, uint32_t function, bool withArgument, uint32_t argument) {
    std::lock_guard lock(SharedTablesLock());
    EmulState* g = Global(s);
    if (NativeThunk* t = FindByFunction(g, function)) {
        if (t->argument != argument) return 0;
        if (t->useCount != kSaturated) ++t->useCount;
        return Addr(t) + 4;
    }
    auto* t = static_cast<NativeThunk*>(vantor::sys::MemPtrNew(sizeof(NativeThunk)));
    if (!t) return 0;
    vantor::sys::MemPtrSetOwner(t, 0);
    t->next = g->thunks;
    t->trap[0] = 0x4E;
    t->trap[1] = 0x4F;
    t->trapWord[0] = 0x07;
    t->trapWord[1] = withArgument ? 0xFF : 0xFE;
    t->function = function;
    t->argument = argument;
    t->useCount = 1;
    g->thunks = t;
    return Addr(t) + 4;
}

void NativeThunkRelease(EmulState* s, uint32_t function) {
    std::lock_guard lock(SharedTablesLock());
    EmulState* g = Global(s);
    for (NativeThunk** link = &g->thunks; *link; link = &(*link)->next) {
        NativeThunk* t = *link;
        if (t->function != function) continue;
        if (t->useCount == kSaturated || --t->useCount > 0) return;
        *link = t->next;
        vantor::sys::MemChunkFree(t);
        return;
    }
}

uint32_t NativeThunkGetInfo(EmulState* s, uint32_t address, uint32_t* function, uint32_t* argument) {
    std::lock_guard lock(SharedTablesLock());
    NativeThunk* t = FindByAddress(Global(s), address);
    if (function) *function = t ? t->function : 0;
    if (argument) *argument = t ? t->argument : 0;
    return t && t->trapWord[1] == 0xFF ? 1 : 0;
}

void NativeThunkDispatch(EmulState* s, uint16_t trap) {
    // The trap word follows the TRAP #15 at record + 4, so the stored PC is record + 8. Only a
    // record of the list is trusted: a stray 0x07FE in 68K code must not name a native function.
    uint32_t function = 0, argument = 0;
    {
        std::lock_guard lock(SharedTablesLock());
        NativeThunk* t = FindByAddress(Global(s), s->PC - 4);
        if (!t || (trap & 1) != (t->trapWord[1] & 1)) return;
        function = t->function;
        argument = t->argument;
    }
    s->PC = Read68KUInt32(s->A[7], 0);
    s->A[7] += 4;
    if (trap == 0xA7FF)
        reinterpret_cast<ThunkFunctionWithArg>(static_cast<uintptr_t>(function))(s, argument);
    else
        reinterpret_cast<ThunkFunction>(static_cast<uintptr_t>(function))(s);
}

}  // namespace morvel
