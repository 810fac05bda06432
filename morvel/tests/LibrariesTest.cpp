// 68K shared libraries, native thunks and the fatal alert, run from 68K programs against the
// stand-in OS.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/ErrorGlue.h"
#include "morvel/traps/Libraries.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/Thunks.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

using vantor::FourCC;
using vantor::os::Library;

// A 68K library: the install routine at offset 0 stores the dispatch table; entries 1-4 answer
// 1-4 (sleep and wake also count their calls), entry 5 returns its parameter + 0x100. The first
// code offset is 12: six entries.
constexpr const char* kLibrary68K = R"(
install:
        move.l 6(%sp),%a0
        lea table(%pc),%a1
        move.l %a1,(%a0)
        move.l #0x600D0001,4(%a0)
        moveq #0,%d0
        rts
table:  .short name-table, open-table, close-table, sleep-table, wake-table, add-table
open:   moveq #1,%d0
        rts
close:  moveq #2,%d0
        rts
sleep:  lea sleeps(%pc),%a0
        addq.w #1,(%a0)
        moveq #3,%d0
        rts
wake:   lea wakes(%pc),%a0
        addq.w #1,(%a0)
        moveq #4,%d0
        rts
add:    move.w 6(%sp),%d0
        add.w #0x100,%d0
        rts
sleeps: .short 0
wakes:  .short 0
name:   .asciz "Serial Library"
        .even
)";

// Finds "Serial Library", calls its entry `trap` with the parameter 0x42 and keeps the results:
// D6 the error of the find, D5 the reference number, D7 what the library trap left in D0.
std::string CallerSource(uint16_t trap) {
    return R"(
        lea ref(%pc),%a2
        move.l %a2,-(%sp)
        pea name(%pc)
        trap #15
        .short 0xA0BA
        addq.l #8,%sp
        move.w %d0,%d6
        move.w (%a2),%d5
        move.l #0x77777777,%d0
        move.w #0x42,-(%sp)
        move.w %d5,-(%sp)
        trap #15
        .short )" + std::to_string(trap) + R"(
        addq.l #4,%sp
        move.l %d0,%d7
        rts
ref:    .short 0
name:   .asciz "Serial Library"
        .even
)";
}

class LibrariesTest : public MorvelTest {
protected:
    void SetUp() override {
        MorvelTest::SetUp();
        ASSERT_EQ(TrapTableCreate(&ctx_.state), 0);
        library_ = Assemble(kLibrary68K);
    }
    void TearDown() override {
        for (uint32_t i = 1; i < ctx_.state.libCount; ++i)
            while (LibTableEntry(&ctx_.state, static_cast<uint16_t>(i))) LibRemove(&ctx_.state, static_cast<uint16_t>(i));
        LibTableFree(&ctx_.state);
        MorvelTest::TearDown();
    }
    uint16_t Run(const std::string& src) {
        code_ = Assemble(src);
        return Call68KCode(&ctx_.state, Addr(code_.data()), 0);
    }
    // A database 'libr'/'swrp' whose 'libr' 0 is the library.
    uint32_t AddLibraryDatabase() {
        uint32_t db = vantor::os::AddDatabase("Serial Lib", FourCC("libr"), FourCC("swrp"), 1);
        AddResource(db, FourCC("libr"), 0, library_);
        return db;
    }
    TestContext ctx_;
    std::vector<uint8_t> library_, code_;
};

