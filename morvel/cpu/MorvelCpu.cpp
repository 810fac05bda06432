// The 68K interpreter.
//
// Every opcode word is decoded once, at first use of the interpreter, into a 65536-entry table of
// handlers; a handler decodes its register and mode fields from the opcode with a few shifts.
// While a run is in progress PC and the condition codes live in a working record on the native
// stack (N and Z are kept as the last result, so most instructions set them with two stores); the
// register file stays in the EmulState. The record's PC and SR are written back whenever the loop
// leaves for native code and reloaded afterwards, so native code may change any of them.
#include "morvel/cpu/MorvelCpu.h"

#include <cstdio>
#include <cstring>

#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapDispatch.h"

namespace morvel {
namespace {

// ---- memory: 68K addresses are native addresses, data is big-endian ----

inline uint8_t* Mem(uint32_t a) { return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(a)); }
inline uint32_t Rd8(uint32_t a) { return *Mem(a); }
inline uint32_t Rd16(uint32_t a) {
    uint16_t v;
    std::memcpy(&v, Mem(a), 2);
    return __builtin_bswap16(v);
}
inline uint32_t Rd32(uint32_t a) {
    uint32_t v;
    std::memcpy(&v, Mem(a), 4);
    return __builtin_bswap32(v);
}
inline void Wr8(uint32_t a, uint32_t v) { *Mem(a) = static_cast<uint8_t>(v); }
inline void Wr16(uint32_t a, uint32_t v) {
    uint16_t w = __builtin_bswap16(static_cast<uint16_t>(v));
    std::memcpy(Mem(a), &w, 2);
}
inline void Wr32(uint32_t a, uint32_t v) {
    uint32_t w = __builtin_bswap32(v);
    std::memcpy(Mem(a), &w, 4);
}

template <int B>
constexpr uint32_t kMask = B == 1 ? 0xFFu : B == 2 ? 0xFFFFu : 0xFFFFFFFFu;
template <int B>
constexpr uint32_t kMsb = B == 1 ? 0x80u : B == 2 ? 0x8000u : 0x80000000u;

template <int B>
inline uint32_t Sext(uint32_t v) {
    if constexpr (B == 1) return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v)));
    if constexpr (B == 2) return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
    return v;
}
template <int B>
inline uint32_t RdM(uint32_t a) {
    if constexpr (B == 1) return Rd8(a);
    if constexpr (B == 2) return Rd16(a);
    return Rd32(a);
}
template <int B>
inline void WrM(uint32_t a, uint32_t v) {
    if constexpr (B == 1) Wr8(a, v);
    if constexpr (B == 2) Wr16(a, v);
    if constexpr (B == 4) Wr32(a, v);
}

// ---- working state of one run ----

struct Cpu {
    uint32_t* R;  // D0-D7, A0-A7 of the record
    uint32_t pc;
    uint32_t n;   // bit 31 is N
    uint32_t nz;  // 0 when Z is set
    uint32_t v, c, x;
    uint32_t srHigh;  // SR bits other than the condition codes
    uint32_t attn;    // non-zero: look at stop and trace after this instruction
    uint32_t stop;
    uint32_t noTraceOnce;
    EmulState* s;
};

using Handler = void (*)(Cpu&, uint32_t);

inline uint32_t Fetch16(Cpu& c) {
    uint32_t w = Rd16(c.pc);
    c.pc += 2;
    return w;
}
inline uint32_t Fetch32(Cpu& c) {
    uint32_t w = Rd32(c.pc);
    c.pc += 4;
    return w;
}

inline uint32_t Ccr(const Cpu& c) {
    return MorvelComposeCcr(c.n, c.nz, c.v, c.c, c.x);
}
inline void SetCcr(Cpu& c, uint32_t ccr) {
    c.c = ccr & 1;
    c.v = (ccr >> 1) & 1;
    c.nz = (ccr & kSrZ) ? 0 : 1;
    c.n = (ccr & kSrN) ? 0x80000000u : 0;
    c.x = (ccr >> 4) & 1;
}
inline void UpdateAttn(Cpu& c) { c.attn = c.stop | c.noTraceOnce | (c.srHigh & (kSrTrace0 | kSrTrace1)); }

// Leaves for native code: the record gets PC, SR and the opcode.
inline void Save(Cpu& c, uint32_t op) {
    c.s->PC = c.pc;
    c.s->SR = c.srHigh | Ccr(c);
    c.s->opcode = op;
}
inline void Load(Cpu& c) {
    c.pc = c.s->PC;
    c.srHigh = c.s->SR & ~kSrCcr;
    SetCcr(c, c.s->SR);
    UpdateAttn(c);
}

template <int B>
inline void SetNZ(Cpu& c, uint32_t r) {
    c.n = Sext<B>(r);
    c.nz = r & kMask<B>;
}
template <int B>
inline void SetLogic(Cpu& c, uint32_t r) {
    SetNZ<B>(c, r);
    c.v = 0;
    c.c = 0;
}

// ---- reports: each ends the innermost run through the chain ----

[[noreturn]] void Report(Cpu& c, uint32_t op, uint16_t value, uint16_t line, const char* fmt, uint32_t a,
                         uint32_t b, int nargs) {
    Save(c, op);
    char text[100];
    if (nargs == 2)
        std::snprintf(text, sizeof text, fmt, static_cast<unsigned short>(a), static_cast<unsigned long>(b));
    else
        std::snprintf(text, sizeof text, fmt, static_cast<unsigned long>(a));
    ErrDisplayFileLineMsg("MorvelMain", line, text);
    MorvelEndRun(c.s, value);
}

void HIllegal(Cpu& c, uint32_t op) {
    Report(c, op, kRunIllegal, 403, "illegal instruction %hx at address %lx", op, c.pc - 2, 2);
}
void HUnimplemented(Cpu& c, uint32_t op) {
    Report(c, op, kRunUnimplemented, 420, "unimplemented instruction %hx at address %lx", op, c.pc - 2, 2);
}
void HLineA(Cpu& c, uint32_t op) {
    Report(c, op, kRunLine1010, 438, "line 1010 exception at address %lx", c.pc - 2, 0, 1);
}
void HLineF(Cpu& c, uint32_t op) {
    Report(c, op, kRunLine1111, 456, "line 1111 exception at address %lx", c.pc - 2, 0, 1);
}
[[noreturn]] void DivideByZero(Cpu& c, uint32_t op) {
    Report(c, op, kRunDivideByZero, 108, "divide by zero at address %lx", c.pc - 2, 0, 1);
}

