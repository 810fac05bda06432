// Host name, address and service resolution over the host's resolver, and domain-name encoding.
// The resolver is asked through its re-entrant calls: any task may resolve at any time.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sockra/Sockra.h"
#include "sockra/SockraOS.h"

namespace sockra {
namespace {

constexpr const char* kSourcePath = "Kez/Linux/Drivers/RavUviza/Src/SockraLinux";

// Copies text into a field of size bytes, always terminated.
void PrvCopyText(char* dst, size_t size, const char* src) {
    size_t n = src ? strnlen(src, size - 1) : 0;
    memcpy(dst, src ? src : "", n);
    dst[n] = '\0';
}

// Status of a failed host look-up from the resolver's h_errno, falling back on errno.
Status PrvHostErr(int herr, int err) {
    switch (herr) {
        case HOST_NOT_FOUND: return netErrDNSNotFound;
        case TRY_AGAIN: return netErrDNSTryAgain;
        case NO_RECOVERY: return netErrDNSNoRecovery;
        case NO_DATA: return netErrDNSNoData;
        default: {
            Status s = SockraErrnoMap(err);
            return s ? s : netErrDNSNoRecovery;
        }
    }
}

// Scratch space for the re-entrant resolver calls, grown while the resolver asks for more.
template <typename Call>
int PrvResolve(std::vector<char>& scratch, Call call) {
    scratch.resize(1024);
    for (;;) {
        int rc = call(scratch.data(), scratch.size());
        if (rc != ERANGE || scratch.size() >= (1u << 20)) return rc;
        scratch.resize(scratch.size() * 2);
    }
}

}  // namespace

void SockraHostInfoFill(NetHostInfoBufType* buf, const ::hostent* h) {
    NetHostInfoType& info = buf->hostInfo;
    PrvCopyText(buf->name, sizeof buf->name, h->h_name);
    info.nameP = buf->name;
    buf->aliasList[0] = nullptr;
    buf->aliasList[1] = nullptr;
    if (h->h_aliases && h->h_aliases[0]) {
        PrvCopyText(buf->aliases, sizeof buf->aliases, h->h_aliases[0]);
        buf->aliasList[0] = buf->aliases;
    }
    info.nameAliasesP = buf->aliasList;
    info.addrType = static_cast<uint16_t>(h->h_addrtype);
    info.addrLen = static_cast<uint16_t>(h->h_length);
    // Each address slot holds 4 bytes: longer addresses are not copied.
    int n = 0;
    if (h->h_length > 0 && h->h_length <= 4 && h->h_addr_list) {
        for (; n < kNetHostAddrs - 1 && h->h_addr_list[n]; ++n) {
            buf->address[n] = 0;
            memcpy(&buf->address[n], h->h_addr_list[n], static_cast<size_t>(h->h_length));
            buf->addressList[n] = &buf->address[n];
        }
    }
    for (int i = n; i < kNetHostAddrs; ++i) buf->addressList[i] = nullptr;
    info.addrListP = reinterpret_cast<uint8_t**>(buf->addressList);
}

void SockraServInfoFill(NetServInfoBufType* buf, const ::servent* s) {
    PrvCopyText(buf->name, sizeof buf->name, s->s_name);
    buf->servInfo.nameP = buf->name;
    buf->aliases[0] = '\0';
    buf->aliasList[0] = buf->aliases;
    buf->aliasList[1] = nullptr;
    buf->servInfo.nameAliasesP = buf->aliasList;
    buf->servInfo.port = static_cast<uint16_t>(s->s_port);
    PrvCopyText(buf->protoName, sizeof buf->protoName, s->s_proto);
    buf->servInfo.protoP = buf->protoName;
}

int16_t SockraDomainNameEncode(const char* name, uint16_t bufSize, uint8_t* out) {
    if (!name) return -3;
    int size = bufSize > 255 ? 255 : bufSize;
    int total = 0;
    const char* p = name;
    uint8_t label[64];
    // An empty name, or a lone dot, is the root: a single zero byte.
    if (*p == '.' && p[1] == '\0') ++p;
    while (*p) {
        int len = 0;
        while (*p && *p != '.') {
            int c = static_cast<uint8_t>(*p++);
            if (c == '\\') {
                if (*p == '\0') return -2;
                if (*p >= '0' && *p <= '9') {
                    if (!(p[1] >= '0' && p[1] <= '9' && p[2] >= '0' && p[2] <= '9')) return -2;
                    c = ((p[0] - '0') * 100 + (p[1] - '0') * 10 + (p[2] - '0')) & 0xFF;
                    p += 3;
                } else {
                    c = static_cast<uint8_t>(*p++);
                }
            }
            if (len >= 62) return -4;
            label[len++] = static_cast<uint8_t>(c);
        }
        // An empty label would end the name early.
        if (len == 0) return -2;
        if (total + 1 + len > size) return -1;
        if (out) {
            out[total] = static_cast<uint8_t>(len);
            memcpy(out + total + 1, label, static_cast<size_t>(len));
        }
        total += 1 + len;
        if (*p == '.') {
            ++p;
            if (*p == '\0') break;  // a trailing dot ends the name
        }
    }
    if (total + 1 > size) return -1;
    if (out) out[total] = 0;
    return static_cast<int16_t>(total + 1);
}

}  // namespace sockra

