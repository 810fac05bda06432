// Serial link packets made by Quillwatch's link manager travel over its TCP transport to the
// emulated board's first UART, arrive byte for byte at the echo ROM and come back as packets.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "common/SerialLinkPacket.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/tests/support/DevSim.h"
#include "tamsk/host/tests/ProgramRunner.h"
#include "tamsk/board/tests/TestPorts.h"

namespace {

using namespace quillwatch;
using tamsk::test::FreePort;

TEST(DebuggerLink, PacketsReachTheBoardAndComeBack) {
    tamsk::test::Program board;
    const uint16_t port = FreePort();
    const std::string rom = board.RomList("echo.aei", {"SRAM:5C020000:echo.bin"});
    board.Start({"-ROM:" + rom, "-SerialPort:127.0.0.1:" + std::to_string(port)});

    // The emulator finds no debugger listening and listens itself; the debugger connects as the
    // client it always is.
    test::UseTcpLink(port);
    vantor::Status status = 0;
    char banner[11];
    for (int attempt = 0; attempt < 500; ++attempt) {
        LinkReceive(0, banner, sizeof banner, 100, &status);
        if (status == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        LinkClose(0);
        LinkOpen(0, 0, 0, false);
        LinkSend(0, "", 0, &status);  // connects
    }
    ASSERT_EQ(status, 0) << "no connection to the emulated UART";
    EXPECT_EQ(std::string(banner, sizeof banner), "UART ready\n");

    // Raw bytes first: a whole packet, signature bytes inside its body, exactly as sent.
    vantor::SlkPktHeaderType h{};
    h.dest = h.src = vantor::slkSocketDebugger;
    h.transId = 0x42;
    const uint8_t tricky[] = {0xBE, 0xEF, 0xED, 0x00, 0xFF, 0x0D, 0x0A, 0x80};
    uint8_t wire[300];
    const size_t n = vantor::SlkEncodePacket(h, tricky, sizeof tricky, wire, sizeof wire);
    ASSERT_EQ(LinkSend(0, wire, uint32_t(n), &status), n);
    uint8_t back[300];
    ASSERT_EQ(LinkReceive(0, back, uint32_t(n), 5000, &status), n);
    EXPECT_EQ(std::memcmp(back, wire, n), 0);

    // Then through the link manager: its packets come back whole, checksum and CRC verified by
    // its own receive path, up to the largest body.
    test::ResetSockets();
    for (uint16_t size : {uint16_t(0), uint16_t(1), uint16_t(8), uint16_t(100), vantor::slkMaxBodySize}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> body(size);
        for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t(i * 37 + size);
        SlkPktHeaderType out{};
        out.dest = out.src = vantor::slkSocketDebugger;
        const SlkBodyPart parts[] = {{size, body.data()}, {0, nullptr}};
        ASSERT_EQ(SlkSendPacket(&out, parts), 0);
        SlkPktHeaderType in{};
        std::vector<uint8_t> got(vantor::slkMaxBodySize);
        ASSERT_EQ(SlkReceivePacket(vantor::slkSocketDebugger, false, &in, got.data(),
                                   uint16_t(got.size()), 5000),
                  0);
        EXPECT_EQ(in.bodySize, size);
        EXPECT_EQ(in.transId, out.transId);
        got.resize(in.bodySize);
        EXPECT_EQ(got, body);
    }
    LinkClose(0);
    board.Stop();
}

}  // namespace