// ---- effective addresses ----

inline uint32_t Indexed(Cpu& c, uint32_t base) {
    uint32_t ext = Fetch16(c);
    uint32_t idx = c.R[ext >> 12];
    if (!(ext & 0x800)) idx = Sext<2>(idx);
    return base + Sext<1>(ext) + idx;
}

// Address of a memory operand (modes 2-7); (An)+ and -(An) update An. The immediate mode yields
// the address of the operand inside the instruction stream.
template <int B>
inline uint32_t EaAddr(Cpu& c, uint32_t mode, uint32_t reg) {
    constexpr uint32_t step = B;
    switch (mode) {
        case 2:
            return c.R[8 + reg];
        case 3: {
            uint32_t a = c.R[8 + reg];
            c.R[8 + reg] = a + ((B == 1 && reg == 7) ? 2 : step);
            return a;
        }
        case 4: {
            uint32_t a = c.R[8 + reg] - ((B == 1 && reg == 7) ? 2 : step);
            c.R[8 + reg] = a;
            return a;
        }
        case 5: {
            uint32_t base = c.R[8 + reg];
            return base + Sext<2>(Fetch16(c));
        }
        case 6:
            return Indexed(c, c.R[8 + reg]);
        default:
            switch (reg) {
                case 0:
                    return Sext<2>(Fetch16(c));
                case 1:
                    return Fetch32(c);
                case 2: {
                    uint32_t base = c.pc;
                    return base + Sext<2>(Fetch16(c));
                }
                case 3:
                    return Indexed(c, c.pc);
                default: {
                    uint32_t a = c.pc;
                    c.pc += (B == 4) ? 4 : 2;
                    return B == 1 ? a + 1 : a;
                }
            }
    }
}

template <int B>
inline uint32_t ReadEA(Cpu& c, uint32_t mode, uint32_t reg) {
    if (mode == 0) return c.R[reg] & kMask<B>;
    if (mode == 1) return c.R[8 + reg] & kMask<B>;
    return RdM<B>(EaAddr<B>(c, mode, reg));
}
template <int B>
inline void WrD(Cpu& c, uint32_t reg, uint32_t v) {
    if constexpr (B == 4)
        c.R[reg] = v;
    else
        c.R[reg] = (c.R[reg] & ~kMask<B>) | (v & kMask<B>);
}
template <int B>
inline void WriteEA(Cpu& c, uint32_t mode, uint32_t reg, uint32_t v) {
    if (mode == 0)
        WrD<B>(c, reg, v);
    else
        WrM<B>(EaAddr<B>(c, mode, reg), v);
}
// Read-modify-write of a data-alterable operand.
template <int B, class F>
inline void Rmw(Cpu& c, uint32_t mode, uint32_t reg, F f) {
    if (mode == 0) {
        WrD<B>(c, reg, f(c.R[reg] & kMask<B>));
    } else {
        uint32_t a = EaAddr<B>(c, mode, reg);
        WrM<B>(a, f(RdM<B>(a)));
    }
}

#define MODE ((op >> 3) & 7)
#define REG (op & 7)
#define RX ((op >> 9) & 7)

// ---- arithmetic ----

template <int B>
inline uint32_t Add(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d + s) & kMask<B>;
    c.c = c.x = (B == 4) ? (r < d) : (((d + s) >> (B * 8)) & 1);
    c.v = (((s ^ r) & (d ^ r)) & kMsb<B>) != 0;
    SetNZ<B>(c, r);
    return r;
}
template <int B>
inline uint32_t SubNoX(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d - s) & kMask<B>;
    c.c = s > d;
    c.v = (((s ^ d) & (r ^ d)) & kMsb<B>) != 0;
    SetNZ<B>(c, r);
    return r;
}
template <int B>
inline uint32_t Sub(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = SubNoX<B>(c, d, s);
    c.x = c.c;
    return r;
}
// ADDX, SUBX, NEGX: Z is only cleared, never set.
template <int B>
inline uint32_t Addx(Cpu& c, uint32_t d, uint32_t s) {
    uint64_t t = uint64_t{d} + s + c.x;
    uint32_t r = static_cast<uint32_t>(t) & kMask<B>;
    c.c = c.x = static_cast<uint32_t>(t >> (B * 8)) & 1;
    c.v = (((s ^ r) & (d ^ r)) & kMsb<B>) != 0;
    c.n = Sext<B>(r);
    if (r) c.nz = r;
    return r;
}
template <int B>
inline uint32_t Subx(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d - s - c.x) & kMask<B>;
    c.c = c.x = (uint64_t{s} + c.x) > d;
    c.v = (((s ^ d) & (r ^ d)) & kMsb<B>) != 0;
    c.n = Sext<B>(r);
    if (r) c.nz = r;
    return r;
}

// ---- branch conditions: (condition << 4) | NZVC -> taken ----

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

inline bool Cond(const Cpu& c, uint32_t cc) {
    uint32_t f = ((c.n >> 28) & 8) | (c.nz ? 0 : 4) | (c.v << 1) | c.c;
    return kCond.t[(cc << 4) | f];
}

// ---- line 0: immediates, bit operations, MOVEP ----

template <int B>
inline uint32_t FetchImm(Cpu& c) {
    if constexpr (B == 4) return Fetch32(c);
    return Fetch16(c) & kMask<B>;
}

template <int B, int OP>
void HImm(Cpu& c, uint32_t op) {
    uint32_t imm = FetchImm<B>(c);
    if constexpr (OP == 6) {  // CMPI
        SubNoX<B>(c, ReadEA<B>(c, MODE, REG), imm);
    } else {
        Rmw<B>(c, MODE, REG, [&](uint32_t d) {
            if constexpr (OP == 0) { d |= imm; SetLogic<B>(c, d); return d; }
            if constexpr (OP == 1) { d &= imm; SetLogic<B>(c, d); return d; }
            if constexpr (OP == 2) return Sub<B>(c, d, imm);
            if constexpr (OP == 3) return Add<B>(c, d, imm);
            if constexpr (OP == 5) { d ^= imm; SetLogic<B>(c, d); return d; }
            return d;
        });
    }
}

