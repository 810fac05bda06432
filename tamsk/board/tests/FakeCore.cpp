// A stand-in for the processor core, for tests of the board alone: no MMU (virtual addresses are
// physical), and CpuRun asks a test-supplied routine for the run's end code.
#include "tamsk/board/tests/FakeCore.h"

#include <cstring>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/Devices.h"
#include "tamsk/devices/EthernetBridge.h"

namespace tamsk {

std::function<int32_t()> FakeCoreRun = [] { return int32_t(kRunExit); };
std::vector<int32_t> FakeCoreResets;
uint8_t FakeMmuImage[kMmuChunkSize];
int FakeFlushes;

namespace {

const CoreInterface kFakeCore = {
    [] { return FakeCoreRun(); },
    [](int32_t code) { FakeCoreResets.push_back(code); },
    [](int32_t) {},
    [] { std::memset(FakeMmuImage, 0, sizeof FakeMmuImage); },
    [](uint8_t image[kMmuChunkSize]) { std::memcpy(image, FakeMmuImage, kMmuChunkSize); },
    [](const uint8_t image[kMmuChunkSize]) { std::memcpy(FakeMmuImage, image, kMmuChunkSize); },
    [] { ++FakeFlushes; },
    [](uint32_t address) { return MemHostPointer(address); },
    [](uint32_t, uint32_t) {},
};

// Every program that links the stand-in runs on it (and on the board's devices).
const bool g_installed = [] {
    BoardSetCore(kFakeCore);
    DevicesInstall();
    EthBridgeForbid();
    return true;
}();

}  // namespace

}  // namespace tamsk
