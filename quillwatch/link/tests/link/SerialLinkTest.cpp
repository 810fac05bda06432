// The link manager over an in-memory link: framing on send, the hunt on receive, sockets, and
// the link selector's kinds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/DevSim.h"
#include "common/SerialLinkPacket.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace {

using namespace vantor;
using namespace quillwatch;
using quillwatch::test::TheMemoryLink;
using Bytes = std::vector<uint8_t>;

Bytes Frame(uint8_t dest, uint8_t src, uint8_t tid, const Bytes& body) {
    return quillwatch::test::FramePacket(dest, src, tid, body);
}

void Arrive(const Bytes& bytes) { TheMemoryLink().incoming.insert(TheMemoryLink().incoming.end(), bytes.begin(), bytes.end()); }

struct Received {
    Status err;
    SlkPktHeaderType header;
    Bytes body;
};

Received Receive(uint16_t socket, bool any = false, uint16_t bufSize = 272, int32_t timeout = 50) {
    Received r{};
    r.body.resize(bufSize);
    r.err = SlkReceivePacket(socket, any, &r.header, r.body.data(), bufSize, timeout);
    r.body.resize(r.err ? 0 : r.header.bodySize);
    return r;
}

Status Send(uint8_t dest, uint8_t src, uint8_t* tid, const Bytes& body) {
    SlkPktHeaderType h{};
    h.dest = dest;
    h.src = src;
    h.transId = *tid;
    SlkBodyPart parts[] = {{static_cast<uint16_t>(body.size()), body.data()}, {0, nullptr}};
    Status err = SlkSendPacket(&h, body.empty() ? parts + 1 : parts);
    *tid = h.transId;
    return err;
}

class SerialLink : public testing::Test {
protected:
    void SetUp() override { quillwatch::test::UseMemoryLink(); }
};

TEST_F(SerialLink, SendFramesInStagingChunksAndAssignsIds) {
    Bytes body(272);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i);
    uint8_t tid = 0;
    ASSERT_EQ(Send(0, 1, &tid, body), 0);
    ASSERT_EQ(TheMemoryLink().sent.size(), 2u);
    EXPECT_EQ(TheMemoryLink().sent[0].size(), 252u);
    EXPECT_EQ(TheMemoryLink().sent[1].size(), 32u);
    EXPECT_EQ(TheMemoryLink().SentBytes(), Frame(0, 1, tid, body));

    // Ids run on from the last one, skip 0 after 255, and a given id is kept without counting.
    uint8_t first = 0;
    Send(0, 0, &first, {1});
    uint8_t given = 200;
    Send(0, 0, &given, {1});
    EXPECT_EQ(given, 200);
    uint8_t next = 0;
    Send(0, 0, &next, {1});
    EXPECT_EQ(next, static_cast<uint8_t>(first == 255 ? 1 : first + 1));
    uint8_t id = 0;
    for (int i = 0; i < 300 && id != 255; ++i) {
        id = 0;
        Send(0, 0, &id, {});
    }
    ASSERT_EQ(id, 255);
    id = 0;
    Send(0, 0, &id, {});
    EXPECT_EQ(id, 1);

    uint8_t closed = 0;
    EXPECT_EQ(Send(0, 4, &closed, {1}), slkErrNotOpen);
}

TEST_F(SerialLink, NestedSendIsRefusedAndFailedSendLeavesNothingStaged) {
    Status nested = 0;
    TheMemoryLink().onSend = [&] {
        uint8_t tid = 0;
        nested = Send(0, 0, &tid, {1, 2});
    };
    uint8_t tid = 0;
    EXPECT_EQ(Send(0, 0, &tid, {9}), 0);
    EXPECT_EQ(nested, slkErrBusy);
    TheMemoryLink().onSend = nullptr;

    // A send that fails mid-way (300 bytes: the first 252-byte chunk fails) ...
    TheMemoryLink().sent.clear();
    TheMemoryLink().sendStatus = serErrTimeout;
    tid = 0;
    EXPECT_EQ(Send(0, 0, &tid, Bytes(300, 0x55)), slkErrTimeout);
    // ... and a small packet after it leaves alone, without leftovers.
    TheMemoryLink().sendStatus = 0;
    Bytes small = {1, 2, 3};
    tid = 7;
    EXPECT_EQ(Send(0, 0, &tid, small), 0);
    EXPECT_EQ(TheMemoryLink().SentBytes(), Frame(0, 0, 7, small));
}

TEST_F(SerialLink, HuntFindsPacketsAfterGarbageAndAcceptsRepeatedSignatureBytes) {
    Arrive({0x00, 0xBE, 0x11, 0xEF, 0xED, 0xFF});
    Arrive(Frame(0, 0, 5, {0x81, 0, 0xAA}));
    Received r = Receive(0);
    ASSERT_EQ(r.err, 0);
    EXPECT_EQ(r.header.transId, 5);
    EXPECT_EQ(r.body, (Bytes{0x81, 0, 0xAA}));

    for (Bytes prefix : {Bytes{0xBE, 0xEF, 0xEF}, Bytes{0xBE, 0xBE, 0xEF}}) {
        Bytes p = Frame(0, 0, 6, {0x82, 0});
        p.erase(p.begin(), p.begin() + 2);  // keep ED onwards
        Arrive(prefix);
        Arrive(p);
        EXPECT_EQ(Receive(0).err, 0);
    }
    EXPECT_EQ(Receive(0).err, slkErrTimeout);
}

