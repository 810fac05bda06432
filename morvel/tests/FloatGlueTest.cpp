// 68K floating-point traps against the real Kez float service: argument blocks read by the
// selector's descriptor, results in D0 or through the result pointer, compares and the status
// word, the library selectors against fake OS float calls, and the older Fpl traps. Expected
// values are the host's own double and single arithmetic.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemSlots.h"

namespace morvel::test {
namespace {

using vantor::os::Library;
namespace slot = vantor::sysslot;

constexpr uint32_t kResultSlot = 0x1000;  // marks the result pointer argument: `data`
constexpr uint32_t kValueSlot = 0x1001;   // marks a pointer to the 8 bytes at data+16

uint32_t Hi(double v) {
    return static_cast<uint32_t>(std::bit_cast<uint64_t>(v) >> 32);
}
uint32_t Lo(double v) {
    return static_cast<uint32_t>(std::bit_cast<uint64_t>(v));
}
uint32_t F(float v) {
    return std::bit_cast<uint32_t>(v);
}
uint64_t B(double v) {
    return std::bit_cast<uint64_t>(v);
}

class FloatGlueTest : public RealKezTest {
  protected:
    // The 68K code of a call of `trap` with D2 = selector (high word set, which the glue ignores)
    // and the 32-bit arguments `args` (first argument lowest); a 16-bit argument is given as
    // 0x10000 | value. With `value`, data+16 holds that double beforehand.
    static std::string CallCode(uint16_t trap, uint32_t selector, const std::vector<uint32_t>& args,
                                double value = 0) {
        std::string src;
        uint32_t bytes = 0;
        for (auto it = args.rbegin(); it != args.rend(); ++it) {
            char line[64];
            if (*it == kResultSlot)
                std::snprintf(line, sizeof line, " pea data(%%pc)\n");
            else if (*it == kValueSlot)
                std::snprintf(line, sizeof line, " pea data+16(%%pc)\n");
            else if (*it >> 16 == 1)
                std::snprintf(line, sizeof line, " move.w #0x%X,-(%%sp)\n", *it & 0xFFFF);
            else
                std::snprintf(line, sizeof line, " move.l #0x%X,-(%%sp)\n", *it);
            src += line;
            bytes += *it >> 16 == 1 ? 2 : 4;
        }
        char call[160];
        std::snprintf(call, sizeof call,
                      " lea data+16(%%pc),%%a1\n move.l #0x%X,(%%a1)+\n move.l #0x%X,(%%a1)\n"
                      " move.l #0x%X,%%d2\n trap #15\n .short 0x%X\n",
                      Hi(value), Lo(value), 0xABCD0000u | selector, trap);
        src = std::string(" move.l #0x5A5A5A5A,%a0\n") + src + call;
        if (bytes) src += " lea " + std::to_string(bytes) + "(%sp),%sp\n";
        return src;
    }
    // Runs one call (see CallCode); D3 gets D0, D4 gets A0.
    void Call(uint16_t trap, uint32_t selector, std::vector<uint32_t> args, double value = 0) {
        ASSERT_EQ(Run(CallCode(trap, selector, args, value) + " move.l %d0,%d3\n move.l %a0,%d4\n rts\n"), 0);
    }
    // What a call left: D0, A0 and the 8 bytes at `data` (cleared before the call).
    struct Outcome {
        uint32_t d0, a0;
        uint64_t stored;
    };
    // Runs the calls `codes` one after the other in one program, so that it is assembled once,
    // and answers what each one left.
    std::vector<Outcome> RunCalls(const std::vector<std::string>& codes) {
        std::string src;
        for (size_t i = 0; i < codes.size(); ++i)
            src += " lea data(%pc),%a1\n clr.l (%a1)+\n clr.l (%a1)\n" + codes[i] + " lea results+" +
                   std::to_string(16 * i) +
                   "(%pc),%a1\n move.l %d0,(%a1)+\n move.l %a0,(%a1)+\n move.l data(%pc),(%a1)+\n"
                   " move.l data+4(%pc),(%a1)\n";
        src += " rts\nresults:\n .space " + std::to_string(16 * codes.size()) + "\n";
        std::vector<Outcome> out;
        EXPECT_EQ(Run(src), 0);
        const uint8_t* results = Data() - 16 * codes.size();
        for (size_t i = 0; i < codes.size(); ++i) {
            const uint8_t* r = results + 16 * i;
            out.push_back({vantor::ReadBE32(r), vantor::ReadBE32(r + 4),
                           uint64_t{vantor::ReadBE32(r + 8)} << 32 | vantor::ReadBE32(r + 12)});
        }
        return out;
    }
    // Bytes that stay put between runs, for the pointers that arguments carry.
    uint8_t buf_[64] = {};
    uint32_t Buf(uint32_t offset) { return Addr(buf_ + offset); }
    uint32_t D0() { return ctx_.state.D[3]; }
    uint32_t A0() { return ctx_.state.D[4]; }
    uint64_t Stored() { return uint64_t{vantor::ReadBE32(Data())} << 32 | vantor::ReadBE32(Data() + 4); }
    void ExpectStored(double v) {
        EXPECT_EQ(Stored(), std::bit_cast<uint64_t>(v)) << std::bit_cast<double>(Stored()) << " != " << v;
        EXPECT_EQ(A0(), Addr(Data()));
    }
};

constexpr uint16_t kFlpEm = 0xA306, kFlp = 0xA305;

TEST_F(FloatGlueTest, StatusWordKeepsTheRoundingModeAndOtherBits) {
    ctx_.state.floatStatus = 0x0101;
    Call(kFlpEm, 0, {7});
    EXPECT_EQ(D0(), 3u);
    Call(kFlpEm, 1, {});
    EXPECT_EQ(D0(), 0x0131u);
    Call(kFlpEm, 0, {0x10});  // mode 0, the rest kept
    Call(kFlpEm, 1, {});
    EXPECT_EQ(D0(), 0x0101u);
    ctx_.state.D[0] = 0x11111111;
    Call(kFlpEm, 2, {0x00128765});
    EXPECT_EQ(ctx_.state.floatStatus, 0x8765);
    EXPECT_EQ(D0(), 0x11111111u);  // selector 2 sets no result
}

TEST_F(FloatGlueTest, DoubleArithmeticGoesThroughTheResultPointer) {
    Call(kFlpEm, 51, {kResultSlot, 0x3FF00000, 0, 0x40000000, 0});
    EXPECT_EQ(vantor::ReadBE32(Data()), 0x40080000u);
    EXPECT_EQ(vantor::ReadBE32(Data() + 4), 0u);
    EXPECT_EQ(A0(), Addr(Data()));

    const double a = 0.1, b = 3.7;
    Call(kFlpEm, 52, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)});
    ExpectStored(a * b);
    Call(kFlpEm, 53, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)});
    ExpectStored(a - b);
    Call(kFlpEm, 54, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)});
    ExpectStored(a / b);
    Call(kFlpEm, 50, {kResultSlot, Hi(a), Lo(a)});
    ExpectStored(-a);

    // A null result pointer is reported and nothing is stored.
    ctx_.state.A[0] = 0;
    Call(kFlpEm, 51, {0, Hi(a), Lo(a), Hi(b), Lo(b)});
    EXPECT_EQ(A0(), 0x5A5A5A5Au);
    auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Null value for dResultP"), std::string::npos) << reports[0];
}

