// The NAND flash controller and the MMC controller driven through the board's device tables:
// page reads, programs and erases on the array, status and identifier reads, status bits and
// interrupt sources 45 and 23, misuse that must end the run, and the session chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tamsk/board/Board.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Mmc.h"
#include "tamsk/devices/Nand.h"
#include "tamsk/devices/Uart.h"

namespace tamsk {
namespace {

constexpr uint32_t kControl = kNandBase, kStatus = kNandBase + 0x14, kData = kNandBase + 0x40,
                   kCommand = kNandBase + 0x48;
constexpr uint32_t kWithSpare = 1u << 31, kShortSpare = 1u << 30, kRunBit = 1u << 28;
constexpr uint32_t kDone = 1u << 8, kReady = 1u << 11, kReadRequest = 1u << 1,
                   kWriteRequest = 1u << 2;
constexpr uint32_t kDoubleByte = 1u << 19;

bool Raised(unsigned source) { return Intc.rawPending[source / 32] >> (source % 32) & 1; }

// A command with the address words of page `page`, column `column`.
void Command(uint32_t word, uint32_t page = 0, uint32_t column = 0, uint32_t extra = 0) {
    DeviceWrite(kCommand, word);
    DeviceWrite(kCommand, page << 16 | column);
    DeviceWrite(kCommand, (page >> 16 & 0xFF) | extra);
}
void ReadPage(uint32_t page) { Command(kDoubleByte | 0x3000, page); }  // bytes 0x00, 0x30

std::vector<uint32_t> Drain(unsigned words) {
    std::vector<uint32_t> out;
    for (unsigned i = 0; i < words; ++i) out.push_back(DeviceRead(kData));
    return out;
}
// What the port should give for `bytes` bytes of the array from `at`.
std::vector<uint32_t> Expected(const uint8_t* at, unsigned bytes) {
    std::vector<uint32_t> out;
    for (unsigned i = 0; i < bytes; i += 4) out.push_back(ChunkGet32(at + i));
    return out;
}
void Pattern(uint8_t* at, unsigned bytes, uint8_t seed) {
    for (unsigned i = 0; i < bytes; ++i) at[i] = uint8_t(seed + i * 13);
}

class NandFixture : public ::testing::Test {
protected:
    void SetUp() override {
        OptLoadDefaults();
        OptSetText(Opt.SerialPort, "none");
        MemAllocateAreas();
        // Direct writes into the array below need every block filled first.
        MemNandTouchAll();
        std::memset(MemNandData, 0xFF, kNandDataSize + kNandSpareSize);
        IntcReset(kRunPowerOn);
        BoardResetAll(kRunSoftReset);  // installs the device tables and resets every device
    }
    void TearDown() override { UartSave(kRunExit); }
};

TEST_F(NandFixture, StatusAndIdentifierReads) {
    EXPECT_EQ(DeviceRead(kStatus), kReady);
    // Read status on a ready controller: 0xC0, then 0; done only with the second word.
    Command(0x70);
    EXPECT_EQ(DeviceRead(kStatus), kReady | kReadRequest);
    EXPECT_EQ(DeviceRead(kData), 0xC0u);
    EXPECT_EQ(DeviceRead(kStatus), kReady);
    EXPECT_EQ(DeviceRead(kData), 0u);
    EXPECT_EQ(DeviceRead(kStatus), kReady | kDone);
    // Without the ready bit the status byte is 0x80.
    DeviceWrite(kStatus, kReady | kDone);
    Command(0x70);
    EXPECT_EQ(DeviceRead(kData), 0x80u);
    EXPECT_EQ(DeviceRead(kData), 0u);

    Command(0x90);
    DeviceWrite(kStatus, kDone);
    EXPECT_EQ(DeviceRead(kData), 0x1500A12Cu);
    EXPECT_EQ(DeviceRead(kStatus), kReady | kDone);
    // Nothing left: 0, and only the read request is cleared.
    Command(0xFF);
    DeviceWrite(kStatus + 0, 0);
    EXPECT_EQ(DeviceRead(kData), 0u);
    EXPECT_EQ(DeviceRead(kStatus), kReady | kDone);
    EXPECT_EQ(DeviceRead(kNandBase + 0x48), 0xFFu);
}

TEST_F(NandFixture, PageReadsQueueDataAndSpare) {
    Pattern(MemNandData + 5 * kNandPageSize, kNandPageSize, 1);
    Pattern(MemNandData + 7 * kNandPageSize, kNandPageSize, 2);
    Pattern(MemNandSpare, kNandSpareSize / 1024, 3);
    const uint8_t* spare5 = MemNandSpare + 5 * kNandSpareBytes;
    const uint8_t* spare7 = MemNandSpare + 7 * kNandSpareBytes;

    struct Case {
        uint32_t control;
        unsigned spareBytes;
    } cases[] = {{0, 0}, {kWithSpare, 64}, {kWithSpare | kShortSpare, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        DeviceWrite(kControl, c.control | 0xFFF);
        ReadPage(5);
        Command(0x30, 7);  // the single-byte form queues behind the first
        EXPECT_EQ(DeviceRead(kNandBase + 0x4C), 7u << 16);
        std::vector<uint32_t> want = Expected(MemNandData + 5 * kNandPageSize, kNandPageSize);
        for (uint32_t w : Expected(spare5, c.spareBytes)) want.push_back(w);
        for (uint32_t w : Expected(MemNandData + 7 * kNandPageSize, kNandPageSize)) want.push_back(w);
        for (uint32_t w : Expected(spare7, c.spareBytes)) want.push_back(w);
        DeviceWrite(kStatus, kDone);
        EXPECT_EQ(Drain(want.size() - 1), std::vector<uint32_t>(want.begin(), want.end() - 1));
        EXPECT_EQ(DeviceRead(kStatus) & kDone, 0u);
        EXPECT_EQ(DeviceRead(kData), want.back());
        EXPECT_EQ(DeviceRead(kStatus) & kDone, kDone);
        EXPECT_EQ(DeviceRead(kData), 0u);
    }
    // The column moves the start within the array.
    DeviceWrite(kControl, 0);
    Command(0x00, 5, 8);
    EXPECT_EQ(DeviceRead(kData), ChunkGet32(MemNandData + 5 * kNandPageSize + 8));
}

TEST_F(NandFixture, ProgramAndEraseReachTheArray) {
    DeviceWrite(kControl, kWithSpare | 0xFFF);
    Command(kDoubleByte | 0x1080, 64);
    EXPECT_EQ(DeviceRead(kStatus) & (kWriteRequest | kReady), kWriteRequest | kReady);
    for (uint32_t i = 0; i < 528; ++i) DeviceWrite(kData, 0xA0000000 | i);
    DeviceWrite(kData, 0xDEADBEEF);  // the buffer is full: dropped
    EXPECT_EQ(DeviceRead(kStatus) & kDone, kDone);
    EXPECT_EQ(ChunkGet32(MemNandData + 64 * kNandPageSize), 0xA0000000u);
    EXPECT_EQ(ChunkGet32(MemNandData + 65 * kNandPageSize - 4), 0xA00001FFu);
    EXPECT_EQ(ChunkGet32(MemNandSpare + 64 * kNandSpareBytes), 0xA0000200u);
    EXPECT_EQ(ChunkGet32(MemNandSpare + 65 * kNandSpareBytes - 4), 0xA000020Fu);
    EXPECT_EQ(MemNandData[65 * kNandPageSize], 0xFF);
    EXPECT_EQ(MemNandSpare[65 * kNandSpareBytes], 0xFF);

    // Short spare: 522 words, 40 spare bytes; the rest of the spare area stays.
    DeviceWrite(kControl, kWithSpare | kShortSpare | 0xFFF);
    Command(kDoubleByte | 0x1080, 100);
    for (uint32_t i = 0; i < 530; ++i) DeviceWrite(kData, i);
    EXPECT_EQ(ChunkGet32(MemNandSpare + 100 * kNandSpareBytes + 36), 521u);
    EXPECT_EQ(MemNandSpare[100 * kNandSpareBytes + 40], 0xFF);

    // Erase with first address word 64: data bytes 131072-262143 and spare bytes 4096-8191. A page
    // inside a block (96) erases the 64 pages from it. The first read through the port sees the
    // erased bytes; then the whole array is compared.
    for (uint32_t first : {64u, 96u}) {
        SCOPED_TRACE(first);
        MemNandTouchAll();
        std::memset(MemNandData + 63 * kNandPageSize, 0, 170 * kNandPageSize);
        std::memset(MemNandSpare + 63 * kNandSpareBytes, 0, 170 * kNandSpareBytes);
        DeviceWrite(kCommand, kDoubleByte | 0xD060);
        DeviceWrite(kCommand, first);
        DeviceWrite(kCommand, 0);
        DeviceWrite(kControl, kWithSpare | 0xFFF);
        ReadPage(first + 63);
        EXPECT_EQ(Drain(528), std::vector<uint32_t>(528, 0xFFFFFFFFu));
        ReadPage(first + 64);
        EXPECT_EQ(Drain(1), std::vector<uint32_t>{0});
        Drain(527);
        MemNandTouchAll();
        const uint32_t data = first * kNandPageSize, spare = first * kNandSpareBytes;
        for (uint32_t i = data; i < data + 131072; ++i) ASSERT_EQ(MemNandData[i], 0xFF) << i;
        for (uint32_t i = spare; i < spare + 4096; ++i) ASSERT_EQ(MemNandSpare[i], 0xFF) << i;
        EXPECT_EQ(MemNandData[data - 1], 0);
        EXPECT_EQ(MemNandData[data + 131072], 0);
        EXPECT_EQ(MemNandSpare[spare - 1], 0);
        EXPECT_EQ(MemNandSpare[spare + 4096], 0);
    }
    // The last block of the array.
    DeviceWrite(kCommand, 0x60);
    DeviceWrite(kCommand, kNandPages - 64);
    DeviceWrite(kCommand, 0);
    EXPECT_EQ(MemNandTouch(kNandDataSize + kNandSpareSize - 1, 1)[0], 0xFF);
}

TEST_F(NandFixture, LazyEraseFillsABlockOnItsFirstTouchOnly) {
    // Marked blocks read as erased wherever they are touched: through the port, by a ROM area load
    // (a range across blocks) or all at once; a block written after its fill keeps what it holds.
    MemEraseNand();
    DeviceWrite(kControl, kWithSpare | 0xFFF);
    ReadPage(3);
    EXPECT_EQ(Drain(528), std::vector<uint32_t>(528, 0xFFFFFFFFu));
    MemNandData[3 * kNandPageSize] = 0x12;
    MemEraseNand();  // block 0 is filled: marked again, and erased again on the next touch
    uint8_t* across = MemNandTouch(kNandBlockDataBytes - 2, 4);
    EXPECT_EQ(std::vector<uint8_t>(across, across + 4), std::vector<uint8_t>(4, 0xFF));
    across[0] = 0x34;
    MemNandTouch(0, kNandDataSize + kNandSpareSize);
    EXPECT_EQ(MemNandData[3 * kNandPageSize], 0xFF);
    EXPECT_EQ(across[0], 0x34);
    EXPECT_EQ(MemNandSpare[kNandSpareSize - 1], 0xFF);
    ReadPage(kNandBlockDataBytes / kNandPageSize - 1);
    EXPECT_EQ(Drain(512).back(), 0xFF34FFFFu);
}

TEST_F(NandFixture, StatusBitsDriveSource45) {
    DeviceWrite(kControl, 0xFFF);  // everything masked
    EXPECT_FALSE(Raised(kIrqNand));
    DeviceWrite(kControl, 0xFFF | kRunBit);
    EXPECT_EQ(DeviceRead(kStatus), kReady | 1u);
    EXPECT_FALSE(Raised(kIrqNand));
    // Unmasking a set bit raises the source; clearing every unmasked bit lowers it.
    DeviceWrite(kControl, 0xFFF & ~kReady);
    EXPECT_TRUE(Raised(kIrqNand));
    DeviceWrite(kStatus, kReady);
    EXPECT_FALSE(Raised(kIrqNand));
    // A newly set unmasked bit raises it; the data-port read that clears it lowers it again.
    DeviceWrite(kControl, 0xFFF & ~kReadRequest);
    Command(0x90);
    EXPECT_TRUE(Raised(kIrqNand));
    DeviceRead(kData);
    EXPECT_FALSE(Raised(kIrqNand));
    // Reset sets done and ready again even when they were set.
    DeviceWrite(kControl, 0xFFF & ~kDone);
    EXPECT_TRUE(Raised(kIrqNand));
    DeviceWrite(kStatus, kDone);
    Command(0xFF);
    EXPECT_TRUE(Raised(kIrqNand));
}

TEST_F(NandFixture, MisuseEndsTheRun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    EXPECT_EXIT(Command(0x80), fatal, "Unsupported NAND command 0x80");
    EXPECT_EXIT(Command(kDoubleByte | 0x3100), fatal, "Unsupported NAND command 0x31");
    EXPECT_EXIT(ReadPage(kNandPages), fatal, "beyond the array");
    EXPECT_EXIT(Command(0x30, kNandPages - 1, 4), fatal, "beyond the array");
    EXPECT_EXIT(Command(kDoubleByte | 0x1080, 0x10000), fatal, "beyond the array");
    EXPECT_EXIT(
        {
            DeviceWrite(kCommand, 0x60);  // erase: the first address word is the page
            DeviceWrite(kCommand, kNandPages - 63);
            DeviceWrite(kCommand, 0);
        },
        fatal, "block at page 0xFFC1 is beyond the array");
    EXPECT_EXIT(Command(0x30, 1, 0, 1u << 8), fatal, "multi-page");
    EXPECT_EXIT(DeviceRead(kNandBase + 0x04), fatal, "Unsupported NAND controller access at 0x43100004");
    EXPECT_EXIT(DeviceWrite(kNandBase + 0x100, 0), fatal, "Unsupported NAND controller access");
    EXPECT_EXIT(
        {
            DeviceWrite(kControl, kWithSpare);
            for (int i = 0; i < 257; ++i) ReadPage(1);
        },
        fatal, "Unexpected sequence of NAND read commands");
    // 256 reads with spare fill the list exactly, and it drains.
    DeviceWrite(kControl, kWithSpare);
    for (int i = 0; i < 256; ++i) ReadPage(1);
    Drain(256 * 528);
    EXPECT_EQ(DeviceRead(kStatus) & kDone, kDone);
    DeviceWrite(kNandBase + 0x0C, 1);  // ignored
}

TEST_F(NandFixture, SessionKeepsAReadUnderWay) {
    test::TempDir dir;
    SessSetPath((dir / "n.aes").c_str());
    Pattern(MemNandData + 9 * kNandPageSize, kNandPageSize, 5);
    DeviceWrite(kControl, 0xFFF);
    ReadPage(9);
    Drain(10);
    SessTruncate();
    NandSave(kRunSave);
    MmcSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());
    uint8_t image[kNandChunkSize];
    ASSERT_TRUE(SessReadChunk(FourCC(">nac"), image, sizeof image));
    EXPECT_EQ(ChunkGet32(image), 0xFFFu);

    NandReset(kRunSoftReset);
    EXPECT_EQ(DeviceRead(kControl), 0u);
    EXPECT_EQ(DeviceRead(kData), 0u);
    NandReset(kRunLoad);
    EXPECT_EQ(DeviceRead(kData), ChunkGet32(MemNandData + 9 * kNandPageSize + 40));

    // A chunk whose list points outside the array is refused.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ChunkPut32(image + 24, 0x7FFFFFF0);  // first segment's start
    SessSetPath((dir / "bad.aes").c_str());
    SessTruncate();
    SessWriteChunk(FourCC(">nac"), image, sizeof image);
    ASSERT_TRUE(SessFinishSave());
    EXPECT_EXIT(NandReset(kRunLoad), ::testing::ExitedWithCode(kFatalExitCode & 0xFF),
                "Invalid or unexpected session data");

    // Without the chunk the controller powers on.
    SessSetPath((dir / "missing.aes").c_str());
    NandReset(kRunLoad);
    EXPECT_EQ(DeviceRead(kStatus), kReady);
}

TEST_F(NandFixture, MmcAnswersWithoutACard) {
    constexpr uint32_t kMmcStatus = kMmcBase + 0x04, kMask = kMmcBase + 0x28,
                       kInterrupt = kMmcBase + 0x2C, kCmdat = kMmcBase + 0x10;
    EXPECT_EQ(DeviceRead(kMmcStatus), 0x40u);
    DeviceWrite(kMask, 0x7F);
    DeviceWrite(kMmcBase, 2);  // start the clock
    EXPECT_EQ(DeviceRead(kMmcStatus), 0x140u);
    DeviceWrite(kMmcBase + 0x34, 17);
    DeviceWrite(kMmcBase + 0x38, 0x1234);
    DeviceWrite(kMmcBase + 0x08, 3);

    struct Case {
        uint32_t cmdat, interrupt;
    } cases[] = {{0, 0x64}, {1u << 7, 0x04}, {1u << 2, 0x65}, {(1u << 2) | (1u << 3) | (1u << 7), 0x07}};
    for (const Case& c : cases) {
        DeviceWrite(kMask, 0x7F);
        DeviceWrite(kMmcBase, 1);
        DeviceWrite(kMmcBase, 2);  // restarting the clock clears only bit 4
        Mmc.interrupt = 0;
        DeviceWrite(kCmdat, c.cmdat);
        EXPECT_EQ(DeviceRead(kInterrupt), c.interrupt) << c.cmdat;
        EXPECT_EQ(DeviceRead(kCmdat), c.cmdat);
    }
    EXPECT_FALSE(Raised(kIrqMmc));
    DeviceWrite(kMask, 0x7F & ~0x04);
    EXPECT_TRUE(Raised(kIrqMmc));
    DeviceWrite(kMask, 0x7F);
    EXPECT_FALSE(Raised(kIrqMmc));
    // Stopping the clock sets bit 4; an unmasked bit 4 raises 23 and a restart lowers it.
    DeviceWrite(kMask, 0x7F & ~0x10);
    DeviceWrite(kMmcBase, 1);
    EXPECT_TRUE(Raised(kIrqMmc));
    EXPECT_EQ(DeviceRead(kMmcStatus), 0x40u);
    DeviceWrite(kMmcBase + 0x00, 2);
    EXPECT_FALSE(Raised(kIrqMmc));

    // The second slot's block is the same controller; unmodelled offsets read 0.
    EXPECT_EQ(DeviceRead(kMmcMirror + 0x34), 17u);
    EXPECT_EQ(DeviceRead(kMmcMirror + 0x38), 0x1234u);
    EXPECT_EQ(DeviceRead(kMmcBase + 0x40), 0u);
    DeviceWrite(kMmcMirror + 0x14, 99);
    EXPECT_EQ(DeviceRead(kMmcBase + 0x14), 99u);

    test::TempDir dir;
    SessSetPath((dir / "m.aes").c_str());
    SessTruncate();
    MmcSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());
    MmcReset(kRunHardReset);
    EXPECT_EQ(DeviceRead(kMmcBase + 0x14), 0u);
    MmcReset(kRunLoad);
    EXPECT_EQ(DeviceRead(kMmcBase + 0x14), 99u);
    EXPECT_EQ(DeviceRead(kMmcStatus), 0x140u);
}

}  // namespace
}  // namespace tamsk
