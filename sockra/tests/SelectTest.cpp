// SockraSelect over real sockets and the event wake-up pipe.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/tests/SockraTest.h"

using namespace sockra;
using sockra::test::SockraTest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMax = 64;

class Select : public sockra::test::SocketTablesTest {
protected:
    Select() : SocketTablesTest(kMax) {}
    void SetUp() override {
        SocketTablesTest::SetUp();
        int p[2];
        ASSERT_EQ(pipe2(p, O_NONBLOCK), 0);
        gSockraWakeupPipe[0] = p[0];
        gSockraWakeupPipe[1] = p[1];
    }
    void TearDown() override {
        close(gSockraWakeupPipe[0]);
        close(gSockraWakeupPipe[1]);
        gSockraWakeupPipe[0] = gSockraWakeupPipe[1] = -1;
        SocketTablesTest::TearDown();
    }
    // A bound UDP socket in the table and the port it listens on.
    NetSocketRef Udp(uint16_t* port) {
        Status err;
        NetSocketRef s = SockraSocketOpen(2, 2, 0, -1, &err);
        NetSocketAddrINType a{2, 0, htonl(INADDR_LOOPBACK)};
        EXPECT_EQ(SockraSocketBind(s, reinterpret_cast<NetSocketAddrType*>(&a), 8, -1, &err), 0);
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        getsockname(sockets_[s - 1], reinterpret_cast<sockaddr*>(&sa), &len);
        *port = ntohs(sa.sin_port);
        return s;
    }
    static void SendTo(uint16_t port) {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(fd, "x", 1, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        close(fd);
    }
};

TEST_F(Select, WakesForSocketDataWithinItsTimeOut) {
    uint16_t pa, pb;
    NetSocketRef a = Udp(&pa), b = Udp(&pb);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SendTo(pb);
    });
    uint32_t rd = (1u << a) | (1u << b), wr = 0, ex = (1u << a);
    Status err = 0xAAAA;
    auto t0 = Clock::now();
    EXPECT_EQ(SockraSelect(0, &rd, &wr, &ex, 60000, &err), 1);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(30));  // not the time-out
    sender.join();
    EXPECT_EQ(rd, 1u << b);
    EXPECT_EQ(wr, 0u);
    EXPECT_EQ(ex, 0u);
    EXPECT_EQ(err, 0);
}

TEST_F(Select, WakesForAPostedEvent) {
    uint16_t pa;
    NetSocketRef a = Udp(&pa);
    // What the event poster does: one byte into the wake-up pipe, and the event is in the queue.
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SetEventAvail(true);
        ASSERT_EQ(write(gSockraWakeupPipe[1], "A", 1), 1);
    });
    uint32_t rd = 1u | (1u << a);
    Status err;
    EXPECT_EQ(SockraSelect(0, &rd, nullptr, nullptr, 60000, &err), 1);
    poster.join();
    EXPECT_EQ(rd, 1u);
    EXPECT_TRUE(Traced("  StdIn file descr signaled for reading"));
    // An event already pending: at once, without waiting, and the pipe is drained.
    ASSERT_EQ(write(gSockraWakeupPipe[1], "AB", 2), 2);
    rd = 1u;
    auto t0 = Clock::now();
    EXPECT_EQ(SockraSelect(0, &rd, nullptr, nullptr, -1, &err), 1);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(rd, 1u);
    char c;
    EXPECT_EQ(read(gSockraWakeupPipe[0], &c, 1), -1);
}

TEST_F(Select, TimeOutZeroClearsTheMasks) {
    uint16_t pa;
    NetSocketRef a = Udp(&pa);
    uint32_t rd = 1u << a, ex = 1u << a;
    Status err = 0xAAAA;
    EXPECT_EQ(SockraSelect(0, &rd, nullptr, &ex, 0, &err), 0);
    EXPECT_EQ(rd, 0u);
    EXPECT_EQ(ex, 0u);
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(Traced("  => NO Socket signaled (timeout)"));
}

TEST_F(Select, RefusedConnectShowsInTheExceptionMaskOnce) {
    Status err;
    NetSocketRef s = SockraSocketOpen(2, 1, 0, -1, &err);
    uint32_t on = 1;
    ASSERT_EQ(SockraSocketOptionSet(s, 0xFFFF, 0x2000, &on, 4, -1, &err), 0);
    NetSocketAddrINType peer{2, htons(FreePort(SOCK_STREAM)), htonl(INADDR_LOOPBACK)};
    int16_t rc = SockraSocketConnect(s, reinterpret_cast<NetSocketAddrType*>(&peer), 8, -1, &err);
    if (rc != 0) {
        EXPECT_TRUE(err == 0x122F || err == 0x1214) << std::hex << err;
    }
    uint32_t wr = 1u << s, ex = 1u << s;
    int16_t n = SockraSelect(0, nullptr, &wr, &ex, 2000, &err);
    EXPECT_GE(n, 1);
    EXPECT_EQ(ex, 1u << s);
    // The error went to the caller that waited for it: it is not reported a second time.
    wr = 0, ex = 1u << s;
    EXPECT_EQ(SockraSelect(0, nullptr, &wr, &ex, 0, &err), 0);
    EXPECT_EQ(ex, 0u);
}

TEST_F(Select, HighDescriptorsAndTablesLargerThanTheMask) {
    // Descriptors of 1024 and more work (select's descriptor sets would overflow).
    rlimit rl;
    getrlimit(RLIMIT_NOFILE, &rl);
    if (rl.rlim_cur < 1200) GTEST_SKIP() << "descriptor limit below 1200";
    uint16_t pa;
    NetSocketRef a = Udp(&pa);
    int high = fcntl(sockets_[a - 1], F_DUPFD, 1100);
    ASSERT_GE(high, 1100);
    close(sockets_[a - 1]);
    sockets_[a - 1] = high;
    // References above 31 cannot be named in a mask, and are never shifted into one.
    for (int i = 1; i < 40; ++i) sockets_[i] = dup(sockets_[a - 1]);
    SendTo(pa);
    uint32_t rd = 0xFFFFFFFEu;
    Status err;
    EXPECT_EQ(SockraSelect(0, &rd, nullptr, nullptr, 2000, &err), 31);
    EXPECT_EQ(rd, 0xFFFFFFFEu);
}

}  // namespace
