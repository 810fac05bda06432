// The remote-access server (export slots 209 to 211, 279, 287): a listener on TCP port 34130 and
// up to four sessions, each reading 12-byte command headers and their data, running the row of
// the operation table that the opcode names under its lock, and sending one reply per command.
//
// The server and its sessions are threads of their own that the stop joins: the listening socket
// and the sessions' sockets are shut down (which wakes a blocked accept or receive on Linux,
// where closing does not) and closed only by the thread that owns them.
#include "kez/src/GRASServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/FourCC.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ModuleInterface.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KAL.h"
#include "kez/src/KezBoot.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint16_t kZone = 0xF300;

#define GRAS_TRACE(...) sys::SysTrace(kZone, __VA_ARGS__)

struct ServerState {
    int listenSocket = -1;
    pthread_t thread{};
    bool hasThread = false;
    volatile uint32_t running = 0;
    uint32_t active = 0;
    uint32_t* remoteLaunch = nullptr;
    std::recursive_mutex lock;  // the session array and the count
    GRASSession sessions[kGRASMaxSessions];

    // The application switch a session waits for.
    pthread_mutex_t switchLock;
    pthread_cond_t switchCondition;
    bool switchReady = false;
    uint32_t switchedCreator = 0;
};
ServerState gServer;
volatile int16_t gPendingWork;

uint16_t Unimplemented(GRASSession* session) {
    GRAS_TRACE("GRASServer #### #### opcode %d unimplemented !", session->header.opcode);
    return GRASErrUnknownOpcode;
}

void FreeBuffer(GRASSession* session) {
    std::free(session->data);
    session->data = nullptr;
    session->capacity = 0;
    session->header.length = 0;
}

