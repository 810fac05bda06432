// The direct-call tables, runtime records, reporter and bridges in the i386 build, where "native"
// code is host code: the tables hold the OS entries themselves, and the trampolines call host
// functions on the host stack.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "FakeOs.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/ModuleGlue.h"
#include "morvel/directcall/DirectCall.h"
#include "morvel/glue/MorvelExports.h"
#include "standin/os/Notify.h"
#include "standin/os/StandinTest.h"

namespace morvel::directcall::test {
namespace {

using vantor::os::Library;

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename F>
uint32_t Fn(F* f) {
    return Addr(reinterpret_cast<const void*>(f));
}
template <typename T>
T* Ptr(uint32_t p) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(p));
}

class DirectCallTest : public vantor::os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        FakeOs::Install();
    }
    void TearDown() override {
        FakeOs::JoinTimers();
        StandinTest::TearDown();
    }
    static std::vector<std::string> Reports() {
        std::vector<std::string> out;
        for (const auto& r : vantor::os::ErrorReports())
            out.push_back(r.file + ":" + std::to_string(r.line) + ":" + r.message);
        return out;
    }
    static LumetRuntimeRecord* Record(uint32_t r9) { return Ptr<LumetRuntimeRecord>(r9 - 64); }
};

TEST_F(DirectCallTest, TablesHoldTheirEntriesTargetsAndStackWordCounts) {
    const auto sys = reinterpret_cast<const vantor::ModuleProc*>(vantor::os::SystemTable());
    vantor::ModuleProc* kez = FakeOs::KezTable();
    vantor::ModuleProc* ui = FakeOs::UiTable();
    struct Case {
        Table table;
        uint16_t id;
        uint32_t target;
        uint32_t stackWords;
    } cases[] = {
        {Table::System, 486, Fn(sys[486]), 0},      // StrLen
        {Table::System, 76, Fn(sys[76]), 9},        // DmDatabaseInfo
        {Table::System, 149, Fn(sys[149]), 9},      // DmSetDatabaseInfo
        {Table::System, 852, Fn(sys[852]), 5},
        {Table::System, 493, Fn(sys[493]), 0},      // the OS entry itself
        {Table::System, 1023, Fn(sys[914]), 0},     // AttnGetAttentionWithIcon
        {Table::System, 551, Fn(&SysNotifyRegisterDirectImpl), 1},
        {Table::System, 553, Fn(&SysNotifyUnregisterDirectImpl), 0},
        {Table::Ui, 137, Fn(ui[137]), 0},
        {Table::Ui, 178, Fn(&FrmSetEventHandlerDirectImpl), 0},
        {Table::Kez, 96, Fn(kez[85]), 0},
        {Table::Kez, 186, Fn(kez[173]), 0},
        {Table::Kez, 169, Fn(&LumetTimerCreate), 0},
        {Table::Kez, 171, Fn(kez[158]), 0},
    };
    for (const Case& c : cases) {
        const EntryTarget* t = LumetEntryTarget(c.table, c.id);
        ASSERT_NE(t, nullptr) << c.id;
        EXPECT_EQ(t->function, c.target) << c.id;
        EXPECT_EQ(t->stackWords, c.stackWords) << c.id;
        EXPECT_EQ(LumetDirectCallTable(c.table)[c.id], c.target) << c.id;
    }
    // Every other entry is the default one; the counts are those of the three lists.
    struct Count {
        Table table;
        uint32_t size, filled;
    } counts[] = {{Table::Kez, kKezEntries, 8}, {Table::System, kSystemEntries, 190}, {Table::Ui, kUiEntries, 13}};
    for (const Count& c : counts) {
        uint32_t filled = 0;
        for (uint32_t id = 0; id < c.size; ++id) {
            const bool has = LumetEntryTarget(c.table, static_cast<uint16_t>(id)) != nullptr;
            filled += has;
            if (!has) {
                EXPECT_EQ(LumetDirectCallTable(c.table)[id], 0u) << id;
            }
        }
        EXPECT_EQ(filled, c.filled);
    }
    EXPECT_EQ(LumetEntryTarget(Table::Ui, kUiEntries), nullptr);
}

