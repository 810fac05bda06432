// Address translation: two-level table walks with domains and access permissions, aborts with
// fault status, the one-entry translation caches, and the physical paths of addresses without
// memory behind them.
#include "tamsk/board/Memory.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/cpu/CpuInternal.h"

namespace tamsk {

CpuMmuState gMmu;
namespace {
constexpr CpuTlb EmptyTlb() {
    CpuTlb t{};
    t.lastFetch = kEmptyTlbEntry;
    for (uint32_t i = 0; i < kTlbEntries; ++i) t.fetch[i] = t.read[i] = t.write[i] = kEmptyTlbEntry;
    return t;
}
}  // namespace

CpuTlb gTlb = EmptyTlb();

namespace {

uint32_t gWatchStart = 0xFFFFFFFFu;  // frame-buffer watch range, inclusive
uint32_t gWatchEnd = 0;

// A table descriptor read: a table outside every memory area reads as a fault descriptor.
uint32_t ReadDescriptor(uint32_t phys) {
    const uintptr_t host = MemHostPointer(phys & ~3u);
    return host ? CpuLoad32(host) : 0;
}

uint32_t FirstLevelAddress(uint32_t va) { return gMmu.base | ((va >> 18) & 0x3FFC); }

[[noreturn]] void Fault(int access, uint32_t status, uint32_t va) {
    CpuRaiseAbort(access == kAccessFetch ? kExcPrefetchAbort : kExcDataAbort, status, va);
}

bool Denied(int access, uint32_t ap) {
    return access == kAccessWrite ? gMmu.viewWriteDeny[ap] : gMmu.viewReadDeny[ap];
}

// The checked walk: returns the physical address or raises the abort.
uint32_t Walk(int access, uint32_t va) {
    const uint32_t d1 = ReadDescriptor(FirstLevelAddress(va));
    const uint32_t domain = (d1 >> 5) & 0xF;
    switch (d1 & 3) {
        case 0: Fault(access, 5, va);
        case 2:
            if (gMmu.noAccess[domain]) Fault(access, 9, va);
            if (gMmu.check[domain] && Denied(access, (d1 >> 10) & 3)) Fault(access, 13, va);
            return (d1 & 0xFFF00000u) | (va & 0xFFFFF);
        case 1: {
            if (gMmu.noAccess[domain]) Fault(access, 11, va);
            const uint32_t d2 = ReadDescriptor((d1 & 0xFFFFFC00u) | ((va >> 10) & 0x3FC));
            uint32_t phys;
            switch (d2 & 3) {
                case 0: Fault(access, 7, va);
                case 1: phys = (d2 & 0xFFFF0000u) | (va & 0xFFFF); break;
                default: phys = (d2 & 0xFFFFF000u) | (va & 0xFFF); break;
            }
            // The first subpage's AP governs the whole page.
            if (gMmu.check[domain] && Denied(access, (d2 >> 4) & 3)) Fault(access, 15, va);
            return phys;
        }
        default: CpuFatal("Unimplemented MMU operation");
    }
}

}  // namespace

void CpuFillCache(int access, uint32_t va) {
    const uint32_t phys = gMmu.enabled ? Walk(access, va) : va;
    const uint32_t key = va & kPageMask;
    const uint32_t page = phys & kPageMask;
    const uintptr_t host = MemHostPointer(page);
    CpuTlbEntry* cache = access == kAccessFetch ? gTlb.fetch : access == kAccessRead ? gTlb.read : gTlb.write;
    // Instructions come only from memory areas.
    if (access == kAccessFetch && !host) Fault(kAccessFetch, 5, va);
    cache[(va >> 10) & (kTlbEntries - 1)] = CpuTlbEntry{key, host ? key : 0xFFFFFFFFu, page, host, host - key};
    if (access == kAccessWrite && (phys | 3) >= gWatchStart && phys <= gWatchEnd && gCpuHooks.forceRepaint)
        gCpuHooks.forceRepaint();
}

void CpuRaiseAbort(int kind, uint32_t status, uint32_t address) {
    CpuEndBatch();
    CpuSyncFlags();
    CpuEnterException(kind);
    const uint32_t domain = (ReadDescriptor(FirstLevelAddress(address)) >> 5) & 0xF;
    gCpu.fsr = status | domain << 4;
    gCpu.far = address;
    ExecutedInstructions += 1;
    gCpu.cur = gCpu.next;
    gCpu.tImage = 0;
    CpuAbortJump();
}

CpuTranslation CpuTranslateNoFault(uint32_t va) {
    if (!gMmu.enabled) return {va, true};
    const uint32_t d1 = ReadDescriptor(FirstLevelAddress(va));
    switch (d1 & 3) {
        case 2: return {(d1 & 0xFFF00000u) | (va & 0xFFFFF), true};
        case 1: {
            const uint32_t d2 = ReadDescriptor((d1 & 0xFFFFFC00u) | ((va >> 10) & 0x3FC));
            switch (d2 & 3) {
                case 0: return {0, false};
                case 1: return {(d2 & 0xFFFF0000u) | (va & 0xFFFF), true};
                default: return {(d2 & 0xFFFFF000u) | (va & 0xFFF), true};
            }
        }
        default: return {0, false};
    }
}

uintptr_t CpuHostPointer(uint32_t va) {
    const CpuTranslation t = CpuTranslateNoFault(va);
    return t.found ? MemHostPointer(t.phys) : 0;
}

void CpuEmptyWriteTlb() {
    for (CpuTlbEntry& e : gTlb.write) e = kEmptyTlbEntry;
}

const CpuTlbEntry& FetchEntry(uint32_t va) {
    gTlb.lastFetch = TlbEntry(gTlb.fetch, kAccessFetch, va);
    return gTlb.lastFetch;
}

void CpuEmptyTlb() {
    CpuEndBatch();  // a batch runs in the page of the last-fetch entry
    gTlb.lastFetch = kEmptyTlbEntry;
    for (CpuTlbEntry& e : gTlb.fetch) e = kEmptyTlbEntry;
    for (CpuTlbEntry& e : gTlb.read) e = kEmptyTlbEntry;
    CpuEmptyWriteTlb();
}

void CpuFlushTranslationCaches() {
    CpuEmptyTlb();
    gWatchStart = 0xFFFFFFFFu;
    gWatchEnd = 0;
}

void CpuSetFrameBufferWatch(uint32_t start, uint32_t end) {
    gWatchStart = start;
    gWatchEnd = end;
    // Writes are compared with the range on a cache miss: the next write to every page misses.
    CpuEmptyWriteTlb();
}

void CpuInstallPermissionView() {
    const int column = (gCpu.mode & 0xF) ? 0 : 1;
    std::memcpy(gMmu.viewReadDeny, gMmu.readDeny[column], 4);
    std::memcpy(gMmu.viewWriteDeny, gMmu.writeDeny[column], 4);
}

void CpuSetDomainAccess(uint32_t value) {
    for (int d = 0; d < 16; ++d) {
        switch ((value >> (2 * d)) & 3) {
            case 0: gMmu.noAccess[d] = 1, gMmu.check[d] = 1; break;
            case 1: gMmu.noAccess[d] = 0, gMmu.check[d] = 1; break;
            case 3: gMmu.noAccess[d] = 0, gMmu.check[d] = 0; break;
            default: CpuFatal("Undocumented domain access style used");
        }
    }
    gMmu.domains = value;
    CpuFlushTranslationCaches();
}

void CpuSetProtectionBits(uint32_t s, uint32_t r) {
    gMmu.sBit = s & 1;
    gMmu.rBit = r & 1;
    // AP 0: writes denied to all; reads by S and R.
    const bool privRead0 = gMmu.sBit && !gMmu.rBit;
    const bool allRead0 = !gMmu.sBit && gMmu.rBit;
    gMmu.readDeny[0][0] = !(privRead0 || allRead0);
    gMmu.readDeny[1][0] = !allRead0;
    gMmu.writeDeny[0][0] = gMmu.writeDeny[1][0] = 1;
    // AP 1: privileged only; AP 2: User read only; AP 3: all.
    gMmu.readDeny[0][1] = 0, gMmu.writeDeny[0][1] = 0, gMmu.readDeny[1][1] = 1, gMmu.writeDeny[1][1] = 1;
    gMmu.readDeny[0][2] = 0, gMmu.writeDeny[0][2] = 0, gMmu.readDeny[1][2] = 0, gMmu.writeDeny[1][2] = 1;
    gMmu.readDeny[0][3] = 0, gMmu.writeDeny[0][3] = 0, gMmu.readDeny[1][3] = 0, gMmu.writeDeny[1][3] = 0;
    CpuInstallPermissionView();
    CpuFlushTranslationCaches();
}

void CpuMmuClear() {
    std::memset(&gMmu, 0, sizeof gMmu);
    CpuSetDomainAccess(0);
    CpuSetProtectionBits(0, 0);
}

void CpuMmuSaveImage(uint8_t out[kMmuChunkSize]) {
    std::memset(out, 0, kMmuChunkSize);
    const uint32_t words[5] = {gMmu.enabled, gMmu.base, gMmu.domains, gMmu.sBit, gMmu.rBit};
    for (int i = 0; i < 5; ++i) ChunkPut32(out + 4 * i, words[i]);
    std::memcpy(out + 20, gMmu.noAccess, 16);
    std::memcpy(out + 36, gMmu.check, 16);
    std::memcpy(out + 52, gMmu.readDeny, 8);
    std::memcpy(out + 60, gMmu.writeDeny, 8);
}

void CpuMmuLoadImage(const uint8_t in[kMmuChunkSize]) {
    uint32_t words[5];
    for (int i = 0; i < 5; ++i) words[i] = ChunkGet32(in + 4 * i);
    // The tables are rebuilt from the register values; a domain value this core never accepts
    // (2) leaves the MMU in its reset state.
    for (int d = 0; d < 16; ++d) {
        if (((words[2] >> (2 * d)) & 3) == 2) {
            CpuMmuClear();
            return;
        }
    }
    gMmu.enabled = words[0] & 1;
    gMmu.base = words[1] & 0xFFFFC000u;
    CpuSetDomainAccess(words[2]);
    CpuSetProtectionBits(words[3], words[4]);
}

uint32_t CpuPhysRead32(uint32_t phys) {
    CpuEndBatch();
    const uint32_t top = phys >> 24;
    if (top >= 0x40 && top <= 0x5B) return DeviceRead(phys);
    if (top >= 0x14 && top <= 0x17) return gCpuHooks.ethRead ? gCpuHooks.ethRead(phys, 4) : 0;
    return 0;
}

void CpuPhysWrite32(uint32_t phys, uint32_t value) {
    CpuEndBatch();
    const uint32_t top = phys >> 24;
    const bool served = (top >= 0x40 && top <= 0x4A) || top == 0x4C || top == 0x50 || (top >= 0x58 && top <= 0x5B);
    if (served) DeviceWrite(phys, value);
}

uint32_t CpuPhysRead16(uint32_t phys) {
    CpuEndBatch();
    const uint32_t top = phys >> 24;
    if (top >= 0x14 && top <= 0x17) return gCpuHooks.ethRead ? gCpuHooks.ethRead(phys, 2) & 0xFFFF : 0;
    return 0;
}

void CpuPhysWrite16(uint32_t phys, uint32_t value) {
    CpuEndBatch();
    const uint32_t top = phys >> 24;
    if (top >= 0x14 && top <= 0x17 && gCpuHooks.ethWrite) gCpuHooks.ethWrite(phys, value, 2);
}

uint32_t CpuPhysRead8(uint32_t phys) {
    CpuEndBatch();
    const uint32_t top = phys >> 24;
    if (top >= 0x14 && top <= 0x17) return gCpuHooks.ethRead ? gCpuHooks.ethRead(phys, 1) & 0xFF : 0;
    if ((phys >> 20) == 0x401) return UartRead(phys) & 0xFF;
    return 0;
}

void CpuPhysWrite8(uint32_t phys, uint32_t value) {
    CpuEndBatch();
    const uint32_t top = phys >> 24;
    if (top >= 0x14 && top <= 0x17) {
        if (gCpuHooks.ethWrite) gCpuHooks.ethWrite(phys, value, 1);
    } else if ((phys >> 20) == 0x401) {
        UartWrite(phys, value);
    }
}

}  // namespace tamsk
