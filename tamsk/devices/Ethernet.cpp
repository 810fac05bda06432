// The Ethernet controller's registers, packet memory and queues.
#include "tamsk/devices/Ethernet.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "standin/win32/KernelObjects.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/devices/EthernetBridge.h"
#include "tamsk/devices/Gpio.h"
#include "tamsk/devices/Intc.h"

namespace tamsk {

EthernetState Eth;

namespace {

const uint32_t kTag = FourCC(">smc");
EthSendHook g_sendHook;

enum : uint32_t {
    kBankSelect = 14,
    kPointerReceive = 1u << 15,
    kPointerAutoIncrement = 1u << 14,
    kPointerMask = kEthSlotSize - 1,
    kQueueEmpty = 0x80,
    kAllocationFailed = 0x80,
    kControlAutoRelease = 1u << 11,
    kTransmitEnable = 1u << 0,
    kReceiveEnable = 1u << 8,
    kLinkUp = 1u << 14,
    kControlOdd = 1u << 5,
};

// Reset values of the stored registers (banks 0, 1 and 3; bank 2 lives in fields).
void ResetRegisters() {
    std::memset(Eth.reg, 0, sizeof Eth.reg);
    Eth.reg[1][0] = 0xA0B1;  // configuration
    Eth.reg[1][1] = 0x1801;  // base: the block at 0x14000300
    Eth.reg[1][6] = 0x1210;  // control
    Eth.reg[3][4] = 0x3330;  // management
    Eth.reg[3][5] = 0x3500;  // revision
    Eth.reg[3][6] = 0x001F;  // early receive
}

unsigned FreeSlots() {
    unsigned n = 0;
    for (uint8_t used : Eth.slotUsed) n += !used;
    return n;
}

// The interrupt line follows the unmasked status bits.
void UpdateInterrupt() {
    if (Eth.intStatus & Eth.intMask & 0xFF) GpioSignal(kEthGpioLine);
}

void SetInterrupt(uint32_t bits) {
    Eth.intStatus |= bits;
    UpdateInterrupt();
}

int AllocateSlot() {
    for (unsigned i = 0; i < kEthSlots; ++i) {
        if (!Eth.slotUsed[i]) {
            Eth.slotUsed[i] = 1;
            return int(i);
        }
    }
    return -1;
}

void FreeSlot(uint32_t slot) {
    if (slot < kEthSlots) Eth.slotUsed[slot] = 0;
}

uint32_t Get16(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); }
void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void PopFront(uint8_t* queue, uint32_t* count) {
    if (*count == 0) return;
    std::memmove(queue, queue + 1, kEthSlots - 1);
    --*count;
}

// Sends the frame of a slot: its length comes from the slot's byte count and control byte,
// bounded by the slot, so a guest's count never reaches past the frame buffer.
void SendSlot(uint32_t slot) {
    if (slot >= kEthSlots) return;
    const uint8_t* p = Eth.memory[slot];
    uint32_t count = Get16(p + 2) & 0x7FE;
    if (count < kEthFraming) count = kEthFraming;
    uint32_t length = count - kEthFraming;
    if (p[count - 1] & kControlOdd) ++length;  // the odd byte before the control byte
    if ((Eth.reg[0][0] & kTransmitEnable) && length > 0 && g_sendHook) g_sendHook(p + 4, length);
    Put16(Eth.memory[slot], 0x0001);  // sent
    if (Eth.reg[1][6] & kControlAutoRelease) {
        FreeSlot(slot);
    } else if (Eth.doneCount < kEthSlots) {
        Eth.doneQueue[Eth.doneCount++] = uint8_t(slot);
    }
    SetInterrupt(kEthIntSent | kEthIntSendEmpty);
}

void MmuCommand(uint32_t value) {
    switch (value >> 5 & 7) {
        case 1: {  // allocate
            const int slot = AllocateSlot();
            Eth.allocation = slot < 0 ? kAllocationFailed : uint32_t(slot);
            if (slot >= 0) SetInterrupt(kEthIntAllocated);
            break;
        }
        case 2:  // reset the memory
            std::memset(Eth.slotUsed, 0, sizeof Eth.slotUsed);
            Eth.rxCount = Eth.doneCount = 0;
            break;
        case 3: PopFront(Eth.rxQueue, &Eth.rxCount); break;
        case 4:
            if (Eth.rxCount) FreeSlot(Eth.rxQueue[0]);
            PopFront(Eth.rxQueue, &Eth.rxCount);
            break;
        case 5: FreeSlot(Eth.packetNumber); break;
        case 6: SendSlot(Eth.packetNumber); break;
        case 7: Eth.doneCount = 0; break;
        default: break;
    }
    if (Eth.rxCount == 0) Eth.intStatus &= ~uint32_t(kEthIntReceived);
}

// The slot the data port reaches.
uint8_t* DataSlot() {
    const uint32_t slot = (Eth.pointer & kPointerReceive) ? (Eth.rxCount ? Eth.rxQueue[0] : 0)
                                                           : Eth.packetNumber % kEthSlots;
    return Eth.memory[slot];
}

uint32_t DataRead(int size) {
    const uint8_t* slot = DataSlot();
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint32_t(slot[(Eth.pointer + uint32_t(i)) & kPointerMask]) << (8 * i);
    if (Eth.pointer & kPointerAutoIncrement)
        Eth.pointer = (Eth.pointer & ~kPointerMask) | ((Eth.pointer + uint32_t(size)) & kPointerMask);
    return value;
}

void DataWrite(uint32_t value, int size) {
    uint8_t* slot = DataSlot();
    for (int i = 0; i < size; ++i) slot[(Eth.pointer + uint32_t(i)) & kPointerMask] = uint8_t(value >> (8 * i));
    if (Eth.pointer & kPointerAutoIncrement)
        Eth.pointer = (Eth.pointer & ~kPointerMask) | ((Eth.pointer + uint32_t(size)) & kPointerMask);
}

// One byte of a register at `offset` (0..15) of the current bank.
uint32_t ReadByte(uint32_t offset) {
    if (offset == kBankSelect) return Eth.bank;
    if (offset == kBankSelect + 1) return 0x33;
    if (Eth.bank == 2) {
        switch (offset) {
            case 0: case 1: return 0;  // MMU command: never busy
            case 2: return Eth.packetNumber;
            case 3: return Eth.allocation;
            case 4: return Eth.doneCount ? Eth.doneQueue[0] : uint32_t(kQueueEmpty);
            case 5: return Eth.rxCount ? Eth.rxQueue[0] : uint32_t(kQueueEmpty);
            case 6: return Eth.pointer & 0xFF;
            case 7: return Eth.pointer >> 8;
            case 12: return Eth.intStatus & 0xFF;
            case 13: return Eth.intMask & 0xFF;
            default: return 0;  // the data port is read through DataRead
        }
    }
    if (Eth.bank == 0 && (offset == 2 || offset == 3)) {
        const uint32_t status = EthBridgeActive() ? uint32_t(kLinkUp) : 0u;
        return offset == 2 ? status & 0xFF : status >> 8;
    }
    if (Eth.bank == 0 && (offset == 8 || offset == 9)) return offset == 8 ? kEthSlots : FreeSlots();
    if (Eth.bank == 1 && offset >= 4 && offset <= 9) return Eth.mac[offset - 4];
    if (Eth.bank == 3 && offset < 8) return Eth.multicast[offset];
    if (Eth.bank > 3) return 0;
    const uint16_t word = Eth.reg[Eth.bank][offset / 2];
    return offset & 1 ? word >> 8 : word & 0xFF;
}

void WriteByte(uint32_t offset, uint32_t value) {
    value &= 0xFF;
    if (offset == kBankSelect) {
        Eth.bank = value & 7;
        return;
    }
    if (offset == kBankSelect + 1) return;
    if (Eth.bank == 2) {
        switch (offset) {
            case 0: MmuCommand(value); break;
            case 2: Eth.packetNumber = value & 0x3F; break;
            case 6: Eth.pointer = (Eth.pointer & 0xFF00) | value; break;
            case 7: Eth.pointer = (Eth.pointer & 0x00FF) | value << 8; break;
            case 12: Eth.intStatus &= ~(value & (kEthIntSent | kEthIntSendEmpty | kEthIntOverrun)); break;
            case 13:
                Eth.intMask = value;
                UpdateInterrupt();
                break;
            default: break;  // queues and allocation result are read-only
        }
        return;
    }
    if (Eth.bank == 1 && offset >= 4 && offset <= 9) {
        Eth.mac[offset - 4] = uint8_t(value);
        return;
    }
    if (Eth.bank == 3 && offset < 8) {
        Eth.multicast[offset] = uint8_t(value);
        return;
    }
    if (Eth.bank > 3 || (Eth.bank == 0 && offset >= 2 && offset <= 3)) return;  // read-only
    uint16_t& word = Eth.reg[Eth.bank][offset / 2];
    word = offset & 1 ? uint16_t((word & 0x00FF) | value << 8) : uint16_t((word & 0xFF00) | value);
}

bool IsDataPort(uint32_t offset) { return Eth.bank == 2 && offset >= 8 && offset <= 11; }

}  // namespace

