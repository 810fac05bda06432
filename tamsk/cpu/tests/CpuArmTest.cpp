// ARM execution: the core's own decisions that generated User-mode programs cannot reach (writes of
// r15, aborts, privileged forms, the breakpoint hook, semihosting and time).
#include <algorithm>

#include "Run.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/RunLoop.h"

namespace cputest {
namespace {

using ArmTest = CpuTest;

TEST_F(ArmTest, EveryInstructionCountsAndTimeFollows) {
    Opt.TimeRatio = 10;
    TimingReset(kRunPowerOn);
    const uint64_t ticks = EmulatedTicks;
    // movs r0, #0; movne r1, #1 (fails) ... 100 instructions of the two.
    for (uint32_t a = kCode; a < kCode + 400; a += 8) tb::WriteWords(a, {0xE3B00000, 0x13A01001});
    tb::StartAt(kCode);
    for (int k = 0; k < 100; ++k) CpuStep();
    EXPECT_EQ(ExecutedInstructions, 100u);
    EXPECT_EQ(gCpu.r[1], 0u);
    EXPECT_EQ(EmulatedTicks - ticks, 10u);
}

TEST_F(ArmTest, BlxImmediateWithHLandsOnAHalfword) {
    RunArm({0xFB000000}, 1);  // blx with H = 1 to kCode + 8 + 2
    EXPECT_EQ(gCpu.thumb, 1u);
    EXPECT_EQ(gCpu.cur, kCode + 10);
    EXPECT_EQ(gCpu.r[14], kCode + 4);
}

TEST_F(ArmTest, MisalignedPcWriteAbortsAtTheNextFetch) {
    RunArm({0xE280F002}, 2);  // add pc, r0, #2 with r0 = 0
    EXPECT_EQ(gCpu.mode, kModeAbort);
    EXPECT_EQ(gCpu.cur, 0x0Cu);
    EXPECT_EQ(gCpu.fsr & 0xF, 1u);
    EXPECT_EQ(gCpu.r[14], 2u + 4);
}

TEST_F(ArmTest, MovsPcRestoresTheSpsrOnlyInExceptionModes) {
    tb::WriteWords(kCode, {0xE1B0F00E});  // movs pc, lr
    tb::StartAt(kCode, kModeUser);
    gCpu.r[14] = 0x9000;
    gCpu.nzcv = kFlagZ;
    CpuStep();
    EXPECT_EQ(gCpu.cur, 0x9000u);
    EXPECT_EQ(gCpu.nzcv, kFlagZ);
    EXPECT_EQ(gCpu.mode, kModeUser);

    tb::StartAt(kCode, kModeSupervisor);
    gCpu.r[14] = 0x9001;
    gCpu.spsr[kModeSupervisor] = 0x80000030;  // N, Thumb, User
    CpuStep();
    EXPECT_EQ(gCpu.mode, kModeUser);
    EXPECT_EQ(gCpu.thumb, 1u);
    EXPECT_EQ(gCpu.nzcv, kFlagN);
    EXPECT_EQ(gCpu.cur, 0x9001u);  // no bits cleared: the next Thumb fetch aborts
}

TEST_F(ArmTest, UnpredictableFormsTheCoreSettles) {
    // cmp r0, #1 with an Rd field of 15 only sets the flags.
    RunArm({0xE350F001}, 1);
    EXPECT_EQ(gCpu.cur, kCode + 4);
    EXPECT_EQ(gCpu.nzcv, kFlagN);
    // ldr r0, [r0], #4: the write-back comes after the load.
    tb::Write32(0x9000, 0x1234);
    RunArm({0xE4900004}, 0);
    gCpu.r[0] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.r[0], 0x9004u);
    // blx lr: to the old lr, which then holds the return address.
    RunArm({0xE12FFF3E}, 0);
    gCpu.r[14] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.cur, 0x9000u);
    EXPECT_EQ(gCpu.r[14], kCode + 4);
}

TEST_F(ArmTest, LoadsIntoPcInterwork) {
    tb::Write32(0x9000, 0xA001);
    RunArm({0xE590F000}, 0);  // ldr pc, [r0]
    gCpu.r[0] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.thumb, 1u);
    EXPECT_EQ(gCpu.cur, 0xA000u);
}