// ORI, ANDI, EORI to CCR and to SR: only the condition bits change.
template <int OP>
void HImmCcr(Cpu& c, uint32_t) {
    uint32_t imm = Fetch16(c) & kSrCcr;
    uint32_t ccr = Ccr(c);
    if (OP == 0) ccr |= imm;
    if (OP == 1) ccr &= imm | ~kSrCcr;
    if (OP == 5) ccr ^= imm;
    SetCcr(c, ccr);
}

// Bit operations; KIND 0 BTST, 1 BCHG, 2 BCLR, 3 BSET. STATIC takes the bit number from an
// extension word, else from Dn.
template <int KIND, bool STATIC>
void HBit(Cpu& c, uint32_t op) {
    uint32_t bit = STATIC ? Fetch16(c) : c.R[RX];
    uint32_t mode = MODE, reg = REG;
    if (mode == 0) {
        uint32_t m = 1u << (bit & 31);
        c.nz = c.R[reg] & m;
        if (KIND == 1) c.R[reg] ^= m;
        if (KIND == 2) c.R[reg] &= ~m;
        if (KIND == 3) c.R[reg] |= m;
        return;
    }
    uint32_t m = 1u << (bit & 7);
    uint32_t a = EaAddr<1>(c, mode, reg);
    uint32_t d = Rd8(a);
    c.nz = d & m;
    if (KIND == 1) Wr8(a, d ^ m);
    if (KIND == 2) Wr8(a, d & ~m);
    if (KIND == 3) Wr8(a, d | m);
}

void HMovep(Cpu& c, uint32_t op) {
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
        case 3:
            Wr8(a, d >> 24);
            Wr8(a + 2, d >> 16);
            Wr8(a + 4, d >> 8);
            Wr8(a + 6, d);
            break;
    }
}

// ---- lines 1-3: MOVE, MOVEA ----

template <int B>
void HMove(Cpu& c, uint32_t op) {
    uint32_t v = ReadEA<B>(c, MODE, REG);
    uint32_t dmode = (op >> 6) & 7;
    if (dmode == 0)
        WrD<B>(c, RX, v);
    else
        WrM<B>(EaAddr<B>(c, dmode, RX), v);
    SetLogic<B>(c, v);
}
template <int B>
void HMoveA(Cpu& c, uint32_t op) {
    uint32_t v = ReadEA<B>(c, MODE, REG);
    c.R[8 + RX] = Sext<B>(v);
}
// MOVE.L Dn,Dn and MOVE.L (An)+ forms: the common copy loops.
void HMoveLDD(Cpu& c, uint32_t op) {
    uint32_t v = c.R[REG];
    c.R[RX] = v;
    SetLogic<4>(c, v);
}

// ---- line 4 ----

template <int B>
void HNegx(Cpu& c, uint32_t op) {
    Rmw<B>(c, MODE, REG, [&](uint32_t d) { return Subx<B>(c, 0, d); });
}
template <int B>
void HClr(Cpu& c, uint32_t op) {
    if (MODE == 0)
        WrD<B>(c, REG, 0);
    else
        WrM<B>(EaAddr<B>(c, MODE, REG), 0);
    c.n = 0;
    c.nz = 0;
    c.v = c.c = 0;
}
template <int B>
void HNeg(Cpu& c, uint32_t op) {
    Rmw<B>(c, MODE, REG, [&](uint32_t d) { return Sub<B>(c, 0, d); });
}
template <int B>
void HNot(Cpu& c, uint32_t op) {
    Rmw<B>(c, MODE, REG, [&](uint32_t d) {
        d = ~d & kMask<B>;
        SetLogic<B>(c, d);
        return d;
    });
}
template <int B>
void HTst(Cpu& c, uint32_t op) {
    SetLogic<B>(c, ReadEA<B>(c, MODE, REG));
}
// MOVE from SR and MOVE from CCR both yield the condition bits alone.
void HMoveFromSr(Cpu& c, uint32_t op) { WriteEA<2>(c, MODE, REG, Ccr(c)); }
// MOVE to SR and MOVE to CCR replace the condition bits only.
void HMoveToCcr(Cpu& c, uint32_t op) { SetCcr(c, ReadEA<2>(c, MODE, REG)); }

uint8_t Nbcd(Cpu& c, uint32_t d) {
    uint32_t r = (0x9A - d - c.x) & 0xFF;
    if (r != 0x9A) {
        uint32_t v = ~r;
        if ((r & 0x0F) == 0x0A) r = (r & 0xF0) + 0x10;
        r &= 0xFF;
        c.v = (v & r & 0x80) != 0;
        if (r) c.nz = r;
        c.c = c.x = 1;
    } else {
        r = 0;
        c.v = 0;
        c.c = c.x = 0;
    }
    c.n = Sext<1>(r);
    return static_cast<uint8_t>(r);
}
void HNbcd(Cpu& c, uint32_t op) {
    Rmw<1>(c, MODE, REG, [&](uint32_t d) { return Nbcd(c, d); });
}
void HSwap(Cpu& c, uint32_t op) {
    uint32_t v = c.R[REG];
    v = (v >> 16) | (v << 16);
    c.R[REG] = v;
    SetLogic<4>(c, v);
}
void HPea(Cpu& c, uint32_t op) {
    uint32_t a = EaAddr<4>(c, MODE, REG);
    c.R[15] -= 4;
    Wr32(c.R[15], a);
}
void HLea(Cpu& c, uint32_t op) { c.R[8 + RX] = EaAddr<4>(c, MODE, REG); }
void HExtW(Cpu& c, uint32_t op) {
    uint32_t v = Sext<1>(c.R[REG]) & 0xFFFF;
    WrD<2>(c, REG, v);
    SetLogic<2>(c, v);
}
void HExtL(Cpu& c, uint32_t op) {
    uint32_t v = Sext<2>(c.R[REG]);
    c.R[REG] = v;
    SetLogic<4>(c, v);
}
void HTas(Cpu& c, uint32_t op) {
    Rmw<1>(c, MODE, REG, [&](uint32_t d) {
        SetLogic<1>(c, d);
        return d | 0x80;
    });
}

