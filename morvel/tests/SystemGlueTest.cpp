// System service, communication and console traps from 68K code against the stand-in OS: the
// named default traps, 68K ticks, features, trap addresses, preferences, notifications and their
// bridge, sound streams, the serial and profile selectors, the serial link and the console, and
// the gate that keeps two tasks from running one context at once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/SerialLinkPacket.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "common/module/KezSlots.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/ContextGate.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/traps/CommsGlue.h"
#include "morvel/traps/ExpansionGlue.h"
#include "morvel/traps/SystemGlue.h"
#include "morvel/traps/Thunks.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace slot = vantor::sysslot;

// A stand-in for Kez's table: every slot answers 0; the slots the tests watch record their calls.
std::vector<std::pair<uint16_t, std::vector<uint32_t>>> gKezCalls;
std::mutex gKezLock;
template <uint16_t Slot>
uint32_t KezRecord(uint32_t a, uint32_t b, uint32_t c) {
    std::lock_guard<std::mutex> hold(gKezLock);
    gKezCalls.push_back({Slot, {a, b, c}});
    return 0;
}
uint32_t KezZero() {
    return 0;
}
// HALDisplayGetAttributes(flag, attribute, value): every attribute is 0x11223344.
uint32_t KezDisplayAttribute(uint32_t, uint32_t, uint32_t* value) {
    *value = 0x11223344;
    return 0;
}
vantor::ModuleProc* FakeKez() {
    static vantor::ModuleProc table[vantor::kKezSlots];
    for (auto& entry : table) entry = reinterpret_cast<vantor::ModuleProc>(&KezZero);
    table[vantor::kezslot::HALNullEntry173] = reinterpret_cast<vantor::ModuleProc>(&KezRecord<173>);
    table[vantor::kezslot::KALTaskDelay] = reinterpret_cast<vantor::ModuleProc>(&KezRecord<144>);
    table[vantor::kezslot::KALTaskStart] = reinterpret_cast<vantor::ModuleProc>(&KezRecord<150>);
    table[vantor::kezslot::HALDisplayGetAttributes] =
        reinterpret_cast<vantor::ModuleProc>(&KezDisplayAttribute);
    return table;
}
std::vector<uint32_t> KezCallsOf(uint16_t slotNumber) {
    std::lock_guard<std::mutex> hold(gKezLock);
    std::vector<uint32_t> firsts;
    for (auto& c : gKezCalls)
        if (c.first == slotNumber) firsts.push_back(c.second[0]);
    return firsts;
}

class SystemGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, FakeKez(), vantor::kKezSlots);
        std::lock_guard<std::mutex> hold(gKezLock);
        gKezCalls.clear();
    }
    void TearDown() override {
        SystemGlueFree(&ctx_.state);
        TrapGlueTest::TearDown();
    }
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    // Counts the unimplemented-trap alerts.
    int WatchAlerts() {
        vantor::os::OnCall(Library::System, slot::SysStringByIndex,
                           [](const SlotCall& c) { return c.args[2]; });
        vantor::os::OnCall(Library::System, slot::ErrAlertCustom, [this](const SlotCall&) {
            ++alerts_;
            return 0u;
        });
        return 0;
    }
    int alerts_ = 0;
};

TEST_F(SystemGlueTest, NamedDefaultsAreQuietOrReportByKind) {
    WatchAlerts();
    // PenSleep, KeySleep, TimSleep: D0.W = 0 without an alert; SysDisableInts and KeyResetDoubleTap
    // change nothing.
    ASSERT_EQ(
        Run(" moveq #-1,%d0\n trap #15\n .short 0xA275\n move.l %d0,%d3\n"
            " moveq #-1,%d0\n trap #15\n .short 0xA2A5\n move.l %d0,%d4\n"
            " moveq #-1,%d0\n trap #15\n .short 0xA0FF\n move.l %d0,%d5\n"
            " moveq #-1,%d0\n trap #15\n .short 0xA0A5\n trap #15\n .short 0xA2A3\n move.l %d0,%d6\n rts"),
        0);
    EXPECT_EQ(D(3), 0xFFFF0000u);
    EXPECT_EQ(D(4), 0xFFFF0000u);
    EXPECT_EQ(D(5), 0xFFFF0000u);
    EXPECT_EQ(D(6), 0xFFFFFFFFu);
    EXPECT_EQ(alerts_, 0);
    // SysTaskID reports and answers D0 = 0; DmOpenDBWithLocale answers A0 = 0 (one alert a context).
    ASSERT_EQ(Run(" moveq #-1,%d0\n trap #15\n .short 0xA09E\n move.l %d0,%d3\n"
                  " move.l #-1,%a0\n trap #15\n .short 0xA3B1\n move.l %a0,%d4\n rts"),
              0);
    EXPECT_EQ(D(3), 0u);
    EXPECT_EQ(D(4), 0u);
    EXPECT_EQ(alerts_, 1);
}

