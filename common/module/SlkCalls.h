// The OS serial link manager as the modules call it (system slots 412-423), and the two serial
// port calls that open and close the debugger's port (459, 451). Headers are in host order; bodies
// are bytes as they travel.
#pragma once

#include <cstdint>

#include "common/SerialLinkPacket.h"

namespace vantor {

// The serial port that carries the debugger link.
constexpr uint32_t kDebuggerSerialPort = 0x8002;

// One piece of a packet body to send; a list ends with a size of 0.
struct SlkWriteDataType {
    uint16_t size;
    const void* dataP;
};

namespace slksig {
using SlkOpen = uint16_t();
using SlkClose = uint16_t();
using SlkOpenSocket = uint16_t(uint16_t portID, uint16_t* socketP, uint8_t staticSocket);
using SlkCloseSocket = uint16_t(uint16_t socket);
using SlkSocketRefNum = uint16_t(uint16_t socket, uint16_t* portIDP);
using SlkFlushSocket = uint16_t(uint16_t socket, int32_t timeout);
// Waits up to `timeout` ticks (-1: without limit) for a packet to `socket` (or any open socket
// with `andOtherSockets`); the body is cut at `bodySize` bytes.
using SlkReceivePacket = uint16_t(uint16_t socket, uint8_t andOtherSockets, SlkPktHeaderType* headerP, void* bodyP,
                                  uint16_t bodySize, int32_t timeout);
using SlkSendPacket = uint16_t(SlkPktHeaderType* headerP, const SlkWriteDataType* writeList);
using SlkSysPktDefaultResponse = uint16_t(SlkPktHeaderType* headerP, void* bodyP);
using SrmOpen = uint16_t(uint32_t port, uint32_t baud, uint16_t* newPortIdP);
using SrmClose = uint16_t(uint16_t portID);
}  // namespace slksig

}  // namespace vantor
