// The 68K disassembler (see Disassembler.h).
//
// A line has fixed columns: an optional "  +offset" into the current routine, the address at
// column 10, "*" at column 20 for the PC, the mnemonic at 21, the operands at 31, "; " and a
// comment at 59 and "| " with up to four instruction words at 73. Hexadecimal digits are upper
// case; signed numbers print as "-" and "$" with the magnitude.
#include "quillwatch/engine/disasm/Disassembler.h"

#include <algorithm>
#include <cstdio>

namespace quillwatch {
namespace {

constexpr size_t kColumnAddress = 10;
constexpr size_t kColumnPc = 20;
constexpr size_t kColumnMnemonic = 21;
constexpr size_t kColumnOperands = 31;
constexpr size_t kColumnComment = 59;
constexpr size_t kColumnWords = 73;
constexpr size_t kMaxShownWords = 4;

// Operand sizes as in the size field of most operation words.
constexpr unsigned kByte = 0, kWord = 1, kLong = 2, kNoSize = 3;

const char* const kConditions[16] = {"T",  "F",  "HI", "LS", "CC", "CS", "NE", "EQ",
                                     "VC", "VS", "PL", "MI", "GE", "LT", "GT", "LE"};
const char* const kSizeSuffix[4] = {".B", ".W", ".L", ""};

// Control-register codes: MOVEC's own codes, and codes of our own for the registers that other
// instructions name (the condition codes, the status register, the 68030 MMU registers).
constexpr uint32_t kRegCcr = 0x1000, kRegSr = 0x1001, kRegCrp = 0xF000, kRegTt0 = 0xF001, kRegTt1 = 0xF002,
                   kRegUnknown = 0xFFFF;

const char* PrvControlRegisterName(uint32_t code) {
    static const struct {
        uint32_t code;
        const char* name;
    } kNames[] = {{0x000, "SFC"},   {0x001, "DFC"},   {0x002, "CACR"},     {0x003, "TC"},    {0x004, "ITT0"},
                  {0x005, "ITT1"},  {0x006, "DTT0"},  {0x007, "DTT1"},     {0x800, "USP"},   {0x801, "VBR"},
                  {0x802, "CAAR"},  {0x803, "MSP"},   {0x804, "ISP"},      {0x805, "MMUSR"}, {0x806, "URP"},
                  {0x807, "SRP"},   {kRegCcr, "CCR"}, {kRegSr, "SR"},      {0x1002, "PC"},   {kRegCrp, "CRP"},
                  {kRegTt0, "TT0"}, {kRegTt1, "TT1"}, {kRegUnknown, "???"}};
    for (const auto& n : kNames) {
        if (n.code == code) return n.name;
    }
    return "";  // a code the table does not name prints nothing
}

std::string PrvHex(uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(value));
    return buf;
}

// "-" when negative, then "$" and the magnitude in the given number of digits.
std::string PrvSigned(int64_t value, int digits) {
    uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
    return (value < 0 ? "-$" : "$") + PrvHex(static_cast<uint32_t>(magnitude), digits);
}
std::string PrvSignedByte(int64_t v) {
    return PrvSigned(v, 2);
}
std::string PrvSignedWord(int64_t v) {
    return PrvSigned(v, 4);
}
std::string PrvSignedLong(int64_t v) {
    return PrvSigned(v, 8);
}
// A distance or offset: a signed word when it fits in 16 bits, else a signed long, so that a
// value just outside the word range does not print with the wrong sign.
std::string PrvSignedWordOrLong(int64_t v) {
    return (v >= -32768 && v <= 32767) ? PrvSignedWord(v) : PrvSignedLong(v);
}

std::string PrvDataReg(unsigned n) {
    return {'D', static_cast<char>('0' + (n & 7))};
}
std::string PrvAddrReg(unsigned n) {
    return {'A', static_cast<char>('0' + (n & 7))};
}

// Index register of an extension word: Xn, ".W" or ".L", and the scale.
std::string PrvIndex(uint16_t ext) {
    static const char* const kScale[4] = {"", "*2", "*4", "*8"};
    std::string s = (ext & 0x8000) ? PrvAddrReg(ext >> 12) : PrvDataReg(ext >> 12);
    return s + ((ext & 0x800) ? ".L" : ".W") + kScale[(ext >> 9) & 3];
}

// The bytes of an immediate as characters between single quotes: one byte; a word with its low
// byte first; a long in memory order.
enum class PrvCharRule {
    kSevenBit,  // operand comments: bytes reduced to 7 bits
    kSigned,    // the immediates of line 0: a byte below 0x20 as signed (0x80-0xFF too) is "."
};
std::string PrvImmediateChars(uint32_t value, unsigned size, PrvCharRule rule) {
    uint8_t bytes[4];
    size_t n = 0;
    if (size == kByte) {
        bytes[n++] = static_cast<uint8_t>(value);
    } else if (size == kWord) {
        bytes[n++] = static_cast<uint8_t>(value);
        bytes[n++] = static_cast<uint8_t>(value >> 8);
    } else {
        for (int shift = 24; shift >= 0; shift -= 8) bytes[n++] = static_cast<uint8_t>(value >> shift);
    }
    std::string s = "'";
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = bytes[i];
        if (rule == PrvCharRule::kSevenBit) b &= 0x7F;
        bool printable = rule == PrvCharRule::kSevenBit ? (b >= 0x20 && b != 0x7F)
                                                        : (static_cast<int8_t>(b) >= 0x20 && b != 0x7F);
        s += printable ? static_cast<char>(b) : '.';
    }
    return s + "'";
}