TEST_F(SystemGlueTest, TicksRunAtOneHundredASecondWithoutAJumpWhereTheNativeCountWraps) {
    uint32_t native = 12345;
    vantor::os::OnCall(Library::System, slot::TimGetTicks, [&](const SlotCall&) { return native; });
    const std::string get = " trap #15\n .short 0xA0F7\n";
    ASSERT_EQ(Run(get + " move.l %d0,%d3\n" + get + " move.l %d0,%d4\n rts"), 0);
    const uint32_t first = D(3);
    EXPECT_EQ(D(4), first);
    native = 12355;  // ten native ticks: one 68K tick
    ASSERT_EQ(Run(get + " move.l %d0,%d3\n trap #15\n .short 0xA2E9\n move.l %d0,%d4\n rts"), 0);
    EXPECT_EQ(D(3), first + 1);
    EXPECT_EQ(D(4) & 0xFFFF, 100u);
    native = 5;  // the native count wrapped: the 68K count goes on forward
    ASSERT_EQ(Run(get + " move.l %d0,%d3\n rts"), 0);
    const uint32_t step = D(3) - (first + 1);
    EXPECT_GE(step, (0x100000000ull - 12355 + 5) / 10 - 1);
    EXPECT_LE(step, (0x100000000ull - 12355 + 5) / 10 + 1);
}

TEST_F(SystemGlueTest, FtrGetAnswersPsys25ItselfAndWritesOnlyThroughRealPointers) {
    std::vector<SlotCall> calls;
    vantor::os::OnCall(Library::System, slot::FtrGet, [&](const SlotCall& c) {
        calls.push_back(c);
        *reinterpret_cast<uint32_t*>(c.args[2]) = 0xCAFEF00D;
        return 0u;
    });
    ASSERT_EQ(
        Run(" pea data(%pc)\n move.w #25,-(%sp)\n move.l #0x70737973,-(%sp)\n trap #15\n .short 0xA27B\n"
            " lea 10(%sp),%sp\n move.l %d0,%d3\n"
            " pea data+4(%pc)\n move.w #3,-(%sp)\n move.l #0x41424344,-(%sp)\n trap #15\n .short 0xA27B\n"
            " lea 10(%sp),%sp\n"
            " clr.l -(%sp)\n move.w #3,-(%sp)\n move.l #0x41424344,-(%sp)\n trap #15\n .short 0xA27B\n"
            " lea 10(%sp),%sp\n rts"),
        0);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 1u);
    ASSERT_EQ(calls.size(), 2u);  // psys 25 never reached the OS
    EXPECT_EQ(calls[0].args[0], 0x41424344u);
    EXPECT_EQ(calls[0].args[1] & 0xFFFF, 3u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0xCAFEF00Du);
}

TEST_F(SystemGlueTest, TrapAddressesAreReadAsThunksAndNeverChanged) {
    TrapHandler before = nullptr, after = nullptr;
    ASSERT_EQ(A68kGetTrapAddress(&ctx_.state, 0x1C4, &before), 0);
    ASSERT_EQ(
        Run(" pea 0\n move.w #0xA1C4,-(%sp)\n trap #15\n .short 0xA092\n addq.l #6,%sp\n move.l %d0,%d3\n"
            " pea 0\n move.w #0xA49A,-(%sp)\n trap #15\n .short 0xA092\n addq.l #6,%sp\n move.l %d0,%d4\n"
            " move.w #0xA496,-(%sp)\n trap #15\n .short 0xA093\n addq.l #2,%sp\n move.l %a0,%d5\n"
            " move.w #0xA0A9,-(%sp)\n trap #15\n .short 0xA093\n addq.l #2,%sp\n move.l %a0,%d6\n rts"),
        0);
    EXPECT_EQ(D(3) & 0xFFFF, 0x0505u);
    EXPECT_EQ(D(4) & 0xFFFF, 0x0502u);
    ASSERT_EQ(A68kGetTrapAddress(&ctx_.state, 0x1C4, &after), 0);
    EXPECT_EQ(before, after);
    // An unassigned trap's thunk calls the SysUnimplemented entry; an assigned one its own handler.
    uint32_t function = 0, argument = 0;
    TrapHandler unimplemented = nullptr, handleEvent = nullptr;
    A68kGetTrapAddress(&ctx_.state, 0x08A, &unimplemented);
    A68kGetTrapAddress(&ctx_.state, 0x0A9, &handleEvent);
    ASSERT_NE(D(5), 0u);
    EXPECT_EQ(NativeThunkGetInfo(&ctx_.state, D(5), &function, &argument), 1u);
    EXPECT_EQ(function, Addr(reinterpret_cast<void*>(unimplemented)));
    EXPECT_EQ(NativeThunkGetInfo(&ctx_.state, D(6), &function, &argument), 1u);
    EXPECT_EQ(function, Addr(reinterpret_cast<void*>(handleEvent)));
    EXPECT_EQ(argument, 0x0A9u);
}

