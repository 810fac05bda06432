// The transport's one state record and its calls of the network library, Kez and the OS, shared by
// the transport's source files.
#pragma once

#include <cstdint>

#include "brontel/Brontel.h"
#include "brontel/TrelUtil.h"
#include "common/SockraLib.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"

namespace brontel {

struct BrontelGlobals {
    uint16_t refNum;
    int16_t conSock, ctlSock;
    uint32_t localCtlAddr;
    uint16_t localCtlPort;
    uint32_t hostCtlAddr;
    uint16_t hostCtlPort;
    uint16_t tcpPort;
    uint8_t phase1Done, connected, disconnected, cancel;
    uint8_t openedByRefresh;
    int16_t holdCount;
    uint32_t serviceCreator, serviceType;
    uint32_t idleProc, idleContext;
    uint32_t option2Proc, option2Context;
    uint32_t allocProc, allocContext;
    uint32_t tickleProc, tickleContext;
    int16_t commandWait, dataWait;
    uint32_t maxRequestSize;
    uint8_t keepAlive;
    BrontelTickleBlock tickleBlock;
    uint32_t timerID;
    uint8_t ticklePending;
    sockra::NetSocketAddrINType peer;
    uint8_t buffer[kFixedBufferSize];
    uint8_t header[6];
    uint8_t tickle[4];
    BrontelCounters counters;
};

extern BrontelGlobals* gBrontel;

// Reports through the system's error display with the transport's source path; the code goes on.
void Report(uint16_t line, const char* message);
// A line of the desktop-link log.
#define BRONTEL_TRACE(...) ::brontel::TrelUtilSyncLogTrace(__VA_ARGS__)

// Seconds to ticks; -1 stays -1 (for ever).
int32_t Ticks(int32_t seconds);
uint32_t Now();
// Whether `start` lies less than `wait` ticks back (a wait of -1 never ends).
bool Within(uint32_t start, int32_t wait);

namespace net {

using sockra::NetSocketAddrType;
using NetSocketRef = sockra::NetSocketRef;

extern vantor::glue::ModuleImport gSockra;
extern vantor::glue::ModuleImport gKez;

template <typename Sig, typename... A>
inline auto S(uint16_t slot, A... args) {
    return gSockra.Call<Sig>(slot, args...);
}

inline uint32_t AddrAToIN(const char* a) { return S<uint32_t(const char*)>(sockra::kSlotAddrAToIN, a); }
inline char* AddrINToA(uint32_t a, char* space) {
    return S<char*(uint32_t, char*)>(sockra::kSlotAddrINToA, a, space);
}
inline Status Open(uint16_t* ifErrs) { return S<Status(uint16_t*)>(sockra::kSlotOpen, ifErrs); }
inline Status OpenIfCloseWait() { return S<Status()>(sockra::kSlotOpenIfCloseWait); }
inline Status Close(uint16_t immediate) { return S<Status(uint16_t)>(sockra::kSlotClose, immediate); }
inline Status ConnectionRefresh(uint8_t refresh, uint8_t* allUp, uint16_t* ifErrs) {
    return S<Status(uint8_t, uint8_t*, uint16_t*)>(sockra::kSlotConnectionRefresh, refresh, allUp, ifErrs);
}
inline NetSocketRef SocketOpen(uint8_t domain, uint8_t type, int16_t protocol, int32_t timeout, Status* err) {
    return S<NetSocketRef(uint8_t, uint8_t, int16_t, int32_t, Status*)>(sockra::kSlotSocketOpen, domain, type,
                                                                         protocol, timeout, err);
}
inline int16_t SocketClose(NetSocketRef s, int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, int32_t, Status*)>(sockra::kSlotSocketClose, s, timeout, err);
}
inline int16_t SocketBind(NetSocketRef s, const void* addr, int16_t len, int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, const void*, int16_t, int32_t, Status*)>(sockra::kSlotSocketBind, s, addr, len,
                                                                             timeout, err);
}
inline int16_t SocketConnect(NetSocketRef s, const void* addr, int16_t len, int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, const void*, int16_t, int32_t, Status*)>(sockra::kSlotSocketConnect, s, addr,
                                                                             len, timeout, err);
}
inline int16_t SocketAddr(NetSocketRef s, void* local, int16_t* localLen, void* remote, int16_t* remoteLen,
                          int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, void*, int16_t*, void*, int16_t*, int32_t, Status*)>(
        sockra::kSlotSocketAddr, s, local, localLen, remote, remoteLen, timeout, err);
}
inline int16_t SocketOptionSet(NetSocketRef s, uint16_t level, uint16_t option, void* value, uint16_t len,
                               int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, uint16_t, uint16_t, void*, uint16_t, int32_t, Status*)>(
        sockra::kSlotSocketOptionSet, s, level, option, value, len, timeout, err);
}
inline int16_t Send(NetSocketRef s, const void* buf, uint16_t len, uint16_t flags, const void* to, uint16_t toLen,
                    int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, const void*, uint16_t, uint16_t, const void*, uint16_t, int32_t, Status*)>(
        sockra::kSlotSend, s, buf, len, flags, to, toLen, timeout, err);
}
inline int16_t Receive(NetSocketRef s, void* buf, uint16_t len, uint16_t flags, void* from, uint16_t* fromLen,
                       int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, void*, uint16_t, uint16_t, void*, uint16_t*, int32_t, Status*)>(
        sockra::kSlotReceive, s, buf, len, flags, from, fromLen, timeout, err);
}
inline int16_t DmReceive(NetSocketRef s, void* record, uint32_t offset, uint16_t len, int32_t timeout, Status* err) {
    return S<int16_t(NetSocketRef, void*, uint32_t, uint16_t, uint16_t, void*, uint16_t*, int32_t, Status*)>(
        sockra::kSlotDmReceive, s, record, offset, len, uint16_t{0}, nullptr, nullptr, timeout, err);
}
inline int16_t Select(uint16_t width, uint32_t* readMask, uint32_t* writeMask, uint32_t* exceptMask,
                      int32_t timeout, Status* err) {
    return S<int16_t(uint16_t, uint32_t*, uint32_t*, uint32_t*, int32_t, Status*)>(
        sockra::kSlotSelect, width, readMask, writeMask, exceptMask, timeout, err);
}
inline sockra::NetHostInfoBufType* GetHostByName(const char* name, sockra::NetHostInfoBufType* buf, int32_t timeout,
                                                 Status* err) {
    return S<sockra::NetHostInfoBufType*(const char*, sockra::NetHostInfoBufType*, int32_t, Status*)>(
        sockra::kSlotGetHostByName, name, buf, timeout, err);
}

inline uint32_t Bit(int16_t socket) { return socket >= 0 && socket < 32 ? 1u << socket : 0; }

}  // namespace net

// Desktop-link settings through system slot 63.
Status DlkSetting(uint16_t op, uint16_t setting, void* value, uint16_t* length);

// Frames (BrontelFrames.cpp).
Status SendBytes(const uint8_t* buffer, uint32_t count);
bool BrontelDrainTickles();

}  // namespace brontel
