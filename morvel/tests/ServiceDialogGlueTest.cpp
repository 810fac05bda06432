// Attention and progress traps from 68K code against the stand-in OS: an attention's 68K callback
// behind the attention manager's native callback (its parameters converted by command, its record
// given up on got-it or on an update without a callback), and a progress dialog's 68K text
// callback, cancel state and end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/NativeUi.h"
#include "common/module/SystemCalls.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

// The attention calls the OS sees: user value and callback of AttnGetAttention, AttnUpdate and
// AttnForgetIt.
class AttentionGlueTest : public TrapGlueTest {
  protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        vantor::os::OnCall(Library::System, vantor::sysslot::AttnGetAttention,
                           [this](const SlotCall& c) { return calls_.push_back(c), 0u; });
        vantor::os::OnCall(Library::System, vantor::sysslot::AttnUpdate,
                           [this](const SlotCall& c) { return calls_.push_back(c), 1u; });
        vantor::os::OnCall(Library::System, vantor::sysslot::AttnForgetIt,
                           [this](const SlotCall& c) { return calls_.push_back(c), 0u; });
    }
    // 68K source calling `trap` with card 0, database 0x1234 and user value 42; `callback` is
    // "cb" or "0".
    static std::string Call(uint16_t trap, const std::string& callback) {
        std::string pushes;
        if (trap == 0xA426)
            pushes = " clr.l -(%sp)\n move.l #0x11,-(%sp)\n move.w #1,-(%sp)\n";
        else if (trap == 0xA427)
            pushes = " clr.l -(%sp)\n clr.l -(%sp)\n clr.l -(%sp)\n";
        const std::string cb = callback == "cb" ? " pea cb(%pc)\n" : " clr.l -(%sp)\n";
        return pushes + (trap == 0xA428 ? "" : cb) + " move.l #42,-(%sp)\n move.l #0x1234,-(%sp)\n clr.w -(%sp)\n" +
               " trap #15\n .short " + Hex(trap) + "\n lea 64(%sp),%sp\n";
    }
    // The callback stores its command, user value and the first 16 bytes of its parameters at data,
    // clears the parameters' byte at 8 and answers 7.
    static constexpr const char* kCallback =
        "cb:\n lea data(%pc),%a0\n move.w 4(%sp),(%a0)\n move.l 6(%sp),2(%a0)\n move.l 10(%sp),%a1\n"
        " move.l (%a1),6(%a0)\n move.l 4(%a1),10(%a0)\n move.l 8(%a1),14(%a0)\n move.l 12(%a1),18(%a0)\n"
        " clr.b 8(%a1)\n moveq #7,%d0\n rts\n";
    void Start() {
        // The stack pointer is restored from A6 because the calls pop different amounts.
        ASSERT_EQ(Run(" move.l %sp,%a6\n" + Call(0xA426, "cb") + " move.l %a6,%sp\n rts\n" + kCallback), 0);
        ASSERT_EQ(calls_.size(), 1u);
        record_ = calls_[0].args[2];
        bridge_ = reinterpret_cast<vantor::NativeAttnCallback>(static_cast<uintptr_t>(calls_[0].args[3]));
        calls_.clear();
    }
    std::vector<SlotCall> calls_;
    uint32_t record_ = 0;
    vantor::NativeAttnCallback bridge_ = nullptr;
};

TEST_F(AttentionGlueTest, TheCallbackSeesItsCommandUserValueAndParametersIn68KLayout) {
    Start();
    ASSERT_NE(bridge_, nullptr);
    EXPECT_NE(record_, 42u);  // the OS keeps the record, not the user value
    vantor::NativeAttnDrawArgs args{};
    args.bounds = {10, 20, 100, 30};
    args.firstTime = 1;
    args.flags = 0x01020304;
    ASSERT_EQ(bridge_(vantor::kAttnCommandDrawDetail, record_, &args), 7);
    const uint8_t* d = Data();
    EXPECT_EQ(vantor::ReadBE16(d), vantor::kAttnCommandDrawDetail);
    EXPECT_EQ(vantor::ReadBE32(d + 2), 42u);
    // Bounds as four words, the byte, then the flags at 10 (68K alignment).
    EXPECT_EQ(vantor::ReadBE16(d + 6), 10);
    EXPECT_EQ(vantor::ReadBE16(d + 12), 30);
    EXPECT_EQ(d[6 + 8], 1);
    EXPECT_EQ(vantor::ReadBE32(d + 6 + 10), 0x01020304u);
    EXPECT_EQ(args.firstTime, 0);  // what the callback wrote comes back
    EXPECT_EQ(args.flags, 0x01020304u);
    // The same record serves the same attention again.
    ASSERT_EQ(Run(" move.l %sp,%a6\n" + Call(0xA427, "cb") + " move.l %a6,%sp\n rts\n" + kCallback), 0);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].args[2], record_);
    EXPECT_TRUE(Reports().empty());
}

