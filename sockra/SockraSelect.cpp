// Waiting for sockets: SockraSelect over several sockets and the OS event queue (through the event
// wake-up pipe), and the socket monitor, one 'NetM' task per watched socket that broadcasts a
// notification when data arrives. Waits use poll, so descriptors of any number work.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/SockraOS.h"

namespace sockra {
namespace {

constexpr const char* kSourcePath = "Kez/Linux/Drivers/RavUviza/Src/SockraLinux";
// Mask bit n names NetSocketRef n; bit 0 of the read mask names the event queue.
constexpr int kMaskRefs = 31;

void PrvClosePipe(int32_t (&p)[2]) {
    for (int32_t& fd : p) {
        if (fd != 0) close(fd);
        fd = 0;
    }
}

void PrvWriteByte(int fd) {
    const char one = '1';
    ssize_t rc;
    do {
        rc = write(fd, &one, 1);
    } while (rc < 0 && errno == EINTR);
}

// Waits until the first descriptor is readable or a byte arrives in the exit pipe: true for the
// first, false for an exit byte or a failing wait.
bool PrvMonitorWait(int fd, int exitFd) {
    pollfd p[2] = {{fd, POLLIN, 0}, {exitFd, POLLIN, 0}};
    if (SockraPoll(p, 2, -1) < 0) return false;
    if (p[1].revents) return false;
    return p[0].revents != 0;
}

void PrvMonitorProc(uint32_t arg) {
    auto ref = static_cast<NetSocketRef>(arg);
    int i = ref - 1;
    int fd = gSockra.sockets[i];
    int exitFd = gSockra.exitPipes[i][0];
    int primeFd = gSockra.primePipes[i][0];
    for (;;) {
        os::Trace("Sockra: MonitorProc => block1 (#%d) until data available", i);
        if (!PrvMonitorWait(fd, exitFd)) break;
        // One arming byte per broadcast; an exit byte ends this wait too.
        if (!PrvMonitorWait(primeFd, exitFd)) break;
        char byte;
        if (read(primeFd, &byte, 1) != 1) break;
        uint8_t details[6];
        vantor::WriteBE16(details, static_cast<uint16_t>(ref));
        vantor::WriteBE32(details + 2, 2);
        os::SysNotifyParamType notify{};
        notify.notifyType = gSockra.notifyValues[i];
        notify.broadcaster = vantor::FourCC("sokr");
        notify.notifyDetailsP = details;
        os::SysNotifyBroadcastDeferred(&notify, sizeof details);
        os::Trace("Sockra: MonitorProc => block2 (#%d) until data available", i);
        if (!PrvMonitorWait(primeFd, exitFd)) break;
    }
    PrvWriteByte(gSockra.exitAckPipes[i][1]);
}

bool PrvMakePipe(int32_t (&p)[2], const char* okFormat, const char* failFormat, int i) {
    int fds[2];
    if (pipe(fds) < 0) {
        os::Trace(failFormat, i, errno);
        return false;
    }
    p[0] = fds[0];
    p[1] = fds[1];
    os::Trace(okFormat, i, p[0], i, p[1]);
    return true;
}

}  // namespace

void SockraMonitorStart(NetSocketRef ref, uint32_t notifyType) {
    os::Trace("Sockra: PrvMonitorStart => start monitoring socket #%d", ref - 1);
    if (SockraSocketFd(ref, nullptr) < 0) return;
    int i = ref - 1;
    if (gSockra.monitorTasks[i] != 0) {
        PrvWriteByte(gSockra.primePipes[i][1]);
        return;
    }
    gSockra.notifyValues[i] = notifyType;
    bool ok = PrvMakePipe(gSockra.exitPipes[i], "Sockra: PrvMonitorStart => gExitMonitor[%d][0]=%d, gExitMonitor[%d][1]=%d",
                          "Sockra: PrvMonitorStart => pipe(gExitMonitor[%d]) returned #%d", i) &&
              PrvMakePipe(gSockra.exitAckPipes[i],
                          "Sockra: PrvMonitorStart => gExitAckMonitor[%d][0]=%d, gExitAckMonitor[%d][1]=%d",
                          "Sockra: PrvMonitorStart => pipe(gExitAckMonitor[%d]) returned #%d", i) &&
              PrvMakePipe(gSockra.primePipes[i],
                          "Sockra: PrvMonitorStart => gPrimeMonitor[%d][0]=%d, gPrimeMonitor[%d][1]=%d",
                          "Sockra: PrvMonitorStart => pipe(gPrimeMonitor[%d]) returned #%d", i);
    if (!ok) {
        // A monitor needs all three pipes.
        PrvClosePipe(gSockra.exitPipes[i]);
        PrvClosePipe(gSockra.exitAckPipes[i]);
        PrvClosePipe(gSockra.primePipes[i]);
        return;
    }
    uint32_t task = 0;
    if (os::SysTaskCreate(vantor::FourCC("NetM"), PrvMonitorProc, 4096, 10, &task) != 0 || task == 0) {
        os::ErrReport(kSourcePath, __LINE__, "Failed to create socket monitoring thread");
        task = 0;
    } else if (os::KALTaskStart(task, static_cast<uint32_t>(ref)) != 0) {
        os::ErrReport(kSourcePath, __LINE__, "Failed to start socket monitoring thread");
        os::SysTaskDelete(task);
        task = 0;
    }
    gSockra.monitorTasks[i] = task;
    if (task == 0) {
        PrvClosePipe(gSockra.exitPipes[i]);
        PrvClosePipe(gSockra.exitAckPipes[i]);
        PrvClosePipe(gSockra.primePipes[i]);
    }
}

void SockraMonitorStop(NetSocketRef ref) {
    if (!gSockra.monitorTasks || ref < 1 || ref > gSockraMaxSockets) return;
    int i = ref - 1;
    if (gSockra.monitorTasks[i] != 0) {
        PrvWriteByte(gSockra.exitPipes[i][1]);
        pollfd p{gSockra.exitAckPipes[i][0], POLLIN, 0};
        SockraPoll(&p, 1, -1);
        os::SysTaskDelete(gSockra.monitorTasks[i]);
        gSockra.monitorTasks[i] = 0;
    }
    PrvClosePipe(gSockra.exitPipes[i]);
    PrvClosePipe(gSockra.exitAckPipes[i]);
    PrvClosePipe(gSockra.primePipes[i]);
}

}  // namespace sockra

