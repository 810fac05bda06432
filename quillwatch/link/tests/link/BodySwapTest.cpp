// Byte-order conversion of debugger bodies and device records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"

namespace {

using namespace vantor;
using Bytes = std::vector<uint8_t>;

// A buffer of n bytes counting 0, 1, 2, ... with the given first byte.
Bytes Counting(size_t n, uint8_t first) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{0});
    b[0] = first;
    return b;
}

// The bytes that swapping the given (offset, width) fields of `in` must give.
Bytes Expect(Bytes in, std::initializer_list<std::pair<size_t, int>> fields) {
    for (auto [off, w] : fields) std::reverse(in.begin() + static_cast<long>(off), in.begin() + static_cast<long>(off) + w);
    return in;
}

std::vector<std::pair<size_t, int>> RegFields(size_t at) {
    std::vector<std::pair<size_t, int>> f;
    for (size_t i = 0; i < 18; ++i) f.push_back({at + 4 * i, 4});
    f.push_back({at + 72, 2});
    return f;
}

TEST(BodySwap, EveryCommandConvertsItsFieldsAndIsItsOwnInverse) {
    struct Case {
        uint8_t command;
        size_t size;
        std::vector<std::pair<size_t, int>> fields;
    };
    std::vector<Case> cases = {
        {1, 8, {{2, 4}, {6, 2}}},
        {2, 12, {{2, 4}, {6, 2}}},
        {4, 6, {{2, 4}}},
        {0x93, 8, {{2, 4}}},
        {10, 30, {{2, 2}, {4, 4}, {8, 4}, {12, 2}}},
        {0x8A, 30, {{2, 2}, {4, 4}, {8, 4}, {12, 2}}},
        {14, 24, {{2, 2}, {4, 4}, {8, 4}, {12, 4}, {20, 4}}},
        {15, 12, {{4, 4}, {8, 4}}},
        {0x8F, 10, {{2, 4}, {6, 4}}},
        {18, 4, {{2, 2}}},
        {19, 20, {{2, 4}, {6, 4}, {10, 2}}},
        {22, 12, {{2, 4}, {6, 2}, {8, 2}, {10, 2}}},
        {23, 32, {{2, 2}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 2}, {28, 4}}},
        {0x84, 46, {{2, 4}, {6, 4}, {10, 4}}},
        {0, 2, {}},
        {12, 38, {}},
        {0x7F, 20, {}},
        {0xC4, 20, {}},
    };
    auto regs6 = RegFields(2);
    cases.push_back({6, 76, regs6});
    auto cont = RegFields(2);
    cont.insert(cont.end(), {{78, 4}, {82, 4}, {86, 4}});
    cases.push_back({7, 90, cont});
    auto state = RegFields(6);
    state.push_back({4, 2});
    for (size_t i = 0; i < 15; ++i) state.push_back({80 + 2 * i, 2});
    for (size_t i = 0; i < 6; ++i) state.push_back({110 + 6 * i, 4});
    state.insert(state.end(), {{146, 4}, {150, 4}});
    cases.push_back({0x80, 188, state});

    for (auto& c : cases) {
        Bytes body = Counting(c.size, c.command);
        Bytes want = Expect(body, {});
        for (auto [off, w] : c.fields) std::reverse(want.begin() + static_cast<long>(off), want.begin() + static_cast<long>(off) + w);
        Bytes b = body;
        SwapPacketBody(b.data(), b.size());
        EXPECT_EQ(b, want) << "command " << int{c.command};
        SwapPacketBody(b.data(), b.size());
        EXPECT_EQ(b, body) << "command " << int{c.command} << " twice";
    }
}

TEST(BodySwap, ReadRequestGoldenBytesAndSerialSettingsOffsets) {
    DbgMemRequestType req{dbgPktReadMem, 0, 0x00010000, 256};
    SwapMemRequest(&req);
    const uint8_t golden[] = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(&req, golden, 8), 0);

    DbgSerialSettingsRequestType set{dbgPktSerialSettings, 1, {0, 0}, 57600, 0x10};
    SwapPacketBody(&set, sizeof set);
    const auto* s = reinterpret_cast<const uint8_t*>(&set);
    EXPECT_EQ(ReadBE32(s + 4), 57600u);
    EXPECT_EQ(ReadBE32(s + 8), 0x10u);
    DbgSerialSettingsResponseType resp{dbgPktSerialSettings | dbgReplyFlag, 0, 9600, 0};
    SwapPacketBody(&resp, sizeof resp);
    EXPECT_EQ(ReadBE32(reinterpret_cast<const uint8_t*>(&resp) + 2), 9600u);

    DbgRemoteEventBodyType ev{sysPktRemoteEvtCmd, 0, 1, 0, -1, 2, 1, 0, 8, 0x0102, 3};
    SwapRemoteEventBody(&ev);
    const uint8_t evGolden[] = {13, 0, 1, 0, 0xFF, 0xFF, 0, 2, 1, 0, 0, 8, 0x01, 0x02, 0, 3};
    EXPECT_EQ(std::memcmp(&ev, evGolden, 16), 0);
}

