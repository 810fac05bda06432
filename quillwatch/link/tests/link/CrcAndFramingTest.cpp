// The CRC against Python's binascii.crc_hqx, and the framing of packets byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/SerialLinkPacket.h"

namespace {

using namespace vantor;

std::string RunPython(const std::string& script) {
    std::string cmd = "/usr/bin/python3 -c '" + script + "'";
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return {};
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
    return out;
}

TEST(Crc16, AgreesWithPythonOnRandomAndChainedBlocks) {
    std::mt19937 rng(20261210);
    std::vector<std::vector<uint8_t>> blocks;
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> b(rng() % 600);
        for (auto& c : b) c = static_cast<uint8_t>(rng());
        blocks.push_back(std::move(b));
    }
    std::string path = testing::TempDir() + "crc_blocks.bin";
    {
        std::ofstream f(path, std::ios::binary);
        for (auto& b : blocks) {
            uint8_t len[2];
            WriteBE16(len, static_cast<uint16_t>(b.size()));
            f.write(reinterpret_cast<char*>(len), 2);
            f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        }
    }
    // Python prints, per block, its CRC from 0 and the CRC of all blocks so far, chained.
    std::string out = RunPython(
        "import binascii,struct\n"
        "d=open(\"" + path + "\",\"rb\").read();i=0;chain=0\n"
        "while i<len(d):\n"
        " n,=struct.unpack_from(\">H\",d,i);b=d[i+2:i+2+n];i+=2+n\n"
        " chain=binascii.crc_hqx(b,chain);print(binascii.crc_hqx(b,0),chain)\n");
    std::istringstream in(out);
    uint16_t chain = 0;
    for (auto& b : blocks) {
        unsigned single = 0, chained = 0;
        ASSERT_TRUE(in >> single >> chained) << "python output: " << out.substr(0, 200);
        chain = Crc16CalcBlock(b.data(), b.size(), chain);
        EXPECT_EQ(Crc16CalcBlock(b.data(), b.size(), 0), single);
        EXPECT_EQ(chain, chained);
    }
    EXPECT_EQ(Crc16CalcBlock("123456789", 9, 0), 0x31C3);
    EXPECT_EQ(Crc16CalcBlock("x", 0, 0x1234), 0x1234);
}

TEST(SlkPacket, FramesHeaderSumBodyAndCrc) {
    SlkPktHeaderType h{};
    h.dest = 0;
    h.src = 1;
    h.transId = 0x2A;
    const uint8_t body[] = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00};
    uint8_t out[64];
    ASSERT_EQ(SlkEncodePacket(h, body, sizeof body, out, sizeof out), 20u);
    const uint8_t head[] = {0xBE, 0xEF, 0xED, 0x00, 0x01, 0x00, 0x00, 0x08, 0x2A,
                            static_cast<uint8_t>(0xBE + 0xEF + 0xED + 1 + 8 + 0x2A)};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 10), std::vector<uint8_t>(head, head + 10));
    EXPECT_EQ(std::vector<uint8_t>(out + 10, out + 18), std::vector<uint8_t>(body, body + 8));
    EXPECT_EQ(ReadBE16(out + 18), Crc16CalcBlock(out, 18, 0));
    EXPECT_EQ(h.signature1, 0xBEEF);
    EXPECT_EQ(h.bodySize, 8);
    SlkPktHeaderType back = SlkHeaderFromWire(out);
    EXPECT_EQ(back.bodySize, 8);
    EXPECT_EQ(back.checksum, head[9]);
    EXPECT_EQ(SlkEncodePacket(h, body, sizeof body, out, 19), 0u);  // no room for the CRC
}

}  // namespace
