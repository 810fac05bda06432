// Memory manager traps from 68K code: arguments read at their stack offsets, results in D0 or A0,
// out-parameters written big-endian only on success and only where asked, and size-0 moves, sets
// and compares that never reach the OS.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemSlots.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace slot = vantor::sysslot;

class MemoryGlueTest : public TrapGlueTest {
protected:
    uint32_t D(int n) const { return ctx_.state.D[n]; }
    uint32_t DataAddr() { return Addr(Data()); }
};

std::string Trap(int trap, int popBytes) {
    return " trap #15\n .short " + std::to_string(trap) + "\n lea " + std::to_string(popBytes) + "(%sp),%sp\n";
}

TEST_F(MemoryGlueTest, PlainForwardsPassArgumentsAndResults) {
    struct Case {
        const char* name;
        uint16_t slot;
        std::string push;  // arguments, last first
        int trap, pop;
        uint32_t result;
        std::vector<uint32_t> args;  // as the OS saw them
        const char* resultReg;        // "d0.w", "d0.b", "d0.l" or "a0"
    };
    const Case cases[] = {
        {"MemHeapID", slot::MemHeapID, " move.w #3,-(%sp)\n move.w #1,-(%sp)\n", 0xA009, 4, 0x1234, {1, 3}, "d0.w"},
        {"MemChunkNew", slot::MemChunkNew, " move.w #0x1200,-(%sp)\n pea 0x40\n move.w #2,-(%sp)\n", 0xA011, 8,
         0x10203040, {2, 0x40, 0x1200}, "a0"},
        {"MemPtrResize", slot::MemPtrResize, " pea 0x80\n pea 0x10000000\n", 0xA01C, 8, 0x0102,
         {0x10000000, 0x80}, "d0.w"},
        {"MemHandleToLocalID", slot::MemHandleToLocalID, " pea 0x2000\n", 0xA020, 4, 0x80001234, {0x2000},
         "d0.l"},
        {"MemLocalIDToLockedPtr", slot::MemLocalIDToLockedPtr, " clr.w -(%sp)\n pea 0x4000\n", 0xA036, 6,
         0x40000, {0x4000, 0}, "a0"},
        {"MemPtrDataStorage", slot::MemPtrDataStorage, " pea 0x3000\n", 0xA36F, 4, 1, {0x3000}, "d0.b"},
        {"MemSemaphoreReserve", slot::MemSemaphoreReserve, " move.b #1,-(%sp)\n", 0xA03C, 2, 0, {1}, "d0.w"},
        {"MemNumCards", slot::MemNumCards, "", 0xA03A, 0, 1, {}, "d0.w"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vantor::os::ClearCalls();
        vantor::os::ScriptResult(Library::System, c.slot, c.result);
        ctx_.state.D[0] = ctx_.state.A[0] = 0xFFFFFFFFu;
        ASSERT_EQ(Run(c.push + Trap(c.trap, c.pop) + " rts\n"), 0);
        auto calls = vantor::os::CallsOf(Library::System, c.slot);
        ASSERT_EQ(calls.size(), 1u);
        for (size_t i = 0; i < c.args.size(); ++i) {
            uint32_t mask = c.args[i] > 0xFFFF ? 0xFFFFFFFFu : 0xFFFFu;
            EXPECT_EQ(calls[0].args[i] & mask, c.args[i]) << "argument " << i;
        }
        std::string r = c.resultReg;
        uint32_t mask = r == "d0.w" ? 0xFFFFu : r == "d0.b" ? 0xFFu : 0xFFFFFFFFu;
        EXPECT_EQ((r == "a0" ? ctx_.state.A[0] : D(0)) & mask, c.result);
    }
}

TEST_F(MemoryGlueTest, HeapFreeBytesWritesOnlyTheValuesAskedFor) {
    // MemHeapFreeBytes(0, data, NULL): the free-byte count lands at data, nothing at data + 4.
    ASSERT_EQ(Run(" lea data(%pc),%a1\n move.l #0xEEEEEEEE,4(%a1)\n"
                  " clr.l -(%sp)\n pea data(%pc)\n clr.w -(%sp)\n" + Trap(0xA00B, 10) + " rts\n"), 0);
    EXPECT_EQ(D(0) & 0xFFFF, 0u);
    uint32_t free = vantor::ReadBE32(Data());
    EXPECT_GT(free, 0u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0xEEEEEEEEu);
    // Both asked: the largest chunk fits in the free bytes.
    ASSERT_EQ(Run(" pea data+4(%pc)\n pea data(%pc)\n clr.w -(%sp)\n" + Trap(0xA00B, 10) + " rts\n"), 0);
    EXPECT_GT(vantor::ReadBE32(Data() + 4), 0u);
    EXPECT_LE(vantor::ReadBE32(Data() + 4), vantor::ReadBE32(Data()));
}

TEST_F(MemoryGlueTest, CardAndStoreInfoWriteOutputsOnlyOnSuccess) {
    // MemCardInfo(0, name, maker, &version, &date, NULL, &ram, NULL): the names are filled directly.
    auto fill = [](const SlotCall& c) -> uint32_t {
        std::strcpy(reinterpret_cast<char*>(c.args[1]), "Card");
        *reinterpret_cast<uint16_t*>(c.args[3]) = 0x0102;
        *reinterpret_cast<uint32_t*>(c.args[4]) = 0xA1B2C3D4;
        EXPECT_EQ(c.args[5], 0u);
        *reinterpret_cast<uint32_t*>(c.args[6]) = 0x00100000;
        EXPECT_EQ(c.args[7], 0u);
        return 0;
    };
    const std::string call = " clr.l -(%sp)\n pea data+44(%pc)\n clr.l -(%sp)\n pea data+40(%pc)\n"
                             " pea data+36(%pc)\n clr.l -(%sp)\n pea data(%pc)\n clr.w -(%sp)\n" +
                             Trap(0xA004, 30) + " rts\n";
    vantor::os::OnCall(Library::System, slot::MemCardInfo, fill);
    ASSERT_EQ(Run(call), 0);
    EXPECT_EQ(D(0) & 0xFFFF, 0u);
    EXPECT_STREQ(Text(), "Card");
    EXPECT_EQ(vantor::ReadBE16(Data() + 36), 0x0102);
    EXPECT_EQ(vantor::ReadBE32(Data() + 40), 0xA1B2C3D4u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 44), 0x00100000u);

    // A failing call writes none of them and answers its error.
    vantor::os::OnCall(Library::System, slot::MemCardInfo, [](const SlotCall& c) -> uint32_t {
        *reinterpret_cast<uint16_t*>(c.args[3]) = 0x7777;
        return 0x0101;
    });
    ASSERT_EQ(Run(call), 0);
    EXPECT_EQ(D(0) & 0xFFFF, 0x0101u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 36), 0u);  // Run() zeroes the data

    // MemStoreInfo(0, 0, &version, NULL, name, &created, NULL, NULL, NULL, &init2, NULL).
    vantor::os::OnCall(Library::System, slot::MemStoreInfo, [](const SlotCall& c) -> uint32_t {
        *reinterpret_cast<uint16_t*>(c.args[2]) = 3;
        EXPECT_EQ(c.args[3], 0u);
        std::strcpy(reinterpret_cast<char*>(c.args[4]), "Store");
        *reinterpret_cast<uint32_t*>(c.args[5]) = 0x11223344;
        *reinterpret_cast<uint32_t*>(c.args[9]) = 0x55667788;
        return 0;
    });
    ASSERT_EQ(Run(" clr.l -(%sp)\n pea data+48(%pc)\n clr.l -(%sp)\n clr.l -(%sp)\n clr.l -(%sp)\n"
                  " pea data+44(%pc)\n pea data(%pc)\n clr.l -(%sp)\n pea data+40(%pc)\n"
                  " clr.w -(%sp)\n clr.w -(%sp)\n" +
                  Trap(0xA005, 40) + " rts\n"),
              0);
    EXPECT_EQ(D(0) & 0xFFFF, 0u);
    EXPECT_STREQ(Text(), "Store");
    EXPECT_EQ(vantor::ReadBE16(Data() + 40), 3);
    EXPECT_EQ(vantor::ReadBE32(Data() + 44), 0x11223344u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 48), 0x55667788u);
}

