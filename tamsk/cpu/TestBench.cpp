#include "tamsk/cpu/TestBench.h"

#include "common/ReadFile.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Devices.h"
#include "tamsk/devices/Intc.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tb {
namespace {

std::string gConsole;

uint32_t Semihost(uint32_t op, uint32_t arg) {
    if (op == 4) {
        for (uint32_t a = arg;; ++a) {
            const uintptr_t p = CpuHostPointer(a);
            if (!p) break;
            const char c = *reinterpret_cast<const char*>(p);
            if (!c) break;
            gConsole.push_back(c);
        }
    } else if (op == 3) {
        const uintptr_t p = CpuHostPointer(arg);
        if (p) gConsole.push_back(*reinterpret_cast<const char*>(p));
    }
    return op;
}

uint8_t* Host(uint32_t phys) {
    const uintptr_t p = MemHostPointer(phys);
    if (!p) HostFatal("test bench: no memory at 0x%08X", phys);
    return reinterpret_cast<uint8_t*>(p);
}

// Gives anonymous memory back to the system: it reads as zeros again, at no cost.
void Clear(uint8_t* area, size_t size) { madvise(area, size, MADV_DONTNEED); }

}  // namespace

void Init() {
    DevicesInstall();
    CpuInstall();
    MemAllocateAreas();
    Clear(MemNor, kNorSize);
    Clear(MemSram, kSramSize);
    Clear(MemDram, kDramSize);
    MemBuildPageMap();
    MemClearDeviceTables();
    IntcReset(kRunPowerOn);
    TimingReset(kRunPowerOn);
    PatchTable = PatchTableState{};
    ResetTrapCount = 0;
    RunCode.store(kRunPowerOn);
    gConsole.clear();
    gCpuHooks = CpuDeviceHooks{};
    gCpuHooks.semihost = &Semihost;
    CpuBuildCondTable();
    CpuBuildThumbTable();
    CpuSetResetState();
    CpuMmuClear();
    CpuResetQueryCount();
}

void Write32(uint32_t phys, uint32_t value) { std::memcpy(Host(phys), &value, 4); }
void Write16(uint32_t phys, uint32_t value) {
    const uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(Host(phys), &v, 2);
}
uint32_t Read32(uint32_t phys) {
    uint32_t v;
    std::memcpy(&v, Host(phys), 4);
    return v;
}
void WriteWords(uint32_t phys, std::initializer_list<uint32_t> words) {
    for (uint32_t w : words) Write32(phys, w), phys += 4;
}
void WriteHalves(uint32_t phys, std::initializer_list<uint16_t> halves) {
    for (uint16_t h : halves) Write16(phys, h), phys += 2;
}

std::string& Console() { return gConsole; }

uint32_t LoadElf(const std::string& path, std::string* error) {
    std::string bytes;
    vantor::ReadWholeFile(path, &bytes);  // an unreadable file fails the ELF check below
    const std::vector<uint8_t> f(bytes.begin(), bytes.end());
    auto get32 = [&](size_t o) -> uint32_t {
        return o + 4 <= f.size() ? f[o] | f[o + 1] << 8 | f[o + 2] << 16 | static_cast<uint32_t>(f[o + 3]) << 24 : 0;
    };
    auto get16 = [&](size_t o) -> uint32_t { return o + 2 <= f.size() ? f[o] | f[o + 1] << 8 : 0; };
    if (f.size() < 52 || std::memcmp(f.data(), "\x7F" "ELF\x01\x01", 6) != 0 || get16(18) != 40) {
        if (error) *error = path + ": not a 32-bit little-endian ARM ELF file";
        return 0xFFFFFFFFu;
    }
    const uint32_t phoff = get32(28), phentsize = get16(42), phnum = get16(44);
    for (uint32_t k = 0; k < phnum; ++k) {
        const size_t ph = phoff + static_cast<size_t>(k) * phentsize;
        if (get32(ph) != 1) continue;  // PT_LOAD
        const uint32_t offset = get32(ph + 4), paddr = get32(ph + 12), filesz = get32(ph + 16);
        const uint32_t memsz = get32(ph + 20);
        if (static_cast<size_t>(offset) + filesz > f.size() || filesz > memsz) {
            if (error) *error = path + ": segment outside the file";
            return 0xFFFFFFFFu;
        }
        for (uint32_t b = 0; b < memsz; ++b) *Host(paddr + b) = b < filesz ? f[offset + b] : 0;
    }
    return get32(24);
}

void StartAt(uint32_t pc, uint32_t mode, bool thumb) {
    CpuSwitchMode(mode, false);
    gCpu.cur = gCpu.next = pc;
    gCpu.thumb = gCpu.tImage = thumb;
}

namespace {
uint32_t EndRunAtBreakpoint(uint32_t, void*, uint8_t*) {
    CpuRequestRunEnd(kRunExit);
    return 0xE1A00000;  // mov r0, r0
}
}  // namespace

bool RunToBreakpoint(uint32_t phys, uint64_t maxInstructions) {
    Write32(phys, kPatchBreakpoint);
    PatchTable.count = 1;
    PatchTable.entries[0] = PatchEntry{phys, 0xE1A00000, 0, &EndRunAtBreakpoint, {}};
    return CpuRunFor(maxInstructions) == kRunExit;
}

uint64_t RunUntil(uint32_t pc, uint64_t maxSteps) {
    uint64_t n = 0;
    while (n < maxSteps && gCpu.cur != pc) {
        CpuStep();
        ++n;
    }
    return n;
}

}  // namespace tb
