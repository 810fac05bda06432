// The trap table against the stand-in OS, the unimplemented-trap report, memory-manager traps
// from 68K code, and error-manager try frames across nested runs.
#include <gtest/gtest.h>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "common/module/SystemCalls.h"
#include <cstring>
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/traps/ErrorGlue.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

using vantor::os::Library;

class TrapsTest : public MorvelTest {
protected:
    void SetUp() override {
        MorvelTest::SetUp();
        ASSERT_EQ(TrapTableCreate(&ctx_.state), 0);
        ASSERT_NE(ctx_.state.trapTable, nullptr);
    }
    void TearDown() override {
        TryFramesFree(&ctx_.state);
        MorvelTest::TearDown();
    }
    uint16_t RunAsm(const std::string& src) {
        code_ = Assemble(src);
        code_.resize(code_.size() + 64, 0);
        return Call68KCode(&ctx_.state, Addr(code_.data()), 0);
    }
    TestContext ctx_;
    std::vector<uint8_t> code_;
};

TEST_F(TrapsTest, TableLivesInAProtectedHeapAndChangesOnlyThroughItsSlots) {
    vantor::os::ChunkInfo info{};
    ASSERT_TRUE(vantor::os::GetChunkInfo(ctx_.state.trapTable, &info));
    EXPECT_EQ(vantor::sys::MemHeapDynamic(info.heapID), 0);
    TrapHandler h = nullptr;
    EXPECT_EQ(A68kGetTrapAddress(&ctx_.state, 1178, &h), kErrBadTrapIndex);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(A68kGetTrapAddress(&ctx_.state, 1177, &h), 0);
    EXPECT_TRUE(IsDefaultTrapHandler(h));
    auto quiet = [](EmulState* s, uint16_t) { s->D[0] = 77; };
    EXPECT_EQ(A68kSetTrapAddress(&ctx_.state, 1177, quiet), 0);
    EXPECT_EQ(RunAsm("trap #15\n .short 0xA499\n rts"), 0);
    EXPECT_EQ(ctx_.state.D[0], 77u);
    EXPECT_EQ(A68kSetTrapAddress(&ctx_.state, 1178, quiet), kErrBadTrapIndex);
}

TEST_F(TrapsTest, MemoryManagerTrapsAnswerInD0AndA0) {
    EXPECT_EQ(RunAsm("pea 16\n trap #15\n .short 0xA013\n addq.l #4,%sp\n move.l %a0,%a2\n"  // MemPtrNew
                     " move.b #0x5A,-(%sp)\n pea 16\n move.l %a2,-(%sp)\n trap #15\n .short 0xA027\n"  // MemSet
                     " lea 10(%sp),%sp\n move.l (%a2),%d3\n"
                     " move.l %a2,-(%sp)\n trap #15\n .short 0xA016\n move.l %d0,%d4\n"  // MemPtrSize
                     " trap #15\n .short 0xA012\n addq.l #4,%sp\n rts"),  // MemChunkFree
              0);
    EXPECT_NE(ctx_.state.A[2], 0u);
    EXPECT_EQ(ctx_.state.D[3], 0x5A5A5A5Au);
    EXPECT_EQ(ctx_.state.D[4], 16u);
    EXPECT_EQ(ctx_.state.D[0] & 0xFFFF, 0u);
}

TEST_F(TrapsTest, UnimplementedTrapReportsOnceAndAsksTheAppToStop) {
    std::vector<std::string> alerts;
    vantor::os::OnCall(Library::System, vantor::sysslot::SysStringByIndex, [](const vantor::os::SlotCall& c) {
        std::strcpy(reinterpret_cast<char*>(c.args[2]), "Not supported");
        return c.args[2];
    });
    vantor::os::OnCall(Library::System, vantor::sysslot::ErrAlertCustom, [&](const vantor::os::SlotCall& c) {
        alerts.push_back(std::to_string(c.args[0]) + reinterpret_cast<const char*>(c.args[1]) +
                         reinterpret_cast<const char*>(c.args[3]));
        return 0u;
    });
    size_t events = vantor::os::PendingEvents();
    EXPECT_EQ(RunAsm("moveq #-1,%d0\n trap #15\n .short 0xA496\n move.l %d0,%d1\n"
                     " moveq #-1,%d0\n trap #15\n .short 0xA497\n rts"),
              0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "1285Not supported (0, 1174)");
    EXPECT_EQ(vantor::os::PendingEvents(), events + 1);
    EXPECT_EQ(ctx_.state.unimplementedReported, 1);
}

