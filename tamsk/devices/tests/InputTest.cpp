// The input and power blocks driven through the board's device tables, the pending word and the
// scheduler: the keypad scan and rotary count, the touch-screen pen events and sampling, the AC97
// controller and codec, the power manager and GPIO stores, and their session chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tamsk/board/Board.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/Ac97.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/PowerManager.h"
#include "tamsk/devices/TouchScreen.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/devices/tests/BoardTestSupport.h"

namespace tamsk {
namespace {

bool Raised(unsigned source) { return Intc.rawPending[source / 32] >> (source % 32) & 1; }

void Ticks(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) TimingTick();
}

unsigned SamplingEvents() {
    unsigned n = 0;
    for (unsigned i = 0; i < FutureEventCount; ++i) n += FutureEventTable[i].callback == TouchSample;
    return n;
}

class InputFixture : public test::BoardDeviceTest {
protected:
    void BeforeReset() override { TouchHostPen(false, 0, 0); }
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

constexpr uint32_t kTouchData = 0x41C00000, kTouchControl = 0x41C00004;
constexpr uint32_t kIrqOnSample = 1u << 28, kIrqOnPen = 1u << 29, kSampleNow = 1u << 31;

uint32_t TouchWord(uint32_t status, uint32_t x, uint32_t y) { return (status << 14 | x) << 15 | y; }

TEST_F(InputFixture, TouchPenDownSamplesEveryTenMillisecondsUntilPenUp) {
    DeviceWrite(kTouchControl, kIrqOnPen);
    TouchHostPen(true, 100, 200);
    EXPECT_EQ(PendingEventWord.load(), uint64_t(1) << kPendingTouch);
    CpuServicePending();
    // Pen down: sampling starts, data ready, the pen interrupt.
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1 + 4 + 2, 100, 200));
    EXPECT_TRUE(Raised(kIrqTouch));
    EXPECT_EQ(SamplingEvents(), 1u);
    DeviceWrite(kTouchData, 0);  // software takes the data: flags cleared, interrupt lowered
    EXPECT_FALSE(Raised(kIrqTouch));
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1, 100, 200));

    // Moving while sampling runs takes the position but starts nothing new.
    TouchHostPen(true, 120, 4000);
    CpuServicePending();
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1 + 2, 120, 4000));
    EXPECT_EQ(SamplingEvents(), 1u);
    TouchHostPen(true, 121, 5000);  // the sample reads the pen as the host left it, 12 bits
    PendingEventWord = 0;
    DeviceWrite(kTouchData, 0);

    Ticks(kTouchSamplePeriod - 1);
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1, 120, 4000));
    Ticks(1);
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1 + 2, 121, 4095));
    EXPECT_FALSE(Raised(kIrqTouch));  // sample interrupts need bit 28 with bit 30 or 31
    EXPECT_EQ(SamplingEvents(), 1u);

    DeviceWrite(kTouchControl, kIrqOnPen | kIrqOnSample | 1u << 30 | 0x50000);
    Ticks(kTouchSamplePeriod);
    EXPECT_TRUE(Raised(kIrqTouch));
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1 + 2, 121, 4095) + 0x50000);  // control bits added
    DeviceWrite(kTouchData, 0);

    // Pen up: the next sample ends the sampling with data ready and the pen interrupt.
    TouchHostPen(false, 10, 10);
    CpuServicePending();
    EXPECT_EQ(DeviceRead(kTouchData) - 0x50000, TouchWord(1, 10, 10));
    Ticks(kTouchSamplePeriod);
    EXPECT_EQ(DeviceRead(kTouchData) - 0x50000, TouchWord(4, 10, 10));
    EXPECT_TRUE(Raised(kIrqTouch));
    EXPECT_EQ(SamplingEvents(), 0u);

    // A control write with bit 31 asks for one sample 1 ms later, and only one however often
    // it is written; the sample clears the bit.
    DeviceWrite(kTouchData, 0);
    TouchHostPen(true, 7, 9);
    PendingEventWord = 0;
    DeviceWrite(kTouchControl, kSampleNow | kIrqOnSample);
    DeviceWrite(kTouchControl, kSampleNow | kIrqOnSample);
    EXPECT_EQ(SamplingEvents(), 1u);
    Ticks(kTouchSampleDelay);
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(2, 7, 9));
    EXPECT_EQ(DeviceRead(kTouchControl), kIrqOnSample);
    EXPECT_TRUE(Raised(kIrqTouch));  // bit 28 with bit 31 at the time of the sample
    EXPECT_EQ(SamplingEvents(), 0u);  // not sampling: no next one

    // Isolated from the host, pen events are dropped.
    Opt.SensorialIsolation = 1;
    TouchHostPen(false, 1, 1);
    CpuServicePending();
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(2, 7, 9));
}

