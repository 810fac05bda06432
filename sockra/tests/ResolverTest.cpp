// Host and service resolution against getent, with a test hosts file: the test runs in a mount
// namespace of its own where /etc/hosts is the test file and the resolver reads files only, so no
// outside DNS is asked.
#include <arpa/inet.h>
#include <netdb.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sockra/Sockra.h"
#include "sockra/tests/SockraTest.h"

using namespace sockra;
using sockra::test::SockraTest;

namespace {

bool gIsolated = false;

const char kHosts[] =
    "127.0.0.1 localhost\n"
    "10.1.2.3 alpha.test alpha al2\n"
    "10.1.2.4 beta.test\n"
    "10.9.0.1 multi.test\n"
    "10.9.0.2 multi.test\n"
    "10.9.0.3 multi.test\n"
    "10.9.0.4 multi.test\n"
    "10.9.0.5 multi.test\n";

bool Isolate() {
    std::string dir = testing::TempDir();
    // Files of this process alone: the resolver tests run in parallel processes, and rewriting a
    // shared file truncates it under another test's resolver.
    std::string tag = "." + std::to_string(getpid());
    std::string hosts = dir + "sockra_hosts" + tag, nss = dir + "sockra_nsswitch.conf" + tag;
    std::ofstream(hosts) << kHosts;
    std::ofstream(nss) << "hosts: files\nservices: files\n";
    if (unshare(CLONE_NEWNS) != 0) return false;
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    return mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0 &&
           mount(nss.c_str(), "/etc/nsswitch.conf", nullptr, MS_BIND, nullptr) == 0;
}

// The words of getent's answer: its first line, or every line.
std::vector<std::string> Getent(const std::string& args, bool allLines = false) {
    FILE* f = popen(("getent " + args).c_str(), "r");
    std::vector<std::string> words;
    char line[1024];
    for (bool first = true; f && fgets(line, sizeof line, f) && (first || allLines); first = false) {
        std::istringstream in(line);
        for (std::string w; in >> w;) words.push_back(w);
    }
    if (f) pclose(f);
    return words;
}

// The distinct IPv4 addresses getent gives for a name, in order.
std::vector<std::string> GetentAddresses(const std::string& name) {
    std::vector<std::string> out;
    auto words = Getent("ahostsv4 " + name, true);
    for (auto& w : words) {
        if (w.find('.') != std::string::npos && inet_addr(w.c_str()) != INADDR_NONE &&
            (out.empty() || out.back() != w) && std::find(out.begin(), out.end(), w) == out.end())
            out.push_back(w);
    }
    return out;
}

std::string Text(NetIPAddr a) {
    char t[16];
    return SockraAddrINToA(a, t) ? t : "";
}

class Resolver : public SockraTest {
protected:
    void SetUp() override {
        if (!gIsolated) GTEST_SKIP() << "needs a mount namespace of its own (root)";
        SockraTest::SetUp();
    }
};

TEST_F(Resolver, HostByNameAgreesWithGetent) {
    for (std::string name : {"alpha.test", "al2", "beta.test", "multi.test"}) {
        SCOPED_TRACE(name);
        auto hosts = Getent("hosts " + name);
        ASSERT_GE(hosts.size(), 2u);
        NetHostInfoBufType buf;
        Status err = 0xAAAA;
        ASSERT_EQ(SockraGetHostByName(name.c_str(), &buf, 0, &err), &buf);
        EXPECT_EQ(err, 0);
        EXPECT_EQ(std::string(buf.hostInfo.nameP), hosts[1]);
        if (hosts.size() > 2)
            EXPECT_EQ(std::string(buf.hostInfo.nameAliasesP[0]), hosts[2]);  // only the first alias
        else
            EXPECT_EQ(buf.hostInfo.nameAliasesP[0], nullptr);
        EXPECT_EQ(buf.hostInfo.nameAliasesP[1], nullptr);
        EXPECT_EQ(buf.hostInfo.addrType, 2);
        EXPECT_EQ(buf.hostInfo.addrLen, 4);
        auto want = GetentAddresses(name);
        auto** list = reinterpret_cast<NetIPAddr**>(buf.hostInfo.addrListP);
        size_t n = 0;
        for (; list[n]; ++n) {
            ASSERT_LT(n, want.size());
            EXPECT_EQ(Text(*list[n]), want[n]);
        }
        EXPECT_EQ(n, std::min<size_t>(want.size(), 3));
    }
    NetHostInfoBufType buf;
    Status err = 0;
    EXPECT_EQ(SockraGetHostByName("absent.test", &buf, 0, &err), nullptr);
    EXPECT_TRUE(Getent("hosts absent.test").empty());
    EXPECT_EQ(err, 0x123E);
}

TEST_F(Resolver, HostByAddrAgreesWithGetent) {
    auto hosts = Getent("hosts 10.1.2.3");
    ASSERT_GE(hosts.size(), 2u);
    NetIPAddr a = inet_addr("10.1.2.3");
    NetHostInfoBufType buf;
    Status err = 0xAAAA;
    ASSERT_EQ(SockraGetHostByAddr(reinterpret_cast<uint8_t*>(&a), 4, AF_INET, &buf, 0, &err), &buf);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(std::string(buf.hostInfo.nameP), hosts[1]);
    EXPECT_EQ(std::string(buf.hostInfo.nameAliasesP[0]), hosts[1]);
    EXPECT_EQ(Text(*reinterpret_cast<NetIPAddr**>(buf.hostInfo.addrListP)[0]), "10.1.2.3");
    NetIPAddr none = inet_addr("10.200.0.1");
    EXPECT_EQ(SockraGetHostByAddr(reinterpret_cast<uint8_t*>(&none), 4, AF_INET, &buf, 0, &err), nullptr);
    EXPECT_NE(err, 0);
}

TEST_F(Resolver, ServiceByNameAgreesWithGetent) {
    for (std::string q : {"echo/tcp", "domain/udp", "ssh/tcp"}) {
        SCOPED_TRACE(q);
        auto words = Getent("services " + q);
        ASSERT_GE(words.size(), 2u);
        std::string name = q.substr(0, q.find('/')), proto = q.substr(q.find('/') + 1);
        NetServInfoBufType buf;
        Status err = 0xAAAA;
        ASSERT_EQ(SockraGetServByName(name.c_str(), proto.c_str(), &buf, 0, &err), &buf);
        EXPECT_EQ(err, 0);
        EXPECT_EQ(std::string(buf.servInfo.nameP), words[0]);
        EXPECT_EQ(std::to_string(ntohs(buf.servInfo.port)) + "/" + buf.servInfo.protoP, words[1]);
    }
    NetServInfoBufType buf;
    Status err = 0;
    EXPECT_EQ(SockraGetServByName("no-such-service", "tcp", &buf, 0, &err), nullptr);
    EXPECT_NE(err, 0);  // a failure is never reported as success
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    gIsolated = Isolate();
    return RUN_ALL_TESTS();
}
