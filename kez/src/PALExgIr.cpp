// Infrared exchange emulation (export slots 250 to 264): a library that only sends. Each object an
// application beams is spooled to a new temporary file under /tmp (mkstemp: a fresh name, created
// exclusively, never through a link); nothing is transmitted or received.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/module/SystemCalls.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint16_t kZone = 0xFF00;
constexpr const char* kSource = "Kez/Linux/Platform/Posix/Src/PALExgIr";
constexpr uint16_t kErrMemory = 0x1501, kErrNotOpen = 0x1502, kErrState = 0x1507, kErrBadSocket = 0x150E;
enum State : uint32_t { kClosed = 0, kSelecting = 1, kSpooling = 2, kUnspooling = 11 };

// The OS's exchange socket: the fields that the library reads.
struct ExgSocket {
    uint8_t head[12];
    uint32_t count;  // 12
    uint8_t middle[36];
    char* description;  // 52
    char* type;         // 56
    char* name;         // 60
};
static_assert(sizeof(ExgSocket) == 64);

struct Object {
    Object* next;
    ExgSocket socket;  // description, type and name owned by the object
    char path[32];
};

struct Library {
    uint32_t state;
    uint8_t busy;
    Object* first;
    Object* last;
    int spool;
    uint8_t puts;
    uint8_t flags;  // bit 0: aborted
};
Library* gIr;
std::mutex gIrLock;

const char* StateName(uint32_t state) {
    static const char* const names[] = {"CLOSED",      "SELECTING", "SPOOLING",   "TX_CONNECTING", "TXING",
                                        "TX_CLOSING",  "TX_CLOSED", "TX_ABORTING", "RX_CONNECTING", "RXING",
                                        "RX_CLOSING",  "UNSPOOLING", "RX_ABORTING"};
    return state < 13 ? names[state] : "#Unknown#";
}

void ChangeState(uint32_t state) {
    KEZ_CALL(HALTrace, kZone, "PrvPALExgIrChangeState: %s -> %s", StateName(gIr->state), StateName(state));
    gIr->state = state;
}

char* Copy(const char* text) {
    char* copy = strdup(text ? text : "");
    return copy;
}

void FreeObjects() {
    for (Object* o = gIr->first; o;) {
        Object* next = o->next;
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibDisconnect: Free exchange socket");
        std::free(o->socket.description);
        std::free(o->socket.type);
        std::free(o->socket.name);
        std::free(o);
        o = next;
    }
    gIr->first = gIr->last = nullptr;
}

void CloseSpool() {
    if (gIr->spool >= 0) close(gIr->spool);
    gIr->spool = -1;
}

// Name and type from the socket's name (after its first ':') and type (a MIME-like text, else the
// name's extension).
bool PrvPALExgIrParseRequest(const char* nameSource, const char* typeSource, char** name, char** type) {
    if (!nameSource) {
        sys::ErrDisplayFileLineMsg(kSource, 0, "PrvPALExgIrParseRequest(): NULL Request");
        return false;
    }
    const char* colon = std::strchr(nameSource, ':');
    if (!colon) KEZ_CALL(HALTrace, kZone, "PrvPALExgIrParseRequest(): No header");
    const char* n = colon ? colon + 1 : nameSource;
    if (!*n) {
        KEZ_CALL(HALTrace, kZone, "PrvPALExgIrParseRequest(): Invalid format");
        return false;
    }
    bool typeGood = typeSource && std::strlen(typeSource) < 80 && std::strchr(typeSource, '/');
    for (const char* p = typeSource; typeGood && *p; ++p) typeGood = *p >= 33 && *p <= 126;
    const char* dot = std::strrchr(n, '.');
    *name = Copy(n);
    *type = Copy(typeGood ? typeSource : dot ? dot : "");
    KEZ_CALL(HALTrace, kZone, "PrvPALExgIrParseRequest(): Name=[%s], Type=[%s]", *name, *type);
    return true;
}

