// The Ethernet bridge on a real adapter: the test moves itself into a network namespace of its
// own, makes a veth pair there and puts the peer end into a second namespace, where dnsmasq
// serves DHCP. The network ROM gets its address through the bridge, answers a ping and echoes UDP
// datagrams from the peer. No packet leaves the two namespaces.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/ReadFile.h"
#include "tamsk/host/tests/ProgramRunner.h"

namespace tamsk::test {
namespace {

constexpr int kWaitMs = 90000;

// Runs a shell command line; its exit status.
int Shell(const std::string& command) { return std::system(command.c_str()); }

bool Have(const char* program) { return Shell(std::string("command -v ") + program + " >/dev/null 2>&1") == 0; }

class EthernetProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "network namespaces need root";
        for (const char* program : {"ip", "dnsmasq", "nsenter", "python3"})
            if (!Have(program)) GTEST_SKIP() << program << " is needed (packages iproute2, dnsmasq-base, util-linux, python3)";
        if (unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "this machine cannot create a network namespace";
        // The peer's namespace: a child that only waits.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        peer_ = fork();
        if (peer_ == 0) {
            close(ready[0]);
            const char ok = unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
            if (write(ready[1], &ok, 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        char ok = 'n';
        ASSERT_EQ(read(ready[0], &ok, 1), 1);
        close(ready[0]);
        ASSERT_EQ(ok, 'y');
        const std::string in = "nsenter -t " + std::to_string(peer_) + " -n ";
        ASSERT_EQ(Shell("ip link add veth0 type veth peer name veth1 && ip link set veth1 netns " +
                        std::to_string(peer_) + " && ip link set lo up && ip link set veth0 up"),
                  0);
        ASSERT_EQ(Shell(in + "sh -c 'ip link set lo up && ip addr add 192.168.77.1/24 dev veth1 && "
                             "ip link set veth1 up'"),
                  0);
        leases_ = program.dir / "leases";
        const std::string leaseOption = "--dhcp-leasefile=" + leases_;
        const std::string pidOption = "--pid-file=" + (program.dir / "dnsmasq.pid");
        const std::string peer = std::to_string(peer_);
        dnsmasq_ = fork();
        if (dnsmasq_ == 0) {
            execlp("nsenter", "nsenter", "-t", peer.c_str(), "-n", "dnsmasq", "--no-daemon", "--conf-file=/dev/null",
                   "--interface=veth1", "--bind-interfaces", "--port=0", "--dhcp-range=192.168.77.50,192.168.77.60,1h",
                   leaseOption.c_str(), pidOption.c_str(), "--log-facility=-", "--user=root", nullptr);
            _exit(127);
        }
        in_ = in;
    }

    void TearDown() override {
        program.Stop();
        for (pid_t* pid : {&dnsmasq_, &peer_}) {
            if (*pid > 0) {
                kill(*pid, SIGKILL);
                waitpid(*pid, nullptr, 0);
            }
        }
    }

    bool WaitForOutput(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < end)
            if (program.OutputSoFar().find(text) != std::string::npos) return true;
        return false;
    }

    Program program;
    pid_t peer_ = -1, dnsmasq_ = -1;
    std::string in_, leases_;
};

TEST_F(EthernetProgram, GetsAnAddressByDhcpAnswersPingAndEchoesUdp) {
    program.Start({"-ROM:" VANTOR_BIN_DIR "/roms/net.aei", "-EnableConsole:true", "-SerialPort:none",
                   "-EnableEthernet:true", "-EthernetAdapter:veth0", "-MAC:02:00:00:00:00:42"});
    ASSERT_TRUE(WaitForOutput("mac 02:00:00:00:00:42\n")) << program.OutputSoFar();
    ASSERT_TRUE(WaitForOutput("dhcp 192.168.77.")) << program.OutputSoFar();
    const std::string out = program.OutputSoFar();
    const size_t at = out.find("dhcp ") + 5;
    const std::string address = out.substr(at, out.find('\n', at) - at);
    std::string leases;
    EXPECT_TRUE(vantor::ReadWholeFile(leases_, &leases));
    EXPECT_NE(leases.find("02:00:00:00:00:42 " + address), std::string::npos) << leases;

    // From the peer: one ping (ICMP echo over a raw socket) and two UDP datagrams to port 7.
    const std::string script =
        "import socket, struct, sys\n"
        "a = sys.argv[1]\n"
        "def ck(b):\n"
        "    s = sum(struct.unpack('!%dH' % (len(b) // 2), b))\n"
        "    while s >> 16: s = (s & 0xFFFF) + (s >> 16)\n"
        "    return ~s & 0xFFFF\n"
        "r = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)\n"
        "r.settimeout(20)\n"
        "body = struct.pack('!HH', 0x1234, 1) + b'tamsk-ping'\n"
        "r.sendto(struct.pack('!BBH', 8, 0, ck(struct.pack('!BBH', 8, 0, 0) + body)) + body, (a, 0))\n"
        "while True:\n"
        "    d, src = r.recvfrom(2048)\n"
        "    ip = (d[0] & 15) * 4\n"
        "    if src[0] == a and d[ip] == 0: break\n"
        "assert d[ip + 8:] == b'tamsk-ping', d\n"
        "u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
        "u.settimeout(20)\n"
        "for text in (b'hello board', b'x' * 301):\n"
        "    u.sendto(text, (a, 7))\n"
        "    d, src = u.recvfrom(2048)\n"
        "    assert d == text and src[0] == a, (d, src)\n"
        "print('peer ok')\n";
    WriteFile(program.dir / "peer.py", script);
    EXPECT_EQ(Shell(in_ + "python3 " + (program.dir / "peer.py") + " " + address), 0);
    EXPECT_TRUE(WaitForOutput("ping\n"));
    EXPECT_TRUE(WaitForOutput("udp 11\n"));
    EXPECT_TRUE(WaitForOutput("udp 301\n")) << program.OutputSoFar();

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait().exitCode, 0);
}

}  // namespace
}  // namespace tamsk::test
