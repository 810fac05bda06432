// A stand-in for the processor core, for tests of the board alone: no MMU (virtual addresses are
// physical), and CpuRun asks a test-supplied routine for the run's end code.
#include "tamsk/board/tests/FakeCore.h"

#include <cstring>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Session.h"

namespace tamsk {

std::function<int32_t()> FakeCoreRun = [] { return int32_t(kRunExit); };
std::vector<int32_t> FakeCoreResets;
uint8_t FakeMmuImage[kMmuChunkSize];
int FakeFlushes;

int32_t CpuRun() { return FakeCoreRun(); }
void CpuReset(int32_t code) { FakeCoreResets.push_back(code); }
void CpuSave(int32_t) {}
void CpuMmuClear() { std::memset(FakeMmuImage, 0, sizeof FakeMmuImage); }
void CpuMmuSaveImage(uint8_t image[kMmuChunkSize]) { std::memcpy(image, FakeMmuImage, kMmuChunkSize); }
void CpuMmuLoadImage(const uint8_t image[kMmuChunkSize]) {
    std::memcpy(FakeMmuImage, image, kMmuChunkSize);
}
void CpuFlushTranslationCaches() { ++FakeFlushes; }
uintptr_t CpuHostPointer(uint32_t address) { return MemHostPointer(address); }

}  // namespace tamsk
