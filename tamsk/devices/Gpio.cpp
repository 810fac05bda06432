#include "tamsk/devices/Gpio.h"

#include "tamsk/board/RunLoop.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

GpioState Gpio;

namespace {
const uint32_t kTag = FourCC(">gpi");
// A restore cannot go on without the GPIO chunk.
[[maybe_unused]] const bool kRuleAdded = SessAddRule({kTag, sizeof(GpioState), true, nullptr});
constexpr uint32_t kLevel = 0x00, kEdge = 0x48;
}  // namespace

uint32_t GpioRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case kLevel: return Gpio.level;
    case kEdge: return Gpio.edge;
    }
    return 0;
}

void GpioWrite(uint32_t physical, uint32_t value) {
    if ((physical & 0xFFFFF) != kEdge) return;
    Gpio.edge &= ~value;
    IntcLower(kIrqGpio);
}

void GpioSignal(unsigned line) {
    const uint32_t bit = 1u << (line & 31);
    Gpio.level |= bit;
    Gpio.edge |= bit;
    IntcRaise(kIrqGpio);
}

void GpioReset(int32_t code) {
    if (code == kRunSave) return;
    if (code == kRunLoad || code == kRunPowerOnRestore) {
        if (!ChunkRestoreWords(kTag, Gpio)) HostFatal("Invalid or unexpected session data");
        return;
    }
    Gpio = {};
}

void GpioSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, Gpio);
}

}  // namespace tamsk
