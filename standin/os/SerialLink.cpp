// The serial link manager of the stand-in OS (system slots 412-423) over the serial manager's host
// descriptors, and the opening and closing of the debugger's port (459, 451).
//
// Packets are framed as common/SerialLinkPacket.h says. A receive reads from the port of the
// socket asked for; a line that fails (the debugger went away) ends a receive with a time-out, so a
// caller that waits without limit is not held for ever. One task reads the line at a time: a packet
// it reads for another socket (the console's while the debugger's nub waits, or the reverse) is
// kept for that socket, whose receive takes it.
//
// A port 0x8002 that waits for the debugger to connect opens at once; the connection is taken when
// the line is first used: the debugger's socket waits for it, any other socket (the console) finds
// the line quiet until the debugger is there, so a console started at launch holds nothing up.
#include "standin/os/SerialLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/module/SlkCalls.h"
#include "common/module/SystemCalls.h"
#include "standin/os/SerialPorts.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t kDebuggerPortID = static_cast<uint16_t>(kDebuggerSerialPort);

struct Socket {
    bool open = false;
    uint16_t portID = 0;
};

std::mutex gLock;
int gOpenCount = 0;
Socket gSockets[slkSocketCount];
int gListener = -1;   // from DebuggerLinkListen
int gDebuggerFd = -1;  // the descriptor SrmOpen opened for port 0x8002
int gAwaiting = -1;    // while port 0x8002 is open and the debugger not yet connected: the listener
bool gOwnListener = false;  // the listener is SrmOpen's own (VANTOR_DEBUGGER_LINK), closed once used
std::mutex gConnectLock;    // held by the one task that takes the debugger's connection

// A packet read by one socket's receive for another socket.
struct KeptPacket {
    SlkPktHeaderType header;
    std::vector<uint8_t> body;
};
constexpr size_t kKeptMax = 32;  // per socket; the oldest goes first
struct Readers {
    bool reading = false;  // a task is reading the line
    std::condition_variable done;
    std::deque<KeptPacket> kept[slkSocketCount];
};
// Never destroyed: a console task may still wait on it while the program ends.
Readers& R() {
    static Readers* r = new Readers;
    return *r;
}

// The serial manager's own slots, called through the table (the stand-in does not use the glue).
uint32_t SrmReceive(uint16_t port, void* buffer, uint32_t count, int32_t timeout, uint16_t* err) {
    return reinterpret_cast<syssig::SrmReceive*>(SystemTable()[sysslot::SrmReceive])(port, buffer, count, timeout, err);
}
uint32_t SrmSend(uint16_t port, const void* buffer, uint32_t count, uint16_t* err) {
    return reinterpret_cast<syssig::SrmSend*>(SystemTable()[sysslot::SrmSend])(port, buffer, count, err);
}

// ---- the debugger's port ----

int Connect(const std::string& host, const std::string& port) {
    addrinfo hints{}, *list = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = list; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    return fd;
}

