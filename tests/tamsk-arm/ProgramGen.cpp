#include "ProgramGen.h"

#include <cstdio>
#include <random>
#include <sstream>

namespace diff {
namespace {

class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}

    uint32_t U32() { return static_cast<uint32_t>(rng_()); }
    int Range(int lo, int hi) { return lo + static_cast<int>(rng_() % static_cast<uint64_t>(hi - lo + 1)); }
    bool Chance(int percent) { return Range(1, 100) <= percent; }
    template <typename T>
    const T& Pick(const std::vector<T>& v) { return v[static_cast<size_t>(Range(0, static_cast<int>(v.size()) - 1))]; }

    // Register values biased towards the edges of the arithmetic.
    uint32_t Value() {
        static const uint32_t kEdges[] = {0, 1, 2, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x80000001,
                                          0x7FFF, 0x8000, 0xFFFF, 0x10000, 31, 32, 33, 0xFF, 0x100, 0x120};
        switch (Range(0, 3)) {
            case 0: return kEdges[Range(0, sizeof kEdges / sizeof kEdges[0] - 1)];
            case 1: return U32() & 0x1FF;
            default: return U32();
        }
    }

private:
    std::mt19937_64 rng_;
};

std::string R(int n) { return n == 13 ? "sp" : n == 14 ? "lr" : n == 15 ? "pc" : "r" + std::to_string(n); }

const std::vector<std::string> kConds = {"eq", "ne", "cs", "cc", "mi", "pl", "vs", "vc",
                                         "hi", "ls", "ge", "lt", "gt", "le"};

// ARM: r10 holds 8 (an index) and r11 the scratch base; the body never writes them.
const std::vector<int> kArmDest = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14};
const std::vector<int> kArmSrc = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

std::string ArmCond(Gen& g) { return g.Chance(70) ? "" : g.Pick(kConds); }

std::string ArmImmediate(Gen& g) {
    const uint32_t byte = g.U32() & 0xFF;
    const uint32_t rot = static_cast<uint32_t>(g.Range(0, 15)) * 2;
    const uint32_t v = rot ? (byte >> rot) | (byte << (32 - rot)) : byte;
    char buf[24];
    std::snprintf(buf, sizeof buf, "#0x%X", v);
    return buf;
}

std::string ArmShiftedOperand(Gen& g, bool registerShift) {
    static const std::vector<std::string> kShifts = {"lsl", "lsr", "asr", "ror"};
    const std::string rm = R(g.Pick(kArmSrc));
    if (registerShift) return rm + ", " + g.Pick(kShifts) + " " + R(g.Pick(kArmSrc));
    switch (g.Range(0, 5)) {
        case 0: return rm;
        case 1: return rm + ", rrx";
        case 2: return rm + ", lsl #" + std::to_string(g.Range(0, 31));
        case 3: return rm + ", ror #" + std::to_string(g.Range(1, 31));
        default: return rm + (g.Chance(50) ? ", lsr #" : ", asr #") + std::to_string(g.Range(1, 32));
    }
}

int Distinct(Gen& g, const std::vector<int>& pool, std::initializer_list<int> avoid) {
    for (;;) {
        const int r = g.Pick(pool);
        bool ok = true;
        for (int a : avoid) ok = ok && r != a;
        if (ok) return r;
    }
}

