// The processor's speed: one CPU-bound program (CRC-32, sieve, sort, memory copies), built for ARM
// and for Thumb, run on the emulated core and under qemu-arm and qemu-arm -singlestep in the same
// run. Prints each one's rate in millions of instructions per second and the core's ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tamsk/board/Options.h"
#include "tamsk/board/Timing.h"
#include "tamsk/cpu/TestBench.h"

using namespace tamsk;

namespace {

using Clock = std::chrono::steady_clock;

struct CoreResult {
    uint64_t instructions;
    double seconds;
};

CoreResult RunCore(const std::string& elf) {
    OptLoadDefaults();
    tb::Init();
    std::string error;
    const uint32_t entry = tb::LoadElf(elf, &error);
    if (entry == 0xFFFFFFFFu) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    tb::StartAt(entry & ~1u, kModeUser, entry & 1);
    // The program's exit call enters the SWI vector.
    const auto t0 = Clock::now();
    const bool ended = tb::RunToBreakpoint(0x08, ~uint64_t(0));
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!ended) {
        std::fprintf(stderr, "%s did not reach its exit call\n", elf.c_str());
        std::exit(1);
    }
    return {ExecutedInstructions, s};
}

double RunQemu(const std::string& options, const std::string& elf) {
    const auto t0 = Clock::now();
    const int rc = std::system(("qemu-arm -cpu arm926 " + options + " " + elf + " >/dev/null").c_str());
    if (rc == -1) {
        std::fprintf(stderr, "qemu-arm could not be started\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main() {
    std::printf("%-8s %14s %12s %12s %18s %12s %14s\n", "program", "instructions", "core MIPS", "qemu MIPS",
                "qemu-step MIPS", "core/qemu", "core/qemu-step");
    const char* only = std::getenv("TAMSK_BENCH_ONLY");  // "arm" or "thumb": one program only
    for (const char* state : {"arm", "thumb"}) {
        if (only && std::string(only) != state) continue;
        const std::string elf = std::string(TAMSK_BENCH_DIR) + "/bench-" + state + ".elf";
        // The best of three runs of each, which the machine's other work disturbs least.
        // TAMSK_BENCH_CORE_ONLY=1 leaves qemu out (for profiling the core).
        const bool coreOnly = std::getenv("TAMSK_BENCH_CORE_ONLY") != nullptr;
        CoreResult core = RunCore(elf);
        double qemu = coreOnly ? 1 : RunQemu("", elf);
        double step = coreOnly ? 1 : RunQemu("-singlestep", elf);
        for (int k = 0; k < (coreOnly ? 0 : 2); ++k) {
            core.seconds = std::min(core.seconds, RunCore(elf).seconds);
            if (coreOnly) continue;
            qemu = std::min(qemu, RunQemu("", elf));
            step = std::min(step, RunQemu("-singlestep", elf));
        }
        const double n = static_cast<double>(core.instructions) / 1e6;
        std::printf("%-8s %14llu %12.1f %12.1f %18.1f %12.2f %14.2f\n", state,
                    static_cast<unsigned long long>(core.instructions), n / core.seconds, n / qemu, n / step,
                    qemu / core.seconds, step / core.seconds);
    }
    return 0;
}
