// Translation of hot 68K code to x86-32 machine code.
//
// The interpreter calls JitRun where control moves (taken branches, calls, returns, the start of a
// run). JitRun counts visits per address on the calling thread; an address visited often enough
// becomes the start of a block: the straight run of instructions from it that this translator
// knows, up to an unconditional transfer. The block's code keeps every 68K register and condition
// code in the JitFrame (EBP points at it) and leaves it exact at every exit, so the interpreter
// resumes at any instruction the translator does not know. Conditional branches inside a block
// leave it, or jump within it when their target is one of its instructions.
//
// Condition codes are stored only where a later reader may see them: an instruction whose flags
// the next flag-setting instruction of the block overwrites before any branch or exit stores none.
// Byte and word arithmetic runs on operands shifted to the top of the host register, so that the
// host's flags are the 68K's and the shifted result is the interpreter's N/Z word.
//
// Rewritten code: a block compares its 68K words with the ones it was made from each time it is
// entered from outside, and is dropped and made again when they differ; a store that lands on the
// block's own words leaves it after the storing instruction, so a loop within the block never runs
// stale code either. Nothing in a block calls out, raises or faults differently from the
// interpreter: traps, exceptions and everything that needs native code stay with the interpreter.
//
// Each thread has its own blocks and counters. The code lives in one memory object mapped twice,
// writable at one address and executable at the other, never both.
#include "morvel/cpu/MorvelJit.h"

#ifdef MORVEL_JIT

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "morvel/cpu/EmulState.h"
#include "morvel/cpu/HostAddress.h"
#include "morvel/cpu/MorvelCpu.h"

namespace morvel {

namespace {

std::atomic<uint32_t> gThreshold{kDefaultJitThreshold};

// ---- frame offsets ----
constexpr int kOffR = offsetof(JitFrame, R);
constexpr int kOffPc = offsetof(JitFrame, pc);
constexpr int kOffRes = offsetof(JitFrame, res);
constexpr int kOffVc = offsetof(JitFrame, vc);
constexpr int kOffX = offsetof(JitFrame, x);
constexpr int kOffScratch = offsetof(JitFrame, scratch);
constexpr int SlotD(uint32_t n) { return kOffR + 4 * static_cast<int>(n); }
constexpr int SlotA(uint32_t n) { return kOffR + 32 + 4 * static_cast<int>(n); }

// ---- host registers and condition codes ----
enum : uint8_t { EAX, ECX, EDX, EBX, ESP, EBP, ESI, EDI };
enum : uint8_t { kO, kNO, kB, kAE, kE, kNE, kBE, kA, kS, kNS, kL = 0xC, kGE, kLE, kG };
// Host arithmetic group numbers (the /n of 81 and 83, and the register forms' opcodes).
enum : uint8_t { kAdd = 0, kOr = 1, kAnd = 4, kSub = 5, kXor = 6, kCmp = 7 };
enum : uint8_t { kShl = 4, kShr = 5, kSar = 7, kRol = 0 };

// ---- code emission ----

class Asm {
public:
    Asm(uint8_t* at, size_t room) : p_(at), start_(at), end_(at + room) {}
    bool Full() const { return full_; }
    size_t Size() const { return static_cast<size_t>(p_ - start_); }
    size_t Here() const { return Size(); }

    void B(uint32_t v) {
        if (p_ < end_)
            *p_++ = static_cast<uint8_t>(v);
        else
            full_ = true;
    }
    void D(uint32_t v) {
        for (int i = 0; i < 4; ++i) B(v >> (8 * i));
    }
    void W(uint32_t v) {
        B(v);
        B(v >> 8);
    }
    // ModRM with [EBP + disp8] or a register.
    void Slot(uint8_t r, int off) {
        B(0x45 | r << 3);
        B(static_cast<uint32_t>(off));
    }
    void Rr(uint8_t r, uint8_t rm) { B(0xC0 | r << 3 | rm); }
    void Ind(uint8_t r, uint8_t base, int32_t disp) {  // [base + disp32]; base is never ESP or EBP
        if (disp == 0) {
            B(r << 3 | base);
        } else {
            B(0x80 | r << 3 | base);
            D(static_cast<uint32_t>(disp));
        }
    }

    void LoadSlot(uint8_t r, int off) { B(0x8B), Slot(r, off); }
    void StoreSlot(int off, uint8_t r) { B(0x89), Slot(r, off); }
    void StoreSlot16(int off, uint8_t r) { B(0x66), B(0x89), Slot(r, off); }
    void StoreSlot8(int off, uint8_t r) { B(0x88), Slot(r, off); }
    void LoadSlot16(uint8_t r, int off) { B(0x66), B(0x8B), Slot(r, off); }
    void LoadSlot8(uint8_t r, int off) { B(0x8A), Slot(r, off); }
    void MovzxSlot(uint8_t r, int off, int size) { B(0x0F), B(size == 1 ? 0xB6 : 0xB7), Slot(r, off); }
    void MovsxSlot(uint8_t r, int off, int size) { B(0x0F), B(size == 1 ? 0xBE : 0xBF), Slot(r, off); }
    void MovSlotImm(int off, uint32_t v) { B(0xC7), Slot(0, off), D(v); }
    void MovSlotImm8(int off, uint32_t v) { B(0xC6), Slot(0, off), B(v); }
    void AluSlotImm(uint8_t n, int off, uint32_t v) { B(0x81), Slot(n, off), D(v); }
    void AluSlotR(uint8_t n, int off, uint8_t r) { B(n * 8 + 1), Slot(r, off); }
    void SubSlot16One(int off) { B(0x66), B(0x83), Slot(kSub, off), B(1); }
    void MovRI(uint8_t r, uint32_t v) { B(0xB8 + r), D(v); }
    void MovRR(uint8_t dst, uint8_t src) { B(0x89), Rr(src, dst); }
    void AluRR(uint8_t n, uint8_t dst, uint8_t src) { B(n * 8 + 1), Rr(src, dst); }
    void AluRI(uint8_t n, uint8_t r, uint32_t v) { B(0x81), Rr(n, r), D(v); }
    void ShiftRI(uint8_t n, uint8_t r, uint32_t c) { B(0xC1), Rr(n, r), B(c); }
    void ShiftRCl(uint8_t n, uint8_t r) { B(0xD3), Rr(n, r); }
    void Rol16By8(uint8_t r) { B(0x66), B(0xC1), Rr(kRol, r), B(8); }
    void Neg(uint8_t r) { B(0xF7), Rr(3, r); }
    void Not(uint8_t r) { B(0xF7), Rr(2, r); }
    void Test(uint8_t r) { B(0x85), Rr(r, r); }
    void Bswap(uint8_t r) { B(0x0F), B(0xC8 + r); }
    void Setcc(uint8_t cc, uint8_t r8) { B(0x0F), B(0x90 + cc), Rr(0, r8); }
    void SetccSlot(uint8_t cc, int off) { B(0x0F), B(0x90 + cc), Slot(0, off); }
    void Movzx8(uint8_t dst, uint8_t src8) { B(0x0F), B(0xB6), Rr(dst, src8); }
    void Movsx8(uint8_t dst, uint8_t src8) { B(0x0F), B(0xBE), Rr(dst, src8); }
    void Movsx16(uint8_t dst, uint8_t src) { B(0x0F), B(0xBF), Rr(dst, src); }
    void Load32(uint8_t r, uint8_t base, int32_t d = 0) { B(0x8B), Ind(r, base, d); }
    void Load16(uint8_t r, uint8_t base, int32_t d = 0) { B(0x0F), B(0xB7), Ind(r, base, d); }
    void Load8(uint8_t r, uint8_t base, int32_t d = 0) { B(0x0F), B(0xB6), Ind(r, base, d); }
    void Store32(uint8_t base, uint8_t r, int32_t d = 0) { B(0x89), Ind(r, base, d); }
    void Store16(uint8_t base, uint8_t r, int32_t d = 0) { B(0x66), B(0x89), Ind(r, base, d); }
    void Store8(uint8_t base, uint8_t r, int32_t d = 0) { B(0x88), Ind(r, base, d); }
    void LeaDisp(uint8_t r, uint8_t base, int32_t d) { B(0x8D), B(0x80 | r << 3 | base), D(static_cast<uint32_t>(d)); }
    // lea r, [r1 + r2*2]
    void LeaPair2(uint8_t r, uint8_t r1, uint8_t r2) { B(0x8D), B(0x04 | r << 3), B(0x40 | r2 << 3 | r1); }
    void BtRR(uint8_t base, uint8_t bit) { B(0x0F), B(0xA3), Rr(bit, base); }
    // cmp dword / word [base + disp32], imm
    void CmpIndImm(uint8_t base, int32_t d, uint32_t v) { B(0x81), B(0x80 | 7 << 3 | base), D(static_cast<uint32_t>(d)), D(v); }
    void CmpIndImm16(uint8_t base, int32_t d, uint32_t v) {
        B(0x66), B(0x81), B(0x80 | 7 << 3 | base), D(static_cast<uint32_t>(d)), W(v);
    }

