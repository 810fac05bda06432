// The 68K interpreter.
//
// The whole loop is one function: every handler is a label in MorvelMainLoop, and each handler
// ends by fetching the next opcode word and jumping through a 65536-entry table of label
// addresses, built at first use by decoding every opcode word once. Handlers are written as
// always-inlined templates over the operand size, the operation and the kind of effective address,
// so the common forms need no decoding at run time; rarer addressing modes share one handler per
// operation that decodes the mode field.
//
// While a run is in progress the registers live in a local array of the loop, PC in a local and
// the condition codes in three working registers: the last result (N and Z), V and C together,
// and X; most instructions set them with two or three stores, and SR is composed only when read. Registers, PC, SR and the opcode are written back to the
// EmulState whenever the loop leaves for native code (trap, nub, report) and reloaded afterwards,
// so native code may change any of them; a run that ends writes them back as well.
//
// The trace bits cost nothing while they are clear: when SR has one set, dispatch goes through a
// second table whose every entry leads to the trace step, which then runs the instruction through
// the first.
#include "morvel/cpu/MorvelCpu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "morvel/cpu/HostAddress.h"
#include "morvel/cpu/MorvelJit.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapDispatch.h"

#define MORVEL_INLINE inline __attribute__((always_inline))
// Lambdas inside handlers are inlined as the handlers are: one left as a call would take the
// address of the loop's working state, which then lives in memory for the whole loop.
#define MORVEL_LAMBDA __attribute__((always_inline))

// Straight-line vectorisation packs the condition-code stores of a handler into vector registers,
// which makes the allocator keep the loop's PC and flags in memory: everything in the loop is
// slower for it.
#pragma GCC optimize("no-tree-slp-vectorize")

namespace morvel {

namespace {

NubEntry gNubEntry = nullptr;

// ---- memory: 68K addresses are native addresses, data is big-endian ----

MORVEL_INLINE uint32_t Rd8(uint32_t a) { return *Mem(a); }
MORVEL_INLINE uint32_t Rd16(uint32_t a) {
    uint16_t v;
    std::memcpy(&v, Mem(a), 2);
    return __builtin_bswap16(v);
}
MORVEL_INLINE uint32_t Rd32(uint32_t a) {
    uint32_t v;
    std::memcpy(&v, Mem(a), 4);
    return __builtin_bswap32(v);
}
MORVEL_INLINE void Wr8(uint32_t a, uint32_t v) { *Mem(a) = static_cast<uint8_t>(v); }
MORVEL_INLINE void Wr16(uint32_t a, uint32_t v) {
    uint16_t w = __builtin_bswap16(static_cast<uint16_t>(v));
    std::memcpy(Mem(a), &w, 2);
}
MORVEL_INLINE void Wr32(uint32_t a, uint32_t v) {
    uint32_t w = __builtin_bswap32(v);
    std::memcpy(Mem(a), &w, 4);
}

template <int B>
constexpr uint32_t kMask = B == 1 ? 0xFFu : B == 2 ? 0xFFFFu : 0xFFFFFFFFu;
template <int B>
constexpr uint32_t kMsb = B == 1 ? 0x80u : B == 2 ? 0x8000u : 0x80000000u;

template <int B>
MORVEL_INLINE uint32_t Sext(uint32_t v) {
    if constexpr (B == 1) return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v)));
    if constexpr (B == 2) return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
    return v;
}
template <int B>
MORVEL_INLINE uint32_t RdM(uint32_t a) {
    if constexpr (B == 1) return Rd8(a);
    if constexpr (B == 2) return Rd16(a);
    return Rd32(a);
}
template <int B>
MORVEL_INLINE void WrM(uint32_t a, uint32_t v) {
    if constexpr (B == 1) Wr8(a, v);
    if constexpr (B == 2) Wr16(a, v);
    if constexpr (B == 4) Wr32(a, v);
}

// ---- working state of one run ----

// Never leaves the loop's frame: handlers are inlined, native calls get the EmulState.
struct Cpu {
    uint32_t* R;  // D0-D7, A0-A7: the loop's local copy
    uint32_t pc;
    // N and Z share one register: the last result shifted so that its sign is bit 31, 0 when Z
    // is set. The one pair it cannot hold, N and Z both set (written to the CCR, or left by a
    // flag write that changes only one of them), is held by bit 3 of vc beside a result of 0.
    uint32_t res;
    uint32_t vc;  // C in bit 0, V in bit 1 and N, where res cannot hold it, in bit 3: the CCR's places
    uint32_t x;
    uint32_t srHigh;  // SR bits other than the condition codes
    EmulState* s;
};

// What the loop does after a handler.
enum Flow {
    kNext,     // the next instruction
    kReload,   // state came back from native code: look at the trace bits again
    kNoTrace,  // as kReload, but the next instruction runs without the trace step
    kStop,     // the return marker was reached
    kBranch,   // control moved: translated code may take over from the new PC
};
// What a taken branch, call or return leads to: without the translator, simply the next
// instruction.
#ifdef MORVEL_JIT
constexpr Flow kMoved = kBranch;
#else
constexpr Flow kMoved = kNext;
#endif

// The opcode word as it lies in memory (byte-swapped on this little-endian host): the dispatch
// table is indexed by it, so dispatch needs no swap; handlers get the swapped word, whose field
// extractions the compiler folds into shifts of the stored one.
MORVEL_INLINE uint32_t FetchRaw(Cpu& c) {
    uint16_t w;
    std::memcpy(&w, Mem(c.pc), 2);
    c.pc += 2;
    return w;
}
MORVEL_INLINE uint32_t Swap16(uint32_t raw) { return __builtin_bswap16(static_cast<uint16_t>(raw)); }
MORVEL_INLINE uint32_t Fetch16(Cpu& c) {
    uint32_t w = Rd16(c.pc);
    c.pc += 2;
    return w;
}
MORVEL_INLINE uint32_t Fetch32(Cpu& c) {
    uint32_t w = Rd32(c.pc);
    c.pc += 4;
    return w;
}

MORVEL_INLINE uint32_t FlagN(const Cpu& c) { return (c.res >> 31) | ((c.vc >> 3) & 1); }
MORVEL_INLINE uint32_t FlagV(const Cpu& c) { return (c.vc >> 1) & 1; }
MORVEL_INLINE uint32_t FlagC(const Cpu& c) { return c.vc & 1; }
// Sets N and Z as given; V and C are kept.
MORVEL_INLINE void SetFlagsNZ(Cpu& c, bool n, bool z) {
    c.res = z ? 0 : n ? 0x80000000u : 1;
    c.vc = (c.vc & (kSrV | kSrC)) | (n && z ? kSrN : 0);
}
MORVEL_INLINE void SetVC(Cpu& c, uint32_t v, uint32_t carry) { c.vc = carry | v << 1; }
MORVEL_INLINE uint32_t Ccr(const Cpu& c) {
    return c.x << 4 | FlagN(c) << 3 | (c.res ? 0 : kSrZ) | (c.vc & (kSrV | kSrC));
}
MORVEL_INLINE void SetCcr(Cpu& c, uint32_t ccr) {
    c.vc = ccr & (kSrV | kSrC);
    SetFlagsNZ(c, ccr & kSrN, ccr & kSrZ);
    c.x = (ccr >> 4) & 1;
}

// Leaves for native code: the record gets the registers, PC, SR and the opcode.
MORVEL_INLINE void Save(Cpu& c, uint32_t op) {
    std::memcpy(c.s->D, c.R, sizeof c.s->D);
    std::memcpy(c.s->A, c.R + 8, sizeof c.s->A);
    c.s->PC = c.pc;
    c.s->SR = c.srHigh | Ccr(c);
    c.s->opcode = op;
}
MORVEL_INLINE void Load(Cpu& c) {
    std::memcpy(c.R, c.s->D, sizeof c.s->D);
    std::memcpy(c.R + 8, c.s->A, sizeof c.s->A);
    c.pc = c.s->PC;
    c.srHigh = c.s->SR & ~kSrCcr;
    SetCcr(c, c.s->SR);
}

template <int B>
MORVEL_INLINE void SetNZ(Cpu& c, uint32_t r) {
    c.res = r << (32 - 8 * B);
}
// N and Z of ADDX, SUBX, NEGX and the decimal operations: Z is only cleared, never set. V is set
// by the same operation.
template <int B>
MORVEL_INLINE void SetNZKeepZ(Cpu& c, uint32_t r) {
    c.res = r ? r << (32 - 8 * B) : (c.res != 0);
}
template <int B>
MORVEL_INLINE void SetLogic(Cpu& c, uint32_t r) {
    SetNZ<B>(c, r);
    c.vc = 0;
}

// ---- reports: each ends the innermost run through the chain ----

[[noreturn]] __attribute__((noinline, cold)) void ReportAndEnd(EmulState* s, uint16_t value, uint16_t line,
                                                               const char* fmt, uint32_t a, uint32_t b,
                                                               int nargs) {
    char text[100];
    if (nargs == 2)
        std::snprintf(text, sizeof text, fmt, static_cast<unsigned short>(a), static_cast<unsigned long>(b));
    else
        std::snprintf(text, sizeof text, fmt, static_cast<unsigned long>(a));
    ErrDisplayFileLineMsg("MorvelMain", line, text);
    MorvelEndRun(s, value);
}
[[noreturn]] MORVEL_INLINE void Report(Cpu& c, uint32_t op, uint16_t value, uint16_t line, const char* fmt,
                                       uint32_t a, uint32_t b, int nargs) {
    Save(c, op);
    ReportAndEnd(c.s, value, line, fmt, a, b, nargs);
}
[[noreturn]] MORVEL_INLINE void Unimplemented(Cpu& c, uint32_t op) {
    Report(c, op, kRunUnimplemented, 420, "unimplemented instruction %hx at address %lx", op, c.pc - 2, 2);
}
[[noreturn]] MORVEL_INLINE void DivideByZero(Cpu& c, uint32_t op) {
    Report(c, op, kRunDivideByZero, 108, "divide by zero at address %lx", c.pc - 2, 0, 1);
}

// ---- effective addresses ----

// Kinds of effective address; handlers are specialised on them. kEAny decodes the mode at run time.
enum : int {
    kEDn, kEAn, kEInd, kEPost, kEPre, kED16, kEIdx, kEAbsW, kEAbsL, kEPcD16, kEPcIdx, kEImm, kEAny,
};
constexpr int EaKind(uint32_t mode, uint32_t reg) { return mode < 7 ? static_cast<int>(mode) : static_cast<int>(7 + reg); }

MORVEL_INLINE uint32_t Indexed(Cpu& c, uint32_t base) {
    uint32_t ext = Fetch16(c);
    uint32_t idx = c.R[ext >> 12];
    if (!(ext & 0x800)) idx = Sext<2>(idx);
    return base + Sext<1>(ext) + idx;
}

