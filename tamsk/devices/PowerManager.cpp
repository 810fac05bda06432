#include "tamsk/devices/PowerManager.h"

#include "tamsk/board/RunLoop.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

PowerManagerState PowerManager;

namespace {

const uint32_t kTag = FourCC(">pow");
// A restore cannot go on without the power manager's chunk.
[[maybe_unused]] const bool kRuleAdded = SessAddRule({kTag, sizeof(PowerManagerState), true, nullptr});

uint32_t* Register(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case 0x04: return &PowerManager.reg04;
    case 0x08: return &PowerManager.reg08;
    case 0x30: return &PowerManager.reg30;
    }
    return nullptr;
}

}  // namespace

uint32_t PowerManagerRead(uint32_t physical) {
    const uint32_t* reg = Register(physical);
    return reg ? *reg : 0;
}

void PowerManagerWrite(uint32_t physical, uint32_t value) {
    if (uint32_t* reg = Register(physical)) *reg = value;
}

void PowerManagerReset(int32_t code) {
    if (code == kRunSave) return;
    if (code == kRunLoad || code == kRunPowerOnRestore) {
        if (!ChunkRestoreWords(kTag, PowerManager)) HostFatal("Invalid or unexpected session data");
        return;
    }
    PowerManager = {32, 0, 1, 0};
}

void PowerManagerSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, PowerManager);
}

}  // namespace tamsk