uint16_t PALExgIrLibOpen() {
    std::lock_guard lock(gIrLock);
    if (gIr) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibOpen(): Already initialized");
        return kErrNotOpen;
    }
    gIr = static_cast<Library*>(std::calloc(1, sizeof(Library)));
    if (!gIr) {
        sys::ErrDisplayFileLineMsg(kSource, 0, "no memory for globals");
        return 0x0102;
    }
    gIr->spool = -1;
    return 0;
}
KEZ_SLOT_NAMED(PALExgIrLibOpen, PALExgIrLibOpen)

uint16_t PALExgIrLibClose() {
    std::lock_guard lock(gIrLock);
    if (gIr) {
        CloseSpool();
        FreeObjects();
        std::free(gIr);
        gIr = nullptr;
    }
    return 0;
}
KEZ_SLOT_NAMED(PALExgIrLibClose, PALExgIrLibClose)

uint16_t PALExgIrLibPut(ExgSocket* socket) {
    if (!socket) return kErrBadSocket;
    std::lock_guard lock(gIrLock);
    if (!gIr) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: IR not initialized");
        return kErrNotOpen;
    }
    if (gIr->busy) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: State machine already running");
        return kErrState;
    }
    gIr->busy = 1;
    if (gIr->state == kClosed) {
        ChangeState(kSelecting);
        gIr->puts = 0;
        gIr->flags = 0;  // a new exchange is not aborted by the last one
    } else if (gIr->state != kSpooling) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: Not allowed in this state : %s", StateName(gIr->state));
        gIr->busy = 0;
        return kErrState;
    }
    ChangeState(kSpooling);
    ++gIr->puts;
    if (gIr->last && gIr->last->socket.count != socket->count)
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: +++ WARNING +++ exchange socket count change");
    auto fail = [](uint16_t err) {
        gIr->busy = 0;
        ChangeState(kClosed);
        return err;
    };
    auto* object = static_cast<Object*>(std::calloc(1, sizeof(Object)));
    if (!object) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: Can't allocate memory for exchange socket");
        return fail(kErrMemory);
    }
    if (gIr->last) gIr->last->next = object;
    else gIr->first = object;
    gIr->last = object;
    if (gIr->spool >= 0) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: Close file [%lu]", static_cast<unsigned long>(gIr->spool));
        CloseSpool();
    }
    object->socket = *socket;
    object->socket.description = Copy(socket->description);
    object->socket.name = object->socket.type = nullptr;
    if (!PrvPALExgIrParseRequest(socket->name, socket->type, &object->socket.name, &object->socket.type)) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: Error while parsing URL to get object name");
        return fail(kErrBadSocket);
    }
    std::strcpy(object->path, "/tmp/IrExgLibTmp.XXXXXX");
    gIr->spool = mkostemp(object->path, O_CLOEXEC);
    if (gIr->spool < 0) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: Unable to open file stream for spooling [0x%lX]",
                 static_cast<unsigned long>(errno));
        return fail(kErrMemory);
    }
    KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: count=%lu, description=[%s], type=[%s], name=[%s]",
             static_cast<unsigned long>(socket->count), object->socket.description, object->socket.type,
             object->socket.name);
    KEZ_CALL(HALTrace, kZone, "PALExgIrLibPut: Open file stream [%s] for spooling. Handle : %lu", object->path,
             static_cast<unsigned long>(gIr->spool));
    gIr->busy = 0;
    return 0;
}
KEZ_SLOT_NAMED(PALExgIrLibPut, PALExgIrLibPut)

