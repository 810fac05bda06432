// Remote OS calls: one function of the device's OS run on the device by trap number (debugger
// command 10), with its parameters sent from the host and its D0, A0 and by-reference parameters
// brought back. The host stubs of RemoteStubs.h are built on these three operations.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/DebuggerPackets.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

// The whole body stays below this size.
constexpr uint16_t rpcBodyLimit = 272;
constexpr uint16_t rpcHeadSize = sizeof(vantor::RpcBodyHeadType);
constexpr int32_t rpcReplyTimeoutMs = 10000;

// Fills the header (socket as destination and source, type 0, transaction id 0) and the body head
// (command 10, the trap, no parameters, running length 14). body holds rpcBodyLimit bytes.
Status RpcInitRequest(SlkPktHeaderType* header, uint8_t socket, uint8_t* body, uint16_t trap);
// Appends a parameter: by value, or by reference (the device passes a pointer to its copy and sends
// the data back). A 2- or 4-byte value is read from data in host order and sent big-endian; other
// sizes go as bytes; without data a by-reference parameter is sent as 4 zero bytes by value.
// Returns where the data stands in the body, or none when it does not fit (or size is negative).
uint8_t* RpcAddParam(uint8_t* body, const void* data, int16_t size, bool byReference);
// Sends the request and, unless noWait, receives the reply into the same header and body and
// checks its command (slkErrResponse), transaction id (slkErrTransId) and size (slkErrBodyLimit).
Status RpcExecute(SlkPktHeaderType* header, uint8_t* body, bool noWait);

// The body head in host order.
inline vantor::RpcBodyHeadType RpcHead(const uint8_t* body) {
    vantor::RpcBodyHeadType h;
    std::memcpy(&h, body, sizeof h);
    return h;
}

}  // namespace quillwatch