template <int B>
void HMovemToMem(Cpu& c, uint32_t op) {
    uint32_t mask = Fetch16(c);
    uint32_t mode = MODE, reg = REG;
    if (mode == 4) {  // -(An): registers stored from A7 down to D0; An stores its initial value
        uint32_t a = c.R[8 + reg];
        for (uint32_t m = mask; m; m &= m - 1) {
            a -= B;
            WrM<B>(a, c.R[15 - __builtin_ctz(m)]);
        }
        c.R[8 + reg] = a;
        return;
    }
    uint32_t a = EaAddr<B>(c, mode, reg);
    for (uint32_t m = mask; m; m &= m - 1) {
        WrM<B>(a, c.R[__builtin_ctz(m)]);
        a += B;
    }
}
template <int B>
void HMovemToReg(Cpu& c, uint32_t op) {
    uint32_t mask = Fetch16(c);
    uint32_t mode = MODE, reg = REG;
    uint32_t a = mode == 3 ? c.R[8 + reg] : EaAddr<B>(c, mode, reg);
    for (uint32_t m = mask; m; m &= m - 1) {
        c.R[__builtin_ctz(m)] = Sext<B>(RdM<B>(a));
        a += B;
    }
    if (mode == 3) c.R[8 + reg] = a;
}

void HChk(Cpu& c, uint32_t op) {
    int32_t bound = static_cast<int16_t>(ReadEA<2>(c, MODE, REG));
    int32_t d = static_cast<int16_t>(c.R[RX]);
    if (d < 0 || d > bound) {
        c.n = d < 0 ? 0x80000000u : 0;
        HUnimplemented(c, op);
    }
}

void HTrap15(Cpu& c, uint32_t op) {
    uint32_t word = Fetch16(c);
    uint16_t trap = static_cast<uint16_t>((word & 0x0FFF) | 0xA000);
    Save(c, op);
    EmulState* s = c.s;
    uint8_t r = TrapDispatch(s, trap);
    if (r == 0) {
        char text[100];
        std::snprintf(text, sizeof text, "unknown A-trap %hx at address %lx", static_cast<unsigned short>(trap),
                      static_cast<unsigned long>(s->PC - 2));
        ErrDisplayFileLineMsg("MorvelMain", 57, text);
        MorvelEndRun(s, kRunUnknownTrap);
    }
    if (s->running == 0) MorvelEndRun(s, kRunStopped);
    Load(c);
}

NubEntry gNubEntry = nullptr;

template <uint16_t VECTOR>
void HTrapNub(Cpu& c, uint32_t op) {
    Save(c, op);
    if (gNubEntry) gNubEntry(c.s, VECTOR);
    Load(c);
    c.noTraceOnce = 1;
    UpdateAttn(c);
}

void HLink(Cpu& c, uint32_t op) {
    int32_t disp = static_cast<int16_t>(Fetch16(c));
    uint32_t sp = c.R[15] - 4;
    Wr32(sp, c.R[8 + REG]);
    c.R[15] = sp;
    c.R[8 + REG] = sp;
    c.R[15] += static_cast<uint32_t>(disp);
}
void HUnlk(Cpu& c, uint32_t op) {
    uint32_t sp = c.R[8 + REG];
    uint32_t v = Rd32(sp);
    c.R[15] = sp + 4;
    c.R[8 + REG] = v;
}
void HNop(Cpu&, uint32_t) {}

inline void Jump(Cpu& c, uint32_t target) {
    if (target == kReturnMarker) {
        c.stop = 1;
        c.attn = 1;
        return;
    }
    c.pc = target;
}
void HRts(Cpu& c, uint32_t) {
    uint32_t t = Rd32(c.R[15]);
    c.R[15] += 4;
    Jump(c, t);
}
void HRtr(Cpu& c, uint32_t) {
    uint32_t ccr = Rd16(c.R[15]);
    c.R[15] += 2;
    SetCcr(c, ccr);
    HRts(c, 0);
}
void HTrapv(Cpu& c, uint32_t op) {
    if (c.v) HUnimplemented(c, op);
}
void HJsr(Cpu& c, uint32_t op) {
    uint32_t t = EaAddr<4>(c, MODE, REG);
    c.R[15] -= 4;
    Wr32(c.R[15], c.pc);
    c.pc = t;
}
void HJmp(Cpu& c, uint32_t op) { Jump(c, EaAddr<4>(c, MODE, REG)); }

// ---- line 5: ADDQ, SUBQ, Scc, DBcc ----

template <int B, bool SUB>
void HAddq(Cpu& c, uint32_t op) {
    uint32_t q = ((((op >> 9) & 7) - 1) & 7) + 1;  // 0 encodes 8
    if (MODE == 1) {
        c.R[8 + REG] += SUB ? -q : q;
        return;
    }
    Rmw<B>(c, MODE, REG, [&](uint32_t d) { return SUB ? Sub<B>(c, d, q) : Add<B>(c, d, q); });
}
void HScc(Cpu& c, uint32_t op) {
    uint32_t v = Cond(c, (op >> 8) & 15) ? 0xFF : 0;
    WriteEA<1>(c, MODE, REG, v);
}
void HDbcc(Cpu& c, uint32_t op) {
    uint32_t base = c.pc;
    uint32_t disp = Sext<2>(Fetch16(c));
    if (Cond(c, (op >> 8) & 15)) return;
    uint32_t& d = c.R[REG];
    uint32_t w = (d - 1) & 0xFFFF;
    d = (d & 0xFFFF0000u) | w;
    if (w != 0xFFFF) c.pc = base + disp;
}

// ---- line 6: branches ----

void HBcc(Cpu& c, uint32_t op) {
    uint32_t base = c.pc;
    uint32_t disp = Sext<1>(op);
    if (disp == 0) disp = Sext<2>(Fetch16(c));
    if (Cond(c, (op >> 8) & 15)) c.pc = base + disp;
}
void HBsr(Cpu& c, uint32_t op) {
    uint32_t base = c.pc;
    uint32_t disp = Sext<1>(op);
    if (disp == 0) disp = Sext<2>(Fetch16(c));
    c.R[15] -= 4;
    Wr32(c.R[15], c.pc);
    c.pc = base + disp;
}