TEST_F(FloatGlueTest, SingleArithmeticReturnsInD0) {
    const float a = 1.1f, b = -0.3f;
    struct Case {
        uint32_t selector;
        float expected;
    } cases[] = {{46, a + b}, {47, a * b}, {48, a - b}, {49, a / b}};
    for (const Case& c : cases) {
        Call(kFlpEm, c.selector, {F(a), F(b)});
        EXPECT_EQ(D0(), F(c.expected)) << c.selector;
    }
    Call(kFlpEm, 45, {F(a)});
    EXPECT_EQ(D0(), F(-a));
}

// Each conversion reaches the Kez operation its selector names: the argument widths, the signed
// or unsigned reading and the result's place all show in the answer.
TEST_F(FloatGlueTest, ConversionsByDescriptor) {
    // Where the result is: D0, a double through the result pointer (A0 names it), or a 64-bit
    // integer through the result pointer.
    enum Place { InD0, DoubleStored, IntStored };
    struct Step {
        uint32_t selector;
        std::vector<uint32_t> args;
        Place place;
        uint64_t expected;
        double value = 0;  // the double at data+16, for arguments by pointer
    } steps[] = {
        // To singles.
        {3, {0xFFFFFFFF}, InD0, F(4294967296.0f)},
        {4, {0xFFFFFFFF}, InD0, F(-1.0f)},
        {5, {0xFFFFFFFF, 0xFFFFFFFF}, InD0, F(0x1p64f)},
        {6, {0xFFFFFFFF, 0xFFFFFFFE}, InD0, F(-2.0f)},
        {12, {Hi(0.1), Lo(0.1)}, InD0, F(0.1f)},
        // To doubles.
        {7, {kResultSlot, 0xFFFFFFFF}, DoubleStored, B(4294967295.0)},
        {8, {kResultSlot, 0xFFFFFFFF}, DoubleStored, B(-1.0)},
        {9, {kResultSlot, 0x80000000, 0x00000401}, DoubleStored, B(0x1.0000000000001p+63)},
        {10, {kResultSlot, 0xFFFFFFFF, 0xFFFFFFFD}, DoubleStored, B(-3.0)},
        {11, {kResultSlot, F(0.1f)}, DoubleStored, B(static_cast<double>(0.1f))},
        {13, {kResultSlot, F(-0.75f)}, DoubleStored, B(-0.75)},
        {15, {kResultSlot, Hi(0.1), Lo(0.1)}, DoubleStored, B(0.1)},
        // The 64-bit value by pointer.
        {14, {kValueSlot}, InD0, F(1.0f + 0x1p-23f), 1.0 + 0x1p-24 + 0x1p-40},
        {16, {kResultSlot, kValueSlot}, DoubleStored, B(-2.5e300), -2.5e300},
        // To integers: 32-bit in D0, 64-bit through the result pointer.
        {17, {F(3e9f)}, InD0, 3000000000u},
        {18, {F(-7.9f)}, InD0, static_cast<uint32_t>(-7)},
        {18, {F(3e9f)}, InD0, 0x80000000u},
        {21, {Hi(3e9), Lo(3e9)}, InD0, 3000000000u},
        {21, {Hi(-1.0), Lo(-1.0)}, InD0, 0xFFFFFFFFu},
        {22, {Hi(-3e9), Lo(-3e9)}, InD0, 0x80000000u},
        {22, {Hi(std::nan("")), Lo(std::nan(""))}, InD0, 0x80000000u},
        {19, {kResultSlot, F(0x1.8p63f)}, IntStored, 0xC000000000000000u},
        {20, {kResultSlot, F(-0x1p40f)}, IntStored, static_cast<uint64_t>(-(int64_t{1} << 40))},
        {23, {kResultSlot, Hi(0x1p63 + 2048), Lo(0x1p63 + 2048)}, IntStored, 0x8000000000000800u},
        {24, {kResultSlot, Hi(-1e18), Lo(-1e18)}, IntStored,
         static_cast<uint64_t>(int64_t{-1000000000000000000})},
        {24, {kResultSlot, Hi(0x1p63), Lo(0x1p63)}, IntStored, 0x8000000000000000u},
    };
    std::vector<std::string> codes;
    for (const Step& s : steps) codes.push_back(CallCode(kFlpEm, s.selector, s.args, s.value));
    const std::vector<Outcome> out = RunCalls(codes);
    ASSERT_EQ(out.size(), std::size(steps));
    for (size_t i = 0; i < out.size(); ++i) {
        const Step& s = steps[i];
        if (s.place == InD0) {
            EXPECT_EQ(out[i].d0, s.expected) << s.selector;
            continue;
        }
        EXPECT_EQ(out[i].stored, s.expected) << s.selector;
        if (s.place == DoubleStored) {
            EXPECT_EQ(out[i].a0, Addr(Data())) << s.selector;
        }
    }
}