// Joins pieces of text (written instead of "literal" + string, which g++ 12 misreports under -O2).
template <typename... Parts>
std::string PrvCat(const Parts&... parts) {
    std::string s;
    (s.append(parts), ...);
    return s;
}

void PrvPadTo(std::string& s, size_t column) {
    if (s.size() < column) s.append(column - s.size(), ' ');
}

struct PrvOperand {
    std::string text;
    std::string comment;
    bool hasTarget = false;  // absolute or PC-relative: the address it names
    uint32_t target = 0;
};

// One instruction being decoded.
class PrvLine {
  public:
    PrvLine(DisasmContext& ctx, uint32_t address, std::span<const uint16_t> words, size_t index)
        : ctx_(ctx), address_(address), words_(words), start_(index), pos_(index) {}

    DisasmResult Run();

  private:
    // The next instruction word; past the end of the buffer 0, and the line is incomplete.
    uint16_t Word() {
        uint16_t w = Peek(pos_ - start_);
        ++pos_;
        return w;
    }
    uint32_t Long() {
        uint32_t high = Word();
        return (high << 16) | Word();
    }
    // The word at an offset (in words) from the operation word, without consuming it.
    uint16_t Peek(size_t offset) {
        size_t i = start_ + offset;
        if (i < words_.size()) return words_[i];
        short_ = true;
        return 0;
    }
    bool Has(size_t offset) const { return start_ + offset < words_.size(); }
    uint32_t AddressOfNextWord() const { return address_ + static_cast<uint32_t>(2 * (pos_ - start_)); }

    PrvOperand Ea(unsigned mode, unsigned reg, unsigned size);
    std::string PcDistance(int64_t distance, bool plus, bool longForm);
    std::string FullExtension(uint16_t ext, unsigned reg, bool pcRelative, uint32_t extAddress);
    std::string NameOrOffset(uint32_t target, const std::string& fallback);
    void Set(std::string mnemonic, std::string operands = {}, std::string comment = {}) {
        mnemonic_ = std::move(mnemonic);
        operands_ = std::move(operands);
        comment_ = std::move(comment);
    }

    void Decode(uint16_t w);
    void Line0(uint16_t w);
    void LineMove(uint16_t w);
    void Line4(uint16_t w);
    void Line5(uint16_t w);
    void Line6(uint16_t w);
    void LineE(uint16_t w);
    void LineF(uint16_t w);
    void Opmode(uint16_t w, const char* mnemonic);
    void SystemCall();
    void JumpOrCall(uint16_t w, const char* mnemonic);
    void CheckComputedCall();

    DisasmContext& ctx_;
    uint32_t address_;
    std::span<const uint16_t> words_;
    size_t start_;
    size_t pos_;
    bool short_ = false;       // the buffer ended inside the instruction
    bool skipRecord_ = false;  // a routine-name record may follow
    std::string mnemonic_, operands_, comment_;
};

std::string PrvLine::PcDistance(int64_t distance, bool plus, bool longForm) {
    return std::string("*") + (plus ? "+" : "") +
           (longForm ? PrvSignedLong(distance) : PrvSignedWordOrLong(distance));
}

