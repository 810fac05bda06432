// The link over real TCP to the Python device simulator.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "../support/DevSim.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/TcpTransport.h"

namespace {

using namespace vantor;
using namespace quillwatch;
using quillwatch::test::DevSim;
using quillwatch::test::PatternByte;

// One read-memory exchange on socket 0, as the debugger makes it.
Status ReadBlock(uint32_t address, uint16_t count, std::vector<uint8_t>& out) {
    DbgMemRequestType req{dbgPktReadMem, 0, address, count};
    SwapPacketBody(&req, sizeof req);
    SlkPktHeaderType h{};
    SlkBodyPart parts[] = {{sizeof req, &req}, {0, nullptr}};
    if (Status err = SlkSendPacket(&h, parts)) return err;
    uint8_t body[272];
    SlkPktHeaderType reply;
    if (Status err = SlkReceivePacket(0, false, &reply, body, sizeof body, 1000)) return err;
    SwapPacketBody(body, reply.bodySize);
    if (body[0] != (dbgPktReadMem | dbgReplyFlag) || reply.transId != h.transId || reply.bodySize != count + 2)
        return slkErrResponse;
    out.insert(out.end(), body + 2, body + 2 + count);
    return 0;
}

TEST(TcpLink, ReadsMemoryAndReconnectsAfterTheDeviceRestarts) {
    DevSim sim({"--pattern", "0x10000:0x1000"});
    quillwatch::test::UseTcpLink(sim.port());
    EXPECT_EQ(HostTcpGetState(), tcpConnected);

    std::vector<uint8_t> got;
    ASSERT_EQ(ReadBlock(0x10010, 256, got), 0);
    ASSERT_EQ(ReadBlock(0x10110, 44, got), 0);
    ASSERT_EQ(got.size(), 300u);
    for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(got[i], PatternByte(0x10010 + i)) << i;

    // The device goes away and comes back on the same port: the next send connects afresh.
    sim.Restart();
    got.clear();
    EXPECT_EQ(ReadBlock(0x10000, 16, got), 0);
    ASSERT_EQ(got.size(), 16u);
    EXPECT_EQ(got[15], PatternByte(0x1000F));

    // A receive that finds the connection gone reports a time-out and leaves the link closed.
    sim.Kill();
    uint8_t body[16];
    SlkPktHeaderType h;
    EXPECT_EQ(SlkReceivePacket(0, false, &h, body, sizeof body, 500), slkErrTimeout);
    EXPECT_EQ(HostTcpGetState(), tcpClosed);
}

TEST(TcpLink, OpenWithoutListenerSucceedsAndSendReportsTheRefusal) {
    // A port nobody listens on: bind one, note it, close it.
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);

    LinkSetTransport(linkTcp, nullptr);
    ASSERT_EQ(LinkSetKind(linkTcp), 0);
    LinkClose(0);
    HostTcpSetAddress(0x7F000001, ntohs(a.sin_port));
    EXPECT_EQ(LinkOpen(0, 0, 0, false), 0);
    Status st = 0;
    EXPECT_EQ(LinkSend(0, "x", 1, &st), 0u);
    EXPECT_EQ(st, serErrTimeout);  // connection refused counts as not connected
    EXPECT_EQ(LinkReceiveWait(0, 1, 10), serErrTimeout);
    LinkClose(0);
}

}  // namespace
