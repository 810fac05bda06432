// Differential tests of the interpreter against qemu-m68k -cpu m68000.
//
// Random instruction streams, one class of instructions per group, run at the same fixed
// addresses under qemu (through oracle/runner.S) and under the interpreter, from the same
// registers, flags and memory; registers, flags and the data area must match. A fixed seed and a
// modest count keep the suite quick; MORVEL_DIFF_CASES and MORVEL_DIFF_SEED ask for more.
//
// Masked, each only where the generator marks it:
// - ABCD, SBCD, NBCD: N and V, which the 68000 leaves undefined.
// - DIVU, DIVS with overflow: N and Z, undefined on overflow.
// - CHK within bounds: N, Z, V and C, undefined when no trap is taken.
// - BCD operands are valid BCD digits: other bytes give results the 68000 leaves undefined.
// - Memory-form ASL/ASR are not generated, and memory LSL/LSR only with modes whose opcode has
//   bit 3 set: qemu-m68k takes arithmetic/logical from that bit; the unit tests cover the rest.
// - The 4 bytes below the initial A7: qemu's runner and Call68KCode push different return addresses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/cpu/MorvelJit.h"

namespace morvel::test {
namespace {

constexpr uint32_t kCode = kFixedBase;
constexpr uint32_t kData = kFixedBase + 0x1000;
constexpr uint32_t kCodeBytes = 512, kDataBytes = 1024;
constexpr uint32_t kCaseBytes = 68 + kCodeBytes + kDataBytes;
constexpr uint32_t kResultBytes = 72 + kDataBytes;
constexpr uint32_t kStackTop = kData + 0x3C0;

struct Case {
    std::string cls;
    uint32_t regs[16];
    uint16_t ccr;
    std::vector<uint16_t> code;
    uint8_t data[kDataBytes];
    uint8_t ccrMask = 0x1F;  // condition bits compared
    bool maskNZOnOverflow = false;
};

struct Result {
    uint32_t regs[16];
    uint8_t ccr;
    uint8_t data[kDataBytes];
};

// ---- generator ----

class Gen {
public:
    explicit Gen(uint32_t seed) : rng_(seed) {}
    uint32_t U(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
    int32_t Range(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng_); }
    uint32_t Value() {
        static const uint32_t special[] = {0, 1, 2, 0xFFFFFFFF, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF,
                                           0x7FFFFFFF, 0x80000000, 0x10000, 0x99, 0x09, 0x55AA55AA};
        switch (U(4)) {
            case 0: return special[U(16)];
            case 1: return U(256);
            default: return static_cast<uint32_t>(rng_());
        }
    }
    uint32_t Size() { return U(3); }  // 0 byte, 1 word, 2 long
    std::mt19937 rng_;
};

// Registers: D0-D5 free, D6/D7 small even index values (never written), A0-A3 point into the data
// area (the only memory bases), A4-A6 free for address arithmetic (never dereferenced), A7 stack.
struct Ea {
    uint16_t modeReg;
    std::vector<uint16_t> ext;
};

enum EaUse { kRead, kWrite };

Ea DReg(Gen& g, bool dest) { return {static_cast<uint16_t>(dest ? g.U(6) : g.U(8)), {}}; }

Ea MemEa(Gen& g, uint32_t size, EaUse use, bool allowImm = true) {
    uint32_t n = use == kRead ? (allowImm ? 9 : 8) : 6;
    uint16_t an = static_cast<uint16_t>(g.U(4));
    auto idxExt = [&](int32_t d) {
        uint16_t xr = static_cast<uint16_t>(6 + g.U(2));
        return static_cast<uint16_t>((xr << 12) | (g.U(2) << 11) | (static_cast<uint32_t>(d) & 0xFF));
    };
    switch (g.U(n)) {
        case 0: return {static_cast<uint16_t>(0x10 | an), {}};
        case 1: return {static_cast<uint16_t>(0x18 | an), {}};
        case 2: return {static_cast<uint16_t>(0x20 | an), {}};
        case 3: return {static_cast<uint16_t>(0x28 | an), {static_cast<uint16_t>(g.Range(-0x30, 0x30) * 2)}};
        case 4: return {static_cast<uint16_t>(0x30 | an), {idxExt(g.Range(-0x20, 0x20) * 2)}};
        case 5: {
            uint32_t a = kData + 0x80 + g.U(0x140) * 2;
            return {0x39, {static_cast<uint16_t>(a >> 16), static_cast<uint16_t>(a)}};
        }
        case 6: return {0x3A, {static_cast<uint16_t>(g.U(0x80) * 2)}};
        case 7: return {0x3B, {idxExt(g.U(0x40) * 2)}};
        default: {
            uint32_t v = g.Value();
            if (size == 2) return {0x3C, {static_cast<uint16_t>(v >> 16), static_cast<uint16_t>(v)}};
            return {0x3C, {static_cast<uint16_t>(size == 0 ? (v & 0xFF) : (v & 0xFFFF))}};
        }
    }
}
// Any data operand: a data register or memory.
Ea DataEa(Gen& g, uint32_t size, EaUse use) { return g.U(2) ? DReg(g, use == kWrite) : MemEa(g, size, use); }

void Emit(std::vector<uint16_t>& code, uint16_t op, std::initializer_list<const Ea*> eas) {
    code.push_back(op);
    for (const Ea* e : eas)
        for (uint16_t w : e->ext) code.push_back(w);
}
void EmitImm(std::vector<uint16_t>& code, uint32_t size, uint32_t v) {
    if (size == 2) code.push_back(static_cast<uint16_t>(v >> 16));
    code.push_back(static_cast<uint16_t>(size == 0 ? (v & 0xFF) : v));
}
uint16_t SizeBits(uint32_t size) { return static_cast<uint16_t>(size << 6); }

void GenMove(Gen& g, Case& c) {
    for (uint32_t i = 0, n = 1 + g.U(4); i < n; ++i) {
        uint32_t size = g.Size();
        uint16_t sz = size == 0 ? 1 : size == 1 ? 3 : 2;
        switch (g.U(4)) {
            case 0: {  // MOVEA from anything
                if (size == 0) size = 1, sz = 3;
                Ea s = g.U(3) ? DataEa(g, size, kRead) : Ea{static_cast<uint16_t>(0x08 | g.U(8)), {}};
                Emit(c.code, static_cast<uint16_t>(sz << 12 | (4 + g.U(3)) << 9 | 1 << 6 | s.modeReg), {&s});
                break;
            }
            case 1:
                c.code.push_back(static_cast<uint16_t>(0x7000 | g.U(6) << 9 | (g.Value() & 0xFF)));
                break;
            default: {
                Ea s = DataEa(g, size, kRead);
                if (size != 0 && g.U(5) == 0) s = {static_cast<uint16_t>(0x08 | g.U(8)), {}};
                Ea d = DataEa(g, size, kWrite);
                uint16_t dst = static_cast<uint16_t>((d.modeReg & 7) << 3 | (d.modeReg >> 3));
                Emit(c.code, static_cast<uint16_t>(sz << 12 | dst << 6 | s.modeReg), {&s, &d});
            }
        }
    }
}

void GenArith(Gen& g, Case& c) {
    for (uint32_t i = 0, n = 1 + g.U(4); i < n; ++i) {
        uint32_t size = g.Size();
        switch (g.U(9)) {
            case 0: {  // ADD/SUB/CMP <ea>,Dn
                static const uint16_t lines[] = {0xD000, 0x9000, 0xB000};
                Ea s = DataEa(g, size, kRead);
                Emit(c.code, static_cast<uint16_t>(lines[g.U(3)] | g.U(6) << 9 | SizeBits(size) | s.modeReg), {&s});
                break;
            }
            case 1: {  // ADD/SUB Dn,<ea>
                Ea d = MemEa(g, size, kWrite);
                Emit(c.code, static_cast<uint16_t>((g.U(2) ? 0xD100 : 0x9100) | g.U(8) << 9 | SizeBits(size) | d.modeReg),
                     {&d});
                break;
            }
            case 2: {  // ADDA/SUBA/CMPA
                uint32_t lng = g.U(2);
                Ea s = DataEa(g, 1 + lng, kRead);
                uint32_t line = g.U(3);
                uint16_t an = static_cast<uint16_t>(line == 2 ? g.U(8) : 4 + g.U(3));
                uint16_t base = line == 0 ? 0xD0C0 : line == 1 ? 0x90C0 : 0xB0C0;
                Emit(c.code, static_cast<uint16_t>(base | an << 9 | lng << 8 | s.modeReg), {&s});
                break;
            }
            case 3: {  // ADDQ/SUBQ
                Ea d = g.U(4) == 0 ? Ea{static_cast<uint16_t>(0x0C | g.U(3)), {}} : DataEa(g, size, kWrite);
                if ((d.modeReg >> 3) == 1 && size == 0) size = 1;
                Emit(c.code, static_cast<uint16_t>(0x5000 | g.U(8) << 9 | g.U(2) << 8 | SizeBits(size) | d.modeReg),
                     {&d});
                break;
            }
            case 4: {  // ADDI/SUBI/CMPI
                static const uint16_t ops[] = {0x0600, 0x0400, 0x0C00};
                Ea d = DataEa(g, size, kWrite);
                c.code.push_back(static_cast<uint16_t>(ops[g.U(3)] | SizeBits(size) | d.modeReg));
                EmitImm(c.code, size, g.Value());
                for (uint16_t w : d.ext) c.code.push_back(w);
                break;
            }
            case 5: {  // ADDX/SUBX
                bool mem = g.U(2);
                uint16_t rx = static_cast<uint16_t>(mem ? g.U(4) : g.U(6)), ry = static_cast<uint16_t>(mem ? g.U(4) : g.U(8));
                c.code.push_back(static_cast<uint16_t>((g.U(2) ? 0xD100 : 0x9100) | rx << 9 | SizeBits(size) |
                                                       (mem ? 8 : 0) | ry));
                break;
            }
            case 6:  // CMPM
                c.code.push_back(static_cast<uint16_t>(0xB108 | g.U(4) << 9 | SizeBits(size) | g.U(4)));
                break;
            case 7: {  // NEG/NEGX
                Ea d = DataEa(g, size, kWrite);
                Emit(c.code, static_cast<uint16_t>((g.U(2) ? 0x4400 : 0x4000) | SizeBits(size) | d.modeReg), {&d});
                break;
            }
            default: {  // MULU/MULS
                Ea s = DataEa(g, 1, kRead);
                Emit(c.code, static_cast<uint16_t>((g.U(2) ? 0xC0C0 : 0xC1C0) | g.U(6) << 9 | s.modeReg), {&s});
            }
        }
    }
}

void GenLogic(Gen& g, Case& c) {
    for (uint32_t i = 0, n = 1 + g.U(4); i < n; ++i) {
        uint32_t size = g.Size();
        switch (g.U(9)) {
            case 0: {  // AND/OR <ea>,Dn
                Ea s = DataEa(g, size, kRead);
                Emit(c.code, static_cast<uint16_t>((g.U(2) ? 0xC000 : 0x8000) | g.U(6) << 9 | SizeBits(size) | s.modeReg),
                     {&s});
                break;
            }
            case 1: {  // AND/OR Dn,<ea>; EOR Dn,<ea>
                bool eor = g.U(3) == 0;
                Ea d = eor ? DataEa(g, size, kWrite) : MemEa(g, size, kWrite);
                uint16_t base = eor ? 0xB100 : g.U(2) ? 0xC100 : 0x8100;
                Emit(c.code, static_cast<uint16_t>(base | g.U(8) << 9 | SizeBits(size) | d.modeReg), {&d});
                break;
            }
            case 2: {  // ANDI/ORI/EORI
                static const uint16_t ops[] = {0x0200, 0x0000, 0x0A00};
                Ea d = DataEa(g, size, kWrite);
                c.code.push_back(static_cast<uint16_t>(ops[g.U(3)] | SizeBits(size) | d.modeReg));
                EmitImm(c.code, size, g.Value());
                for (uint16_t w : d.ext) c.code.push_back(w);
                break;
            }
            case 3: {  // NOT/CLR/TST
                static const uint16_t ops[] = {0x4600, 0x4200, 0x4A00};
                Ea d = DataEa(g, size, kWrite);
                Emit(c.code, static_cast<uint16_t>(ops[g.U(3)] | SizeBits(size) | d.modeReg), {&d});
                break;
            }
            case 4:  // EXT.W / EXT.L / SWAP
                c.code.push_back(static_cast<uint16_t>((g.U(3) == 0 ? 0x4840 : g.U(2) ? 0x4880 : 0x48C0) | g.U(6)));
                break;
            case 5: {  // EXG
                uint32_t k = g.U(3);
                uint16_t op = k == 0 ? static_cast<uint16_t>(0xC140 | g.U(6) << 9 | g.U(6))
                            : k == 1 ? static_cast<uint16_t>(0xC148 | (4 + g.U(3)) << 9 | (4 + g.U(3)))
                                     : static_cast<uint16_t>(0xC188 | g.U(6) << 9 | (4 + g.U(3)));
                c.code.push_back(op);
                break;
            }
            case 6: {  // TAS
                Ea d = DataEa(g, 0, kWrite);
                Emit(c.code, static_cast<uint16_t>(0x4AC0 | d.modeReg), {&d});
                break;
            }
            case 7: {  // ANDI/ORI/EORI to CCR, MOVE to CCR
                static const uint16_t ops[] = {0x023C, 0x003C, 0x0A3C};
                if (g.U(2)) {
                    c.code.push_back(ops[g.U(3)]);
                    c.code.push_back(static_cast<uint16_t>(g.U(256)));
                } else {
                    Ea s = DataEa(g, 1, kRead);
                    Emit(c.code, static_cast<uint16_t>(0x44C0 | s.modeReg), {&s});
                }
                break;
            }
            default: {  // MOVE from SR
                Ea d = DataEa(g, 1, kWrite);
                Emit(c.code, static_cast<uint16_t>(0x40C0 | d.modeReg), {&d});
            }
        }
    }
}

void GenShift(Gen& g, Case& c) {
    for (uint32_t i = 0, n = 1 + g.U(4); i < n; ++i) {
        uint32_t size = g.Size();
        if (g.U(4) == 0) {
            // Memory form. qemu-m68k picks arithmetic or logical for the memory ASx/LSx from bit 3
            // of the opcode (an effective-address bit), so LSx is generated only with modes 3, 5
            // and 7 (bit 3 set), and the memory ASL/ASR are left to the unit tests.
            uint16_t type = static_cast<uint16_t>(1 + g.U(3));
            Ea d = MemEa(g, 1, kWrite);
            while (type == 1 && !(d.modeReg & 0x08)) d = MemEa(g, 1, kWrite);
            Emit(c.code, static_cast<uint16_t>(0xE0C0 | type << 9 | g.U(2) << 8 | d.modeReg), {&d});
        } else {
            bool reg = g.U(2);
            uint16_t cnt = static_cast<uint16_t>(reg ? g.U(8) : g.U(8));
            c.code.push_back(static_cast<uint16_t>(0xE000 | cnt << 9 | g.U(2) << 8 | SizeBits(size) | (reg ? 0x20 : 0) |
                                                   g.U(4) << 3 | g.U(6)));
        }
    }
}

void GenBits(Gen& g, Case& c) {
    for (uint32_t i = 0, n = 1 + g.U(4); i < n; ++i) {
        uint16_t kind = static_cast<uint16_t>(g.U(4));
        switch (g.U(3)) {
            case 0: {  // dynamic
                Ea d = kind == 0 ? DataEa(g, 0, kRead) : DataEa(g, 0, kWrite);
                Emit(c.code, static_cast<uint16_t>(0x0100 | g.U(8) << 9 | kind << 6 | d.modeReg), {&d});
                break;
            }
            case 1: {  // static
                Ea d = kind == 0 ? (g.U(2) ? DReg(g, false) : MemEa(g, 0, kRead, false)) : DataEa(g, 0, kWrite);
                c.code.push_back(static_cast<uint16_t>(0x0800 | kind << 6 | d.modeReg));
                c.code.push_back(static_cast<uint16_t>(g.U(64)));
                for (uint16_t w : d.ext) c.code.push_back(w);
                break;
            }
            default:  // MOVEP
                c.code.push_back(static_cast<uint16_t>(0x0108 | g.U(6) << 9 | (4 + g.U(4)) << 6 | g.U(4)));
                c.code.push_back(static_cast<uint16_t>(g.Range(-0x20, 0x20) * 2));
        }
    }
}

// Operands are valid BCD: the 68000 leaves the results of other bytes undefined.
uint32_t Bcd(Gen& g) { return g.U(10) << 4 | g.U(10); }
void GenBcd(Gen& g, Case& c) {
    for (int i = 0; i < 6; ++i) c.regs[i] = Bcd(g) << 24 | Bcd(g) << 16 | Bcd(g) << 8 | Bcd(g);
    c.regs[6] = g.U(4) << 4 | g.U(5) * 2;  // index registers stay small, even and valid BCD
    c.regs[7] = g.U(4) << 4 | g.U(5) * 2;
    for (auto& b : c.data) b = static_cast<uint8_t>(Bcd(g));
    for (uint32_t i = 0, n = 1 + g.U(3); i < n; ++i) {
        switch (g.U(3)) {
            case 0: {
                Ea d = DataEa(g, 0, kWrite);
                Emit(c.code, static_cast<uint16_t>(0x4800 | d.modeReg), {&d});
                break;
            }
            default: {
                bool mem = g.U(2);
                uint16_t rx = static_cast<uint16_t>(mem ? g.U(4) : g.U(6)), ry = static_cast<uint16_t>(mem ? g.U(4) : g.U(8));
                c.code.push_back(static_cast<uint16_t>((g.U(2) ? 0xC100 : 0x8100) | rx << 9 | (mem ? 8 : 0) | ry));
            }
        }
    }
    c.ccrMask = kSrX | kSrZ | kSrC;
}

void GenDiv(Gen& g, Case& c) {
    uint16_t dn = static_cast<uint16_t>(g.U(6));
    bool sign = g.U(2);
    uint32_t divisor = g.Value() & 0xFFFF;
    if (divisor == 0) divisor = 3;
    // qemu-m68k itself dies of a host divide fault on 0x80000000 / -1 in DIVS.W; set bit 0 of the
    // dividend so that one value never reaches it (the interpreter's own test covers it).
    if (sign && divisor == 0xFFFF) {
        c.code.push_back(static_cast<uint16_t>(0x08C0 | dn));  // BSET #0,Dn
        c.code.push_back(0);
    }
    if (g.U(2)) {
        c.code.push_back(static_cast<uint16_t>((sign ? 0x81FC : 0x80FC) | dn << 9));
        c.code.push_back(static_cast<uint16_t>(divisor));
    } else {
        uint16_t dy = static_cast<uint16_t>(g.U(6));
        c.code.push_back(static_cast<uint16_t>(0x303C | dy << 9));  // MOVE.W #divisor,Dy
        c.code.push_back(static_cast<uint16_t>(divisor));
        c.code.push_back(static_cast<uint16_t>((sign ? 0x81C0 : 0x80C0) | dn << 9 | dy));
    }
    c.maskNZOnOverflow = true;
}

void GenFlow(Gen& g, Case& c) {
    auto cc = [&] {
        uint16_t v;
        do v = static_cast<uint16_t>(g.U(16));
        while (v == 1);
        return v;
    };
    switch (g.U(7)) {
        case 0:  // Bcc.S over one instruction
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x6002 | cc() << 8), 0x7001, 0x7202});
            break;
        case 1:  // Bcc.W over one instruction
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x6000 | cc() << 8), 4, 0x7001, 0x7202});
            break;
        case 2:  // MOVEQ #k,D1; loop: ADDQ.W #1,D2; DBcc D1,loop
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x7200 | g.U(5)), 0x5242,
                                         static_cast<uint16_t>(0x50C9 | g.U(16) << 8), 0xFFFC});
            break;
        case 3: {  // Scc
            Ea d = DataEa(g, 0, kWrite);
            Emit(c.code, static_cast<uint16_t>(0x50C0 | g.U(16) << 8 | d.modeReg), {&d});
            break;
        }
        case 4:  // BSR.S sub; MOVEQ #3,D3; RTS; sub: ADDQ.L #1,D4; RTS
            c.code.insert(c.code.end(), {0x6104, 0x7603, 0x4E75, 0x5284, 0x4E75});
            break;
        case 5:  // LEA sub(PC),A4; JSR (A4); RTS; sub: MOVEQ #7,D5; RTS
            c.code.insert(c.code.end(), {0x49FA, 0x0006, 0x4E94, 0x4E75, 0x7A07, 0x4E75});
            break;
        default:  // JMP d16(PC) over one instruction
            c.code.insert(c.code.end(), {0x4EFA, 0x0004, 0x7001, 0x7202});
    }
}