PrvOperand PrvLine::Ea(unsigned mode, unsigned reg, unsigned size) {
    PrvOperand op;
    reg &= 7;
    switch (mode & 7) {
        case 0:
            op.text = PrvDataReg(reg);
            break;
        case 1:
            op.text = PrvAddrReg(reg);
            break;
        case 2:
            op.text = PrvCat("(", PrvAddrReg(reg), ")");
            break;
        case 3:
            op.text = PrvCat("(", PrvAddrReg(reg), ")+");
            break;
        case 4:
            op.text = PrvCat("-(", PrvAddrReg(reg), ")");
            break;
        case 5: {
            auto d = static_cast<int16_t>(Word());
            op.text = PrvCat(PrvSignedWord(d), "(", PrvAddrReg(reg), ")");
            break;
        }
        case 6: {
            uint32_t extAddress = AddressOfNextWord();
            uint16_t ext = Word();
            if (ext & 0x100) {
                op.text = FullExtension(ext, reg, false, extAddress);
            } else {
                op.text = PrvSignedByte(static_cast<int8_t>(ext)) + "(" + PrvAddrReg(reg) + "," +
                          PrvIndex(ext) + ")";
            }
            break;
        }
        default:
            switch (reg) {
                case 0:
                case 1: {
                    uint32_t v = reg == 0 ? static_cast<uint32_t>(static_cast<int16_t>(Word())) : Long();
                    op.text = PrvCat("$", PrvHex(v, 8));
                    op.comment = PrvHex(v, 8);
                    op.hasTarget = true;
                    op.target = v;
                    break;
                }
                case 2: {
                    // The distance counts from the operation word; the target from the extension
                    // word, which is not always the word right after it.
                    uint32_t extAddress = AddressOfNextWord();
                    auto d = static_cast<int16_t>(Word());
                    op.text = PcDistance(d + int64_t{extAddress - address_}, d > 0, false);
                    op.target = extAddress + static_cast<uint32_t>(int32_t{d});
                    op.comment = PrvHex(op.target, 8);
                    op.hasTarget = true;
                    break;
                }
                case 3: {
                    uint32_t extAddress = AddressOfNextWord();
                    uint16_t ext = Word();
                    if (ext & 0x100) {
                        op.text = FullExtension(ext, reg, true, extAddress);
                    } else {
                        auto d = static_cast<int8_t>(ext);
                        op.text = PcDistance(d + int64_t{extAddress - address_}, d >= 0, false) + "(" +
                                  PrvIndex(ext) + ")";
                    }
                    break;
                }
                case 4: {
                    if (size == kNoSize) {
                        op.text = "#$";
                        break;
                    }
                    uint32_t v = size == kLong ? Long() : Word();
                    if (size == kByte) v &= 0xFF;
                    op.text = PrvCat("#$", PrvHex(v, size == kByte ? 2 : size == kWord ? 4 : 8));
                    op.comment = PrvImmediateChars(v, size, PrvCharRule::kSevenBit);
                    break;
                }
                default:
                    op.text = "ILLEGAL";
                    break;
            }
            break;
    }
    return op;
}

// The 68020 full extension word: base and outer displacements, suppressed base or index, and
// memory indirection with the index inside or after the brackets.
std::string PrvLine::FullExtension(uint16_t ext, unsigned reg, bool pcRelative, uint32_t extAddress) {
    bool baseSuppressed = ext & 0x80;
    bool indexSuppressed = ext & 0x40;
    unsigned bdSize = (ext >> 4) & 3;
    unsigned select = ext & 7;
    int64_t bd = 0;
    if (bdSize == 2) bd = static_cast<int16_t>(Word());
    if (bdSize == 3) bd = static_cast<int32_t>(Long());

    // Any selection but 0 is memory indirect: the low two bits size the outer displacement (0
    // and 1: none) and bit 2 puts the index after the brackets. The reserved selections (4 with
    // the index, 4-7 without it) follow the same pattern.
    bool indirect = select != 0;
    bool indexAfter = !indexSuppressed && (select & 4);
    unsigned odSize = select & 3;
    int64_t od = 0;
    if (odSize == 2) od = static_cast<int16_t>(Word());
    if (odSize == 3) od = static_cast<int32_t>(Long());

    std::string s = indirect ? "([" : "(";
    bool any = false;
    auto add = [&](const std::string& part) {
        if (any) s += ",";
        s += part;
        any = true;
    };
    if (pcRelative && !baseSuppressed) {
        int64_t distance = bd + int64_t{extAddress - address_};
        add(PcDistance(distance, distance >= 0, bdSize == 3));
    } else {
        if (bdSize >= 2) add(bdSize == 2 ? PrvSignedWord(bd) : PrvSignedLong(bd));
        if (!baseSuppressed) add(PrvAddrReg(reg));
    }
    if (indexAfter) s += "]";
    if (!indexSuppressed) add(PrvIndex(ext));
    if (indirect && !indexAfter) s += "]";
    if (odSize >= 2) add(odSize == 2 ? PrvSignedWord(od) : PrvSignedLong(od));
    return s + ")";
}

// The routine name (and offset) of a code address when symbols are on and the lookup knows it.
std::string PrvLine::NameOrOffset(uint32_t target, const std::string& fallback) {
    std::string name;
    int32_t offset = 0;
    if (!ctx_.symbolsOn || !ctx_.lookup || !ctx_.lookup->RoutineAt(target, name, offset)) return fallback;
    if (offset != 0) name += (offset > 0 ? "+" : "") + PrvSignedWordOrLong(offset);
    return name;
}

