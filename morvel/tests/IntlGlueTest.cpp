// International and text-services traps from 68K code against the stand-in OS: the big-endian copy
// of the character attribute table, the locale, overlay, international text and text-services
// selectors with their 8-, 16- and 32-bit arguments, pointers and values written back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"
#include "common/module/SystemSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/IntlGlue.h"
#include "morvel/traps/Thunks.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace slot = vantor::sysslot;

class IntlGlueTest : public TrapGlueTest {
protected:
    void TearDown() override {
        TaggedNodesFree(&ctx_.state);
        while (NativeThunk* t = ctx_.state.thunks) {
            ctx_.state.thunks = t->next;
            vantor::sys::MemChunkFree(t);
        }
        TrapGlueTest::TearDown();
    }
    uint32_t DataAddr() { return Addr(Data()); }
    uint32_t D(int n) const { return ctx_.state.D[n]; }
};

// The 68K call of selector `selector` of `trap` with `pushes` before it; the caller pops `bytes`.
std::string Selector(int trap, int selector, const std::string& pushes, int bytes) {
    std::string s = " moveq #" + std::to_string(selector) + ",%d2\n" + pushes + " trap #15\n .short " +
                    std::to_string(trap) + "\n";
    if (bytes) s += " lea " + std::to_string(bytes) + "(%sp),%sp\n";
    return s;
}
constexpr int kIntl = 0xA2AB, kTsm = 0xA3AE, kOm = 0xA3AF, kLm = 0xA40A;

TEST_F(IntlGlueTest, CharacterAttributesAreCopiedOnceBigEndian) {
    static uint16_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint16_t>(i * 0x0103 + 0x8000);
    static const uint8_t sortTable[4] = {1, 2, 3, 4};
    vantor::os::OnCall(Library::System, slot::GetCharAttr,
                       [](const SlotCall&) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(table)); });
    vantor::os::OnCall(Library::System, slot::GetCharSortValue, [](const SlotCall&) {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sortTable));
    });
    ASSERT_EQ(Run(" trap #15\n .short 0xA295\n move.l %a0,%d3\n trap #15\n .short 0xA295\n move.l %a0,%d4\n"
                  " trap #15\n .short 0xA294\n move.l %a0,%d5\n rts"),
              0);
    ASSERT_NE(D(3), 0u);
    EXPECT_EQ(D(4), D(3));
    EXPECT_NE(D(3), Addr(table));
    const auto* copy = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(D(3)));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(vantor::ReadBE16(copy + 2 * i), table[i]) << i;
    int nodes = 0;
    for (TaggedNode* n = ctx_.state.taggedNodes; n; n = n->next) nodes += n->kind == 4 && n->payload == table;
    EXPECT_EQ(nodes, 1);
    EXPECT_EQ(D(5), Addr(sortTable));  // byte tables go unchanged
}

TEST_F(IntlGlueTest, LocaleSelectorsConvertAndCheckTheirPointers) {
    vantor::os::OnCall(Library::System, slot::LmSel2, [](const SlotCall& c) {
        const auto* locale = reinterpret_cast<const Locale*>(c.args[0]);
        EXPECT_EQ(locale->language, 2);
        EXPECT_EQ(locale->country, 23);
        *reinterpret_cast<uint16_t*>(c.args[1]) = 0x0105;
        return 0u;
    });
    // (selector 2 with the locale at data and the index at data+4), then a null index pointer,
    // then selectors 0 and 4.
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #0x00020017,(%a2)\n" +
                  Selector(kLm, 2, " pea data+4(%pc)\n pea data(%pc)\n", 8) + " move.l %d0,%d3\n" +
                  Selector(kLm, 2, " clr.l -(%sp)\n pea data(%pc)\n", 8) + " move.l %d0,%d4\n" +
                  Selector(kLm, 0, "", 0) + " move.l %d0,%d5\n" + Selector(kLm, 4, "", 0) +
                  " move.l %d0,%d6\n rts"),
              0);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 4), 0x0105);
    EXPECT_EQ(D(4) & 0xFFFF, 0x0502u);
    EXPECT_EQ(vantor::os::CallsOf(Library::System, slot::LmSel2).size(), 1u);
    EXPECT_EQ(D(5) & 0xFFFF, 0x0505u);
    EXPECT_EQ(D(6) & 0xFFFF, 0x0505u);
}

