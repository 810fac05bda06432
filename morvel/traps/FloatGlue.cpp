#include "morvel/traps/FloatGlue.h"

#include <bit>
#include <cstdint>
#include <iterator>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
namespace kezsig = vantor::kezsig;
namespace kezslot = vantor::kezslot;

// Descriptor byte of a selector: how the common code reads its arguments and returns its result.
constexpr uint8_t kArgCount = 0x07;     // arguments read here; above 2 the selector reads the rest
constexpr uint8_t kSecondWide = 0x08;   // the second argument is 64 bits
constexpr uint8_t kFirstWide = 0x10;    // the first argument is 64 bits
constexpr uint8_t kFirstByPtr = 0x20;   // ... read through a pointer
constexpr uint8_t kResult16 = 0x40;     // D0 gets a sign-extended 16-bit result
constexpr uint8_t kResultPtr = 0x80;    // a 64-bit result goes through the caller's result pointer

constexpr uint8_t kFlpEmDescriptors[55] = {
    0x01, 0x00, 0x01, 0x01, 0x01, 0x11, 0x11, 0x81, 0x81, 0x91, 0x91, 0x81, 0x11, 0x81,
    0x31, 0x91, 0xB1, 0x01, 0x01, 0x81, 0x81, 0x11, 0x11, 0x91, 0x91, 0x02, 0x02, 0x02,
    0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A,
    0x1A, 0x1A, 0x1A, 0x01, 0x02, 0x02, 0x02, 0x02, 0x91, 0x9A, 0x9A, 0x9A, 0x9A};
constexpr uint8_t kFlpDescriptors[6] = {0x54, 0x52, 0x81, 0x9B, 0x9B, 0x00};

constexpr uint32_t kFlpVersion = 0x02008000;
constexpr uint16_t kStatusModeShift = 4;
constexpr uint16_t kStatusModeMask = 3 << kStatusModeShift;
constexpr uint16_t kStatusUnordered = 0x8000;

// Compare classes.
constexpr uint32_t kEqual = 0, kLess = 1, kGreater = 2, kUnordered = 3;

// The arguments as the common code read them, and the result the selector hands back.
struct FlpCall {
    EmulState* s;
    uint32_t resultP = 0;
    uint64_t a = 0, b = 0;  // 32-bit arguments in the low word
    uint32_t next = 0;      // offset of the first argument the selector reads itself
    uint64_t result = 0;
    bool hasResult = true;
};

double F64(uint64_t bits) { return std::bit_cast<double>(bits); }
float F32(uint64_t bits) { return std::bit_cast<float>(static_cast<uint32_t>(bits)); }
uint64_t Bits(double value) { return std::bit_cast<uint64_t>(value); }
uint64_t Bits(float value) { return std::bit_cast<uint32_t>(value); }

template <typename Sig, typename... Args>
auto Kez(uint16_t slotNumber, Args... args) {
    return KezImport().Call<Sig>(slotNumber, args...);
}
#define KEZ(name, ...) Kez<kezsig::name>(kezslot::name __VA_OPT__(, ) __VA_ARGS__)

bool IsNaN32(uint64_t v) { return (v & 0x7F800000u) == 0x7F800000u && (v & 0x007FFFFFu) != 0; }
bool IsNaN64(uint64_t v) {
    return (v & 0x7FF0000000000000u) == 0x7FF0000000000000u && (v & 0x000FFFFFFFFFFFFFu) != 0;
}

uint32_t Compare32(uint64_t a, uint64_t b) {
    if (IsNaN32(a) || IsNaN32(b)) return kUnordered;
    if (KEZ(HALFloatEqF32, F32(a), F32(b))) return kEqual;
    return KEZ(HALFloatLtF32, F32(a), F32(b)) ? kLess : kGreater;
}
uint32_t Compare64(uint64_t a, uint64_t b) {
    if (IsNaN64(a) || IsNaN64(b)) return kUnordered;
    if (KEZ(HALFloatEqF64, F64(a), F64(b))) return kEqual;
    return KEZ(HALFloatLtF64, F64(a), F64(b)) ? kLess : kGreater;
}

// Compare operations 0-9 of a class: the class itself, the class with the unordered flag set in
// the status word, then the eight predicates.
uint64_t CompareOp(EmulState* s, uint32_t op, uint32_t c) {
    switch (op) {
    case 0: return c;
    case 1:
        if (c == kUnordered) s->floatStatus |= kStatusUnordered;
        return c;
    case 2: return c == kEqual;
    case 3: return c != kEqual;
    case 4: return c == kLess;
    case 5: return c == kEqual || c == kLess;
    case 6: return c == kGreater;
    case 7: return c == kEqual || c == kGreater;
    case 8: return c == kUnordered;
    default: return c != kUnordered;
    }
}

