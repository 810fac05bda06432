#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tamsk/board/Board.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Rom.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/tests/TestFiles.h"

namespace tamsk {
namespace {

using test::TempDir;
using test::WriteFile;

class Memory : public ::testing::Test {
protected:
    void SetUp() override {
        OptLoadDefaults();
        MemAllocateAreas();
    }
    TempDir dir;
};

TEST(RomKinds, ByExtension) {
    const struct {
        const char* path;
        int kind;
    } cases[] = {{"a.widebin", kFileRawImage}, {"A.AEB", kFileRawImage}, {"x/y.Indirect", kFileRomList},
                 {"rom.aei", kFileRomList},     {"s.session", kFileSession}, {"s.aes", kFileSession},
                 {"rom.bin", kFileUnknown},     {"noextension", kFileUnknown},
                 {"dir.aei/file", kFileUnknown}, {"a.aei.bak", kFileUnknown},
                 {"x.aeiiiiiiiiiiiiiiiiiiiii", kFileUnknown}};
    for (const auto& c : cases) EXPECT_EQ(RomFileKind(c.path), c.kind) << c.path;
}

TEST_F(Memory, RomListLoadsEveryAreaAndTheCommandLine) {
    WriteFile(dir / "nor.bin", "NOR-DATA");
    WriteFile(dir / "sram.bin", "SRAM");
    WriteFile(dir / "dram.bin", "DRAM");
    WriteFile(dir / "nand.bin", "NAND");
    WriteFile(dir / "cmdline.txt", "console=ttyS0");
    WriteFile(dir / "list.aei",
              "\r\n  \nNOR :100:nor.bin\r\nSRAM:5C020000:sram.bin\r\nDRAM:0x80001000:dram.bin\n"
              "NAND:200:nand.bin\nCMDL:400:cmdline.txt\n");
    OptSetText(Opt.ROM, (dir / "list.aei").c_str());
    std::memset(MemNandData, 0, 16);
    MemLoadRom();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(MemNor) + 0x100, 8), "NOR-DATA");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(MemSram) + 0x20000, 4), "SRAM");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(MemDram) + 0x1000, 4), "DRAM");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(MemNandData) + 0x200, 4), "NAND");
    EXPECT_EQ(MemNandData[0], 0xFF);  // a ROM list erases the NAND first
    const uint8_t record[] = {0xCE, 0xFA, 0xED, 0xFE, 6, 0, 0, 0, 0x09, 0x00, 0x41, 0x54,
                              'c',  'o',  'n',  's',  'o', 'l', 'e', '=', 't',  't',  'y',
                              'S',  '0',  0x00, 0xFF};
    EXPECT_EQ(std::memcmp(MemNandData + 0x400, record, sizeof record), 0);
}

TEST_F(Memory, ListItemsParsedAsWritten) {
    const std::string text = "  NOR :1F:a b.bin\r\nCMDL:0:c\nTOOLONG:1:x\n";
    size_t pos = 0;
    RomListItem item;
    ASSERT_TRUE(RomParseListItem(text, &pos, &item));
    EXPECT_STREQ(item.area, "NOR ");
    EXPECT_EQ(item.offset, 0x1Fu);
    EXPECT_STREQ(item.path, "a b.bin");
    ASSERT_TRUE(RomParseListItem(text, &pos, &item));
    EXPECT_STREQ(item.area, "CMDL");
    EXPECT_FALSE(RomParseListItem(text, &pos, &item));  // an area name of more than 4 characters
    EXPECT_EQ(RomItemPath("/roms/list.aei", "k.bin"), "/roms/k.bin");
    EXPECT_EQ(RomItemPath("list.aei", "sub\\k.bin"), "sub/k.bin");
    EXPECT_EQ(RomItemPath("/roms/list.aei", "/abs/k.bin"), "/abs/k.bin");
}

