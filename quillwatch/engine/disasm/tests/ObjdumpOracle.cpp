#include "quillwatch/engine/disasm/tests/ObjdumpOracle.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>

#include "quillwatch/engine/disasm/Disassembler.h"

namespace qwtest {

bool RunCommand(const std::string& command, std::string& out) {
    out.clear();
    FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    std::array<char, 65536> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    int status = pclose(p);
    if (status != 0) out = "exit status " + std::to_string(status) + ": " + command;
    return status == 0;
}

std::vector<ObjdumpInsn> ParseObjdump(const std::string& text) {
    // "   1c:\t2035 3c0c      \tmovel %a5@(c,%d3:l:4),%d0" and continuation lines "  3c:\t0020 ".
    std::vector<ObjdumpInsn> insns;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(":\t");
        if (colon == std::string::npos) continue;
        size_t first = line.find_first_not_of(' ');
        if (first >= colon) continue;
        char* end = nullptr;
        unsigned long address = std::strtoul(line.c_str() + first, &end, 16);
        if (end != line.c_str() + colon) continue;
        size_t hexStart = colon + 2;
        size_t tab = line.find('\t', hexStart);
        std::string hex =
            line.substr(hexStart, tab == std::string::npos ? std::string::npos : tab - hexStart);
        uint32_t bytes = 0;
        for (char c : hex) bytes += std::isxdigit(static_cast<unsigned char>(c)) ? 1 : 0;
        bytes /= 2;
        if (tab == std::string::npos) {  // continuation of the previous instruction
            if (!insns.empty()) insns.back().length += bytes;
            continue;
        }
        ObjdumpInsn insn;
        insn.address = static_cast<uint32_t>(address);
        insn.length = bytes;
        std::string rest = line.substr(tab + 1);
        size_t space = rest.find(' ');
        insn.mnemonic = rest.substr(0, space);
        if (space != std::string::npos) insn.operands = rest.substr(space + 1);
        // With symbols, an address prints as "2c90 <name+0x44>": hexadecimal without "0x".
        std::smatch m;
        static const std::regex symbolic("(^|,)([0-9a-f]+) <[^>]*>");
        while (insn.operands.find('<') != std::string::npos &&
               std::regex_search(insn.operands, m, symbolic)) {
            insn.operands.replace(m.position(0), m.length(0), m.str(1) + "0x" + m.str(2));
        }
        insns.push_back(std::move(insn));
    }
    return insns;
}

std::vector<ObjdumpInsn> ObjdumpRaw(std::span<const uint8_t> code, uint32_t address) {
    char path[] = "/tmp/qwdisasm-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return {};
    bool written = write(fd, code.data(), code.size()) == static_cast<ssize_t>(code.size());
    close(fd);
    std::string out;
    char adjust[32];
    std::snprintf(adjust, sizeof adjust, "0x%X", address);
    bool ran = written && RunCommand(std::string("m68k-linux-gnu-objdump -D -z -b binary -m m68k:68040 ") +
                                         "--adjust-vma=" + adjust + " " + path,
                                     out);
    unlink(path);
    return ran ? ParseObjdump(out) : std::vector<ObjdumpInsn>{};
}

