// The serial manager over host descriptors: send, receive with a time-out in ticks (milliseconds),
// the line flags (data bits and parity) kept per port, and error clearing.
#include "standin/os/SerialPorts.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr int kMaxPorts = 8;

struct Port {
    uint16_t id;
    int fd = -1;
    uint32_t flags;
};

std::mutex gLock;
Port gPorts[kMaxPorts];

int PrvFd(uint16_t portID) {
    std::lock_guard<std::mutex> lock(gLock);
    for (const Port& p : gPorts) {
        if (p.fd >= 0 && p.id == portID) return p.fd;
    }
    return -1;
}

uint16_t StandinSrmClearErr(uint16_t portID) { return PrvFd(portID) < 0 ? serErrBadPort : 0; }
VANTOR_OS_SLOT(SrmClearErr, StandinSrmClearErr)

uint16_t StandinSrmControl(uint16_t portID, uint16_t op, void* valueP, uint16_t* valueLenP) {
    std::lock_guard<std::mutex> lock(gLock);
    Port* port = nullptr;
    for (Port& p : gPorts) {
        if (p.fd >= 0 && p.id == portID) port = &p;
    }
    if (!port) return serErrBadPort;
    if ((op != srmCtlSetFlags && op != srmCtlGetFlags) || !valueP || !valueLenP || *valueLenP < 4)
        return serErrBadParam;
    if (op == srmCtlGetFlags) {
        memcpy(valueP, &port->flags, 4);
    } else {
        memcpy(&port->flags, valueP, 4);
    }
    *valueLenP = 4;
    return 0;
}
VANTOR_OS_SLOT(SrmControl, StandinSrmControl)

// Receives `count` bytes, or fewer when `timeout` ticks pass first (a negative time-out waits
// without limit). A line that is closed or failing stays quiet for the time-out and answers a line
// error, so that a caller polling it does not spin.
uint32_t StandinSrmReceive(uint16_t portID, void* bufP, uint32_t count, int32_t timeout, uint16_t* errP) {
    uint16_t err = 0;
    uint32_t got = 0;
    int fd = PrvFd(portID);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout < 0 ? 0 : timeout);
    if (fd < 0 || (!bufP && count)) err = fd < 0 ? serErrBadPort : serErrBadParam;
    while (!err && got < count) {
        int wait = -1;
        if (timeout >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            err = serErrTimeOut;
            break;
        }
        ssize_t n = r > 0 ? read(fd, static_cast<uint8_t*>(bufP) + got, count - got) : -1;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            err = serErrLineErr;
            if (timeout >= 0) std::this_thread::sleep_until(deadline);
            break;
        }
        got += static_cast<uint32_t>(n);
    }
    if (errP) *errP = err;
    return got;
}
VANTOR_OS_SLOT(SrmReceive, StandinSrmReceive)

uint32_t StandinSrmSend(uint16_t portID, const void* bufP, uint32_t count, uint16_t* errP) {
    uint16_t err = 0;
    uint32_t sent = 0;
    int fd = PrvFd(portID);
    if (fd < 0 || (!bufP && count)) err = fd < 0 ? serErrBadPort : serErrBadParam;
    while (!err && sent < count) {
        ssize_t n = write(fd, static_cast<const uint8_t*>(bufP) + sent, count - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) {
            err = serErrLineErr;
            break;
        }
        sent += static_cast<uint32_t>(n);
    }
    if (errP) *errP = err;
    return sent;
}
VANTOR_OS_SLOT(SrmSend, StandinSrmSend)

}  // namespace

bool SerialPortAttach(uint16_t portID, int fd) {
    if (fd < 0) return false;
    std::lock_guard<std::mutex> lock(gLock);
    for (Port& p : gPorts) {
        if (p.fd >= 0 && p.id == portID) p.fd = -1;
    }
    for (Port& p : gPorts) {
        if (p.fd < 0) {
            p = {portID, fd, srmSettingsFlagBitsPerCharM};
            return true;
        }
    }
    return false;
}

void SerialPortDetach(uint16_t portID) {
    std::lock_guard<std::mutex> lock(gLock);
    for (Port& p : gPorts) {
        if (p.id == portID) p.fd = -1;
    }
}

uint32_t SerialPortFlags(uint16_t portID) {
    std::lock_guard<std::mutex> lock(gLock);
    for (const Port& p : gPorts) {
        if (p.fd >= 0 && p.id == portID) return p.flags;
    }
    return 0;
}

}  // namespace vantor::os
