// The interpreters: ARM and Thumb execution, software interrupts, the breakpoint hook and the run
// loop with its per-instruction tail. ARM instructions dispatch through a 4096-entry handler table
// indexed by bits 27..20 and 7..4, Thumb instructions through a 1024-entry one indexed by bits
// 15..6; each handler is one template instance, so the operand form, the operation and the flag
// setting are fixed at compile time. The run loop executes instructions in batches between the
// board checks of the tail (RunBatch); inside a batch instructions run from decoded pages, and
// each one's form dispatches the next instruction itself (threaded dispatch).
#include <algorithm>
#include <array>
#include <csetjmp>
#include <utility>

#include "tamsk/board/PatchTable.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/board/Console.h"
#include "tamsk/cpu/CpuInternal.h"
#include "tamsk/cpu/CpuTranslate.h"

namespace tamsk {
namespace {

using ArmHandler = void (*)(uint32_t);

uint8_t gCondTable[16][16];  // 1 = the condition fails
ArmHandler gArmTable[4096];
std::jmp_buf gAbortJump;
uint32_t gQueryCount = 0;

// The batch being run (see CpuEndBatch and RunBatch). `left` counts down as the instructions finish;
// ending the batch early sets it to 1 and shrinks `size` to match, so that size - left always
// counts the instructions finished before the current one.
struct Batch {
    bool active;         // inside RunBatch, before the tail of its last instruction
    uint32_t size;       // instructions the batch runs
    uint32_t left;       // instructions left, the current one included
    uint32_t committed;  // instructions already added to the counters
} gBatch;

#define R gCpu.r

// A decoded instruction: the word it was decoded from, the form that runs it (see the decoded pages
// below) and the operand fields the handlers read, taken out of the word once. ARM fields: Rn, Rd,
// Rs and Rm from bits 19..16, 15..12, 11..8 and 3..0, and `imm` the form's immediate (the rotated
// data-processing immediate, the 12-bit or split 8-bit memory offset, or else the shift amount of
// bits 11..7).
struct Decoded;
using Form = void (*)(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host);
struct Decoded {
    Form form;      // runs the instruction and goes on
    Form inner;     // behind a condition: the form that runs when it passes
    uint32_t insn;  // the word the entry was decoded from
    uint32_t aux;   // branch offset
    uint8_t rn, rd, rs, rm;
    uint32_t imm;
};
static_assert(sizeof(Decoded) == 32, "entries are indexed by shifts");
using EntryHandler = void (*)(const Decoded*);
using FastEntryHandler = bool (*)(const Decoded*);

CPU_INLINE uint32_t Ror(uint32_t v, uint32_t n) { return n ? (v >> n) | (v << (32 - n)) : v; }

void FillArmFields(Decoded& d, uint32_t w) {
    d.rn = (w >> 16) & 15;
    d.rd = (w >> 12) & 15;
    d.rs = (w >> 8) & 15;
    d.rm = w & 15;
    if ((w & 0x0E000000u) == 0x02000000u) d.imm = Ror(w & 0xFF, ((w >> 8) & 15) * 2);
    else if ((w & 0x0E000000u) == 0x04000000u) d.imm = w & 0xFFF;
    else if ((w & 0x0E000090u) == 0x00000090u) d.imm = ((w >> 4) & 0xF0) | (w & 0xF);
    else d.imm = (w >> 7) & 31;
}
// A handler on decoded fields as a handler of the whole word (the single-instruction path).
template <EntryHandler F>
void OnWord(uint32_t i) {
    Decoded d{};
    d.insn = i;
    FillArmFields(d, i);
    F(&d);
}
// A handler of the whole word as one on decoded fields.
template <ArmHandler F>
CPU_INLINE void OnEntry(const Decoded* e) {
    F(e->insn);
}

// Thumb instruction classes.
enum ThumbClass : uint8_t {
    kTShiftImm, kTAddSubReg, kTAddSubImm3, kTMovImm, kTCmpImm, kTAddImm, kTSubImm, kTHiReg, kTLoadStoreReg,
    kTLdrPc, kTAlu, kTBx, kTBlx, kTLoadStoreImm, kTLoadStoreHalf, kTLoadStoreSp, kTAddress, kTAdjustSp,
    kTPushPop, kTBkpt, kTMultiple, kTCondBranch, kTSwi, kTBranch, kTBlxSuffix, kTBlPrefix, kTBlSuffix,
    kTUndefined,
};

// The Thumb operand fields of an instruction of class cls: Rd, and Rn, Rm or an immediate (scaled
// to bytes for memory offsets) where the class has them.
void FillThumbFields(Decoded& d, uint32_t w, uint32_t cls) {
    const uint8_t lo = w & 7, mid = (w >> 3) & 7, hi = (w >> 6) & 7;
    d.rd = lo;
    switch (cls) {
        case kTShiftImm: d.rm = mid; d.imm = (w >> 6) & 31; break;
        case kTAddSubReg: case kTLoadStoreReg: d.rn = mid; d.rm = hi; break;
        case kTAddSubImm3: d.rn = mid; d.imm = hi; break;
        case kTMovImm: case kTCmpImm: case kTAddImm: case kTSubImm: d.rd = (w >> 8) & 7; d.imm = w & 0xFF; break;
        case kTLdrPc: case kTLoadStoreSp: case kTAddress: d.rd = (w >> 8) & 7; d.imm = (w & 0xFF) * 4; break;
        case kTHiReg: d.rd = static_cast<uint8_t>(((w >> 4) & 8) | lo); d.rm = (w >> 3) & 15; break;
        case kTAlu: d.rm = mid; break;
        case kTLoadStoreImm: d.rn = mid; d.imm = ((w >> 6) & 31) * (w & (1u << 12) ? 1 : 4); break;
        case kTLoadStoreHalf: d.rn = mid; d.imm = ((w >> 6) & 31) * 2; break;
        default: break;
    }
}
uint8_t gThumbClass[512];
// A Thumb handler on decoded fields (an EntryHandler, or the slow FastEntryHandler of a fast form)
// as a handler of the whole word.
template <auto F>
void OnThumbWord(uint32_t i) {
    Decoded d{};
    d.insn = i;
    FillThumbFields(d, i, gThumbClass[i >> 7]);
    F(&d);
}

// Handlers with memory accesses come in two forms (see Load and Store): the fast form returns false
// when it cannot make the access, and the slow form, which always returns true, then runs instead.
using FastHandler = bool (*)(uint32_t);

// While instructions run, the flags live in separate words, so that an instruction sets them with
// plain stores and without combining them with the ones it keeps: `nz` holds N in bit 63 and Z as
// its low word being 0 (a result sign-extended to 64 bits, or any of the four combinations), `c`
// and `v` hold 0 or 1. gCpu.nzcv is the flags only while `live` is false: code outside the
// interpreters makes it so with CpuSyncFlags before it reads or writes gCpu.nzcv, and the
// interpreters take the flags back into the words (LiveFlags) where they may have changed.
struct Flags {
    uint64_t nz;
    uint8_t c;
    bool live;
    uint8_t apart[2];  // keeps c and v apart: two byte stores, not one merged from two registers
    uint8_t v;
} gFlags;

constexpr uint64_t NzWord(bool n, bool z) { return n ? (z ? uint64_t(1) << 63 : ~uint64_t(0)) : (z ? 0 : 1); }
CPU_INLINE bool FlagN() { return static_cast<int64_t>(gFlags.nz) < 0; }
CPU_INLINE bool FlagZ() { return static_cast<uint32_t>(gFlags.nz) == 0; }
CPU_INLINE uint32_t PackFlags() {
    return static_cast<uint32_t>(FlagN()) << 31 | static_cast<uint32_t>(FlagZ()) << 30 |
           static_cast<uint32_t>(gFlags.c) << 29 | static_cast<uint32_t>(gFlags.v) << 28;
}
CPU_INLINE void LiveFlags() {
    if (__builtin_expect(gFlags.live, 1)) return;
    const uint32_t f = gCpu.nzcv;
    gFlags.nz = NzWord(f & kFlagN, f & kFlagZ);
    gFlags.c = (f >> 29) & 1;
    gFlags.v = (f >> 28) & 1;
    gFlags.live = true;
}

CPU_INLINE uint32_t Carry() { return gFlags.c; }
// Condition COND (0..14) on the flag words, as a few tests: the forms that know their condition
// when they are decoded need no table.
template <uint32_t COND>
CPU_INLINE bool Passes() {
    const bool z = FlagZ(), c = gFlags.c;
    const bool nv = FlagN() != static_cast<bool>(gFlags.v);
    switch (COND) {
        case 0: return z;
        case 1: return !z;
        case 2: return c;
        case 3: return !c;
        case 4: return FlagN();
        case 5: return !FlagN();
        case 6: return gFlags.v;
        case 7: return !gFlags.v;
        case 8: return c && !z;
        case 9: return !c || z;
        case 10: return !nv;
        case 11: return nv;
        case 12: return !z && !nv;
        case 13: return z || nv;
        default: return true;
    }
}
CPU_INLINE bool ConditionFails(uint32_t cond) { return gCondTable[cond][PackFlags() >> 28]; }
// The number of bits set, without a library call on hosts built without a population-count
// instruction (block transfer lists).
CPU_INLINE uint32_t BitCount(uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return (((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
}

// N and Z from the result; C and V kept.
CPU_INLINE void SetNZ(uint32_t v) { gFlags.nz = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(v))); }
// N and Z from the result, C = c (0 or 1); V kept.
CPU_INLINE void SetNZC(uint32_t v, uint32_t c) {
    SetNZ(v);
    gFlags.c = static_cast<uint8_t>(c);
}
CPU_INLINE void SetNZCV(uint32_t r, uint32_t c, uint32_t v) {
    SetNZC(r, c);
    gFlags.v = static_cast<uint8_t>(v);
}
#if defined(__x86_64__)
// The host's own carry and overflow of one addition or subtraction (its carry inverted for a
// subtraction, where it is a borrow), taken straight from its flags.
template <bool SUB>
CPU_INLINE uint32_t HostFlags(uint32_t a, uint32_t b) {
    bool c, v;
    if constexpr (SUB) asm("subl %3, %0" : "+r"(a), "=@ccnc"(c), "=@cco"(v) : "r"(b));
    else asm("addl %3, %0" : "+r"(a), "=@ccc"(c), "=@cco"(v) : "r"(b));
    SetNZCV(a, c, v);
    return a;
}
#endif

CPU_INLINE uint32_t AddFlags(uint32_t a, uint32_t b, uint32_t carry) {
    uint32_t r;
    if (__builtin_constant_p(carry) && carry == 0) {
#if defined(__x86_64__)
        return HostFlags<false>(a, b);
#endif
        // The host's carry and overflow of one addition.
        int32_t sr;
        const uint32_t c = __builtin_add_overflow(a, b, &r);
        const uint32_t v = __builtin_add_overflow(static_cast<int32_t>(a), static_cast<int32_t>(b), &sr);
        SetNZCV(r, c, v);
        return r;
    }
    const uint64_t sum = static_cast<uint64_t>(a) + b + carry;
    r = static_cast<uint32_t>(sum);
    SetNZCV(r, static_cast<uint32_t>(sum >> 32), ((a ^ r) & (b ^ r)) >> 31);
    return r;
}
// a - b - (1 - carry), C = no borrow.
CPU_INLINE uint32_t SubFlags(uint32_t a, uint32_t b, uint32_t carry) {
    uint32_t r;
    if (__builtin_constant_p(carry) && carry == 1) {
#if defined(__x86_64__)
        return HostFlags<true>(a, b);
#endif
        int32_t sr;
        const uint32_t borrow = __builtin_sub_overflow(a, b, &r);
        const uint32_t v = __builtin_sub_overflow(static_cast<int32_t>(a), static_cast<int32_t>(b), &sr);
        SetNZCV(r, borrow ^ 1, v);
        return r;
    }
    r = a - b - (1 - carry);
    const uint32_t c = static_cast<uint64_t>(a) >= static_cast<uint64_t>(b) + (1 - carry);
    SetNZCV(r, c, ((a ^ b) & (a ^ r)) >> 31);
    return r;
}
CPU_INLINE void SetThumb(uint32_t t) {
    t &= 1;
    if (t != gCpu.thumb) CpuEndBatch();  // a batch runs in one state
    gCpu.thumb = gCpu.tImage = t;
}
CPU_INLINE void Branch(uint32_t target) { gCpu.next = target; }
__attribute__((noinline, cold)) void InterworkSwitch(uint32_t target) {
    SetThumb(target & 1);
    gCpu.next = target & ~1u;
}
// A branch that keeps the state needs no call (handlers end with it, so the switch is a tail call).
CPU_INLINE void InterworkBranch(uint32_t target) {
    if ((target & 1) != gCpu.thumb) return InterworkSwitch(target);
    gCpu.tImage = target & 1;
    gCpu.next = target & ~1u;
}

// Shift types.
enum { kLsl = 0, kLsr = 1, kAsr = 2, kRor = 3 };

// Shift by a register amount (only the low byte counts); carry in and out through c.
CPU_INLINE uint32_t ShiftByRegister(int type, uint32_t v, uint32_t s, uint32_t& c) {
    if (s == 0) return v;
    switch (type) {
        case kLsl:
            if (s < 32) { c = (v >> (32 - s)) & 1; return v << s; }
            c = s == 32 ? v & 1 : 0;
            return 0;
        case kLsr:
            if (s < 32) { c = (v >> (s - 1)) & 1; return v >> s; }
            c = s == 32 ? v >> 31 : 0;
            return 0;
        case kAsr:
            if (s < 32) { c = (v >> (s - 1)) & 1; return static_cast<uint32_t>(static_cast<int32_t>(v) >> s); }
            c = v >> 31;
            return c ? 0xFFFFFFFFu : 0;
        default:
            s &= 31;
            if (s == 0) { c = v >> 31; return v; }
            c = (v >> (s - 1)) & 1;
            return Ror(v, s);
    }
}

// Shift by an immediate amount 0..31 (0 means LSL #0, LSR #32, ASR #32 or RRX).
CPU_INLINE uint32_t ShiftByImmediate(int type, uint32_t v, uint32_t n, uint32_t& c) {
    switch (type) {
        case kLsl:
            if (n == 0) return v;
            c = (v >> (32 - n)) & 1;
            return v << n;
        case kLsr:
            if (n == 0) { c = v >> 31; return 0; }
            c = (v >> (n - 1)) & 1;
            return v >> n;
        case kAsr:
            if (n == 0) { c = v >> 31; return c ? 0xFFFFFFFFu : 0; }
            c = (v >> (n - 1)) & 1;
            return static_cast<uint32_t>(static_cast<int32_t>(v) >> n);
        default:
            if (n == 0) {
                const uint32_t r = (c << 31) | (v >> 1);
                c = v & 1;
                return r;
            }
            c = (v >> (n - 1)) & 1;
            return Ror(v, n);
    }
}

// Operand forms of data processing: 0 immediate, 1..4 immediate shift, 5..8 register shift.
template <int FORM>
CPU_INLINE uint32_t Operand2(const Decoded* e, uint32_t& c) {
    if constexpr (FORM == 0) {
        const uint32_t v = e->imm;
        if (e->insn & 0xF00) c = v >> 31;  // a rotated immediate
        return v;
    } else if constexpr (FORM <= 4) {
        return ShiftByImmediate(FORM - 1, R[e->rm], e->imm, c);
    } else {
        return ShiftByRegister(FORM - 5, R[e->rm], R[e->rs] & 0xFF, c);
    }
}

void Undefined() { CpuEnterException(kExcUndefined); }

// Writes a data-processing result to r15: no alignment is forced, so a misaligned result raises the
// prefetch abort of the next fetch.
inline void WritePc(uint32_t v) { R[15] = gCpu.next = v; }

enum { kAnd, kEor, kSub, kRsb, kAdd, kAdc, kSbc, kRsc, kTst, kTeq, kCmp, kCmn, kOrr, kMov, kBic, kMvn };
constexpr bool IsLogical(int op) {
    return op == kAnd || op == kEor || op == kTst || op == kTeq || op == kOrr || op == kMov || op == kBic ||
           op == kMvn;
}
constexpr bool IsCompare(int op) { return op >= kTst && op <= kCmn; }

// SIMPLE: the simple form, whose decoder left instructions other than compares that write r15 to
// the complex one.
template <int OP, int S, int FORM, bool SIMPLE>
void ArmDataProcessing(const Decoded* e) {
    constexpr bool setFlags = S || IsCompare(OP);
    uint32_t c = Carry();
    const uint32_t b = Operand2<FORM>(e, c);
    const uint32_t a = R[e->rn];
    const uint32_t rd = e->rd;
    uint32_t r;
    // With S and Rd = 15 the flags come from the SPSR, not from the result.
    const bool flags = setFlags && (SIMPLE || IsCompare(OP) || rd != 15);
    if constexpr (IsLogical(OP)) {
        switch (OP) {
            case kAnd: case kTst: r = a & b; break;
            case kEor: case kTeq: r = a ^ b; break;
            case kOrr: r = a | b; break;
            case kMov: r = b; break;
            case kBic: r = a & ~b; break;
            default: r = ~b; break;
        }
        if (flags) SetNZC(r, c);
    } else if (flags) {
        switch (OP) {
            case kSub: case kCmp: r = SubFlags(a, b, 1); break;
            case kRsb: r = SubFlags(b, a, 1); break;
            case kAdd: case kCmn: r = AddFlags(a, b, 0); break;
            case kAdc: r = AddFlags(a, b, Carry()); break;
            case kSbc: r = SubFlags(a, b, Carry()); break;
            default: r = SubFlags(b, a, Carry()); break;
        }
    } else {
        switch (OP) {
            case kSub: case kCmp: r = a - b; break;
            case kRsb: r = b - a; break;
            case kAdd: case kCmn: r = a + b; break;
            case kAdc: r = a + b + Carry(); break;
            case kSbc: r = a - b - (1 - Carry()); break;
            default: r = b - a - (1 - Carry()); break;
        }
    }
    if constexpr (IsCompare(OP)) return;
    if (!SIMPLE && rd == 15) {
        WritePc(r);
        if (S) CpuReturnFromException();
        return;
    }
    R[rd] = r;
}

// --- Multiplies ---
template <int OP, int S>
void ArmMultiply(const Decoded* e) {
    const uint32_t rm = R[e->rm], rs = R[e->rs];
    const uint32_t rdHi = e->rn, rdLo = e->rd;
    switch (OP) {
        case 0:
        case 1: {
            const uint32_t r = rm * rs + (OP == 1 ? R[rdLo] : 0);
            R[rdHi] = r;
            if (S) SetNZ(r);
            return;
        }
        case 4: case 5: case 6: case 7: {
            uint64_t p = (OP >= 6) ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(rm)) *
                                                             static_cast<int32_t>(rs))
                                   : static_cast<uint64_t>(rm) * rs;
            if (OP & 1) p += static_cast<uint64_t>(R[rdHi]) << 32 | R[rdLo];
            R[rdLo] = static_cast<uint32_t>(p);
            R[rdHi] = static_cast<uint32_t>(p >> 32);
            if (S) {
                // N from bit 63, Z from all 64 bits.
                gFlags.nz = (p & (uint64_t(1) << 63)) | (p != 0);
            }
            return;
        }
        default: return;  // 2, 3: no effect
    }
}

inline int32_t Half(uint32_t v, bool top) { return static_cast<int16_t>(top ? v >> 16 : v & 0xFFFF); }

inline uint32_t AddSetQ(uint32_t a, uint32_t b) {
    const uint32_t r = a + b;
    if (((a ^ r) & (b ^ r)) >> 31) gCpu.Q = 1;
    return r;
}

// SMLAxy, SMLAWy, SMULWy, SMLALxy, SMULxy.
void ArmDspMultiply(uint32_t i) {
    const uint32_t rd = (i >> 16) & 15, rn = (i >> 12) & 15;
    const uint32_t rs = R[(i >> 8) & 15], rm = R[i & 15];
    const bool x = i & (1u << 5), y = i & (1u << 6);
    switch ((i >> 21) & 3) {
        case 0: R[rd] = AddSetQ(static_cast<uint32_t>(Half(rm, x) * Half(rs, y)), R[rn]); break;
        case 1: {
            const uint32_t p = static_cast<uint32_t>((static_cast<int64_t>(static_cast<int32_t>(rm)) * Half(rs, y)) >> 16);
            R[rd] = x ? p : AddSetQ(p, R[rn]);
            break;
        }
        case 2: {
            uint64_t acc = static_cast<uint64_t>(R[rd]) << 32 | R[rn];
            acc += static_cast<uint64_t>(static_cast<int64_t>(Half(rm, x) * Half(rs, y)));
            R[rn] = static_cast<uint32_t>(acc);
            R[rd] = static_cast<uint32_t>(acc >> 32);
            break;
        }
        default: R[rd] = static_cast<uint32_t>(Half(rm, x) * Half(rs, y)); break;
    }
}

inline uint32_t Saturate(int64_t v) {
    if (v > INT32_MAX) { gCpu.Q = 1; return 0x7FFFFFFF; }
    if (v < INT32_MIN) { gCpu.Q = 1; return 0x80000000u; }
    return static_cast<uint32_t>(v);
}

// QADD, QSUB, QDADD, QDSUB.
void ArmSaturating(uint32_t i) {
    const int64_t m = static_cast<int32_t>(R[i & 15]);
    int64_t n = static_cast<int32_t>(R[(i >> 16) & 15]);
    const uint32_t op = (i >> 21) & 3;
    if (op & 2) n = static_cast<int32_t>(Saturate(2 * n));
    R[(i >> 12) & 15] = Saturate(op & 1 ? m - n : m + n);
}

void ArmMrs(uint32_t i) { R[(i >> 12) & 15] = (i & (1u << 22)) ? gCpu.spsr[gCpu.mode] : CpuComposeCpsr(); }
void ArmMsrRegister(uint32_t i) { CpuWriteStatusRegister(i, R[i & 15]); }
void ArmMsrImmediate(uint32_t i) { CpuWriteStatusRegister(i, Ror(i & 0xFF, ((i >> 8) & 0xF) * 2)); }
void ArmBx(uint32_t i) { InterworkBranch(R[i & 15]); }
void ArmBlx(uint32_t i) {
    const uint32_t target = R[i & 15];
    R[14] = gCpu.cur + 4;
    InterworkBranch(target);
}
void ArmClz(uint32_t i) {
    const uint32_t v = R[i & 15];
    R[(i >> 12) & 15] = v ? static_cast<uint32_t>(__builtin_clz(v)) : 32;
}

void ArmExecute(uint32_t i);
void ThumbExecute(uint32_t i);

// The breakpoint hook: at physical 0 runs the saved reset-vector word the first time and asks for
// a soft reset after that; elsewhere runs the instruction the patch table substitutes, if any.
bool PatchTrap(uint32_t* insn) {
    CpuEndBatch();  // a patch handler may do anything
    CpuSyncFlags();
    const CpuTranslation t = CpuTranslateNoFault(gCpu.cur);
    const bool run = t.found && t.phys == 0 ? PatchResetVectorTrap(insn) : PatchLookup(gCpu.cur, &gCpu, insn);
    LiveFlags();
    return run;
}

void ArmBkpt(uint32_t) {
    uint32_t insn;
    if (PatchTrap(&insn)) ArmExecute(insn);
}

void ArmUndefined(uint32_t) { Undefined(); }
void ArmNop(uint32_t) {}

// Software interrupt: semihosting (0x123456), the query (0x123457) or the SWI exception.
bool SoftwareInterrupt(uint32_t i, bool arm) {
    const uint32_t comment = arm ? i & 0xFFFFFF : i & 0xFF;
    if (comment == (arm ? 0x123457u : 0xACu)) {
        R[0] = SemihostQuery(R[0]);
        return false;
    }
    if (comment == (arm ? 0x123456u : 0xABu))
        R[0] = gCpuHooks.semihost ? gCpuHooks.semihost(R[0], R[1]) : ConsoleService(R[0], R[1]);
    CpuSwitchMode(kModeSupervisor, true);
    gCpu.I = 1;
    R[14] = gCpu.next;
    R[15] = gCpu.next = gCpu.highVectors ? 0xFFFF0008u : 0x08;
    SetThumb(0);
    return true;
}
void ArmSwi(uint32_t i) { SoftwareInterrupt(i, true); }
void ArmCoprocTransfer(uint32_t i) { CpuCoprocTransfer(i); }
void ArmAccumulator(uint32_t i) { CpuAccumulatorTransfer(i); }

template <int L>
void ArmBranch(uint32_t i) {
    const uint32_t offset = static_cast<uint32_t>(static_cast<int32_t>(i << 8) >> 6);
    if (L) R[14] = gCpu.cur + 4;
    Branch(R[15] + offset);
}

// --- Single loads and stores ---
// A loaded word for r15 interworks.
inline void LoadToPc(uint32_t v) {
    R[15] = v & ~1u;
    InterworkBranch(v);
}

// FORM 0: 12-bit immediate; 1..4: Rm shifted by an immediate of that type (no flags). The decoder
// leaves loads into r15 to the slow form (see Load and Store).
template <int P, int U, int B, int W, int L, int FORM, bool FAST>
bool ArmLoadStore(const Decoded* e) {
    uint32_t offset;
    if constexpr (FORM == 0) {
        offset = e->imm;
    } else {
        uint32_t c = Carry();
        offset = ShiftByImmediate(FORM - 1, R[e->rm], e->imm, c);
    }
    const uint32_t rn = e->rn, rd = e->rd;
    const uint32_t base = R[rn];
    const uint32_t updated = U ? base + offset : base - offset;
    const uint32_t addr = P ? updated : base;
    constexpr int kSize = B ? 1 : 4;
    if constexpr (L) {
        uint32_t v;
        if (!Load<kSize, false, FAST>(addr, v)) return false;
        if (!FAST && rd == 15) LoadToPc(v); else R[rd] = v;
    } else if (!Store<kSize, FAST>(addr, R[rd])) {
        return false;
    }
    if (!P || W) R[rn] = updated;
    return true;
}

// Halfword, signed and doubleword forms: SH = bits 6..5 (1 H, 2 SB/LDRD, 3 SH/STRD).
template <int P, int U, int I, int W, int L, int SH, bool FAST>
bool ArmLoadStoreExtra(const Decoded* e) {
    const uint32_t offset = I ? e->imm : R[e->rm];
    const uint32_t rn = e->rn, rd = e->rd;
    const uint32_t base = R[rn];
    const uint32_t updated = U ? base + offset : base - offset;
    const uint32_t addr = P ? updated : base;
    if constexpr (L) {
        // LDRH, LDRSB, LDRSH.
        uint32_t v;
        if (!Load<SH == 2 ? 1 : 2, SH != 1, FAST>(addr, v)) return false;
        R[rd] = v;
    } else if constexpr (SH == 1) {
        if (!Store<2, FAST>(addr, R[rd])) return false;
    } else {
        // LDRD (SH 2) and STRD (SH 3): the two words lie in one page.
        if (rd & 1) {
            if constexpr (!FAST) Undefined();
            return !FAST;
        }
        if constexpr (FAST) {
            if (addr & 7) return false;
            uint32_t lo, hi;
            if constexpr (SH == 2) {
                if (!Load<4, false, true>(addr, lo) || !Load<4, false, true>(addr + 4, hi)) return false;
                R[rd] = lo;
                R[rd + 1] = hi;
            } else {
                uintptr_t h;
                if (!FastHost(gTlb.write, addr, 7, h)) return false;
                CpuStore32(h, R[rd]);
                CpuStore32(h + 4, R[rd + 1]);
            }
        } else {
            CheckAligned(addr, 7);
            if constexpr (SH == 2) {
                R[rd] = MemRead32(addr);
                R[rd + 1] = MemRead32(addr + 4);
            } else {
                MemWrite32(addr, R[rd]);
                MemWrite32(addr + 4, R[rd + 1]);
            }
        }
    }
    if (!P || W) R[rn] = updated;
    return true;
}

template <int B>
void ArmSwap(uint32_t i) {
    const uint32_t addr = R[(i >> 16) & 15];
    uint32_t v;
    if (B) {
        v = MemRead8(addr);
        MemWrite8(addr, R[i & 15]);
    } else {
        CheckAligned(addr, 3);
        v = MemRead32(addr);
        MemWrite32(addr, R[i & 15]);
    }
    R[(i >> 12) & 15] = v;
}

// --- Block transfers ---
inline uint32_t& UserRegister(int n) {
    if (CpuRegisterIsUserCopy(n)) return R[n];
    return gCpu.bank[n - 8][16];
}

// The fast form moves a list of words that lie in one cached page with memory behind it, without
// the S bit and, for LDM, without r15; everything else runs in the slow form.
template <int P, int U, int S, int W, int L, bool FAST>
bool ArmBlockTransfer(const Decoded* e) {
    const uint32_t i = e->insn;
    const uint32_t list = i & 0xFFFF;
    if (!list) return true;
    const uint32_t rn = e->rn;
    const uint32_t base = R[rn];
    const uint32_t bytes = 4 * BitCount(list);
    uint32_t addr = U ? (P ? base + 4 : base) : (P ? base - bytes : base - bytes + 4);
    const uint32_t final = U ? base + bytes : base - bytes;
    if constexpr (FAST) {
        uintptr_t h;
        if (S || (L && (list & 0x8000))) return false;
        if (!FastBlock(L ? gTlb.read : gTlb.write, addr, bytes, h)) return false;
        for (uint32_t m = list; m; m &= m - 1, h += 4) {
            const int n = __builtin_ctz(m);
            if (L) R[n] = CpuLoad32(h); else CpuStore32(h, R[n]);
        }
        if (W) R[rn] = final;
        return true;
    }
    const bool user = S && !(list & 0x8000);  // S without r15: the User bank
    for (uint32_t m = list, n = 0; m; m >>= 1, ++n) {
        if (!(m & 1)) continue;
        CheckAligned(addr, 3);
        if (L) {
            const uint32_t v = MemRead32(addr);
            if (user) UserRegister(static_cast<int>(n)) = v;
            else if (n == 15) LoadToPc(v);
            else R[n] = v;
        } else {
            MemWrite32(addr, user ? UserRegister(static_cast<int>(n)) : R[n]);
        }
        addr += 4;
    }
    if (W) R[rn] = final;
    if (S && L && (list & 0x8000)) CpuReturnFromException();
    return true;
}

// --- Decoded pages and threaded dispatch ---
// Instructions run from decoded pages: one entry per instruction of a 1 KB page of host memory,
// holding the word it was decoded from, the form that runs it and what the form needs (the
// whole-instruction handler, a branch offset, the form behind a condition). An entry is used only
// while the word in memory is still the one it was decoded from: a write into code from anywhere
// (the core, DMA, a restored session, the host) makes the next fetch decode that word again, and
// an entry depends on nothing but its word and the execution state, so remapped pages need no
// flush.
//
// Inside a batch each form ends by running the next instruction itself, with a tail call; the
// sequential entry, address, host address and the batch's count pass from one form to the next in
// registers. The simple forms (data processing, multiplies, memory accesses that reach memory in
// their fast form, branches) store nothing of the stepping state: r15 only where the instruction
// reads it, the current and next addresses only when the batch ends. Every other instruction runs
// in the complex form, which stores the whole stepping state before the handler and takes it back
// after, so that the handler sees the state and the batch bookkeeping (CpuEndBatch) it expects.
// The page of the running instruction is always the last-fetch entry in front of the fetch cache
// (a batch ends when the caches are emptied).

// Decoded pages, direct-mapped by host page, one set per execution state. A slot taken over by
// another page keeps its entries: each one is still the decoding of its own word.
constexpr uint32_t kDecodedSlots = 256;
template <bool THUMB>
struct DecodedPage {
    uintptr_t host;                       // the page's host address; 0: never used
    Decoded entries[THUMB ? 512 : 256];
};
DecodedPage<false> gArmPages[kDecodedSlots];
DecodedPage<true> gThumbPages[kDecodedSlots];

void DecodeArmEntry(Decoded* e, uint32_t w, uint32_t pc, uintptr_t host);
void DecodeThumbEntry(Decoded* e, uint32_t w, uint32_t pc, uintptr_t host);
template <bool THUMB>
__attribute__((noinline)) void Redecode(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host);
template <bool THUMB>
__attribute__((noinline)) void EnterPage(uint32_t pc, uint32_t left);

template <bool THUMB>
Decoded* DecodedEntry(uintptr_t hostPage, uint32_t pc) {
    DecodedPage<THUMB>& p = (THUMB ? reinterpret_cast<DecodedPage<THUMB>*>(gThumbPages)
                                   : reinterpret_cast<DecodedPage<THUMB>*>(gArmPages))[(hostPage >> 10) &
                                                                                        (kDecodedSlots - 1)];
    if (!p.host) {
        for (Decoded& d : p.entries) d = Decoded{&Redecode<THUMB>, nullptr, 0, 0, 0, 0, 0, 0, 0};
    }
    p.host = hostPage;
    return &p.entries[(pc & 0x3FF) >> (THUMB ? 1 : 2)];
}

// Runs the entry of the instruction at pc (host: its host address).
template <bool THUMB>
CPU_INLINE void Run(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    const uint32_t word = THUMB ? CpuLoad16(host) : CpuLoad32(host);
    if (__builtin_expect(word != e->insn, 0)) return Redecode<THUMB>(e, pc, left, host);
    return e->form(e, pc, left, host);
}

// The batch ends after the instruction at pc; execution goes on at next.
CPU_INLINE void Finish(uint32_t pc, uint32_t next) {
    gCpu.cur = pc;
    gCpu.next = next;
}

// The entry of the instruction delta bytes (a multiple of the instruction size) away from e's.
template <bool THUMB>
CPU_INLINE Decoded* EntryAt(Decoded* e, int32_t delta) {
    constexpr intptr_t kScale = sizeof(Decoded) / (THUMB ? 2 : 4);
    return reinterpret_cast<Decoded*>(reinterpret_cast<char*>(e) + static_cast<intptr_t>(delta) * kScale);
}

// After the instruction at pc, on to the one after it.
template <bool THUMB>
CPU_INLINE void Seq(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    constexpr uint32_t k = THUMB ? 2 : 4;
    if (__builtin_expect(--left == 0, 0)) return Finish(pc, pc + k);
    pc += k;
    if (__builtin_expect(!(pc & 0x3FF), 0)) return EnterPage<THUMB>(pc, left);
    return Run<THUMB>(e + 1, pc, left, host + k);
}

// After the instruction at pc, on to target: in the same page without a lookup, else (or when the
// target is misaligned) through EnterPage.
template <bool THUMB>
CPU_INLINE void Jump(Decoded* e, uint32_t pc, uint32_t target, uint32_t left, uintptr_t host) {
    if (__builtin_expect(--left == 0, 0)) return Finish(pc, target);
    if ((target & (kPageMask | (THUMB ? 1 : 3))) == (pc & kPageMask)) {
        const int32_t delta = static_cast<int32_t>(target - pc);
        return Run<THUMB>(EntryAt<THUMB>(e, delta), target, left, host + static_cast<intptr_t>(delta));
    }
    return EnterPage<THUMB>(target, left);
}

// After the instruction at pc, on to pc + delta, known to lie in the same page.
template <bool THUMB>
CPU_INLINE void JumpInPage(Decoded* e, uint32_t pc, int32_t delta, uint32_t left, uintptr_t host) {
    if (__builtin_expect(--left == 0, 0)) return Finish(pc, pc + delta);
    return Run<THUMB>(EntryAt<THUMB>(e, delta), pc + delta, left, host + static_cast<intptr_t>(delta));
}

// Runs the instruction at pc from its page's entry, with the alignment checked.
template <bool THUMB>
void EnterPage(uint32_t pc, uint32_t left) {
    gCpu.cur = pc;
    gBatch.left = left;  // for the abort of a failed fetch
    if (pc & (THUMB ? 1 : 3)) CpuRaiseAbort(kExcPrefetchAbort, 1, pc);
    const uintptr_t page = FetchEntry(pc).host;
    return Run<THUMB>(DecodedEntry<THUMB>(page, pc), pc, left, page + (pc & 0x3FF));
}

template <bool THUMB>
void Redecode(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    if constexpr (THUMB) DecodeThumbEntry(e, CpuLoad16(host), pc, host);
    else DecodeArmEntry(e, CpuLoad32(host), pc, host);
    return e->form(e, pc, left, host);
}

// The handler of the whole word.
ArmHandler BodyOf(bool thumb, uint32_t insn);

// The complex form: the handler with the whole stepping state in place.
template <bool THUMB>
__attribute__((noinline)) void Complex(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    constexpr uint32_t k = THUMB ? 2 : 4;
    R[15] = pc + 2 * k;
    gCpu.cur = pc;
    gCpu.next = pc + k;
    gBatch.left = left;
    BodyOf(THUMB, e->insn)(e->insn);
    LiveFlags();  // the handler may have changed the flags through gCpu.nzcv
    left = gBatch.left;
    const uint32_t next = gCpu.next;
    if (next == pc + k) return Seq<THUMB>(e, pc, left, host);
    return Jump<THUMB>(e, pc, next, left, host);
}

// A simple handler; PC: the instruction reads r15.
template <EntryHandler F, bool THUMB, bool PC>
__attribute__((noinline, flatten)) void SimpleForm(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    if (PC) R[15] = pc + (THUMB ? 4 : 8);
    F(e);
    return Seq<THUMB>(e, pc, left, host);
}

// A flag-setting instruction and the conditional branch (condition COND, 0..13) after it in the
// same page, run as one form: the branch tests the flags just set without a dispatch in between.
// aux holds the branch word the pair was decoded with; when memory holds another word there now,
// or the batch ends between the two, the instruction runs alone and the next one from its entry.
// INPAGE: the branch's target lies in the page (as for BranchForm).
template <EntryHandler F, bool THUMB, uint32_t COND, bool INPAGE>
__attribute__((noinline, flatten)) void PairForm(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    constexpr uint32_t k = THUMB ? 2 : 4;
    F(e);
    const uint32_t branch = THUMB ? CpuLoad16(host + k) : CpuLoad32(host + k);
    if (__builtin_expect(branch != e->aux || left == 1, 0)) return Seq<THUMB>(e, pc, left, host);
    --left;
    pc += k;
    host += k;
    ++e;  // the branch's entry: only its place is used
    if (!Passes<COND>()) return Seq<THUMB>(e, pc, left, host);
    const int32_t delta = THUMB ? 4 + static_cast<int8_t>(branch & 0xFF) * 2
                                : 8 + (static_cast<int32_t>(branch << 8) >> 6);
    if (!INPAGE) return Jump<THUMB>(e, pc, pc + delta, left, host);
    return JumpInPage<THUMB>(e, pc, delta, left, host);
}
template <EntryHandler F, bool THUMB, size_t... I>
constexpr std::array<Form, sizeof...(I)> MakePairForms(std::index_sequence<I...>) {
    return {&PairForm<F, THUMB, I / 2, I % 2 == 1>...};
}
// By condition × 2 + in-page.
template <EntryHandler F, bool THUMB>
constexpr auto kPairForms = MakePairForms<F, THUMB>(std::make_index_sequence<28>());

// A memory handler's fast form; when it cannot make the access the complex form runs the whole
// handler, so that the fast one stays without calls and without a stack frame.
template <FastEntryHandler FAST, bool THUMB, bool PC>
__attribute__((flatten)) void FastForm(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    if (PC) R[15] = pc + (THUMB ? 4 : 8);
    if (__builtin_expect(!FAST(e), 0)) return Complex<THUMB>(e, pc, left, host);
    return Seq<THUMB>(e, pc, left, host);
}

// An ARM instruction with condition COND (other than AL); a failed condition skips it (it still
// counts).
template <uint32_t COND>
void CondGate(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    if (!Passes<COND>()) return Seq<false>(e, pc, left, host);
    return e->inner(e, pc, left, host);
}

// B and BL in ARM state, B and B<cond> in Thumb state (Thumb condition 14 branches too): aux holds
// the distance from the branch to its target. INPAGE: the decoder found the target in the branch's
// own page (an entry's place in its page is fixed), so the target's entry is found by the distance
// alone.
template <bool THUMB, uint32_t COND, bool L, bool INPAGE>
void BranchForm(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    if (COND != 14 && !Passes<COND>()) return Seq<THUMB>(e, pc, left, host);
    if (L) R[14] = pc + 4;
    const int32_t delta = static_cast<int32_t>(e->aux);
    if (!INPAGE) return Jump<THUMB>(e, pc, pc + delta, left, host);
    return JumpInPage<THUMB>(e, pc, delta, left, host);
}
template <bool THUMB, size_t... I>
constexpr std::array<Form, sizeof...(I)> MakeBranchForms(std::index_sequence<I...>) {
    return {&BranchForm<THUMB, I / 4, (I / 2) % 2 == 1, I % 2 == 1>...};
}
// By condition × 4 + link × 2 + in-page.
constexpr auto kArmBranchForms = MakeBranchForms<false>(std::make_index_sequence<60>());
constexpr auto kThumbBranchForms = MakeBranchForms<true>(std::make_index_sequence<60>());
template <size_t... I>
constexpr std::array<Form, sizeof...(I)> MakeCondGates(std::index_sequence<I...>) {
    return {&CondGate<I>...};
}
constexpr auto kCondGates = MakeCondGates(std::make_index_sequence<14>());

// Whether a branch at pc over delta bytes stays in its page.
inline bool InPage(uint32_t pc, int32_t delta) {
    const int32_t target = static_cast<int32_t>(pc & 0x3FF) + delta;
    return target >= 0 && target < 0x400;
}
// The branch form for a branch at pc over delta bytes.
template <bool THUMB>
Form BranchFormFor(uint32_t cond, bool link, uint32_t pc, int32_t delta) {
    return (THUMB ? kThumbBranchForms : kArmBranchForms)[cond * 4 + (link ? 2 : 0) + (InPage(pc, delta) ? 1 : 0)];
}
void ThumbBlSuffixForm(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    const uint32_t target = R[14] + (e->insn & 0x7FF) * 2;
    R[14] = (pc + 2) | 1;
    return Jump<true>(e, pc, target, left, host);
}

// BX to the register in bits 3..0 (ARM) or 6..3 (Thumb), other than r15: a branch that keeps the
// state goes on in the batch; one that changes it runs in the complex form, which ends the batch.
template <bool THUMB>
void BxForm(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    const uint32_t target = R[THUMB ? (e->insn >> 3) & 15 : e->insn & 15];
    if ((target & 1) != THUMB) return Complex<THUMB>(e, pc, left, host);
    gCpu.tImage = THUMB;
    return Jump<THUMB>(e, pc, target & ~1u, left, host);
}

// The single-instruction form of a handler with a fast and a slow form: the slow one, which makes
// every access.
template <FastEntryHandler SLOW>
void SlowOnWord(uint32_t i) {
    Decoded d{};
    d.insn = i;
    FillArmFields(d, i);
    SLOW(&d);
}

// A handler for the single-instruction path (the breakpoint hook's substitute and the complex form)
// and its simple forms without and with r15 (none: the instruction always runs in the complex form).
// The decoder still checks each instruction's registers before it takes a simple form.
// How the decoder checks an ARM instruction's registers before it takes a simple form.
enum HandlerKind : uint8_t { kKindComplex, kKindDp, kKindAlu, kKindMemory, kKindBlock };
struct Handlers {
    ArmHandler body;
    Form form;
    Form formPc;
    HandlerKind kind;
    const Form* pairs = nullptr;  // by branch condition: the form run with a branch after it
};
template <ArmHandler F>
constexpr Handlers kArm = {F, nullptr, nullptr, kKindComplex};
template <EntryHandler F, HandlerKind KIND = kKindAlu, EntryHandler BODY = F>
constexpr Handlers kArmPlain = {&OnWord<BODY>, &SimpleForm<F, false, false>, &SimpleForm<F, false, true>, KIND};
template <ArmHandler F>
constexpr Handlers kArmWord = {F, &SimpleForm<&OnEntry<F>, false, false>, &SimpleForm<&OnEntry<F>, false, true>,
                               kKindAlu};
template <ArmHandler F>
constexpr Handlers kThumb = {F, nullptr, nullptr, kKindComplex};
template <EntryHandler F>
constexpr Handlers kThumbPlain = {&OnThumbWord<F>, &SimpleForm<F, true, false>, &SimpleForm<F, true, true>, kKindAlu};
// A simple handler that sets the flags a loop's conditional branch usually tests (BODY: the same as
// a handler of the whole word).
template <EntryHandler F, ArmHandler BODY, bool THUMB, HandlerKind KIND = kKindAlu>
constexpr Handlers kPaired = {BODY, &SimpleForm<F, THUMB, false>, &SimpleForm<F, THUMB, true>, KIND,
                              kPairForms<F, THUMB>.data()};
template <FastEntryHandler FAST, FastEntryHandler SLOW, HandlerKind KIND = kKindMemory>
constexpr Handlers kArmFast = {&SlowOnWord<SLOW>, &FastForm<FAST, false, false>,
                               &FastForm<FAST, false, true>, KIND};
template <FastEntryHandler FAST, FastEntryHandler SLOW>
constexpr Handlers kThumbFast = {&OnThumbWord<SLOW>, &FastForm<FAST, true, false>,
                                 &FastForm<FAST, true, true>, kKindMemory};

// --- Handler tables ---
// Compares, and additions and subtractions with S of an immediate, pair with a branch after them.
template <int OP, int S, int FORM>
constexpr Handlers DpEntry() {
    constexpr EntryHandler f = &ArmDataProcessing<OP, S, FORM, true>;
    constexpr EntryHandler whole = &ArmDataProcessing<OP, S, FORM, false>;
    if constexpr ((IsCompare(OP) && FORM <= 4) || (S && FORM == 0 && (OP == kSub || OP == kAdd)))
        return kPaired<f, &OnWord<whole>, false, kKindDp>;
    else
        return kArmPlain<f, kKindDp, whole>;
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeDp(std::index_sequence<I...>) {
    return {DpEntry<I / 18, (I / 9) % 2, I % 9>()...};
}
// The memory handlers by table index: the P, U, B/I/S, W and L bits in bits 4..0 of I, the form in
// the bits above.
template <size_t I, bool FAST>
bool LsAt(const Decoded* i) {
    return ArmLoadStore<(I >> 4) & 1, (I >> 3) & 1, (I >> 2) & 1, (I >> 1) & 1, I & 1, (I >> 5), FAST>(i);
}
template <size_t I, bool FAST>
bool LsxAt(const Decoded* i) {
    constexpr int kSh = (I >> 5) + 1;
    return ArmLoadStoreExtra<(I >> 4) & 1, (I >> 3) & 1, (I >> 2) & 1, (I >> 1) & 1, I & 1, kSh, FAST>(i);
}
template <size_t I, bool FAST>
bool BlockAt(const Decoded* i) {
    return ArmBlockTransfer<(I >> 4) & 1, (I >> 3) & 1, (I >> 2) & 1, (I >> 1) & 1, I & 1, FAST>(i);
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeLs(std::index_sequence<I...>) {
    return {kArmFast<&LsAt<I, true>, &LsAt<I, false>>...};
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeLsx(std::index_sequence<I...>) {
    return {kArmFast<&LsxAt<I, true>, &LsxAt<I, false>>...};
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeBlock(std::index_sequence<I...>) {
    return {kArmFast<&BlockAt<I, true>, &BlockAt<I, false>, kKindBlock>...};
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeMul(std::index_sequence<I...>) {
    return {kArmPlain<&ArmMultiply<I / 2, I % 2>>...};
}
constexpr auto kDp = MakeDp(std::make_index_sequence<288>());
constexpr auto kLs = MakeLs(std::make_index_sequence<160>());
constexpr auto kLsx = MakeLsx(std::make_index_sequence<96>());
constexpr auto kBlock = MakeBlock(std::make_index_sequence<32>());
constexpr auto kMul = MakeMul(std::make_index_sequence<16>());

// Handler for bits 27..20 (op) and 7..4 (lo).
Handlers DecodeArm(uint32_t op, uint32_t lo) {
    const uint32_t dpOp = (op >> 1) & 15, s = op & 1;
    switch (op >> 5) {
        case 0:
            if ((lo & 9) == 9) {
                const uint32_t sh = (lo >> 1) & 3;
                if (sh == 0) {
                    if ((op & 0xF0) == 0) return kMul[((op >> 1) & 7) * 2 + s];
                    if ((op & 0xFB) == 0x10) return (op & 4) ? kArm<&ArmSwap<1>> : kArm<&ArmSwap<0>>;
                    return kArm<&ArmUndefined>;
                }
                return kLsx[(sh - 1) * 32 + (op & 31)];
            }
            if ((op & 0x19) == 0x10) {
                if (!(lo & 1)) {
                    if (lo & 8) return kArmWord<&ArmDspMultiply>;
                    return (op & 2) ? kArm<&ArmMsrRegister> : kArm<&ArmMrs>;
                }
                switch ((lo >> 1) & 3) {
                    case 0: return (op & 4) ? kArmWord<&ArmClz> : kArm<&ArmBx>;
                    case 1: return kArm<&ArmBlx>;
                    case 2: return kArmWord<&ArmSaturating>;
                    default: return kArm<&ArmBkpt>;
                }
            }
            return kDp[dpOp * 18 + s * 9 + 1 + (lo & 1) * 4 + ((lo >> 1) & 3)];
        case 1:
            if ((op & 0xFB) == 0x32) return kArm<&ArmMsrImmediate>;
            // TST and CMP without S execute as TST and CMP.
            return kDp[dpOp * 18 + s * 9];
        case 2: return kLs[op & 31];
        case 3:
            if (lo & 1) return kArm<&ArmUndefined>;
            return kLs[(1 + ((lo >> 1) & 3)) * 32 + (op & 31)];
        case 4: return kBlock[op & 31];
        case 5: return (op & 0x10) ? kArm<&ArmBranch<1>> : kArm<&ArmBranch<0>>;
        case 6: return kArm<&ArmAccumulator>;
        default:
            if (op & 0x10) return kArm<&ArmSwi>;
            return (lo & 1) ? kArm<&ArmCoprocTransfer> : kArm<&ArmNop>;
    }
}

// Condition code 15: BLX immediate and PLD; everything else is undefined.
void ArmUnconditional(uint32_t i) {
    if ((i & 0x0E000000u) == 0x0A000000u) {
        const uint32_t offset = static_cast<uint32_t>(static_cast<int32_t>(i << 8) >> 6);
        R[14] = gCpu.cur + 4;
        SetThumb(1);
        Branch(R[15] + offset + ((i >> 23) & 2));
        return;
    }
    if ((i & 0x0D70F000u) == 0x0550F000u) return;  // PLD
    Undefined();
}

// The handler table index: bits 27..20 and 7..4 side by side. The multiply adds a copy of the
// masked word shifted left by 12, which puts bits 7..4 in bits 19..16 under bits 27..20 (the shifted
// copy of bits 27..20 leaves the word).
constexpr uint32_t ArmTableIndex(uint32_t i) { return ((i & 0x0FF000F0u) * 0x1001u) >> 16; }
static_assert(ArmTableIndex(0xE12FFF1Eu) == 0x121, "BX: bits 27..20 0x12, bits 7..4 1");
static_assert(ArmTableIndex(0xF5D0F000u) == 0x5D0 && ArmTableIndex(0x0FF000F0u) == 0xFFF);

__attribute__((always_inline)) inline void ArmDispatch(uint32_t i) {
    const uint32_t cond = i >> 28;
    if (__builtin_expect(cond != 14, 0)) {
        if (cond == 15) return ArmUnconditional(i);
        if (ConditionFails(cond)) return;
    }
    gArmTable[ArmTableIndex(i)](i);
}

void ArmExecute(uint32_t i) { ArmDispatch(i); }

using ThumbHandler = void (*)(uint32_t);
ThumbHandler gThumbTable[1024];  // by instruction bits 15..6

ArmHandler BodyOf(bool thumb, uint32_t insn) {
    if (thumb) return gThumbTable[insn >> 6];
    return insn >> 28 == 15 ? &ArmUnconditional : gArmTable[ArmTableIndex(insn)];
}

// --- Thumb ---

// The fast forms (see Load and Store) move words that lie in one cached page with memory behind it.
template <bool FAST>
bool ThumbPushPop(uint32_t i) {
    if constexpr (FAST) {
        const uint32_t bytes = 4 * BitCount(i & 0x1FF);
        const bool pop = i & (1u << 11);
        const uint32_t addr = pop ? R[13] : R[13] - bytes;
        uintptr_t h;
        if (!bytes || !FastBlock(pop ? gTlb.read : gTlb.write, addr, bytes, h)) return false;
        for (uint32_t m = i & 0xFF; m; m &= m - 1, h += 4) {
            const int n = __builtin_ctz(m);
            if (pop) R[n] = CpuLoad32(h); else CpuStore32(h, R[n]);
        }
        if (!pop) {
            if (i & 0x100) CpuStore32(h, R[14]);
            R[13] = addr;
            return true;
        }
        R[13] = addr + bytes;
        if (i & 0x100) InterworkBranch(CpuLoad32(h));
        return true;
    }
    if (i & (1u << 11)) {
        for (int n = 0; n < 8; ++n) {
            if (!(i & (1u << n))) continue;
            CheckAligned(R[13], 3);
            R[n] = MemRead32(R[13]);
            R[13] += 4;
        }
        if (i & 0x100) {
            CheckAligned(R[13], 3);
            const uint32_t v = MemRead32(R[13]);
            R[13] += 4;
            InterworkBranch(v);
        }
        return true;
    }
    if (i & 0x100) {
        R[13] -= 4;
        CheckAligned(R[13], 3);
        MemWrite32(R[13], R[14]);
    }
    for (int n = 7; n >= 0; --n) {
        if (!(i & (1u << n))) continue;
        R[13] -= 4;
        CheckAligned(R[13], 3);
        MemWrite32(R[13], R[n]);
    }
    return true;
}

template <bool FAST>
bool ThumbMultiple(uint32_t i) {
    const uint32_t rn = (i >> 8) & 7;
    if constexpr (FAST) {
        const uint32_t bytes = 4 * BitCount(i & 0xFF);
        const bool load = i & (1u << 11);
        uintptr_t h;
        if (!bytes || !FastBlock(load ? gTlb.read : gTlb.write, R[rn], bytes, h)) return false;
        if (load) {
            const uint32_t end = R[rn] + bytes;
            for (uint32_t m = i & 0xFF; m; m &= m - 1, h += 4) R[__builtin_ctz(m)] = CpuLoad32(h);
            if (!(i & (1u << rn))) R[rn] = end;
        } else {
            // Rn advances word by word: a listed Rn after the lowest stores its advanced value.
            for (uint32_t m = i & 0xFF; m; m &= m - 1, h += 4) {
                CpuStore32(h, R[__builtin_ctz(m)]);
                R[rn] += 4;
            }
        }
        return true;
    }
    if (i & (1u << 11)) {
        uint32_t addr = R[rn];
        for (int n = 0; n < 8; ++n) {
            if (!(i & (1u << n))) continue;
            CheckAligned(addr, 3);
            R[n] = MemRead32(addr);
            addr += 4;
        }
        if (!(i & (1u << rn))) R[rn] = addr;
        return true;
    }
    for (int n = 0; n < 8; ++n) {
        if (!(i & (1u << n))) continue;
        CheckAligned(R[rn], 3);
        MemWrite32(R[rn], R[n]);
        R[rn] += 4;
    }
    return true;
}

template <int OP>
void ThumbAlu(const Decoded* e) {
    const uint32_t rd = e->rd;
    const uint32_t m = R[e->rm];
    const uint32_t d = R[rd];
    uint32_t r, c = Carry();  // the shifts change c; the other logical operations keep it
    switch (OP) {
        case 0: r = d & m; break;
        case 1: r = d ^ m; break;
        case 2: r = ShiftByRegister(kLsl, d, m & 0xFF, c); break;
        case 3: r = ShiftByRegister(kLsr, d, m & 0xFF, c); break;
        case 4: r = ShiftByRegister(kAsr, d, m & 0xFF, c); break;
        case 5: R[rd] = AddFlags(d, m, c); return;
        case 6: R[rd] = SubFlags(d, m, c); return;
        case 7: r = ShiftByRegister(kRor, d, m & 0xFF, c); break;
        case 8: SetNZ(d & m); return;
        case 9: R[rd] = SubFlags(0, m, 1); return;
        case 10: SubFlags(d, m, 1); return;
        case 11: AddFlags(d, m, 0); return;
        case 12: r = d | m; break;
        case 13: r = m * d; break;
        case 14: r = d & ~m; break;
        default: r = ~m; break;
    }
    R[rd] = r;
    SetNZC(r, c);
}

// STR, STRH, STRB, LDRSB, LDR, LDRH, LDRB, LDRSH at Rn + Rm.
template <int OP, bool FAST>
bool ThumbLoadStoreRegister(const Decoded* e) {
    const uint32_t addr = R[e->rn] + R[e->rm];
    const uint32_t rd = e->rd;
    constexpr int kSize = (OP == 0 || OP == 4) ? 4 : (OP == 1 || OP == 5 || OP == 7) ? 2 : 1;
    bool done;
    if constexpr (OP <= 2) {
        done = Store<kSize, FAST>(addr, R[rd]);
    } else {
        uint32_t v;
        done = Load<kSize, OP == 3 || OP == 7, FAST>(addr, v);
        if (done) R[rd] = v;
    }
    return done;
}

// The classes with memory accesses, in a fast and a slow form.
constexpr bool IsThumbMemoryClass(int cls) {
    return cls == kTLoadStoreReg || cls == kTLdrPc || cls == kTLoadStoreImm || cls == kTLoadStoreHalf ||
           cls == kTLoadStoreSp || cls == kTPushPop || cls == kTMultiple;
}

template <int CLS, int SUB, bool FAST>
bool ThumbMemory(const Decoded* e) {
    const uint32_t i = e->insn;
    switch (CLS) {
        case kTLoadStoreReg: return ThumbLoadStoreRegister<SUB, FAST>(e);
        case kTPushPop: return ThumbPushPop<FAST>(i);
        case kTMultiple: return ThumbMultiple<FAST>(i);
        case kTLdrPc: {
            uint32_t v;
            if (!Load<4, false, FAST>((R[15] & ~3u) + e->imm, v)) return false;
            R[e->rd] = v;
            return true;
        }
        default: {
            // kTLoadStoreImm, SUB: STR, LDR (offset × 4), STRB, LDRB; kTLoadStoreHalf, bit 11: LDRH,
            // else STRH (offset × 2); kTLoadStoreSp, bit 11: LDR, else STR of Rd (bits 10..8) at r13 +
            // offset × 4.
            constexpr int kSize = CLS == kTLoadStoreHalf ? 2 : (CLS == kTLoadStoreImm && SUB >= 2) ? 1 : 4;
            const bool load = CLS == kTLoadStoreImm ? (SUB & 1) : (i >> 11) & 1;
            const uint32_t rd = e->rd;
            const uint32_t a = (CLS == kTLoadStoreSp ? R[13] : R[e->rn]) + e->imm;
            uint32_t v;
            if (!load) return Store<kSize, FAST>(a, R[rd]);
            if (!Load<kSize, false, FAST>(a, v)) return false;
            R[rd] = v;
            return true;
        }
    }
}

inline uint32_t SignExtend11(uint32_t i) { return static_cast<uint32_t>(static_cast<int32_t>(i << 21) >> 21); }

// One instance per class of the class table and, where the class has one, per value of its
// operation field (SUB, see ThumbSub); the ALU class has one per operation (ThumbAlu).
template <int CLS, int SUB>
void ThumbClass(const Decoded* e) {
    const uint32_t i = e->insn;
    switch (CLS) {
        case kTShiftImm: {
            uint32_t c = Carry();
            const uint32_t r = ShiftByImmediate(SUB, R[e->rm], e->imm, c);
            R[e->rd] = r;
            SetNZC(r, c);
            return;
        }
        case kTAddSubReg:
        case kTAddSubImm3: {
            const uint32_t a = R[e->rn];
            const uint32_t b = CLS == kTAddSubReg ? R[e->rm] : e->imm;
            R[e->rd] = SUB ? SubFlags(a, b, 1) : AddFlags(a, b, 0);
            return;
        }
        case kTMovImm: {
            const uint32_t v = e->imm;
            R[e->rd] = v;
            SetNZ(v);
            return;
        }
        case kTCmpImm: SubFlags(R[e->rd], e->imm, 1); return;
        case kTAddImm: R[e->rd] = AddFlags(R[e->rd], e->imm, 0); return;
        case kTSubImm: R[e->rd] = SubFlags(R[e->rd], e->imm, 1); return;
        case kTHiReg: {
            const uint32_t rd = e->rd;
            const uint32_t m = R[e->rm];
            switch (SUB) {
                case 0: {
                    const uint32_t r = R[rd] + m;
                    if (rd == 15) Branch(r); else R[rd] = r;
                    return;
                }
                case 1: SubFlags(R[rd], m, 1); return;
                default:
                    if (rd == 15) Branch(m); else R[rd] = m;
                    return;
            }
        }
        case kTBx: return InterworkBranch(R[(i >> 3) & 15]);
        case kTBlx: {
            const uint32_t target = R[(i >> 3) & 15];
            R[14] = gCpu.next | 1;
            return InterworkBranch(target);
        }
        case kTAddress:
            R[e->rd] = ((i & (1u << 11)) ? R[13] : (R[15] & ~3u)) + e->imm;
            return;
        case kTAdjustSp:
            if (i & 0x80) R[13] -= (i & 0x7F) * 4; else R[13] += (i & 0x7F) * 4;
            return;
        case kTBkpt: {
            uint32_t insn;
            if (PatchTrap(&insn)) return ThumbExecute(insn & 0xFFFF);
            return;
        }
        case kTCondBranch: {
            if (SUB != 14 && ConditionFails(SUB)) return;
            return Branch(R[15] + static_cast<uint32_t>(static_cast<int8_t>(i & 0xFF)) * 2);
        }
        case kTSwi: SoftwareInterrupt(i, false); return;
        case kTBranch: return Branch(R[15] + SignExtend11(i) * 2);
        case kTBlxSuffix: {
            const uint32_t target = (R[14] + (i & 0x7FF) * 2) & ~3u;
            R[14] = gCpu.next | 1;
            SetThumb(0);
            return Branch(target);
        }
        case kTBlPrefix: R[14] = R[15] + (SignExtend11(i) << 12); return;
        case kTBlSuffix: {
            const uint32_t target = R[14] + (i & 0x7FF) * 2;
            R[14] = gCpu.next | 1;
            return Branch(target);
        }
        default: Undefined(); return;
    }
}

// The classes that may run in a simple form (the decoder checks the high-register ones).
constexpr bool IsThumbSimpleClass(int cls) {
    return cls == kTShiftImm || cls == kTAddSubReg || cls == kTAddSubImm3 || cls == kTMovImm || cls == kTCmpImm ||
           cls == kTAddImm || cls == kTSubImm || cls == kTHiReg || cls == kTAddress || cls == kTAdjustSp ||
           cls == kTBlPrefix;
}

template <int CLS, int SUB>
constexpr Handlers ThumbEntry() {
    if constexpr (IsThumbMemoryClass(CLS)) {
        return kThumbFast<&ThumbMemory<CLS, SUB, true>, &ThumbMemory<CLS, SUB, false>>;
    } else if constexpr ((CLS == kTAddSubReg || CLS == kTAddSubImm3) && SUB < 2) {
        return kPaired<&ThumbClass<CLS, SUB>, &OnThumbWord<&ThumbClass<CLS, SUB>>, true>;
    } else if constexpr ((CLS == kTCmpImm || CLS == kTAddImm || CLS == kTSubImm) && SUB == 0) {
        return kPaired<&ThumbClass<CLS, SUB>, &OnThumbWord<&ThumbClass<CLS, SUB>>, true>;
    } else if constexpr (CLS == kTHiReg && SUB == 1) {
        return kPaired<&ThumbClass<CLS, SUB>, &OnThumbWord<&ThumbClass<CLS, SUB>>, true>;
    } else if constexpr (IsThumbSimpleClass(CLS)) {
        return kThumbPlain<&ThumbClass<CLS, SUB>>;
    } else {
        return kThumb<&OnThumbWord<&ThumbClass<CLS, SUB>>>;
    }
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeThumbClasses(std::index_sequence<I...>) {
    return {ThumbEntry<I / 16, I % 16>()...};
}
// TST, CMP and CMN pair with a branch after them.
template <int OP>
constexpr Handlers ThumbAluEntry() {
    if constexpr (OP == 8 || OP == 10 || OP == 11) return kPaired<&ThumbAlu<OP>, &OnThumbWord<&ThumbAlu<OP>>, true>;
    else return kThumbPlain<&ThumbAlu<OP>>;
}
template <size_t... I>
constexpr std::array<Handlers, sizeof...(I)> MakeThumbAlu(std::index_sequence<I...>) {
    return {ThumbAluEntry<I>()...};
}
constexpr auto kThumbClasses = MakeThumbClasses(std::make_index_sequence<(kTUndefined + 1) * 16>());

// The operation field of a class, from the table index (instruction bits 15..6).
uint32_t ThumbSub(uint32_t cls, uint32_t j) {
    switch (cls) {
        case kTShiftImm: case kTLoadStoreImm: return (j >> 5) & 3;   // bits 12..11
        case kTAddSubReg: case kTAddSubImm3: return (j >> 3) & 1;    // bit 9
        case kTHiReg: return (j >> 2) & 3;                           // bits 9..8
        case kTLoadStoreReg: return (j >> 3) & 7;                    // bits 11..9
        case kTCondBranch: return (j >> 2) & 15;                     // bits 11..8
        default: return 0;
    }
}
constexpr auto kThumbAlu = MakeThumbAlu(std::make_index_sequence<16>());

void ThumbExecute(uint32_t i) { gThumbTable[i >> 6](i); }

// --- Decoding into entries ---
Handlers gArmDecode[4096];   // by ArmTableIndex
Handlers gThumbDecode[1024]; // by instruction bits 15..6

// Whether any of the register fields an ARM instruction may name (bits 19..16, 15..12, 11..8, 3..0)
// names r15.
inline bool NamesPc(uint32_t w) {
    return ((w >> 16) & 15) == 15 || ((w >> 12) & 15) == 15 || ((w >> 8) & 15) == 15 || (w & 15) == 15;
}

// The simple form of an ARM instruction, or null when it must run in the complex form: it writes
// r15, changes the mode or the state, or may do anything else a simple form cannot follow.
Form ArmSimpleForm(const Handlers& h, uint32_t w) {
    const uint32_t rn = (w >> 16) & 15, rd = (w >> 12) & 15;
    const bool load = w & (1u << 20), writeBack = !(w & (1u << 24)) || (w & (1u << 21));
    bool pc = NamesPc(w);
    switch (h.kind) {
        case kKindComplex: return nullptr;
        case kKindDp: {
            const uint32_t op = (w >> 21) & 15;
            if (rd == 15 && !IsCompare(static_cast<int>(op))) return nullptr;
            break;
        }
        case kKindAlu:
            if (rn == 15 || rd == 15) return nullptr;
            break;
        case kKindMemory:
            if ((load && rd == 15) || (writeBack && rn == 15)) return nullptr;
            break;
        case kKindBlock:
            if (rn == 15 || (w & (1u << 22)) || (load && (w & 0x8000))) return nullptr;
            pc = w & 0x8000;
            break;
    }
    return pc ? h.formPc : h.form;
}

// Translated blocks (see CpuTranslate.h) leave through these: on to an entry, the way a form goes on
// to the next instruction, and into an entry's instruction in the form that makes every access
// (when an access misses the caches' fast path), with the entry decoded from the word in memory.
void BlockNext(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    if (!(pc & 0x3FF)) return EnterPage<false>(pc, left);
    return Run<false>(e, pc, left, host);
}
void BlockSlow(Decoded* e, uint32_t pc, uint32_t left, uintptr_t host) {
    const uint32_t w = CpuLoad32(host);
    if (w != e->insn) DecodeArmEntry(e, w, pc, host);
    return Complex<false>(e, pc, left, host);
}

// Makes every entry that runs a translated block (all: every entry) decode its word again when it
// runs next.
void DropBlocks(bool all = false) {
    for (DecodedPage<false>& p : gArmPages)
        for (Decoded& d : p.entries)
            if (all || CpuIsBlock(reinterpret_cast<const void*>(d.form))) d.form = &Redecode<false>;
    CpuEmptyCodeBuffer();
}

// Makes the entry of the ARM instruction at pc (host address host) run a translated block when
// it and the instructions after it in the page form one.
void TranslateArm(Decoded* e, uint32_t pc, uintptr_t host) {
    if (!CpuTranslationOn()) return;
    const uint32_t* words = reinterpret_cast<const uint32_t*>(host);
    const uint32_t n = CpuTranslatableRun(words, (0x400 - (pc & 0x3FF)) / 4);
    if (n < 2) return;
    const CpuBlockTargets t = {e, sizeof(Decoded), gCpu.r, &gFlags.nz, &gFlags.c, &gFlags.v, gTlb.read,
                               gTlb.write, reinterpret_cast<const void*>(e->form),
                               reinterpret_cast<const void*>(&BlockNext),
                               reinterpret_cast<const void*>(&BlockSlow)};
    void* code = CpuTranslateArm(words, n, t);
    if (!code) {
        DropBlocks();
        code = CpuTranslateArm(words, n, t);
    }
    if (code) e->form = reinterpret_cast<Form>(code);
}

void DecodeArmEntry(Decoded* e, uint32_t w, uint32_t pc, uintptr_t host) {
    *e = Decoded{&Complex<false>, nullptr, w, 0, 0, 0, 0, 0, 0};
    FillArmFields(*e, w);
    const uint32_t cond = w >> 28;
    if (cond == 15) return;
    const Handlers& h = gArmDecode[ArmTableIndex(w)];
    if ((w & 0x0E000000u) == 0x0A000000u) {
        const int32_t delta = 8 + (static_cast<int32_t>(w << 8) >> 6);
        e->aux = static_cast<uint32_t>(delta);
        e->form = BranchFormFor<false>(cond, w & (1u << 24), pc, delta);
        return;
    }
    Form f = ArmSimpleForm(h, w);
    if (h.body == &ArmBx && (w & 15) != 15) f = &BxForm<false>;
    if (!f) f = &Complex<false>;
    if (cond == 14) {
        e->form = f;
        // A conditional B after it in the page: the pair runs as one form.
        if (f == h.form && h.pairs && (pc & 0x3FF) != 0x3FC) {
            const uint32_t next = CpuLoad32(host + 4);
            if ((next & 0x0F000000u) == 0x0A000000u && (next >> 28) < 14) {
                e->form = h.pairs[(next >> 28) * 2 + InPage(pc + 4, 8 + (static_cast<int32_t>(next << 8) >> 6))];
                e->aux = next;
            }
        }
        TranslateArm(e, pc, host);
    } else {
        e->form = kCondGates[cond];
        e->inner = f;
    }
}

// A conditional branch after a Thumb instruction in its simple form in the page: the pair runs as
// one form.
void PairThumb(Decoded* e, const Handlers& h, uint32_t pc, uintptr_t host) {
    if (e->form != h.form || !h.pairs || (pc & 0x3FF) == 0x3FE) return;
    const uint32_t next = CpuLoad16(host + 2);
    if ((next & 0xF000) != 0xD000 || ((next >> 8) & 15) >= 14) return;
    e->form = h.pairs[((next >> 8) & 15) * 2 + InPage(pc + 2, 4 + static_cast<int8_t>(next & 0xFF) * 2)];
    e->aux = next;
}

void DecodeThumbEntry(Decoded* e, uint32_t w, uint32_t pc, uintptr_t host) {
    const Handlers& h = gThumbDecode[w >> 6];
    *e = Decoded{&Complex<true>, nullptr, w, 0, 0, 0, 0, 0, 0};
    FillThumbFields(*e, w, gThumbClass[w >> 7]);
    switch (gThumbClass[w >> 7]) {
        case kTCondBranch:
        case kTBranch: {
            const bool cond = gThumbClass[w >> 7] == kTCondBranch;
            const int32_t delta = 4 + (cond ? static_cast<int8_t>(w & 0xFF) * 2 : static_cast<int32_t>(SignExtend11(w)) * 2);
            e->aux = static_cast<uint32_t>(delta);
            e->form = BranchFormFor<true>(cond ? (w >> 8) & 15 : 14, false, pc, delta);
            return;
        }
        case kTBlSuffix: e->form = &ThumbBlSuffixForm; return;
        case kTBx:
            if (((w >> 3) & 15) != 15) e->form = &BxForm<true>;
            return;
        case kTHiReg: {
            const uint32_t rd = ((w >> 4) & 8) | (w & 7), rm = (w >> 3) & 15;
            const bool compare = ((w >> 8) & 3) == 1;
            if (rd == 15 && !compare) return;
            e->form = rd == 15 || rm == 15 ? h.formPc : h.form;
            return PairThumb(e, h, pc, host);
        }
        case kTPushPop:
            if ((w & (1u << 11)) && (w & 0x100)) return;  // a pop of r15 may change the state
            break;
        case kTLdrPc: case kTBlPrefix: e->form = h.formPc; return;
        case kTAddress: e->form = (w & (1u << 11)) ? h.form : h.formPc; return;
        default: break;
    }
    if (h.form) e->form = h.form;
    PairThumb(e, h, pc, host);
}

// --- The run loop ---
inline void TakeInterrupt() {
    if (IntcFiqPending() && !gCpu.F) {
        CpuEnterException(kExcFiq);
    } else if (IntcIrqPending() && !gCpu.I) {
        CpuSwitchMode(kModeIrq, true);
        R[14] = gCpu.next + 4;
        SetThumb(0);
        gCpu.I = 1;
        R[15] = gCpu.next = gCpu.highVectors ? 0xFFFF0018u : 0x18;
    }
}

// The longest batch, in instructions. Other threads' requests in the pending word wait at most
// this long: as if their thread had made them a few microseconds later.
constexpr uint32_t kMaxBatch = 1024;

// True when the tail of the next instruction would take an interrupt.
inline bool InterruptDue() {
    return Intc.present && ((IntcFiqPending() && !gCpu.F) || (IntcIrqPending() && !gCpu.I));
}

// Adds the instructions the batch has finished since the last commit to the instruction counter
// and the countdown, and makes the plain ticks they passed (the batch never passes another kind).
void CommitBatch() {
    const uint32_t done = gBatch.size - gBatch.left - gBatch.committed;
    if (!done) return;
    gBatch.committed += done;
    ExecutedInstructions += done;
    // A countdown of 0 counts down from 2^32.
    if (InstructionCountdown == 0 || done < InstructionCountdown) {
        InstructionCountdown -= done;
        return;
    }
    const uint32_t ratio = TimingRatio();
    const uint32_t over = done - InstructionCountdown;
    TimingSkipTicks(1 + over / ratio);
    InstructionCountdown = ratio - over % ratio;
}

// Runs one batch of at most `limit` instructions (at least one), ending with the full tail of its
// last instruction. Returns the run code when bit 63 was served, else -1.
//
// A batch ends no later than the instruction whose tail makes the first tick that may do something
// (a timer match or a due event): the ticks before it only count, and are made when the batch
// commits. Every tick therefore falls on the same instruction as when each instruction is followed
// by its full tail. When the pending word is already non-zero or an interrupt is due, the batch
// is one instruction long.
int RunBatch(uint32_t limit) {
    uint64_t n = 1;
    if (!PendingEventWord.load(std::memory_order_relaxed) && !InterruptDue()) {
        const uint64_t countdown = InstructionCountdown ? InstructionCountdown : uint64_t(1) << 32;
        n = std::min<uint64_t>(limit, countdown + uint64_t(TimingPlainTicks()) * TimingRatio());
    }
    gBatch.size = static_cast<uint32_t>(n);
    gBatch.left = gBatch.size;
    gBatch.committed = 0;
    gBatch.active = true;
    LiveFlags();
    if (gCpu.thumb) {
        gCpu.tImage = 1;  // only the end of a batch can leave Thumb state
        EnterPage<true>(gCpu.cur, gBatch.size);
    } else {
        EnterPage<false>(gCpu.cur, gBatch.size);
    }
    gBatch.left = 1;  // the last instruction: its tail follows
    CommitBatch();
    gBatch.active = false;
    CpuSyncFlags();
    // The per-instruction tail of the batch's last instruction.
    if (PendingEventWord.load(std::memory_order_relaxed) && CpuServicePending()) return RunCode.load();
    if (Intc.present) TakeInterrupt();
    gCpu.cur = gCpu.next;
    ++ExecutedInstructions;
    TimingStep();
    return -1;
}

#undef R

}  // namespace

void CpuEndBatch() {
    if (!gBatch.active) return;
    CommitBatch();
    gBatch.size -= gBatch.left - 1;
    gBatch.left = 1;
}

void CpuSetTranslation(bool on) {
    DropBlocks(true);
    CpuSetTranslationOn(on);
}

void CpuSyncFlags() {
    if (!gFlags.live) return;
    gCpu.nzcv = PackFlags();
    gFlags.live = false;
}

void CpuAbortJump() { std::longjmp(gAbortJump, 1); }

int32_t CpuRun() {
    // An abort long-jumps back here with the state already switched to its exception.
    if (setjmp(gAbortJump)) gBatch.active = false;
    for (;;) {
        const int code = RunBatch(kMaxBatch);
        if (code >= 0) return code;
    }
}

int CpuStep() {
    if (setjmp(gAbortJump)) {
        gBatch.active = false;
        return -1;
    }
    return RunBatch(1);
}

int CpuRunFor(uint64_t count) {
    const uint64_t end = ExecutedInstructions + std::min(count, ~ExecutedInstructions);
    if (setjmp(gAbortJump)) gBatch.active = false;
    while (ExecutedInstructions < end) {
        const uint64_t left = end - ExecutedInstructions;
        const int code = RunBatch(static_cast<uint32_t>(std::min<uint64_t>(kMaxBatch, left)));
        if (code >= 0) return code;
    }
    return -1;
}

void CpuBuildCondTable() {
    static const char* const kPatterns[14] = {"-1--", "-0--", "--1-", "--0-", "1---", "0---", "---1",
                                              "---0", "-01-", "--0-|-1--", "1--1|0--0", "1--0|0--1",
                                              "10-1|00-0", "-1--|0--1|1--0"};
    for (uint32_t nzcv = 0; nzcv < 16; ++nzcv) {
        for (int cond = 0; cond < 14; ++cond) {
            bool pass = false;
            const char* p = kPatterns[cond];
            while (*p) {
                bool match = true;
                for (int k = 0; k < 4; ++k) {
                    const uint32_t bit = (nzcv >> (3 - k)) & 1;
                    if ((p[k] == '1' && !bit) || (p[k] == '0' && bit)) match = false;
                }
                pass = pass || match;
                p += 4;
                if (*p == '|') ++p;
            }
            gCondTable[cond][nzcv] = !pass;
        }
        gCondTable[14][nzcv] = 0;
        gCondTable[15][nzcv] = 1;
    }
    for (uint32_t idx = 0; idx < 4096; ++idx) {
        const Handlers h = DecodeArm(idx >> 4, idx & 0xF);
        gArmTable[idx] = h.body;
        gArmDecode[idx] = h;
    }
}

void CpuBuildThumbTable() {
    struct Row {
        const char* pattern;
        uint8_t cls;
    };
    static const Row kRows[29] = {
        {"000------", kTShiftImm},     {"000110---", kTAddSubReg},    {"000111---", kTAddSubImm3},
        {"00100----", kTMovImm},       {"00101----", kTCmpImm},       {"00110----", kTAddImm},
        {"00111----", kTSubImm},       {"0100-----", kTHiReg},        {"0101-----", kTLoadStoreReg},
        {"01001----", kTLdrPc},        {"010000---", kTAlu},          {"010001110", kTBx},
        {"010001111", kTBlx},          {"011------", kTLoadStoreImm}, {"1000-----", kTLoadStoreHalf},
        {"1001-----", kTLoadStoreSp},  {"1010-----", kTAddress},      {"1011000--", kTAdjustSp},
        {"1011010--", kTPushPop},      {"1011100--", kTAdjustSp},     {"1011110--", kTPushPop},
        {"1011111--", kTBkpt},         {"1100-----", kTMultiple},     {"1101-----", kTCondBranch},
        {"11011111-", kTSwi},          {"11100----", kTBranch},       {"11101----", kTBlxSuffix},
        {"11110----", kTBlPrefix},     {"11111----", kTBlSuffix},
    };
    if (std::strlen(kRows[0].pattern) != 9) CpuFatal("TIC_SHIFT needs to be adjusted");
    std::memset(gThumbClass, kTUndefined, sizeof gThumbClass);
    for (const Row& row : kRows) {
        uint32_t fixed = 0;
        int free = 0;
        for (int k = 0; k < 9; ++k) {
            if (row.pattern[k] == '-') {
                ++free;
            } else {
                fixed |= static_cast<uint32_t>(row.pattern[k] - '0') << (8 - k);
            }
        }
        for (uint32_t e = 0; e < (1u << free); ++e) gThumbClass[fixed | e] = row.cls;
    }
    for (uint32_t j = 0; j < 1024; ++j) {
        const uint8_t cls = gThumbClass[j >> 1];
        const Handlers h = cls == kTAlu ? kThumbAlu[j & 15] : kThumbClasses[cls * 16 + ThumbSub(cls, j)];
        gThumbTable[j] = h.body;
        gThumbDecode[j] = h;
    }
}

uint32_t SemihostQuery(uint32_t value) {
    if (value != 257) return 0;
    return ++gQueryCount == 3 ? 2 : 0;
}

void CpuResetQueryCount() { gQueryCount = 0; }

}  // namespace tamsk