void GenStack(Gen& g, Case& c) {
    switch (g.U(7)) {
        case 0:  // MOVE.B Dn,-(A7); MOVE.B (A7)+,Dm: A7 moves by 2
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x1F00 | g.U(8)), static_cast<uint16_t>(0x101F | g.U(6) << 9)});
            break;
        case 1:  // MOVE.L Dn,-(A7); MOVE.W (A7)+,Dm; MOVE.W (A7)+,Dk
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x2F00 | g.U(8)), static_cast<uint16_t>(0x301F | g.U(6) << 9),
                                         static_cast<uint16_t>(0x301F | g.U(6) << 9)});
            break;
        case 2: {  // PEA <ea>; MOVE.L (A7)+,Dn
            Ea s = MemEa(g, 2, kRead);
            if ((s.modeReg >> 3) == 3 || (s.modeReg >> 3) == 4 || s.modeReg == 0x3C) s = {0x10, {}};
            Emit(c.code, static_cast<uint16_t>(0x4840 | s.modeReg), {&s});
            c.code.push_back(static_cast<uint16_t>(0x201F | g.U(6) << 9));
            break;
        }
        case 3:  // LINK A4,#-d; MOVE.L Dn,-4(A4); MOVE.L (A7),Dm; UNLK A4
            c.code.insert(c.code.end(), {0x4E54, static_cast<uint16_t>(-(static_cast<int>(g.U(8)) * 2 + 4)),
                                         static_cast<uint16_t>(0x2940 | g.U(8)), 0xFFFC,
                                         static_cast<uint16_t>(0x2017 | g.U(6) << 9), 0x4E5C});
            break;
        case 4: {  // MOVEM to memory and back
            uint16_t mask = static_cast<uint16_t>(g.U(0x10000));
            bool lng = g.U(2);
            uint16_t an = static_cast<uint16_t>(g.U(4));
            // predecrement store from the registers, then a load through (An)+ into D0-D5/A4-A6 only
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x48A0 | (lng ? 0x40 : 0) | an), mask});
            uint16_t load = static_cast<uint16_t>(g.U(0x10000) & 0x703F);
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x4C98 | (lng ? 0x40 : 0) | an), load});
            break;
        }
        case 5: {  // MOVEM to (An) or d16(An) and back from there, same size
            uint16_t size = g.U(2) ? 0x40 : 0;
            uint16_t an = static_cast<uint16_t>(g.U(4));
            bool disp = g.U(2);
            uint16_t d16 = static_cast<uint16_t>(g.Range(-64, 64) * 2);
            uint16_t mode = disp ? 0x28 : 0x10;
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x4880 | size | mode | an),
                                         static_cast<uint16_t>(g.U(0x10000))});
            if (disp) c.code.push_back(d16);
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x4C80 | size | mode | an),
                                         static_cast<uint16_t>(g.U(0x10000) & 0x703F)});
            if (disp) c.code.push_back(d16);
            break;
        }
        default:  // LEA ret(PC),A4; MOVE.L A4,-(A7); MOVE.W #ccr,-(A7); RTR; ret: MOVEQ #1,D0
            c.code.insert(c.code.end(), {0x49FA, 0x000A, 0x2F0C, 0x3F3C, static_cast<uint16_t>(g.U(65536)), 0x4E77, 0x7001});
    }
}