TEST_F(SystemGlueTest, SystemPreferencesCrossAsTheirFirst18Bytes) {
    vantor::os::OnCall(Library::System, slot::PrefGetPreferences, [](const SlotCall& c) {
        auto* native = reinterpret_cast<uint8_t*>(c.args[0]);
        const uint16_t first = 0x1234, last = 0x5678;
        std::memcpy(native, &first, 2);
        for (int i = 0; i < 14; ++i) native[2 + i] = static_cast<uint8_t>(0x10 + i);
        std::memcpy(native + 16, &last, 2);
        std::memset(native + 18, 0x77, 40);
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n moveq #15,%d1\nfill: move.l #0xAAAAAAAA,(%a2)+\n dbra %d1,fill\n"
                  " pea data(%pc)\n trap #15\n .short 0xA22C\n addq.l #4,%sp\n rts"),
              0);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x1234);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(Data()[2 + i], 0x10 + i);
    EXPECT_EQ(vantor::ReadBE16(Data() + 16), 0x5678);
    for (int i = 18; i < 64; ++i) EXPECT_EQ(Data()[i], 0xAA) << i;
}

// The notification procedure marks the notification handled and keeps its type and user data.
constexpr const char* kNotifyProc =
    "proc: move.l 4(%sp),%a0\n move.b #1,16(%a0)\n lea data(%pc),%a1\n move.l (%a0),(%a1)+\n"
    " move.l 12(%a0),(%a1)\n moveq #0,%d0\n rts\n";

TEST_F(SystemGlueTest, NotificationProceduresRunThroughTheBridgeAndTheirHandledFlagReachesTheOs) {
    std::vector<SlotCall> registered, unregistered;
    vantor::os::OnCall(Library::System, slot::SysNotifyRegister, [&](const SlotCall& c) {
        registered.push_back(c);
        return 0u;
    });
    vantor::os::OnCall(Library::System, slot::SysNotifyUnregister, [&](const SlotCall& c) {
        unregistered.push_back(c);
        return 0u;
    });
    ASSERT_EQ(
        Run(" move.l #0x55D0D0D0,-(%sp)\n move.w #0x0500,-(%sp)\n pea proc(%pc)\n move.l #0x68656C6F,-(%sp)\n"
            " move.l #77,-(%sp)\n clr.w -(%sp)\n trap #15\n .short 0xA353\n lea 20(%sp),%sp\n"
            " move.l %d0,%d3\n rts\n" +
            std::string(kNotifyProc)),
        0);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered[0].args[1], 77u);
    EXPECT_EQ(registered[0].args[2], 0x68656C6Fu);
    EXPECT_EQ(registered[0].args[3], Addr(reinterpret_cast<void*>(&SysNotifyBridge)));
    EXPECT_EQ(static_cast<int8_t>(registered[0].args[4]), 5);

    // The OS notifies: the 68K procedure sees the record, its handled flag comes back.
    vantor::SysNotifyParamType notify{};
    notify.notifyType = 0x68656C6F;
    notify.userDataP = reinterpret_cast<void*>(static_cast<uintptr_t>(registered[0].args[5]));
    EXPECT_EQ(SysNotifyBridge(&notify), 0u);
    EXPECT_EQ(notify.handled, 1);
    EXPECT_EQ(notify.userDataP, reinterpret_cast<void*>(static_cast<uintptr_t>(registered[0].args[5])));
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x68656C6Fu);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0x55D0D0D0u);

    ASSERT_EQ(Run(" move.w #0x0500,-(%sp)\n move.l #0x68656C6F,-(%sp)\n move.l #77,-(%sp)\n clr.w -(%sp)\n"
                  " trap #15\n .short 0xA354\n lea 12(%sp),%sp\n rts"),
              0);
    ASSERT_EQ(unregistered.size(), 1u);
}