TEST_F(DirectCallTest, SemaphoreEntriesPassOnlyTheLowByteOfTheirFirstArgument) {
    vantor::os::ScriptResult(Library::System, 362, 0);
    vantor::os::ScriptResult(Library::System, 363, 0);
    for (uint16_t id : {362, 363}) {
        auto f = Ptr<uint32_t(uint32_t, uint32_t, uint32_t, uint32_t)>(LumetEntryTarget(Table::System, id)->function);
        f(0x1201, 7, 8, 9);
        auto calls = vantor::os::CallsOf(Library::System, id);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].args[0], 0x01u);
        EXPECT_EQ(calls[0].args[1], 7u);
    }
}

TEST_F(DirectCallTest, TasksFillingTheTablesAtOnceAllSeeThemWhole) {
    std::atomic<int> go{0}, complete{0};
    std::vector<std::thread> tasks;
    for (int i = 0; i < 4; ++i)
        tasks.emplace_back([&] {
            while (!go) {
            }
            const uint32_t r9 = PrvLumetDirectCallInitARM();
            if (r9 && Ptr<uint32_t>(Record(r9)->systemTable)[486] != 0 && LumetEntryTarget(Table::Kez, 186)) complete++;
            PrvLumetDirectCallCloseARM();
        });
    go = 1;
    for (auto& t : tasks) t.join();
    EXPECT_EQ(complete.load(), 4);
}

TEST_F(DirectCallTest, ARecordHasItsStackBetweenMarkersAndChainsToTheTasksPreviousOne) {
    const uint32_t chunks = vantor::os::ChunkCount(vantor::os::kDynamicHeapID);
    const uint32_t outer = PrvLumetDirectCallInitARM();
    ASSERT_NE(outer, 0u);
    LumetRuntimeRecord* r = Record(outer);
    EXPECT_EQ(r->previous, 0u);
    EXPECT_EQ(r->kezTable, Addr(LumetDirectCallTable(Table::Kez)));
    EXPECT_EQ(r->systemTable, Addr(LumetDirectCallTable(Table::System)));
    EXPECT_EQ(r->uiTable, Addr(LumetDirectCallTable(Table::Ui)));
    EXPECT_EQ(r->nativeSP, r->stackBlock + kStackBytes);
    EXPECT_EQ(r->nativeSP % 8, 0u);
    EXPECT_EQ(*Ptr<uint32_t>(r->stackBlock), kBottomMarker);
    EXPECT_EQ(std::memcmp(Ptr<void>(r->stackBlock), "_inr", 4), 0);
    EXPECT_EQ(*Ptr<uint32_t>(r->stackBlock + kStackBytes), kTopMarker);
    EXPECT_EQ(LumetCurrentR9(), outer);
    r->r9Word = 0xA5A5;
    const uint32_t inner = PrvLumetDirectCallInitARM();
    EXPECT_EQ(Record(inner)->previous, Addr(r));
    EXPECT_EQ(Record(inner)->r9Word, 0xA5A5u);
    EXPECT_EQ(LumetCurrentR9(), inner);
    // Another task has its own chain.
    uint32_t other = 1;
    std::thread([&] { other = LumetCurrentR9(); }).join();
    EXPECT_EQ(other, 0u);
    PrvLumetDirectCallCloseARM();
    EXPECT_EQ(LumetCurrentR9(), outer);
    PrvLumetDirectCallCloseARM();
    EXPECT_EQ(LumetCurrentR9(), 0u);
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks);
    EXPECT_TRUE(Reports().empty());
}

// Host functions standing for native code that damages its stack's markers.
uint32_t DamageBottom(uint32_t) {
    *Ptr<uint32_t>(Ptr<LumetRuntimeRecord>(LumetCurrentR9() - 64)->stackBlock) = 0x12345678;
    return 1;
}
uint32_t DamageTop(uint32_t) {
    *Ptr<uint32_t>(Ptr<LumetRuntimeRecord>(LumetCurrentR9() - 64)->stackBlock + kStackBytes) = 0;
    return 2;
}

TEST_F(DirectCallTest, DamagedMarkersAndACloseWithoutRecordAreReported) {
    const uint32_t chunks = vantor::os::ChunkCount(vantor::os::kDynamicHeapID);
    EXPECT_EQ(LumetRunNative1(Fn(&DamageBottom), 0), 1u);
    EXPECT_EQ(LumetRunNative1(Fn(&DamageTop), 0), 2u);
    PrvLumetDirectCallCloseARM();
    EXPECT_EQ(Reports(), (std::vector<std::string>{
                             "LumetDirectCallARM:296:PrvLumetDirectCallCloseARM(): Lumet stack overflow",
                             "LumetDirectCallARM:298:PrvLumetDirectCallCloseARM(): Lumet stack underflow",
                             "LumetDirectCallARM:292:PrvLumetDirectCallCloseARM(): Null R9 runtime struct"}));
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks);  // freed all the same
}

