// What the transport puts on its sockets: exact-length reads and writes that wait with select and
// poll the cancel check, frames and their gather lists, streams, the transport's own replies, the
// tickles, and the setup exchange at the end of connection phase 2.
#include <cstring>

#include "brontel/BrontelInternal.h"
#include "brontel/TrelUtil.h"
#include "common/BigEndian.h"

namespace brontel {
namespace {

namespace sys = vantor::sys;

constexpr uint32_t kMaxPiece = 0x7FFF;
constexpr uint32_t kStreamPiece = 1024;
constexpr uint16_t kArgTag = 0x20;

uint16_t Width() {
    const int16_t m = gBrontel->conSock > gBrontel->ctlSock ? gBrontel->conSock : gBrontel->ctlSock;
    return static_cast<uint16_t>(m + 1);
}

// Reads `count` bytes from the stream socket. Into `buffer` (with the record receive when
// `record`), or, with a consumer, through the fixed buffer in pieces of at most 1024 bytes.
Status ReceiveBytes(uint8_t* buffer, bool record, uint32_t count, int16_t waitSeconds, bool frameStart,
                    BrontelConsumer consumer = nullptr, void* consumerContext = nullptr) {
    BrontelGlobals* g = gBrontel;
    if (count == 0) return 0;
    Status status = trelErrTimeout;
    int32_t wait = Ticks(waitSeconds);
    uint32_t received = 0;
    while (received < count) {
        const uint32_t remaining = count - received;
        const uint32_t piece = remaining < kMaxPiece ? remaining : kMaxPiece;
        int32_t result = -1;
        const uint32_t start = Now();
        do {
            if (BrontelCheckCancel(g)) return trelErrCancelled;
            sys::EvtResetAutoOffTimer();
            uint32_t read = net::Bit(g->conSock) | net::Bit(g->ctlSock);
            Status err = 0;
            int16_t n = net::Select(Width(), &read, nullptr, nullptr, Ticks(2), &err);
            if (n < 0) {
                Report(__LINE__, "SockraSelect failed in ReceiveBytes");
                read = 0;
            }
            if (n > 0 && (read & net::Bit(g->conSock))) {
                if (consumer) {
                    const uint16_t len = static_cast<uint16_t>(piece < kStreamPiece ? piece : kStreamPiece);
                    result = net::Receive(g->conSock, g->buffer, len, 0, nullptr, nullptr, Ticks(2), &status);
                    if (result > 0 && status == 0) {
                        uint32_t word = 0;
                        status = consumer(consumerContext, g->buffer, static_cast<uint32_t>(result), &word);
                        if (status) return status;
                    }
                } else if (record) {
                    result = net::DmReceive(g->conSock, buffer, received, static_cast<uint16_t>(piece), Ticks(2),
                                            &status);
                } else {
                    result = net::Receive(g->conSock, buffer + received, static_cast<uint16_t>(piece), 0, nullptr,
                                          nullptr, Ticks(2), &status);
                }
                if (result > 0) {
                    received += static_cast<uint32_t>(result);
                    wait = Ticks(g->dataWait);
                }
            }
            if (n > 0 && (read & net::Bit(g->ctlSock))) {
                if (BrontelDrainTickles() && frameStart && received == 0) return trelErrBadFrame;
            }
            if (result >= 0) break;
        } while (Within(start, wait));
        if (result <= 0) return result < 0 && received == 0 ? trelErrTimeout : trelErrDisconnected;
    }
    return status;
}

// Reads and drops a payload that nobody can take.
Status BrontelDrainPayload(uint32_t length) {
    BrontelGlobals* g = gBrontel;
    while (length) {
        const uint32_t piece = length < kFixedBufferSize ? length : kFixedBufferSize;
        Status err = ReceiveBytes(g->buffer, false, piece, g->dataWait, false);
        if (err) return err == trelErrTimeout ? trelErrDisconnected : err;
        length -= piece;
    }
    return 0;
}

Status BrontelSendNoMemory(uint8_t requestId) {
    uint8_t notice[6] = {0x28, requestId, 0, 0, 0, 0};
    return SendBytes(notice, sizeof notice);
}

void* BrontelPayloadAlloc(uint32_t length, uint8_t* kind) {
    BrontelGlobals* g = gBrontel;
    *kind = 0;
    if (!g->allocProc) return nullptr;
    BrontelKeepAliveHold(true);
    void* handle = reinterpret_cast<BrontelAllocProc>(static_cast<uintptr_t>(g->allocProc))(g->allocContext, length,
                                                                                           kind);
    BrontelKeepAliveHold(false);
    return handle;
}

Status BrontelReceiveFrame(BrontelReceivedRequest* out) {
    BrontelGlobals* g = gBrontel;
    *out = {};
    if (Status err = ReceiveBytes(g->header, false, 6, 2, true)) return err;
    const uint8_t kind = g->header[0] & 0x0F;
    if (kind == 4) return trelErrDisconnected;
    if (kind != 1) return trelErrBadFrame;
    const uint8_t requestId = g->header[1];
    const uint32_t length = vantor::ReadBE32(g->header + 2);
    void* handle = nullptr;
    uint8_t* data = g->buffer;
    uint8_t bufferKind = 1;
    if (length > kFixedBufferSize) {
        handle = BrontelPayloadAlloc(length, &bufferKind);
        data = handle ? static_cast<uint8_t*>(sys::MemHandleLock(handle)) : nullptr;
        if (!data) {
            Status err = BrontelDrainPayload(length);
            Status err2 = err ? 0 : BrontelSendNoMemory(requestId);
            ++g->counters.memoryErrors;
            if (handle) sys::MemHandleFree(handle);
            return err ? err : err2 ? err2 : trelErrMemory;
        }
    }
    Status err = ReceiveBytes(data, bufferKind == 3 && handle, length, g->dataWait, false);
    if (err) {
        if (handle) sys::MemChunkFree(data);
        return err == trelErrTimeout ? trelErrDisconnected : err;
    }
    if (handle) sys::MemPtrUnlock(data);
    out->requestId = requestId;
    out->length = length;
    out->data = handle ? handle : g->buffer;
    out->kind = handle ? bufferKind : 1;
    return 0;
}

// Copies the part of the padded concatenation of the segments that starts at `offset`, at most
// `room` bytes; returns the bytes written.
uint32_t BrontelSegmentCopy(uint8_t* destination, uint16_t count, const BrontelSegment* list, uint64_t offset,
                            uint32_t room) {
    uint64_t position = 0;
    uint32_t written = 0;
    for (uint16_t i = 0; i < count && written < room; ++i) {
        const BrontelSegment& s = list[i];
        if (s.pad && (position & 1)) {
            if (position >= offset) destination[written++] = 0;
            ++position;
            if (written == room) break;
        }
        const uint64_t end = position + s.length;
        if (end > offset) {
            const uint64_t from = offset > position ? offset - position : 0;
            uint64_t n = s.length - from;
            if (n > room - written) n = room - written;
            if (n) std::memcpy(destination + written, static_cast<const uint8_t*>(s.data) + from, n);
            written += static_cast<uint32_t>(n);
        }
        position = end;
    }
    return written;
}

Status BrontelSendFramed(const BrontelRequestBlock* block) {
    BrontelGlobals* g = gBrontel;
    if (!block) return trelErrParam;
    const uint32_t total = BrontelSegmentSize(g->refNum, block->count, block->segments);
    if (total > g->maxRequestSize) return trelErrTooLarge;
    g->buffer[0] = 1;
    g->buffer[1] = static_cast<uint8_t>(block->requestId);
    vantor::WriteBE32(g->buffer + 2, total);
    uint32_t fill = 6;
    uint64_t sent = 0;
    do {
        uint32_t n = 0;
        if (sent < total) {
            n = BrontelSegmentCopy(g->buffer + fill, block->count, block->segments, sent, kFixedBufferSize - fill);
            if (n == 0 || n > total) {
                Report(__LINE__, "invalid TREL segment");
                return trelErrParam;
            }
        }
        if (Status err = SendBytes(g->buffer, fill + n)) return err;
        sent += n;
        fill = 0;
    } while (sent < total);
    if (sent != total) Report(__LINE__, "bad offset");
    return 0;
}

Status BrontelSendReply(uint8_t command, uint8_t requestId, uint16_t status, const void* data, uint32_t length) {
    uint8_t header[8] = {static_cast<uint8_t>(command | 0x80), 1, 0, 0, 0, 0, 0, 0};
    vantor::WriteBE16(header + 2, status);
    uint8_t arg[6];
    TrelUtilArgHeaderPut(arg, kArgTag, length);
    const BrontelSegment segments[3] = {{header, 8, 0}, {arg, 6, 1}, {data, length, 0}};
    const BrontelRequestBlock block{requestId, segments, 3};
    return BrontelSendRequest(gBrontel->refNum, &block);
}

Status BrontelSendShortReply(uint8_t command, uint8_t requestId, uint8_t status) {
    const uint8_t reply[8] = {static_cast<uint8_t>(command | 0x80), 0, status, 0, 0, 0, 0, 0};
    const BrontelSegment segment{reply, 8, 0};
    const BrontelRequestBlock block{requestId, &segment, 1};
    return BrontelSendRequest(gBrontel->refNum, &block);
}

// The argument tagged 0x20 of a command payload, when it has the expected length.
bool CommandArgument(const uint8_t* payload, uint32_t length, uint32_t wanted, const uint8_t** data) {
    *data = nullptr;
    if (length < 8) return false;
    uint32_t found = 0;
    return TrelUtilArgListParse(payload + 8, length - 8, payload[1], kArgTag, data, &found) && *data &&
           found == wanted;
}

void OpenControl(const uint8_t* arg) {
    BrontelGlobals* g = gBrontel;
    std::memcpy(&g->hostCtlAddr, arg + 16, 4);
    std::memcpy(&g->hostCtlPort, arg + 20, 2);
    g->localCtlAddr = 0;
    g->localCtlPort = 0;
    if (!g->hostCtlAddr || !g->hostCtlPort) return;
    Status err = 0;
    sockra::NetSocketAddrINType local{};
    int16_t length = sizeof local;
    if (net::SocketAddr(g->conSock, &local, &length, nullptr, nullptr, -1, &err) < 0) {
        Report(__LINE__, "SockAddr failed on conSock");
    }
    sockra::NetSocketAddrINType bind{sockra::netSocketAddrINET, 0, local.addr};
    if (net::SocketBind(g->ctlSock, &bind, sizeof bind, -1, &err) < 0) Report(__LINE__, "bind failed on ctlSock");
    sockra::NetSocketAddrINType host{sockra::netSocketAddrINET, g->hostCtlPort, g->hostCtlAddr};
    if (net::SocketConnect(g->ctlSock, &host, sizeof host, -1, &err) < 0) Report(__LINE__, "connect failed on ctlSock");
    length = sizeof local;
    if (net::SocketAddr(g->ctlSock, &local, &length, nullptr, nullptr, -1, &err) < 0) {
        Report(__LINE__, "SockAddr failed on ctlSock");
    } else {
        g->localCtlAddr = local.addr;
        g->localCtlPort = local.port;
    }
}

// Runs one command of the setup exchange. True when the setup goes on; `result` gets its status
// when it ends.
bool BrontelTransportCommand(const BrontelReceivedRequest& request, Status* result) {
    BrontelGlobals* g = gBrontel;
    const uint8_t* payload = static_cast<const uint8_t*>(request.data);
    void* handle = request.kind == 1 ? nullptr : request.data;
    if (handle) payload = static_cast<const uint8_t*>(sys::MemHandleLock(handle));
    // An empty payload names no command: it is answered as an unknown one.
    const uint8_t command = payload && request.length ? payload[0] : 0;
    const uint8_t id = static_cast<uint8_t>(request.requestId);
    const uint8_t* arg = nullptr;
    bool goesOn = true;
    switch (command) {
        case 17: {
            const bool ok = payload && CommandArgument(payload, request.length, 6, &arg);
            BrontelSendShortReply(command, id, ok ? 0 : 4);
            *result = trelErrSetupEnded;
            goesOn = false;
            break;
        }
        case 18:
            if (!payload || !CommandArgument(payload, request.length, 36, &arg)) {
                BrontelSendShortReply(command, id, 4);
                break;
            }
            OpenControl(arg);
            {
                uint8_t reply[36] = {};
                const uint32_t all = 0xFFFFFFFF, a = 0x40000000, b = 0x02000000;
                std::memcpy(reply, &all, 4);
                std::memcpy(reply + 4, &g->commandWait, 2);
                std::memcpy(reply + 6, &g->dataWait, 2);
                std::memcpy(reply + 8, &a, 4);
                std::memcpy(reply + 12, &b, 4);
                std::memcpy(reply + 16, &g->localCtlAddr, 4);
                std::memcpy(reply + 20, &g->localCtlPort, 2);
                BrontelSendReply(command, id, 0, reply, sizeof reply);
            }
            break;
        case 19: {
            uint8_t status = 4;
            if (payload && CommandArgument(payload, request.length, 32, &arg)) {
                uint16_t commandWait, dataWait;
                std::memcpy(&g->maxRequestSize, arg, 4);
                std::memcpy(&commandWait, arg + 4, 2);
                std::memcpy(&dataWait, arg + 6, 2);
                if (commandWait) g->commandWait = static_cast<int16_t>(commandWait);
                if (dataWait) g->dataWait = static_cast<int16_t>(dataWait);
                status = 0;
            }
            *result = BrontelSendShortReply(command, id, status);
            goesOn = false;
            break;
        }
        default: BrontelSendShortReply(command, id, 2); break;
    }
    if (handle) sys::MemChunkFree(const_cast<uint8_t*>(payload));
    return goesOn;
}

// Sends the stream's pieces, each with its own header, from the producer.
Status BrontelSendPieces(BrontelStreamOut* stream) {
    BrontelGlobals* g = gBrontel;
    Status status = trelErrTimeout;
    uint32_t position = 0;
    while (position < stream->total) {
        uint32_t piece = stream->total - position;
        if (piece > kStreamPiece) piece = kStreamPiece;
        uint8_t header[6] = {1, static_cast<uint8_t>(stream->block->requestId), 0, 0, 0, 0};
        vantor::WriteBE32(header + 2, piece);
        if ((status = SendBytes(header, 6))) return status;
        uint32_t produced = 0;
        if ((status = stream->producer(stream->context, g->buffer, piece, &produced))) return status;
        if (produced > piece) produced = piece;
        if ((status = SendBytes(g->buffer, produced))) return status;
        if (produced == 0) return trelErrParam;
        position += produced;
    }
    return status;
}

Status BrontelReceivePieces(BrontelStreamIn* stream) {
    BrontelGlobals* g = gBrontel;
    if (Status err = ReceiveBytes(g->header, false, 6, 20, true)) return err;
    stream->requestId = g->header[1];
    return ReceiveBytes(g->buffer, false, stream->length, 2, true, stream->consumer, stream->context);
}

}  // namespace

Status SendBytes(const uint8_t* buffer, uint32_t count) {
    BrontelGlobals* g = gBrontel;
    uint32_t sent = 0;
    while (sent < count) {
        const uint32_t remaining = count - sent;
        const uint16_t piece = static_cast<uint16_t>(remaining < kMaxPiece ? remaining : kMaxPiece);
        int16_t result = 0;
        uint32_t start = Now();
        do {
            Status err = 0;
            result = net::Send(g->conSock, buffer + sent, piece, 0, nullptr, 0, Ticks(2), &err);
            if (BrontelCheckCancel(g)) return trelErrCancelled;
            if (result > 0) {
                sent += static_cast<uint32_t>(result);
                break;
            }
            if (result == 0 || err != sockra::netErrTimeout) break;
            uint32_t read = net::Bit(g->ctlSock), write = net::Bit(g->conSock);
            if (net::Select(Width(), &read, &write, nullptr, Ticks(2), &err) < 0)
                Report(__LINE__, "SockraSelect failed in SendBytes");
            else if ((read & net::Bit(g->ctlSock)) && BrontelDrainTickles())
                start = Now();
        } while (Within(start, Ticks(g->dataWait)));
        if (result <= 0) return trelErrDisconnected;
    }
    return 0;
}

bool BrontelDrainTickles() {
    BrontelGlobals* g = gBrontel;
    bool seen = false;
    for (;;) {
        Status err = 0;
        int16_t n = net::Receive(g->ctlSock, g->tickle, 4, 0, nullptr, nullptr, Ticks(1) / 2, &err);
        if (n < 1) break;
        if (n == 4 && vantor::ReadBE16(g->tickle) == 0xFACE && (g->tickle[2] & 0x0F) == 2) {
            ++g->counters.ticklesReceived;
            seen = true;
        }
    }
    return seen;
}

uint32_t BrontelSegmentSize(uint16_t, uint16_t count, const BrontelSegment* segments) {
    if (!segments) return 0;
    uint64_t total = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (segments[i].pad) total = (total + 1) & ~uint64_t{1};
        total += segments[i].length;
    }
    // Sizes past 32 bits cannot be framed: the largest value refuses them against any maximum.
    return total > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(total);
}