TEST_F(LibrariesTest, InstalledLibraryTakesTrapsUpToItsLastEntry) {
    uint16_t ref = 0, again = 0;
    ASSERT_EQ(LibInstallEntry(&ctx_.state, Addr(library_.data()), false, &ref), 0);
    EXPECT_EQ(ref, 1);
    ASSERT_EQ(LibInstallEntry(&ctx_.state, Addr(library_.data()), false, &again), 0);
    EXPECT_EQ(again, 1);
    const vantor::A68kLibTableEntry* e = LibTableEntry(&ctx_.state, ref);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->installCount, 2u);
    EXPECT_EQ(e->moduleRef, vantor::kA68kLibKind68K);
    EXPECT_STREQ(reinterpret_cast<const char*>(e->name), "Serial Library");

    EXPECT_EQ(Run(CallerSource(0xA805)), 0);
    EXPECT_EQ(ctx_.state.D[6] & 0xFFFF, 0u);
    EXPECT_EQ(ctx_.state.D[5] & 0xFFFF, 1u);
    EXPECT_EQ(ctx_.state.D[7], 0x77770142u);
    // Entry 6 lies beyond the table: nothing is called and D0 stays as the caller left it.
    EXPECT_EQ(Run(CallerSource(0xA806)), 0);
    EXPECT_EQ(ctx_.state.D[7], 0x77777777u);

    // Sleep and wake reach entries 3 and 4.
    LibSleepWake(&ctx_.state, true);
    LibSleepWake(&ctx_.state, false);
    LibSleepWake(&ctx_.state, false);
    std::string bytes(library_.begin(), library_.end());
    size_t sleeps = bytes.find("Serial Library") - 4;
    EXPECT_EQ(vantor::ReadBE16(&library_[sleeps]), 1);
    EXPECT_EQ(vantor::ReadBE16(&library_[sleeps + 2]), 2);

    EXPECT_EQ(LibRemove(&ctx_.state, ref), 0);
    EXPECT_NE(LibTableEntry(&ctx_.state, ref), nullptr);
    EXPECT_EQ(LibRemove(&ctx_.state, ref), 0);
    EXPECT_EQ(LibTableEntry(&ctx_.state, ref), nullptr);
    EXPECT_EQ(LibRemove(&ctx_.state, ref), kErrLibBadRef);
    EXPECT_EQ(LibRemove(&ctx_.state, kNoLibRef), kErrLibBadRef);
}

TEST_F(LibrariesTest, FindLoadsTheKnownLibraryAndEachReferenceIsReleasedOnce) {
    uint32_t db = AddLibraryDatabase();
    EXPECT_EQ(Run(CallerSource(0xA805)), 0);
    EXPECT_EQ(ctx_.state.D[6] & 0xFFFF, 0u);
    uint16_t ref = static_cast<uint16_t>(ctx_.state.D[5]);
    EXPECT_EQ(ref, 1);
    EXPECT_EQ(ctx_.state.D[7], 0x77770142u);
    EXPECT_EQ(vantor::os::OpenReferences(db), 1);

    // A second load finds the installed library: one more install, no second database reference.
    uint16_t again = 0;
    EXPECT_EQ(LibLoad68K(&ctx_.state, FourCC("libr"), FourCC("swrp"), &again), 0);
    EXPECT_EQ(again, ref);
    EXPECT_EQ(vantor::os::OpenReferences(db), 1);
    auto* handle = reinterpret_cast<void*>(vantor::ReadBE32(&LibTableEntry(&ctx_.state, ref)->codeHandle));
    EXPECT_EQ(vantor::sys::MemHandleLockCount(handle), 1);

    EXPECT_EQ(LibRemove(&ctx_.state, ref), 0);
    EXPECT_EQ(vantor::os::OpenReferences(db), 1);
    EXPECT_EQ(LibRemove(&ctx_.state, ref), 0);
    EXPECT_EQ(vantor::os::OpenReferences(db), 0);
    EXPECT_EQ(vantor::sys::MemHandleLockCount(handle), 0);

    // Unknown names are not found; a known native library is not loaded while the OS forbids it.
    uint16_t none = 0;
    EXPECT_EQ(LibFind(&ctx_.state, "Unknown Library", &none), kErrLibNotFound);
    EXPECT_EQ(none, kNoLibRef);
    static_cast<uint8_t*>(vantor::sys::SysGetGlobals())[vantor::kOsGlobalsFlagByte] = vantor::kOsFlagRestrictedLoad;
    vantor::os::ClearCalls();
    EXPECT_EQ(LibFind(&ctx_.state, "Sockra.lib", &none), kErrLibNotFound);
    EXPECT_TRUE(vantor::os::CallsOf(Library::System, vantor::sysslot::DmFindNewestDatabase).empty());
}

