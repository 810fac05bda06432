#include "tamsk/devices/Devices.h"

#include "tamsk/board/Board.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Ac97.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Dma.h"
#include "tamsk/devices/Ethernet.h"
#include "tamsk/devices/EthernetBridge.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Keypad.h"
#include "tamsk/devices/Lcd.h"
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

constexpr uint64_t Bit(unsigned n) { return uint64_t(1) << n; }

// Every megabyte not listed reads 0 and ignores writes (0x44A00000 and 0x50000000 among them).
const BoardRegisterWindow kWindows[] = {
    {kDmaBase, DmaRead, DmaWrite},
    {kUartBases[0], UartRead, UartWrite},
    {kUartBases[1], UartRead, UartWrite},
    {kUartBases[2], UartRead, UartWrite},
    {0x40300000, I2cRead, nullptr},
    {kAc97Base, Ac97Read, Ac97Write},
    {kRtcBase, RtcRead, RtcWrite},
    {kOsTimerBase, OsTimerRead, OsTimerWrite},
    {kIntcBase, IntcRead, IntcWrite},
    {kGpioBase, GpioRead, GpioWrite},
    {kPowerManagerBase, PowerManagerRead, PowerManagerWrite},
    {kClockManagerBase, ClockRead, ClockWrite},
    {kKeypadBase, KeypadRead, KeypadWrite},
    {kTouchBase, TouchRead, TouchWrite},
    {kMmcBase, MmcRead, MmcWrite},
    {kMmcMirror, MmcRead, MmcWrite},
    {kNandBase, NandRead, NandWrite},
    {kLcdBase, LcdRead, LcdWrite},
};

// The interrupt controller comes first (it is reset before, and saved after, every other block);
// the NAND controller's registers come just before the memory, which holds its array.
const BoardUnit kUnits[] = {
    {IntcReset, IntcSave},
    {ClockReset, ClockSave},
    {NandReset, NandSave},
    {MemResetMap, MemSave},
    {LcdReset, LcdSave},
    {DmaReset, DmaSave},
    {UartSetup, UartSave},
    {GpioReset, GpioSave},
    {EthReset, EthSave},  // after GPIO, which carries its interrupt
    {PowerManagerReset, PowerManagerSave},
    {MmcReset, MmcSave},
    {KeypadReset, KeypadSave},
    {Ac97Reset, Ac97Save},
    {TouchReset, TouchSave},
};

const PendingService kServices[] = {
    {Bit(kPendingFfuart), [](uint64_t) { UartService(0); }},
    {Bit(kPendingBtuart), [](uint64_t) { UartService(1); }},
    {Bit(kPendingStuart), [](uint64_t) { UartService(2); }},
    {Bit(kPendingTouch), [](uint64_t) { TouchPenEvent(); }},
    {Bit(kPendingKeypad), [](uint64_t) { KeypadScan(); }},
    {Bit(kPendingEthernetReceive), [](uint64_t) { EthServeReceive(); }},
};

const BoardDescription kBoard = {
    kWindows,
    sizeof kWindows / sizeof kWindows[0],
    kUnits,
    sizeof kUnits / sizeof kUnits[0],
    kServices,
    sizeof kServices / sizeof kServices[0],
    {
        nullptr,             // 0 status event (the scheduler's)
        LcdFrameRefresh,     // 1 LCD frame refresh
        DmaCompletion,       // 2 DMA channel completion
        UartTransmitPacing,  // 3 UART transmit pacing
        UartWake,            // 4 UART wake
        TouchSample,         // 5 touch-screen sampling
        LcdEndOfFrameCheck,  // 6 LCD end-of-frame check
        DmaStartStep,        // 7 DMA channel step
        DmaTransfer,         // 8 DMA engine
        nullptr,             // 9 host thread time (the scheduler's)
    },
    {OsTimerTick, OsTimerSkip, OsTimerPlainTicks, OsTimerTicksToNextDue},
    RtcSecond,
    [] { return Intc.present != 0; },
};

}  // namespace

void DevicesInstall() { BoardDescribe(kBoard); }

}  // namespace tamsk
