// Bit-field routines against an independent reference: the buffer as a text of '0' and '1'.
#include <gtest/gtest.h>

#include <bitset>
#include <random>
#include <string>
#include <vector>

#include "sockra/SockraBits.h"

namespace {

std::string Bits(const std::vector<uint8_t>& buf) {
    std::string s;
    for (uint8_t b : buf) s += std::bitset<8>(b).to_string();
    return s;
}

std::string Bin(uint32_t v, int width) { return std::bitset<32>(v).to_string().substr(32 - width); }

// The reference encoding of the variable-width code.
std::string RefUIntV(uint32_t v) {
    if (v == 0) return "0";
    if (v <= 7) return "10" + Bin(v, 3);
    if (v <= 63) return "110" + Bin(v, 6);
    if (v <= 65535) return "1110" + Bin(v, 16);
    return "1111" + Bin(v, 32);
}
std::string RefIntV(int32_t v) {
    auto u = static_cast<uint32_t>(v);
    if (v == 0) return "0";
    if (v >= -4 && v <= 3) return "10" + Bin(u, 3);
    if (v >= -32 && v <= 31) return "110" + Bin(u, 6);
    if (v >= -32768 && v <= 32767) return "1110" + Bin(u, 16);
    return "1111" + Bin(u, 32);
}

TEST(Bits, VariableWidthCodesOfTheTable) {
    struct Case {
        bool isSigned;
        int64_t value;
        const char* bits;
    } cases[] = {
        {false, 0, "0"},
        {false, 7, "10111"},
        {false, 8, "110001000"},
        {false, 65535, "11101111111111111111"},
        {false, 65536, "111100000000000000010000000000000000"},
        {true, 0, "0"},
        {true, -1, "10111"},
        {true, 3, "10011"},
        {true, -4, "10100"},
        {true, 4, "110000100"},
        {true, -33, "11101111111111011111"},
        {true, 32768, "111100000000000000001000000000000000"},
        {true, INT32_MIN, "111110000000000000000000000000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        std::vector<uint8_t> buf(8, 0xA5);
        uint32_t off = 3;
        if (c.isSigned)
            SockraBitPutIntV(buf.data(), &off, static_cast<int32_t>(c.value));
        else
            SockraBitPutUIntV(buf.data(), &off, static_cast<uint32_t>(c.value));
        std::string n = c.bits;
        EXPECT_EQ(off, 3 + n.size());
        EXPECT_EQ(Bits(buf).substr(3, n.size()), n);
        EXPECT_EQ(Bits(buf).substr(0, 3), "101");  // bits before the field are kept
        EXPECT_EQ(Bits(buf).substr(3 + n.size()), Bits(std::vector<uint8_t>(8, 0xA5)).substr(3 + n.size()));
        uint32_t roff = 3;
        if (c.isSigned)
            EXPECT_EQ(SockraBitGetIntV(buf.data(), &roff), c.value);
        else
            EXPECT_EQ(SockraBitGetUIntV(buf.data(), &roff), c.value);
        EXPECT_EQ(roff, off);
    }
}

TEST(Bits, MoveKeepsTheBitsAroundTheField) {
    std::vector<uint8_t> src = {0x12, 0x34, 0x56, 0x78}, dst = {0xFF, 0x00, 0xFF, 0x00};
    std::string before = Bits(dst), s = Bits(src);
    uint32_t d = 6, so = 3;
    SockraBitMove(dst.data(), &d, src.data(), &so, 13);
    EXPECT_EQ(d, 19u);
    EXPECT_EQ(so, 16u);
    std::string after = Bits(dst);
    EXPECT_EQ(after.substr(0, 6), before.substr(0, 6));
    EXPECT_EQ(after.substr(6, 13), s.substr(3, 13));
    EXPECT_EQ(after.substr(19), before.substr(19));
    // A count of 0 changes nothing.
    d = 1, so = 1;
    SockraBitMove(dst.data(), &d, src.data(), &so, 0);
    EXPECT_EQ(Bits(dst), after);
    EXPECT_EQ(d, 1u);
}

TEST(Bits, FixedWidthsOutsideOneToThirtyTwoAreRefused) {
    std::vector<uint8_t> buf(8, 0x5A);
    for (uint16_t width : {0, 33, 64, 0xFFFF}) {
        uint32_t off = 4;
        SockraBitPutFixed(buf.data(), &off, 0xFFFFFFFF, width);
        EXPECT_EQ(off, 4u);
        EXPECT_EQ(SockraBitGetFixed(buf.data(), &off, width), 0u);
        EXPECT_EQ(off, 4u);
    }
    EXPECT_EQ(buf, std::vector<uint8_t>(8, 0x5A));
}

// Random data and random operations against the reference, with a fixed seed.
TEST(Bits, RandomOperationsAgreeWithTheReference) {
    std::mt19937 rng(20);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> buf(24), src(24);
        for (auto& b : buf) b = static_cast<uint8_t>(rng());
        for (auto& b : src) b = static_cast<uint8_t>(rng());
        std::string ref = Bits(buf);
        uint32_t off = rng() % 40;
        switch (rng() % 5) {
            case 0: {  // get fixed
                uint16_t w = 1 + rng() % 32;
                uint32_t o = off;
                uint32_t v = SockraBitGetFixed(buf.data(), &o, w);
                ASSERT_EQ(Bin(v, w), ref.substr(off, w)) << off << " " << w;
                ASSERT_EQ(o, off + w);
                break;
            }
            case 1: {  // put fixed
                uint16_t w = 1 + rng() % 32;
                uint32_t v = rng(), o = off;
                SockraBitPutFixed(buf.data(), &o, v, w);
                ref.replace(off, w, Bin(v, w));
                ASSERT_EQ(Bits(buf), ref);
                break;
            }
            case 2: {  // move
                uint32_t n = rng() % 100, so = rng() % 90, o = off;
                SockraBitMove(buf.data(), &o, src.data(), &so, n);
                ref.replace(off, n, Bits(src).substr(so - n, n));
                ASSERT_EQ(Bits(buf), ref);
                ASSERT_EQ(o, off + n);
                break;
            }
            case 3: {  // unsigned variable
                uint32_t v = rng() >> (rng() % 32), o = off;
                SockraBitPutUIntV(buf.data(), &o, v);
                std::string code = RefUIntV(v);
                ref.replace(off, code.size(), code);
                ASSERT_EQ(Bits(buf), ref) << v;
                uint32_t r = off;
                ASSERT_EQ(SockraBitGetUIntV(buf.data(), &r), v);
                ASSERT_EQ(r, o);
                break;
            }
            case 4: {  // signed variable
                auto v = static_cast<int32_t>(rng()) >> (rng() % 32);
                uint32_t o = off;
                SockraBitPutIntV(buf.data(), &o, v);
                std::string code = RefIntV(v);
                ref.replace(off, code.size(), code);
                ASSERT_EQ(Bits(buf), ref) << v;
                uint32_t r = off;
                ASSERT_EQ(SockraBitGetIntV(buf.data(), &r), v);
                ASSERT_EQ(r, o);
                break;
            }
        }
    }
}

TEST(Bits, FixedGetOfThirtyTwoBitsReadsAcrossFiveBytes) {
    const uint8_t buf[5] = {0x0F, 0xFF, 0x00, 0xAA, 0xF0};
    uint32_t off = 4;
    EXPECT_EQ(SockraBitGetFixed(buf, &off, 32), 0xFFF00AAFu);
    EXPECT_EQ(off, 36u);
}

}  // namespace
