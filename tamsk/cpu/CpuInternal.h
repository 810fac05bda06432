// Shared by the processor's own sources: translation caches and the inline memory paths.
#pragma once

#include <cstring>

#include "tamsk/cpu/Cpu.h"

namespace tamsk {

// Address-translation state built from the CP15 registers.
struct CpuMmuState {
    uint32_t enabled;  // MMU on (control bit 0)
    uint32_t base;     // translation table base, bits 13..0 clear
    uint32_t domains;  // CP15 register 3 as last written
    uint32_t sBit, rBit;
    uint8_t noAccess[16];     // per domain
    uint8_t check[16];        // per domain: permissions are checked (client)
    uint8_t readDeny[2][4];   // [0] privileged, [1] User; by AP value
    uint8_t writeDeny[2][4];
    uint8_t viewReadDeny[4];  // the column of the current mode
    uint8_t viewWriteDeny[4];
};

// Translation caches, one for instruction fetch, one for data reads and one for data writes. Each
// is direct-mapped by 1 KB page: an entry is keyed by the virtual address with bits 9..0 clear
// (all ones = empty) and holds the page's physical address and its host address (0 when no memory
// area lies behind the page). Several entries per cache keep a table lookup and the data it
// indexes from evicting each other. The fast path is one compare with `fastKey`, the key of a page
// with memory behind it (all ones otherwise), and one addition: `addend` turns the virtual address
// into the host one.
constexpr uint32_t kTlbEntries = 256;
struct CpuTlbEntry {
    uint32_t key;
    uint32_t fastKey;
    uint32_t phys;
    uintptr_t host;
    uintptr_t addend;  // host - key
};
constexpr CpuTlbEntry kEmptyTlbEntry = {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0};
struct CpuTlb {
    CpuTlbEntry lastFetch;  // the page of the last fetch, in front of the fetch cache
    CpuTlbEntry fetch[kTlbEntries];
    CpuTlbEntry read[kTlbEntries];
    CpuTlbEntry write[kTlbEntries];
};

extern CpuMmuState gMmu;
extern CpuTlb gTlb;

enum CpuAccess : int { kAccessFetch = 0, kAccessRead = 1, kAccessWrite = 2 };

// Fills the cache of this access kind with va's page, raising the abort of a failed translation.
__attribute__((cold)) void CpuFillCache(int access, uint32_t va);

// Paths of physical addresses without memory behind them, by access size.
uint32_t CpuPhysRead32(uint32_t phys);
uint32_t CpuPhysRead16(uint32_t phys);
uint32_t CpuPhysRead8(uint32_t phys);
void CpuPhysWrite32(uint32_t phys, uint32_t value);
void CpuPhysWrite16(uint32_t phys, uint32_t value);
void CpuPhysWrite8(uint32_t phys, uint32_t value);

// Empties the three caches (the frame-buffer watch range stays).
void CpuEmptyTlb();
// Empties the data-write cache only.
void CpuEmptyWriteTlb();

// Installs the permission view of the current mode.
void CpuInstallPermissionView();

// While instructions run the core keeps the flags in words of its own: code outside the
// interpreters calls this before it reads or writes gCpu.nzcv.
void CpuSyncFlags();

// The abort restart point of the run loop.
[[noreturn]] void CpuAbortJump();

// The run loop executes instructions in batches (see RunBatch in CpuExec.cpp). Inside a batch each
// instruction is followed only by the step to the next one; the checks of the per-instruction tail
// (pending word, interrupts, instruction counter, tick) run after the batch's last instruction,
// which is exact as long as nothing those checks look at changed before it. Every path that may
// change it (device registers, coprocessors, status registers, mode and execution-state changes,
// translation changes, the breakpoint hook, aborts) calls CpuEndBatch: its instruction becomes the
// last of the batch, and the instruction counter, the countdown and the ticks the batch passed are
// brought up to date at once for code that reads them in the middle of the instruction (device
// registers, the idle wait).
void CpuEndBatch();

#define CPU_INLINE __attribute__((always_inline)) inline

CPU_INLINE uint32_t CpuLoad32(uintptr_t p) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(p), 4);
    return v;
}
CPU_INLINE uint16_t CpuLoad16(uintptr_t p) {
    uint16_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(p), 2);
    return v;
}
CPU_INLINE void CpuStore32(uintptr_t p, uint32_t v) { std::memcpy(reinterpret_cast<void*>(p), &v, 4); }
CPU_INLINE void CpuStore16(uintptr_t p, uint16_t v) { std::memcpy(reinterpret_cast<void*>(p), &v, 2); }

constexpr uint32_t kPageMask = ~0x3FFu;

CPU_INLINE CpuTlbEntry& TlbEntry(CpuTlbEntry* cache, int access, uint32_t va) {
    CpuTlbEntry& e = cache[(va >> 10) & (kTlbEntries - 1)];
    if (e.key != (va & kPageMask)) CpuFillCache(access, va);
    return e;
}

// Alignment faults are raised before translation, whatever the A bit says.
CPU_INLINE void CheckAligned(uint32_t va, uint32_t mask) {
    if (va & mask) CpuRaiseAbort(kExcDataAbort, 1, va);
}

