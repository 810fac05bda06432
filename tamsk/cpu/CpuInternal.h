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

// One-entry caches keyed by the virtual address with bits 9..0 clear (all ones = empty).
struct CpuTlb {
    uint32_t fetchKey;
    uintptr_t fetchHost;
    uint32_t readKey;
    uint32_t readPhys;
    uintptr_t readHost;  // 0: no memory behind the page (device or nothing)
    uint32_t writeKey;
    uint32_t writePhys;
    uintptr_t writeHost;
};

extern CpuMmuState gMmu;
extern CpuTlb gTlb;

enum CpuAccess : int { kAccessFetch = 0, kAccessRead = 1, kAccessWrite = 2 };

// Fills the cache of this access kind with va's page, raising the abort of a failed translation.
void CpuFillCache(int access, uint32_t va);

// Paths of physical addresses without memory behind them, by access size.
uint32_t CpuPhysRead32(uint32_t phys);
uint32_t CpuPhysRead16(uint32_t phys);
uint32_t CpuPhysRead8(uint32_t phys);
void CpuPhysWrite32(uint32_t phys, uint32_t value);
void CpuPhysWrite16(uint32_t phys, uint32_t value);
void CpuPhysWrite8(uint32_t phys, uint32_t value);

// Installs the permission view of the current mode.
void CpuInstallPermissionView();

// The abort restart point of the run loop.
[[noreturn]] void CpuAbortJump();

inline uint32_t CpuLoad32(uintptr_t p) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(p), 4);
    return v;
}
inline uint16_t CpuLoad16(uintptr_t p) {
    uint16_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(p), 2);
    return v;
}
inline void CpuStore32(uintptr_t p, uint32_t v) { std::memcpy(reinterpret_cast<void*>(p), &v, 4); }
inline void CpuStore16(uintptr_t p, uint16_t v) { std::memcpy(reinterpret_cast<void*>(p), &v, 2); }

constexpr uint32_t kPageMask = ~0x3FFu;

// Data accesses; the caller has checked alignment.
inline uint32_t MemRead32(uint32_t va) {
    if ((va & kPageMask) != gTlb.readKey) CpuFillCache(kAccessRead, va);
    if (gTlb.readHost) return CpuLoad32(gTlb.readHost + (va & 0x3FF));
    return CpuPhysRead32(gTlb.readPhys | (va & 0x3FF));
}
inline uint32_t MemRead16(uint32_t va) {
    if ((va & kPageMask) != gTlb.readKey) CpuFillCache(kAccessRead, va);
    if (gTlb.readHost) return CpuLoad16(gTlb.readHost + (va & 0x3FF));
    return CpuPhysRead16(gTlb.readPhys | (va & 0x3FF));
}
inline uint32_t MemRead8(uint32_t va) {
    if ((va & kPageMask) != gTlb.readKey) CpuFillCache(kAccessRead, va);
    if (gTlb.readHost) return *reinterpret_cast<const uint8_t*>(gTlb.readHost + (va & 0x3FF));
    return CpuPhysRead8(gTlb.readPhys | (va & 0x3FF));
}
inline void MemWrite32(uint32_t va, uint32_t value) {
    if ((va & kPageMask) != gTlb.writeKey) CpuFillCache(kAccessWrite, va);
    if (gTlb.writeHost) return CpuStore32(gTlb.writeHost + (va & 0x3FF), value);
    CpuPhysWrite32(gTlb.writePhys | (va & 0x3FF), value);
}
inline void MemWrite16(uint32_t va, uint32_t value) {
    if ((va & kPageMask) != gTlb.writeKey) CpuFillCache(kAccessWrite, va);
    if (gTlb.writeHost) return CpuStore16(gTlb.writeHost + (va & 0x3FF), static_cast<uint16_t>(value));
    CpuPhysWrite16(gTlb.writePhys | (va & 0x3FF), value & 0xFFFF);
}
inline void MemWrite8(uint32_t va, uint32_t value) {
    if ((va & kPageMask) != gTlb.writeKey) CpuFillCache(kAccessWrite, va);
    if (gTlb.writeHost) {
        *reinterpret_cast<uint8_t*>(gTlb.writeHost + (va & 0x3FF)) = static_cast<uint8_t>(value);
        return;
    }
    CpuPhysWrite8(gTlb.writePhys | (va & 0x3FF), value & 0xFF);
}

// Alignment faults are raised before translation, whatever the A bit says.
inline void CheckAligned(uint32_t va, uint32_t mask) {
    if (va & mask) CpuRaiseAbort(kExcDataAbort, 1, va);
}

}  // namespace tamsk
