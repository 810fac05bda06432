// Differential suite: generated ARM and Thumb programs run under qemu-arm -cpu arm926 and under the
// core at the same addresses; registers, flags and memory must agree. A mismatch names the case,
// its body, the differing registers and the first instruction after which the core's trace leaves
// qemu's (qemu-arm -singlestep -d cpu).
//
// Excluded from generation, each for its reason:
// - encodings the architecture leaves unpredictable: r15 in register-shift forms, as a multiply
//   operand or as a load/store base with write-back; MUL/MLA and long multiplies whose Rd equals Rm;
//   write-back loads whose Rd equals Rn; SWP with Rm or Rd equal to Rn; Thumb high-register forms
//   with two low registers; LDM/STM with the base in the list and write-back;
// - what the core deliberately does differently: misaligned word and halfword accesses abort instead
//   of rotating (every generated address is aligned, doublewords to 8); writes of r15 with low bits
//   set abort at the next fetch (bodies never write r15); MIA and the other CP0 multiplies have no
//   effect (not generated); STR of r15 stores the address + 8 (not generated);
// - privileged behaviour (qemu-arm runs User mode): mode changes, SPSR and coprocessors are covered
//   by the unit tests and the test ROM instead.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ProgramGen.h"
#include "tamsk/cpu/TestBench.h"

using namespace tamsk;

