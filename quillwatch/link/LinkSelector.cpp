#include "quillwatch/link/LinkSelector.h"

#include "common/SerialLinkPacket.h"
#include "quillwatch/link/TcpTransport.h"

namespace quillwatch {

using namespace vantor;

// The serial and USB transports' built-in tables (SerialTransport.cpp, UsbTransport.cpp).
extern const LinkTransport kSerialTransport;
extern const LinkTransport kUsbTransport;

namespace {

Status TcpOpen(uint16_t, uint16_t, uint32_t) {
    HostTcpOpen(true);
    return 0;  // a failed connect is retried by the first send
}
Status TcpClose(uint16_t) { return HostTcpClose(); }
uint32_t TcpSend(uint16_t, const void* bytes, uint32_t count, Status* status) {
    uint16_t raw;
    uint32_t n = HostTcpSend(bytes, count, &raw);
    *status = LinkMapTcpError(raw);
    return n;
}
Status TcpSendWait(uint16_t, int32_t) { return 0; }
uint32_t TcpReceive(uint16_t, void* buffer, uint32_t count, int32_t timeoutMs, Status* status) {
    uint16_t raw;
    uint32_t n = HostTcpReceive(buffer, count, timeoutMs, &raw);
    *status = LinkMapTcpError(raw);
    return n;
}
Status TcpReceiveWait(uint16_t, uint32_t count, int32_t timeoutMs) {
    return LinkMapTcpError(HostTcpWait(count, timeoutMs));
}
void TcpReceiveFlush(uint16_t, int32_t timeoutMs) { HostTcpReceiveFlush(timeoutMs); }
Status TcpClearError(uint16_t) { return 0; }

const LinkTransport kTcpTransport = {TcpOpen,    TcpClose,       TcpSend,         TcpSendWait,
                                     TcpReceive, TcpReceiveWait, TcpReceiveFlush, TcpClearError};

uint32_t gKind = linkSerial;
uint16_t gUsbPort = 0;
const LinkTransport* gTransports[4] = {&kSerialTransport, nullptr, &kTcpTransport, &kUsbTransport};
const LinkTransport* const kBuiltIn[4] = {&kSerialTransport, nullptr, &kTcpTransport, &kUsbTransport};

// The transport of the current kind; none for kind "none" and for kinds outside 0-3.
const LinkTransport* T() { return gKind <= linkUsb ? gTransports[gKind] : nullptr; }
// Kinds outside 0-3 do nothing and answer 0 to everything.
bool Unknown() { return gKind > linkUsb; }

}  // namespace

const LinkTransport* LinkSetTransport(HostLinkKind kind, const LinkTransport* transport) {
    if (kind > linkUsb || kind == linkNone) return nullptr;
    const LinkTransport* old = gTransports[kind];
    gTransports[kind] = transport ? transport : kBuiltIn[kind];
    return old;
}

Status LinkSetKind(uint32_t kind) {
    gKind = kind;
    return 0;
}

uint32_t LinkGetKind() { return gKind; }

Status LinkOpen(uint16_t refNum, uint16_t port, uint32_t baud, bool handshake) {
    if (Unknown()) return 0;
    if (!T()) return errGenericFailure;
    if (gKind == linkUsb) gUsbPort = port;
    Status err = T()->open(refNum, port, baud);
    if (err || gKind != linkSerial) return err;
    HostSerSettings s;
    HostSerGetSettings(refNum, &s);
    s.flags = handshake ? (s.flags | hostSerFlagHandshake) : (s.flags & ~hostSerFlagHandshake);
    return HostSerSetSettings(refNum, &s);
}

Status LinkClose(uint16_t refNum) {
    if (Unknown()) return 0;
    return T() ? T()->close(refNum) : errGenericFailure;
}

uint32_t LinkSend(uint16_t refNum, const void* bytes, uint32_t count, Status* status) {
    *status = 0;
    return T() ? T()->send(refNum, bytes, count, status) : 0;
}

Status LinkSendWait(uint16_t refNum, int32_t timeoutMs) {
    if (Unknown()) return 0;
    return T() ? T()->sendWait(refNum, timeoutMs) : errGenericFailure;
}

uint32_t LinkReceive(uint16_t refNum, void* buffer, uint32_t count, int32_t timeoutMs, Status* status) {
    *status = 0;
    return T() ? T()->receive(refNum, buffer, count, timeoutMs, status) : 0;
}

Status LinkReceiveWait(uint16_t refNum, uint32_t count, int32_t timeoutMs) {
    if (Unknown()) return 0;
    if (!T()) return errGenericFailure;
    Status err = T()->receiveWait(refNum, count, timeoutMs);
    if (err != serErrLine || gKind != linkUsb) return err;
    // A USB line error means the device went away: reopen once and wait again.
    LinkClose(0);
    if (Status openErr = LinkOpen(0, gUsbPort, 0, false)) return openErr;
    return T()->receiveWait(refNum, count, timeoutMs);
}

void LinkReceiveFlush(uint16_t refNum, int32_t timeoutMs) {
    if (T()) T()->receiveFlush(refNum, timeoutMs);
}

Status LinkClearError(uint16_t refNum) {
    if (Unknown()) return 0;
    return T() ? T()->clearError(refNum) : errGenericFailure;
}

Status LinkControl(uint16_t, uint32_t) { return 0; }

Status LinkMapTcpError(uint16_t raw) {
    if (raw == 0) return 0;
    if (raw <= 9) return static_cast<Status>(0x0300 + raw);
    return serErrTcp;
}

}  // namespace quillwatch