// Address of a memory operand (kinds kEInd to kEImm); (An)+ and -(An) update An. The immediate
// kind yields the address of the operand inside the instruction stream.
template <int B, int E>
MORVEL_INLINE uint32_t EaAddr(Cpu& c, uint32_t mode, uint32_t reg) {
    if constexpr (E == kEAny) {
        switch (EaKind(mode, reg)) {
            case kEInd: return EaAddr<B, kEInd>(c, mode, reg);
            case kEPost: return EaAddr<B, kEPost>(c, mode, reg);
            case kEPre: return EaAddr<B, kEPre>(c, mode, reg);
            case kED16: return EaAddr<B, kED16>(c, mode, reg);
            case kEIdx: return EaAddr<B, kEIdx>(c, mode, reg);
            case kEAbsW: return EaAddr<B, kEAbsW>(c, mode, reg);
            case kEAbsL: return EaAddr<B, kEAbsL>(c, mode, reg);
            case kEPcD16: return EaAddr<B, kEPcD16>(c, mode, reg);
            case kEPcIdx: return EaAddr<B, kEPcIdx>(c, mode, reg);
            default: return EaAddr<B, kEImm>(c, mode, reg);
        }
    } else if constexpr (E == kEInd) {
        return c.R[8 + reg];
    } else if constexpr (E == kEPost) {
        uint32_t a = c.R[8 + reg];
        c.R[8 + reg] = a + ((B == 1 && reg == 7) ? 2 : B);
        return a;
    } else if constexpr (E == kEPre) {
        uint32_t a = c.R[8 + reg] - ((B == 1 && reg == 7) ? 2 : B);
        c.R[8 + reg] = a;
        return a;
    } else if constexpr (E == kED16) {
        uint32_t base = c.R[8 + reg];
        return base + Sext<2>(Fetch16(c));
    } else if constexpr (E == kEIdx) {
        return Indexed(c, c.R[8 + reg]);
    } else if constexpr (E == kEAbsW) {
        return Sext<2>(Fetch16(c));
    } else if constexpr (E == kEAbsL) {
        return Fetch32(c);
    } else if constexpr (E == kEPcD16) {
        uint32_t base = c.pc;
        return base + Sext<2>(Fetch16(c));
    } else if constexpr (E == kEPcIdx) {
        return Indexed(c, c.pc);
    } else {
        static_assert(E == kEImm);
        uint32_t a = c.pc;
        c.pc += (B == 4) ? 4 : 2;
        return B == 1 ? a + 1 : a;
    }
}

template <int B>
MORVEL_INLINE uint32_t FetchImm(Cpu& c) {
    if constexpr (B == 4) return Fetch32(c);
    return Fetch16(c) & kMask<B>;
}

template <int B, int E>
MORVEL_INLINE uint32_t ReadEA(Cpu& c, uint32_t mode, uint32_t reg) {
    if constexpr (E == kEDn) {
        return c.R[reg] & kMask<B>;
    } else if constexpr (E == kEAn) {
        return c.R[8 + reg] & kMask<B>;
    } else if constexpr (E == kEImm) {
        return FetchImm<B>(c);
    } else {
        if (E == kEAny && mode == 0) return c.R[reg] & kMask<B>;
        if (E == kEAny && mode == 1) return c.R[8 + reg] & kMask<B>;
        return RdM<B>(EaAddr<B, E>(c, mode, reg));
    }
}
template <int B>
MORVEL_INLINE void WrD(Cpu& c, uint32_t reg, uint32_t v) {
    if constexpr (B == 4)
        c.R[reg] = v;
    else
        c.R[reg] = (c.R[reg] & ~kMask<B>) | (v & kMask<B>);
}
template <int B, int E>
MORVEL_INLINE void WriteEA(Cpu& c, uint32_t mode, uint32_t reg, uint32_t v) {
    if (E == kEDn || (E == kEAny && mode == 0))
        WrD<B>(c, reg, v);
    else
        WrM<B>(EaAddr<B, E == kEDn ? kEAny : E>(c, mode, reg), v);
}
// Read-modify-write of a data-alterable operand.
template <int B, int E, class F>
MORVEL_INLINE void Rmw(Cpu& c, uint32_t mode, uint32_t reg, F f) {
    if (E == kEDn || (E == kEAny && mode == 0)) {
        WrD<B>(c, reg, f(c.R[reg] & kMask<B>));
    } else {
        uint32_t a = EaAddr<B, E == kEDn ? kEAny : E>(c, mode, reg);
        WrM<B>(a, f(RdM<B>(a)));
    }
}

#define MODE ((op >> 3) & 7)
#define REG (op & 7)
#define RX ((op >> 9) & 7)

// ---- arithmetic ----

template <int B>
MORVEL_INLINE uint32_t Add(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d + s) & kMask<B>;
    uint32_t carry = (B == 4) ? (r < d) : (((d + s) >> (B * 8)) & 1);
    c.x = carry;
    SetVC(c, (((s ^ r) & (d ^ r)) & kMsb<B>) != 0, carry);
    SetNZ<B>(c, r);
    return r;
}
template <int B>
MORVEL_INLINE uint32_t SubNoX(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d - s) & kMask<B>;
    SetVC(c, (((s ^ d) & (r ^ d)) & kMsb<B>) != 0, s > d);
    SetNZ<B>(c, r);
    return r;
}
template <int B>
MORVEL_INLINE uint32_t Sub(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = SubNoX<B>(c, d, s);
    c.x = s > d;
    return r;
}
// ADDX, SUBX, NEGX: Z is only cleared, never set.
template <int B>
MORVEL_INLINE uint32_t Addx(Cpu& c, uint32_t d, uint32_t s) {
    uint64_t t = uint64_t{d} + s + c.x;
    uint32_t r = static_cast<uint32_t>(t) & kMask<B>;
    uint32_t carry = static_cast<uint32_t>(t >> (B * 8)) & 1;
    c.x = carry;
    SetVC(c, (((s ^ r) & (d ^ r)) & kMsb<B>) != 0, carry);
    SetNZKeepZ<B>(c, r);
    return r;
}
template <int B>
MORVEL_INLINE uint32_t Subx(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d - s - c.x) & kMask<B>;
    uint32_t carry = (uint64_t{s} + c.x) > d;
    c.x = carry;
    SetVC(c, (((s ^ d) & (r ^ d)) & kMsb<B>) != 0, carry);
    SetNZKeepZ<B>(c, r);
    return r;
}

// ---- conditions ----

// A condition known when the handler is made.
template <int CC>
MORVEL_INLINE bool CondT(const Cpu& c) {
    const uint32_t n = FlagN(c);
    const bool z = c.res == 0;
    const uint32_t v = FlagV(c);
    if constexpr (CC == 0) return true;
    if constexpr (CC == 1) return false;
    if constexpr (CC == 2) return !FlagC(c) && !z;
    if constexpr (CC == 3) return FlagC(c) || z;
    if constexpr (CC == 4) return !FlagC(c);
    if constexpr (CC == 5) return FlagC(c);
    if constexpr (CC == 6) return !z;
    if constexpr (CC == 7) return z;
    if constexpr (CC == 8) return !v;
    if constexpr (CC == 9) return v;
    if constexpr (CC == 10) return !n;
    if constexpr (CC == 11) return n;
    if constexpr (CC == 12) return n == v;
    if constexpr (CC == 13) return n != v;
    if constexpr (CC == 14) return !z && n == v;
    if constexpr (CC == 15) return z || n != v;
}

// A condition taken from the opcode at run time: (condition << 4) | NZVC -> true.
struct CondTable {
    bool t[256];
    constexpr CondTable() : t() {
        for (int cc = 0; cc < 16; ++cc)
            for (int f = 0; f < 16; ++f) {
                bool n = f & 8, z = f & 4, v = f & 2, c = f & 1;
                bool r = false;
                switch (cc) {
                    case 0: r = true; break;
                    case 1: r = false; break;
                    case 2: r = !c && !z; break;
                    case 3: r = c || z; break;
                    case 4: r = !c; break;
                    case 5: r = c; break;
                    case 6: r = !z; break;
                    case 7: r = z; break;
                    case 8: r = !v; break;
                    case 9: r = v; break;
                    case 10: r = !n; break;
                    case 11: r = n; break;
                    case 12: r = n == v; break;
                    case 13: r = n != v; break;
                    case 14: r = !z && n == v; break;
                    case 15: r = z || n != v; break;
                }
                t[cc << 4 | f] = r;
            }
    }
};
constexpr CondTable kCond;

MORVEL_INLINE bool Cond(const Cpu& c, uint32_t cc) {
    uint32_t f = (FlagN(c) << 3) | (c.res ? 0 : 4) | (c.vc & (kSrV | kSrC));
    return kCond.t[(cc << 4) | f];
}

// A compare or test followed by BNE.S or BEQ.S runs the branch in the same step: one dispatch less
// in most loops. Other conditions take their own step, where the condition is known when the
// handler is made. A traced run keeps one instruction a step.
// By stored word: 6 for BNE.S, 7 for BEQ.S, 0 for every other word.
struct FusedBranches {
    uint8_t cc[65536];
    FusedBranches() {
        for (uint32_t raw = 0; raw < 65536; ++raw) {
            uint32_t op = Swap16(raw);
            cc[raw] = (op & 0xFE00) == 0x6600 && (op & 0xFF) != 0 ? static_cast<uint8_t>((op >> 8) & 15) : 0;
        }
    }
};
const FusedBranches gFused;

// Returns kMoved when the branch was taken.
MORVEL_INLINE Flow FollowingBranch(Cpu& c) {
    uint16_t raw;
    std::memcpy(&raw, Mem(c.pc), 2);
    uint32_t cc = gFused.cc[raw];
    if (!cc || (c.srHigh & (kSrTrace0 | kSrTrace1))) return kNext;
    c.pc += 2;
    if ((cc == 6) != (c.res != 0)) return kNext;
    c.pc += Sext<1>(raw >> 8u);
    return kMoved;
}

// ---- handlers ----
//
// Every handler is a template over three integers (their meaning is the handler's: mostly the
// operand size B, an operation P and an effective-address kind E) and returns the loop's next step.

#define HANDLER(name) \
    template <int B, int P, int E> \
    MORVEL_INLINE Flow name([[maybe_unused]] Cpu& c, [[maybe_unused]] uint32_t op)

HANDLER(HIllegal) { Report(c, op, kRunIllegal, 403, "illegal instruction %hx at address %lx", op, c.pc - 2, 2); }
HANDLER(HUnimplemented) { Unimplemented(c, op); }
HANDLER(HLineA) { Report(c, op, kRunLine1010, 438, "line 1010 exception at address %lx", c.pc - 2, 0, 1); }
HANDLER(HLineF) { Report(c, op, kRunLine1111, 456, "line 1111 exception at address %lx", c.pc - 2, 0, 1); }

