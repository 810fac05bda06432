// The transport's state, its options and status display, the two connection phases, the sockets,
// the cancel check and the keep-alive hold with its timer.
#include <cstdlib>
#include <cstring>

#include "brontel/BrontelInternal.h"
#include "brontel/TrelUtil.h"
#include "common/BigEndian.h"
#include "common/FourCC.h"

namespace brontel {

BrontelGlobals* gBrontel = nullptr;

namespace net {
vantor::glue::ModuleImport gSockra(sockra::kSockraType, sockra::kSockraCreator, sockra::kSockraVersion,
                                   sockra::kSockraSlotCount);
vantor::glue::ModuleImport gKez(vantor::kKezType, vantor::kKezCreator, vantor::kKezVersion, vantor::kKezSlots);
}  // namespace net

namespace {

namespace sys = vantor::sys;
using vantor::FourCC;

BrontelGlobals gState;

template <typename Sig, typename... A>
auto Kez(uint16_t slot, A... args) {
    return net::gKez.Call<Sig>(slot, args...);
}

void CallTickleProc(uint32_t kind) {
    BrontelGlobals* g = gBrontel;
    if (!g->tickleProc) return;
    BrontelTickleRequest request{kind, g->tickleContext, g->refNum, kind ? &g->tickleBlock : nullptr,
                                 kind ? &BrontelSendTickle : nullptr};
    reinterpret_cast<BrontelTickleProc>(static_cast<uintptr_t>(g->tickleProc))(&request);
}

void BrontelTimerProc(uint32_t argument) {
    auto* g = reinterpret_cast<BrontelGlobals*>(static_cast<uintptr_t>(argument));
    if (!g) return;
    if (g->tickleProc) {
        CallTickleProc(1);
        g->ticklePending = 1;
    }
    Kez<vantor::kezsig::KALTimerStart>(vantor::kezslot::KALTimerStart, g->timerID, kKeepAliveMs);
}

Status SetNonBlocking(int16_t socket) {
    uint16_t on = 1;
    Status err = 0;
    return net::SocketOptionSet(socket, sockra::netSocketOptLevelSocket, sockra::netSocketOptSockNonBlocking, &on,
                                2, Ticks(2), &err) == -1
               ? trelErrOpen
               : 0;
}

// The local address of a socket, or false (reported as `message`).
bool LocalAddress(int16_t socket, sockra::NetSocketAddrINType* local, uint16_t line, const char* message) {
    *local = {};
    int16_t length = sizeof *local;
    Status err = 0;
    if (net::SocketAddr(socket, local, &length, nullptr, nullptr, -1, &err) < 0 || err) {
        Report(line, message);
        return false;
    }
    return true;
}

Status BrontelSocketsCreate() {
    BrontelGlobals* g = gBrontel;
    Status err = 0;
    g->conSock = net::SocketOpen(sockra::netSocketAddrINET, 1, 0, Ticks(5), &err);
    if (err || g->conSock < 0) {
        g->conSock = -1;
        return trelErrOpen;
    }
    if (SetNonBlocking(g->conSock)) {
        Report(__LINE__, "setNonBlocking failed on conSock");
        return trelErrOpen;
    }
    sockra::NetSocketAddrINType local{};
    if (LocalAddress(g->conSock, &local, __LINE__, "SockAddr failed on conSock")) {
        sockra::NetSocketAddrINType bind{sockra::netSocketAddrINET, 0, local.addr};
        if (net::SocketBind(g->conSock, &bind, sizeof bind, -1, &err) < 0)
            Report(__LINE__, "bind failed on conSock");
    }
    g->ctlSock = net::SocketOpen(sockra::netSocketAddrINET, 2, 0, Ticks(5), &err);
    if (err || g->ctlSock < 0) {
        g->ctlSock = -1;
        return trelErrOpen;
    }
    if (SetNonBlocking(g->ctlSock)) {
        Report(__LINE__, "setNonBlocking failed on ctlSock");
        return trelErrOpen;
    }
    return 0;
}

Status BrontelSocketsConnect() {
    BrontelGlobals* g = gBrontel;
    Status err = 0;
    if (net::SocketConnect(g->conSock, &g->peer, sizeof g->peer, Ticks(90), &err) < 0 && err != sockra::netErrWouldBlock)
        return trelErrDisconnected;
    if (err && err != sockra::netErrWouldBlock) return trelErrDisconnected;
    const uint32_t start = Now();
    while (Within(start, Ticks(90))) {
        sys::EvtResetAutoOffTimer();
        uint32_t write = net::Bit(g->conSock), except = net::Bit(g->conSock);
        int16_t n = net::Select(static_cast<uint16_t>(g->conSock + 1), nullptr, &write, &except, Ticks(1) / 2, &err);
        if (n < 0) return trelErrDisconnected;
        if (n > 0) {
            if (except & net::Bit(g->conSock)) return trelErrDisconnected;
            if (write & net::Bit(g->conSock)) {
                // A refused connection shows as writable with an error pending: ask for it.
                sockra::NetSocketAddrINType remote{};
                int16_t length = sizeof remote;
                if (net::SocketAddr(g->conSock, nullptr, nullptr, &remote, &length, -1, &err) < 0 || err)
                    return trelErrDisconnected;
                return 0;
            }
        } else if (BrontelCheckCancel(g)) {
            return trelErrCancelled;
        }
    }
    return trelErrDisconnected;
}

void BrontelSocketsClose() {
    BrontelGlobals* g = gBrontel;
    Status err = 0;
    for (int16_t* s : {&g->conSock, &g->ctlSock}) {
        if (*s >= 0) net::SocketClose(*s, Ticks(10), &err);
        *s = -1;
    }
    g->localCtlAddr = g->hostCtlAddr = 0;
    g->localCtlPort = g->hostCtlPort = 0;
}

Status BrontelSetDefaultService(uint32_t value) {
    BrontelGlobals* g = gBrontel;
    if (!g) {
        Report(__LINE__, "null globals ptr passed");
        return trelErrParam;
    }
    if (!g->serviceCreator || !g->serviceType) {
        Report(__LINE__, "invalid service creator/type");
        return trelErrParam;
    }
    vantor::SysDmSearchState search{};
    uint32_t dbRef = 0;
    Status err = sys::DmFindNewestDatabase(1, g->serviceType, g->serviceCreator, 1, &search, &dbRef);
    uint32_t result = 0;
    if (!err) {
        uint32_t dbID = 0;
        err = sys::DmOpenDatabaseIdentity(dbRef, &dbID, nullptr, nullptr);
        sys::DmCloseDatabase(dbRef);
        if (!err) err = sys::SysAppLaunchPlugin(dbID, 20, &value, &result);
    }
    if (err || result) Report(__LINE__, "error setting default service");
    if (err == 0x0502 || err == 0x0207) return trelErrParam;
    if (err == 0x0102) return trelErrMemory;
    return err || result ? trelErrOpen : 0;
}

// A setting's text (at most `size` bytes with the NUL) as an address, 0 when there is none.
uint32_t SettingAddress(uint16_t setting) {
    char text[20] = {};
    uint16_t length = sizeof text;
    if (DlkSetting(kDlkGetSetting, setting, text, &length) != 0) return 0;
    text[sizeof text - 1] = 0;
    if (!text[0]) return 0;
    uint32_t a = net::AddrAToIN(text);
    return a == 0xFFFFFFFF ? 0 : a;
}

void StoreFound(uint16_t setting, uint32_t address, const char* traceFormat) {
    char text[20] = {};
    uint16_t length = 0;
    if (address) {
        net::AddrINToA(address, text);
        text[sizeof text - 1] = 0;
        length = static_cast<uint16_t>(std::strlen(text) + 1);
    }
    DlkSetting(kDlkSetSetting, setting, text, &length);
    BRONTEL_TRACE(traceFormat, text);
}

}  // namespace

void Report(uint16_t line, const char* message) {
    sys::ErrDisplayFileLineMsg("Libraries/Brontel/Src/Brontel", line, message);
}

int32_t Ticks(int32_t seconds) { return seconds < 0 ? -1 : seconds * static_cast<int32_t>(sys::SysTicksPerSecond()); }
uint32_t Now() { return sys::TimGetTicks(); }
bool Within(uint32_t start, int32_t wait) { return wait < 0 || Now() - start < static_cast<uint32_t>(wait); }

Status DlkSetting(uint16_t op, uint16_t setting, void* value, uint16_t* length) {
    return vantor::glue::SysCall<Status(uint16_t, uint16_t, void*, uint16_t*)>(vantor::sysslot::DlkControl, op,
                                                                               setting, value, length);
}

BrontelCounters BrontelCountersGet() { return gBrontel ? gBrontel->counters : BrontelCounters{}; }

Status BrontelOpen(uint16_t refNum) {
    BrontelGlobals* g = &gState;
    std::memset(g, 0, sizeof *g);
    gBrontel = g;
    g->refNum = refNum;
    g->conSock = g->ctlSock = -1;
    uint16_t port = 0, length = sizeof port;
    if (DlkSetting(kDlkGetSetting, kSettingTcpPort, &port, &length) != 0 || port == 0) port = kDefaultTcpPort;
    g->tcpPort = port;
    g->disconnected = 1;
    g->commandWait = g->dataWait = 60;
    g->maxRequestSize = 0xFFFFFFFF;
    g->keepAlive = 1;
    g->tickleBlock = {1, 0, g, 255};
    Kez<vantor::kezsig::KALTimerCreate>(vantor::kezslot::KALTimerCreate, &g->timerID, FourCC("brtl"),
                                        &BrontelTimerProc, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(g)));
    return 0;
}

