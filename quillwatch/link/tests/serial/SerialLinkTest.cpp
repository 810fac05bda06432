// The serial transport against real things: a pty pair made by socat for a serial port (its line
// settings read back with stty), and Unix sockets for the emulator's pipe, both joined by socat to
// the Python device simulator.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "../support/DevSim.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/SerialLinkMgr.h"
#include "quillwatch/link/SerialTransport.h"
#include "standin/win32/Debugging.h"

namespace quillwatch::test {
uint32_t KernelOutputSpeed(const char* path);
}

namespace {

using namespace vantor;
using namespace quillwatch;
using quillwatch::test::CommandOutput;
using quillwatch::test::DevSim;
using quillwatch::test::PatternByte;
using quillwatch::test::Socat;
using quillwatch::test::TempDir;

// One read-memory exchange on socket 0, as the debugger makes it.
Status ReadBlock(uint32_t address, uint16_t count, std::vector<uint8_t>& out) {
    DbgMemRequestType req{dbgPktReadMem, 0, address, count};
    SwapPacketBody(&req, sizeof req);
    SlkPktHeaderType h{};
    SlkBodyPart parts[] = {{sizeof req, &req}, {0, nullptr}};
    if (Status err = SlkSendPacket(&h, parts)) return err;
    uint8_t body[272];
    SlkPktHeaderType reply;
    if (Status err = SlkReceivePacket(0, false, &reply, body, sizeof body, 2000)) return err;
    SwapPacketBody(body, reply.bodySize);
    if (body[0] != (dbgPktReadMem | dbgReplyFlag) || reply.transId != h.transId || reply.bodySize != count + 2)
        return slkErrResponse;
    out.insert(out.end(), body + 2, body + 2 + count);
    return 0;
}

// Reads 300 bytes in two requests and checks them against the simulator's pattern.
void ExpectMemoryRead() {
    quillwatch::test::ResetSockets();
    std::vector<uint8_t> got;
    ASSERT_EQ(ReadBlock(0x10010, 256, got), 0);
    ASSERT_EQ(ReadBlock(0x10110, 44, got), 0);
    ASSERT_EQ(got.size(), 300u);
    for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(got[i], PatternByte(0x10010 + i)) << i;
}

std::string Stty(const std::string& path) { return " " + CommandOutput("stty -F '" + path + "' -a") + " "; }

// True when stty's output holds the word (blank- or line-separated).
bool Has(const std::string& stty, const std::string& word) {
    for (const char* before : {" ", "\n"})
        for (const char* after : {" ", "\n", ";"})
            if (stty.find(before + word + after) != std::string::npos) return true;
    return false;
}

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override {
        LinkSetTransport(linkSerial, nullptr);
        ASSERT_EQ(LinkSetKind(linkSerial), 0);
        HostSerSetPipePath((dir.path() + "/Emulator_Debugger").c_str());
        HostSerSetPortPath(1, (dir.path() + "/com1").c_str());
        win32::headless::ClearDebugOutput();
    }
    void TearDown() override {
        if (HostSerFd() >= 0 || opened) LinkClose(0);
        HostSerSetPortPath(1, nullptr);
    }
    TempDir dir;
    DevSim sim{{"--pattern", "0x10000:0x1000"}};
    bool opened = false;
};

