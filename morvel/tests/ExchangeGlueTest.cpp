// Exchange, Imc and UdaMgrDispatch traps from 68K code against the stand-in OS: the socket record
// converted around each call, creator-code types, and the native callbacks that run the caller's
// 68K procedures while the OS call is in progress.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemSlots.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/ExchangeGlue.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace slot = vantor::sysslot;

template <typename T>
T* At(uint32_t p) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(p));
}
uint32_t Native32(const uint8_t* native, uint32_t offset) {
    uint32_t v;
    std::memcpy(&v, native + offset, 4);
    return v;
}

class ExchangeGlueTest : public TrapGlueTest {
protected:
    uint32_t D(int n) const { return ctx_.state.D[n]; }
};

// Fills the socket at data: library reference 0x1234, first 32-bit field 0x11223344, the word at
// 30 0xBEEF, flags 0xFC00 with low bits set, name pointer 0x00C0FFEE; leaves data in A2.
constexpr const char* kFillSocket =
    " lea data(%pc),%a2\n move.w #0x1234,(%a2)\n move.l #0x11223344,2(%a2)\n move.w #0xBEEF,30(%a2)\n"
    " move.w #0xFC3F,46(%a2)\n move.l #0x00C0FFEE,56(%a2)\n";

TEST_F(ExchangeGlueTest, SocketCallsConvertTheSocketBothWays) {
    std::vector<uint32_t> seen;
    vantor::os::OnCall(Library::System, slot::ExgPut, [&](const SlotCall& c) {
        auto* native = At<uint8_t>(c.args[0]);
        uint16_t ref;
        std::memcpy(&ref, native, 2);
        seen = {ref, Native32(native, 4), Native32(native, 48), Native32(native, 60)};
        const uint32_t changed = 0x55667788;
        std::memcpy(native + 4, &changed, 4);
        return 0x1501u;
    });
    vantor::os::OnCall(Library::System, slot::ExgDisconnect, [&](const SlotCall& c) {
        EXPECT_EQ(c.args[1] & 0xFFFF, 0x1502u);
        return 0u;
    });
    ASSERT_EQ(Run(std::string(kFillSocket) + " pea (%a2)\n trap #15\n .short 0xA309\n addq.l #4,%sp\n"
                                             " move.w %d0,%d3\n move.w #0x1502,-(%sp)\n pea (%a2)\n"
                                             " trap #15\n .short 0xA30C\n addq.l #6,%sp\n rts"),
              0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0x1234, 0x11223344, 0x3F, 0x00C0FFEE}));
    EXPECT_EQ(D(3) & 0xFFFF, 0x1501u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 46), 0xFC00);  // flag bits 9-0 are not carried
    EXPECT_EQ(vantor::ReadBE16(Data() + 30), 0);
    EXPECT_EQ(vantor::ReadBE32(Data() + 2), 0x55667788u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 56), 0x00C0FFEEu);
}

TEST_F(ExchangeGlueTest, ReceiveConvertsInOnlyAndStoresErrorAndCount) {
    vantor::os::OnCall(Library::System, slot::ExgReceive, [](const SlotCall& c) {
        auto* native = At<uint8_t>(c.args[0]);
        EXPECT_EQ(Native32(native, 48), 0x3Fu);
        std::memset(native, 0, 64);
        EXPECT_EQ(c.args[2], 100u);
        *At<uint16_t>(c.args[3]) = 0x1503;
        return 42u;
    });
    ASSERT_EQ(Run(std::string(kFillSocket) + " pea data+60(%pc)\n pea 100\n pea 0\n pea (%a2)\n"
                                             " trap #15\n .short 0xA30E\n lea 16(%sp),%sp\n move.l %d0,%d3\n rts"),
              0);
    EXPECT_EQ(D(3), 42u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 60), 0x1503);
    EXPECT_EQ(vantor::ReadBE16(Data() + 30), 0xBEEF);  // the 68K socket is left as it was
    EXPECT_EQ(vantor::ReadBE16(Data() + 46), 0xFC3F);
}

