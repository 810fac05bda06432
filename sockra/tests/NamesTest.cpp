// Address texts, domain-name encoding (against dnspython's encoder) and the copy of resolver answers
// into the caller's buffers.
#include <arpa/inet.h>
#include <netdb.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "sockra/Sockra.h"
#include "sockra/tests/SockraTest.h"

using namespace sockra;
using sockra::test::SockraTest;

namespace {

std::string Hex(const uint8_t* p, int n) {
    std::string s;
    char b[3];
    for (int i = 0; i < n; ++i) {
        snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

std::string Encode(const std::string& name) {
    uint8_t out[256];
    int16_t n = SockraDomainNameEncode(name.c_str(), 255, out);
    EXPECT_EQ(SockraDomainNameEncode(name.c_str(), 255, nullptr), n) << "measuring differs for " << name;
    return n < 0 ? "ERR" + std::to_string(n) : Hex(out, n);
}

// dnspython's wire form of each name, one line each ("ERR" where it refuses the name).
std::vector<std::string> Reference(const std::vector<std::string>& names) {
    std::string in = testing::TempDir() + "sockra_names.txt";
    std::ofstream(in) << [&] {
        std::string all;
        for (auto& n : names) all += n + "\n";
        return all;
    }();
    std::string cmd =
        "/usr/bin/python3 -c \"import sys, dns.name\n"
        "for line in open(sys.argv[1], encoding='latin-1').read().split('\\n')[:-1]:\n"
        "    try: print(dns.name.from_text(line, origin=None).to_wire().hex())\n"
        "    except Exception: print('ERR')\" " +
        in;
    FILE* f = popen(cmd.c_str(), "r");
    std::vector<std::string> out;
    char line[1024];
    while (f && fgets(line, sizeof line, f)) {
        std::string s(line);
        s.pop_back();
        out.push_back(s);
    }
    if (f) pclose(f);
    return out;
}

class Names : public SockraTest {
protected:
};

TEST_F(Names, EncodingAgreesWithAnIndependentEncoder) {
    std::vector<std::string> names = {"a.bc", "www.example.org", "www.example.org.", "a\\.b.c", "\\065\\066.x",
                                      "\\255\\000z.q", "a\\\\b.c", "x\\ y.z", std::string(62, 'm') + ".com"};
    // Random names of random labels with plain characters and both kinds of escape (fixed seed).
    std::mt19937 rng(21);
    const std::string plain = "abcdefghijklmnopqrstuvwxyz0123456789-_";
    for (int i = 0; i < 200; ++i) {
        std::string name;
        int labels = 1 + rng() % 5, total = 0;
        for (int l = 0; l < labels && total < 200; ++l) {
            if (l) name += '.';
            int len = 1 + rng() % 30;
            total += len + 1;
            for (int c = 0; c < len; ++c) {
                switch (rng() % 8) {
                    case 0: {
                        char b[5];
                        snprintf(b, sizeof b, "\\%03u", static_cast<unsigned>(rng() % 256));
                        name += b;
                        break;
                    }
                    case 1: name += std::string("\\") + "., ;()"[rng() % 6]; break;
                    default: name += plain[rng() % plain.size()];
                }
            }
        }
        names.push_back(name);
    }
    auto ref = Reference(names);
    ASSERT_EQ(ref.size(), names.size()) << "dnspython (python3-dnspython) is needed";
    for (size_t i = 0; i < names.size(); ++i) {
        if (ref[i] == "ERR") continue;
        EXPECT_EQ(Encode(names[i]), ref[i]) << names[i];
    }
}

TEST_F(Names, EncodingErrors) {
    EXPECT_EQ(Encode("a.bc"), "0161026263" "00");
    uint8_t out[16];
    EXPECT_EQ(SockraDomainNameEncode(nullptr, 255, out), -3);
    struct {
        std::string name;
        uint16_t size;
        int16_t result;
    } table[] = {
        {std::string(63, 'x'), 255, -4},  // a label longer than 62 bytes
        {"ab\\1x2.c", 255, -2},           // a digit escape with a non-digit
        {"ab\\", 255, -2},                // a backslash at the end
        {"a..b", 255, -2},                // an empty label
        {"abc.de", 7, -1},                // one byte short
        {"abc.de", 8, 8},
        {std::string(60, 'a') + "." + std::string(60, 'b') + "." + std::string(60, 'c') + "." +
             std::string(60, 'd') + "." + std::string(60, 'e'),
         1000, -1},  // the size is cut to 255
        {"", 1, 1},  // the root
    };
    for (auto& t : table) EXPECT_EQ(SockraDomainNameEncode(t.name.c_str(), t.size, nullptr), t.result) << t.name;
}

TEST_F(Names, AddressTexts) {
    auto last = [] { return vantor::os::TraceLines().back(); };
    EXPECT_EQ(SockraAddrAToIN("192.168.0.1"), htonl(0xC0A80001));
    // Both answer all ones; only the trace tells them apart.
    EXPECT_EQ(SockraAddrAToIN("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(last(), " - Success. NetIPAddr = ffffffff");
    EXPECT_EQ(SockraAddrAToIN("not an address"), 0xFFFFFFFFu);
    EXPECT_EQ(last(), " - Failed");
    char text[16];
    EXPECT_EQ(SockraAddrINToA(htonl(0xC0A80001), text), text);
    EXPECT_STREQ(text, "192.168.0.1");
    EXPECT_EQ(SockraAddrINToA(0xFFFFFFFF, text), text);
    EXPECT_STREQ(text, "255.255.255.255");
}

TEST_F(Names, ResolverAnswersAreCutToTheBuffer) {
    std::string longName(300, 'n'), longAlias(400, 'a');
    char* aliases[] = {longAlias.data(), const_cast<char*>("second"), nullptr};
    uint8_t addrs[5][4] = {{10, 0, 0, 1}, {10, 0, 0, 2}, {10, 0, 0, 3}, {10, 0, 0, 4}, {10, 0, 0, 5}};
    char* list[] = {reinterpret_cast<char*>(addrs[0]), reinterpret_cast<char*>(addrs[1]),
                    reinterpret_cast<char*>(addrs[2]), reinterpret_cast<char*>(addrs[3]),
                    reinterpret_cast<char*>(addrs[4]), nullptr};
    hostent h{longName.data(), aliases, AF_INET, 4, list};
    NetHostInfoBufType buf;
    memset(&buf, 0xCC, sizeof buf);
    SockraHostInfoFill(&buf, &h);
    EXPECT_EQ(std::string(buf.hostInfo.nameP), std::string(255, 'n'));
    EXPECT_EQ(buf.hostInfo.nameAliasesP[0], buf.aliases);
    EXPECT_EQ(std::string(buf.aliases), std::string(255, 'a'));
    EXPECT_EQ(buf.hostInfo.nameAliasesP[1], nullptr);  // only the first alias
    auto** al = reinterpret_cast<NetIPAddr**>(buf.hostInfo.addrListP);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(*al[i], htonl(0x0A000001 + i));
    EXPECT_EQ(al[3], nullptr);  // five addresses give three
    // Addresses longer than a slot are not copied.
    h.h_length = 16;
    SockraHostInfoFill(&buf, &h);
    EXPECT_EQ(reinterpret_cast<NetIPAddr**>(buf.hostInfo.addrListP)[0], nullptr);

    std::string longServ(40, 's'), longProto(40, 'p');
    servent s{longServ.data(), nullptr, static_cast<int>(htons(7)), longProto.data()};
    NetServInfoBufType sb;
    SockraServInfoFill(&sb, &s);
    EXPECT_EQ(std::string(sb.servInfo.nameP), std::string(15, 's'));
    EXPECT_EQ(std::string(sb.servInfo.protoP), std::string(15, 'p'));
    EXPECT_EQ(sb.servInfo.port, htons(7));
    EXPECT_STREQ(sb.servInfo.nameAliasesP[0], "");
}

TEST_F(Names, MailExchangeIsNotImplemented) {
    Status err = 0;
    EXPECT_EQ(SockraGetMailExchangeByName("x", 1, nullptr, nullptr, 0, &err), -1);
    EXPECT_EQ(err, 0x120E);
    EXPECT_EQ(Reports(), 1u);
}

}  // namespace