void GenChk(Gen& g, Case& c) {
    uint16_t dn = static_cast<uint16_t>(g.U(6));
    uint16_t bound = static_cast<uint16_t>(g.U(0x8000));
    uint16_t v = static_cast<uint16_t>(g.U(bound + 1u));
    c.code.insert(c.code.end(), {static_cast<uint16_t>(0x303C | dn << 9), v, static_cast<uint16_t>(0x41BC | dn << 9), bound});
    c.ccrMask = kSrX;
}

// Compares and tests followed at once by a conditional branch over one MOVEQ, and short counted
// loops that end in SUBQ or CMP and a branch back.
void GenCompareBranch(Gen& g, Case& c) {
    for (uint32_t i = 0, n = 1 + g.U(4); i < n; ++i) {
        uint32_t size = g.Size();
        switch (g.U(6)) {
            case 0: {  // CMP <ea>,Dn
                Ea s = DataEa(g, size, kRead);
                Emit(c.code, static_cast<uint16_t>(0xB000 | g.U(8) << 9 | SizeBits(size) | s.modeReg), {&s});
                break;
            }
            case 1: {  // CMPA <ea>,An
                uint32_t lng = g.U(2);
                Ea s = g.U(4) ? DataEa(g, 1 + lng, kRead) : Ea{static_cast<uint16_t>(0x08 | g.U(8)), {}};
                Emit(c.code, static_cast<uint16_t>(0xB0C0 | g.U(8) << 9 | lng << 8 | s.modeReg), {&s});
                break;
            }
            case 2: {  // CMPI #imm,<ea>
                Ea d = DataEa(g, size, kWrite);
                c.code.push_back(static_cast<uint16_t>(0x0C00 | SizeBits(size) | d.modeReg));
                EmitImm(c.code, size, g.Value());
                for (uint16_t w : d.ext) c.code.push_back(w);
                break;
            }
            case 3: {  // TST <ea>
                Ea d = DataEa(g, size, kWrite);
                Emit(c.code, static_cast<uint16_t>(0x4A00 | SizeBits(size) | d.modeReg), {&d});
                break;
            }
            case 4:  // SUBQ #q,Dn
                c.code.push_back(static_cast<uint16_t>(0x5100 | g.U(8) << 9 | SizeBits(size) | g.U(6)));
                break;
            default:  // MOVEQ #k,D1; MOVEQ #0,D2; loop: ADDQ.W #1,D2; SUBQ.L #1,D1 or CMP.L D1,D2; Bcc.S loop
                if (g.U(2))
                    c.code.insert(c.code.end(), {static_cast<uint16_t>(0x7201 + g.U(8)), 0x7400, 0x5242, 0x5381,
                                                 static_cast<uint16_t>(g.U(2) ? 0x66FA : 0x6EFA)});
                else
                    c.code.insert(c.code.end(), {static_cast<uint16_t>(0x7201 + g.U(8)), 0x7400, 0x5242, 0xB481,
                                                 static_cast<uint16_t>(g.U(2) ? 0x66FA : 0x6DFA)});
                continue;
        }
        uint16_t cc = static_cast<uint16_t>(2 + g.U(14));
        if (g.U(4))  // Bcc.S or Bcc.W over MOVEQ #k,D5
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x6002 | cc << 8), static_cast<uint16_t>(0x7A00 | g.U(256))});
        else
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x6000 | cc << 8), 4, static_cast<uint16_t>(0x7A00 | g.U(256))});
    }
}