uint32_t EthRegisterBase() {
    const uint32_t base = Eth.reg[1][1];
    return kEthWindowBase | ((base >> 3) & 0x3E0) | (base & 0xE000);
}

uint32_t EthRead(uint32_t physical, int size) {
    const uint32_t block = EthRegisterBase();
    if (physical < block || physical - block >= 16) return 0;  // nothing else in the window
    const uint32_t offset = physical - block;
    if (IsDataPort(offset)) return DataRead(size);
    uint32_t value = 0;
    for (int i = 0; i < size && offset + uint32_t(i) < 16; ++i) value |= ReadByte(offset + uint32_t(i)) << (8 * i);
    return value;
}

void EthWrite(uint32_t physical, uint32_t value, int size) {
    const uint32_t block = EthRegisterBase();
    if (physical < block || physical - block >= 16) return;
    const uint32_t offset = physical - block;
    if (IsDataPort(offset)) {
        DataWrite(value, size);
        return;
    }
    // A 16-bit write of the pointer or the MMU command acts once, with both bytes.
    if (Eth.bank == 2 && offset == 6 && size >= 2) {
        Eth.pointer = value & 0xFFFF;
        return;
    }
    if (Eth.bank == 2 && offset == 0 && size >= 2) {
        MmuCommand(value & 0xFF);
        return;
    }
    for (int i = 0; i < size && offset + uint32_t(i) < 16; ++i) WriteByte(offset + uint32_t(i), value >> (8 * i));
}

