// The link selector: holds the current kind of link and routes every byte-level operation of the
// link manager to that kind's transport. Every transport reports serial-class statuses (0x03xx).
#pragma once

#include <cstdint>

#include "common/Status.h"

namespace quillwatch {

using vantor::Status;

enum HostLinkKind : uint32_t { linkSerial = 0, linkNone = 1, linkTcp = 2, linkUsb = 3 };

// A transport's operations, statuses already in the serial class.
struct LinkTransport {
    Status (*open)(uint16_t refNum, uint16_t port, uint32_t baud);
    Status (*close)(uint16_t refNum);
    uint32_t (*send)(uint16_t refNum, const void* bytes, uint32_t count, Status* status);
    Status (*sendWait)(uint16_t refNum, int32_t timeoutMs);
    uint32_t (*receive)(uint16_t refNum, void* buffer, uint32_t count, int32_t timeoutMs, Status* status);
    Status (*receiveWait)(uint16_t refNum, uint32_t count, int32_t timeoutMs);
    void (*receiveFlush)(uint16_t refNum, int32_t timeoutMs);
    Status (*clearError)(uint16_t refNum);
};

// Puts a transport in place of the one of a kind (serial, TCP or USB), for example one that
// replays bytes in a test; none restores the built-in one. Returns the previous one.
const LinkTransport* LinkSetTransport(HostLinkKind kind, const LinkTransport* transport);

// Chooses the kind for the next open; nothing is opened or closed. Under a kind outside 0-3 every
// operation does nothing and answers 0 (no bytes, status 0).
Status LinkSetKind(uint32_t kind);
uint32_t LinkGetKind();

Status LinkOpen(uint16_t refNum, uint16_t port, uint32_t baud, bool handshake);
Status LinkClose(uint16_t refNum);
uint32_t LinkSend(uint16_t refNum, const void* bytes, uint32_t count, Status* status);
// Waits until everything is sent; -1 is the transport's default time.
Status LinkSendWait(uint16_t refNum, int32_t timeoutMs);
uint32_t LinkReceive(uint16_t refNum, void* buffer, uint32_t count, int32_t timeoutMs, Status* status);
Status LinkReceiveWait(uint16_t refNum, uint32_t count, int32_t timeoutMs);
void LinkReceiveFlush(uint16_t refNum, int32_t timeoutMs);
Status LinkClearError(uint16_t refNum);
// Reserved for USB control; no effect.
Status LinkControl(uint16_t refNum, uint32_t value);

// Raw transport statuses into the serial class: 1-9 to 0x0301-0x0309, others but 0 to 0x030A.
Status LinkMapTcpError(uint16_t raw);

// Serial port settings, kept by the serial transport.
struct HostSerSettings {
    uint32_t baud;
    uint32_t flags;  // 0x20: hardware handshake
    uint32_t ctsTimeout;
};
constexpr uint32_t hostSerFlagHandshake = 0x20;
Status HostSerGetSettings(uint16_t refNum, HostSerSettings* settings);
Status HostSerSetSettings(uint16_t refNum, const HostSerSettings* settings);

}  // namespace quillwatch
