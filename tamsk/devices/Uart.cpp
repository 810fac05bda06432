// The three UARTs' register model: FIFOs, interrupt causes, line and modem status, transmit pacing.
#include "tamsk/devices/Uart.h"

#include <cstring>
#include <memory>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/Dma.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/UartState.h"
#include "tamsk/board/Console.h"
#include "tamsk/board/HostThreads.h"

namespace tamsk {

UartUnit Uarts[3];

namespace {

constexpr uint32_t kSources[kUartCount] = {kIrqFfuart, kIrqBtuart, kIrqStuart};
constexpr unsigned kPendingBits[kUartCount] = {kPendingFfuart, kPendingBtuart, kPendingStuart};
constexpr const char* kNames[kUartCount] = {"FFUART", "BTUART", "STUART"};
const uint32_t kTags[kUartCount] = {FourCC(">ffu"), FourCC(">btu"), FourCC(">stu")};
// Where each UART's receive requests go in the DMA request map (lines 6, 4 and 19).
constexpr uint32_t kDmaRequests[kUartCount] = {kDmaRequestFfuartRx, kDmaRequestBtuartRx,
                                               kDmaRequestStuartRx};

enum : uint32_t {
    kLsrDataReady = 1,
    kLsrErrors = 0x1E,
    kLsrTxHoldingEmpty = 0x20,
    kLsrTxEmpty = 0x40,
    kIerRx = 1,
    kIerTx = 2,
    kIerModem = 8,
    kIerUnit = 0x40,
    kIerDma = 0x80,
    kIirFifo = 0xC0,
    kLcrDivisor = 0x80,
    kMcrRts = 2,
};

uint32_t Limit(int32_t option) {
    return option < 1 ? 1 : uint32_t(option) > kUartBufferSize ? kUartBufferSize : uint32_t(option);
}

unsigned UartOf(uint32_t physical) {
    for (unsigned u = 0; u < kUartCount; ++u)
        if ((physical & 0xFFF00000) == kUartBases[u]) return u;
    return 0;
}

bool Flush(unsigned u);

bool FifoMode(const UartUnit& t) { return (t.reg.iir & kIirFifo) == kIirFifo; }
bool CauseShowing(const UartUnit& t) { return !(t.reg.iir & 1); }

void Show(UartUnit& t, uint32_t code) {
    t.reg.iir = (t.reg.iir & ~0xFu) | code;
    if (t.reg.ier & kIerUnit) IntcRaise(t.reg.source);
}

// Evaluates the posted and deferred causes (core thread).
void Evaluate(unsigned u) {
    UartUnit& t = Uarts[u];
    uint32_t causes = t.pending.exchange(0) | t.deferred;
    t.deferred = 0;
    if (causes & (kCauseLinkUp | kCauseLinkDown)) {
        t.reg.msr = t.linkUp.load() ? 0xB0 : 0;  // CTS, DSR and DCD while a peer is there
        // Bytes held while no peer was there go out now.
        if (t.linkUp.load() && t.txCount && Flush(u)) {
            t.reg.lsr |= kLsrTxEmpty;
            causes |= kCauseTxEmpty;
        }
        if (t.reg.msr != t.reg.msrRead && (t.reg.ier & (kIerUnit | kIerModem)) == (kIerUnit | kIerModem)) {
            if (!CauseShowing(t))
                Show(t, kIirModemStatus);
            else
                t.deferred |= causes & (kCauseLinkUp | kCauseLinkDown);
        }
    }
    if (causes & kCauseTxBusy) t.reg.lsr &= ~(kLsrTxHoldingEmpty | kLsrTxEmpty);
    if (causes & kCauseTxEmpty) {
        t.reg.lsr |= kLsrTxHoldingEmpty;
        if (FifoMode(t)) {
            if ((t.reg.ier & (kIerUnit | kIerTx)) == (kIerUnit | kIerTx) && !CauseShowing(t))
                Show(t, kIirTxEmpty);
            else
                t.deferred |= kCauseTxEmpty;
        }
    }
    if (causes & kCauseRxData) {
        if (!(t.reg.ier & kIerUnit)) {
            t.deferred |= kCauseRxData;  // shown once the unit is enabled
        } else {
            t.reg.lsr |= kLsrDataReady;
            if (FifoMode(t) && (t.reg.ier & kIerRx)) {
                if (!CauseShowing(t))
                    Show(t, kIirRxData);
                else
                    t.deferred |= kCauseRxData;
            } else if (FifoMode(t) && (t.reg.ier & kIerDma)) {
                DmaPeripheralRequest(kDmaRequests[u]);
            }
        }
    }
}

// Clears a cause that is showing, then evaluates what waits.
void ClearCause(unsigned u, uint32_t code) {
    UartUnit& t = Uarts[u];
    if ((t.reg.iir & 0xF) != code) return;
    IntcLower(t.reg.source);
    t.reg.iir = (t.reg.iir & ~0xEu) | 1;
    Evaluate(u);
}

void ScheduleWake(unsigned u) {
    if (!EvtIsScheduled(UartWake, u)) EvtSchedule(64 / TimingRatio(), UartWake, u);
}

// Empties the receive side and lets the monitor deliver more.
void DrainReceive(unsigned u) {
    UartUnit& t = Uarts[u];
    if (t.started) win32::EnterCriticalSection(HostLock(t.rxLock));
    t.rxCount = t.rxPos = 0;
    if (t.started) {
        win32::LeaveCriticalSection(HostLock(t.rxLock));
        win32::SetEvent(HostEvent(t.wake));
    }
}

uint32_t ReceiveByte(unsigned u) {
    UartUnit& t = Uarts[u];
    if (Opt.SensorialIsolation) {
        DrainReceive(u);
        t.reg.lsr &= ~kLsrDataReady;
        DmaStopMove();
        return 0;
    }
    if (t.started) win32::EnterCriticalSection(HostLock(t.rxLock));
    const bool had = t.rxPos < t.rxCount;
    const uint32_t byte = had ? t.rx[t.rxPos++] : 0;
    const bool left = t.rxPos < t.rxCount;
    if (t.started) win32::LeaveCriticalSection(HostLock(t.rxLock));
    if (had && !left) ScheduleWake(u);  // the monitor may deliver more
    // Data ready follows what is left, with and without FIFOs: bytes not yet read stay visible.
    if (!left) {
        t.reg.lsr &= ~kLsrDataReady;
        ClearCause(u, kIirRxData);
        ClearCause(u, kIirTimeout);
    }
    if (!had) {
        DmaStopMove();  // a DMA move reading the receive register ends here
        t.waiting = true;
        CpuRequestAttention(kPendingBits[u]);
    }
    return byte;
}

// Passes the transmit buffer on: to the peer, or to the console, or nowhere. A bridged UART
// without a peer keeps its bytes until one connects. Returns false when the bytes were kept.
bool Flush(unsigned u) {
    UartUnit& t = Uarts[u];
    if (t.txCount == 0) return true;
    if (t.bridged.load()) {
        if (!UartBridgeSend(u, t.tx, t.txCount)) return false;
    } else if (t.console) {
        for (uint32_t i = 0; i < t.txCount; ++i) ConsolePutByte(t.tx[i]);
    }
    t.txCount = 0;
    return true;
}

void TransmitByte(unsigned u, uint8_t byte) {
    UartUnit& t = Uarts[u];
    const uint32_t delay = kUartBufferSize / TimingRatio();
    // The scheduler is the authority on whether the pacing event stands (a reset empties it).
    if (EvtIsScheduled(UartTransmitPacing, u))
        EvtAdvance(delay, u);
    else
        EvtSchedule(delay, UartTransmitPacing, u);
    t.txScheduled = true;
    const uint32_t limit = Limit(Opt.TxFIFO);
    if (t.txCount < limit) t.tx[t.txCount++] = byte;
    if (t.txCount >= limit && Flush(u)) t.reg.lsr |= kLsrTxEmpty;
    // Accepted while there is room; a full buffer waiting for a peer holds the line busy.
    if (t.txCount < limit)
        t.reg.lsr |= kLsrTxHoldingEmpty;
    else
        t.reg.lsr &= ~kLsrTxHoldingEmpty;
    if (t.txCount != 0) t.reg.lsr &= ~kLsrTxEmpty;
    ClearCause(u, kIirTxEmpty);
}

void WriteFifoControl(unsigned u, uint32_t value) {
    UartUnit& t = Uarts[u];
    const uint32_t changed = t.reg.fcr ^ value;
    t.reg.fcr = value;
    if (value & 1)
        t.reg.iir |= kIirFifo;
    else
        t.reg.iir &= ~kIirFifo;
    if (changed & 3) {
        t.reg.lsr &= ~kLsrDataReady;
        DrainReceive(u);
    }
    if (changed & 5) {
        t.reg.lsr |= kLsrTxHoldingEmpty;
        t.txCount = 0;
    }
}

void ClearRegisters(UartUnit& t, unsigned u) {
    t.reg = {};
    t.reg.dll = 2;
    t.reg.iir = kIirNone;
    t.reg.source = kSources[u];
}

void PutImage(const UartUnit& t, uint8_t* c) {
    std::memset(c, 0, kUartChunkSize);
    const uint32_t* words = &t.reg.dll;
    for (unsigned i = 0; i < sizeof(UartRegisters) / 4; ++i) ChunkPut32(c + 4 * i, words[i]);
    std::memcpy(c + 52, t.address, sizeof t.address);
    std::memcpy(c + 84, t.name, sizeof t.name);
    ChunkPut32(c + 92, t.deferred);
    ChunkPut32(c + 96, t.pending.load());
    ChunkPut32(c + 100, t.rxCount);
    ChunkPut32(c + 104, t.rxPos);
    ChunkPut32(c + 108, t.txCount);
    ChunkPut32(c + 112, uint32_t(t.txScheduled) | uint32_t(t.waiting) << 1 |
                            uint32_t(t.machineReady) << 2 | uint32_t(t.console) << 3);
    std::memcpy(c + 200, t.rx, kUartBufferSize);
    std::memcpy(c + 200 + kUartBufferSize, t.tx, kUartBufferSize);
}

bool ImageValid(const uint8_t* c) {
    const uint32_t rxCount = ChunkGet32(c + 100), rxPos = ChunkGet32(c + 104);
    return rxCount <= kUartBufferSize && rxPos <= rxCount && ChunkGet32(c + 108) <= kUartBufferSize;
}

void GetImage(UartUnit& t, const uint8_t* c) {
    uint32_t* words = &t.reg.dll;
    for (unsigned i = 0; i < sizeof(UartRegisters) / 4; ++i) words[i] = ChunkGet32(c + 4 * i);
    t.reg.source &= 63;
    t.deferred = ChunkGet32(c + 92);
    t.pending = ChunkGet32(c + 96);
    t.rxCount = ChunkGet32(c + 100);
    t.rxPos = ChunkGet32(c + 104);
    t.txCount = ChunkGet32(c + 108);
    const uint32_t flags = ChunkGet32(c + 112);
    t.txScheduled = flags & 1;
    t.waiting = flags & 2;
    t.machineReady = flags & 4;
    std::memcpy(t.rx, c + 200, kUartBufferSize);
    std::memcpy(t.tx, c + 200 + kUartBufferSize, kUartBufferSize);
}

bool Restore() {
    auto images = std::make_unique<uint8_t[]>(kUartCount * kUartChunkSize);
    for (unsigned u = 0; u < kUartCount; ++u) {
        uint8_t* c = images.get() + u * kUartChunkSize;
        if (!SessReadChunk(kTags[u], c, kUartChunkSize) || !ImageValid(c)) return false;
    }
    for (unsigned u = 0; u < kUartCount; ++u) GetImage(Uarts[u], images.get() + u * kUartChunkSize);
    return true;
}

}  // namespace

unsigned UartPendingBit(unsigned uart) { return kPendingBits[uart % kUartCount]; }

uint32_t UartRead(uint32_t physical) {
    const unsigned u = UartOf(physical);
    UartUnit& t = Uarts[u];
    const bool divisor = t.reg.lcr & kLcrDivisor;
    switch (physical & 0xFFFFF) {
    case 0x00: return divisor ? t.reg.dll : ReceiveByte(u);
    case 0x04: return divisor ? t.reg.dlh : t.reg.ier;
    case 0x08: {
        const uint32_t value = t.reg.iir;
        if (FifoMode(t)) ClearCause(u, kIirTxEmpty);
        return value;
    }
    case 0x0C: return t.reg.lcr;
    case 0x10: return t.reg.mcr;
    case 0x14: {
        const uint32_t value = t.reg.lsr;
        t.reg.lsr &= ~kLsrErrors;
        ClearCause(u, kIirLineStatus);
        return value;
    }
    case 0x18: {
        const uint32_t value = t.reg.msr & 0xF0;
        t.reg.msrRead = t.reg.msr;
        ClearCause(u, kIirModemStatus);
        return value;
    }
    case 0x1C: return t.reg.spr;
    case 0x20: return t.reg.isr;
    }
    HostFatal("Fishy UART register read");
}

void UartWrite(uint32_t physical, uint32_t value) {
    const unsigned u = UartOf(physical);
    UartUnit& t = Uarts[u];
    const bool divisor = t.reg.lcr & kLcrDivisor;
    switch (physical & 0xFFFFF) {
    case 0x00:
        if (divisor)
            t.reg.dll = value & 0xFF;
        else
            TransmitByte(u, uint8_t(value));
        return;
    case 0x04:
        if (divisor) {
            t.reg.dlh = value & 0xFF;
        } else {
            t.reg.ier = value & 0xFF;
            if (!(t.reg.ier & kIerUnit)) IntcLower(t.reg.source);
            Evaluate(u);
        }
        return;
    case 0x08: WriteFifoControl(u, value & 0xFF); return;
    case 0x0C: t.reg.lcr = value & 0xFF; return;
    case 0x10:
        t.reg.mcr = value & 0xFF;
        if (value & kMcrRts) {
            t.machineReady = true;
            CpuRequestAttention(kPendingBits[u]);
        }
        return;
    case 0x1C: t.reg.spr = value & 0xFF; return;
    case 0x20: t.reg.isr = value & 0xFF; return;
    }
    HostFatal("Fishy UART register write");
}

void UartService(unsigned uart) {
    UartUnit& t = Uarts[uart % kUartCount];
    t.waiting = false;
    Evaluate(uart % kUartCount);
}

void UartTransmitPacing(uint32_t uart) {
    const unsigned u = uart % kUartCount;
    UartUnit& t = Uarts[u];
    if (t.txCount && Flush(u)) {
        t.reg.lsr |= kLsrTxEmpty;
        t.pending.fetch_or(kCauseTxEmpty);
        CpuRequestAttention(kPendingBits[u]);
    }
    t.txScheduled = false;
}

void UartWake(uint32_t uart) {
    const UartUnit& t = Uarts[uart % kUartCount];
    if (t.started) win32::SetEvent(HostEvent(t.wake));
}

void UartSetup(int32_t code) {
    if (code == kRunSave) return;
    const bool restore = code == kRunLoad || code == kRunPowerOnRestore;
    const bool restored = restore && Restore();
    for (unsigned u = 0; u < kUartCount; ++u) {
        UartUnit& t = Uarts[u];
        if (!restored) {
            if (code == kRunHardReset || code == kRunSoftReset) {
                ClearRegisters(t, u);
            } else {
                ClearRegisters(t, u);
                t.deferred = 0;
                t.pending = 0;
                t.rxCount = t.rxPos = t.txCount = 0;
                t.txScheduled = t.waiting = t.machineReady = false;
            }
        }
        if (code == kRunPowerOn || restore) {
            if (!t.started) t.socket = -1;
            // The address holds up to 31 characters.
            std::strncpy(t.address, u == 0 ? Opt.SerialPort : "", sizeof t.address - 1);
            t.address[sizeof t.address - 1] = '\0';
            std::snprintf(t.name, sizeof t.name, "%s", kNames[u]);
        }
        t.console = Opt.EnableConsole != 0;
        UartBridgeStart(u);
        win32::SetEvent(HostEvent(t.wake));
    }
}

void UartSave(int32_t code) {
    if (code == kRunSave) {
        auto c = std::make_unique<uint8_t[]>(kUartChunkSize);
        for (unsigned u = 0; u < kUartCount; ++u) {
            PutImage(Uarts[u], c.get());
            SessWriteChunk(kTags[u], c.get(), kUartChunkSize);
        }
        return;
    }
    for (unsigned u = 0; u < kUartCount; ++u) UartBridgeEnd(u, code);
}

}  // namespace tamsk
