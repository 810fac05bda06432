// The processor's speed: one CPU-bound program (CRC-32, sieve, sort, memory copies), built for ARM
// and for Thumb, run on the emulated core and under qemu-arm and qemu-arm -singlestep in the same
// run; then each kernel of it alone (rows STATE:KERNEL). Prints each one's median rate in millions
// of instructions per second and the core's ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "bench/BenchStats.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Timing.h"
#include "tamsk/cpu/TestBench.h"

using namespace tamsk;

namespace {

using Clock = std::chrono::steady_clock;

struct CoreResult {
    uint64_t instructions;
    double seconds;
    int exitCode;  // the program's exit code: its result's low byte
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
    return {ExecutedInstructions, s, static_cast<int>(gCpu.r[0] & 0xFF)};
}

// Seconds of one qemu run, less qemu's own start-up (`startup`, measured on a program that exits at once).
// The program's exit code must be the core's (`expected`; -1: not checked).
double RunQemu(const std::string& options, const std::string& elf, double startup = 0, int expected = -1) {
    const auto t0 = Clock::now();
    const int rc = std::system(("qemu-arm -cpu arm926 " + options + " " + elf + " >/dev/null").c_str());
    if (rc == -1 || !WIFEXITED(rc)) {
        std::fprintf(stderr, "qemu-arm could not be started\n");
        std::exit(1);
    }
    if (expected >= 0 && WEXITSTATUS(rc) != expected) {
        std::fprintf(stderr, "%s: the core's result %d differs from qemu's %d\n", elf.c_str(), expected,
                     WEXITSTATUS(rc));
        std::exit(1);
    }
    return std::max(1e-6, std::chrono::duration<double>(Clock::now() - t0).count() - startup);
}

}  // namespace

int main() {
    std::printf("%-12s %14s %12s %12s %18s %12s %14s\n", "program", "instructions", "core MIPS", "qemu MIPS",
                "qemu-step MIPS", "core/qemu", "core/qemu-step");
    const char* only = std::getenv("TAMSK_BENCH_ONLY");  // a row's name ("arm", "thumb:crc"...): that row only
    const bool coreOnly = std::getenv("TAMSK_BENCH_CORE_ONLY") != nullptr;
    std::vector<double> startups;
    for (int k = 0; k < (coreOnly ? 0 : 5); ++k)
        startups.push_back(RunQemu("", std::string(TAMSK_BENCH_DIR) + "/bench-empty.elf"));
    const double startup = bench::Median(startups);
    std::vector<std::string> rows;
    for (const char* state : {"arm", "thumb"}) {
        rows.push_back(state);
        for (const char* kernel : {"crc", "sieve", "sort", "copy"}) rows.push_back(std::string(state) + ":" + kernel);
    }
    for (const std::string& row : rows) {
        if (only && row != only) continue;
        std::string file = row;
        std::replace(file.begin(), file.end(), ':', '-');
        const std::string elf = std::string(TAMSK_BENCH_DIR) + "/bench-" + file + ".elf";
        // Three runs of each, side by side, and the median of each: the machine's other work
        // disturbs it least. TAMSK_BENCH_CORE_ONLY=1 leaves qemu out (for profiling the core).
        std::vector<double> cores, qemus, steps;
        CoreResult core{};
        for (int k = 0; k < (coreOnly ? 1 : 3); ++k) {
            core = RunCore(elf);
            cores.push_back(core.seconds);
            if (coreOnly) continue;
            qemus.push_back(RunQemu("", elf, startup, core.exitCode));
            steps.push_back(RunQemu("-singlestep", elf, startup, core.exitCode));
        }
        core.seconds = bench::Median(cores);
        const double qemu = coreOnly ? 1 : bench::Median(qemus);
        const double step = coreOnly ? 1 : bench::Median(steps);
        const double n = static_cast<double>(core.instructions) / 1e6;
        std::printf("%-12s %14llu %12.1f %12.1f %18.1f %12.2f %14.2f\n", row.c_str(),
                    static_cast<unsigned long long>(core.instructions), n / core.seconds, n / qemu, n / step,
                    qemu / core.seconds, step / core.seconds);
        bench::Result(row, n / core.seconds, n / qemu, "MIPS");
    }
    return 0;
}
