// The DMA controller's registers, channel start and timing, descriptor walks and the element mover.
#include "tamsk/devices/Dma.h"
#include "tamsk/devices/Ethernet.h"

#include "tamsk/board/Memory.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

DmaState Dma;

namespace {

enum : uint32_t {
    // Control/status.
    kRun = 1u << 31,
    kNoFetch = 1u << 30,       // the channel registers describe the one move
    kStopIrq = 1u << 29,
    kShortIrq = 1u << 28,
    kStopped = 1u << 3,
    kEndInterrupt = 1u << 2,
    kStartInterrupt = 1u << 1,
    kShortMove = 1u << 0,      // error: the move ended early
    kClearedByWrite = kEndInterrupt | kStartInterrupt | kShortMove | 1u << 9,
    // Command.
    kIncSource = 1u << 31,
    kIncTarget = 1u << 30,
    kStartIrq = 1u << 22,
    kEndIrq = 1u << 21,
    kLengthMask = 0x1FFF,
    // Descriptor address: bit 0 ends the chain.
    kChainEnd = 1,
};

// A chain that comes back to an earlier descriptor would be walked forever: both walks stop
// after this many descriptors.
constexpr unsigned kChainLimit = 1024;

// Request-map entries whose channel takes the slow (peripheral-paced) transfer time.
constexpr unsigned kPacedEntries[] = {4, 5, 6, 7, 19, 20};
constexpr uint32_t kPacedDelay = 3000;

// Physical windows the mover treats apart.
constexpr uint32_t kStaticWindow = 0x10000000;   // 0x10000000-0x13FFFFFF: reads 0, writes dropped
constexpr uint32_t kEthernetWindow = 0x14000000; // 0x14000000-0x17FFFFFF: the Ethernet controller
constexpr uint32_t kFfuartBase = 0x40100000;

const uint32_t kTag = FourCC(">dma");

bool InWindow(uint32_t address, uint32_t base) { return (address & 0xFC000000) == base; }
bool IsFfuart(uint32_t address) { return (address & 0xFFF00000) == kFfuartBase; }

void Flag(unsigned n) {
    Dma.interrupt |= 1u << n;
    IntcRaise(kIrqDma);
}

void ClearFlag(unsigned n) {
    Dma.interrupt &= ~(1u << n);
    if (Dma.interrupt == 0) IntcLower(kIrqDma);
}

// The move ended with bytes left (or at an address no area backs): the channel shows a short
// move and stops.
void ShortMove(unsigned n) {
    Dma.control[n] |= kShortMove | kStopped;
    if (Dma.control[n] & kShortIrq) Flag(n);
}

// A 16-byte descriptor in emulated memory (next, source, target, command), or null when no
// memory area holds all of it.
uint8_t* Descriptor(uint32_t address) {
    if (MemContiguousBytes(address) < 16) return nullptr;
    return reinterpret_cast<uint8_t*>(MemHostPointer(address));
}

uint32_t ElementWidth(uint32_t command) {
    const uint32_t code = command >> 14 & 3;
    return code == 1 ? 1 : code == 2 ? 2 : 4;
}

// One element at `address` into `value`; false when no area or device is behind it.
bool ReadElement(uint32_t address, uint32_t width, uint32_t& value) {
    if (InWindow(address, kEthernetWindow)) {
        value = EthRead(address, int(width));
        return true;
    }
    if (width == 4) {
        if (MemIsDeviceAddress(address)) {
            value = DeviceRead(address);
            return true;
        }
        if (address < kDeviceBase) {  // flash included: word reads of the low range give 0
            value = 0;
            return true;
        }
    } else if (width == 2 && InWindow(address, kStaticWindow)) {
        value = 0;
        return true;
    } else if (width == 1 && IsFfuart(address)) {
        value = UartRead(address) & 0xFF;
        return true;
    }
    // Elements are aligned to their width and areas to 4 bytes: the first byte decides.
    const uintptr_t p = MemHostPointer(address);
    if (!p) return false;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(p);
    value = width == 4 ? ChunkGet32(b) : width == 2 ? ChunkGet16(b) : b[0];
    return true;
}

bool WriteElement(uint32_t address, uint32_t width, uint32_t value) {
    if (InWindow(address, kEthernetWindow)) {
        EthWrite(address, value, int(width));
        return true;
    }
    if (width != 4 && InWindow(address, kStaticWindow)) return true;  // dropped
    if (width == 1 && IsFfuart(address)) {
        UartWrite(address, value);
        return true;
    }
    if (const uintptr_t p = MemHostPointer(address)) {
        uint8_t* b = reinterpret_cast<uint8_t*>(p);
        if (width == 4)
            ChunkPut32(b, value);
        else if (width == 2)
            ChunkPut16(b, uint16_t(value));
        else
            b[0] = uint8_t(value);
        return true;
    }
    if (width == 4 && MemIsDeviceAddress(address)) {
        DeviceWrite(address, value);
        return true;
    }
    return false;
}

// Moves `length` bytes (raised to whole elements) from source to target, advancing each address
// whose increment flag is set. Returns the bytes still to move: 0 when all moved; otherwise the
// move stopped at the element that found the receive buffer empty, or at one that no area backs.
uint32_t MoveElements(uint32_t& source, uint32_t& target, uint32_t length, bool incSource,
                      bool incTarget, uint32_t width) {
    if ((source | target) & (width - 1)) HostFatal("Unaligned source or destination of DMA transfer");
    uint32_t count = (length + width - 1) & ~(width - 1);
    Dma.moveStopped = 0;
    while (count != 0) {
        uint32_t value = 0;
        if (!ReadElement(source, width, value) || Dma.moveStopped) return count;
        if (!WriteElement(target, width, value)) return count;
        if (incSource) source += width;
        if (incTarget) target += width;
        count -= width;
    }
    return 0;
}

// The command field keeps 13 bits of length; a count raised to whole words can be one more.
uint32_t WithLength(uint32_t command, uint32_t left) {
    return (command & ~kLengthMask) | (left > kLengthMask ? kLengthMask : left);
}

// Bytes the channel is to move: its own length without descriptor fetch, else the lengths along
// its descriptor chain.
uint32_t TransferBytes(unsigned n) {
    if (Dma.control[n] & kNoFetch) return Dma.command[n] & kLengthMask;
    uint32_t sum = 0, d = Dma.descriptor[n];
    for (unsigned i = 0; i < kChainLimit && d != 0 && !(d & kChainEnd); ++i) {
        const uint8_t* desc = Descriptor(d);
        if (!desc) break;
        sum += ChunkGet32(desc + 12) & kLengthMask;
        d = ChunkGet32(desc);
    }
    return sum;
}

void Start(unsigned n) {
    if (n >= kDmaChannels) HostFatal("Invalid DMA operation");
    Dma.control[n] &= ~kStopped;
    uint32_t ticks = TransferBytes(n) / 4096 + 1;
    for (unsigned entry : kPacedEntries) {
        if ((Dma.requestMap[entry] & 0x80) && (Dma.requestMap[entry] & 31) == n) {
            ticks += kPacedDelay;
            break;
        }
    }
    EvtSchedule(1, DmaStartStep, n);
    EvtSchedule(ticks + 1, DmaTransfer, n);
    EvtSchedule(ticks + 2, DmaCompletion, n);
}

void WriteControl(unsigned n, uint32_t value) {
    Dma.control[n] = value & ~kClearedByWrite;
    // A write of the stop interrupt enable alone leaves the channel's interrupt as it was.
    if (!((value & kStopIrq) && !(value & kClearedByWrite))) ClearFlag(n);
    if (value & kRun) {
        Start(n);
    } else {
        EvtCancel(DmaStartStep, n);
        EvtCancel(DmaTransfer, n);
        EvtCancel(DmaCompletion, n);
        Dma.control[n] |= kStopped;
    }
}

// The register a channel-descriptor address names: 0 descriptor, 1 source, 2 target, 3 command.
uint32_t& ChannelRegister(uint32_t offset) {
    const unsigned n = (offset - 0x200) >> 4;
    switch (offset >> 2 & 3) {
    case 0: return Dma.descriptor[n];
    case 1: return Dma.source[n];
    case 2: return Dma.target[n];
    default: return Dma.command[n];
    }
}

// The request-map entry an offset names, or null.
uint32_t* MapEntry(uint32_t offset) {
    if (offset >= 0x100 && offset < 0x200) return &Dma.requestMap[(offset - 0x100) >> 2];
    if (offset >= 0x1100 && offset < 0x1100 + 4 * (kDmaRequestLines - 64))
        return &Dma.requestMap[64 + ((offset - 0x1100) >> 2)];
    return nullptr;
}

}  // namespace

