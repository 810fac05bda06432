// Translated 68K code against the interpreter: loops entered at every point, code rewritten
// between runs and by the running loop itself, and several threads translating at once.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "M68kTestKit.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/cpu/MorvelJit.h"

namespace morvel::test {
namespace {

// Fills a buffer, runs a CRC over it, sorts neighbouring words with signed compares and moves
// registers through the stack: loops within loops, byte, word and long forms, and the condition
// codes left by each at the end.
const char* const kKernel = R"(
    lea buf(%pc),%a0
    moveq #63,%d7
1:  move.b %d7,(%a0)+
    subq.b #3,%d7
    dbra %d6,1b
    lea buf(%pc),%a0
    moveq #-1,%d0
    moveq #63,%d6
2:  moveq #0,%d1
    move.b (%a0)+,%d1
    eor.l %d1,%d0
    moveq #8,%d1
3:  move.l %d0,%d2
    lsr.l #1,%d2
    moveq #1,%d3
    and.l %d3,%d0
    neg.l %d0
    andi.l #0xEDB88320,%d0
    eor.l %d2,%d0
    subq.l #1,%d1
    bne.s 3b
    dbra %d6,2b
    lea buf(%pc),%a1
    moveq #30,%d5
4:  move.w (%a1)+,%d4
    cmp.w (%a1),%d4
    ble.s 5f
    move.w (%a1),-2(%a1)
    move.w %d4,(%a1)
5:  slt %d3
    ext.w %d3
    add.w %d3,%d7
    asr.w #2,%d7
    lsl.b #3,%d3
    addx.l %d3,%d7
    dbra %d5,4b
    movem.l %d0-%d7,-(%sp)
    movem.l (%sp)+,%d1-%d3/%a2-%a6
    swap %d1
    cmpa.w #0x1234,%a2
    shi %d4
    not.l %d4
    tst.b %d1
    rts
buf: .space 64
)";

struct Outcome {
    uint32_t regs[16];
    uint32_t sr;
    std::vector<uint8_t> code;  // with the buffer the kernel wrote
};

// The state after a run; addresses within the code are taken relative to it, and A7 is left out.
Outcome Capture(const EmulState& s, const std::vector<uint8_t>& code) {
    Outcome o;
    std::memcpy(o.regs, s.D, sizeof o.regs);
    for (uint32_t& r : o.regs)
        if (r - Addr(code.data()) <= code.size()) r -= Addr(code.data());
    o.regs[15] = 0;
    o.sr = s.SR;
    o.code = code;
    return o;
}

uint16_t RunKernel(EmulState& s, std::vector<uint8_t>& code) {
    std::memset(s.D, 0, sizeof s.D);
    std::memset(s.A, 0, 7 * sizeof s.A[0]);
    s.D[6] = 63;
    s.SR = 0x1F;
    return Call68KCode(&s, Addr(code.data()), 0);
}

Outcome RunKernelOnce(const std::vector<uint8_t>& bytes, uint32_t visits) {
    MorvelSetJitThreshold(visits);
    TestContext ctx;
    std::vector<uint8_t> code = bytes;
    EXPECT_EQ(RunKernel(ctx.state, code), 0);
    return Capture(ctx.state, code);
}

void ExpectSame(const Outcome& want, const Outcome& got, const std::string& what) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(want.regs[i], got.regs[i]) << what << ": register " << i;
    EXPECT_EQ(want.sr, got.sr) << what;
    EXPECT_TRUE(want.code == got.code) << what << ": memory differs";
}

class JitTest : public MorvelTest {
protected:
    void TearDown() override {
        MorvelSetJitThreshold(kDefaultJitThreshold);
        MorvelTest::TearDown();
    }
};

// Translated at once, after a few visits (so that blocks start inside running loops) and late.
TEST_F(JitTest, LoopsTranslatedAtAnyPointEndAsInterpreted) {
    std::vector<uint8_t> bytes = Assemble(kKernel);
    Outcome want = RunKernelOnce(bytes, 0);
    for (uint32_t visits : {1u, 2u, 3u, 7u, 40u})
        ExpectSame(want, RunKernelOnce(bytes, visits), "hot after " + std::to_string(visits) + " visits");
}

TEST_F(JitTest, EachThreadTranslatesAndRunsItsOwnCode) {
    std::vector<uint8_t> bytes = Assemble(kKernel);
    Outcome want = RunKernelOnce(bytes, 0);
    MorvelSetJitThreshold(1);
    std::vector<Outcome> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            TestContext ctx;
            std::vector<uint8_t> code;
            for (int round = 0; round < 20; ++round) {
                code = bytes;
                RunKernel(ctx.state, code);
            }
            got[t] = Capture(ctx.state, code);
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) ExpectSame(want, got[t], "thread " + std::to_string(t));
}

// New words at an address that ran translated run as written, whoever wrote them: the host
// between runs, or the loop itself on the instruction it runs next.
TEST_F(JitTest, RewrittenCodeRunsAsWritten) {
    MorvelSetJitThreshold(1);
    TestContext ctx;
    std::vector<uint8_t> code = Assemble("moveq #4,%d1\n moveq #0,%d0\n1: addq.l #1,%d0\n dbra %d1,1b\n rts");
    ASSERT_EQ(Call68KCode(&ctx.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(ctx.state.D[0], 5u);
    code[4] = 0x56;  // addq.l #1,%d0 becomes addq.l #3,%d0
    ASSERT_EQ(Call68KCode(&ctx.state, Addr(code.data()), 0), 0);
    EXPECT_EQ(ctx.state.D[0], 15u);

    // Each pass stores the word of MOVEQ #3,D2 over the MOVEQ #1,D2 at the top of the loop.
    const char* selfModifying = R"(
        lea 2f(%pc),%a0
        move.w #0x7403,%d3
        moveq #0,%d0
        moveq #3,%d1
    2:  moveq #1,%d2
        add.l %d2,%d0
        move.w %d3,(%a0)
        dbra %d1,2b
        rts
    )";
    for (uint32_t visits : {0u, 1u, 2u}) {
        MorvelSetJitThreshold(visits);
        code = Assemble(selfModifying);
        ASSERT_EQ(Call68KCode(&ctx.state, Addr(code.data()), 0), 0);
        EXPECT_EQ(ctx.state.D[0], 1u + 3 + 3 + 3) << "hot after " << visits;
        ASSERT_EQ(Call68KCode(&ctx.state, Addr(code.data()), 0), 0);
        EXPECT_EQ(ctx.state.D[0], 12u) << "second run, hot after " << visits;
    }
}

}  // namespace
}  // namespace morvel::test