// ---- the reporter ----

constexpr uint32_t kNop = 0xE1A00000;
uint32_t Bl(const uint32_t* from, const uint32_t* to) {
    const int32_t words = static_cast<int32_t>(Addr(to) - (Addr(from) + 8)) / 4;
    return 0xEB000000u | (static_cast<uint32_t>(words) & 0xFFFFFF);
}

TEST_F(DirectCallTest, TheReporterNamesTheTableAndFunctionOfTheCallersStub) {
    const std::string head = "#### PrvLumetUnimplementedSysCall(): Direct Access to an unsupported system call (@ 0x";
    struct Case {
        uint32_t load, jump;  // the stub's two instructions
        bool bl;              // the call is a BL (else a plain instruction)
        const char* line;     // what follows the address line
    } cases[] = {
        {0xE519C004, 0xE59CF000 | 7 * 4, true, "PrvLumetUnimplementedSysCall(): Kez, Func ID: 7\n"},
        {0xE519C008, 0xE59CF000 | 486 * 4, true, "PrvLumetUnimplementedSysCall(): System, Func ID: 486\n"},
        {0xE519C00C, 0xE59CF000 | 178 * 4, true, "PrvLumetUnimplementedSysCall(): UI, Func ID: 178\n"},
        {0xE519C010, 0xE59CF000 | 3 * 4, true,
         "PrvLumetUnimplementedSysCall(): Unknown Module ID: 4, Func ID: 3\n"},
        {0xE519C008, kNop, true, ""},           // not the device's stub
        {0xE519C008, 0xE59CF000, false, ""},    // not called by a BL
    };
    for (const Case& c : cases) {
        // The call at code[0] (BL or a plain instruction) and, further on, its target.
        alignas(4) uint32_t code[6] = {kNop, kNop, kNop, kNop, c.load, c.jump};
        code[0] = c.bl ? Bl(&code[0], &code[4]) : kNop;
        testing::internal::CaptureStdout();
        PrvLumetUnimplementedSysCall(Addr(&code[1]));
        const std::string out = testing::internal::GetCapturedStdout();
        char address[16];
        std::snprintf(address, sizeof address, "%lX)\n", static_cast<unsigned long>(Addr(&code[0])));
        EXPECT_EQ(out, head + address + c.line) << c.line;
    }
    // A call from Thumb code: only the address and the Thumb line.
    testing::internal::CaptureStdout();
    PrvLumetUnimplementedSysCall(0x00010001);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              head + "FFFD)\nPrvLumetUnimplementedSysCall(): Call is in Thumb mode\n");
    // A BL with the "never" condition (a BLX) is not decoded.
    alignas(4) uint32_t blx[6] = {0, kNop, kNop, kNop, 0xE519C008, 0xE59CF000};
    blx[0] = (Bl(&blx[0], &blx[4]) & 0x0FFFFFFF) | 0xF0000000;
    testing::internal::CaptureStdout();
    PrvLumetUnimplementedSysCall(Addr(&blx[1]));
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("Func ID"), std::string::npos);
}

// ---- bridges, with host functions as native code ----

std::vector<std::pair<int, uint32_t>> gHandled;
uint32_t HandlerA(uint32_t event) {
    gHandled.push_back({1, event});
    return 1;
}
uint32_t HandlerB(uint32_t event) {
    gHandled.push_back({2, event});
    return 0x100;
}

