// Requests to the device's debugger nub on socket 0. Every request is checked in one order: send
// status, receive status, reply command (request | 0x80), transaction id.
#include "quillwatch/engine/debugger/RemoteCommands.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cstring>

#include "common/DebuggerPackets.h"
#include "quillwatch/engine/lang/CmdFormat.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

namespace {

constexpr uint16_t kReplyBufferSize = 272;

constexpr RequestTexts kStateTexts{
    "CmdGetRemoteState: error in SlkSendPacket = ", "CmdGetRemoteState: error in SlkReceivePacket = ",
    "CmdGetRemoteState error:  invalid response command.",
    "CmdGetRemoteState error:  invalid response transaction id."};
constexpr RequestTexts kReadTexts{
    "CmdReadRemoteMem: error in SlkSendPacket = ", "CmdReadRemoteMem: error in SlkReceivePacket = ",
    "CmdReadRemoteMem error:  invalid response command.",
    "CmdReadRemoteMem error:  invalid response transaction id."};
constexpr RequestTexts kWriteRegsTexts{"CmdWriteRemoteRegisters: error in SlkSendPacket = ",
                                       "CmdWriteRemoteRegisters: error in SlkReceivePacket = ",
                                       "CmdWriteRemoteRegisters error:  invalid response command.",
                                       "CmdWriteRemoteRegisters error:  invalid response transaction id."};
constexpr RequestTexts kRtnNameTexts{
    "CmdGetRemoteRtnName: error in SlkSendPacket = ", "CmdGetRemoteRtnName: error in SlkReceivePacket = ",
    "CmdGetRemoteRtnName error:  invalid response command.",
    "CmdGetRemoteRtnName error:  invalid response transaction id."};

// ReadMemHack: the debugger's own memory at the address, read through the kernel so that an
// address that is not mapped fails instead of crashing the debugger.
uint16_t PrvReadOwnMemory(DbgContextType* ctx, uint32_t address, void* destination, uint32_t count) {
    iovec local{destination, count};
    iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(address)), count};
    ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (n != static_cast<ssize_t>(count)) {
        DbgPrintf(ctx, "CmdReadRemoteMem error:  host memory at %08X is not readable.\n", address);
        return 1;
    }
    return 0;
}

// The read cache: two windows of 256 bytes; a window answers reads within its first 252 bytes.
struct ReadWindow {
    uint32_t start;
    bool valid;
    uint8_t bytes[256];
};
constexpr uint32_t kWindowAnswers = 252;
ReadWindow gWindows[2];
uint16_t gNextWindow = 0;

bool PrvWindowHolds(const ReadWindow& w, uint32_t address, uint32_t count) {
    return w.valid && address >= w.start && uint64_t{address} + count <= uint64_t{w.start} + kWindowAnswers;
}

}  // namespace

// Sends one request on socket 0 and receives its reply into `reply` (converted to host order).
// Returns 0, or 1 after printing the message of the failed check.
uint16_t CmdRequest(DbgContextType* ctx, const RequestTexts& texts, const SlkBodyPart* parts, void* reply,
                    uint16_t replySize, int32_t timeoutMs, uint16_t* replyBodySize) {
    const auto command = static_cast<uint8_t>(*static_cast<const uint8_t*>(parts[0].data));
    SlkPktHeaderType header{};
    header.dest = vantor::slkSocketDebugger;
    header.src = vantor::slkSocketDebugger;
    if (Status err = SlkSendPacket(&header, parts)) {
        DbgPrintf(ctx, "%s%s\n", texts.sendError, LinkErrorText(err));
        return 1;
    }
    SlkPktHeaderType replyHeader{};
    if (Status err =
            SlkReceivePacket(vantor::slkSocketDebugger, false, &replyHeader, reply, replySize, timeoutMs)) {
        DbgPrintf(ctx, "%s%s\n", texts.receiveError, LinkErrorText(err));
        return 1;
    }
    auto* body = static_cast<uint8_t*>(reply);
    if (replyHeader.bodySize == 0 || body[0] != (command | vantor::dbgReplyFlag)) {
        DbgPrintf(ctx, "%s\n", texts.badCommand);
        return 1;
    }
    vantor::SwapPacketBody(reply, replyHeader.bodySize);
    if (replyHeader.transId != header.transId) {
        DbgPrintf(ctx, "%s\n", texts.badTransId);
        return 1;
    }
    if (replyBodySize) *replyBodySize = replyHeader.bodySize;
    return 0;
}