// Data accesses; the caller has checked alignment.
CPU_INLINE uint32_t MemRead32(uint32_t va) {
    const CpuTlbEntry& e = TlbEntry(gTlb.read, kAccessRead, va);
    if (e.host) return CpuLoad32(e.host + (va & 0x3FF));
    return CpuPhysRead32(e.phys | (va & 0x3FF));
}
CPU_INLINE uint32_t MemRead16(uint32_t va) {
    const CpuTlbEntry& e = TlbEntry(gTlb.read, kAccessRead, va);
    if (e.host) return CpuLoad16(e.host + (va & 0x3FF));
    return CpuPhysRead16(e.phys | (va & 0x3FF));
}
CPU_INLINE uint32_t MemRead8(uint32_t va) {
    const CpuTlbEntry& e = TlbEntry(gTlb.read, kAccessRead, va);
    if (e.host) return *reinterpret_cast<const uint8_t*>(e.host + (va & 0x3FF));
    return CpuPhysRead8(e.phys | (va & 0x3FF));
}
CPU_INLINE void MemWrite32(uint32_t va, uint32_t value) {
    const CpuTlbEntry& e = TlbEntry(gTlb.write, kAccessWrite, va);
    if (e.host) return CpuStore32(e.host + (va & 0x3FF), value);
    CpuPhysWrite32(e.phys | (va & 0x3FF), value);
}
CPU_INLINE void MemWrite16(uint32_t va, uint32_t value) {
    const CpuTlbEntry& e = TlbEntry(gTlb.write, kAccessWrite, va);
    if (e.host) return CpuStore16(e.host + (va & 0x3FF), static_cast<uint16_t>(value));
    CpuPhysWrite16(e.phys | (va & 0x3FF), value & 0xFFFF);
}
CPU_INLINE void MemWrite8(uint32_t va, uint32_t value) {
    const CpuTlbEntry& e = TlbEntry(gTlb.write, kAccessWrite, va);
    if (e.host) {
        *reinterpret_cast<uint8_t*>(e.host + (va & 0x3FF)) = static_cast<uint8_t>(value);
        return;
    }
    CpuPhysWrite8(e.phys | (va & 0x3FF), value & 0xFF);
}
// Data accesses in two forms. The slow form (FAST false) is the whole access: alignment check,
// translation on a cache miss, the device paths. The fast form makes only the common access, an
// aligned one to a cached page with memory behind it, without calls, and returns false for any
// other: the handler then runs again as its slow form. A handler written once over these serves
// as both, and its fast form needs no stack frame.
CPU_INLINE bool FastHost(const CpuTlbEntry* cache, uint32_t va, uint32_t align, uintptr_t& h) {
    const CpuTlbEntry& e = cache[(va >> 10) & (kTlbEntries - 1)];
    // One compare checks the page, the memory behind it and the alignment (keys have bits 9..0 clear).
    if (e.fastKey != (va & (kPageMask | align))) return false;
    h = e.addend + va;
    return true;
}

template <int SIZE, bool SIGNED, bool FAST>
CPU_INLINE bool Load(uint32_t va, uint32_t& v) {
    uint32_t raw;
    if constexpr (FAST) {
        uintptr_t h;
        if (!FastHost(gTlb.read, va, SIZE - 1, h)) return false;
        raw = SIZE == 4 ? CpuLoad32(h) : SIZE == 2 ? CpuLoad16(h) : *reinterpret_cast<const uint8_t*>(h);
    } else {
        if constexpr (SIZE > 1) CheckAligned(va, SIZE - 1);
        raw = SIZE == 4 ? MemRead32(va) : SIZE == 2 ? MemRead16(va) : MemRead8(va);
    }
    if constexpr (SIGNED && SIZE == 2) raw = static_cast<uint32_t>(static_cast<int16_t>(raw));
    if constexpr (SIGNED && SIZE == 1) raw = static_cast<uint32_t>(static_cast<int8_t>(raw));
    v = raw;
    return true;
}

template <int SIZE, bool FAST>
CPU_INLINE bool Store(uint32_t va, uint32_t v) {
    if constexpr (FAST) {
        uintptr_t h;
        if (!FastHost(gTlb.write, va, SIZE - 1, h)) return false;
        if constexpr (SIZE == 4) CpuStore32(h, v);
        else if constexpr (SIZE == 2) CpuStore16(h, static_cast<uint16_t>(v));
        else *reinterpret_cast<uint8_t*>(h) = static_cast<uint8_t>(v);
    } else {
        if constexpr (SIZE > 1) CheckAligned(va, SIZE - 1);
        if constexpr (SIZE == 4) MemWrite32(va, v);
        else if constexpr (SIZE == 2) MemWrite16(va, v);
        else MemWrite8(va, v);
    }
    return true;
}

// The host address of `bytes` (at least 4) bytes of words from va in one cached page with memory
// behind it (block transfers).
CPU_INLINE bool FastBlock(const CpuTlbEntry* cache, uint32_t va, uint32_t bytes, uintptr_t& h) {
    return !(((va + bytes - 4) ^ va) & kPageMask) && FastHost(cache, va, 3, h);
}

// The fetch cache entry of va's page, made the last-fetch entry (fetches come only from memory
// areas: its host address is never 0).
__attribute__((noinline)) const CpuTlbEntry& FetchEntry(uint32_t va);

}  // namespace tamsk
