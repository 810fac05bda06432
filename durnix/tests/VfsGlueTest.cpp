// A 68K program reaches a host folder through the expansion and file-system traps (0xA347,
// 0xA348), as applications do: the OS's managers route them to the real libDurnix.so, loaded by
// Kez's loader as the OS installs it at boot. The program finds the slot and the volume, writes a
// file, lists the folder and reads the file back; it also finds the library by name without its
// being installed first.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/FourCC.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/SystemSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "durnix/tests/Glue68KKit.h"
#include "morvel/tests/M68kTestKit.h"
#include "morvel/traps/Libraries.h"
#include "standin/os/CardSlots.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/FileSystems.h"
#include "standin/os/StandinOs.h"

namespace durnix::test {
namespace {

namespace fs = std::filesystem;
using morvel::test::Addr;
using vantor::FourCC;
using vantor::os::Library;

class VfsGlueTest : public morvel::test::RealKezTest {
protected:
    void SetUp() override {
        RealKezTest::SetUp();
        // The library's last close drops the current application's notification.
        vantor::os::SetCurrentAppDatabase(vantor::os::AddDatabase("App", FourCC("appl"), FourCC("test"), 1));
        vantor::os::ScriptResult(Library::System, vantor::sysslot::SysNotifyUnregisterDirect, 0);
        root_ = AttachCardFolder(fs::canonical("/tmp").string() + "/durnix-vfs-XXXXXX", 1);
        ASSERT_FALSE(root_.empty());
        vantor::os::AddDatabase("libDurnix.dll", FourCC("libf"), FourCC("drnx"), 1);
        // What the OS does at boot: Kez's loader loads the module, and the OS offers it (Kez has not
        // booted here, so the OS has no module record to import it with: the table is taken
        // from the loaded file itself).
        vantor::RALLoadDescriptor descriptor{};
        descriptor.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kModuleName));
        auto load = reinterpret_cast<vantor::kezsig::RALLoadModule*>(KezExports()[vantor::kezslot::RALLoadModule]);
        ASSERT_EQ(load(&descriptor, 0, nullptr, &moduleRef_), 0);
        void* handle = dlopen(VANTOR_BIN_DIR "/libDurnix.so", RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(vantor::os::RegisterModule(handle));
        dlclose(handle);
    }
    void TearDown() override {
        // The OS removes the library: its volume is unmounted and it is closed.
        uint16_t fsLib = 0;
        using Install = uint16_t(uint32_t, uint16_t*);
        auto* table = vantor::os::SystemTable();
        if (reinterpret_cast<Install*>(table[vantor::sysslot::FileSystemSel32])(FourCC("drnx"), &fsLib) == 0) {
            EXPECT_EQ(reinterpret_cast<uint16_t (*)(uint16_t)>(table[vantor::sysslot::FileSystemSel33])(fsLib), 0);
        }
        EXPECT_TRUE(vantor::os::MountedVolumes().empty());
        if (libRef_ != morvel::kNoLibRef) {
            EXPECT_EQ(morvel::LibRemove(&ctx_.state, libRef_), 0);
        }
        morvel::LibTableFree(&ctx_.state);
        if (moduleRef_) {
            auto unload =
                reinterpret_cast<vantor::kezsig::RALUnloadModule*>(KezExports()[vantor::kezslot::RALUnloadModule]);
            EXPECT_EQ(unload(moduleRef_, nullptr, nullptr), 0);
        }
        vantor::os::UnregisterModule(FourCC("libf"), FourCC("drnx"));
        fs::remove_all(root_);
        RealKezTest::TearDown();
    }
    static constexpr char kModuleName[] = "libDurnix.dll";
    std::string root_;
    uint32_t moduleRef_ = 0;
    uint16_t libRef_ = morvel::kNoLibRef;
};

// Each step sets D6 to its number; a failing one leaves its status in D5 and returns.
const std::string kProgram = R"(
        .macro  exp sel
        moveq   #\sel,%d2
        trap    #15
        .short  0xA347
        .endm
        .macro  vfs sel
        moveq   #\sel,%d2
        trap    #15
        .short  0xA348
        .endm

        lea     names(%pc),%a4
        moveq   #1,%d6
        pea     iter(%pc)
        pea     slot(%pc)
        exp     10                      | slot enumerate
        addq.l  #8,%sp
        tst.w   %d0
        bne     fail

        moveq   #2,%d6
        lea     iter(%pc),%a0
        clr.l   (%a0)
        pea     iter(%pc)
        pea     vol(%pc)
        vfs     27                      | volume enumerate
        addq.l  #8,%sp
        tst.w   %d0
        bne     fail
        move.w  vol(%pc),%d7

