// KezGlobalsInit, the hardware information and the trace zones.
#include <cstring>
#include <string>

#include "kez/tests/KezTestSupport.h"

namespace kez {
void PrvHALInfoInitialize();
}

namespace kez::testing {
namespace {

class Config : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
    }
    template <typename Sig>
    Sig* Slot(uint16_t slot) {
        return reinterpret_cast<Sig*>(ExportTable()[slot]);
    }
    KezBootConfig config_{};
};

TEST_F(Config, GlobalsInitTakesOverTheRecordAndFillsThePointerBlock) {
    config_.hardwareWordA = 5;
    config_.hardwareWordB = 7;
    std::strcpy(config_.storagePath, "/tmp/storage");
    KezHostStatus status{};
    KezGlobalsInit(&config_, &status);
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALInfoGetBootValueA)(), 5u);
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALInfoGetBootValueB)(), 7u);
    EXPECT_EQ(Slot<uint32_t()>(kezslot::HALInfoGetCreator)(), FourCC("qel_"));
    EXPECT_STREQ(gKez.config.storagePath, "/tmp/storage");
    EXPECT_EQ(gKez.hostStatus, &status);
    EXPECT_EQ(gKez.exitType, -1);
    EXPECT_EQ(gKez.wakeupPipe[0], -1);
    EXPECT_EQ(gKez.displayDepthMask, 0x808Bu);
    EXPECT_EQ(gKez.keyMask, 0xFFFFFFFFu);

    void** block = KEZ_CALL(KezGetGlobals);
    EXPECT_EQ(block[0], &gKez);
    EXPECT_NE(block[1], nullptr);
    EXPECT_EQ(block[5], &gHardwareInfo);
    for (int i : {2, 3, 4, 6, 7}) EXPECT_EQ(block[i], nullptr) << i;
}

TEST_F(Config, HardwareFlagsSayWhetherThereIsSound) {
    struct Case {
        uint8_t sound;
        const char* device;
        bool noSound;
    };
    for (const Case& c : {Case{1, "Tst1", false}, Case{0, "Tst1", true}, Case{1, "_uml", true}}) {
        config_.soundEnabled = c.sound;
        config_.deviceType = *FourCCFromText(c.device);
        KezGlobalsInit(&config_, nullptr);
        PrvHALInfoInitialize();
        EXPECT_EQ(Slot<uint32_t()>(kezslot::HALInfoGetFlags)(), c.noSound ? 0x1900u : 0x900u) << c.device;
        EXPECT_EQ(Slot<uint16_t()>(kezslot::HALInfoGetRevision)(), 2083);
    }
    EXPECT_EQ(Slot<uint16_t(uint16_t)>(kezslot::HALInfoSetRevision)(2100), 2100);
    EXPECT_EQ(Slot<uint16_t()>(kezslot::HALInfoGetRevision)(), 2100);
}

TEST_F(Config, TraceZonesFilterAndJoinPartsIntoOneLine) {
    config_.traceMask[0x1F] = 0x01;  // zone 0xFF only
    KezGlobalsInit(&config_, nullptr);
    ::testing::internal::CaptureStdout();
    KEZ_CALL(HALTrace, 0xFF00, "shown %d", 1);
    KEZ_CALL(HALTrace, 0xFE00, "hidden");
    KEZ_CALL(HALTracePart, 0xFF00, "A");
    KEZ_CALL(HALTrace, 0xFF00, "B");
    std::string out = ::testing::internal::GetCapturedStdout();
    // "%02X: %09lu " then the message.
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 2u) << out;
    for (const std::string& line : lines) {
        ASSERT_EQ(line.size() > 14, true);
        EXPECT_EQ(line.substr(0, 4), "FF: ");
        EXPECT_EQ(line.find_first_not_of("0123456789", 4), 13u);
    }
    EXPECT_EQ(lines[0].substr(14), "shown 1");
    EXPECT_EQ(lines[1].substr(14), "AB");
}

TEST_F(Config, HexDumpWritesSixteenBytesPerLine) {
    config_.traceMask[0] = 0x80;  // zone 0
    KezGlobalsInit(&config_, nullptr);
    uint8_t data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<uint8_t>(i < 16 ? 'a' + i : 0x41 + i - 16);
    data[1] = 0x1F;
    ::testing::internal::CaptureStdout();
    KEZ_CALL(HALTraceHexDump, 0x0012, data, 20);
    KEZ_CALL(HALTraceHexDump, 0x0012, data, 0);
    KEZ_CALL(HALTraceHexDump, 0x0100, data, 20);  // zone 1 is off
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string first = "61 1F 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70   a.cdefghijklmnop\n";
    std::string second = "41 42 43 44 " + std::string(36, ' ') + "  ABCD\n";
    EXPECT_EQ(out, first + second);
}

}  // namespace
}  // namespace kez::testing
