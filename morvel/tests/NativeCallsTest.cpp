// Native code called from 68K code: a named library's entry called once (and the library closed
// again), names that are refused or taken for code, and native code calling 68K code back.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "M68kTestKit.h"
#include "common/BigEndian.h"
#include "morvel/traps/NativeCalls.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {
namespace {

uint32_t gTrapA7;
void DoubleArgument(EmulState* s, uint16_t) {
    gTrapA7 = s->A[7];
    s->D[0] = GetArgUInt32(s, 0) * 2;
    s->A[0] = 0xA0A0A0A0u;
}

class NativeCallsTest : public TrapGlueTest {
protected:
    void SetUp() override {
        TrapGlueTest::SetUp();
        // Everything the test touches counts as readable 68K memory.
        ctx_.state.regions[0] = {0x00010000u, 0xFFFE0000u};
        ASSERT_EQ(A68kSetTrapAddress(&ctx_.state, 0x123, DoubleArgument), 0);
    }
    // TvkNativeCall(code, user data) with the code given as text; D0 and A0 after it.
    uint32_t NativeCall(const std::string& asciz) {
        ctx_.state.D[0] = ctx_.state.A[0] = 0xDEAD;
        EXPECT_EQ(Run(" pea data(%pc)\n pea name(%pc)\n trap #15\n .short 0xA45A\n addq.l #8,%sp\n rts\n"
                      "name: " + asciz + "\n .even\n"),
                  0);
        EXPECT_EQ(ctx_.state.A[0], ctx_.state.D[0]);
        return ctx_.state.D[0];
    }
};

TEST_F(NativeCallsTest, ALibraryEntryIsCalledOnceAndTheLibraryClosedAgain) {
    gTrapA7 = 0;
    uint32_t a7 = ctx_.state.A[7];
    EXPECT_EQ(NativeCall(".asciz \"" MORVEL_NATIVE_LIB "\"\n .asciz \"NativeAdd\"\n .long 0"), 10u);
    EXPECT_EQ(gTrapA7 + 4 + 8 + 4, a7);  // the argument below the 68K caller's own and its return
    EXPECT_EQ(ctx_.state.A[7], a7);
    EXPECT_EQ(dlopen(MORVEL_NATIVE_LIB, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(NativeCallsTest, RefusedNamesAndCodeAnswerZero) {
    const char* cases[] = {
        ".asciz \"library.dll\"\n .asciz \"NativeAdd\"",             // not loaded
        ".asciz \"" MORVEL_NATIVE_LIB "\"\n .asciz \"NoSuchEntry\"",  // no such entry
        ".asciz \"/no/such/library.so\"\n .asciz \"NativeAdd\"",
        ".asciz \"" MORVEL_NATIVE_LIB "\"\n .byte 0x7F, 0",           // the entry's name is no text
        ".asciz \"a.so\\x01\"",                                       // unprintable: code
        ".asciz \".so\"",                                             // three characters: code
    };
    for (const char* c : cases) EXPECT_EQ(NativeCall(c), 0u) << c;
}

TEST_F(NativeCallsTest, NativeCodeCallsTrapsAndRoutinesBack) {
    ASSERT_EQ(Run(" rts\n"), 0);  // a context that has run, for its stack
    uint8_t argument[4];
    vantor::WriteBE32(argument, 21);
    uint32_t a7 = ctx_.state.A[7];
    EXPECT_EQ(Call68KFromNative(&ctx_.state, 0x123, argument, 4), 42u);
    EXPECT_EQ(Call68KFromNative(&ctx_.state, 0x123, argument, 4 | kCallReturnsA0), 0xA0A0A0A0u);
    EXPECT_EQ(ctx_.state.A[7], a7);
    // A 68K routine: its argument lies above its return address.
    std::vector<uint8_t> routine = Assemble("move.l 4(%sp),%d0\n addq.l #1,%d0\n rts");
    EXPECT_EQ(Call68KFromNative(&ctx_.state, Addr(routine.data()), argument, 4), 22u);
    EXPECT_EQ(ctx_.state.A[7], a7);
}

}  // namespace
}  // namespace morvel::test