        moveq   #3,%d6
        pea     path(%pc)
        move.w  %d7,-(%sp)
        vfs     2                       | file create
        addq.l  #6,%sp
        tst.w   %d0
        bne     fail

        moveq   #4,%d6
        pea     file(%pc)
        move.w  #7,-(%sp)
        pea     path(%pc)
        move.w  %d7,-(%sp)
        vfs     3                       | file open, read and write
        lea     12(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #5,%d6
        pea     count(%pc)
        pea     text(%pc)
        move.l  #17,-(%sp)
        move.l  file(%pc),-(%sp)
        vfs     7                       | file write
        lea     16(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #6,%d6
        move.l  file(%pc),-(%sp)
        vfs     4                       | file close
        addq.l  #4,%sp
        tst.w   %d0
        bne     fail

        moveq   #7,%d6
        pea     dir(%pc)
        move.w  #2,-(%sp)
        pea     slash(%pc)
        move.w  %d7,-(%sp)
        vfs     3                       | the root directory
        lea     12(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #8,%d6
        lea     iter(%pc),%a0
        clr.l   (%a0)
        lea     info(%pc),%a1
        lea     entry(%pc),%a0
        move.l  %a0,4(%a1)
        move.w  #32,8(%a1)
next:   pea     info(%pc)
        pea     iter(%pc)
        move.l  dir(%pc),-(%sp)
        vfs     20                      | directory entry enumerate
        lea     12(%sp),%sp
        addentry next, listed
listed: clr.b   (%a4)

        moveq   #9,%d6
        move.l  dir(%pc),-(%sp)
        vfs     4
        addq.l  #4,%sp
        tst.w   %d0
        bne     fail

        moveq   #10,%d6
        pea     file(%pc)
        move.w  #2,-(%sp)
        pea     path(%pc)
        move.w  %d7,-(%sp)
        vfs     3                       | file open, read only
        lea     12(%sp),%sp
        tst.w   %d0
        bne     fail

        moveq   #11,%d6
        pea     count(%pc)
        pea     readbuf(%pc)
        move.l  #64,-(%sp)
        move.l  file(%pc),-(%sp)
        vfs     6                       | file read past the end
        lea     16(%sp),%sp
        cmp.w   #0x2A07,%d0
        bne     fail
        lea     count(%pc),%a0
        cmp.l   #17,(%a0)
        bne     fail

        moveq   #12,%d6
        move.l  file(%pc),-(%sp)
        vfs     4
        addq.l  #4,%sp
        tst.w   %d0
        bne     fail

        moveq   #13,%d6
        move.l  file(%pc),-(%sp)
        vfs     4                       | closed already
        addq.l  #4,%sp
        cmp.w   #0x2A03,%d0
        bne     fail

        moveq   #14,%d6
        pea     ref(%pc)
        pea     libname(%pc)
        trap    #15
        .short  0xA0BA                  | SysLibFind
        addq.l  #8,%sp
        tst.w   %d0
        bne     fail
        move.w  ref(%pc),-(%sp)
        trap    #15
        .short  0xA805                  | FSLibAPIVersion
        addq.l  #2,%sp
        cmp.l   #2,%d0
        bne     fail
        moveq   #0,%d0
fail:   move.w  %d0,%d5
        rts

        .even
slot:   .short  0
vol:    .short  0
ref:    .short  0
file:   .long   0
dir:    .long   0
count:  .long   0
iter:   .long   0
info:   .long   0, 0
        .short  0
)";

TEST_F(VfsGlueTest, AProgramWritesListsAndReadsBackAFileThroughTheVolumeTraps) {
    std::ofstream(root_ + "/fromhost") << "host";
    std::vector<uint8_t> code = morvel::test::Assemble(kProgramMacros + kProgram + kProgramTexts);
    ASSERT_EQ(morvel::Call68KCode(&ctx_.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(ctx_.state.D[5] & 0xFFFF, 0u) << "step " << ctx_.state.D[6];
    EXPECT_EQ(ctx_.state.D[6], 14u);

    ExpectWrittenListedAndRead(root_, code);

    // The library the program found by name stays installed for the test to remove.
    EXPECT_EQ(morvel::LibFind(&ctx_.state, "Host File System Library", &libRef_), 0);
    EXPECT_EQ(vantor::os::MountedVolumes().size(), 1u);
}

}  // namespace
}  // namespace durnix::test