// Register forms with every register number: MOVEQ, MOVE.L, OR, AND, SUB, ADD, CMP and EOR .L
// between data registers, CMP.B/W between data registers and TST of a data register (compares and
// tests sometimes followed by a branch over a MOVEQ), ADDQ.L and SUBQ.L to a data register, ADDQ and
// SUBQ .W/.L to A4-A6.
void GenRegForms(Gen& g, Case& c) {
    static const uint16_t kAlu[] = {0x8080, 0xC080, 0x9080, 0xD080, 0xB080};  // OR AND SUB ADD CMP .L <ea>,Dn
    for (uint32_t i = 0, n = 2 + g.U(8); i < n; ++i) {
        uint16_t dst = static_cast<uint16_t>(g.U(6)), src = static_cast<uint16_t>(g.U(8));
        bool branch = false;
        switch (g.U(8)) {
            case 0: c.code.push_back(static_cast<uint16_t>(0x7000 | dst << 9 | g.U(256))); break;
            case 1: c.code.push_back(static_cast<uint16_t>(0x2000 | dst << 9 | src)); break;
            case 2: {
                uint16_t alu = kAlu[g.U(5)];
                c.code.push_back(static_cast<uint16_t>(alu | dst << 9 | src));
                branch = alu == 0xB080;
                break;
            }
            case 3: c.code.push_back(static_cast<uint16_t>(0xB180 | src << 9 | dst)); break;  // EOR.L Dsrc,Ddst
            case 4: c.code.push_back(static_cast<uint16_t>(0x5080 | g.U(8) << 9 | g.U(2) << 8 | dst)); break;
            case 5:  // CMP.B or CMP.W Dsrc,Ddst
                c.code.push_back(static_cast<uint16_t>(0xB000 | g.U(2) << 6 | g.U(8) << 9 | src));
                branch = true;
                break;
            case 6:  // TST.B, TST.W or TST.L Dn
                c.code.push_back(static_cast<uint16_t>(0x4A00 | g.U(3) << 6 | src));
                branch = true;
                break;
            default:  // ADDQ or SUBQ .W/.L #q,An (A4-A6)
                c.code.push_back(static_cast<uint16_t>(0x5008 | g.U(8) << 9 | g.U(2) << 8 | (1 + g.U(2)) << 6 |
                                                       (4 + g.U(3))));
                break;
        }
        if (branch && g.U(2))
            c.code.insert(c.code.end(), {static_cast<uint16_t>(0x6002 | (2 + g.U(14)) << 8),
                                         static_cast<uint16_t>(0x7A00 | g.U(256))});
    }
}