uint16_t CmdGetRemoteState(DbgContextType* ctx, vantor::DbgStateType* state, uint16_t* size, bool noWait) {
    SlkFlushSocket(vantor::slkSocketDebugger, 0);
    const uint8_t request[2] = {vantor::dbgPktState, 0};
    SlkBodyPart parts[] = {{sizeof request, request}, {0, nullptr}};
    if (noWait) {
        SlkPktHeaderType header{};
        header.dest = vantor::slkSocketDebugger;
        header.src = vantor::slkSocketDebugger;
        if (Status err = SlkSendPacket(&header, parts)) {
            DbgPrintf(ctx, "%s%s\n", kStateTexts.sendError, LinkErrorText(err));
            return 1;
        }
        return 0;
    }
    std::memset(state, 0, sizeof *state);
    return CmdRequest(ctx, kStateTexts, parts, state, sizeof *state, 1000, size);
}

uint16_t CmdGetStateAndReport(DbgContextType* ctx, bool noWait, bool quiet) {
    vantor::DbgStateType state;
    uint16_t size = 0;
    if (uint16_t err = CmdGetRemoteState(ctx, &state, &size, noWait)) return err;
    if (noWait) return 0;
    return CmdHandleStop(ctx, &state, size, quiet);
}

uint16_t CmdReadRemoteMem(uint32_t address, void* destination, DbgContextType* ctx, uint32_t count) {
    if (count == 0) return 0;
    if (ctx->readMemHack) return PrvReadOwnMemory(ctx, address, destination, count);
    auto* out = static_cast<uint8_t*>(destination);
    while (count > 0) {
        auto block = static_cast<uint16_t>(count < vantor::dbgMaxMemBlock ? count : vantor::dbgMaxMemBlock);
        vantor::DbgMemRequestType request{vantor::dbgPktReadMem, 0, address, block};
        vantor::SwapMemRequest(&request);
        SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
        uint8_t reply[kReplyBufferSize];
        uint16_t replySize = 0;
        if (CmdRequest(ctx, kReadTexts, parts, reply, sizeof reply, 1000, &replySize)) return 1;
        // A reply that does not hold the whole block is refused rather than padded with stale bytes.
        if (replySize < 2 + block) {
            DbgPrint(ctx, "CmdReadRemoteMem error:  invalid response size.\n");
            return 1;
        }
        std::memcpy(out, reply + 2, block);
        out += block;
        address += block;
        count -= block;
    }
    return 0;
}

uint16_t PrvReadRemoteMemCached(DbgContextType* ctx, void* destination, uint32_t address, uint32_t count,
                                bool useCache, bool centre) {
    if (!useCache || count > kWindowAnswers) return CmdReadRemoteMem(address, destination, ctx, count);
    for (const ReadWindow& w : gWindows) {
        if (PrvWindowHolds(w, address, count)) {
            std::memcpy(destination, w.bytes + (address - w.start), count);
            return 0;
        }
    }
    if (count >= 129) return CmdReadRemoteMem(address, destination, ctx, count);

    // Fill a window at the address, or centred 128 bytes before it (not below address 0).
    uint32_t start = address;
    if (centre && count < 64) start = address >= 128 ? address - 128 : 0;
    start &= ~3u;
    ReadWindow& w = gWindows[gNextWindow];
    gNextWindow = gNextWindow == 0 ? 1 : 0;
    w.valid = false;
    w.start = start;
    if (uint16_t err = CmdReadRemoteMem(start, w.bytes, ctx, sizeof w.bytes)) return err;
    w.valid = true;
    for (const ReadWindow& hit : gWindows) {
        if (PrvWindowHolds(hit, address, count)) {
            std::memcpy(destination, hit.bytes + (address - hit.start), count);
            return 0;
        }
    }
    // Near the top of the address space no window holds the range: read it directly.
    return CmdReadRemoteMem(address, destination, ctx, count);
}

uint16_t CmdReadRemoteMemCached(DbgContextType* ctx, void* destination, uint32_t address, uint32_t count,
                                bool useCache) {
    return PrvReadRemoteMemCached(ctx, destination, address, count, useCache, false);
}

void CmdFlushReadCache() {
    gWindows[0].valid = false;
    gWindows[1].valid = false;
}