TEST_F(ArmTest, DoublewordForms) {
    // ldrd r1, r2, [r0]: an odd Rd is undefined and loads nothing.
    RunArm({0xE1C010D0}, 0);
    gCpu.r[0] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.mode, kModeUndefined);
    EXPECT_EQ(gCpu.r[14], kCode + 4);
    // ldrd r2, r3, [r0] at a multiple of 4 that is not one of 8: alignment abort.
    RunArm({0xE1C020D0}, 0);
    gCpu.r[0] = 0x9004;
    CpuStep();
    EXPECT_EQ(gCpu.mode, kModeAbort);
    EXPECT_EQ(gCpu.fsr & 0xF, 1u);
}

TEST_F(ArmTest, BlockTransferEdges) {
    tb::WriteWords(0x9000, {11, 22, 33});
    // ldmia r0!, {} (empty list): nothing, base unchanged.
    RunArm({0xE8B00000}, 0);
    gCpu.r[0] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.r[0], 0x9000u);
    // ldmia r0!, {r0, r1}: the written-back address wins.
    RunArm({0xE8B00003}, 0);
    gCpu.r[0] = 0x9000;
    CpuStep();
    EXPECT_EQ(gCpu.r[0], 0x9008u);
    EXPECT_EQ(gCpu.r[1], 22u);
    // stmia r1!, {r0, r1} stores the old r1.
    RunArm({0xE8A10003}, 0);
    gCpu.r[0] = 5;
    gCpu.r[1] = 0x9100;
    CpuStep();
    EXPECT_EQ(tb::Read32(0x9104), 0x9100u);
}

TEST_F(ArmTest, UserBankTransfers) {
    // stmia r0, {r13, r14}^ from IRQ mode stores the User registers; ldmia r0, {r13}^ loads them.
    tb::StartAt(kCode, kModeUser);
    gCpu.r[13] = 0x1313;
    gCpu.r[14] = 0x1414;
    CpuSwitchMode(kModeIrq, false);
    gCpu.r[13] = 0x9913;
    tb::WriteWords(kCode, {0xE8C06000, 0xE8D02000});
    gCpu.cur = gCpu.next = kCode;
    tb::Write32(0x9008, 0);
    gCpu.r[0] = 0x9000;
    CpuStep();
    EXPECT_EQ(tb::Read32(0x9000), 0x1313u);
    EXPECT_EQ(tb::Read32(0x9004), 0x1414u);
    tb::Write32(0x9000, 0x7777);
    CpuStep();
    EXPECT_EQ(gCpu.r[13], 0x9913u);
    EXPECT_EQ(gCpu.bank[5][16], 0x7777u);
}

TEST_F(ArmTest, MrsSpsrInUserModeReadsTheResetValue) {
    RunArm({0xE14F0000}, 1, kModeUser);  // mrs r0, spsr
    EXPECT_EQ(gCpu.r[0], 16u);
}

TEST_F(ArmTest, UnconditionalSpaceIsUndefinedExceptPld) {
    RunArm({0xF5D0F000, 0xFE000000}, 2);  // pld [r0]; cdp2
    EXPECT_EQ(gCpu.mode, kModeUndefined);
    EXPECT_EQ(gCpu.r[14], kCode + 8);
}

uint32_t gHandlerCalls;
uint32_t Substitute(uint32_t address, void*, uint8_t*) {
    ++gHandlerCalls;
    return address == kCode ? 0xE3A00007 : 0;  // mov r0, #7
}

