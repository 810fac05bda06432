#include <gtest/gtest.h>

#include <vector>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/OsTimer.h"
#include "tamsk/devices/Rtc.h"

namespace tamsk {
namespace {

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        OptLoadDefaults();
        IntcReset(kRunPowerOn);
        ClockReset(kRunPowerOn);
        PendingEventWord = 0;
        RunCode = kRunPowerOn;
    }
};

TEST_F(Devices, InterruptRoutingAndMasking) {
    IntcWrite(0x40D00004, 1u << 26 | 1u << 17);  // mask
    IntcWrite(0x40D00008, 1u << 17);             // source 17 is an FIQ
    IntcWrite(0x40D000A0, 1u << (36 - 32));
    IntcRaise(26);
    IntcRaise(17);
    IntcRaise(5);  // masked
    IntcRaise(36);
    EXPECT_EQ(IntcRead(0x40D00000), 1u << 26);
    EXPECT_EQ(IntcRead(0x40D0000C), 1u << 17);
    EXPECT_EQ(IntcRead(0x40D00010), 1u << 26 | 1u << 17 | 1u << 5);
    EXPECT_EQ(IntcRead(0x40D0009C), 1u << 4);
    EXPECT_EQ(IntcRead(0x40D000AC), 1u << 4);
    EXPECT_TRUE(Intc.present);
    EXPECT_TRUE(IntcFiqPending());
    IntcLower(17);
    EXPECT_FALSE(IntcFiqPending());
    IntcLower(26);
    IntcLower(36);
    EXPECT_FALSE(IntcIrqPending());
    EXPECT_FALSE(Intc.present);  // source 5 is still raised, but masked
    IntcWrite(0x40D00004, 1u << 5);
    EXPECT_TRUE(Intc.present);

    // The coprocessor view reads the same registers and writes mask and level.
    EXPECT_EQ(IntcCoprocRead(4), 1u << 5);
    IntcCoprocWrite(2, 1u << 5);
    EXPECT_EQ(IntcCoprocRead(3), 1u << 5);
    EXPECT_EQ(IntcCoprocRead(0), 0u);
    IntcCoprocWrite(4, 0xFFFFFFFF);  // raw pending is not writable
    EXPECT_EQ(IntcCoprocRead(4), 1u << 5);
    EXPECT_EQ(IntcCoprocRead(11), 0u);
}

TEST_F(Devices, InterruptControllerRegisterFile) {
    IntcWrite(0x40D000BC, 0x1234);  // priority register 40
    EXPECT_EQ(IntcRead(0x40D000BC), 0x1234u);
    IntcWrite(0x40D0001C, 0xAB);    // priority register 0
    IntcWrite(0x40D00100, 0xCD);    // priority register 52
    EXPECT_EQ(IntcRead(0x40D0001C), 0xABu);
    EXPECT_EQ(IntcRead(0x40D00100), 0xCDu);
    IntcWrite(0x40D00018, 0xFFFF);  // highest-priority word: never computed, writes ignored
    EXPECT_EQ(IntcRead(0x40D00018), 0u);
    IntcWrite(0x40D00104, 0xFFFF);
    EXPECT_EQ(IntcRead(0x40D00104), 0u);
    IntcWrite(0x40D00014, 0xFF);
    EXPECT_EQ(IntcRead(0x40D00014), 1u);
    IntcReset(kRunSoftReset);
    EXPECT_EQ(IntcRead(0x40D000BC), 0u);
    EXPECT_EQ(IntcRead(0x40D00014), 0u);
}

TEST_F(Devices, OsTimerMatchesStatusAndWatchdog) {
    // A match equal to the counter raises at once when its enable bit is set.
    OsTimerWrite(0x40A00010, 500);
    OsTimerWrite(0x40A00000, 500);
    EXPECT_EQ(OsTimerRead(0x40A00014), 0u);
    OsTimerWrite(0x40A0001C, 1);
    EXPECT_EQ(OsTimerRead(0x40A00014), 1u);
    EXPECT_EQ(Intc.rawPending[0], 1u << 26);

    // Matches fire as ticks count the counter up; match 3 without the watchdog raises 29.
    OsTimerWrite(0x40A00004, 510);
    OsTimerWrite(0x40A0000C, 520);
    OsTimerWrite(0x40A0001C, 0xF);
    InstructionCountdown = TimingRatio();
    for (int i = 0; i < 20 * 10; ++i) TimingStep();
    EXPECT_EQ(OsTimerRead(0x40A00010), 520u);
    EXPECT_EQ(OsTimerRead(0x40A00014), 0xBu);
    EXPECT_EQ(Intc.rawPending[0], 1u << 26 | 1u << 27 | 1u << 29);
    // Writing ones clears all four and lowers 26-29. Serving a match does not meet it again,
    // although match 3 still equals the counter and is enabled: the handler that served it at
    // its source returns without being entered a second time.
    OsTimerWrite(0x40A00014, 0xF);
    EXPECT_EQ(OsTimerRead(0x40A00014), 0u);
    EXPECT_EQ(Intc.rawPending[0], 0u);
    EXPECT_FALSE(Intc.present);

    // Match 0 fires once per wrap of the counter.
    OsTimerWrite(0x40A0001C, 1);
    OsTimerWrite(0x40A00010, 0xFFFFFFFE);
    OsTimerWrite(0x40A00000, 0);
    OsTimerTick();
    EXPECT_EQ(OsTimer.status, 0u);
    OsTimerTick();
    EXPECT_EQ(OsTimer.status, 1u);

    // The watchdog can only be set; then match 3 resets the board instead.
    OsTimerWrite(0x40A00018, 1);
    OsTimerWrite(0x40A00018, 0);
    EXPECT_EQ(OsTimerRead(0x40A00018), 1u);
    OsTimerWrite(0x40A0001C, 8);
    OsTimerWrite(0x40A00014, 0xF);
    OsTimerWrite(0x40A0000C, OsTimer.counter + 1);
    EXPECT_EQ(PendingEventWord.load(), 0u);
    OsTimerTick();
    EXPECT_EQ(OsTimer.status, 0u);
    EXPECT_EQ(RunCode.load(), kRunHardReset);
    EXPECT_TRUE(CpuServicePending());
    EXPECT_EQ(OsTimerRead(0x40A00020), 0u);
}

