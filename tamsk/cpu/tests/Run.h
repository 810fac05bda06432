// Helpers of the processor's tests: code placed in NOR and run instruction by instruction on the
// board's memory.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "tamsk/board/Timing.h"
#include "tamsk/cpu/TestBench.h"

namespace cputest {

using namespace tamsk;

constexpr uint32_t kCode = 0x8000;

// ARM words at kCode, run for n instructions from there in the given mode.
inline void RunArm(std::initializer_list<uint32_t> code, int n, uint32_t mode = kModeSupervisor) {
    tb::WriteWords(kCode, code);
    tb::StartAt(kCode, mode);
    for (int k = 0; k < n; ++k) CpuStep();
}

// Thumb halfwords at kCode, run for n instructions in Thumb state.
inline void RunThumb(std::initializer_list<uint16_t> code, int n, uint32_t mode = kModeSupervisor) {
    tb::WriteHalves(kCode, code);
    tb::StartAt(kCode, mode, true);
    for (int k = 0; k < n; ++k) CpuStep();
}

class CpuTest : public ::testing::Test {
protected:
    void SetUp() override { tb::Init(); }
};

}  // namespace cputest
