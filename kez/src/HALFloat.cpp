// Floating-point service (export slots 24 to 59): IEEE single and double arithmetic, compares and
// conversions done by the host processor for the 68K environment's float traps. No state.
//
// This file is built with SSE arithmetic (see CMakeLists.txt): x87 arithmetic rounds doubles twice
// (to 64 mantissa bits, then to 53), which gives wrong last bits.
//
// Conversions to integers never convert an out-of-range value in C++ (that is undefined): they
// check the range first and give the processor's integer-indefinite value, the most negative one.
#include <bit>
#include <cstdint>
#include <limits>

#include "kez/src/KezModule.h"

namespace kez {
namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

// Truncates toward zero; NaN and values outside the integer's range give its most negative value.
template <typename Int, typename Float>
Int PrvTruncate(Float value) {
    constexpr Int kMin = std::numeric_limits<Int>::min();
    // -kMin is a power of two, exact in every float format.
    if (!(value >= static_cast<Float>(kMin) && value < -static_cast<Float>(kMin))) return kMin;
    return static_cast<Int>(value);
}

// To unsigned 32-bit: the low word of the signed 64-bit truncation.
template <typename Float>
uint32_t PrvToU32(Float value) {
    return static_cast<uint32_t>(static_cast<uint64_t>(PrvTruncate<int64_t>(value)));
}

// To unsigned 64-bit: below 2^63 (and NaN) as signed 64-bit; from 2^63 up biased by 2^63 and the
// top bit set. Values of 2^64 and more give 0x8000000000000000.
template <typename Float>
uint64_t PrvToU64(Float value) {
    const double wide = value;  // exact; the subtraction below is then exact too
    if (wide >= kTwoTo63)
        return static_cast<uint64_t>(PrvTruncate<int64_t>(wide - kTwoTo63)) | (uint64_t{1} << 63);
    return static_cast<uint64_t>(PrvTruncate<int64_t>(wide));
}

// From unsigned 64-bit, rounded once: a value with the top bit set is halved with its lowest bit
// kept as a sticky bit, converted as signed and doubled, so it rounds as the full value would.
// (Converting as signed and adding 2^64 rounds twice and can miss by one unit in the last place.)
template <typename Float>
Float PrvFromU64(uint64_t value) {
    if (value >> 63 == 0) return static_cast<Float>(static_cast<int64_t>(value));
    const auto halved = static_cast<int64_t>((value >> 1) | (value & 1));
    return static_cast<Float>(halved) * Float{2};
}

double HALFloatAddF64(double a, double b) { return a + b; }
float HALFloatAddF32(float a, float b) { return a + b; }
double HALFloatSubF64(double a, double b) { return a - b; }
float HALFloatSubF32(float a, float b) { return a - b; }
double HALFloatMulF64(double a, double b) { return a * b; }
float HALFloatMulF32(float a, float b) { return a * b; }
double HALFloatDivF64(double a, double b) { return a / b; }
float HALFloatDivF32(float a, float b) { return a / b; }

// Negation flips the sign bit only, NaNs and zeros included.
double HALFloatNegF64(double value) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(value) ^ (uint64_t{1} << 63));
}
float HALFloatNegF32(float value) {
    return std::bit_cast<float>(std::bit_cast<uint32_t>(value) ^ (uint32_t{1} << 31));
}

// Compares are false when either operand is a NaN.
int32_t HALFloatEqF64(double a, double b) { return a == b ? 1 : 0; }
int32_t HALFloatLtF64(double a, double b) { return a < b ? 1 : 0; }
int32_t HALFloatEqF32(float a, float b) { return a == b ? 1 : 0; }
int32_t HALFloatLtF32(float a, float b) { return a < b ? 1 : 0; }

double HALFloatI32ToF64(int32_t value) { return value; }
float HALFloatI32ToF32(int32_t value) { return static_cast<float>(value); }
double HALFloatU32ToF64(uint32_t value) { return value; }
float HALFloatU32ToF32(uint32_t value) { return static_cast<float>(value); }
double HALFloatI64ToF64(int64_t value) { return static_cast<double>(value); }
float HALFloatI64ToF32(int64_t value) { return static_cast<float>(value); }
double HALFloatU64ToF64(uint64_t value) { return PrvFromU64<double>(value); }
float HALFloatU64ToF32(uint64_t value) { return PrvFromU64<float>(value); }