    // Jumps with 32-bit displacements; the returned position is patched by Bind.
    size_t Jcc(uint8_t cc) {
        B(0x0F), B(0x80 + cc), D(0);
        return Size() - 4;
    }
    size_t Jmp() {
        B(0xE9), D(0);
        return Size() - 4;
    }
    void Bind(size_t at, size_t target) {
        if (full_) return;
        uint32_t rel = static_cast<uint32_t>(target - (at + 4));
        std::memcpy(start_ + at, &rel, 4);
    }
    void BindHere(size_t at) { Bind(at, Here()); }
    void Put(size_t at, uint32_t v) {
        if (!full_) std::memcpy(start_ + at, &v, 4);
    }

private:
    uint8_t* p_;
    uint8_t* start_;
    uint8_t* end_;
    bool full_ = false;
};

// ---- decoded instructions ----

enum class Op : uint8_t {
    Move, MoveA, Moveq, Alu, AluA, AddqA, Tst, Clr, Neg, Not, Swap, ExtW, ExtL, Lea, Pea, ShiftImm,
    Scc, Bcc, Dbcc, Bsr, Jsr, Jmp, Rts, MovemToMem, MovemToReg,
};
// Effective-address kinds, as the interpreter numbers them.
enum : uint8_t { kEDn, kEAn, kEInd, kEPost, kEPre, kED16, kEIdx, kEAbsW, kEAbsL, kEPcD16, kEPcIdx, kEImm };

struct Operand {
    uint8_t kind = kEDn;
    uint8_t reg = 0;
    uint16_t ext = 0;    // index extension word
    uint32_t value = 0;  // displacement, absolute or PC-relative address, immediate
};

// Condition-code groups an instruction sets or reads.
constexpr uint8_t kFNZ = 1, kFVC = 2, kFX = 4, kFAll = 7;

struct Insn {
    uint32_t pc, next;
    Op op;
    uint8_t size = 4;  // operand bytes
    uint8_t alu = 0;   // host group of Alu: kAdd, kSub, kCmp, kAnd, kOr, kXor
    uint8_t cc = 0;    // condition of Bcc, DBcc, Scc; shift kind of ShiftImm (kShl, kShr, kSar)
    uint8_t reg = 0;   // Dn or An of the instruction
    uint8_t count = 0; // shift count
    uint8_t def = 0, use = 0;
    uint16_t mask = 0;  // MOVEM list
    Operand src, dst;
    uint32_t target = 0;
    uint8_t live = 0;  // condition codes read after this instruction
};

uint32_t Rd16(uint32_t a) { return static_cast<uint32_t>(Mem(a)[0]) << 8 | Mem(a)[1]; }

uint32_t Sext8(uint32_t v) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v))); }
uint32_t Sext16(uint32_t v) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v))); }

class Decoder {
public:
    explicit Decoder(uint32_t pc) : pc_(pc) {}
    uint32_t pc_;

    uint32_t Fetch16() {
        uint32_t w = Rd16(pc_);
        pc_ += 2;
        return w;
    }
    // Decodes an operand of mode/reg; `allowed` is a mask of the kinds accepted.
    bool Ea(uint32_t mode, uint32_t reg, int size, uint32_t allowed, Operand& o) {
        uint8_t kind = static_cast<uint8_t>(mode < 7 ? mode : 7 + reg);
        if (kind > kEImm || !(allowed & (1u << kind))) return false;
        o.kind = kind;
        o.reg = static_cast<uint8_t>(reg);
        switch (kind) {
            case kED16: o.value = Sext16(Fetch16()); break;
            case kEIdx: o.ext = static_cast<uint16_t>(Fetch16()); break;
            case kEAbsW: o.value = Sext16(Fetch16()); break;
            case kEAbsL: o.value = Fetch16() << 16, o.value |= Fetch16(); break;
            case kEPcD16: o.value = pc_, o.value += Sext16(Fetch16()); break;
            case kEPcIdx: o.value = pc_, o.ext = static_cast<uint16_t>(Fetch16()); break;
            case kEImm:
                if (size == 4) {
                    o.value = Fetch16() << 16;
                    o.value |= Fetch16();
                } else {
                    o.value = Fetch16() & (size == 1 ? 0xFFu : 0xFFFFu);
                }
                break;
            default: break;
        }
        // the full-format index words of later processors are left to the interpreter
        if ((kind == kEIdx || kind == kEPcIdx) && (o.ext & 0x700)) return false;
        return true;
    }
    bool Decode(Insn& in);
};

constexpr uint32_t kAll = 0xFFF, kDataK = kAll & ~2u, kAlt = 0x1FF, kDataAlt = 0x1FD, kMemAlt = 0x1FC;
constexpr uint32_t kCtrl = (1 << kEInd) | (1 << kED16) | (1 << kEIdx) | (1 << kEAbsW) | (1 << kEAbsL) |
                           (1 << kEPcD16) | (1 << kEPcIdx);

int SizeOf(uint32_t bits) { return bits == 0 ? 1 : bits == 1 ? 2 : bits == 2 ? 4 : 0; }