uint16_t CmdWriteRemoteMem(DbgContextType* ctx, uint32_t address, const void* source, uint32_t count) {
    CmdFlushReadCache();
    const auto* in = static_cast<const uint8_t*>(source);
    while (count > 0) {
        auto block = static_cast<uint16_t>(count < vantor::dbgMaxMemBlock ? count : vantor::dbgMaxMemBlock);
        vantor::DbgMemRequestType request{vantor::dbgPktWriteMem, 0, address, block};
        vantor::SwapMemRequest(&request);
        SlkBodyPart parts[] = {{sizeof request, &request}, {block, in}, {0, nullptr}};
        // Each failure of the block sends it again; the fourth ends the write with its message.
        for (int failures = 0;;) {
            if (failures > 0) {
                DbgPrint(ctx, " retry CmdWriteRemoteMem \n");
                SlkFlushSocket(vantor::slkSocketDebugger, 0);
            }
            SlkPktHeaderType header{};
            header.dest = vantor::slkSocketDebugger;
            header.src = vantor::slkSocketDebugger;
            if (Status err = SlkSendPacket(&header, parts)) {
                if (++failures < 4) continue;
                DbgPrintf(ctx, "CmdWriteRemoteMem: error in SlkSendPacket = %s\n", LinkErrorText(err));
                return 1;
            }
            uint8_t reply[2] = {};
            SlkPktHeaderType replyHeader{};
            Status err =
                SlkReceivePacket(vantor::slkSocketDebugger, false, &replyHeader, reply, sizeof reply, 1000);
            const char* message = nullptr;
            if (err) {
                message = "CmdWriteRemoteMem:  error in SlkReceivePacket = ";
            } else if (replyHeader.bodySize == 0 ||
                       reply[0] != (vantor::dbgPktWriteMem | vantor::dbgReplyFlag)) {
                message = "CmdWriteRemoteMem error: invalid response command.";
            } else if (replyHeader.transId != header.transId) {
                message = "CmdWriteRemoteMem error:  invalid response transaction id.";
            }
            if (!message) break;
            if (++failures < 4) continue;
            DbgPrintf(ctx, "%s%s\n", message, err ? LinkErrorText(err) : "");
            return 1;
        }
        in += block;
        address += block;
        count -= block;
    }
    return 0;
}

uint16_t CmdWriteRemoteRegisters(DbgContextType* ctx, const DbgRegisterBlock* regs) {
    SlkFlushSocket(vantor::slkSocketDebugger, 0);
    vantor::DbgWriteRegsRequestType request{};
    request.command = vantor::dbgPktWriteRegs;
    DbgRegistersToWire(*regs, &request.regs);
    vantor::SwapWriteRegsRequest(&request);
    SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
    uint8_t reply[2];
    return CmdRequest(ctx, kWriteRegsTexts, parts, reply, sizeof reply, 1000);
}

uint16_t CmdGetRemoteRtnName(DbgContextType* ctx, uint32_t address, uint32_t* start, uint32_t* end,
                             char* name) {
    *start = 0;
    *end = 0;
    name[0] = '\0';
    if (address & 1) {
        DbgPrint(ctx, "CmdGetRemoteRtnName error: ILLEGAL ADDRESS\n");
        return 1;
    }
    vantor::DbgRtnNameRequestType request{vantor::dbgPktRtnName, 0, address};
    vantor::SwapAddressBody(&request, sizeof request);
    SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
    vantor::DbgRtnNameResponseType reply{};
    uint16_t size = 0;
    if (CmdRequest(ctx, kRtnNameTexts, parts, &reply, sizeof reply, 2000, &size)) return 1;
    if (size != sizeof reply) {
        DbgPrint(ctx, "CmdGetRemoteRtnName error:  invalid response size.\n");
        return 1;
    }
    *start = reply.startAddr;
    *end = reply.endAddr;
    std::memcpy(name, reply.name, 31);
    name[31] = '\0';
    return 0;
}

int CmdUpdateRoutine(DbgContextType* ctx, uint32_t address) {
    uint32_t start, end;
    char name[32];
    if (CmdGetRemoteRtnName(ctx, address, &start, &end, name) != 0) return -1;
    if (address < start || address >= end) return -1;
    if (start == ctx->routineStart && end == ctx->routineEnd && std::strcmp(name, ctx->routineName) == 0)
        return 0;
    ctx->routineStart = start;
    ctx->routineEnd = end;
    std::memcpy(ctx->routineName, name, sizeof name);
    return 1;
}