TEST_F(Memory, RomErrorsEndWithTheirMessages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WriteFile(dir / "empty.bin", "");
    WriteFile(dir / "sram-full.bin", std::string(kSramSize, 'x'));
    WriteFile(dir / "sram-fits.bin", std::string(kSramSize - 1, 'x'));
    WriteFile(dir / "cmd.txt", "root=/dev/mmcblk0");
    WriteFile(dir / "cmd-long.txt", std::string(500, 'c'));
    const struct {
        const char* list;
        const char* message;
    } cases[] = {
        {"NOR:0:\nNOR:0:x.bin\n", "Failed to parse or load ROM file"},
        {"", "Failed to parse or load ROM file"},
        {"NOR:0:missing.bin\n", "The file .*missing.bin could not be opened"},
        {"ROMX:0:empty.bin\n", "Can't load .*empty.bin\n\nNot a recognized memory area for machine Zylonite B1"},
        {"NOR:0:empty.bin\n", "The file .*empty.bin could not be read"},
        {"NOR:0:.\n", "The file .*/\\. could not be read"},  // a directory
        {"SRAM:5C000000:sram-full.bin\n", "The file .*sram-full.bin is too large to fit in the Zylonite B1 SRAM area"},
        {"SRAM:5BFFFFFF:sram-fits.bin\n", "too large to fit"},
        {"CMDL:7FFFE00:cmd.txt\n", "can't be stored at offset 0x7FFFE00 in the Zylonite B1 NAND area"},
        {"CMDL:0:cmd-long.txt\n", "cmd-long.txt is too large to fit in the Zylonite B1 CMDL area"},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "bad.aei", c.list);
        OptSetText(Opt.ROM, (dir / "bad.aei").c_str());
        EXPECT_EXIT(MemLoadRom(), ::testing::ExitedWithCode(kFatalExitCode & 0xFF), c.message) << c.list;
    }
    // A file one byte short of the area fits.
    WriteFile(dir / "good.aei", "SRAM:5C000000:sram-fits.bin\nCMDL:7FFFDFF:cmd.txt\n");
    OptSetText(Opt.ROM, (dir / "good.aei").c_str());
    MemLoadRom();
    EXPECT_EQ(MemSram[kSramSize - 2], 'x');

    // Raw images, whatever their extension, go to NOR from offset 0.
    WriteFile(dir / "image.bin", "RAWIMAGE");
    OptSetText(Opt.ROM, (dir / "image.bin").c_str());
    MemLoadRom();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(MemNor), 8), "RAWIMAGE");

    // Raw images: larger than NOR is refused, a missing one is not found.
    OptSetText(Opt.ROM, (dir / "none.widebin").c_str());
    EXPECT_EXIT(MemLoadRom(), ::testing::ExitedWithCode(kFatalExitCode & 0xFF), "ROM file not found");
    OptSetText(Opt.ROM, dir.path().c_str());
    EXPECT_EXIT(MemLoadRom(), ::testing::ExitedWithCode(kFatalExitCode & 0xFF), "could not be read");
    // A FIFO, as a ROM or as a list item, is refused without waiting for a writer.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    OptSetText(Opt.ROM, (dir / "fifo").c_str());
    EXPECT_EXIT(MemLoadRom(), ::testing::ExitedWithCode(kFatalExitCode & 0xFF), "fifo could not be read");
    WriteFile(dir / "fifo.aei", "SRAM:5C000000:fifo\n");
    OptSetText(Opt.ROM, (dir / "fifo.aei").c_str());
    EXPECT_EXIT(MemLoadRom(), ::testing::ExitedWithCode(kFatalExitCode & 0xFF), "fifo could not be read");
    WriteFile(dir / "huge.widebin", "");
    std::filesystem::resize_file(dir / "huge.widebin", kNorSize + 1);
    OptSetText(Opt.ROM, (dir / "huge.widebin").c_str());
    EXPECT_EXIT(MemLoadRom(), ::testing::ExitedWithCode(kFatalExitCode & 0xFF), "too large to fit in the Zylonite B1 NOR area");
}

