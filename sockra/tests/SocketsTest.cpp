// Socket calls over real host sockets on loopback, with socat as the peer where one is needed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sockra/Sockra.h"
#include "sockra/SockraGlobals.h"
#include "sockra/tests/SockraTest.h"

using namespace sockra;
using sockra::test::SockraTest;

namespace {

// A library address buffer (16 bytes), read as an INET address.
union Addr {
    NetSocketAddrType raw;
    NetSocketAddrINType in;
};

class Sockets : public sockra::test::SocketTablesTest {
protected:
    static NetSocketAddrINType Loopback(uint16_t port) {
        return {netSocketAddrINET, htons(port), htonl(INADDR_LOOPBACK)};
    }
    static const NetSocketAddrType* A(const NetSocketAddrINType& a) {
        return reinterpret_cast<const NetSocketAddrType*>(&a);
    }
};

// Runs a program in the background and stops it at the end of the test.
struct Child {
    explicit Child(std::vector<std::string> args) {
        pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid;
};

TEST_F(Sockets, TcpEchoWithSocatPeer) {
    uint16_t port = FreePort(SOCK_STREAM);
    Child socat({"socat", "TCP4-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr", "EXEC:cat"});
    Status err = 0xAAAA;
    NetSocketRef s = SockraSocketOpen(2, 1, 0, -1, &err);
    ASSERT_EQ(s, 1);
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(Traced(" - Success (NetSocketRef 1 created)"));
    auto peer = Loopback(port);
    int16_t rc = -1;
    for (int tries = 0; tries < 100 && rc != 0; ++tries) {
        rc = SockraSocketConnect(s, A(peer), 8, -1, &err);
        if (rc != 0) {
            // socat not listening yet: a fresh socket for the next try.
            SockraSocketClose(s, -1, &err);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            s = SockraSocketOpen(2, 1, 0, -1, &err);
        }
    }
    ASSERT_EQ(rc, 0);
    const char msg[] = "hello over loopback";
    EXPECT_EQ(SockraSend(s, msg, sizeof msg, 0, nullptr, 0, -1, &err), static_cast<int16_t>(sizeof msg));
    char buf[64] = {};
    int got = 0;
    while (got < static_cast<int>(sizeof msg)) {
        int16_t n = SockraReceive(s, buf + got, sizeof buf - got, 0, nullptr, nullptr, 2000, &err);
        ASSERT_GT(n, 0) << std::hex << err;
        got += n;
    }
    EXPECT_STREQ(buf, msg);
    // The remote address and the local one.
    Addr loc{}, rem{};
    int16_t locLen = 16, remLen = 16;
    ASSERT_EQ(SockraSocketAddr(s, &loc.raw, &locLen, &rem.raw, &remLen, -1, &err), 0);
    EXPECT_EQ(remLen, 8);
    EXPECT_EQ(rem.in.family, 2);
    EXPECT_EQ(ntohs(rem.in.port), port);
    EXPECT_EQ(rem.in.addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(SockraSocketShutdown(s, 1, -1, &err), 0);
    EXPECT_EQ(SockraSocketClose(s, -1, &err), 0);
    EXPECT_EQ(err, 0);
}

TEST_F(Sockets, UdpSendAndReceiveWithSourceAddress) {
    Status err;
    NetSocketRef a = SockraSocketOpen(2, 2, 0, -1, &err), b = SockraSocketOpen(2, 2, 0, -1, &err);
    ASSERT_EQ(a, 1);
    ASSERT_EQ(b, 2);
    uint16_t pa = FreePort(SOCK_DGRAM);
    auto addrA = Loopback(pa);
    ASSERT_EQ(SockraSocketBind(a, A(addrA), 8, -1, &err), 0);
    const char msg[] = "datagram";
    ASSERT_EQ(SockraSend(b, msg, sizeof msg, 0, A(addrA), 8, -1, &err), static_cast<int16_t>(sizeof msg));
    char buf[4] = {};
    Addr from{};
    uint16_t fromLen = 16;
    // A datagram longer than the receive length gives the requested length and no error.
    EXPECT_EQ(SockraReceive(a, buf, sizeof buf, 0, &from.raw, &fromLen, 1000, &err), 4);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(std::string(buf, 4), "data");
    EXPECT_EQ(fromLen, 8);
    EXPECT_EQ(from.in.family, 2);
    EXPECT_EQ(from.in.addr, htonl(INADDR_LOOPBACK));
}

TEST_F(Sockets, MappedErrors) {
    Status err;
    // Refused: nothing listens on the port.
    NetSocketRef s = SockraSocketOpen(2, 1, 0, -1, &err);
    auto closed = Loopback(FreePort(SOCK_STREAM));
    EXPECT_EQ(SockraSocketConnect(s, A(closed), 8, -1, &err), -1);
    EXPECT_EQ(err, 0x1214);
    SockraSocketClose(s, -1, &err);

    // In progress, then already connected.
    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(lfd, 4), 0);
    socklen_t len = sizeof sa;
    getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len);
    s = SockraSocketOpen(2, 1, 0, -1, &err);
    uint32_t on = 1;
    ASSERT_EQ(SockraSocketOptionSet(s, 0xFFFF, 0x2000, &on, 4, -1, &err), 0);
    auto peer = Loopback(ntohs(sa.sin_port));
    int16_t rc = SockraSocketConnect(s, A(peer), 8, -1, &err);
    if (rc == -1) {
        EXPECT_EQ(err, 0x122F);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(SockraSocketConnect(s, A(peer), 8, -1, &err), 0);
    EXPECT_EQ(err, 0);

    // Would block: a non-blocking receive without data, on the connected socket.
    char c;
    EXPECT_EQ(SockraReceive(s, &c, 1, 0, nullptr, nullptr, 0, &err), -1);
    EXPECT_EQ(err, 0x122F);
    close(lfd);

    struct {
        int err;
        Status status;
    } table[] = {{0, 0}, {90, 0}, {11, 0x122F}, {97, 0x1204}, {104, 0x1214}, {111, 0x1214},
                 {106, 0x1201}, {107, 0x1202}, {110, 0x1212}, {1, 0x1211}, {115, 0x1211}};
    for (auto& t : table) EXPECT_EQ(SockraErrnoMap(t.err), t.status) << t.err;
}

TEST_F(Sockets, BadReferencesAreRefused) {
    Status err;
    NetSocketRef s = SockraSocketOpen(2, 2, 0, -1, &err);
    ASSERT_EQ(SockraSocketClose(s, -1, &err), 0);
    char buf[8];
    uint16_t len = 4;
    uint32_t v = 1;
    for (NetSocketRef ref : {0, -1, -32768, 32, 1000, 1 /* already closed */}) {
        SCOPED_TRACE(ref);
        err = 0;
        EXPECT_EQ(SockraSocketClose(ref, -1, &err), -1);
        EXPECT_EQ(err, 0x1204);
        err = 0;
        EXPECT_EQ(SockraSend(ref, "x", 1, 0, nullptr, 0, -1, &err), -1);
        EXPECT_EQ(err, 0x1204);
        err = 0;
        EXPECT_EQ(SockraReceive(ref, buf, 8, 0, nullptr, nullptr, 0, &err), -1);
        EXPECT_EQ(err, 0x1204);
        err = 0;
        EXPECT_EQ(SockraSocketOptionSet(ref, 0xFFFF, 0x0008, &v, 4, -1, &err), -1);
        EXPECT_EQ(err, 0x1204);
        err = 0;
        EXPECT_EQ(SockraSocketOptionGet(ref, 0xFFFF, 0x0008, &v, &len, -1, &err), -1);
        EXPECT_EQ(err, 0x1204);
        err = 0;
        EXPECT_EQ(SockraSocketListen(ref, 1, -1, &err), -1);
        EXPECT_EQ(err, 0x1204);
    }
    // The closed entry stays free: the next open takes it again.
    EXPECT_EQ(SockraSocketOpen(2, 2, 0, -1, &err), 1);
}

TEST_F(Sockets, TableFullAndInterfaceDown) {
    Status err;
    for (int i = 1; i <= 31; ++i) ASSERT_EQ(SockraSocketOpen(2, 2, 0, -1, &err), i);
    EXPECT_EQ(SockraSocketOpen(2, 2, 0, -1, &err), -1);
    EXPECT_EQ(err, 0x1205);
    gSockraInterfaceUp = 0;
    auto any = Loopback(0);
    EXPECT_EQ(SockraSocketBind(1, A(any), 8, -1, &err), -1);
    EXPECT_EQ(err, 0x1251);
    EXPECT_EQ(SockraSocketConnect(1, A(any), 8, -1, &err), -1);
    EXPECT_EQ(err, 0x1251);
}

TEST_F(Sockets, OptionsSetAndReadBack) {
    Status err;
    NetSocketRef s = SockraSocketOpen(2, 1, 0, -1, &err);
    uint32_t v32 = 0;
    uint16_t v16 = 0, len4 = 4, len2 = 2;
    struct {
        uint16_t level, option;
        uint32_t set, expect;
    } table[] = {{0xFFFF, 0x0008, 1, 1}, {0xFFFF, 0x0008, 0, 0}, {6, 1, 1, 1}, {0xFFFF, 0x2000, 1, 1},
                 {0xFFFF, 0x2000, 0, 0}};
    for (auto& t : table) {
        SCOPED_TRACE(t.option);
        uint32_t value = t.set;
        ASSERT_EQ(SockraSocketOptionSet(s, t.level, t.option, &value, 4, -1, &err), 0);
        ASSERT_EQ(SockraSocketOptionGet(s, t.level, t.option, &v32, &len4, -1, &err), 0);
        EXPECT_EQ(v32 != 0, t.expect != 0);
        ASSERT_EQ(SockraSocketOptionGet(s, t.level, t.option, &v16, &len2, -1, &err), 0);
        EXPECT_EQ(v16 != 0, t.expect != 0);
    }
    NetSocketLingerType lg{1, 7}, back{};
    ASSERT_EQ(SockraSocketOptionSet(s, 0xFFFF, 0x0080, &lg, 4, -1, &err), 0);
    ASSERT_EQ(SockraSocketOptionGet(s, 0xFFFF, 0x0080, &back, &len4, -1, &err), 0);
    EXPECT_EQ(back.onOff, 1);
    EXPECT_EQ(back.time, 7);
    ASSERT_EQ(SockraSocketOptionGet(s, 6, 2, &v32, &len4, -1, &err), 0);
    EXPECT_EQ(v32, 536u);
    ASSERT_EQ(SockraSocketOptionGet(s, 0xFFFF, 0x1008, &v32, &len4, -1, &err), 0);
    EXPECT_EQ(v32, 1u);  // stream
    // Wrong lengths and unknown options.
    uint16_t len3 = 3;
    EXPECT_EQ(SockraSocketOptionGet(s, 0xFFFF, 0x0008, &v32, &len3, -1, &err), -1);
    EXPECT_EQ(err, 0x1219);
    EXPECT_EQ(SockraSocketOptionSet(s, 0xFFFF, 0x4242, &v32, 4, -1, &err), -1);
    EXPECT_EQ(err, 0x1204);
    EXPECT_EQ(SockraSocketOptionGet(s, 0xFFFF, 0x4242, &v32, &len4, -1, &err), -1);
    EXPECT_EQ(err, 0x120E);
    EXPECT_EQ(Reports(), 1u);
}

TEST_F(Sockets, ReceiveTimeOutsAndUnboundAddress) {
    Status err;
    NetSocketRef s = SockraSocketOpen(2, 2, 0, -1, &err);
    char c;
    // Blocking socket, time-out 0, no data: timed out at once.
    EXPECT_EQ(SockraReceive(s, &c, 1, 0, nullptr, nullptr, 0, &err), -1);
    EXPECT_EQ(err, 0x1212);
    // Never bound: family 2, port 0, address 0.
    Addr loc;
    loc.in = {7, 7, 7};
    int16_t len = 16;
    EXPECT_EQ(SockraSocketAddr(s, &loc.raw, &len, nullptr, nullptr, -1, &err), 0);
    EXPECT_EQ(len, 8);
    EXPECT_EQ(loc.in.family, 2);
    EXPECT_EQ(loc.in.port, 0);
    EXPECT_EQ(loc.in.addr, 0u);
}

TEST_F(Sockets, AcceptHonoursTheCallersAddressLength) {
    Status err;
    NetSocketRef l = SockraSocketOpen(2, 1, 0, -1, &err);
    auto any = Loopback(0);
    ASSERT_EQ(SockraSocketBind(l, A(any), 8, -1, &err), 0);
    ASSERT_EQ(SockraSocketListen(l, 2, -1, &err), 0);
    Addr bound{};
    int16_t blen = 16;
    ASSERT_EQ(SockraSocketAddr(l, &bound.raw, &blen, nullptr, nullptr, -1, &err), 0);
    int c = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = bound.in.port;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    uint8_t buf[8];
    memset(buf, 0xEE, sizeof buf);
    uint16_t len = 4;
    NetSocketRef a = SockraSocketAccept(l, reinterpret_cast<NetSocketAddrType*>(buf), &len, -1, &err);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(buf[0], 2);     // family, low byte
    EXPECT_EQ(buf[4], 0xEE);  // nothing past the caller's length
    close(c);
}

}  // namespace