// Flags set by one instruction and read by the next through every path: conditions, MRS, MSR,
// exception entry (SPSR), MOVS pc (restored SPSR) and an abort, both in one run and step by step.
TEST_F(ArmTest, FlagsPassThroughStatusTransfersAndExceptionsInsideARun) {
    tb::WriteWords(kCode, {
                              0xE3E00000,  // mvn r0, #0
                              0xE2901001,  // adds r1, r0, #1: Z C
                              0xE10F2000,  // mrs r2, cpsr
                              0xE328F209,  // msr cpsr_f, #0x90000000: N V
                              0x43A03001,  // movmi r3, #1
                              0x63A04001,  // movvs r4, #1
                              0x03A05001,  // moveq r5, #1 (fails)
                              0xEF000000,  // swi 0
                              0xA3A09001,  // movge r9, #1
                              0xE5906000,  // ldr r6, [r0]: misaligned, data abort
                          });
    tb::WriteWords(0x08, {0xEA00003C});  // b 0x100
    tb::WriteWords(0x100, {
                              0xE14F7000,  // mrs r7, spsr
                              0xE0908000,  // adds r8, r0, r0: N C
                              0xE1B0F00E,  // movs pc, lr: N V again
                          });
    for (const bool stepped : {false, true}) {
        SCOPED_TRACE(stepped ? "stepped" : "one run");
        tb::StartAt(kCode);
        for (int r : {3, 4, 5, 9}) gCpu.r[r] = 0;
        if (stepped) {
            for (int k = 0; k < 14; ++k) CpuStep();
        } else {
            CpuRunFor(14);
        }
        EXPECT_EQ(gCpu.r[2] >> 28, 0x6u);
        EXPECT_EQ(gCpu.r[3], 1u);
        EXPECT_EQ(gCpu.r[4], 1u);
        EXPECT_EQ(gCpu.r[5], 0u);
        EXPECT_EQ(gCpu.r[7] >> 28, 0x9u);
        EXPECT_EQ(gCpu.r[8], 0xFFFFFFFEu);
        EXPECT_EQ(gCpu.r[9], 1u);
        EXPECT_EQ(gCpu.mode, kModeAbort);
        EXPECT_EQ(gCpu.spsr[kModeAbort] >> 28, 0x9u);
        EXPECT_EQ(gCpu.nzcv, kFlagN | kFlagV);
    }
}

TEST_F(ArmTest, BreakpointHook) {
    // No entry: no effect.
    RunArm({0xE1200070}, 1);
    EXPECT_EQ(gCpu.cur, kCode + 4);
    EXPECT_EQ(gCpu.mode, kModeSupervisor);
    // A patched address runs the handler's instruction, or the saved value when it gives 0.
    PatchTable.count = 2;
    PatchTable.entries[0] = PatchEntry{kCode, 0, 0, &Substitute, {}};
    PatchTable.entries[1] = PatchEntry{kCode + 4, 0xE3A01009, 0, &Substitute, {}};
    RunArm({0xE1200070, 0xE1200070}, 2);
    EXPECT_EQ(gCpu.r[0], 7u);
    EXPECT_EQ(gCpu.r[1], 9u);
    EXPECT_EQ(gHandlerCalls, 2u);
}

TEST_F(ArmTest, ResetVectorBreakpointRunsTheSavedWordOnceThenSoftResets) {
    PatchTable.resetWord = 0xE3A00005;  // mov r0, #5
    PatchTable.resetWordSaved = true;
    tb::Write32(0, kPatchBreakpoint);
    tb::StartAt(0);
    EXPECT_EQ(CpuStep(), -1);
    EXPECT_EQ(gCpu.r[0], 5u);
    tb::StartAt(0);
    EXPECT_EQ(CpuStep(), kRunSoftReset);
}

uint32_t gSubstituteWord;
uint32_t SubstituteWord(uint32_t, void*, uint8_t*) { return gSubstituteWord; }

