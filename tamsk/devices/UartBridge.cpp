// The UART socket bridge: one monitor thread per UART connects to the address of its UART (the
// first UART's is option SerialPort) or, when that fails, listens there for one peer, and passes
// received bytes to the UART model. Bytes pass through unread.
#include "tamsk/devices/UartBridge.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Timing.h"
#include "tamsk/devices/UartState.h"
#include "tamsk/board/HostThreads.h"

namespace tamsk {

namespace {

constexpr int kPollSliceMs = 50;  // how often a blocked monitor looks at its stop flag

void SetOptions(int s) {
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
}

int NewSocket() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) HostFatal("Failed to create socket");
    SetOptions(s);
    return s;
}

// Waits until fd is ready for `events`, in slices, giving up when the UART is stopping.
// 1 ready, 0 stopping, -1 error.
int WaitReady(const UartUnit& t, int fd, short events, int timeoutMs = -1) {
    for (int waited = 0; timeoutMs < 0 || waited < timeoutMs; waited += kPollSliceMs) {
        if (t.stopping.load()) return 0;
        pollfd p{fd, events, 0};
        const int rc = poll(&p, 1, kPollSliceMs);
        if (rc > 0) return 1;
        if (rc < 0 && errno != EINTR) return -1;
    }
    return -1;
}

int Connect(const UartUnit& t, const sockaddr_in& address) {
    const int s = NewSocket();
    const int flags = fcntl(s, F_GETFL);
    fcntl(s, F_SETFL, flags | O_NONBLOCK);
    int rc = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc != 0 && errno == EINPROGRESS && WaitReady(t, s, POLLOUT, 5000) == 1) {
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length);
        rc = error == 0 ? 0 : -1;
    }
    if (rc != 0) {
        close(s);
        return -1;
    }
    fcntl(s, F_SETFL, flags);
    return s;
}

// A listening socket on the configured address only; two retries 10 ms apart.
int Listen(const UartUnit& t, const sockaddr_in& address) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt) {
            if (t.stopping.load()) return -1;
            win32::Sleep(10);
        }
        const int s = NewSocket();
        if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            listen(s, 1) == 0)
            return s;
        close(s);
    }
    return -1;
}

void Post(unsigned u, uint32_t cause) {
    Uarts[u].pending.fetch_or(cause);
    CpuRequestAttention(UartPendingBit(u));
}

void SetPeer(unsigned u, int peer) {
    UartUnit& t = Uarts[u];
    win32::EnterCriticalSection(HostLock(t.txLock));
    const int old = t.socket;
    t.socket = peer;
    win32::LeaveCriticalSection(HostLock(t.txLock));
    if (old >= 0) close(old);
    t.linkUp = peer >= 0;
    Post(u, peer >= 0 ? kCauseLinkUp : kCauseLinkDown);
}

// 0: stop; 1: receive error; 2: the peer closed.
int ReceiveLoop(unsigned u, int peer) {
    UartUnit& t = Uarts[u];
    uint8_t data[kUartBufferSize];
    for (;;) {
        const int ready = WaitReady(t, peer, POLLIN);
        if (ready == 0) return 0;
        const uint32_t room = Opt.RxFIFO < 1 ? 1 : Opt.RxFIFO > int32_t(kUartBufferSize) ? kUartBufferSize : uint32_t(Opt.RxFIFO);
        // Received without holding any lock the core takes.
        const ssize_t n = ready < 0 ? -1 : recv(peer, data, room, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            win32::SetEvent(HostEvent(t.wake));
            return n == 0 ? 2 : 1;
        }
        if (t.paused.load()) continue;
        // Wait until the core has taken what was delivered before.
        for (;;) {
            win32::EnterCriticalSection(HostLock(t.rxLock));
            const bool drained = t.rxPos >= t.rxCount;
            if (drained) {
                std::memcpy(t.rx, data, size_t(n));
                t.rxCount = uint32_t(n);
                t.rxPos = 0;
            }
            win32::LeaveCriticalSection(HostLock(t.rxLock));
            if (drained) break;
            const win32::HANDLE events[2] = {HostEvent(t.wake), HostEvent(t.stop)};
            win32::WaitForMultipleObjects(2, events, false, win32::INFINITE);
            if (t.stopping.load()) return 0;
        }
        Post(u, kCauseRxData);
    }
}