int Listen(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int AcceptOne(int listener) {
    int fd;
    do fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

// The descriptor of a link that VANTOR_DEBUGGER_LINK names and that does not wait for the
// debugger (ListenerFor takes those), or -1 with a message.
int OpenDebuggerLink() {
    const char* link = std::getenv("VANTOR_DEBUGGER_LINK");
    if (!link || !*link) return -1;
    std::string text = link;
    int fd = -1;
    if (text.rfind("tcp-listen:", 0) == 0) {
        // a port to listen on that could not be had
    } else if (text.rfind("tcp:", 0) == 0) {
        size_t colon = text.rfind(':');
        if (colon > 4) fd = Connect(text.substr(4, colon - 4), text.substr(colon + 1));
    } else {
        fd = open(text.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        if (fd >= 0 && tcgetattr(fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
    }
    if (fd < 0) std::fprintf(stderr, "VANTOR_DEBUGGER_LINK=%s: cannot open the debugger link\n", link);
    return fd;
}

// The listener of a link that waits for the debugger to connect, or -1 for any other link.
int ListenerFor(bool* own) {
    *own = false;
    if (gListener >= 0) return gListener;
    const char* link = std::getenv("VANTOR_DEBUGGER_LINK");
    if (!link || std::strncmp(link, "tcp-listen:", 11) != 0) return -1;
    char* end = nullptr;
    unsigned long port = std::strtoul(link + 11, &end, 10);
    int listener = port <= 0xFFFF && !*end ? Listen(static_cast<uint16_t>(port)) : -1;
    if (listener < 0) return -1;
    *own = true;
    return listener;
}

// Takes the debugger's connection on port 0x8002 when it waits for one: `wait` waits for the
// debugger, otherwise only a connection already there is taken. True when the line is connected
// (or is not one that waits).
bool LinkReady(uint16_t portID, bool wait) {
    if (portID != kDebuggerPortID) return true;
    std::unique_lock<std::mutex> connecting(gConnectLock, std::defer_lock);
    if (wait) connecting.lock();
    else if (!connecting.try_lock()) return false;
    int listener;
    bool own;
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gAwaiting < 0) return true;
        listener = gAwaiting;
        own = gOwnListener;
    }
    if (wait && own) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        std::fprintf(stderr, "Waiting for the debugger on 127.0.0.1:%u\n", ntohs(a.sin_port));
    }
    pollfd p{listener, POLLIN, 0};
    int r;
    do r = poll(&p, 1, wait ? -1 : 0);
    while (r < 0 && errno == EINTR);
    int fd = r > 0 && (p.revents & POLLIN) ? AcceptOne(listener) : -1;
    if (fd < 0) return false;
    std::lock_guard<std::mutex> lock(gLock);
    if (gAwaiting != listener || !SerialPortAttach(kDebuggerPortID, fd)) {  // closed meanwhile
        close(fd);
        return false;
    }
    gDebuggerFd = fd;
    if (gOwnListener) close(gAwaiting);
    gAwaiting = -1;
    return true;
}

uint16_t StandinSrmOpen(uint32_t port, uint32_t, uint16_t* newPortIdP) {
    if (!newPortIdP) return serErrBadParam;
    if (port != kDebuggerSerialPort) return serErrBadPort;
    std::lock_guard<std::mutex> lock(gLock);
    if (SerialPortFlags(kDebuggerPortID) == 0 && gAwaiting < 0) {  // not attached, not waiting
        int listener = ListenerFor(&gOwnListener);
        if (listener >= 0) {
            gAwaiting = listener;
            *newPortIdP = kDebuggerPortID;
            return 0;
        }
        int fd = OpenDebuggerLink();
        if (fd < 0 || !SerialPortAttach(kDebuggerPortID, fd)) {
            if (fd >= 0) close(fd);
            return serErrOpenFailed;
        }
        gDebuggerFd = fd;
    }
    *newPortIdP = kDebuggerPortID;
    return 0;
}
static_assert(std::is_same_v<decltype(StandinSrmOpen), slksig::SrmOpen>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SrmOpen, StandinSrmOpen)

uint16_t StandinSrmClose(uint16_t portID) {
    std::lock_guard<std::mutex> lock(gLock);
    if (portID == kDebuggerPortID && gAwaiting >= 0) {  // the debugger never came
        if (gOwnListener) close(gAwaiting);
        gAwaiting = -1;
        return 0;
    }
    if (portID != kDebuggerPortID || SerialPortFlags(portID) == 0) return serErrBadPort;
    if (gDebuggerFd >= 0) {  // a descriptor a test attached stays attached
        SerialPortDetach(portID);
        close(gDebuggerFd);
        gDebuggerFd = -1;
    }
    return 0;
}
static_assert(std::is_same_v<decltype(StandinSrmClose), slksig::SrmClose>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SrmClose, StandinSrmClose)

// ---- the link manager ----

uint16_t StandinSlkOpen() {
    std::lock_guard<std::mutex> lock(gLock);
    return gOpenCount++ ? slkErrInUse : 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkOpen, StandinSlkOpen)

uint16_t StandinSlkClose() {
    std::lock_guard<std::mutex> lock(gLock);
    if (gOpenCount == 0) return slkErrNotOpen;
    if (--gOpenCount == 0) {
        for (Socket& s : gSockets) s = Socket{};
        for (auto& kept : R().kept) kept.clear();
    }
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkClose, StandinSlkClose)

uint16_t StandinSlkOpenSocket(uint16_t portID, uint16_t* socketP, uint8_t staticSocket) {
    std::lock_guard<std::mutex> lock(gLock);
    if (gOpenCount == 0) return slkErrNotOpen;
    if (!socketP) return slkErrBadSocket;
    uint16_t n = *socketP;
    if (!staticSocket) {
        for (n = 4; n < slkSocketCount && gSockets[n].open; ++n) {
        }
    }
    if (n >= slkSocketCount) return slkErrBadSocket;
    if (gSockets[n].open) return slkErrInUse;
    gSockets[n] = {true, portID};
    *socketP = n;
    return 0;
}
static_assert(std::is_same_v<decltype(StandinSlkOpenSocket), slksig::SlkOpenSocket>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkOpenSocket, StandinSlkOpenSocket)

uint16_t StandinSlkCloseSocket(uint16_t socket) {
    std::lock_guard<std::mutex> lock(gLock);
    if (socket >= slkSocketCount || !gSockets[socket].open) return slkErrNoSocket;
    gSockets[socket] = Socket{};
    R().kept[socket].clear();
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkCloseSocket, StandinSlkCloseSocket)

// The port of an open socket.
bool PortOf(uint16_t socket, uint16_t* portID) {
    std::lock_guard<std::mutex> lock(gLock);
    if (socket >= slkSocketCount || !gSockets[socket].open) return false;
    *portID = gSockets[socket].portID;
    return true;
}

uint16_t StandinSlkSocketRefNum(uint16_t socket, uint16_t* portIDP) {
    uint16_t port;
    if (!PortOf(socket, &port)) return slkErrNoSocket;
    if (portIDP) *portIDP = port;
    return 0;
}
static_assert(std::is_same_v<decltype(StandinSlkSocketRefNum), slksig::SlkSocketRefNum>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkSocketRefNum, StandinSlkSocketRefNum)

// Discards what arrives until the line stays quiet for `timeout` ticks.
uint16_t StandinSlkFlushSocket(uint16_t socket, int32_t timeout) {
    uint16_t port;
    if (!PortOf(socket, &port)) return slkErrNoSocket;
    {
        std::lock_guard<std::mutex> lock(gLock);
        R().kept[socket].clear();
    }
    if (!LinkReady(port, socket == slkSocketDebugger)) return 0;
    uint8_t scratch[256];
    uint16_t err = 0;
    for (int rounds = 0; rounds < 4096; ++rounds) {
        uint32_t got = SrmReceive(port, scratch, sizeof scratch, timeout < 0 ? 0 : timeout, &err);
        if (got == 0 || err) break;
    }
    return 0;
}
static_assert(std::is_same_v<decltype(StandinSlkFlushSocket), slksig::SlkFlushSocket>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkFlushSocket, StandinSlkFlushSocket)

// Reads packets from the line until one is the caller's: a packet for another socket that is open
// (or for the debugger's, which its nub opens when it stops) is kept for it.
uint16_t ReadPacket(uint16_t socket, uint16_t port, uint8_t andOtherSockets, SlkPktHeaderType* headerP, void* bodyP,
                    uint16_t bodySize, int32_t timeout) {
    uint16_t err = 0;
    auto read = [&](void* into, uint32_t n) {
        uint32_t got = n ? SrmReceive(port, into, n, timeout, &err) : 0;
        return got == n && !err;
    };
    for (;;) {
        // Find the signature, then take the rest of the header.
        uint8_t wire[slkPktHeaderSize];
        int matched = 0;
        const uint8_t signature[3] = {slkPktSignature1, slkPktSignature2, slkPktSignature3};
        while (matched < 3) {
            if (!read(wire + matched, 1)) return slkErrTimeout;
            if (wire[matched] == signature[matched]) ++matched;
            else matched = wire[matched] == signature[0] ? (wire[0] = signature[0], 1) : 0;
        }
        if (!read(wire + 3, slkPktHeaderSize - 3)) return slkErrTimeout;
        if (PrvSlkHeaderChecksum(wire) != wire[9]) return slkErrFormat;
        SlkPktHeaderType header = SlkHeaderFromWire(wire);
        bool keep = false;
        if (header.dest != socket && !andOtherSockets && header.dest < slkSocketCount) {
            std::lock_guard<std::mutex> lock(gLock);
            const Socket& other = gSockets[header.dest];
            keep = other.open ? other.portID == port : header.dest == slkSocketDebugger;
        }
        std::vector<uint8_t> keptBody(keep ? header.bodySize : 0);
        void* into = keep ? keptBody.data() : bodyP;
        // The whole body is read to keep the line in step; what does not fit the buffer is dropped.
        uint16_t crc = Crc16CalcBlock(wire, slkPktHeaderSize, 0);
        uint32_t kept = keep ? header.bodySize : header.bodySize < bodySize ? header.bodySize : bodySize;
        if (!read(into, kept)) return slkErrTimeout;
        crc = Crc16CalcBlock(into, kept, crc);
        for (uint32_t left = header.bodySize - kept; left > 0;) {
            uint8_t scratch[256];
            uint32_t n = left < sizeof scratch ? left : sizeof scratch;
            if (!read(scratch, n)) return slkErrTimeout;
            crc = Crc16CalcBlock(scratch, n, crc);
            left -= n;
        }
        uint8_t crcBytes[2];
        if (!read(crcBytes, 2)) return slkErrTimeout;
        if (crc != ReadBE16(crcBytes)) return slkErrCRC;
        if (keep) {
            std::lock_guard<std::mutex> lock(gLock);
            auto& queue = R().kept[header.dest];
            if (queue.size() == kKeptMax) queue.pop_front();
            queue.push_back({header, std::move(keptBody)});
            R().done.notify_all();
            continue;
        }
        *headerP = header;
        if (header.dest != socket && !andOtherSockets) return slkErrOtherSocket;
        return header.bodySize > bodySize ? slkErrBufferSmall : 0;
    }
}

uint16_t StandinSlkReceivePacket(uint16_t socket, uint8_t andOtherSockets, SlkPktHeaderType* headerP, void* bodyP,
                                 uint16_t bodySize, int32_t timeout) {
    uint16_t port;
    if (!PortOf(socket, &port)) return slkErrNoSocket;
    if (!headerP || (!bodyP && bodySize)) return slkErrBadSocket;
    if (!LinkReady(port, socket == slkSocketDebugger)) return slkErrTimeout;
    Readers& r = R();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout < 0 ? 0 : timeout);
    std::unique_lock<std::mutex> lock(gLock);
    for (;;) {
        auto& queue = r.kept[socket];
        if (!queue.empty()) {  // read for this socket by another receive
            KeptPacket packet = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            *headerP = packet.header;
            size_t n = packet.body.size() < bodySize ? packet.body.size() : bodySize;
            if (n) std::memcpy(bodyP, packet.body.data(), n);
            return packet.header.bodySize > bodySize ? slkErrBufferSmall : 0;
        }
        if (!r.reading) break;
        if (timeout < 0) r.done.wait(lock);
        else if (r.done.wait_until(lock, deadline) == std::cv_status::timeout && r.kept[socket].empty())
            return slkErrTimeout;
    }
    r.reading = true;
    lock.unlock();
    uint16_t err = ReadPacket(socket, port, andOtherSockets, headerP, bodyP, bodySize, timeout);
    lock.lock();
    r.reading = false;
    r.done.notify_all();
    return err;
}
static_assert(std::is_same_v<decltype(StandinSlkReceivePacket), slksig::SlkReceivePacket>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkReceivePacket, StandinSlkReceivePacket)

uint16_t StandinSlkSendPacket(SlkPktHeaderType* headerP, const SlkWriteDataType* writeList) {
    if (!headerP) return slkErrBadSocket;
    uint16_t port;
    if (!PortOf(headerP->src, &port)) return slkErrNoSocket;
    if (!LinkReady(port, headerP->src == slkSocketDebugger)) return slkErrTimeout;  // nobody listens yet
    uint8_t body[slkMaxBodySize];
    size_t size = 0;
    for (const SlkWriteDataType* w = writeList; w && w->size; ++w) {
        if (w->size > sizeof body - size) return slkErrBodyLimit;
        std::memcpy(body + size, w->dataP, w->size);
        size += w->size;
    }
    uint8_t packet[slkPktHeaderSize + slkMaxBodySize + slkPktFooterSize];
    size_t n = SlkEncodePacket(*headerP, body, size, packet, sizeof packet);
    uint16_t err = 0;
    static std::mutex sending;  // packets of two tasks never interleave on the line
    std::lock_guard<std::mutex> hold(sending);
    SrmSend(port, packet, static_cast<uint32_t>(n), &err);
    return err;
}
static_assert(std::is_same_v<decltype(StandinSlkSendPacket), slksig::SlkSendPacket>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkSendPacket, StandinSlkSendPacket)

// The serial manager's call that the console makes before it reads commands (slot 464: port,
// ticks): the stand-in's lines hold no stale input to drop, so it does nothing.
uint16_t StandinSrmSel18(uint16_t, int32_t) { return 0; }
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SrmSel18, StandinSrmSel18)

// The link manager's own answer to a packet nobody serves: none.
uint16_t StandinSlkSysPktDefaultResponse(SlkPktHeaderType*, void*) { return 0; }
static_assert(std::is_same_v<decltype(StandinSlkSysPktDefaultResponse), slksig::SlkSysPktDefaultResponse>);
VANTOR_OS_LIBRARY_SLOT(System, sysslot::SlkSysPktDefaultResponse, StandinSlkSysPktDefaultResponse)

}  // namespace

uint16_t DebuggerLinkListen(uint16_t port) {
    std::lock_guard<std::mutex> lock(gLock);
    if (gListener >= 0) close(gListener);
    gListener = Listen(port);
    if (gListener < 0) return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(gListener, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

}  // namespace vantor::os
