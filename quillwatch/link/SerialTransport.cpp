// The serial transport over termios ports and the emulator's pipe (a Unix stream socket).
//
// Ports and sockets are opened non-blocking and every wait is a poll with a deadline, so that a
// silent device or a vanished peer ends in a time-out, never a hang. Line settings use the kernel's
// termios2 interface, which also carries rates that have no Bxxx constant (14400 bit/s); it lives
// in <asm/termbits.h>, which cannot be used beside <termios.h>.
#include "quillwatch/link/SerialTransport.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "common/SerialLinkPacket.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"

namespace quillwatch {

using namespace vantor;

namespace {

constexpr uint32_t kInQueueSize = 30720;
constexpr uint32_t kOutQueueSize = 2048;

struct HostSerTimeouts {
    uint32_t readInterval;
    uint32_t readMultiplier;
    uint32_t readConstant;
    uint32_t writeMultiplier;
    uint32_t writeConstant;
};

struct HostSerGlobals {
    uint16_t openCount = 0;
    uint16_t port = 0;
    HostSerSettings settings = {0, 0, 0};
    int fd = -1;          // the port, or the pipe's connection
    int listener = -1;    // the pipe's listening socket while it serves
    bool isPipe = false;
    uint32_t inQueueSize = 0;
    uint32_t outQueueSize = 0;
    HostSerTimeouts timeouts = {3000, 25, 2000, 25, 2000};
    uint16_t refNum = 0;
};

HostSerGlobals g;
std::map<uint16_t, std::string> gPortPaths;
std::string gPipePath;

void Assert(int line, const char* message) { ErrDisplayFileLineMsg("SerLibWin", static_cast<uint16_t>(line), message); }

// The open-state and reference-number checks of every operation; they report and go on.
void Check(int line, uint16_t refNum, const char* notOpen) {
    if (g.openCount == 0) Assert(line, notOpen);
    if (refNum != g.refNum) Assert(line, "invalid ref num");
}

bool BaudAllowed(uint32_t baud) {
    static const uint32_t kBauds[] = {300,   600,   1200,  2400,  4800,   9600,
                                      14400, 19200, 38400, 57600, 115200, 230400};
    for (uint32_t b : kBauds)
        if (b == baud) return true;
    return false;
}

// The Bxxx code of a rate, or BOTHER for a rate without one.
tcflag_t BaudCode(uint32_t baud) {
    switch (baud) {
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        default: return BOTHER;
    }
}

int64_t Now() { return HostGetTicks(); }

// Milliseconds left until the deadline, not below 0.
int Left(int64_t deadline) {
    int64_t left = deadline - Now();
    return left < 0 ? 0 : static_cast<int>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left);
}

int PollFd(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int rc;
    do rc = poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    if (rc <= 0) return rc;
    return (p.revents & (events | POLLHUP | POLLERR)) ? 1 : 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

std::string DefaultPipePath() {
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) return std::string(run) + "/Emulator_Debugger";
    return "/tmp/Emulator_Debugger-" + std::to_string(getuid());
}

bool PipeAddress(sockaddr_un* a) {
    const char* path = HostSerPipePath();
    *a = sockaddr_un{};
    a->sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof a->sun_path) return false;
    std::strcpy(a->sun_path, path);
    return true;
}

// The pipe as a client: -1 when nobody serves it.
int PipeConnect() {
    sockaddr_un a;
    if (!PipeAddress(&a)) return -1;
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
    return s;
}