namespace {

// ---------------------------------------------------------------------------------------------
// Neutral notation. Registers are lower case ("d0", "a7", "sr"); immediates "#0x.." masked to the
// instruction's size; absolute addresses and branch targets "0x.."; memory operands
// "(bd,base,index)" or "([bd,base,index],od)" / "([bd,base],index,od)" with a zero displacement
// left out, "pc=0x.." for a PC base with its absolute address, and "d0.w*1" for an index; a full
// extension without index or indirection is marked "#f" (objdump prints its displacement in hex).

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

std::vector<std::string> SplitTopLevel(const std::string& s) {
    std::vector<std::string> parts;
    int depth = 0;
    std::string cur;
    for (char c : s) {
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') --depth;
        if (c == ',' && depth == 0) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty() || !parts.empty()) parts.push_back(cur);
    return parts;
}

struct Mem {
    bool indirect = false;
    bool post = false;  // index after the brackets
    int32_t bd = 0;
    std::string base;  // "a0".., "pc=0x..", or "" when suppressed
    std::string index;
    int32_t od = 0;
    bool fullMark = false;
};

std::string Format(const Mem& m) {
    std::vector<std::string> inner;
    if (m.bd != 0) inner.push_back(std::to_string(m.bd));
    if (!m.base.empty()) inner.push_back(m.base);
    if (!m.index.empty() && !(m.indirect && m.post)) inner.push_back(m.index);
    std::string s = m.indirect ? "([" : "(";
    for (size_t i = 0; i < inner.size(); ++i) s += (i ? "," : "") + inner[i];
    if (m.indirect) {
        s += "]";
        if (!m.index.empty() && m.post) s += "," + m.index;
        if (m.od != 0) s += "," + std::to_string(m.od);
    }
    s += ")";
    if (m.fullMark && !m.indirect && m.index.empty() && m.bd != 0 && m.base.size() == 2) s += "#f";
    return s;
}

std::string RegisterName(std::string r) {
    r = Lower(r);
    if (r == "fp") return "a6";
    if (r == "sp") return "a7";
    if (r == "psr") return "mmusr";
    return r;
}

int RegisterCode(const std::string& r) {  // d0-d7 0-7, a0-a7 8-15
    if (r.size() == 2 && (r[0] == 'd' || r[0] == 'a') && r[1] >= '0' && r[1] <= '7')
        return (r[0] == 'a' ? 8 : 0) + (r[1] - '0');
    return -1;
}

// "d0-d3/a0" as a mask (bit n = register code n), or -1 when the text is not a list.
int RegisterListMask(const std::string& text, bool objdump) {
    if (text.find('-') == std::string::npos && text.find('/') == std::string::npos) return -1;
    int mask = 0;
    std::stringstream ss(text);
    std::string run;
    while (std::getline(ss, run, '/')) {
        size_t dash = run.find('-');
        std::string a = run.substr(0, dash), b = dash == std::string::npos ? a : run.substr(dash + 1);
        if (objdump) {
            if (a.empty() || a[0] != '%' || b.empty() || b[0] != '%') return -1;
            a = a.substr(1), b = b.substr(1);
        }
        int from = RegisterCode(RegisterName(a)), to = RegisterCode(RegisterName(b));
        if (from < 0 || to < 0 || to < from) return -1;
        for (int r = from; r <= to; ++r) mask |= 1 << r;
    }
    return mask;
}

std::string ListText(int mask) {
    char b[16];
    std::snprintf(b, sizeof b, "list:%04x", mask);
    return b;
}

std::string Immediate(int64_t v, uint32_t mask) {
    return std::string(1, '#').append(Hex(static_cast<uint32_t>(v) & mask));
}

// ---- objdump's MIT syntax ----

std::string ObjIndex(const std::string& s) {  // "%d0:w:4"
    std::string r = s.substr(1);
    std::string reg = RegisterName(r.substr(0, r.find(':')));
    std::string rest = r.substr(r.find(':') + 1);
    std::string size = rest.substr(0, 1);
    std::string scale = rest.size() > 2 ? rest.substr(2) : "1";
    return reg + "." + size + "*" + scale;
}

int32_t ObjHex(const std::string& s) {
    return static_cast<int32_t>(static_cast<uint32_t>(std::strtoull(s.c_str(), nullptr, 16)));
}

std::vector<std::string> ObjOperand(const std::string& op, uint32_t mask) {
    if (op.empty()) return {""};
    if (op[0] == '#') return {Immediate(std::strtoll(op.c_str() + 1, nullptr, 10), mask)};
    if (op.rfind("0x", 0) == 0) return {Hex(static_cast<uint32_t>(std::strtoull(op.c_str(), nullptr, 16)))};
    if (std::isdigit(static_cast<unsigned char>(op[0])) || op[0] == '-') return {op};
    int list = RegisterListMask(op, true);
    if (list >= 0) return {ListText(list)};
    size_t at = op.find('@');
    if (at == std::string::npos) return {op[0] == '%' ? RegisterName(op.substr(1)) : Lower(op)};
    std::string base = op.substr(0, at), rest = op.substr(at + 1);
    bool pc = base == "%pc";
    if (base == "%zpc") base.clear();
    if (!base.empty()) base = RegisterName(base.substr(1));
    if (rest.empty()) return {"(" + base + ")"};
    if (rest == "+") return {"(" + base + ")+"};
    if (rest == "-") return {"-(" + base + ")"};
    // "(x[,index])" once or twice.
    std::vector<std::vector<std::string>> groups;
    size_t pos = 0;
    while (pos < rest.size() && rest[pos] == '(') {
        size_t close = rest.find(')', pos);
        if (close == std::string::npos) return {op};
        groups.push_back(SplitTopLevel(rest.substr(pos + 1, close - pos - 1)));
        pos = close + 1;
        if (pos < rest.size() && rest[pos] == '@') ++pos;
    }
    if (groups.empty() || groups.size() > 2) return {op};
    Mem m;
    m.base = pc ? "" : base;
    if (pc) {
        m.base = "pc=" + Hex(static_cast<uint32_t>(ObjHex(groups[0][0])));
    } else {
        m.bd = ObjHex(groups[0][0]);
    }
    if (groups[0].size() > 1) m.index = ObjIndex(groups[0][1]);
    if (groups.size() == 2) {
        m.indirect = true;
        m.od = ObjHex(groups[1][0]);
        if (groups[1].size() > 1) {
            m.index = ObjIndex(groups[1][1]);
            m.post = true;
        }
    }
    if (groups.size() == 1 && groups[0].size() == 1 && !pc && !base.empty()) {
        // "%a0@(16)": a 16-bit displacement in decimal, or a full extension's in hex.
        Mem d = m;
        d.bd = static_cast<int32_t>(std::strtol(groups[0][0].c_str(), nullptr, 10));
        m.fullMark = true;
        return {Format(d), Format(m)};
    }
    return {Format(m)};
}

// ---- our syntax ----

bool ParseOurNumber(const std::string& s, size_t& pos, int64_t& v) {
    bool negative = false;
    if (pos < s.size() && s[pos] == '-') negative = true, ++pos;
    if (pos >= s.size() || s[pos] != '$') return false;
    ++pos;
    size_t start = pos;
    while (pos < s.size() && std::isxdigit(static_cast<unsigned char>(s[pos]))) ++pos;
    if (pos == start) return false;
    v = static_cast<int64_t>(std::strtoull(s.substr(start, pos - start).c_str(), nullptr, 16));
    if (negative) v = -v;
    return true;
}

std::string OurIndex(const std::string& s) {  // "D0.W*4"
    std::string r = Lower(s);
    std::string reg = r.substr(0, 2), size = r.substr(3, 1);
    std::string scale = r.size() > 5 ? r.substr(5) : "1";
    return reg + "." + size + "*" + scale;
}

bool IsOurIndex(const std::string& s) {
    return s.size() >= 4 && (s[0] == 'D' || s[0] == 'A') && s[2] == '.';
}

std::string OurPcBase(const std::string& s, uint32_t address) {  // "*+$0012"
    size_t pos = 1;
    if (pos < s.size() && s[pos] == '+') ++pos;
    int64_t v = 0;
    ParseOurNumber(s, pos, v);
    return "pc=" + Hex(address + static_cast<uint32_t>(v));
}

std::string OurMemory(const std::string& op, uint32_t address) {
    // Full extension: "(" ["["] parts with "]" somewhere ")".
    std::string inner = op.substr(1, op.size() - 2);
    Mem m;
    m.fullMark = true;
    if (!inner.empty() && inner[0] == '[') {
        m.indirect = true;
        inner = inner.substr(1);
    }
    size_t close = inner.find(']');
    std::string inside = close == std::string::npos ? inner : inner.substr(0, close);
    std::string after = close == std::string::npos ? "" : inner.substr(close + 1);
    if (!after.empty() && after[0] == ',') after = after.substr(1);
    for (const std::string& part : SplitTopLevel(inside)) {
        int64_t v;
        size_t pos = 0;
        if (part.empty()) continue;
        if (part[0] == '*')
            m.base = OurPcBase(part, address);
        else if (IsOurIndex(part))
            m.index = OurIndex(part);
        else if (ParseOurNumber(part, pos, v))
            m.bd = static_cast<int32_t>(v);
        else
            m.base = Lower(part);
    }
    for (const std::string& part : SplitTopLevel(after)) {
        int64_t v;
        size_t pos = 0;
        if (part.empty()) continue;
        if (IsOurIndex(part)) {
            m.index = OurIndex(part);
            m.post = true;
        } else if (ParseOurNumber(part, pos, v)) {
            m.od = static_cast<int32_t>(v);
        }
    }
    return Format(m);
}

std::string OurOperand(const std::string& op, uint32_t address, uint32_t mask, bool branch) {
    if (op.empty()) return ListText(0);
    int64_t v;
    size_t pos = 0;
    if (op[0] == '#') {
        pos = 1;
        if (op == "#$") return "#?";
        if (!ParseOurNumber(op, pos, v)) return op;
        return Immediate(v, mask);
    }
    if (op[0] == '*') {
        size_t paren = op.find('(');
        std::string base = OurPcBase(op.substr(0, paren), address);
        if (branch) return base.substr(3);
        Mem m;
        m.base = base;
        if (paren != std::string::npos) m.index = OurIndex(op.substr(paren + 1, op.size() - paren - 2));
        return Format(m);
    }
    if (op == "DC/IC") return "bc";
    int list = RegisterListMask(Lower(op), false);
    if (list >= 0) return ListText(list);
    if (op == "(A0)" || (op.size() == 4 && op[0] == '(' && op[3] == ')' && op[1] == 'A')) return Lower(op);
    if (op.size() == 5 && op[0] == '(' && op[4] == '+') return Lower(op);
    if (op.size() == 5 && op[0] == '-') return Lower(op);
    if (op[0] == '(') return OurMemory(op, address);
    if (ParseOurNumber(op, pos, v)) {
        if (pos == op.size()) return Hex(static_cast<uint32_t>(v));  // absolute address
        // "$0010(A0)" or "-$10(A0,D0.W*2)"
        Mem m;
        m.bd = static_cast<int32_t>(v);
        std::string inner = op.substr(pos + 1, op.size() - pos - 2);
        auto parts = SplitTopLevel(inner);
        m.base = Lower(parts[0]);
        if (parts.size() > 1) m.index = OurIndex(parts[1]);
        return Format(m);
    }
    return Lower(op);
}

bool IsOurBranch(const std::string& mnemonic) {
    static const std::regex re("^(BRA|BSR|B(HI|LS|CC|CS|NE|EQ|VC|VS|PL|MI|GE|LT|GT|LE))\\.[SWL]$|^DB[A-Z]+$");
    return std::regex_match(mnemonic, re);
}

// Our mnemonic in objdump's spelling: lower case, size letter appended, and the names objdump
// gives to forms that the Part folds into one mnemonic (MOVEA, ADDA, SUBA, CMPA).
std::string OurMnemonicAsObjdump(const std::string& mnemonic, const std::vector<std::string>& ops) {
    std::string m = mnemonic;
    if (m == "RTS(JSR)") return "rts";
    if (m == "MOVEQ.L") return "moveq";
    if (m == "EXG.L") return "exg";
    if (m == "LINK") return ops.size() == 2 && ops[1].size() > 6 ? "linkl" : "linkw";
    if (m == "MOVE") return "movew";  // to or from SR
    static const std::regex memoryShift("^(AS|LS|ROX|RO)[RL]$");
    if (std::regex_match(m, memoryShift)) return Lower(m) + "w";
    size_t dot = m.find('.');
    std::string base = m.substr(0, dot), size = dot == std::string::npos ? "" : m.substr(dot + 1);
    static const std::regex addressForm("^(MOVE|ADD|SUB|CMP)$");
    static const std::regex addressReg("^A[0-7]$");
    if (std::regex_match(base, addressForm) && !ops.empty() && std::regex_match(ops.back(), addressReg))
        base += "A";
    return Lower(base + size);
}

uint32_t MaskFromObjdump(const std::string& mnemonic) {
    char last = mnemonic.empty() ? 0 : mnemonic.back();
    return last == 'b' ? 0xFF : last == 'w' ? 0xFFFF : 0xFFFFFFFF;
}

// The neutral notation of a line: objdump's mnemonic spelling and, per operand, its possible
// readings.
struct NeutralLine {
    std::string mnemonic;
    std::vector<std::vector<std::string>> operands;
};

NeutralLine NeutralFromObjdump(const std::string& mnemonic, const std::string& operands) {
    NeutralLine n;
    n.mnemonic = mnemonic;
    uint32_t mask = MaskFromObjdump(mnemonic);
    for (const std::string& op : SplitTopLevel(operands)) n.operands.push_back(ObjOperand(op, mask));
    if (mnemonic.rfind("movem", 0) == 0) {
        for (auto& alternatives : n.operands)
            if (alternatives[0] == "#0x0") alternatives = {ListText(0)};
    }
    size_t width = mnemonic == "bfins" ? 3 : 2;
    if (mnemonic.rfind("bf", 0) == 0 && n.operands.size() > width && n.operands[width][0] == "0") {
        n.operands[width] = {"32"};  // a width field of 0 means 32
    }
    return n;
}

NeutralLine NeutralFromOurs(const std::string& mnemonic, const std::string& operands, uint32_t address,
                            uint32_t immediateMask) {
    NeutralLine n;
    std::vector<std::string> ops = SplitTopLevel(operands);
    n.mnemonic = OurMnemonicAsObjdump(mnemonic, ops);
    bool branch = IsOurBranch(mnemonic);
    if (mnemonic == "LINK" && ops.size() == 2) ops[1] = "#" + ops[1];
    for (std::string& op : ops) {
        // A bit field "ea{offset:width}" is three operands in objdump's notation.
        size_t brace = op.find('{');
        if (brace != std::string::npos && op.back() == '}') {
            std::string field = op.substr(brace + 1, op.size() - brace - 2);
            n.operands.push_back({OurOperand(op.substr(0, brace), address, immediateMask, branch)});
            for (const std::string& f :
                 {field.substr(0, field.find(':')), field.substr(field.find(':') + 1)}) {
                int64_t v;
                size_t pos = 0;
                n.operands.push_back({ParseOurNumber(f, pos, v) ? std::to_string(v) : Lower(f)});
            }
            continue;
        }
        n.operands.push_back({OurOperand(op, address, immediateMask, branch)});
    }
    if (n.operands.size() == 1 && n.operands[0][0] == ListText(0) && mnemonic.rfind("MOVEM", 0) != 0) {
        n.operands.clear();  // no operands at all
    }
    return n;
}

// ---------------------------------------------------------------------------------------------
// The allowlist: what the disassembler does not decode, and its own display forms.

struct Case {
    uint32_t address;
    std::span<const uint16_t> code;  // from the instruction on
    const ObjdumpInsn& theirs;
    const quillwatch::DisasmResult& ours;
    uint16_t word(size_t i) const { return i < code.size() ? code[i] : 0; }
};

struct AllowEntry {
    const char* name;
    const char* why;
    std::function<bool(const Case&)> applies;
};

// An entry that applies when objdump's mnemonic matches a pattern.
std::function<bool(const Case&)> TheirMnemonic(const char* pattern) {
    auto re = std::make_shared<std::regex>(pattern, std::regex::optimize);
    return [re](const Case& c) { return std::regex_match(c.theirs.mnemonic, *re); };
}

const std::vector<AllowEntry>& Allowlist() {
    static const std::vector<AllowEntry> entries = {
        {"invalid encoding",
         "objdump lists the word as data: the rows decode by bit pattern and do not check "
         "which addressing modes or fields an instruction allows",
         [](const Case& c) { return c.theirs.mnemonic == ".short"; }},
        {"not decoded: NEGX, NBCD, CHK, CHK2/CMP2, CAS, MOVEP, MOVES",
         "the disassembler does not decode them; they print through the nearest row or with an empty field",
         TheirMnemonic("negx[bwl]|nbcd|chk[wl]|chk2[bwl]|cmp2[bwl]|cas2?[bwl]|movep[wl]|moves[bwl]")},
        {"not decoded: MOVE USP, MOVE to and from CCR",
         "MOVE from CCR prints as CLR and MOVE to CCR as NEG, without size; MOVE USP has an empty field",
         [](const Case& c) {
             return (c.theirs.mnemonic == "movel" && c.theirs.operands.find("%usp") != std::string::npos) ||
                    (c.theirs.mnemonic == "movew" && c.theirs.operands.find("%ccr") != std::string::npos);
         }},
        {"not decoded: TRAPV, RTR, TRAPcc, BKPT",
         "TRAPcc prints as an Scc; TRAPV and RTR have an empty field; BKPT prints as PEA",
         TheirMnemonic("trapv|rtr|bkpt|trap(t|f|hi|ls|cc|cs|ne|eq|vc|vs|pl|mi|ge|lt|gt|le)[wl]?")},
        {"not decoded: PACK, UNPK, ADDX, SUBX, ABCD, SBCD, CMPM", "they print through the opmode decoder",
         TheirMnemonic("pack|unpk|addx[bwl]|subx[bwl]|abcd|sbcd|cmpm[bwl]")},
        {"not decoded: long multiply and divide", "MULS.L, MULU.L, DIVS.L, DIVU.L have an empty field",
         TheirMnemonic("mul[su]l|div[su]ll?")},
        {"not decoded: floating point and coprocessor words",
         "line-F words other than PMOVE, CINV/CPUSH, PFLUSH and MOVE16 print CoProc and take three words",
         [](const Case& c) { return c.ours.mnemonic == "CoProc"; }},
        {"not decoded: 68030 PTEST, PLOAD, PFLUSH and 68851 MMU registers",
         "they share PMOVE's operation word; the register field prints ???",
         [](const Case& c) {
             return (c.word(0) & 0xFFC0) == 0xF000 && c.ours.operands.find("???") != std::string::npos;
         }},
        {"system call", "TRAP #15 and the trap word after it list as one line, by routine name or _TD",
         [](const Case& c) { return c.word(0) == 0x4E4F; }},
        {"debugger break", "TRAP #8 lists as _DbgBreak", [](const Case& c) { return c.word(0) == 0x4E48; }},
        {"supervisor words after ILLEGAL",
         "0x4AFC followed by 0xFFF0, 0xFFFD, 0xFFFE or 0xFFFF is one OS call",
         [](const Case& c) {
             uint16_t next = c.word(1);
             return c.word(0) == 0x4AFC && (next == 0xFFF0 || next >= 0xFFFD);
         }},
        {"static bit number above 255",
         "BTST, BCHG, BCLR, BSET #n show all 16 bits of the bit-number word; objdump shows its low byte "
         "(the two agree for the zero high byte that assemblers write)",
         [](const Case& c) { return (c.word(0) & 0xFF00) == 0x0800 && (c.word(1) & 0xFF00) != 0; }},
        {"objdump's switch-table markers", "swbeg/swbegl are objdump's names for TAS with an invalid mode",
         TheirMnemonic("swbegl?")},
        {"control register without a name",
         "MOVEC prints nothing for codes outside its table (68060 BUSCR and PCR, reserved codes)",
         [](const Case& c) {
             return (c.word(0) & 0xFFFE) == 0x4E7A &&
                    (c.ours.operands.front() == ',' || c.ours.operands.back() == ',');
         }},
    };
    return entries;
}

std::string Words(std::span<const uint16_t> code, size_t n) {
    std::string s;
    char b[8];
    for (size_t i = 0; i < n && i < code.size(); ++i) {
        std::snprintf(b, sizeof b, "%04X ", code[i]);
        s += b;
    }
    return s;
}

// Compares one instruction; returns "" when the two agree, else what differs.
std::string Differs(const Case& c) {
    uint32_t ourLength = c.ours.nextAddress - c.address;
    uint32_t length = c.theirs.length;
    static const std::regex routineEnd("^(RTS|RTD|RTE|STOP|JMP)$");
    if (ourLength != length && std::regex_match(c.ours.mnemonic, routineEnd) && length / 2 <= c.code.size()) {
        // A routine-name record follows: we skip it, objdump lists it as code.
        quillwatch::DisasmRecord record = quillwatch::DisasmRoutineNameRecord(c.code, length / 2);
        if (record.bytes != 0 && ourLength == length + record.bytes) ourLength = length;
    }
    if (ourLength != length) return "length " + std::to_string(ourLength) + " vs " + std::to_string(length);

    NeutralLine theirs = NeutralFromObjdump(c.theirs.mnemonic, c.theirs.operands);
    NeutralLine ours =
        NeutralFromOurs(c.ours.mnemonic, c.ours.operands, c.address, MaskFromObjdump(c.theirs.mnemonic));
    if (ours.mnemonic != theirs.mnemonic) return "mnemonic";
    if (ours.operands.size() != theirs.operands.size()) return "operand count";
    for (size_t i = 0; i < ours.operands.size(); ++i) {
        bool found = false;
        for (const auto& a : theirs.operands[i]) found = found || a == ours.operands[i][0];
        if (!found)
            return "operand " + std::to_string(i + 1) + " (" + ours.operands[i][0] + " vs " +
                   theirs.operands[i][0] + ")";
    }
    if (IsOurBranch(c.ours.mnemonic)) {
        // The comment is the branch target in 8 digits.
        std::string target = theirs.operands.back()[0];
        uint32_t t = static_cast<uint32_t>(std::strtoull(target.c_str(), nullptr, 16));
        char b[16];
        std::snprintf(b, sizeof b, "%08X", t);
        if (c.ours.comment != b) return "branch comment";
    }
    return "";
}

}  // namespace

