// Requests to the device's debugger nub on socket 0. Every request is checked in one order: send
// status, receive status, reply command (request | 0x80), transaction id.
#include "quillwatch/engine/debugger/RemoteCommands.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cstring>

#include "common/DebuggerPackets.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

namespace {

constexpr uint16_t kReplyBufferSize = 272;

// The console messages of one kind of request.
struct RequestTexts {
    const char* sendError;     // followed by the link error text
    const char* receiveError;  // followed by the link error text
    const char* badCommand;
    const char* badTransId;
};

// Sends one request on socket 0 and receives its reply into `reply` (converted to host order).
// Returns 0, or 1 after printing the message of the failed check.
uint16_t PrvRequest(DbgContextType* ctx, const RequestTexts& texts, const SlkBodyPart* parts, void* reply,
                    uint16_t replySize, int32_t timeoutMs, uint16_t* replyBodySize = nullptr) {
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

}  // namespace

uint16_t CmdReadRemoteMem(uint32_t address, void* destination, DbgContextType* ctx, uint32_t count) {
    if (count == 0) return 0;
    if (ctx->readMemHack) return PrvReadOwnMemory(ctx, address, destination, count);
    auto* out = static_cast<uint8_t*>(destination);
    while (count > 0) {
        auto block = static_cast<uint16_t>(count < vantor::dbgMaxMemBlock ? count : vantor::dbgMaxMemBlock);
        vantor::DbgMemRequestType request{vantor::dbgCmdReadMem, 0, address, block};
        vantor::SwapMemRequest(&request);
        SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
        uint8_t reply[kReplyBufferSize];
        uint16_t replySize = 0;
        if (PrvRequest(ctx, kReadTexts, parts, reply, sizeof reply, 1000, &replySize)) return 1;
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

uint16_t CmdWriteRemoteRegisters(DbgContextType* ctx, const DbgRegisterBlock* regs) {
    SlkFlushSocket(vantor::slkSocketDebugger, 0);
    vantor::DbgWriteRegsRequestType request{};
    request.command = vantor::dbgCmdWriteRegs;
    DbgRegistersToWire(*regs, &request.regs);
    vantor::SwapWriteRegsRequest(&request);
    SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
    uint8_t reply[2];
    return PrvRequest(ctx, kWriteRegsTexts, parts, reply, sizeof reply, 1000);
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
    vantor::DbgRtnNameRequestType request{vantor::dbgCmdRtnName, 0, address};
    vantor::SwapAddressBody(&request, sizeof request);
    SlkBodyPart parts[] = {{sizeof request, &request}, {0, nullptr}};
    vantor::DbgRtnNameResponseType reply{};
    uint16_t size = 0;
    if (PrvRequest(ctx, kRtnNameTexts, parts, &reply, sizeof reply, 2000, &size)) return 1;
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

}  // namespace quillwatch