struct Class {
    const char* name;
    void (*gen)(Gen&, Case&);
};
const Class kClasses[] = {{"move", GenMove},   {"arith", GenArith}, {"logic", GenLogic},
                          {"shift", GenShift}, {"bits", GenBits},   {"bcd", GenBcd},
                          {"div", GenDiv},     {"flow", GenFlow},   {"stack", GenStack},
                          {"chk", GenChk},     {"cmpbranch", GenCompareBranch},
                          {"regforms", GenRegForms}};

Case MakeCase(Gen& g, const Class& cls) {
    Case c;
    c.cls = cls.name;
    for (int i = 0; i < 6; ++i) c.regs[i] = g.Value();
    c.regs[6] = g.U(32) * 2;
    c.regs[7] = g.U(32) * 2;
    for (int i = 0; i < 4; ++i) c.regs[8 + i] = kData + 0x100 + g.U(0x80) * 2;
    for (int i = 4; i < 7; ++i) c.regs[8 + i] = g.Value();
    c.regs[15] = kStackTop;
    c.ccr = static_cast<uint16_t>(g.U(32));
    for (auto& b : c.data) b = static_cast<uint8_t>(g.U(256));
    cls.gen(g, c);
    c.code.push_back(0x4E75);
    return c;
}

std::vector<uint8_t> CodeBytes(const Case& c) {
    std::vector<uint8_t> b(kCodeBytes, 0);
    for (size_t i = 0; i < c.code.size(); ++i) vantor::WriteBE16(&b[i * 2], c.code[i]);
    return b;
}