// Receives exactly `size` bytes; false when the peer closed, failed or the socket was shut down.
bool ReceiveAll(int socket, void* buffer, size_t size) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t n = recv(socket, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Sends everything; the last send's result (< 1 on failure), or 1.
ssize_t SendAll(int socket, const void* buffer, size_t size) {
    auto* p = static_cast<const uint8_t*>(buffer);
    while (size > 0) {
        ssize_t n = send(socket, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 1) return n;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 1;
}

bool ReadCommand(GRASSession* session) {
    GRASCommandHeader header;
    if (!ReceiveAll(session->socket, &header, sizeof header)) return false;
    session->header = header;
    GRAS_TRACE("GRASServerReadCommand(): opCode %d - %d bytes of data to read", header.opcode,
               static_cast<int>(header.length));
    if (header.version > 0x100) {
        GRAS_TRACE("GRASServerReadCommand(): Unsupported version 0x%X", header.version);
        return false;
    }
    // The length comes from the peer: a command larger than any operation takes ends the session
    // rather than asking for that much memory.
    if (header.length > kGRASMaxRequest) return false;
    if (!PrvGRASSetBuffer(session, header.length)) return false;
    return header.length == 0 || ReceiveAll(session->socket, session->data, header.length);
}

bool SendReply(GRASSession* session) {
    ssize_t n = SendAll(session->socket, &session->header, sizeof session->header);
    if (n < 1) {
        GRAS_TRACE("GRASServerSendReply(): Error sending header: bytes=%d, bytesTo=%d, errno=%d", static_cast<int>(n),
                   static_cast<int>(sizeof session->header), errno);
        return false;
    }
    if (session->header.status != 0 || session->header.length == 0) return true;
    n = SendAll(session->socket, session->data, session->header.length);
    if (n < 1) {
        GRAS_TRACE("GRASServerSendReply(): Error sending data: bytes=%d, bytesTo=%d, errno=%d", static_cast<int>(n),
                   static_cast<int>(session->header.length), errno);
        return false;
    }
    return true;
}

void RunCommand(GRASSession* session) {
    uint16_t opcode = session->header.opcode;
    uint16_t status;
    if (opcode >= kGRASOperationCount) {
        GRAS_TRACE("GRASServerSessionFunction(): Unknown opcode: %d", opcode);
        status = GRASErrUnknownOpcode;
    } else if (session->type == kGRASSessionAccepted && opcode != 1) {
        GRAS_TRACE("GRASServerSessionFunction(): Opcode received outside an indentified session");
        status = GRASErrNoSession;
    } else {
        const GRASOperation& row = gGRASOperationsTable[opcode];
        gPendingWork = 0;
        if (row.lockMode) glue::SysCall<uint16_t(uint8_t)>(sysslot::MemSemaphoreReserve, uint8_t{row.lockMode == 1});
        status = row.handler(session);
        if (row.lockMode) glue::SysCall<uint16_t(uint8_t)>(sysslot::MemSemaphoreRelease, uint8_t{row.lockMode == 1});
        while (gPendingWork > 0 && !session->stop) sched_yield();
    }
    session->header.status = status;
}

// Reads and answers commands until the session stops or its connection fails.
void CommandLoop(GRASSession* session) {
    while (!session->stop) {
        if (!ReadCommand(session)) {
            GRAS_TRACE("GRASServerSessionFunction(): Error reading command");
            break;
        }
        session->postReply = nullptr;
        RunCommand(session);
        bool sent = SendReply(session);
        if (session->postReply) session->postReply(session);
        if (!sent) {
            GRAS_TRACE("GRASServerSessionFunction(): Error sending reply");
            break;
        }
    }
}

void* SessionThread(void* argument) {
    auto* session = static_cast<GRASSession*>(argument);
    pthread_setname_np(pthread_self(), "GRSS");
    CommandLoop(session);
    GRAS_TRACE("GRASServerSessionFunction() - exiting");
    bool end = session->shutdownRequested != 0;
    if (!end) end = prv_check_shutdown(0) == 1;
    if (end) GRAS_TRACE("GRASServerSessionFunction() - Session requested shutdown");
    {
        std::lock_guard lock(gServer.lock);
        if (session->socket >= 0) close(session->socket);
        session->socket = -1;
        FreeBuffer(session);
        session->type = kGRASSessionFree;  // the thread stays joinable until its record is reused
    }
    if (end) PrvKezExitRequest(kExitQuit, 1);
    return nullptr;
}

void JoinSession(GRASSession* session) {
    if (!session->hasThread) return;
    pthread_join(session->thread, nullptr);
    session->hasThread = false;
}

int PrepareSocket() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        GRAS_TRACE("GRASServerPrepareSocket() - Can't create server socket - errno = %d", errno);
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        GRAS_TRACE("GRASServerPrepareSocket() - Can't set server socket %d option - errno = %d", fd, errno);
        close(fd);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kGRASPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        GRAS_TRACE("GRASServerPrepareSocket() - Can't bind server socket %d to port %d - errno = %d", fd, kGRASPort,
                   errno);
        close(fd);
        return -1;
    }
    if (listen(fd, 128) != 0) {
        GRAS_TRACE("GRASServerPrepareSocket() - Can't listen on server socket %d - errno = %d", fd, errno);
        close(fd);
        return -1;
    }
    return fd;
}

