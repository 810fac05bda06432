// The NAND and MMC controllers as guest code drives them: register reads and writes with
// guest-chosen commands, page numbers, columns and counts, optionally after restoring a
// controller chunk taken from the input. Every guest value must end in the controller's error
// paths (a fatal condition, a refused session), never in a host fault.
#include <cstdint>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Mmc.h"
#include "tamsk/devices/Nand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    fuzz::CatchFatal();
    static bool once = [] {
        OptLoadDefaults();
        MemAllocateAreas();
        MemClearDeviceTables();
        MemInstallDevice(kNandBase, NandRead, NandWrite);
        MemInstallDevice(kMmcBase, MmcRead, MmcWrite);
        MemInstallDevice(kIntcBase, IntcRead, IntcWrite);
        return true;
    }();
    (void)once;
    IntcReset(kRunPowerOn);
    MmcReset(kRunPowerOn);
    NandReset(kRunPowerOn);
    // The registers the controller defines, and now and then any offset of its block.
    static const uint32_t kOffsets[] = {0x00, 0x14, 0x40, 0x48, 0x48, 0x48, 0x4C, 0x50};
    try {
        // A leading 0xAE takes the next bytes as a saved controller and restores it.
        if (size >= 1 + kNandChunkSize && data[0] == 0xAE) {
            SessSetPath(fuzz::ScratchFile(nullptr, 0).c_str());
            SessTruncate();
            SessWriteChunk(FourCC(">nac"), data + 1, kNandChunkSize);
            if (SessFinishSave()) NandReset(kRunLoad);
            data += 1 + kNandChunkSize;
            size -= 1 + kNandChunkSize;
        }
        // Records of 9 bytes: an operation, an address and a value.
        for (size_t at = 0; at + 9 <= size; at += 9) {
            const uint8_t op = data[at];
            const uint32_t address = ChunkGet32(data + at + 1), value = ChunkGet32(data + at + 5);
            const uint32_t nand = kNandBase + (op & 0x80 ? address & 0xFFFFC : kOffsets[address & 7]);
            switch (op % 4) {
            case 0: NandWrite(nand, value); break;
            case 1:
                for (uint32_t i = value & 0x3FF; i != 0; --i) NandRead(nand);
                break;
            case 2: MmcWrite(kMmcBase + (address & 0x7C), value); break;
            default: MmcRead(kMmcBase + (address & 0xFFFFC)); break;
            }
        }
    } catch (const fuzz::Fatal&) {
    }
    return 0;
}