win32::DWORD UartSocketMonitor(void* argument) {
    const unsigned u = unsigned(reinterpret_cast<uintptr_t>(argument));
    UartUnit& t = Uarts[u];
    HostSetThreadName("UART Socket Monitor");
    sockaddr_in address;
    if (UartParseAddress(t.address, &address) != 0) {
        win32::SetEvent(HostEvent(t.ready));
        return 0;
    }
    t.bridged = true;
    bool listening = false;
    while (!t.stopping.load()) {
        int peer = listening ? -1 : Connect(t, address);
        if (t.stopping.load()) {
            if (peer >= 0) close(peer);
            break;
        }
        if (peer < 0) {
            listening = true;
            const int listener = Listen(t, address);
            if (listener < 0) break;
            win32::SetEvent(HostEvent(t.ready));
            const int ready = WaitReady(t, listener, POLLIN);
            peer = ready == 1 ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
            close(listener);
            if (peer < 0) break;
            SetOptions(peer);
        } else {
            win32::SetEvent(HostEvent(t.ready));
        }
        SetPeer(u, peer);
        const int result = ReceiveLoop(u, peer);
        SetPeer(u, -1);
        if (result == 0) break;
        if (result == 1) {
            win32::WaitForSingleObject(HostEvent(t.stop), win32::timeGetTime() & 63);
        }
    }
    // Without a monitor the UART has no host side: its output is no longer held for a peer.
    t.bridged = false;
    win32::SetEvent(HostEvent(t.ready));
    return 0;
}

void CloseSide(unsigned u) {
    UartUnit& t = Uarts[u];
    t.stopping = true;
    win32::SetEvent(HostEvent(t.stop));
    win32::SetEvent(HostEvent(t.wake));
    win32::WaitForSingleObject(HostThread(t.thread), win32::INFINITE);
    HostFreeThread(t.thread);
    for (unsigned e : {t.ready, t.wake, t.stop, t.spare}) HostFreeEvent(e);
    HostFreeLock(t.rxLock);
    HostFreeLock(t.txLock);
    t.started = false;
    t.paused = false;
}

}  // namespace

int UartParseAddress(const char* text, sockaddr_in* out) {
    const char* colon = std::strchr(text, ':');
    if (!colon) return 1;
    const std::string host(text, colon);
    char* end = nullptr;
    errno = 0;
    const unsigned long port = std::strtoul(colon + 1, &end, 10);
    if (end == colon + 1 || *end != '\0' || errno == ERANGE || port > 65535) return 1;
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(uint16_t(port));
    if (host == "localhost" || host == "127.0.0.1") {
        out->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    }
    if (inet_aton(host.c_str(), &out->sin_addr)) return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return 1;
    out->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return 0;
}

void UartBridgeStart(unsigned u) {
    UartUnit& t = Uarts[u];
    if (t.started) {
        t.paused = false;
        return;
    }
    t.ready = HostCreateEvent();
    t.wake = HostCreateEvent();
    t.stop = HostCreateEvent();
    t.spare = HostCreateEvent();
    t.rxLock = HostCreateLock();
    t.txLock = HostCreateLock();
    t.stopping = false;
    t.paused = false;
    t.bridged = false;
    t.linkUp = false;
    t.socket = -1;
    t.survivesReset = u == 0;
    t.started = true;
    t.thread = HostCreateThread(UartSocketMonitor, reinterpret_cast<void*>(uintptr_t(u)));
    win32::WaitForSingleObject(HostEvent(t.ready), win32::INFINITE);
}

void UartBridgeEnd(unsigned u, int32_t code) {
    UartUnit& t = Uarts[u];
    if (!t.started || code == kRunSave) return;
    if (code != kRunExit && code != kRunLoad && t.survivesReset)
        t.paused = true;
    else
        CloseSide(u);
}

bool UartBridgeSend(unsigned u, const uint8_t* bytes, uint32_t count) {
    UartUnit& t = Uarts[u];
    if (!t.started) return false;
    win32::EnterCriticalSection(HostLock(t.txLock));
    const bool connected = t.socket >= 0;
    // A peer that has gone only loses what was meant for it; MSG_NOSIGNAL keeps the emulator alive.
    for (uint32_t sent = 0; connected && sent < count;) {
        const ssize_t n = send(t.socket, bytes + sent, count - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sent += uint32_t(n);
    }
    win32::LeaveCriticalSection(HostLock(t.txLock));
    return connected;
}

}  // namespace tamsk
