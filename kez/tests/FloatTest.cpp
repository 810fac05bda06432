// Kez's floating-point service, called through the export table. Expected values were computed
// apart from this code: with Python's float and struct (exact rational arithmetic where Python
// itself would round twice) or by hand from the bit patterns.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "kez/src/KezModule.h"

namespace kez::testing {
namespace {

using namespace vantor;

#define SLOT(name) reinterpret_cast<kezsig::name*>(ExportTable()[kezslot::name])

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTwo63 = 9223372036854775808.0;
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();

uint64_t Bits(double value) { return std::bit_cast<uint64_t>(value); }
uint32_t Bits(float value) { return std::bit_cast<uint32_t>(value); }

TEST(Float, SlotsSitAtTheirNumbers) {
    EXPECT_EQ(kezslot::HALFloatAddF64, 24);
    EXPECT_EQ(kezslot::HALFloatF64ToU32, 35);
    EXPECT_EQ(kezslot::HALFloatF64ToI64, 36);
    EXPECT_EQ(kezslot::HALFloatF32ToU32, 41);
    EXPECT_EQ(kezslot::HALFloatF32ToI64, 42);
    EXPECT_EQ(kezslot::HALFloatI32ToF32, 44);
    EXPECT_EQ(kezslot::HALFloatI32ToF64, 45);
    EXPECT_EQ(kezslot::HALFloatI64ToF32, 48);
    EXPECT_EQ(kezslot::HALFloatI64ToF64, 49);
    EXPECT_EQ(kezslot::HALFloatU32ToF32, 56);
    EXPECT_EQ(kezslot::HALFloatU32ToF64, 57);
    EXPECT_EQ(kezslot::HALFloatU64ToF32, 59);
}

TEST(Float, ArithmeticRoundsOnceToNearest) {
    EXPECT_EQ(Bits(SLOT(HALFloatAddF64)(0.1, 0.2)), Bits(0x1.3333333333334p-2));
    EXPECT_EQ(Bits(SLOT(HALFloatAddF32)(0.1f, 0.2f)), Bits(0x1.333334p-2f));
    EXPECT_EQ(SLOT(HALFloatSubF64)(1.0, 3.0), -2.0);
    EXPECT_EQ(SLOT(HALFloatSubF32)(1.5f, 0.25f), 1.25f);
    // Rounding the exact product to 64 bits first and then to 53 would give ...dcc.
    EXPECT_EQ(Bits(SLOT(HALFloatMulF64)(0x1.27365a6456ba5p+0, 0x1.63fdaf7759a4fp+0)),
              Bits(0x1.9a84ea6842dcdp+0));
    EXPECT_EQ(SLOT(HALFloatMulF32)(3.0f, -0.5f), -1.5f);
    EXPECT_EQ(Bits(SLOT(HALFloatDivF64)(1.0, 3.0)), Bits(0x1.5555555555555p-2));
    EXPECT_EQ(Bits(SLOT(HALFloatDivF32)(1.0f, 3.0f)), Bits(0x1.555556p-2f));
    EXPECT_EQ(SLOT(HALFloatDivF64)(1.0, -0.0), -kInf);
    EXPECT_TRUE(std::isnan(SLOT(HALFloatDivF32)(0.0f, 0.0f)));
}

TEST(Float, NegateFlipsTheSignBitOnly) {
    EXPECT_EQ(Bits(SLOT(HALFloatNegF64)(0.0)), 0x8000000000000000u);
    EXPECT_EQ(Bits(SLOT(HALFloatNegF64)(-2.5)), Bits(2.5));
    EXPECT_EQ(Bits(SLOT(HALFloatNegF32)(0.0f)), 0x80000000u);
    EXPECT_EQ(Bits(SLOT(HALFloatNegF32)(std::bit_cast<float>(0x7FC00001u))), 0xFFC00001u);
    EXPECT_EQ(Bits(SLOT(HALFloatNegF64)(std::bit_cast<double>(0xFFF8000000000123u))),
              0x7FF8000000000123u);
}

TEST(Float, ComparesAreFalseForNaN) {
    struct Case {
        double a, b;
        int32_t eq, lt;
    };
    const Case cases[] = {{1.0, 2.0, 0, 1}, {2.0, 1.0, 0, 0},  {-0.0, 0.0, 1, 0},
                          {kNaN, 1.0, 0, 0}, {1.0, kNaN, 0, 0}, {kNaN, kNaN, 0, 0},
                          {-kInf, kInf, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << " " << c.b);
        EXPECT_EQ(SLOT(HALFloatEqF64)(c.a, c.b), c.eq);
        EXPECT_EQ(SLOT(HALFloatLtF64)(c.a, c.b), c.lt);
        const auto fa = static_cast<float>(c.a), fb = static_cast<float>(c.b);
        EXPECT_EQ(SLOT(HALFloatEqF32)(fa, fb), c.eq);
        EXPECT_EQ(SLOT(HALFloatLtF32)(fa, fb), c.lt);
    }
}

TEST(Float, ToSignedIntegersTruncateAndGiveTheMostNegativeOutOfRange) {
    struct Case {
        double value;
        int32_t i32;
        int64_t i64;
    };
    const Case cases[] = {
        {3.99, 3, 3},
        {-3.99, -3, -3},
        {2147483647.9, 2147483647, 2147483647},
        {2147483648.0, kMin32, 2147483648},
        {-2147483648.9, kMin32, -2147483648},
        {-2147483649.0, kMin32, -2147483649},
        {9.2e18, kMin32, 9200000000000000000},
        {kTwo63, kMin32, kMin64},
        {-kTwo63, kMin32, kMin64},
        {kNaN, kMin32, kMin64},
        {kInf, kMin32, kMin64},
        {-kInf, kMin32, kMin64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value);
        EXPECT_EQ(SLOT(HALFloatF64ToI32)(c.value), c.i32);
        EXPECT_EQ(SLOT(HALFloatF64ToI64)(c.value), c.i64);
    }
    // Singles: 2^31 is out of range, -2^31 is not.
    EXPECT_EQ(SLOT(HALFloatF32ToI32)(2147483648.0f), kMin32);
    EXPECT_EQ(SLOT(HALFloatF32ToI32)(-2147483648.0f), kMin32);
    EXPECT_EQ(SLOT(HALFloatF32ToI32)(-7.9f), -7);
    EXPECT_EQ(SLOT(HALFloatF32ToI32)(std::numeric_limits<float>::quiet_NaN()), kMin32);
    EXPECT_EQ(SLOT(HALFloatF32ToI64)(1e18f), 999999984306749440);
    EXPECT_EQ(SLOT(HALFloatF32ToI64)(9.3e18f), kMin64);
}

TEST(Float, ToUnsignedIntegers) {
    struct Case {
        double value;
        uint32_t u32;
        uint64_t u64;
    };
    const Case cases[] = {
        {3e9, 3000000000u, 3000000000u},
        {-1.0, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFu},
        {4294967301.5, 5u, 4294967301u},
        {kTwo63 + 2048, 0u, 0x8000000000000800u},
        {18446744073709549568.0, 0u, 0xFFFFFFFFFFFFF800u},
        {18446744073709551616.0, 0u, 0x8000000000000000u},
        {1e300, 0u, 0x8000000000000000u},
        {kNaN, 0u, 0x8000000000000000u},
        {kInf, 0u, 0x8000000000000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value);
        EXPECT_EQ(SLOT(HALFloatF64ToU32)(c.value), c.u32);
        EXPECT_EQ(SLOT(HALFloatF64ToU64)(c.value), c.u64);
    }
    EXPECT_EQ(SLOT(HALFloatF32ToU32)(3e9f), 3000000000u);
    EXPECT_EQ(SLOT(HALFloatF32ToU32)(-2.0f), 0xFFFFFFFEu);
    EXPECT_EQ(SLOT(HALFloatF32ToU64)(1.5f * 0x1p63f), 0xC000000000000000u);
    EXPECT_EQ(SLOT(HALFloatF32ToU64)(0x1p64f), 0x8000000000000000u);
    EXPECT_EQ(SLOT(HALFloatF32ToU64)(std::numeric_limits<float>::quiet_NaN()),
              0x8000000000000000u);
}

TEST(Float, FromIntegersRoundToNearestEven) {
    EXPECT_EQ(SLOT(HALFloatI32ToF64)(kMin32), -2147483648.0);
    EXPECT_EQ(SLOT(HALFloatI32ToF32)(16777217), 16777216.0f);
    EXPECT_EQ(SLOT(HALFloatI32ToF32)(16777219), 16777220.0f);
    EXPECT_EQ(SLOT(HALFloatU32ToF64)(0xFFFFFFFFu), 4294967295.0);
    EXPECT_EQ(SLOT(HALFloatU32ToF32)(0xFFFFFFFFu), 4294967296.0f);
    EXPECT_EQ(SLOT(HALFloatI64ToF64)((int64_t{1} << 53) + 1), 0x1p53);
    EXPECT_EQ(SLOT(HALFloatI64ToF64)((int64_t{1} << 53) + 3), 0x1p53 + 4);
    EXPECT_EQ(SLOT(HALFloatI64ToF64)(kMin64), -kTwo63);
    EXPECT_EQ(SLOT(HALFloatI64ToF32)((int64_t{1} << 24) + 1), 0x1p24f);
    EXPECT_EQ(SLOT(HALFloatI64ToF32)(-((int64_t{1} << 40) + (int64_t{1} << 16) + 1)),
              -(0x1p40f + 0x1p17f));
    EXPECT_EQ(SLOT(HALFloatU64ToF64)(0xFFFFFFFFFFFFFFFFu), 1.8446744073709552e19);
    EXPECT_EQ(SLOT(HALFloatU64ToF64)(12345), 12345.0);
    // 2^63 + 2^10 + 1 is just above the half-way point to 2^63 + 2^11; converting it as a signed
    // value and adding 2^64 would round twice and give 2^63.
    EXPECT_EQ(SLOT(HALFloatU64ToF64)(0x8000000000000401u), 0x1.0000000000001p+63);
    EXPECT_EQ(SLOT(HALFloatU64ToF32)(0xFFFFFFFFFFFFFFFFu), 0x1p64f);
    EXPECT_EQ(SLOT(HALFloatU64ToF32)(0x8000008000000001u), 0x1.000002p63f);
    EXPECT_EQ(SLOT(HALFloatU64ToF32)(0x8000008000000000u), 0x1p63f);
}

TEST(Float, FloatToFloatConversions) {
    EXPECT_EQ(SLOT(HALFloatF32ToF64)(0.1f), 0x1.99999ap-4);
    EXPECT_EQ(SLOT(HALFloatF32ToF32)(-0.75f), -0.75f);
    EXPECT_EQ(SLOT(HALFloatF64ToF64)(0.1), 0.1);
    EXPECT_EQ(SLOT(HALFloatF64ToF32)(1.0 + 0x1p-24), 1.0f);  // a tie goes to even
    EXPECT_EQ(SLOT(HALFloatF64ToF32)(1.0 + 0x1p-24 + 0x1p-50), 1.0f + 0x1p-23f);
    EXPECT_EQ(SLOT(HALFloatF64ToF32)(1e40), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(SLOT(HALFloatF64ToF32)(kNaN)));
    // Extended values round once: just above the half-way point of a double and of a single.
    EXPECT_EQ(SLOT(HALFloatExtToF64)(1.0L + 0x1p-53L + 0x1p-60L), 1.0 + 0x1p-52);
    EXPECT_EQ(SLOT(HALFloatExtToF64)(1.0L + 0x1p-53L), 1.0);
    EXPECT_EQ(SLOT(HALFloatExtToF32)(1.0L + 0x1p-24L + 0x1p-60L), 1.0f + 0x1p-23f);
    EXPECT_EQ(SLOT(HALFloatExtToF32)(-2.5L), -2.5f);
}

}  // namespace
}  // namespace kez::testing