using namespace sockra;

extern "C" NetIPAddr SockraAddrAToIN(const char* a) {
    os::Trace("Sockra: SockraAddrAToIN");
    // inet_aton tells the broadcast address from a text that is no address; both answer all ones.
    in_addr addr{};
    if (!a || !inet_aton(a, &addr)) {
        os::Trace(" - Failed");
        return INADDR_NONE;
    }
    os::Trace(" - Success. NetIPAddr = %lx", static_cast<unsigned long>(addr.s_addr));
    return addr.s_addr;
}

extern "C" char* SockraAddrINToA(NetIPAddr inet, char* spaceP) {
    os::Trace("Sockra: SockraAddrINToA");
    if (!spaceP) return nullptr;
    in_addr a{};
    a.s_addr = inet;
    return inet_ntop(AF_INET, &a, spaceP, INET_ADDRSTRLEN) ? spaceP : nullptr;
}

extern "C" NetHostInfoBufType* SockraGetHostByName(const char* nameP, NetHostInfoBufType* bufP, int32_t,
                                                   Status* errP) {
    os::Trace("Sockra: SockraGetHostByName('%s')", nameP ? nameP : "");
    Status err = 0;
    if (errP) *errP = 0;
    hostent h{}, *result = nullptr;
    int herr = 0;
    std::vector<char> scratch;
    int rc = EINVAL;
    if (nameP && bufP) {
        rc = PrvResolve(scratch, [&](char* b, size_t n) {
            return gethostbyname_r(nameP, &h, b, n, &result, &herr);
        });
    }
    if (rc == 0 && result) {
        SockraHostInfoFill(bufP, result);
        os::Trace(" - Success");
        return bufP;
    }
    err = (nameP && bufP) ? PrvHostErr(result ? 0 : herr, rc) : netErrParamErr;
    os::Trace(" - Failed (errno: #%lu, h_errno: #%lu) -> Err=0x%X", static_cast<unsigned long>(rc),
              static_cast<unsigned long>(herr), unsigned{err});
    if (errP) *errP = err;
    return nullptr;
}

extern "C" NetHostInfoBufType* SockraGetHostByAddr(const uint8_t* addrP, uint16_t len, uint16_t type,
                                                   NetHostInfoBufType* bufP, int32_t, Status* errP) {
    os::Trace("Sockra: SockraGetHostByAddr");
    hostent h{}, *result = nullptr;
    int herr = 0;
    std::vector<char> scratch;
    int rc = EINVAL;
    if (addrP && bufP) {
        rc = PrvResolve(scratch, [&](char* b, size_t n) {
            return gethostbyaddr_r(addrP, len, type, &h, b, n, &result, &herr);
        });
    }
    if (rc == 0 && result) {
        PrvCopyText(bufP->name, sizeof bufP->name, result->h_name);
        PrvCopyText(bufP->aliases, sizeof bufP->aliases, result->h_name);
        bufP->hostInfo.nameP = bufP->name;
        bufP->aliasList[0] = bufP->aliases;
        bufP->aliasList[1] = nullptr;
        bufP->hostInfo.nameAliasesP = bufP->aliasList;
        bufP->hostInfo.addrType = 2;
        bufP->hostInfo.addrLen = 4;
        // The asked address is copied into its 4-byte slot, never more.
        bufP->address[0] = 0;
        memcpy(&bufP->address[0], addrP, len < 4 ? len : 4);
        bufP->addressList[0] = &bufP->address[0];
        for (int i = 1; i < kNetHostAddrs; ++i) bufP->addressList[i] = nullptr;
        bufP->hostInfo.addrListP = reinterpret_cast<uint8_t**>(bufP->addressList);
        os::Trace(" - Success");
        if (errP) *errP = 0;
        return bufP;
    }
    int e = rc ? rc : ENOENT;
    os::Trace(" - Failed (error #%lu)", static_cast<unsigned long>(e));
    if (errP) *errP = (addrP && bufP) ? PrvHostErr(herr, e) : netErrParamErr;
    return nullptr;
}

extern "C" NetServInfoBufType* SockraGetServByName(const char* servNameP, const char* protoNameP,
                                                   NetServInfoBufType* bufP, int32_t, Status* errP) {
    os::Trace("Sockra: SockraGetServByName");
    if (errP) *errP = 0;
    servent s{}, *result = nullptr;
    std::vector<char> scratch;
    int rc = EINVAL;
    if (servNameP && bufP) {
        rc = PrvResolve(scratch, [&](char* b, size_t n) {
            return getservbyname_r(servNameP, protoNameP, &s, b, n, &result);
        });
    }
    if (rc == 0 && result) {
        SockraServInfoFill(bufP, result);
        return bufP;
    }
    os::Trace(" - Failed");
    if (errP) {
        Status err = SockraErrnoMap(rc);
        *errP = err ? err : netErrDNSNotFound;
    }
    return nullptr;
}

extern "C" int16_t SockraGetMailExchangeByName(const char*, uint16_t, char (*)[256], uint16_t[], int32_t,
                                               Status* errP) {
    os::Trace("Sockra: SockraGetMailExchangeByName - not implemented");
    if (errP) *errP = netErrUnimplemented;
    os::ErrReport(kSourcePath, __LINE__, "SockraGetMailExchangeByName: not implemented");
    return -1;
}