TEST_F(ExchangeGlueTest, CreatorCodeTypesAndRegisteredApplications) {
    std::vector<uint32_t> types;
    vantor::os::OnCall(Library::System, slot::ExgSetDefaultApplication, [&](const SlotCall& c) {
        const auto* type = At<const uint32_t>(c.args[2]);
        types = {c.args[0], c.args[1] & 0xFFFF, type[0], type[1] & 0xFFFF};
        return 0u;
    });
    static uint32_t creators[2];
    static char names[] = "Memo";
    vantor::os::OnCall(Library::System, slot::ExgGetRegisteredApplications, [](const SlotCall& c) {
        EXPECT_EQ(std::string(At<const char>(c.args[5])), "text/plain");  // other kinds pass the text
        creators[0] = 0x6D656D6F, creators[1] = 0x61646472;
        *At<uint32_t*>(c.args[0]) = creators;
        *At<uint32_t>(c.args[1]) = 2;
        *At<char*>(c.args[2]) = names;
        EXPECT_EQ(c.args[3], 0u);  // no descriptions asked for
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #0x6D656D6F,(%a2)\n"
                  " pea (%a2)\n move.w #0xFFFB,-(%sp)\n move.l #0x61626364,-(%sp)\n"
                  " trap #15\n .short 0xA403\n lea 10(%sp),%sp\n"
                  " pea type(%pc)\n move.w #1,-(%sp)\n clr.l -(%sp)\n pea data+16(%pc)\n pea data+12(%pc)\n"
                  " pea data+8(%pc)\n trap #15\n .short 0xA406\n lea 22(%sp),%sp\n rts\n"
                  "type: .asciz \"text/plain\"\n"),
              0);
    EXPECT_EQ(types, (std::vector<uint32_t>{0x61626364, 0xFFFB, 0x6D656D6F, 0}));
    EXPECT_EQ(vantor::ReadBE32(Data() + 8), Addr(creators));
    EXPECT_EQ(vantor::ReadBE32(Data() + 12), 2u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 16), Addr(names));
    EXPECT_EQ(vantor::ReadBE32(creators), 0x6D656D6Fu);  // the list is big-endian in place
    EXPECT_EQ(vantor::ReadBE32(creators + 1), 0x61646472u);
}

// ExgDBRead(read, delete, user 0x77, data+40, card 0, data+44, keep dates 1), result in D3. The
// read procedure copies its arguments to data, sets the size to 3 and answers 7; the delete
// procedure copies its 16 argument bytes to data+16 and answers 1.
std::string DBRead(const char* deleteProc) {
    return std::string(" move.b #1,-(%sp)\n pea data+44(%pc)\n clr.w -(%sp)\n pea data+40(%pc)\n pea 0x77\n") +
           deleteProc +
           " pea readp(%pc)\n trap #15\n .short 0xA342\n lea 24(%sp),%sp\n move.w %d0,%d3\n rts\n"
           "readp: lea data(%pc),%a0\n move.l 4(%sp),(%a0)+\n move.l 8(%sp),%a1\n move.l (%a1),(%a0)+\n"
           " move.l 12(%sp),(%a0)\n move.l #3,(%a1)\n moveq #7,%d0\n rts\n"
           "deletep: lea data+16(%pc),%a0\n lea 4(%sp),%a1\n move.l (%a1)+,(%a0)+\n move.l (%a1)+,(%a0)+\n"
           " move.l (%a1)+,(%a0)+\n move.l (%a1),(%a0)\n moveq #1,%d0\n rts\n";
}

TEST_F(ExchangeGlueTest, DBReadRunsTheProceduresThroughTheBridges) {
    uint32_t size = 5, answers[2] = {};
    static const char name[] = "MemoDB";
    vantor::os::OnCall(Library::System, slot::ExgDBRead, [&](const SlotCall& c) {
        EXPECT_EQ(c.args[0], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&ExgReadWriteBridge)));
        EXPECT_EQ(c.args[2], 0x77u);
        EXPECT_EQ(c.args[6] & 0xFF, 1u);
        answers[0] = ExgReadWriteBridge(At<void>(0x1000), &size, At<void>(c.args[2]));
        answers[1] = ExgDeleteBridge(name, 2, 0x4242, At<void>(c.args[2]));
        *At<uint32_t>(c.args[3]) = 0x00ABCDEF;
        *At<uint8_t>(c.args[5]) = 1;
        return 0u;
    });
    ASSERT_EQ(Run(DBRead(" pea deletep(%pc)\n")), 0);
    EXPECT_EQ(answers[0], 7u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x1000u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 5u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 8), 0x77u);
    EXPECT_EQ(answers[1], 1u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 16), Addr(name));
    EXPECT_EQ(vantor::ReadBE16(Data() + 20), 2);  // version, then card number 0
    EXPECT_EQ(vantor::ReadBE16(Data() + 22), 0);
    EXPECT_EQ(vantor::ReadBE32(Data() + 24), 0x4242u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 28), 0x77u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 40), 0x00ABCDEFu);
    EXPECT_EQ(Data()[44], 1);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    EXPECT_EQ(ctx_.state.A[7], ctx_.StackTop());  // the argument pointer is back where it was

    // A null delete procedure passes no delete bridge.
    vantor::os::OnCall(Library::System, slot::ExgDBRead, [](const SlotCall& c) {
        EXPECT_EQ(c.args[1], 0u);
        return 0x1505u;
    });
    ASSERT_EQ(Run(DBRead(" clr.l -(%sp)\n")), 0);
    EXPECT_EQ(D(3) & 0xFFFF, 0x1505u);
}

