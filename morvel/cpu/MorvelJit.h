// Translation of hot 68K code to x86-32 machine code, run from the interpreter's loop.
#pragma once

#include <cstdint>

namespace morvel {

// The interpreter's working state as translated code reads and writes it: the registers, PC and
// the condition codes in the interpreter's own form (see Cpu in MorvelCpu.cpp).
struct JitFrame {
    uint32_t R[16];  // D0-D7, A0-A7
    uint32_t pc;
    uint32_t res;  // N and Z: the last result, sign in bit 31, 0 when Z is set
    uint32_t vc;   // C in bit 0, V in bit 1, N in bit 3 where res cannot hold it
    uint32_t x;    // 0 or 1
    uint32_t scratch;
};

#if defined(__i386__) || defined(__x86_64__)
#define MORVEL_JIT 1

// Runs translated code from f->pc for as long as there is some, translating code that has become
// hot on the way; returns with the state at the first instruction left to the interpreter.
void JitRun(JitFrame* f);

// How many visits make code hot (0: never translate). Tests use 1.
constexpr uint32_t kDefaultJitThreshold = 8;
void MorvelSetJitThreshold(uint32_t visits);
#endif

}  // namespace morvel