bool EthDeliver(const uint8_t* frame, uint32_t length) {
    if (!(Eth.reg[0][2] & kReceiveEnable) || length == 0 || length > kEthMaxFrame || Eth.rxCount >= kEthSlots) {
        SetInterrupt(kEthIntOverrun);
        return false;
    }
    const int slot = AllocateSlot();
    if (slot < 0) {
        SetInterrupt(kEthIntOverrun);
        return false;
    }
    uint8_t* p = Eth.memory[slot];
    const uint32_t even = length & ~1u;
    Put16(p, length & 1 ? 0x1000 : 0);  // status: odd frame
    Put16(p + 2, even + kEthFraming);
    std::memcpy(p + 4, frame, length);
    if (!(length & 1)) p[4 + even] = 0;
    p[4 + even + 1] = length & 1 ? 0x20 | kControlOdd : 0;
    Eth.rxQueue[Eth.rxCount++] = uint8_t(slot);
    SetInterrupt(kEthIntReceived);
    return true;
}

void EthSetSendHook(EthSendHook hook) { g_sendHook = hook; }

void EthParseMac(const char* text, uint8_t mac[6]) {
    if (!text || !*text) {
        static const bool seeded = [] {
            std::srand(win32::timeGetTime());
            return true;
        }();
        (void)seeded;
        mac[0] = 0x00;
        mac[1] = 0x0E;
        mac[2] = 0x20;
        for (int i = 3; i < 6; ++i) mac[i] = uint8_t(std::rand());
        return;
    }
    const size_t length = std::strlen(text);
    auto hex = [&](size_t at) -> unsigned {
        if (at >= length) return 0;
        const char c = text[at];
        if (c >= '0' && c <= '9') return unsigned(c - '0');
        if (c >= 'a' && c <= 'f') return unsigned(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return unsigned(c - 'A' + 10);
        return 0;
    };
    for (int i = 0; i < 6; ++i) mac[i] = uint8_t(hex(size_t(3 * i)) << 4 | hex(size_t(3 * i + 1)));
}

void EthImage(uint8_t* out) {
    std::memset(out, 0, kEthChunkSize);
    uint8_t* p = out;
    for (auto& bank : Eth.reg)
        for (uint16_t word : bank) {
            Put16(p, word);
            p += 2;
        }
    std::memcpy(p, Eth.memory, sizeof Eth.memory);
    p += sizeof Eth.memory;
    std::memcpy(p, Eth.mac, 6);
    p += 8;
    std::memcpy(p, Eth.multicast, 8);
    p += 8;
    for (uint32_t v : {Eth.bank, Eth.packetNumber, Eth.allocation, Eth.pointer, Eth.intStatus, Eth.intMask}) {
        ChunkPut32(p, v);
        p += 4;
    }
    std::memcpy(p, Eth.slotUsed, kEthSlots);
    p += kEthSlots;
    std::memcpy(p, Eth.rxQueue, kEthSlots);
    p += kEthSlots;
    ChunkPut32(p, Eth.rxCount);
    p += 4;
    std::memcpy(p, Eth.doneQueue, kEthSlots);
    p += kEthSlots;
    ChunkPut32(p, Eth.doneCount);
}

bool EthLoadImage(const uint8_t* in) {
    EthernetState s{};
    const uint8_t* p = in;
    for (auto& bank : s.reg)
        for (uint16_t& word : bank) {
            word = uint16_t(Get16(p));
            p += 2;
        }
    std::memcpy(s.memory, p, sizeof s.memory);
    p += sizeof s.memory;
    std::memcpy(s.mac, p, 6);
    p += 8;
    std::memcpy(s.multicast, p, 8);
    p += 8;
    for (uint32_t* v : {&s.bank, &s.packetNumber, &s.allocation, &s.pointer, &s.intStatus, &s.intMask}) {
        *v = ChunkGet32(p);
        p += 4;
    }
    std::memcpy(s.slotUsed, p, kEthSlots);
    p += kEthSlots;
    std::memcpy(s.rxQueue, p, kEthSlots);
    p += kEthSlots;
    s.rxCount = ChunkGet32(p);
    p += 4;
    std::memcpy(s.doneQueue, p, kEthSlots);
    p += kEthSlots;
    s.doneCount = ChunkGet32(p);
    // A saved controller whose queues do not fit is refused.
    if (s.rxCount > kEthSlots || s.doneCount > kEthSlots || s.bank > 7 || s.packetNumber >= kEthSlots) return false;
    for (unsigned i = 0; i < kEthSlots; ++i)
        if (s.rxQueue[i] >= kEthSlots || s.doneQueue[i] >= kEthSlots) return false;
    Eth = s;
    return true;
}

void EthReset(int32_t code) {
    if (Opt.EnableEthernet) EthBridgeLoad();
    if (code == kRunSave) return;
    bool restored = false;
    if (code == kRunLoad || code == kRunPowerOnRestore) {
        static uint8_t image[kEthChunkSize];
        restored = SessReadChunk(kTag, image, sizeof image) && EthLoadImage(image);
    }
    if (!restored) {
        Eth = EthernetState{};
        ResetRegisters();
        Eth.allocation = kAllocationFailed;
        EthParseMac(Opt.MAC, Eth.mac);
    }
    EthBridgeSetMac(Eth.mac);
    EthBridgeStartDevice(Opt.DeviceIPAddr);
}

void EthSave(int32_t code) {
    if (code == kRunSave) {
        static uint8_t image[kEthChunkSize];
        EthImage(image);
        SessWriteChunk(kTag, image, sizeof image);
        char text[kOptionTextSize];
        std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", Eth.mac[0], Eth.mac[1], Eth.mac[2],
                      Eth.mac[3], Eth.mac[4], Eth.mac[5]);
        OptSetText(Opt.MAC, text);
    }
    EthBridgeStop();
}

}  // namespace tamsk