TEST_F(IntlGlueTest, LocaleSettingsAreConvertedByTheirKind) {
    uint32_t kind = 0;
    std::vector<SlotCall> gets;
    vantor::os::OnCall(Library::System, slot::LmSel3Kind, [&](const SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFFFF, 3u);
        EXPECT_EQ(c.args[1] & 0xFFFF, 9u);
        return kind;
    });
    vantor::os::OnCall(Library::System, slot::LmSel3, [&](const SlotCall& c) {
        gets.push_back(c);
        auto* buffer = reinterpret_cast<uint8_t*>(c.args[2]);
        const uint16_t size = static_cast<uint16_t>(c.args[3]);
        if (kind == 2) {
            uint16_t word;
            std::memcpy(&word, buffer, 2);
            EXPECT_EQ(word, 0x1111);  // read in, native order
            word = 0x1234;
            std::memcpy(buffer, &word, 2);
        } else if (kind == 4) {
            const Locale locale{3, 12};
            std::memcpy(buffer, &locale, 4);
        } else {
            std::memset(buffer, 0x5A, size);
        }
        return 0u;
    });
    // (index 3, setting 9, value at data, size) with 0x1111 at data and 0xEE bytes after it.
    auto get = [&](uint32_t k, int size) {
        kind = k;
        gets.clear();
        const std::string pushes = " lea data(%pc),%a2\n move.l #0x1111EEEE,(%a2)\n move.l #0xEEEEEEEE,4(%a2)\n"
                                   " move.w #" +
                                   std::to_string(size) +
                                   ",-(%sp)\n pea data(%pc)\n move.w #9,-(%sp)\n move.w #3,-(%sp)\n";
        EXPECT_EQ(Run(Selector(kLm, 3, pushes, 10) + " move.l %d0,%d3\n rts"), 0);
        return D(3) & 0xFFFF;
    };
    EXPECT_EQ(get(2, 2), 0u);  // a 16-bit value, read in and written back big-endian
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_NE(gets[0].args[2], DataAddr());
    EXPECT_EQ(vantor::ReadBE16(Data()), 0x1234);

    EXPECT_EQ(get(4, 4), 0u);  // a locale record, written back
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x0003000Cu);

    EXPECT_EQ(get(1, 6), 0u);  // other kinds: the caller's buffer as it is
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].args[2], DataAddr());
    EXPECT_EQ(gets[0].args[3] & 0xFFFF, 6u);
    EXPECT_EQ(Data()[5], 0x5A);
    EXPECT_EQ(Data()[6], 0xEE);

    // The OS is never offered more room than the temporary has, and a buffer smaller than the
    // value is not written beyond its size.
    EXPECT_EQ(get(4, 40), 0u);
    EXPECT_EQ(gets[0].args[3] & 0xFFFF, 4u);
    EXPECT_EQ(get(4, 2), 0u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x1111EEEEu);

    // A null value pointer asks nothing of the OS.
    gets.clear();
    ASSERT_EQ(Run(Selector(kLm, 3, " move.w #2,-(%sp)\n clr.l -(%sp)\n clr.l -(%sp)\n", 10) + " move.l %d0,%d3\n rts"),
              0);
    EXPECT_EQ(D(3) & 0xFFFF, 0x0502u);
    EXPECT_TRUE(gets.empty());
}

