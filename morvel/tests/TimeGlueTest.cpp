// Alarm, time and date traps from 68K code against the stand-in OS: procedure alarms and their
// bridge back into 68K code, the date-time record and packed dates, and the pickers' in/out values.
#include <gtest/gtest.h>

#include <cstring>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/traps/TimeGlue.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
namespace slot = vantor::sysslot;

class TimeGlueTest : public TrapGlueTest {
protected:
    void TearDown() override {
        ProcAlarmsFree(&ctx_.state);
        TrapGlueTest::TearDown();
    }
};

// AlmSetAlarm(0x8000, procedure, reference, seconds, quiet) with the procedure at `proc`.
std::string SetProcAlarm(const char* seconds) {
    return std::string(" clr.w -(%sp)\n move.l #") + seconds +
           ",-(%sp)\n move.l #7,-(%sp)\n pea proc(%pc)\n move.w #0x8000,-(%sp)\n"
           " trap #15\n .short 0xA238\n lea 16(%sp),%sp\n";
}
constexpr const char* kGetProcAlarm =
    " pea data+32(%pc)\n pea proc(%pc)\n move.w #0x8000,-(%sp)\n trap #15\n .short 0xA239\n lea 10(%sp),%sp\n";
// The procedure copies its command and its 10-byte parameter block into data.
constexpr const char* kProc =
    "proc: lea data(%pc),%a0\n move.w 4(%sp),(%a0)+\n move.l 6(%sp),%a1\n"
    " move.l (%a1)+,(%a0)+\n move.l (%a1)+,(%a0)+\n move.w (%a1),(%a0)\n rts\n";

TEST_F(TimeGlueTest, ProcedureAlarmsAreKeptHereAndFireOnceThroughTheBridge) {
    std::vector<vantor::os::SlotCall> set;
    uint32_t answer = 0;
    vantor::os::OnCall(Library::System, slot::AlmSetProcAlarm, [&](const vantor::os::SlotCall& c) {
        set.push_back(c);
        return answer;
    });
    ASSERT_EQ(Run(SetProcAlarm("1000") + kGetProcAlarm + " move.l %d0,%d3\n rts\n" + kProc), 0);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].args[0], set[0].args[1]);  // the procedure is the key and the procedure
    EXPECT_EQ(set[0].args[2], 1000u);
    EXPECT_EQ(set[0].args[3] & 0xFF, 1u);
    EXPECT_EQ(set[0].args[4], reinterpret_cast<uintptr_t>(&AlmProcBridge));
    EXPECT_EQ(ctx_.state.D[3], 1000u);  // AlmGetAlarm answers from the list, without the OS
    EXPECT_EQ(vantor::ReadBE32(Data() + 32), 7u);

    // The OS fires it: the procedure gets the command and (reference, seconds, two bytes).
    uint8_t params[12] = {};
    std::memcpy(params, &set[0].args[0], 4);
    params[8] = 1, params[9] = 0x55;
    AlmProcBridge(3, params);
    EXPECT_EQ(vantor::ReadBE16(Data()), 3);
    EXPECT_EQ(vantor::ReadBE32(Data() + 2), 7u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 6), 1000u);
    EXPECT_EQ(Data()[10], 1);
    EXPECT_EQ(Data()[11], 0x55);

    // Fired once: the list no longer knows it, and a second firing runs nothing.
    std::memset(Data(), 0, 64);
    AlmProcBridge(3, params);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0);
    ASSERT_EQ(Run(std::string(kGetProcAlarm) + " move.l %d0,%d3\n rts\n" + kProc), 0);
    EXPECT_EQ(ctx_.state.D[3], 0u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 32), 0u);

    // Zero seconds drop the entry and still tell the OS; an OS refusal drops it too.
    set.clear();
    ASSERT_EQ(Run(SetProcAlarm("500") + SetProcAlarm("0") + kGetProcAlarm + " move.l %d0,%d3\n rts\n" + kProc), 0);
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(set[1].args[2], 0u);
    EXPECT_EQ(ctx_.state.D[3], 0u);
    answer = 0x0902;
    ASSERT_EQ(Run(SetProcAlarm("500") + " move.w %d0,%d4\n" + kGetProcAlarm + " move.l %d0,%d3\n rts\n" + kProc), 0);
    EXPECT_EQ(ctx_.state.D[4] & 0xFFFF, 0x0902u);
    EXPECT_EQ(ctx_.state.D[3], 0u);
}

TEST_F(TimeGlueTest, OrdinaryAlarmsGoToTheOs) {
    vantor::os::OnCall(Library::System, slot::AlmSetAlarm, [](const vantor::os::SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFFFF, 0u);
        EXPECT_EQ(c.args[1], 0x1234u);
        EXPECT_EQ(c.args[2], 9u);
        EXPECT_EQ(c.args[3], 600u);
        EXPECT_EQ(c.args[4] & 0xFF, 1u);
        return 0u;
    });
    vantor::os::OnCall(Library::System, slot::AlmGetAlarm, [](const vantor::os::SlotCall& c) {
        *reinterpret_cast<uint32_t*>(c.args[2]) = 9;
        return 600u;
    });
    ASSERT_EQ(Run(" move.b #1,-(%sp)\n pea 600\n pea 9\n pea 0x1234\n clr.w -(%sp)\n trap #15\n .short 0xA238\n"
                  " lea 16(%sp),%sp\n pea data(%pc)\n pea 0x1234\n clr.w -(%sp)\n trap #15\n .short 0xA239\n"
                  " lea 10(%sp),%sp\n move.l %d0,%d3\n rts"),
              0);
    EXPECT_EQ(ctx_.state.D[3], 600u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 9u);
}