// Answers the bytes written; any failure answers 0 bytes with its code in the error out-value.
uint32_t PALExgIrLibSend(ExgSocket*, const void* data, uint32_t length, uint16_t* error) {
    std::lock_guard lock(gIrLock);
    auto failed = [&](uint16_t code) {
        if (error) *error = code;
        return 0u;
    };
    if (!gIr) return failed(kErrNotOpen);
    if (gIr->state != kSpooling) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibSend: Not allowed in this state : %s", StateName(gIr->state));
        return failed(kErrState);
    }
    if (gIr->busy) return failed(kErrState);
    if (error) *error = 0;
    if (!data || length == 0) return 0;
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = write(gIr->spool, static_cast<const uint8_t*>(data) + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            KEZ_CALL(HALTrace, kZone, "PALExgIrLibSend: Unable to write to file stream [%lu] [0x%08lX]",
                     static_cast<unsigned long>(gIr->spool), static_cast<unsigned long>(errno));
            gIr->flags |= 1;
            return failed(static_cast<uint16_t>(errno ? errno : kErrMemory));
        }
        done += static_cast<uint32_t>(n);
    }
    return done;
}
KEZ_SLOT_NAMED(PALExgIrLibSend, PALExgIrLibSend)

uint16_t PALExgIrLibDisconnect(ExgSocket*, uint16_t error) {
    std::lock_guard lock(gIrLock);
    if (!gIr) {
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibDisconnect: IR not initialized");
        return kErrNotOpen;
    }
    if (error == 0 && !(gIr->flags & 1)) {
        if (gIr->state == kSpooling) {
            gIr->busy = 1;
            if (gIr->first && gIr->puts != gIr->first->socket.count) {
                KEZ_CALL(HALTrace, kZone, "PALExgIrLibDisconnect: +++ WARNING +++ object count [%lu] != num object [%lu]",
                         static_cast<unsigned long>(gIr->first->socket.count), static_cast<unsigned long>(gIr->puts));
                for (Object* o = gIr->first; o; o = o->next) o->socket.count = gIr->puts;
            }
            KEZ_CALL(HALTrace, kZone, "PALExgIrLibDisconnect: Close file stream [%lu]",
                     static_cast<unsigned long>(gIr->spool));
            CloseSpool();
            ChangeState(kClosed);
            FreeObjects();
            gIr->busy = 0;
            return 0;
        }
        if (gIr->state == kUnspooling) return 0;
        KEZ_CALL(HALTrace, kZone, "PALExgIrLibDisconnect: Not allowed in this state : %s", StateName(gIr->state));
        return kErrState;
    }
    if (gIr->state == kSpooling) {
        CloseSpool();
        ChangeState(kClosed);
    } else if (gIr->state == kUnspooling) {
        gIr->flags |= 1;
    }
    return error;
}
KEZ_SLOT_NAMED(PALExgIrLibDisconnect, PALExgIrLibDisconnect)

uint16_t PALExgIrLibCloseDialogs() {
    KEZ_CALL(HALTrace, kZone, "PALExgIrLibCloseDialogs()");
    return 0;
}
KEZ_SLOT_NAMED(PALExgIrLibCloseDialogs, PALExgIrLibCloseDialogs)

#define IR_NOT_IMPLEMENTED(name)                                                   \
    uint16_t name() {                                                              \
        sys::ErrDisplayFileLineMsg(kSource, 0, #name " not implemented");          \
        return 0;                                                                  \
    }                                                                              \
    KEZ_SLOT_NAMED(name, name)
IR_NOT_IMPLEMENTED(PALExgIrLibSleep)
IR_NOT_IMPLEMENTED(PALExgIrLibWake)
IR_NOT_IMPLEMENTED(PALExgIrLibHandleEvent)
IR_NOT_IMPLEMENTED(PALExgIrLibAccept)
IR_NOT_IMPLEMENTED(PALExgIrLibConnect)
IR_NOT_IMPLEMENTED(PALExgIrLibGet)
IR_NOT_IMPLEMENTED(PALExgIrLibReceive)
IR_NOT_IMPLEMENTED(PALExgIrLibControl)
IR_NOT_IMPLEMENTED(PALExgIrLibRequest)

}  // namespace

void PrvPALExgIrCloseDialogs() { KEZ_CALL_AS(uint16_t(), PALExgIrLibCloseDialogs); }

}  // namespace kez