// ---- line 0: immediates, bit operations, MOVEP ----

// P: 0 ORI, 1 ANDI, 2 SUBI, 3 ADDI, 5 EORI, 6 CMPI.
HANDLER(HImm) {
    uint32_t imm = FetchImm<B>(c);
    if constexpr (P == 6) {
        SubNoX<B>(c, ReadEA<B, E>(c, MODE, REG), imm);
    } else {
        Rmw<B, E>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA {
            if constexpr (P == 0) { d |= imm; SetLogic<B>(c, d); return d; }
            if constexpr (P == 1) { d &= imm; SetLogic<B>(c, d); return d; }
            if constexpr (P == 2) return Sub<B>(c, d, imm);
            if constexpr (P == 3) return Add<B>(c, d, imm);
            if constexpr (P == 5) { d ^= imm; SetLogic<B>(c, d); return d; }
            return d;
        });
    }
    return kNext;
}

// ORI, ANDI, EORI to CCR and to SR (P as for HImm): only the condition bits change.
HANDLER(HImmCcr) {
    uint32_t imm = Fetch16(c) & kSrCcr;
    uint32_t ccr = Ccr(c);
    if (P == 0) ccr |= imm;
    if (P == 1) ccr &= imm | ~kSrCcr;
    if (P == 5) ccr ^= imm;
    SetCcr(c, ccr);
    return kNext;
}

// Bit operations; B: 0 BTST, 1 BCHG, 2 BCLR, 3 BSET. P set: the bit number comes from an
// extension word, else from Dn. E: kEDn or any memory operand.
HANDLER(HBit) {
    uint32_t bit = P ? Fetch16(c) : c.R[RX];
    uint32_t mode = MODE, reg = REG;
    if (E == kEDn || (E == kEAny && mode == 0)) {
        uint32_t m = 1u << (bit & 31);
        SetFlagsNZ(c, FlagN(c), (c.R[reg] & m) == 0);
        if (B == 1) c.R[reg] ^= m;
        if (B == 2) c.R[reg] &= ~m;
        if (B == 3) c.R[reg] |= m;
        return kNext;
    }
    uint32_t m = 1u << (bit & 7);
    uint32_t a = EaAddr<1, kEAny>(c, mode, reg);
    uint32_t d = Rd8(a);
    SetFlagsNZ(c, FlagN(c), (d & m) == 0);
    if (B == 1) Wr8(a, d ^ m);
    if (B == 2) Wr8(a, d & ~m);
    if (B == 3) Wr8(a, d | m);
    return kNext;
}

HANDLER(HMovep) {
    uint32_t a = c.R[8 + REG] + Sext<2>(Fetch16(c));
    uint32_t& d = c.R[RX];
    switch ((op >> 6) & 3) {
        case 0:
            d = (d & 0xFFFF0000u) | (Rd8(a) << 8) | Rd8(a + 2);
            break;
        case 1:
            d = (Rd8(a) << 24) | (Rd8(a + 2) << 16) | (Rd8(a + 4) << 8) | Rd8(a + 6);
            break;
        case 2:
            Wr8(a, d >> 8);
            Wr8(a + 2, d);
            break;
        default:
            Wr8(a, d >> 24);
            Wr8(a + 2, d >> 16);
            Wr8(a + 4, d >> 8);
            Wr8(a + 6, d);
            break;
    }
    return kNext;
}

// ---- lines 1-3: MOVE, MOVEA ----

// P: the destination's kind, E: the source's.
HANDLER(HMove) {
    uint32_t v = ReadEA<B, E>(c, MODE, REG);
    WriteEA<B, P>(c, (op >> 6) & 7, RX, v);
    SetLogic<B>(c, v);
    return kNext;
}
HANDLER(HMoveA) {
    uint32_t v = ReadEA<B, E>(c, MODE, REG);
    c.R[8 + RX] = Sext<B>(v);
    return kNext;
}

// ---- line 4 ----

HANDLER(HNegx) {
    Rmw<B, E>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA { return Subx<B>(c, 0, d); });
    return kNext;
}
HANDLER(HClr) {
    WriteEA<B, E>(c, MODE, REG, 0);
    c.res = 0;
    c.vc = 0;
    return kNext;
}
HANDLER(HNeg) {
    Rmw<B, E>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA { return Sub<B>(c, 0, d); });
    return kNext;
}
HANDLER(HNot) {
    Rmw<B, E>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA {
        d = ~d & kMask<B>;
        SetLogic<B>(c, d);
        return d;
    });
    return kNext;
}
HANDLER(HTst) {
    SetLogic<B>(c, ReadEA<B, E>(c, MODE, REG));
    return FollowingBranch(c);
}
// MOVE from SR and MOVE from CCR both yield the condition bits alone.
HANDLER(HMoveFromSr) {
    WriteEA<2, kEAny>(c, MODE, REG, Ccr(c));
    return kNext;
}
// MOVE to SR and MOVE to CCR replace the condition bits only.
HANDLER(HMoveToCcr) {
    SetCcr(c, ReadEA<2, kEAny>(c, MODE, REG));
    return kNext;
}

MORVEL_INLINE uint32_t Nbcd(Cpu& c, uint32_t d) {
    uint32_t r = (0x9A - d - c.x) & 0xFF;
    if (r != 0x9A) {
        uint32_t v = ~r;
        if ((r & 0x0F) == 0x0A) r = (r & 0xF0) + 0x10;
        r &= 0xFF;
        SetVC(c, (v & r & 0x80) != 0, 1);
        c.x = 1;
    } else {
        r = 0;
        c.vc = 0;
        c.x = 0;
    }
    SetNZKeepZ<1>(c, r);
    return static_cast<uint8_t>(r);
}
HANDLER(HNbcd) {
    Rmw<1, kEAny>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA { return Nbcd(c, d); });
    return kNext;
}
HANDLER(HSwap) {
    uint32_t v = c.R[REG];
    v = (v >> 16) | (v << 16);
    c.R[REG] = v;
    SetLogic<4>(c, v);
    return kNext;
}
HANDLER(HPea) {
    uint32_t a = EaAddr<4, E>(c, MODE, REG);
    c.R[15] -= 4;
    Wr32(c.R[15], a);
    return kNext;
}
HANDLER(HLea) {
    c.R[8 + RX] = EaAddr<4, E>(c, MODE, REG);
    return kNext;
}
HANDLER(HExtW) {
    uint32_t v = Sext<1>(c.R[REG]) & 0xFFFF;
    WrD<2>(c, REG, v);
    SetLogic<2>(c, v);
    return kNext;
}
HANDLER(HExtL) {
    uint32_t v = Sext<2>(c.R[REG]);
    c.R[REG] = v;
    SetLogic<4>(c, v);
    return kNext;
}
HANDLER(HTas) {
    Rmw<1, kEAny>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA {
        SetLogic<1>(c, d);
        return d | 0x80;
    });
    return kNext;
}

// MOVEM moves a register list four registers at a time: each group of four bits of the list
// selects, through one switch, a straight run of loads or stores at fixed offsets, so the moves
// cost one memory access each and no test per possible register.
template <int B, bool TO_MEM, uint32_t N, size_t... J>
MORVEL_INLINE uint32_t MovemQuad(uint32_t* r, uint32_t a, std::index_sequence<J...>) {
    uint32_t off = 0;
    auto one = [&](auto j) MORVEL_LAMBDA {
        if constexpr ((N >> j) & 1) {
            if constexpr (TO_MEM)
                WrM<B>(a + off, r[j]);
            else
                r[j] = Sext<B>(RdM<B>(a + off));
            off += B;
        }
    };
    (one(std::integral_constant<uint32_t, J>{}), ...);
    return a + off;
}
// Registers r[0..3] selected by the low four bits of `bits`, to or from ascending addresses from
// `a`; returns the address after the last.
template <int B, bool TO_MEM>
MORVEL_INLINE uint32_t MovemGroup(uint32_t* r, uint32_t a, uint32_t bits) {
    switch (bits & 15) {
#define MORVEL_QUAD(n) \
    case n: return MovemQuad<B, TO_MEM, n>(r, a, std::make_index_sequence<4>{});
        MORVEL_QUAD(0) MORVEL_QUAD(1) MORVEL_QUAD(2) MORVEL_QUAD(3) MORVEL_QUAD(4) MORVEL_QUAD(5)
        MORVEL_QUAD(6) MORVEL_QUAD(7) MORVEL_QUAD(8) MORVEL_QUAD(9) MORVEL_QUAD(10) MORVEL_QUAD(11)
        MORVEL_QUAD(12) MORVEL_QUAD(13) MORVEL_QUAD(14) default: MORVEL_QUAD(15)
#undef MORVEL_QUAD
    }
}
// The registers of `mask` (bit 0 is D0, bit 15 A7) to or from ascending addresses from `a`.
template <int B, bool TO_MEM>
MORVEL_INLINE uint32_t MovemList(Cpu& c, uint32_t a, uint32_t mask) {
    a = MovemGroup<B, TO_MEM>(c.R, a, mask);
    a = MovemGroup<B, TO_MEM>(c.R + 4, a, mask >> 4);
    a = MovemGroup<B, TO_MEM>(c.R + 8, a, mask >> 8);
    return MovemGroup<B, TO_MEM>(c.R + 12, a, mask >> 12);
}
// The list of -(An) runs from A7 (bit 0) down to D0 (bit 15): reversed, it is the ascending list
// stored from the final address up.
MORVEL_INLINE uint32_t Reverse16(uint32_t m) {
    static constexpr uint8_t kRev4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    return kRev4[m & 15] << 12 | kRev4[(m >> 4) & 15] << 8 | kRev4[(m >> 8) & 15] << 4 | kRev4[(m >> 12) & 15];
}

