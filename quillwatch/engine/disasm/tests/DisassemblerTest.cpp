#include "quillwatch/engine/disasm/Disassembler.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace {

using quillwatch::DisasmContext;
using quillwatch::DisasmLookup;
using quillwatch::DisasmResult;
using quillwatch::DisassembleLine;

constexpr uint32_t kAt = 0x00001000;

// Routine and trap names as the rest of the debugger would give them.
class FakeLookup : public DisasmLookup {
  public:
    std::map<uint32_t, std::pair<std::string, int32_t>> routines;  // address -> name, offset
    std::map<uint16_t, std::string> trapNames;                     // low 12 bits -> name
    std::map<uint16_t, std::pair<uint32_t, std::string>> traps;    // trap word -> address, device name
    std::vector<uint16_t> selectors;                               // selectors asked for

    bool RoutineAt(uint32_t address, std::string& name, int32_t& offset) override {
        auto it = routines.find(address);
        if (it == routines.end()) return false;
        name = it->second.first;
        offset = it->second.second;
        return true;
    }
    bool NameByTrap(uint16_t trap, uint16_t selector, std::string& name) override {
        selectors.push_back(selector);
        auto it = trapNames.find(trap);
        if (it == trapNames.end()) return false;
        name = it->second;
        return true;
    }
    uint32_t TrapAddress(uint16_t trap, std::string* name) override {
        auto it = traps.find(trap);
        if (it == traps.end()) return 0;
        if (name) *name = it->second.second;
        return it->second.first;
    }
};

DisasmResult Line(const std::vector<uint16_t>& words, DisasmContext ctx = {}, uint32_t address = kAt,
                  size_t index = 0) {
    if (ctx.pc == 0) ctx.pc = 0xFFFFFFFE;  // not at the PC unless a test says so
    return DisassembleLine(ctx, address, words, index);
}

struct Case {
    std::vector<uint16_t> words;
    const char* mnemonic;
    const char* operands;
    const char* comment;
    uint32_t length;
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        DisasmResult r = Line(c.words);
        SCOPED_TRACE(r.text);
        EXPECT_EQ(r.mnemonic, c.mnemonic);
        EXPECT_EQ(r.operands, c.operands);
        EXPECT_EQ(r.comment, c.comment);
        EXPECT_EQ(r.nextAddress - kAt, c.length);
        EXPECT_TRUE(r.complete);
    }
}