void PrvLine::Line0(uint16_t w) {
    static const struct {
        uint16_t mask, value;
        const char* name;
    } kImmediates[] = {{0xFF00, 0x0000, "ORI"},  {0xFF00, 0x0200, "ANDI"}, {0xFF00, 0x0A00, "EORI"},
                       {0x0F00, 0x0600, "ADDI"}, {0x0F00, 0x0C00, "CMPI"}, {0x0F00, 0x0400, "SUBI"}};
    for (const auto& row : kImmediates) {
        if ((w & row.mask) != row.value) continue;
        unsigned size = (w >> 6) & 3;
        std::string imm = "#$", comment;
        if (size != kNoSize) {
            uint32_t v = size == kLong ? Long() : Word();
            if (size == kByte) v &= 0xFF;
            imm += PrvHex(v, size == kByte ? 2 : size == kWord ? 4 : 8);
            comment = PrvImmediateChars(v, size, PrvCharRule::kSigned);
        }
        std::string dest = (w & 0x3F) == 0x3C ? PrvControlRegisterName(size == kByte ? kRegCcr : kRegSr)
                                              : Ea(w >> 3, w, size).text;
        Set(row.name + std::string(kSizeSuffix[size]), imm + "," + dest, comment);
        return;
    }
    static const char* const kBitOps[4] = {"BTST", "BCHG", "BCLR", "BSET"};
    if (w & 0x100) {  // bit number in a data register
        PrvOperand ea = Ea(w >> 3, w, (w >> 6) & 3);
        Set(kBitOps[(w >> 6) & 3], PrvDataReg(w >> 9) + "," + ea.text, ea.comment);
    } else if ((w & 0xF00) == 0x800) {  // bit number in the extension word
        std::string bit = PrvCat("#$", PrvHex(Word(), 4));
        PrvOperand ea = Ea(w >> 3, w, (w >> 6) & 3);
        Set(kBitOps[(w >> 6) & 3], bit + "," + ea.text, ea.comment);
    } else {
        Set("ILLEGAL");
    }
}

void PrvLine::LineMove(uint16_t w) {
    static const unsigned kLineSize[4] = {0, kByte, kLong, kWord};
    unsigned size = kLineSize[w >> 12];
    PrvOperand src = Ea(w >> 3, w, size);
    PrvOperand dst = Ea(w >> 6, w >> 9, size);
    Set(std::string("MOVE") + kSizeSuffix[size], src.text + "," + dst.text,
        src.comment.empty() ? dst.comment : src.comment);
}

// The register list of MOVEM, D0 to A7; a run does not continue from D7 into A0.
std::string PrvRegisterList(uint16_t mask, bool reversed) {
    auto has = [&](unsigned code) { return (mask >> (reversed ? 15 - code : code)) & 1; };
    auto name = [](unsigned code) { return code < 8 ? PrvDataReg(code) : PrvAddrReg(code); };
    std::string s;
    for (unsigned code = 0; code < 16;) {
        if (!has(code)) {
            ++code;
            continue;
        }
        unsigned last = code;
        while (last + 1 < 16 && last != 7 && has(last + 1)) ++last;
        if (!s.empty()) s += "/";
        s += name(code);
        if (last > code) s += "-" + name(last);
        code = last + 1;
    }
    return s;
}

void PrvLine::JumpOrCall(uint16_t w, const char* mnemonic) {
    // JSR (D0.L) with the base suppressed calls through D0: at the PC its target is known.
    bool throughD0 = w == 0x4EB0 && Peek(1) == 0x0990 && address_ == ctx_.pc;
    PrvOperand ea = Ea(w >> 3, w, (w >> 6) & 3);
    if (throughD0) {
        ea.hasTarget = true;
        ea.target = ctx_.d0;
    }
    std::string comment = ea.comment;
    if (ctx_.symbolsOn && ea.hasTarget) {
        comment = PrvHex(ea.target, 8);
        ea.text = NameOrOffset(ea.target, ea.text);
    }
    Set(mnemonic, ea.text, comment);
    if (w == 0x4ED0) skipRecord_ = true;  // JMP (A0) ends a routine
}

// PEA d16(PC), PEA d16(PC), ADDI.L #n,(A7), RTS calls the routine at n + the first PEA's address
// + 10 and returns to the code the first PEA names; remember the call for the RTS line.
void PrvLine::CheckComputedCall() {
    static const struct {
        size_t offset;
        uint16_t word;
    } kPattern[] = {{2, 0x487A}, {4, 0x0697}, {7, 0x4E75}};
    for (const auto& p : kPattern) {
        if (!Has(p.offset)) {
            short_ = true;  // the rest of the pattern is not in the buffer
            return;
        }
        if (words_[start_ + p.offset] != p.word) return;
    }
    uint32_t imm = (uint32_t{words_[start_ + 5]} << 16) | words_[start_ + 6];
    ctx_.callReturnPoint = address_ + 14;
    ctx_.callTarget = imm + address_ + 10;
}