uint32_t DmaRead(uint32_t physical) {
    const uint32_t offset = physical & 0xFFFFF;
    if (offset < 4 * kDmaChannels) return Dma.control[offset >> 2];
    if (offset == 0xF0) return Dma.interrupt;
    if (const uint32_t* entry = MapEntry(offset)) return *entry;
    if (offset >= 0x200 && offset < 0x200 + 16 * kDmaChannels) return ChannelRegister(offset);
    return 0;
}

void DmaWrite(uint32_t physical, uint32_t value) {
    const uint32_t offset = physical & 0xFFFFF;
    if (offset < 4 * kDmaChannels) {
        WriteControl(offset >> 2, value);
    } else if (uint32_t* entry = MapEntry(offset)) {
        *entry = value;
    } else if (offset >= 0x200 && offset < 0x200 + 16 * kDmaChannels) {
        const unsigned n = (offset - 0x200) >> 4;
        if ((offset & 0xC) == 0 && (Dma.control[n] & kNoFetch)) HostFatal("Unimplemented DMA operation");
        ChannelRegister(offset) = value;
    }
}

void DmaPeripheralRequest(uint32_t mapAddress) {
    const uint32_t index = mapAddress < kDmaBase + 0x1100 ? (mapAddress - (kDmaBase + 0x100)) / 4
                                                          : 64 + (mapAddress - (kDmaBase + 0x1100)) / 4;
    if (index >= kDmaRequestLines) HostFatal("Invalid DMA operation");
    const uint32_t entry = Dma.requestMap[index];
    if (entry & 0x80) Start(entry & 31);
}