TEST_F(SystemGlueTest, StreamProceduresAreBridgedUnlessNativeAndStreamsWithoutOneAreRefused) {
    std::vector<SlotCall> created;
    vantor::os::OnCall(Library::System, slot::SndStreamCreate, [&](const SlotCall& c) {
        created.push_back(c);
        *reinterpret_cast<uint32_t*>(c.args[0]) = 0x5150;
        return 0u;
    });
    // SndStreamCreate(channel, mode, rate, type, width, procedure, user data, buffer size, native).
    auto create = [](const char* proc, int native) {
        return std::string(" move.b #") + std::to_string(native) +
               ",-(%sp)\n move.l #4096,-(%sp)\n move.l #0xDA7A,-(%sp)\n " + proc +
               "\n move.b #1,-(%sp)\n move.w #2,-(%sp)\n move.l #22050,-(%sp)\n move.b #0,-(%sp)\n"
               " pea data(%pc)\n trap #15\n .short 0xA45B\n lea 28(%sp),%sp\n";
    };
    ASSERT_EQ(Run(create("move.l #0x00ABCDE0,-(%sp)", 1) + " move.l %d0,%d3\n" + create("pea proc(%pc)", 0) +
                  " move.l %d0,%d4\n" + create("clr.l -(%sp)", 0) +
                  " move.l %d0,%d5\n rts\nproc: moveq #9,%d0\n rts\n"),
              0);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].args[5], 0x00ABCDE0u);  // native: the procedure as it is
    EXPECT_EQ(created[0].args[6], 0xDA7Au);
    EXPECT_EQ(KezCallsOf(173), std::vector<uint32_t>{0x00ABCDE0u});
    EXPECT_EQ(created[1].args[5], Addr(reinterpret_cast<void*>(&SndStreamBridge)));
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    EXPECT_EQ(D(4) & 0xFFFF, 0u);
    EXPECT_EQ(D(5) & 0xFFFF, 0x0801u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x5150u);
    // The OS asks for a buffer: the 68K procedure answers.
    auto* entry = reinterpret_cast<void*>(static_cast<uintptr_t>(created[1].args[6]));
    uint8_t buffer[16];
    EXPECT_EQ(SndStreamBridge(entry, 0x5150, buffer, 4), 9u);
}

TEST_F(SystemGlueTest, SelectorTrapsConvertTimeoutsAndReportUnknownSelectors) {
    vantor::os::OnCall(Library::System, slot::SrmControl, [](const SlotCall& c) {
        auto* value = reinterpret_cast<uint32_t*>(c.args[2]);
        if ((c.args[1] & 0xFFFF) == 5)
            EXPECT_EQ(*value, 300u);
        else
            *value = 450;
        return 0u;
    });
    // SrmControl(port, op 5, value 30, length) then (port, op 6, value, length).
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #30,(%a2)\n move.w #4,4(%a2)\n"
                  " pea 4(%a2)\n pea (%a2)\n move.w #5,-(%sp)\n move.w #0x8000,-(%sp)\n moveq #10,%d2\n"
                  " trap #15\n .short 0xA367\n lea 12(%sp),%sp\n"
                  " pea 4(%a2)\n pea 8(%a2)\n move.w #6,-(%sp)\n move.w #0x8000,-(%sp)\n moveq #10,%d2\n"
                  " trap #15\n .short 0xA367\n lea 12(%sp),%sp\n"
                  " moveq #27,%d2\n trap #15\n .short 0xA367\n"
                  " moveq #17,%d2\n trap #15\n .short 0xA3F0\n rts"),
              0);
    EXPECT_EQ(vantor::ReadBE32(Data() + 8), 45u);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("Unknown SerialDispatch request: 27"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("Unknown CncProfileDispatch request: 17"), std::string::npos) << reports[1];
}

TEST_F(SystemGlueTest, AnEmptyWriteListSendsOneTerminator) {
    std::vector<uint32_t> entries;
    vantor::os::OnCall(Library::System, slot::SlkSendPacket, [&](const SlotCall& c) {
        const auto* list = reinterpret_cast<const uint32_t*>(c.args[1]);
        entries.assign(list, list + 2);
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n clr.w 16(%a2)\n pea 16(%a2)\n pea (%a2)\n"
                  " trap #15\n .short 0xA0D9\n addq.l #8,%sp\n rts"),
              0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0] & 0xFFFF, 0u);
    EXPECT_EQ(entries[1], 0u);
}

TEST_F(SystemGlueTest, ConsoleReceiveBacksOffOnErrorsAndCutsLongBodies) {
    int call = 0;
    vantor::os::OnCall(Library::System, slot::SlkReceivePacket, [&](const SlotCall& c) -> uint32_t {
        ++call;
        if (call <= 3) return 0x0401;  // a failing link
        if (call == 4) return 0x040F;  // nothing yet
        auto* header = reinterpret_cast<uint8_t*>(c.args[2]);
        auto* body = reinterpret_cast<uint8_t*>(c.args[3]);
        std::memset(body, 'x', 272);
        body[0] = 0x7F, body[1] = 0;
        header[6] = 0x01, header[7] = 0x10;  // 272 bytes
        return 0;
    });
    char text[300];
    ASSERT_EQ(ConsoleReceive(text, -1), 0);
    EXPECT_EQ(std::strlen(text), 269u);  // cut at 271 bytes, less the two leading ones
    EXPECT_EQ(KezCallsOf(144), (std::vector<uint32_t>{1, 2, 4, 1}));
    // A time-out other than -1 ends the receive.
    vantor::os::OnCall(Library::System, slot::SlkReceivePacket, [](const SlotCall&) { return 0x0404u; });
    EXPECT_EQ(ConsoleReceive(text, 500), 0x0404);
}