void PrvLine::SystemCall() {
    uint16_t trap = Word();
    std::string name, deviceName;
    if (!(trap & 0x800) && ctx_.lookup) {
        uint16_t selector = 0xFFFF;
        if (address_ == ctx_.pc) {
            selector = static_cast<uint16_t>(ctx_.d2);
        } else if (start_ > 0 && (words_[start_ - 1] & 0xFF00) == 0x7400) {  // MOVEQ #n,D2
            selector = words_[start_ - 1] & 0xFF;
        }
        ctx_.lookup->NameByTrap(trap & 0xFFF, selector, name);
    }
    uint32_t routine = ctx_.lookup ? ctx_.lookup->TrapAddress(trap, name.empty() ? &deviceName : nullptr) : 0;
    if (name.empty()) name = deviceName;
    std::string comment = PrvSignedLong(static_cast<int32_t>(routine));
    if (name.empty()) {
        Set("_TD", PrvCat("#", PrvSignedWord(trap & 0xFFF)), comment);
    } else {
        Set(PrvCat("_", name), {}, comment);
    }
}

void PrvLine::Line4(uint16_t w) {
    unsigned size = (w >> 6) & 3;
    unsigned high = w >> 8;
    if ((w & 0xFFC0) == 0x40C0) {
        PrvOperand ea = Ea(w >> 3, w, kWord);
        Set("MOVE", "SR," + ea.text, ea.comment);
    } else if (high == 0x42 || high == 0x44) {
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string(high == 0x42 ? "CLR" : "NEG") + kSizeSuffix[size], ea.text, ea.comment);
    } else if ((w & 0xFFC0) == 0x46C0) {
        PrvOperand ea = Ea(w >> 3, w, kWord);  // the status register is a word
        Set("MOVE", ea.text + ",SR", ea.comment);
    } else if (high == 0x46) {
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string("NOT") + kSizeSuffix[size], ea.text, ea.comment);
    } else if ((high == 0x48 || high == 0x49 || high == 0x4C) && (w & 0xFFF8) == 0x4840) {
        Set("SWAP", PrvDataReg(w));
    } else if ((high == 0x48 || high == 0x49 || high == 0x4C) && (w & 0xE38) == 0x800) {
        unsigned kind = (w >> 6) & 7;
        const char* suffix = kind == 2 ? ".W" : (kind == 3 || kind == 7) ? ".L" : kSizeSuffix[size];
        Set(std::string(kind == 7 ? "EXTB" : "EXT") + suffix, PrvDataReg(w));
    } else if ((w & 0xB80) == 0x880) {
        uint16_t mask = Word();
        bool toRegisters = w & 0x400;
        std::string list = PrvRegisterList(mask, !toRegisters && ((w >> 3) & 7) == 4);
        PrvOperand ea = Ea(w >> 3, w, size);
        Set((w & 0x40) ? "MOVEM.L" : "MOVEM.W", toRegisters ? ea.text + "," + list : list + "," + ea.text,
            ea.comment);
    } else if ((w & 0xFFC0) == 0x4840) {
        if (w == 0x487A) CheckComputedCall();
        PrvOperand ea = Ea(w >> 3, w, size);
        Set("PEA", ea.text, ea.comment);
    } else if ((w & 0xF1C0) == 0x41C0) {
        PrvOperand ea = Ea(w >> 3, w, size);
        Set("LEA", ea.text + "," + PrvAddrReg(w >> 9), ea.comment);
    } else if (w == 0x4AFC) {
        static const struct {
            uint16_t word;
            const char* name;
        } kOsWords[] = {{0xFFF0, "_RocketCall"},
                        {0xFFFD, "_StackToSupervisorWithInts"},
                        {0xFFFE, "_SwitchToSupervisor"},
                        {0xFFFF, "_StackToSupervisor"}};
        Set("ILLEGAL");
        uint16_t next = Peek(1);
        for (const auto& os : kOsWords) {
            if (next == os.word) {
                Word();
                Set(os.name);
            }
        }
    } else if ((w & 0xFFC0) == 0x4AC0) {
        PrvOperand ea = Ea(w >> 3, w, size);
        Set("TAS", ea.text, ea.comment);
    } else if (high == 0x4A) {
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string("TST") + kSizeSuffix[size], ea.text, ea.comment);
    } else if ((w & 0xFFC0) == 0x4EC0) {
        JumpOrCall(w, "JMP");
    } else if ((w & 0xFFC0) == 0x4E80) {
        JumpOrCall(w, "JSR");
    } else if (w == 0x4E70) {
        Set("RESET");
    } else if (w == 0x4E71) {
        Set("NOP");
    } else if (w == 0x4E72 || w == 0x4E74) {
        Set(w == 0x4E72 ? "STOP" : "RTD", PrvCat("#", PrvSignedWord(static_cast<int16_t>(Word()))));
        skipRecord_ = true;
    } else if (w == 0x4E73) {
        Set("RTE");
        skipRecord_ = true;
    } else if (w == 0x4E75) {
        if (ctx_.callReturnPoint != 0 && address_ == ctx_.callReturnPoint) {
            // The RTS of a computed call is a call: no routine ends here.
            if (ctx_.symbolsOn) {
                Set("RTS(JSR)", NameOrOffset(ctx_.callTarget, {}), PrvHex(ctx_.callTarget, 8));
            } else {
                Set("RTS(JSR)");
            }
        } else {
            Set("RTS");
            skipRecord_ = true;
        }
    } else if ((w & 0xFFF0) == 0x4E40) {
        if (w == 0x4E48) {
            Set("_DbgBreak");
        } else if (w == 0x4E4F) {
            SystemCall();
        } else {
            Set("TRAP", PrvCat("#", PrvSignedWord(w & 0xF)));
        }
    } else if ((w & 0xFFF8) == 0x4E50) {
        Set("LINK", PrvAddrReg(w) + "," + PrvSignedWord(static_cast<int16_t>(Word())));
    } else if ((w & 0xFFF8) == 0x4808) {
        Set("LINK", PrvAddrReg(w) + "," + PrvSignedLong(static_cast<int32_t>(Long())));
    } else if ((w & 0xFFF8) == 0x4E58) {
        Set("UNLK", PrvAddrReg(w));
    } else if (w == 0x4E7A || w == 0x4E7B) {
        uint16_t ext = Word();
        std::string general = (ext & 0x8000) ? PrvAddrReg(ext >> 12) : PrvDataReg(ext >> 12);
        std::string control = PrvControlRegisterName(ext & 0xFFF);
        Set("MOVEC", w == 0x4E7A ? control + "," + general : general + "," + control);
    }
}

