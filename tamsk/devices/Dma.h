// The descriptor-based DMA controller: 32 channels, the peripheral request map and the element
// mover. A started channel does its whole transfer in one step, after a delay in emulated ticks
// that grows with the amount of data; start, end and short moves show in the channel status and
// raise interrupt source 25.
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kDmaBase = 0x40000000;
constexpr unsigned kDmaChannels = 32;
constexpr unsigned kDmaRequestLines = 100;
constexpr uint32_t kDmaChunkSize = 1048;

// Request-map register addresses of the UARTs' receive requests (lines 6, 4 and 19).
constexpr uint32_t kDmaRequestFfuartRx = kDmaBase + 0x100 + 4 * 6;
constexpr uint32_t kDmaRequestBtuartRx = kDmaBase + 0x100 + 4 * 4;
constexpr uint32_t kDmaRequestStuartRx = kDmaBase + 0x100 + 4 * 19;

// The controller's registers, in the order the >dma chunk stores them (little-endian words).
struct DmaState {
    uint32_t interrupt;                    // bit n: channel n wants attention
    uint32_t control[kDmaChannels];        // control/status
    uint32_t requestMap[kDmaRequestLines]; // bit 7 valid, bits 4-0 channel
    uint32_t descriptor[kDmaChannels];
    uint32_t source[kDmaChannels];
    uint32_t target[kDmaChannels];
    uint32_t command[kDmaChannels];
    uint32_t moveStopped;                  // set by a receive read that finds nothing: ends a move
};
static_assert(sizeof(DmaState) == kDmaChunkSize, "the chunk holds the registers whole");
extern DmaState Dma;

// Register access (device handlers of the 0x40000000 megabyte).
uint32_t DmaRead(uint32_t physical);
void DmaWrite(uint32_t physical, uint32_t value);

// A peripheral's request, named by its request-map register address: starts the mapped channel
// when the entry is valid.
void DmaPeripheralRequest(uint32_t mapAddress);
// Ends the move under way (a UART receive read found nothing to read).
inline void DmaStopMove() { Dma.moveStopped = 1; }

// Timed callbacks (argument: the channel): start step (id 7), transfer (id 8), completion (id 2).
void DmaStartStep(uint32_t channel);
void DmaTransfer(uint32_t channel);
void DmaCompletion(uint32_t channel);

// Reset or restore (>dma) for the run code, and the save of >dma on code 4.
void DmaReset(int32_t code);
void DmaSave(int32_t code);

}  // namespace tamsk
