// Building remote-call bodies and checking replies, over an in-memory link.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "../support/DevSim.h"
#include "common/BigEndian.h"
#include "quillwatch/link/RemoteCall.h"

namespace {

using namespace vantor;
using namespace quillwatch;
using quillwatch::test::TheMemoryLink;

uint32_t Length(const uint8_t* body) { return RpcHead(body).d0; }

TEST(RemoteCall, ParametersTakeTheirPlaceAndTheLimitHolds) {
    SlkPktHeaderType h;
    uint8_t body[rpcBodyLimit];
    RpcInitRequest(&h, 1, body, 0xA27B);
    EXPECT_EQ(h.dest, 1);
    EXPECT_EQ(h.src, 1);
    EXPECT_EQ(h.transId, 0);
    EXPECT_EQ(Length(body), 14u);
    uint16_t two = 0x1234;
    uint8_t* p = RpcAddParam(body, &two, 2, false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Length(body), 18u);
    EXPECT_EQ(p - body, 16);
    EXPECT_EQ(ReadBE16(p), 0x1234);
    uint8_t one = 0x7F;
    p = RpcAddParam(body, &one, 1, true);
    EXPECT_EQ(Length(body), 22u);  // flag, size, value, pad
    EXPECT_EQ(p[-2], 1);
    EXPECT_EQ(p[-1], 1);
    EXPECT_EQ(p[1], 0);
    p = RpcAddParam(body, nullptr, 2, true);  // an empty reference: 4 zero bytes by value
    EXPECT_EQ(p[-2], 0);
    EXPECT_EQ(p[-1], 4);
    EXPECT_EQ(ReadBE32(p), 0u);
    EXPECT_EQ(RpcHead(body).numParams, 3);
    char name[32] = "MemoDB";
    EXPECT_NE(RpcAddParam(body, name, 32, true), nullptr);

    RpcInitRequest(&h, 1, body, 0xA27B);
    std::vector<uint8_t> big(256);
    EXPECT_EQ(RpcAddParam(body, big.data(), 256, false), nullptr);  // 256 + 14 + 4 >= 272
    EXPECT_NE(RpcAddParam(body, big.data(), 253, false), nullptr);  // 253 + 14 + 4 = 271
    EXPECT_EQ(RpcAddParam(body, big.data(), 0, false), nullptr);    // the body is full
    EXPECT_EQ(RpcAddParam(body, big.data(), -1, false), nullptr);
    EXPECT_EQ(RpcHead(body).numParams, 1);
}

// Answers each request with the request's own body changed by `edit`, as socket 1 to socket 1.
void AnswerWith(std::function<void(std::vector<uint8_t>& reply, uint8_t& transId)> edit) {
    TheMemoryLink().respond = [edit] {
        auto& link = TheMemoryLink();
        std::vector<uint8_t> wire = link.sent.back();
        link.sent.clear();
        uint8_t transId = wire[8];
        std::vector<uint8_t> body(wire.begin() + 10, wire.end() - 2);
        body[0] = 0x8A;
        edit(body, transId);
        auto frame = quillwatch::test::FramePacket(1, 1, transId, body);
        link.incoming.insert(link.incoming.end(), frame.begin(), frame.end());
    };
}

Status Call(uint8_t* body, SlkPktHeaderType& h, bool noWait = false) {
    RpcInitRequest(&h, 1, body, 0xA27B);
    uint32_t v = 0x11223344;
    RpcAddParam(body, &v, 4, true);
    return RpcExecute(&h, body, noWait);
}

TEST(RemoteCall, RepliesAreCheckedForCommandIdAndSize) {
    quillwatch::test::UseMemoryLink();
    uint8_t body[rpcBodyLimit];
    SlkPktHeaderType h;

    AnswerWith([](std::vector<uint8_t>& b, uint8_t&) {
        WriteBE32(b.data() + 4, 0x00000C02);  // D0
        WriteBE32(b.data() + 8, 0x00001000);  // A0
        WriteBE32(b.data() + 16, 0x55667788);  // the by-reference value comes back changed
    });
    ASSERT_EQ(Call(body, h), 0);
    EXPECT_EQ(RpcHead(body).d0, 0x0C02u);
    EXPECT_EQ(RpcHead(body).a0, 0x1000u);
    EXPECT_EQ(RpcHead(body).trap, 0xA27B);
    EXPECT_EQ(ReadBE32(body + 16), 0x55667788u);

    AnswerWith([](std::vector<uint8_t>&, uint8_t& id) { ++id; });
    EXPECT_EQ(Call(body, h), slkErrTransId);
    AnswerWith([](std::vector<uint8_t>& b, uint8_t&) { b.push_back(0); });
    EXPECT_EQ(Call(body, h), slkErrBodyLimit);
    AnswerWith([](std::vector<uint8_t>& b, uint8_t&) { b[0] = 0x81; });
    EXPECT_EQ(Call(body, h), slkErrResponse);
    AnswerWith([](std::vector<uint8_t>& b, uint8_t&) { b.resize(1); });  // a reply cut short
    EXPECT_EQ(Call(body, h), slkErrBodyLimit);

    // Without waiting nothing is read: the reply stays on the link.
    AnswerWith([](std::vector<uint8_t>&, uint8_t&) {});
    EXPECT_EQ(Call(body, h, true), 0);
    EXPECT_FALSE(TheMemoryLink().incoming.empty());
    TheMemoryLink().respond = nullptr;
}

}  // namespace