Status BrontelReceiveRequest(uint16_t, BrontelReceivedRequest* out) {
    BrontelGlobals* g = gBrontel;
    if (!out) return trelErrParam;
    *out = {};
    if (!g || g->disconnected) return trelErrDisconnected;
    BrontelKeepAliveHold(false);
    Status result;
    uint32_t start = Now();
    for (;;) {
        if (BrontelCheckCancel(g)) {
            result = trelErrCancelled;
            break;
        }
        result = BrontelReceiveFrame(out);
        if (result == 0) {
            ++g->counters.commandsReceived;
            break;
        }
        if (result == trelErrMemory || result == trelErrBadFrame) {
            start = Now();
            continue;
        }
        if (result == trelErrDisconnected || result == trelErrCancelled) break;
        if (!Within(start, Ticks(g->commandWait))) {
            result = trelErrDisconnected;
            break;
        }
    }
    if (result == trelErrDisconnected) g->disconnected = 1;
    BrontelKeepAliveHold(true);
    return result;
}

Status BrontelSendRequest(uint16_t, const BrontelRequestBlock* block) {
    BrontelGlobals* g = gBrontel;
    if (!g || g->disconnected) return trelErrDisconnected;
    BrontelKeepAliveHold(false);
    Status result = BrontelSendFramed(block);
    if (result == trelErrDisconnected) g->disconnected = 1;
    BrontelKeepAliveHold(true);
    return result;
}