std::string ArmInstruction(Gen& g, int& label) {
    static const std::vector<std::string> kDp = {"and", "eor", "sub", "rsb", "add", "adc", "sbc", "rsc",
                                                 "orr", "bic"};
    static const std::vector<std::string> kMove = {"mov", "mvn"};
    static const std::vector<std::string> kTest = {"tst", "teq", "cmp", "cmn"};
    static const std::vector<int> kLoadDest = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 14};
    static const std::vector<int> kEvenDest = {0, 2, 4, 6, 8, 12};
    const std::string c = ArmCond(g);
    const std::string s = g.Chance(50) ? "s" : "";
    const int rd = g.Pick(kArmDest);
    switch (g.Range(0, 22)) {
        case 0: case 1: case 2: {
            // Data processing: immediate, immediate shift or register shift.
            const int form = g.Range(0, 2);
            std::string op2 = form == 0 ? ArmImmediate(g) : ArmShiftedOperand(g, form == 2);
            // The pc as Rn: only with an immediate-shifted register (gas rewrites pc with an immediate).
            const int rn = form == 1 && g.Chance(5) ? 15 : g.Pick(kArmSrc);
            return g.Pick(kDp) + s + c + " " + R(rd) + ", " + R(rn) + ", " + op2;
        }
        case 3: return g.Pick(kMove) + s + c + " " + R(rd) + ", " + (g.Chance(40) ? ArmImmediate(g) : ArmShiftedOperand(g, g.Chance(40)));
        case 4: return g.Pick(kTest) + c + " " + R(g.Pick(kArmSrc)) + ", " + (g.Chance(40) ? ArmImmediate(g) : ArmShiftedOperand(g, g.Chance(40)));
        case 5: {
            const int rm = g.Pick(kArmSrc);
            const int d = Distinct(g, kArmDest, {rm});
            if (g.Chance(50)) return "mul" + s + c + " " + R(d) + ", " + R(rm) + ", " + R(g.Pick(kArmSrc));
            return "mla" + s + c + " " + R(d) + ", " + R(rm) + ", " + R(g.Pick(kArmSrc)) + ", " + R(g.Pick(kArmSrc));
        }
        case 6: {
            static const std::vector<std::string> kLong = {"umull", "umlal", "smull", "smlal"};
            const int rm = g.Pick(kArmSrc);
            const int lo = Distinct(g, kArmDest, {rm});
            const int hi = Distinct(g, kArmDest, {rm, lo});
            return g.Pick(kLong) + s + c + " " + R(lo) + ", " + R(hi) + ", " + R(rm) + ", " + R(g.Pick(kArmSrc));
        }
        case 7: {
            const std::string xy = std::string(g.Chance(50) ? "b" : "t") + (g.Chance(50) ? "b" : "t");
            const std::string y = g.Chance(50) ? "b" : "t";
            const std::string m = R(g.Pick(kArmSrc)), sreg = R(g.Pick(kArmSrc)), n = R(g.Pick(kArmSrc));
            switch (g.Range(0, 4)) {
                case 0: return "smla" + xy + c + " " + R(rd) + ", " + m + ", " + sreg + ", " + n;
                case 1: return "smul" + xy + c + " " + R(rd) + ", " + m + ", " + sreg;
                case 2: return "smlaw" + y + c + " " + R(rd) + ", " + m + ", " + sreg + ", " + n;
                case 3: return "smulw" + y + c + " " + R(rd) + ", " + m + ", " + sreg;
                default: {
                    const int hi = Distinct(g, kArmDest, {rd});
                    return "smlal" + xy + c + " " + R(rd) + ", " + R(hi) + ", " + m + ", " + sreg;
                }
            }
        }
        case 8: {
            static const std::vector<std::string> kQ = {"qadd", "qsub", "qdadd", "qdsub"};
            return g.Pick(kQ) + c + " " + R(rd) + ", " + R(g.Pick(kArmSrc)) + ", " + R(g.Pick(kArmSrc));
        }
        case 9: return "clz" + c + " " + R(rd) + ", " + R(g.Pick(kArmSrc));
        case 10:
            switch (g.Range(0, 2)) {
                case 0: return "mrs" + c + " " + R(rd) + ", cpsr";
                case 1: {
                    char buf[48];
                    std::snprintf(buf, sizeof buf, "msr%s cpsr_f, #0x%X", c.c_str(), static_cast<unsigned>(g.Range(0, 31)) << 27);
                    return buf;
                }
                default: return "msr" + c + " cpsr_f" + (g.Chance(30) ? "c" : "") + ", " + R(g.Pick(kArmSrc));
            }
        case 11: case 12: {
            // Word and byte transfers at r11 with an immediate or an r10 offset.
            const bool load = g.Chance(50), byte = g.Chance(40);
            const int d = load ? g.Pick(kLoadDest) : g.Pick(kArmSrc);
            const std::string op = std::string(load ? "ldr" : "str") + (byte ? "b" : "") + c;
            const std::string sign = g.Chance(50) ? "" : "-";
            // Write-back keeps r11 8-byte aligned; plain offsets may reach any byte.
            const int form = (d == 11 || d == 10) ? 0 : g.Range(0, 2);
            const int fine = form == 0 ? g.Range(0, 63) * 4 + (byte ? g.Range(0, 3) : 0) : g.Range(0, 31) * 8;
            const std::string off = g.Chance(60) ? "#" + sign + std::to_string(fine)
                                                : sign + "r10, lsl #" + std::to_string(g.Range(0, 2));
            switch (form) {
                case 0: return op + " " + R(d) + ", [r11, " + off + "]";
                case 1: return op + " " + R(d) + ", [r11, " + off + "]!";
                default: return op + " " + R(d) + ", [r11], " + off;
            }
        }
        case 13: {
            // Halfword and signed transfers.
            static const std::vector<std::string> kLoads = {"ldrh", "ldrsh", "ldrsb"};
            const bool load = g.Chance(60);
            const std::string op = load ? g.Pick(kLoads) : "strh";
            const int d = load ? g.Pick(kLoadDest) : g.Pick(kArmSrc);
            const std::string sign = g.Chance(50) ? "" : "-";
            const int form = (d == 11 || d == 10) ? 0 : g.Range(0, 2);
            const int fine = form == 0 ? g.Range(0, 120) * 2 + (op == "ldrsb" ? g.Range(0, 1) : 0) : g.Range(0, 31) * 8;
            const std::string off = g.Chance(60) ? "#" + sign + std::to_string(fine) : sign + "r10";
            const std::string full = op + c;
            switch (form) {
                case 0: return full + " " + R(d) + ", [r11, " + off + "]";
                case 1: return full + " " + R(d) + ", [r11, " + off + "]!";
                default: return full + " " + R(d) + ", [r11], " + off;
            }
        }
        case 14: {
            const int d = g.Pick(kEvenDest);
            const std::string op = std::string(g.Chance(50) ? "ldrd" : "strd") + c;
            const std::string sign = g.Chance(50) ? "" : "-";
            const std::string off = g.Chance(60) ? "#" + sign + std::to_string(g.Range(0, 31) * 8) : sign + "r10";
            switch (g.Range(0, 2)) {
                case 0: return op + " " + R(d) + ", " + R(d + 1) + ", [r11, " + off + "]";
                case 1: return op + " " + R(d) + ", " + R(d + 1) + ", [r11, " + off + "]!";
                default: return op + " " + R(d) + ", " + R(d + 1) + ", [r11], " + off;
            }
        }
        case 15: case 16: {
            static const std::vector<std::string> kModes = {"ia", "ib", "da", "db"};
            static const std::vector<int> kList = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 14};
            // With write-back the list has an even length, keeping r11 8-byte aligned for LDRD.
            const bool writeBack = g.Chance(50);
            std::vector<int> chosen;
            for (int r : kList)
                if (g.Chance(35)) chosen.push_back(r);
            if (chosen.empty()) chosen.push_back(g.Pick(kList));
            if (writeBack && (chosen.size() & 1)) {
                if (chosen.size() > 1) {
                    chosen.pop_back();
                } else {
                    chosen.push_back(chosen[0] == 14 ? 0 : 14);
                    if (chosen[0] > chosen[1]) std::swap(chosen[0], chosen[1]);
                }
            }
            std::string list;
            for (int r : chosen) list += (list.empty() ? "" : ", ") + R(r);
            return std::string(g.Chance(50) ? "ldm" : "stm") + g.Pick(kModes) + c + " r11" + (writeBack ? "!" : "") +
                   ", {" + list + "}";
        }
        case 17: {
            const int d = g.Pick(kLoadDest);
            return std::string("swp") + (g.Chance(40) ? "b" : "") + c + " " + R(d) + ", " + R(Distinct(g, kArmSrc, {11})) + ", [r11]";
        }
        case 18: {
            // A forward branch over one instruction.
            const std::string target = "L" + std::to_string(label++);
            return "b" + g.Pick(kConds) + " " + target + "\n  " + ArmInstruction(g, label) + "\n" + target + ":";
        }
        case 19:
            if (g.Chance(50)) {
                // A call of a Thumb leaf (BLX immediate or register), which returns with BX lr.
                const std::string leaf = "L" + std::to_string(label++), after = "L" + std::to_string(label++);
                const std::string call = g.Chance(50) ? "blx " + leaf : "adr r12, " + leaf + " + 1\n  blx r12";
                return call + "\n  b " + after + "\n  .thumb\n  .thumb_func\n" + leaf + ":\n  adds r0, r0, #" +
                       std::to_string(g.Range(0, 7)) + "\n  bx lr\n  .arm\n  .balign 4\n" + after + ":";
            }
            return ArmInstruction(g, label);
        default: {
            const std::string op = g.Pick(kDp);
            return op + s + c + " " + R(rd) + ", " + R(g.Pick(kArmSrc)) + ", " + ArmShiftedOperand(g, false);
        }
    }
}