TEST_F(ExchangeGlueTest, BridgesWithoutA68KContextCallNothing) {
    SetCurrentContext(nullptr);
    EmulState* global = GetGlobalContext();
    SetGlobalContext(nullptr);
    uint32_t size = 9;
    EXPECT_EQ(ExgReadWriteBridge(nullptr, &size, nullptr), kErrExgNoContext);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(ExgDeleteBridge("x", 1, 2, nullptr), 0);
    SetGlobalContext(global);
    SetCurrentContext(&ctx_.state);
}

TEST_F(ExchangeGlueTest, ImcReadersAndWritersCallTheCharacterProcedures) {
    // The OS reads characters through the bridge until 0 and moves the position past them.
    std::string read;
    vantor::os::OnCall(Library::System, slot::ImcReadFieldNoSemicolon, [&](const SlotCall& c) {
        auto get = reinterpret_cast<uint16_t (*)(uint32_t)>(static_cast<uintptr_t>(c.args[1]));
        auto* position = At<uint16_t>(c.args[2]);
        EXPECT_EQ(c.args[3] & 0xFFFF, 80u);
        while (uint16_t ch = get(c.args[0])) read += static_cast<char>(ch), ++*position;
        return c.args[0];
    });
    std::vector<std::pair<uint32_t, std::string>> written;
    vantor::os::OnCall(Library::System, slot::ImcWriteNoSemicolon, [&](const SlotCall& c) {
        auto put = reinterpret_cast<void (*)(uint32_t, uint32_t)>(static_cast<uintptr_t>(c.args[1]));
        put(c.args[0], c.args[2]);
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.w #10,(%a2)\n lea text(%pc),%a3\n move.l %a3,4(%a2)\n"
                  " move.w #80,-(%sp)\n pea (%a2)\n pea getc(%pc)\n pea 4(%a2)\n"
                  " trap #15\n .short 0xA316\n lea 14(%sp),%sp\n move.l %a0,%d3\n"
                  " pea text(%pc)\n pea putc(%pc)\n pea 0x99\n trap #15\n .short 0xA31C\n lea 12(%sp),%sp\n rts\n"
                  // getc(stream): the next character of the text the stream points at, 0 at the end.
                  "getc: move.l 4(%sp),%a0\n move.l (%a0),%a1\n moveq #0,%d0\n move.b (%a1)+,%d0\n"
                  " beq 1f\n move.l %a1,(%a0)\n1: rts\n"
                  // putc(stream, text): keeps both at data+8.
                  "putc: lea data+8(%pc),%a0\n move.l 4(%sp),(%a0)+\n move.l 8(%sp),(%a0)\n rts\n"
                  "text: .asciz \"FN;x\"\n"),
              0);
    EXPECT_EQ(read, "FN;x");
    EXPECT_EQ(vantor::ReadBE16(Data()), 14);
    EXPECT_EQ(D(3), Addr(Data() + 4));  // the OS's pointer comes back in A0
    EXPECT_EQ(vantor::ReadBE32(Data() + 8), 0x99u);
    EXPECT_EQ(std::string(At<const char>(vantor::ReadBE32(Data() + 12))), "FN;x");
}