TEST(DisassembleLine, ExamplesOfTheDecoderTables) {
    Check({
        // MOVEC: control register, then the general register (an address register for bit 15).
        {{0x4E7A, 0x8801}, "MOVEC", "VBR,A0", "", 4},
        {{0x4E7B, 0x0002}, "MOVEC", "D0,CACR", "", 4},
        // MOVEM lists: predecrement walks the mask from bit 15, the other modes from bit 0.
        {{0x48E7, 0xF0C0}, "MOVEM.L", "D0-D3/A0-A1,-(A7)", "", 4},
        {{0x4CDF, 0x030F}, "MOVEM.L", "(A7)+,D0-D3/A0-A1", "", 4},
        {{0x4CD0, 0x0180}, "MOVEM.L", "(A0),D7/A0", "", 4},  // no run from D7 into A0
        // 0x4AFC: OS words after it, else ILLEGAL alone.
        {{0x4AFC, 0x1234}, "ILLEGAL", "", "", 2},
        {{0x4AFC, 0xFFF0}, "_RocketCall", "", "", 4},
        {{0x4AFC, 0xFFFD}, "_StackToSupervisorWithInts", "", "", 4},
        {{0x4AFC, 0xFFFE}, "_SwitchToSupervisor", "", "", 4},
        {{0x4AFC, 0xFFFF}, "_StackToSupervisor", "", "", 4},
        // Branches: the distance from the instruction, the target in the comment.
        {{0x60FF, 0x0001, 0x0000}, "BRA.L", "*+$00010002", "00011002", 6},
        {{0x60FE}, "BRA.S", "*+$0000", "00001000", 2},
        {{0x6700, 0xFFF0}, "BEQ.W", "*-$000E", "00000FF2", 4},
        {{0x61FE}, "BSR.S", "*+$0000", "00001000", 2},
        {{0x51C8, 0xFFFC}, "DBF", "D0,*-$0002", "00000FFE", 4},
        // Memory indirection with a long outer displacement takes both of its words.
        {{0x2030, 0x0163, 0x0010, 0x0001, 0x2345}, "MOVE.L", "([$0010,A0],$00012345),D0", "", 10},
        {{0x2030, 0x0D26, 0x0010, 0x0020}, "MOVE.L", "([$0010,A0],D0.L*4,$0020),D0", "", 8},
        {{0x2030, 0x0D22, 0x0010, 0x0020}, "MOVE.L", "([$0010,A0,D0.L*4],$0020),D0", "", 8},
        {{0x4EB0, 0x0990}, "JSR", "(D0.L)", "", 4},
        {{0x203B, 0x0170, 0x0001, 0x0000}, "MOVE.L", "(*+$00010002),D0", "", 8},
        // Effective-address forms and their comments.
        {{0x2028, 0xFFF0}, "MOVE.L", "-$0010(A0),D0", "", 4},
        {{0x2035, 0x3C0C}, "MOVE.L", "$0C(A5,D3.L*4),D0", "", 4},
        {{0x2038, 0x8000}, "MOVE.L", "$FFFF8000,D0", "FFFF8000", 4},
        {{0x2039, 0x1234, 0x5678}, "MOVE.L", "$12345678,D0", "12345678", 6},
        {{0x203A, 0x0010}, "MOVE.L", "*+$0012,D0", "00001012", 4},
        {{0x203B, 0x10FE}, "MOVE.L", "*$0000(D1.W),D0", "", 4},
        {{0x203C, 0x4142, 0x2021}, "MOVE.L", "#$41422021,D0", "'AB !'", 6},
        {{0x303C, 0x4142}, "MOVE.W", "#$4142,D0", "'BA'", 4},  // the low byte's character first
        {{0x103C, 0x00C1}, "MOVE.B", "#$C1,D0", "'A'", 4},     // reduced to 7 bits
        {{0x203D}, "MOVE.L", "ILLEGAL,D0", "", 2},
        // Line 0 immediates: their own comment, where bytes below 0x20 as signed print ".".
        {{0x0C00, 0x0041}, "CMPI.B", "#$41,D0", "'A'", 4},
        {{0x0C80, 0xC1C2, 0x2021}, "CMPI.L", "#$C1C22021,D0", "'.. !'", 6},
        {{0x003C, 0x001F}, "ORI.B", "#$1F,CCR", "'.'", 4},
        {{0x027C, 0xF8FF}, "ANDI.W", "#$F8FF,SR", "'..'", 4},
        {{0x0800, 0x0003}, "BTST", "#$0003,D0", "", 4},
        {{0x0310}, "BTST", "D1,(A0)", "", 2},
        // The opmode decoder keeps its mnemonic for an address register and sizes its source.
        {{0xD1FC, 0x0001, 0x0000}, "ADD.L", "#$00010000,A0", "'....'", 6},
        {{0x92FC, 0x000A}, "SUB.W", "#$000A,A1", "'..'", 4},
        {{0xB308}, "EOR.B", "D1,A0", "", 2},  // CMPM is not decoded
        {{0xC189}, "EXG.L", "D0,A1", "", 2},
        {{0xC0FC, 0x0003}, "MULU.W", "#$0003,D0", "'..'", 4},
        // Line 4 and 5.
        {{0x40C0}, "MOVE", "SR,D0", "", 2},
        {{0x49C0}, "EXTB.L", "D0", "", 2},
        {{0x4880}, "EXT.W", "D0", "", 2},
        {{0x4E50, 0xFFF0}, "LINK", "A0,-$0010", "", 4},
        {{0x4808, 0xFFFF, 0x0000}, "LINK", "A0,-$00010000", "", 6},
        {{0x4E72, 0x2700}, "STOP", "#$2700", "", 4},
        {{0x4E43}, "TRAP", "#$0003", "", 2},
        {{0x4E48}, "_DbgBreak", "", "", 2},
        {{0x5088}, "ADDQ.L", "#$08,A0", "", 2},
        {{0x56C0}, "SNE", "D0", "", 2},
        {{0x70FF}, "MOVEQ.L", "#-$01,D0", "", 2},
        {{0xA123}, "_A123", "", "", 2},
        // Line E: shifts by count or register, bit fields.
        {{0xE240}, "ASR.W", "#$01,D0", "", 2},
        {{0xE3A8}, "LSL.L", "D1,D0", "", 2},
        {{0xE0D0}, "ASR", "(A0)", "", 2},
        {{0xE9D0, 0x0108}, "BFEXTU", "(A0){$04:$08},D0", "", 4},
        {{0xEFC2, 0x18E4}, "BFINS", "D1,D2{D3:D4}", "", 4},
        {{0xEAD0, 0x0000}, "BFCHG", "(A0){$00:$20}", "", 4},
        // Line F.
        {{0xF010, 0x4200}, "PMOVE", "TC,(A0)", "", 4},
        {{0xF011, 0x4100}, "PMOVEFD", "(A1),TC", "", 4},
        {{0xF010, 0x6000}, "PMOVE", "(A0),MMUSR", "", 4},
        {{0xF448}, "CINVL", "DC,(A0)", "", 2},
        {{0xF4F8}, "CPUSHA", "DC/IC", "", 2},
        {{0xF400}, "CINVILLEGAL", "NC,(A0)", "", 2},
        {{0xF508}, "PFLUSH", "(A0)", "", 2},
        {{0xF518}, "PFLUSHA", "", "", 2},
        {{0xF620, 0x9000}, "MOVE16", "(A0)+,(A1)+", "", 4},
        {{0xF600, 0x1234, 0x5678}, "MOVE16", "(A0)+,$12345678", "", 6},
        {{0xF618, 0x1234, 0x5678}, "MOVE16", "$12345678,(A0)", "", 6},
        {{0xF200, 0x0422, 0x4E71}, "CoProc", "", "", 6},
    });
}