TEST_F(IntlGlueTest, TextSelectorsPassEachArgumentShape) {
    vantor::os::OnCall(Library::System, slot::IntlSel1, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFF, 0x81u);
        return 0x7Fu;
    });
    vantor::os::OnCall(Library::System, slot::IntlSel17, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFF, 1u);
        EXPECT_EQ(c.args[1] & 0xFF, 2u);
        return 1u;
    });
    vantor::os::OnCall(Library::System, slot::IntlSel2, [](const SlotCall& c) { return (c.args[0] & 0xFFFF) + 1; });
    vantor::os::OnCall(Library::System, slot::IntlSel9, [this](const SlotCall& c) {
        EXPECT_EQ(c.args[0], DataAddr() + 32);
        EXPECT_EQ(c.args[1], 0x01020304u);
        *reinterpret_cast<uint32_t*>(c.args[2]) = 0xA1B2C3D4;
        EXPECT_EQ(c.args[3], 0u);  // a null out pointer stays null
        return 0x0203u;
    });
    vantor::os::OnCall(Library::System, slot::IntlSel11, [](const SlotCall& c) {
        auto* value = reinterpret_cast<uint32_t*>(c.args[2]);
        auto* word = reinterpret_cast<uint16_t*>(c.args[3]);
        *value += 1;
        *word = 0xBEEF;
        return 1u;
    });
    vantor::os::OnCall(Library::System, slot::IntlSel16, [](const SlotCall&) { return 0x12345678u; });
    vantor::os::OnCall(Library::System, slot::IntlSel23, [](const SlotCall& c) { return c.args[1] * 2; });
    vantor::os::OnCall(Library::System, slot::FntWCharWidth, [](const SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFFFF, 0x3042u);
        return 11u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #0x00000010,8(%a2)\n" +
                  Selector(kIntl, 1, " move.b #0x81,-(%sp)\n", 2) + " move.b %d0,20(%a2)\n" +
                  Selector(kIntl, 17, " move.b #2,-(%sp)\n move.b #1,-(%sp)\n", 4) + " move.b %d0,21(%a2)\n" +
                  Selector(kIntl, 2, " move.w #0x7FFF,-(%sp)\n", 2) + " move.l %d0,%d4\n" +
                  Selector(kIntl, 9, " clr.l -(%sp)\n pea data(%pc)\n move.l #0x01020304,-(%sp)\n pea data+32(%pc)\n",
                           16) +
                  " move.l %d0,%d5\n" +
                  Selector(kIntl, 11, " pea data+12(%pc)\n pea data+8(%pc)\n clr.l -(%sp)\n clr.l -(%sp)\n", 16) +
                  " move.l %d0,%d6\n" + Selector(kIntl, 16, " clr.w -(%sp)\n", 2) + " move.l %a0,%d7\n" +
                  Selector(kIntl, 23, " move.l #0x40000001,-(%sp)\n clr.l -(%sp)\n", 8) + " move.l %d0,4(%a2)\n" +
                  Selector(kIntl, 22, " move.w #0x3042,-(%sp)\n", 2) + " move.w %d0,14(%a2)\n" +
                  // Selector 25 has no handler: D0 stays as it is.
                  " move.l #0x5555AAAA,%d0\n" + Selector(kIntl, 25, "", 0) + " move.l %d0,16(%a2)\n rts"),
              0);
    EXPECT_EQ(Data()[20], 0x7F);
    EXPECT_EQ(Data()[21], 1);
    EXPECT_EQ(D(4) & 0xFFFF, 0x8000u);
    EXPECT_EQ(D(5) & 0xFFFF, 0x0203u);
    EXPECT_EQ(vantor::ReadBE32(Data()), 0xA1B2C3D4u);
    EXPECT_EQ(D(6) & 0xFF, 1u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 8), 0x11u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 12), 0xBEEF);
    EXPECT_EQ(D(7), 0x12345678u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0x80000002u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 14), 11);
    EXPECT_EQ(vantor::ReadBE32(Data() + 16), 0x5555AAAAu);
}

TEST_F(IntlGlueTest, SelectorThunksCallTheSelectorsHandler) {
    vantor::os::OnCall(Library::System, slot::IntlSel2, [](const SlotCall& c) { return (c.args[0] & 0xFFFF) * 3; });
    vantor::os::OnCall(Library::System, slot::OmSel7, [](const SlotCall& c) {
        const auto* locale = reinterpret_cast<const Locale*>(c.args[0]);
        return static_cast<uint32_t>(locale->language << 8 | locale->country);
    });
    ASSERT_EQ(Run(Selector(kIntl, 24, " move.w #2,-(%sp)\n", 2) + " move.l %a0,%d3\n" +
                  " move.w #5,-(%sp)\n jsr (%a0)\n addq.l #2,%sp\n move.l %d0,%d4\n" +
                  Selector(kIntl, 24, " move.w #25,-(%sp)\n", 2) + " move.l %a0,%d5\n" +
                  Selector(kOm, 8, " move.w #7,-(%sp)\n", 2) + " lea data(%pc),%a2\n move.l #0x00020017,(%a2)\n" +
                  " pea data(%pc)\n jsr (%a0)\n addq.l #4,%sp\n move.l %d0,%d6\n" +
                  Selector(kOm, 8, " move.w #10,-(%sp)\n", 2) + " move.l %a0,%d7\n rts"),
              0);
    EXPECT_NE(D(3), 0u);
    EXPECT_EQ(D(4) & 0xFFFF, 15u);
    EXPECT_EQ(D(5), 0u);  // selector 25 has no handler
    EXPECT_EQ(D(6) & 0xFFFF, 0x0217u);
    EXPECT_EQ(D(7), 0u);
}

