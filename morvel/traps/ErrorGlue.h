// The error manager's try frames for 68K code, and its traps.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

// The native frame kept beside each 68K jump buffer of the exception list: the run that executed
// the ErrSetJump (a long jump resumes that run, unwinding every run and native frame above it)
// and the real A2, whose slot in the 68K buffer holds the frame's address.
struct TryFrame {
    TryFrame* below;
    RunFrame* run;
    uint32_t depth;
    uint32_t savedA2;
};

void ErrorGlueInstall(TrapHandler* table);
// Called by the dispatch when flag 0x08 is set: the top frame's jump point is the current run.
void TryFrameRearm(EmulState* s);
// Loads the registers from a 68K jump buffer and resumes there with `result` in D0.
void PrvErrLongJump(EmulState* s, uint32_t buffer, int16_t result);
void TryFramesFree(EmulState* s);

}  // namespace morvel
