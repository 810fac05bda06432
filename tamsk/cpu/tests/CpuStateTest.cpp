// Processor state: banks, exception entry and return for every kind, status-register writes, the
// reset state and the core's session chunk.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "Run.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/Intc.h"

namespace cputest {
namespace {

using StateTest = CpuTest;

TEST_F(StateTest, ResetStateStartsInSupervisorModeAtSram) {
    EXPECT_EQ(gCpu.mode, kModeSupervisor);
    EXPECT_EQ(gCpu.cur, 0x5C020000u);
    EXPECT_EQ(CpuComposeCpsr(), 0x13u);
    for (uint32_t m : {16u, 17u, 18u, 19u, 23u, 27u, 31u}) EXPECT_EQ(gCpu.spsr[m], m);
}

struct EntryCase {
    int kind;
    uint32_t mode;
    uint32_t vector;
    uint32_t lr;  // for cur = 0x1000, next = 0x2000
    bool masksFiq;
};

TEST_F(StateTest, ExceptionEntryForEveryKind) {
    const EntryCase cases[] = {
        {kExcReset, kModeSupervisor, 0x00, 0, true},          {kExcUndefined, kModeUndefined, 0x04, 0x2000, false},
        {kExcPrefetchAbort, kModeAbort, 0x0C, 0x1004, false}, {kExcDataAbort, kModeAbort, 0x10, 0x1008, false},
        {kExcIrq, kModeIrq, 0x18, 0x2004, false},             {kExcFiq, kModeFiq, 0x1C, 0x2004, true},
    };
    for (const EntryCase& c : cases) {
        for (uint32_t high : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << "kind " << c.kind << " high vectors " << high);
            tb::Init();
            tb::StartAt(0, kModeUser, true);
            gCpu.cur = 0x1000;
            gCpu.next = 0x2000;
            gCpu.nzcv = kFlagN | kFlagC;
            gCpu.r[13] = 0x1313;
            gCpu.r[14] = 0x1414;
            gCpu.highVectors = high;
            CpuEnterException(c.kind);
            EXPECT_EQ(gCpu.mode, c.mode);
            EXPECT_EQ(gCpu.r[14], c.lr);
            EXPECT_EQ(gCpu.spsr[c.mode], 0xA0000030u);  // N, C, Thumb, User
            EXPECT_EQ(gCpu.thumb, 0u);
            EXPECT_EQ(gCpu.I, 1u);
            EXPECT_EQ(gCpu.F, c.masksFiq ? 1u : 0u);
            EXPECT_EQ(gCpu.next, (high ? 0xFFFF0000u : 0) + c.vector);
            // The User registers wait in their bank and come back on return.
            EXPECT_EQ(gCpu.bank[5][16], 0x1313u);
            CpuReturnFromException();
            EXPECT_EQ(gCpu.mode, kModeUser);
            EXPECT_EQ(gCpu.r[13], 0x1313u);
            EXPECT_EQ(gCpu.r[14], 0x1414u);
            EXPECT_EQ(gCpu.thumb, 1u);
            EXPECT_EQ(gCpu.nzcv, kFlagN | kFlagC);
            EXPECT_EQ(gCpu.I + gCpu.F, 0u);
        }
    }
}

TEST_F(StateTest, BankedRegistersFollowTheirModes) {
    for (int n = 8; n <= 14; ++n) gCpu.r[n] = 0x100 + n;  // Supervisor
    CpuSwitchMode(kModeFiq, false);
    for (int n = 8; n <= 14; ++n) gCpu.r[n] = 0x200 + n;
    CpuSwitchMode(kModeIrq, false);
    EXPECT_EQ(gCpu.r[8], 0x108u);   // r8..r12 are shared outside FIQ
    EXPECT_EQ(gCpu.r[13], 0u);      // IRQ's own stack
    gCpu.r[13] = 0x313;
    CpuSwitchMode(0x15, false);     // an undefined mode number banks r13/r14 like User
    gCpu.r[13] = 0x413;
    CpuSwitchMode(kModeSystem, false);
    EXPECT_EQ(gCpu.r[13], 0x413u);
    CpuSwitchMode(kModeFiq, false);
    EXPECT_EQ(gCpu.r[8], 0x208u);
    EXPECT_EQ(gCpu.r[14], 0x20Eu);
    CpuSwitchMode(kModeSupervisor, false);
    EXPECT_EQ(gCpu.r[8], 0x108u);
    EXPECT_EQ(gCpu.r[13], 0x10Du);
    CpuSwitchMode(kModeIrq, false);
    EXPECT_EQ(gCpu.r[13], 0x313u);
}

TEST_F(StateTest, StatusRegisterWrites) {
    // MSR CPSR_c with T set keeps ARM state; a later SPSR takes T from the execution state.
    CpuWriteStatusRegister(0x0121F000, 0x000000F3);  // msr cpsr_c
    EXPECT_EQ(gCpu.thumb, 0u);
    EXPECT_EQ(CpuComposeCpsr() & 0x20, 0x20u);
    CpuSwitchMode(kModeAbort, true);
    EXPECT_EQ(gCpu.spsr[kModeAbort] & 0x20, 0u);
    // SPSR bytes by field mask; ignored in User and System mode, as are control writes in User.
    CpuWriteStatusRegister(0x0169F000, 0xF80000D3);  // msr spsr_fc
    EXPECT_EQ(gCpu.spsr[kModeAbort], 0xF80000D3u);
    CpuSwitchMode(kModeUser, false);
    CpuWriteStatusRegister(0x0169F000, 0);
    EXPECT_EQ(gCpu.spsr[kModeUser], 16u);
    CpuWriteStatusRegister(0x0129F000, 0xF0000010);  // msr cpsr_fc in User mode: flags only
    EXPECT_EQ(gCpu.mode, kModeUser);
    EXPECT_EQ(gCpu.nzcv, 0xF0000000u);
    EXPECT_EQ(gCpu.I, 1u);
}

TEST_F(StateTest, IrqAfterTakenBranchReturnsToTheTarget) {
    Intc.mask[0] = 1u << 26;
    IntcRaise(26);
    RunArm({0xEA000002}, 1);  // b kCode + 16, with I = 0
    EXPECT_EQ(gCpu.mode, kModeIrq);
    EXPECT_EQ(gCpu.r[14], kCode + 16 + 4);
    EXPECT_EQ(gCpu.cur, 0x18u);
}

TEST_F(StateTest, FiqWinsOverIrqAndMasksIt) {
    Intc.mask[0] = 3;
    Intc.level[0] = 2;  // source 1 is an FIQ
    IntcRaise(0);
    IntcRaise(1);
    tb::WriteWords(0x1C, {0xE1A00000});
    RunArm({0xE1A00000}, 2);
    EXPECT_EQ(gCpu.mode, kModeFiq);  // the IRQ stays out: FIQ entry set I
    EXPECT_EQ(gCpu.cur, 0x20u);
}

// A register file with a value in every field the chunk carries.
void FillState() {
    for (int i = 0; i < 16; ++i) gCpu.r[i] = 0x1000 + i;
    for (int b = 0; b < 8; ++b)
        for (int m = 0; m < 32; ++m) gCpu.bank[b][m] = static_cast<uint32_t>(b * 100 + m);
    for (int m = 0; m < 32; ++m) gCpu.spsr[m] = 0xF0000000u | static_cast<uint32_t>(m);
    gCpu.nzcv = kFlagN | kFlagV;
    gCpu.Q = gCpu.F = 1;
    gCpu.mode = kModeIrq;
    gCpu.thumb = gCpu.tImage = 1;
    gCpu.cur = 0x5C020100;
    gCpu.next = 0x5C020102;
    gCpu.highVectors = 1;
    gCpu.control = 0x2001;
    gCpu.fsr = 0xF5;
    gCpu.far = 0x12345678;
    gCpu.processId = 0x02000000;
    gCpu.acc0Lo = 0xCAFEBABE;
    gCpu.acc0Hi = 0x1FF;
    gCpu.cp15Shared = 7;
    gCpu.cp14Clock = 2;
    gCpu.cp14Power = 5;
    ExecutedInstructions = 12345;
    PendingEventWord.store(0x8000001000000010ull);
}

TEST_F(StateTest, SessionChunkSavedAndLoadedInANewProcess) {
    const std::string path = (std::filesystem::temp_directory_path() / ("tamsk-cor-" + std::to_string(getpid()) + ".aes")).string();
    const pid_t child = fork();
    if (child == 0) {
        FillState();
        SessSetPath(path.c_str());
        SessTruncate();
        CpuSave(kRunSave);
        _exit(SessFinishSave() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    SessSetPath(path.c_str());
    CpuReset(kRunLoad);
    std::filesystem::remove(path);
    EXPECT_EQ(gCpu.r[7], 0x1007u);
    EXPECT_EQ(gCpu.bank[6][kModeFiq], 617u);
    EXPECT_EQ(gCpu.spsr[kModeAbort], 0xF0000017u);
    EXPECT_EQ(CpuComposeCpsr(), 0x98000072u);  // N V Q, F, T image, IRQ
    EXPECT_EQ(gCpu.cur, 0x5C020102u);  // resumes after the last executed instruction
    EXPECT_EQ(gCpu.thumb, 1u);
    EXPECT_EQ(gCpu.highVectors, 1u);
    EXPECT_EQ(gCpu.far, 0x12345678u);
    EXPECT_EQ(gCpu.acc0Hi, 0x1FFu);
    EXPECT_EQ(gCpu.cp14Power, 5u);
    EXPECT_EQ(ExecutedInstructions, 0u);
    EXPECT_EQ(PendingEventWord.load(), 0x1000000010ull);  // bit 63 is never saved
}

TEST_F(StateTest, CoreChunkAtItsOffsets) {
    for (int i = 0; i < 16; ++i) gCpu.r[i] = 0x100 + i;
    gCpu.nzcv = kFlagN | kFlagV;
    gCpu.Q = 1;
    gCpu.I = 1;
    gCpu.F = 0;
    gCpu.tImage = 1;
    gCpu.mode = kModeIrq;
    for (int b = 0; b < 8; ++b)
        for (int m = 0; m < 32; ++m) gCpu.bank[b][m] = uint32_t(b << 8 | m);
    for (int m = 0; m < 32; ++m) gCpu.spsr[m] = 0x5000 + m;
    ExecutedInstructions = 0x0000000700000009ull;
    gCpu.next = 0x5C020040;
    gCpu.thumb = 1;
    gCpu.highVectors = 1;
    gCpu.control = 0x78;
    gCpu.fsr = 5;
    gCpu.far = 0xFA;
    PendingEventWord.store(1ull << 63 | 1ull << 36 | 1u << 4);
    gCpu.processId = 0x0200'0000;
    gCpu.acc0Lo = 0xACC0;
    gCpu.acc0Hi = 0x7F;
    gCpu.cp15Shared = 0x3FFF;
    gCpu.cp14Clock = 6;
    gCpu.cp14Power = 7;
    uint8_t c[kCpuCoreChunkSize];
    CpuSaveCore(c);
    const struct {
        uint32_t offset, value;
    } words[] = {
        {0, 0x100},    {60, 0x10F},   {64, 1},          {68, 0},          {72, 0},
        {76, 1},       {80, 1},       {84, 1},          {88, 0},          {92, 1},
        {96, 18},      {100, 0},      {100 + 4 * 17, 17}, {100 + 128 * 5 + 4 * 18, 0x512},
        {100 + 128 * 7 + 4, 0x701},   {1124, 0x5000},   {1124 + 4 * 31, 0x501F},
        {1252, 0},     {1256, 9},     {1260, 7},        {1264, 0x5C020040}, {1268, 0x5C020040},
        {1272, 1},     {1276, 1},     {1280, 0x78},     {1284, 5},        {1288, 0xFA},
        {1292, 0},     {1296, 1u << 4}, {1300, 1u << 4}, {1304, 0x0200'0000}, {1308, 0},
        {1312, 0xACC0}, {1316, 0x7F}, {1320, 0x3FFF},   {1324, 6},        {1328, 7},
        {1332, 0},
    };
    for (const auto& w : words) EXPECT_EQ(ChunkGet32(c + w.offset), w.value) << w.offset;
    PendingEventWord.store(0);
}

TEST_F(StateTest, LoadWithoutTheChunkGivesTheResetState) {
    FillState();
    SessSetPath("/nonexistent/folder/none.aes");
    CpuReset(kRunLoad);
    EXPECT_EQ(gCpu.cur, 0x5C020000u);
    EXPECT_EQ(gCpu.mode, kModeSupervisor);
    EXPECT_EQ(gCpu.r[7], 0u);
}

TEST_F(StateTest, SaveRunResumesAtTheNextInstruction) {
    gCpu.cur = 0x100;
    gCpu.next = 0x104;
    gCpu.r[3] = 33;
    CpuReset(kRunSave);
    EXPECT_EQ(gCpu.cur, 0x104u);
    EXPECT_EQ(gCpu.r[3], 33u);
}

TEST_F(StateTest, SoftwareInterruptWithTheUnreachableKindIsFatal) {
    EXPECT_EXIT(CpuEnterException(kExcSwi), testing::ExitedWithCode(kFatalExitCode & 0xFF), "Reached unreachable code!");
}

}  // namespace
}  // namespace cputest
