// Runtime records: one per open direct call, stacked per task, each with its own native stack
// between two markers that are checked on every close.
#include <cstring>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "common/module/SystemSlots.h"
#include "morvel/directcall/DirectCall.h"

namespace morvel::directcall {
namespace {

constexpr const char* kSource = "LumetDirectCallARM";

inline uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* Ptr(uint32_t p) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(p));
}

// The task's innermost record. Kez's task-local key entries are empty in this build, so the
// chain is held in a thread-local word (an OS task is one host thread).
thread_local LumetRuntimeRecord* tCurrent = nullptr;

uint32_t* StackWord(const LumetRuntimeRecord* r, uint32_t offset) { return Ptr<uint32_t>(r->stackBlock + offset); }

Call68KProc gCall68K = nullptr;

}  // namespace

void LumetFatal(const char* source, uint16_t line, const char* message) {
    vantor::glue::SysCall<void(const char*, uint16_t, const char*)>(vantor::sysslot::ErrDisplayFileLineMsg, source,
                                                                      line, message);
}

uint32_t PrvLumetDirectCallInitARM() {
    LumetDirectCallTablesFill();
    auto* r = static_cast<LumetRuntimeRecord*>(vantor::sys::MemPtrNew(sizeof(LumetRuntimeRecord)));
    if (!r) {
        LumetFatal(kSource, 244, "PrvLumetDirectCallInitARM(): Out of memory");
        return 0;
    }
    std::memset(r, 0, sizeof *r);
    void* stack = vantor::sys::MemPtrNew(kStackBlockBytes);
    if (!stack) {
        LumetFatal(kSource, 247, "PrvLumetDirectCallInitARM(): Out of memory");
        vantor::sys::MemChunkFree(r);
        return 0;
    }
    r->stackBlock = Addr(stack);
    *StackWord(r, 0) = kBottomMarker;
    *StackWord(r, kStackBytes) = kTopMarker;
    r->nativeSP = r->stackBlock + kStackBytes;
    if (r->nativeSP % 8) {
        LumetFatal(kSource, 267, "PrvLumetDirectCallInitARM(): Stack must be 8 bytes aligned");
        vantor::sys::MemChunkFree(stack);
        vantor::sys::MemChunkFree(r);
        return 0;
    }
    r->kezTable = Addr(LumetDirectCallTable(Table::Kez));
    r->systemTable = Addr(LumetDirectCallTable(Table::System));
    r->uiTable = Addr(LumetDirectCallTable(Table::Ui));
    r->previous = Addr(tCurrent);
    if (tCurrent) r->r9Word = tCurrent->r9Word;
    tCurrent = r;
    return Addr(r) + 64;
}

void PrvLumetDirectCallCloseARM() {
    LumetRuntimeRecord* r = tCurrent;
    if (!r) {
        LumetFatal(kSource, 292, "PrvLumetDirectCallCloseARM(): Null R9 runtime struct");
        return;
    }
    tCurrent = Ptr<LumetRuntimeRecord>(r->previous);
    if (*StackWord(r, 0) != kBottomMarker)
        LumetFatal(kSource, 296, "PrvLumetDirectCallCloseARM(): Lumet stack overflow");
    else if (*StackWord(r, kStackBytes) != kTopMarker)
        LumetFatal(kSource, 298, "PrvLumetDirectCallCloseARM(): Lumet stack underflow");
    vantor::sys::MemChunkFree(Ptr<void>(r->stackBlock));
    vantor::sys::MemChunkFree(r);
}

extern "C" uint32_t LumetCurrentR9() { return tCurrent ? Addr(tCurrent) + 64 : 0; }

uint32_t LumetRunNative3(uint32_t entry, uint32_t a0, uint32_t a1, uint32_t a2) {
    const uint32_t r9 = PrvLumetDirectCallInitARM();
    if (!r9) return 0;
    const uint32_t result = LumetCallNative3(a0, a1, a2, entry, r9);
    PrvLumetDirectCallCloseARM();
    return result;
}

uint32_t LumetRunNative1(uint32_t entry, uint32_t a0) {
    const uint32_t r9 = PrvLumetDirectCallInitARM();
    if (!r9) return 0;
    const uint32_t result = LumetCallNative1(a0, entry, r9);
    PrvLumetDirectCallCloseARM();
    return result;
}

void LumetSetCall68K(Call68KProc proc) { gCall68K = proc; }

// The host side of the call-back shim: its four register arguments, on the host stack.
extern "C" uint32_t LumetCall68KHost(void* state, uint32_t t, const void* arguments, uint32_t sizeAndFlags) {
    return gCall68K ? gCall68K(state, t, arguments, sizeAndFlags) : 0;
}

// The stack-argument shim's host side: the target with its four register arguments and exactly the
// number of stack words its entry lists, copied from the native caller's stack.
extern "C" uint64_t LumetStackArgsCall(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, const EntryTarget* e,
                                       const uint32_t* s) {
    using W = uint32_t;
    const uintptr_t f = e->function;
    switch (e->stackWords) {
    case 1: return reinterpret_cast<uint64_t (*)(W, W, W, W, W)>(f)(a0, a1, a2, a3, s[0]);
    case 2: return reinterpret_cast<uint64_t (*)(W, W, W, W, W, W)>(f)(a0, a1, a2, a3, s[0], s[1]);
    case 3: return reinterpret_cast<uint64_t (*)(W, W, W, W, W, W, W)>(f)(a0, a1, a2, a3, s[0], s[1], s[2]);
    case 4:
        return reinterpret_cast<uint64_t (*)(W, W, W, W, W, W, W, W)>(f)(a0, a1, a2, a3, s[0], s[1], s[2], s[3]);
    case 5:
        return reinterpret_cast<uint64_t (*)(W, W, W, W, W, W, W, W, W)>(f)(a0, a1, a2, a3, s[0], s[1], s[2], s[3],
                                                                         s[4]);
    case 8:
        return reinterpret_cast<uint64_t (*)(W, W, W, W, W, W, W, W, W, W, W, W)>(f)(
            a0, a1, a2, a3, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
    case 9:
        return reinterpret_cast<uint64_t (*)(W, W, W, W, W, W, W, W, W, W, W, W, W)>(f)(
            a0, a1, a2, a3, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8]);
    default: return reinterpret_cast<uint64_t (*)(W, W, W, W)>(f)(a0, a1, a2, a3);
    }
}

#if !defined(__arm__)
// On this host, native code is host code: the trampolines open no stack of their own and call the
// entry as a host function. ARM code objects need the ARM build.
extern "C" uint32_t LumetCallNative3(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t entry, uint32_t) {
    return reinterpret_cast<uint32_t (*)(uint32_t, uint32_t, uint32_t)>(static_cast<uintptr_t>(entry))(a0, a1, a2);
}
extern "C" uint32_t LumetCallNative1(uint32_t a0, uint32_t entry, uint32_t) {
    return reinterpret_cast<uint32_t (*)(uint32_t)>(static_cast<uintptr_t>(entry))(a0);
}
uint32_t LumetCall68KAddress() {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&LumetCall68KHost));
}
#else
extern "C" void LumetCall68KShim();
uint32_t LumetCall68KAddress() { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&LumetCall68KShim)); }
#endif

}  // namespace morvel::directcall
