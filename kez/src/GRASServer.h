// The remote-access server: its wire header, session records, operation table and the routines
// that the operations share with the server.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/module/KezDraw.h"

namespace kez {

constexpr uint16_t kGRASPort = 34130;
constexpr uint32_t kGRASMaxSessions = 4;
constexpr uint32_t kGRASOperationCount = 29;
// The most request data the server takes in one command; a longer command ends the session.
constexpr uint32_t kGRASMaxRequest = 1 << 20;

constexpr uint16_t GRASErrFailed = 0xF301;
constexpr uint16_t GRASErrUnknownOpcode = 0xF302;
constexpr uint16_t GRASErrNoSession = 0xF303;
constexpr uint16_t GRASErrSessionTypeMismatch = 0xF304;
constexpr uint16_t GRASErrInvalidParam = 0xF305;
constexpr uint16_t GRASErrSessionRejected = 0xF306;

constexpr uint32_t kGRASSessionFree = 0xFFFFFFFF;
constexpr uint32_t kGRASSessionAccepted = 0xFFFFFFFE;

// The command and reply header on the wire, in the host's byte order.
struct GRASCommandHeader {
    uint32_t length;
    uint16_t opcode;
    uint16_t version;
    uint32_t status;
};
static_assert(sizeof(GRASCommandHeader) == 12);
static_assert(offsetof(GRASCommandHeader, opcode) == 4);
static_assert(offsetof(GRASCommandHeader, status) == 8);

struct GRASSession;
using GRASPostReply = void (*)(GRASSession* session);

struct GRASSession {
    uint32_t type;
    int32_t socket;
    volatile uint32_t stop;
    uint32_t shutdownRequested;
    pthread_t thread;
    bool hasThread;
    GRASCommandHeader header;
    uint32_t capacity;
    uint8_t* data;  // the request, then the reply; one byte more than the length, zero
    GRASPostReply postReply;
};

using GRASHandler = uint16_t (*)(GRASSession* session);
struct GRASOperation {
    uint32_t opcode;
    GRASHandler handler;
    uint32_t lockMode;  // 0 none, 1 write, 2 read
};
extern GRASOperation gGRASOperationsTable[kGRASOperationCount];

// Sets the data buffer to `n` bytes (zeroed, with one terminating byte more) and the header's
// length to n; false when it cannot be allocated (the buffer is then empty).
bool PrvGRASSetBuffer(GRASSession* session, uint32_t n);
// Under the server's lock: whether the end of this session ends the process; unless `keepCount`,
// the session is no longer counted.
uint32_t prv_check_shutdown(uint32_t keepCount);
// Waits up to one second for HALGRASAppSwitched; the creator, or 0.
uint32_t PrvWaitForAppSwitch();
void PrvGRASSetSwitchPending();
// Serves one connection in the calling thread as a session would, without the server's
// bookkeeping or the end of the process (the fuzz target's entry).
void PrvGRASServeConnection(int socket);
// The number of sessions counted as active.
uint32_t PrvGRASActiveSessions();
// Clears the host's remote-launch flag.
void PrvGRASClearRemoteLaunch();
// The XPM image of an application icon: the last bitmap of a native bitmap family (`size` bytes,
// checked) drawn centred on a 32 x 32 picture of depth 8 with the screen's colours; a table of
// u32 offsets (the values line, the colours, the rows) and the strings they point at. 0, 0xF301
// for a family that cannot be drawn, 0xFFFF when the image cannot be written.
uint16_t PrvGRASIconToXPM(const void* family, uint32_t size, std::vector<uint8_t>* xpm);
// Writes an indexed bitmap with a colour table as XPM strings (two characters a pixel) into
// `buffer`, headed by one u32 offset per string; a corner mark is stamped on pictures of 12 x 13
// and more. 0, or 0xFFFF for a bitmap it cannot write or a buffer too small.
uint16_t BitmapTypeToXPM(const vantor::HALBitmap* bitmap, uint8_t* buffer, uint32_t size);
// Post-reply actions of reset and exit.
void GRASServer_reset_post(GRASSession* session);
void GRASServer_exit_post(GRASSession* session);

}  // namespace kez