// Other modules bind every slot of the exported interface: none may be left empty.
TEST_F(SystemGlueTest, EverySlotOfTheExportTableIsFilled) {
    for (uint16_t slot = 0; slot < vantor::kA68kSlotCount; ++slot)
        EXPECT_NE(MorvelExportTable()[slot], nullptr) << slot;
}

// Export slot 45 starts the console: nothing without a global context; with one, a console port
// that does not open is the answer and no console task is recorded.
TEST_F(SystemGlueTest, TheConsoleExportOpensTheConsolePortOfTheGlobalContext) {
    auto launch = reinterpret_cast<vantor::a68ksig::A68kLaunchConsole*>(
        MorvelExportTable()[vantor::a68kslot::A68kLaunchConsole]);
    ASSERT_NE(launch, nullptr);
    EmulState* global = GetGlobalContext();
    SetGlobalContext(nullptr);
    EXPECT_EQ(launch(nullptr), 0);
    EXPECT_TRUE(vantor::os::CallsOf(Library::System, slot::SrmOpen).empty());
    SetGlobalContext(&ctx_.state);
    vantor::os::ScriptResult(Library::System, slot::SlkSocketRefNum, 0x0402);
    vantor::os::ScriptResult(Library::System, slot::SrmOpen, 0x0307);  // no console port
    EXPECT_EQ(launch(nullptr), 0x0307);
    const auto opens = vantor::os::CallsOf(Library::System, slot::SrmOpen);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].args[0], 0x8002u);
    EXPECT_EQ(opens[0].args[1], 57600u);
    EXPECT_EQ(ctx_.state.consoleTask, 0u);
    SetGlobalContext(global);
}

TEST_F(SystemGlueTest, TheGateLetsAnotherTaskRunTheContextOnlyWhileItsOwnerWaits) {
    EmulState* s = &ctx_.state;
    ContextGateClaim(s);
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> log;
    bool done = false;
    auto note = [&](const char* what) {
        std::lock_guard<std::mutex> hold(lock);
        log.push_back(what);
        changed.notify_all();
    };
    std::thread other([&] {
        ContextGateHold hold(s);
        note("other in");
        std::lock_guard<std::mutex> g(lock);
        log.push_back("other out");
        done = true;
        changed.notify_all();
    });
    {
        note("owner waits");
        ContextGateOpen open(s);
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return done; });
    }
    note("owner back");
    other.join();
    EXPECT_EQ(log, (std::vector<std::string>{"owner waits", "other in", "other out", "owner back"}));
    ContextGateReset(s);
}

TEST_F(SystemGlueTest, KeyRatesCountTenTimesCoarserOnThe68KSide) {
    uint16_t stored[3] = {};
    vantor::os::OnCall(Library::System, slot::KeyRates, [&](const SlotCall& c) {
        for (int i = 0; i < 3; ++i) {
            auto* v = reinterpret_cast<uint16_t*>(c.args[1 + i]);
            if (c.args[0] & 0xFF)
                stored[i] = *v;
            else
                *v = stored[i];
        }
        return 0u;
    });
    // KeyRates(set, initial, period, double-tap, queue-ahead) with (30, 6, 20), then read back.
    const std::string rates = " pea data+6(%pc)\n pea data+4(%pc)\n pea data+2(%pc)\n pea data(%pc)\n";
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.w #30,(%a2)\n move.w #6,2(%a2)\n move.w #20,4(%a2)\n" + rates +
                  " move.b #1,-(%sp)\n trap #15\n .short 0xA2A4\n lea 18(%sp),%sp\n"
                  " clr.l (%a2)\n clr.w 4(%a2)\n" +
                  rates + " clr.b -(%sp)\n trap #15\n .short 0xA2A4\n lea 18(%sp),%sp\n rts"),
              0);
    EXPECT_EQ(stored[0], 300);
    EXPECT_EQ(stored[1], 60);
    EXPECT_EQ(stored[2], 200);
    EXPECT_EQ(vantor::ReadBE16(Data()), 30);
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 6);
    EXPECT_EQ(vantor::ReadBE16(Data() + 4), 20);
}