Status BrontelClose(uint16_t) {
    BrontelGlobals* g = gBrontel;
    if (!g) return 0;
    if (g->connected || g->phase1Done) Report(__LINE__, "BRONTEL wasn't disconnected");
    if (g->timerID) {
        Kez<vantor::kezsig::KALTimerStart>(vantor::kezslot::KALTimerStart, g->timerID, 0u);
        if (Kez<vantor::kezsig::KALTimerDelete>(vantor::kezslot::KALTimerDelete, g->timerID) != 0)
            Report(__LINE__, "Error deleting timer");
        g->timerID = 0;
    }
    return 0;
}

Status BrontelSleep(uint16_t) { return 0; }
Status BrontelWake(uint16_t) { return 0; }

namespace {
// The callback and context pairs of the options, by id.
bool OptionPair(BrontelGlobals* g, uint16_t option, uint32_t** proc, uint32_t** context) {
    switch (option) {
        case 1: *proc = &g->idleProc, *context = &g->idleContext; return true;
        case 2: *proc = &g->option2Proc, *context = &g->option2Context; return true;
        case 3: *proc = &g->allocProc, *context = &g->allocContext; return true;
        case 7: *proc = &g->tickleProc, *context = &g->tickleContext; return true;
        default: return false;
    }
}
}  // namespace