TEST_F(IntlGlueTest, OverlaySearchCopiesItsStateAndWritesTheLocaleBack) {
    vantor::os::OnCall(Library::System, slot::OmSel9, [this](const SlotCall& c) {
        EXPECT_EQ(c.args[0] & 0xFF, 1u);
        auto* state = reinterpret_cast<uint8_t*>(c.args[1]);
        EXPECT_NE(c.args[1], DataAddr());
        EXPECT_EQ(state[0], 0x11);
        EXPECT_EQ(state[31], 0x22);
        state[0] = 0x33;
        state[31] = 0x44;
        *reinterpret_cast<Locale*>(c.args[2]) = Locale{6, 13};
        return 0u;
    });
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.b #0x11,(%a2)\n move.b #0x22,31(%a2)\n move.b #0x77,32(%a2)\n" +
                  Selector(kOm, 9, " pea data+40(%pc)\n pea data(%pc)\n move.b #1,-(%sp)\n", 10) +
                  " move.l %d0,%d3\n rts"),
              0);
    EXPECT_EQ(D(3) & 0xFFFF, 0u);
    EXPECT_EQ(Data()[0], 0x33);
    EXPECT_EQ(Data()[31], 0x44);
    EXPECT_EQ(Data()[32], 0x77);
    EXPECT_EQ(vantor::ReadBE32(Data() + 40), 0x0006000Du);
}

TEST_F(IntlGlueTest, TextConversionConvertsTheSubstitutionFirst) {
    std::vector<SlotCall> calls;
    vantor::os::OnCall(Library::System, slot::IntlSel28, [&](const SlotCall& c) {
        calls.push_back(c);
        auto* sourceBytes = reinterpret_cast<uint16_t*>(c.args[3]);
        auto* destinationBytes = reinterpret_cast<uint16_t*>(c.args[6]);
        if (calls.size() == 1 && (c.args[7] & 0x7F) != 6) {
            // The substitution string into the destination encoding.
            EXPECT_EQ(c.args[0] & 0xFF, 1u);
            EXPECT_EQ(c.args[1], 0u);
            EXPECT_EQ(*sourceBytes, 1);
            EXPECT_EQ(c.args[4] & 0xFF, 6u);
            EXPECT_EQ(*destinationBytes, 134);
            std::memcpy(reinterpret_cast<char*>(c.args[5]), "<?>", 3);
            *destinationBytes = 3;
            return 0u;
        }
        EXPECT_EQ(*sourceBytes, 10);
        EXPECT_EQ(*destinationBytes, 20);
        *sourceBytes = 7;
        *destinationBytes = 9;
        return 0x1234u;
    });
    // (new, state, source, &10, encoding 1, destination, &20, encoding, "?", 1): counts at data,
    // data+2, the state at data+8 and the substitution at data+16.
    auto convert = [&](int encoding) {
        calls.clear();
        const std::string pushes = " lea data(%pc),%a2\n move.w #10,(%a2)\n move.w #20,2(%a2)\n move.w #0x3F00,16(%a2)\n"
                                   " move.w #1,-(%sp)\n pea data+16(%pc)\n move.b #" +
                                   std::to_string(encoding) +
                                   ",-(%sp)\n pea data+2(%pc)\n pea data+32(%pc)\n move.b #1,-(%sp)\n"
                                   " pea data(%pc)\n pea data+24(%pc)\n pea data+8(%pc)\n move.b #1,-(%sp)\n";
        EXPECT_EQ(Run(Selector(kIntl, 28, pushes, 32) + " move.l %d0,%d3\n rts"), 0);
    };
    convert(2);
    ASSERT_EQ(calls.size(), 2u);
    const SlotCall& c = calls[1];
    EXPECT_EQ(c.args[0] & 0xFF, 1u);
    EXPECT_EQ(c.args[1], DataAddr() + 8);
    EXPECT_EQ(c.args[2], DataAddr() + 24);
    EXPECT_EQ(c.args[4] & 0xFF, 1u);
    EXPECT_EQ(c.args[5], DataAddr() + 32);
    EXPECT_EQ(c.args[7] & 0xFF, 2u);
    EXPECT_EQ(c.args[8], calls[0].args[5]);  // the converted substitution
    EXPECT_EQ(c.args[9] & 0xFFFF, 3u);
    EXPECT_EQ(D(3) & 0xFFFF, 0x1234u);
    EXPECT_EQ(vantor::ReadBE16(Data()), 7);
    EXPECT_EQ(vantor::ReadBE16(Data() + 2), 9);

    // Destination encoding 6 (the high bit aside): the substitution goes as given.
    convert(0x86);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[8], DataAddr() + 16);
    EXPECT_EQ(calls[0].args[9] & 0xFFFF, 1u);
}

