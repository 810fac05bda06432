// The interpreter's departures from the 68000 manual, its run and trap paths, and nested runs.
#include <gtest/gtest.h>

#include <cstring>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "morvel/cpu/MorvelCpu.h"

namespace morvel::test {
namespace {

class CpuTest : public MorvelTest {
protected:
    // Places the code in the context's own buffer and runs it through Call68KCode.
    uint16_t Run(const std::vector<uint8_t>& bytes) {
        code_ = bytes;
        code_.resize(code_.size() + 16, 0);
        return Call68KCode(&ctx_.state, CodeAddr(), 0);
    }
    uint16_t RunAsm(const std::string& src) { return Run(Assemble(src)); }
    uint32_t CodeAddr() const { return Addr(code_.data()); }
    std::string Hex(uint32_t v) {
        char b[16];
        std::snprintf(b, sizeof b, "%x", v);
        return b;
    }

    TestContext ctx_;
    std::vector<uint8_t> code_;
};

struct Departure {
    const char* name;
    std::vector<uint16_t> words;  // the words before the offending one (run first), then the word
    uint16_t value;
    const char* report;  // "%x" stands for the address of the offending word
    uint16_t line;
};

class DepartureTest : public CpuTest, public ::testing::WithParamInterface<Departure> {};

TEST_P(DepartureTest, ReportsAndEndsRun) {
    const Departure& d = GetParam();
    std::vector<uint8_t> bytes;
    for (uint16_t w : d.words) {
        bytes.push_back(static_cast<uint8_t>(w >> 8));
        bytes.push_back(static_cast<uint8_t>(w));
    }
    EXPECT_EQ(Run(bytes), d.value);
    EXPECT_EQ(ctx_.state.running, 0);
    uint32_t at = CodeAddr() + static_cast<uint32_t>(bytes.size()) - 2;
    std::string text = d.report;
    size_t p = text.find("%x");
    if (p != std::string::npos) text.replace(p, 2, Hex(at));
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0], "MorvelMain:" + std::to_string(d.line) + ":" + text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DepartureTest,
    ::testing::Values(
        Departure{"LineA", {0xA123}, 0xFFFE, "line 1010 exception at address %x", 438},
        Departure{"LineF", {0x4E71, 0xF200}, 0xFFFD, "line 1111 exception at address %x", 456},
        Departure{"Trap3", {0x4E43}, 0xFFFC, "unimplemented instruction 4e43 at address %x", 420},
        Departure{"TrapvWithV", {0x44FC, 0x0002, 0x4E76}, 0xFFFC, "unimplemented instruction 4e76 at address %x", 420},
        Departure{"MoveUsp", {0x4E60}, 0xFFFC, "unimplemented instruction 4e60 at address %x", 420},
        Departure{"Reset", {0x4E70}, 0xFFFC, "unimplemented instruction 4e70 at address %x", 420},
        Departure{"Stop", {0x4E72}, 0xFFFC, "unimplemented instruction 4e72 at address %x", 420},
        Departure{"Rte", {0x4E73}, 0xFFFC, "unimplemented instruction 4e73 at address %x", 420},
        Departure{"Rtd", {0x4E74}, 0xFFFC, "unimplemented instruction 4e74 at address %x", 420},
        Departure{"Movec", {0x4E7A}, 0xFFFC, "unimplemented instruction 4e7a at address %x", 420},
        Departure{"Moves", {0x0E50}, 0xFFFC, "unimplemented instruction e50 at address %x", 420},
        Departure{"ChkOutOfBounds", {0x7005, 0x41BC, 0x0003}, 0xFFFC, "unimplemented instruction 41bc at address %x",
                  420},
        Departure{"Op4E78", {0x4E78}, 0xFFFF, "illegal instruction 4e78 at address %x", 403},
        Departure{"Op4E7F", {0x4E7F}, 0xFFFF, "illegal instruction 4e7f at address %x", 403},
        Departure{"Op4E00", {0x4E00}, 0xFFFF, "illegal instruction 4e00 at address %x", 403},
        Departure{"Op4E3F", {0x4E3F}, 0xFFFF, "illegal instruction 4e3f at address %x", 403},
        Departure{"OriSize3", {0x00C0}, 0xFFFF, "illegal instruction c0 at address %x", 403},
        Departure{"CmpiSize3", {0x0CC0}, 0xFFFF, "illegal instruction cc0 at address %x", 403},
        Departure{"Op0EC0", {0x0EC0}, 0xFFFF, "illegal instruction ec0 at address %x", 403},
        Departure{"ChkLong", {0x4100}, 0xFFFF, "illegal instruction 4100 at address %x", 403},
        Departure{"Line4Bits101", {0x4340}, 0xFFFF, "illegal instruction 4340 at address %x", 403},
        Departure{"LongMultiply", {0x4C00}, 0xFFFF, "illegal instruction 4c00 at address %x", 403},
        Departure{"LongDivide", {0x4C7F}, 0xFFFF, "illegal instruction 4c7f at address %x", 403},
        Departure{"MoveqBit8", {0x7100}, 0xFFFF, "illegal instruction 7100 at address %x", 403},
        Departure{"Illegal", {0x4AFC}, 0xFFFF, "illegal instruction 4afc at address %x", 403},
        Departure{"DivuByZero", {0x7000, 0x80FC, 0x0000}, 0xFFFA, "divide by zero at address %x", 108},
        Departure{"DivsByZero", {0x7200, 0x7000, 0x81C1}, 0xFFFA, "divide by zero at address %x", 108}),
    [](const ::testing::TestParamInfo<Departure>& info) { return std::string(info.param.name); });

TEST_F(CpuTest, CallReturnsThroughMarkerAndRestoresStackAndPc) {
    ctx_.state.PC = 0x12345678;
    uint32_t sp = ctx_.state.A[7];
    EXPECT_EQ(RunAsm("moveq #42,%d0\n rts"), 0);
    EXPECT_EQ(ctx_.state.D[0], 42u);
    EXPECT_EQ(ctx_.state.A[7], sp);
    EXPECT_EQ(ctx_.state.PC, 0x12345678u);
    EXPECT_EQ(ctx_.state.running, 1);
    EXPECT_EQ(ctx_.state.jumpChain, nullptr);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(CpuTest, RunEndsAtMarkerAfterRtrOrJmpWithPcAfterTheInstruction) {
    // RTR: pushes the marker and a CCR word, then returns through them.
    ctx_.state.A[7] -= 4;
    auto bytes = Assemble("move.l #0xFFFFFFF0,-(%sp)\n move.w #0xFF1F,-(%sp)\n rtr\n nop");
    code_ = bytes;
    ctx_.state.PC = CodeAddr();
    EXPECT_EQ(MorvelRun(&ctx_.state), 0);
    EXPECT_EQ(ctx_.state.PC, CodeAddr() + 12);
    EXPECT_EQ(ctx_.state.SR & 0xFFFF, 0x1Fu);  // only the condition bits came from the word
    code_ = Assemble("move.l #0xFFFFFFF0,%a0\n jmp (%a0)\n nop");
    ctx_.state.PC = CodeAddr();
    EXPECT_EQ(MorvelRun(&ctx_.state), 0);
    EXPECT_EQ(ctx_.state.PC, CodeAddr() + 8);
}

TEST_F(CpuTest, MoveToSrChangesOnlyConditionBits) {
    ctx_.state.SR = 0x4000;  // a trace bit set by native code stays
    EXPECT_EQ(RunAsm("move.w #0x2700,%sr\n move.w %sr,%d0\n move.w #0xFFFF,%ccr\n move.w %sr,%d1\n"
                     " .short 0x42C2\n"  // MOVE CCR,D2
                     " rts"),
              0);
    EXPECT_EQ(ctx_.state.D[0] & 0xFFFF, 0u);
    EXPECT_EQ(ctx_.state.D[1] & 0xFFFF, 0x1Fu);
    EXPECT_EQ(ctx_.state.D[2] & 0xFFFF, 0x1Fu);
    EXPECT_EQ(ctx_.state.SR & 0xC000, 0x4000u);
}

TEST_F(CpuTest, WordAndLongAccessAtOddAddressesGoByteByByte) {
    uint8_t buf[16] = {0, 0x12, 0x34, 0x56, 0x78, 0x9A};
    ctx_.state.A[0] = Addr(buf) + 1;
    EXPECT_EQ(RunAsm("move.w (%a0),%d0\n move.l (%a0),%d1\n move.w #0xBEEF,3(%a0)\n rts"), 0);
    EXPECT_EQ(ctx_.state.D[0] & 0xFFFF, 0x1234u);
    EXPECT_EQ(ctx_.state.D[1], 0x12345678u);
    EXPECT_EQ(buf[4], 0xBE);
    EXPECT_EQ(buf[5], 0xEF);
}

TEST_F(CpuTest, DivisionOverflowSetsVAndKeepsTheRegister) {
    EXPECT_EQ(RunAsm("move.l #0x80000000,%d0\n moveq #-1,%d1\n divs.w %d1,%d0\n svs %d2\n"
                     " move.l #0x10000,%d3\n divu.w #1,%d3\n svs %d4\n scs %d5\n rts"),
              0);
    EXPECT_EQ(ctx_.state.D[0], 0x80000000u);
    EXPECT_EQ(ctx_.state.D[2] & 0xFF, 0xFFu);
    EXPECT_EQ(ctx_.state.D[3], 0x10000u);
    EXPECT_EQ(ctx_.state.D[4] & 0xFF, 0xFFu);
    EXPECT_EQ(ctx_.state.D[5] & 0xFF, 0u);
}

// The memory forms of ASL and ASR (the differential suite cannot check them against qemu).
TEST_F(CpuTest, MemoryArithmeticShifts) {
    struct Row {
        const char* op;
        uint16_t in, out;
        uint32_t ccr;
    } rows[] = {
        {"asr.w", 0x8001, 0xC000, kSrX | kSrN | kSrC},
        {"asr.w", 0x0002, 0x0001, 0},
        {"asl.w", 0x4000, 0x8000, kSrN | kSrV},
        {"asl.w", 0xC000, 0x8000, kSrX | kSrN | kSrC},
        {"asl.w", 0x8000, 0x0000, kSrX | kSrZ | kSrV | kSrC},
    };
    for (const Row& r : rows) {
        uint8_t word[2] = {static_cast<uint8_t>(r.in >> 8), static_cast<uint8_t>(r.in)};
        ctx_.state.A[0] = Addr(word);
        ctx_.state.SR = 0;
        EXPECT_EQ(RunAsm(std::string(r.op) + " (%a0)\n rts"), 0);
        EXPECT_EQ(vantor::ReadBE16(word), r.out) << r.op << " " << r.in;
        EXPECT_EQ(ctx_.state.SR & 0x1F, r.ccr) << r.op << " " << r.in;
    }
}

// ---- traps and nested runs ----

std::vector<uint16_t> gTraps;
uint32_t gCallee = 0;
uint16_t gInnerResult = 0;

void RecordTrap(EmulState* s, uint16_t index) {
    gTraps.push_back(index);
    s->D[0] = 0xA000u + index;
}
// Calls a 68K routine with one 16-bit argument and returns its D0 through the trap's D0.
void CallBackTrap(EmulState* s, uint16_t) {
    vantor::WriteBE16(reinterpret_cast<void*>(s->A[7] - 2), 0x0021);
    uint32_t d2 = s->D[2];
    gInnerResult = Call68KCode(s, gCallee, 2);
    if (gInnerResult == 0) s->D[0] = s->D[0] * 2, s->D[2] = d2;
}
void MovePcTrap(EmulState* s, uint16_t) { s->PC += 2; }

class TrapTest : public CpuTest {
protected:
    TrapTest() {
        gTraps.clear();
        table_.assign(1178, nullptr);
        ctx_.state.trapTable = table_.data();
    }
    std::vector<TrapHandler> table_;
};

TEST_F(TrapTest, TrapWordTopNibbleIsIgnoredAndLineAIsNoTrap) {
    table_[0x123] = RecordTrap;
    EXPECT_EQ(RunAsm("trap #15\n .short 0x1123\n move.l %d0,%d1\n trap #15\n .short 0xA123\n rts"), 0);
    EXPECT_EQ(gTraps, (std::vector<uint16_t>{0x123, 0x123}));
    EXPECT_EQ(ctx_.state.D[1], 0xA123u);
    EXPECT_EQ(ctx_.state.opcode & 0xFFFF, 0x4E4Fu);
    // A trap beyond the table does nothing.
    EXPECT_EQ(RunAsm("moveq #1,%d0\n trap #15\n .short 0xA49A\n rts"), 0);
    EXPECT_EQ(ctx_.state.D[0], 1u);
}

TEST_F(TrapTest, HandlerMayMovePc) {
    table_[5] = MovePcTrap;
    EXPECT_EQ(RunAsm("moveq #1,%d0\n trap #15\n .short 0xA005\n moveq #2,%d0\n rts"), 0);
    EXPECT_EQ(ctx_.state.D[0], 1u);
}

TEST_F(TrapTest, NestedCallFromHandlerReturnsItsResult) {
    table_[1] = CallBackTrap;
    // The callee reads its argument at 4(A7) (after the marker) and returns it in D0.
    auto callee = Assemble("move.w 4(%sp),%d0\n ext.l %d0\n moveq #9,%d2\n rts");
    gCallee = Addr(callee.data());
    uint32_t sp = ctx_.state.A[7];
    EXPECT_EQ(RunAsm("moveq #5,%d2\n trap #15\n .short 0xA001\n rts"), 0);
    EXPECT_EQ(gInnerResult, 0);
    EXPECT_EQ(ctx_.state.D[0], 0x42u);
    EXPECT_EQ(ctx_.state.D[2], 5u);
    EXPECT_EQ(ctx_.state.A[7], sp);
    EXPECT_EQ(ctx_.state.runDepth, 0u);
}

TEST_F(TrapTest, FailureInCallbackEndsEachEnclosingRun) {
    table_[1] = CallBackTrap;
    auto callee = Assemble(" .short 0x4AFC");  // ILLEGAL
    gCallee = Addr(callee.data());
    EXPECT_EQ(RunAsm("trap #15\n .short 0xA001\n rts"), 0xFFFB);
    EXPECT_EQ(gInnerResult, 0xFFFF);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[0], "MorvelMain:403:illegal instruction 4afc at address " + Hex(gCallee));
    EXPECT_EQ(Reports()[1], "MorvelMain:57:unknown A-trap a001 at address " + Hex(CodeAddr() + 2));
    EXPECT_EQ(ctx_.state.running, 0);
    EXPECT_EQ(ctx_.state.jumpChain, nullptr);
    EXPECT_EQ(ctx_.state.runDepth, 0u);
}

// Native code (a trap's handler, the nub) sees the condition codes the instructions left, also
// those the interpreter keeps in a compact form (N and Z both set, an instruction that writes only
// Z or only clears it), and the instructions after it see the codes native code wrote.
struct CcrCase {
    const char* setup;
    uint32_t atEntry;  // CCR seen by native code
    uint32_t written;  // CCR native code writes
};
uint32_t gSeenCcr, gWrittenCcr;
void SwapCcr(EmulState* s, uint16_t) {
    gSeenCcr = s->SR & kSrCcr;
    s->SR = (s->SR & ~kSrCcr) | gWrittenCcr;
}

TEST_F(TrapTest, NativeCodeSeesAndWritesTheConditionCodes) {
    const CcrCase cases[] = {
        {"move.w #0x0C,%ccr", 0x0C, 0x0C},
        {"moveq #-2,%d0\n btst #0,%d0", 0x0C, 0x04},             // N kept from MOVEQ, Z from BTST
        {"moveq #1,%d0\n moveq #-1,%d1\n addx.l %d1,%d0", 0x11, 0x08},  // Z stays clear
        {"moveq #0,%d0\n moveq #0,%d1\n addx.l %d1,%d0", 0x04, 0x1F},   // Z stays set
        {"moveq #0,%d0\n cmp.l #1,%d0", 0x09, 0x02},
        {"move.l #0x7FFFFFFF,%d0\n addq.l #1,%d0", 0x0A, 0x01},
        {"move.b #0x80,%d0\n add.b %d0,%d0", 0x17, 0x0A},
    };
    table_[2] = SwapCcr;
    for (const char* entry : {"trap #15\n .short 0xA002", "trap #0"}) {
        MorvelSetNubEntry(SwapCcr);
        for (const CcrCase& c : cases) {
            gSeenCcr = 0xFF;
            gWrittenCcr = c.written;
            ctx_.state.SR = 0;
            std::string src = std::string(c.setup) + "\n " + entry +
                              "\n move.w %sr,%d1\n smi %d2\n seq %d3\n svs %d4\n scs %d5\n slt %d6\n"
                              " suba.l %a6,%a6\n bls.s 1f\n addq.l #1,%a6\n1: rts";
            ASSERT_EQ(RunAsm(src), 0) << c.setup;
            EXPECT_EQ(gSeenCcr, c.atEntry) << c.setup << " / " << entry;
            uint32_t w = c.written;
            bool n = w & kSrN, z = w & kSrZ, v = w & kSrV, cy = w & kSrC;
            EXPECT_EQ(ctx_.state.D[1] & 0xFFFF, w) << c.setup;
            EXPECT_EQ(ctx_.state.D[2] & 0xFF, n ? 0xFFu : 0u) << c.setup;
            EXPECT_EQ(ctx_.state.D[3] & 0xFF, z ? 0xFFu : 0u) << c.setup;
            EXPECT_EQ(ctx_.state.D[4] & 0xFF, v ? 0xFFu : 0u) << c.setup;
            EXPECT_EQ(ctx_.state.D[5] & 0xFF, cy ? 0xFFu : 0u) << c.setup;
            EXPECT_EQ(ctx_.state.D[6] & 0xFF, n != v ? 0xFFu : 0u) << c.setup;
            EXPECT_EQ(ctx_.state.A[6], (cy || z) ? 0u : 1u) << c.setup;
            EXPECT_EQ(ctx_.state.SR & kSrCcr, w) << c.setup;  // as the run ended
        }
        MorvelSetNubEntry(nullptr);
    }
}

// ---- debugger entries ----

std::vector<std::pair<uint16_t, uint32_t>> gNubCalls;
void RecordNub(EmulState* s, uint16_t vector) {
    gNubCalls.push_back({vector, s->PC});
    if (gNubCalls.size() > 100) s->SR &= ~kSrTrace1;
}

TEST_F(CpuTest, TrapZeroAndEightEnterTheNub) {
    gNubCalls.clear();
    MorvelSetNubEntry(RecordNub);
    EXPECT_EQ(RunAsm("trap #0\n trap #8\n rts"), 0);
    MorvelSetNubEntry(nullptr);
    ASSERT_EQ(gNubCalls.size(), 2u);
    EXPECT_EQ(gNubCalls[0], std::make_pair(uint16_t{0x80}, CodeAddr() + 2));
    EXPECT_EQ(gNubCalls[1], std::make_pair(uint16_t{0xBC}, CodeAddr() + 4));
}

TEST_F(CpuTest, TraceBitEntersTheNubBeforeEachInstructionButTheFirst) {
    gNubCalls.clear();
    MorvelSetNubEntry(RecordNub);
    ctx_.state.SR = kSrTrace1;
    EXPECT_EQ(RunAsm("moveq #1,%d0\n moveq #2,%d0\n rts"), 0);
    MorvelSetNubEntry(nullptr);
    ASSERT_EQ(gNubCalls.size(), 2u);
    EXPECT_EQ(gNubCalls[0], std::make_pair(uint16_t{0x24}, CodeAddr() + 2));
    EXPECT_EQ(gNubCalls[1], std::make_pair(uint16_t{0x24}, CodeAddr() + 4));
}

// A compare or test and the branch after it are two steps while tracing, and run as one
// otherwise: the results agree.
TEST_F(CpuTest, TracedCompareAndBranchStopBeforeEachInstruction) {
    const char* loop =
        "moveq #2,%d0\n1: subq.l #1,%d0\n cmp.l #5,%d0\n bgt.s 2f\n tst.l %d0\n bne.s 1b\n2: rts";
    gNubCalls.clear();
    MorvelSetNubEntry(RecordNub);
    ctx_.state.SR = kSrTrace1;
    EXPECT_EQ(RunAsm(loop), 0);
    MorvelSetNubEntry(nullptr);
    std::vector<uint32_t> want;
    for (uint32_t pass = 0; pass < 2; ++pass)
        for (uint32_t offset : {2u, 4u, 10u, 12u, 14u}) want.push_back(CodeAddr() + offset);
    want.push_back(CodeAddr() + 16);
    std::vector<uint32_t> got;
    for (auto& call : gNubCalls) got.push_back(call.second);
    EXPECT_EQ(got, want);
    ctx_.state.SR = 0;
    EXPECT_EQ(RunAsm(loop), 0);
    EXPECT_EQ(ctx_.state.D[0], 0u);
}

}  // namespace
}  // namespace morvel::test