bool Decoder::Decode(Insn& in) {
    in.pc = pc_;
    uint32_t op = Fetch16();
    uint32_t mode = (op >> 3) & 7, reg = op & 7, rx = (op >> 9) & 7;
    auto setDef = [&](uint8_t def, uint8_t use = 0) {
        in.def = def;
        in.use = use;
    };
    bool ok = false;
    switch (op >> 12) {
        case 0x0: {
            // ORI, ANDI, SUBI, ADDI, EORI, CMPI to a data-alterable operand
            static const int8_t kOps[8] = {kOr, kAnd, kSub, kAdd, -1, kXor, kCmp, -1};
            int8_t g = kOps[(op >> 9) & 7];
            int size = SizeOf((op >> 6) & 3);
            if ((op & 0x100) || g < 0 || !size) return false;
            in.op = Op::Alu;
            in.size = static_cast<uint8_t>(size);
            in.alu = static_cast<uint8_t>(g);
            in.src.kind = kEImm;
            in.src.value = size == 4 ? (Fetch16() << 16) : 0;
            in.src.value |= Fetch16() & (size == 1 ? 0xFFu : 0xFFFFu);
            ok = Ea(mode, reg, size, kDataAlt, in.dst);
            setDef(g == kAdd || g == kSub ? kFAll : kFNZ | kFVC);
            break;
        }
        case 0x1:
        case 0x2:
        case 0x3: {
            int size = (op >> 12) == 1 ? 1 : (op >> 12) == 3 ? 2 : 4;
            uint32_t dmode = (op >> 6) & 7;
            if (!Ea(mode, reg, size, size == 1 ? kAll & ~2u : kAll, in.src)) return false;
            in.size = static_cast<uint8_t>(size);
            if (dmode == 1) {
                if (size == 1) return false;
                in.op = Op::MoveA;
                in.reg = static_cast<uint8_t>(rx);
                ok = true;
                break;
            }
            in.op = Op::Move;
            ok = Ea(dmode, rx, size, kDataAlt, in.dst);
            setDef(kFNZ | kFVC);
            break;
        }
        case 0x4: {
            int size = SizeOf((op >> 6) & 3);
            if ((op & 0x1C0) == 0x1C0) {  // LEA
                in.op = Op::Lea;
                in.reg = static_cast<uint8_t>(rx);
                ok = Ea(mode, reg, 4, kCtrl, in.src);
                break;
            }
            if (op & 0x100) return false;
            switch ((op >> 8) & 0xF) {
                case 0x2:
                case 0x4:
                case 0x6:
                case 0xA:
                    if (!size) return false;
                    in.op = (op & 0xF00) == 0x200 ? Op::Clr : (op & 0xF00) == 0x400 ? Op::Neg
                            : (op & 0xF00) == 0x600 ? Op::Not : Op::Tst;
                    in.size = static_cast<uint8_t>(size);
                    ok = Ea(mode, reg, size, kDataAlt, in.dst);
                    setDef(in.op == Op::Neg ? kFAll : kFNZ | kFVC);
                    break;
                case 0x8:
                    if (((op >> 6) & 3) == 1) {
                        if (mode == 0) {
                            in.op = Op::Swap, in.reg = static_cast<uint8_t>(reg), ok = true;
                            setDef(kFNZ | kFVC);
                        } else {
                            in.op = Op::Pea;
                            ok = Ea(mode, reg, 4, kCtrl, in.src);
                        }
                    } else if (((op >> 6) & 3) >= 2) {
                        in.size = ((op >> 6) & 3) == 2 ? 2 : 4;
                        if (mode == 0) {
                            in.op = in.size == 2 ? Op::ExtW : Op::ExtL;
                            in.reg = static_cast<uint8_t>(reg);
                            ok = true;
                            setDef(kFNZ | kFVC);
                        } else {
                            in.op = Op::MovemToMem;
                            in.mask = static_cast<uint16_t>(Fetch16());
                            ok = Ea(mode, reg, 4, (kCtrl & kAlt) | (1 << kEPre), in.dst);
                        }
                    }
                    break;
                case 0xC:
                    if (((op >> 6) & 3) >= 2) {
                        in.op = Op::MovemToReg;
                        in.size = ((op >> 6) & 3) == 2 ? 2 : 4;
                        in.mask = static_cast<uint16_t>(Fetch16());
                        ok = Ea(mode, reg, 4, kCtrl | (1 << kEPost), in.src);
                    }
                    break;
                case 0xE:
                    if (op == 0x4E75) {
                        in.op = Op::Rts, ok = true;
                    } else if ((op & 0xFF80) == 0x4E80) {
                        in.op = (op & 0x40) ? Op::Jmp : Op::Jsr;
                        ok = Ea(mode, reg, 4, kCtrl, in.src);
                    }
                    break;
                default: break;
            }
            break;
        }
        case 0x5: {
            int size = SizeOf((op >> 6) & 3);
            if (!size) {
                in.cc = static_cast<uint8_t>((op >> 8) & 15);
                if (mode == 1) {
                    in.op = Op::Dbcc;
                    in.reg = static_cast<uint8_t>(reg);
                    uint32_t base = pc_;
                    in.target = base + Sext16(Fetch16());
                    ok = true;
                } else if (mode == 0) {
                    in.op = Op::Scc;
                    in.reg = static_cast<uint8_t>(reg);
                    ok = true;
                }
                setDef(0, in.cc > 1 ? kFAll : 0);
                break;
            }
            uint32_t q = ((rx - 1) & 7) + 1;
            in.src.kind = kEImm;
            in.src.value = q;
            in.size = static_cast<uint8_t>(size);
            if (mode == 1) {
                if (size == 1) return false;
                in.op = Op::AddqA;
                in.reg = static_cast<uint8_t>(reg);
                in.alu = (op & 0x100) ? kSub : kAdd;
                ok = true;
                break;
            }
            in.op = Op::Alu;
            in.alu = (op & 0x100) ? kSub : kAdd;
            ok = Ea(mode, reg, size, kDataAlt, in.dst);
            setDef(kFAll);
            break;
        }
        case 0x6: {
            uint32_t base = pc_;
            uint32_t disp = (op & 0xFF) ? Sext8(op) : Sext16(Fetch16());
            in.target = base + disp;
            uint32_t cc = (op >> 8) & 15;
            if (cc == 1) {
                in.op = Op::Bsr;
            } else {
                in.op = Op::Bcc;
                in.cc = static_cast<uint8_t>(cc);
                setDef(0, cc ? kFAll : 0);
            }
            ok = true;
            break;
        }
        case 0x7:
            if (op & 0x100) return false;
            in.op = Op::Moveq;
            in.reg = static_cast<uint8_t>(rx);
            in.src.value = Sext8(op);
            setDef(kFNZ | kFVC);
            ok = true;
            break;
        case 0x8:
        case 0x9:
        case 0xB:
        case 0xC:
        case 0xD: {
            uint32_t line = op >> 12, opmode = (op >> 6) & 7;
            static const uint8_t kGroup[16] = {0, 0, 0, 0, 0, 0, 0, 0, kOr, kSub, 0, kCmp, kAnd, kAdd, 0, 0};
            uint8_t g = kGroup[line];
            if ((opmode & 3) == 3) {  // ADDA, SUBA, CMPA
                if (line != 0x9 && line != 0xB && line != 0xD) return false;
                in.op = Op::AluA;
                in.alu = g;
                in.size = opmode == 3 ? 2 : 4;
                in.reg = static_cast<uint8_t>(rx);
                ok = Ea(mode, reg, in.size, kAll, in.src);
                if (g == kCmp) setDef(kFNZ | kFVC);
                break;
            }
            int size = SizeOf(opmode & 3);
            in.op = Op::Alu;
            in.size = static_cast<uint8_t>(size);
            in.alu = g;
            bool toEa = opmode & 4;
            if (line == 0xB && toEa) {  // EOR Dn,<ea>; CMPM is left to the interpreter
                if (mode == 1) return false;
                in.alu = kXor;
            } else if (toEa && mode <= 1) {
                return false;  // ADDX, SUBX, ABCD, SBCD, EXG
            }
            if (toEa) {
                in.src.kind = kEDn;
                in.src.reg = static_cast<uint8_t>(rx);
                ok = Ea(mode, reg, size, in.alu == kXor ? kDataAlt : kMemAlt, in.dst);
            } else {
                uint32_t allowed = (g == kAnd || g == kOr) ? kDataK : (size == 1 ? kAll & ~2u : kAll);
                ok = Ea(mode, reg, size, allowed, in.src);
                in.dst.kind = kEDn;
                in.dst.reg = static_cast<uint8_t>(rx);
            }
            setDef(in.alu == kAdd || in.alu == kSub ? kFAll : kFNZ | kFVC);
            break;
        }
        case 0xE: {
            // LSL, LSR, ASR of a data register by a count in the opcode
            int size = SizeOf((op >> 6) & 3);
            uint32_t type = (op >> 3) & 3;
            bool left = op & 0x100;
            if (!size || (op & 0x20) || (type == 0 && left) || type > 1) return false;
            in.op = Op::ShiftImm;
            in.size = static_cast<uint8_t>(size);
            in.cc = left ? kShl : type == 0 ? kSar : kShr;
            in.count = static_cast<uint8_t>(((rx - 1) & 7) + 1);
            in.reg = static_cast<uint8_t>(reg);
            setDef(kFAll);
            ok = true;
            break;
        }
        default: break;
    }
    in.next = pc_;
    return ok;
}