Status BrontelOptionSet(uint16_t, uint16_t option, const void* value, const void* value2) {
    BrontelGlobals* g = gBrontel;
    uint32_t *proc, *context;
    if (!g || !value) return trelErrParam;
    if (OptionPair(g, option, &proc, &context)) {
        std::memcpy(proc, value, 4);
        if (value2) std::memcpy(context, value2, 4);
        else *context = 0;
        return 0;
    }
    switch (option) {
        case 4: std::memcpy(&g->commandWait, value, 2); return 0;
        case 6: g->keepAlive = *static_cast<const uint8_t*>(value); return 0;
        default: Report(__LINE__, "TCP-TREL: invalid opt id"); return trelErrParam;
    }
}

Status BrontelOptionGet(uint16_t, uint16_t option, void* value, void* value2) {
    BrontelGlobals* g = gBrontel;
    uint32_t *proc, *context;
    if (!g || !value) return trelErrParam;
    if (OptionPair(g, option, &proc, &context)) {
        std::memcpy(value, proc, 4);
        if (value2) std::memcpy(value2, context, 4);
        return 0;
    }
    switch (option) {
        case 4: std::memcpy(value, &g->commandWait, 2); return 0;
        case 6: *static_cast<uint8_t*>(value) = g->keepAlive; return 0;
        default: Report(__LINE__, "TCP-TREL: invalid opt id"); return trelErrParam;
    }
}