void HMoveq(Cpu& c, uint32_t op) {
    uint32_t v = Sext<1>(op);
    c.R[RX] = v;
    SetLogic<4>(c, v);
}

// ---- lines 8, 9, B, C, D: two-operand arithmetic and logic ----

// KIND: 0 OR, 1 AND, 2 SUB, 3 ADD, 4 CMP, 5 EOR
template <int B, int KIND>
inline uint32_t Alu(Cpu& c, uint32_t d, uint32_t s) {
    if constexpr (KIND == 0) { d |= s; SetLogic<B>(c, d); return d; }
    if constexpr (KIND == 1) { d &= s; SetLogic<B>(c, d); return d; }
    if constexpr (KIND == 2) return Sub<B>(c, d, s);
    if constexpr (KIND == 3) return Add<B>(c, d, s);
    if constexpr (KIND == 4) return SubNoX<B>(c, d, s);
    d ^= s;
    SetLogic<B>(c, d);
    return d;
}
// <ea> op Dn -> Dn
template <int B, int KIND>
void HAluToReg(Cpu& c, uint32_t op) {
    uint32_t s = ReadEA<B>(c, MODE, REG);
    uint32_t r = Alu<B, KIND>(c, c.R[RX] & kMask<B>, s);
    if (KIND != 4) WrD<B>(c, RX, r);
}
// Dn op <ea> -> <ea>
template <int B, int KIND>
void HAluToMem(Cpu& c, uint32_t op) {
    uint32_t s = c.R[RX] & kMask<B>;
    Rmw<B>(c, MODE, REG, [&](uint32_t d) { return Alu<B, KIND>(c, d, s); });
}
// ADDA, SUBA, CMPA
template <int B, int KIND>
void HAluA(Cpu& c, uint32_t op) {
    uint32_t s = Sext<B>(ReadEA<B>(c, MODE, REG));
    uint32_t& a = c.R[8 + RX];
    if (KIND == 2) a -= s;
    if (KIND == 3) a += s;
    if (KIND == 4) SubNoX<4>(c, a, s);
}
// ADDX, SUBX: Dy,Dx or -(Ay),-(Ax)
template <int B, bool SUB>
void HAddx(Cpu& c, uint32_t op) {
    if (!(op & 8)) {
        uint32_t s = c.R[REG] & kMask<B>, d = c.R[RX] & kMask<B>;
        WrD<B>(c, RX, SUB ? Subx<B>(c, d, s) : Addx<B>(c, d, s));
        return;
    }
    uint32_t sa = EaAddr<B>(c, 4, REG);
    uint32_t s = RdM<B>(sa);
    uint32_t da = EaAddr<B>(c, 4, RX);
    uint32_t d = RdM<B>(da);
    WrM<B>(da, SUB ? Subx<B>(c, d, s) : Addx<B>(c, d, s));
}
template <int B>
void HCmpm(Cpu& c, uint32_t op) {
    uint32_t s = RdM<B>(EaAddr<B>(c, 3, REG));
    uint32_t d = RdM<B>(EaAddr<B>(c, 3, RX));
    SubNoX<B>(c, d, s);
}

uint32_t Abcd(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (s & 0x0F) + (d & 0x0F) + c.x;
    uint32_t v = ~r;
    if (r > 9) r += 6;
    r += (s & 0xF0) + (d & 0xF0);
    c.c = c.x = r > 0x99;
    if (c.c) r -= 0xA0;
    c.v = (v & r & 0x80) != 0;
    r &= 0xFF;
    c.n = Sext<1>(r);
    if (r) c.nz = r;
    return r;
}
uint32_t Sbcd(Cpu& c, uint32_t d, uint32_t s) {
    uint32_t r = (d & 0x0F) - (s & 0x0F) - c.x;
    uint32_t v = ~r;
    if (r > 9) r -= 6;
    r += (d & 0xF0) - (s & 0xF0);
    c.c = c.x = r > 0x99;
    if (c.c) r += 0xA0;
    r &= 0xFF;
    c.v = (v & r & 0x80) != 0;
    c.n = Sext<1>(r);
    if (r) c.nz = r;
    return r;
}
template <bool SUB>
void HBcd(Cpu& c, uint32_t op) {
    if (!(op & 8)) {
        uint32_t s = c.R[REG] & 0xFF, d = c.R[RX] & 0xFF;
        WrD<1>(c, RX, SUB ? Sbcd(c, d, s) : Abcd(c, d, s));
        return;
    }
    uint32_t s = Rd8(EaAddr<1>(c, 4, REG));
    uint32_t da = EaAddr<1>(c, 4, RX);
    uint32_t d = Rd8(da);
    Wr8(da, SUB ? Sbcd(c, d, s) : Abcd(c, d, s));
}

void HMulu(Cpu& c, uint32_t op) {
    uint32_t r = ReadEA<2>(c, MODE, REG) * (c.R[RX] & 0xFFFF);
    c.R[RX] = r;
    SetLogic<4>(c, r);
}
void HMuls(Cpu& c, uint32_t op) {
    int32_t r = static_cast<int16_t>(ReadEA<2>(c, MODE, REG)) * static_cast<int16_t>(c.R[RX]);
    c.R[RX] = static_cast<uint32_t>(r);
    SetLogic<4>(c, static_cast<uint32_t>(r));
}
void HDivu(Cpu& c, uint32_t op) {
    uint32_t s = ReadEA<2>(c, MODE, REG);
    if (s == 0) DivideByZero(c, op);
    uint32_t d = c.R[RX];
    uint32_t q = d / s, r = d % s;
    c.c = 0;
    if (q > 0xFFFF) {
        c.v = 1;
        c.n = 0x80000000u;
        c.nz = 1;
        return;
    }
    c.R[RX] = (r << 16) | q;
    SetLogic<2>(c, q);
}
void HDivs(Cpu& c, uint32_t op) {
    int32_t s = static_cast<int16_t>(ReadEA<2>(c, MODE, REG));
    if (s == 0) DivideByZero(c, op);
    int64_t d = static_cast<int32_t>(c.R[RX]);
    int64_t q = d / s, r = d % s;
    c.c = 0;
    if (q > 32767 || q < -32768) {
        c.v = 1;
        c.n = 0x80000000u;
        c.nz = 1;
        return;
    }
    c.R[RX] = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(q) & 0xFFFF);
    SetLogic<2>(c, static_cast<uint32_t>(q) & 0xFFFF);
}
void HExg(Cpu& c, uint32_t op) {
    uint32_t x = RX, y = REG;
    switch ((op >> 3) & 0x1F) {
        case 0x08: break;                 // Dx,Dy
        case 0x09: x += 8; y += 8; break;  // Ax,Ay
        default: y += 8; break;            // Dx,Ay
    }
    uint32_t t = c.R[x];
    c.R[x] = c.R[y];
    c.R[y] = t;
}

