// The loop of runs against the stand-in core: every run code's effect on memory, devices and the
// session file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/FakeCore.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/devices/Intc.h"

namespace tamsk {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

TEST(RunLoop, EveryRunCodeOnMemoryAndSession) {
    TempDir dir;
    WriteFile(dir / "rom.widebin", std::string("\x11\x22\x33\x44ROM!", 8));
    std::string program = dir / "tamsk", rom = "-ROM:" + (dir / "rom.widebin");
    std::string serial = "-SerialPort:none";
    char* argv[] = {program.data(), rom.data(), serial.data()};
    OptSetFilePath(dir / "tamsk.ini");
    SessSetPath((dir / "s.aes").c_str());

    std::vector<std::function<int32_t()>> runs = {
        [&] {  // power-on: the ROM is in NOR, its first word replaced by the breakpoint
            EXPECT_EQ(Word(MemNor), kPatchBreakpoint);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(MemNor) + 4, 4), "ROM!");
            MemDram[0] = 1;
            MemDram[kDramSize - 2] = 0xD1;  // the last saved bytes (the area less one byte)
            MemSram[kSramSize - 2] = 0x5A;
            FakeMmuImage[0] = 0x77;
            IntcRaise(kIrqOsTimer0);
            Intc.mask[0] = ~0u;
            IntcUpdate();
            return int32_t(kRunSave);
        },
        [&] {  // after the save, nothing was reset
            EXPECT_EQ(MemDram[0], 1);
            EXPECT_TRUE(Intc.present);
            MemDram[0] = 2;
            MemDram[kDramSize - 2] = 0;
            MemSram[kSramSize - 2] = 0;
            FakeMmuImage[0] = 0;
            return int32_t(kRunLoad);
        },
        [&] {  // the load brings the saved moment back
            EXPECT_EQ(MemDram[0], 1);
            EXPECT_EQ(MemDram[kDramSize - 2], 0xD1);
            EXPECT_EQ(MemSram[kSramSize - 2], 0x5A);
            EXPECT_EQ(FakeMmuImage[0], 0x77);
            EXPECT_TRUE(Intc.present);
            EXPECT_EQ(Intc.irqPending[0], 1u << kIrqOsTimer0);
            return int32_t(kRunSoftReset);
        },
        [&] {  // a soft reset keeps RAM and clears the devices
            EXPECT_EQ(MemDram[0], 1);
            EXPECT_FALSE(Intc.present);
            return int32_t(kRunHardReset);
        },
        [&] {  // a hard reset clears DRAM and reloads the ROM
            EXPECT_EQ(MemDram[0], 0);
            EXPECT_EQ(MemDram[kDramSize - 1], 0);
            EXPECT_EQ(Word(MemNor), kPatchBreakpoint);
            // An exit request is not undone by a later save request.
            CpuRequestRunEnd(kRunExit);
            CpuRequestRunEnd(kRunSave);
            EXPECT_EQ(RunCode.load(), kRunExit);
            EXPECT_TRUE(CpuServicePending());
            return RunCode.load();
        },
    };
    size_t run = 0;
    FakeCoreRun = [&] { return run < runs.size() ? runs[run++]() : int32_t(kRunExit); };
    FakeCoreResets.clear();
    EXPECT_EQ(HostRunLoop(3, argv), 0);
    EXPECT_EQ(run, runs.size());
    EXPECT_EQ(FakeCoreResets, (std::vector<int32_t>{0, 4, 5, 3, 2}));
    // The reset vector went back at the end, and the options file was written.
    EXPECT_EQ(Word(MemNor), 0x44332211u);
    EXPECT_NE(ReadFile(dir / "tamsk.ini").find("ROM=" + dir / "rom.widebin" + "\r\n"), std::string::npos);
}

