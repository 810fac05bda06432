// What the UART and DMA tests share: bytes put into a UART's receive side as its monitor does.
#pragma once

#include <cstring>
#include <string>

#include "tamsk/board/Timing.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/devices/UartState.h"
#include "tamsk/board/HostThreads.h"

namespace tamsk::test {

// Puts bytes into a UART's receive buffer the way its monitor does (the UART must be started).
inline void Deliver(unsigned u, const std::string& bytes) {
    UartUnit& t = Uarts[u];
    win32::EnterCriticalSection(HostLock(t.rxLock));
    std::memcpy(t.rx, bytes.data(), bytes.size());
    t.rxCount = uint32_t(bytes.size());
    t.rxPos = 0;
    win32::LeaveCriticalSection(HostLock(t.rxLock));
    t.pending.fetch_or(kCauseRxData);
    CpuRequestAttention(UartPendingBit(u));
}

}  // namespace tamsk::test