using namespace sockra;

extern "C" int16_t SockraSelect(uint16_t, uint32_t* readMaskP, uint32_t* writeMaskP, uint32_t* exceptMaskP,
                                int32_t timeout, Status* errP) {
    os::Trace("Sockra: SockraSelect");
    uint32_t* masks[3] = {readMaskP, writeMaskP, exceptMaskP};
    const short events[3] = {POLLIN, POLLOUT, POLLPRI};
    // One poll entry per referenced socket (events of all three masks merged), plus the wake-up pipe.
    pollfd fds[kMaskRefs + 1];
    int refOf[kMaskRefs + 1];
    nfds_t n = 0;
    int limit = gSockra.sockets ? (gSockraMaxSockets < kMaskRefs ? gSockraMaxSockets : kMaskRefs) : 0;
    for (int ref = 1; ref <= limit; ++ref) {
        short ev = 0;
        for (int m = 0; m < 3; ++m) {
            if (masks[m] && (*masks[m] & (1u << ref))) ev |= events[m];
        }
        if (!ev || gSockra.sockets[ref - 1] == -1) continue;
        fds[n] = {gSockra.sockets[ref - 1], ev, 0};
        refOf[n++] = ref;
    }
    bool wantEvents = readMaskP && (*readMaskP & 1);
    bool eventsReady = false;
    int rc = 0;
    if (wantEvents) {
        char drain[16];
        if (gSockraWakeupPipe[0] >= 0) {
            while (read(gSockraWakeupPipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (os::EvtEventAvail()) {
            os::Trace("  StdIn file descr signaled for reading (before select)");
            eventsReady = true;
            n = 0;  // nothing is polled
        } else if (gSockraWakeupPipe[0] >= 0) {
            fds[n] = {gSockraWakeupPipe[0], POLLIN, 0};
            refOf[n++] = 0;
        }
    }
    if (!eventsReady) {
        rc = SockraPoll(fds, n, timeout < 0 ? -1 : timeout);
        if (rc < 0) {
            if (errP) *errP = netErrSocketBusy;
            return -1;
        }
        if (wantEvents && os::EvtEventAvail()) {
            os::Trace("  StdIn file descr signaled for reading");
            eventsReady = true;
        }
    }
    // Rebuild the masks from what poll answered; the result counts every bit set, as select does.
    uint32_t out[3] = {eventsReady ? 1u : 0u, 0, 0};
    for (nfds_t k = 0; k < n; ++k) {
        int ref = refOf[k];
        if (ref == 0) continue;
        short re = fds[k].revents;
        if ((fds[k].events & POLLIN) && (re & (POLLIN | POLLERR | POLLHUP))) {
            out[0] |= 1u << ref;
            os::Trace("  Socket %i signaled for reading", ref);
        }
        if ((fds[k].events & POLLOUT) && (re & (POLLOUT | POLLERR | POLLHUP))) {
            out[1] |= 1u << ref;
            os::Trace("  Socket %i signaled for writing", ref);
        }
        if ((fds[k].events & POLLPRI) && (re & POLLPRI)) {
            out[2] |= 1u << ref;
            os::Trace("  Socket %i signaled for error", ref);
        }
    }
    // A socket asked for in the exception mask with a pending error (a failed non-blocking connect)
    // is signalled there, also when nothing else is ready: its error is read, and so cleared, here,
    // by the caller that waits for it.
    if (exceptMaskP) {
        for (nfds_t k = 0; k < n; ++k) {
            int ref = refOf[k];
            if (ref == 0 || !(fds[k].events & POLLPRI) || (out[2] & (1u << ref))) continue;
            int soErr = 0;
            socklen_t len = sizeof soErr;
            if (getsockopt(fds[k].fd, SOL_SOCKET, SO_ERROR, &soErr, &len) < 0) {
                os::Trace("  Socket %i: getsockopt(SO_ERROR) failed (%d).", ref, errno);
            } else if (soErr != 0 && soErr != EAGAIN && soErr != EINPROGRESS) {
                out[2] |= 1u << ref;
                os::Trace("  Socket %i: getsockopt(SO_ERROR) returned an error: %d.", ref, soErr);
            }
        }
    }
    int count = 0;
    for (int m = 0; m < 3; ++m) {
        if (masks[m]) *masks[m] = out[m];
        count += __builtin_popcount(out[m]);
    }
    if (count == 0) os::Trace("  => NO Socket signaled (timeout)");
    if (errP) *errP = 0;
    return static_cast<int16_t>(count);
}