TEST_F(SerialLink, PortCarriesPacketsWithTheLineSettingsAsked) {
    const std::string com1 = dir.path() + "/com1";
    Socat pty("PTY,link=" + com1 + ",rawer", "TCP:127.0.0.1:" + std::to_string(sim.port()), com1);
    ASSERT_EQ(LinkOpen(0, 1, 57600, true), 0);
    opened = true;
    std::string s = Stty(com1);
    EXPECT_TRUE(Has(s, "speed 57600 baud")) << s;
    for (const char* w : {"crtscts", "cs8", "-parenb", "-cstopb", "-ixon", "-icanon", "-echo"})
        EXPECT_TRUE(Has(s, w)) << w << " in " << s;
    ExpectMemoryRead();

    // A second open is refused and leaves the first port working.
    EXPECT_EQ(HostSerOpen(0, 1, 57600), serErrInUse);
    EXPECT_NE(win32::headless::DebugOutput().find("serial manager is in use"), std::string::npos);
    win32::headless::ClearDebugOutput();

    // A rate outside the list is refused; the line and the stored settings stay as they were.
    HostSerSettings bad{110, 0xF0, 5000};
    EXPECT_EQ(HostSerSetSettings(0, &bad), serErrInvalidParam);
    HostSerSettings now;
    HostSerGetSettings(0, &now);
    EXPECT_EQ(now.baud, 57600u);
    EXPECT_TRUE(Has(Stty(com1), "speed 57600 baud"));

    // Seven data bits, even parity, two stop bits, XON/XOFF, no handshake. A pty always keeps
    // eight data bits without parity, so those two are seen only in the stored settings.
    HostSerSettings odd{9600, 0x80 | 0x02 | 0x04 | 0x01 | 0x08, 5000};
    EXPECT_EQ(HostSerSetSettings(0, &odd), 0);
    HostSerGetSettings(0, &now);
    EXPECT_EQ(now.flags, odd.flags);
    s = Stty(com1);
    EXPECT_TRUE(Has(s, "speed 9600 baud")) << s;
    for (const char* w : {"-crtscts", "cstopb", "ixon", "ixoff"})
        EXPECT_TRUE(Has(s, w)) << w << " in " << s;

    // 14400 bit/s has no constant of its own; the kernel takes it as a plain number.
    HostSerSettings r14400{14400, 0xD0, 5000};
    EXPECT_EQ(HostSerSetSettings(0, &r14400), 0);
    EXPECT_EQ(quillwatch::test::KernelOutputSpeed(com1.c_str()), 14400u);
    HostSerSettings back{57600, 0xD0, 5000};
    EXPECT_EQ(HostSerSetSettings(0, &back), 0);
    ExpectMemoryRead();
    EXPECT_EQ(LinkSendWait(0, -1), 0);
    EXPECT_EQ(win32::headless::DebugOutput(), "");  // no further assertion fired
}

TEST_F(SerialLink, OpenSettingsFollowTheRate) {
    const std::string com1 = dir.path() + "/com1";
    Socat pty("PTY,link=" + com1 + ",rawer", "TCP:127.0.0.1:" + std::to_string(sim.port()), com1);
    // Below 19200 the handshake is off, from 19200 on it is on.
    ASSERT_EQ(HostSerOpen(7, 1, 9600), 0);
    opened = true;
    HostSerSettings s;
    HostSerGetSettings(7, &s);
    EXPECT_EQ(s.flags, 0xD0u);
    EXPECT_TRUE(Has(Stty(com1), "-crtscts"));
    ASSERT_EQ(HostSerClose(7), 0);
    ASSERT_EQ(HostSerOpen(7, 1, 19200), 0);
    HostSerGetSettings(7, &s);
    EXPECT_EQ(s.flags, 0xF0u);
    EXPECT_TRUE(Has(Stty(com1), "crtscts"));
    EXPECT_EQ(HostSerClose(7), 0);
    opened = false;
    // A missing device and a file that is no terminal cannot be opened.
    HostSerSetPortPath(1, (dir.path() + "/none").c_str());
    EXPECT_EQ(LinkOpen(0, 1, 57600, false), serErrOpenFailed);
    HostSerSetPortPath(1, "/dev/null");
    EXPECT_EQ(LinkOpen(0, 1, 57600, false), serErrOpenFailed);
    // An operation with a wrong reference number reports it and goes on.
    win32::headless::ClearDebugOutput();
    EXPECT_EQ(HostSerClearError(3), 0);
    EXPECT_NE(win32::headless::DebugOutput().find("invalid ref num"), std::string::npos);
}

TEST_F(SerialLink, PipeAsClientTakesNoLineSettings) {
    const std::string pipe = HostSerPipePath();
    Socat server("UNIX-LISTEN:" + pipe + ",fork", "TCP:127.0.0.1:" + std::to_string(sim.port()), pipe);
    EXPECT_EQ(LinkOpen(0, 0, 57600, true), 0);
    opened = true;
    ExpectMemoryRead();
    EXPECT_EQ(LinkSendWait(0, -1), 0);
    EXPECT_EQ(LinkClose(0), 0);
    opened = false;
}

TEST_F(SerialLink, PipeServesWhenNoEmulatorRuns) {
    const std::string pipe = HostSerPipePath();
    ASSERT_EQ(LinkOpen(0, 0, 57600, false), 0);
    opened = true;
    struct stat st;
    ASSERT_EQ(stat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    // Nobody there yet: a wait times out.
    EXPECT_EQ(LinkReceiveWait(0, 1, 50), serErrTimeout);
    // The emulator connects as a client.
    Socat client("UNIX-CONNECT:" + pipe, "TCP:127.0.0.1:" + std::to_string(sim.port()));
    ExpectMemoryRead();
    EXPECT_EQ(LinkClose(0), 0);
    opened = false;
    EXPECT_NE(stat(pipe.c_str(), &st), 0);  // the server's socket file is gone
}

}  // namespace
