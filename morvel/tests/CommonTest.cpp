// Trap arguments, guarded 68K access, layout strings, bit fields, tagged nodes, pointer checks.
#include <gtest/gtest.h>

#include <cstring>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/KezSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"

namespace morvel::test {
namespace {

class CommonTest : public MorvelTest {
protected:
    TestContext ctx_;
    alignas(4) uint8_t mem_[64] = {};
    uint32_t M(uint32_t offset = 0) { return Addr(mem_) + offset; }
};

TEST_F(CommonTest, ArgumentsAreBigEndianAtA7) {
    uint8_t args[] = {0xFF, 0xFE, 0x80, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
                      0x7F, 0xFF, 0xFF, 0xFF, 0x0C, 0xCC, 0xCC, 0xCD};
    ctx_.state.A[7] = Addr(args);
    EXPECT_EQ(GetArgUInt16(&ctx_.state, 0), -2);
    EXPECT_EQ(GetArgInt8(&ctx_.state, 2), -128);
    EXPECT_EQ(GetArgUInt32(&ctx_.state, 3), 0x12345678u);
    // Ticks: positive values times 10, 0 and negative ones as they are, large ones saturated.
    EXPECT_EQ(GetArgTicks(&ctx_.state, 7), 50);
    EXPECT_EQ(GetArgTicks(&ctx_.state, 11), -1);
    EXPECT_EQ(GetArgTicks(&ctx_.state, 15), 0);
    EXPECT_EQ(GetArgTicks(&ctx_.state, 19), 0x7FFFFFFF);
    EXPECT_EQ(GetArgTicks(&ctx_.state, 23), 0x7FFFFFFF);
    SetArgUInt16(&ctx_.state, 0, 0x0102);
    SetArgUInt32(&ctx_.state, 3, 0xA1B2C3D4);
    EXPECT_EQ(args[0], 1);
    EXPECT_EQ(args[3], 0xA1);
    EXPECT_EQ(args[6], 0xD4);
}

TEST_F(CommonTest, ResultsClearUpperBitsAndReadBackSignExtended) {
    ctx_.state.D[0] = 0xFFFFFFFF;
    SetResultD0UInt8(&ctx_.state, 0x80);
    EXPECT_EQ(ctx_.state.D[0], 0x80u);
    EXPECT_EQ(GetResultD0Int8(&ctx_.state), -128);
    SetResultD0UInt16(&ctx_.state, 0xFFFE);
    EXPECT_EQ(ctx_.state.D[0], 0xFFFEu);
    EXPECT_EQ(GetResultD0Int16(&ctx_.state), -2);
    SetResultA0(&ctx_.state, 0x1234);
    EXPECT_EQ(GetResultA0(&ctx_.state), 0x1234u);
}

TEST_F(CommonTest, GuardedAccessReportsOddAddressesAndOffsetsThenGoesOn) {
    Write68KUInt16(M(1), 0, 0xBEEF);
    EXPECT_EQ(mem_[1], 0xBE);
    EXPECT_EQ(mem_[2], 0xEF);
    EXPECT_EQ(Read68KUInt32(M(0), 3), 0x00000000u | (uint32_t{mem_[3]} << 24));
    Write68KUInt32(M(8), 0, 0x01020304);
    EXPECT_EQ(Read68KUInt32(M(8), 0), 0x01020304u);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_NE(Reports()[0].find("MorvelCommon:"), std::string::npos);
    EXPECT_NE(Reports()[0].find(":Odd address"), std::string::npos);
    EXPECT_NE(Reports()[1].find(":Odd offset"), std::string::npos);
}

TEST_F(CommonTest, RectsConvertBothWays) {
    NativeRect r{{-1, 2}, {300, -400}};
    Write68KRect(&r, M(0));
    EXPECT_EQ(vantor::ReadBE16(mem_), 0xFFFF);
    EXPECT_EQ(vantor::ReadBE16(mem_ + 6), static_cast<uint16_t>(-400));
    NativeRect back{};
    Read68KRect(&back, M(0));
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
}

TEST_F(CommonTest, LayoutStringsAlignAndSwapBothWays) {
    struct Row {
        std::vector<uint8_t> layout;
        std::vector<uint8_t> m68k;    // the 68K image
        std::vector<uint8_t> native;  // the native record (little-endian fields)
    } rows[] = {
        // one 16-bit field, align, one 32-bit field: the 32-bit field moves from 68K offset 2 to 4
        {{0x12, 0x01, 0x14, 0}, {0x12, 0x34, 0xAA, 0xBB, 0xCC, 0xDD}, {0x34, 0x12, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA}},
        // byte, then 16-bit (both sides aligned to 2), then 32-bit (native aligned to 4)
        {{0x11, 0x12, 0x14, 0}, {0x7F, 0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06},
         {0x7F, 0, 0x02, 0x01, 0x06, 0x05, 0x04, 0x03}},
        // repeat counts; bytes 3-15 and unknown types are skipped
        {{0x31, 0x05, 0x17, 0x22, 0}, {1, 2, 3, 0, 0xA0, 0xA1, 0xB0, 0xB1}, {1, 2, 3, 0, 0xA1, 0xA0, 0xB1, 0xB0}},
    };
    for (const Row& r : rows) {
        std::memset(mem_, 0, sizeof mem_);
        std::memcpy(mem_, r.m68k.data(), r.m68k.size());
        uint8_t native[16] = {};
        EXPECT_EQ(RecordToNative(native, M(0), r.layout.data()), 0);
        EXPECT_EQ(std::vector<uint8_t>(native, native + r.native.size()), r.native);
        std::memset(mem_, 0, sizeof mem_);
        EXPECT_EQ(RecordTo68K(native, M(0), r.layout.data()), 0);
        EXPECT_EQ(std::vector<uint8_t>(mem_, mem_ + r.m68k.size()), r.m68k);
    }
    EXPECT_TRUE(Reports().empty());
    // A 68K record at an odd address is reported and still converted.
    std::memcpy(mem_ + 1, "\x12\x34", 2);
    uint16_t v = 0;
    const uint8_t one16[] = {0x12, 0};
    RecordToNative(&v, M(1), one16);
    EXPECT_EQ(v, 0x1234);
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(CommonTest, BitfieldsAreMirrored) {
    struct Row {
        uint16_t in;
        std::vector<uint8_t> widths;
        uint16_t out;
    } rows[] = {
        {0x8000, {1, 15, 0}, 0x0001},
        {0x0001, {1, 15, 0}, 0x0002},
        {0xA5C3, {4, 4, 8, 0}, 0xC35A},
        {0xFFFF, {3, 0}, 0x0007},
        {0xFFFF, {12, 12, 0}, 0x0FFF},  // a field beyond the word is dropped
    };
    for (const Row& r : rows) {
        uint16_t w = r.in;
        ConvertBitfield16(&w, r.widths.data());
        EXPECT_EQ(w, r.out) << std::hex << r.in;
    }
}

TEST_F(CommonTest, ShadowsAreFilledAndTaggedNodesFreeTheirPayloads) {
    auto* shadow = static_cast<uint8_t*>(ShadowNew(24));
    ASSERT_NE(shadow, nullptr);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(shadow[i], 0xFE);
    ShadowFree(shadow);

    void* owned = ShadowNew(8);
    int kept = 0;
    TaggedNodeAdd(&ctx_.state, 5, owned);
    TaggedNode* n = TaggedNodeAdd(&ctx_.state, 1, &kept);
    EXPECT_EQ(TaggedNodeFind(&ctx_.state, &kept), n);
    EXPECT_EQ(TaggedNodeFind(&ctx_.state, owned)->kind, 5u);
    TaggedNodesFree(&ctx_.state);  // ASan reports a leak if the kind-5 payload stays
    EXPECT_EQ(ctx_.state.taggedNodes, nullptr);
}

// Kez's slot 74: it knows one area only.
uint32_t AreaSize(uint32_t address, uint8_t) { return address == 0xC000 ? 0x40 : 0; }

TEST_F(CommonTest, PointersValidateAgainstTheRegions) {
    std::vector<vantor::ModuleProc> kez(vantor::kKezSlots, nullptr);
    kez[vantor::kezslot::HALMemoryGetAreaSize] = reinterpret_cast<vantor::ModuleProc>(&AreaSize);
    vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, kez.data(), vantor::kKezSlots);
    ctx_.state.regions[0] = {0x1000, 0x100};
    ctx_.state.regions[1] = {0x4000, 0x10};
    ctx_.state.regions[2] = {0x8000, 0x20};
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0x1010, false, false), 0xF0u);
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0x400F, false, false), 1u);
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0x8008, false, false), 0u);
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0x8008, true, false), 0x18u);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0x9000, true, true), 0u);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0x9000, true, false), 0u);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_NE(Reports()[0].find("Invalid ptr: 9000"), std::string::npos);
    EXPECT_EQ(ValidatePtr(&ctx_.state, 0xC000, false, false), 0x40u);
    vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
}

}  // namespace
}  // namespace morvel::test