// ---- line E: shifts and rotates ----

// TYPE: 0 AS, 1 LS, 2 ROX, 3 RO
template <int B, int TYPE, bool LEFT>
inline uint32_t Shift(Cpu& c, uint32_t v, uint32_t n) {
    constexpr uint32_t W = B * 8;
    v &= kMask<B>;
    uint32_t r = v;
    c.v = 0;
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
        c.x = c.c = x;
        SetNZ<B>(c, r);
        return r;
    }
    if (n == 0) {
        c.c = 0;
        SetNZ<B>(c, r);
        return r;
    }
    if (TYPE == 3) {
        uint32_t m = n % W;
        if (m) r = LEFT ? ((v << m) | (v >> (W - m))) & kMask<B> : ((v >> m) | (v << (W - m))) & kMask<B>;
        c.c = LEFT ? (r & 1) : ((r >> (W - 1)) & 1);
        SetNZ<B>(c, r);
        return r;
    }
    if (LEFT) {
        if (n < W) {
            r = (v << n) & kMask<B>;
            c.c = (v >> (W - n)) & 1;
            if (TYPE == 0) {
                // V: the top n+1 bits were not all equal, so the sign changed during the shift
                uint32_t top = kMask<B> & ~static_cast<uint32_t>(uint64_t{kMask<B>} >> (n + 1));
                uint32_t t = v & top;
                c.v = t != 0 && t != top;
            }
        } else {
            r = 0;
            c.c = n == W ? (v & 1) : 0;
            if (TYPE == 0) c.v = v != 0;
        }
    } else if (TYPE == 0) {
        uint32_t sign = (v >> (W - 1)) & 1;
        if (n < W) {
            r = static_cast<uint32_t>(static_cast<int32_t>(Sext<B>(v)) >> n) & kMask<B>;
            c.c = (v >> (n - 1)) & 1;
        } else {
            r = sign ? kMask<B> : 0;
            c.c = sign;
        }
    } else {
        if (n < W) {
            r = v >> n;
            c.c = (v >> (n - 1)) & 1;
        } else {
            r = 0;
            c.c = n == W ? (v >> (W - 1)) & 1 : 0;
        }
    }
    c.x = c.c;
    SetNZ<B>(c, r);
    return r;
}
template <int B, int TYPE, bool LEFT, bool IMM>
void HShiftReg(Cpu& c, uint32_t op) {
    uint32_t n = IMM ? ((RX - 1) & 7) + 1 : (c.R[RX] & 63);
    WrD<B>(c, REG, Shift<B, TYPE, LEFT>(c, c.R[REG], n));
}
template <int TYPE, bool LEFT>
void HShiftMem(Cpu& c, uint32_t op) {
    Rmw<2>(c, MODE, REG, [&](uint32_t d) { return Shift<2, TYPE, LEFT>(c, d, 1); });
}

// ---- decoding ----

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

#define SIZED(name, tmpl)                                   \
    template <int B>                                        \
    struct name {                                           \
        static constexpr Handler f = tmpl;                  \
    };

Handler ImmOp(uint32_t kind, uint32_t size) {
#define IMM_CASE(K) \
    case K: return size == 0 ? HImm<1, K> : size == 1 ? HImm<2, K> : HImm<4, K>;
    switch (kind) {
        IMM_CASE(0) IMM_CASE(1) IMM_CASE(2) IMM_CASE(3) IMM_CASE(5) IMM_CASE(6)
    }
#undef IMM_CASE
    return HIllegal;
}

template <int KIND>
Handler BitOp(bool isStatic) {
    return isStatic ? HBit<KIND, true> : HBit<KIND, false>;
}

Handler DecodeLine0(uint32_t op) {
    uint32_t ea = op & 0x3F, size = (op >> 6) & 3;
    if (op & 0x100) {
        if (((op >> 3) & 7) == 1) return HMovep;
        uint32_t kind = size;
        if (!EaOk(ea, kind == 0 ? kData : kDataAlt)) return HIllegal;
        switch (kind) {
            case 0: return BitOp<0>(false);
            case 1: return BitOp<1>(false);
            case 2: return BitOp<2>(false);
            default: return BitOp<3>(false);
        }
    }
    uint32_t top = (op >> 9) & 7;
    if (top == 4) {  // static bit operations
        if ((op & 0xFF00) != 0x0800) return HIllegal;
        if (!EaOk(ea, size == 0 ? (kData & ~kImm) : kDataAlt)) return HIllegal;
        switch (size) {
            case 0: return BitOp<0>(true);
            case 1: return BitOp<1>(true);
            case 2: return BitOp<2>(true);
            default: return BitOp<3>(true);
        }
    }
    if (size == 3) return HIllegal;
    if (top == 7) return HUnimplemented;  // MOVES
    if (ea == 0x3C && (top == 0 || top == 1 || top == 5)) {
        if (size == 0 || size == 1) {
            switch (top) {
                case 0: return HImmCcr<0>;
                case 1: return HImmCcr<1>;
                default: return HImmCcr<5>;
            }
        }
        return HIllegal;
    }
    if (!EaOk(ea, kDataAlt)) return HIllegal;
    return ImmOp(top, size);
}

