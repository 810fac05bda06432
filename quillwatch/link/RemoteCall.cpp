#include "quillwatch/link/RemoteCall.h"

#include <cstring>

#include "common/BigEndian.h"

namespace quillwatch {

using namespace vantor;

namespace {

// The running length of a request is kept in the D0 field while it is built.
uint32_t Length(const uint8_t* body) { return RpcHead(body).d0; }

void SetHead(uint8_t* body, const RpcBodyHeadType& h) { std::memcpy(body, &h, sizeof h); }

}  // namespace

Status RpcInitRequest(SlkPktHeaderType* header, uint8_t socket, uint8_t* body, uint16_t trap) {
    *header = SlkPktHeaderType{};
    header->dest = header->src = socket;
    RpcBodyHeadType h{dbgPktRemoteCall, 0, trap, rpcHeadSize, 0, 0};
    SetHead(body, h);
    return 0;
}

uint8_t* RpcAddParam(uint8_t* body, const void* data, int16_t size, bool byReference) {
    RpcBodyHeadType h = RpcHead(body);
    if (size < 0 || h.d0 > rpcBodyLimit || size + h.d0 + 4 >= rpcBodyLimit) return nullptr;
    ++h.numParams;
    if (byReference && !data) {
        byReference = false;
        size = 4;
    }
    uint8_t* p = body + h.d0;
    p[0] = byReference ? 1 : 0;
    p[1] = static_cast<uint8_t>(size);
    uint8_t* dataP = p + 2;
    const size_t padded = static_cast<size_t>(size) + (size & 1);
    std::memset(dataP, 0, padded);
    if (data) {
        if (size == 2) {
            uint16_t v;
            std::memcpy(&v, data, 2);
            WriteBE16(dataP, v);
        } else if (size == 4) {
            uint32_t v;
            std::memcpy(&v, data, 4);
            WriteBE32(dataP, v);
        } else if (size) {
            std::memcpy(dataP, data, static_cast<size_t>(size));
        }
    }
    h.d0 += static_cast<uint32_t>(2 + padded);
    SetHead(body, h);
    return dataP;
}

Status RpcExecute(SlkPktHeaderType* header, uint8_t* body, bool noWait) {
    const uint16_t size = static_cast<uint16_t>(Length(body));
    SwapRpcBody(body, size);
    SlkBodyPart parts[] = {{size, body}, {0, nullptr}};
    Status err = SlkSendPacket(header, parts);
    SwapRpcBody(body, size);
    if (err || noWait) return err;

    const uint8_t transId = header->transId;
    if ((err = SlkReceiveReply(header->src, transId, header, body, rpcBodyLimit, rpcReplyTimeoutMs)) != 0)
        return err;
    SwapRpcBody(body, header->bodySize);
    if (body[0] != (dbgPktRemoteCall | dbgReplyFlag)) return slkErrResponse;
    if (header->transId != transId) return slkErrTransId;
    if (header->bodySize != size) return slkErrBodyLimit;
    return 0;
}

}  // namespace quillwatch