TEST_F(InputFixture, TouchTapReleasedBeforeTheCoreLooksIsStillATouch) {
    DeviceWrite(kTouchControl, kIrqOnPen);
    TouchHostPen(true, 40, 50);
    TouchHostPen(false, 40, 50);  // both before the core serves the pen
    CpuServicePending();
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(1 + 4 + 2, 40, 50));
    EXPECT_TRUE(Raised(kIrqTouch));
    DeviceWrite(kTouchData, 0);
    Ticks(kTouchSamplePeriod);  // the next sample takes the release
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(4, 40, 50));
    EXPECT_EQ(SamplingEvents(), 0u);
}

constexpr uint32_t kGlobalControl = 0x4050000C, kGlobalStatus = 0x4050001C;
uint32_t Codec(uint32_t r) { return 0x40500200 + 2 * r; }

TEST_F(InputFixture, Ac97GlobalRegistersCodecAndDigitiser) {
    EXPECT_EQ(DeviceRead(kGlobalStatus), 0x300u);
    // Only cold reset released without warm reset keeps the control word.
    DeviceWrite(kGlobalControl, 1u << 1 | 1u << 2 | 1u << 19);
    EXPECT_EQ(DeviceRead(kGlobalControl), 0u);
    DeviceWrite(kGlobalControl, 1u << 1 | 1u << 19);
    EXPECT_EQ(DeviceRead(kGlobalControl), 1u << 1 | 1u << 19);

    // A codec write sets both done bits and, with control bit 19, raises source 14.
    DeviceWrite(Codec(0x74), 0x0202);
    EXPECT_EQ(DeviceRead(kGlobalStatus), 0x300u | 3u << 18);
    EXPECT_TRUE(Raised(kIrqAc97));
    EXPECT_EQ(DeviceRead(Codec(0x74)), 0x0002u);  // bit 9 reads clear
    DeviceWrite(Codec(0x74) + 1, 0x0006);  // the odd address names the same register
    EXPECT_EQ(DeviceRead(Codec(0x74)), 0x0006u);
    DeviceWrite(Codec(0x10), 0x1234);  // other registers keep nothing
    struct {
        uint32_t r, value;
    } fixed[] = {{0x78, 0xC000}, {0x7C, 0x574D}, {0x7E, 0x4C13}, {0x10, 0}, {0x00, 0}, {0x7F, 0}};
    for (const auto& f : fixed) EXPECT_EQ(DeviceRead(Codec(f.r)), f.value) << std::hex << f.r;

    // Writing status bits clears them and takes the interrupt; both done bits come back.
    DeviceWrite(kGlobalStatus, 0x100 | 1u << 18);
    EXPECT_FALSE(Raised(kIrqAc97));
    EXPECT_EQ(DeviceRead(kGlobalStatus), 0x200u | 3u << 18);
    // Codec reads raise source 14 only with control bit 18.
    DeviceRead(Codec(0x7C));
    EXPECT_FALSE(Raised(kIrqAc97));
    DeviceWrite(kGlobalControl, 1u << 1 | 1u << 18 | 3u << 4);
    DeviceRead(Codec(0x7C));
    EXPECT_TRUE(Raised(kIrqAc97));
    DeviceWrite(kGlobalControl, 1u << 1 | 3u << 4);  // bits 4 and 5 both set: the interrupt stays
    EXPECT_TRUE(Raised(kIrqAc97));
    DeviceWrite(kGlobalControl, 0);  // reset: codecs ready, interrupt taken
    EXPECT_FALSE(Raised(kIrqAc97));
    EXPECT_EQ(DeviceRead(kGlobalStatus), 0x300u);

    // The digitiser reports the touch screen's sample on the selected axis, pen-down in bit 15.
    TouchHostPen(true, 120, 160);
    CpuServicePending();
    struct {
        uint32_t select;
        int32_t x, y;
        uint32_t value;
    } axes[] = {
        {0x02, 120, 160, 120 * 4096 / 240 + 0x1000 + 0x8000},
        {0x04, 120, 160, 160 * 4096 / 320 + 0x2000 + 0x8000},
        {0x06, 120, 160, 160 * 4096 / 320 + 0x2000 + 0x8000},  // Y wins
        {0x00, 120, 160, 0x8000},
        {0x02, 239, 0, 4078 + 0x1000 + 0x8000},  // 239 * 4096 / 240 = 4078.9, truncated
        {0x02, -1, 0, 0x1000 - 17 + 0x8000},     // signed: truncated toward zero
    };
    for (const auto& a : axes) {
        SCOPED_TRACE(a.select);
        Touch.x = uint32_t(a.x);
        Touch.y = uint32_t(a.y);
        DeviceWrite(Codec(0x74), a.select);
        EXPECT_EQ(DeviceRead(Codec(0x7A)), a.value);
    }
    Touch.penDown = 0;
    EXPECT_EQ(DeviceRead(Codec(0x7A)), 0x1000u - 17);
}