// Each way a record is given up: afterwards the OS is handed the plain user value, and a late call
// of the bridge with the old record runs nothing.
TEST_F(AttentionGlueTest, GotItAndAnUpdateWithoutCallbackGiveTheRecordUp) {
    for (const bool gotIt : {true, false}) {
        SCOPED_TRACE(gotIt ? "got it" : "update without callback");
        Start();
        if (gotIt) {
            uint8_t byUser[16] = {1};
            EXPECT_EQ(bridge_(vantor::kAttnCommandGotIt, record_, byUser), 7);
            EXPECT_EQ(vantor::ReadBE16(Data()), vantor::kAttnCommandGotIt);
            EXPECT_EQ(Data()[6], 1);
        } else {
            ASSERT_EQ(Run(" move.l %sp,%a6\n" + Call(0xA427, "0") + " move.l %a6,%sp\n rts\n"), 0);
            ASSERT_EQ(calls_.size(), 1u);
            EXPECT_EQ(calls_[0].args[2], 42u);
            EXPECT_EQ(calls_[0].args[3], 0u);
        }
        calls_.clear();
        ASSERT_EQ(Run(" move.l %sp,%a6\n" + Call(0xA428, "0") + " move.l %a6,%sp\n rts\n"), 0);
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(calls_[0].args[2], 42u);
        vantor::NativeAttnDrawArgs args{};
        EXPECT_EQ(bridge_(vantor::kAttnCommandDrawDetail, record_, &args), 0);
        calls_.clear();
    }
    EXPECT_TRUE(Reports().empty());
}

