// The LCD controller as guest code drives it: register writes, descriptors and palettes planted in
// memory, frame refreshes, reading the displayed pixels, and a restore from the saved chunks.
// Guest-chosen addresses and sizes must end in the controller's error paths (nothing shown, a
// fatal condition), never in a host fault.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Lcd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    fuzz::CatchFatal();
    static const std::string session = [] {
        OptLoadDefaults();
        MemAllocateAreas();
        MemClearDeviceTables();
        char path[] = "/tmp/tamsk-lcd-fuzz-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) close(fd);
        return std::string(path);
    }();
    IntcReset(kRunPowerOn);
    ClockReset(kRunPowerOn);
    LcdReset(kRunPowerOn);
    static std::vector<uint32_t> pixels(1024 * 2048);
    // Records of 9 bytes: an operation, an address and a value.
    try {
        for (size_t at = 0; at + 9 <= size; at += 9) {
            const uint8_t op = data[at];
            const uint32_t address = ChunkGet32(data + at + 1), value = ChunkGet32(data + at + 5);
            switch (op % 5) {
            case 0: LcdWrite(kLcdBase + (address & 0x3FC), value); break;
            case 1: {  // a word of guest memory: the first 512 KB of DRAM or SRAM
                const uint32_t word = (op & 8 ? kSramBase : kDramBase) | (address & 0x7FFFC);
                ChunkPut32(reinterpret_cast<uint8_t*>(MemHostPointer(word)), value);
                break;
            }
            case 2: LcdFrameRefresh(0); break;
            case 3: LcdFramePixels(pixels.data(), address & 0x3FF, value & 0x7FF); break;
            default:  // the controller saved and restored, or restored from chunks of the input
                SessSetPath(session.c_str());
                if (op & 8) {
                    SessTruncate();
                    LcdSave(kRunSave);
                    SessFinishSave();
                } else {
                    FILE* f = std::fopen(session.c_str(), "wb");
                    if (f) {
                        std::fwrite(data + at, 1, size - at, f);
                        std::fclose(f);
                    }
                }
                LcdReset(kRunLoad);
                break;
            }
        }
    } catch (const fuzz::Fatal&) {
    }
    return 0;
}
