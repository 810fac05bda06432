// A 68K program run by Morvel's interpreter reaches the volume through the library traps: the
// real libDurnix.so, loaded by Kez's module loader, serves them through its 68K entry. The program
// mounts a host folder, writes a file, lists the folder and reads the file back; the host sees the
// file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/FourCC.h"
#include "common/module/SystemSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "durnix/tests/Glue68KKit.h"
#include "morvel/tests/M68kTestKit.h"
#include "morvel/traps/Libraries.h"
#include "standin/os/CardSlots.h"
#include "standin/os/StandinOs.h"

namespace durnix::test {
namespace {

namespace fs = std::filesystem;
using morvel::test::Addr;
using vantor::FourCC;
using vantor::os::Library;
namespace sysslot = vantor::sysslot;

class Glue68KTest : public morvel::test::RealKezTest {
protected:
    void SetUp() override {
        RealKezTest::SetUp();
        for (uint16_t slot : {sysslot::FileSystemSel22, sysslot::FileSystemSel23, sysslot::SysNotifyUnregisterDirect,
                              sysslot::FileSystemSel4, sysslot::FileSystemSel26})
            vantor::os::ScriptResult(Library::System, slot, 0);
        vantor::os::ScriptResult(Library::System, sysslot::ExpCardCheck, 1);
        root_ = AttachCardFolder("/tmp/durnix-68k-XXXXXX", 3);
        ASSERT_FALSE(root_.empty());
        // What the OS does for a 68K caller: the library's module, loaded by Kez's loader, is
        // installed in the 68K library table (its database's name is the module's file name).
        vantor::os::AddDatabase("libDurnix.dll", FourCC("libf"), FourCC("drnx"), 1);
        ASSERT_EQ(morvel::LibLoadNative(&ctx_.state, FourCC("libf"), FourCC("drnx"), &ref_), 0);
    }
    void TearDown() override {
        if (ref_ != morvel::kNoLibRef) {
            EXPECT_EQ(morvel::LibRemove(&ctx_.state, ref_), 0);
        }
        morvel::LibTableFree(&ctx_.state);
        fs::remove_all(root_);
        RealKezTest::TearDown();
    }
    std::string root_;
    uint16_t ref_ = morvel::kNoLibRef;
};

// Each step sets D6 to its number; a failing one leaves its status in D5 and returns.
const std::string kProgram = R"(
        lea     names(%pc),%a4
        moveq   #1,%d6
        lea     ref(%pc),%a2
        move.l  %a2,-(%sp)
        pea     libname(%pc)
        trap    #15
        .short  0xA0BA                  | SysLibFind
        addq.l  #8,%sp
        tst.w   %d0
        bne     fail
        move.w  (%a2),%d7

        moveq   #2,%d6
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA801                  | FSLibOpen
        addq.l  #2,%sp
        tst.w   %d0
        bne     fail

        moveq   #3,%d6
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA805                  | FSLibAPIVersion
        addq.l  #2,%sp
        cmp.l   #2,%d0
        bne     fail

        moveq   #4,%d6
        pea     mount(%pc)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA81B                  | FSVolumeMount
        addq.l  #6,%sp
        tst.w   %d0
        bne     fail

        moveq   #5,%d6
        pea     path(%pc)
        move.w  #1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA808                  | FSFileCreate
        addq.l  #8,%sp
        tst.w   %d0
        bne     fail