TEST_F(SystemGlueTest, HardwareAnswersByAttributeSizeAndFixedAddresses) {
    // HwrDisplayAttributes(get, attribute, value): 9 stores 4 bytes, 18 one byte, 0 nothing and 1.
    auto attribute = [](int which, int offset) {
        return " pea data+" + std::to_string(offset) + "(%pc)\n move.w #" + std::to_string(which) +
               ",-(%sp)\n clr.b -(%sp)\n trap #15\n .short 0xA372\n addq.l #8,%sp\n";
    };
    ASSERT_EQ(Run(attribute(9, 0) + attribute(18, 8) + attribute(0, 16) +
                  " move.l %d0,%d3\n"
                  " pea -16\n trap #15\n .short 0xA23E\n move.l %d0,%d4\n addq.l #4,%sp\n"
                  " pea -2\n trap #15\n .short 0xA23E\n move.l %d0,%d5\n addq.l #4,%sp\n"
                  " move.l #-1,%a0\n moveq #-1,%d0\n move.w #2304,-(%sp)\n trap #15\n .short 0xA344\n addq.l "
                  "#2,%sp\n"
                  " move.l %d0,%d6\n move.l %a0,%d7\n rts"),
              0);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x11223344u);
    EXPECT_EQ(Data()[8], 0x44);
    EXPECT_EQ(Data()[9], 0);
    for (int i = 16; i < 20; ++i) EXPECT_EQ(Data()[i], 0);
    EXPECT_EQ(D(3) & 0xFFFF, 1u);
    EXPECT_EQ(D(4), 8u);
    EXPECT_EQ(D(5), static_cast<uint32_t>(-16));
    EXPECT_EQ(D(6), 0u);  // HostControl 2304 answers 0 in D0 and A0 without a call
    EXPECT_EQ(D(7), 0u);
}

TEST_F(SystemGlueTest, PenInputRefusesUnknownKindsAndSelectors) {
    ASSERT_EQ(
        Run(" lea data(%pc),%a2\n move.l #0x5A5A5A5A,(%a2)\n pea (%a2)\n move.w #2,-(%sp)\n moveq #18,%d2\n"
            " trap #15\n .short 0xA470\n addq.l #6,%sp\n move.l %d0,%d3\n"
            " moveq #25,%d2\n trap #15\n .short 0xA470\n rts"),
        0);
    EXPECT_EQ(D(3) & 0xFFFF, 0x0502u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x5A5A5A5Au);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Unknown PINDispatch request: 25"), std::string::npos) << reports[0];
}

// The event loop of every 68K application: get an event, offer it to the system, the menu and the
// form, until the application is told to stop.
TEST_F(SystemGlueTest, AStandardEventLoopRunsUntilItIsToldToStopWithoutAnAlert) {
    WatchAlerts();
    int system = 0, menu = 0, form = 0;
    vantor::os::OnCall(Library::System, slot::SysHandleEvent, [&](const SlotCall&) { return ++system, 0u; });
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry243, [&](const SlotCall& c) {
        *reinterpret_cast<uint16_t*>(c.args[2]) = 0;
        return ++menu, 0u;
    });
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry132, [&](const SlotCall&) { return ++form, 0u; });
    for (uint16_t type : {4, 0x800, 22}) {
        vantor::SysEventType event{};
        event.eType = type;
        const uint16_t chr = 'a';
        std::memcpy(event.data, &chr, 2);
        vantor::sys::EvtAddEventToQueue(&event);
    }
    ASSERT_EQ(Run(" lea data(%pc),%a2\n moveq #0,%d3\n"
                  "loop: addq.l #1,%d3\n pea 50\n pea (%a2)\n trap #15\n .short 0xA11D\n addq.l #8,%sp\n"
                  " cmp.w #22,(%a2)\n beq done\n"
                  " pea (%a2)\n trap #15\n .short 0xA0A9\n addq.l #4,%sp\n tst.b %d0\n bne loop\n"
                  " pea 24(%a2)\n pea (%a2)\n clr.l -(%sp)\n trap #15\n .short 0xA1BF\n lea 12(%sp),%sp\n"
                  " tst.b %d0\n bne loop\n"
                  " pea (%a2)\n trap #15\n .short 0xA1A0\n addq.l #4,%sp\n bra loop\n"
                  "done: rts"),
              0);
    EXPECT_EQ(D(3), 3u);
    EXPECT_EQ(system, 2);
    EXPECT_EQ(menu, 2);
    EXPECT_EQ(form, 2);
    EXPECT_EQ(alerts_, 0);
}