bool IsExit(Op op) { return op == Op::Bsr || op == Op::Jsr || op == Op::Jmp || op == Op::Rts; }
// An instruction that writes memory may leave the block after it (a store on its own words).
bool Stores(const Insn& in) {
    switch (in.op) {
        case Op::Move:
        case Op::Clr:
        case Op::Neg:
        case Op::Not: return in.dst.kind != kEDn;
        case Op::Alu: return in.alu != kCmp && in.dst.kind != kEDn;
        case Op::Pea:
        case Op::MovemToMem: return true;
        default: return false;
    }
}

// ---- translation ----

// A block's return value that hands the instruction at PC to the interpreter.
constexpr uint32_t kHandOver = 2;
// Where a block is entered from another one: after the prologue that the first block of a chain ran.
#ifdef __x86_64__
constexpr size_t kEntryOffset = 7;
#else
constexpr size_t kEntryOffset = 8;
#endif

constexpr uint8_t kX86Cond[16] = {0, 0, kA, kBE, kAE, kB, kNE, kE, kNO, kO, kNS, kS, kGE, kL, kG, kLE};

class Translator {
public:
    Translator(Asm& a, std::vector<Insn>& insns, uintptr_t rx) : a_(a), in_(insns), rx_(rx) {}
    void Emit();

private:
    Asm& a_;
    std::vector<Insn>& in_;
    std::vector<size_t> at_;  // host offset of each instruction
    std::vector<std::pair<size_t, uint32_t>> jumps_;  // internal jumps to patch: (field, 68K target)
    uintptr_t rx_;  // where the block's code runs
    std::vector<size_t> toEpilogue_;  // jumps to the epilogue, which returns 0
    std::vector<size_t> toCommon_;    // jumps to its end, which returns EAX/RAX
    std::vector<size_t> links_;  // the address fields of exits through a link slot
    bool flagsInHost_ = false;  // host flags hold the 68K N, Z, V, C of the last instruction
    // The register slot whose whole value EAX holds after the last instruction (-1: none), and
    // the same while the current instruction has not yet written EAX: a register written by one
    // instruction and read by the next is not read back from memory.
    int held_ = -1, avail_ = -1;
    bool smc_ = false;          // ESI holds the last store's address relative to the block's range
    uint32_t smcBytes_ = 0;     // the bytes of that store
    uint32_t start_ = 0, end_ = 0;

    int Index(uint32_t pc) const {
        for (size_t i = 0; i < in_.size(); ++i)
            if (in_[i].pc == pc) return static_cast<int>(i);
        return -1;
    }
    // Leaves for a known 68K address through a link slot: the slot leads to the epilogue first,
    // and to the block of that address once JitRun has linked them.
    void ExitTo(uint32_t pc) {
        a_.MovSlotImm(kOffPc, pc);
        a_.B(0xFF), a_.B(0x25);  // jmp [slot]: absolute in 32-bit mode, RIP-relative in 64-bit mode
        links_.push_back(a_.Here());
        a_.D(0);
    }
    // Leaves for the interpreter at `pc`.
    void HandOver(uint32_t pc) {
        a_.MovSlotImm(kOffPc, pc);
        a_.MovRI(EAX, kHandOver);
        toCommon_.push_back(a_.Jmp());
    }
    // EAX/RAX = the address where the block's code offset `off` runs, plus `add`.
    size_t CodeAddress() {
#ifdef __x86_64__
        a_.B(0x48), a_.B(0x8D), a_.B(0x05);  // lea rax, [rip + disp32]
#else
        a_.B(0xB8);  // mov eax, imm32
#endif
        size_t field = a_.Here();
        a_.D(0);
        return field;
    }
    void PutCodeAddress(size_t field, size_t off) {
#ifdef __x86_64__
        a_.Put(field, static_cast<uint32_t>(off - (field + 4)));
#else
        a_.Put(field, static_cast<uint32_t>(rx_ + off));
#endif
    }
    // Jump to a 68K address: within the block where it is one of its instructions, else out.
    void JumpTo(uint32_t pc) {
        if (Index(pc) >= 0)
            jumps_.push_back({a_.Jmp(), pc});
        else
            ExitTo(pc);
    }
    void Addr(const Operand& o, int size);
    void Load(const Operand& o, int size, uint8_t r);
    void LoadReg(uint8_t r, int slot) {
        if (slot == avail_) {
            if (r != EAX) a_.MovRR(r, EAX);
        } else {
            a_.LoadSlot(r, slot);
        }
    }
    void StoreMem(uint8_t addr, uint8_t val, int size, uint32_t bytes);
    void WriteShifted(const Operand& o, int size);
    void Flags(const Insn& in, bool logic);
    void StoreLogicResult(const Insn& in, int slot);
    void CondJump(uint8_t cc, bool fused, std::vector<size_t>& taken);
    void One(const Insn& in, bool fused);
};

