// Remote memory and its read cache against the device simulator.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "../support/DevSim.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"
#include "quillwatch/link/DebuggerServices.h"

namespace {

using namespace quillwatch;
using quillwatch::test::DevSim;
using quillwatch::test::PatternByte;

class RemoteMemory : public testing::Test {
protected:
    void SetUp() override {
        log_ = testing::TempDir() + "memory-" + std::to_string(getpid()) + ".log";
        std::remove(log_.c_str());
        // Lines at 0x10000-0x10FFF, a region that ends 16 bytes into a line, and room for 1025 lines.
        sim_ = std::make_unique<DevSim>(std::vector<std::string>{
            "--log", log_, "--pattern", "0x10000:0x1000", "--pattern", "0x20000:0x10", "--pattern",
            "0x100000:0x40100"});
        quillwatch::test::UseTcpLink(sim_->port());
        DbgMinimalSetAttached(false);
        RemoteCacheClear();
        Requests();  // start counting from here
    }
    // The requests the simulator decoded since the last call ("read ADDR N", "rpc TRAP ...").
    std::vector<std::string> Requests() {
        std::string text = quillwatch::test::ReadFileText(log_);
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        std::vector<std::string> fresh(lines.begin() + static_cast<long>(std::min(seen_, lines.size())), lines.end());
        seen_ = lines.size();
        return fresh;
    }
    size_t Reads(const std::vector<std::string>& r) {
        return static_cast<size_t>(std::count_if(r.begin(), r.end(), [](auto& l) { return l.rfind("read", 0) == 0; }));
    }
    std::string log_;
    size_t seen_ = 0;
    std::unique_ptr<DevSim> sim_;
};

TEST_F(RemoteMemory, UncachedReadsGoInBlocksAndWritesLand) {
    std::vector<uint8_t> buf(300);
    uint32_t thrown = ErrTry([&] { RemoteReadMem(0x10010, 300, buf.data()); });
    ASSERT_EQ(thrown, 0u);
    EXPECT_EQ(Requests(), (std::vector<std::string>{"read 00010010 256", "read 00010110 44"}));
    for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(buf[i], PatternByte(0x10010 + i));

    std::vector<uint8_t> data(260, 0xAB);
    ASSERT_EQ(ErrTry([&] { RemoteWriteMem(data.data(), 0x10100, 260); }), 0u);
    EXPECT_EQ(Requests(), (std::vector<std::string>{"write 00010100 256", "write 00010200 4"}));
    ASSERT_EQ(ErrTry([&] { RemoteReadMem(0x100FF, 3, buf.data()); }), 0u);
    EXPECT_EQ(buf[0], PatternByte(0x100FF));
    EXPECT_EQ(buf[1], 0xAB);
    EXPECT_EQ(RemoteLinkCheck(), 0);
}

TEST_F(RemoteMemory, CachedReadSpansLinesAndIsServedFromTheCacheAfterwards) {
    uint8_t b[8];
    ASSERT_EQ(ErrTry([&] { EXPECT_EQ(RemoteReadCached(b, 0x100FC, 8), 0); }), 0u);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(b[i], PatternByte(0x100FC + i));
    auto r = Requests();
    // Each line: the readable length (a remote call that would clear the cache, held off), then
    // its bytes. The first line survives the second line's call.
    EXPECT_EQ(Reads(r), 2u);
    EXPECT_EQ(r.size(), 4u);
    EXPECT_EQ(RemoteCacheValidLines(), 2u);
    uint32_t v = 0;
    ASSERT_EQ(ErrTry([&] { v = RemoteReadLong(0x10100); }), 0u);
    EXPECT_EQ(v, (uint32_t{PatternByte(0x10100)} << 24) | (PatternByte(0x10101) << 16) |
                     (PatternByte(0x10102) << 8) | PatternByte(0x10103));
    EXPECT_TRUE(Requests().empty());

    // A write through the cache is read back fresh.
    const uint8_t w[2] = {0x5A, 0xA5};
    ASSERT_EQ(ErrTry([&] { RemoteWriteCached(0x10100, w, 2); }), 0u);
    ASSERT_EQ(ErrTry([&] { RemoteReadCached(b, 0x10100, 2); }), 0u);
    EXPECT_EQ(b[0], 0x5A);
    EXPECT_EQ(b[1], 0xA5);

    // A remote call that may change memory empties the cache, unless it is held.
    Requests();
    RemoteCacheHold(true);
    ASSERT_EQ(ErrTry([] { MemHeapCompact(0); }), 0u);
    EXPECT_GT(RemoteCacheValidLines(), 0u);
    RemoteCacheHold(false);
    ASSERT_EQ(ErrTry([] { MemHeapCompact(0); }), 0u);
    EXPECT_EQ(RemoteCacheValidLines(), 0u);
    ASSERT_EQ(ErrTry([] { MemHeapSize(0); }), 0u);  // a call that changes nothing keeps it
    ASSERT_EQ(ErrTry([&] { RemoteReadCached(b, 0x10100, 2); }), 0u);
    EXPECT_EQ(Reads(Requests()), 1u);
}

TEST_F(RemoteMemory, BytesPastTheReadableLengthAreNotInventedAndReported) {
    std::vector<uint8_t> b(32, 0xEE);
    Status err = 0;
    ASSERT_EQ(ErrTry([&] { err = RemoteReadCached(b.data(), 0x20000, 32); }), 0u);
    EXPECT_NE(err, 0);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(b[i], PatternByte(0x20000 + i));
    for (uint32_t i = 16; i < 32; ++i) EXPECT_EQ(b[i], 0xEE);  // left as it was
    EXPECT_EQ(Requests().back(), "read 00020000 16");
    EXPECT_NE(ErrTry([] { RemoteReadLong(0x2000E); }), 0u);
}

TEST_F(RemoteMemory, LeastRecentlyUsedLineIsReplaced) {
    uint8_t b[1];
    for (uint32_t i = 0; i < remoteCacheLines; ++i)
        ASSERT_EQ(ErrTry([&] { RemoteReadCached(b, 0x100000 + i * 256, 1); }), 0u);
    EXPECT_EQ(RemoteCacheValidLines(), remoteCacheLines);
    ASSERT_EQ(ErrTry([&] { RemoteReadCached(b, 0x100000, 1); }), 0u);  // the first line is used again
    ASSERT_EQ(ErrTry([&] { RemoteReadCached(b, 0x140000, 1); }), 0u);
    EXPECT_EQ(b[0], PatternByte(0x140000));
    EXPECT_TRUE(RemoteCacheHolds(0x100000));
    EXPECT_FALSE(RemoteCacheHolds(0x100100));  // the least recently used one went
    EXPECT_TRUE(RemoteCacheHolds(0x140000));
}

TEST_F(RemoteMemory, FailuresAreThrownAndTheLinkCheckReportsThem) {
    sim_->Kill();
    uint8_t b[4];
    EXPECT_NE(ErrTry([&] { RemoteReadCached(b, 0x10000, 4); }), 0u);
    EXPECT_EQ(RemoteCacheValidLines(), 0u);
    EXPECT_NE(RemoteLinkCheck(), 0);
}

}  // namespace
