// The Ethernet controller (physical window 0x14000000-0x17FFFFFF) and its bridge to a host
// network adapter (EthernetBridge.h).
//
// The controller has four banks of eight 16-bit registers in a 16-byte block that the base
// register places inside the window (0x14000300 after reset); offset 14 selects the bank. Its
// 128 KB of packet memory hold 64 frame slots of 2048 bytes, reached through a pointer and a data
// port. A frame in a slot: u16 status, u16 byte count (the frame plus these 6 bytes of framing),
// the frame, then a control byte (bit 5: the frame's length is odd, its last byte stands just
// before the control byte) after an even-length frame's padding byte.
//
// Bank 0: 0 transmit control (bit 0 enables sending), 2 link status (bit 14: a host adapter is
//   bridged), 4 receive control (bit 8 enables receiving), 6 counters (0), 8 memory information
//   (free slots in the high byte, 64 in the low byte), 10 and 12 stored.
// Bank 1: 0 configuration, 2 base, 4-9 the MAC address, 10 stored, 12 control (bit 11: a sent
//   frame's slot is freed at once).
// Bank 2: 0 MMU command (bits 5-7: 1 allocate a slot, 2 reset, 3 drop the receive queue's first
//   entry, 4 drop and free it, 5 free the slot of the packet number, 6 send the packet number's
//   frame, 7 empty the transmit-done queue), 2 packet number, 3 allocation result (bit 7: none
//   free), 4 transmit-done queue and 5 receive queue (bit 7: empty), 6 pointer (bits 0-10, bit 14
//   moves on after each data access, bit 15 selects the receive queue's first slot), 8-11 data
//   port, 12 interrupt status (bit 0 received, 1 sent, 2 nothing left to send, 3 allocated, 4 a
//   frame was lost; writing ones acknowledges 1, 2 and 4), 13 interrupt mask.
// Bank 3: 0-7 the multicast table, 8 management, 10 revision, 12 early receive (all stored).
// The controller's interrupt is GPIO line 9.
#pragma once

#include <cstdint>
#include <vector>

namespace tamsk {

constexpr uint32_t kEthWindowBase = 0x14000000;
constexpr uint32_t kEthWindowEnd = 0x17FFFFFF;
constexpr unsigned kEthSlots = 64;
constexpr uint32_t kEthSlotSize = 2048;
constexpr uint32_t kEthFraming = 6;  // status, byte count, control word
constexpr uint32_t kEthMaxFrame = kEthSlotSize - kEthFraming;
constexpr uint32_t kEthChunkSize = 132440;
constexpr unsigned kEthGpioLine = 9;

enum : uint16_t {
    kEthIntReceived = 1 << 0,
    kEthIntSent = 1 << 1,
    kEthIntSendEmpty = 1 << 2,
    kEthIntAllocated = 1 << 3,
    kEthIntOverrun = 1 << 4,
};

struct EthernetState {
    uint16_t reg[4][8];  // the banks' registers (bank 2's are kept in the fields below)
    uint8_t memory[kEthSlots][kEthSlotSize];
    uint8_t mac[6];
    uint8_t multicast[8];
    uint32_t bank;
    uint32_t packetNumber, allocation, pointer;
    uint32_t intStatus, intMask;
    uint8_t slotUsed[kEthSlots];
    uint8_t rxQueue[kEthSlots];
    uint32_t rxCount;
    uint8_t doneQueue[kEthSlots];
    uint32_t doneCount;
};
extern EthernetState Eth;

// Register access through the core's Ethernet window (size 1, 2 or 4 bytes).
uint32_t EthRead(uint32_t physical, int size);
void EthWrite(uint32_t physical, uint32_t value, int size);
// Where the register block lies now.
uint32_t EthRegisterBase();

// The bridge's side (core thread): a frame captured on the adapter goes into a free slot and the
// receive queue; false when receiving is off, the frame is larger than a slot or no slot is free.
bool EthDeliver(const uint8_t* frame, uint32_t length);
// Sends go through this (the bridge installs it; tests may capture them).
using EthSendHook = void (*)(const uint8_t* frame, uint32_t length);
void EthSetSendHook(EthSendHook hook);

// The MAC address from the MAC option: six two-digit hexadecimal bytes at character positions
// 0, 3, 6, 9, 12 and 15 (a non-hex character counts as 0); empty: 00 0E 20 and three random bytes.
void EthParseMac(const char* text, uint8_t mac[6]);

// Reset or restore (>smc) for the run code; the end of a run (>smc on code 4; the bridge stops
// on every code).
void EthReset(int32_t code);
void EthSave(int32_t code);
// The session chunk image.
void EthImage(uint8_t* out);
bool EthLoadImage(const uint8_t* in);

}  // namespace tamsk