Status BrontelControl(uint16_t, uint16_t id, void* record, uint16_t* inOut) {
    BrontelGlobals* g = gBrontel;
    switch (id) {
        case 1:
            if (!inOut || (*inOut && !record)) {
                Report(__LINE__, "invalid args");
                return trelErrParam;
            }
            if (*inOut) {
                const uint32_t words[3] = {FourCC("panl"), FourCC("netw"), 0};
                std::memcpy(record, words, sizeof words);
            }
            *inOut = 1;
            return 0;
        case 2: {
            auto* y = static_cast<int16_t*>(record);
            BrontelStatusLines("TTREL CONNECTED   = ", g->connected, y);
            BrontelStatusLines("TTREL CMD WAIT SEC=$", static_cast<uint16_t>(g->commandWait), y);
            BrontelStatusLines("TTREL #CMDS rcvd  =$", g->counters.commandsReceived, y);
            BrontelStatusLines("TTREL #TICKLE sent=$", g->counters.ticklesSent, y);
            BrontelStatusLines("TTREL #TICKLE rcvd=$", g->counters.ticklesReceived, y);
            BrontelStatusLines("TTREL #MEMORY errs=$", g->counters.memoryErrors, y);
            return 0;
        }
        default: Report(__LINE__, "BRONTEL: invalid ctl id"); return trelErrParam;
    }
}

Status BrontelConnectPhase1(uint16_t, const BrontelPhase1Args* args) {
    BrontelGlobals* g = gBrontel;
    TrelUtilLogString("");
    BRONTEL_TRACE("Entering BrontelConnectPhase1\n");
    if (g->connected) {
        Report(__LINE__, "BRONTEL: already connected");
        return 0;
    }
    if (!args) return trelErrParam;
    g->serviceCreator = args->serviceCreator;
    g->serviceType = args->serviceType;
    bool satisfied = false;
    g->openedByRefresh = 0;
    if (args->serviceValue) {
        if (Status err = BrontelSetDefaultService(args->serviceValue)) return err;
    } else {
        Status err = net::OpenIfCloseWait();
        if (err == 0 || err == sockra::netErrAlreadyOpen) {
            uint8_t allUp = 0;
            uint16_t ifErrs = 0;
            if (net::ConnectionRefresh(1, &allUp, &ifErrs) == 0 && ifErrs == 0 && allUp) {
                satisfied = true;
                g->openedByRefresh = 1;
            } else {
                net::Close(1);
            }
        }
    }
    if (!satisfied) {
        uint16_t ifErrs = 0;
        Status err = net::Open(&ifErrs);
        if (err == sockra::netErrAlreadyOpen) err = 0;
        if (err == 0 && ifErrs) net::Close(1);
        if (err || ifErrs) {
            BRONTEL_TRACE("Error in SockraOpen\n");
            BRONTEL_TRACE("err=%x; netIFErrs=%x\n", err, ifErrs);
            if (ifErrs) return trelErrInterfaces;
            return err == sockra::netErrOutOfMemory ? trelErrMemory : trelErrOpen;
        }
    }
    g->phase1Done = 1;
    return 0;
}

Status BrontelConnectPhase2(uint16_t refNum) {
    BrontelGlobals* g = gBrontel;
    BRONTEL_TRACE("Entering BrontelConnectPhase2\n");
    if (!g->phase1Done) {
        Report(__LINE__, "phase 1 not connected");
        return trelErrDisconnected;
    }
    if (g->connected) {
        Report(__LINE__, "BRONTEL: already connected");
        return 0;
    }
    PnrpTarget target{SettingAddress(kSettingHostAddr), SettingAddress(kSettingHostMask), nullptr};
    char* name = nullptr;
    uint16_t nameLength = 0;
    Status result = 0;
    if (DlkSetting(kDlkGetSetting, kSettingHostName, nullptr, &nameLength) == 0 && nameLength > 1) {
        name = static_cast<char*>(sys::MemPtrNew(nameLength));
        if (!name) {
            result = trelErrMemory;
        } else {
            uint16_t length = nameLength;
            if (DlkSetting(kDlkGetSetting, kSettingHostName, name, &length) != 0) name[0] = 0;
            name[nameLength - 1] = 0;
        }
    }
    const bool haveName = name && name[0];
    if (!result && !haveName && !target.address) {
        BRONTEL_TRACE("Missing Host name and IP address\n");
        result = trelErrNoHost;
    }
    if (!result && haveName && std::strcmp(name, "!!") == 0) {
        if (!target.address) result = trelErrNoHost;
    } else if (!result) {
        target.name = name;
        if (PnrpDiscover(&target, &BrontelCheckCancel, g)) {
            StoreFound(kSettingFoundAddr, target.address, "Found host addr<%s>\n");
            StoreFound(kSettingFoundMask, target.mask, "Found host mask<%s>\n");
        } else if (haveName) {
            BRONTEL_TRACE("Host not found or not responding\n");
            result = trelErrNoHost;
        }
    }
    if (!result) {
        result = BrontelSocketsCreate();
        if (result) BRONTEL_TRACE("Error creating sockets\n");
    }
    if (!result) {
        if (haveName) BRONTEL_TRACE("Connecting to host <%s>\n", name);
        else BRONTEL_TRACE("Connecting to host <%lx>\n", static_cast<unsigned long>(target.address));
        g->peer.family = sockra::netSocketAddrINET;
        vantor::WriteBE16(&g->peer.port, g->tcpPort);
        g->peer.addr = target.address;
        result = BrontelSocketsConnect();
        if (result) BRONTEL_TRACE("Error connecting\n");
    }
    if (!result) {
        BRONTEL_TRACE("Connected\n");
        g->disconnected = 0;
        result = BrontelHandshake();
        if (!result) g->connected = 1;
    }
    if (name) sys::MemChunkFree(name);
    if (result) {
        BrontelDisconnect(refNum, 0);
        return result;
    }
    g->holdCount = 0;
    BrontelKeepAliveHold(true);
    return 0;
}

