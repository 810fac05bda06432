// ARM execution: the core's own decisions that a generated differential program cannot reach.
#include <gtest/gtest.h>

#include "tamsk/board/Timing.h"
#include "tamsk/cpu/TestBench.h"

using namespace tamsk;

namespace {

constexpr uint32_t kCode = 0x8000;

// Runs the words placed at kCode for n instructions in the given mode.
void Exec(std::initializer_list<uint32_t> code, int n, uint32_t mode = kModeSupervisor) {
    tb::WriteWords(kCode, code);
    tb::StartAt(kCode, mode);
    for (int k = 0; k < n; ++k) CpuStep();
}

class ArmTest : public ::testing::Test {
protected:
    void SetUp() override {
        tb::Init();
    }
};

TEST_F(ArmTest, MovAndAdd) {
    Exec({0xE3A00005, 0xE2801003}, 2);  // mov r0,#5; add r1,r0,#3
    EXPECT_EQ(gCpu.r[0], 5u);
    EXPECT_EQ(gCpu.r[1], 8u);
    EXPECT_EQ(gCpu.cur, kCode + 8);
    EXPECT_EQ(ExecutedInstructions, 2u);
}

}  // namespace