// E: kEPre, kEInd or any other control mode.
HANDLER(HMovemToMem) {
    uint32_t mask = Fetch16(c);
    uint32_t mode = MODE, reg = REG;
    if (E == kEPre || (E == kEAny && mode == 4)) {
        // An is stored with its initial value and changed after the stores
        static constexpr uint8_t kBits4[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
        uint32_t n = kBits4[mask & 15] + kBits4[(mask >> 4) & 15] + kBits4[(mask >> 8) & 15] + kBits4[mask >> 12];
        uint32_t a = c.R[8 + reg] - B * n;
        MovemList<B, true>(c, a, Reverse16(mask));
        c.R[8 + reg] = a;
        return kNext;
    }
    MovemList<B, true>(c, EaAddr<B, E == kEPre ? kEAny : E>(c, mode, reg), mask);
    return kNext;
}
// E: kEPost, kEInd or any other control mode.
HANDLER(HMovemToReg) {
    uint32_t mask = Fetch16(c);
    uint32_t mode = MODE, reg = REG;
    const bool post = E == kEPost || (E == kEAny && mode == 3);
    uint32_t a = post ? c.R[8 + reg] : EaAddr<B, E == kEPost ? kEAny : E>(c, mode, reg);
    a = MovemList<B, false>(c, a, mask);
    // (An)+ ends with the final address, even when An was in the list
    if (post) c.R[8 + reg] = a;
    return kNext;
}

HANDLER(HChk) {
    int32_t bound = static_cast<int16_t>(ReadEA<2, kEAny>(c, MODE, REG));
    int32_t d = static_cast<int16_t>(c.R[RX]);
    if (d < 0 || d > bound) {
        SetFlagsNZ(c, d < 0, c.res == 0);
        Unimplemented(c, op);
    }
    return kNext;
}

__attribute__((noinline)) void EnterTrap(EmulState* s, uint16_t trap) {
    uint8_t r = TrapDispatch(s, trap);
    if (r == 0) {
        char text[100];
        std::snprintf(text, sizeof text, "unknown A-trap %hx at address %lx", static_cast<unsigned short>(trap),
                      static_cast<unsigned long>(s->PC - 2));
        ErrDisplayFileLineMsg("MorvelMain", 57, text);
        MorvelEndRun(s, kRunUnknownTrap);
    }
    if (s->running == 0) MorvelEndRun(s, kRunStopped);
}
HANDLER(HTrap15) {
    uint32_t word = Fetch16(c);
    Save(c, op);
    EnterTrap(c.s, static_cast<uint16_t>((word & 0x0FFF) | 0xA000));
    Load(c);
    return kReload;
}
// B: the nub's vector offset.
HANDLER(HTrapNub) {
    Save(c, op);
    if (gNubEntry) gNubEntry(c.s, B);
    Load(c);
    return kNoTrace;
}

HANDLER(HLink) {
    int32_t disp = static_cast<int16_t>(Fetch16(c));
    uint32_t sp = c.R[15] - 4;
    Wr32(sp, c.R[8 + REG]);
    c.R[15] = sp;
    c.R[8 + REG] = sp;
    c.R[15] += static_cast<uint32_t>(disp);
    return kNext;
}
HANDLER(HUnlk) {
    uint32_t sp = c.R[8 + REG];
    uint32_t v = Rd32(sp);
    c.R[15] = sp + 4;
    c.R[8 + REG] = v;
    return kNext;
}
HANDLER(HNop) { return kNext; }

MORVEL_INLINE Flow Jump(Cpu& c, uint32_t target) {
    if (target == kReturnMarker) return kStop;
    c.pc = target;
    return kMoved;
}
HANDLER(HRts) {
    uint32_t t = Rd32(c.R[15]);
    c.R[15] += 4;
    return Jump(c, t);
}
HANDLER(HRtr) {
    uint32_t ccr = Rd16(c.R[15]);
    c.R[15] += 2;
    SetCcr(c, ccr);
    return HRts<0, 0, 0>(c, op);
}
HANDLER(HTrapv) {
    if (FlagV(c)) Unimplemented(c, op);
    return kNext;
}
HANDLER(HJsr) {
    uint32_t t = EaAddr<4, E>(c, MODE, REG);
    c.R[15] -= 4;
    Wr32(c.R[15], c.pc);
    c.pc = t;
    return kMoved;
}
HANDLER(HJmp) { return Jump(c, EaAddr<4, E>(c, MODE, REG)); }

// ---- line 5: ADDQ, SUBQ, Scc, DBcc ----

// P set: SUBQ.
HANDLER(HAddq) {
    uint32_t q = ((((op >> 9) & 7) - 1) & 7) + 1;  // 0 encodes 8
    if (E == kEAn || (E == kEAny && MODE == 1)) {
        c.R[8 + REG] += P ? -q : q;
        return kNext;
    }
    Rmw<B, E == kEAn ? kEAny : E>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA { return P ? Sub<B>(c, d, q) : Add<B>(c, d, q); });
    if constexpr (P == 1 && E == kEDn) return FollowingBranch(c);
    return kNext;
}
HANDLER(HScc) {
    uint32_t v = Cond(c, (op >> 8) & 15) ? 0xFF : 0;
    WriteEA<1, kEAny>(c, MODE, REG, v);
    return kNext;
}
// B: the condition.
HANDLER(HDbcc) {
    uint32_t base = c.pc;
    uint32_t disp = Sext<2>(Fetch16(c));
    if (CondT<B>(c)) return kNext;
    uint32_t& d = c.R[REG];
    uint32_t w = (d - 1) & 0xFFFF;
    d = (d & 0xFFFF0000u) | w;
    if (w == 0xFFFF) return kNext;
    c.pc = base + disp;
    return kMoved;
}

// ---- line 6: branches ----

// B: the condition; P set: a 16-bit displacement follows.
HANDLER(HBcc) {
    uint32_t base = c.pc;
    uint32_t disp = P ? Sext<2>(Fetch16(c)) : Sext<1>(op);
    if (!CondT<B>(c)) return kNext;
    c.pc = base + disp;
    return kMoved;
}
HANDLER(HBsr) {
    uint32_t base = c.pc;
    uint32_t disp = P ? Sext<2>(Fetch16(c)) : Sext<1>(op);
    c.R[15] -= 4;
    Wr32(c.R[15], c.pc);
    c.pc = base + disp;
    return kMoved;
}

HANDLER(HMoveq) {
    uint32_t v = Sext<1>(op);
    c.R[RX] = v;
    SetLogic<4>(c, v);
    return kNext;
}

// ---- lines 8, 9, B, C, D: two-operand arithmetic and logic ----

// KIND: 0 OR, 1 AND, 2 SUB, 3 ADD, 4 CMP, 5 EOR
template <int B, int KIND>
MORVEL_INLINE uint32_t Alu(Cpu& c, uint32_t d, uint32_t s) {
    if constexpr (KIND == 0) { d |= s; SetLogic<B>(c, d); return d; }
    if constexpr (KIND == 1) { d &= s; SetLogic<B>(c, d); return d; }
    if constexpr (KIND == 2) return Sub<B>(c, d, s);
    if constexpr (KIND == 3) return Add<B>(c, d, s);
    if constexpr (KIND == 4) return SubNoX<B>(c, d, s);
    d ^= s;
    SetLogic<B>(c, d);
    return d;
}
// <ea> op Dn -> Dn; P: the operation.
HANDLER(HAluToReg) {
    uint32_t s = ReadEA<B, E>(c, MODE, REG);
    uint32_t r = Alu<B, P>(c, c.R[RX] & kMask<B>, s);
    if constexpr (P != 4)
        WrD<B>(c, RX, r);
    else
        return FollowingBranch(c);
    return kNext;
}
// Dn op <ea> -> <ea>
HANDLER(HAluToMem) {
    uint32_t s = c.R[RX] & kMask<B>;
    Rmw<B, E>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA { return Alu<B, P>(c, d, s); });
    return kNext;
}
// ADDA, SUBA, CMPA
HANDLER(HAluA) {
    uint32_t s = Sext<B>(ReadEA<B, E>(c, MODE, REG));
    uint32_t& a = c.R[8 + RX];
    if (P == 2) a -= s;
    if (P == 3) a += s;
    if constexpr (P == 4) {
        SubNoX<4>(c, a, s);
        return FollowingBranch(c);
    }
    return kNext;
}
// ADDX, SUBX (P set): Dy,Dx or -(Ay),-(Ax)
HANDLER(HAddx) {
    if (!(op & 8)) {
        uint32_t s = c.R[REG] & kMask<B>, d = c.R[RX] & kMask<B>;
        WrD<B>(c, RX, P ? Subx<B>(c, d, s) : Addx<B>(c, d, s));
        return kNext;
    }
    uint32_t sa = EaAddr<B, kEPre>(c, 4, REG);
    uint32_t s = RdM<B>(sa);
    uint32_t da = EaAddr<B, kEPre>(c, 4, RX);
    uint32_t d = RdM<B>(da);
    WrM<B>(da, P ? Subx<B>(c, d, s) : Addx<B>(c, d, s));
    return kNext;
}
HANDLER(HCmpm) {
    uint32_t s = RdM<B>(EaAddr<B, kEPost>(c, 3, REG));
    uint32_t d = RdM<B>(EaAddr<B, kEPost>(c, 3, RX));
    SubNoX<B>(c, d, s);
    return kNext;
}

MORVEL_INLINE uint32_t Abcd(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (s & 0x0F) + (d & 0x0F) + c.x;
    uint32_t v = ~r;
    if (r > 9) r += 6;
    r += (s & 0xF0) + (d & 0xF0);
    uint32_t carry = r > 0x99;
    c.x = carry;
    if (carry) r -= 0xA0;
    SetVC(c, (v & r & 0x80) != 0, carry);
    r &= 0xFF;
    SetNZKeepZ<1>(c, r);
    return r;
}
MORVEL_INLINE uint32_t Sbcd(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d & 0x0F) - (s & 0x0F) - c.x;
    uint32_t v = ~r;
    if (r > 9) r -= 6;
    r += (d & 0xF0) - (s & 0xF0);
    uint32_t carry = r > 0x99;
    c.x = carry;
    if (carry) r += 0xA0;
    r &= 0xFF;
    SetVC(c, (v & r & 0x80) != 0, carry);
    SetNZKeepZ<1>(c, r);
    return r;
}
// ABCD, SBCD (P set)
HANDLER(HBcd) {
    if (!(op & 8)) {
        uint32_t s = c.R[REG] & 0xFF, d = c.R[RX] & 0xFF;
        WrD<1>(c, RX, P ? Sbcd(c, d, s) : Abcd(c, d, s));
        return kNext;
    }
    uint32_t s = Rd8(EaAddr<1, kEPre>(c, 4, REG));
    uint32_t da = EaAddr<1, kEPre>(c, 4, RX);
    uint32_t d = Rd8(da);
    Wr8(da, P ? Sbcd(c, d, s) : Abcd(c, d, s));
    return kNext;
}

