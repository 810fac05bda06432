// Address translation: section and page walks with each fault status, domains, access permissions,
// alignment, the fault-free walk, and the translation caches across mode switches.
#include "Run.h"
#include "tamsk/board/RunLoop.h"

namespace cputest {
namespace {

constexpr uint32_t kTable = 0x80000000;   // first-level table in DRAM
constexpr uint32_t kCoarse = 0x80004000;  // one coarse table
constexpr uint32_t kData = 0x80100000;    // what the test mappings point at

uint32_t Section(uint32_t pa, uint32_t ap, uint32_t domain) { return pa | ap << 10 | domain << 5 | 0x12; }

class MmuTest : public CpuTest {
protected:
    void SetUp() override {
        CpuTest::SetUp();
        tb::Write32(kTable + 4 * (kCode >> 20), Section(0, 3, 0));  // the code, identity
        tb::Write32(kData, 0xDA7A0000);
        tb::Write32(kData + 0x1000, 0xDA7A1000);
        CpuCoprocWrite(15, 2, 0, 0, kTable);
        CpuCoprocWrite(15, 3, 0, 0, 0x55555555);  // every domain a client
        CpuCoprocWrite(15, 1, 0, 0, 1);           // MMU on, S = R = 0
    }
    void Map(uint32_t va, uint32_t descriptor) { tb::Write32(kTable + 4 * (va >> 20), descriptor); }