TEST_F(ExchangeGlueTest, PreviewAndDialogRecordsConvert) {
    vantor::os::OnCall(Library::System, slot::ExgNotifyPreview, [](const SlotCall& c) {
        auto* info = At<uint8_t>(c.args[0]);
        uint16_t op, last;
        std::memcpy(&op, info, 2);
        std::memcpy(&last, info + 26, 2);
        EXPECT_EQ(op, 3);
        EXPECT_EQ(last, 0x0102);
        const uint32_t socket = Native32(info, 4);
        EXPECT_EQ(Native32(At<uint8_t>(socket), 48), 0x3Fu);
        EXPECT_EQ(Native32(info, 20), 0x00C0FFEEu);
        const uint32_t size = 77;
        std::memcpy(info + 16, &size, 4);
        return 0u;
    });
    vantor::os::OnCall(Library::System, slot::ExgDoDialog, [](const SlotCall& c) {
        auto* info = At<uint16_t>(c.args[1]);
        EXPECT_EQ(info[0], 1);
        EXPECT_EQ(*At<uint32_t>(c.args[1] + 4), 0x12345678u);
        info[4] = 5;  // category index
        *At<uint16_t>(c.args[2]) = 0x1510;
        return 1u;
    });
    // The preview record (op 3, socket at data, a pointer, last word 0x0102) and the dialog
    // record (version 1, database, error word at 12) in a stack area.
    ASSERT_EQ(Run(std::string(kFillSocket) +
                  " lea -80(%sp),%sp\n move.l %sp,%a3\n move.w #3,(%a3)\n move.l %a2,2(%a3)\n"
                  " move.l #0x00C0FFEE,18(%a3)\n move.w #0x0102,24(%a3)\n"
                  " pea (%a3)\n trap #15\n .short 0xA408\n addq.l #4,%sp\n move.l 14(%a3),%d5\n move.l 2(%a3),%d6\n"
                  " lea 32(%a3),%a4\n move.w #1,(%a4)\n move.l #0x12345678,2(%a4)\n"
                  " pea 12(%a4)\n pea (%a4)\n pea (%a2)\n trap #15\n .short 0xA3E6\n lea 12(%sp),%sp\n"
                  " move.b %d0,%d3\n move.w 6(%a4),%d7\n move.w 12(%a4),60(%a2)\n lea 80(%sp),%sp\n rts"),
              0);
    EXPECT_EQ(D(5), 77u);
    EXPECT_EQ(D(6), Addr(Data()));  // the record keeps its own socket pointer
    EXPECT_EQ(vantor::ReadBE16(Data() + 30), 0);
    EXPECT_EQ(D(3) & 0xFF, 1u);
    EXPECT_EQ(D(7) & 0xFFFF, 5u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 60), 0x1510);
}

TEST_F(ExchangeGlueTest, UdaMgrDispatchSelectors) {
    std::vector<uint32_t> formatArgs;
    vantor::os::OnCall(Library::System, slot::UdaSel0, [&](const SlotCall& c) {
        EXPECT_NE(c.args[0], 0u);
        EXPECT_EQ(c.args[1] & 0xFFFF, 9u);
        EXPECT_EQ(std::string(At<const char>(c.args[2])), "%d %s %lx");
        const auto* native = At<const uint32_t>(c.args[3]);
        formatArgs.assign(native, native + 3);
        return 0x21u;
    });
    vantor::os::OnCall(Library::System, slot::UdaSel11, [](const SlotCall& c) { return c.args[0] + 1; });
    vantor::os::OnCall(Library::System, slot::UdaWrapObjectPointer, [&](const SlotCall& c) {
        EXPECT_EQ(c.args[0], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&ctx_.state)));
        EXPECT_EQ(c.args[1], c.args[2] + 1);
        return 0x5000u;
    });
    std::vector<std::string> alerts;
    vantor::os::OnCall(Library::Ui, vantor::uislot::SysFatalAlert, [&](const SlotCall& c) {
        alerts.push_back(At<const char>(c.args[0]));
        return 1u;
    });
    vantor::os::ScriptResult(Library::System, slot::SysEnterDebugger, 0);
    ASSERT_EQ(Run(" move.l #0x12345678,-(%sp)\n pea text(%pc)\n move.w #-4,-(%sp)\n pea fmt(%pc)\n"
                  " move.w #9,-(%sp)\n pea 0\n moveq #0,%d2\n trap #15\n .short 0xA449\n lea 20(%sp),%sp\n"
                  " move.w %d0,%d3\n pea 0x40\n moveq #11,%d2\n trap #15\n .short 0xA449\n addq.l #4,%sp\n"
                  " move.l %a0,%d4\n moveq #7,%d2\n trap #15\n .short 0xA449\n rts\n"
                  "fmt: .asciz \"%d %s %lx\"\ntext: .asciz \"t\"\n"),
              0);
    ASSERT_EQ(formatArgs.size(), 3u);
    EXPECT_EQ(formatArgs[0], 0xFFFFFFFCu);
    EXPECT_EQ(std::string(At<const char>(formatArgs[1])), "t");
    EXPECT_EQ(formatArgs[2], 0x12345678u);
    EXPECT_EQ(D(3) & 0xFFFF, 0x21u);
    EXPECT_EQ(D(4), 0x5000u);
    EXPECT_EQ(alerts, std::vector<std::string>{"Exg68K, Line:1120, Unknown UdaMgrDispatch request: 7"});
}

}  // namespace
}  // namespace morvel::test