void PrvLine::Line5(uint16_t w) {
    unsigned size = (w >> 6) & 3;
    if ((w & 0xF8) == 0xC8) {
        auto d = static_cast<int16_t>(Word());
        Set(std::string("DB") + kConditions[(w >> 8) & 15],
            PrvDataReg(w) + ",*" + PrvSignedWordOrLong(int64_t{d} + 2),
            PrvHex(address_ + 2 + static_cast<uint32_t>(int32_t{d}), 8));
    } else if (size == 3) {
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string("S") + kConditions[(w >> 8) & 15], ea.text, ea.comment);
    } else {
        unsigned data = (w >> 9) & 7;
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string((w & 0x100) ? "SUBQ" : "ADDQ") + kSizeSuffix[size],
            PrvCat("#", PrvSignedByte(data ? data : 8), ",", ea.text), ea.comment);
    }
}

void PrvLine::Line6(uint16_t w) {
    unsigned condition = (w >> 8) & 15;
    int64_t displacement;
    const char* suffix;
    if ((w & 0xFF) == 0) {
        displacement = static_cast<int16_t>(Word());
        suffix = ".W";
    } else if ((w & 0xFF) == 0xFF) {
        displacement = static_cast<int32_t>(Long());
        suffix = ".L";
    } else {
        displacement = static_cast<int8_t>(w);
        suffix = ".S";
    }
    std::string mnemonic = condition == 0   ? "BRA"
                           : condition == 1 ? "BSR"
                                            : std::string("B") + kConditions[condition];
    int64_t distance = displacement + 2;
    uint32_t target = address_ + 2 + static_cast<uint32_t>(displacement);
    Set(mnemonic + suffix, NameOrOffset(target, PcDistance(distance, distance >= 0, false)),
        PrvHex(target, 8));
}

// Lines 8, 9, 11, 12 and 13: the size and direction come from the opmode (bits 6-8).
void PrvLine::Opmode(uint16_t w, const char* mnemonic) {
    unsigned opmode = (w >> 6) & 7;
    if (opmode == 3 || opmode == 7) {
        unsigned size = opmode == 3 ? kWord : kLong;
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string(mnemonic) + kSizeSuffix[size], ea.text + "," + PrvAddrReg(w >> 9), ea.comment);
    } else if (opmode < 3) {
        PrvOperand ea = Ea(w >> 3, w, opmode);
        Set(std::string(mnemonic) + kSizeSuffix[opmode], ea.text + "," + PrvDataReg(w >> 9), ea.comment);
    } else {
        PrvOperand ea = Ea(w >> 3, w, opmode - 4);
        Set(std::string(mnemonic) + kSizeSuffix[opmode - 4], PrvDataReg(w >> 9) + "," + ea.text, ea.comment);
    }
}

