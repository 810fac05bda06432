// Decoded instructions in batched runs: code rewritten by the program itself or by the host, code
// that runs on across a page boundary into a page mapped elsewhere, and pages that are remapped or
// mapped twice. Each program ends in a `b .` loop; CpuRunFor runs it in batches well past its end.
#include <vector>

#include "Run.h"

namespace cputest {
namespace {

constexpr uint32_t kTable = 0x80000000;   // first-level table in DRAM
constexpr uint32_t kCoarse = 0x80004000;  // one coarse table
constexpr uint32_t kPageA = 0x80100000, kPageB = 0x80200000;

uint32_t Section(uint32_t pa) { return pa | 3u << 10 | 0x12; }

class DecodeTest : public CpuTest {
protected:
    // The MMU on, the code at kCode and the table identity-mapped.
    void MmuOn() {
        Map(kCode, Section(0));
        Map(kTable, Section(kTable));
        CpuCoprocWrite(15, 2, 0, 0, kTable);
        CpuCoprocWrite(15, 3, 0, 0, 0x55555555);
        CpuCoprocWrite(15, 1, 0, 0, 1);
    }
    void Map(uint32_t va, uint32_t descriptor) { tb::Write32(kTable + 4 * (va >> 20), descriptor); }
    // Runs the program at kCode in batches.
    void Run(bool thumb, uint64_t count = 500) {
        tb::StartAt(kCode, kModeSupervisor, thumb);
        CpuRunFor(count);
    }
};

TEST_F(DecodeTest, CodeRewrittenByTheProgramRunsAsWritten) {
    // Each program adds 1 to r0 and rewrites that instruction into "add 5" through a store, in a
    // loop until r0 reaches 10: 1, 6, 11 when the rewritten word is run, 10 when a stale one is.
    tb::WriteWords(kCode, {
                              0xE3A00000,  // mov r0, #0
                              0xE59F1014,  // ldr r1, [pc, #20]   (the word at +0x20)
                              0xE2800001,  // loop: add r0, r0, #1
                              0xE50F100C,  // str r1, [pc, #-12]  (over the add)
                              0xE350000A,  // cmp r0, #10
                              0xBAFFFFFB,  // blt loop
                              0xEAFFFFFE,  // b .
                              0xE1A00000,  //
                              0xE2800005,  // add r0, r0, #5
                          });
    Run(false);
    EXPECT_EQ(gCpu.r[0], 11u);
    EXPECT_EQ(gCpu.cur, kCode + 0x18);

    tb::WriteHalves(kCode, {
                               0x2000,  // movs r0, #0
                               0x4904,  // ldr r1, [pc, #16]  (the word at +0x14)
                               0x3001,  // loop: adds r0, #1
                               0x8011,  // strh r1, [r2]      (r2 = the add)
                               0x280A,  // cmp r0, #10
                               0xDBFB,  // blt loop
                               0xE7FE,  // b .
                               0x46C0, 0x46C0, 0x46C0,
                               0x3005, 0x0000,  // adds r0, #5
                           });
    gCpu.r[2] = kCode + 4;
    Run(true);
    EXPECT_EQ(gCpu.r[0], 11u);
    EXPECT_EQ(gCpu.cur, kCode + 0xC);
}

TEST_F(DecodeTest, CodeRewrittenByTheHostBetweenRunsRunsAsWritten) {
    tb::WriteWords(kCode, {0xE2800001, 0xEAFFFFFE});  // add r0, r0, #1; b .
    gCpu.r[0] = 0;
    Run(false);
    tb::Write32(kCode, 0xE2800010);  // add r0, r0, #16
    Run(false);
    EXPECT_EQ(gCpu.r[0], 17u);
}

TEST_F(DecodeTest, CodeRunsOnAcrossAPageBoundaryIntoAnotherMapping) {
    // Virtual 0x30000000-0x30001FFF in two small pages that lie far apart: the instructions before
    // the boundary are in kPageA's last bytes, the ones after it at kPageB.
    MmuOn();
    Map(0x30000000, kCoarse | 0x11);
    tb::Write32(kCoarse, kPageA | 0xFF0 | 2);
    tb::Write32(kCoarse + 4, kPageB | 0xFF0 | 2);
    struct Case {
        bool thumb;
        std::vector<uint16_t> before, after;  // halfwords
        uint32_t start;
    } const cases[] = {
        // mov r0, #1; add r0, r0, #2 | add r0, r0, #4; b .
        {false, {0x0001, 0xE3A0, 0x0002, 0xE280}, {0x0004, 0xE280, 0xFFFE, 0xEAFF}, 0x30000FF8},
        // movs r0, #1; adds r0, #2 | adds r0, #4; b .
        {true, {0x2001, 0x3002}, {0x3004, 0xE7FE}, 0x30000FFC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.thumb ? "Thumb" : "ARM");
        for (size_t k = 0; k < c.before.size(); ++k) tb::Write16(kPageA + 0x1000 - 2 * (c.before.size() - k), c.before[k]);
        for (size_t k = 0; k < c.after.size(); ++k) tb::Write16(kPageB + 2 * k, c.after[k]);
        tb::WriteWords(kCode, {c.thumb ? 0xE12FFF15u : 0xE1A0F005u});  // bx r5 / mov pc, r5
        gCpu.r[5] = c.start | c.thumb;
        Run(false);
        EXPECT_EQ(gCpu.r[0], 7u);
        EXPECT_EQ(gCpu.cur, 0x30001000u + (c.thumb ? 2 : 4));
    }
}

TEST_F(DecodeTest, ARemappedPageRunsItsNewCode) {
    // The program calls 0x10000000, points it at other memory, empties the TLBs and calls it again.
    MmuOn();
    Map(0x10000000, Section(kPageA));
    tb::WriteWords(kPageA, {0xE2800001, 0xE1A0F00E});  // add r0, r0, #1; mov pc, lr
    tb::WriteWords(kPageB, {0xE2800010, 0xE1A0F00E});  // add r0, r0, #16; mov pc, lr
    tb::WriteWords(kCode, {
                              0xE1A0E00F,  // mov lr, pc
                              0xE1A0F005,  // mov pc, r5
                              0xE5876000,  // str r6, [r7]
                              0xEE080F17,  // mcr p15, 0, r0, c8, c7, 0
                              0xE1A0E00F,  // mov lr, pc
                              0xE1A0F005,  // mov pc, r5
                              0xEAFFFFFE,  // b .
                          });
    gCpu.r[0] = 0;
    gCpu.r[5] = 0x10000000;
    gCpu.r[6] = Section(kPageB);
    gCpu.r[7] = kTable + 4 * (0x10000000 >> 20);
    Run(false);
    EXPECT_EQ(gCpu.r[0], 17u);
    EXPECT_EQ(gCpu.cur, kCode + 0x18);
}

TEST_F(DecodeTest, OnePageMappedTwiceBranchesWithinEachMapping) {
    // The same code called at two virtual addresses: its branch and its read of r15 are relative
    // to the address it runs at.
    MmuOn();
    Map(0x10000000, Section(kPageA));
    Map(0x20000000, Section(kPageA));
    tb::WriteWords(kPageA, {
                               0xEA000000,  // b +8
                               0xE3A0002A,  // mov r0, #42 (skipped)
                               0xE1A0300F,  // mov r3, pc
                               0xE0844003,  // add r4, r4, r3
                               0xE1A0F00E,  // mov pc, lr
                           });
    tb::WriteWords(kCode, {0xE1A0E00F, 0xE1A0F005, 0xE1A0E00F, 0xE1A0F006, 0xEAFFFFFE});
    gCpu.r[0] = gCpu.r[4] = 0;
    gCpu.r[5] = 0x10000000;
    gCpu.r[6] = 0x20000000;
    Run(false);
    EXPECT_EQ(gCpu.r[0], 0u);
    EXPECT_EQ(gCpu.r[4], 0x10000010u + 0x20000010u);
    EXPECT_EQ(gCpu.cur, kCode + 0x10);
}

TEST_F(DecodeTest, BranchesAtPageEdgesLandOnTheirTargets) {
    // A compare and a conditional branch (run as a pair when both lie in one page), or a lone
    // unconditional branch, at the edges of the 1 KB page at kPageA + 0x400, to targets inside the
    // page, at its edges and in the pages on either side. The target counts in r1 and stops.
    const uint32_t page = kPageA + 0x400;
    struct Case {
        bool thumb, paired;
        int32_t at, target;  // offsets from the page: the branch and its target
    } const cases[] = {
        {false, true, 0x3FC, 0x000},  {false, true, 0x3FC, 0x400},  {false, true, 0x004, -0x008},
        {false, true, 0x008, 0x3F8},  {false, true, 0x000, 0x200},  {false, false, 0x3FC, 0x3F0},
        {false, false, 0x000, -0x400}, {true, true, 0x3FE, 0x400},   {true, true, 0x002, -0x004},
        {true, true, 0x004, 0x0F0},   {true, true, 0x000, 0x010},   {true, false, 0x3FE, 0x000},
        {true, false, 0x000, 0x3FC},  {true, false, 0x3FE, 0x402},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.thumb ? "Thumb" : "ARM") << " branch at +" << std::hex << c.at
                                        << " to " << c.target);
        const uint32_t at = page + c.at, target = page + c.target;
        const int32_t delta = c.target - c.at - (c.thumb ? 4 : 8);
        if (c.thumb) {
            tb::Write16(at - 2, 0x2800);  // cmp r0, #0
            tb::Write16(at, c.paired ? 0xD000 | ((delta >> 1) & 0xFF) : 0xE000 | ((delta >> 1) & 0x7FF));
            tb::WriteHalves(target, {0x3101, 0xE7FE});  // adds r1, #1; b .
        } else {
            tb::Write32(at - 4, 0xE3500000);  // cmp r0, #0
            tb::Write32(at, (c.paired ? 0x0A000000u : 0xEA000000u) | ((delta >> 2) & 0xFFFFFF));
            tb::WriteWords(target, {0xE2811001, 0xEAFFFFFE});  // add r1, r1, #1; b .
        }
        gCpu.r[0] = gCpu.r[1] = 0;
        tb::StartAt(at - (c.thumb ? 2 : 4), kModeSupervisor, c.thumb);
        CpuRunFor(50);
        EXPECT_EQ(gCpu.r[1], 1u);
        EXPECT_EQ(gCpu.cur, target + (c.thumb ? 2 : 4));
    }
}