void FlpEmOperation(uint32_t selector, FlpCall& c) {
    EmulState* s = c.s;
    const uint64_t a = c.a, b = c.b;
    const auto a32 = static_cast<uint32_t>(a);
    uint64_t& r = c.result;
    switch (selector) {
    case 0:
        s->floatStatus = static_cast<uint16_t>((s->floatStatus & ~kStatusModeMask) | ((a & 3) << kStatusModeShift));
        r = a & 3;
        break;
    case 1: r = s->floatStatus; break;
    case 2:
        s->floatStatus = static_cast<uint16_t>(a);
        c.hasResult = false;
        break;
    case 3: r = Bits(KEZ(HALFloatU32ToF32, a32)); break;
    case 4: r = Bits(KEZ(HALFloatI32ToF32, static_cast<int32_t>(a32))); break;
    case 5: r = Bits(KEZ(HALFloatU64ToF32, a)); break;
    case 6: r = Bits(KEZ(HALFloatI64ToF32, static_cast<int64_t>(a))); break;
    case 7: r = Bits(KEZ(HALFloatU32ToF64, a32)); break;
    case 8: r = Bits(KEZ(HALFloatI32ToF64, static_cast<int32_t>(a32))); break;
    case 9: r = Bits(KEZ(HALFloatU64ToF64, a)); break;
    case 10: r = Bits(KEZ(HALFloatI64ToF64, static_cast<int64_t>(a))); break;
    case 11: r = Bits(KEZ(HALFloatF32ToF64, F32(a))); break;
    case 12: r = Bits(KEZ(HALFloatF64ToF32, F64(a))); break;
    // The 64-bit result record holds a double: the single is widened, which is exact.
    case 13: r = Bits(static_cast<double>(KEZ(HALFloatF32ToF32, F32(a)))); break;
    case 14: r = Bits(KEZ(HALFloatExtToF32, static_cast<long double>(F64(a)))); break;
    case 15: r = Bits(KEZ(HALFloatF64ToF64, F64(a))); break;
    case 16: r = Bits(KEZ(HALFloatExtToF64, static_cast<long double>(F64(a)))); break;
    case 17: r = KEZ(HALFloatF32ToU32, F32(a)); break;
    case 18: r = static_cast<uint32_t>(KEZ(HALFloatF32ToI32, F32(a))); break;
    case 19: r = KEZ(HALFloatF32ToU64, F32(a)); break;
    case 20: r = static_cast<uint64_t>(KEZ(HALFloatF32ToI64, F32(a))); break;
    case 21: r = KEZ(HALFloatF64ToU32, F64(a)); break;
    case 22: r = static_cast<uint32_t>(KEZ(HALFloatF64ToI32, F64(a))); break;
    case 23: r = KEZ(HALFloatF64ToU64, F64(a)); break;
    case 24: r = static_cast<uint64_t>(KEZ(HALFloatF64ToI64, F64(a))); break;
    case 45: r = Bits(KEZ(HALFloatNegF32, F32(a))); break;
    case 46: r = Bits(KEZ(HALFloatAddF32, F32(a), F32(b))); break;
    case 47: r = Bits(KEZ(HALFloatMulF32, F32(a), F32(b))); break;
    case 48: r = Bits(KEZ(HALFloatSubF32, F32(a), F32(b))); break;
    case 49: r = Bits(KEZ(HALFloatDivF32, F32(a), F32(b))); break;
    case 50: r = Bits(KEZ(HALFloatNegF64, F64(a))); break;
    case 51: r = Bits(KEZ(HALFloatAddF64, F64(a), F64(b))); break;
    case 52: r = Bits(KEZ(HALFloatMulF64, F64(a), F64(b))); break;
    case 53: r = Bits(KEZ(HALFloatSubF64, F64(a), F64(b))); break;
    case 54: r = Bits(KEZ(HALFloatDivF64, F64(a), F64(b))); break;
    default:
        if (selector >= 25 && selector <= 34) r = CompareOp(s, selector - 25, Compare32(a, b));
        else r = CompareOp(s, selector - 35, Compare64(a, b));
        break;
    }
}

void WriteBE64(uint32_t p, uint64_t value) {
    Write68KUInt32(p, 0, static_cast<uint32_t>(value >> 32));
    Write68KUInt32(p, 4, static_cast<uint32_t>(value));
}

void FlpOperation(uint32_t selector, FlpCall& c) {
    EmulState* s = c.s;
    switch (selector) {
    case 0: {  // (double, mantissa pointer, exponent pointer, sign pointer)
        const uint32_t mantissaP = static_cast<uint32_t>(c.b);
        const uint32_t exponentP = GetArgPtr(s, c.next), signP = GetArgPtr(s, c.next + 4);
        uint32_t mantissa = 0;
        int16_t exponent = 0, sign = 0;
        const uint16_t err = SysCall<uint16_t(double, uint32_t*, int16_t*, int16_t*)>(
            slot::FlpSel0, F64(c.a), &mantissa, &exponent, &sign);
        if (err == 0) {
            if (mantissaP) Write68KUInt32(mantissaP, 0, mantissa);
            if (exponentP) Write68KUInt16(exponentP, 0, static_cast<uint16_t>(exponent));
            if (signP) Write68KUInt16(signP, 0, static_cast<uint16_t>(sign));
        }
        c.result = err;
        break;
    }
    case 1:
        c.result = SysCall<uint16_t(double, char*)>(slot::FlpSel1, F64(c.a), Str(static_cast<uint32_t>(c.b)));
        break;
    case 2: c.result = Bits(SysCall<double(const char*)>(slot::FlpSel2, Str(static_cast<uint32_t>(c.a)))); break;
    case 3:
    case 4: {
        const auto accuracy = static_cast<int16_t>(GetArgUInt16(s, c.next));
        c.result = Bits(SysCall<double(double, double, int16_t)>(selector == 3 ? slot::FlpSel3 : slot::FlpSel4,
                                                                 F64(c.a), F64(c.b), accuracy));
        break;
    }
    default: c.result = kFlpVersion; break;
    }
}