// ---- the two sides ----

std::string TempDir() {
    static std::string dir = [] {
        char d[] = "/tmp/morvel-diff-XXXXXX";
        return std::string(mkdtemp(d));
    }();
    return dir;
}

bool RunQemu(const std::vector<Case>& cases, std::vector<Result>& out, std::string& error,
             const std::string& extra = "") {
    std::string in = TempDir() + "/blob.bin", res = TempDir() + "/out.bin";
    {
        std::vector<uint8_t> blob(8 + cases.size() * kCaseBytes);
        vantor::WriteBE32(&blob[0], 0x4D363844);
        vantor::WriteBE32(&blob[4], static_cast<uint32_t>(cases.size()));
        uint8_t* p = &blob[8];
        for (const Case& c : cases) {
            for (int i = 0; i < 16; ++i) vantor::WriteBE32(p + i * 4, c.regs[i]);
            vantor::WriteBE16(p + 64, c.ccr);
            vantor::WriteBE16(p + 66, static_cast<uint16_t>(c.code.size() * 2));
            std::vector<uint8_t> code = CodeBytes(c);
            std::memcpy(p + 68, code.data(), kCodeBytes);
            std::memcpy(p + 68 + kCodeBytes, c.data, kDataBytes);
            p += kCaseBytes;
        }
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(blob.data()), blob.size());
    }
    int status = 0;
    std::string log = RunCommand("qemu-m68k -cpu m68000 " + extra + " " MORVEL_ORACLE_RUNNER " < " + in + " > " + res +
                                     " 2>&1",
                                 &status);
    std::ifstream f(res, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    out.clear();
    for (size_t off = 0; off + kResultBytes <= bytes.size(); off += kResultBytes) {
        Result r;
        for (int i = 0; i < 16; ++i) r.regs[i] = vantor::ReadBE32(&bytes[off + i * 4]);
        const uint8_t* f5 = &bytes[off + 64];
        r.ccr = static_cast<uint8_t>((f5[0] ? kSrX : 0) | (f5[1] ? kSrN : 0) | (f5[2] ? kSrZ : 0) | (f5[3] ? kSrV : 0) |
                                     (f5[4] ? kSrC : 0));
        std::memcpy(r.data, &bytes[off + 72], kDataBytes);
        out.push_back(r);
    }
    if (status != 0 || out.size() != cases.size()) {
        error = "qemu-m68k failed (status " + std::to_string(status) + ") after " + std::to_string(out.size()) +
                " cases: " + log.substr(0, 400);
        return false;
    }
    return true;
}