// Stores EAX, a long result with logic flags (V and C clear), in a register slot; the flags stay
// in the host's and the slot is known to hold EAX for the next instruction.
void Translator::StoreLogicResult(const Insn& in, int slot) {
    a_.StoreSlot(slot, EAX);
    a_.Test(EAX);
    Flags(in, true);
    flagsInHost_ = true;
    held_ = slot;
}

// EDX = the operand's address; (An)+ and -(An) update An. ESI is scratch.
void Translator::Addr(const Operand& o, int size) {
    uint32_t step = (size == 1 && o.reg == 7) ? 2 : static_cast<uint32_t>(size);
    switch (o.kind) {
        case kEInd: a_.LoadSlot(EDX, SlotA(o.reg)); break;
        case kEPost:
            a_.LoadSlot(EDX, SlotA(o.reg));
            a_.AluSlotImm(kAdd, SlotA(o.reg), step);
            break;
        case kEPre:
            a_.LoadSlot(EDX, SlotA(o.reg));
            a_.AluRI(kSub, EDX, step);
            a_.StoreSlot(SlotA(o.reg), EDX);
            break;
        case kED16:
            a_.LoadSlot(EDX, SlotA(o.reg));
            a_.AluRI(kAdd, EDX, o.value);
            break;
        case kEIdx:
        case kEPcIdx: {
            if (o.kind == kEIdx)
                a_.LoadSlot(EDX, SlotA(o.reg));
            else
                a_.MovRI(EDX, o.value);
            int slot = kOffR + 4 * (o.ext >> 12);
            if (o.ext & 0x800)
                a_.LoadSlot(ESI, slot);
            else
                a_.MovsxSlot(ESI, slot, 2);
            a_.AluRR(kAdd, EDX, ESI);
            a_.AluRI(kAdd, EDX, Sext8(o.ext));
            break;
        }
        default: a_.MovRI(EDX, o.value); break;  // absolute and PC-relative
    }
}

// r = the operand's value, zero-extended; memory operands leave their address in EDX.
void Translator::Load(const Operand& o, int size, uint8_t r) {
    if (o.kind == kEDn || o.kind == kEAn) {
        int slot = o.kind == kEDn ? SlotD(o.reg) : SlotA(o.reg);
        if (size == 4) {
            LoadReg(r, slot);
        } else if (slot == avail_) {
            a_.B(0x0F), a_.B(size == 1 ? 0xB6 : 0xB7), a_.Rr(r, EAX);  // movzx r, al / ax
        } else {
            a_.MovzxSlot(r, slot, size);
        }
        return;
    }
    if (o.kind == kEImm) {
        a_.MovRI(r, o.value);
        return;
    }
    Addr(o, size);
    if (size == 4) {
        a_.Load32(r, EDX);
        a_.Bswap(r);
    } else if (size == 2) {
        a_.Load16(r, EDX);
        a_.Rol16By8(r);
    } else {
        a_.Load8(r, EDX);
    }
}

// Stores `val` (big-endian already, in its low bytes) at [addr]; notes the range for the check
// against the block's own words. Keeps the host flags.
void Translator::StoreMem(uint8_t addr, uint8_t val, int size, uint32_t bytes) {
    if (size == 4)
        a_.Store32(addr, val);
    else if (size == 2)
        a_.Store16(addr, val);
    else
        a_.Store8(addr, val);
    // ESI = addr - (start - bytes + 1): below end - start + bytes - 1 when the bytes overlap the block
    a_.LeaDisp(ESI, addr, static_cast<int32_t>(bytes - 1 - start_));
    smc_ = true;
    smcBytes_ = bytes;
}

// Writes EAX, the result shifted to the top of the register, to a data register or to memory at
// EDX, keeping the host flags.
void Translator::WriteShifted(const Operand& o, int size) {
    if (o.kind == kEDn) {
        if (size == 4) {
            a_.StoreSlot(SlotD(o.reg), EAX);
            held_ = SlotD(o.reg);
        } else {
            a_.StoreSlot(kOffScratch, EAX);
            if (size == 2) {
                a_.LoadSlot16(EBX, kOffScratch + 2);
                a_.StoreSlot16(SlotD(o.reg), EBX);
            } else {
                a_.LoadSlot8(EBX, kOffScratch + 3);
                a_.StoreSlot8(SlotD(o.reg), EBX);
            }
        }
        return;
    }
    a_.MovRR(EBX, EAX);
    a_.Bswap(EBX);
    StoreMem(EDX, EBX, size, static_cast<uint32_t>(size));
}

// Stores the condition codes the host flags hold, as far as they are live after `in`; EAX is the
// shifted result. `logic`: V and C are 0. Keeps the host flags.
void Translator::Flags(const Insn& in, bool logic) {
    uint8_t need = in.live & in.def;
    if (need & kFNZ) a_.StoreSlot(kOffRes, EAX);
    if (need & kFVC) {
        if (logic) {
            a_.MovSlotImm(kOffVc, 0);
        } else {
            a_.Setcc(kB, EBX);
            a_.Setcc(kO, ECX);
            a_.Movzx8(EBX, EBX);
            a_.Movzx8(ECX, ECX);
            a_.LeaPair2(EBX, EBX, ECX);
            a_.StoreSlot(kOffVc, EBX);
        }
    }
    if (need & kFX) a_.SetccSlot(kB, kOffX);
}

// Jumps (recorded in `taken`) when the 68K condition holds. `fused`: the host flags are the 68K's.
void Translator::CondJump(uint8_t cc, bool fused, std::vector<size_t>& taken) {
    if (cc == 0) {
        taken.push_back(a_.Jmp());
        return;
    }
    if (cc == 1) return;
    if (fused) {
        taken.push_back(a_.Jcc(kX86Cond[cc]));
        return;
    }
    switch (cc) {
        case 6:
        case 7:  // NE, EQ: Z is res == 0 in every state
            a_.AluSlotImm(kCmp, kOffRes, 0);
            taken.push_back(a_.Jcc(cc == 6 ? kNE : kE));
            return;
        case 4:
        case 5:
        case 8:
        case 9:  // C, V
            a_.B(0xF6), a_.Slot(0, kOffVc), a_.B(cc < 8 ? 1 : 2);  // test byte [vc], bit
            taken.push_back(a_.Jcc((cc & 1) ? kNE : kE));
            return;
        default: break;
    }
    // EBX = N Z V C as four bits; the condition's truth table as a 16-bit mask
    uint32_t mask = 0;
    for (uint32_t f = 0; f < 16; ++f)
        if (MorvelConditionHolds(cc, f)) mask |= 1u << f;
    a_.LoadSlot(EBX, kOffVc);
    a_.AluRI(kAnd, EBX, kSrV | kSrC | kSrN);
    a_.LoadSlot(ECX, kOffRes);
    a_.Test(ECX);
    a_.Setcc(kE, EAX);
    a_.Movzx8(EAX, EAX);
    a_.ShiftRI(kShl, EAX, 2);
    a_.AluRR(kOr, EBX, EAX);
    a_.ShiftRI(kShr, ECX, 31);
    a_.ShiftRI(kShl, ECX, 3);
    a_.AluRR(kOr, EBX, ECX);
    a_.MovRI(ECX, mask);
    a_.BtRR(ECX, EBX);
    taken.push_back(a_.Jcc(kB));
}