// Faults of the decoder tables as first written, and their mends.
TEST(DisassembleLine, MendedDecoding) {
    Check({
        // ROXR/ROXL of a memory word: one word, no bit-field extension taken.
        {{0xE4D0, 0x4E71}, "ROXR", "(A0)", "", 2},
        {{0xE5E8, 0x0010}, "ROXL", "$0010(A0)", "", 4},
        // The extended rotates keep their X.
        {{0xE391}, "ROXL.L", "#$01,D1", "", 2},
        {{0xE072}, "ROXR.W", "D0,D2", "", 2},
        // MOVE to SR takes a word immediate.
        {{0x46FC, 0x2700}, "MOVE", "#$2700,SR", "'.''", 4},
        // A PC-relative operand after another extension word counts from its own word.
        {{0x083A, 0x0001, 0x0004}, "BTST", "#$0001,*+$0008", "00001008", 6},
        {{0x4CFA, 0x0003, 0x0004}, "MOVEM.L", "*+$0008,D0-D1", "00001008", 6},
        // A distance beyond the signed word range prints as a long, not with the wrong sign.
        {{0x41FA, 0x7FFF}, "LEA", "*+$00008001,A0", "00009001", 4},
        {{0x51C8, 0x7FFF}, "DBF", "D0,*$00008001", "00009001", 4},
        // The reserved full-extension selections follow the bit pattern: indirect, with the
        // index after the brackets for 4 (objdump reads them the same way).
        {{0x2030, 0x0124, 0x0010}, "MOVE.L", "([$0010,A0],D0.W),D0", "", 6},
        {{0x2030, 0x0166, 0x0010, 0x0020}, "MOVE.L", "([$0010,A0],$0020),D0", "", 8},
        // DEL is not a printing character in an immediate's comment.
        {{0x0C40, 0x7F41}, "CMPI.W", "#$7F41,D0", "'A.'", 4},
    });
}

