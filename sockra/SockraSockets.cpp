// Sockets over the host's BSD sockets: each library socket is one host descriptor in the socket
// table; references, addresses, options, flags and time-outs are translated to the host's, and
// host errno values back to status codes of class 0x12.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/SockraOS.h"

namespace sockra {
namespace {

constexpr const char* kSourcePath = "Kez/Linux/Drivers/RavUviza/Src/SockraLinux";

void PrvSetErr(Status* errP, Status err) {
    if (errP) *errP = err;
}

// A zeroed 16-byte host address from a library address: family 0 copies the 14 raw bytes behind
// the family, family 2 copies family, port and address; other families fail.
bool PrvAddrToHost(const NetSocketAddrType* addr, sockaddr* host, bool anyFamily) {
    if (!addr) return false;
    memset(host, 0, sizeof(sockaddr));
    if (addr->family == netSocketAddrRaw) {
        memcpy(host->sa_data, addr->data, sizeof addr->data);
        return true;
    }
    if (addr->family == netSocketAddrINET || anyFamily) {
        memcpy(host, addr, sizeof(NetSocketAddrINType));
        return true;
    }
    return false;
}

// A host address into the caller's, within the caller's length; nothing for a null pointer or a
// length of 0.
void PrvAddrFromHost(const sockaddr* host, NetSocketAddrType* addr, int16_t* lenP) {
    if (!addr || !lenP || *lenP <= 0) return;
    memset(addr, 0, static_cast<size_t>(*lenP < 16 ? *lenP : 16));
    if (host->sa_family == AF_INET && *lenP >= 8) {
        *lenP = 8;
        memcpy(addr, host, sizeof(NetSocketAddrINType));
    } else if (host->sa_family == AF_UNSPEC && *lenP >= 16) {
        *lenP = 16;
        memcpy(addr->data, host->sa_data, sizeof addr->data);
    }
}

// Reads an option value of 1, 2 or 4 bytes widened to 32 bits; false for other lengths.
bool PrvWiden(const void* valueP, uint16_t len, int32_t* out) {
    if (!valueP) return false;
    switch (len) {
        case 1: *out = *static_cast<const uint8_t*>(valueP); return true;
        case 2: {
            uint16_t v;
            memcpy(&v, valueP, 2);
            *out = v;
            return true;
        }
        case 4: memcpy(out, valueP, 4); return true;
        default: return false;
    }
}

// Traces and answers the result of a host call that sets errno when it fails.
int16_t PrvHostResult(int rc, Status* errP) {
    if (rc < 0) {
        int e = errno;
        os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
        PrvSetErr(errP, SockraErrnoMap(e));
        return -1;
    }
    PrvSetErr(errP, 0);
    os::Trace(" - Success");
    return 0;
}

// Traces a failed host call ("WouldBlock" for EAGAIN) and answers -1 with the mapped errno.
int16_t PrvFailed(int e, Status* errP) {
    if (e == EAGAIN)
        os::Trace(" - WouldBlock");
    else
        os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
    PrvSetErr(errP, SockraErrnoMap(e));
    return -1;
}

int PrvFirstFreeEntry() {
    for (int i = 0; i < gSockraMaxSockets; ++i) {
        if (gSockra.sockets[i] == -1) return i;
    }
    return -1;
}

// Waits until fd is readable for at most timeout ms: 1 readable, 0 timed out, -1 failed.
int PrvWaitReadable(int fd, int32_t timeout) {
    pollfd p{fd, POLLIN, 0};
    return SockraPoll(&p, 1, timeout);
}

}  // namespace

int SockraPoll(pollfd* fds, unsigned long count, int timeout) {
    int rc;
    do {
        rc = poll(fds, count, timeout);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

Status SockraErrnoMap(int err) {
    switch (err) {
        case 0:
        case EMSGSIZE: return 0;
        case EAGAIN: return netErrWouldBlock;
        case EAFNOSUPPORT: return netErrParamErr;
        case ECONNRESET:
        case ECONNREFUSED: return netErrSocketClosedByRemote;
        case EISCONN: return netErrAlreadyOpen;
        case ENOTCONN: return netErrNotOpen;
        case ETIMEDOUT: return netErrTimeout;
        default: return netErrSocketBusy;
    }
}

int SockraSocketFd(NetSocketRef ref, Status* errP) {
    if (!gSockra.sockets || ref < 1 || ref > gSockraMaxSockets || gSockra.sockets[ref - 1] == -1) {
        PrvSetErr(errP, netErrParamErr);
        return -1;
    }
    return gSockra.sockets[ref - 1];
}

}  // namespace sockra

using namespace sockra;

extern "C" NetSocketRef SockraSocketOpen(uint8_t domain, uint8_t type, int16_t protocol, int32_t,
                                         Status* errP) {
    os::Trace("Sockra: SockraSocketOpen");
    PrvSetErr(errP, 0);
    if (!gSockra.sockets) {
        PrvSetErr(errP, netErrNotOpen);
        return -1;
    }
    int i = PrvFirstFreeEntry();
    if (i < 0) {
        PrvSetErr(errP, netErrNoMoreSockets);
        return -1;
    }
    int fd = socket(domain, type, protocol);
    if (fd < 0) {
        int e = errno;
        os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
        PrvSetErr(errP, SockraErrnoMap(e));
        return -1;
    }
    gSockra.sockets[i] = fd;
    gSockra.blocking[i] = 1;
    os::Trace(" - Success (NetSocketRef %i created)", i + 1);
    return static_cast<NetSocketRef>(i + 1);
}

extern "C" int16_t SockraSocketClose(NetSocketRef socket, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSocketClose (socket #%lu)", static_cast<unsigned long>(static_cast<uint16_t>(socket)));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    SockraMonitorStop(socket);
    PrvSetErr(errP, 0);
    int rc = close(fd);
    int e = errno;
    gSockra.sockets[socket - 1] = -1;
    if (rc < 0) {
        os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
        PrvSetErr(errP, SockraErrnoMap(e));
        return -1;
    }
    os::Trace(" - Success");
    return 0;
}

namespace {

int16_t PrvBindOrConnect(bool connecting, NetSocketRef socket, const NetSocketAddrType* addr, Status* errP) {
    os::Trace(connecting ? "Sockra: SockraSocketConnect (socket #%hu)" : "Sockra: SockraSocketBind (socket #%hu)",
              static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    if (!gSockraInterfaceUp) {
        PrvSetErr(errP, netErrInterfaceDown);
        os::Trace(" - Failed (error #%lu)", 97ul);
        return -1;
    }
    sockaddr host;
    if (!PrvAddrToHost(addr, &host, connecting)) {
        PrvSetErr(errP, netErrParamErr);
        os::Trace(" - Failed (error #%lu)", 97ul);
        return -1;
    }
    if (!connecting) return PrvHostResult(bind(fd, &host, sizeof host), errP);
    const auto* in = reinterpret_cast<const NetSocketAddrINType*>(addr);
    const auto* b = reinterpret_cast<const uint8_t*>(&in->addr);
    os::Trace(" - Addr: %lx (%d.%d.%d.%d)", static_cast<unsigned long>(in->addr), b[0], b[1], b[2], b[3]);
    if (connect(fd, &host, sizeof host) == 0) {
        PrvSetErr(errP, 0);
        os::Trace(" - Success");
        return 0;
    }
    int e = errno;
    if (e == EISCONN) {
        PrvSetErr(errP, 0);
        os::Trace(" - already connected");
        return 0;
    }
    if (e == EAGAIN || e == EINPROGRESS) {
        os::Trace(" - WouldBlock");
        PrvSetErr(errP, SockraErrnoMap(EAGAIN));
    } else {
        os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
        PrvSetErr(errP, SockraErrnoMap(e));
    }
    return -1;
}

}  // namespace

extern "C" int16_t SockraSocketBind(NetSocketRef socket, const NetSocketAddrType* sockAddrP, int16_t, int32_t,
                                    Status* errP) {
    return PrvBindOrConnect(false, socket, sockAddrP, errP);
}

extern "C" int16_t SockraSocketConnect(NetSocketRef socket, const NetSocketAddrType* sockAddrP, int16_t,
                                       int32_t, Status* errP) {
    return PrvBindOrConnect(true, socket, sockAddrP, errP);
}

extern "C" int16_t SockraSocketListen(NetSocketRef socket, uint16_t queueLen, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSocketListen (socket #%hu)", static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    return PrvHostResult(listen(fd, queueLen), errP);
}

extern "C" NetSocketRef SockraSocketAccept(NetSocketRef socket, NetSocketAddrType* sockAddrP, uint16_t* addrLenP,
                                           int32_t, Status* errP) {
    os::Trace("Sockra: SockraSocketAccept (socket #%hu)", static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    sockaddr host{};
    socklen_t hostLen = sizeof host;
    int nfd = accept(fd, &host, &hostLen);
    if (nfd < 0) {
        return PrvFailed(errno, errP);
    }
    linger lg{};
    socklen_t lgLen = sizeof lg;
    if (getsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, &lgLen) < 0)
        os::Trace("getsockopt(socket, SOL_SOCKET, SO_LINGER) returned %d", errno);
    else if (setsockopt(nfd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) < 0)
        os::Trace("setsockopt(socket, SOL_SOCKET, SO_LINGER) returned %d", errno);
    int nonBlocking = gSockra.blocking[socket - 1] ? 0 : 1;
    if (ioctl(nfd, FIONBIO, &nonBlocking) < 0)
        os::Trace("ioctl(result, FIONBIO, &optval) => optval = %d; (returned %d)", nonBlocking, errno);
    // The caller's buffer holds *addrLenP bytes: never more is copied.
    if (sockAddrP && addrLenP) {
        uint16_t n = *addrLenP < hostLen ? *addrLenP : static_cast<uint16_t>(hostLen);
        memcpy(sockAddrP, &host, n);
        *addrLenP = n;
    }
    int i = PrvFirstFreeEntry();
    if (i < 0) {
        os::Trace("Host-level accept was successful but we're out of Sockra sockets");
        close(nfd);
        PrvSetErr(errP, netErrNoMoreSockets);
        return -1;
    }
    gSockra.sockets[i] = nfd;
    gSockra.blocking[i] = 1;
    PrvSetErr(errP, 0);
    os::Trace(" - Success");
    return static_cast<NetSocketRef>(i + 1);
}

extern "C" int16_t SockraSocketShutdown(NetSocketRef socket, uint8_t direction, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSocketShutdown (socket #%hu)", static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    if (shutdown(fd, direction) < 0) {
        PrvSetErr(errP, SockraErrnoMap(errno));
        return -1;
    }
    PrvSetErr(errP, 0);
    return 0;
}

extern "C" int16_t SockraSocketAddr(NetSocketRef socket, NetSocketAddrType* locAddrP, int16_t* locAddrLenP,
                                    NetSocketAddrType* remAddrP, int16_t* remAddrLenP, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSocketAddr (socket #%hu)", static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    PrvSetErr(errP, 0);
    if (locAddrP && locAddrLenP) {
        sockaddr host{};
        socklen_t len = sizeof host;
        if (getsockname(fd, &host, &len) < 0) {
            int e = errno;
            if (e != EINVAL) {
                PrvSetErr(errP, SockraErrnoMap(e));
                return -1;
            }
            memset(&host, 0, sizeof host);
            host.sa_family = AF_INET;
        }
        PrvAddrFromHost(&host, locAddrP, locAddrLenP);
    }
    if (remAddrP && remAddrLenP) {
        sockaddr host{};
        socklen_t len = sizeof host;
        if (getpeername(fd, &host, &len) < 0) {
            PrvSetErr(errP, SockraErrnoMap(errno));
            return -1;
        }
        PrvAddrFromHost(&host, remAddrP, remAddrLenP);
    }
    return 0;
}

extern "C" int16_t SockraSocketOptionSet(NetSocketRef socket, uint16_t level, uint16_t option, void* optValueP,
                                         uint16_t optValueLen, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSocketOptionSet (socket #%hu)", static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    PrvSetErr(errP, 0);
    int hostLevel = level == netSocketOptLevelSocket ? SOL_SOCKET : level;
    int hostOption;
    int32_t value = 0;
    linger lg{};
    const void* hostValue = &value;
    socklen_t hostLen = sizeof value;
    if (level == netSocketOptLevelTCP && option == netSocketOptTCPNoDelay) {
        // TCP no-delay is the host's TCP option 1, the one option get reads back at this level.
        if (!PrvWiden(optValueP, optValueLen, &value)) {
            PrvSetErr(errP, netErrOptTooSmall);
            return -1;
        }
        hostOption = TCP_NODELAY;
    } else {
        switch (option) {
            case netSocketOptSockDebug:
                os::Trace(" - Set debugging info recording option : DO NOTHING");
                return 0;
            case netSocketOptSockKeepAlive:
            case netSocketOptSockOOBInLine:
                os::Trace(option == netSocketOptSockKeepAlive ? " - Set keep connections alive option"
                                                               : " - Set OutOfBand data in line option");
                if (!PrvWiden(optValueP, optValueLen, &value)) {
                    PrvSetErr(errP, netErrOptTooSmall);
                    return -1;
                }
                hostOption = option == netSocketOptSockKeepAlive ? SO_KEEPALIVE : SO_OOBINLINE;
                break;
            case netSocketOptSockLinger: {
                os::Trace(" - Set lingering option");
                if (!optValueP || optValueLen < 4) {
                    PrvSetErr(errP, netErrOptTooSmall);
                    return -1;
                }
                NetSocketLingerType l;
                memcpy(&l, optValueP, sizeof l);
                lg.l_onoff = l.onOff;
                lg.l_linger = l.time;
                hostOption = SO_LINGER;
                hostValue = &lg;
                hostLen = sizeof lg;
                break;
            }
            case netSocketOptSockNonBlocking: {
                if (!PrvWiden(optValueP, optValueLen, &value)) {
                    PrvSetErr(errP, netErrOptTooSmall);
                    return -1;
                }
                os::Trace(" - Set NonBlocking %hu (optValueLen = %hu)", static_cast<unsigned short>(value),
                          optValueLen);
                if (ioctl(fd, FIONBIO, &value) < 0) {
                    int e = errno;
                    os::Trace(" Failed (error #%hu)", static_cast<unsigned short>(e));
                    PrvSetErr(errP, SockraErrnoMap(e));
                    return -1;
                }
                os::Trace(" Success");
                gSockra.blocking[socket - 1] = value ? 0 : 1;
                return 0;
            }
            case netSocketOptSockNotifyData: {
                const NetNotifyRequestType* req = nullptr;
                if (optValueP) memcpy(&req, optValueP, sizeof req);
                if (!req) {
                    SockraMonitorStop(socket);
                } else if ((req->kind & 0xFFFF) == 2 && req->flag == 1) {
                    SockraMonitorStart(socket, req->notifyType);
                }
                os::Trace(" - Success");
                return 0;
            }
            default:
                os::Trace(" - Failed (option #0x%hx not supported)", option);
                PrvSetErr(errP, netErrParamErr);
                return -1;
        }
    }
    if (setsockopt(fd, hostLevel, hostOption, hostValue, hostLen) < 0) {
        int e = errno;
        os::Trace(" - Failed (option #0x%lx, error #%lu)", static_cast<unsigned long>(hostOption),
                  static_cast<unsigned long>(e));
        PrvSetErr(errP, SockraErrnoMap(e));
        return -1;
    }
    os::Trace(" - Success");
    return 0;
}

extern "C" int16_t SockraSocketOptionGet(NetSocketRef socket, uint16_t level, uint16_t option, void* optValueP,
                                         uint16_t* optValueLenP, int32_t, Status* errP) {
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    PrvSetErr(errP, 0);
    uint16_t len = optValueLenP ? *optValueLenP : 0;
    int hostLevel = -1, hostOption = -1;
    int32_t value = 0;
    if (level == netSocketOptLevelTCP && option == netSocketOptTCPNoDelay) {
        hostLevel = IPPROTO_TCP, hostOption = TCP_NODELAY;
    } else if (level == netSocketOptLevelTCP && option == netSocketOptTCPMaxSeg) {
        value = 536;
    } else if (level == netSocketOptLevelSocket) {
        switch (option) {
            case netSocketOptSockErrorStatus: hostLevel = SOL_SOCKET, hostOption = SO_ERROR; break;
            case netSocketOptSockSocketType: hostLevel = SOL_SOCKET, hostOption = SO_TYPE; break;
            case netSocketOptSockKeepAlive: hostLevel = SOL_SOCKET, hostOption = SO_KEEPALIVE; break;
            case netSocketOptSockNonBlocking: value = gSockra.blocking[socket - 1] ? 0 : 1; break;
            case netSocketOptSockLinger: {
                linger lg{};
                socklen_t n = sizeof lg;
                if (getsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, &n) < 0) {
                    PrvSetErr(errP, SockraErrnoMap(errno));
                    return -1;
                }
                if (len != 4 || !optValueP) {
                    PrvSetErr(errP, netErrOptTooSmall);
                    return -1;
                }
                NetSocketLingerType l{static_cast<int16_t>(lg.l_onoff), static_cast<int16_t>(lg.l_linger)};
                memcpy(optValueP, &l, sizeof l);
                return 0;
            }
            default: hostLevel = -2; break;
        }
    } else {
        hostLevel = -2;
    }
    if (hostLevel >= 0) {
        socklen_t n = sizeof value;
        if (getsockopt(fd, hostLevel, hostOption, &value, &n) < 0) hostLevel = -2;
    }
    if (hostLevel == -2) {
        PrvSetErr(errP, netErrUnimplemented);
        os::ErrReport(kSourcePath, __LINE__, "SockraSocketOptionGet: option not implemented");
        return -1;
    }
    if (!optValueP || (len != 2 && len != 4)) {
        PrvSetErr(errP, netErrOptTooSmall);
        return -1;
    }
    if (len == 2) {
        auto v16 = static_cast<uint16_t>(value);
        memcpy(optValueP, &v16, 2);
    } else {
        memcpy(optValueP, &value, 4);
    }
    return 0;
}

extern "C" int16_t SockraSend(NetSocketRef socket, const void* bufP, uint16_t bufLen, uint16_t flags,
                              const NetSocketAddrType* toAddrP, uint16_t, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSend (socket #%hu)", static_cast<unsigned short>(socket));
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    size_t len = static_cast<int16_t>(bufLen) < 0 ? 32767 : bufLen;
    int hostFlags = MSG_NOSIGNAL;
    if (flags & netIOFlagOutOfBand) hostFlags |= MSG_OOB;
    if (flags & netIOFlagDontRoute) hostFlags |= MSG_DONTROUTE;
    ssize_t n;
    if (toAddrP) {
        sockaddr host;
        if (!PrvAddrToHost(toAddrP, &host, true)) {
            PrvSetErr(errP, netErrParamErr);
            return -1;
        }
        n = sendto(fd, bufP, len, hostFlags, &host, sizeof host);
    } else {
        n = send(fd, bufP, len, hostFlags);
    }
    if (n < 0) {
        return PrvFailed(errno, errP);
    }
    os::Trace(" - Success (%lu bytes sent)", static_cast<unsigned long>(n));
    PrvSetErr(errP, 0);
    return static_cast<int16_t>(n);
}

extern "C" int16_t SockraReceive(NetSocketRef socket, void* bufP, uint16_t bufLen, uint16_t flags,
                                 NetSocketAddrType* fromAddrP, uint16_t* fromLenP, int32_t timeout, Status* errP) {
    os::Trace("Sockra: SockraReceive (socket #%hu, TO=%d)", static_cast<unsigned short>(socket), timeout);
    int fd = SockraSocketFd(socket, errP);
    if (fd < 0) return -1;
    size_t len = static_cast<int16_t>(bufLen) < 0 ? 32767 : bufLen;
    if (timeout >= 0 && gSockra.blocking[socket - 1]) {
        int rc = PrvWaitReadable(fd, timeout);
        if (rc <= 0) {
            os::Trace(" result = %d, errno=%d", rc, rc < 0 ? errno : 0);
            PrvSetErr(errP, rc == 0 ? netErrTimeout : netErrSocketBusy);
            return -1;
        }
    }
    int hostFlags = (flags & netIOFlagPeek) ? MSG_PEEK : 0;
    ssize_t n;
    sockaddr host{};
    if (fromAddrP) {
        os::Trace("<recvfrom>");
        socklen_t hostLen = sizeof host;
        n = recvfrom(fd, bufP, len, hostFlags, &host, &hostLen);
        if (n > 0 && fromLenP) {
            int16_t l = static_cast<int16_t>(*fromLenP);
            PrvAddrFromHost(&host, fromAddrP, &l);
            *fromLenP = static_cast<uint16_t>(l);
        }
    } else {
        os::Trace("<recv>");
        n = recv(fd, bufP, len, hostFlags);
    }
    if (n >= 0) {
        if (n > 0)
            os::Trace(" - Success (%lu bytes received)", static_cast<unsigned long>(n));
        else
            os::Trace(" - Failed (Socket closed)");
        PrvSetErr(errP, 0);
        return static_cast<int16_t>(n);
    }
    int e = errno;
    PrvSetErr(errP, SockraErrnoMap(e));
    if (e == EAGAIN) {
        os::Trace(" - WouldBlock");
    } else if (e == EMSGSIZE) {
        os::Trace(" - Buffer too small");
        return static_cast<int16_t>(len);
    } else {
        os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
    }
    return -1;
}

extern "C" int16_t SockraDmReceive(NetSocketRef socket, void* recordP, uint32_t recordOffset, uint16_t rcvLen,
                                   uint16_t flags, NetSocketAddrType* fromAddrP, uint16_t* fromLenP,
                                   int32_t timeout, Status* errP) {
    os::Trace("Sockra: SockraDmReceive - Call SockraReceive");
    uint16_t len = static_cast<int16_t>(rcvLen) < 0 ? 32767 : rcvLen;
    void* buf = malloc(len ? len : 1);
    if (!buf) {
        PrvSetErr(errP, netErrOutOfMemory);
        return -1;
    }
    int16_t n = SockraReceive(socket, buf, len, flags, fromAddrP, fromLenP, timeout, errP);
    if (n > 0 && os::DmWrite(recordP, recordOffset, buf, static_cast<uint32_t>(n)) != 0) {
        PrvSetErr(errP, netErrParamErr);
        n = -1;
    }
    free(buf);
    return n;
}

extern "C" int16_t SockraSendPB(NetSocketRef, void*, uint16_t, int32_t, Status* errP) {
    os::Trace("Sockra: SockraSendPB - not implemented");
    PrvSetErr(errP, netErrUnimplemented);
    os::ErrReport(kSourcePath, __LINE__, "SockraSendPB: not implemented");
    return -1;
}

extern "C" int16_t SockraReceivePB(NetSocketRef, void*, uint16_t, int32_t, Status* errP) {
    os::Trace("Sockra: SockraReceivePB");
    PrvSetErr(errP, netErrUnimplemented);
    os::ErrReport(kSourcePath, __LINE__, "SockraReceivePB; not implemented");
    return -1;
}
