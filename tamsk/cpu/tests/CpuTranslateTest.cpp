// ARM code translated into host code against the same code interpreted: random runs of data
// processing, multiplies and memory accesses (with instructions the translator leaves to the
// interpreter mixed in) must leave the same registers, flags, memory and instruction count, in
// batches of every length; and code a block rewrites ahead of itself runs as written.
#include <random>
#include <vector>

#include "Run.h"

namespace cputest {
namespace {

constexpr uint32_t kData = 0x80010000, kDataEnd = 0x80048000;
constexpr uint32_t kBases[4] = {0x80020000, 0x80028000, 0x80030000, 0x80038000};  // r8..r11

// A random instruction. Results go to r0..r6; r7 holds a small offset; r8..r11 are memory bases.
uint32_t RandomInstruction(std::mt19937& rng) {
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    static constexpr uint32_t kConds[] = {14, 14, 14, 14, 14, 14, 0, 1, 10, 11};
    const uint32_t cond = kConds[pick(10)] << 28;
    const uint32_t rd = pick(7);
    switch (pick(5)) {
        case 0:
        case 1: {  // data processing
            const uint32_t op = pick(16);
            const uint32_t s = (op >= 8 && op <= 11) || pick(2) ? 1u : 0u;
            uint32_t operand;
            switch (pick(4)) {
                case 0: operand = 1u << 25 | pick(16) << 8 | pick(256); break;
                case 1: operand = pick(12) | pick(4) << 5; break;
                case 2: operand = pick(12) | pick(4) << 5 | pick(32) << 7; break;
                default: operand = pick(12) | pick(4) << 5 | 0x10 | pick(8) << 8; break;  // register shift
            }
            return cond | op << 21 | s << 20 | pick(12) << 16 | (op >= 8 && op <= 11 ? 0 : rd) << 12 | operand;
        }
        case 2:  // MUL, MLA
            return cond | pick(2) << 21 | pick(2) << 20 | rd << 16 | pick(8) << 12 | pick(8) << 8 | 0x90 | pick(8);
        case 3: {  // LDR, STR, LDRB, STRB
            const uint32_t p = pick(2), load = pick(2);
            const uint32_t w = p ? pick(2) : 0;
            const uint32_t offset = pick(2) ? 4 * pick(16) : (1u << 25 | pick(3) << 7 | 7);
            return cond | 1u << 26 | p << 24 | pick(2) << 23 | pick(2) << 22 | w << 21 | load << 20 |
                   (8 + pick(4)) << 16 | (load ? rd : pick(12)) << 12 | offset;
        }
        default: {  // LDRH, STRH, LDRSB, LDRSH
            const uint32_t p = pick(2), load = pick(2);
            const uint32_t w = p ? pick(2) : 0;
            const uint32_t sh = load ? 1 + pick(3) : 1;
            const uint32_t imm = 4 * pick(16);
            const uint32_t offset = pick(2) ? (1u << 22 | (imm & 0xF0) << 4 | (imm & 0xF)) : 7;
            return cond | p << 24 | pick(2) << 23 | w << 21 | load << 20 | (8 + pick(4)) << 16 |
                   (load ? rd : pick(12)) << 12 | 0x90 | sh << 5 | offset;
        }
    }
}

struct Outcome {
    uint32_t r[16];
    uint32_t nzcv, cur;
    uint64_t executed;
    std::vector<uint32_t> data;
};

// Runs `program` from kCode for `total` instructions in runs of `chunk`, from the same start.
Outcome RunProgram(const std::vector<uint32_t>& program, uint32_t seed, uint64_t total, uint64_t chunk) {
    tb::Init();
    for (size_t k = 0; k < program.size(); ++k) tb::Write32(kCode + 4 * static_cast<uint32_t>(k), program[k]);
    std::mt19937 rng(seed);
    for (uint32_t a = kData; a < kDataEnd; a += 4) tb::Write32(a, rng());
    tb::StartAt(kCode);
    for (int r = 0; r < 7; ++r) gCpu.r[r] = rng();
    gCpu.r[7] = 8;
    for (int r = 8; r < 12; ++r) gCpu.r[r] = kBases[r - 8];
    gCpu.r[12] = 6;  // loop passes
    gCpu.nzcv = rng() & 0xF0000000u;
    const uint64_t start = ExecutedInstructions;
    for (uint64_t done = 0; done < total; done += chunk) CpuRunFor(std::min(chunk, total - done));
    Outcome o{};
    for (int r = 0; r < 16; ++r) o.r[r] = gCpu.r[r];
    o.nzcv = gCpu.nzcv;
    o.cur = gCpu.cur;
    o.executed = ExecutedInstructions - start;
    for (uint32_t a = kData; a < kDataEnd; a += 4) o.data.push_back(tb::Read32(a));
    return o;
}

class TranslateTest : public CpuTest {
protected:
    void TearDown() override { CpuSetTranslation(true); }
};

TEST_F(TranslateTest, TranslatedRandomCodeMatchesTheInterpreter) {
    std::mt19937 rng(20261211);
    for (int round = 0; round < 60; ++round) {
        // A loop of 40 random instructions ended by subs r12, r12, #1; bne; then b .
        std::vector<uint32_t> program;
        for (int k = 0; k < 40; ++k) program.push_back(RandomInstruction(rng));
        program.push_back(0xE25CC001);
        program.push_back(0x1A000000u | ((-(static_cast<int32_t>(program.size()) + 1)) & 0xFFFFFF));
        program.push_back(0xEAFFFFFE);
        const uint32_t seed = rng();
        for (const uint64_t chunk : {uint64_t(400), uint64_t(7), uint64_t(1)}) {
            SCOPED_TRACE(::testing::Message() << "round " << round << ", runs of " << chunk);
            CpuSetTranslation(false);
            const Outcome want = RunProgram(program, seed, 400, chunk);
            CpuSetTranslation(true);
            const Outcome got = RunProgram(program, seed, 400, chunk);
            // r15 is written only for instructions that read it: cur is the address.
            for (int r = 0; r < 15; ++r) EXPECT_EQ(got.r[r], want.r[r]) << "r" << r;
            EXPECT_EQ(got.nzcv, want.nzcv);
            EXPECT_EQ(got.cur, want.cur);
            EXPECT_EQ(got.executed, want.executed);
            EXPECT_TRUE(got.data == want.data);
            if (HasFailure()) return;
        }
    }
}

TEST_F(TranslateTest, AStoreAheadInItsOwnBlockRunsTheRewrittenInstruction) {
    tb::WriteWords(kCode, {
                              0xE3A00000,  // mov r0, #0
                              0xE5821000,  // str r1, [r2]      (over the first add)
                              0xE2800001,  // add r0, r0, #1    -> add r0, r0, #5
                              0xE2833001,  // add r3, r3, #1
                              0xEAFFFFFE,  // b .
                          });
    for (const bool translate : {true, false}) {
        SCOPED_TRACE(translate ? "translated" : "interpreted");
        CpuSetTranslation(translate);
        tb::Write32(kCode + 8, 0xE2800001);
        tb::StartAt(kCode);
        gCpu.r[1] = 0xE2800005;
        gCpu.r[2] = kCode + 8;
        gCpu.r[3] = 0;
        CpuRunFor(20);
        EXPECT_EQ(gCpu.r[0], 5u);
        EXPECT_EQ(gCpu.r[3], 1u);
        EXPECT_EQ(gCpu.cur, kCode + 16);
    }
}

}  // namespace
}  // namespace cputest