double HALFloatF32ToF64(float value) { return value; }
float HALFloatF32ToF32(float value) { return value; }
float HALFloatF64ToF32(double value) { return static_cast<float>(value); }
double HALFloatF64ToF64(double value) { return value; }
double HALFloatExtToF64(long double value) { return static_cast<double>(value); }
float HALFloatExtToF32(long double value) { return static_cast<float>(value); }

int32_t HALFloatF32ToI32(float value) { return PrvTruncate<int32_t>(value); }
int32_t HALFloatF64ToI32(double value) { return PrvTruncate<int32_t>(value); }
int64_t HALFloatF32ToI64(float value) { return PrvTruncate<int64_t>(value); }
int64_t HALFloatF64ToI64(double value) { return PrvTruncate<int64_t>(value); }
uint32_t HALFloatF32ToU32(float value) { return PrvToU32(value); }
uint32_t HALFloatF64ToU32(double value) { return PrvToU32(value); }
uint64_t HALFloatF32ToU64(float value) { return PrvToU64(value); }
uint64_t HALFloatF64ToU64(double value) { return PrvToU64(value); }

}  // namespace

KEZ_SLOT(HALFloatAddF64, HALFloatAddF64)
KEZ_SLOT(HALFloatAddF32, HALFloatAddF32)
KEZ_SLOT(HALFloatEqF64, HALFloatEqF64)
KEZ_SLOT(HALFloatLtF64, HALFloatLtF64)
KEZ_SLOT(HALFloatEqF32, HALFloatEqF32)
KEZ_SLOT(HALFloatLtF32, HALFloatLtF32)
KEZ_SLOT(HALFloatDivF64, HALFloatDivF64)
KEZ_SLOT(HALFloatDivF32, HALFloatDivF32)
KEZ_SLOT(HALFloatF64ToF32, HALFloatF64ToF32)
KEZ_SLOT(HALFloatF64ToI32, HALFloatF64ToI32)
KEZ_SLOT(HALFloatF64ToF64, HALFloatF64ToF64)
KEZ_SLOT(HALFloatF64ToU32, HALFloatF64ToU32)
KEZ_SLOT(HALFloatF64ToI64, HALFloatF64ToI64)
KEZ_SLOT(HALFloatF64ToU64, HALFloatF64ToU64)
KEZ_SLOT(HALFloatF32ToF64, HALFloatF32ToF64)
KEZ_SLOT(HALFloatF32ToI32, HALFloatF32ToI32)
KEZ_SLOT(HALFloatF32ToF32, HALFloatF32ToF32)
KEZ_SLOT(HALFloatF32ToU32, HALFloatF32ToU32)
KEZ_SLOT(HALFloatF32ToI64, HALFloatF32ToI64)
KEZ_SLOT(HALFloatF32ToU64, HALFloatF32ToU64)
KEZ_SLOT(HALFloatI32ToF32, HALFloatI32ToF32)
KEZ_SLOT(HALFloatI32ToF64, HALFloatI32ToF64)
KEZ_SLOT(HALFloatExtToF64, HALFloatExtToF64)
KEZ_SLOT(HALFloatExtToF32, HALFloatExtToF32)
KEZ_SLOT(HALFloatI64ToF32, HALFloatI64ToF32)
KEZ_SLOT(HALFloatI64ToF64, HALFloatI64ToF64)
KEZ_SLOT(HALFloatMulF64, HALFloatMulF64)
KEZ_SLOT(HALFloatMulF32, HALFloatMulF32)
KEZ_SLOT(HALFloatNegF64, HALFloatNegF64)
KEZ_SLOT(HALFloatNegF32, HALFloatNegF32)
KEZ_SLOT(HALFloatSubF64, HALFloatSubF64)
KEZ_SLOT(HALFloatSubF32, HALFloatSubF32)
KEZ_SLOT(HALFloatU32ToF32, HALFloatU32ToF32)
KEZ_SLOT(HALFloatU32ToF64, HALFloatU32ToF64)
KEZ_SLOT(HALFloatU64ToF64, HALFloatU64ToF64)
KEZ_SLOT(HALFloatU64ToF32, HALFloatU64ToF32)

}  // namespace kez
