// The library's native exports (the entries of its export table) and what its units share.
#pragma once

#include <cstdint>

#include "common/SockraLib.h"
#include "sockra/SockraBits.h"

struct hostent;
struct servent;

namespace sockra {
using vantor::Status;

// Host errno to status code of class 0x12.
Status SockraErrnoMap(int err);

// Domain-name encoding: the dotted name as length-prefixed labels ended by a zero byte. Answers the
// encoded length, or -1 past the buffer size (cut to 255), -2 for a bad escape or an empty label,
// -3 for a null name, -4 for a label longer than 62 bytes. A null output only measures.
int16_t SockraDomainNameEncode(const char* name, uint16_t bufSize, uint8_t* out);

// Copy a host resolver answer into the caller's information buffer, every copy bounded by the
// buffer's fields: official name, first alias, up to three IPv4 addresses.
void SockraHostInfoFill(NetHostInfoBufType* buf, const ::hostent* h);
void SockraServInfoFill(NetServInfoBufType* buf, const ::servent* s);
}  // namespace sockra

extern "C" {
using sockra::NetHostInfoBufType;
using sockra::NetIPAddr;
using sockra::NetServInfoBufType;
using sockra::NetSocketRef;
using vantor::Status;

NetIPAddr SockraAddrAToIN(const char* a);
char* SockraAddrINToA(NetIPAddr inet, char* spaceP);
NetHostInfoBufType* SockraGetHostByName(const char* nameP, NetHostInfoBufType* bufP, int32_t timeout,
                                        Status* errP);
NetHostInfoBufType* SockraGetHostByAddr(const uint8_t* addrP, uint16_t len, uint16_t type,
                                        NetHostInfoBufType* bufP, int32_t timeout, Status* errP);
NetServInfoBufType* SockraGetServByName(const char* servNameP, const char* protoNameP, NetServInfoBufType* bufP,
                                        int32_t timeout, Status* errP);
int16_t SockraGetMailExchangeByName(const char* mailNameP, uint16_t maxEntries, char (*hostNames)[256],
                                    uint16_t priorities[], int32_t timeout, Status* errP);
}

extern "C" {
NetSocketRef SockraSocketOpen(uint8_t domain, uint8_t type, int16_t protocol, int32_t timeout, Status* errP);
int16_t SockraSocketClose(NetSocketRef socket, int32_t timeout, Status* errP);
int16_t SockraSocketBind(NetSocketRef socket, const sockra::NetSocketAddrType* sockAddrP, int16_t addrLen,
                         int32_t timeout, Status* errP);
int16_t SockraSocketConnect(NetSocketRef socket, const sockra::NetSocketAddrType* sockAddrP, int16_t addrLen,
                            int32_t timeout, Status* errP);
int16_t SockraSocketListen(NetSocketRef socket, uint16_t queueLen, int32_t timeout, Status* errP);
NetSocketRef SockraSocketAccept(NetSocketRef socket, sockra::NetSocketAddrType* sockAddrP, uint16_t* addrLenP,
                                int32_t timeout, Status* errP);
int16_t SockraSocketShutdown(NetSocketRef socket, uint8_t direction, int32_t timeout, Status* errP);
int16_t SockraSocketAddr(NetSocketRef socket, sockra::NetSocketAddrType* locAddrP, int16_t* locAddrLenP,
                         sockra::NetSocketAddrType* remAddrP, int16_t* remAddrLenP, int32_t timeout,
                         Status* errP);
int16_t SockraSocketOptionSet(NetSocketRef socket, uint16_t level, uint16_t option, void* optValueP,
                              uint16_t optValueLen, int32_t timeout, Status* errP);
int16_t SockraSocketOptionGet(NetSocketRef socket, uint16_t level, uint16_t option, void* optValueP,
                              uint16_t* optValueLenP, int32_t timeout, Status* errP);
int16_t SockraSend(NetSocketRef socket, const void* bufP, uint16_t bufLen, uint16_t flags,
                   const sockra::NetSocketAddrType* toAddrP, uint16_t toLen, int32_t timeout, Status* errP);
int16_t SockraReceive(NetSocketRef socket, void* bufP, uint16_t bufLen, uint16_t flags,
                      sockra::NetSocketAddrType* fromAddrP, uint16_t* fromLenP, int32_t timeout, Status* errP);
int16_t SockraDmReceive(NetSocketRef socket, void* recordP, uint32_t recordOffset, uint16_t rcvLen,
                        uint16_t flags, sockra::NetSocketAddrType* fromAddrP, uint16_t* fromLenP,
                        int32_t timeout, Status* errP);
int16_t SockraSendPB(NetSocketRef socket, void* pbP, uint16_t flags, int32_t timeout, Status* errP);
int16_t SockraReceivePB(NetSocketRef socket, void* pbP, uint16_t flags, int32_t timeout, Status* errP);
}

namespace sockra {
// Socket monitor (option 0x2003, close): starts or re-arms, and stops the monitor of one socket.
void SockraMonitorStart(NetSocketRef ref, uint32_t notifyType);
void SockraMonitorStop(NetSocketRef ref);
}  // namespace sockra