Status BrontelSendStream(uint16_t, BrontelStreamOut* stream) {
    BrontelGlobals* g = gBrontel;
    if (!g || g->disconnected) return trelErrDisconnected;
    if (!stream || !stream->producer || !stream->block) return trelErrParam;
    BrontelKeepAliveHold(false);
    Status result = BrontelSendFramed(stream->block);
    if (!result) result = BrontelSendPieces(stream);
    if (result == trelErrDisconnected) g->disconnected = 1;
    BrontelKeepAliveHold(true);
    return result;
}

Status BrontelReceiveStream(uint16_t, BrontelStreamIn* stream) {
    BrontelGlobals* g = gBrontel;
    if (!g || g->disconnected) return trelErrDisconnected;
    if (!stream || !stream->consumer || !stream->block) return trelErrParam;
    BrontelKeepAliveHold(false);
    Status result = BrontelSendFramed(stream->block);
    if (!result) result = BrontelReceivePieces(stream);
    if (result == trelErrDisconnected) g->disconnected = 1;
    BrontelKeepAliveHold(true);
    return result;
}

Status BrontelHandshake() {
    BrontelGlobals* g = gBrontel;
    const uint8_t hello[8] = {2, 0, 0, 0, 0, 0, 0, 0};
    Status result = BrontelSendReply(16, 255, 0, hello, sizeof hello);
    while (!result) {
        BrontelReceivedRequest request{};
        result = BrontelReceiveRequest(g->refNum, &request);
        if (result) break;
        if (!BrontelTransportCommand(request, &result)) break;
    }
    return result == trelErrTimeout ? trelErrDisconnected : result;
}

}  // namespace brontel