HANDLER(HMulu) {
    uint32_t r = ReadEA<2, E>(c, MODE, REG) * (c.R[RX] & 0xFFFF);
    c.R[RX] = r;
    SetLogic<4>(c, r);
    return kNext;
}
HANDLER(HMuls) {
    int32_t r = static_cast<int16_t>(ReadEA<2, E>(c, MODE, REG)) * static_cast<int16_t>(c.R[RX]);
    c.R[RX] = static_cast<uint32_t>(r);
    SetLogic<4>(c, static_cast<uint32_t>(r));
    return kNext;
}
HANDLER(HDivu) {
    uint32_t s = ReadEA<2, E>(c, MODE, REG);
    if (s == 0) DivideByZero(c, op);
    uint32_t d = c.R[RX];
    uint32_t q = d / s, r = d % s;
    if (q > 0xFFFF) {
        c.vc = kSrV;
        c.res = 0x80000000u;
        return kNext;
    }
    c.R[RX] = (r << 16) | q;
    SetLogic<2>(c, q);
    return kNext;
}
HANDLER(HDivs) {
    int32_t s = static_cast<int16_t>(ReadEA<2, E>(c, MODE, REG));
    if (s == 0) DivideByZero(c, op);
    int64_t d = static_cast<int32_t>(c.R[RX]);
    int64_t q = d / s, r = d % s;
    if (q > 32767 || q < -32768) {
        c.vc = kSrV;
        c.res = 0x80000000u;
        return kNext;
    }
    c.R[RX] = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(q) & 0xFFFF);
    SetLogic<2>(c, static_cast<uint32_t>(q) & 0xFFFF);
    return kNext;
}
HANDLER(HExg) {
    uint32_t x = RX, y = REG;
    switch ((op >> 3) & 0x1F) {
        case 0x08: break;                  // Dx,Dy
        case 0x09: x += 8; y += 8; break;  // Ax,Ay
        default: y += 8; break;            // Dx,Ay
    }
    uint32_t t = c.R[x];
    c.R[x] = c.R[y];
    c.R[y] = t;
    return kNext;
}

// ---- line E: shifts and rotates ----

// TYPE: 0 AS, 1 LS, 2 ROX, 3 RO
template <int B, int TYPE, bool LEFT>
MORVEL_INLINE uint32_t Shift(Cpu& c, uint32_t v, uint32_t n) {
    constexpr uint32_t W = B * 8;
    v &= kMask<B>;
    uint32_t r = v;
    uint32_t cf = 0, vf = 0;
    if (TYPE == 2) {
        uint32_t x = c.x;
        n %= W + 1;
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t out;
            if (LEFT) {
                out = (r >> (W - 1)) & 1;
                r = ((r << 1) | x) & kMask<B>;
            } else {
                out = r & 1;
                r = (r >> 1) | (x << (W - 1));
            }
            x = out;
        }
        cf = c.x = x;
        SetNZ<B>(c, r);
        SetVC(c, vf, cf);
        return r;
    }
    if (n == 0) {
        cf = 0;
        SetNZ<B>(c, r);
        SetVC(c, vf, cf);
        return r;
    }
    if (TYPE == 3) {
        uint32_t m = n % W;
        if (m) r = LEFT ? ((v << m) | (v >> (W - m))) & kMask<B> : ((v >> m) | (v << (W - m))) & kMask<B>;
        cf = LEFT ? (r & 1) : ((r >> (W - 1)) & 1);
        SetNZ<B>(c, r);
        SetVC(c, vf, cf);
        return r;
    }
    if (LEFT) {
        if (n < W) {
            r = (v << n) & kMask<B>;
            cf = (v >> (W - n)) & 1;
            if (TYPE == 0) {
                // V: the top n+1 bits were not all equal, so the sign changed during the shift
                uint32_t top = kMask<B> & ~static_cast<uint32_t>(uint64_t{kMask<B>} >> (n + 1));
                uint32_t t = v & top;
                vf = t != 0 && t != top;
            }
        } else {
            r = 0;
            cf = n == W ? (v & 1) : 0;
            if (TYPE == 0) vf = v != 0;
        }
    } else if (TYPE == 0) {
        uint32_t sign = (v >> (W - 1)) & 1;
        if (n < W) {
            r = static_cast<uint32_t>(static_cast<int32_t>(Sext<B>(v)) >> n) & kMask<B>;
            cf = (v >> (n - 1)) & 1;
        } else {
            r = sign ? kMask<B> : 0;
            cf = sign;
        }
    } else {
        if (n < W) {
            r = v >> n;
            cf = (v >> (n - 1)) & 1;
        } else {
            r = 0;
            cf = n == W ? (v >> (W - 1)) & 1 : 0;
        }
    }
    c.x = cf;
    SetNZ<B>(c, r);
    SetVC(c, vf, cf);
    return r;
}
// P: TYPE * 2 + LEFT; E set: the count is in the opcode, else in Dn.
HANDLER(HShiftReg) {
    uint32_t n = E ? ((RX - 1) & 7) + 1 : (c.R[RX] & 63);
    WrD<B>(c, REG, Shift<B, P / 2, (P & 1) != 0>(c, c.R[REG], n));
    return kNext;
}
// B: TYPE * 2 + LEFT
HANDLER(HShiftMem) {
    Rmw<2, kEAny>(c, MODE, REG, [&](uint32_t d) MORVEL_LAMBDA { return Shift<2, B / 2, (B & 1) != 0>(c, d, 1); });
    return kNext;
}

// ---- register forms with the register numbers fixed ----
//
// The most frequent register-to-register forms get one handler per register number, so that they
// read no register field from the opcode at run time. They behave as the general handlers.

// MOVEQ; E: the data register.
HANDLER(HMoveqR) {
    uint32_t v = Sext<1>(op);
    c.R[E] = v;
    SetLogic<4>(c, v);
    return kNext;
}
// MOVE.L Dn,Dn; P: the destination, E: the source.
HANDLER(HMoveDD) {
    uint32_t v = c.R[E];
    c.R[P] = v;
    SetLogic<4>(c, v);
    return kNext;
}
// OR, AND, SUB, ADD, CMP, EOR .L between data registers; B: the operation as in Alu, P: the
// destination, E: the source.
HANDLER(HAluDD) {
    uint32_t r = Alu<4, B>(c, c.R[P], c.R[E]);
    if constexpr (B != 4)
        c.R[P] = r;
    else
        return FollowingBranch(c);
    return kNext;
}
// CMP.B and CMP.W between data registers; B: the size, P: the destination, E: the source.
HANDLER(HCmpDD) {
    SubNoX<B>(c, c.R[P] & kMask<B>, c.R[E] & kMask<B>);
    return FollowingBranch(c);
}
// TST of a data register; B: the size, E: the register.
HANDLER(HTstD) {
    SetLogic<B>(c, c.R[E] & kMask<B>);
    return FollowingBranch(c);
}
// ADDQ and SUBQ (P set) to an address register, of any size; E: the register.
HANDLER(HAddqA) {
    uint32_t q = ((((op >> 9) & 7) - 1) & 7) + 1;  // 0 encodes 8
    c.R[8 + E] += P ? -q : q;
    return kNext;
}
// ADDQ.L and SUBQ.L (P set) to a data register; E: the register.
// ASL, ASR, LSL, LSR .L of a data register by a count in the opcode; B: TYPE * 2 + LEFT as for
// HShiftReg, E: the register.
HANDLER(HShiftImmR) {
    c.R[E] = Shift<4, B / 2, (B & 1) != 0>(c, c.R[E], ((RX - 1) & 7) + 1);
    return kNext;
}
HANDLER(HAddqR) {
    uint32_t q = ((((op >> 9) & 7) - 1) & 7) + 1;  // 0 encodes 8
    c.R[E] = P ? Sub<4>(c, c.R[E], q) : Add<4>(c, c.R[E], q);
    if constexpr (P == 1) return FollowingBranch(c);
    return kNext;
}

// ---- the handler list ----
//
// H(name, b, p, e) stands for the label of handler H<name><b, p, e>. Arguments are plain numbers:
// they also make the label's name. An effective-address kind that has no handler of its own falls
// back to kEAny (12).

// Source operands, and data-alterable destinations, that get handlers of their own.
#define MORVEL_SRC_EAS(H, F, b, p) \
    H(F, b, p, 0) H(F, b, p, 1) H(F, b, p, 2) H(F, b, p, 3) H(F, b, p, 5) H(F, b, p, 6) H(F, b, p, 11) \
    H(F, b, p, 12)
#define MORVEL_DST_EAS(H, F, b, p) \
    H(F, b, p, 0) H(F, b, p, 2) H(F, b, p, 3) H(F, b, p, 4) H(F, b, p, 5) H(F, b, p, 6) H(F, b, p, 12)
#define MORVEL_MEM_EAS(H, F, b, p) \
    H(F, b, p, 2) H(F, b, p, 3) H(F, b, p, 4) H(F, b, p, 5) H(F, b, p, 6) H(F, b, p, 12)
#define MORVEL_RARE_EAS(H, F, b, p) H(F, b, p, 0) H(F, b, p, 12)
#define MORVEL_CTL_EAS(H, F, b, p) \
    H(F, b, p, 2) H(F, b, p, 5) H(F, b, p, 6) H(F, b, p, 7) H(F, b, p, 8) H(F, b, p, 9) H(F, b, p, 10)
#define MORVEL_SIZES(EAS, H, F, p) EAS(H, F, 1, p) EAS(H, F, 2, p) EAS(H, F, 4, p)
#define MORVEL_SIZES_WL(EAS, H, F, p) EAS(H, F, 2, p) EAS(H, F, 4, p)
#define MORVEL_ONE(H, F) H(F, 0, 0, 0)
#define MORVEL_CONDS(H, F, p) \
    H(F, 0, p, 0) H(F, 1, p, 0) H(F, 2, p, 0) H(F, 3, p, 0) H(F, 4, p, 0) H(F, 5, p, 0) H(F, 6, p, 0) \
    H(F, 7, p, 0) H(F, 8, p, 0) H(F, 9, p, 0) H(F, 10, p, 0) H(F, 11, p, 0) H(F, 12, p, 0) H(F, 13, p, 0) \
    H(F, 14, p, 0) H(F, 15, p, 0)
#define MORVEL_MOVE(H, b) \
    MORVEL_SRC_EAS(H, Move, b, 0) MORVEL_SRC_EAS(H, Move, b, 2) MORVEL_SRC_EAS(H, Move, b, 3) \
    MORVEL_SRC_EAS(H, Move, b, 4) MORVEL_SRC_EAS(H, Move, b, 5) MORVEL_SRC_EAS(H, Move, b, 12)
#define MORVEL_SHIFTS(H, b) \
    H(ShiftReg, b, 0, 0) H(ShiftReg, b, 1, 0) H(ShiftReg, b, 2, 0) H(ShiftReg, b, 3, 0) H(ShiftReg, b, 4, 0) \
    H(ShiftReg, b, 5, 0) H(ShiftReg, b, 6, 0) H(ShiftReg, b, 7, 0) H(ShiftReg, b, 0, 1) H(ShiftReg, b, 1, 1) \
    H(ShiftReg, b, 2, 1) H(ShiftReg, b, 3, 1) H(ShiftReg, b, 4, 1) H(ShiftReg, b, 5, 1) H(ShiftReg, b, 6, 1) \
    H(ShiftReg, b, 7, 1)