void DmaStartStep(uint32_t channel) {
    const unsigned n = channel % kDmaChannels;
    uint32_t command = 0;
    if (Dma.control[n] & kNoFetch) {
        command = Dma.command[n];
    } else if (const uint32_t d = Dma.descriptor[n]; d != 0 && !(d & kChainEnd)) {
        if (const uint8_t* desc = Descriptor(d)) command = ChunkGet32(desc + 12);
    }
    if (command & kStartIrq) {
        Dma.control[n] |= kStartInterrupt;
        Flag(n);
    }
}

void DmaTransfer(uint32_t channel) {
    const unsigned n = channel % kDmaChannels;
    if (Dma.control[n] & kNoFetch) {
        const uint32_t command = Dma.command[n], length = command & kLengthMask;
        if (length == 0) return;
        const uint32_t left = MoveElements(Dma.source[n], Dma.target[n], length, command & kIncSource,
                                           command & kIncTarget, ElementWidth(command));
        Dma.command[n] = WithLength(command, left);
        if (left) ShortMove(n);
        return;
    }
    uint32_t d = Dma.descriptor[n];
    for (unsigned i = 0; i < kChainLimit && d != 0 && !(d & kChainEnd); ++i) {
        uint8_t* desc = Descriptor(d);
        if (!desc) {  // no memory holds the descriptor: the walk ends as a short move
            ShortMove(n);
            return;
        }
        uint32_t source = ChunkGet32(desc + 4), target = ChunkGet32(desc + 8);
        const uint32_t command = ChunkGet32(desc + 12), length = command & kLengthMask;
        Dma.source[n] = source;
        Dma.target[n] = target;
        Dma.command[n] = command;
        if (length != 0) {
            const uint32_t left = MoveElements(source, target, length, command & kIncSource,
                                               command & kIncTarget, ElementWidth(command));
            ChunkPut32(desc + 4, source);
            ChunkPut32(desc + 8, target);
            ChunkPut32(desc + 12, WithLength(command, left));
            if (left) ShortMove(n);
        }
        d = ChunkGet32(desc);
        Dma.descriptor[n] = d;
    }
}

void DmaCompletion(uint32_t channel) {
    const unsigned n = channel % kDmaChannels;
    Dma.control[n] = (Dma.control[n] & ~kRun) | kStopped;
    if (Dma.control[n] & kStopIrq) Flag(n);
    if (Dma.command[n] & kEndIrq) {
        Dma.control[n] |= kEndInterrupt;
        Flag(n);
    }
}

void DmaReset(int32_t code) {
    if (code == kRunSave) return;
    if ((code == kRunLoad || code == kRunPowerOnRestore) && ChunkRestoreWords(kTag, Dma)) return;
    Dma = {};
}

void DmaSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, Dma);
}

}  // namespace tamsk
