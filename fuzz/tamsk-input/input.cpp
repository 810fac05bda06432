// The input and power blocks as guest code and the host drive them: the input is first read as a
// session file (the blocks restore what chunks it holds), then as records of register accesses,
// host key, pen and wheel input and the passing of emulated time. Nothing may fault, and the
// sampling may never flood the event table.
#include <algorithm>
#include <cstdint>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Ac97.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/PowerManager.h"
#include "tamsk/devices/TouchScreen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    constexpr uint32_t kBases[] = {kKeypadBase, kTouchBase, kAc97Base, kPowerManagerBase, kGpioBase};
    fuzz::CatchFatal();
    static bool once = [] {
        OptLoadDefaults();
        MemClearDeviceTables();
        MemInstallDevice(kKeypadBase, KeypadRead, KeypadWrite);
        MemInstallDevice(kTouchBase, TouchRead, TouchWrite);
        MemInstallDevice(kAc97Base, Ac97Read, Ac97Write);
        MemInstallDevice(kPowerManagerBase, PowerManagerRead, PowerManagerWrite);
        MemInstallDevice(kGpioBase, GpioRead, GpioWrite);
        return true;
    }();
    (void)once;
    PendingEventWord = 0;
    IntcReset(kRunPowerOn);
    ClockReset(kRunPowerOn);
    SessSetPath(fuzz::ScratchFile(data, size).c_str());
    try {
        KeypadReset(kRunLoad);
        TouchReset(kRunLoad);
        Ac97Reset(kRunLoad);
        GpioReset(kRunLoad);
        PowerManagerReset(kRunLoad);
    } catch (const fuzz::Fatal&) {
        PowerManagerReset(kRunPowerOn);
        GpioReset(kRunPowerOn);
    }
    // Records of 9 bytes: an operation, an address and a value.
    try {
        for (size_t at = 0; at + 9 <= size; at += 9) {
            const uint8_t op = data[at];
            const uint32_t address = ChunkGet32(data + at + 1), value = ChunkGet32(data + at + 5);
            const uint32_t reg = kBases[(op >> 3) % 5] | (address & 0x3FF);
            switch (op % 7) {
            case 0: DeviceWrite(reg, value); break;
            case 1: DeviceRead(reg); break;
            case 2: {  // up to 65535 ticks, in one step as far as the next due event or match
                const uint32_t next = CpuTicksToNextDue();
                const uint32_t n = std::min(value & 0xFFFF, next == ~0u ? next : next + 1);
                if (n) CpuAdvanceTicks(n);
                break;
            }
            case 3: KeypadHostKey(address & 0x7F, value & 1); break;
            case 4: TouchHostPen(value & 1, int32_t(address), int32_t(value)); break;
            case 5: KeypadHostWheel(int32_t(value)); break;
            default: GpioSignal(address); break;
            }
            CpuServicePending();
        }
    } catch (const fuzz::Fatal&) {
    }
    return 0;
}