void PrvLine::LineE(uint16_t w) {
    static const char* const kShifts[4] = {"AS", "LS", "ROX", "RO"};
    const char* direction = (w & 0x100) ? "L" : "R";
    unsigned size = (w >> 6) & 3;
    if (size != 3) {
        unsigned count = (w >> 9) & 7;
        std::string source = (w & 0x20) ? PrvDataReg(count) : PrvCat("#", PrvSignedByte(count ? count : 8));
        Set(std::string(kShifts[(w >> 3) & 3]) + direction + kSizeSuffix[size], source + "," + PrvDataReg(w));
    } else if ((w & 0x800) == 0) {  // shift of a memory word: type in bits 9-10
        PrvOperand ea = Ea(w >> 3, w, size);
        Set(std::string(kShifts[(w >> 9) & 3]) + direction, ea.text, ea.comment);
    } else {
        static const char* const kBitFields[8] = {"BFTST", "BFEXTU", "BFCHG", "BFEXTS",
                                                  "BFCLR", "BFFFO",  "BFSET", "BFINS"};
        unsigned kind = (w >> 8) & 7;
        uint16_t ext = Word();
        PrvOperand ea = Ea(w >> 3, w, size);
        std::string field =
            "{" + ((ext & 0x800) ? PrvDataReg(ext >> 6) : PrvSignedByte((ext >> 6) & 31)) + ":" +
            ((ext & 0x20) ? PrvDataReg(ext) : PrvSignedByte((ext & 31) ? ext & 31 : 32)) + "}";
        std::string operand = ea.text + field;
        std::string reg = PrvDataReg(ext >> 12);
        if (kind == 7) {
            operand = reg + "," + operand;
        } else if (kind == 1 || kind == 3 || kind == 5) {
            operand += "," + reg;
        }
        Set(kBitFields[kind], operand, ea.comment);
    }
}

void PrvLine::LineF(uint16_t w) {
    if ((w & 0xFFC0) == 0xF000) {
        static const struct {
            uint16_t field;  // bits 10-15 of the extension word
            uint32_t code;
        } kMmuRegisters[] = {{0x4000, 0x003 /* TC */},    {0x4800, 0x807 /* SRP */}, {0x4C00, kRegCrp},
                             {0x6000, 0x805 /* MMUSR */}, {0x0800, kRegTt0},         {0x0C00, kRegTt1}};
        uint16_t ext = Word();
        uint32_t code = kRegUnknown;
        for (const auto& r : kMmuRegisters) {
            if ((ext & 0xFC00) == r.field) code = r.code;
        }
        PrvOperand ea = Ea(w >> 3, w, code == 0x805 ? kWord : kLong);
        std::string reg = PrvControlRegisterName(code);
        Set((ext & 0x100) ? "PMOVEFD" : "PMOVE", (ext & 0x200) ? reg + "," + ea.text : ea.text + "," + reg,
            ea.comment);
    } else if ((w & 0xFF00) == 0xF400) {
        static const char* const kScope[4] = {"ILLEGAL", "L", "P", "A"};
        static const char* const kCaches[4] = {"NC", "DC", "IC", "DC/IC"};
        unsigned scope = (w >> 3) & 3;
        std::string operands = kCaches[(w >> 6) & 3];
        if (scope != 3) operands += PrvCat(",(", PrvAddrReg(w), ")");
        Set(std::string((w & 0x20) ? "CPUSH" : "CINV") + kScope[scope], operands);
    } else if ((w & 0xFFC0) == 0xF500) {
        static const char* const kFlush[4] = {"PFLUSHN", "PFLUSH", "PFLUSHAN", "PFLUSHA"};
        unsigned opmode = (w >> 3) & 3;
        Set(kFlush[opmode], opmode < 2 ? PrvCat("(", PrvAddrReg(w), ")") : std::string());
    } else if ((w & 0xFFC0) == 0xF600) {
        std::string ay = PrvCat("(", PrvAddrReg(w), ")");
        bool postIncrement = !(w & 0x10);
        switch (w & 0x28) {
            case 0x00:
                Set("MOVE16", ay + (postIncrement ? "+,$" : ",$") + PrvHex(Long(), 8));
                break;
            case 0x08:
                Set("MOVE16", PrvCat("$", PrvHex(Long(), 8), ",", ay, postIncrement ? "+" : ""));
                break;
            case 0x20: {
                uint16_t ext = Word();
                Set("MOVE16", PrvCat(ay, "+,(", PrvAddrReg(ext >> 12), ")+"));
                break;
            }
            default:
                Set("MOVE16");
                break;
        }
    } else {
        Word(), Word();
        Set("CoProc");
    }
}

