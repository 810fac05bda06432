// The direct calls as real ARM code: a native object (NativeObject.c) calls the OS through the
// tables with the device's stub, passes stack arguments through a shim, has its form handler and
// timer called back through the bridges, calls back into the host, and calls an entry without a
// shim. Runs under qemu-arm.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "FakeOs.h"
#include "common/FourCC.h"
#include "common/module/ModuleGlue.h"
#include "morvel/directcall/DirectCall.h"
#include "standin/os/StandinTest.h"

extern "C" {
uint32_t NativeOsCalls(uint32_t text);
uint32_t NativeDatabaseInfo(uint32_t base);
uint32_t NativeUnshimmed(uint32_t unused);
uint32_t NativeSetFormHandler(uint32_t form);
uint32_t NativeClearFormHandler(uint32_t form);
uint32_t NativeTimerMake(uint32_t idOut);
uint32_t NativeTimerRemove(uint32_t id);
uint32_t NativeEntry(uint32_t state, uint32_t userData, uint32_t callback);
uint32_t NativeOverflow(uint32_t unused);
uint32_t NativeUnderflow(uint32_t unused);
uint32_t NativeRecord(uint32_t unused);
extern volatile uint32_t gNativeSeen[8];
}

// The test program is the module that the glue it links serves: an empty one.
namespace {
const vantor::ModuleInfoRecord gInfo = vantor::MakeModuleInfo(vantor::FourCC("libr"), vantor::FourCC("dcal"), 1, 0);
vantor::ModuleProc gExports[1];
uint32_t NoLaunch(uint16_t, void*, uint16_t) { return 0; }
}  // namespace
VANTOR_MODULE(gInfo, gExports, NoLaunch)

namespace morvel::directcall::test {
namespace {

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename F>
uint32_t Fn(F* f) {
    return Addr(reinterpret_cast<const void*>(f));
}

// System slot 76 as the stack-argument shim must deliver it: thirteen words.
uint32_t gInfoArgs[13];
uint32_t DatabaseInfo13(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5, uint32_t a6,
                        uint32_t a7, uint32_t a8, uint32_t a9, uint32_t a10, uint32_t a11, uint32_t a12) {
    const uint32_t args[13] = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12};
    std::memcpy(gInfoArgs, args, sizeof args);
    return 0x2A;
}

// The host side of the call-back into 68K code.
uint32_t gCall68K[4];
uint32_t Call68K(void* state, uint32_t t, const void* arguments, uint32_t sizeAndFlags) {
    const auto* bytes = static_cast<const uint8_t*>(arguments);
    gCall68K[0] = Addr(state), gCall68K[1] = t, gCall68K[2] = bytes[3], gCall68K[3] = sizeAndFlags;
    return 40;
}

// The tables are filled once per process: slot 76 gets its 13-argument stand-in first.
class Tables : public ::testing::Environment {
    void SetUp() override {
        vantor::os::Reset();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        vantor::os::InstallEntry(vantor::os::Library::System, 76, reinterpret_cast<vantor::ModuleProc>(&DatabaseInfo13));
        FakeOs::Install();
        LumetDirectCallTablesFill();
    }
};
const auto* const kTables = ::testing::AddGlobalTestEnvironment(new Tables);

class ArmDirectCallTest : public vantor::os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        FakeOs::Install();
        std::memset(const_cast<uint32_t*>(gNativeSeen), 0, sizeof gNativeSeen);
    }
    void TearDown() override {
        FakeOs::JoinTimers();
        StandinTest::TearDown();
    }
    static std::vector<std::string> Reports() {
        std::vector<std::string> out;
        for (const auto& r : vantor::os::ErrorReports()) out.push_back(r.file + ":" + std::to_string(r.line) + ":" + r.message);
        return out;
    }
};

TEST_F(ArmDirectCallTest, NativeCodeCallsTheOsThroughEachTable) {
    FakeForm form{1000};
    FakeOs::active = &form;
    const char text[] = "seventeen letters";
    EXPECT_EQ(LumetRunNative1(Fn(&NativeOsCalls), Addr(text)), 40u + 17u);
    EXPECT_EQ(gNativeSeen[0], 40u);  // MemPtrNew, MemPtrSize, MemChunkFree of the stand-in OS
    EXPECT_EQ(gNativeSeen[1], 17u);  // StrLen
    EXPECT_EQ(gNativeSeen[2], Addr(&form));
    ASSERT_EQ(FakeOs::null173.size(), 1u);  // Kez entry 186 is Kez slot 173
    EXPECT_EQ(FakeOs::null173[0], std::make_pair(0x11u, 0x22u));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ArmDirectCallTest, TheStackArgumentShimPassesNineWordsFromTheNativeStack) {
    EXPECT_EQ(LumetRunNative1(Fn(&NativeDatabaseInfo), 100), 0x2Au);
    for (uint32_t i = 0; i < 13; ++i) EXPECT_EQ(gInfoArgs[i], 100 + i) << i;
}