TEST_F(DirectCallTest, AFormKeepsOneHandlerEntryWhichTheLatestSettingReplaces) {
    gHandled.clear();
    FakeForm form{1500}, other{1501};
    FakeOs::active = &form;
    const uint32_t chunks = vantor::os::ChunkCount(vantor::os::kDynamicHeapID);
    FrmSetEventHandlerDirectImpl(&form, Fn(&HandlerA));
    FrmSetEventHandlerDirectImpl(&form, Fn(&HandlerB));
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks + 1);
    EXPECT_EQ(FakeOs::handlers[&form], &PrvLumetFormEventHandler);
    vantor::SysEventType event{};
    EXPECT_EQ(PrvLumetFormEventHandler(&event), 0u);  // the low byte of 0x100
    EXPECT_EQ(gHandled, (std::vector<std::pair<int, uint32_t>>{{2, Addr(&event)}}));
    // Clearing removes the entry; clearing a form without one still clears its handler.
    FrmSetEventHandlerDirectImpl(&form, 0);
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks);
    FrmSetEventHandlerDirectImpl(&other, 0);
    EXPECT_EQ(FakeOs::handlerCalls, (std::vector<const void*>{&form, &form, &form, &other}));
    EXPECT_EQ(FakeOs::handlers[&form], nullptr);
    EXPECT_EQ(FakeOs::handlers[&other], nullptr);
    EXPECT_EQ(PrvLumetFormEventHandler(&event), 0u);
    FakeOs::active = nullptr;
    EXPECT_EQ(PrvLumetFormEventHandler(&event), 0u);  // no active form: nothing to report
    EXPECT_EQ(Reports(), std::vector<std::string>{"LumetDirectCall:138:PrvLumetFormEventHandler(): Unknown form"});
}

TEST_F(DirectCallTest, TheFormDeletionExportForgetsTheFormsNativeHandler) {
    FakeForm form{1600};
    FakeOs::active = &form;
    FrmSetEventHandlerDirectImpl(&form, Fn(&HandlerA));
    auto deleted = reinterpret_cast<vantor::a68ksig::A68kFormDeleted*>(
        MorvelExportTable()[vantor::a68kslot::A68kFormDeleted]);
    ASSERT_NE(deleted, nullptr);
    deleted(&form);
    vantor::SysEventType event{};
    EXPECT_EQ(PrvLumetFormEventHandler(&event), 0u);
    EXPECT_EQ(Reports(), std::vector<std::string>{"LumetDirectCall:138:PrvLumetFormEventHandler(): Unknown form"});
}

uint32_t gNotified[3];
uint32_t NotifyProc(uint32_t params) {
    auto* p = Ptr<vantor::SysNotifyParamType>(params);
    gNotified[0] = p->notifyType;
    gNotified[1] = Addr(p->userDataP);
    gNotified[2] = Addr(p->notifyDetailsP);
    return 0x10007;
}

TEST_F(DirectCallTest, ANotificationReachesTheNativeProcedureWithItsOwnUserData) {
    vantor::os::ScriptResult(Library::System, vantor::sysslot::SysNotifyUnregisterDirect, 0);
    const uint32_t type = 0x736C7021;  // 'slp!'
    EXPECT_EQ(SysNotifyRegisterDirectImpl(5, type, Fn(&NotifyProc), 0xFFFFFF80u, 0xDA7A), 0u);
    int details = 0;
    EXPECT_EQ(vantor::os::NotifyBroadcastDirect(type, &details), 1);
    EXPECT_EQ(gNotified[0], type);
    EXPECT_EQ(gNotified[1], 0xDA7Au);
    EXPECT_EQ(gNotified[2], Addr(&details));
    // Unregistering matches type, database and priority (as a signed byte).
    EXPECT_EQ(SysNotifyUnregisterDirectImpl(5, type, 0x80), 0u);
    EXPECT_EQ(SysNotifyUnregisterDirectImpl(5, type, 0x80), 0x0510u);
    EXPECT_EQ(Reports(),
              std::vector<std::string>{"LumetDirectCall:330:SysNotifyUnregisterDirectImpl(): Not registered"});
}

std::atomic<uint32_t> gTimerArgument{0};
uint32_t TimerCallback(uint32_t argument) {
    gTimerArgument = argument;
    return 0;
}

TEST_F(DirectCallTest, ATimerRunsItsCallbackAndItsBlockIsFreedWithIt) {
    const uint32_t chunks = vantor::os::ChunkCount(vantor::os::kDynamicHeapID);
    uint32_t id = 0;
    EXPECT_EQ(LumetTimerCreate(&id, 0x54696D72, Fn(&TimerCallback), 77), 0u);
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks + 1);
    ASSERT_EQ(FakeOs::TimerStart(id, 1), 0);
    FakeOs::JoinTimers();
    EXPECT_EQ(gTimerArgument.load(), 77u);
    EXPECT_EQ(LumetTimerDelete(id), 0u);
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks);
    EXPECT_EQ(LumetTimerDelete(id), vantor::kalErrBadID);
}

}  // namespace
}  // namespace morvel::directcall::test
