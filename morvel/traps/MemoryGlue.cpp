#include "morvel/traps/MemoryGlue.h"

#include <array>
#include <utility>

#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {

using trapglue::Addr;
using trapglue::Ptr;
namespace {

namespace slot = vantor::sysslot;
using trapglue::SysCall;

// ---- plain forwards: arguments read from the 68K stack by kind, one system slot, one result ----
// Argument kinds: 'w' 16-bit, 'b' a byte in a 16-bit stack word, 'l' 32-bit, 'p' pointer or handle.
template <char K>
struct Arg;
template <>
struct Arg<'w'> {
    using Type = uint16_t;
    static constexpr uint32_t kSize = 2;
    static Type Get(const EmulState* s, uint32_t o) { return static_cast<uint16_t>(GetArgUInt16(s, o)); }
};
template <>
struct Arg<'b'> {
    using Type = uint8_t;
    static constexpr uint32_t kSize = 2;
    static Type Get(const EmulState* s, uint32_t o) { return static_cast<uint8_t>(GetArgInt8(s, o)); }
};
template <>
struct Arg<'l'> {
    using Type = uint32_t;
    static constexpr uint32_t kSize = 4;
    static Type Get(const EmulState* s, uint32_t o) { return GetArgUInt32(s, o); }
};
template <>
struct Arg<'p'> {
    using Type = void*;
    static constexpr uint32_t kSize = 4;
    static Type Get(const EmulState* s, uint32_t o) { return Ptr(GetArgPtr(s, o)); }
};

// Result kinds: 'w' D0.W, 'b' D0.B, 'l' D0.L, 'a' A0.
template <char R>
struct Result;
template <>
struct Result<'w'> {
    using Type = uint16_t;
    static void Set(EmulState* s, Type v) { SetResultD0UInt16(s, v); }
};
template <>
struct Result<'b'> {
    using Type = uint8_t;
    static void Set(EmulState* s, Type v) { SetResultD0UInt8(s, v); }
};
template <>
struct Result<'l'> {
    using Type = uint32_t;
    static void Set(EmulState* s, Type v) { SetResultD0UInt32(s, v); }
};
template <>
struct Result<'a'> {
    using Type = void*;
    static void Set(EmulState* s, Type v) { SetResultA0(s, Addr(v)); }
};

template <char... K>
constexpr std::array<uint32_t, sizeof...(K) + 1> Offsets() {
    std::array<uint32_t, sizeof...(K) + 1> at{};
    constexpr uint32_t sizes[] = {Arg<K>::kSize..., 0};
    for (size_t i = 0; i < sizeof...(K); ++i) at[i + 1] = at[i] + sizes[i];
    return at;
}

template <uint16_t Slot, char R, char... K>
void Forward(EmulState* s, uint16_t) {
    [[maybe_unused]] static constexpr auto at = Offsets<K...>();
    using Sig = typename Result<R>::Type(typename Arg<K>::Type...);
    [s]<size_t... I>(std::index_sequence<I...>) {
        Result<R>::Set(s, SysCall<Sig>(Slot, Arg<K>::Get(s, at[I])...));
    }(std::make_index_sequence<sizeof...(K)>{});
}

// ---- out-parameters: native variables, written big-endian only on success and when asked ----
struct Out16 {
    uint32_t p;
    uint16_t value = 0;
    uint16_t* Native() { return p ? &value : nullptr; }
    void Write() const {
        if (p) Write68KUInt16(p, 0, value);
    }
};
struct Out32 {
    uint32_t p;
    uint32_t value = 0;
    uint32_t* Native() { return p ? &value : nullptr; }
    void Write() const {
        if (p) Write68KUInt32(p, 0, value);
    }
};

void TrapMemCardInfo(EmulState* s, uint16_t) {
    Out16 version{GetArgPtr(s, 10)};
    Out32 date{GetArgPtr(s, 14)}, rom{GetArgPtr(s, 18)}, ram{GetArgPtr(s, 22)}, free{GetArgPtr(s, 26)};
    uint16_t err = SysCall<uint16_t(uint16_t, char*, char*, uint16_t*, uint32_t*, uint32_t*, uint32_t*, uint32_t*)>(
        slot::MemCardInfo, static_cast<uint16_t>(GetArgUInt16(s, 0)), trapglue::Str(GetArgPtr(s, 2)),
        trapglue::Str(GetArgPtr(s, 6)), version.Native(), date.Native(), rom.Native(), ram.Native(), free.Native());
    if (err == 0) {
        version.Write();
        for (const Out32* o : {&date, &rom, &ram, &free}) o->Write();
    }
    SetResultD0UInt16(s, err);
}

void TrapMemStoreInfo(EmulState* s, uint16_t) {
    Out16 version{GetArgPtr(s, 4)}, flags{GetArgPtr(s, 8)};
    Out32 created{GetArgPtr(s, 16)}, backedUp{GetArgPtr(s, 20)}, heapList{GetArgPtr(s, 24)}, init1{GetArgPtr(s, 28)},
        init2{GetArgPtr(s, 32)}, directory{GetArgPtr(s, 36)};
    uint16_t err = SysCall<uint16_t(uint16_t, uint16_t, uint16_t*, uint16_t*, char*, uint32_t*, uint32_t*, uint32_t*,
                                    uint32_t*, uint32_t*, uint32_t*)>(
        slot::MemStoreInfo, static_cast<uint16_t>(GetArgUInt16(s, 0)), static_cast<uint16_t>(GetArgUInt16(s, 2)),
        version.Native(), flags.Native(), trapglue::Str(GetArgPtr(s, 12)), created.Native(), backedUp.Native(),
        heapList.Native(), init1.Native(), init2.Native(), directory.Native());
    if (err == 0) {
        version.Write();
        flags.Write();
        for (const Out32* o : {&created, &backedUp, &heapList, &init1, &init2, &directory}) o->Write();
    }
    SetResultD0UInt16(s, err);
}

void TrapMemHeapFreeBytes(EmulState* s, uint16_t) {
    Out32 free{GetArgPtr(s, 2)}, largest{GetArgPtr(s, 6)};
    uint16_t err =
        vantor::sys::MemHeapFreeBytes(static_cast<uint16_t>(GetArgUInt16(s, 0)), free.Native(), largest.Native());
    if (err == 0) {
        free.Write();
        largest.Write();
    }
    SetResultD0UInt16(s, err);
}

// Size 0 moves, sets and compares nothing, and does not reach the OS.
void TrapMemMove(EmulState* s, uint16_t) {
    int32_t n = static_cast<int32_t>(GetArgUInt32(s, 8));
    SetResultD0UInt16(s, n == 0 ? 0 : vantor::sys::MemMove(Ptr(GetArgPtr(s, 0)), Ptr(GetArgPtr(s, 4)), n));
}
void TrapMemSet(EmulState* s, uint16_t) {
    int32_t n = static_cast<int32_t>(GetArgUInt32(s, 4));
    SetResultD0UInt16(s, n == 0 ? 0 : vantor::sys::MemSet(Ptr(GetArgPtr(s, 0)), n, static_cast<uint8_t>(GetArgInt8(s, 8))));
}
void TrapMemCmp(EmulState* s, uint16_t) {
    int32_t n = static_cast<int32_t>(GetArgUInt32(s, 8));
    SetResultD0UInt16(s, n == 0 ? 0
                                : SysCall<uint16_t(const void*, const void*, int32_t)>(
                                      slot::MemCmp, Ptr(GetArgPtr(s, 0)), Ptr(GetArgPtr(s, 4)), n));
}

}  // namespace