// Thumb: r6 holds 8 (an index), r7 the scratch base and sp a stack inside the scratch memory.
const std::vector<int> kLow = {0, 1, 2, 3, 4, 5};
const std::vector<int> kLowSrc = {0, 1, 2, 3, 4, 5, 6, 7};
const std::vector<int> kHigh = {8, 9, 10, 11, 12, 14};

std::string LowList(Gen& g) {
    std::string list;
    for (int r : kLow)
        if (g.Chance(40)) list += (list.empty() ? "" : ", ") + R(r);
    return list.empty() ? "r0" : list;
}

std::string ThumbInstruction(Gen& g, int& label) {
    static const std::vector<std::string> kAlu = {"ands", "eors", "lsls", "lsrs", "asrs", "adcs", "sbcs",
                                                  "rors", "orrs", "bics", "mvns"};
    const int rd = g.Pick(kLow);
    const std::string d = R(rd), m = R(g.Pick(kLowSrc)), n = R(g.Pick(kLowSrc));
    switch (g.Range(0, 20)) {
        case 0: {
            static const std::vector<std::string> kShift = {"lsls", "lsrs", "asrs"};
            const std::string op = g.Pick(kShift);
            return op + " " + d + ", " + m + ", #" + std::to_string(op == "lsls" ? g.Range(0, 31) : g.Range(1, 32));
        }
        case 1: return std::string(g.Chance(50) ? "adds " : "subs ") + d + ", " + n + ", " + m;
        case 2: return std::string(g.Chance(50) ? "adds " : "subs ") + d + ", " + n + ", #" + std::to_string(g.Range(0, 7));
        case 3: {
            static const std::vector<std::string> kImm = {"movs", "cmp", "adds", "subs"};
            return g.Pick(kImm) + " " + d + ", #" + std::to_string(g.Range(0, 255));
        }
        case 4: case 5: return g.Pick(kAlu) + " " + d + ", " + m;
        case 6: {
            static const std::vector<std::string> kCmp = {"tst", "cmp", "cmn"};
            return g.Pick(kCmp) + " " + R(g.Pick(kLowSrc)) + ", " + m;
        }
        case 7:
            if (g.Chance(50)) return "rsbs " + d + ", " + m + ", #0";
            return "muls " + d + ", " + R(Distinct(g, kLowSrc, {rd})) + ", " + d;
        case 8: {
            // High-register forms: at least one high register, never sp or pc as destination.
            const int op = g.Range(0, 2);
            int a, b;
            if (g.Chance(50)) {
                a = g.Pick(kHigh);
                b = g.Chance(50) ? g.Pick(kHigh) : g.Pick(kLowSrc);
            } else {
                a = g.Pick(kLow);
                b = g.Chance(10) ? 15 : g.Pick(kHigh);
            }
            if (op == 1) return "cmp " + R(a) + ", " + R(b == 15 ? 8 : b);
            return std::string(op == 0 ? "add " : "mov ") + R(a) + ", " + R(b);
        }
        case 9: {
            static const std::vector<std::string> kOps = {"str", "strh", "strb", "ldrsb", "ldr", "ldrh", "ldrb", "ldrsh"};
            const std::string op = g.Pick(kOps);
            return op + " " + (op[0] == 's' ? m : d) + ", [r7, r6]";
        }
        case 10: {
            const bool load = g.Chance(50);
            const std::string r = load ? d : m;
            switch (g.Range(0, 2)) {
                case 0: return std::string(load ? "ldr " : "str ") + r + ", [r7, #" + std::to_string(g.Range(0, 31) * 4) + "]";
                case 1: return std::string(load ? "ldrb " : "strb ") + r + ", [r7, #" + std::to_string(g.Range(0, 31)) + "]";
                default: return std::string(load ? "ldrh " : "strh ") + r + ", [r7, #" + std::to_string(g.Range(0, 31) * 2) + "]";
            }
        }
        case 11: return std::string(g.Chance(50) ? "ldr " + d : "str " + m) + ", [sp, #" + std::to_string(g.Range(0, 255) * 4) + "]";
        case 12: return "add " + d + ", " + (g.Chance(50) ? "sp" : "pc") + ", #" + std::to_string(g.Range(0, 255) * 4);
        case 13: return std::string(g.Chance(50) ? "add" : "sub") + " sp, #" + std::to_string(g.Range(0, 16) * 4);
        case 14: return g.Chance(50) ? "push {" + LowList(g) + (g.Chance(50) ? ", lr}" : "}") : "pop {" + LowList(g) + "}";
        case 15: return std::string(g.Chance(50) ? "ldmia" : "stmia") + " r7!, {" + LowList(g) + "}";
        case 16: return "ldr " + d + ", [pc, #" + std::to_string(g.Range(0, 16) * 4) + "]";
        case 18: {
            // Calls: BL to a Thumb leaf, BLX to an ARM leaf; both return with BX lr.
            const std::string leaf = "L" + std::to_string(label++), after = "L" + std::to_string(label++);
            if (g.Chance(50))
                return "bl " + leaf + "\n  b " + after + "\n" + leaf + ":\n  adds r1, r1, #1\n  bx lr\n" + after + ":";
            return "blx " + leaf + "\n  b " + after + "\n  .balign 4\n  .arm\n" + leaf + ":\n  add r2, r2, #" +
                   std::to_string(g.Range(0, 255)) + "\n  bx lr\n  .thumb\n" + after + ":";
        }
        case 17: {
            const std::string target = "L" + std::to_string(label++);
            return (g.Chance(80) ? "b" + g.Pick(kConds) : std::string("b")) + " " + target + "\n  " + ThumbInstruction(g, label) + "\n" + target + ":";
        }
        default: return g.Pick(kAlu) + " " + d + ", " + m;
    }
}

}  // namespace