TEST_F(FloatGlueTest, ComparesAndPredicates) {
    const float nan32 = std::numeric_limits<float>::quiet_NaN();
    const double nan64 = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        float a, b;
        uint32_t cls;
    } cases[] = {{1.0f, 1.0f, 0}, {-0.0f, 0.0f, 0}, {1.0f, 2.0f, 1},
                 {2.0f, 1.0f, 2}, {nan32, 1.0f, 3}, {1.0f, nan32, 3}};
    // Predicates 2-9 of each class: eq, ne, lt, le, gt, ge, unordered, ordered.
    const uint32_t predicates[4][8] = {{1, 0, 0, 1, 0, 1, 0, 1},
                                       {0, 1, 1, 1, 0, 0, 0, 1},
                                       {0, 1, 0, 0, 1, 1, 0, 1},
                                       {0, 1, 0, 0, 0, 0, 1, 0}};
    // Every call runs in one program; each answers the D0 given (none: only its effect counts).
    // The status word is cleared (selector 2) and read back (selector 1) by the program itself.
    struct Step {
        std::string code;
        std::optional<uint32_t> d0;
        std::string what;
    };
    std::vector<Step> steps;
    const std::string clearStatus = CallCode(kFlpEm, 2, {0}), readStatus = CallCode(kFlpEm, 1, {});
    for (const Case& c : cases) {
        char name[48];
        std::snprintf(name, sizeof name, "%g %g: ", c.a, c.b);
        const double a = c.a, b = c.b;
        const std::vector<uint32_t> singles{F(c.a), F(c.b)}, doubles{Hi(a), Lo(a), Hi(b), Lo(b)};
        const uint32_t invalid = c.cls == 3 ? 0x8000 : 0;
        steps.push_back({clearStatus, {}, ""});
        steps.push_back({CallCode(kFlpEm, 25, singles), c.cls, std::string(name) + "single compare"});
        steps.push_back({CallCode(kFlpEm, 35, doubles), c.cls, std::string(name) + "double compare"});
        steps.push_back({readStatus, 0, std::string(name) + "status after the quiet compares"});
        steps.push_back({CallCode(kFlpEm, 26, singles), {}, ""});
        steps.push_back({readStatus, invalid, std::string(name) + "status after the signalling single compare"});
        steps.push_back({clearStatus, {}, ""});
        steps.push_back({CallCode(kFlpEm, 36, doubles), {}, ""});
        steps.push_back({readStatus, invalid, std::string(name) + "status after the signalling double compare"});
        for (uint32_t p = 0; p < 8; ++p) {
            steps.push_back({CallCode(kFlpEm, 27 + p, singles), predicates[c.cls][p],
                             std::string(name) + "single predicate " + std::to_string(p)});
            steps.push_back({CallCode(kFlpEm, 37 + p, doubles), predicates[c.cls][p],
                             std::string(name) + "double predicate " + std::to_string(p)});
        }
    }
    // A double NaN whose fraction bits lie only in the low word; infinities are equal.
    steps.push_back({CallCode(kFlpEm, 35, {0x7FF00000, 1, Hi(1.0), Lo(1.0)}), 3, "low-word NaN"});
    steps.push_back({CallCode(kFlpEm, 35, {Hi(nan64), Lo(nan64), 0x7FF00000, 0}), 3, "NaN and infinity"});
    steps.push_back({CallCode(kFlpEm, 35, {0x7FF00000, 0, 0x7FF00000, 0}), 0, "infinities"});

    std::vector<std::string> codes;
    for (const Step& s : steps) codes.push_back(s.code);
    const std::vector<Outcome> out = RunCalls(codes);
    ASSERT_EQ(out.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!steps[i].d0) continue;
        EXPECT_EQ(out[i].d0, *steps[i].d0) << steps[i].what;
    }
}