// State before each instruction of the interpreter's run, recorded through the trace bit.
std::vector<std::pair<uint32_t, std::array<uint32_t, 18>>>* gTrace = nullptr;
void TraceNub(EmulState* s, uint16_t) {
    std::array<uint32_t, 18> st;
    std::memcpy(st.data(), s->D, 64);
    st[16] = s->SR & 0x1F;
    st[17] = s->PC;
    gTrace->push_back({s->PC, st});
}

Result RunInterpreter(const Case& c, bool trace = false) {
    uint8_t* area = MapFixedArea();
    std::vector<uint8_t> code = CodeBytes(c);
    std::memcpy(area, code.data(), kCodeBytes);
    std::memcpy(area + 0x1000, c.data, kDataBytes);
    EmulState s{};
    std::memcpy(s.D, c.regs, 64);
    s.SR = c.ccr | (trace ? kSrTrace1 : 0);
    s.global = &s;
    if (trace) {
        std::array<uint32_t, 18> st;
        std::memcpy(st.data(), s.D, 64);
        st[15] -= 4;  // as after the call's push of the return address
        st[16] = c.ccr;
        st[17] = kCode;
        gTrace->push_back({kCode, st});
        MorvelSetNubEntry(TraceNub);
    }
    uint16_t rc = Call68KCode(&s, kCode, 0);
    MorvelSetNubEntry(nullptr);
    EXPECT_EQ(rc, 0) << "run ended by an exception in class " << c.cls;
    Result r;
    std::memcpy(r.regs, s.D, 64);
    r.ccr = static_cast<uint8_t>(s.SR & 0x1F);
    std::memcpy(r.data, area + 0x1000, kDataBytes);
    return r;
}

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

std::string Disassemble(const Case& c) {
    std::string f = TempDir() + "/code.bin";
    std::vector<uint8_t> code = CodeBytes(c);
    std::ofstream(f, std::ios::binary).write(reinterpret_cast<const char*>(code.data()), c.code.size() * 2);
    return RunCommand("m68k-linux-gnu-objdump -D -b binary -m m68k:68000 --adjust-vma=0x10000000 " + f +
                      " | tail -n +8");
}