// An instruction that the breakpoint hook substitutes runs from its word alone, without a decoded
// entry: every operand layout gives the same registers, flags and memory as when it runs from memory.
TEST_F(ArmTest, SubstitutesRunAsTheSameInstructionFromMemory) {
    struct Case {
        uint32_t insn;
        bool thumb;
    } const cases[] = {
        {0xE0802181, false},  // add r2, r0, r1, lsl #3
        {0xE0912311, false},  // adds r2, r1, r1, lsl r3
        {0xE5903004, false},  // ldr r3, [r0, #4]
        {0xE1D030B2, false},  // ldrh r3, [r0, #2]
        {0xE5201008, false},  // str r1, [r0, #-8]!
        {0xE3A024FF, false},  // mov r2, #0xFF000000
        {0xE3120102, false},  // tst r2, #0x80000000: C from the rotated immediate
        {0xE0020391, false},  // mul r2, r1, r3
        {0xE0832190, false},  // umull r2, r3, r0, r1
        {0xE8900006, false},  // ldmia r0, {r1, r2}
        {0x1842, true},       // adds r2, r0, r1
        {0x00CA, true},       // lsls r2, r1, #3
        {0x6843, true},       // ldr r3, [r0, #4]
        {0x7943, true},       // ldrb r3, [r0, #5]
        {0x8041, true},       // strh r1, [r0, #2]
        {0x5883, true},       // ldr r3, [r0, r2]
        {0x9A01, true},       // ldr r2, [sp, #4]
        {0xA903, true},       // add r1, sp, #12
        {0x4B01, true},       // ldr r3, [pc, #4]
        {0x4351, true},       // muls r1, r2
        {0x3A05, true},       // subs r2, #5
        {0x4690, true},       // mov r8, r2
        {0x4440, true},       // add r0, r8
    };
    struct State {
        uint32_t r[16], nzcv, memory[8];
    };
    const auto run = [](const Case& c, bool substituted) {
        for (uint32_t a = 0x8FF0; a < 0x9010; a += 4) tb::Write32(a, a * 0x01010101u);
        tb::WriteWords(kCode + 4, {0x11111111, 0x22222222});
        PatchTable.count = substituted ? 1 : 0;
        PatchTable.entries[0] = PatchEntry{kCode, 0, c.thumb, &SubstituteWord, {}};
        gSubstituteWord = c.insn;
        const uint32_t word = substituted ? (c.thumb ? 0xBE00 : 0xE1200070) : c.insn;
        if (c.thumb) tb::WriteHalves(kCode, {static_cast<uint16_t>(word), 0x46C0});
        else tb::WriteWords(kCode, {word});
        tb::StartAt(kCode, kModeSupervisor, c.thumb);
        const uint32_t init[] = {0x9000, 0x12345678, 4, 4, 0, 0, 0, 0, 0x30};
        for (int n = 0; n < 9; ++n) gCpu.r[n] = init[n];
        gCpu.r[13] = 0x8FF8;
        gCpu.nzcv = kFlagV;
        CpuStep();
        State s{};
        std::copy(gCpu.r, gCpu.r + 16, s.r);
        s.r[15] = gCpu.cur;
        s.nzcv = gCpu.nzcv;
        for (int k = 0; k < 8; ++k) s.memory[k] = tb::Read32(0x8FF0 + 4 * k);
        return s;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.insn);
        const State fromMemory = run(c, false), substituted = run(c, true);
        for (int n = 0; n < 16; ++n) EXPECT_EQ(substituted.r[n], fromMemory.r[n]) << "r" << n;
        EXPECT_EQ(substituted.nzcv, fromMemory.nzcv);
        for (int k = 0; k < 8; ++k) EXPECT_EQ(substituted.memory[k], fromMemory.memory[k]) << k;
    }
}

TEST_F(ArmTest, SemihostingCallsAndQuery) {
    tb::WriteWords(0x9000, {0x6C6C6568, 0x0A6F}); // "hello\n"
    // mov r0, #4; mov r1, #0x9000; swi 0x123456
    RunArm({0xE3A00004, 0xE3A01A09, 0xEF123456}, 3, kModeUser);
    EXPECT_EQ(tb::Console(), "hello\n");
    EXPECT_EQ(gCpu.mode, kModeSupervisor);  // the SWI vector is still entered
    EXPECT_EQ(gCpu.cur, 0x08u);
    EXPECT_EQ(gCpu.r[14], kCode + 12);
    // swi 0x123457 with 257: 2 on the third query, no exception.
    for (uint32_t expected : {0u, 0u, 2u, 0u}) {
        RunArm({0xE3A00C01, 0xE2800001, 0xEF123457}, 3);  // r0 = 257
        EXPECT_EQ(gCpu.r[0], expected);
        EXPECT_EQ(gCpu.cur, kCode + 12);
    }
}

}  // namespace
}  // namespace cputest
