// The three 16550-style UARTs (FFUART, BTUART, STUART). The first is bridged to a TCP socket
// (option SerialPort) by a monitor thread of its own (UartBridge.cpp).
#pragma once

#include <cstdint>

namespace tamsk {

constexpr unsigned kUartCount = 3;
constexpr uint32_t kUartBases[kUartCount] = {0x40100000, 0x40200000, 0x40700000};

// Register access (device handlers) and the one-byte access of the first UART.
uint32_t UartRead(uint32_t physical);
void UartWrite(uint32_t physical, uint32_t value);

// The core's service of the UART's pending bit (22, 21, 20): moves received bytes in and evaluates
// the UART's pending causes.
void UartService(unsigned uart);
// Timed callbacks: transmit pacing (id 3) and the wake of the socket side (id 4); the argument is
// the UART's index.
void UartTransmitPacing(uint32_t uart);
void UartWake(uint32_t uart);

// Reset or restore for the run code (part of BoardResetAll), and the end of a run: chunks on code
// 4, winding the socket side down on the others.
void UartSetup(int32_t code);
void UartSave(int32_t code);

}  // namespace tamsk