TEST(RunLoop, NandBlocksSavedAndRestoredWithoutFillingTheArray) {
    // Two blocks hold data (one in its data area, one in its spare area); the save and the load keep
    // every other block erased, that is without host memory behind it.
    TempDir dir;
    WriteFile(dir / "rom.widebin", std::string("ROM!", 4));
    std::string program = dir / "tamsk", rom = "-ROM:" + (dir / "rom.widebin");
    std::string serial = "-SerialPort:none";
    char* argv[] = {program.data(), rom.data(), serial.data()};
    OptSetFilePath(dir / "tamsk.ini");
    SessSetPath((dir / "s.aes").c_str());
    constexpr uint32_t kData = 5, kSpare = 900;
    auto erasedElsewhere = [&] {
        uint32_t erased = 0;
        for (uint32_t b = 0; b < kNandBlockCount; ++b) erased += MemNandBlockErased(b);
        EXPECT_FALSE(MemNandBlockErased(kData));
        EXPECT_FALSE(MemNandBlockErased(kSpare));
        EXPECT_EQ(erased, kNandBlockCount - 2);
    };
    std::vector<std::function<int32_t()>> runs = {
        [&] {
            uint8_t* data = MemNandTouch(uint64_t(kData) * kNandBlockDataBytes + 100, 2);
            data[0] = 0xAB;
            data[1] = 0x00;
            MemNandTouch(kNandDataSize + uint64_t(kSpare) * kNandBlockSpareBytes + 7, 1)[0] = 0x5C;
            return int32_t(kRunSave);
        },
        [&] {
            erasedElsewhere();
            MemEraseNand();
            return int32_t(kRunLoad);
        },
        [&] {
            erasedElsewhere();
            const uint8_t* data = MemNandData + size_t(kData) * kNandBlockDataBytes;
            EXPECT_EQ(data[99], 0xFF);
            EXPECT_EQ(data[100], 0xAB);
            EXPECT_EQ(data[101], 0x00);
            EXPECT_EQ(MemNandSpare[size_t(kData) * kNandBlockSpareBytes], 0xFF);
            EXPECT_EQ(MemNandSpare[size_t(kSpare) * kNandBlockSpareBytes + 7], 0x5C);
            EXPECT_EQ(MemNandData[size_t(kSpare) * kNandBlockDataBytes], 0xFF);
            EXPECT_EQ(MemNandTouch(0, 1)[0], 0xFF);
            return int32_t(kRunExit);
        },
    };
    size_t run = 0;
    FakeCoreRun = [&] { return run < runs.size() ? runs[run++]() : int32_t(kRunExit); };
    EXPECT_EQ(HostRunLoop(3, argv), 0);
    EXPECT_EQ(run, runs.size());
}

TEST(RunLoop, ResetVectorOfZeroIsRestored) {
    TempDir dir;
    WriteFile(dir / "zero.widebin", std::string(8, '\0'));
    std::string program = dir / "tamsk", rom = "-ROM:" + (dir / "zero.widebin");
    std::string serial = "-SerialPort:none";
    char* argv[] = {program.data(), rom.data(), serial.data()};
    OptSetFilePath(dir / "tamsk.ini");
    int runs = 0;
    FakeCoreRun = [&] {
        EXPECT_EQ(Word(MemNor), kPatchBreakpoint);
        // The planted breakpoint runs the saved word once, then soft-resets the board.
        uint32_t instruction = 1;
        EXPECT_TRUE(PatchResetVectorTrap(&instruction));
        EXPECT_EQ(instruction, 0u);
        EXPECT_FALSE(PatchResetVectorTrap(&instruction));
        EXPECT_TRUE(CpuServicePending());
        return ++runs == 1 ? RunCode.load() : int32_t(kRunExit);
    };
    HostRunLoop(3, argv);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(Word(MemNor), 0u);
}

TEST(RunLoop, AutomaticSavesEveryInterval) {
    TempDir dir;
    WriteFile(dir / "rom.widebin", std::string(16, '\x5A'));
    std::string program = dir / "tamsk", rom = "-ROM:" + (dir / "rom.widebin");
    std::string serial = "-SerialPort:none", interval = "-AutoSaveInterval:2";
    std::string folder = "-AutoSavePath:" + dir.path();
    char* argv[] = {program.data(), rom.data(), serial.data(), interval.data(), folder.data()};
    OptSetFilePath(dir / "tamsk.ini");
    int runs = 0;
    FakeCoreRun = [&] {
        // Emulated seconds pass until the core is asked to end the run.
        while (!(PendingEventWord.load() >> kPendingEndRun & 1)) CpuAdvanceTicks(kTicksPerSecond);
        CpuServicePending();
        return ++runs < 3 ? RunCode.load() : int32_t(kRunExit);
    };
    HostRunLoop(5, argv);
    EXPECT_EQ(runs, 3);
    // Two saves, numbered, each a session that names the ROM.
    for (const char* name : {"autosave_000.aes", "autosave_001.aes"}) {
        SessSetPath((dir / name).c_str());
        char path[260];
        ASSERT_TRUE(SessReadChunk(FourCC(">rfn"), path, sizeof path)) << name;
        EXPECT_EQ(std::string(path), dir / "rom.widebin");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "autosave_002.aes"));
}

}  // namespace
}  // namespace tamsk
