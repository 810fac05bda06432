// String traps from 68K code: formatted print with its 68K variable arguments rebuilt natively,
// and the pointer array built over a block of strings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"
#include "common/module/A68kCalls.h"
#include "common/module/A68kSlots.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/traps/StringGlue.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

using StringGlueTest = MorvelTest;

TEST_F(StringGlueTest, VariableArgumentsBecomeOne32BitEntryPerValue) {
    // 68K values: w = 16 bits, l = 32 bits, big-endian one after the other.
    struct Case {
        const char* format;
        std::vector<std::pair<int, uint32_t>> args68K;  // (bytes, value)
        std::vector<uint32_t> native;
    } cases[] = {
        {"%d %ld %s", {{2, 0xFFFF}, {4, 70000}, {4, 0x12345678}}, {0xFFFFFFFF, 70000, 0x12345678}},
        {"%u|%d|%x", {{2, 0xFFFF}, {2, 0xFFFF}, {2, 0x8000}}, {65535, 0xFFFFFFFF, 0x8000}},
        {"%hd %lx %lc %ls", {{2, 0x8001}, {4, 0xCAFEF00D}, {2, 'A'}, {4, 0x100}}, {0xFFFF8001, 0xCAFEF00D, 'A', 0x100}},
        {"%*d", {{2, 0xFFFE}, {2, 5}}, {0xFFFFFFFE, 5}},
        {"%-08.2d", {}, {}},          // the '.' ends the conversion: nothing consumed
        {"100%% %+ #5d", {{2, 7}}, {7}},
        {"%", {}, {}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> block(32, 0);
        size_t at = 0;
        for (auto [bytes, value] : c.args68K) {
            if (bytes == 2) vantor::WriteBE16(&block[at], static_cast<uint16_t>(value));
            else vantor::WriteBE32(&block[at], value);
            at += static_cast<size_t>(bytes);
        }
        const uint32_t entries = FormatArgEntries(c.format);
        ASSERT_GE(entries, c.native.size()) << c.format;
        std::vector<uint32_t> native(entries + 1, 0xEEEEEEEE);
        StrVPrintFImpl(c.format, Addr(block.data()), native.data());
        for (size_t i = 0; i < c.native.size(); ++i) EXPECT_EQ(native[i], c.native[i]) << c.format << " #" << i;
        EXPECT_EQ(native[c.native.size()], 0xEEEEEEEEu) << c.format << ": consumed too much";
    }
    EXPECT_EQ(FormatArgEntries("%*d %*d %d"), 5u);
    EXPECT_EQ(FormatArgEntries("** %d"), 2u);  // stars count only up to the number of '%'
}

using StringTrapsTest = TrapGlueTest;

TEST_F(StringTrapsTest, StrPrintFFormatsThroughTheOs) {
    ASSERT_EQ(Run(" pea text(%pc)\n pea 70000\n move.w #-1,-(%sp)\n pea fmt(%pc)\n pea data(%pc)\n"
                  " trap #15\n .short 0xA2DE\n lea 18(%sp),%sp\n move.w %d0,%d3\n rts\n"
                  "fmt: .asciz \"%d %ld %s!\"\ntext: .asciz \"abc\""),
              0);
    EXPECT_STREQ(Text(), "-1 70000 abc!");
    EXPECT_EQ(ctx_.state.D[3] & 0xFFFF, 13u);

    // Six values need more than the five local entries; StrVPrintF takes them by pointer.
    ASSERT_EQ(Run(" pea args(%pc)\n pea fmt(%pc)\n pea data(%pc)\n trap #15\n .short 0xA2DF\n lea 12(%sp),%sp\n"
                  " rts\nfmt: .asciz \"%d%u%x%c%ld%hd\"\n .even\nargs: .short 1, 2, 0xab, 0x41\n .long 123456\n"
                  " .short -5"),
              0);
    EXPECT_STREQ(Text(), "12abA123456-5");
}

TEST_F(StringTrapsTest, PointerArrayPointsAtEachStringOfTheBlock) {
    ASSERT_EQ(Run(" move.w #3,-(%sp)\n pea block(%pc)\n trap #15\n .short 0xA0C1\n addq.l #6,%sp\n"
                  " move.l %a0,%d3\n rts\nblock: .asciz \"a\"\n .asciz \"bc\"\n .asciz \"def\""),
              0);
    void* handle = reinterpret_cast<void*>(static_cast<uintptr_t>(ctx_.state.D[3]));
    ASSERT_NE(handle, nullptr);
    const auto* array = static_cast<const uint8_t*>(vantor::sys::MemHandleLock(handle));
    for (int i = 0; i < 3; ++i) {
        const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(vantor::ReadBE32(array + 4 * i)));
        EXPECT_STREQ(text, i == 0 ? "a" : i == 1 ? "bc" : "def");
    }
    vantor::sys::MemHandleUnlock(handle);
    vantor::sys::MemHandleFree(handle);
}

TEST_F(StringGlueTest, ExportedConversionFillsABlockThatHoldsEveryEntry) {
    // Arguments "%d %lx": a 16-bit -2 and a 32-bit value, at offset 4 of a context's argument block.
    TestContext ctx;
    uint8_t* args = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(ctx.state.A[7]));
    vantor::WriteBE16(args + 4, 0xFFFE);
    vantor::WriteBE32(args + 6, 0xCAFEF00D);
    vantor::ModuleProc* exports = MorvelExportTable();
    auto atArg = reinterpret_cast<vantor::a68ksig::A68kConvertFormatArgsAtArg*>(
        exports[vantor::a68kslot::A68kConvertFormatArgsAtArg]);
    auto byPointer =
        reinterpret_cast<vantor::a68ksig::A68kConvertFormatArgs*>(exports[vantor::a68kslot::A68kConvertFormatArgs]);
    uint32_t block[3] = {7, 7, 7};
    EXPECT_EQ(atArg(&ctx.state, 4, "%d %lx", block, 8), 0);
    EXPECT_EQ(block[0], 0xFFFFFFFEu);
    EXPECT_EQ(block[1], 0xCAFEF00Du);
    EXPECT_EQ(block[2], 7u);
    uint32_t small[1] = {7};
    EXPECT_EQ(byPointer(&ctx.state, ctx.state.A[7] + 4, "%d %lx", small, 4), 0x0502);  // two entries do not fit
    EXPECT_EQ(small[0], 7u);
    EXPECT_EQ(byPointer(&ctx.state, ctx.state.A[7] + 4, nullptr, block, 12), 0x0502);
}

}  // namespace
}  // namespace morvel::test