Status BrontelDisconnect(uint16_t, uint8_t) {
    BrontelGlobals* g = gBrontel;
    if (!g || (!g->connected && !g->phase1Done)) return 0;
    BrontelKeepAliveHold(false);
    BrontelSocketsClose();
    net::Close(g->openedByRefresh ? 0 : 1);
    g->connected = g->phase1Done = 0;
    g->disconnected = 1;
    return 0;
}

Status BrontelCancel(uint16_t) {
    if (gBrontel) gBrontel->cancel = 1;
    return 0;
}

uint32_t BrontelQueryValue(uint16_t) { return gBrontel ? gBrontel->maxRequestSize : 0; }
uint32_t BrontelGetVersion(uint16_t) { return 0x01000000; }

bool BrontelCheckCancel(void* globals) {
    auto* g = static_cast<BrontelGlobals*>(globals);
    if (!g) {
        Report(__LINE__, "null BRONTEL globals ptr");
        return false;
    }
    if (g->idleProc) reinterpret_cast<BrontelIdleProc>(static_cast<uintptr_t>(g->idleProc))(g->idleContext);
    if (Kez<uint8_t()>(vantor::kezslot::PALSyncIsCancelled)) g->cancel = 1;
    const bool cancelled = g->cancel != 0;
    g->cancel = 0;
    if (cancelled) BRONTEL_TRACE("BRONTEL: cancelled by user.\n");
    return cancelled;
}

void BrontelKeepAliveHold(bool release) {
    BrontelGlobals* g = gBrontel;
    if (!g || !g->keepAlive) return;
    if (release) {
        if (g->holdCount > 4) Report(__LINE__, "keep-alive count overflow");
        if (++g->holdCount == 1)
            Kez<vantor::kezsig::KALTimerStart>(vantor::kezslot::KALTimerStart, g->timerID, kKeepAliveMs);
    } else {
        if (g->holdCount < -4) Report(__LINE__, "keep-alive underflow");
        if (--g->holdCount == 0) {
            Kez<vantor::kezsig::KALTimerStart>(vantor::kezslot::KALTimerStart, g->timerID, 0u);
            if (g->ticklePending && g->tickleProc) {
                CallTickleProc(0);
                g->ticklePending = 0;
            }
        }
    }
}

Status BrontelSendTickle(uint32_t, BrontelTickleBlock* block) {
    BrontelGlobals* g = gBrontel;
    if (!block) {
        Report(__LINE__, "null req data ptr");
        return 0;
    }
    if (block->kind != 1) Report(__LINE__, "invalid request block");
    if (!g || g->disconnected || g->ctlSock < 0) return 0;
    vantor::WriteBE16(g->tickle, 0xFACE);
    g->tickle[2] = 2;
    g->tickle[3] = block->requestId;
    Status err = 0;
    net::Send(g->ctlSock, g->tickle, 4, 0, nullptr, 0, Ticks(1) / 2, &err);
    ++g->counters.ticklesSent;
    g->ticklePending = 0;
    return 0;
}

}  // namespace brontel