namespace {

namespace fs = std::filesystem;

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::map<std::string, uint32_t> Symbols(const fs::path& elf) {
    std::map<std::string, uint32_t> out;
    FILE* f = popen(("arm-none-eabi-nm " + elf.string()).c_str(), "r");
    char line[256];
    while (f && std::fgets(line, sizeof line, f)) {
        unsigned addr;
        char type, name[200];
        if (std::sscanf(line, "%x %c %199s", &addr, &type, name) == 3) out[name] = addr;
    }
    if (f) pclose(f);
    return out;
}

struct State {
    uint32_t r[16];
    uint32_t cpsr;
};

// The core's states before each instruction from `from` until `to` is reached.
std::vector<State> CoreTrace(const fs::path& elf, uint32_t from, uint32_t to) {
    tb::Init();
    tb::StartAt(tb::LoadElf(elf.string(), nullptr), kModeUser);
    tb::RunUntil(from, 50'000'000);
    std::vector<State> out;
    for (int n = 0; n < 400 && gCpu.cur != to; ++n) {
        State s;
        std::memcpy(s.r, gCpu.r, sizeof s.r);
        s.r[15] = gCpu.cur;
        s.cpsr = CpuComposeCpsr();
        out.push_back(s);
        CpuStep();
    }
    return out;
}

// qemu's states (-d cpu before each single-stepped instruction) from `from` until `to`.
std::vector<State> QemuTrace(const fs::path& elf, const fs::path& log, uint32_t from, uint32_t to) {
    Shell("qemu-arm -cpu arm926 -singlestep -d cpu -D " + log.string() + " " + elf.string() + " >/dev/null");
    std::ifstream in(log);
    std::vector<State> all;
    std::string line;
    State cur{};
    int seen = 0;
    while (std::getline(in, line)) {
        for (size_t p = line.find('R'); p != std::string::npos; p = line.find('R', p + 1)) {
            unsigned n, v;
            if (std::sscanf(line.c_str() + p, "R%2u=%8x", &n, &v) == 2 && n < 16) cur.r[n] = v, ++seen;
        }
        unsigned psr;
        if (std::sscanf(line.c_str(), "PSR=%8x", &psr) == 1 && seen >= 16) {
            cur.cpsr = psr;
            all.push_back(cur);
            seen = 0;
        }
    }
    std::vector<State> out;
    bool inside = false;
    for (const State& s : all) {
        if (s.r[15] == from) inside = true;
        if (!inside) continue;
        if (s.r[15] == to || out.size() >= 400) break;
        out.push_back(s);
    }
    return out;
}

std::string Disassemble(const fs::path& elf, uint32_t addr, bool thumb) {
    char cmd[512];
    std::snprintf(cmd, sizeof cmd,
                  "arm-none-eabi-objdump -d %s --start-address=0x%x --stop-address=0x%x %s | grep -E '^ +[0-9a-f]+:' | head -1",
                  thumb ? "-M force-thumb" : "", addr, addr + 4, elf.c_str());
    FILE* f = popen(cmd, "r");
    std::string out;
    char buf[256];
    while (f && std::fgets(buf, sizeof buf, f)) out += buf;
    if (f) pclose(f);
    return out;
}

// Names the first instruction of case k after which the core's state leaves qemu's.
std::string FirstDifference(const fs::path& elf, const fs::path& dir, int k) {
    const auto sym = Symbols(elf);
    const uint32_t from = sym.at("body" + std::to_string(k)) & ~1u;
    const uint32_t to = sym.at("end" + std::to_string(k)) & ~1u;
    const auto core = CoreTrace(elf, from, to);
    const auto qemu = QemuTrace(elf, dir / "qemu.log", from, to);
    for (size_t i = 0; i < core.size() && i < qemu.size(); ++i) {
        const bool same = std::memcmp(core[i].r, qemu[i].r, sizeof core[i].r) == 0 &&
                          (core[i].cpsr & 0xF8000000u) == (qemu[i].cpsr & 0xF8000000u);
        if (!same) {
            if (i == 0) return "the states differ on entry to the body";
            std::ostringstream s;
            s << "first differing instruction: " << Disassemble(elf, core[i - 1].r[15], core[i - 1].cpsr & 0x20);
            for (int r = 0; r < 16; ++r)
                if (core[i].r[r] != qemu[i].r[r])
                    s << "  r" << r << ": core 0x" << std::hex << core[i].r[r] << " qemu 0x" << qemu[i].r[r] << std::dec << "\n";
            s << "  cpsr: core 0x" << std::hex << core[i].cpsr << " qemu 0x" << qemu[i].cpsr << std::dec << "\n";
            return s.str();
        }
    }
    return "the traces agree instruction by instruction (" + std::to_string(core.size()) + " core, " +
           std::to_string(qemu.size()) + " qemu steps): the difference is in memory";
}

void RunBatch(bool thumb, int cases, uint64_t seed, const fs::path& dir) {
    const diff::Program prog = diff::Generate(thumb, cases, seed);
    const fs::path src = dir / "prog.s", elf = dir / "prog.elf", out = dir / "qemu.out";
    std::ofstream(src) << prog.source;
    ASSERT_EQ(Shell("arm-none-eabi-gcc -march=armv5te -nostdlib -Wl,-Ttext=0x8000 -Wl,-Tdata=0x200000 -o " +
                    elf.string() + " " + src.string()), 0)
        << "assembling " << src;
    ASSERT_EQ(Shell("qemu-arm -cpu arm926 " + elf.string() + " > " + out.string()), 0);
    const std::string expected = ReadFile(out);
    const uint32_t resultBytes = static_cast<uint32_t>(cases) * 64;
    ASSERT_EQ(expected.size(), resultBytes + diff::kScratchSize);

    tb::Init();
    std::string error;
    const uint32_t entry = tb::LoadElf(elf.string(), &error);
    ASSERT_NE(entry, 0xFFFFFFFFu) << error;
    tb::StartAt(entry, kModeUser);
    ASSERT_TRUE(tb::RunToBreakpoint(0x08, 50'000'000)) << "the program did not reach its exit call";

    std::string got(resultBytes + diff::kScratchSize, '\0');
    for (uint32_t i = 0; i < resultBytes; i += 4) {
        const uint32_t w = tb::Read32(prog.results + i);
        std::memcpy(&got[i], &w, 4);
    }
    for (uint32_t i = 0; i < diff::kScratchSize; i += 4) {
        const uint32_t w = tb::Read32(prog.scratch + i);
        std::memcpy(&got[resultBytes + i], &w, 4);
    }
    if (got == expected) return;
    size_t at = 0;
    while (got[at] == expected[at]) ++at;
    const int k = at < resultBytes ? static_cast<int>(at / 64) : cases - 1;
    std::ostringstream s;
    s << (thumb ? "Thumb" : "ARM") << " batch seed " << seed << ", case " << k << " ("
      << (at < resultBytes ? "registers" : "scratch memory at offset " + std::to_string(at - resultBytes)) << ")\n";
    if (at < resultBytes) {
        for (int r = 0; r < 16; ++r) {
            uint32_t a, b;
            std::memcpy(&a, &expected[static_cast<size_t>(k) * 64 + 4 * r], 4);
            std::memcpy(&b, &got[static_cast<size_t>(k) * 64 + 4 * r], 4);
            if (a != b) s << "  " << (r == 15 ? "cpsr" : "r" + std::to_string(r)) << ": qemu 0x" << std::hex << a << " core 0x" << b << std::dec << "\n";
        }
    }
    s << "body:\n" << prog.bodies[static_cast<size_t>(k)] << FirstDifference(elf, dir, k);
    ADD_FAILURE() << s.str() << "\nfiles kept in " << dir;
}

void RunSuite(bool thumb) {
    const int total = EnvInt("TAMSK_DIFF_CASES", 3000);
    const uint64_t seed = static_cast<uint64_t>(EnvInt("TAMSK_DIFF_SEED", 20240517));
    constexpr int kBatch = 250;
    const fs::path dir = fs::temp_directory_path() / ("tamsk-diff-" + std::to_string(getpid()) + (thumb ? "-thumb" : "-arm"));
    fs::create_directories(dir);
    for (int done = 0, b = 0; done < total; done += kBatch, ++b) {
        RunBatch(thumb, std::min(kBatch, total - done), seed * 1000 + static_cast<uint64_t>(b), dir);
        if (::testing::Test::HasFailure()) return;
    }
    fs::remove_all(dir);
}

TEST(ArmDiff, ArmStateAgreesWithQemu) { RunSuite(false); }
TEST(ArmDiff, ThumbStateAgreesWithQemu) { RunSuite(true); }

}  // namespace