Handler DecodeMove(uint32_t op) {
    uint32_t line = op >> 12;
    uint32_t size = line == 1 ? 1 : line == 3 ? 2 : 4;
    uint32_t src = op & 0x3F;
    uint32_t dst = ((op >> 9) & 7) | (((op >> 6) & 7) << 3);
    if (!EaOk(src, kAll) || (size == 1 && (src >> 3) == 1)) return HIllegal;
    if ((dst >> 3) == 1) {
        if (size == 1) return HIllegal;
        return size == 2 ? HMoveA<2> : HMoveA<4>;
    }
    if (!EaOk(dst, kDataAlt)) return HIllegal;
    if (size == 4 && (src >> 3) == 0 && (dst >> 3) == 0) return HMoveLDD;
    return size == 1 ? HMove<1> : size == 2 ? HMove<2> : HMove<4>;
}

template <template <int> class H>
Handler Sized(uint32_t size) {
    return size == 0 ? H<1>::f : size == 1 ? H<2>::f : H<4>::f;
}
SIZED(SNegx, HNegx<B>)
SIZED(SClr, HClr<B>)
SIZED(SNeg, HNeg<B>)
SIZED(SNot, HNot<B>)
SIZED(STst, HTst<B>)

Handler DecodeLine4(uint32_t op) {
    uint32_t ea = op & 0x3F, size = (op >> 6) & 3, mode = (op >> 3) & 7;
    if (op & 0x100) {
        if (size == 2) return EaOk(ea, kData) ? HChk : HIllegal;
        if (size == 3) return EaOk(ea, kControl) ? HLea : HIllegal;
        return HIllegal;
    }
    switch ((op >> 8) & 0xF) {
        case 0x0:
            if (!EaOk(ea, kDataAlt)) return HIllegal;
            return size == 3 ? HMoveFromSr : Sized<SNegx>(size);
        case 0x2:
            if (!EaOk(ea, kDataAlt)) return HIllegal;
            return size == 3 ? HMoveFromSr : Sized<SClr>(size);
        case 0x4:
            if (size == 3) return EaOk(ea, kData) ? HMoveToCcr : HIllegal;
            return EaOk(ea, kDataAlt) ? Sized<SNeg>(size) : HIllegal;
        case 0x6:
            if (size == 3) return EaOk(ea, kData) ? HMoveToCcr : HIllegal;
            return EaOk(ea, kDataAlt) ? Sized<SNot>(size) : HIllegal;
        case 0x8:
            switch (size) {
                case 0: return EaOk(ea, kDataAlt) ? HNbcd : HIllegal;
                case 1:
                    if (mode == 0) return HSwap;
                    return EaOk(ea, kControl) ? HPea : HIllegal;
                default:
                    if (mode == 0) return size == 2 ? HExtW : HExtL;
                    if (!EaOk(ea, kCtrlAlt | kPre)) return HIllegal;
                    return size == 2 ? HMovemToMem<2> : HMovemToMem<4>;
            }
        case 0xA:
            if (size == 3) return EaOk(ea, kDataAlt) ? HTas : HIllegal;
            return EaOk(ea, kDataAlt) ? Sized<STst>(size) : HIllegal;
        case 0xC:
            if (size < 2) return HIllegal;
            if (!EaOk(ea, kControl | kPost)) return HIllegal;
            return size == 2 ? HMovemToReg<2> : HMovemToReg<4>;
        case 0xE:
            if (size == 2) return EaOk(ea, kControl) ? HJsr : HIllegal;
            if (size == 3) return EaOk(ea, kControl) ? HJmp : HIllegal;
            if (size == 0) return HIllegal;  // 0x4E00-0x4E3F
            switch ((op >> 3) & 7) {
                case 0:
                case 1:
                    if ((op & 0xF) == 15) return HTrap15;
                    if ((op & 0xF) == 0) return HTrapNub<0x80>;
                    if ((op & 0xF) == 8) return HTrapNub<0xBC>;
                    return HUnimplemented;
                case 2: return HLink;
                case 3: return HUnlk;
                case 4:
                case 5: return HUnimplemented;  // MOVE USP
                case 6:
                    switch (op & 7) {
                        case 1: return HNop;
                        case 5: return HRts;
                        case 6: return HTrapv;
                        case 7: return HRtr;
                        default: return HUnimplemented;  // RESET, STOP, RTE, RTD
                    }
                default:
                    return ((op & 7) == 2 || (op & 7) == 3) ? HUnimplemented : HIllegal;  // MOVEC
            }
        default:
            return HIllegal;
    }
}

Handler DecodeLine5(uint32_t op) {
    uint32_t ea = op & 0x3F, size = (op >> 6) & 3;
    if (size == 3) {
        if (((op >> 3) & 7) == 1) return HDbcc;
        return EaOk(ea, kDataAlt) ? HScc : HIllegal;
    }
    if (!EaOk(ea, kAlterable) || (size == 0 && ((op >> 3) & 7) == 1)) return HIllegal;
    bool sub = op & 0x100;
    switch (size) {
        case 0: return sub ? HAddq<1, true> : HAddq<1, false>;
        case 1: return sub ? HAddq<2, true> : HAddq<2, false>;
        default: return sub ? HAddq<4, true> : HAddq<4, false>;
    }
}

template <int KIND>
Handler AluToReg(uint32_t size) {
    return size == 0 ? HAluToReg<1, KIND> : size == 1 ? HAluToReg<2, KIND> : HAluToReg<4, KIND>;
}
template <int KIND>
Handler AluToMem(uint32_t size) {
    return size == 0 ? HAluToMem<1, KIND> : size == 1 ? HAluToMem<2, KIND> : HAluToMem<4, KIND>;
}
template <bool SUB>
Handler AddxOp(uint32_t size) {
    return size == 0 ? HAddx<1, SUB> : size == 1 ? HAddx<2, SUB> : HAddx<4, SUB>;
}

