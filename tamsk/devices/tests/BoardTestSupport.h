// A fixture for device tests on the whole board: default options with no serial bridge, the
// memory areas, and every device reset through the board's own order.
#pragma once

#include <gtest/gtest.h>

#include "tamsk/board/Board.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Uart.h"

namespace tamsk::test {

class BoardDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        OptLoadDefaults();
        OptSetText(Opt.SerialPort, "none");
        Opt.EnableEthernet = 0;  // no host adapter is bridged
        PendingEventWord = 0;
        MemAllocateAreas();
        BeforeReset();
        IntcReset(kRunPowerOn);
        BoardResetAll(kRunSoftReset);  // installs the device tables and resets every device
        CpuServicePending();
    }
    void TearDown() override { UartSave(kRunExit); }
    // What a test needs in place before the devices reset.
    virtual void BeforeReset() {}
};

}  // namespace tamsk::test
