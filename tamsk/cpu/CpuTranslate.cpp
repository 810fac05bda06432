// Translation of straight-line ARM code into x86-64 code (see CpuTranslate.h).
//
// A block covers a run of instructions of one decoded page that the translator handles: data
// processing with an immediate or a register shifted by an immediate, MUL and MLA, and single loads
// and stores with an immediate or register offset, none naming r15 and all unconditional. At run
// time the registers are: rdi the entry, esi the address, edx the batch's count and rcx the host
// address of the first instruction (all four kept for the exits); eax, r8..r11 are scratch. Guest
// registers and flags live in memory; each instruction loads and stores what it uses.
//
// Exactness: the block runs only when the batch has more instructions left than the block holds,
// so it never passes the batch's end. Before each instruction after the first the block checks the
// word in memory against the one it was translated from (a store of the block itself or anything
// before may have rewritten it); on a difference it leaves to the interpreter at that instruction,
// which decodes the word again. A memory access that misses the data caches' fast path leaves
// before the instruction, which then runs in its slow form. Every exit adjusts the entry, address,
// count and host address by the instructions done.
#include "tamsk/cpu/CpuTranslate.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "tamsk/cpu/CpuInternal.h"

#if defined(__x86_64__) && defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#define TAMSK_TRANSLATE 1
#endif