void MemoryGlueInstall(TrapHandler* t) {
    t[0x004] = TrapMemCardInfo;
    t[0x005] = TrapMemStoreInfo;
    t[0x007] = Forward<slot::MemNumHeaps, 'w', 'w'>;
    t[0x008] = Forward<slot::MemNumRAMHeaps, 'w', 'w'>;
    t[0x009] = Forward<slot::MemHeapID, 'w', 'w', 'w'>;
    t[0x00A] = Forward<slot::MemHeapPtr, 'a', 'w'>;
    t[0x00B] = TrapMemHeapFreeBytes;
    t[0x00C] = Forward<slot::MemHeapSize, 'l', 'w'>;
    t[0x00D] = Forward<slot::MemHeapFlags, 'w', 'w'>;
    t[0x00E] = Forward<slot::MemHeapCompact, 'w', 'w'>;
    t[0x011] = Forward<slot::MemChunkNew, 'a', 'w', 'l', 'w'>;
    t[0x012] = Forward<slot::MemChunkFree, 'w', 'p'>;
    t[0x013] = Forward<slot::MemPtrNew, 'a', 'l'>;
    t[0x014] = Forward<slot::MemPtrRecoverHandle, 'a', 'p'>;
    t[0x016] = Forward<slot::MemPtrSize, 'l', 'p'>;
    t[0x018] = Forward<slot::MemPtrHeapID, 'w', 'p'>;
    t[0x019] = Forward<slot::MemPtrCardNo, 'w', 'p'>;
    t[0x01A] = Forward<slot::MemPtrToLocalID, 'l', 'p'>;
    t[0x01B] = Forward<slot::MemPtrSetOwner, 'w', 'p', 'w'>;
    t[0x01C] = Forward<slot::MemPtrResize, 'w', 'p', 'l'>;
    t[0x035] = Forward<slot::MemPtrUnlock, 'w', 'p'>;
    t[0x36F] = Forward<slot::MemPtrDataStorage, 'b', 'p'>;
    t[0x01E] = Forward<slot::MemHandleNew, 'a', 'l'>;
    t[0x01F] = Forward<slot::MemHandleLockCount, 'w', 'p'>;
    t[0x020] = Forward<slot::MemHandleToLocalID, 'l', 'p'>;
    t[0x021] = Forward<slot::MemHandleLock, 'a', 'p'>;
    t[0x022] = Forward<slot::MemHandleUnlock, 'w', 'p'>;
    t[0x02B] = Forward<slot::MemHandleFree, 'w', 'p'>;
    t[0x02D] = Forward<slot::MemHandleSize, 'l', 'p'>;
    t[0x02F] = Forward<slot::MemHandleHeapID, 'w', 'p'>;
    t[0x030] = Forward<slot::MemHandleDataStorage, 'b', 'p'>;
    t[0x031] = Forward<slot::MemHandleCardNo, 'w', 'p'>;
    t[0x032] = Forward<slot::MemHandleSetOwner, 'w', 'p', 'w'>;
    t[0x033] = Forward<slot::MemHandleResize, 'w', 'p', 'l'>;
    t[0x034] = Forward<slot::MemHandleResetLock, 'w', 'p'>;
    t[0x023] = Forward<slot::MemLocalIDToGlobal, 'a', 'l', 'w'>;
    t[0x024] = Forward<slot::MemLocalIDKind, 'b', 'l'>;
    t[0x025] = Forward<slot::MemLocalIDToPtr, 'a', 'l', 'w'>;
    t[0x036] = Forward<slot::MemLocalIDToLockedPtr, 'a', 'l', 'w'>;
    t[0x026] = TrapMemMove;
    t[0x027] = TrapMemSet;
    t[0x2D7] = TrapMemCmp;
    t[0x03A] = Forward<slot::MemNumCards, 'w'>;
    t[0x03B] = Forward<slot::MemDebugMode, 'w'>;
    t[0x037] = Forward<slot::MemSetDebugMode, 'w', 'w'>;
    t[0x038] = Forward<slot::MemHeapScramble, 'w', 'w'>;
    t[0x039] = Forward<slot::MemHeapCheck, 'w', 'w'>;
    t[0x03C] = Forward<slot::MemSemaphoreReserve, 'w', 'b'>;
    t[0x03D] = Forward<slot::MemSemaphoreRelease, 'w', 'b'>;
    t[0x03E] = Forward<slot::MemHeapDynamic, 'b', 'w'>;
}

}  // namespace morvel