#define MORVEL_REGS(H, F, b, p) \
    H(F, b, p, 0) H(F, b, p, 1) H(F, b, p, 2) H(F, b, p, 3) H(F, b, p, 4) H(F, b, p, 5) H(F, b, p, 6) H(F, b, p, 7)
#define MORVEL_REG_PAIRS(H, F, b) \
    MORVEL_REGS(H, F, b, 0) MORVEL_REGS(H, F, b, 1) MORVEL_REGS(H, F, b, 2) MORVEL_REGS(H, F, b, 3) \
    MORVEL_REGS(H, F, b, 4) MORVEL_REGS(H, F, b, 5) MORVEL_REGS(H, F, b, 6) MORVEL_REGS(H, F, b, 7)

#define MORVEL_HANDLERS(H)                                                                               \
    MORVEL_ONE(H, Illegal) MORVEL_ONE(H, Unimplemented) MORVEL_ONE(H, LineA) MORVEL_ONE(H, LineF)          \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, Imm, 0) MORVEL_SIZES(MORVEL_RARE_EAS, H, Imm, 1)                       \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, Imm, 2) MORVEL_SIZES(MORVEL_RARE_EAS, H, Imm, 3)                       \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, Imm, 5) MORVEL_SIZES(MORVEL_DST_EAS, H, Imm, 6)                       \
    H(ImmCcr, 0, 0, 0) H(ImmCcr, 0, 1, 0) H(ImmCcr, 0, 5, 0)                                              \
    H(Bit, 0, 0, 0) H(Bit, 1, 0, 0) H(Bit, 2, 0, 0) H(Bit, 3, 0, 0)                                       \
    H(Bit, 0, 1, 0) H(Bit, 1, 1, 0) H(Bit, 2, 1, 0) H(Bit, 3, 1, 0)                                       \
    H(Bit, 0, 0, 12) H(Bit, 1, 0, 12) H(Bit, 2, 0, 12) H(Bit, 3, 0, 12)                                   \
    H(Bit, 0, 1, 12) H(Bit, 1, 1, 12) H(Bit, 2, 1, 12) H(Bit, 3, 1, 12)                                   \
    MORVEL_ONE(H, Movep)                                                                                  \
    MORVEL_MOVE(H, 1) MORVEL_MOVE(H, 2) MORVEL_MOVE(H, 4)                                                 \
    MORVEL_SIZES_WL(MORVEL_SRC_EAS, H, MoveA, 0)                                                          \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, Negx, 0) MORVEL_SIZES(MORVEL_DST_EAS, H, Clr, 0)                      \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, Neg, 0) MORVEL_SIZES(MORVEL_RARE_EAS, H, Not, 0)                       \
    MORVEL_SIZES(MORVEL_DST_EAS, H, Tst, 0)                                                               \
    MORVEL_ONE(H, MoveFromSr) MORVEL_ONE(H, MoveToCcr) MORVEL_ONE(H, Nbcd) MORVEL_ONE(H, Swap)            \
    MORVEL_CTL_EAS(H, Pea, 0, 0) MORVEL_CTL_EAS(H, Lea, 0, 0)                                             \
    MORVEL_ONE(H, ExtW) MORVEL_ONE(H, ExtL) MORVEL_ONE(H, Tas)                                             \
    H(MovemToMem, 2, 0, 2) H(MovemToMem, 2, 0, 4) H(MovemToMem, 2, 0, 12)                                 \
    H(MovemToMem, 4, 0, 2) H(MovemToMem, 4, 0, 4) H(MovemToMem, 4, 0, 12)                                 \
    H(MovemToReg, 2, 0, 2) H(MovemToReg, 2, 0, 3) H(MovemToReg, 2, 0, 12)                                 \
    H(MovemToReg, 4, 0, 2) H(MovemToReg, 4, 0, 3) H(MovemToReg, 4, 0, 12)                                 \
    MORVEL_ONE(H, Chk) MORVEL_ONE(H, Trap15) H(TrapNub, 128, 0, 0) H(TrapNub, 188, 0, 0)                  \
    MORVEL_ONE(H, Link) MORVEL_ONE(H, Unlk) MORVEL_ONE(H, Nop) MORVEL_ONE(H, Rts) MORVEL_ONE(H, Rtr)      \
    MORVEL_ONE(H, Trapv) MORVEL_CTL_EAS(H, Jsr, 0, 0) MORVEL_CTL_EAS(H, Jmp, 0, 0)                        \
    MORVEL_SIZES(MORVEL_DST_EAS, H, Addq, 0) MORVEL_SIZES(MORVEL_DST_EAS, H, Addq, 1)                     \
    H(Addq, 2, 0, 1) H(Addq, 4, 0, 1) H(Addq, 2, 1, 1) H(Addq, 4, 1, 1)                                   \
    MORVEL_ONE(H, Scc) MORVEL_CONDS(H, Dbcc, 0)                                                           \
    MORVEL_CONDS(H, Bcc, 0) MORVEL_CONDS(H, Bcc, 1) H(Bsr, 0, 0, 0) H(Bsr, 0, 1, 0)                       \
    MORVEL_ONE(H, Moveq)                                                                                  \
    MORVEL_SIZES(MORVEL_SRC_EAS, H, AluToReg, 0) MORVEL_SIZES(MORVEL_SRC_EAS, H, AluToReg, 1)             \
    MORVEL_SIZES(MORVEL_SRC_EAS, H, AluToReg, 2) MORVEL_SIZES(MORVEL_SRC_EAS, H, AluToReg, 3)             \
    MORVEL_SIZES(MORVEL_SRC_EAS, H, AluToReg, 4)                                                          \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, AluToMem, 0) MORVEL_SIZES(MORVEL_RARE_EAS, H, AluToMem, 1)             \
    MORVEL_SIZES(MORVEL_MEM_EAS, H, AluToMem, 2) MORVEL_SIZES(MORVEL_MEM_EAS, H, AluToMem, 3)             \
    MORVEL_SIZES(MORVEL_RARE_EAS, H, AluToMem, 5)                                                          \
    MORVEL_SIZES_WL(MORVEL_SRC_EAS, H, AluA, 2) MORVEL_SIZES_WL(MORVEL_SRC_EAS, H, AluA, 3)               \
    MORVEL_SIZES_WL(MORVEL_SRC_EAS, H, AluA, 4)                                                           \
    H(Addx, 1, 0, 0) H(Addx, 2, 0, 0) H(Addx, 4, 0, 0) H(Addx, 1, 1, 0) H(Addx, 2, 1, 0) H(Addx, 4, 1, 0) \
    H(Cmpm, 1, 0, 0) H(Cmpm, 2, 0, 0) H(Cmpm, 4, 0, 0) H(Bcd, 0, 0, 0) H(Bcd, 0, 1, 0)                    \
    H(Mulu, 0, 0, 0) H(Mulu, 0, 0, 12) H(Muls, 0, 0, 0) H(Muls, 0, 0, 12)                                 \
    H(Divu, 0, 0, 12) H(Divs, 0, 0, 12) MORVEL_ONE(H, Exg)                                                 \
    MORVEL_SHIFTS(H, 1) MORVEL_SHIFTS(H, 2) MORVEL_SHIFTS(H, 4)                                           \
    H(ShiftMem, 0, 0, 0) H(ShiftMem, 1, 0, 0) H(ShiftMem, 2, 0, 0) H(ShiftMem, 3, 0, 0)                   \
    H(ShiftMem, 4, 0, 0) H(ShiftMem, 5, 0, 0) H(ShiftMem, 6, 0, 0) H(ShiftMem, 7, 0, 0)                   \
    MORVEL_REGS(H, MoveqR, 0, 0) MORVEL_REGS(H, AddqR, 0, 0) MORVEL_REGS(H, AddqR, 0, 1)                  \
    MORVEL_REG_PAIRS(H, MoveDD, 4) MORVEL_REG_PAIRS(H, AluDD, 0) MORVEL_REG_PAIRS(H, AluDD, 1)            \
    MORVEL_REG_PAIRS(H, AluDD, 2) MORVEL_REG_PAIRS(H, AluDD, 3) MORVEL_REG_PAIRS(H, AluDD, 4)             \
    MORVEL_REG_PAIRS(H, AluDD, 5) MORVEL_REG_PAIRS(H, CmpDD, 1) MORVEL_REG_PAIRS(H, CmpDD, 2)             \
    MORVEL_REGS(H, TstD, 1, 0) MORVEL_REGS(H, TstD, 2, 0) MORVEL_REGS(H, TstD, 4, 0)                      \
    MORVEL_REGS(H, AddqA, 0, 0) MORVEL_REGS(H, AddqA, 0, 1)                                              \
    MORVEL_REGS(H, ShiftImmR, 0, 0) MORVEL_REGS(H, ShiftImmR, 1, 0) MORVEL_REGS(H, ShiftImmR, 2, 0)      \
    MORVEL_REGS(H, ShiftImmR, 3, 0)

// Handler families, named as the handlers without their H.
enum class Fam : uint8_t {
    Illegal, Unimplemented, LineA, LineF, Imm, ImmCcr, Bit, Movep, Move, MoveA, Negx, Clr, Neg, Not, Tst,
    MoveFromSr, MoveToCcr, Nbcd, Swap, Pea, Lea, ExtW, ExtL, Tas, MovemToMem, MovemToReg, Chk, Trap15,
    TrapNub, Link, Unlk, Nop, Rts, Rtr, Trapv, Jsr, Jmp, Addq, Scc, Dbcc, Bcc, Bsr, Moveq, AluToReg,
    AluToMem, AluA, Addx, Cmpm, Bcd, Mulu, Muls, Divu, Divs, Exg, ShiftReg, ShiftMem, MoveqR, AddqR, MoveDD,
    AluDD, CmpDD, TstD, AddqA, ShiftImmR,
};

// A handler's identity: its family and its three template arguments.
constexpr uint32_t Key(Fam f, uint32_t b = 0, uint32_t p = 0, uint32_t e = 0) {
    return static_cast<uint32_t>(f) << 24 | b << 16 | p << 8 | e;
}

#define MORVEL_KEY(F, b, p, e) Key(Fam::F, b, p, e),
constexpr uint32_t kKeys[] = {MORVEL_HANDLERS(MORVEL_KEY)};
constexpr size_t kHandlerCount = sizeof kKeys / sizeof kKeys[0];

// ---- decoding: each opcode word to the key of its handler ----