// Reads a 32- or 64-bit argument at `offset` and moves `offset` past it.
uint64_t ReadArg(const EmulState* s, uint32_t& offset, bool wide, bool byPointer) {
    const uint32_t first = GetArgUInt32(s, offset);
    offset += 4;
    if (!wide) return first;
    if (byPointer) {  // a null pointer reads as zero rather than faulting
        if (!first) return 0;
        return (uint64_t{Read68KUInt32(first, 0)} << 32) | Read68KUInt32(first, 4);
    }
    const uint32_t second = GetArgUInt32(s, offset);
    offset += 4;
    return (uint64_t{first} << 32) | second;
}

using Operation = void (*)(uint32_t selector, FlpCall& call);

// The common path of both dispatchers: arguments by the selector's descriptor, the operation,
// then the result in D0 or through the result pointer (A0 = that pointer).
void FlpRun(EmulState* s, uint32_t selector, uint8_t descriptor, Operation operation) {
    FlpCall c{s};
    uint32_t offset = 0;
    if (descriptor & kResultPtr) {
        c.resultP = GetArgPtr(s, offset);
        offset += 4;
    }
    const uint32_t count = descriptor & kArgCount;
    if (count != 0) c.a = ReadArg(s, offset, descriptor & kFirstWide, descriptor & kFirstByPtr);
    if (count > 1) c.b = ReadArg(s, offset, descriptor & kSecondWide, false);
    c.next = offset;
    operation(selector, c);
    if (!c.hasResult) return;
    if (descriptor & kResultPtr) {
        if (!c.resultP) {
            ErrDisplayFileLineMsg("Float68K", 118, "Null value for dResultP");
            return;
        }
        WriteBE64(c.resultP, c.result);
        SetResultA0(s, c.resultP);
    } else if (descriptor & kResult16) {
        SetResultD0UInt32(s, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(c.result))));
    } else {
        SetResultD0UInt32(s, static_cast<uint32_t>(c.result));
    }
}

void FlpEmRun(EmulState* s, uint32_t selector) {
    if (selector >= std::size(kFlpEmDescriptors)) {
        ErrDisplayFileLineMsg("Float68K", 241, "Invalid FlpEmDispatch request");
        return;
    }
    FlpRun(s, selector, kFlpEmDescriptors[selector], FlpEmOperation);
}
void FlpRunLibrary(EmulState* s, uint32_t selector) {
    if (selector >= std::size(kFlpDescriptors)) {
        ErrDisplayFileLineMsg("Float68K", 322, "Invalid FlpDispatch request");
        return;
    }
    FlpRun(s, selector, kFlpDescriptors[selector], FlpOperation);
}

void TrapFlpEmDispatch(EmulState* s, uint16_t) { FlpEmRun(s, s->D[2] & 0xFFFF); }
void TrapFlpDispatch(EmulState* s, uint16_t) { FlpRunLibrary(s, s->D[2] & 0xFFFF); }

// The older Fpl traps take the argument block of a dispatcher selector.
template <uint32_t kSelector>
void TrapFplEm(EmulState* s, uint16_t) {
    FlpEmRun(s, kSelector);
}
template <uint32_t kSelector>
void TrapFpl(EmulState* s, uint16_t) {
    FlpRunLibrary(s, kSelector);
}
void TrapFplInit(EmulState* s, uint16_t) { SetResultD0UInt32(s, 0); }
void TrapFplFree(EmulState*, uint16_t) {}

}  // namespace

void FloatGlueInstall(TrapHandler* t) {
    t[0x306] = TrapFlpEmDispatch;
    t[0x305] = TrapFlpDispatch;
    t[0x0DF] = TrapFplInit;
    t[0x0E0] = TrapFplFree;
    t[0x0E1] = TrapFpl<1>;
    t[0x0E2] = TrapFpl<2>;
    t[0x0E3] = TrapFpl<0>;
    t[0x0E4] = TrapFplEm<7>;
    t[0x0E5] = TrapFplEm<22>;
    t[0x0E6] = TrapFplEm<21>;
    t[0x0E7] = TrapFplEm<52>;
    t[0x0E8] = TrapFplEm<51>;
    t[0x0E9] = TrapFplEm<53>;
    t[0x0EA] = TrapFplEm<54>;
}

}  // namespace morvel
