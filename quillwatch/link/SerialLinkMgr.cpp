#include "quillwatch/link/SerialLinkMgr.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/LinkSelector.h"

namespace quillwatch {

using namespace vantor;

namespace {

constexpr uint16_t kFreeSlot = 255;
constexpr char kSource[] = "SerialLinkMgr";

struct HuntSlot {
    uint16_t refNum = kFreeSlot;
    int8_t pendingDest = -1;  // destination of a header found and not yet read
};

// The link-manager record. The staging buffer lives inside it, so no socket open allocates.
struct SlkGlobalsType {
    uint16_t openCount = 0;
    uint16_t refNum[slkSocketCount] = {};
    uint8_t open[slkSocketCount] = {};
    uint16_t timeout[slkSocketCount] = {};
    HuntSlot hunt[slkSocketCount];
    uint8_t lastTransId = 0;
    uint32_t sendInProgress = 0;
    uint16_t receivedCount = 0;
    uint8_t staging[slkSocketCount] = {};
    uint16_t stagingCount = 0;
    uint8_t stagingBuf[slkStagingSize] = {};
};

SlkGlobalsType g;

// Packets that are not replies, taken off the link while a request cleared stale replies or waited
// for its own: they wait here for their socket's next receive.
struct KeptPacket {
    SlkPktHeaderType header;
    std::vector<uint8_t> body;
};
constexpr size_t kMaxKept = 8;
constexpr uint16_t kKeptBodyLimit = 1024;
std::deque<KeptPacket> gKept;

bool IsReply(const SlkPktHeaderType& header, const void* body) {
    return header.bodySize && (static_cast<const uint8_t*>(body)[0] & dbgReplyFlag);
}

void Keep(const SlkPktHeaderType& header, const void* body) {
    if (gKept.size() >= kMaxKept) gKept.pop_front();
    const auto* p = static_cast<const uint8_t*>(body);
    gKept.push_back(KeptPacket{header, std::vector<uint8_t>(p, p + header.bodySize)});
}

void Assert(uint16_t line, const char* msg) { ErrDisplayFileLineMsg(kSource, line, msg); }

Status MapTimeout(Status err) { return err == serErrTimeout ? slkErrTimeout : err; }

HuntSlot* HuntSlotOf(uint16_t refNum) {
    for (auto& h : g.hunt)
        if (h.refNum == refNum) return &h;
    return nullptr;
}

// Writes bytes of a packet on the socket's link, through the staging buffer when the socket has
// staging on.
Status StageWrite(uint16_t socket, const void* data, uint32_t count) {
    if (count == 0) {
        Assert(__LINE__, "Invalid dataLen");
        return 0;
    }
    const uint16_t refNum = g.refNum[socket];
    Status err = 0;
    if (!g.staging[socket]) {
        LinkSend(refNum, data, count, &err);
        return err;
    }
    if (g.stagingCount >= slkStagingSize) {
        Assert(__LINE__, "BufCount > BufSize");
        g.stagingCount = 0;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    while (count) {
        uint32_t n = std::min<uint32_t>(count, slkStagingSize - g.stagingCount);
        std::memcpy(g.stagingBuf + g.stagingCount, p, n);
        g.stagingCount = static_cast<uint16_t>(g.stagingCount + n);
        p += n;
        count -= n;
        if (g.stagingCount == slkStagingSize) {
            g.stagingCount = 0;
            LinkSend(refNum, g.stagingBuf, slkStagingSize, &err);
            if (err) return err;
        }
    }
    return 0;
}

// Reads exactly count bytes with the socket's time-out.
Status ReadExact(uint16_t socket, void* buffer, uint32_t count) {
    Status err = 0;
    uint32_t n = LinkReceive(g.refNum[socket], buffer, count, g.timeout[socket], &err);
    if (!err && n != count) err = serErrTimeout;
    return err;
}

// Finds the next header signature and destination on the socket's link. Gives up with
// serErrTimeout once the receive's overall time-out has passed, even while bytes keep coming.
Status Hunt(uint16_t socket, HuntSlot& slot, int32_t waitMs, uint32_t start, int32_t overallMs) {
    if (slot.pendingDest != -1) return 0;
    const uint16_t refNum = g.refNum[socket];
    const uint32_t limit = static_cast<uint32_t>(std::max<int32_t>(overallMs, g.timeout[socket]));
    Status err = LinkReceiveWait(refNum, 1, waitMs);
    bool first = false, second = false;
    while (!err) {
        uint8_t b;
        if ((err = ReadExact(socket, &b, 1)) != 0) break;
        if (b == slkPktSignature1) {
            first = true;
        } else if (b == slkPktSignature2 && first) {
            second = true;
        } else if (b == slkPktSignature3 && second) {
            first = second = false;
            uint8_t dest;
            if ((err = ReadExact(socket, &dest, 1)) != 0) break;
            if (dest < slkSocketCount && g.open[dest] && g.refNum[dest] == refNum) {
                slot.pendingDest = static_cast<int8_t>(dest);
                return 0;
            }
        } else {
            first = second = false;
        }
        if (overallMs >= 0 && HostGetTicks() - start > limit) err = serErrTimeout;
    }
    LinkClearError(refNum);
    return err;
}

Status ReceivePacket(uint16_t socket, bool anySocket, SlkPktHeaderType* header, void* body, uint16_t bufSize,
                     int32_t timeoutMs) {
    if (socket >= slkSocketCount) {
        Assert(__LINE__, "Invalid Socket ID");
        return slkErrBadSocket;
    }
    if (!g.open[socket]) return slkErrNotOpen;
    const uint32_t start = HostGetTicks();
    uint32_t tick = start;
    HuntSlot* slot = HuntSlotOf(g.refNum[socket]);
    if (!slot) {
        Assert(__LINE__, "Can't find refNum");
        return slkErrNotOpen;
    }
    int32_t left = timeoutMs;
    while (Status err = Hunt(socket, *slot, left, start, timeoutMs)) {
        if (left < 1) return err;
        uint32_t now = HostGetTicks();
        left -= static_cast<int32_t>(now - tick);
        if (left < 1) return err;
        tick = now;
    }
    const int8_t dest = slot->pendingDest;
    if (dest != static_cast<int8_t>(socket) && !anySocket) return slkErrOtherSocket;

    // The rest of the header.
    uint8_t wire[slkPktHeaderSize] = {slkPktSignature1, slkPktSignature2, slkPktSignature3,
                                      static_cast<uint8_t>(dest)};
    slot->pendingDest = -1;
    Status err = ReadExact(socket, wire + 4, 6);
    if (!err && PrvSlkHeaderChecksum(wire) != wire[9]) err = slkErrCRC;
    if (err) {
        SlkFlushSocket(socket, 0);
        return err;
    }
    *header = SlkHeaderFromWire(wire);

    // Body and CRC.
    if (header->bodySize > bufSize) return slkErrBufferSmall;
    uint8_t crcBytes[slkPktFooterSize];
    if (header->bodySize) err = ReadExact(socket, body, header->bodySize);
    if (!err) err = ReadExact(socket, crcBytes, sizeof crcBytes);
    if (!err) {
        uint16_t crc = Crc16CalcBlock(wire, sizeof wire, 0);
        crc = Crc16CalcBlock(body, header->bodySize, crc);
        if (crc != ReadBE16(crcBytes)) err = slkErrCRC;
    }
    if (err) {
        SlkFlushSocket(socket, 0);
        return err;
    }
    ++g.receivedCount;
    return 0;
}

Status SendPacket(SlkPktHeaderType* header, const SlkBodyPart* parts) {
    const uint8_t src = header->src;
    if (src >= slkSocketCount || !g.open[src]) return slkErrNotOpen;
    uint32_t bodySize = 0;
    for (const SlkBodyPart* p = parts; p && p->size; ++p) {
        if (!p->data) return slkErrFormat;
        bodySize += p->size;
    }
    if (bodySize > 0xFFFF) return slkErrBodyLimit;

    header->signature1 = slkPktSignature12;
    header->signature2 = slkPktSignature3;
    header->bodySize = static_cast<uint16_t>(bodySize);
    if (header->transId == 0) {
        g.lastTransId = static_cast<uint8_t>(g.lastTransId == 255 ? 1 : g.lastTransId + 1);
        header->transId = g.lastTransId;
    }
    uint8_t wire[slkPktHeaderSize];
    SlkHeaderToWire(*header, wire);
    header->checksum = wire[9] = PrvSlkHeaderChecksum(wire);

    // Bytes staged by an earlier send that failed belong to no packet.
    g.stagingCount = 0;
    Status err = StageWrite(src, wire, sizeof wire);
    uint16_t crc = Crc16CalcBlock(wire, sizeof wire, 0);
    for (const SlkBodyPart* p = parts; !err && p && p->size; ++p) {
        err = StageWrite(src, p->data, p->size);
        crc = Crc16CalcBlock(p->data, p->size, crc);
    }
    if (!err) {
        uint8_t crcBytes[slkPktFooterSize];
        WriteBE16(crcBytes, crc);
        err = StageWrite(src, crcBytes, sizeof crcBytes);
    }
    if (!err && g.stagingCount) LinkSend(g.refNum[src], g.stagingBuf, g.stagingCount, &err);
    g.stagingCount = 0;
    if (!err) err = LinkSendWait(g.refNum[src], -1);
    return err;
}

}  // namespace

Status SlkOpen() {
    if (g.openCount != 0) {
        ++g.openCount;
        return slkErrInUse;
    }
    g = SlkGlobalsType{};
    gKept.clear();
    g.openCount = 1;
    return 0;
}

Status SlkOpenSocket(uint16_t linkRefNum, uint16_t* socket, bool isStatic) {
    Status err = 0;
    uint16_t id = 0;
    if (isStatic) {
        id = *socket;
        if (id >= slkSocketCount) err = slkErrBadSocket;
        else if (g.open[id]) err = slkErrInUse;
    } else {
        err = slkErrNoSocket;
        for (id = 4; id < slkSocketCount; ++id) {
            if (!g.open[id]) {
                err = 0;
                break;
            }
        }
    }
    if (err) {
        Assert(__LINE__, "Error from OpenSocket");
        return err;
    }
    *socket = id;
    g.refNum[id] = linkRefNum;
    g.open[id] = 1;
    g.timeout[id] = slkSocketTimeoutMs;
    g.staging[id] = 1;
    if (!HuntSlotOf(linkRefNum)) {
        HuntSlot* free = HuntSlotOf(kFreeSlot);
        if (free) *free = HuntSlot{linkRefNum, -1};
    }
    return 0;
}

Status SlkCloseSocket(uint16_t socket) {
    if (socket >= slkSocketCount || !g.open[socket]) return slkErrNotOpen;
    const uint16_t refNum = g.refNum[socket];
    g.open[socket] = 0;
    g.refNum[socket] = 0;
    std::erase_if(gKept, [&](const KeptPacket& k) { return k.header.dest == socket; });
    for (int i = 0; i < slkSocketCount; ++i)
        if (g.open[i] && g.refNum[i] == refNum) return 0;
    if (HuntSlot* slot = HuntSlotOf(refNum)) *slot = HuntSlot{};
    return 0;
}

Status SlkFlushSocket(uint16_t socket, int32_t timeoutMs) {
    if (socket >= slkSocketCount || !g.open[socket]) return slkErrNotOpen;
    LinkReceiveFlush(g.refNum[socket], timeoutMs);
    if (HuntSlot* slot = HuntSlotOf(g.refNum[socket])) slot->pendingDest = -1;
    return 0;
}

Status SlkSendPacket(SlkPktHeaderType* header, const SlkBodyPart* parts) {
    if (g.sendInProgress) return slkErrBusy;
    struct Busy {
        Busy() { g.sendInProgress = 1; }
        ~Busy() { g.sendInProgress = 0; }
    } busy;
    return MapTimeout(SendPacket(header, parts));
}

Status SlkFlushReplies(uint16_t socket) {
    if (socket >= slkSocketCount || !g.open[socket]) return slkErrNotOpen;
    const uint16_t refNum = g.refNum[socket];
    HuntSlot* slot = HuntSlotOf(refNum);
    uint8_t body[kKeptBodyLimit];
    // Whole packets already on the link, a bounded number of them; what is left is not a packet.
    for (int i = 0; i < 16; ++i) {
        if ((!slot || slot->pendingDest == -1) && LinkReceiveWait(refNum, 1, 0) != 0) return 0;
        SlkPktHeaderType header{};
        if (ReceivePacket(socket, true, &header, body, sizeof body, 0) != 0) break;
        if (!IsReply(header, body)) Keep(header, body);
    }
    return SlkFlushSocket(socket, 0);
}

Status SlkReceivePacket(uint16_t socket, bool anySocket, SlkPktHeaderType* header, void* body, uint16_t bufSize,
                        int32_t timeoutMs) {
    if (socket < slkSocketCount && g.open[socket]) {
        for (auto k = gKept.begin(); k != gKept.end(); ++k) {
            if (k->header.dest != socket && !(anySocket && k->header.dest < slkSocketCount &&
                                              g.open[k->header.dest] && g.refNum[k->header.dest] == g.refNum[socket]))
                continue;
            if (k->body.size() > bufSize) return slkErrBufferSmall;
            *header = k->header;
            if (!k->body.empty()) std::memcpy(body, k->body.data(), k->body.size());
            gKept.erase(k);
            return 0;
        }
    }
    return MapTimeout(ReceivePacket(socket, anySocket, header, body, bufSize, timeoutMs));
}

Status SlkReceiveReply(uint16_t socket, uint8_t transId, SlkPktHeaderType* header, void* body, uint16_t bufSize,
                       int32_t timeoutMs) {
    const uint32_t start = HostGetTicks();
    for (;;) {
        const int32_t spent = static_cast<int32_t>(HostGetTicks() - start);
        const int32_t left = timeoutMs < 0 ? timeoutMs : std::max<int32_t>(timeoutMs - spent, 0);
        if (Status err = ReceivePacket(socket, false, header, body, bufSize, left)) return MapTimeout(err);
        if (header->transId == transId || IsReply(*header, body)) return 0;
        if (header->bodySize <= kKeptBodyLimit) Keep(*header, body);
        if (timeoutMs >= 0 && spent >= timeoutMs) return slkErrTimeout;
    }
}

uint16_t SlkReceivedCount() { return g.receivedCount; }

bool SlkSocketIsOpen(uint16_t socket) { return socket < slkSocketCount && g.open[socket]; }

const char* LinkErrorText(uint16_t code) {
    switch (code) {
        case 0x0000: return "No error.";
        case serErrInvalidParam: return "Invalid parameter.";
        case serErrOpenFailed: return "Could not open port.";
        case serErrNoMemory: return "Out of memory.";
        case serErrBadRefNum: return "Invalid serial reference number.";
        case serErrTimeout: return "timeout.";
        case serErrLine: return "Serial line error.";
        case slkErrCRC: return "invalid packet CRC.";
        case slkErrFormat: return "Invalid packet format.";
        case slkErrBufferSmall: return "Buffer is too small.";
        case slkErrTimeout: return "Serial Link timeout.";
        case slkErrBodyLimit: return "Packet body size exceeds limit.";
        case slkErrTransId: return "Unexpected transaction id.";
        default: break;
    }
    static char text[32];
    std::snprintf(text, sizeof text, "error code: %04X", unsigned{code});
    return text;
}

}  // namespace quillwatch