TEST_F(SystemGlueTest, FileSystemSelectorsConvertRecordsAndBridgeProgressCallbacks) {
    std::vector<SlotCall> iterate, import;
    vantor::os::OnCall(Library::System, 656, [&](const SlotCall& c) {
        iterate.push_back(c);
        if (auto* entry = reinterpret_cast<uint32_t*>(c.args[2])) {
            EXPECT_EQ(entry[1], 0x00C0FFEEu);                          // name pointer, native order
            EXPECT_EQ(reinterpret_cast<uint16_t*>(entry)[4], 0x0100);  // buffer length
            entry[0] = 0x00000010;                                     // attributes out
        }
        *reinterpret_cast<uint32_t*>(c.args[1]) = 0xFFFFFFFF;  // iterator done
        return 0u;
    });
    vantor::os::OnCall(Library::System, 685, [&](const SlotCall& c) {
        import.push_back(c);
        *reinterpret_cast<uint16_t*>(c.args[2]) = 7;
        if (c.args[4]) {
            auto bridge = reinterpret_cast<uint16_t (*)(uint32_t, uint32_t, void*)>(c.args[4]);
            EXPECT_EQ(bridge(1000, 250, reinterpret_cast<void*>(c.args[5])), 0x0042u);
        }
        return 0u;
    });
    // Selector 20 (directory, iterator, file entry) with a record, then with none.
    ASSERT_EQ(
        Run(" lea data(%pc),%a2\n move.l #0x00C0FFEE,4(%a2)\n move.w #0x0100,8(%a2)\n clr.l 12(%a2)\n"
            " pea (%a2)\n pea 12(%a2)\n move.l #5,-(%sp)\n moveq #20,%d2\n trap #15\n .short 0xA348\n"
            " clr.l 8(%sp)\n trap #15\n .short 0xA348\n lea 12(%sp),%sp\n"
            // Selector 39 (volume, path, card out, db out, callback, user value), then without one.
            " move.l #0xBEEF,-(%sp)\n pea cb(%pc)\n pea 20(%a2)\n pea 16(%a2)\n pea 0\n move.w #1,-(%sp)\n"
            " moveq #39,%d2\n trap #15\n .short 0xA348\n clr.l 14(%sp)\n trap #15\n .short 0xA348\n"
            " lea 22(%sp),%sp\n moveq #12,%d2\n trap #15\n .short 0xA347\n rts\n"
            "cb: lea data+32(%pc),%a0\n move.l 4(%sp),(%a0)+\n move.l 8(%sp),(%a0)+\n move.l 12(%sp),(%a0)\n"
            " move.l #0x10042,%d0\n rts\n"),
        0);
    ASSERT_EQ(iterate.size(), 2u);
    EXPECT_EQ(iterate[1].args[2], 0u);  // no record: null
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x10u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0x00C0FFEEu);
    EXPECT_EQ(vantor::ReadBE32(Data() + 12), 0xFFFFFFFFu);
    ASSERT_EQ(import.size(), 2u);
    EXPECT_EQ(import[0].args[4], Addr(reinterpret_cast<void*>(&VfsProgressBridge)));
    EXPECT_EQ(import[1].args[4], 0u);
    EXPECT_EQ(import[1].args[5], 0u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 16), 7);
    EXPECT_EQ(vantor::ReadBE32(Data() + 32), 1000u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 36), 250u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 40), 0xBEEFu);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Unknown ExpMgrDispatch request: 12"), std::string::npos) << reports[0];
}

TEST_F(SystemGlueTest, DefinedFontsAreTranslatedAndDroppedByANullFont) {
    std::vector<std::vector<uint16_t>> defined;
    vantor::os::OnCall(Library::System, slot::FntDefineFont, [&](const SlotCall& c) {
        std::vector<uint16_t> words;
        if (const auto* f = reinterpret_cast<const uint16_t*>(c.args[1])) words.assign(f, f + 13 + 7 + 5);
        defined.push_back(words);
        return 0u;
    });
    // A plain font: chars 32-34, 7 rows of one word (14 image bytes), five location words.
    ASSERT_EQ(Run(" pea font(%pc)\n move.b #128,-(%sp)\n trap #15\n .short 0xA321\n addq.l #6,%sp\n move.l "
                  "%d0,%d3\n"
                  " clr.l -(%sp)\n move.b #128,-(%sp)\n trap #15\n .short 0xA321\n addq.l #6,%sp\n rts\n"
                  " .even\nfont: .short 0x9000,32,34,5,0,0,5,7,10,6,1,0,1\n"
                  " .short 0x0102,0x0304,0x0506,0x0708,0x090A,0x0B0C,0x0D0E\n .short 0,2,4,6,8\n"),
              0);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    ASSERT_EQ(defined.size(), 2u);
    const auto& f = defined[0];
    ASSERT_EQ(f.size(), 25u);
    EXPECT_EQ(f[0], 0x9000);
    EXPECT_EQ(f[2], 34);
    EXPECT_EQ(f[8], 0);  // no offset-width table in the copy
    EXPECT_EQ(f[12], 1);
    EXPECT_EQ(f[13], 0x0201);                                 // the glyph image is copied byte for byte
    for (int i = 0; i < 5; ++i) EXPECT_EQ(f[20 + i], 2 * i);  // locations in native order
    EXPECT_TRUE(defined[1].empty());                          // a null font drops the definition
}

}  // namespace
}  // namespace morvel::test

