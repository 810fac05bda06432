// Session files: chunks found by tag and length (whole or in pieces), the check of a whole session,
// and the restores of the interrupt controller, the clocks and timers with the future-event table,
// the patch table, NAND, GPIO and the power manager. A session that the check passes must restore
// without a fatal condition.
#include <cstdint>

#include "fuzz/tamsk/FuzzSupport.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Nand.h"
#include "tamsk/devices/PowerManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    fuzz::CatchFatal();
    static bool once = [] {
        OptLoadDefaults();
        MemAllocateAreas();
        return true;
    }();
    (void)once;
    SessSetPath(fuzz::ScratchFile(data, size).c_str());
    const bool sound = SessCheck(SessPath).empty();
    uint8_t small[300];
    SessReadChunk(FourCC(">rfn"), small, 260);
    SessReadChunk(FourCC(">tin"), small, 1);
    // A chunk taken a piece at a time (as NAND is restored): pieces stay within their size.
    SessReadChunkPieces(FourCC(">tip"), 5000, 1000, [](uint32_t offset, const uint8_t* piece, uint32_t n) {
        if (offset >= 5000 || n > 1000 || offset + n > 5000 || !piece) __builtin_trap();
    });
    try {
        IntcReset(kRunLoad);
        ClockReset(kRunLoad);
        PatchStart(kRunLoad, true);
        PatchEnd(kRunExit);
        NandReset(kRunLoad);
        GpioReset(kRunLoad);
        PowerManagerReset(kRunLoad);
    } catch (const fuzz::Fatal&) {
        if (sound) __builtin_trap();
    }
    return 0;
}