TEST_F(TimeGlueTest, DatesAndTimesConvertBetweenTheTwoLayouts) {
    // The OS's date-time record for a number of seconds: 0 is 1 January 1904, a Friday.
    vantor::os::OnCall(Library::System, slot::TimSecondsToDateTime, [](const vantor::os::SlotCall& c) {
        int16_t* f = reinterpret_cast<int16_t*>(c.args[1]);
        const int16_t when[7] = {static_cast<int16_t>(c.args[0] % 60), 0, 0, 1, 1, 1904, 5};
        std::memcpy(f, when, sizeof when);
        return 0u;
    });
    vantor::os::OnCall(Library::System, slot::TimAdjust, [](const vantor::os::SlotCall& c) {
        reinterpret_cast<int16_t*>(c.args[0])[0] += static_cast<int16_t>(c.args[1]);
        return 0u;
    });
    vantor::os::OnCall(Library::System, slot::DateAdjust, [](const vantor::os::SlotCall& c) {
        *reinterpret_cast<uint16_t*>(c.args[0]) += static_cast<uint16_t>(c.args[1]);
        return 0u;
    });
    ASSERT_EQ(Run(" trap #15\n .short 0xA2E9\n move.w %d0,%d3\n"                               // SysTicksPerSecond
                  " pea data(%pc)\n pea 0\n trap #15\n .short 0xA265\n addq.l #8,%sp\n"         // DateSecondsToDate
                  " pea data+16(%pc)\n pea 42\n trap #15\n .short 0xA0FC\n addq.l #8,%sp\n"     // TimSecondsToDateTime
                  " pea 5\n pea data+16(%pc)\n trap #15\n .short 0xA0FE\n addq.l #8,%sp\n"     // TimAdjust
                  " lea data(%pc),%a2\n move.w #0x0100,40(%a2)\n pea 2\n pea data+40(%pc)\n trap #15\n .short 0xA264\n addq.l #8,%sp\n"
                  " rts"),
              0);
    EXPECT_EQ(ctx_.state.D[3] & 0xFFFF, 100u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x0021);  // year 0, month 1, day 1
    const uint16_t expected[7] = {47, 0, 0, 1, 1, 1904, 5};  // 42 seconds, adjusted by 5
    for (int i = 0; i < 7; ++i) EXPECT_EQ(vantor::ReadBE16(Data() + 16 + 2 * i), expected[i]) << i;
    EXPECT_EQ(vantor::ReadBE16(Data() + 40), 0x0102);
}

TEST_F(TimeGlueTest, PickersReadAndWriteTheirValuesBigEndian) {
    // SelectTimeV33: the end of day is -1 and the display starts at the start of day.
    vantor::os::OnCall(Library::Ui, vantor::uislot::SelectTime, [](const vantor::os::SlotCall& c) {
        auto* start = reinterpret_cast<uint16_t*>(c.args[0]);
        auto* end = reinterpret_cast<uint16_t*>(c.args[1]);
        EXPECT_EQ(*start, 0x0830);
        EXPECT_EQ(*end, 0x0900);
        EXPECT_EQ(static_cast<int16_t>(c.args[5]), -1);
        EXPECT_EQ(c.args[6] & 0xFFFF, 7u);
        *start = 0x0A00, *end = 0x0B15;
        return 1u;
    });
    // SelectTimeZone: the zone and the locale record in and out.
    vantor::os::OnCall(Library::Ui, vantor::uislot::SelectTimeZone, [](const vantor::os::SlotCall& c) {
        auto* zone = reinterpret_cast<int16_t*>(c.args[0]);
        auto* locale = reinterpret_cast<uint16_t*>(c.args[1]);
        EXPECT_EQ(*zone, -300);
        EXPECT_EQ(locale[0], 2);
        EXPECT_EQ(locale[1], 23);
        *zone = 60, locale[1] = 24;
        return 1u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.w #0x0830,(%a2)\n move.w #0x0900,2(%a2)\n"
                  " move.w #7,-(%sp)\n clr.l -(%sp)\n clr.w -(%sp)\n pea data+2(%pc)\n pea data(%pc)\n"
                  " trap #15\n .short 0xA25B\n lea 16(%sp),%sp\n move.b %d0,%d3\n"
                  " move.w #-300,8(%a2)\n move.w #2,12(%a2)\n move.w #23,14(%a2)\n"
                  " clr.w -(%sp)\n clr.w -(%sp)\n clr.l -(%sp)\n pea data+12(%pc)\n pea data+8(%pc)\n"
                  " trap #15\n .short 0xA40E\n lea 16(%sp),%sp\n move.b %d0,%d4\n rts"),
              0);
    EXPECT_EQ(ctx_.state.D[3] & 0xFF, 1u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x0A00);
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 0x0B15);
    EXPECT_EQ(ctx_.state.D[4] & 0xFF, 1u);
    EXPECT_EQ(static_cast<int16_t>(vantor::ReadBE16(Data() + 8)), 60);
    EXPECT_EQ(vantor::ReadBE16(Data() + 12), 2);
    EXPECT_EQ(vantor::ReadBE16(Data() + 14), 24);
}

}  // namespace
}  // namespace morvel::test
