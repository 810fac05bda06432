// The core (interpreter and translated code) against qemu-m68k -cpu m68000 (translated, and with
// -singlestep) on the same CPU-bound 68000 kernels at the same address: emulated instructions per
// second and the ratios.
// The instruction count of one kernel call is measured once on the interpreter (trace entry per
// instruction) and used for both sides; qemu's start-up time is measured and taken off. Each
// figure is the median of three rounds run side by side.
// Built twice: morvel_bench is the os32 (i386) program; morvel_x64_bench builds the same
// interpreter for x86-64, without the trap glue, so that it can be measured natively on machines
// that run i386 programs only under an emulator.
//   morvel_bench                 every kernel, side by side with qemu
//   morvel_bench KERNEL CALLS    one kernel (0-4) on the interpreter alone, for profilers
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/BenchStats.h"
#include "common/BigEndian.h"
#include "morvel/cpu/HostAddress.h"
#include "morvel/cpu/MorvelCpu.h"

using namespace morvel;

namespace {

constexpr uint32_t kBase = 0x10000000, kSize = 0x100000;
const std::string kDir = MORVEL_KERNELS_DIR;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Run(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char b[256];
    size_t n;
    while ((n = fread(b, 1, sizeof b, p)) > 0) out.append(b, n);
    pclose(p);
    return out;
}

// The 68K stack: the top of the mapped area, below 4 GiB in the x86-64 build as well.
constexpr uint32_t kStackTop = kBase + kSize - 64;
uint64_t gSteps = 0;
void CountStep(EmulState*, uint16_t) { ++gSteps; }

uint32_t CallKernel(uint32_t k, uint32_t n) {
    EmulState s{};
    s.global = &s;
    s.A[7] = kStackTop;
    vantor::WriteBE32(Mem(s.A[7] - 8), k);
    vantor::WriteBE32(Mem(s.A[7] - 4), n);
    if (Call68KCode(&s, kBase, 8) != 0) {
        std::fprintf(stderr, "kernel %u ended by an exception\n", k);
        std::exit(1);
    }
    return s.D[0];
}

uint64_t CountInstructions(uint32_t k, uint32_t n) {
    EmulState s{};
    s.global = &s;
    s.SR = kSrTrace1;
    s.A[7] = kStackTop;
    vantor::WriteBE32(Mem(s.A[7] - 8), k);
    vantor::WriteBE32(Mem(s.A[7] - 4), n);
    gSteps = 1;
    MorvelSetNubEntry(CountStep);
    Call68KCode(&s, kBase, 8);
    MorvelSetNubEntry(nullptr);
    return gSteps;
}

// Seconds of one qemu run of kernel k with n calls; its printed result in *result.
double Qemu(const std::string& flags, uint32_t k, uint32_t n, uint32_t* result) {
    std::string in = kDir + "/args.bin";
    uint8_t args[8];
    vantor::WriteBE32(args, k);
    vantor::WriteBE32(args + 4, n);
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(args), 8);
    double t = Now();
    std::string out = Run("qemu-m68k -cpu m68000 " + flags + " " + kDir + "/kernels.elf < " + in);
    t = Now() - t;
    if (result) *result = out.size() == 4 ? vantor::ReadBE32(out.data()) : 0xDEADBEEF;
    return t;
}

// Instructions per second under qemu: n grows until a run takes long enough to time.
double QemuRate(const std::string& flags, uint32_t k, uint64_t perCall, uint32_t expect, uint32_t n0) {
    double base = 1e9;
    for (int i = 0; i < 3; ++i) base = std::min(base, Qemu(flags, k, 0, nullptr));
    for (uint32_t n = n0;; n *= 2) {
        uint32_t result;
        double t = Qemu(flags, k, n, &result) - base;
        if (t > 0.5 || n > (1u << 24)) {
            if (result != expect * n)
                std::printf("  (qemu result %08x differs from the interpreter's %08x)\n", result, expect * n);
            return static_cast<double>(perCall) * n / t;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    void* p = mmap(reinterpret_cast<void*>(kBase), kSize, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (p != reinterpret_cast<void*>(kBase)) {
        std::fprintf(stderr, "cannot map the kernels at 0x10000000\n");
        return 1;
    }
    std::ifstream f(kDir + "/kernels.bin", std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (image.empty() || image.size() > kSize - 65536) {
        std::fprintf(stderr, "cannot load %s/kernels.bin\n", kDir.c_str());
        return 1;
    }
    std::memcpy(p, image.data(), image.size());

    std::string dis = Run("m68k-linux-gnu-objdump -d -j .text -m m68k:68000 " + kDir + "/kernels.elf");
    if (dis.find(".short") != std::string::npos) {
        std::fprintf(stderr, "the kernels hold words that are no 68000 instructions\n");
        return 1;
    }

    const char* names[] = {"crc32", "sieve", "sort", "movem-copy", "strcmp"};
    if (argc == 3) {
        uint32_t k = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0)) % 5;
        uint32_t n = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0));
        CallKernel(k, 1);
        uint64_t perCall = CountInstructions(k, 2) - CountInstructions(k, 1);
        double t0 = Now();
        uint32_t result = CallKernel(k, n);
        double t = Now() - t0;
        std::printf("%s x %u: result %08x, %llu instructions, %.1f M/s\n", names[k], n, result,
                    static_cast<unsigned long long>(perCall) * n, static_cast<double>(perCall) * n / t / 1e6);
        return 0;
    }
    std::printf("%-11s %14s %14s %14s %9s %9s\n", "kernel", "interpreter", "qemu", "qemu -ss", "vs qemu",
                "vs -ss");
    for (uint32_t k = 0; k < 5; ++k) {
        CallKernel(k, 1);  // fills the kernels' data once
        uint64_t perCall = CountInstructions(k, 2) - CountInstructions(k, 1);
        uint32_t expect = CallKernel(k, 1);
        uint32_t n = 1;
        double t;
        for (;; n *= 2) {
            double t0 = Now();
            CallKernel(k, n);
            t = Now() - t0;
            if (t > 0.5) break;
        }
        // Three rounds side by side; the median of each.
        std::vector<double> oursRuns, qemuRuns, singleRuns;
        for (int round = 0; round < 3; ++round) {
            double t0 = Now();
            CallKernel(k, n);
            oursRuns.push_back(static_cast<double>(perCall) * n / (Now() - t0));
            qemuRuns.push_back(QemuRate("", k, perCall, expect, n));
            singleRuns.push_back(QemuRate("-singlestep", k, perCall, expect, std::max(1u, n / 16)));
        }
        double ours = bench::Median(oursRuns), qemu = bench::Median(qemuRuns), single = bench::Median(singleRuns);
        std::printf("%-11s %10.1f M/s %10.1f M/s %10.1f M/s %8.2fx %8.2fx\n", names[k], ours / 1e6, qemu / 1e6,
                    single / 1e6, ours / qemu, ours / single);
        bench::Result(names[k], ours / 1e6, qemu / 1e6, "MIPS");
    }
    return 0;
}
