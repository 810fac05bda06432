// The UARTs at register level, and the first UART's socket bridge against socat.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Scheduler.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/board/tests/TestPorts.h"
#include "tamsk/devices/ClockManager.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/Uart.h"
#include "tamsk/devices/UartState.h"
#include "tamsk/devices/tests/UartTestSupport.h"
#include "tamsk/board/HostThreads.h"
#include "tamsk/devices/UartBridge.h"

namespace tamsk {
namespace {

using test::Deliver;
using test::FreePort;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr uint32_t kFf = 0x40100000;
constexpr uint32_t RBR = 0x00, IER = 0x04, IIR = 0x08, FCR = 0x08, LCR = 0x0C, MCR = 0x10,
                   LSR = 0x14, MSR = 0x18, SPR = 0x1C;

uint32_t Rd(uint32_t reg, uint32_t base = kFf) { return UartRead(base + reg); }
void Wr(uint32_t reg, uint32_t value, uint32_t base = kFf) { UartWrite(base + reg, value); }

// Acts as the core: serves pending bits until `done` holds or the time runs out.
bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (PendingEventWord.load()) CpuServicePending();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Runs instructions' worth of ticks (the transmit pacing event lies 409 ticks ahead).
void Ticks(uint32_t n) {
    for (uint64_t i = 0; i < uint64_t(n) * TimingRatio(); ++i) TimingStep();
}

bool SourceRaised(unsigned source) { return Intc.rawPending[source >> 5] >> (source & 31) & 1; }

class Uart : public ::testing::Test {
protected:
    void SetUp() override { Start("none"); }
    void TearDown() override { UartSave(kRunExit); }
    void Start(const std::string& serial) {
        OptLoadDefaults();
        OptSetText(Opt.SerialPort, serial.c_str());
        PendingEventWord = 0;
        IntcReset(kRunPowerOn);
        ClockReset(kRunPowerOn);
        UartSetup(kRunPowerOn);
        CpuServicePending();
    }
};

TEST_F(Uart, ResetStateAndDivisorLatch) {
    EXPECT_EQ(Rd(IIR), 1u);
    EXPECT_EQ(Rd(LSR), 0u);
    Wr(LCR, 0x83);
    EXPECT_EQ(Rd(RBR), 2u);
    Wr(RBR, 0x18);
    Wr(IER, 0x01);
    EXPECT_EQ(Rd(RBR), 0x18u);
    EXPECT_EQ(Rd(IER), 1u);
    Wr(LCR, 0x03);
    EXPECT_EQ(Rd(IER), 0u);  // the divisor high byte did not reach IER
    Wr(SPR, 0x5A);
    EXPECT_EQ(Rd(SPR), 0x5Au);
    EXPECT_EQ(Rd(IIR, 0x40700000), 1u);
    EXPECT_EQ(Uarts[2].reg.source, unsigned(kIrqStuart));
}

TEST_F(Uart, ReceiveInFifoModeRaisesAndClearsTheInterrupt) {
    Wr(FCR, 0x07);
    Wr(IER, 0x41);  // unit enable, receive interrupt
    Deliver(0, "abc");
    CpuServicePending();
    EXPECT_EQ(Rd(IIR), 0xC4u);
    EXPECT_TRUE(SourceRaised(kIrqFfuart));
    EXPECT_EQ(Rd(LSR) & 1, 1u);
    EXPECT_EQ(Rd(RBR), uint32_t('a'));
    EXPECT_EQ(Rd(RBR), uint32_t('b'));
    EXPECT_EQ(Rd(IIR) & 0xF, 4u);
    EXPECT_EQ(Rd(RBR), uint32_t('c'));
    EXPECT_EQ(Rd(LSR) & 1, 0u);
    EXPECT_EQ(Rd(IIR), 0xC1u);
    EXPECT_FALSE(SourceRaised(kIrqFfuart));
    // The monitor is woken to deliver more once the last byte is taken.
    EXPECT_TRUE(EvtIsScheduled(UartWake, 0));
    EXPECT_EQ(Rd(RBR), 0u);
}

TEST_F(Uart, ReceiveWithoutFifosKeepsUnreadBytesVisible) {
    Wr(IER, 0x40);
    Deliver(0, "xy");
    CpuServicePending();
    EXPECT_EQ(Rd(LSR) & 1, 1u);
    EXPECT_EQ(Rd(RBR), uint32_t('x'));
    EXPECT_EQ(Rd(LSR) & 1, 1u);  // 'y' is still there
    EXPECT_EQ(Rd(RBR), uint32_t('y'));
    EXPECT_EQ(Rd(LSR) & 1, 0u);
    EXPECT_FALSE(SourceRaised(kIrqFfuart));
}

TEST_F(Uart, DataArrivingWhileTheUnitIsOffWaitsForIt) {
    Wr(FCR, 0x01);
    Deliver(0, "z");
    CpuServicePending();
    EXPECT_EQ(Rd(LSR) & 1, 0u);
    Wr(IER, 0x41);
    EXPECT_EQ(Rd(LSR) & 1, 1u);
    EXPECT_EQ(Rd(IIR), 0xC4u);
    // A FIFO reset empties the receive side.
    Wr(FCR, 0x03);
    EXPECT_EQ(Rd(LSR) & 1, 0u);
    EXPECT_EQ(Rd(RBR), 0u);
}

TEST_F(Uart, TransmitPacingAndTheTransmitterEmptyInterrupt) {
    Wr(FCR, 0x01);
    Wr(IER, 0x42);  // unit enable, transmit interrupt
    EXPECT_EQ(Rd(IIR), 0xC1u);
    EXPECT_EQ(Rd(LSR) & 0x20, 0x20u);  // the FIFO enable emptied the transmitter
    Wr(RBR, 'h');
    Wr(RBR, 'i');
    EXPECT_EQ(Rd(LSR) & 0x60, 0x20u);  // accepted, still transmitting
    Ticks(4096 / 10 - 1);
    EXPECT_EQ(Rd(LSR) & 0x40, 0u);
    Wr(RBR, '!');  // moves the pacing event on
    Ticks(4096 / 10 - 1);
    EXPECT_EQ(Rd(LSR) & 0x40, 0u);
    Ticks(1);
    EXPECT_EQ(Rd(LSR) & 0x60, 0x60u);
    EXPECT_FALSE(EvtIsScheduled(UartTransmitPacing, 0));
    CpuServicePending();
    EXPECT_TRUE(SourceRaised(kIrqFfuart));
    Wr(RBR, 'x');  // a transmit write clears the cause
    EXPECT_FALSE(SourceRaised(kIrqFfuart));
    EXPECT_EQ(Rd(IIR), 0xC1u);
    Ticks(4096 / 10);
    CpuServicePending();
    EXPECT_TRUE(SourceRaised(kIrqFfuart));
    EXPECT_EQ(Rd(IIR), 0xC2u);  // reading IIR in FIFO mode clears it too
    EXPECT_FALSE(SourceRaised(kIrqFfuart));
    EXPECT_EQ(Rd(IIR), 0xC1u);

    // A reset in the middle of a transmission empties the scheduler: the next byte paces anew.
    Wr(RBR, 'y');
    ClockReset(kRunSoftReset);
    UartSetup(kRunSoftReset);
    Wr(FCR, 0x01);
    Wr(RBR, 'z');
    Ticks(4096 / 10);
    EXPECT_EQ(Rd(LSR) & 0x40, 0x40u);
    EXPECT_EQ(Uarts[0].txCount, 0u);
}

TEST_F(Uart, ModemAndLineStatus) {
    Wr(IER, 0x48);  // unit enable, modem status interrupt
    Uarts[0].linkUp = true;
    Uarts[0].pending.fetch_or(kCauseLinkUp);
    UartService(0);
    EXPECT_EQ(Rd(IIR) & 0xF, 0u);  // modem status showing
    EXPECT_TRUE(SourceRaised(kIrqFfuart));
    EXPECT_EQ(Rd(MSR), 0xB0u);
    EXPECT_EQ(Rd(IIR) & 0xF, 1u);
    Uarts[0].linkUp = false;
    Uarts[0].pending.fetch_or(kCauseLinkDown);
    UartService(0);
    EXPECT_EQ(Rd(MSR), 0u);

    Uarts[0].reg.lsr |= 0x1E;
    EXPECT_EQ(Rd(LSR) & 0x1E, 0x1Eu);
    EXPECT_EQ(Rd(LSR) & 0x1E, 0u);

    Wr(MCR, 0x02);  // RTS: the machine is ready
    EXPECT_TRUE(Uarts[0].machineReady);
}

TEST_F(Uart, FishyRegistersAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    EXPECT_EXIT(Wr(LSR, 0), fatal, "Fishy UART register write");
    EXPECT_EXIT(Wr(MSR, 0), fatal, "Fishy UART register write");
    EXPECT_EXIT(Wr(0x24, 0), fatal, "Fishy UART register write");
    EXPECT_EXIT(Rd(0x24), fatal, "Fishy UART register read");
    EXPECT_EXIT(Rd(0x02), fatal, "Fishy UART register read");
}

TEST_F(Uart, SessionKeepsRegistersAndBuffers) {
    TempDir dir;
    SessSetPath((dir / "u.aes").c_str());
    Wr(FCR, 0x01);
    Wr(IER, 0x41);
    Wr(SPR, 0x33, 0x40200000);
    Deliver(0, "kept");
    CpuServicePending();
    EXPECT_EQ(Rd(RBR), uint32_t('k'));
    SessTruncate();
    UartSave(kRunSave);
    ASSERT_TRUE(SessFinishSave());
    UartSetup(kRunSoftReset);
    EXPECT_EQ(Rd(SPR, 0x40200000), 0u);
    UartSave(kRunExit);
    UartSetup(kRunLoad);
    EXPECT_EQ(Rd(SPR, 0x40200000), 0x33u);
    EXPECT_EQ(Rd(IIR), 0xC4u);
    EXPECT_EQ(Rd(RBR), uint32_t('e'));
    EXPECT_EQ(Rd(RBR), uint32_t('p'));
    EXPECT_EQ(Rd(RBR), uint32_t('t'));
    EXPECT_EQ(Rd(LSR) & 1, 0u);
}

TEST(UartAddress, ParsedAsTheBridgeUsesIt) {
    sockaddr_in a;
    EXPECT_EQ(UartParseAddress("localhost:2000", &a), 0);
    EXPECT_EQ(ntohl(a.sin_addr.s_addr), 0x7F000001u);
    EXPECT_EQ(ntohs(a.sin_port), 2000);
    EXPECT_EQ(UartParseAddress("10.1.2.3:65535", &a), 0);
    EXPECT_EQ(ntohl(a.sin_addr.s_addr), 0x0A010203u);
    for (const char* none : {"", "none", "localhost", "localhost:", "localhost:x", "localhost:65536",
                             "localhost:20 00", ":2000", "no-such-host.invalid:2000"})
        EXPECT_EQ(UartParseAddress(none, &a), 1) << none;
}

// --- The bridge against real peers ---

bool CanConnect(const char* ip, uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_aton(ip, &a.sin_addr);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// A socat process in the background; its output file is read once it has ended.
struct Socat {
    explicit Socat(const std::string& args) {
        pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", ("exec socat " + args).c_str(), nullptr);
            _exit(127);
        }
    }
    bool Wait(int ms = 5000) {
        for (int i = 0; i < ms; ++i) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status);
            if (PendingEventWord.load()) CpuServicePending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }
    pid_t pid;
};

void Send(const std::string& text) {
    for (char c : text) Wr(RBR, uint8_t(c));
    Ticks(4096 / 10 + 1);  // the line goes quiet: the pacing event sends
}

std::string ReadAvailable() {
    std::string got;
    while (Rd(LSR) & 1) got += char(Rd(RBR));
    return got;
}

TEST_F(Uart, ConnectsToAListeningPeerFirst) {
    TempDir dir;
    const uint16_t port = FreePort();
    Socat peer("-u TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr OPEN:" +
               (dir / "out") + ",creat");
    ASSERT_TRUE(PumpUntil([&] { return system(("ss -ltn | grep -q :" + std::to_string(port)).c_str()) == 0; }));
    UartSave(kRunExit);
    Start("127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(PumpUntil([] { return Uarts[0].linkUp.load(); }));
    Wr(IER, 0x40);
    EXPECT_EQ(Rd(MSR), 0xB0u);
    // The peer sends nothing: reading the receive register does not wait for it.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(Rd(RBR), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    Send("hello, debugger\n");
    UartSave(kRunExit);  // closes the connection: socat ends
    ASSERT_TRUE(peer.Wait());
    EXPECT_EQ(ReadFile(dir / "out"), "hello, debugger\n");
}

TEST_F(Uart, ListensWhenNobodyIsThereAndHoldsOutputForTheFirstPeer) {
    TempDir dir;
    const uint16_t port = FreePort();
    UartSave(kRunExit);
    Start("127.0.0.1:" + std::to_string(port));
    Wr(FCR, 0x01);
    Wr(IER, 0x40);
    Send("early bytes");
    // Bound to the configured address only: another loopback address is refused.
    EXPECT_FALSE(CanConnect("127.0.0.2", port));

    // A client connecting later gets what was written before it came, then what follows; and
    // what it sends reaches the UART.
    WriteFile(dir / "in", "ping");
    Socat client("-t 1 TCP:127.0.0.1:" + std::to_string(port) + ",shut-none OPEN:" + (dir / "in") +
                 "!!OPEN:" + (dir / "out") + ",creat");
    ASSERT_TRUE(PumpUntil([] { return Uarts[0].linkUp.load(); }));
    std::string got;
    ASSERT_TRUE(PumpUntil([&] { return (got += ReadAvailable()) == "ping"; })) << got;
    Send(" late bytes");
    UartSave(kRunExit);
    ASSERT_TRUE(client.Wait());
    EXPECT_EQ(ReadFile(dir / "out"), "early bytes late bytes");
}

TEST_F(Uart, WithoutAPeerAFullBufferIsDroppedAndTheLineStaysFree) {
    TempDir dir;
    const uint16_t port = FreePort();
    UartSave(kRunExit);
    Start("127.0.0.1:" + std::to_string(port));
    Opt.TxFIFO = 8;
    Wr(FCR, 0x01);
    Wr(IER, 0x40);
    // Twenty bytes through an eight-byte buffer with nobody to take them: the guest that polls
    // for transmit-holding-empty always finds it.
    const std::string text = "abcdefghijklmnopqrst";
    for (char c : text) {
        ASSERT_EQ(Rd(LSR) & 0x20, 0x20u) << c;
        Wr(RBR, uint8_t(c));
    }
    EXPECT_EQ(Rd(LSR) & 0x20, 0x20u);
    // The first peer gets what the last partial buffer held.
    Socat client("-t 1 TCP:127.0.0.1:" + std::to_string(port) + ",shut-none OPEN:/dev/null!!OPEN:" +
                 (dir / "out") + ",creat");
    ASSERT_TRUE(PumpUntil([] { return Uarts[0].linkUp.load(); }));
    Send("!");
    UartSave(kRunExit);
    ASSERT_TRUE(client.Wait());
    EXPECT_EQ(ReadFile(dir / "out"), "qrst!");
    Opt.TxFIFO = 4096;
}

TEST_F(Uart, PeersMayLeaveAndComeBack) {
    const uint16_t port = FreePort();
    UartSave(kRunExit);
    Start("127.0.0.1:" + std::to_string(port));
    Wr(IER, 0x40);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        WriteFile(dir / "in", "round" + std::to_string(round));
        // The client sends, then waits for the echo before it ends.
        Socat client("-t 0.5 TCP:127.0.0.1:" + std::to_string(port) +
                     ",retry=50,interval=0.05,shut-none OPEN:" +
                     (dir / "in") + "!!OPEN:" + (dir / "out") + ",creat");
        std::string got;
        ASSERT_TRUE(PumpUntil([&] { return (got += ReadAvailable()) == "round" + std::to_string(round); }))
            << got;
        Send(got);  // echo
        ASSERT_TRUE(client.Wait());
        EXPECT_EQ(ReadFile(dir / "out"), got);
        ASSERT_TRUE(PumpUntil([] { return !Uarts[0].linkUp.load(); }));
    }
}

TEST_F(Uart, APeerThatClosesDoesNotKillTheEmulator) {
    const uint16_t port = FreePort();
    UartSave(kRunExit);
    Start("127.0.0.1:" + std::to_string(port));
    {
        Socat client("-u /dev/null TCP:127.0.0.1:" + std::to_string(port) + ",retry=50,interval=0.05");
        ASSERT_TRUE(client.Wait());
    }
    // Write a lot at once towards a peer that has gone (EPIPE, no SIGPIPE).
    for (int i = 0; i < 3; ++i) Send(std::string(5000, 'x'));
    SUCCEED();
}

}  // namespace
}  // namespace tamsk