TEST_F(InputFixture, SessionKeepsEveryBlockAndNeedsPowerManagerAndGpio) {
    test::TempDir dir;
    SessSetPath((dir / "s.aes").c_str());
    KeypadHostKey(63, true);
    CpuServicePending();
    DeviceWrite(kRotary, 0x1234);
    DeviceWrite(0x40F00008, 0x88);
    GpioSignal(31);
    DeviceWrite(Codec(0x74), 0x4);
    DeviceWrite(kTouchControl, kIrqOnPen);
    TouchHostPen(true, 33, 44);
    CpuServicePending();
    const KeypadState keypad = Keypad;
    SessTruncate();
    TouchSave(kRunSave);
    Ac97Save(kRunSave);
    KeypadSave(kRunSave);
    PowerManagerSave(kRunSave);
    GpioSave(kRunSave);
    ClockSave(kRunSave);  // the pending sampling event, by identifier
    ASSERT_TRUE(SessFinishSave());

    uint8_t image[296];
    ASSERT_TRUE(SessReadChunk(FourCC(">tsi"), image, 28));
    const uint32_t tsi[7] = {kIrqOnPen, 0, 33, 44, 1, 1, 1};
    for (unsigned i = 0; i < 7; ++i) EXPECT_EQ(ChunkGet32(image + 4 * i), tsi[i]) << i;
    ASSERT_TRUE(SessReadChunk(FourCC(">w97"), image, 4));
    EXPECT_EQ(ChunkGet32(image), 4u);
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
    EXPECT_EQ(DeviceRead(kTouchData), 0u);
    EXPECT_EQ(DeviceRead(Codec(0x74)), 0u);
    EXPECT_EQ(SamplingEvents(), 0u);
    BoardResetAll(kRunLoad);
    EXPECT_EQ(DeviceRead(kTouchData), TouchWord(7, 33, 44));
    EXPECT_EQ(DeviceRead(kGlobalStatus), 0x300u);
    EXPECT_EQ(DeviceRead(Codec(0x74)), 4u);
    EXPECT_EQ(SamplingEvents(), 1u);
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
    // The keypad, touch screen and codec power on without their chunks.
    KeypadReset(kRunLoad);
    TouchReset(kRunLoad);
    Ac97Reset(kRunLoad);
    EXPECT_EQ(DeviceRead(kScan), 255u);
    EXPECT_EQ(DeviceRead(kTouchData), 0u);
    EXPECT_EQ(DeviceRead(Codec(0x74)), 0u);
}

}  // namespace
}  // namespace tamsk
