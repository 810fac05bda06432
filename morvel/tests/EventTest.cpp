// Event records between the native layout and the 24-byte 68K layout, for every event type, and
// the event traps.
#include <gtest/gtest.h>

#include <cstring>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/EventGlue.h"
#include "morvel/traps/FormGlue.h"
#include "morvel/traps/TrapTable.h"
#include "morvel/traps/WindowGlue.h"

namespace morvel::test {
namespace {

using vantor::SysEventType;
using vantor::os::Library;

// A field: its offset and size in the 68K record and its offset in the native one. Size 0 is an
// object, window or field pointer (4 bytes on the 68K side; nothing is known of such objects
// without their forms and windows); size 3 is four bytes passed as they stand.
struct Field {
    uint8_t at68K, size, atNative;
};
struct Row {
    std::vector<uint16_t> types;
    std::vector<Field> fields;
};

const std::vector<Row> kRows = {
    {{0, 1, 3, 21, 22, 23, 24, 27, 28, 29, 30, 36, 37, 38, 39, 0x0802}, {}},
    {{2}, {{10, 2, 10}, {12, 2, 12}, {14, 2, 14}}},
    {{4}, {{10, 2, 10}, {12, 2, 12}}},
    {{5, 6}, {{8, 0, 8}, {12, 0, 12}}},
    {{7, 8, 13, 32, 0x0803}, {{10, 0, 12}}},
    {{9}, {{10, 0, 12}, {14, 1, 16}, {16, 2, 18}}},
    {{10}, {{10, 0, 12}, {14, 4, 16}, {18, 2, 20}}},
    {{11, 12}, {{10, 0, 12}, {14, 2, 16}}},
    {{14}, {{10, 0, 12}, {14, 2, 10}, {16, 0, 16}, {20, 2, 20}, {22, 2, 22}}},
    {{15, 17}, {{10, 0, 12}}},
    {{16, 18, 19, 31, 33}, {{10, 0, 12}, {14, 2, 16}, {16, 2, 18}}},
    {{20}, {{8, 4, 8}, {12, 2, 12}, {14, 1, 14}, {15, 1, 15}}},
    {{25}, {{10, 2, 10}, {12, 2, 12}, {14, 2, 14}, {16, 2, 16}, {18, 4, 20}}},
    {{26, 0x0801}, {{10, 2, 10}}},
    {{34}, {{10, 0, 12}, {14, 2, 16}, {16, 2, 18}, {18, 4, 20}}},
    {{35}, {{8, 4, 8}, {12, 2, 12}}},
    {{0x0800}, {{8, 1, 8}}},
    {{0x0804}, {{10, 0, 12}, {14, 2, 16}, {16, 4, 20}}},
    {{0x1200}, {{10, 2, 10}, {12, 3, 12}, {16, 2, 16}}},
    {{0x1000, 0x1001, 0x1100, 0x1101, 0x1102, 0x4005},
     {{10, 2, 10}, {12, 2, 12}, {14, 2, 14}, {16, 2, 16}, {18, 2, 18}, {20, 2, 20}, {22, 2, 22}}},
};

uint32_t NativeValue(const SysEventType& e, uint32_t at, uint32_t size) {
    const auto* b = reinterpret_cast<const uint8_t*>(&e);
    uint32_t v = 0;
    std::memcpy(&v, b + at, size == 3 ? 4 : size);
    return v;
}
uint32_t Value68K(const uint8_t* p, uint32_t size) {
    switch (size) {
        case 1: return p[0];
        case 2: return vantor::ReadBE16(p);
        case 3: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        default: return vantor::ReadBE32(p);
    }
}

class EventTest : public MorvelTest {
protected:
    void SetUp() override {
        MorvelTest::SetUp();
        SetGlobalContext(&ctx_.state);
        // No active form unless a test makes one: events that name objects find none.
        vantor::os::OnCall(Library::Ui, vantor::uislot::FrmGetActiveForm, [this](const vantor::os::SlotCall&) {
            return activeForm_;
        });
    }
    void TearDown() override {
        SetGlobalContext(nullptr);
        MorvelTest::TearDown();
    }
    TestContext ctx_;
    uint32_t activeForm_ = 0;
};

TEST_F(EventTest, EveryTypeConvertsBothWays) {
    for (const Row& row : kRows) {
        for (uint16_t type : row.types) {
            SCOPED_TRACE(type);
            SysEventType native{};
            native.eType = type;
            native.penDown = 1;
            native.tapCount = 2;
            native.screenX = -3;
            native.screenY = 500;
            for (int i = 0; i < 16; ++i) native.data[i] = static_cast<uint8_t>(0x81 + i * 3);
            // Window fields hold windows or none: here none (a window has its own test below).
            if (type == 5 || type == 6) std::memset(native.data, 0, 8);
            alignas(4) uint8_t e68[24];
            std::memset(e68, 0xEE, sizeof e68);
            EventTo68K(&ctx_.state, &native, Addr(e68));

            bool written[24] = {};
            for (int i = 0; i < 8; ++i) written[i] = true;
            EXPECT_EQ(vantor::ReadBE16(e68), type);
            EXPECT_EQ(e68[2], 1);
            EXPECT_EQ(e68[3], 2);
            EXPECT_EQ(vantor::ReadBE16(e68 + 4), 0xFFFDu);
            EXPECT_EQ(vantor::ReadBE16(e68 + 6), 500u);
            // The word at 8 is always copied; a field of the type may overwrite it.
            bool eightIsAField = false;
            for (const Field& f : row.fields) eightIsAField |= f.at68K == 8;
            if (!eightIsAField) {
                EXPECT_EQ(vantor::ReadBE16(e68 + 8), NativeValue(native, 8, 2));
            }
            written[8] = written[9] = true;
            for (const Field& f : row.fields) {
                uint32_t bytes = f.size == 0 || f.size == 3 ? 4 : f.size;
                uint32_t want = f.size == 0 ? 0 : NativeValue(native, f.atNative, f.size);
                EXPECT_EQ(Value68K(e68 + f.at68K, f.size), want) << "68K offset " << int{f.at68K};
                for (uint32_t i = 0; i < bytes; ++i) written[f.at68K + i] = true;
            }
            // Only the record's fields are written.
            for (int i = 0; i < 24; ++i) {
                if (!written[i]) {
                    EXPECT_EQ(e68[i], 0xEE) << "byte " << i;
                }
            }

            SysEventType back;
            EventToARM(&ctx_.state, &back, Addr(e68));
            EXPECT_EQ(back.eType, type);
            EXPECT_EQ(back.penDown, 1);
            EXPECT_EQ(back.tapCount, 2);
            EXPECT_EQ(back.screenX, -3);
            EXPECT_EQ(back.screenY, 500);
            for (const Field& f : row.fields) {
                uint32_t want = f.size == 0 ? 0 : NativeValue(native, f.atNative, f.size);
                EXPECT_EQ(NativeValue(back, f.atNative, f.size == 0 ? 4 : f.size), want) << "native offset " << int{f.atNative};
            }
        }
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(EventTest, MissingObjectsAndUnknownTypes) {
    // In an application's context, a control that cannot be found turns the event into a nil event.
    TestContext app;
    app.state.global = &ctx_.state;
    SysEventType select{};
    select.eType = 9;
    select.data[0] = 0x34;
    alignas(4) uint8_t e68[24];
    std::memset(e68, 0xEE, sizeof e68);
    EventTo68K(&app.state, &select, Addr(e68));
    EXPECT_EQ(std::vector<uint8_t>(e68, e68 + 24), std::vector<uint8_t>(24, 0));

    SysEventType unknown{};
    unknown.eType = 40;
    EventTo68K(&app.state, &unknown, Addr(e68));
    EventToARM(&app.state, &unknown, Addr(e68));
    EXPECT_EQ(Reports(), (std::vector<std::string>{"Event68K:397:EventTo68K data not processed, event: 40",
                                                   "Event68K:520:EventToARM data not processed, event: 40"}));
}

TEST_F(EventTest, GetEventTranslatesAndWarnsOnceAfterTheReserveWasReleased) {
    ASSERT_EQ(TrapTableCreate(&ctx_.state), 0);
    std::vector<int32_t> timeouts;
    vantor::os::OnCall(Library::System, vantor::sysslot::EvtGetEvent, [&](const vantor::os::SlotCall& c) {
        timeouts.push_back(static_cast<int32_t>(c.args[1]));
        auto* e = reinterpret_cast<SysEventType*>(c.args[0]);
        *e = SysEventType{};
        if (timeouts.size() == 1) {
            e->eType = 4;
            e->data[0] = 'k';
        }
        return 0u;
    });
    vantor::os::ScriptResult(Library::Ui, vantor::uislot::UiEntry125, 0);
    auto code = Assemble(R"(
        lea event(%pc),%a2
        moveq #2,%d3
loop:   move.l #5,-(%sp)
        move.l %a2,-(%sp)
        trap #15
        .short 0xA11D
        addq.l #8,%sp
        move.w (%a2),%d4
        swap %d4
        move.w 8(%a2),%d4
        subq.w #1,%d3
        bne.s loop
        rts
        .even
event:  .space 24
)");
    EXPECT_EQ(Call68KCode(&ctx_.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(ctx_.state.D[4], 0u);  // the second event was a nil event
    EXPECT_EQ(timeouts, (std::vector<int32_t>{50, 50}));

    // With the reserve given up, the event call does not wait, and the first nil event shows the
    // alert and ends the state.
    timeouts.clear();
    ctx_.state.flags |= kFlagReserveReleased;
    EXPECT_EQ(Call68KCode(&ctx_.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(timeouts, (std::vector<int32_t>{1, 1}));
    auto alerts = vantor::os::CallsOf(Library::Ui, vantor::uislot::UiEntry125);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].args[0] & 0xFFFF, 10013u);
    EXPECT_FALSE(ctx_.state.flags & kFlagReserveReleased);
}

TEST_F(EventTest, ObjectsOfTheActiveFormAreNamedByTheirShadows) {
    // The active form holds a control (id 1200, index 2) and a list (id 1300, index 3).
    static uint8_t form[32], control[20], list[32];  // native records: their images are made from them
    activeForm_ = Addr(form);
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmGetFormId, [](const vantor::os::SlotCall&) { return 1000u; });
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmGetNumberOfObjects,
                       [](const vantor::os::SlotCall&) { return 4u; });
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmGetObjectIndex, [](const vantor::os::SlotCall& c) {
        return (c.args[1] & 0xFFFF) == 1200 ? 2u : 3u;
    });
    vantor::os::OnCall(Library::Ui, 154, [](const vantor::os::SlotCall& c) {
        return (c.args[1] & 0xFFFF) == 2 ? Addr(control) : Addr(list);
    });
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmGetObjectType, [](const vantor::os::SlotCall& c) {
        return (c.args[1] & 0xFFFF) == 2 ? 1u : 2u;
    });
    vantor::os::OnCall(Library::Ui, vantor::uislot::FrmGetObjectId, [](const vantor::os::SlotCall& c) {
        return (c.args[1] & 0xFFFF) == 2 ? 1200u : 1300u;
    });
    // A control selection (type 9): id at 8, the control at 10.
    SysEventType select{};
    select.eType = 9;
    const uint16_t id = 1200;
    std::memcpy(select.data, &id, 2);
    const uint32_t nativeControl = Addr(control);
    std::memcpy(select.data + 4, &nativeControl, 4);
    alignas(4) uint8_t e68[24] = {};
    EventTo68K(&ctx_.state, &select, Addr(e68));
    const uint32_t shadow = vantor::ReadBE32(e68 + 10);
    ASSERT_NE(shadow, 0u);
    // The same object's image every time, and the native control back.
    std::memset(e68 + 10, 0, 4);
    EventTo68K(&ctx_.state, &select, Addr(e68));
    EXPECT_EQ(vantor::ReadBE32(e68 + 10), shadow);
    SysEventType back{};
    EventToARM(&ctx_.state, &back, Addr(e68));
    uint32_t backControl;
    std::memcpy(&backControl, back.data + 4, 4);
    EXPECT_EQ(backControl, nativeControl);

    // A control event that names the list's id names no control: in an application's context it
    // becomes a nil event.
    TestContext app;
    app.state.global = &ctx_.state;
    const uint16_t listID = 1300;
    std::memcpy(select.data, &listID, 2);
    std::memset(e68, 0xEE, sizeof e68);
    EventTo68K(&app.state, &select, Addr(e68));
    EXPECT_EQ(std::vector<uint8_t>(e68, e68 + 24), std::vector<uint8_t>(24, 0));
    FormShadowFreeAll(&app.state);
    FormShadowFreeAll(&ctx_.state);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(EventTest, WindowsAreNamedByTheirHandlesBothWays) {
    vantor::NativeWindow window{};
    window.bounds = {4, 8, 100, 50};
    for (uint16_t type : {5, 6}) {
        SCOPED_TRACE(type);
        SysEventType enter{};
        enter.eType = type;
        const uint32_t native = Addr(&window);
        std::memcpy(enter.data, &native, 4);  // the window entered or left; none at 12
        alignas(4) uint8_t e68[24] = {};
        EventTo68K(&ctx_.state, &enter, Addr(e68));
        const uint32_t handle = vantor::ReadBE32(e68 + 8);
        ASSERT_NE(handle, 0u);
        EXPECT_NE(handle, native);  // 68K code holds the window's shadow, never the window
        EXPECT_EQ(vantor::ReadBE32(e68 + 12), 0u);
        EXPECT_EQ(
            WindowShadowFind(&ctx_.state, &window) ? Addr(WindowShadowFind(&ctx_.state, &window)->image) : 0u,
            handle);
        SysEventType back{};
        EventToARM(&ctx_.state, &back, Addr(e68));
        uint32_t backWindow = 0, backOther = 1;
        std::memcpy(&backWindow, back.data, 4);
        std::memcpy(&backOther, back.data + 4, 4);
        EXPECT_EQ(backWindow, native);
        EXPECT_EQ(backOther, 0u);
    }
    WindowShadowsFreeAll(&ctx_.state);
    EXPECT_TRUE(Reports().empty()) << ::testing::PrintToString(Reports());
}

}  // namespace
}  // namespace morvel::test