TEST_F(Devices, InterruptAndClockChunksAtTheirOffsets) {
    Intc.irqPending[0] = 0x10;
    Intc.mask[0] = 0x11;
    Intc.level[0] = 0x12;
    Intc.fiqPending[0] = 0x13;
    Intc.rawPending[0] = 0x14;
    Intc.control = 1;
    Intc.present = 1;
    IdleLagMs = 0x1D;
    for (int i = 0; i < 53; ++i) Intc.priority[i] = 0x200 + i;
    Intc.highest = 0x18;
    Intc.mask[1] = 0x21;
    Intc.level[1] = 0x22;
    Intc.fiqPending[1] = 0x23;
    OsTimer = {{0xA0, 0xA1, 0xA2, 0xA3}, 0xC0, 5, 1, 9};
    Rtc.seconds = 0x5EC;
    Clock = {0x04, 0x08, 0x010FB218, 0x000FB218};
    InstructionCountdown = 7;
    EmulatedTicks = 0x1'0000'0002ull;
    test::TempDir dir;
    SessSetPath((dir / "s.aes").c_str());
    SessTruncate();
    IntcSave(kRunSave);
    ClockSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());

    uint8_t i[264];
    ASSERT_TRUE(SessReadChunk(FourCC(">int"), i, sizeof i));
    const struct {
        uint32_t offset, value;
    } intc[] = {{0, 0x10}, {4, 0x11}, {8, 0x12}, {12, 0x13}, {16, 0x14}, {20, 1}, {24, 1},
                {28, 0x1D}, {32, 0x200}, {240, 0x200 + 52}, {244, 0x18}, {248, 0x21},
                {252, 0x22}, {256, 0x23}, {260, 0x23}};
    for (const auto& w : intc) EXPECT_EQ(ChunkGet32(i + w.offset), w.value) << ">int " << w.offset;

    std::vector<uint8_t> k(kClockChunkSize);
    ASSERT_TRUE(SessReadChunk(FourCC(">clk"), k.data(), kClockChunkSize));
    const struct {
        uint32_t offset, value;
    } clk[] = {{0, 7}, {8, 0xC0}, {12, 0xA0}, {24, 0xA3}, {28, 5}, {32, 9}, {36, 1},
               {40, 0x5EC}, {44, 0x04}, {48, 0x08}, {52, 0}, {56, 2}, {60, 1}, {64, 1},
               {68, 0}, {72 + 8, 0}, {16456, 0x010FB218}, {16460, 0x000FB218}};
    for (const auto& w : clk) EXPECT_EQ(ChunkGet32(&k[w.offset]), w.value) << ">clk " << w.offset;
    // The one future event, the status tick: due 3,250,000 ticks after the reset, identifier 0.
    EXPECT_EQ(ChunkGet32(&k[72]), kTicksPerSecond);
    EXPECT_EQ(ChunkGet32(&k[4]), EvtCountdown);
}

TEST_F(Devices, ClockManagerAndRealTimeClock) {
    EXPECT_EQ(ClockRead(0x41300000), 0x30000107u);
    EXPECT_EQ(ClockRead(0x41300004), 0xFFFFFFFFu);
    EXPECT_EQ(ClockRead(0x41300008), 3u);
    ClockWrite(0x41300008, 0x10);
    EXPECT_EQ(ClockRead(0x41300008), 0x13u);
    EXPECT_EQ(ClockRead(0x41340000), 0x010FB218u);
    ClockWrite(0x41340000, 0x0C000001);
    EXPECT_EQ(ClockRead(0x41340004), 0x08000001u);
    ClockPowerModeSwitch();
    EXPECT_EQ(ClockRead(0x41340004), 0x0C000001u);
    ClockWrite(0x41300000, 1);
    EXPECT_EQ(ClockRead(0x41300000), 0x30000107u);
    EXPECT_EQ(ClockRead(0x4130000C), 0u);

    RtcWrite(0x40900000, 100);
    EXPECT_EQ(RtcRead(0x4090000C), 0x7FFFu);
    // One emulated second of instructions: the status event adds a second.
    Opt.DumpMips = 0;
    for (uint64_t i = 0; i < uint64_t(kTicksPerSecond) * 10; ++i) TimingStep();
    EXPECT_EQ(RtcRead(0x40900000), 101u);
    EXPECT_EQ(EmulatedTicks, kTicksPerSecond);
}

}  // namespace
}  // namespace tamsk