// The progress dialog: the 68K text callback gets the stage, the text buffer, the flags and its
// user value and hands back its text, error and flags; an event that cancels shows in the 68K
// record; a stopped dialog's record is taken no more.
TEST_F(TrapGlueTest, AProgressDialogsTextCallbackAndCancelReachThe68KRecord) {
    vantor::NativeProgress native{};
    std::vector<SlotCall> started, stopped, handled;
    vantor::os::OnCall(Library::Ui, 252, [&](const SlotCall& c) {
        started.push_back(c);
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&native));
    });
    vantor::os::OnCall(Library::Ui, vantor::uislot::PrgStopDialog, [&](const SlotCall& c) { return stopped.push_back(c), 0u; });
    vantor::os::OnCall(Library::Ui, 251, [&](const SlotCall& c) {
        handled.push_back(c);
        native.flags = vantor::kProgressCancelled;
        native.stage = 3;
        native.error = 5;
        return 1u;
    });
    ASSERT_EQ(Run(" move.l #0x5555,-(%sp)\n pea cb(%pc)\n pea title(%pc)\n trap #15\n .short 0xA366\n"
                  " lea 12(%sp),%sp\n lea data(%pc),%a1\n move.l %a0,60(%a1)\n rts\n"
                  "title: .asciz \"Copying\"\n .even\n"
                  "cb:\n move.l 4(%sp),%a0\n lea data(%pc),%a1\n move.w (%a0),(%a1)\n move.w 16(%a0),2(%a1)\n"
                  " move.l 38(%a0),4(%a1)\n move.l 2(%a0),%a1\n move.b #'H',(%a1)\n clr.b 1(%a1)\n"
                  " move.w #9,12(%a0)\n or.w #0x1000,16(%a0)\n moveq #1,%d0\n rts\n"),
              0);
    const uint32_t record = vantor::ReadBE32(Data() + 60);
    ASSERT_NE(record, 0u);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(started[0].args[0])), "Copying");
    EXPECT_EQ(started[0].args[2], record);
    const auto* image = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(record));
    EXPECT_EQ(vantor::ReadBE16(image + 8), 0);
    EXPECT_EQ(vantor::ReadBE32(image + 224), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&native)));

    auto textCallback = reinterpret_cast<vantor::NativePrgTextCallback>(static_cast<uintptr_t>(started[0].args[1]));
    char text[16] = {};
    vantor::NativePrgCallbackData data{};
    data.stage = 2;
    data.textP = text;
    data.textLen = sizeof text;
    data.flags = vantor::kPrgCancelled;
    data.userData = reinterpret_cast<void*>(static_cast<uintptr_t>(record));
    EXPECT_EQ(textCallback(&data), 1);
    EXPECT_EQ(vantor::ReadBE16(Data()), 2);
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 0x8000);  // cancelled is the top bit on the 68K side
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0x5555u);
    EXPECT_STREQ(text, "H");
    EXPECT_EQ(data.error, 9);
    EXPECT_EQ(data.flags, vantor::kPrgCancelled | vantor::kPrgTimedOut);

    // PrgHandleEvent(record, null), PrgStopDialog(record, true), then both once more.
    const std::string calls = " move.l %sp,%a6\n clr.l -(%sp)\n move.l #" + Hex(record) +
                              ",-(%sp)\n trap #15\n .short 0xA315\n lea data(%pc),%a1\n move.b %d0,(%a1)\n"
                              " move.w #0x0100,-(%sp)\n move.l #" + Hex(record) +
                              ",-(%sp)\n trap #15\n .short 0xA313\n move.l %a6,%sp\n";
    ASSERT_EQ(Run(calls + " rts\n"), 0);
    EXPECT_EQ(Data()[0], 1);
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].args[1], 0u);
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0].args[1] & 0xFF, 1u);
    ASSERT_EQ(Run(calls + " rts\n"), 0);
    EXPECT_EQ(Data()[0], 0);
    EXPECT_EQ(handled.size(), 1u);
    EXPECT_EQ(stopped.size(), 1u);
    EXPECT_EQ(textCallback(&data), 0);
    EXPECT_TRUE(Reports().empty());
}

// AccessorDispatch 100 and 101 read the OS globals record: 100 writes a zero word (not through a
// null pointer), the long at 80 and the word at 84 and answers the pointer at 88; 101 the word at
// 96.
TEST_F(TrapGlueTest, AccessorSelectors100And101ReportTheOsGlobals) {
    auto* globals = static_cast<uint8_t*>(vantor::sys::SysGetGlobals());
    ASSERT_NE(globals, nullptr);
    const uint32_t long80 = 0x11223344, pointer88 = 0x55667788;
    const uint16_t word84 = 0x9ABC, word96 = 0xDEF0;
    std::memcpy(globals + 80, &long80, 4);
    std::memcpy(globals + 84, &word84, 2);
    std::memcpy(globals + 88, &pointer88, 4);
    std::memcpy(globals + 96, &word96, 2);
    ASSERT_EQ(Run(" lea data(%pc),%a1\n move.w #0x7777,(%a1)\n"
                  " pea 8(%a1)\n pea 2(%a1)\n clr.l -(%sp)\n moveq #100,%d2\n trap #15\n .short 0xA3F4\n"
                  " lea 12(%sp),%sp\n lea data(%pc),%a1\n move.l %a0,12(%a1)\n"
                  " moveq #101,%d2\n trap #15\n .short 0xA3F4\n lea data(%pc),%a1\n move.w %d0,16(%a1)\n rts\n"),
              0);
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x7777);
    EXPECT_EQ(vantor::ReadBE32(Data() + 2), long80);
    EXPECT_EQ(vantor::ReadBE16(Data() + 8), word84);
    EXPECT_EQ(vantor::ReadBE32(Data() + 12), pointer88);
    EXPECT_EQ(vantor::ReadBE16(Data() + 16), word96);
    std::memset(globals + 80, 0, 20);
}

}  // namespace
}  // namespace morvel::test
