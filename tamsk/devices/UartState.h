// The state of one UART, shared by the register model (core thread, Uart.cpp) and its socket
// monitor (UartBridge.cpp). The monitor reaches the model only through the receive buffer (under
// the receive lock), the connected socket (under the transmit lock) and the atomic pending causes.
#pragma once

#include <atomic>
#include <cstdint>

namespace tamsk {

constexpr uint32_t kUartBufferSize = 4096;
constexpr uint32_t kUartChunkSize = 8392;

// Pending causes posted to the model, evaluated on the core thread.
enum : uint32_t {
    kCauseLinkUp = 1,
    kCauseLinkDown = 2,
    kCauseTxEmpty = 4,
    kCauseTxBusy = 8,
    kCauseRxData = 16,
};

// Interrupt identification codes (low four bits of IIR).
enum : uint32_t {
    kIirModemStatus = 0,
    kIirNone = 1,
    kIirTxEmpty = 2,
    kIirRxData = 4,
    kIirLineStatus = 6,
    kIirTimeout = 8,
};

struct UartRegisters {
    uint32_t dll, dlh;   // divisor latch (LCR bit 7)
    uint32_t ier;        // interrupt enable: 0 rx, 1 tx, 3 modem status, 6 unit enable, 7 DMA
    uint32_t iir;        // interrupt identification; bits 6-7 set in FIFO mode
    uint32_t fcr;        // FIFO control as last written
    uint32_t lcr, mcr;
    uint32_t lsr;        // 0 data ready, 1-4 errors, 5 transmit holding empty, 6 transmitter empty
    uint32_t msr;        // bits 4-7: CTS, DSR, RI, DCD
    uint32_t msrRead;    // the modem status as last read
    uint32_t spr, isr;
    uint32_t source;     // interrupt source
};

struct UartUnit {
    UartRegisters reg;

    // Model side (core thread).
    uint32_t deferred = 0;         // causes that could not be shown yet
    uint32_t txCount = 0;
    uint8_t tx[kUartBufferSize];
    bool txScheduled = false;      // the pacing event stands in the scheduler
    bool waiting = false;          // a read found nothing
    bool machineReady = false;     // RTS was raised
    bool console = false;          // no socket: output goes to the console

    // Shared with the monitor.
    std::atomic<uint32_t> pending{0};  // causes posted by either side
    uint32_t rxCount = 0, rxPos = 0;   // under the receive lock
    uint8_t rx[kUartBufferSize];
    int socket = -1;                   // the connected peer, under the transmit lock

    // Socket side (set up by the core at a run's start, run by the monitor).
    char name[8] = {};
    char address[32] = {};         // host:port; empty for none
    bool started = false;
    std::atomic<bool> paused{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> bridged{false};  // the address was valid and a socket side runs
    std::atomic<bool> linkUp{false};   // a peer is connected
    bool survivesReset = false;
    unsigned thread = 0, rxLock = 0, txLock = 0;
    unsigned ready = 0, wake = 0, stop = 0, spare = 0;  // event slots
};

extern UartUnit Uarts[3];
// Pending-word bit of each UART (22, 21, 20).
unsigned UartPendingBit(unsigned uart);

// Socket side (UartBridge.cpp): start (or resume) and wind down for the run code.
void UartBridgeStart(unsigned uart);
void UartBridgeEnd(unsigned uart, int32_t code);
// Sends bytes to the connected peer; false when there is none (the caller keeps them).
bool UartBridgeSend(unsigned uart, const uint8_t* bytes, uint32_t count);

}  // namespace tamsk
