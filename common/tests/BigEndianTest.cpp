#include "common/BigEndian.h"

#include <gtest/gtest.h>

#include <array>

using namespace vantor;

TEST(BigEndian, ReadWriteUnalignedFields) {
    std::array<uint8_t, 8> buf{};
    WriteBE8(&buf[0], 0xAB);
    WriteBE16(&buf[1], 0x1234);
    WriteBE32(&buf[3], 0xDEADBEEF);
    const std::array<uint8_t, 8> want{0xAB, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF, 0x00};
    EXPECT_EQ(buf, want);
    EXPECT_EQ(ReadBE8(&buf[0]), 0xAB);
    EXPECT_EQ(ReadBE16(&buf[1]), 0x1234);
    EXPECT_EQ(ReadBE32(&buf[3]), 0xDEADBEEFu);
}

TEST(BigEndian, SwapInPlaceIsItsOwnInverse) {
    uint16_t h = 0x1234;
    uint32_t w = 0x01020304;
    SwapField(h);
    SwapField(w);
    EXPECT_EQ(h, 0x3412);
    EXPECT_EQ(w, 0x04030201u);
    // After the swap the field's bytes are in device order.
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&w)[0], 0x01);
    SwapField(h);
    SwapField(w);
    EXPECT_EQ(h, 0x1234);
    EXPECT_EQ(w, 0x01020304u);
    uint8_t b = 7;
    SwapField(b);
    EXPECT_EQ(b, 7);
}

TEST(BigEndian, ReaderStopsAtTheEnd) {
    const uint8_t data[] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    BEReader r(data, sizeof data);
    EXPECT_EQ(r.U16(), 0x0010);
    EXPECT_EQ(r.U32(), 0x20304050u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.Remaining(), 1u);
    EXPECT_EQ(r.U16(), 0);  // one byte left: refused, nothing consumed
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.U8(), 0);  // stays failed
    EXPECT_EQ(r.Pos(), 6u);
}

TEST(BigEndian, WriterDropsWhatDoesNotFit) {
    uint8_t buf[5] = {9, 9, 9, 9, 9};
    BEWriter w(buf, 4);
    w.U16(0xCAFE);
    w.U8(1);
    EXPECT_TRUE(w.ok());
    w.U16(0xBEEF);  // needs 2, only 1 left
    EXPECT_FALSE(w.ok());
    const uint8_t want[5] = {0xCA, 0xFE, 1, 9, 9};
    EXPECT_EQ(0, memcmp(buf, want, 5));
}