        moveq   #6,%d6
        pea     file(%pc)
        move.w  #7,-(%sp)
        pea     path(%pc)
        move.w  #1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA809                  | FSFileOpen, read and write
        lea     14(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #7,%d6
        pea     count(%pc)
        pea     text(%pc)
        move.l  #17,-(%sp)
        move.l  file(%pc),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA80C                  | FSFileWrite
        lea     18(%sp),%sp
        tst.w   %d0
        bne     fail
        lea     count(%pc),%a0
        cmp.l   #17,(%a0)
        bne     fail

        moveq   #8,%d6
        move.l  file(%pc),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA80A                  | FSFileClose
        addq.l  #6,%sp
        tst.w   %d0
        bne     fail

        moveq   #9,%d6
        pea     dir(%pc)
        move.w  #2,-(%sp)
        pea     slash(%pc)
        move.w  #1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA809                  | FSFileOpen of the root directory
        lea     14(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #10,%d6
        lea     info(%pc),%a1
        lea     entry(%pc),%a0
        move.l  %a0,4(%a1)
        move.w  #32,8(%a1)
next:   pea     info(%pc)
        pea     iter(%pc)
        move.l  dir(%pc),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA819                  | FSDirEntryEnumerate
        lea     14(%sp),%sp
        addentry next, listed
listed: clr.b   (%a4)

        moveq   #11,%d6
        move.l  dir(%pc),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA80A                  | FSFileClose
        addq.l  #6,%sp
        tst.w   %d0
        bne     fail

        moveq   #12,%d6
        pea     file(%pc)
        move.w  #2,-(%sp)
        pea     path(%pc)
        move.w  #1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA809                  | FSFileOpen, read only
        lea     14(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #13,%d6
        pea     count(%pc)
        clr.w   -(%sp)
        clr.l   -(%sp)
        pea     readbuf(%pc)
        move.l  #64,-(%sp)
        move.l  file(%pc),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA80B                  | FSFileRead past the end
        lea     24(%sp),%sp
        cmp.w   #0x2A07,%d0
        bne     fail
        lea     count(%pc),%a0
        cmp.l   #17,(%a0)
        bne     fail

        moveq   #14,%d6
        move.l  file(%pc),-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA80A                  | FSFileClose
        addq.l  #6,%sp
        tst.w   %d0
        bne     fail

        moveq   #15,%d6
        move.w  #1,-(%sp)
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA81C                  | FSVolumeUnmount
        addq.l  #4,%sp
        tst.w   %d0
        bne     fail

        moveq   #16,%d6
        move.w  %d7,-(%sp)
        trap    #15
        .short  0xA802                  | FSLibClose
        addq.l  #2,%sp
        moveq   #0,%d0
fail:   move.w  %d0,%d5
        rts

        .even
ref:    .short  0
file:   .long   0
dir:    .long   0
count:  .long   0
iter:   .long   0
info:   .long   0, 0
        .short  0
mount:  .short  1, 0
        .long   0x6C696273              | 'libs'
        .short  7, 3
)";

TEST_F(Glue68KTest, AProgramWritesListsAndReadsBackAFileOnTheVolume) {
    std::ofstream(root_ + "/fromhost") << "host";
    vantor::os::ClearCalls();
    std::vector<uint8_t> code = morvel::test::Assemble(kProgramMacros + kProgram + kProgramTexts);
    ASSERT_EQ(morvel::Call68KCode(&ctx_.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(ctx_.state.D[5] & 0xFFFF, 0u) << "step " << ctx_.state.D[6];
    EXPECT_EQ(ctx_.state.D[6], 16u);

    // The host sees the file with the program's bytes; the listing has both entries; a read past
    // the end gives the 17 bytes, counted.
    ExpectWrittenListedAndRead(root_, code);
}

TEST_F(Glue68KTest, TheEntryNamesTheLibraryAndRefusesOtherTraps) {
    vantor::A68kLibTableEntry* e = morvel::LibTableEntry(&ctx_.state, ref_);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(e->name)), "Host File System Library");
    auto entry = reinterpret_cast<vantor::A68kLibEntry>(static_cast<uintptr_t>(e->dispatch));
    for (uint16_t trap : {0xA800, 0xA821, 0xA900, 0x0002})
        EXPECT_EQ(entry(&ctx_.state, e, trap), 0x0505) << std::hex << trap;
    EXPECT_EQ(entry(&ctx_.state, e, 1), 0);
}

}  // namespace
}  // namespace durnix::test
