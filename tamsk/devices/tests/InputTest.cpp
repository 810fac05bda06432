// The input and power blocks driven through the board's device tables and the pending word: the
// keypad scan and rotary count, the power manager and GPIO stores, and their session chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tamsk/board/Board.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/PowerManager.h"
#include "tamsk/devices/Uart.h"

namespace tamsk {
namespace {

bool Raised(unsigned source) { return Intc.rawPending[source / 32] >> (source % 32) & 1; }

class InputFixture : public ::testing::Test {
protected:
    void SetUp() override {
        OptLoadDefaults();
        OptSetText(Opt.SerialPort, "none");
        PendingEventWord = 0;
        MemAllocateAreas();
        IntcReset(kRunPowerOn);
        BoardResetAll(kRunSoftReset);  // installs the device tables and resets every device
        CpuServicePending();
    }
    void TearDown() override { UartSave(kRunExit); }
};

constexpr uint32_t kKeyControl = 0x41500000, kRotary = 0x41500010, kDirect = 0x41500018,
                   kScan = 0x41500020, kMulti = 0x41500028;

TEST_F(InputFixture, KeypadScanOfOneKeySeveralKeysAndLastKeyOnly) {
    EXPECT_EQ(DeviceRead(kScan), 255u);  // before any scan
    struct Case {
        const char* what;
        std::vector<unsigned> keys;  // row * 8 + column
        uint32_t control;
        uint32_t scan, direct;
        uint32_t multi[4];
    } cases[] = {
        {"one key (row 2, column 5)", {21}, 0, 5 | 2 << 4 | 1u << 26, 1u << 31 | 1u << 2, {}},
        {"three keys", {8, 27, 55}, 0, 3u << 26, 1u << 31 | 1u << 1 | 1u << 3 | 1u << 6,
         {1u << 1, 1u << (3 + 16), 0, 1u << (6 + 16)}},
        {"three keys, only the last found", {8, 27, 55}, 1u << 21, 7 | 6 << 4 | 1u << 26,
         1u << 31 | 1u << 6, {}},
        {"no key", {}, 0, 0, 1u << 31, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeypadReset(kRunSoftReset);
        DeviceWrite(kKeyControl, c.control);
        Keypad.multiKey[0] = 0xFFFF;  // stale multi-key bits go with the scan
        for (unsigned k : c.keys) KeypadHostKey(k, true);
        if (c.keys.empty()) {  // a release scans too
            KeypadHostKey(12, true);
            KeypadHostKey(12, false);
        }
        EXPECT_EQ(PendingEventWord.load(), 1u << kPendingKeypad);
        EXPECT_FALSE(Raised(kIrqKeypad));
        CpuServicePending();
        EXPECT_TRUE(Raised(kIrqKeypad));
        EXPECT_EQ(DeviceRead(kScan), c.scan);
        for (unsigned w = 0; w < 4; ++w) EXPECT_EQ(DeviceRead(kMulti + 8 * w), c.multi[w]) << w;
        EXPECT_EQ(DeviceRead(kDirect), c.direct);
        EXPECT_EQ(DeviceRead(kDirect), 0u);  // read and cleared
        EXPECT_EQ(DeviceRead(kKeyControl), c.control | 1u << 22);
        EXPECT_FALSE(Raised(kIrqKeypad));  // the control read takes the interrupt
        IntcReset(kRunPowerOn);
    }

    // Isolated from the host, key changes reach nothing.
    Opt.SensorialIsolation = 1;
    KeypadHostKey(3, true);
    EXPECT_EQ(PendingEventWord.load(), 0u);
    EXPECT_EQ(Keypad.key[3], 0u);
}

TEST_F(InputFixture, RotaryCountFlagsPassesOutOfRangeSinceTheLastRead) {
    DeviceWrite(kRotary, 250);
    EXPECT_EQ(DeviceRead(kRotary), 250u);
    KeypadHostWheel(7 * 120);
    KeypadHostWheel(119);  // less than a step moves nothing
    EXPECT_EQ(DeviceRead(kRotary), 1u | 1u << 15);
    EXPECT_EQ(DeviceRead(kRotary), 1u);  // reported once
    EXPECT_EQ(Keypad.lastReadCount, 1u);
    KeypadHostWheel(-2 * 120);
    EXPECT_EQ(DeviceRead(kRotary), 0xFFu | 1u << 14);
    EXPECT_EQ(DeviceRead(kRotary), 0xFFu);
    KeypadHostWheel(-120);
    EXPECT_EQ(DeviceRead(kRotary), 0xFEu);
    // A write sets the count and the remembered value.
    DeviceWrite(kRotary, 17);
    EXPECT_EQ(Keypad.lastReadCount, 17u);
    EXPECT_EQ(DeviceRead(kRotary), 17u);
}

TEST_F(InputFixture, PowerManagerAndGpioStores) {
    EXPECT_EQ(DeviceRead(0x40F00004), 32u);
    EXPECT_EQ(DeviceRead(0x40F00008), 0u);
    EXPECT_EQ(DeviceRead(0x40F00030), 1u);
    for (uint32_t offset : {0x04u, 0x08u, 0x30u}) DeviceWrite(0x40F00000 + offset, 0xA0 + offset);
    DeviceWrite(0x40F0000C, 5);
    EXPECT_EQ(DeviceRead(0x40F00004), 0xA4u);
    EXPECT_EQ(DeviceRead(0x40F00008), 0xA8u);
    EXPECT_EQ(DeviceRead(0x40F00030), 0xD0u);
    EXPECT_EQ(DeviceRead(0x40F0000C), 0u);
    PowerManagerReset(kRunHardReset);
    EXPECT_EQ(DeviceRead(0x40F00004), 32u);

    GpioSignal(9);
    GpioSignal(3);
    EXPECT_TRUE(Raised(kIrqGpio));
    EXPECT_EQ(DeviceRead(0x40E00000), 1u << 9 | 1u << 3);
    EXPECT_EQ(DeviceRead(0x40E00048), 1u << 9 | 1u << 3);
    DeviceWrite(0x40E00000, 0);  // the level is not written
    DeviceWrite(0x40E00048, 1u << 9);
    EXPECT_FALSE(Raised(kIrqGpio));
    EXPECT_EQ(DeviceRead(0x40E00048), 1u << 3);
    EXPECT_EQ(DeviceRead(0x40E00000), 1u << 9 | 1u << 3);
    GpioReset(kRunSave);  // a save leaves the device as it is
    EXPECT_EQ(DeviceRead(0x40E00048), 1u << 3);
    GpioReset(kRunSoftReset);
    EXPECT_EQ(DeviceRead(0x40E00000) | DeviceRead(0x40E00048), 0u);
}

TEST_F(InputFixture, SessionKeepsEveryBlockAndNeedsPowerManagerAndGpio) {
    test::TempDir dir;
    SessSetPath((dir / "s.aes").c_str());
    KeypadHostKey(63, true);
    CpuServicePending();
    DeviceWrite(kRotary, 0x1234);
    DeviceWrite(0x40F00008, 0x88);
    GpioSignal(31);
    const KeypadState keypad = Keypad;
    SessTruncate();
    KeypadSave(kRunSave);
    PowerManagerSave(kRunSave);
    GpioSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());

    uint8_t image[296];
    ASSERT_TRUE(SessReadChunk(FourCC(">key"), image, 296));
    EXPECT_EQ(ChunkGet32(image + 12), 7 | 7 << 4 | 1u << 26);  // scan result
    EXPECT_EQ(ChunkGet32(image + 16 + 4 * 63), 1u);
    EXPECT_EQ(ChunkGet32(image + 272), 0x1234u);
    ASSERT_TRUE(SessReadChunk(FourCC(">pow"), image, 16));
    EXPECT_EQ(ChunkGet32(image + 4), 0x88u);
    ASSERT_TRUE(SessReadChunk(FourCC(">gpi"), image, 8));
    EXPECT_EQ(ChunkGet32(image + 4), 1u << 31);

    BoardResetAll(kRunSoftReset);
    EXPECT_EQ(DeviceRead(kScan), 255u);
    EXPECT_EQ(DeviceRead(0x40F00008), 0u);
    BoardResetAll(kRunLoad);
    EXPECT_EQ(std::memcmp(&Keypad, &keypad, sizeof keypad), 0);
    EXPECT_EQ(DeviceRead(0x40F00008), 0x88u);
    EXPECT_EQ(DeviceRead(0x40E00048), 1u << 31);

    // Without >pow or >gpi a restore cannot go on.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    SessSetPath((dir / "no-pow.aes").c_str());
    SessTruncate();
    GpioSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());
    EXPECT_EXIT(PowerManagerReset(kRunLoad), fatal, "Invalid or unexpected session data");
    GpioReset(kRunLoad);
    SessSetPath((dir / "no-gpi.aes").c_str());
    SessTruncate();
    PowerManagerSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());
    EXPECT_EXIT(GpioReset(kRunPowerOnRestore), fatal, "Invalid or unexpected session data");
    // A keypad without its chunk powers on.
    KeypadReset(kRunLoad);
    EXPECT_EQ(DeviceRead(kScan), 255u);
}

}  // namespace
}  // namespace tamsk
