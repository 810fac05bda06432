#include "quillwatch/link/TcpTransport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {

struct TcpGlobals {
    int connection = -1;
    int listener = -1;
    bool client = true;
    HostTcpState state = tcpClosed;
    uint32_t address = INADDR_LOOPBACK;
    uint16_t port = tcpDefaultPort;
} g;

// errno values that mean "not connected" become a time-out, as the link manager expects.
uint16_t MapErrno(int err) {
    switch (err) {
        case ENOTCONN:
        case ESHUTDOWN:
        case EPIPE:
        case ECONNREFUSED: return tcpRawTimeout;
        default: return tcpRawOther;
    }
}

int MakeSocket() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    int one = 1;
    linger lg{1, 0};
    if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) != 0) {
        close(s);
        return -1;
    }
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // a failure does not matter
    return s;
}

sockaddr_in Address(bool client) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(g.port);
    a.sin_addr.s_addr = htonl(client ? g.address : INADDR_ANY);
    return a;
}

// Connects the connection socket; on Linux a socket whose connect failed is not reused, so every
// attempt starts from a fresh socket.
uint16_t Connect() {
    if (g.connection >= 0) close(g.connection);
    g.connection = MakeSocket();
    if (g.connection < 0) {
        g.state = tcpClosed;
        return tcpRawOther;
    }
    g.state = tcpSocketMade;
    sockaddr_in a = Address(true);
    int rc;
    do rc = connect(g.connection, reinterpret_cast<sockaddr*>(&a), sizeof a);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) return MapErrno(errno);
    g.state = tcpConnected;
    return 0;
}

// True when the peer has closed or reset the connection.
bool PeerGone() {
    pollfd p{g.connection, POLLRDHUP, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace

void HostTcpSetAddress(uint32_t ipv4, uint16_t port) {
    g.address = ipv4;
    g.port = port;
}

HostTcpState HostTcpGetState() { return g.state; }

uint16_t HostTcpOpen(bool client) {
    g.client = client;
    if (client) return Connect();
    if (g.listener >= 0) close(g.listener);
    g.listener = MakeSocket();
    if (g.listener < 0) return tcpRawOther;
    sockaddr_in a = Address(false);
    if (bind(g.listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(g.listener, 1) != 0)
        return MapErrno(errno);
    // Listening is never used by the link selector and accepts no connection.
    g.state = tcpListening;
    return tcpRawOther;
}

uint16_t HostTcpClose() {
    if (g.connection >= 0) close(g.connection);
    if (g.listener >= 0) close(g.listener);
    g.connection = g.listener = -1;
    g.state = tcpClosed;
    return 0;
}

uint32_t HostTcpSend(const void* bytes, uint32_t count, uint16_t* status) {
    *status = 0;
    if (g.state == tcpConnected && PeerGone()) HostTcpClose();
    if (g.state == tcpClosed && !g.client) {
        *status = HostTcpOpen(false);
        return 0;
    }
    if (g.state != tcpConnected) {
        if (uint16_t err = Connect()) {
            *status = err;
            return 0;
        }
    }
    uint32_t sent = 0;
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (sent < count) {
        ssize_t n = send(g.connection, p + sent, count - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *status = MapErrno(n < 0 ? errno : EPIPE);
            break;
        }
        sent += static_cast<uint32_t>(n);
    }
    return sent;
}

uint16_t HostTcpWait(uint32_t, int32_t timeoutMs) {
    if (g.state != tcpConnected) return tcpRawTimeout;
    pollfd p{g.connection, POLLIN, 0};
    int rc;
    do rc = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    while (rc < 0 && errno == EINTR);
    return rc > 0 ? 0 : tcpRawTimeout;
}

uint32_t HostTcpReceiveOnce(void* buffer, uint32_t count, int32_t timeoutMs, uint16_t* status) {
    *status = 0;
    if (g.state != tcpConnected) {
        *status = tcpRawTimeout;
        return 0;
    }
    if (timeoutMs >= 0 && HostTcpWait(count, timeoutMs) != 0) {
        *status = tcpRawTimeout;
        return 0;
    }
    ssize_t n;
    do n = recv(g.connection, buffer, count, 0);
    while (n < 0 && errno == EINTR);
    if (n > 0) return static_cast<uint32_t>(n);
    *status = n == 0 ? tcpRawTimeout : MapErrno(errno);
    HostTcpClose();
    return 0;
}

uint32_t HostTcpReceive(void* buffer, uint32_t count, int32_t timeoutMs, uint16_t* status) {
    *status = 0;
    const uint32_t start = HostGetTicks();
    uint32_t got = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (got < count) {
        int32_t left = -1;
        if (timeoutMs >= 0) {
            int64_t l = int64_t{timeoutMs} - int64_t{HostGetTicks() - start};
            left = l < 0 ? 0 : static_cast<int32_t>(l);
        }
        got += HostTcpReceiveOnce(p + got, count - got, left, status);
        if (*status) break;
    }
    return got;
}

void HostTcpReceiveFlush(int32_t timeoutMs) {
    const uint32_t start = HostGetTicks();
    uint8_t scratch[500];
    for (;;) {
        if (HostTcpWait(sizeof scratch, timeoutMs) != 0) return;
        uint16_t status;
        HostTcpReceiveOnce(scratch, sizeof scratch, -1, &status);
        if (status) return;
        if (timeoutMs >= 0 && HostGetTicks() - start > static_cast<uint32_t>(timeoutMs)) return;
    }
}

}  // namespace quillwatch