double FakeAToF(const char* text) {
    return std::strtod(text, nullptr);
}
uint16_t FakeFToA(double value, char* buffer) {
    std::snprintf(buffer, 32, "%g", value);
    return value < 0 ? 0x8A02 : 0;
}
uint16_t FakeBase10(double value, uint32_t* mantissa, int16_t* exponent, int16_t* sign) {
    *mantissa = 12345678;
    *exponent = -7;
    *sign = value < 0;
    return std::isnan(value) ? 0x0A01 : 0;
}
double FakeCorrectedAdd(double a, double b, int16_t accuracy) {
    return a + b + accuracy;
}
double FakeCorrectedSub(double a, double b, int16_t accuracy) {
    return a - b - accuracy;
}

class FlpDispatchTest : public FloatGlueTest {
  protected:
    void SetUp() override {
        FloatGlueTest::SetUp();
        auto install = [](uint16_t s, auto fn) {
            vantor::os::InstallEntry(Library::System, s, reinterpret_cast<vantor::ModuleProc>(fn));
        };
        install(slot::FlpSel0, &FakeBase10);
        install(slot::FlpSel1, &FakeFToA);
        install(slot::FlpSel2, &FakeAToF);
        install(slot::FlpSel3, &FakeCorrectedAdd);
        install(slot::FlpSel4, &FakeCorrectedSub);
    }
};