enum : uint32_t {
    kDn = 1 << 0, kAn = 1 << 1, kInd = 1 << 2, kPost = 1 << 3, kPre = 1 << 4, kD16 = 1 << 5, kIdx = 1 << 6,
    kAbsW = 1 << 7, kAbsL = 1 << 8, kPcD16 = 1 << 9, kPcIdx = 1 << 10, kImm = 1 << 11,
    kAll = 0xFFF,
    kData = kAll & ~kAn,
    kMemory = kAll & ~(kDn | kAn),
    kControl = kInd | kD16 | kIdx | kAbsW | kAbsL | kPcD16 | kPcIdx,
    kAlterable = kDn | kAn | kInd | kPost | kPre | kD16 | kIdx | kAbsW | kAbsL,
    kDataAlt = kAlterable & ~kAn,
    kMemAlt = kAlterable & ~(kDn | kAn),
    kCtrlAlt = kControl & kAlterable,
};

bool EaOk(uint32_t modeReg, uint32_t allowed) {
    uint32_t mode = (modeReg >> 3) & 7, reg = modeReg & 7;
    uint32_t kind = mode < 7 ? mode : (reg <= 4 ? 7 + reg : 99);
    return kind < 12 && (allowed & (1u << kind));
}
// The kind of the operand in bits 5-0.
uint32_t Ea(uint32_t op) { return static_cast<uint32_t>(EaKind((op >> 3) & 7, op & 7)); }
uint32_t SizeBytes(uint32_t size) { return size == 0 ? 1 : size == 1 ? 2 : 4; }

constexpr uint32_t kIllegal = Key(Fam::Illegal), kUnimplemented = Key(Fam::Unimplemented);

uint32_t DecodeLine0(uint32_t op) {
    uint32_t ea = op & 0x3F, size = (op >> 6) & 3;
    if (op & 0x100) {
        if (((op >> 3) & 7) == 1) return Key(Fam::Movep);
        if (!EaOk(ea, size == 0 ? kData : kDataAlt)) return kIllegal;
        return Key(Fam::Bit, size, 0, Ea(op));
    }
    uint32_t top = (op >> 9) & 7;
    if (top == 4) {  // static bit operations
        if ((op & 0xFF00) != 0x0800) return kIllegal;
        if (!EaOk(ea, size == 0 ? (kData & ~kImm) : kDataAlt)) return kIllegal;
        return Key(Fam::Bit, size, 1, Ea(op));
    }
    if (size == 3) return kIllegal;
    if (top == 7) return kUnimplemented;  // MOVES
    if (ea == 0x3C && (top == 0 || top == 1 || top == 5)) {
        if (size == 0 || size == 1) return Key(Fam::ImmCcr, 0, top);
        return kIllegal;
    }
    if (!EaOk(ea, kDataAlt)) return kIllegal;
    return Key(Fam::Imm, SizeBytes(size), top, Ea(op));
}

uint32_t DecodeMove(uint32_t op) {
    uint32_t line = op >> 12;
    uint32_t size = line == 1 ? 1 : line == 3 ? 2 : 4;
    uint32_t src = op & 0x3F;
    uint32_t dst = ((op >> 9) & 7) | (((op >> 6) & 7) << 3);
    if (!EaOk(src, kAll) || (size == 1 && (src >> 3) == 1)) return kIllegal;
    if ((dst >> 3) == 1) {
        if (size == 1) return kIllegal;
        return Key(Fam::MoveA, size, 0, Ea(op));
    }
    if (!EaOk(dst, kDataAlt)) return kIllegal;
    return Key(Fam::Move, size, static_cast<uint32_t>(EaKind(dst >> 3, dst & 7)), Ea(op));
}

uint32_t DecodeLine4(uint32_t op) {
    uint32_t ea = op & 0x3F, size = (op >> 6) & 3, mode = (op >> 3) & 7;
    uint32_t bytes = SizeBytes(size);
    if (op & 0x100) {
        if (size == 2) return EaOk(ea, kData) ? Key(Fam::Chk) : kIllegal;
        if (size == 3) return EaOk(ea, kControl) ? Key(Fam::Lea, 0, 0, Ea(op)) : kIllegal;
        return kIllegal;
    }
    switch ((op >> 8) & 0xF) {
        case 0x0:
            if (!EaOk(ea, kDataAlt)) return kIllegal;
            return size == 3 ? Key(Fam::MoveFromSr) : Key(Fam::Negx, bytes, 0, Ea(op));
        case 0x2:
            if (!EaOk(ea, kDataAlt)) return kIllegal;
            return size == 3 ? Key(Fam::MoveFromSr) : Key(Fam::Clr, bytes, 0, Ea(op));
        case 0x4:
            if (size == 3) return EaOk(ea, kData) ? Key(Fam::MoveToCcr) : kIllegal;
            return EaOk(ea, kDataAlt) ? Key(Fam::Neg, bytes, 0, Ea(op)) : kIllegal;
        case 0x6:
            if (size == 3) return EaOk(ea, kData) ? Key(Fam::MoveToCcr) : kIllegal;
            return EaOk(ea, kDataAlt) ? Key(Fam::Not, bytes, 0, Ea(op)) : kIllegal;
        case 0x8:
            switch (size) {
                case 0: return EaOk(ea, kDataAlt) ? Key(Fam::Nbcd) : kIllegal;
                case 1:
                    if (mode == 0) return Key(Fam::Swap);
                    return EaOk(ea, kControl) ? Key(Fam::Pea, 0, 0, Ea(op)) : kIllegal;
                default:
                    if (mode == 0) return Key(size == 2 ? Fam::ExtW : Fam::ExtL);
                    if (!EaOk(ea, kCtrlAlt | kPre)) return kIllegal;
                    return Key(Fam::MovemToMem, size == 2 ? 2 : 4, 0, Ea(op));
            }
        case 0xA:
            if (size == 3) return EaOk(ea, kDataAlt) ? Key(Fam::Tas) : kIllegal;
            return EaOk(ea, kDataAlt) ? Key(Fam::Tst, bytes, 0, Ea(op)) : kIllegal;
        case 0xC:
            if (size < 2) return kIllegal;
            if (!EaOk(ea, kControl | kPost)) return kIllegal;
            return Key(Fam::MovemToReg, size == 2 ? 2 : 4, 0, Ea(op));
        case 0xE:
            if (size == 2) return EaOk(ea, kControl) ? Key(Fam::Jsr, 0, 0, Ea(op)) : kIllegal;
            if (size == 3) return EaOk(ea, kControl) ? Key(Fam::Jmp, 0, 0, Ea(op)) : kIllegal;
            if (size == 0) return kIllegal;  // 0x4E00-0x4E3F
            switch ((op >> 3) & 7) {
                case 0:
                case 1:
                    if ((op & 0xF) == 15) return Key(Fam::Trap15);
                    if ((op & 0xF) == 0) return Key(Fam::TrapNub, 0x80);
                    if ((op & 0xF) == 8) return Key(Fam::TrapNub, 0xBC);
                    return kUnimplemented;
                case 2: return Key(Fam::Link);
                case 3: return Key(Fam::Unlk);
                case 4:
                case 5: return kUnimplemented;  // MOVE USP
                case 6:
                    switch (op & 7) {
                        case 1: return Key(Fam::Nop);
                        case 5: return Key(Fam::Rts);
                        case 6: return Key(Fam::Trapv);
                        case 7: return Key(Fam::Rtr);
                        default: return kUnimplemented;  // RESET, STOP, RTE, RTD
                    }
                default:
                    return ((op & 7) == 2 || (op & 7) == 3) ? kUnimplemented : kIllegal;  // MOVEC
            }
        default:
            return kIllegal;
    }
}

uint32_t DecodeLine5(uint32_t op) {
    uint32_t ea = op & 0x3F, size = (op >> 6) & 3;
    if (size == 3) {
        if (((op >> 3) & 7) == 1) return Key(Fam::Dbcc, (op >> 8) & 15);
        return EaOk(ea, kDataAlt) ? Key(Fam::Scc) : kIllegal;
    }
    if (!EaOk(ea, kAlterable) || (size == 0 && ((op >> 3) & 7) == 1)) return kIllegal;
    return Key(Fam::Addq, SizeBytes(size), (op >> 8) & 1, Ea(op));
}

// Lines 8 (OR), 9 (SUB), B (CMP, EOR), C (AND), D (ADD).
uint32_t DecodeAlu(uint32_t op) {
    uint32_t line = op >> 12, ea = op & 0x3F, opmode = (op >> 6) & 7, mode = (op >> 3) & 7;
    uint32_t size = opmode & 3, bytes = SizeBytes(size);
    bool isAddr = mode == 1;
    switch (line) {
        case 0x8:
        case 0xC: {
            bool isOr = line == 8;
            if (opmode == 3) return EaOk(ea, kData) ? Key(isOr ? Fam::Divu : Fam::Mulu, 0, 0, Ea(op)) : kIllegal;
            if (opmode == 7) return EaOk(ea, kData) ? Key(isOr ? Fam::Divs : Fam::Muls, 0, 0, Ea(op)) : kIllegal;
            if (opmode < 3) {
                if (!EaOk(ea, kData)) return kIllegal;
                return Key(Fam::AluToReg, bytes, isOr ? 0 : 1, Ea(op));
            }
            if (mode <= 1) {
                if (opmode == 4) return Key(Fam::Bcd, 0, isOr ? 1 : 0);
                if (!isOr && opmode == 5) return Key(Fam::Exg);
                if (!isOr && opmode == 6 && mode == 1) return Key(Fam::Exg);
                return kIllegal;
            }
            if (!EaOk(ea, kMemAlt)) return kIllegal;
            return Key(Fam::AluToMem, bytes, isOr ? 0 : 1, Ea(op));
        }
        case 0x9:
        case 0xD: {
            uint32_t kind = line == 9 ? 2 : 3;
            if (opmode == 3 || opmode == 7) {
                if (!EaOk(ea, kAll)) return kIllegal;
                return Key(Fam::AluA, opmode == 3 ? 2 : 4, kind, Ea(op));
            }
            if (opmode < 3) {
                if (!EaOk(ea, kAll) || (size == 0 && isAddr)) return kIllegal;
                return Key(Fam::AluToReg, bytes, kind, Ea(op));
            }
            if (mode <= 1) return Key(Fam::Addx, bytes, line == 9 ? 1 : 0);
            if (!EaOk(ea, kMemAlt)) return kIllegal;
            return Key(Fam::AluToMem, bytes, kind, Ea(op));
        }
        default: {  // 0xB
            if (opmode == 3) return EaOk(ea, kAll) ? Key(Fam::AluA, 2, 4, Ea(op)) : kIllegal;
            if (opmode == 7) return EaOk(ea, kAll) ? Key(Fam::AluA, 4, 4, Ea(op)) : kIllegal;
            if (opmode < 3) {
                if (!EaOk(ea, kAll) || (size == 0 && isAddr)) return kIllegal;
                return Key(Fam::AluToReg, bytes, 4, Ea(op));
            }
            if (isAddr) return Key(Fam::Cmpm, bytes);
            if (!EaOk(ea, kDataAlt)) return kIllegal;
            return Key(Fam::AluToMem, bytes, 5, Ea(op));
        }
    }
}