void* ServerThread(void*) {
    pthread_setname_np(pthread_self(), "GRAS");
    GRAS_TRACE("GRASServerTaskFunction(): GRAS server starting");
    GRAS_TRACE("GRASServerTaskFunction(): Waiting for VantorOS");
    // Waits for stage 5 unless the server is stopped first.
    {
        pthread_mutex_lock(&gKez.initStageLock);
        while (gKez.initStage < 5 && gServer.running) {
            timespec deadline = DeadlineAfter(50);
            pthread_cond_timedwait(&gKez.initStageCondition, &gKez.initStageLock, &deadline);
        }
        pthread_mutex_unlock(&gKez.initStageLock);
    }
    if (gServer.running) {
        GRAS_TRACE("GRASServerTaskFunction(): VantorOS fully started");
        if (gKez.hostStatus) gKez.hostStatus->state = 2;
    }
    int kept = -1;
    while (gServer.running) {
        if (kept >= 0) close(kept);
        kept = accept4(gServer.listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (kept < 0) {
            if (errno == EINTR && gServer.running) continue;
            GRAS_TRACE("GRASServerTaskFunction() - accept on %d FAILED: errno %d", gServer.listenSocket, errno);
            GRAS_TRACE("GRASServerTaskFunction() - GRAS SERVER STOPPING");
            break;
        }
        if (!gServer.running) break;
        std::unique_lock lock(gServer.lock);
        if (gServer.active >= kGRASMaxSessions) {
            GRAS_TRACE("GRASServerTaskFunction(): Too many active sessions - rejected");
            continue;
        }
        int on = 1;
        if (setsockopt(kept, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
            GRAS_TRACE("GRASServerTaskFunction() - Can't set accepted socket option, errno=%d", errno);
            continue;
        }
        GRASSession* session = nullptr;
        for (GRASSession& s : gServer.sessions)
            if (s.type == kGRASSessionFree) {
                session = &s;
                break;
            }
        if (!session) continue;
        JoinSession(session);  // the thread of the session that used this record before
        ++gServer.active;
        *session = GRASSession{};
        session->type = kGRASSessionAccepted;
        session->socket = kept;
        kept = -1;
        if (pthread_create(&session->thread, nullptr, SessionThread, session) != 0) {
            GRAS_TRACE("GRASServerTaskFunction(): Session dropped");
            close(session->socket);
            session->socket = -1;
            session->type = kGRASSessionFree;
            lock.unlock();
            if (prv_check_shutdown(0) == 1) PrvKezExitRequest(kExitQuit, 1);
            continue;
        }
        session->hasThread = true;
        GRAS_TRACE("GRASServerTaskFunction(): Started session task id: 0x%X",
                   static_cast<unsigned>(session - gServer.sessions));
    }
    if (kept >= 0) close(kept);
    GRAS_TRACE("GRASServerTaskFunction() - FINISHED");
    gServer.running = 0;
    return nullptr;
}

uint16_t GRASServerStart() {
    if (gServer.hasThread) return 0xFFFF;
    pthread_mutex_init(&gServer.switchLock, nullptr);
    pthread_cond_init(&gServer.switchCondition, nullptr);
    gServer.switchReady = true;
    gServer.listenSocket = PrepareSocket();
    if (gServer.listenSocket < 0) {
        GRAS_TRACE("HALGRASStart(): Can't create server socket.");
        pthread_cond_destroy(&gServer.switchCondition);
        pthread_mutex_destroy(&gServer.switchLock);
        gServer.switchReady = false;
        return 0xFFFF;
    }
    gServer.running = 1;
    if (pthread_create(&gServer.thread, nullptr, ServerThread, nullptr) != 0) {
        gServer.running = 0;
        close(gServer.listenSocket);
        gServer.listenSocket = -1;
        pthread_cond_destroy(&gServer.switchCondition);
        pthread_mutex_destroy(&gServer.switchLock);
        gServer.switchReady = false;
        return 0xFFFF;
    }
    gServer.hasThread = true;
    GRAS_TRACE("GRASServerStart(): Server task started, id: 0x%X", 0u);
    return 0;
}
KEZ_SLOT_NAMED(GRASServerStart, GRASServerStart)

void Initialize(uint32_t* remoteLaunch) {
    if (remoteLaunch && *remoteLaunch) GRAS_TRACE("GRASServerInit(): QEL was launched from a GRAS session");
    gServer.remoteLaunch = remoteLaunch;
    gServer.listenSocket = -1;
    gServer.active = 0;
    gServer.running = 0;
    for (GRASSession& s : gServer.sessions) {
        s = GRASSession{};
        s.type = kGRASSessionFree;
        s.socket = -1;
    }
    for (uint32_t i = 0; i < kGRASOperationCount; ++i) {
        GRASOperation& row = gGRASOperationsTable[i];
        if (row.opcode != 0 && row.opcode != i)
            sys::ErrDisplayFileLineMsg("Kez/Linux/NetworkRemoteAccess/Src/GHostRASServer", 3550,
                                       "GRASServerInit(): Binary incompatible gGRASOperationsTable");
        if (!row.handler) row = {i, Unimplemented, 0};
    }
}

void HALGRASStop() {
    GRAS_TRACE("HALGRASStop(): Shutting down GRAS");
    if (gServer.hasThread) {
        GRAS_TRACE("GRASServerStop() - Stopping server task ");
        gServer.running = 0;
        shutdown(gServer.listenSocket, SHUT_RDWR);  // accept fails
        pthread_join(gServer.thread, nullptr);
        gServer.hasThread = false;
        close(gServer.listenSocket);
        gServer.listenSocket = -1;
        GRAS_TRACE("GRASServerStop() - Server task stopped");
    }
    {
        std::lock_guard lock(gServer.lock);
        for (uint32_t i = 0; i < kGRASMaxSessions; ++i) {
            GRASSession& s = gServer.sessions[i];
            if (s.type == kGRASSessionFree) continue;
            GRAS_TRACE("GRASServerStop() - Stopping session task %d", static_cast<int>(i));
            s.stop = 1;
            if (s.socket >= 0) shutdown(s.socket, SHUT_RDWR);  // a blocked receive returns
        }
    }
    for (uint32_t i = 0; i < kGRASMaxSessions; ++i) {
        GRASSession& s = gServer.sessions[i];
        if (!s.hasThread) continue;
        JoinSession(&s);
        GRAS_TRACE("GRASServerStop() - Session task %d stopped", static_cast<int>(i));
        FreeBuffer(&s);
    }
    // Only now that no session can wait for an application switch.
    if (gServer.switchReady) {
        pthread_cond_destroy(&gServer.switchCondition);
        pthread_mutex_destroy(&gServer.switchLock);
        gServer.switchReady = false;
    }
    Initialize(gServer.remoteLaunch);
}
KEZ_SLOT_NAMED(HALGRASStop, HALGRASStop)

uint32_t HALGRASIsRunning() { return gServer.hasThread ? gServer.running : 0; }
KEZ_SLOT_NAMED(HALGRASIsRunning, HALGRASIsRunning)

void HALGRASAppSwitched(uint32_t creator) {
    if (!gServer.hasThread || !gServer.switchReady) return;
    GRAS_TRACE("HALGRASAppSwitched(): creator='%c%c%c%c'", static_cast<char>(creator >> 24),
               static_cast<char>(creator >> 16), static_cast<char>(creator >> 8), static_cast<char>(creator));
    pthread_mutex_lock(&gServer.switchLock);
    gServer.switchedCreator = creator;
    pthread_cond_broadcast(&gServer.switchCondition);
    pthread_mutex_unlock(&gServer.switchLock);
}
KEZ_SLOT_NAMED(HALGRASAppSwitched, HALGRASAppSwitched)

int16_t HALGRASAddPendingWork(int16_t delta) {
    gPendingWork = static_cast<int16_t>(static_cast<uint16_t>(gPendingWork) + static_cast<uint16_t>(delta));
    return delta;
}
KEZ_SLOT_NAMED(HALGRASAddPendingWork, HALGRASAddPendingWork)

}  // namespace

bool PrvGRASSetBuffer(GRASSession* session, uint32_t n) {
    FreeBuffer(session);
    if (n == 0) return true;
    session->data = static_cast<uint8_t*>(std::calloc(size_t{n} + 1, 1));
    if (!session->data) return false;
    session->capacity = n;
    session->header.length = n;
    return true;
}

uint32_t prv_check_shutdown(uint32_t keepCount) {
    std::lock_guard lock(gServer.lock);
    uint32_t answer = 0;
    if (gServer.active == 1) {
        GRAS_TRACE("prv_check_shutdown() - Last active connection closed");
        if (gServer.remoteLaunch && *gServer.remoteLaunch) {
            GRAS_TRACE("prv_check_shutdown() - QEL was started to handle a GRAS request - exiting QEL");
            gServer.running = 0;
            if (gKez.hostStatus) gKez.hostStatus->state = 3;
            answer = 1;
        }
    }
    if (!keepCount && gServer.active > 0) --gServer.active;
    return answer;
}

void PrvGRASSetSwitchPending() {
    if (!gServer.switchReady) return;
    pthread_mutex_lock(&gServer.switchLock);
    gServer.switchedCreator = 0xFFFFFFFF;
    pthread_mutex_unlock(&gServer.switchLock);
}

uint32_t PrvWaitForAppSwitch() {
    GRAS_TRACE("PrvWaitForAppSwitch(): Waiting");
    if (!gServer.switchReady) return 0;
    timespec deadline = DeadlineAfter(1000);
    pthread_mutex_lock(&gServer.switchLock);
    while (gServer.switchedCreator == 0xFFFFFFFF &&
           pthread_cond_timedwait(&gServer.switchCondition, &gServer.switchLock, &deadline) == 0) {
    }
    uint32_t creator = gServer.switchedCreator;
    if (creator == 0xFFFFFFFF) gServer.switchedCreator = creator = 0;
    pthread_mutex_unlock(&gServer.switchLock);
    if (creator)
        GRAS_TRACE("PrvWaitForAppSwitch(): Done waiting, switched = '%c%c%c%c'", static_cast<char>(creator >> 24),
                   static_cast<char>(creator >> 16), static_cast<char>(creator >> 8), static_cast<char>(creator));
    else
        GRAS_TRACE("PrvWaitForAppSwitch(): Wait failed");
    return creator;
}

void PrvGRASServeConnection(int socket) {
    GRASSession session{};
    session.type = kGRASSessionAccepted;
    session.socket = socket;
    CommandLoop(&session);
    FreeBuffer(&session);
}

uint32_t PrvGRASActiveSessions() {
    std::lock_guard lock(gServer.lock);
    return gServer.active;
}

void PrvGRASClearRemoteLaunch() {
    if (gServer.remoteLaunch) *gServer.remoteLaunch = 0;
}

// After the reply to reset: the session ends and the OS is reset.
void GRASServer_reset_post(GRASSession* session) {
    GRAS_TRACE("GRASServer_reset_post");
    shutdown(session->socket, SHUT_RDWR);
    session->shutdownRequested = 1;
    gServer.running = 0;
    sys::SysReset();
}

// After the reply to exit: the session ends, and with it the process.
void GRASServer_exit_post(GRASSession* session) {
    GRAS_TRACE("GRASServer_exit_post");
    shutdown(session->socket, SHUT_RDWR);
    session->shutdownRequested = 1;
    session->stop = 1;
    gServer.running = 0;
}

void PrvGRASServerStart() {
    if (KEZ_CALL_AS(uint16_t(), GRASServerStart) != 0) GRAS_TRACE("Boot(): the remote-access server did not start");
}
void PrvGRASServerStop() { KEZ_CALL_AS(void(), HALGRASStop); }
bool PrvGRASServerIsRunning() { return KEZ_CALL_AS(uint32_t(), HALGRASIsRunning) != 0; }

}  // namespace kez

// The remote-access server's set-up, called by the host program before Boot.
extern "C" VANTOR_EXPORT void GRASServerInit(uint32_t* launchedForRemoteRequest) {
    kez::Initialize(launchedForRemoteRequest);
}