// A trap whose handler calls back into 68K code (the callback throws).
uint32_t gCallback = 0;
bool gAfterCallback = false;
uint16_t gCallbackResult = 0;
void CallbackTrap(EmulState* s, uint16_t) {
    gCallbackResult = Call68KCode(s, gCallback, 0);
    gAfterCallback = true;
}

TEST_F(TrapsTest, ThrowFromACallbackResumesAtTheJumpPointWithNestedRunsUnwound) {
    ASSERT_EQ(A68kSetTrapAddress(&ctx_.state, 1, CallbackTrap), 0);
    auto callback = Assemble("move.w #0x1234,-(%sp)\n trap #15\n .short 0xA087\n .short 0x4AFC");
    gCallback = Addr(callback.data());
    gAfterCallback = false;
    uint32_t sp = ctx_.state.A[7];
    EXPECT_EQ(RunAsm(R"(
        trap #15
        .short 0xA088           | ErrExceptionList: A0 = the list head
        move.l %a0,%a4
        lea node(%pc),%a3
        move.l (%a4),(%a3)      | push the node
        move.l %a3,(%a4)
        pea 4(%a3)
        moveq #7,%d3
        trap #15
        .short 0xA085           | ErrSetJump
        addq.l #4,%sp
        tst.w %d0
        bne.s caught
        moveq #0,%d3
        trap #15
        .short 0xA001           | calls the callback, which throws
        moveq #-1,%d5
        rts
caught:
        move.l (%a3),(%a4)      | pop the node
        move.l %d0,%d6
        move.l 52(%a3),%d7      | the error thrown
        rts
        .even
node:   .space 56
)"),
              0);
    EXPECT_EQ(ctx_.state.D[6] & 0xFFFF, 1u);
    EXPECT_EQ(ctx_.state.D[7], 0x1234u);
    EXPECT_EQ(ctx_.state.D[3], 7u);
    EXPECT_NE(ctx_.state.D[5], 0xFFFFFFFFu);
    EXPECT_FALSE(gAfterCallback);
    EXPECT_EQ(ctx_.state.A[7], sp);
    EXPECT_EQ(ctx_.state.runDepth, 0u);
    EXPECT_EQ(ctx_.state.jumpChain, nullptr);
    EXPECT_EQ(ctx_.state.running, 1);
    EXPECT_EQ(ctx_.state.exceptionList, 0u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(TrapsTest, LongJumpOutsideTheListAndZeroResults) {
    EXPECT_EQ(RunAsm(R"(
        lea buf(%pc),%a3
        moveq #3,%d3
        move.l %a3,-(%sp)
        trap #15
        .short 0xA085           | ErrSetJump with a buffer not in the list
        addq.l #4,%sp
        addq.l #1,%d4
        tst.w %d0
        bne.s done
        moveq #9,%d3
        clr.w -(%sp)
        move.l %a3,-(%sp)
        trap #15
        .short 0xA086           | ErrLongJump(buf, 0): resumes with 1
done:   rts
        .even
buf:    .space 48
)"),
              0);
    EXPECT_EQ(ctx_.state.D[0] & 0xFFFF, 1u);
    EXPECT_EQ(ctx_.state.D[3], 3u);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_NE(Reports()[0].find("Zero result passed to PrvErrLongJump"), std::string::npos);
    // ErrThrow with nothing to catch it is reported and returns.
    EXPECT_EQ(RunAsm("move.w #5,-(%sp)\n trap #15\n .short 0xA087\n addq.l #2,%sp\n moveq #2,%d2\n rts"), 0);
    EXPECT_EQ(ctx_.state.D[2], 2u);
    EXPECT_NE(Reports().back().find("ErrThrow called without a pending ErrTry"), std::string::npos);
}

}  // namespace
}  // namespace morvel::test