TEST_F(DecodeTest, ACompareAndBranchPairRunsAsWrittenInEveryBatchSplit) {
    // The loop runs a compare and a branch twice: the first time the branch is taken and the
    // program then rewrites it into its opposite, which the second time is not taken either (r3
    // counts falls through, r4 branches taken). Run in batches of every small size, so that a batch
    // also ends between the two instructions of the pair.
    struct Program {
        bool thumb;
        std::vector<uint32_t> code;  // words (ARM) or halfwords (Thumb)
        uint32_t rewritten, branchAt, end;
    } const programs[] = {
        {false,
         {
             0xE3A00000,  // mov r0, #0
             0xE3A02000,  // mov r2, #0
             0xE3500000,  // loop: cmp r0, #0
             0x0A000001,  // beq hit          (rewritten into bne hit)
             0xE2833001,  // add r3, r3, #1
             0xEA000000,  // b after
             0xE2844001,  // hit: add r4, r4, #1
             0xE2822001,  // after: add r2, r2, #1
             0xE5865000,  // str r5, [r6]
             0xE3520002,  // cmp r2, #2
             0xBAFFFFF6,  // blt loop
             0xEAFFFFFE,  // b .
         },
         0x1A000001, 0x0C, 0x2C},
        {true,
         {
             0x2000,  // movs r0, #0
             0x2200,  // movs r2, #0
             0x2800,  // loop: cmp r0, #0
             0xD001,  // beq hit          (rewritten into bne hit)
             0x3301,  // adds r3, #1
             0xE001,  // b after
             0x3401,  // hit: adds r4, #1
             0x46C0,  // nop
             0x3201,  // after: adds r2, #1
             0x8035,  // strh r5, [r6]
             0x2A02,  // cmp r2, #2
             0xDBF5,  // blt loop
             0xE7FE,  // b .
         },
         0xD101, 0x06, 0x18},
    };
    for (const Program& p : programs) {
        for (uint64_t batch : {1, 2, 3, 5, 500}) {
            SCOPED_TRACE(testing::Message() << (p.thumb ? "Thumb" : "ARM") << " in batches of " << batch);
            for (size_t k = 0; k < p.code.size(); ++k) {
                if (p.thumb) tb::Write16(kCode + 2 * k, p.code[k]);
                else tb::Write32(kCode + 4 * k, p.code[k]);
            }
            gCpu.r[3] = gCpu.r[4] = 0;
            gCpu.r[5] = p.rewritten;
            gCpu.r[6] = kCode + p.branchAt;
            tb::StartAt(kCode, kModeSupervisor, p.thumb);
            for (int k = 0; k < 40; k += static_cast<int>(batch)) CpuRunFor(batch);
            EXPECT_EQ(gCpu.r[2], 2u);
            EXPECT_EQ(gCpu.r[3], 1u);
            EXPECT_EQ(gCpu.r[4], 1u);
            EXPECT_EQ(gCpu.cur, kCode + p.end);
        }
    }
}

}  // namespace
}  // namespace cputest