namespace morvel::test {
namespace {

// morvel-run with the debugger's link listening: the environment's opening starts the console, and
// neither the opening nor the launch waits for a debugger that never comes.
namespace console {

// morvel-run in the background with `--debug-port 0`, its output in a file; killed when this goes.
struct MorvelRun {
    explicit MorvelRun(const char* app) {
        static int runs = 0;
        log = "/tmp/morvel-console-" + std::to_string(getpid()) + "-" + std::to_string(++runs) + ".log";
        pid = static_cast<pid_t>(std::stol(
            "0" + RunCommand(std::string(MORVEL_RUN) + " --debug-port 0 " + app + " > " + log + " 2>&1 & echo $!")));
    }
    ~MorvelRun() {
        if (Running()) kill(pid, SIGKILL);
        unlink(log.c_str());
    }
    // Whether the process is still there and has not ended (an ended one that nobody reaped counts
    // as ended).
    bool Running() const {
        const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
        const size_t paren = stat.rfind(')');
        return pid > 0 && paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
    }
    // The port it listens on for the debugger, once it has said it; 0 when it does not within a minute.
    uint16_t Port() const {
        std::string text;
        if (!Eventually([&] { return (text = ReadText(log)).find('\n') != std::string::npos; }, 60)) return 0;
        return text.rfind("debugger port ", 0) == 0 ? static_cast<uint16_t>(std::stoul(text.substr(14))) : 0;
    }
    std::string log;
    pid_t pid = 0;
};

// Reads one serial-link packet from `fd`: its destination socket and body; false at the end.
bool ReadPacket(int fd, uint8_t* dest, std::string* body) {
    auto read1 = [&](uint8_t* b) { return recv(fd, b, 1, MSG_WAITALL) == 1; };
    uint8_t wire[vantor::slkPktHeaderSize];
    int matched = 0;
    const uint8_t signature[3] = {vantor::slkPktSignature1, vantor::slkPktSignature2, vantor::slkPktSignature3};
    while (matched < 3) {
        if (!read1(wire + matched)) return false;
        matched = wire[matched] == signature[matched] ? matched + 1 : wire[matched] == signature[0] ? 1 : 0;
    }
    if (recv(fd, wire + 3, sizeof wire - 3, MSG_WAITALL) != static_cast<ssize_t>(sizeof wire - 3)) return false;
    const uint16_t size = vantor::ReadBE16(wire + 6);
    body->assign(size + 2u, '\0');
    if (recv(fd, body->data(), body->size(), MSG_WAITALL) != static_cast<ssize_t>(body->size())) return false;
    body->resize(size);
    *dest = wire[3];
    return true;
}

}  // namespace console

TEST(ConsoleRunTest, TheLaunchGoesOnWithoutADebuggerAndTheConsoleEchoesOnceOneConnects) {
    // Nobody connects: the application runs to its end.
    {
        console::MorvelRun run(MORVEL_TEST_APP);
        ASSERT_NE(run.Port(), 0);
        ASSERT_TRUE(Eventually([&] { return !run.Running(); }, 120)) << "morvel-run waited for a debugger";
        EXPECT_NE(ReadText(run.log).find("\nresult "), std::string::npos) << ReadText(run.log);
    }
    // The debug application stops at its TRAP #0; the console answers on socket 1 meanwhile.
    console::MorvelRun run(MORVEL_DEBUG_APP);
    const uint16_t port = run.Port();
    ASSERT_NE(port, 0);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    timeval wait{120, 0};  // a console that does not answer fails the test instead of holding it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const char command[] = "\x7F\0echo me";
    vantor::SlkPktHeaderType header{};
    header.dest = header.src = vantor::slkSocketConsole;
    uint8_t packet[64];
    const size_t n = vantor::SlkEncodePacket(header, command, sizeof command, packet, sizeof packet);
    ASSERT_EQ(send(fd, packet, n, 0), static_cast<ssize_t>(n));
    uint8_t dest = 0;
    std::string body;
    bool echoed = false, stopped = false;
    while (!(echoed && stopped) && console::ReadPacket(fd, &dest, &body)) {
        if (dest == vantor::slkSocketConsole) echoed |= body == std::string(command, sizeof command);
        if (dest == vantor::slkSocketDebugger) stopped = true;  // the nub's report of the stop
    }
    EXPECT_TRUE(echoed);
    EXPECT_TRUE(stopped);
    close(fd);
}

}  // namespace
}  // namespace morvel::test