void Translator::One(const Insn& in, bool fused) {
    const int size = in.size;
    const uint32_t shift = 32 - 8 * static_cast<uint32_t>(size);
    flagsInHost_ = false;
    smc_ = false;
    avail_ = held_;
    held_ = -1;
    switch (in.op) {
        case Op::Moveq:
            a_.MovRI(EAX, in.src.value);
            StoreLogicResult(in, SlotD(in.reg));
            break;
        case Op::Move:
        case Op::Tst:
            Load(in.op == Op::Move ? in.src : in.dst, size, EAX);
            if (in.op == Op::Move && in.dst.kind != kEDn) Addr(in.dst, size);
            if (shift) a_.ShiftRI(kShl, EAX, shift);
            a_.Test(EAX);
            Flags(in, true);
            if (in.op == Op::Move) WriteShifted(in.dst, size);
            flagsInHost_ = true;
            break;
        case Op::MoveA:
            Load(in.src, size, EAX);
            if (size == 2) a_.Movsx16(EAX, EAX);
            a_.StoreSlot(SlotA(in.reg), EAX);
            held_ = SlotA(in.reg);
            break;
        case Op::Clr:
            if (in.dst.kind != kEDn) Addr(in.dst, size);
            a_.AluRR(kXor, EAX, EAX);
            Flags(in, true);
            WriteShifted(in.dst, size);
            flagsInHost_ = true;
            break;
        case Op::Alu: {
            // source first, then the destination, as the interpreter reads them
            Load(in.src, size, ECX);
            Load(in.dst, size, EAX);  // a memory destination leaves its address in EDX
            if (shift) {
                a_.ShiftRI(kShl, EAX, shift);
                a_.ShiftRI(kShl, ECX, shift);
            }
            a_.AluRR(in.alu == kCmp ? uint8_t{kSub} : in.alu, EAX, ECX);
            bool logic = in.alu == kAnd || in.alu == kOr || in.alu == kXor;
            Flags(in, logic);
            if (in.alu != kCmp) WriteShifted(in.dst, size);
            flagsInHost_ = true;
            break;
        }
        case Op::AluA:
            Load(in.src, size, ECX);
            if (size == 2) a_.Movsx16(ECX, ECX);
            if (in.alu == kCmp) {
                LoadReg(EAX, SlotA(in.reg));
                a_.AluRR(kSub, EAX, ECX);
                Flags(in, false);
                flagsInHost_ = true;
            } else {
                a_.AluSlotR(in.alu, SlotA(in.reg), ECX);
            }
            break;
        case Op::AddqA: a_.AluSlotImm(in.alu, SlotA(in.reg), in.src.value); break;
        case Op::Neg:
        case Op::Not:
            Load(in.dst, size, EAX);
            if (shift) a_.ShiftRI(kShl, EAX, shift);
            if (in.op == Op::Neg) {
                a_.Neg(EAX);
            } else {
                a_.Not(EAX);
                a_.Test(EAX);
            }
            Flags(in, in.op == Op::Not);
            WriteShifted(in.dst, size);
            flagsInHost_ = true;
            break;
        case Op::Swap:
            LoadReg(EAX, SlotD(in.reg));
            a_.ShiftRI(kRol, EAX, 16);
            StoreLogicResult(in, SlotD(in.reg));
            break;
        case Op::ExtW:
        case Op::ExtL: {
            a_.MovsxSlot(EAX, SlotD(in.reg), in.op == Op::ExtW ? 1 : 2);
            Operand d;
            d.reg = in.reg;
            if (in.op == Op::ExtW) a_.ShiftRI(kShl, EAX, 16);
            a_.Test(EAX);
            Flags(in, true);
            WriteShifted(d, in.op == Op::ExtW ? 2 : 4);
            flagsInHost_ = true;
            break;
        }
        case Op::ShiftImm: {
            LoadReg(EAX, SlotD(in.reg));
            if (in.cc == kShl) {
                if (shift) a_.ShiftRI(kShl, EAX, shift);
                a_.ShiftRI(kShl, EAX, in.count);
            } else {
                if (shift) a_.ShiftRI(kShl, EAX, shift);
                if (shift) a_.ShiftRI(in.cc, EAX, shift);  // the operand, zero- or sign-extended
                a_.ShiftRI(in.cc, EAX, in.count);
            }
            uint8_t need = in.live & in.def;
            if (need & kFX) a_.SetccSlot(kB, kOffX);
            if (need & kFVC) {
                a_.Setcc(kB, EBX);
                a_.Movzx8(EBX, EBX);
                a_.StoreSlot(kOffVc, EBX);
            }
            if (in.cc != kShl && shift) {
                Operand d;
                d.reg = in.reg;
                a_.ShiftRI(kShl, EAX, shift);
                WriteShifted(d, size);
            } else {
                Operand d;
                d.reg = in.reg;
                WriteShifted(d, size);
            }
            if (need & kFNZ) a_.StoreSlot(kOffRes, EAX);
            break;
        }
        case Op::Lea:
            Addr(in.src, 4);
            a_.StoreSlot(SlotA(in.reg), EDX);
            break;
        case Op::Pea:
            Addr(in.src, 4);
            a_.Bswap(EDX);
            a_.LoadSlot(ECX, SlotA(7));
            a_.AluRI(kSub, ECX, 4);
            a_.StoreSlot(SlotA(7), ECX);
            StoreMem(ECX, EDX, 4, 4);
            break;
        case Op::Scc: {
            std::vector<size_t> taken;
            a_.MovSlotImm8(SlotD(in.reg), 0xFF);
            CondJump(in.cc, fused, taken);
            a_.MovSlotImm8(SlotD(in.reg), 0);
            for (size_t t : taken) a_.BindHere(t);
            break;
        }
        case Op::Bcc: {
            if (in.cc == 0) {
                JumpTo(in.target);
                break;
            }
            std::vector<size_t> taken;
            CondJump(in.cc, fused, taken);
            if (taken.empty()) break;
            size_t over = a_.Jmp();
            for (size_t t : taken) a_.BindHere(t);
            JumpTo(in.target);
            a_.BindHere(over);
            break;
        }
        case Op::Dbcc: {
            std::vector<size_t> done;
            CondJump(in.cc, fused, done);
            a_.SubSlot16One(SlotD(in.reg));  // borrows when the word was 0, which ends the loop
            done.push_back(a_.Jcc(kB));
            JumpTo(in.target);
            for (size_t t : done) a_.BindHere(t);
            break;
        }
        case Op::Bsr:
        case Op::Jsr: {
            if (in.op == Op::Jsr) {
                Addr(in.src, 4);
                a_.StoreSlot(kOffPc, EDX);
            }
            a_.LoadSlot(ECX, SlotA(7));
            a_.AluRI(kSub, ECX, 4);
            a_.StoreSlot(SlotA(7), ECX);
            a_.MovRI(EAX, __builtin_bswap32(in.next));
            StoreMem(ECX, EAX, 4, 4);
            // the check of the stack store is not needed: the block ends here
            if (in.op == Op::Jsr)
                toEpilogue_.push_back(a_.Jmp());
            else
                ExitTo(in.target);
            smc_ = false;
            break;
        }
        case Op::Rts:
        case Op::Jmp: {
            if (in.op == Op::Rts) {
                a_.LoadSlot(ECX, SlotA(7));
                a_.Load32(EDX, ECX);
                a_.Bswap(EDX);
            } else {
                Addr(in.src, 4);
            }
            // the return marker ends the run: the interpreter runs this instruction
            a_.AluRI(kCmp, EDX, kReturnMarker);
            size_t marker = a_.Jcc(kE);
            if (in.op == Op::Rts) a_.AluSlotImm(kAdd, SlotA(7), 4);
            a_.StoreSlot(kOffPc, EDX);
            toEpilogue_.push_back(a_.Jmp());
            a_.BindHere(marker);
            HandOver(in.pc);
            break;
        }
        case Op::MovemToMem:
        case Op::MovemToReg: {
            bool toMem = in.op == Op::MovemToMem;
            const Operand& ea = toMem ? in.dst : in.src;
            uint32_t n = static_cast<uint32_t>(__builtin_popcount(in.mask));
            uint32_t mask = in.mask;
            if (ea.kind == kEPre) {
                // the list runs from A7 down to D0; the registers go to ascending addresses from An - size*n
                uint32_t rev = 0;
                for (int i = 0; i < 16; ++i)
                    if (mask & (1u << i)) rev |= 1u << (15 - i);
                mask = rev;
                a_.LoadSlot(EDX, SlotA(ea.reg));
                a_.AluRI(kSub, EDX, size * n);
            } else if (ea.kind == kEPost) {
                a_.LoadSlot(EDX, SlotA(ea.reg));
            } else {
                Addr(ea, size);
            }
            int32_t off = 0;
            for (uint32_t r = 0; r < 16; ++r) {
                if (!(mask & (1u << r))) continue;
                int slot = kOffR + 4 * static_cast<int>(r);
                if (toMem) {
                    a_.LoadSlot(EAX, slot);
                    if (size == 4) {
                        a_.Bswap(EAX);
                        a_.Store32(EDX, EAX, off);
                    } else {
                        a_.Rol16By8(EAX);
                        a_.Store16(EDX, EAX, off);
                    }
                } else {
                    if (size == 4) {
                        a_.Load32(EAX, EDX, off);
                        a_.Bswap(EAX);
                    } else {
                        a_.Load16(EAX, EDX, off);
                        a_.Rol16By8(EAX);
                        a_.Movsx16(EAX, EAX);
                    }
                    a_.StoreSlot(slot, EAX);
                }
                off += size;
            }
            if (ea.kind == kEPre) a_.StoreSlot(SlotA(ea.reg), EDX);
            if (ea.kind == kEPost) {
                a_.LeaDisp(EDX, EDX, off);
                a_.StoreSlot(SlotA(ea.reg), EDX);
            }
            if (toMem && n) {
                a_.LeaDisp(ESI, EDX, static_cast<int32_t>(static_cast<uint32_t>(off) - 1 - start_));
                smc_ = true;
                smcBytes_ = static_cast<uint32_t>(off);
            }
            break;
        }
    }
    if (smc_) {
        // a store on the block's own words: leave it after this instruction
        a_.AluRI(kCmp, ESI, end_ - start_ + smcBytes_ - 1);
        size_t ok = a_.Jcc(kAE);
        ExitTo(in.next);
        a_.BindHere(ok);
        flagsInHost_ = false;
    }
}