uint32_t DecodeLineE(uint32_t op) {
    uint32_t size = (op >> 6) & 3;
    uint32_t left = (op >> 8) & 1;
    if (size == 3) {
        if (op & 0x800) return kIllegal;  // bit-field instructions of later processors
        if (!EaOk(op & 0x3F, kMemAlt)) return kIllegal;
        return Key(Fam::ShiftMem, ((op >> 9) & 3) * 2 + left);
    }
    return Key(Fam::ShiftReg, SizeBytes(size), ((op >> 3) & 3) * 2 + left, (op & 0x20) ? 0 : 1);
}

uint32_t Decode(uint32_t op) {
    switch (op >> 12) {
        case 0x0: return DecodeLine0(op);
        case 0x1:
        case 0x2:
        case 0x3: return DecodeMove(op);
        case 0x4: return DecodeLine4(op);
        case 0x5: return DecodeLine5(op);
        case 0x6: {
            uint32_t wide = (op & 0xFF) == 0;
            if (((op >> 8) & 0xF) == 1) return Key(Fam::Bsr, 0, wide);
            return Key(Fam::Bcc, (op >> 8) & 0xF, wide);
        }
        case 0x7: return (op & 0x100) ? kIllegal : Key(Fam::Moveq);
        case 0xA: return Key(Fam::LineA);
        case 0xE: return DecodeLineE(op);
        case 0xF: return Key(Fam::LineF);
        default: return DecodeAlu(op);
    }
}

// The register-numbered handler of a decoded form, where it has one; else the key itself.
uint32_t Specialise(uint32_t op, uint32_t key) {
    uint32_t rx = (op >> 9) & 7, ry = op & 7;
    if (key == Key(Fam::Moveq)) return Key(Fam::MoveqR, 0, 0, rx);
    if (key == Key(Fam::Move, 4, kEDn, kEDn)) return Key(Fam::MoveDD, 4, rx, ry);
    if (key == Key(Fam::Addq, 4, 0, kEDn) || key == Key(Fam::Addq, 4, 1, kEDn))
        return Key(Fam::AddqR, 0, (key >> 8) & 0xFF, ry);
    for (uint32_t kind = 0; kind < 5; ++kind)
        if (key == Key(Fam::AluToReg, 4, kind, kEDn)) return Key(Fam::AluDD, kind, rx, ry);
    if (key == Key(Fam::AluToMem, 4, 5, kEDn)) return Key(Fam::AluDD, 5, ry, rx);  // EOR Dx,Dy: Dy changes
    for (uint32_t b : {1u, 2u}) {
        if (key == Key(Fam::AluToReg, b, 4, kEDn)) return Key(Fam::CmpDD, b, rx, ry);
        if (key == Key(Fam::Addq, b == 1 ? 2 : 4, 0, kEAn) || key == Key(Fam::Addq, b == 1 ? 2 : 4, 1, kEAn))
            return Key(Fam::AddqA, 0, (key >> 8) & 0xFF, ry);
    }
    for (uint32_t b : {1u, 2u, 4u})
        if (key == Key(Fam::Tst, b, 0, kEDn)) return Key(Fam::TstD, b, 0, ry);
    for (uint32_t type = 0; type < 4; ++type)
        if (key == Key(Fam::ShiftReg, 4, type, 1)) return Key(Fam::ShiftImmR, type, 0, ry);
    return key;
}

// Fills the dispatch table: every opcode word to the label of its handler. A key whose operand kind
// has no handler of its own takes the kEAny handler of the same operation.
bool BuildTable(const void* const* labels, const void** table) {
    std::vector<std::pair<uint32_t, const void*>> byKey(kHandlerCount);
    for (size_t i = 0; i < kHandlerCount; ++i) byKey[i] = {kKeys[i], labels[i]};
    std::sort(byKey.begin(), byKey.end());
    auto find = [&](uint32_t key) -> const void* {
        auto it = std::lower_bound(byKey.begin(), byKey.end(), std::make_pair(key, static_cast<const void*>(nullptr)));
        return it != byKey.end() && it->first == key ? it->second : nullptr;
    };
    for (uint32_t raw = 0; raw < 65536; ++raw) {
        uint32_t op = Swap16(raw);
        uint32_t key = Specialise(op, Decode(op));
        const void* label = find(key);
        if (!label) label = find((key & ~0xFFu) | kEAny);
        if (!label) label = find((key & ~0xFF00u) | kEAny << 8);
        if (!label) label = find((key & ~0xFFFFu) | kEAny << 8 | kEAny);
        if (!label) {
            std::fprintf(stderr, "morvel: no handler for opcode %04x (key %08x)\n", op, key);
            std::abort();
        }
        table[raw] = label;
    }
    return true;
}

// The dispatch table in the module's data, filled on first use.
[[gnu::noinline]] const void* const* DispatchTable(const void* const* labels) {
    static const void* table[65536];
    [[maybe_unused]] static const bool built = BuildTable(labels, table);
    return table;
}

// The table of the trace step: every entry is the same label.
const void* const* TraceTable(const void* label) {
    static const std::vector<const void*> table(65536, label);
    return table.data();
}

}  // namespace

bool MorvelConditionHolds(uint32_t cc, uint32_t nzvc) { return kCond.t[(cc & 15) << 4 | (nzvc & 15)]; }

uint32_t MorvelComposeCcr(uint32_t n, uint32_t nz, uint32_t v, uint32_t c, uint32_t x) {
    return (x << 4) | ((n >> 28) & 8) | (nz ? 0 : 4) | (v << 1) | c;
}

void MorvelSetNubEntry(NubEntry entry) { gNubEntry = entry; }
void MorvelEnterNub(EmulState* s, uint16_t vectorOffset) {
    if (gNubEntry) gNubEntry(s, vectorOffset);
}

uint16_t MorvelMainLoop(EmulState* s) {
#define MORVEL_LABEL_ADDR(F, b, p, e) &&L_##F##_##b##_##p##_##e,
    static const void* const kLabels[] = {MORVEL_HANDLERS(MORVEL_LABEL_ADDR)};
    static_assert(sizeof kLabels / sizeof kLabels[0] == kHandlerCount);
    // The table lives in the module's own data, not on the heap: it goes with the module when the
    // module is unloaded, and no thread still in this loop at exit meets a freed table. Its address
    // comes from a call the compiler cannot see through, so that it keeps it in a register as it
    // did a heap pointer, instead of rebuilding it from the module's base in the loop.
    static const void* const* const table = DispatchTable(kLabels);

    JitFrame frame;
    uint32_t* const regs = frame.R;
    Cpu c;
    c.R = regs;
    c.s = s;
    Load(c);
    const void* const* tbl = table;
    uint32_t raw;  // the opcode word as stored
    Flow flow;

// The next instruction through the current table (the trace step's while a trace bit is set).
#define MORVEL_DISPATCH()     \
    do {                      \
        raw = FetchRaw(c);    \
        goto* tbl[raw];       \
    } while (0)
// Tables chosen after the state came back from native code.
#define MORVEL_SELECT() (tbl = (c.srHigh & (kSrTrace0 | kSrTrace1)) ? TraceTable(&&trace_step) : table)

    // The first instruction of a run runs without the trace step.
    MORVEL_SELECT();
#ifdef MORVEL_JIT
    if (tbl == table) {
        flow = kBranch;
        goto moved;
    }
#endif
    raw = FetchRaw(c);
    goto* table[raw];

#define MORVEL_BODY(F, b, p, e)                \
    L_##F##_##b##_##p##_##e:                   \
    flow = H##F<b, p, e>(c, Swap16(raw));      \
    if (flow != kNext) goto after_native;      \
    MORVEL_DISPATCH();
    MORVEL_HANDLERS(MORVEL_BODY)

after_native:
#ifdef MORVEL_JIT
    if (flow == kBranch) {
        // Translated code runs only while no trace bit is set; it leaves the state exact at the
        // instruction it hands back.
        if (tbl != table) MORVEL_DISPATCH();
    moved:
        frame.pc = c.pc;
        frame.res = c.res;
        frame.vc = c.vc;
        frame.x = c.x;
        JitRun(&frame);
        c.pc = frame.pc;
        c.res = frame.res;
        c.vc = frame.vc;
        c.x = frame.x;
        MORVEL_DISPATCH();
    }
#endif
    if (flow == kStop) {
        std::memcpy(s->D, regs, sizeof s->D);
        std::memcpy(s->A, regs + 8, sizeof s->A);
        s->PC = c.pc;
        s->SR = c.srHigh | Ccr(c);
        return 0;
    }
    MORVEL_SELECT();
    if (flow == kReload) MORVEL_DISPATCH();
    raw = FetchRaw(c);
    goto* table[raw];

trace_step:
    // Before the instruction just fetched: with bit 15 the nub is entered with the state stored
    // at that instruction, with bit 14 alone PC and SR are stored. The instruction then runs
    // without the trace step.
    c.pc -= 2;
    if (c.srHigh & kSrTrace1) {
        Save(c, s->opcode);
        if (gNubEntry) gNubEntry(s, 0x24);
        Load(c);
        MORVEL_SELECT();
    } else {
        s->PC = c.pc;
        s->SR = c.srHigh | Ccr(c);
    }
    raw = FetchRaw(c);
    goto* table[raw];

#undef MORVEL_DISPATCH
#undef MORVEL_SELECT
#undef MORVEL_BODY
#undef MORVEL_LABEL_ADDR
}

void MorvelEndRun(EmulState* state, uint16_t value) { throw RunUnwind{state->jumpChain, value, false}; }

uint16_t MorvelRun(EmulState* s) {
    RunFrame frame{s->jumpChain, s->runDepth + 1};
    // Whatever way the run ends, the chain and depth of the enclosing run come back.
    struct Restore {
        EmulState* s;
        RunFrame* prev;
        uint32_t depth;
        ~Restore() {
            s->jumpChain = prev;
            s->runDepth = depth;
        }
    } restore{s, s->jumpChain, s->runDepth};
    s->jumpChain = &frame;
    s->runDepth = frame.depth;
    s->running = 1;
    for (;;) {
        try {
            return MorvelMainLoop(s);
        } catch (const RunUnwind& u) {
            if (u.target != &frame) {
                s->running = 0;
                throw;
            }
            if (u.resume) {
                s->running = 1;
                continue;
            }
            s->running = 0;
            return u.value;
        }
    }
}

uint16_t Call68KCode(EmulState* s, uint32_t address, uint32_t argBytes) {
    s->A[7] -= argBytes + 4;
    Wr32(s->A[7], kReturnMarker);
    uint32_t savedPc = s->PC;
    s->PC = address;
    uint16_t r = MorvelRun(s);
    s->A[7] += argBytes;
    s->PC = savedPc;
    return r;
}

}  // namespace morvel