uint16_t CmdFindRemote(DbgContextType* ctx, const uint8_t* pattern, uint16_t length, uint32_t first,
                       uint32_t count, bool findAll, bool caseInsensitive, uint32_t* next) {
    if (count < length || uint64_t{first} + count - length > 0xFFFFFFFFu) {
        DbgPrint(ctx, "Address range wraps around or is too small for search pattern size.\n");
        return 1;
    }
    const uint64_t lastStart = uint64_t{first} + count - length;
    uint64_t start = first;
    bool foundAny = false;
    while (start <= lastStart) {
        uint64_t pieceEnd = start + 4999 < lastStart ? start + 4999 : lastStart;
        vantor::DbgFindRequestType request{vantor::dbgPktFind,
                                           0,
                                           static_cast<uint32_t>(start),
                                           static_cast<uint32_t>(pieceEnd),
                                           length,
                                           static_cast<uint8_t>(caseInsensitive ? 1 : 0),
                                           0};
        vantor::SwapFindRequest(&request);
        SlkBodyPart parts[] = {{sizeof request, &request}, {length, pattern}, {0, nullptr}};
        SlkPktHeaderType header{};
        header.dest = vantor::slkSocketDebugger;
        header.src = vantor::slkSocketDebugger;
        vantor::DbgFindResponseType reply{};
        SlkPktHeaderType replyHeader{};
        Status err = SlkSendPacket(&header, parts);
        if (!err)
            err =
                SlkReceivePacket(vantor::slkSocketDebugger, false, &replyHeader, &reply, sizeof reply, 5000);
        if (err) {
            DbgPrintf(ctx, "%s\n", LinkErrorText(err));
            return 1;
        }
        if (replyHeader.bodySize < sizeof reply ||
            reply.command != (vantor::dbgPktFind | vantor::dbgReplyFlag) ||
            replyHeader.transId != header.transId) {
            DbgPrint(ctx, "Invalid response packet.\n");
            return 1;
        }
        vantor::SwapPacketBody(&reply, sizeof reply);
        if (reply.found) {
            foundAny = true;
            char prefix[32];
            std::snprintf(prefix, sizeof prefix, "%s %08X   ;", "dm", reply.address);
            DbgPrint(ctx, prefix);
            uint8_t line[16];
            if (CmdReadRemoteMem(reply.address, line, ctx, sizeof line) == 0)
                CmdHexDump(ctx, reply.address, line, 16);
            start = uint64_t{reply.address} + length;
            if (!findAll) break;
        } else {
            start = pieceEnd + 1;
        }
    }
    *next = static_cast<uint32_t>(start);
    if (!foundAny) DbgPrintf(ctx, ";Not found (%08X-%08X).\n", first, first + count - 1);
    return 0;
}

uint16_t CmdSendSimpleCmdPacket(DbgContextType* ctx, const char* text) {
    const uint8_t head[2] = {vantor::dbgPktMessage, 0};
    size_t length = std::strlen(text) + 1;
    SlkBodyPart parts[] = {
        {sizeof head, head}, {static_cast<uint16_t>(length > 0xFFFF ? 0xFFFF : length), text}, {0, nullptr}};
    SlkPktHeaderType header{};
    header.dest = vantor::slkSocketDebugger;
    header.src = vantor::slkSocketDebugger;
    if (Status err = SlkSendPacket(&header, parts)) {
        DbgPrintf(ctx, "CmdSendSimpleCmdPacket: error in SlkSendPacket = %s\n", LinkErrorText(err));
        return 1;
    }
    return 0;
}

uint16_t CmdSetRemoteSerialSettings(DbgContextType* ctx, const uint32_t* baud, const bool* handshake,
                                    uint8_t socket) {
    if (socket == vantor::slkSocketDebugger && !ctx->attached) {
        DbgPrint(ctx, "Warning: Can not change baud rate of device because it's not attached.\n");
        return 0xFFFF;
    }
    SlkFlushSocket(socket, 0);
    vantor::DbgSerialSettingsRequestType request{vantor::dbgPktSerialSettings, 0, {0, 0}, 0, 0};
    vantor::SwapSerialSettingsRequest(&request);
    SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
    SlkPktHeaderType header{};
    header.dest = socket;
    header.src = socket;
    if (Status err = SlkSendPacket(&header, parts)) ErrThrow(err);
    vantor::DbgSerialSettingsResponseType reply{};
    SlkPktHeaderType replyHeader{};
    if (Status err = SlkReceivePacket(socket, false, &replyHeader, &reply, sizeof reply, 1000)) ErrThrow(err);
    if (replyHeader.bodySize < sizeof reply ||
        reply.command != (vantor::dbgPktSerialSettings | vantor::dbgReplyFlag)) {
        ErrThrow(vantor::slkErrResponse);
    }
    if (replyHeader.transId != header.transId) ErrThrow(vantor::slkErrTransId);
    vantor::SwapSerialSettingsResponse(&reply);

    request = vantor::DbgSerialSettingsRequestType{vantor::dbgPktSerialSettings, 1, {0, 0}, 0, 0};
    request.baud = baud ? *baud : reply.baud;
    request.flags = reply.flags;
    if (handshake) request.flags = *handshake ? (request.flags | 0x10u) : (request.flags & ~0x10u);
    vantor::SwapSerialSettingsRequest(&request);
    header = SlkPktHeaderType{};
    header.dest = socket;
    header.src = socket;
    if (Status err = SlkSendPacket(&header, parts)) ErrThrow(err);
    SlkFlushSocket(socket, 500);
    return 0;
}

uint32_t CmdCurrentA7(DbgContextType* /*ctx*/, const DbgRegisterBlock* regs) {
    return (regs->sr & kSRSupervisor) ? regs->ssp : regs->usp;
}

int CmdProcessorMode(DbgContextType* /*ctx*/, const DbgRegisterBlock* regs) {
    return (regs->sr & kSRSupervisor) ? 3 : 1;
}

}  // namespace quillwatch