TEST(BodySwap, ShortBodiesConvertOnlyWhatTheyHold) {
    // A state reply cut after 9 bytes: exception id and half a register.
    Bytes b = Counting(9, 0x80);
    SwapPacketBody(b.data(), b.size());
    EXPECT_EQ(b, Expect(Counting(9, 0x80), {{4, 2}}));
    Bytes empty;
    SwapPacketBody(empty.data(), 0);
    // A counted list whose count says more than the buffer holds.
    Bytes list(16, 0);
    WriteBE32(list.data(), 0x11223344);
    WriteBE16(list.data() + 4, 1000);
    WriteBE32(list.data() + 8, 0xAABBCCDD);
    WriteBE32(list.data() + 12, 0x01020304);
    SwapCountedListFromDevice(list.data(), list.size());
    uint32_t v;
    std::memcpy(&v, list.data() + 12, 4);
    EXPECT_EQ(v, 0x01020304u);
    std::memcpy(&v, list.data(), 4);
    EXPECT_EQ(v, 0x11223344u);
    // Count 0 converts only the first 8 bytes.
    WriteBE16(list.data() + 4, 0);
    WriteBE32(list.data() + 8, 0xAABBCCDD);
    Bytes before = list;
    SwapCountedListFromDevice(list.data(), list.size());
    EXPECT_TRUE(std::equal(list.begin() + 8, list.end(), before.begin() + 8));
}

TEST(RecordSwap, DeviceRecordsConvertTheirFields) {
    using F = std::initializer_list<std::pair<size_t, int>>;
    struct Case {
        std::string name;
        size_t size;
        std::function<void(void*, size_t)> swap;
        std::vector<std::pair<size_t, int>> fields;
    };
    auto rec = [](DbgRecordLayout l) { return [l](void* p, size_t n) { SwapDeviceRecord(l, p, n); }; };
    using R = DbgRecordLayout;
    std::vector<Case> cases = {
        {"rect", 8, [](void* p, size_t n) { SwapRect(p, n); }, F{{0, 2}, {2, 2}, {4, 2}, {6, 2}}},
        {"search", 32, [](void* p, size_t n) { SwapDmSearchState(p, n); },
         F{{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}, {24, 4}, {28, 4}}},
        {"dbheader", 78, [](void* p, size_t n) { SwapDatabaseHeader(p, n); },
         F{{32, 2}, {34, 2}, {36, 4}, {40, 4}, {44, 4}, {48, 4}, {52, 4}, {56, 4}, {60, 4}, {64, 4}, {68, 4}, {72, 4}, {76, 2}}},
        {"appinfo", 60, [](void* p, size_t n) { SwapAppInfo(p, n); },
         F{{0, 2}, {2, 4}, {6, 2}, {8, 4}, {12, 4}, {16, 4}, {20, 4}, {24, 4}, {28, 2}, {30, 4}, {34, 2},
           {36, 4}, {40, 4}, {44, 4}, {48, 4}, {52, 4}, {56, 4}}},
        {"card", 114, [](void* p, size_t n) { SwapCardHeader(p, n); },
         F{{0, 4}, {4, 4}, {8, 4}, {12, 2}, {14, 2}, {82, 4}, {86, 2}, {88, 4}, {92, 4}, {96, 4}, {100, 4}, {104, 4}, {108, 4}, {112, 2}}},
        {"L0_W4_L6", 10, rec(R::L0_W4_L6), F{{0, 4}, {4, 2}, {6, 4}}},
        {"W0_L4_L8_W12_L16", 20, rec(R::W0_L4_L8_W12_L16), F{{0, 2}, {4, 4}, {8, 4}, {12, 2}, {16, 4}}},
        {"L0_W4_L6_...", 36, rec(R::L0_W4_L6_L12_L16_L20_W24_W26_L28_L32),
         F{{0, 4}, {4, 2}, {6, 4}, {12, 4}, {16, 4}, {20, 4}, {24, 2}, {26, 2}, {28, 4}, {32, 4}}},
        {"L0_L4_L8_W12", 14, rec(R::L0_L4_L8_W12), F{{0, 4}, {4, 4}, {8, 4}, {12, 2}}},
    };
    for (auto& c : cases) {
        Bytes in = Counting(c.size, 0xA5);
        Bytes want = in;
        for (auto [off, w] : c.fields) std::reverse(want.begin() + static_cast<long>(off), want.begin() + static_cast<long>(off) + w);
        Bytes b = in;
        c.swap(b.data(), b.size());
        EXPECT_EQ(b, want) << c.name;
        c.swap(b.data(), b.size());
        EXPECT_EQ(b, in) << c.name << " twice";
    }
}

TEST(RecordSwap, KernelInfoFieldAttributesAndPackedPairs) {
    // Kind 2 (device order in both directions) selects its own fields.
    Bytes k = Counting(64, 0);
    WriteBE16(k.data() + 4, 2);
    Bytes want = Expect(k, {{6, 4}, {10, 4}, {14, 4}, {18, 4}, {22, 2}, {24, 2}, {26, 2}, {28, 4}});
    SwapKernelInfo(k.data(), k.size());
    EXPECT_EQ(k, want);
    Bytes other = Counting(64, 0);
    WriteBE16(other.data() + 4, 9);
    Bytes otherWant = Expect(other, {{6, 4}});
    SwapKernelInfo(other.data(), other.size());
    EXPECT_EQ(other, otherWant);

    // Bit order reversed within each byte.
    uint8_t attr[2] = {0x80, 0x03};
    SwapFieldAttributes(attr);
    EXPECT_EQ(attr[0], 0x01);
    EXPECT_EQ(attr[1], 0xC0);

    uint8_t pair[8] = {0xF1, 0x00, 0x01, 0x02, 0x40, 0x0A, 0x0B, 0x0C};
    SwapPackedPairFromDevice(pair);
    uint32_t a, b;
    std::memcpy(&a, pair, 4);
    std::memcpy(&b, pair + 4, 4);
    EXPECT_EQ(a, 0xC1000102u);
    EXPECT_EQ(b, 0x400A0B0Cu);
}

}  // namespace