TEST_F(Memory, NandEraseGivesBackTheWrittenBlocksMemory) {
    // Runs of written blocks (at the array's two ends, in the middle, a spare area alone) are
    // erased: every block reads 0xFF again and the array holds no host memory.
    const uint32_t written[] = {0, 1, 2, 5, 700, kNandBlockCount - 1};
    for (uint32_t b : written) MemNandTouch(uint64_t(b) * kNandBlockDataBytes + 9, 1)[0] = 0x12;
    MemNandTouch(kNandDataSize + 300 * kNandBlockSpareBytes, 1)[0] = 0x34;
    EXPECT_FALSE(MemNandBlockErased(300));
    MemEraseNand();
    std::vector<unsigned char> resident((kNandDataSize + kNandSpareSize) / 4096);
    ASSERT_EQ(mincore(MemNandData, kNandDataSize + kNandSpareSize, resident.data()), 0);
    EXPECT_EQ(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; }), 0);
    for (uint32_t b = 0; b < kNandBlockCount; ++b) ASSERT_TRUE(MemNandBlockErased(b)) << b;
    for (uint32_t b : written) EXPECT_EQ(MemNandTouch(uint64_t(b) * kNandBlockDataBytes + 9, 1)[0], 0xFF) << b;
    EXPECT_EQ(MemNandTouch(kNandDataSize + 300 * kNandBlockSpareBytes, 1)[0], 0xFF);
}

TEST_F(Memory, PageMapCoversExactlyTheAreas) {
    const struct {
        uint32_t physical;
        const uint8_t* host;
    } cases[] = {
        {0x00000000, MemNor},           {0x03FFFFFF, MemNor + kNorSize - 1},
        {0x04000000, nullptr},          {0x5BFFFFFF, nullptr},
        {0x5C000000, MemSram},          {0x5C0BFFFF, MemSram + kSramSize - 1},
        {0x5C0C0000, nullptr},          {0x5CFFFFFF, nullptr},  // past SRAM in its 16 MB slice
        {0x80000000, MemDram},          {0x87FFFFFF, MemDram + kDramSize - 1},
        {0x88000000, nullptr},          {0x40D00000, nullptr},
        {0xFFFFFFFF, nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemHostPointer(c.physical), reinterpret_cast<uintptr_t>(c.host)) << std::hex << c.physical;
    EXPECT_EQ(MemContiguousBytes(0x5C0BFFFC), 4u);
    EXPECT_EQ(MemContiguousBytes(0x5C0C0000), 0u);
    for (uint32_t top : {0x00u, 0x5Cu, 0x80u, 0x87u})
        EXPECT_EQ(PhysPageMap[top] & 0xFFFFFF, 0u) << "16 MB alignment of entry " << top;
}

TEST_F(Memory, DeviceTablesAndBoardRegisters) {
    BoardResetAll(kRunSoftReset);
    EXPECT_EQ(DeviceRead(0x40301698), 0x40u);  // I2C
    EXPECT_EQ(DeviceRead(0x40301694), 0u);
    EXPECT_EQ(DeviceRead(0x41300000), 0x30000107u);  // clock manager
    EXPECT_EQ(DeviceRead(0x44A00000), 0u);
    DeviceWrite(0x50000000, 1);
    EXPECT_EQ(DeviceRead(0x50000000), 0u);
    for (uint32_t a : {0x48100000u, 0x48100004u, 0x48100020u, 0x48100040u, 0x48100050u,
                       0x48100060u, 0x48100068u, 0x48100090u}) {
        DeviceWrite(a, a ^ 0x5A5A);
        EXPECT_EQ(DeviceRead(a), a ^ 0x5A5A);
    }
    DeviceWrite(0x48100100, 7);
    EXPECT_EQ(DeviceRead(0x48100100), 0u);
    EXPECT_EQ(DeviceRead(0x48100008), 0u);
    EXPECT_EQ(DeviceRead(0x5BF00000), 0u);  // the last megabyte of the device range
}

}  // namespace
}  // namespace tamsk
