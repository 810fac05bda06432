// The serial link manager: frames packets from a table of six sockets over the link that the link
// selector has open, and hunts the received byte stream for packets addressed to them.
#pragma once

#include <cstdint>

#include "common/SerialLinkPacket.h"

namespace quillwatch {

using vantor::SlkPktHeaderType;
using vantor::Status;

// One part of an outgoing body; a list of parts ends with a part of size 0.
struct SlkBodyPart {
    uint16_t size;
    const void* data;
};

constexpr uint16_t slkSocketTimeoutMs = 2000;
constexpr uint16_t slkStagingSize = 252;

// Opens the manager; a second open only counts and returns slkErrInUse.
Status SlkOpen();
// Opens a static socket (*socket below 6) or a dynamic one (4 or 5, stored in *socket).
Status SlkOpenSocket(uint16_t linkRefNum, uint16_t* socket, bool isStatic);
Status SlkCloseSocket(uint16_t socket);
// Discards what the socket's link has received and forgets a header found for that link.
Status SlkFlushSocket(uint16_t socket, int32_t timeoutMs);
// Before a request: discards the stale replies waiting on the socket's link, but keeps the whole
// packets that are not replies (device requests, messages) for their socket's next receive.
Status SlkFlushReplies(uint16_t socket);
// Sends one packet. The caller fills destination, source, type and transaction id (0: the next
// id); the manager fills the rest. On return the header holds the id used.
Status SlkSendPacket(SlkPktHeaderType* header, const SlkBodyPart* parts);
// Receives one packet for the socket (or for any open socket of its link with anySocket); a packet
// kept by SlkFlushReplies or SlkReceiveReply comes first.
Status SlkReceivePacket(uint16_t socket, bool anySocket, SlkPktHeaderType* header, void* body,
                        uint16_t bufSize, int32_t timeoutMs);
// Receives the answer to the request with the transaction id sent from the socket: a packet that
// carries the id or is a reply. Another packet for the socket (a device request or a message that
// crossed the request) is kept for the next receive instead.
Status SlkReceiveReply(uint16_t socket, uint8_t transId, SlkPktHeaderType* header, void* body, uint16_t bufSize,
                       int32_t timeoutMs);
// Packets received since the manager opened.
uint16_t SlkReceivedCount();
bool SlkSocketIsOpen(uint16_t socket);

// The text of a serial or link status; other codes as "error code: %04X" in one static buffer.
const char* LinkErrorText(uint16_t code);

}  // namespace quillwatch