TEST(DisassembleLine, LineLayout) {
    DisasmContext ctx;
    ctx.pc = kAt;
    DisasmResult r = Line({0x4E75}, ctx);
    // Address at column 10, "*" at 20, mnemonic at 21, words at 73.
    EXPECT_EQ(r.text, std::string(10, ' ') + "00001000  *RTS" + std::string(73 - 24, ' ') + "| 4E75 ");

    ctx.symbolsOn = true;
    ctx.routineStart = 0x0F00;
    ctx.routineEnd = 0x1100;
    ctx.routineName = "Main";
    ctx.pc = 0;
    r = Line({0x2039, 0x1234, 0x5678}, ctx);
    std::string expected = "  +$0100  00001000";
    expected += std::string(21 - expected.size(), ' ') + "MOVE.L";
    expected += std::string(31 - expected.size(), ' ') + "$12345678,D0";
    expected += std::string(59 - expected.size(), ' ') + "; 12345678";
    expected += std::string(73 - expected.size(), ' ') + "| 2039 1234 5678 ";
    EXPECT_EQ(r.text, expected);

    // At most four words, however many the instruction takes; no offset outside the routine.
    ctx.routineEnd = 0x1000;
    r = Line({0x2030, 0x0163, 0x0010, 0x0001, 0x2345}, ctx);
    EXPECT_EQ(r.text.substr(0, 18), std::string(10, ' ') + "00001000");
    EXPECT_EQ(r.text.substr(73), "| 2030 0163 0010 0001 ");
}

TEST(DisassembleLine, RoutineNameRecordsAreSkipped) {
    struct {
        std::vector<uint16_t> words;
        uint32_t next;      // bytes to the next line
        const char* shown;  // the word column: the instruction's words only
    } cases[] = {
        // RTS, 0x86 "MyFunc", pad, count 0.
        {{0x4E75, 0x864D, 0x7946, 0x756E, 0x6300, 0x0000, 0x4E71}, 12, "4E75 "},
        // RTD #4, 0x80 5 "Other", pad, count 2, two literal bytes.
        {{0x4E74, 0x0004, 0x8005, 0x4F74, 0x6865, 0x7200, 0x0002, 0x1234, 0x4E71}, 16, "4E74 0004 "},
        // An odd literal count: the next instruction still starts at an even address.
        {{0x4E73, 0x8141, 0x0003, 0xAABB, 0xCC00, 0x4E71}, 10, "4E73 "},
        // 0x80 with a length above 47 counts as 0: only the two lead bytes.
        {{0x4ED0, 0x8030, 0x4E71}, 4, "4ED0 "},
        {{0x4E72, 0x2700, 0x8000, 0x4E71}, 6, "4E72 2700 "},
        // A literal count above 4095 counts as 0.
        {{0x4E75, 0x8141, 0x1000, 0x4E71}, 6, "4E75 "},
        // No record: the next byte is not 0x80-0x9F.
        {{0x4E75, 0x4E71}, 2, "4E75 "},
        {{0x4E75, 0xA086}, 2, "4E75 "},
    };
    for (const auto& c : cases) {
        DisasmResult r = Line(c.words);
        SCOPED_TRACE(r.text);
        EXPECT_EQ(r.nextAddress - kAt, c.next);
        EXPECT_EQ(r.nextIndex, c.next / 2);
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.text.substr(73), std::string("| ") + c.shown);
    }
    // Other instructions are not followed by records.
    EXPECT_EQ(Line({0x4E71, 0x8005}).nextAddress - kAt, 2u);
}

