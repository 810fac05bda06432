// The library module's face: its globals, install, and the library-level open and close that every
// other call depends on (per-socket tables, the event wake-up pipe, the interfaces).
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/FourCC.h"
#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/SockraOS.h"
#include "sockra/SockraPrefs.h"

namespace sockra {

SockraGlobalsHeader* gSockraGlobalsP = nullptr;
SockraTables gSockra = {};
uint16_t gSockraMaxSockets = 0;
int32_t gSockraWakeupPipe[2] = {-1, -1};
uint8_t gSockraInterfaceUp = 0;

namespace {

constexpr const char* kSourcePath = "Kez/Linux/Drivers/RavUviza/Src/SockraLinux";
constexpr uint32_t kCreator = vantor::FourCC("sokr");
constexpr uint16_t kModuleLaunchCodeLoad = 0x7FFE;

#define REPORT(err) os::ErrReportStatus(kSourcePath, __LINE__, (err))

// Adds up a value over the dynamic heaps.
template <typename Fn>
uint32_t PrvDynamicHeaps(Fn value) {
    uint32_t total = 0;
    uint16_t n = os::MemNumHeaps();
    for (uint16_t i = 0; i < n; ++i) {
        uint16_t id = os::MemHeapID(0, i);
        if (os::MemHeapDynamic(id)) total += value(id);
    }
    return total;
}

void* PrvNewTable(uint32_t size) {
    void* p = os::MemPtrNew(size);
    if (p) {
        os::MemPtrSetOwner(p, 0);
        memset(p, 0, size);
    }
    return p;
}

void PrvFree(void* p) {
    if (p) os::MemPtrFree(p);
}

// Releases what an open acquired: the per-socket tables and the wake-up pipe.
void PrvTeardown() {
    PrvFree(gSockra.sockets);
    PrvFree(gSockra.blocking);
    PrvFree(gSockra.exitPipes);
    PrvFree(gSockra.exitAckPipes);
    PrvFree(gSockra.primePipes);
    PrvFree(gSockra.monitorTasks);
    PrvFree(gSockra.notifyValues);
    gSockra = {};
    if (gSockraWakeupPipe[0] >= 0 || gSockraWakeupPipe[1] >= 0) os::HALEventSetWakeupPipe(nullptr);
    for (int32_t& fd : gSockraWakeupPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

void PrvMarkAllFree() {
    for (int i = 0; i < gSockraMaxSockets; ++i) gSockra.sockets[i] = -1;
}

// Opens the library proper (steps of a closed library); on failure everything it took is released
// and the small record is the library global again.
Status PrvOpenLibrary(uint16_t* netIFErrsP) {
    SockraGlobalsHeader* small = gSockraGlobalsP;
    if (small->openCount != 0 || (small->flags & kFlagClosePending)) {
        os::ErrReport(kSourcePath, __LINE__, "not closed");
        return netErrAlreadyOpen;
    }
    gSockraInterfaceUp = 0;
    uint16_t n = SockraMaxSocketsGet();
    gSockraMaxSockets = n;
    gSockra.sockets = static_cast<int32_t*>(PrvNewTable(n * 4u));
    gSockra.blocking = static_cast<uint32_t*>(PrvNewTable(n * 4u));
    gSockra.exitPipes = static_cast<int32_t(*)[2]>(PrvNewTable(n * 8u));
    gSockra.exitAckPipes = static_cast<int32_t(*)[2]>(PrvNewTable(n * 8u));
    gSockra.primePipes = static_cast<int32_t(*)[2]>(PrvNewTable(n * 8u));
    gSockra.monitorTasks = static_cast<uint32_t*>(PrvNewTable(n * 4u));
    gSockra.notifyValues = static_cast<uint32_t*>(PrvNewTable(n * 4u));
    if (!gSockra.sockets || !gSockra.blocking || !gSockra.exitPipes || !gSockra.exitAckPipes ||
        !gSockra.primePipes || !gSockra.monitorTasks || !gSockra.notifyValues) {
        PrvTeardown();
        return netErrOutOfMemory;
    }
    PrvMarkAllFree();
    int fds[2];
    if (pipe(fds) < 0) {
        os::Trace("SockraOpen(): pipe() failed (err=%d/%s)", errno, strerror(errno));
        PrvTeardown();
        return netErrOutOfMemory;
    }
    gSockraWakeupPipe[0] = fds[0];
    gSockraWakeupPipe[1] = fds[1];
    for (int fd : fds) {
        int fl = fcntl(fd, F_GETFL);
        if (fl < 0 || fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) {
            os::Trace("SockraOpen(): fcntl(F_GETFL) failed (err=%d/%s)", errno, strerror(errno));
            PrvTeardown();
            return netErrOutOfMemory;
        }
    }
    os::HALEventSetWakeupPipe(gSockraWakeupPipe);
    uint32_t freeBytes = PrvDynamicHeaps([](uint16_t id) {
        uint32_t f = 0, m = 0;
        os::MemHeapFreeBytes(id, &f, &m);
        return f;
    });
    auto* open = freeBytes < 32768 ? nullptr : static_cast<SockraOpenRecord*>(PrvNewTable(sizeof(SockraOpenRecord)));
    if (!open) {
        PrvTeardown();
        return netErrOutOfMemory;
    }
    open->h.mutex = small->mutex;
    open->smallP = small;
    open->h.openCount = 1;
    gSockraGlobalsP = &open->h;

    Status result = 0;
    for (uint16_t i = 0;; ++i) {
        uint32_t creator = 0;
        uint16_t instance = 0;
        Status err = SockraIFGet(i, &creator, &instance);
        if (err == netErrInterfaceNotFound || err == netErrPrefNotFound) {
            if (i == 0 && netIFErrsP) *netIFErrsP = netErrNoInterfaces;
            break;
        }
        if (err) {
            result = err;
            break;
        }
        // The interfaces known to this open: settings 0x1004 and 0x1005 read the first two.
        if (i < 2) open->interfaceValues[i] = creator;
        open->interfaceCount = static_cast<uint16_t>(i + 1);
        err = SockraIFUp(creator, instance);
        if (err && netIFErrsP && *netIFErrsP == 0) *netIFErrsP = err;
    }
    if (result) {
        gSockraGlobalsP = small;
        PrvFree(open);
        PrvTeardown();
    }
    return result;
}

// Full close of an open library (open count already 0).
Status PrvFullClose() {
    SockraTraceEnter(89);
    for (NetSocketRef ref = 1; ref <= gSockraMaxSockets; ++ref) SockraMonitorStop(ref);
    for (int i = 0; i < gSockraMaxSockets; ++i) {
        if (gSockra.sockets[i] == -1) continue;
        linger lg{1, 0};
        setsockopt(gSockra.sockets[i], SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        close(gSockra.sockets[i]);
        gSockra.sockets[i] = -1;
    }
    for (uint16_t i = 0;; ++i) {
        uint32_t creator = 0;
        uint16_t instance = 0;
        if (SockraIFGet(i, &creator, &instance) != 0) break;
        SockraIFDown(creator, instance, 0);
    }
    SockraIFDriversForget();
    SockraOpenRecord* open = SockraOpenRecordP();
    if (open) {
        PrvFree(open->hostTableP);
        PrvFree(open->traceBufP);
        open->h.flags &= static_cast<uint8_t>(~kFlagClosePending);
    }
    SockraTraceExit(89);
    if (open) {
        gSockraGlobalsP = open->smallP;
        gSockraGlobalsP->openCount = 0;
        gSockraGlobalsP->flags &= static_cast<uint8_t>(~kFlagClosePending);
        PrvFree(open);
    }
    PrvTeardown();
    return 0;
}

}  // namespace

Status SockraInstall() {
    uint32_t version = 0;
    if (os::FtrGet(vantor::FourCC("psys"), 1, &version) != 0 || version < 0x02000000) return 0xFFFF;
    if (PrvDynamicHeaps([](uint16_t id) { return os::MemHeapSize(id); }) <= 49151) return 0x0102;
    uint32_t mutex = 0;
    Status err = os::KALMutexCreate(&mutex, kCreator);
    if (err) return err;
    auto* small = static_cast<SockraSmallRecord*>(os::MemPtrNew(sizeof(SockraSmallRecord)));
    if (!small) return netErrOutOfMemory;
    os::MemPtrSetOwner(small, 0);
    memset(small, 0, sizeof *small);
    small->flags = kFlagSmallRecord;
    small->mutex = mutex;
    gSockraGlobalsP = small;
    os::FtrSet(kCreator, 0, 0x03200000);
    os::DmOpenRef db = 0;
    if (os::DmFindNewestDatabase(vantor::FourCC("rsrc"), kCreator, &db) != 0 || db == 0) {
        err = os::DmCreateDatabase(0, "Net Prefs", kCreator, vantor::FourCC("rsrc"), true);
        if (err) {
            REPORT(err);
            return 0;
        }
        os::DmFindNewestDatabase(vantor::FourCC("rsrc"), kCreator, &db);
    }
    if (db) os::DmMarkDatabase(db, true);
    return 0;
}

// Load runs the install (its result is not the launch's). The library has no 68K entry here, so
// 0x7FFD leaves the caller's location as it is.
uint32_t SockraLaunch(uint16_t launchCode, void* param, uint16_t) {
    if (launchCode == kModuleLaunchCodeLoad) SockraInstall();
    if (launchCode == vantor::ModuleLaunchCodeGetEntry && param) {
        // The 68K environment asks for the library's 68K entry.
        const auto entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&SockraLibEntry68K));
        memcpy(param, &entry, sizeof entry);
    }
    return 0;
}

}  // namespace sockra

using namespace sockra;

extern "C" Status SockraOpen(uint16_t* netIFErrsP) {
    os::Trace("Sockra: SockraOpen");
    return SockraOpenConfig(0, 0, netIFErrsP);
}

extern "C" Status SockraOpenConfig(uint16_t configIndex, uint32_t, uint16_t* netIFErrsP) {
    os::Trace("Sockra: SockraOpenConfig");
    if (netIFErrsP) *netIFErrsP = 0;
    SockraGlobalsHeader* g = nullptr;
    if (!gSockraGlobalsP) return netErrNotOpen;  // not installed
    SockraLock(&g, -1);
    NetConfigList* list = nullptr;
    Status result = 0;
    uint16_t resolved = kConfigNone;
    bool refresh = false;
    if (configIndex != kConfigNone) {
        result = SockraConfigListLoad(&list);
        if (!result) result = NetConfigFollowAlias(list, configIndex, &resolved);
    }
    if (!result && (g->openCount > 0 || (g->flags & kFlagClosePending))) {
        if (resolved != kConfigNone && resolved != list->active) {
            if (g->openCount > 0) {
                result = netErrConfigOtherActive;
            } else {
                PrvFullClose();
                g = gSockraGlobalsP;
                os::MemPtrFree(list);
                list = nullptr;
                result = SockraConfigListLoad(&list);
            }
        } else {
            ++g->openCount;
            g->flags &= static_cast<uint8_t>(~kFlagClosePending);
            result = g->openCount > 1 ? netErrAlreadyOpen : 0;
            refresh = true;
        }
    }
    if (!result && !refresh) {
        if (resolved != kConfigNone) result = SockraConfigActivate(list, resolved, true);
        if (!result) result = PrvOpenLibrary(netIFErrsP);
    }
    if (result && result != netErrAlreadyOpen && result != netErrConfigOtherActive && result != netErrTimeout)
        REPORT(result);
    if (list) os::MemPtrFree(list);
    SockraUnlock(gSockraGlobalsP);
    if (refresh) SockraConnectionRefresh(0, nullptr, nullptr);
    return result;
}

extern "C" Status SockraOpenCount(uint16_t* countP) {
    if (countP) *countP = gSockraGlobalsP ? gSockraGlobalsP->openCount : 0;
    return 0;
}

extern "C" Status SockraOpenIfCloseWait() {
    SockraGlobalsHeader* g = nullptr;
    if (!gSockraGlobalsP) return netErrNotOpen;
    SockraLock(&g, -1);
    Status result;
    if (g->openCount == 0 && !(g->flags & kFlagClosePending)) {
        result = netErrNotOpen;
    } else {
        ++g->openCount;
        g->flags &= static_cast<uint8_t>(~kFlagClosePending);
        if (g->openCount == 1 && gSockra.sockets) PrvMarkAllFree();
        result = g->openCount == 1 ? 0 : netErrAlreadyOpen;
    }
    SockraUnlock(g);
    return result;
}

extern "C" Status SockraClose(uint16_t) {
    os::Trace("Sockra: SockraClose");
    SockraGlobalsHeader* g = nullptr;
    if (!gSockraGlobalsP) return netErrNotOpen;
    SockraLock(&g, -1);
    uint32_t mutex = g->mutex;
    Status result;
    if (g->openCount >= 2) {
        --g->openCount;
        result = netErrStillOpen;
    } else if (g->openCount == 1) {
        g->openCount = 0;
        result = PrvFullClose();
        if (result) g->openCount = 1;
    } else {
        result = netErrNotOpen;
    }
    if (result && result != netErrNotOpen && result != netErrStillOpen) REPORT(result);
    os::KALMutexRelease(mutex);
    return result;
}

extern "C" Status SockraFinishCloseWait() {
    os::Trace("Sockra: SockraFinishCloseWait");
    SockraGlobalsHeader* g = nullptr;
    if (!gSockraGlobalsP) return netErrNotOpen;
    SockraLock(&g, -1);
    uint32_t mutex = g->mutex;
    if (g->openCount == 0 && (g->flags & kFlagClosePending)) REPORT(PrvFullClose());
    os::KALMutexRelease(mutex);
    return 0;
}

extern "C" Status SockraConnectionRefresh(uint8_t, uint8_t* allInterfacesUpP, uint16_t* netIFErrsP) {
    os::Trace("Sockra: SockraConnectionRefresh");
    if (allInterfacesUpP) *allInterfacesUpP = 1;
    if (netIFErrsP) *netIFErrsP = 0;
    return 0;
}

extern "C" Status SockraSleep() {
    os::Trace("Sockra: SockraSleep - not implemented");
    return 0;
}

extern "C" Status SockraWake() {
    os::Trace("Sockra: SockraWake - not implemented");
    return 0;
}

extern "C" Status SockraHandlePowerOff(void*) {
    os::Trace("Sockra: SockraHandlePowerOff - not implemented");
    return 0;
}