void Translator::Emit() {
    start_ = in_.front().pc;
    end_ = in_.back().next;
    // liveness of the condition codes, backwards: everything is live at exits and branches
    uint8_t live = kFAll;
    for (size_t i = in_.size(); i-- > 0;) {
        Insn& in = in_[i];
        bool branches = in.op == Op::Bcc || in.op == Op::Dbcc || IsExit(in.op) || Stores(in) || i + 1 == in_.size();
        if (branches) live = kFAll;
        in.live = live;
        live = static_cast<uint8_t>((live & ~in.def) | in.use);
    }
    // instructions that some branch of the block jumps to
    std::vector<bool> target(in_.size(), false);
    for (const Insn& in : in_)
        if (in.op == Op::Bcc || in.op == Op::Dbcc) {
            int k = Index(in.target);
            if (k >= 0) target[static_cast<size_t>(k)] = true;
        }

    // prologue: EBP = the frame; the caller's EBX, ESI, EDI and EBP are kept (RBX and RBP in
    // 64-bit mode, where the frame comes in RDI). Every other instruction below means the same in
    // both modes: addresses are 32-bit values, zero-extended wherever they are written.
    a_.B(0x55), a_.B(0x53), a_.B(0x56), a_.B(0x57);
#ifdef __x86_64__
    a_.B(0x48), a_.B(0x89), a_.B(0xFD);  // mov rbp, rdi
#else
    a_.B(0x8B), a_.B(0x6C), a_.B(0x24), a_.B(0x14);  // mov ebp, [esp + 20]
#endif
    // the 68K words must still be the ones translated
    std::vector<size_t> staleJumps;
    a_.MovRI(EAX, start_);
    uint32_t a = start_;
    for (; a + 4 <= end_; a += 4) {
        uint32_t v;
        std::memcpy(&v, Mem(a), 4);
        a_.CmpIndImm(EAX, static_cast<int32_t>(a - start_), v);
        staleJumps.push_back(a_.Jcc(kNE));
    }
    if (a < end_) {
        uint16_t v;
        std::memcpy(&v, Mem(a), 2);
        a_.CmpIndImm16(EAX, static_cast<int32_t>(a - start_), v);
        staleJumps.push_back(a_.Jcc(kNE));
    }

    for (size_t i = 0; i < in_.size(); ++i) {
        at_.push_back(a_.Here());
        bool fused = flagsInHost_ && !target[i];
        if (target[i]) held_ = -1;
        One(in_[i], fused);
    }
    const Insn& last = in_.back();
    if (!IsExit(last.op) && !(last.op == Op::Bcc && last.cc == 0)) ExitTo(last.next);

    // epilogue: EAX/RAX = 0 after an exit to a computed address (the caller looks PC up),
    // kHandOver, the address of an exit's link slot, or the block's address + 1 when it is stale
    size_t epilogue = a_.Here();
    a_.AluRR(kXor, EAX, EAX);
    size_t common = a_.Here();
    a_.B(0x5F), a_.B(0x5E), a_.B(0x5B), a_.B(0x5D), a_.B(0xC3);
    size_t stale = a_.Here();
    PutCodeAddress(CodeAddress(), 1);
    a_.Bind(a_.Jmp(), common);
    for (size_t j : staleJumps) a_.Bind(j, stale);
    for (size_t j : toEpilogue_) a_.Bind(j, epilogue);
    for (size_t j : toCommon_) a_.Bind(j, common);
    for (auto& [field, pc] : jumps_) a_.Bind(field, at_[static_cast<size_t>(Index(pc))]);
    // each link slot starts out leading to a stub that returns the slot's address
    std::vector<size_t> stubs, stubFields;
    for (size_t i = 0; i < links_.size(); ++i) {
        stubs.push_back(a_.Here());
        stubFields.push_back(CodeAddress());
        a_.Bind(a_.Jmp(), common);
    }
    while (a_.Here() % sizeof(uintptr_t)) a_.B(0xCC);
    for (size_t i = 0; i < links_.size(); ++i) {
        size_t slot = a_.Here();
        uint64_t v = rx_ + stubs[i];
        for (size_t k = 0; k < sizeof(uintptr_t); ++k) a_.B(static_cast<uint32_t>(v >> (8 * k)));
        PutCodeAddress(stubFields[i], slot);
#ifdef __x86_64__
        a_.Put(links_[i], static_cast<uint32_t>(slot - (links_[i] + 4)));
#else
        a_.Put(links_[i], static_cast<uint32_t>(rx_ + slot));
#endif
    }
}