void CompareWithObjdump(const std::vector<ObjdumpInsn>& insns, std::span<const uint16_t> code, uint32_t base,
                        CompareStats& stats, bool (*wanted)(const ObjdumpInsn&)) {
    quillwatch::DisasmContext ctx;
    ctx.pc = 0xFFFFFFFF;
    for (const ObjdumpInsn& insn : insns) {
        if (wanted && !wanted(insn)) continue;
        if (insn.address < base || (insn.address - base) / 2 >= code.size() || (insn.address & 1)) continue;
        size_t index = (insn.address - base) / 2;
        quillwatch::DisasmResult ours = quillwatch::DisassembleLine(ctx, insn.address, code, index);
        ++stats.compared;
        Case c{insn.address, code.subspan(index), insn, ours};
        std::string what = Differs(c);
        if (what.empty()) continue;
        const AllowEntry* allowed = nullptr;
        for (const AllowEntry& e : Allowlist()) {
            if (e.applies(c)) {
                allowed = &e;
                break;
            }
        }
        if (allowed) {
            ++stats.allowed[allowed->name];
            continue;
        }
        char head[32];
        std::snprintf(head, sizeof head, "%08X: ", insn.address);
        stats.differences.push_back(std::string(head) + Words(c.code, 5) + "| ours: " + ours.mnemonic + " " +
                                    ours.operands + " ; " + ours.comment + " | objdump: " + insn.mnemonic +
                                    " " + insn.operands + " | " + what);
    }
}

std::string CompareReport(const CompareStats& stats, size_t maxDifferences) {
    std::ostringstream out;
    out << stats.compared << " instructions compared, " << stats.differences.size()
        << " unexplained differences\n";
    for (const auto& [name, count] : stats.allowed) out << "  allowed (" << count << "): " << name << "\n";
    for (size_t i = 0; i < stats.differences.size() && i < maxDifferences; ++i)
        out << "  " << stats.differences[i] << "\n";
    return out.str();
}

}  // namespace qwtest
