#include "common/FourCC.h"

#include <gtest/gtest.h>

using namespace vantor;

TEST(FourCC, HighByteIsTheFirstCharacter) {
    static_assert(FourCC("pkez") == 0x706B657Au);
    EXPECT_EQ(FourCC('r', 's', 'r', 'c'), 0x72737263u);
    // In host memory the value is stored little-endian.
    uint32_t v = FourCC("libr");
    EXPECT_EQ(reinterpret_cast<const char*>(&v)[0], 'r');
}

TEST(FourCC, TextRoundTrip) {
    EXPECT_EQ(FourCCToText(FourCC("sokr")), "sokr");
    EXPECT_EQ(FourCCFromText("a68k"), FourCC("a68k"));
    EXPECT_EQ(FourCCFromText("abc"), std::nullopt);
    EXPECT_EQ(FourCCFromText("abcde"), std::nullopt);
    // Non-printable bytes survive the raw conversion and are masked in the printable one.
    EXPECT_EQ(FourCCToText(0x41004201), std::string("A\0B\x01", 4));
    EXPECT_EQ(FourCCToPrintable(0x41004201), "A.B.");
}