// ---- per-thread cache ----

constexpr size_t kCodeBytes = 4u << 20;
constexpr uint32_t kTableSize = 4096;
constexpr size_t kMaxInsns = 64;
const uint8_t kNoBlock = 0;  // marks an address whose first instruction the translator does not know

struct Entry {
    uint32_t pc;
    const uint8_t* code;  // null: not translated yet; &kNoBlock: not translatable
};
struct Counter {
    uint32_t pc;
    uint32_t visits;
};

class Cache {
public:
    ~Cache() {
        if (rw_) munmap(rw_, kCodeBytes);
        if (rx_) munmap(rx_, kCodeBytes);
    }
    bool Ready() {
        if (rx_) return true;
        if (failed_) return false;
        failed_ = true;
        int fd = memfd_create("morvel-jit", MFD_CLOEXEC);
        if (fd < 0) return false;
        if (ftruncate(fd, kCodeBytes) == 0) {
            void* rw = mmap(nullptr, kCodeBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            void* rx = mmap(nullptr, kCodeBytes, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
            if (rw != MAP_FAILED && rx != MAP_FAILED) {
                rw_ = static_cast<uint8_t*>(rw);
                rx_ = static_cast<uint8_t*>(rx);
                failed_ = false;
            } else {
                if (rw != MAP_FAILED) munmap(rw, kCodeBytes);
                if (rx != MAP_FAILED) munmap(rx, kCodeBytes);
            }
        }
        close(fd);
        return !failed_;
    }
    Entry& Find(uint32_t pc) { return entries_[(pc >> 1) & (kTableSize - 1)]; }
    // Counts a visit; true once the address is hot.
    bool Hot(uint32_t pc, uint32_t threshold) {
        Counter& c = counters_[(pc >> 1) & (kTableSize - 1)];
        if (c.pc != pc) c = {pc, 0};
        return ++c.visits >= threshold;
    }
    const uint8_t* Translate(uint32_t pc);
    // Points the link slot at `slot` (an address in the executable view) to `target`.
    void Link(uintptr_t slot, const uint8_t* target) {
        uintptr_t v = reinterpret_cast<uintptr_t>(target);
        std::memcpy(rw_ + (slot - reinterpret_cast<uintptr_t>(rx_)), &v, sizeof v);
    }
    uint32_t flushes_ = 0;

private:
    uint8_t* rw_ = nullptr;
    uint8_t* rx_ = nullptr;
    size_t used_ = 0;
    bool failed_ = false;
    Entry entries_[kTableSize] = {};
    Counter counters_[kTableSize] = {};
};

const uint8_t* Cache::Translate(uint32_t pc) {
    std::vector<Insn> insns;
    Decoder d(pc);
    while (insns.size() < kMaxInsns) {
        // the longest instruction is 10 bytes: past the first, none is read across a page end,
        // where the next page may not exist for a program that never runs that far
        if (!insns.empty() && ((d.pc_ ^ (d.pc_ + 9)) & ~4095u)) break;
        Insn in{};
        Decoder probe(d.pc_);
        if (!probe.Decode(in)) break;
        d.pc_ = probe.pc_;
        insns.push_back(in);
        if (IsExit(in.op) || (in.op == Op::Bcc && in.cc == 0)) break;
    }
    if (insns.empty()) return &kNoBlock;
    for (int attempt = 0; attempt < 2; ++attempt) {
        Asm a(rw_ + used_, kCodeBytes - used_);
        Translator(a, insns, reinterpret_cast<uintptr_t>(rx_ + used_)).Emit();
        if (!a.Full()) {
            const uint8_t* code = rx_ + used_;
            used_ += (a.Size() + 15) & ~size_t{15};
            return code;
        }
        // out of room: every block goes, and the translation is made again at the start
        used_ = 0;
        ++flushes_;
        std::memset(entries_, 0, sizeof entries_);
    }
    return &kNoBlock;
}

thread_local std::unique_ptr<Cache> tCache;

using BlockFn = uintptr_t (*)(JitFrame*);

}  // namespace

void MorvelSetJitThreshold(uint32_t visits) { gThreshold.store(visits, std::memory_order_relaxed); }

void JitRun(JitFrame* f) {
    uint32_t threshold = gThreshold.load(std::memory_order_relaxed);
    if (threshold == 0) return;
    Cache* cache = tCache.get();
    if (!cache) {
        tCache = std::make_unique<Cache>();
        cache = tCache.get();
    }
    uintptr_t pending = 0;  // the link slot of the exit that led to f->pc, while unlinked
    for (;;) {
        uint32_t pc = f->pc;
        Entry& e = cache->Find(pc);
        if (e.pc != pc || !e.code) {
            if (!cache->Hot(pc, threshold) || !cache->Ready()) return;
            uint32_t flushes = cache->flushes_;
            const uint8_t* code = cache->Translate(pc);
            if (cache->flushes_ != flushes) pending = 0;  // its block is gone
            cache->Find(pc) = {pc, code};
            if (code == &kNoBlock) return;
            continue;
        }
        if (e.code == &kNoBlock) return;
        if (pending) cache->Link(pending, e.code + kEntryOffset);
        pending = 0;
        uintptr_t r = reinterpret_cast<BlockFn>(const_cast<uint8_t*>(e.code))(f);
        if (r == kHandOver) return;
        if (r & 1) {
            // the words at f->pc changed since that block was made: unless a newer block took its
            // place already, make one from the words there now
            Entry& cur = cache->Find(f->pc);
            if (cur.pc == f->pc && cur.code == reinterpret_cast<const uint8_t*>(r - 1)) {
                const uint8_t* code = cache->Translate(f->pc);
                cache->Find(f->pc) = {f->pc, code};
                if (code == &kNoBlock) return;
            }
            continue;
        }
        pending = r;
    }
}

}  // namespace morvel

#endif  // MORVEL_JIT