TEST_F(LibrariesTest, EntriesStayPutWhileTheTableGrows) {
    uint16_t first = 0;
    ASSERT_EQ(LibInstallEntry(&ctx_.state, Addr(library_.data()), false, &first), 0);
    vantor::A68kLibTableEntry* held = LibTableEntry(&ctx_.state, first);
    // Further copies of the library at other addresses are other libraries.
    std::vector<std::vector<uint8_t>> copies(6, library_);
    for (auto& copy : copies) {
        uint16_t ref = 0;
        ASSERT_EQ(LibInstallEntry(&ctx_.state, Addr(copy.data()), false, &ref), 0);
    }
    EXPECT_EQ(ctx_.state.libCount, 8u);
    EXPECT_EQ(LibTableEntry(&ctx_.state, first), held);
    EXPECT_EQ(vantor::ReadBE32(&held->globals), 0x600D0001u);
}

// Native library entries installed from several tasks at once, and thunks made and dropped.
template <int N>
uint16_t NativeEntry(void*, vantor::A68kLibTableEntry* e, uint16_t selector) {
    if (selector == vantor::kA68kLibSelectorName) e->name = Addr("native");
    return 0;
}
template <int N>
void ThunkTarget(EmulState* s) {
    s->D[0] = N;
}

TEST_F(LibrariesTest, TablesSharedByTasksStayConsistent) {
    using Entry = uint16_t (*)(void*, vantor::A68kLibTableEntry*, uint16_t);
    const Entry entries[4] = {NativeEntry<0>, NativeEntry<1>, NativeEntry<2>, NativeEntry<3>};
    const ThunkFunction thunks[4] = {ThunkTarget<0>, ThunkTarget<1>, ThunkTarget<2>, ThunkTarget<3>};
    std::atomic<int> failures{0};
    std::vector<std::thread> tasks;
    for (int t = 0; t < 4; ++t) {
        tasks.emplace_back([&, t] {
            EmulState task{};
            task.global = &ctx_.state;
            for (int i = 0; i < 300; ++i) {
                uint16_t ref = 0;
                if (LibInstallEntry(&task, Addr(reinterpret_cast<void*>(entries[t])), true, &ref) != 0) ++failures;
                uint32_t thunk = NativeThunkNew(&task, Addr(reinterpret_cast<void*>(thunks[t])), false, 0);
                if (!thunk) ++failures;
                NativeThunkRelease(&task, Addr(reinterpret_cast<void*>(thunks[t])));
                if (LibRemove(&task, ref) != 0) ++failures;
            }
        });
    }
    for (auto& t : tasks) t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ctx_.state.thunks, nullptr);
    for (uint32_t i = 1; i < ctx_.state.libCount; ++i) EXPECT_EQ(LibTableEntry(&ctx_.state, static_cast<uint16_t>(i)), nullptr);
}

void ThunkWithArgument(EmulState* s, uint32_t argument) { s->D[0] = argument + 1; }

TEST_F(LibrariesTest, ThunksCallNativeFunctionsFrom68KCode) {
    uint32_t fn = Addr(reinterpret_cast<void*>(&ThunkWithArgument));
    uint32_t thunk = NativeThunkNew(&ctx_.state, fn, true, 41);
    ASSERT_NE(thunk, 0u);
    EXPECT_EQ(NativeThunkNew(&ctx_.state, fn, true, 41), thunk);
    EXPECT_EQ(NativeThunkNew(&ctx_.state, fn, true, 7), 0u);
    uint32_t outFn = 1, outArg = 1;
    EXPECT_EQ(NativeThunkGetInfo(&ctx_.state, thunk, &outFn, &outArg), 1u);
    EXPECT_EQ(outFn, fn);
    EXPECT_EQ(outArg, 41u);
    EXPECT_EQ(NativeThunkGetInfo(&ctx_.state, thunk + 2, &outFn, &outArg), 0u);
    EXPECT_EQ(outFn, 0u);
    EXPECT_EQ(outArg, 0u);

    // A JSR to the thunk runs the function and returns after the JSR; a thunk trap word outside a
    // thunk calls nothing.
    code_ = Assemble(R"(
        move.l %a3,%a0
        jsr (%a0)
        move.l %d0,%d4
        moveq #5,%d0
        trap #15
        .short 0x07FE
        move.l %d0,%d5
        rts
)");
    ctx_.state.A[3] = thunk;
    uint32_t sp = ctx_.state.A[7];
    EXPECT_EQ(Call68KCode(&ctx_.state, Addr(code_.data()), 0), 0);
    EXPECT_EQ(ctx_.state.D[4], 42u);
    EXPECT_EQ(ctx_.state.D[5], 5u);
    EXPECT_EQ(ctx_.state.A[7], sp);

    NativeThunkRelease(&ctx_.state, fn);
    EXPECT_NE(ctx_.state.thunks, nullptr);
    NativeThunkRelease(&ctx_.state, fn);
    EXPECT_EQ(ctx_.state.thunks, nullptr);
}