TEST_F(IntlGlueTest, TextServiceCodesTravelAsFourCharacterStrings) {
    uint32_t found = 1;
    vantor::os::OnCall(Library::System, slot::TxtSel5, [&](const SlotCall& c) {
        *reinterpret_cast<uint32_t*>(c.args[0]) = 0x61626364;  // 'abcd'
        return found;
    });
    std::vector<uint32_t> codes;
    vantor::os::OnCall(Library::System, slot::TxtSel6, [&](const SlotCall& c) {
        codes.push_back(c.args[0]);
        return 0u;
    });
    // Selector 5 into data+1 (an odd address) and, answering false, into data+8 filled with 0xFF.
    const std::string out5 = Selector(kTsm, 5, " pea data+1(%pc)\n", 4) + " move.l %d0,%d3\n";
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #-1,(%a2)\n move.l #-1,4(%a2)\n" + out5 + " rts"), 0);
    EXPECT_EQ(D(3) & 0xFF, 1u);
    EXPECT_EQ(std::memcmp(Data(), "\xFF" "abcd\0\xFF", 7), 0);
    found = 0;
    ASSERT_EQ(Run(" lea data(%pc),%a2\n move.l #-1,(%a2)\n move.l #-1,4(%a2)\n" + out5 + " rts"), 0);
    EXPECT_EQ(D(3) & 0xFF, 0u);
    EXPECT_EQ(std::memcmp(Data(), "\xFF\0\0\0\0\xFF", 6), 0);

    // Selector 6 with "", "wxyz", "abc" and "abcde" at data, data+8, data+16, data+24, then null.
    std::string src = " lea data(%pc),%a2\n move.l #0x7778797A,8(%a2)\n move.l #0x61626300,16(%a2)\n"
                      " move.l #0x61626364,24(%a2)\n move.w #0x6500,28(%a2)\n";
    for (int at : {0, 8, 16, 24})
        src += Selector(kTsm, 6, " pea data+" + std::to_string(at) + "(%pc)\n", 4) + " move.w %d0," +
               std::to_string(40 + at / 4) + "(%a2)\n";
    src += Selector(kTsm, 6, " clr.l -(%sp)\n", 4) + " move.w %d0,48(%a2)\n";  // and a null pointer
    ASSERT_EQ(Run(src + " rts"), 0);
    EXPECT_EQ(codes, (std::vector<uint32_t>{0, 0x7778797A}));
    EXPECT_EQ(vantor::ReadBE16(Data() + 48), 0x050A);
    EXPECT_EQ(vantor::ReadBE16(Data() + 40), 0);
    EXPECT_EQ(vantor::ReadBE16(Data() + 42), 0);
    EXPECT_EQ(vantor::ReadBE16(Data() + 44), 0x050A);
    EXPECT_EQ(vantor::ReadBE16(Data() + 46), 0x050A);
}

// The OS's own character slots (no fakes) answer the text selectors as their 68K callers expect:
// validity by a byte, a character's bounds through two out pointers, the next character's size.
TEST_F(IntlGlueTest, CharacterSlotsOfTheOsAnswerTheTextSelectors) {
    std::string src = " lea data(%pc),%a2\n move.l #0x61626300,32(%a2)\n move.l #-1,(%a2)\n move.l #-1,4(%a2)\n";
    const char valid[] = {0x41, 0x7F, 0x1F, static_cast<char>(0xE9)};
    for (int i = 0; i < 4; ++i)
        src += Selector(kIntl, 1, " move.b #" + std::to_string(static_cast<uint8_t>(valid[i])) + ",-(%sp)\n", 2) +
               " move.b %d0," + std::to_string(20 + i) + "(%a2)\n";
    src += Selector(kIntl, 9, " pea data+4(%pc)\n pea data(%pc)\n moveq #1,%d0\n move.l %d0,-(%sp)\n pea data+32(%pc)\n",
                    16) +
           " move.w %d0,24(%a2)\n";
    src += Selector(kIntl, 9, " clr.l -(%sp)\n clr.l -(%sp)\n moveq #2,%d0\n move.l %d0,-(%sp)\n pea data+32(%pc)\n",
                    16) +
           " move.w %d0,26(%a2)\n";
    src += Selector(kIntl, 6, " pea data+8(%pc)\n moveq #2,%d0\n move.l %d0,-(%sp)\n pea data+32(%pc)\n", 12) +
           " move.w %d0,28(%a2)\n";
    ASSERT_EQ(Run(src + " rts"), 0);
    EXPECT_EQ(std::memcmp(Data() + 20, "\x01\x00\x00\x01", 4), 0);
    EXPECT_EQ(vantor::ReadBE16(Data() + 24), 'b');
    EXPECT_EQ(vantor::ReadBE32(Data()), 1u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 2u);
    EXPECT_EQ(vantor::ReadBE16(Data() + 26), 'c');
    EXPECT_EQ(vantor::ReadBE16(Data() + 28), 1);
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace morvel::test