TEST_F(ArmDirectCallTest, AnEntryWithoutAShimIsReportedAndAnswersAllOnes) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(LumetRunNative1(Fn(&NativeUnshimmed), 0), 0xFFFFFFFFu);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("#### PrvLumetUnimplementedSysCall(): Direct Access to an unsupported system call (@ 0x"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("PrvLumetUnimplementedSysCall(): System, Func ID: 1\n"), std::string::npos) << out;
    // The native code went on with its record: closing found both markers intact.
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ArmDirectCallTest, AFormHandlerRegisteredByNativeCodeIsCalledBackOnAStackOfItsOwn) {
    FakeForm form{1200};
    FakeOs::active = &form;
    LumetRunNative1(Fn(&NativeSetFormHandler), Addr(&form));
    ASSERT_EQ(FakeOs::handlers.count(&form), 1u);
    auto handler = FakeOs::handlers[&form];
    ASSERT_NE(handler, nullptr);
    vantor::SysEventType event{};
    EXPECT_EQ(handler(&event), 1u);  // the low byte of the native handler's 0x101
    EXPECT_EQ(gNativeSeen[3], Addr(&event));
    EXPECT_EQ(gNativeSeen[4], 1u);
    LumetRunNative1(Fn(&NativeClearFormHandler), Addr(&form));
    EXPECT_EQ(FakeOs::handlers[&form], nullptr);
    EXPECT_EQ(handler(&event), 0u);  // the form has no native handler any more
    EXPECT_EQ(Reports(), std::vector<std::string>{"LumetDirectCall:138:PrvLumetFormEventHandler(): Unknown form"});
}

TEST_F(ArmDirectCallTest, ATimerMadeByNativeCodeCallsItBackFromAnotherTask) {
    uint32_t id = 0;
    EXPECT_EQ(LumetRunNative1(Fn(&NativeTimerMake), Addr(&id)) & 0xFFFF, 0u);
    FakeOs::JoinTimers();
    EXPECT_EQ(gNativeSeen[5], 0xC0FFEEu);
    EXPECT_EQ(gNativeSeen[6], 1u);
    const uint32_t chunks = vantor::os::ChunkCount(vantor::os::kDynamicHeapID);
    EXPECT_EQ(LumetRunNative1(Fn(&NativeTimerRemove), id) & 0xFFFF, 0u);
    EXPECT_EQ(vantor::os::ChunkCount(vantor::os::kDynamicHeapID), chunks - 1);  // the timer's block
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ArmDirectCallTest, NativeCodeCallsBackThroughTheShimOnTheHostStack) {
    LumetSetCall68K(&Call68K);
    int state;
    EXPECT_EQ(LumetRunNative3(Fn(&NativeEntry), Addr(&state), 7, LumetCall68KAddress()), 41u);
    EXPECT_EQ(gCall68K[0], Addr(&state));
    EXPECT_EQ(gCall68K[1], 0x123u);
    EXPECT_EQ(gCall68K[2], 7u);
    EXPECT_EQ(gCall68K[3], 4u);
}

TEST_F(ArmDirectCallTest, DamagedStackMarkersAreReportedAtClose) {
    EXPECT_EQ(LumetRunNative1(Fn(&NativeOverflow), 0), 1u);
    EXPECT_EQ(LumetRunNative1(Fn(&NativeUnderflow), 0), 2u);
    EXPECT_EQ(Reports(), (std::vector<std::string>{
                             "LumetDirectCallARM:296:PrvLumetDirectCallCloseARM(): Lumet stack overflow",
                             "LumetDirectCallARM:298:PrvLumetDirectCallCloseARM(): Lumet stack underflow"}));
}

TEST_F(ArmDirectCallTest, NestedCallsChainTheirRecordsAndKeepTheWordAtR9) {
    const uint32_t outer = PrvLumetDirectCallInitARM();
    ASSERT_NE(outer, 0u);
    *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(outer)) = 0x5EED;
    EXPECT_EQ(LumetRunNative1(Fn(&NativeRecord), 0), 0x5EEDu);
    EXPECT_EQ(gNativeSeen[7], outer - 64);
    EXPECT_EQ(LumetCurrentR9(), outer);
    PrvLumetDirectCallCloseARM();
    EXPECT_EQ(LumetCurrentR9(), 0u);
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace morvel::directcall::test