uint16_t gNubVector;
void RecordNub(EmulState*, uint16_t vector) { gNubVector = vector; }

TEST_F(LibrariesTest, FatalAlertChoices) {
    MorvelSetNubEntry(RecordNub);
    struct Case {
        uint16_t choice;
        uint16_t slot;  // the system slot called after the alert, 0 for none
        uint16_t nub;
    } cases[] = {{0, vantor::sysslot::SysReset, 0}, {1, vantor::sysslot::SysEnterDebugger, 0},
                 {2, 0, 0xBC}, {3, vantor::sysslot::SysEnterDebugger, 0}};
    std::vector<std::string> alerts;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        vantor::os::ClearCalls();
        gNubVector = 0;
        alerts.clear();
        vantor::os::OnCall(Library::Ui, vantor::uislot::SysFatalAlert, [&alerts, choice = c.choice](const vantor::os::SlotCall& call) {
            alerts.push_back(reinterpret_cast<const char*>(call.args[0]));
            return uint32_t{choice};
        });
        vantor::os::ScriptResult(Library::System, vantor::sysslot::SysReset, 0);
        ErrDisplayFileLineMsg("Form68K", 12, "Bad form", 7);
        EXPECT_EQ(alerts, std::vector<std::string>{"Form68K, Line:12, Bad form 7"});
        EXPECT_EQ(vantor::os::CallsOf(Library::System, vantor::sysslot::SysReset).size(),
                  c.slot == vantor::sysslot::SysReset ? 1u : 0u);
        EXPECT_EQ(gNubVector, c.nub);
    }
    MorvelSetNubEntry(nullptr);

    // The OS may ask for the queue to be drained after the alert.
    vantor::SysEventType key{};
    key.eType = 4;
    vantor::sys::EvtAddEventToQueue(&key);
    vantor::sys::EvtAddEventToQueue(&key);
    uint16_t drain = vantor::kOsFlagDrainAfterFatal;
    std::memcpy(static_cast<uint8_t*>(vantor::sys::SysGetGlobals()) + vantor::kOsGlobalsFlagWord, &drain, 2);
    ErrDisplayFileLineMsg("Form68K", 13, "Drained");
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);

    // Without a context the OS display gets the report.
    SetCurrentContext(nullptr);
    ErrDisplayFileLineMsg("Form68K", 14, "Nobody");
    auto reports = vantor::os::ErrorReports();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[reports.size() - 2].message, "ErrDisplayFileLineMsg can't get emulStateP");
    EXPECT_EQ(reports.back().message, "Nobody");
}

TEST_F(LibrariesTest, ErrAlertCustomTrapPassesItsTexts) {
    vantor::os::OnCall(Library::System, vantor::sysslot::ErrAlertCustom, [](const vantor::os::SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFFFF, 0x1234u);
        EXPECT_STREQ(reinterpret_cast<const char*>(c.args[1]), "message");
        EXPECT_EQ(c.args[2], 0u);
        EXPECT_STREQ(reinterpret_cast<const char*>(c.args[3]), "post");
        return 2u;
    });
    EXPECT_EQ(Run(R"(
        pea post(%pc)
        clr.l -(%sp)
        pea message(%pc)
        move.w #0x1234,-(%sp)
        moveq #-1,%d0
        trap #15
        .short 0xA365
        lea 14(%sp),%sp
        rts
message: .asciz "message"
post:   .asciz "post"
        .even
)"),
              0);
    EXPECT_EQ(ctx_.state.D[0], 2u);
}

}  // namespace
}  // namespace morvel::test
