#include "quillwatch/link/RemoteMemory.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

using namespace vantor;

namespace {

struct RemoteCacheLine {
    uint8_t valid;
    uint32_t base;    // a multiple of 256
    uint32_t length;  // readable bytes from the base, 1 to 256
    uint8_t data[remoteCacheLineSize];
    uint64_t stamp;  // order of the last use; the least recently used line is replaced
};

RemoteCacheLine gCache[remoteCacheLines];
int32_t gHold = 0;
uint64_t gUseCounter = 0;

constexpr uint16_t kReplyBuffer = 272;

struct Hold {
    Hold() { RemoteCacheHold(true); }
    ~Hold() { RemoteCacheHold(false); }
};

SlkPktHeaderType RequestHeader() {
    SlkPktHeaderType h{};
    h.dest = h.src = HostLinkSocket();
    return h;
}

RemoteCacheLine& FillLine(uint32_t address) {
    const uint32_t base = address & ~(remoteCacheLineSize - 1);
    RemoteCacheLine* line = nullptr;
    for (auto& l : gCache) {
        if (!l.valid) {
            line = &l;
            break;
        }
    }
    if (!line) {
        line = &gCache[0];
        for (auto& l : gCache)
            if (l.stamp < line->stamp) line = &l;
    }
    line->valid = 0;
    uint32_t length = HwrMemReadable(base);
    if (length == 0 || length > remoteCacheLineSize) length = remoteCacheLineSize;
    RemoteReadMem(base, length, line->data);
    line->base = base;
    line->length = length;
    line->valid = 1;
    return *line;
}

}  // namespace

void RemoteCacheHold(bool hold) { gHold += hold ? 1 : -1; }

void RemoteCacheClear() {
    if (gHold > 0) return;
    std::memset(gCache, 0, sizeof gCache);
}

Status RemoteLinkCheck() {
    const uint8_t socket = HostLinkSocket();
    SlkFlushReplies(socket);
    DbgMemRequestType req{dbgPktReadMem, 0, 0, 1};
    SwapMemRequest(&req);
    SlkPktHeaderType h = RequestHeader();
    SlkBodyPart parts[] = {{sizeof req, &req}, {0, nullptr}};
    if (Status err = SlkSendPacket(&h, parts)) return err;
    uint8_t body[kReplyBuffer];
    SlkPktHeaderType reply;
    if (Status err = SlkReceiveReply(socket, h.transId, &reply, body, sizeof body, 500)) return err;
    SwapPacketBody(body, reply.bodySize);
    if (reply.transId != h.transId || reply.bodySize != 3) return slkErrResponse;
    if (body[0] != (dbgPktReadMem | dbgReplyFlag)) return slkErrResponse;
    return 0;
}

Status RemoteReadMem(uint32_t address, uint32_t count, void* destination) {
    const uint8_t socket = HostLinkSocket();
    auto* out = static_cast<uint8_t*>(destination);
    SlkFlushReplies(socket);
    while (count) {
        const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(count, dbgMaxMemBlock));
        DbgMemRequestType req{dbgPktReadMem, 0, address, n};
        SwapMemRequest(&req);
        SlkPktHeaderType h = RequestHeader();
        SlkBodyPart parts[] = {{sizeof req, &req}, {0, nullptr}};
        if (Status err = SlkSendPacket(&h, parts)) ErrThrow(err);
        uint8_t body[kReplyBuffer];
        SlkPktHeaderType reply;
        if (Status err = SlkReceiveReply(socket, h.transId, &reply, body, sizeof body, 1000)) ErrThrow(err);
        SwapPacketBody(body, reply.bodySize);
        if (reply.transId != h.transId || reply.bodySize != n + 2 || body[0] != (dbgPktReadMem | dbgReplyFlag))
            ErrThrow(slkErrResponse);
        std::memcpy(out, body + 2, n);
        out += n;
        address += n;
        count -= n;
    }
    return 0;
}

void RemoteWriteMem(const void* source, uint32_t address, uint32_t count) {
    RemoteCacheClear();
    const uint8_t socket = HostLinkSocket();
    const auto* in = static_cast<const uint8_t*>(source);
    SlkFlushReplies(socket);
    while (count) {
        const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(count, dbgMaxMemBlock));
        DbgMemRequestType req{dbgPktWriteMem, 0, address, n};
        SwapMemRequest(&req);
        SlkPktHeaderType h = RequestHeader();
        SlkBodyPart parts[] = {{sizeof req, &req}, {n, in}, {0, nullptr}};
        if (Status err = SlkSendPacket(&h, parts)) ErrThrow(err);
        uint8_t body[kReplyBuffer];
        SlkPktHeaderType reply;
        if (Status err = SlkReceiveReply(socket, h.transId, &reply, body, sizeof body, 2000)) ErrThrow(err);
        if (reply.bodySize < 1 || body[0] != (dbgPktWriteMem | dbgReplyFlag) || reply.transId != h.transId)
            ErrThrow(slkErrResponse);
        in += n;
        address += n;
        count -= n;
    }
}

Status RemoteReadCached(void* destination, uint32_t address, uint32_t count) {
    Hold hold;
    if (count >= remoteCacheBypass) return RemoteReadMem(address, count, destination);
    auto* out = static_cast<uint8_t*>(destination);
    while (count) {
        RemoteCacheLine* line = nullptr;
        for (auto& l : gCache) {
            if (l.valid && l.base <= address && address - l.base < remoteCacheLineSize) {
                line = &l;
                break;
            }
        }
        if (!line) line = &FillLine(address);
        line->stamp = ++gUseCounter;
        const uint32_t offset = address - line->base;
        const uint32_t wanted = std::min(remoteCacheLineSize - offset, count);
        // Only the bytes the line holds were read from the device.
        const uint32_t held = offset < line->length ? line->length - offset : 0;
        std::memcpy(out, line->data + offset, std::min(wanted, held));
        if (held < wanted) return slkErrResponse;
        out += wanted;
        address += wanted;
        count -= wanted;
    }
    return 0;
}

void RemoteWriteCached(uint32_t address, const void* source, uint32_t count) {
    RemoteCacheClear();
    RemoteWriteMem(source, address, count);
}

uint32_t RemoteReadLong(uint32_t address) {
    uint8_t b[4];
    if (Status err = RemoteReadCached(b, address, 4)) ErrThrow(err);
    return ReadBE32(b);
}

uint32_t RemoteCacheValidLines() {
    return static_cast<uint32_t>(std::count_if(std::begin(gCache), std::end(gCache), [](auto& l) { return l.valid; }));
}

bool RemoteCacheHolds(uint32_t address) {
    for (auto& l : gCache)
        if (l.valid && l.base <= address && address - l.base < l.length) return true;
    return false;
}

}  // namespace quillwatch