    // Runs one load (or store of r1) from the address in r0; returns the fault status with its
    // domain, or 0x100 when it did not abort.
    uint32_t Access(uint32_t va, bool store = false, uint32_t mode = kModeSupervisor) {
        CpuFlushTranslationCaches();
        gCpu.far = 0;
        tb::WriteWords(kCode, {store ? 0xE5801000u : 0xE5901000u});  // str/ldr r1, [r0]
        tb::StartAt(kCode, mode);
        gCpu.r[0] = va;
        gCpu.r[1] = 0x5709;
        CpuStep();
        if (gCpu.cur != 0x10) return 0x100;
        EXPECT_EQ(gCpu.far, va);
        EXPECT_EQ(gCpu.r[14], kCode + 8);
        return gCpu.fsr;
    }
};

TEST_F(MmuTest, WalksAndFaultStatuses) {
    Map(0x10000000, Section(kData, 3, 0));
    Map(0x20000000, 0x1E0);                    // fault descriptor with domain bits 15
    Map(0x30000000, Section(kData, 3, 4));     // domain 4 made no-access below
    Map(0x40000000, Section(kData, 1, 1));     // privileged only
    Map(0x50000000, kCoarse | 6 << 5 | 0x11);  // coarse table in domain 6
    Map(0x60000000, kCoarse | 4 << 5 | 0x11);  // coarse table in the no-access domain
    Map(0x70000000, 0x80000003);               // fine table
    tb::Write32(kCoarse + 0, (kData & 0xFFFF0000) | 0xFF0 | 1);       // large page
    tb::Write32(kCoarse + 4 * 16, (kData + 0x1000) | 0x550 | 2);    // small page, AP 1 in every subpage
    tb::Write32(kCoarse + 4 * 17, (kData + 0x1000) | 0x430 | 2);    // small page: AP 3 first, AP 1 in the fourth
    CpuCoprocWrite(15, 3, 0, 0, 0x55555555 & ~(3u << 8));

    struct Case {
        uint32_t va;
        uint32_t mode;
        bool store;
        uint32_t status;
    } const cases[] = {
        {0x10000000, kModeSupervisor, false, 0x100},
        {0x20000004, kModeSupervisor, false, 0xF5},  // translation fault carries the descriptor's domain
        {0x30000000, kModeSupervisor, false, 0x49},
        {0x40000000, kModeSupervisor, true, 0x100},
        {0x40000000, kModeUser, false, 0x1D},
        {0x50000000, kModeUser, false, 0x100},       // large page
        {0x50010000, kModeSupervisor, false, 0x100},
        {0x50010000, kModeUser, true, 0x6F},         // small page AP 1: User denied
        {0x50011C00, kModeUser, true, 0x100},        // the first subpage's AP 3 covers the fourth
        {0x50012000, kModeSupervisor, false, 0x67},  // second-level fault
        {0x60000000, kModeSupervisor, false, 0x4B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "va 0x" << c.va << " mode " << std::dec << c.mode);
        EXPECT_EQ(Access(c.va, c.store, c.mode), c.status);
    }
    uint32_t v;
    EXPECT_EQ(Access(0x50000004), 0x100u);
    v = gCpu.r[1];
    EXPECT_EQ(v, tb::Read32(kData + 4));
    EXPECT_EXIT(Access(0x70000000), testing::ExitedWithCode(kFatalExitCode & 0xFF), "Unimplemented MMU operation");
}

TEST_F(MmuTest, AccessPermissionZeroFollowsSAndR) {
    Map(0x10000000, Section(kData, 0, 0));
    struct Case {
        uint32_t control;
        uint32_t priv, user;  // 1 = a load aborts
    } const cases[] = {{0x001, 1, 1}, {0x101, 0, 1}, {0x201, 0, 0}, {0x301, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        CpuCoprocWrite(15, 1, 0, 0, c.control);
        EXPECT_EQ(Access(0x10000000, false, kModeSupervisor) != 0x100, c.priv != 0);
        EXPECT_EQ(Access(0x10000000, false, kModeUser) != 0x100, c.user != 0);
        EXPECT_NE(Access(0x10000000, true, kModeSupervisor), 0x100u);  // writes: denied to all
    }
}

TEST_F(MmuTest, UserAccessDoesNotReuseAPrivilegedTranslation) {
    Map(0x40000000, Section(kData, 1, 0));
    tb::WriteWords(kCode, {0xE5901000, 0xE10F2000, 0xE3C2201F, 0xE3822010, 0xE121F002, 0xE5903000});
    // ldr r1, [r0]; mrs r2, cpsr; bic r2, #0x1F; orr r2, #0x10; msr cpsr_c, r2; ldr r3, [r0]
    tb::StartAt(kCode, kModeSupervisor);
    gCpu.r[0] = 0x40000000;
    for (int k = 0; k < 6; ++k) CpuStep();
    EXPECT_EQ(gCpu.r[1], 0xDA7A0000u);
    EXPECT_EQ(gCpu.cur, 0x10u);  // the User load aborted
    EXPECT_EQ(gCpu.fsr & 0xF, 13u);
}

TEST_F(MmuTest, BlockLoadAbortingPartWayKeepsWhatItLoaded) {
    Map(0x10000000, Section(kData, 3, 0));  // 0x10100000 is not mapped
    tb::Write32(kData + 0xFFFF8, 0x11);
    tb::Write32(kData + 0xFFFFC, 0x22);
    tb::WriteWords(kCode, {0xE8B0000E});  // ldmia r0!, {r1-r3}
    tb::StartAt(kCode);
    gCpu.r[0] = 0x100FFFF8;
    gCpu.r[3] = 0x33;
    CpuStep();
    EXPECT_EQ(gCpu.mode, kModeAbort);
    EXPECT_EQ(gCpu.far, 0x10100000u);
    CpuSwitchMode(kModeSupervisor, false);
    EXPECT_EQ(gCpu.r[1], 0x11u);
    EXPECT_EQ(gCpu.r[2], 0x22u);
    EXPECT_EQ(gCpu.r[3], 0x33u);
    EXPECT_EQ(gCpu.r[0], 0x100FFFF8u);
}

TEST_F(MmuTest, DomainFieldTwoIsFatal) {
    EXPECT_EXIT(CpuCoprocWrite(15, 3, 0, 0, 2u << 6), testing::ExitedWithCode(kFatalExitCode & 0xFF),
                "Undocumented domain access style used");
}

TEST_F(MmuTest, FaultFreeWalkAndHostPointer) {
    Map(0x10000000, Section(kData, 0, 0));          // permissions do not matter here
    Map(0x20000000, 0);
    Map(0x30000000, Section(0x10000000, 3, 0));     // nothing behind it
    EXPECT_TRUE(CpuTranslateNoFault(0x10000010).found);
    EXPECT_EQ(CpuTranslateNoFault(0x10000010).phys, kData + 0x10);
    EXPECT_FALSE(CpuTranslateNoFault(0x20000000).found);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(CpuHostPointer(0x10000000)), 0xDA7A0000u);
    EXPECT_EQ(CpuHostPointer(0x20000000), 0u);
    EXPECT_EQ(CpuHostPointer(0x30000000), 0u);
    // A translation table outside every memory area reads as fault descriptors.
    CpuCoprocWrite(15, 2, 0, 0, 0x30000000);
    EXPECT_FALSE(CpuTranslateNoFault(0x10000000).found);
}

TEST_F(CpuTest, AlignmentFaultsWithTheMmuOff) {
    tb::WriteWords(kCode, {0xE5901000});  // ldr r1, [r0]
    tb::StartAt(kCode);
    gCpu.r[0] = 0x1002;
    CpuStep();
    EXPECT_EQ(gCpu.cur, 0x10u);
    EXPECT_EQ(gCpu.fsr & 0xF, 1u);
    EXPECT_EQ(gCpu.far, 0x1002u);
    EXPECT_EQ(gCpu.mode, kModeAbort);
}

TEST_F(CpuTest, AccessesPastTheEndOfSramReachNoMemory) {
    // str r1, [r0]; ldr r2, [r0]: SRAM ends 768 KB into its 16 MB slice.
    RunArm({0xE5801000, 0xE5902000}, 0);
    gCpu.r[0] = 0x5C0C0000;
    gCpu.r[1] = 0x12345678;
    gCpu.r[2] = 1;
    CpuStep();
    CpuStep();
    EXPECT_EQ(gCpu.r[2], 0u);
    gCpu.r[0] = 0x5C0BFFFC;  // the last word is memory
    tb::StartAt(kCode);
    CpuStep();
    CpuStep();
    EXPECT_EQ(gCpu.r[2], 0x12345678u);
}

}  // namespace
}  // namespace cputest
