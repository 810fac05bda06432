#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/RunLoop.h"

namespace tamsk {

// What CpuRun returns (default: exit at once).
extern std::function<int32_t()> FakeCoreRun;
// The codes CpuReset was called with.
extern std::vector<int32_t> FakeCoreResets;
extern uint8_t FakeMmuImage[kMmuChunkSize];
extern int FakeFlushes;

}  // namespace tamsk