TEST_F(SerialLink, DamagedPacketsAreRefusedAndTheNextOneIsFound) {
    Bytes badSum = Frame(0, 0, 1, {1, 2});
    badSum[9] ^= 1;
    Arrive(badSum);
    EXPECT_EQ(Receive(0).err, slkErrCRC);

    Bytes badCrc = Frame(0, 0, 2, {1, 2});
    badCrc.back() ^= 1;
    Arrive(badCrc);
    EXPECT_EQ(Receive(0).err, slkErrCRC);

    // A damaged packet flushes the link; a good one that arrives later is taken.
    Arrive(Frame(0, 0, 3, {7}));
    EXPECT_EQ(Receive(0).header.transId, 3);

    // A body larger than the buffer leaves the body on the link; the hunt then passes over it.
    Arrive(Frame(0, 0, 4, Bytes(300, 0)));
    Arrive(Frame(0, 0, 5, {8}));
    EXPECT_EQ(Receive(0, false, 272).err, slkErrBufferSmall);
    Received r = Receive(0);
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.header.transId, 5);
}

TEST_F(SerialLink, PacketsForOtherSocketsWaitOrAreSkipped) {
    // For socket 1 while socket 0 receives: kept pending, taken by socket 1 without waiting.
    Arrive(Frame(1, 1, 9, {0x7F, 0, 'h', 'i'}));
    EXPECT_EQ(Receive(0).err, slkErrOtherSocket);
    EXPECT_TRUE(TheMemoryLink().incoming.size() > 0);
    Received r = Receive(1, false, 272, 0);
    ASSERT_EQ(r.err, 0);
    EXPECT_EQ(r.header.dest, 1);

    // With anySocket the packet is taken by whoever receives.
    Arrive(Frame(2, 2, 10, {13}));
    r = Receive(0, true);
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.header.dest, 2);

    // A header for a closed socket (4) or an impossible one (9) is skipped.
    Arrive(Frame(4, 0, 11, {1}));
    Arrive(Frame(9, 0, 12, {1}));
    Arrive(Frame(0, 0, 13, {1}));
    r = Receive(0);
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.header.transId, 13);

    // A header for a socket on another link is skipped too.
    uint16_t other = 3;
    ASSERT_EQ(SlkOpenSocket(7, &other, true), 0);
    Arrive(Frame(3, 0, 14, {1}));
    Arrive(Frame(0, 0, 15, {1}));
    EXPECT_EQ(Receive(0).header.transId, 15);
    EXPECT_EQ(Receive(9).err, slkErrBadSocket);
    EXPECT_EQ(Receive(5).err, slkErrNotOpen);
}

TEST_F(SerialLink, SocketTable) {
    EXPECT_EQ(SlkOpen(), slkErrInUse);
    EXPECT_TRUE(SlkSocketIsOpen(0));
    uint16_t s = 0;
    EXPECT_EQ(SlkOpenSocket(0, &s, true), slkErrInUse);
    s = 6;
    EXPECT_EQ(SlkOpenSocket(0, &s, true), slkErrBadSocket);
    uint16_t d1 = 0, d2 = 0, d3 = 0;
    EXPECT_EQ(SlkOpenSocket(0, &d1, false), 0);
    EXPECT_EQ(SlkOpenSocket(0, &d2, false), 0);
    EXPECT_EQ(d1, 4);
    EXPECT_EQ(d2, 5);
    EXPECT_EQ(SlkOpenSocket(0, &d3, false), slkErrNoSocket);
    EXPECT_EQ(SlkCloseSocket(4), 0);
    EXPECT_EQ(SlkCloseSocket(4), slkErrNotOpen);
    EXPECT_EQ(SlkFlushSocket(4, 0), slkErrNotOpen);
    EXPECT_EQ(SlkCloseSocket(77), slkErrNotOpen);
}

TEST(LinkSelector, KindsAndStatusTexts) {
    // A kind outside 0-3 does nothing and answers 0.
    ASSERT_EQ(LinkSetKind(4), 0);
    EXPECT_EQ(LinkOpen(0, 0, 0, false), 0);
    Status st4 = 1;
    EXPECT_EQ(LinkSend(0, "x", 1, &st4), 0u);
    EXPECT_EQ(st4, 0);
    EXPECT_EQ(LinkReceiveWait(0, 1, 0), 0);
    EXPECT_EQ(LinkClose(0), 0);
    ASSERT_EQ(LinkSetKind(linkNone), 0);
    EXPECT_EQ(LinkOpen(0, 0, 0, false), 0xFFFF);
    Status st = 1;
    EXPECT_EQ(LinkSend(0, "x", 1, &st), 0u);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(LinkReceiveWait(0, 1, 0), 0xFFFF);
    EXPECT_EQ(LinkGetKind(), linkNone);
    ASSERT_EQ(LinkSetKind(linkUsb), 0);
    EXPECT_EQ(LinkOpen(0, 1, 0, false), serErrTcp);

    EXPECT_EQ(LinkMapTcpError(0), 0);
    EXPECT_EQ(LinkMapTcpError(5), serErrTimeout);
    EXPECT_EQ(LinkMapTcpError(9), 0x0309);
    EXPECT_EQ(LinkMapTcpError(11), serErrTcp);
    EXPECT_STREQ(LinkErrorText(slkErrTimeout), "Serial Link timeout.");
    EXPECT_STREQ(LinkErrorText(serErrTimeout), "timeout.");
    EXPECT_STREQ(LinkErrorText(0), "No error.");
    EXPECT_STREQ(LinkErrorText(serErrTcp), "error code: 030A");
    EXPECT_STREQ(LinkErrorText(slkErrBusy), "error code: 0411");
}

}  // namespace
