// The DMA controller as guest code drives it: register writes, descriptors planted in memory,
// peripheral requests and the passing of emulated time. Guest-chosen addresses must end in the
// controller's error paths (a short move, a fatal condition), never in a host fault.
#include <cstdint>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Dma.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Uart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    fuzz::CatchFatal();
    static bool once = [] {
        OptLoadDefaults();
        MemAllocateAreas();
        MemClearDeviceTables();
        MemInstallDevice(kDmaBase, DmaRead, DmaWrite);
        MemInstallDevice(kIntcBase, IntcRead, IntcWrite);
        MemInstallDevice(kUartBases[0], UartRead, UartWrite);
        return true;
    }();
    (void)once;
    IntcReset(kRunPowerOn);
    ClockReset(kRunPowerOn);
    DmaReset(kRunPowerOn);
    // Records of 9 bytes: an operation, an address and a value.
    try {
        for (size_t at = 0; at + 9 <= size; at += 9) {
            const uint8_t op = data[at];
            const uint32_t address = ChunkGet32(data + at + 1), value = ChunkGet32(data + at + 5);
            switch (op % 4) {
            case 0: DmaWrite(kDmaBase + (address & 0x1FFC), value); break;
            case 1: {  // a word of guest memory: the first 512 KB of DRAM or SRAM
                const uint32_t word = (op & 4 ? kSramBase : kDramBase) | (address & 0x7FFFC);
                ChunkPut32(reinterpret_cast<uint8_t*>(MemHostPointer(word)), value);
                break;
            }
            case 2:
                for (uint32_t i = value & 0x1FFF; i != 0; --i) TimingTick();
                break;
            default: DmaPeripheralRequest(kDmaBase + 0x100 + (address & 0x1FFC)); break;
            }
        }
    } catch (const fuzz::Fatal&) {
    }
    return 0;
}