TEST_F(MemoryGlueTest, SizeZeroMovesSetsAndComparesNothingWithoutTheOs) {
    // Any OS call would fail the test: MemMove, MemSet and MemCmp of 0 bytes.
    ctx_.state.D[0] = 0xFFFFFFFFu;
    ASSERT_EQ(Run(" clr.l -(%sp)\n pea data(%pc)\n pea data+8(%pc)\n" + Trap(0xA026, 12) + " move.l %d0,%d3\n"
                  " move.b #1,-(%sp)\n clr.l -(%sp)\n pea data(%pc)\n" + Trap(0xA027, 10) + " move.l %d0,%d4\n"
                  " clr.l -(%sp)\n pea data(%pc)\n pea data+8(%pc)\n" + Trap(0xA2D7, 12) + " rts\n"),
              0);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    EXPECT_EQ(D(4) & 0xFFFF, 0u);
    EXPECT_EQ(D(0) & 0xFFFF, 0u);
    EXPECT_TRUE(vantor::os::CallsOf(Library::System, slot::MemCmp).empty());
    // A real compare reaches the OS with both blocks and the size.
    vantor::os::ScriptResult(Library::System, slot::MemCmp, 0xFFFF);
    ASSERT_EQ(Run(" pea 4\n pea data(%pc)\n pea data+8(%pc)\n" + Trap(0xA2D7, 12) + " rts\n"), 0);
    auto calls = vantor::os::CallsOf(Library::System, slot::MemCmp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], DataAddr() + 8);
    EXPECT_EQ(calls[0].args[1], DataAddr());
    EXPECT_EQ(calls[0].args[2], 4u);
    EXPECT_EQ(static_cast<int16_t>(D(0)), -1);
}

}  // namespace
}  // namespace morvel::test