namespace tamsk {

#if TAMSK_TRANSLATE
namespace {

static_assert(sizeof(CpuTlbEntry) == 32 && offsetof(CpuTlbEntry, fastKey) == 4 &&
                  offsetof(CpuTlbEntry, addend) == 24,
              "the generated cache lookup knows the entry layout");

constexpr uint32_t kMaxBlock = 24;  // instructions per block
constexpr size_t kBufferSize = size_t(32) << 20;

// The code buffer: one memory object mapped twice, writable and executable, never both in one view.
struct CodeBuffer {
    uint8_t* write = nullptr;
    const uint8_t* exec = nullptr;
    size_t used = 0;
    bool tried = false;
    bool on = true;
} gCode;

bool MapBuffer() {
    if (gCode.tried) return gCode.write != nullptr;
    gCode.tried = true;
    const int fd = memfd_create("tamsk-code", MFD_CLOEXEC);
    if (fd < 0) return false;
    if (ftruncate(fd, static_cast<off_t>(kBufferSize)) != 0) {
        close(fd);
        return false;
    }
    void* w = mmap(nullptr, kBufferSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    void* x = mmap(nullptr, kBufferSize, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
    close(fd);
    if (w == MAP_FAILED || x == MAP_FAILED) {
        if (w != MAP_FAILED) munmap(w, kBufferSize);
        if (x != MAP_FAILED) munmap(x, kBufferSize);
        return false;
    }
    gCode.write = static_cast<uint8_t*>(w);
    gCode.exec = static_cast<const uint8_t*>(x);
    return true;
}

// Host registers.
enum : int { RAX = 0, RCX = 1, RDX = 2, RSI = 6, RDI = 7, R8 = 8, R9 = 9, R10 = 10, R11 = 11 };

// A register or a memory operand [base + index + disp32].
struct Operand {
    bool mem;
    int reg;  // the register, or the base
    int index;
    int32_t disp;
};
Operand Reg(int r) { return {false, r, -1, 0}; }
Operand Mem(int base, int32_t disp, int index = -1) { return {true, base, index, disp}; }

class Emitter {
public:
    std::vector<uint8_t> code;

    void Byte(uint32_t b) { code.push_back(static_cast<uint8_t>(b)); }
    void Bytes(std::initializer_list<uint8_t> b) { code.insert(code.end(), b); }
    void Imm32(uint32_t v) {
        for (int k = 0; k < 4; ++k) Byte(v >> (8 * k));
    }
    void Imm64(uint64_t v) {
        for (int k = 0; k < 8; ++k) Byte(static_cast<uint32_t>(v >> (8 * k)));
    }
    // An instruction with a ModRM operand: opcode bytes, reg field (a register or an opcode digit).
    // byteRegs: a byte register in reg or rm needs the REX prefix for the low byte of r4..r7.
    void Op(std::initializer_list<uint8_t> opcode, int reg, Operand rm, bool wide = false, bool byteRegs = false) {
        uint32_t rex = (wide ? 8u : 0u) | ((reg >> 3) & 1) << 2;
        if (rm.mem && rm.index >= 0) rex |= ((rm.index >> 3) & 1) << 1;
        rex |= (rm.reg >> 3) & 1;
        // Two-byte opcodes beginning with 0x66 keep the operand-size prefix in front of REX.
        auto it = opcode.begin();
        if (*it == 0x66) {
            Byte(0x66);
            ++it;
        }
        if (rex || (byteRegs && ((reg & 7) >= 4 || (!rm.mem && (rm.reg & 7) >= 4)))) Byte(0x40 | rex);
        for (; it != opcode.end(); ++it) Byte(*it);
        if (!rm.mem) {
            Byte(0xC0 | (reg & 7) << 3 | (rm.reg & 7));
            return;
        }
        if (rm.index >= 0 || (rm.reg & 7) == 4) {
            Byte(0x80 | (reg & 7) << 3 | 4);
            Byte((rm.index >= 0 ? (rm.index & 7) : 4) << 3 | (rm.reg & 7));
        } else {
            Byte(0x80 | (reg & 7) << 3 | (rm.reg & 7));
        }
        Imm32(static_cast<uint32_t>(rm.disp));
    }
    void MovRegImm(int r, uint32_t v) {
        if (r >= 8) Byte(0x41);
        Byte(0xB8 + (r & 7));
        Imm32(v);
    }
    // A 32-bit ALU operation with an immediate: digit 0 add, 4 and, 5 sub, 7 cmp (81 /digit).
    void AluImm(int digit, Operand rm, uint32_t v, bool wide = false) {
        Op({0x81}, digit, rm, wide);
        Imm32(v);
    }
    void Shift(int digit, int r, uint32_t n) {
        Op({0xC1}, digit, Reg(r));
        Byte(n);
    }
    // jcc rel32 to a label fixed up later; returns the place of the displacement.
    size_t Jcc(uint8_t cc) {
        Bytes({0x0F, static_cast<uint8_t>(0x80 | cc)});
        Imm32(0);
        return code.size() - 4;
    }
    void Bind(size_t at, size_t target) {
        const int32_t rel = static_cast<int32_t>(target - (at + 4));
        std::memcpy(&code[at], &rel, 4);
    }
    void JumpAbs(const void* p) {
        Bytes({0x48, 0xB8});
        Imm64(reinterpret_cast<uintptr_t>(p));
        Bytes({0xFF, 0xE0});  // jmp rax
    }
};

constexpr uint8_t kCcO = 0x0, kCcB = 0x2, kCcAe = 0x3, kCcNe = 0x5, kCcBe = 0x6;

enum { kAnd, kEor, kSub, kRsb, kAdd, kAdc, kSbc, kRsc, kTst, kTeq, kCmp, kCmn, kOrr, kMov, kBic, kMvn };
constexpr bool IsLogical(uint32_t op) { return op <= kEor || op == kTst || op == kTeq || op >= kOrr; }
constexpr bool IsCompare(uint32_t op) { return op >= kTst && op <= kCmn; }

enum Kind { kNone, kDp, kMul, kSingle, kExtra };

// What kind of instruction w is, when the translator handles it.
Kind Classify(uint32_t w) {
    if ((w >> 28) != 14) return kNone;
    const uint32_t rn = (w >> 16) & 15, rd = (w >> 12) & 15, rs = (w >> 8) & 15, rm = w & 15;
    if ((w & 0x0FC000F0u) == 0x00000090u) {  // MUL, MLA
        return rn == 15 || rd == 15 || rs == 15 || rm == 15 ? kNone : kMul;
    }
    if ((w & 0x0E000090u) == 0x00000090u) {  // halfword and signed transfers
        const uint32_t sh = (w >> 5) & 3;
        const bool load = w & (1u << 20), pre = w & (1u << 24), writeBack = w & (1u << 21);
        if (sh == 0 || (!load && sh != 1) || rn == 15 || rd == 15 || (!pre && writeBack)) return kNone;
        if (!(w & (1u << 22)) && rm == 15) return kNone;
        return kExtra;
    }
    if ((w & 0x0C000000u) == 0) {
        const uint32_t op = (w >> 21) & 15;
        const bool s = w & (1u << 20);
        if (IsCompare(op) && !s) return kNone;  // status register transfers and others
        if (!(w & (1u << 25))) {
            const uint32_t type = (w >> 5) & 3, n = (w >> 7) & 31;
            if ((w & 0x10) || rm == 15 || (n == 0 && type != 0)) return kNone;
        }
        if ((!IsCompare(op) && rd == 15) || (op != kMov && op != kMvn && rn == 15)) return kNone;
        return kDp;
    }
    if ((w & 0x0C000000u) == 0x04000000u) {
        const bool reg = w & (1u << 25), pre = w & (1u << 24), writeBack = w & (1u << 21);
        if (rn == 15 || rd == 15 || (!pre && writeBack)) return kNone;
        if (reg && ((w & 0x10) || rm == 15 || ((w >> 5) & 3) != 0)) return kNone;
        return kSingle;
    }
    return kNone;
}

class Translator {
public:
    Translator(const CpuBlockTargets& t) : t_(t) {}

    bool Fits() const {
        for (const void* p : {t_.regs, t_.nz, t_.c, t_.v, t_.tlbRead, t_.tlbWrite}) {
            const intptr_t d = Rel(p);
            if (d < INT32_MIN / 2 || d > INT32_MAX / 2) return false;
        }
        return true;
    }

    void Block(const uint32_t* words, uint32_t n) {
        e_.Op({0x81}, 7, Reg(RDX));  // cmp edx, n
        e_.Imm32(n);
        exits_.push_back({e_.Jcc(kCcBe), 0, t_.fallback});
        for (uint32_t k = 0; k < n; ++k) {
            k_ = k;
            if (k) {
                e_.AluImm(7, Mem(RCX, static_cast<int32_t>(4 * k)), words[k]);
                exits_.push_back({e_.Jcc(kCcNe), k, t_.next});
            }
            const uint32_t w = words[k];
            switch (Classify(w)) {
                case kDp: DataProcessing(w); break;
                case kMul: Multiply(w); break;
                case kSingle: Single(w); break;
                default: Extra(w); break;
            }
        }
        ExitTo(n, t_.next);
        for (const Exit& x : exits_) {
            e_.Bind(x.at, e_.code.size());
            ExitTo(x.k, x.target);
        }
    }
    const std::vector<uint8_t>& Code() const { return e_.code; }

private:
    struct Exit {
        size_t at;
        uint32_t k;
        const void* target;
    };
    const CpuBlockTargets& t_;
    Emitter e_;
    std::vector<Exit> exits_;
    uint32_t k_ = 0;

    intptr_t Rel(const void* p) const {
        return reinterpret_cast<intptr_t>(p) - reinterpret_cast<intptr_t>(t_.entry);
    }
    Operand Field(const void* p, int32_t extra = 0) const {
        return Mem(RDI, static_cast<int32_t>(Rel(p)) + extra);
    }
    Operand R(uint32_t n) const { return Field(t_.regs, static_cast<int32_t>(4 * n)); }
    void Load(int host, uint32_t guest) { e_.Op({0x8B}, host, R(guest)); }
    void Store(uint32_t guest, int host) { e_.Op({0x89}, host, R(guest)); }
    void SetCc(uint8_t cc, const void* flag) { e_.Op({0x0F, static_cast<uint8_t>(0x90 | cc)}, 0, Field(flag)); }
    // N and Z from eax.
    void SetNz() {
        e_.Op({0x63}, RAX, Reg(RAX), true);  // movsxd rax, eax
        e_.Op({0x89}, RAX, Field(t_.nz), true);
    }
    // The host's carry from the guest's C (bt dword [c], 0): the C byte's neighbours are not read.
    void CarryIn(bool invert) {
        e_.Op({0x0F, 0xBA}, 4, Field(t_.c));
        e_.Byte(0);
        if (invert) e_.Byte(0xF5);  // cmc
    }

    // Leaves the block before instruction k (after k instructions) for target.
    void ExitTo(uint32_t k, const void* target) {
        if (k) {
            e_.AluImm(0, Reg(RDI), k * t_.entrySize, true);
            e_.AluImm(0, Reg(RSI), 4 * k);
            e_.AluImm(5, Reg(RDX), k);
            e_.AluImm(0, Reg(RCX), 4 * k, true);
        }
        e_.JumpAbs(target);
    }

    void DataProcessing(uint32_t w) {
        const uint32_t op = (w >> 21) & 15, rn = (w >> 16) & 15, rd = (w >> 12) & 15;
        const bool s = w & (1u << 20);
        const bool shifterCarry = s && IsLogical(op);
        // The second operand in r8d.
        if (w & (1u << 25)) {
            const uint32_t rot = ((w >> 8) & 15) * 2;
            const uint32_t imm = rot ? ((w & 0xFF) >> rot) | ((w & 0xFF) << (32 - rot)) : (w & 0xFF);
            e_.MovRegImm(R8, imm);
            if (shifterCarry && rot) {
                e_.Op({0xC6}, 0, Field(t_.c));
                e_.Byte(imm >> 31);
            }
        } else {
            static constexpr int kDigit[4] = {4, 5, 7, 1};  // shl, shr, sar, ror
            const uint32_t n = (w >> 7) & 31;
            Load(R8, w & 15);
            if (n) {
                e_.Shift(kDigit[(w >> 5) & 3], R8, n);
                if (shifterCarry) SetCc(kCcB, t_.c);
            }
        }
        if (op != kMov && op != kMvn) Load(RAX, rn);
        bool arith = false;
        uint8_t carry = kCcB;  // C is the host's carry (additions) or its inverse (subtractions)
        switch (op) {
            case kAnd: case kTst: e_.Op({0x21}, R8, Reg(RAX)); break;
            case kEor: case kTeq: e_.Op({0x31}, R8, Reg(RAX)); break;
            case kOrr: e_.Op({0x09}, R8, Reg(RAX)); break;
            case kMov: e_.Op({0x89}, R8, Reg(RAX)); break;
            case kBic:
                e_.Op({0xF7}, 2, Reg(R8));  // not r8d
                e_.Op({0x21}, R8, Reg(RAX));
                break;
            case kMvn:
                e_.Op({0x89}, R8, Reg(RAX));
                e_.Op({0xF7}, 2, Reg(RAX));
                break;
            case kAdd: case kCmn: e_.Op({0x01}, R8, Reg(RAX)); arith = true; break;
            case kSub: case kCmp: e_.Op({0x29}, R8, Reg(RAX)); arith = true; carry = kCcAe; break;
            case kRsb:
                e_.Op({0x29}, RAX, Reg(R8));
                e_.Op({0x89}, R8, Reg(RAX));  // mov keeps the host's flags
                arith = true;
                carry = kCcAe;
                break;
            case kAdc:
                CarryIn(false);
                e_.Op({0x11}, R8, Reg(RAX));
                arith = true;
                break;
            case kSbc:
                CarryIn(true);
                e_.Op({0x19}, R8, Reg(RAX));
                arith = true;
                carry = kCcAe;
                break;
            default:  // RSC
                CarryIn(true);
                e_.Op({0x19}, RAX, Reg(R8));
                e_.Op({0x89}, R8, Reg(RAX));
                arith = true;
                carry = kCcAe;
                break;
        }
        if (s) {
            if (arith) {
                SetCc(carry, t_.c);
                SetCc(kCcO, t_.v);
            }
            SetNz();
        }
        if (!IsCompare(op)) Store(rd, RAX);
    }

    void Multiply(uint32_t w) {
        Load(RAX, w & 15);
        e_.Op({0x0F, 0xAF}, RAX, R((w >> 8) & 15));          // imul eax, Rs
        if (w & (1u << 21)) e_.Op({0x03}, RAX, R((w >> 12) & 15));  // add eax, Rn
        if (w & (1u << 20)) SetNz();
        Store((w >> 16) & 15, RAX);
    }

    // Base in eax, offset in r8d (or the immediate): the updated base in r11d, the address in eax.
    void Address(uint32_t w, bool regOffset, uint32_t imm) {
        const bool up = w & (1u << 23);
        Load(RAX, (w >> 16) & 15);
        e_.Op({0x89}, RAX, Reg(R11));
        if (regOffset) e_.Op({static_cast<uint8_t>(up ? 0x01 : 0x29)}, R8, Reg(R11));
        else e_.AluImm(up ? 0 : 5, Reg(R11), imm);
        if (w & (1u << 24)) e_.Op({0x89}, R11, Reg(RAX));
    }
    // The host address of the access at eax into r9, or leave before the instruction.
    void Host(bool write, uint32_t align) {
        const void* cache = write ? t_.tlbWrite : t_.tlbRead;
        e_.Op({0x89}, RAX, Reg(R8));
        e_.Shift(5, R8, 5);
        e_.AluImm(4, Reg(R8), (kTlbEntries - 1) << 5);
        e_.Op({0x89}, RAX, Reg(R9));
        e_.AluImm(4, Reg(R9), kPageMask | align);
        e_.Op({0x3B}, R9, Mem(RDI, static_cast<int32_t>(Rel(cache)) + 4, R8));  // cmp r9d, fastKey
        exits_.push_back({e_.Jcc(kCcNe), k_, t_.slow});
        e_.Op({0x8B}, R9, Mem(RDI, static_cast<int32_t>(Rel(cache)) + 24, R8), true);  // mov r9, addend
        e_.Op({0x01}, RAX, Reg(R9), true);                                              // add r9, rax
    }
    void WriteBack(uint32_t w) {
        if (!(w & (1u << 24)) || (w & (1u << 21))) Store((w >> 16) & 15, R11);
    }
    // The load or store of size bytes (signed: sign-extended) at the address in eax.
    void Access(uint32_t w, int size, bool sign) {
        const bool load = w & (1u << 20);
        const uint32_t rd = (w >> 12) & 15;
        if (load) {
            Host(false, size - 1);
            const Operand at = Mem(R9, 0);
            if (size == 4) e_.Op({0x8B}, RAX, at);
            else if (size == 2) e_.Op({0x0F, static_cast<uint8_t>(sign ? 0xBF : 0xB7)}, RAX, at);
            else e_.Op({0x0F, static_cast<uint8_t>(sign ? 0xBE : 0xB6)}, RAX, at);
            Store(rd, RAX);
        } else {
            Load(R10, rd);
            Host(true, size - 1);
            const Operand at = Mem(R9, 0);
            if (size == 4) e_.Op({0x89}, R10, at);
            else if (size == 2) e_.Op({0x66, 0x89}, R10, at);
            else e_.Op({0x88}, R10, at, false, true);
        }
        WriteBack(w);
    }

    void Single(uint32_t w) {
        const bool reg = w & (1u << 25);
        if (reg) {
            Load(R8, w & 15);
            const uint32_t n = (w >> 7) & 31;
            if (n) e_.Shift(4, R8, n);
        }
        Address(w, reg, w & 0xFFF);
        Access(w, (w & (1u << 22)) ? 1 : 4, false);
    }

    void Extra(uint32_t w) {
        const bool imm = w & (1u << 22);
        if (!imm) Load(R8, w & 15);
        Address(w, !imm, ((w >> 4) & 0xF0) | (w & 0xF));
        const uint32_t sh = (w >> 5) & 3;
        Access(w, sh == 2 ? 1 : 2, sh != 1);
    }
};

}  // namespace

bool CpuTranslationOn() { return gCode.on && MapBuffer(); }
void CpuSetTranslationOn(bool on) { gCode.on = on; }

uint32_t CpuTranslatableRun(const uint32_t* words, uint32_t count) {
    uint32_t n = 0;
    while (n < count && n < kMaxBlock && Classify(words[n]) != kNone) ++n;
    return n;
}

void* CpuTranslateArm(const uint32_t* words, uint32_t n, const CpuBlockTargets& t) {
    Translator tr(t);
    if (!MapBuffer() || !tr.Fits()) return nullptr;
    tr.Block(words, n);
    const std::vector<uint8_t>& code = tr.Code();
    const size_t start = (gCode.used + 15) & ~size_t(15);
    if (start + code.size() > kBufferSize) return nullptr;
    std::memcpy(gCode.write + start, code.data(), code.size());
    gCode.used = start + code.size();
    return const_cast<uint8_t*>(gCode.exec + start);
}

bool CpuIsBlock(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return gCode.exec && b >= gCode.exec && b < gCode.exec + kBufferSize;
}

void CpuEmptyCodeBuffer() { gCode.used = 0; }

#else

bool CpuTranslationOn() { return false; }
void CpuSetTranslationOn(bool) {}
uint32_t CpuTranslatableRun(const uint32_t*, uint32_t) { return 0; }
void* CpuTranslateArm(const uint32_t*, uint32_t, const CpuBlockTargets&) { return nullptr; }
bool CpuIsBlock(const void*) { return false; }
void CpuEmptyCodeBuffer() {}

#endif

}  // namespace tamsk
