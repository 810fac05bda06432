#include "tamsk/board/Board.h"

#include <cstring>

#include "tamsk/board/CoreInterface.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/PatchTable.h"
#include "tamsk/board/Rom.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/Ac97.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Dma.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/Mmc.h"
#include "tamsk/devices/Nand.h"
#include "tamsk/devices/OsTimer.h"
#include "tamsk/devices/PowerManager.h"
#include "tamsk/devices/Rtc.h"
#include "tamsk/devices/TouchScreen.h"
#include "tamsk/devices/Uart.h"

namespace tamsk {

namespace {

// The I2C controller: one register answers, the rest read 0.
uint32_t I2cRead(uint32_t physical) { return physical == 0x40301698 ? 0x40 : 0; }

// Earlier sessions stored SRAM and DRAM without their last byte; such chunks are still read.
void RestoreRam(uint32_t tag, uint8_t* area, uint32_t size) {
    if (!SessReadChunkKeep(tag, area, size)) SessReadChunkKeep(tag, area, size - 1);
}

bool IsRestore(int32_t code) { return code == kRunLoad || code == kRunPowerOnRestore; }

void InstallDevices() {
    MemClearDeviceTables();
    MemInstallDevice(kDmaBase, DmaRead, DmaWrite);
    for (unsigned u = 0; u < kUartCount; ++u) MemInstallDevice(kUartBases[u], UartRead, UartWrite);
    MemInstallDevice(0x40300000, I2cRead, nullptr);
    MemInstallDevice(kAc97Base, Ac97Read, Ac97Write);
    MemInstallDevice(kRtcBase, RtcRead, RtcWrite);
    MemInstallDevice(kOsTimerBase, OsTimerRead, OsTimerWrite);
    MemInstallDevice(kIntcBase, IntcRead, IntcWrite);
    MemInstallDevice(kGpioBase, GpioRead, GpioWrite);
    MemInstallDevice(kPowerManagerBase, PowerManagerRead, PowerManagerWrite);
    MemInstallDevice(kClockManagerBase, ClockRead, ClockWrite);
    MemInstallDevice(0x48100000, MemControllerRead, MemControllerWrite);
    MemInstallDevice(kKeypadBase, KeypadRead, KeypadWrite);
    MemInstallDevice(kTouchBase, TouchRead, TouchWrite);
    MemInstallDevice(kMmcBase, MmcRead, MmcWrite);
    MemInstallDevice(kMmcMirror, MmcRead, MmcWrite);
    MemInstallDevice(kNandBase, NandRead, NandWrite);
    // 0x44A00000 and 0x50000000 read 0 and ignore writes: the defaults. The LCD controller is not
    // modelled here and keeps the defaults too.
}

}  // namespace

void MemSetupAreas(int32_t code) {
    if (code == kRunSave) return;
    if (code == kRunPowerOn || code == kRunPowerOnRestore) MemAllocateAreas();
    NandReset(code);
    // NAND contents: erased at power-on; restored (or erased when missing) on a load.
    if (IsRestore(code)) {
        if (!SessReadChunk(FourCC(">nad"), MemNandData, kNandDataSize))
            std::memset(MemNandData, 0xFF, kNandDataSize);
        if (!SessReadChunk(FourCC(">nas"), MemNandSpare, kNandSpareSize))
            std::memset(MemNandSpare, 0xFF, kNandSpareSize);
    } else if (code == kRunPowerOn) {
        std::memset(MemNandData, 0xFF, kNandDataSize + kNandSpareSize);
    }
    if (IsRestore(code)) {
        RestoreRam(FourCC(">sra"), MemSram, kSramSize);
        RestoreRam(FourCC(">dra"), MemDram, kDramSize);
        char path[kOptionTextSize];
        if (SessReadChunk(FourCC(">rfn"), path, sizeof path)) {
            path[sizeof path - 1] = '\0';
            OptSetText(RomPath(), path);
        }
    }
    if (code == kRunPowerOn || code == kRunHardReset) MemLoadRom();
}

void MemResetMap(int32_t code) {
    MemSetupAreas(code);
    if (code == kRunSave) return;
    int32_t step = code;
    if (IsRestore(code)) {
        uint8_t image[kMmuChunkSize];
        if (SessReadChunk(FourCC(">mem"), image, sizeof image))
            CpuMmuLoadImage(image);
        else
            step = kRunPowerOn;  // the rest of this step runs as a power-on
    }
    if (step == kRunHardReset) MemClearDram();
    if (step == kRunPowerOn || step == kRunHardReset || step == kRunSoftReset) CpuMmuClear();
    MemBuildPageMap();
    PatchStart(step, IsRestore(step));
    CpuFlushTranslationCaches();
}

void MemSave(int32_t code) {
    if (code != kRunSave) {
        PatchEnd(code);
        return;
    }
    uint8_t image[kMmuChunkSize];
    CpuMmuSaveImage(image);
    SessWriteChunk(FourCC(">mem"), image, sizeof image);
    PatchSave(code);
    NandSave(code);
    SessWriteChunk(FourCC(">nad"), MemNandData, kNandDataSize);
    SessWriteChunk(FourCC(">nas"), MemNandSpare, kNandSpareSize);
    SessWriteChunk(FourCC(">sra"), MemSram, kSramSize);
    SessWriteChunk(FourCC(">dra"), MemDram, kDramSize);
    char path[kOptionTextSize] = {};
    OptSetText(path, RomPath());
    SessWriteChunk(FourCC(">rfn"), path, sizeof path);
}

void BoardResetAll(int32_t code) {
    if (code != kRunSave) InstallDevices();
    ClockReset(code);
    MemResetMap(code);
    DmaReset(code);
    UartSetup(code);
    GpioReset(code);
    PowerManagerReset(code);
    MmcReset(code);
    KeypadReset(code);
    Ac97Reset(code);
    TouchReset(code);
}

void SessSaveAll(int32_t code) {
    TouchSave(code);
    Ac97Save(code);
    KeypadSave(code);
    MmcSave(code);
    PowerManagerSave(code);
    GpioSave(code);
    UartSave(code);
    DmaSave(code);
    MemSave(code);
    ClockSave(code);
}

}  // namespace tamsk
