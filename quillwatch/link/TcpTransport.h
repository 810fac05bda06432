// The TCP transport: the link's bytes over one TCP connection to an emulator that offers the
// device's serial port as a socket (port 2000 by default). Always a client for the link selector.
// Raw statuses: 5 (time-out, not connected, connection lost) and 11 (any other failure).
#pragma once

#include <cstdint>

namespace quillwatch {

constexpr uint16_t tcpRawTimeout = 5;
constexpr uint16_t tcpRawOther = 11;
constexpr uint16_t tcpDefaultPort = 2000;

// Connection states.
enum HostTcpState : uint32_t { tcpClosed = 0, tcpSocketMade = 1, tcpListening = 2, tcpConnected = 3 };

// The emulator's address (IPv4, host byte order; 127.0.0.1 at start) and port (2000 at start).
void HostTcpSetAddress(uint32_t ipv4, uint16_t port = tcpDefaultPort);
HostTcpState HostTcpGetState();

uint16_t HostTcpOpen(bool client);
uint16_t HostTcpClose();
// Sends all bytes, reconnecting first when the connection is closed or the peer has gone.
uint32_t HostTcpSend(const void* bytes, uint32_t count, uint16_t* status);
// Waits until the connection is readable; a negative time-out waits for ever.
uint16_t HostTcpWait(uint32_t count, int32_t timeoutMs);
uint32_t HostTcpReceiveOnce(void* buffer, uint32_t count, int32_t timeoutMs, uint16_t* status);
// Receives exactly count bytes unless a status is set.
uint32_t HostTcpReceive(void* buffer, uint32_t count, int32_t timeoutMs, uint16_t* status);
void HostTcpReceiveFlush(int32_t timeoutMs);

}  // namespace quillwatch