Program Generate(bool thumb, int cases, uint64_t seed) {
    Gen g(seed);
    Program p;
    const uint32_t resultsSize = static_cast<uint32_t>(cases) * 64;
    p.results = kDataBase;
    p.scratch = kDataBase + ((resultsSize + 7) & ~7u);
    std::ostringstream s;
    s << "  .syntax unified\n  .section .code,\"awx\"\n  .arm\n  .global _start\n_start:\n"
      << "  ldr r0, =scratch\n  ldr r1, =0x12345678\n  mov r2, #" << kScratchSize / 4 << "\n"
      << "0:\n  str r1, [r0], #4\n  eor r1, r1, r1, lsl #13\n  eor r1, r1, r1, lsr #17\n"
      << "  eor r1, r1, r1, lsl #5\n  subs r2, r2, #1\n  bne 0b\n";
    std::ostringstream init;
    int label = 0;
    for (int k = 0; k < cases; ++k) {
        init << "init" << k << ":\n";
        for (int r = 0; r < 15; ++r) {
            uint32_t v = g.Value();
            if (!thumb && r == 10) v = 8;
            if (!thumb && r == 11) v = p.scratch + kScratchSize / 2;
            if (thumb && r == 6) v = 8;
            if (thumb && r == 7) v = p.scratch + kScratchSize / 2;
            if (thumb && r == 13) v = p.scratch + kScratchSize / 4;
            init << "  .word 0x" << std::hex << v << std::dec << "\n";
        }
        init << "  .word 0x" << std::hex << (g.U32() & 0xF8000000u) << std::dec << "\n";
        s << "case" << k << ":\n  ldr lr, =init" << k << "\n  ldr r0, [lr, #60]\n  msr cpsr_f, r0\n"
          << "  ldmia lr, {r0-r14}\n";
        std::string body;
        const int count = g.Range(8, 24);
        for (int n = 0; n < count; ++n) body += "  " + (thumb ? ThumbInstruction(g, label) : ArmInstruction(g, label)) + "\n";
        if (thumb) {
            s << "  blx body" << k << "\n  .thumb\n  .thumb_func\nbody" << k << ":\n" << body
              << "end" << k << ":\n  .balign 4\n  bx pc\n  nop\n  .arm\n";
        } else {
            s << "body" << k << ":\n" << body << "end" << k << ":\n";
        }
        p.bodies.push_back(body);
        s << "  str r0, 1f\n  mrs r0, cpsr\n  str r0, 2f\n  ldr r0, 3f\n  stmia r0, {r0-r14}\n"
          << "  ldr r1, 1f\n  str r1, [r0]\n  ldr r1, 2f\n  str r1, [r0, #60]\n  b 4f\n"
          << "1: .word 0\n2: .word 0\n3: .word " << p.results + 64 * k << "\n  .ltorg\n4:\n";
    }
    s << "  mov r0, #1\n  ldr r1, =" << p.results << "\n  ldr r2, =" << resultsSize << "\n  mov r7, #4\n  svc #0\n"
      << "  mov r0, #1\n  ldr r1, =scratch\n  ldr r2, =" << kScratchSize << "\n  mov r7, #4\n  svc #0\n"
      << "  mov r0, #0\n  mov r7, #1\n  svc #0\n  .ltorg\n"
      << "  .data\nresults:\n  .space " << resultsSize << "\n  .balign 8\nscratch:\n  .space " << kScratchSize << "\n"
      << init.str();
    p.source = s.str();
    return p;
}

}  // namespace diff