TEST_F(FlpDispatchTest, LibrarySelectorsCallTheOsFloatCalls) {
    Call(kFlp, 5, {});
    EXPECT_EQ(D0(), 0x02008000u);

    // Base-10 decomposition: three big-endian values through the pointers, when it succeeds.
    Call(kFlp, 0, {Hi(-2.5), Lo(-2.5), Buf(32), Buf(36), Buf(38)});
    EXPECT_EQ(D0(), 0u);
    EXPECT_EQ(vantor::ReadBE32(buf_ + 32), 12345678u);
    EXPECT_EQ(vantor::ReadBE16(buf_ + 36), 0xFFF9);
    EXPECT_EQ(vantor::ReadBE16(buf_ + 38), 1);
    std::memset(buf_ + 32, 0, 8);
    const double nan = std::nan("");
    Call(kFlp, 0, {Hi(nan), Lo(nan), Buf(32), Buf(36), Buf(38)});
    EXPECT_EQ(D0(), 0x0A01u);
    EXPECT_EQ(vantor::ReadBE32(buf_ + 32), 0u);

    // Text conversions; the 16-bit error is sign-extended into D0.
    Call(kFlp, 1, {Hi(-0.125), Lo(-0.125), Buf(0)});
    EXPECT_STREQ(reinterpret_cast<const char*>(buf_), "-0.125");
    EXPECT_EQ(D0(), 0xFFFF8A02u);
    std::memcpy(buf_, "6.25e-3", 8);
    Call(kFlp, 2, {kResultSlot, Buf(0)});
    ExpectStored(6.25e-3);

    // Corrected add and subtract with a 16-bit accuracy after the two doubles.
    Call(kFlp, 3, {kResultSlot, Hi(1.5), Lo(1.5), Hi(0.25), Lo(0.25), 0x10000 | 2});
    ExpectStored(3.75);
    Call(kFlp, 4, {kResultSlot, Hi(1.5), Lo(1.5), Hi(0.25), Lo(0.25), 0x10000 | 0xFFFF});
    ExpectStored(2.25);
}

TEST_F(FlpDispatchTest, InvalidSelectorsAreReportedAndDoNothing) {
    ctx_.state.D[0] = 0x77;
    Call(kFlp, 6, {kResultSlot});
    Call(kFlpEm, 55, {kResultSlot, 0, 0, 0, 0});
    EXPECT_EQ(D0(), 0x77u);
    EXPECT_EQ(Stored(), 0u);
    auto reports = Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("Invalid FlpDispatch request"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("Invalid FlpEmDispatch request"), std::string::npos) << reports[1];
}

TEST_F(FlpDispatchTest, FplTrapsUseTheDispatchersArgumentBlocks) {
    // All in one program, in order: the text FplFToA writes is the one FplAToF reads.
    enum Place { Nothing, InD0, DoubleStored };
    const double a = 7.0, b = 0.5;
    struct Step {
        uint16_t trap;
        std::vector<uint32_t> args;
        Place place;
        uint64_t expected;
    } steps[] = {
        {0xA0DF, {}, InD0, 0},                                                   // FplInit
        {0xA0E0, {}, Nothing, 0},                                                // FplFree
        {0xA0E4, {kResultSlot, 0xFFFFFFFF}, DoubleStored, B(4294967295.0)},      // FplLongToFloat: unsigned
        {0xA0E5, {Hi(-9.99), Lo(-9.99)}, InD0, static_cast<uint32_t>(-9)},       // FplFloatToLong
        {0xA0E6, {Hi(4e9), Lo(4e9)}, InD0, 4000000000u},                         // FplFloatToULong
        {0xA0E7, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)}, DoubleStored, B(a * b)},
        {0xA0E8, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)}, DoubleStored, B(a + b)},
        {0xA0E9, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)}, DoubleStored, B(a - b)},
        {0xA0EA, {kResultSlot, Hi(a), Lo(a), Hi(b), Lo(b)}, DoubleStored, B(a / b)},
        {0xA0E1, {Hi(0.5), Lo(0.5), Buf(0)}, Nothing, 0},                        // FplFToA
        {0xA0E2, {kResultSlot, Buf(0)}, DoubleStored, B(0.5)},                   // FplAToF
        {0xA0E3, {Hi(1.0), Lo(1.0), Buf(32), Buf(36), Buf(38)}, Nothing, 0},     // FplBase10Info
    };
    std::vector<std::string> codes;
    for (const Step& s : steps) codes.push_back(CallCode(s.trap, 0, s.args));
    ctx_.state.D[0] = 0x77;
    const std::vector<Outcome> out = RunCalls(codes);
    ASSERT_EQ(out.size(), std::size(steps));
    for (size_t i = 0; i < out.size(); ++i) {
        const Step& s = steps[i];
        if (s.place == InD0) {
            EXPECT_EQ(out[i].d0, s.expected) << std::hex << s.trap;
        } else if (s.place == DoubleStored) {
            EXPECT_EQ(out[i].stored, s.expected) << std::hex << s.trap;
            EXPECT_EQ(out[i].a0, Addr(Data())) << std::hex << s.trap;
        }
    }
    EXPECT_STREQ(reinterpret_cast<const char*>(buf_), "0.5");
    EXPECT_EQ(vantor::ReadBE32(buf_ + 32), 12345678u);
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace morvel::test
