// Thumb execution: the class table's decisions, interworking, block transfers and the shared
// software-interrupt and breakpoint paths.
#include "Run.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/devices/Intc.h"

namespace cputest {
namespace {

using ThumbTest = CpuTest;

TEST_F(ThumbTest, StackAdjustmentForms) {
    struct Case {
        uint16_t insn;
        uint32_t sp;
    } const cases[] = {{0xB0FF, 0x10000 - 0x1FC}, {0xB07F, 0x10000 + 0x1FC}, {0xB850, 0x10000 + 0x140},
                       {0xB150, 0x10000 + 0x140}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.insn);
        RunThumb({c.insn}, 0);
        gCpu.r[13] = 0x10000;
        CpuStep();
        EXPECT_EQ(gCpu.r[13], c.sp);
    }
}

TEST_F(ThumbTest, NegAndAdcFlags) {
    struct Case {
        uint16_t insn;
        uint32_t r0, r1, c;
        uint32_t result, flags;  // NZCV
    } const cases[] = {
        {0x4248, 0, 1, 0, 0xFFFFFFFF, 0x8},           // neg r0, r1
        {0x4240, 1, 0, 0, 0xFFFFFFFF, 0x8},           // neg r0, r0: the same flags
        {0x4248, 0, 0, 0, 0, 0x6},                    // neg of 0 carries
        {0x4248, 0, 0x80000000, 0, 0x80000000, 0x9},  // and overflows at the most negative
        {0x4148, 0x7FFFFFFF, 0, 1, 0x80000000, 0x9},  // adc r0, r1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.insn);
        RunThumb({c.insn}, 0);
        gCpu.r[0] = c.r0;
        gCpu.r[1] = c.r1;
        gCpu.nzcv = c.c << 29;
        CpuStep();
        EXPECT_EQ(gCpu.r[0], c.result);
        EXPECT_EQ(gCpu.nzcv >> 28, c.flags);
    }
}

TEST_F(ThumbTest, ConditionFourteenBranchesAlways) {
    RunThumb({0xDE05}, 1);
    EXPECT_EQ(gCpu.cur, kCode + 4 + 10);
}

TEST_F(ThumbTest, BlPairSurvivesAnInterruptBetweenItsHalves) {
    tb::WriteHalves(kCode, {0xF000, 0xF802});  // bl kCode + 8
    tb::Write32(0x18, 0xE25EF004);  // subs pc, lr, #4
    tb::StartAt(kCode, kModeSupervisor, true);
    Intc.mask[0] = 1;
    IntcRaise(0);
    CpuStep();  // prefix, then the IRQ is taken
    EXPECT_EQ(gCpu.mode, kModeIrq);
    IntcLower(0);
    CpuStep();  // back in Thumb at the suffix
    EXPECT_EQ(gCpu.thumb, 1u);
    EXPECT_EQ(gCpu.cur, kCode + 2);
    CpuStep();
    EXPECT_EQ(gCpu.cur, kCode + 8);
    EXPECT_EQ(gCpu.r[14], (kCode + 4) | 1);
}

TEST_F(ThumbTest, ReturnsThroughPcAndLr) {
    // mov pc, lr with an odd lr: the next fetch aborts; bx lr returns to Thumb.
    RunThumb({0x46F7}, 0);
    gCpu.r[14] = 0x9001;
    CpuStep();
    CpuStep();
    EXPECT_EQ(gCpu.mode, kModeAbort);
    EXPECT_EQ(gCpu.fsr & 0xF, 1u);
    RunThumb({0x4770}, 0);
    gCpu.r[14] = 0x9001;
    CpuStep();
    EXPECT_EQ(gCpu.cur, 0x9000u);
    EXPECT_EQ(gCpu.thumb, 1u);
    // blx lr: to the old lr, with the return address | 1 in lr.
    RunThumb({0x47F0}, 0);
    gCpu.r[14] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.cur, 0x9000u);
    EXPECT_EQ(gCpu.thumb, 0u);
    EXPECT_EQ(gCpu.r[14], (kCode + 2) | 1);
}

TEST_F(ThumbTest, BlockTransfers) {
    // push {r4, lr}: r4 at the lower address.
    RunThumb({0xB510}, 0);
    gCpu.r[13] = 0x9010;
    gCpu.r[4] = 4;
    gCpu.r[14] = 14;
    CpuStep();
    EXPECT_EQ(gCpu.r[13], 0x9008u);
    EXPECT_EQ(tb::Read32(0x9008), 4u);
    EXPECT_EQ(tb::Read32(0x900C), 14u);
    // pop {r0, pc} of an even address continues in ARM state.
    tb::WriteWords(0x9100, {0xAA, 0xA000});
    RunThumb({0xBD01}, 0);
    gCpu.r[13] = 0x9100;
    CpuStep();
    EXPECT_EQ(gCpu.r[0], 0xAAu);
    EXPECT_EQ(gCpu.thumb, 0u);
    EXPECT_EQ(gCpu.cur, 0xA000u);
    // ldmia r0!, {r0, r1}: r0 keeps the loaded word.
    RunThumb({0xC803}, 0);
    gCpu.r[0] = 0x9100;
    CpuStep();
    EXPECT_EQ(gCpu.r[0], 0xAAu);
    EXPECT_EQ(gCpu.r[1], 0xA000u);
}

TEST_F(ThumbTest, SemihostingEntersTheSwiVectorInArmState) {
    tb::WriteWords(0x9000, {0x00216968});  // "hi!"
    RunThumb({0x2004, 0x4901, 0xDFAB, 0x46C0, 0x9000, 0x0000}, 3);  // movs r0, #4; ldr r1, [pc, #4]; swi 0xab
    EXPECT_EQ(tb::Console(), "hi!");
    EXPECT_EQ(gCpu.thumb, 0u);
    EXPECT_EQ(gCpu.cur, 0x08u);
    EXPECT_EQ(gCpu.r[14], kCode + 6);
    EXPECT_EQ(gCpu.spsr[kModeSupervisor] & 0x20, 0x20u);
}

uint32_t Substitute(uint32_t, void*, uint8_t*) { return 0x2107; }  // movs r1, #7

TEST_F(ThumbTest, BreakpointRunsTheSubstituteInThumbState) {
    PatchTable.count = 1;
    PatchTable.entries[0] = PatchEntry{kCode, 0, 1, &Substitute, {}};
    RunThumb({0xBE00}, 1);
    EXPECT_EQ(gCpu.r[1], 7u);
    EXPECT_EQ(gCpu.cur, kCode + 2);
}

TEST_F(ThumbTest, UnallocatedEncodingsAreUndefined) {
    for (uint16_t insn : {0xB200, 0xB600, 0xBA00}) {
        RunThumb({insn}, 1);
        EXPECT_EQ(gCpu.mode, kModeUndefined);
        EXPECT_EQ(gCpu.r[14], kCode + 2);
    }
}

}  // namespace
}  // namespace cputest
