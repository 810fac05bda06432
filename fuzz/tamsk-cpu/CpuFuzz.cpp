// Fuzz target of the processor: guest code and state come from outside (ROM images, session
// files). The input supplies a session core chunk, a first-level translation table of sections,
// the domain register, registers and User-mode code in ARM or Thumb state; the core runs it until
// it leaves User mode or a step limit. Nothing may crash, read out of bounds or hang.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tamsk/cpu/TestBench.h"

using namespace tamsk;

namespace {

constexpr uint32_t kCode = 0x8000;
constexpr uint32_t kTable = 0x80000000;
// Where fuzzed sections may point: NOR, SRAM, the OS timer and interrupt controller megabytes, DRAM
// away from the table, and an address without memory.
constexpr uint32_t kTargets[8] = {0x000, 0x5C0, 0x40A, 0x40D, 0x801, 0x100, 0x140, 0x5C1};

uint32_t Word(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 + 64) return 0;
    tb::Init();
    const uint8_t flags = data[0];

    // A core chunk from the input: loading it must keep every field in range.
    if (size >= kCpuCoreChunkSize) {
        uint8_t chunk[kCpuCoreChunkSize];
        std::memcpy(chunk, data, sizeof chunk);
        CpuLoadCore(chunk);
        CpuSaveCore(chunk);
        if (gCpu.mode > 31 || (gCpu.nzcv & 0x0FFFFFFF) || gCpu.thumb > 1) __builtin_trap();
        tb::Init();
    }

    // Sections for sixteen megabytes from the input, the code's megabyte identity. The MMU is always
    // on: the device models' own fatal checks (a UART register written the wrong way) stay out of
    // reach, as only the OS timer and interrupt controller megabytes are mapped.
    {
        for (uint32_t i = 0; i < 16; ++i) {
            const uint8_t d = data[(4 + i) % size];
            const uint32_t mb = kTargets[d & 7] << 20;
            const uint32_t descriptor = (d & 0x80) ? 0 : mb | ((d >> 3) & 3) << 10 | ((d >> 5) & 3) << 5 | 0x12;
            tb::Write32(kTable + 4 * (i * 0x100 + 0x10), descriptor);
        }
        tb::Write32(kTable, 0x00000C12);
        uint32_t domains = Word(data + 4);
        for (int f = 0; f < 16; ++f)
            if (((domains >> (2 * f)) & 3) == 2) domains ^= 3u << (2 * f);  // 2 is fatal by design
        CpuCoprocWrite(15, 2, 0, 0, kTable);
        CpuCoprocWrite(15, 3, 0, 0, domains | 1);
        CpuCoprocWrite(15, 1, 0, 0, 1 | (flags & 0x6) << 7);
    }

    const bool thumb = flags & 8;
    tb::StartAt(kCode, kModeUser, thumb);
    for (int r = 0; r < 15; ++r) gCpu.r[r] = Word(data + 4 + 4 * r);
    gCpu.nzcv = (flags & 0x80u) << 24 | (flags & 0x40u) << 23;  // N and C
    for (size_t i = 64; i + 1 < size && i < 64 + 4096; i += 2) tb::Write16(kCode + static_cast<uint32_t>(i - 64), data[i] | data[i + 1] << 8);
    for (int step = 0; step < 2000 && gCpu.mode == kModeUser; ++step) CpuStep();
    return 0;
}