TEST(DisassembleLine, SystemCalls) {
    FakeLookup names;
    names.trapNames[0x021] = "MemHandleLock";
    names.traps[0xA021] = {0x10C01234, "DeviceName"};
    names.traps[0xA0FE] = {0x10C05678, "FromDevice"};
    names.traps[0xA805] = {0x00204000, "<User Library>"};
    DisasmContext ctx;
    ctx.lookup = &names;

    struct {
        uint16_t trap;
        const char* mnemonic;
        const char* operands;
        const char* comment;
    } cases[] = {
        {0xA021, "_MemHandleLock", "", "$10C01234"},   // the function table's name
        {0xA0FE, "_FromDevice", "", "$10C05678"},      // else the device's
        {0xA805, "_<User Library>", "", "$00204000"},  // a library trap: always the device's
        {0xA0FF, "_TD", "#$00FF", "$00000000"},        // no name at all
    };
    for (const auto& c : cases) {
        DisasmResult r = Line({0x4E4F, c.trap, 0x4E71}, ctx);
        SCOPED_TRACE(r.text);
        EXPECT_EQ(r.mnemonic, c.mnemonic);
        EXPECT_EQ(r.operands, c.operands);
        EXPECT_EQ(r.comment, c.comment);
        EXPECT_EQ(r.nextAddress - kAt, 4u);
        EXPECT_EQ(r.text.substr(21, r.mnemonic.size()), r.mnemonic);
    }

    // The selector: D2 at the PC, the MOVEQ #n,D2 just before, else any.
    names.selectors.clear();
    ctx.pc = kAt;
    ctx.d2 = 0x12340005;
    DisasmResult r = DisassembleLine(ctx, kAt, std::vector<uint16_t>{0x4E4F, 0xA021});
    ctx.pc = 0;
    std::vector<uint16_t> code = {0x7403, 0x4E4F, 0xA021, 0x7203, 0x4E4F, 0xA021};
    DisassembleLine(ctx, kAt + 2, code, 1);
    DisassembleLine(ctx, kAt + 8, code, 4);
    DisassembleLine(ctx, kAt, std::vector<uint16_t>{0x4E4F, 0xA021});
    EXPECT_EQ(names.selectors, (std::vector<uint16_t>{0x0005, 0x0003, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(r.text[20], '*');
}

TEST(DisassembleLine, RoutineNamesOfTargets) {
    FakeLookup names;
    names.routines[0x2000] = {"Target", 0};
    names.routines[0x2010] = {"Target", 0x10};
    names.routines[0x0FF0] = {"Before", -0x10};
    names.routines[0x3000] = {"ViaD0", 0};
    DisasmContext ctx;
    ctx.lookup = &names;
    ctx.symbolsOn = true;

    EXPECT_EQ(Line({0x4EB9, 0x0000, 0x2000}, ctx).operands, "Target");
    EXPECT_EQ(Line({0x4EF9, 0x0000, 0x2010}, ctx).operands, "Target+$0010");
    DisasmResult r = Line({0x4EBA, 0xFFEE}, ctx);  // JSR d16(PC) to 0x0FF0
    EXPECT_EQ(r.operands, "Before-$0010");
    EXPECT_EQ(r.comment, "00000FF0");
    r = Line({0x6100, 0x0FFE}, ctx);  // BSR.W to 0x2000
    EXPECT_EQ(r.operands, "Target");
    EXPECT_EQ(r.comment, "00002000");
    // Only JMP and JSR take names for their operands; unknown targets keep the operand.
    EXPECT_EQ(Line({0x41F9, 0x0000, 0x2000}, ctx).operands, "$00002000,A0");
    EXPECT_EQ(Line({0x4EB9, 0x0000, 0x4000}, ctx).operands, "$00004000");

    // JSR (D0.L) calls through D0 at the PC only.
    ctx.pc = kAt;
    ctx.d0 = 0x3000;
    r = Line({0x4EB0, 0x0990}, ctx);
    EXPECT_EQ(r.operands, "ViaD0");
    EXPECT_EQ(r.comment, "00003000");
    ctx.pc = 0x8000;
    r = Line({0x4EB0, 0x0990}, ctx);
    EXPECT_EQ(r.operands, "(D0.L)");
    EXPECT_EQ(r.comment, "");

    // Without SymbolsOn the operands stay as they are.
    ctx.symbolsOn = false;
    EXPECT_EQ(Line({0x6100, 0x0FFE}, ctx).operands, "*+$1000");
}

TEST(DisassembleLine, ComputedCall) {
    FakeLookup names;
    names.routines[0x1100 + kAt + 10] = {"Callee", 0};
    DisasmContext ctx;
    ctx.lookup = &names;
    ctx.symbolsOn = true;
    ctx.pc = 0xFFFFFFFE;
    // PEA d16(PC), PEA d16(PC), ADDI.L #$1100,(A7), RTS, then code that starts like a record.
    std::vector<uint16_t> code = {0x487A, 0x000A, 0x487A, 0x0000, 0x0697,
                                  0x0000, 0x1100, 0x4E75, 0x8081, 0x4E71};
    uint32_t address = kAt;
    size_t index = 0;
    std::vector<DisasmResult> lines;
    while (index < code.size()) {
        lines.push_back(DisassembleLine(ctx, address, code, index));
        address = lines.back().nextAddress;
        index = lines.back().nextIndex;
    }
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(ctx.callReturnPoint, kAt + 14);
    EXPECT_EQ(ctx.callTarget, 0x1100 + kAt + 10);
    EXPECT_EQ(lines[3].mnemonic, "RTS(JSR)");
    EXPECT_EQ(lines[3].operands, "Callee");
    EXPECT_EQ(lines[3].comment, "0000210A");
    // The RTS of a computed call ends no routine: the code after it is listed, not skipped.
    EXPECT_EQ(lines[4].mnemonic, "OR.L");
    EXPECT_EQ(lines[5].mnemonic, "NOP");
}

// The buffer's end is never read past: a cut instruction is listed from what is there, missing
// words count as 0, and the line says that more code is needed.
TEST(DisassembleLine, StopsAtTheEndOfTheBuffer) {
    DisasmContext atPc;
    atPc.pc = kAt;
    struct {
        std::vector<uint16_t> words;
        DisasmContext ctx;
    } cases[] = {
        {{}, {}},
        {{0x2039, 0x1234}, {}},                  // absolute long cut short
        {{0x4EB0}, atPc},                        // JSR (D0) at the PC
        {{0x4AFC}, {}},                          // special words
        {{0x4E4F}, {}},                          // system call without its trap word
        {{0x487A, 0x000A, 0x487A, 0x0000}, {}},  // computed-call pattern cut short
        {{0x4E75, 0x8A41, 0x4243}, {}},          // record head cut short
        {{0x4E75, 0x8005, 0x4142}, {}},
        {{0x2030, 0x0163, 0x0010, 0x0001}, {}},  // outer displacement cut short
        {{0xF200}, {}},                          // CoProc's three words
    };
    for (auto& c : cases) {
        // An exactly sized heap buffer, so that the address sanitizer sees any overrun.
        auto buffer = std::make_unique<uint16_t[]>(c.words.size());
        std::copy(c.words.begin(), c.words.end(), buffer.get());
        std::span<const uint16_t> words(buffer.get(), c.words.size());
        if (c.ctx.pc == 0) c.ctx.pc = 0xFFFFFFFE;
        DisasmResult r = DisassembleLine(c.ctx, kAt, words);
        SCOPED_TRACE(r.text);
        EXPECT_FALSE(r.complete);
        EXPECT_LE(r.nextIndex, words.size());
        EXPECT_GT(r.nextAddress, kAt);
    }
    // Past the end of the buffer the line is empty.
    std::vector<uint16_t> one = {0x4E71};
    DisasmContext ctx;
    DisasmResult r = DisassembleLine(ctx, kAt, one, 5);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.mnemonic, "");
    EXPECT_EQ(r.nextIndex, 1u);
}

}  // namespace