// Lines 8 (OR), 9 (SUB), B (CMP, EOR), C (AND), D (ADD).
Handler DecodeAlu(uint32_t op) {
    uint32_t line = op >> 12, ea = op & 0x3F, opmode = (op >> 6) & 7, mode = (op >> 3) & 7;
    uint32_t size = opmode & 3;
    bool isAddr = mode == 1;
    switch (line) {
        case 0x8:
        case 0xC: {
            bool isOr = line == 8;
            if (opmode == 3) return EaOk(ea, kData) ? (isOr ? HDivu : HMulu) : HIllegal;
            if (opmode == 7) return EaOk(ea, kData) ? (isOr ? HDivs : HMuls) : HIllegal;
            if (opmode < 3) {
                if (!EaOk(ea, kData)) return HIllegal;
                return isOr ? AluToReg<0>(size) : AluToReg<1>(size);
            }
            if (mode <= 1) {
                if (opmode == 4) return isOr ? HBcd<true> : HBcd<false>;
                if (!isOr && opmode == 5) return HExg;
                if (!isOr && opmode == 6 && mode == 1) return HExg;
                return HIllegal;
            }
            if (!EaOk(ea, kMemAlt)) return HIllegal;
            return isOr ? AluToMem<0>(size) : AluToMem<1>(size);
        }
        case 0x9:
        case 0xD: {
            bool sub = line == 9;
            if (opmode == 3 || opmode == 7) {
                if (!EaOk(ea, kAll)) return HIllegal;
                if (opmode == 3) return sub ? HAluA<2, 2> : HAluA<2, 3>;
                return sub ? HAluA<4, 2> : HAluA<4, 3>;
            }
            if (opmode < 3) {
                if (!EaOk(ea, kAll) || (size == 0 && isAddr)) return HIllegal;
                return sub ? AluToReg<2>(size) : AluToReg<3>(size);
            }
            if (mode <= 1) return sub ? AddxOp<true>(size) : AddxOp<false>(size);
            if (!EaOk(ea, kMemAlt)) return HIllegal;
            return sub ? AluToMem<2>(size) : AluToMem<3>(size);
        }
        default: {  // 0xB
            if (opmode == 3) return EaOk(ea, kAll) ? HAluA<2, 4> : HIllegal;
            if (opmode == 7) return EaOk(ea, kAll) ? HAluA<4, 4> : HIllegal;
            if (opmode < 3) {
                if (!EaOk(ea, kAll) || (size == 0 && isAddr)) return HIllegal;
                return AluToReg<4>(size);
            }
            if (isAddr) return size == 0 ? HCmpm<1> : size == 1 ? HCmpm<2> : HCmpm<4>;
            if (!EaOk(ea, kDataAlt)) return HIllegal;
            return AluToMem<5>(size);
        }
    }
}

template <int B, int TYPE, bool LEFT>
Handler ShiftRegOp(bool imm) {
    return imm ? HShiftReg<B, TYPE, LEFT, true> : HShiftReg<B, TYPE, LEFT, false>;
}
template <int TYPE, bool LEFT>
Handler ShiftSized(uint32_t size, bool imm) {
    return size == 0 ? ShiftRegOp<1, TYPE, LEFT>(imm)
                     : size == 1 ? ShiftRegOp<2, TYPE, LEFT>(imm) : ShiftRegOp<4, TYPE, LEFT>(imm);
}
template <int TYPE>
Handler ShiftDir(uint32_t size, bool imm, bool left) {
    return left ? ShiftSized<TYPE, true>(size, imm) : ShiftSized<TYPE, false>(size, imm);
}

Handler DecodeLineE(uint32_t op) {
    uint32_t size = (op >> 6) & 3;
    bool left = op & 0x100;
    if (size == 3) {
        if (op & 0x800) return HIllegal;  // bit-field instructions of later processors
        if (!EaOk(op & 0x3F, kMemAlt)) return HIllegal;
        switch ((op >> 9) & 3) {
            case 0: return left ? HShiftMem<0, true> : HShiftMem<0, false>;
            case 1: return left ? HShiftMem<1, true> : HShiftMem<1, false>;
            case 2: return left ? HShiftMem<2, true> : HShiftMem<2, false>;
            default: return left ? HShiftMem<3, true> : HShiftMem<3, false>;
        }
    }
    bool imm = !(op & 0x20);
    switch ((op >> 3) & 3) {
        case 0: return ShiftDir<0>(size, imm, left);
        case 1: return ShiftDir<1>(size, imm, left);
        case 2: return ShiftDir<2>(size, imm, left);
        default: return ShiftDir<3>(size, imm, left);
    }
}

Handler Decode(uint32_t op) {
    switch (op >> 12) {
        case 0x0: return DecodeLine0(op);
        case 0x1:
        case 0x2:
        case 0x3: return DecodeMove(op);
        case 0x4: return DecodeLine4(op);
        case 0x5: return DecodeLine5(op);
        case 0x6:
            if (((op >> 8) & 0xF) == 1) return HBsr;
            return HBcc;
        case 0x7: return (op & 0x100) ? HIllegal : HMoveq;
        case 0xA: return HLineA;
        case 0xE: return DecodeLineE(op);
        case 0xF: return HLineF;
        default: return DecodeAlu(op);
    }
}

struct DecodeTable {
    Handler h[65536];
    DecodeTable() {
        for (uint32_t op = 0; op < 65536; ++op) h[op] = Decode(op);
    }
};

const DecodeTable& Table() {
    static const DecodeTable table;
    return table;
}

}  // namespace

uint32_t MorvelComposeCcr(uint32_t n, uint32_t nz, uint32_t v, uint32_t c, uint32_t x) {
    return (x << 4) | ((n >> 28) & 8) | (nz ? 0 : 4) | (v << 1) | c;
}

void MorvelSetNubEntry(NubEntry entry) { gNubEntry = entry; }
void MorvelEnterNub(EmulState* s, uint16_t vectorOffset) {
    if (gNubEntry) gNubEntry(s, vectorOffset);
}

uint16_t MorvelMainLoop(EmulState* s) {
    const Handler* table = Table().h;
    Cpu c{};
    c.R = s->D;
    c.s = s;
    Load(c);
    for (;;) {
        uint32_t op = Fetch16(c);
        table[op](c, op);
        if (__builtin_expect(c.attn != 0, 0)) {
            if (c.stop) break;
            if (c.noTraceOnce) {
                c.noTraceOnce = 0;
            } else if (c.srHigh & kSrTrace1) {
                Save(c, s->opcode);
                if (gNubEntry) gNubEntry(s, 0x24);
                Load(c);
            } else if (c.srHigh & kSrTrace0) {
                s->PC = c.pc;
                s->SR = c.srHigh | Ccr(c);
            }
            UpdateAttn(c);
        }
    }
    s->PC = c.pc;
    s->SR = c.srHigh | Ccr(c);
    return 0;
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