// qemu's single-step trace of one case against the interpreter's: the first instruction after
// which the two states differ.
std::string FirstDifference(const Case& c) {
    std::vector<Case> one{c};
    std::vector<Result> ignored;
    std::string err, log = TempDir() + "/trace.log";
    RunQemu(one, ignored, err, "-singlestep -d cpu,nochain -D " + log);
    std::vector<std::array<uint32_t, 18>> q;
    std::ifstream in(log);
    std::string line;
    std::array<uint32_t, 18> cur{};
    while (std::getline(in, line)) {
        for (int i = 0; i < 8; ++i) {
            size_t p = line.find("D" + std::to_string(i) + " = ");
            if (p != std::string::npos) cur[i] = static_cast<uint32_t>(std::stoul(line.substr(p + 5, 8), nullptr, 16));
            p = line.find("A" + std::to_string(i) + " = ");
            if (p != std::string::npos) cur[8 + i] = static_cast<uint32_t>(std::stoul(line.substr(p + 5, 8), nullptr, 16));
        }
        size_t p = line.find("PC = ");
        if (p != std::string::npos && line.find("SR = ") != std::string::npos) {
            cur[17] = static_cast<uint32_t>(std::stoul(line.substr(p + 5, 8), nullptr, 16));
            cur[16] = static_cast<uint32_t>(std::stoul(line.substr(line.find("SR = ") + 5, 4), nullptr, 16)) & 0x1F;
            if (cur[17] >= kCode && cur[17] < kCode + kCodeBytes) q.push_back(cur);
        }
    }
    std::vector<std::pair<uint32_t, std::array<uint32_t, 18>>> mine;
    gTrace = &mine;
    RunInterpreter(c, true);
    gTrace = nullptr;
    std::ostringstream os;
    uint32_t prevPc = kCode;
    for (size_t i = 0; i < q.size() && i < mine.size(); ++i) {
        if (q[i] != mine[i].second) {
            os << "first difference after the instruction at " << Hex(prevPc) << ":\n";
            const char* names[] = {"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7", "A0", "A1",
                                   "A2", "A3", "A4", "A5", "A6", "A7", "CCR", "PC"};
            for (int k = 0; k < 18; ++k)
                if (q[i][k] != mine[i].second[k])
                    os << "  " << names[k] << " qemu " << Hex(q[i][k]) << " interpreter " << Hex(mine[i].second[k]) << "\n";
            return os.str();
        }
        prevPc = q[i][17];
    }
    os << "register traces agree (" << q.size() << " qemu steps, " << mine.size()
       << " interpreter steps): the difference is in memory or in the last instruction\n";
    return os.str();
}

std::string Describe(const Case& c, const Result& want, const Result& got) {
    std::ostringstream os;
    os << "class " << c.cls << ", initial CCR " << c.ccr << "\n" << Disassemble(c);
    for (int i = 0; i < 16; ++i)
        if (want.regs[i] != got.regs[i])
            os << (i < 8 ? "D" : "A") << (i & 7) << ": qemu " << Hex(want.regs[i]) << " interpreter " << Hex(got.regs[i])
               << "\n";
    if ((want.ccr ^ got.ccr) & c.ccrMask) os << "CCR: qemu " << int(want.ccr) << " interpreter " << int(got.ccr) << "\n";
    for (uint32_t i = 0; i < kDataBytes; ++i)
        if (want.data[i] != got.data[i] && (i < kStackTop - 4 - kData || i >= kStackTop - kData)) {
            os << "data +" << i << ": qemu " << int(want.data[i]) << " interpreter " << int(got.data[i]) << "\n";
            break;
        }
    os << FirstDifference(c);
    return os.str();
}

bool Same(const Case& c, const Result& want, const Result& got) {
    uint8_t mask = c.ccrMask;
    if (c.maskNZOnOverflow && (want.ccr & kSrV)) mask &= static_cast<uint8_t>(~(kSrN | kSrZ));
    if (std::memcmp(want.regs, got.regs, sizeof want.regs) != 0) return false;
    if ((want.ccr ^ got.ccr) & mask) return false;
    uint32_t slot = kStackTop - 4 - kData;
    for (uint32_t i = 0; i < kDataBytes; ++i)
        if (want.data[i] != got.data[i] && (i < slot || i >= slot + 4)) return false;
    return true;
}

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    const char* v = std::getenv(name);
    return v ? static_cast<uint32_t>(std::strtoul(v, nullptr, 0)) : fallback;
}

class DiffTest : public MorvelTest, public ::testing::WithParamInterface<Class> {};

TEST_P(DiffTest, MatchesQemu) {
    ASSERT_NE(MapFixedArea(), nullptr) << "0x10000000 is taken in this process";
    const Class& cls = GetParam();
    uint32_t count = EnvNumber("MORVEL_DIFF_CASES", 300);
    uint32_t seed = EnvNumber("MORVEL_DIFF_SEED", 6800);
    Gen g(seed + static_cast<uint32_t>(std::hash<std::string>{}(cls.name) & 0xFFFF));
    std::vector<Case> cases;
    for (uint32_t i = 0; i < count; ++i) cases.push_back(MakeCase(g, cls));
    std::vector<Result> want;
    std::string error;
    ASSERT_TRUE(RunQemu(cases, want, error))
        << error << "\n" << (want.size() < cases.size() ? Disassemble(cases[want.size()]) : "");
    // Each case interpreted, then translated on its first visit: the translator must leave every
    // register, flag and byte as the interpreter does, also where it hands an instruction over.
    struct Restore {
        ~Restore() { MorvelSetJitThreshold(kDefaultJitThreshold); }
    } restore;
    int failures = 0;
    for (size_t i = 0; i < cases.size() && failures < 3; ++i) {
        for (uint32_t visits : {0u, 1u}) {
            MorvelSetJitThreshold(visits);
            Result got = RunInterpreter(cases[i]);
            if (!Same(cases[i], want[i], got)) {
                ++failures;
                ADD_FAILURE() << "case " << i << (visits ? " translated" : " interpreted") << " differs\n"
                              << Describe(cases[i], want[i], got);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, DiffTest, ::testing::ValuesIn(kClasses),
                         [](const ::testing::TestParamInfo<Class>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvel::test
