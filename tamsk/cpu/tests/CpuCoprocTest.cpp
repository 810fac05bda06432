// Coprocessors: identification, control register effects, cache and TLB operations, CP14 power
// modes, the CP6 view of the interrupt controller and the CP0 accumulator.
#include "Run.h"
#include "tamsk/board/Options.h"
#include "tamsk/devices/Intc.h"

namespace cputest {
namespace {

using CoprocTest = CpuTest;

// mrc p<cp>, 0, r0, c<crn>, c0, <op2>
uint32_t Mrc(uint32_t cp, uint32_t crn, uint32_t op2, uint32_t rd = 0) {
    return 0xEE100010 | crn << 16 | rd << 12 | cp << 8 | op2 << 5;
}
uint32_t Mcr(uint32_t cp, uint32_t crn, uint32_t crm, uint32_t op2) {
    return 0xEE000010 | crn << 16 | cp << 8 | op2 << 5 | crm;
}

TEST_F(CoprocTest, Identification) {
    for (auto [op2, value] : {std::pair{0u, 0x69056821u}, {1u, 0x0B1AA1AAu}, {2u, 0u}}) {
        RunArm({Mrc(15, 0, op2)}, 1);
        EXPECT_EQ(gCpu.r[0], value);
    }
}

TEST_F(CoprocTest, MrcIntoPcSetsOnlyTheFlags) {
    CpuCoprocWrite(15, 5, 0, 0, 0x6000000F);  // FSR
    RunArm({Mrc(15, 5, 0, 15)}, 1);
    EXPECT_EQ(gCpu.nzcv, kFlagZ | kFlagC);
    EXPECT_EQ(gCpu.cur, kCode + 4);
}

TEST_F(CoprocTest, HighVectorsMoveEveryException) {
    RunArm({Mcr(15, 1, 0, 0), 0xE7F000F0}, 2);  // control = r0 (bit 13), then an undefined instruction
    gCpu.r[0] = 1u << 13;
    tb::StartAt(kCode);
    CpuStep();
    CpuStep();
    EXPECT_EQ(gCpu.highVectors, 1u);
    EXPECT_EQ(gCpu.cur, 0xFFFF0004u);
}

int gLcdOffCalls;

TEST_F(CoprocTest, TurningTheMmuOffSwitchesTheLcdOff) {
    gCpuHooks.lcdOff = [] { ++gLcdOffCalls; };
    CpuCoprocWrite(15, 1, 0, 0, 0);  // off while off: nothing
    CpuCoprocWrite(15, 1, 0, 0, 1);
    CpuCoprocWrite(15, 1, 0, 1, 0);  // opcode2 1 is ignored
    EXPECT_EQ(gLcdOffCalls, 0);
    CpuCoprocWrite(15, 1, 0, 0, 0);
    EXPECT_EQ(gLcdOffCalls, 1);
}

TEST_F(CoprocTest, UserModeTransfersDoNothingButTheAccumulatorOnes) {
    // mrc p15 c0; mcrr p15, 0, r1, r2, c3 (the domain register); mar acc0, r1, r2.
    RunArm({Mrc(15, 0, 0), 0xEC421F03, 0xEC421000}, 0, kModeUser);
    gCpu.r[1] = gCpu.r[2] = 0xFFFFFFFF;
    for (int k = 0; k < 3; ++k) CpuStep();
    EXPECT_EQ(gCpu.r[0], 0u);
    EXPECT_EQ(CpuCoprocRead(15, 3, 0), 0u);
    EXPECT_EQ(gCpu.acc0Lo, 0xFFFFFFFFu);
    EXPECT_EQ(gCpu.mode, kModeUser);
}

TEST_F(CoprocTest, AccumulatorTransfers) {
    // mar acc0, r1, r2 then mra r3, r4, acc0.
    RunArm({0xEC421000, 0xEC543000}, 0);
    gCpu.r[1] = 0x12345678;
    gCpu.r[2] = 0x1FF;
    CpuStep();
    CpuStep();
    EXPECT_EQ(gCpu.r[3], 0x12345678u);
    EXPECT_EQ(gCpu.r[4], 0xFFFFFFFFu);
    // MIA (an MCR on coprocessor 0) leaves acc0 alone.
    RunArm({0xEE201010}, 1);
    EXPECT_EQ(gCpu.acc0Lo, 0x12345678u);
}

TEST_F(CoprocTest, InterruptControllerView) {
    CpuCoprocWrite(6, 1, 0, 0, 0x5);  // mask
    CpuCoprocWrite(6, 2, 0, 0, 0x4);  // level: source 2 is an FIQ
    IntcRaise(0);
    IntcRaise(2);
    EXPECT_EQ(CpuCoprocRead(6, 0, 0), 0x1u);
    EXPECT_EQ(CpuCoprocRead(6, 3, 0), 0x4u);
    EXPECT_EQ(CpuCoprocRead(6, 4, 0), 0x5u);
    EXPECT_EQ(CpuCoprocRead(6, 11, 0), 0u);
}

TEST_F(CoprocTest, PowerModeIdleReturnsWithoutEnableIdle) {
    Opt.EnableIdle = false;
    RunArm({0xE3A00001, Mcr(14, 7, 0, 0)}, 2);
    EXPECT_EQ(gCpu.cp14Power, 1u);
    EXPECT_EQ(gCpu.cur, kCode + 8);
}

TEST_F(CoprocTest, CacheOperationsThatKeepOrEmptyTheTranslationCaches) {
    // A translation is cached; only the emptying operations make the next access walk again, which
    // shows when the table changed under it.
    constexpr uint32_t kTable = 0x80000000;
    tb::Write32(kTable + 4 * (kCode >> 20), 0x00000C12);
    tb::Write32(kTable + 4 * 0x100, 0x80100C12);  // VA 0x10000000 -> DRAM 0x80100000
    tb::Write32(0x80100000, 0xAAAA);
    CpuCoprocWrite(15, 2, 0, 0, kTable);
    CpuCoprocWrite(15, 3, 0, 0, 0xFFFFFFFF);
    CpuCoprocWrite(15, 1, 0, 0, 1);
    auto load = [] {
        RunArm({0xE5901000}, 0);
        gCpu.r[0] = 0x10000000;
        CpuStep();
        return gCpu.r[1];
    };
    struct Case {
        uint32_t crn, crm, op2;
        bool empties;
    } const cases[] = {{7, 10, 4, false}, {7, 5, 0, false}, {7, 5, 3, true}, {7, 7, 0, false},
                       {7, 7, 3, true},   {8, 7, 0, true},  {7, 0, 4, false}, {7, 1, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.crn << "," << c.crm << "," << c.op2);
        tb::Write32(kTable + 4 * 0x100, 0x80100C12);
        CpuFlushTranslationCaches();
        EXPECT_EQ(load(), 0xAAAAu);
        tb::Write32(kTable + 4 * 0x100, 0);  // now a fault, if walked again
        CpuCoprocWrite(15, c.crn, c.crm, c.op2, 0);
        load();
        EXPECT_EQ(gCpu.mode == kModeAbort, c.empties);
    }
}

}  // namespace
}  // namespace cputest