void PrvLine::Decode(uint16_t w) {
    switch (w >> 12) {
        case 0x0:
            Line0(w);
            break;
        case 0x1:
        case 0x2:
        case 0x3:
            LineMove(w);
            break;
        case 0x4:
            Line4(w);
            break;
        case 0x5:
            Line5(w);
            break;
        case 0x6:
            Line6(w);
            break;
        case 0x7:
            Set("MOVEQ.L", PrvCat("#", PrvSignedByte(static_cast<int8_t>(w)), ",", PrvDataReg(w >> 9)));
            break;
        case 0x8:
            if ((w & 0x1C0) == 0x0C0 || (w & 0x1C0) == 0x1C0) {
                PrvOperand ea = Ea(w >> 3, w, kWord);
                Set((w & 0x100) ? "DIVS.W" : "DIVU.W", ea.text + "," + PrvDataReg(w >> 9), ea.comment);
            } else {
                Opmode(w, "OR");
            }
            break;
        case 0x9:
            Opmode(w, "SUB");
            break;
        case 0xA:
            Set(PrvCat("_", PrvHex(w, 4)));
            break;
        case 0xB:
            Opmode(w, ((w & 0x100) && ((w >> 6) & 7) < 7) ? "EOR" : "CMP");
            break;
        case 0xC:
            if ((w & 0x1C0) == 0x0C0 || (w & 0x1C0) == 0x1C0) {
                PrvOperand ea = Ea(w >> 3, w, kWord);
                Set((w & 0x100) ? "MULS.W" : "MULU.W", ea.text + "," + PrvDataReg(w >> 9), ea.comment);
            } else if ((w & 0x1F8) == 0x140) {
                Set("EXG.L", PrvDataReg(w >> 9) + "," + PrvDataReg(w));
            } else if ((w & 0x1F8) == 0x148) {
                Set("EXG.L", PrvAddrReg(w >> 9) + "," + PrvAddrReg(w));
            } else if ((w & 0x1F8) == 0x188) {
                Set("EXG.L", PrvDataReg(w >> 9) + "," + PrvAddrReg(w));
            } else {
                Opmode(w, "AND");
            }
            break;
        case 0xD:
            Opmode(w, "ADD");
            break;
        case 0xE:
            LineE(w);
            break;
        default:
            LineF(w);
            break;
    }
}

DisasmResult PrvLine::Run() {
    if (Has(0)) {
        Decode(Word());
    } else {
        Word();  // no code left: an empty line that asks for more
    }

    size_t end = pos_;
    DisasmRecord record{0, true};
    if (!short_ && skipRecord_) record = DisasmRoutineNameRecord(words_, end);

    std::string line;
    if (ctx_.symbolsOn && !ctx_.routineName.empty() && address_ >= ctx_.routineStart &&
        address_ < ctx_.routineEnd) {
        line = PrvCat("  +", PrvSignedWordOrLong(int64_t{address_ - ctx_.routineStart}));
    }
    PrvPadTo(line, kColumnAddress);
    line += PrvHex(address_, 8);
    if (address_ == ctx_.pc) {
        PrvPadTo(line, kColumnPc);
        line += "*";
    }
    PrvPadTo(line, kColumnMnemonic);
    line += mnemonic_;
    PrvPadTo(line, kColumnOperands);
    line += operands_;
    if (!comment_.empty()) {
        PrvPadTo(line, kColumnComment);
        line += "; " + comment_;
    }
    PrvPadTo(line, kColumnWords);
    line += "| ";
    for (size_t i = start_; i < end && i < words_.size() && i - start_ < kMaxShownWords; ++i) {
        line += PrvHex(words_[i], 4) + " ";
    }

    DisasmResult result;
    result.text = std::move(line);
    result.mnemonic = std::move(mnemonic_);
    result.operands = std::move(operands_);
    result.comment = std::move(comment_);
    result.nextAddress = address_ + static_cast<uint32_t>(2 * (end - start_)) + record.bytes;
    result.nextIndex = std::min(end + record.bytes / 2, words_.size());
    result.complete = !short_ && record.complete;
    return result;
}

}  // namespace

DisasmResult DisassembleLine(DisasmContext& ctx, uint32_t address, std::span<const uint16_t> words,
                             size_t index) {
    return PrvLine(ctx, address, words, std::min(index, words.size())).Run();
}

// After a routine's last instruction: 0x80 and a length byte (above 47 counts as 0), or one byte
// 0x81-0x9F with the length in its low 5 bits; the name; a pad byte to an even address; a u16
// count of literal bytes (above 4095 counts as 0) and the literals. A length of 0 leaves only the
// two lead bytes. Code resumes at an even address.
DisasmRecord DisasmRoutineNameRecord(std::span<const uint16_t> words, size_t index) {
    if (index >= words.size()) return {0, true};
    unsigned lead = words[index] >> 8;
    if (lead < 0x80 || lead > 0x9F) return {0, true};
    uint32_t nameStart, length;
    if (lead == 0x80) {
        length = words[index] & 0xFF;
        if (length > 47) length = 0;
        if (length == 0) return {2, true};
        nameStart = 2;
    } else {
        length = lead & 0x1F;
        nameStart = 1;
    }
    uint32_t countAt = (nameStart + length + 1) & ~1u;
    size_t countIndex = index + countAt / 2;
    if (countIndex >= words.size()) {
        return {static_cast<uint32_t>(2 * (words.size() - index)), false};
    }
    uint32_t count = words[countIndex];
    if (count > 4095) count = 0;
    return {(countAt + 2 + count + 1) & ~1u, true};
}

std::vector<uint16_t> DisasmWordsFromBytes(std::span<const uint8_t> bytes) {
    std::vector<uint16_t> words(bytes.size() / 2);
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    }
    return words;
}

}  // namespace quillwatch