// The pipe as its server: a listening socket, -1 on failure. A socket file left behind by an
// earlier server that is gone is replaced; any other file at the path is left alone.
int PipeListen() {
    sockaddr_un a;
    if (!PipeAddress(&a)) return -1;
    struct stat st;
    if (lstat(a.sun_path, &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return -1;
        unlink(a.sun_path);
    }
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return -1;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 1) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// The pipe server takes its client once one has connected, waiting up to timeoutMs for it.
void AcceptClient(int timeoutMs) {
    if (g.fd >= 0 || g.listener < 0) return;
    if (PollFd(g.listener, POLLIN, timeoutMs) <= 0) return;
    g.fd = accept4(g.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

// The connection went away: a served pipe waits for its next client, anything else is closed.
void ConnectionLost() { CloseFd(g.fd); }

// Applies the settings to the port. A pipe has no line: nothing to set.
Status ApplyLine(const HostSerSettings& s) {
    if (g.isPipe) return 0;
    termios2 t{};
    if (ioctl(g.fd, TCGETS2, &t) != 0) return serErrLine;
    // Binary mode: no input or output processing, no echo, no signals.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[(s.flags & hostSerFlagDataBits) >> 6];
    if (s.flags & hostSerFlagParity) {
        t.c_cflag |= PARENB;
        if (!(s.flags & hostSerFlagEvenParity)) t.c_cflag |= PARODD;
    }
    if (s.flags & hostSerFlagTwoStopBits) t.c_cflag |= CSTOPB;
    if (s.flags & hostSerFlagXonXoff) t.c_iflag |= IXON | IXOFF;
    if (s.flags & hostSerFlagHandshake) t.c_cflag |= CRTSCTS;
    const tcflag_t code = BaudCode(s.baud);
    t.c_cflag |= code | (code << IBSHIFT);
    t.c_ispeed = t.c_ospeed = s.baud;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (ioctl(g.fd, TCSETS2, &t) != 0) return serErrLine;
    // DTR on; RTS held on unless the handshake drives it.
    int lines = TIOCM_DTR | (s.flags & hostSerFlagHandshake ? 0 : TIOCM_RTS);
    ioctl(g.fd, TIOCMBIS, &lines);
    return 0;
}

// Bytes waiting in the output queue, -1 when it cannot be read.
int OutQueued() {
    int n = 0;
    return ioctl(g.fd, TIOCOUTQ, &n) == 0 ? n : -1;
}

}  // namespace

void HostSerSetPortPath(uint16_t port, const char* path) {
    if (path && *path)
        gPortPaths[port] = path;
    else
        gPortPaths.erase(port);
}

const char* HostSerPortPath(uint16_t port) {
    static std::string scratch;
    if (port == 0) return "";
    auto it = gPortPaths.find(port);
    if (it != gPortPaths.end()) return it->second.c_str();
    scratch = "/dev/ttyS" + std::to_string(port - 1);
    return scratch.c_str();
}

void HostSerSetPipePath(const char* path) { gPipePath = path ? path : ""; }

const char* HostSerPipePath() {
    if (gPipePath.empty()) gPipePath = DefaultPipePath();
    return gPipePath.c_str();
}

int HostSerFd() { return g.fd; }

Status HostSerOpen(uint16_t refNum, uint16_t port, uint32_t baud) {
    if (g.openCount > 1) Assert(__LINE__, "invalid serial manager open count");
    if (g.openCount == 1) {
        Assert(__LINE__, "serial manager is in use");
        return serErrInUse;
    }
    g.isPipe = port == 0;
    if (g.isPipe) {
        g.fd = PipeConnect();
        if (g.fd < 0) {
            g.listener = PipeListen();
            if (g.listener < 0) return serErrOpenFailed;
        }
    } else {
        g.fd = open(HostSerPortPath(port), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (g.fd < 0) return serErrOpenFailed;
        // A terminal only: anything else cannot take line settings.
        termios2 t;
        if (ioctl(g.fd, TCGETS2, &t) != 0) {
            CloseFd(g.fd);
            return serErrOpenFailed;
        }
    }
    g.port = port;
    g.inQueueSize = kInQueueSize;
    g.outQueueSize = kOutQueueSize;
    g.openCount = 1;
    g.refNum = refNum;
    HostSerSettings s{baud, baud < 19200 ? 0xD0u : 0xF0u, 5000};
    if (Status err = HostSerSetSettings(refNum, &s)) {
        HostSerClose(refNum);
        return err;
    }
    return 0;
}

Status HostSerClose(uint16_t refNum) {
    Check(__LINE__, refNum, "serial manager was not open");
    g.openCount = 0;
    bool failed = false;
    if (g.isPipe) {
        const bool served = g.listener >= 0;
        if (g.fd >= 0) shutdown(g.fd, SHUT_RDWR);
        failed = g.fd < 0 && g.listener < 0;
        CloseFd(g.fd);
        CloseFd(g.listener);
        if (served) unlink(HostSerPipePath());
    } else if (g.fd >= 0) {
        int dtr = TIOCM_DTR;
        ioctl(g.fd, TIOCMBIC, &dtr);
        ioctl(g.fd, TCFLSH, TCIOFLUSH);
        failed = close(g.fd) != 0;
        g.fd = -1;
    } else {
        failed = true;
    }
    return failed ? serErrOpenFailed : 0;
}

Status HostSerGetSettings(uint16_t refNum, HostSerSettings* settings) {
    Check(__LINE__, refNum, "serial manager is not open");
    *settings = g.settings;
    return 0;
}

Status HostSerSetSettings(uint16_t refNum, const HostSerSettings* settings) {
    Check(__LINE__, refNum, "serial manager is not open");
    if (g.fd < 0 && g.listener < 0) return serErrLine;
    if (!BaudAllowed(settings->baud)) return serErrInvalidParam;
    g.timeouts = settings->baud > 2400 ? HostSerTimeouts{3000, 25, 2000, 25, 2000}
                                       : HostSerTimeouts{2000, 15, 500, 15, 500};
    g.settings = *settings;
    return ApplyLine(*settings);
}

uint32_t HostSerSend(uint16_t refNum, const void* bytes, uint32_t count, Status* status) {
    Check(__LINE__, refNum, "serial manager is not open");
    *status = 0;
    const int64_t deadline = Now() + int64_t{g.timeouts.writeMultiplier} * count + g.timeouts.writeConstant;
    if (g.isPipe && g.fd < 0 && g.listener < 0) {
        // A pipe client whose server went away connects again.
        g.fd = PipeConnect();
    }
    AcceptClient(Left(deadline));
    if (g.fd < 0) {
        *status = g.isPipe ? serErrTimeout : serErrLine;
        return 0;
    }
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t sent = 0;
    while (sent < count) {
        ssize_t n = g.isPipe ? ::send(g.fd, p + sent, count - sent, MSG_NOSIGNAL) : write(g.fd, p + sent, count - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (PollFd(g.fd, POLLOUT, Left(deadline)) > 0) continue;
            *status = serErrTimeout;  // the counter's time-out ran out
            break;
        }
        *status = serErrLine;
        if (g.isPipe) ConnectionLost();
        break;
    }
    return sent;
}

Status HostSerSendWait(uint16_t refNum, int32_t timeoutMs) {
    Check(__LINE__, refNum, "serial manager is not open");
    if (timeoutMs == -1) timeoutMs = 10000;
    if (g.fd < 0) return g.isPipe ? 0 : serErrLine;
    const int32_t rounds = timeoutMs / 25 + 1;
    for (int32_t i = 0; i < rounds; ++i) {
        int queued = OutQueued();
        if (queued < 0) return serErrLine;
        if (queued == 0) return 0;
        usleep(25000);
    }
    if (!g.isPipe) ioctl(g.fd, TCFLSH, TCOFLUSH);
    return serErrTimeout;
}

uint32_t HostSerReceive(uint16_t refNum, void* buffer, uint32_t count, int32_t, Status* status) {
    Check(__LINE__, refNum, "serial manager is not open");
    *status = 0;
    const int64_t deadline = Now() + int64_t{g.timeouts.readMultiplier} * count + g.timeouts.readConstant;
    AcceptClient(Left(deadline));
    auto* p = static_cast<uint8_t*>(buffer);
    uint32_t got = 0;
    while (got < count && g.fd >= 0) {
        ssize_t n = read(g.fd, p + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (PollFd(g.fd, POLLIN, Left(deadline)) > 0) continue;
            break;
        }
        // End of file (the pipe's peer closed, a port hung up) or a failure.
        *status = serErrLine;
        if (g.isPipe) ConnectionLost();
        return got;
    }
    if (got < count) *status = serErrTimeout;
    return got;
}

Status HostSerReceiveWait(uint16_t refNum, uint32_t, int32_t timeoutMs) {
    Check(__LINE__, refNum, "serial manager is not open");
    const int64_t deadline = timeoutMs < 0 ? -1 : Now() + timeoutMs;
    for (;;) {
        const int wait = deadline < 0 ? 100 : std::min(Left(deadline), 100);
        AcceptClient(wait);
        if (g.fd >= 0) {
            int pending = 0;
            if (ioctl(g.fd, FIONREAD, &pending) != 0) return serErrLine;
            if (pending > 0) return 0;
            if (PollFd(g.fd, POLLIN, wait) > 0) {
                if (ioctl(g.fd, FIONREAD, &pending) != 0) return serErrLine;
                if (pending > 0) return 0;
                // Readable with nothing to read: the peer has gone.
                if (g.isPipe) {
                    ConnectionLost();
                    continue;
                }
                return serErrLine;
            }
        } else if (g.listener < 0) {
            if (!g.isPipe) return serErrLine;
            usleep(static_cast<useconds_t>(wait) * 1000);
        }
        if (deadline >= 0 && Now() >= deadline) return serErrTimeout;
    }
}

void HostSerReceiveFlush(uint16_t refNum, int32_t) {
    Check(__LINE__, refNum, "serial manager is not open");
    if (g.fd < 0) return;
    if (!g.isPipe) {
        ioctl(g.fd, TCFLSH, TCIFLUSH);
        return;
    }
    uint8_t scratch[512];
    while (recv(g.fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
}

Status HostSerClearError(uint16_t refNum) {
    Check(__LINE__, refNum, "serial manager is not open");
    return 0;
}

extern const LinkTransport kSerialTransport = {HostSerOpen,    HostSerClose,       HostSerSend,
                                               HostSerSendWait, HostSerReceive,    HostSerReceiveWait,
                                               HostSerReceiveFlush, HostSerClearError};

}  // namespace quillwatch
